// SPDX-License-Identifier: MIT
// kulve: drive a card reader (or the built-in simulator) from the command line.
//
//   kulve --port /dev/ttyUSB0 inquire power on select 1 read 18 0 0 16
//   kulve --port rfc2217://readerbox:4001 devno
//   kulve --sim devno version
//   kulve des enc --key 0123456789ABCDEF 4E6F772069732074
//   kulve --sim mifare uid dump card.bin
//   kulve demo
//
// Commands run in order; each takes a fixed number of words (or, for a few,
// the rest of the line). The whole line is checked before anything is sent.
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "kulve32.h"
#include "tools/command.h"
#include "tools/demo.h"
#include "tools/io_files.h"
#include "tools/results.h"
#include "tools/sim_statuses.h"

namespace kulve::tool {
namespace {

constexpr int kExitUsage = 2;

CommandList AllCommands() {
  CommandList commands;
  AddReaderCommands(commands);
  AddPortCommands(commands);
  AddWatchCommand(commands);
  AddMemoryCardCommands(commands);
  AddAttendanceCommands(commands);
  AddAt1608Commands(commands);
  AddE5550Commands(commands);
  AddCpuCardCommands(commands);
  AddMifareCommands(commands);
  AddDesCommands(commands);
  return commands;
}

// One entry of the help: the term, then at least two spaces and the text,
// wrapped within 80 columns on lines indented further (the layout
// docs/man/help_to_roff.awk builds the man page from). A newline in the
// text starts a new line.
void Entry(std::FILE* out, const std::string& term, const std::string& text) {
  constexpr std::size_t kColumn = 30, kWidth = 80;
  std::string line = "  " + term;
  line.append(line.size() + 2 > kColumn ? 2 : kColumn - line.size(), ' ');
  bool lineHasText = false;
  const auto flush = [&] {
    std::fprintf(out, "%s\n", line.c_str());
    line.assign(kColumn, ' ');
    lineHasText = false;
  };
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == '\n') {
      flush();
      ++at;
      continue;
    }
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    const std::size_t end = text.find_first_of(" \n", at);
    const std::string word = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (lineHasText && line.size() + 1 + word.size() > kWidth) flush();
    line += (lineHasText ? " " : "") + word;
    lineHasText = true;
    at += word.size();
  }
  std::fprintf(out, "%s\n", line.c_str());
}

void Usage(const CommandList& commands, std::FILE* out) {
  std::fprintf(out,
      "usage: kulve [OPTIONS] COMMAND [ARGS] [COMMAND [ARGS] ...]\n"
      "       kulve demo\n\n"
      "Runs the commands in order against one reader, linking to it before the first\n"
      "command that needs it. The whole line is checked before anything is sent.\n"
      "Data goes to standard output; \"ok\" lines and failures go to standard error.\n"
      "Closing the link at the end pauses 1 s, as UnLinkCom always does; a reader that\n"
      "answers only at 9600 bit/s costs 1.2 s more while linking (the 57600 probe, then\n"
      "the pause of closing it; --speed 9600 skips both).\n\n"
      "options:\n");
  Entry(out, "--port PATH", "the reader's serial device (/dev/ttyUSB0, /dev/serial/by-id/..., a pty), "
                                  "or its network address (tcp://HOST:PORT, rfc2217://HOST:PORT)");
  Entry(out, "--index N", "port index N (0..9) as LinkCom(N) links it: the path the port map "
                         "(kulve ports) gives it, else /dev/ttySN; on Windows COMN+1"
#ifdef _WIN32
                         "; --port COM1..COM10 is the same as --index 0..9"
#endif
  );
  Entry(out, "--speed S", "link at S bit/s only (57600 or 9600; as KULVE32_SPEED=S does): a reader that "
                         "answers only at 9600 then links 1.2 s sooner, without the 57600 probe and the "
                         "pause of closing it");
  Entry(out, "--sim", "start the reader simulator in-process and talk to it");
  Entry(out, "--sim-speed S", "with --sim: the speeds it answers at (57600, 9600 or both)");
  Entry(out, "--sim-terminal", "with --sim: three weeks of records in the attendance terminal");
  Entry(out, "--out FILE", "reads (read, mread) write their bytes raw to FILE (- standard output) "
                           "instead of hex lines; FILE is checked before anything is sent");
  Entry(out, "--in FILE", "a write's data word - takes the bytes of FILE (default -, standard input)");
  Entry(out, "--trace", "print every frame on the wire (as KULVE32_TRACE=2 does), keys, codes and passwords "
                       "masked (**)");
  Entry(out, "--trace-secrets", "with --trace: show them in clear (as KULVE32_TRACE_SECRETS=1 does), and with "
                                "--sim the simulator's own log too, which shows everything");
  Entry(out, "--show-secrets", "print codes, PINs, passwords and keys in clear in the tool's own output (echoed "
                               "script lines, arguments, dumps); masked (**) otherwise; --trace-secrets implies it");
  Entry(out, "-q, --quiet", "print data and failures only, no \"ok\" lines");
  Entry(out, "-h, --help", "this text");
  Entry(out, "--version", "the tool's and the library's versions, and DLLVER");
  std::fprintf(out, "\ncommands:\n");
  for (const Command& c : commands) Entry(out, c.args.empty() ? c.name : c.name + " " + c.args, c.help);
  Entry(out, "demo", "a narrated tour of the library against the simulator (alone on the line)");
  std::fprintf(out, "\nexit status:\n");
  Entry(out, "0", "every command succeeded");
  Entry(out, "1", "the reader refused a command, an exchange failed, or no reader could be linked");
  Entry(out, "2", "the command line was wrong; nothing was sent");
}

const Command* Find(const CommandList& commands, const std::string& name) {
  for (const Command& c : commands) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

// On Windows "COM1".."COM10" name port indexes 0..9, which the port map may
// send elsewhere; any other name, and every name elsewhere, is a path.
int WindowsComIndex([[maybe_unused]] const std::string& port) {
#ifdef _WIN32
  if (port.size() >= 4 && port.size() <= 5 && _strnicmp(port.c_str(), "COM", 3) == 0 &&
      port.find_first_not_of("0123456789", 3) == std::string::npos && port[3] != '0') {
    const int number = std::stoi(port.substr(3));
    if (number <= 10) return number - 1;
  }
#endif
  return -1;
}

int Complain(const std::string& what) {
  std::fprintf(stderr, "kulve: %s\n", what.c_str());
  return kExitUsage;
}

// Data that never reached standard output (a full disk, /dev/full) fails
// the run even when every command succeeded.
int FinishOutput(int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "kulve: cannot write standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}

int Run(int argc, char** argv) {
  const CommandList commands = AllCommands();
  SessionOptions options;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string flag = argv[i];
    if ((flag == "--port" || flag == "--index" || flag == "--sim-speed" || flag == "--speed" || flag == "--out" || flag == "--in") && i + 1 == argc) {
      return Complain(flag + " needs a value (try --help)");
    } else if (flag == "--out") {
      Files().out = argv[++i];
      try {
        CheckOutputFile(Files().out);
      } catch (const UsageError& error) {
        return Complain(std::string("--out: ") + error.what());
      }
    } else if (flag == "--in") {
      Files().in = argv[++i];
    } else if (flag == "--port") {
      options.port = argv[++i];
      options.portIndex = WindowsComIndex(options.port);
    } else if (flag == "--index") {
      try {
        options.portIndex = IntArg(argv[++i], 0, 9, "the port index");
      } catch (const UsageError& error) {
        return Complain(std::string("--index: ") + error.what());
      }
      options.port.clear();
    } else if (flag == "--speed") {
      const std::string speed = argv[++i];
      if (speed != "57600" && speed != "9600") return Complain("--speed takes 57600 or 9600");
      // Read by the library at each link, which is after the options.
#if defined(_WIN32)
      _putenv_s("KULVE32_SPEED", speed.c_str());
#else
      setenv("KULVE32_SPEED", speed.c_str(), 1);
#endif
    } else if (flag == "--sim") {
      options.useSimulator = true;
    } else if (flag == "--sim-speed") {
      if (!sim::ParseSpeedSet(argv[++i], options.simulatorSpeeds)) return Complain("--sim-speed takes 57600, 9600 or both");
    } else if (flag == "--sim-terminal") {
      options.simulatorTerminalRecords = true;
    } else if (flag == "--trace") {
      options.trace = true;
    } else if (flag == "--trace-secrets") {
      // Read when the library first runs, which is after the options.
      options.traceSecrets = true;
#if defined(_WIN32)
      _putenv_s("KULVE32_TRACE_SECRETS", "1");
#else
      setenv("KULVE32_TRACE_SECRETS", "1", 1);
#endif
    } else if (flag == "--show-secrets") {
      options.showSecrets = true;
    } else if (flag == "--quiet" || flag == "-q") {
      options.quiet = true;
    } else if (flag == "--help" || flag == "-h") {
      Usage(commands, stdout);
      return 0;
    } else if (flag == "--version") {
      std::printf("kulve %s, library %s (DLLVER %d)\n", KULVE_TOOL_VERSION, KULVE_TOOL_VERSION, DLLVER());
      return 0;
    } else {
      return Complain("unknown option " + flag + " (try --help)");
    }
  }
  if (i == argc) {
    Usage(commands, stderr);
    return kExitUsage;
  }
  if (std::string(argv[i]) == "demo") return RunDemo();

  // Check the whole command line before anything is sent.
  std::vector<Action> actions;
  bool needsReader = false;
  while (i < argc) {
    const Command* command = Find(commands, argv[i]);
    if (command == nullptr) return Complain(std::string("unknown command ") + argv[i] + " (try --help)");
    const int available = argc - i - 1;
    const int taken = command->argCount == kRestOfLine ? available : command->argCount;
    if (taken > available) return Complain(command->name + " takes: " + command->args);
    try {
      actions.push_back(command->prepare(Args(argv + i + 1, argv + i + 1 + taken)));
    } catch (const UsageError& error) {
      return Complain(command->name + ": " + error.what());
    }
    needsReader = needsReader || command->needsReader;
    i += 1 + taken;
  }
  if (needsReader && options.port.empty() && options.portIndex < 0 && !options.useSimulator) {
    return Complain("say which reader: --port PATH, --index N, or --sim for the simulator");
  }
  if (options.useSimulator && (!options.port.empty() || options.portIndex >= 0)) {
    return Complain("--sim and --port or --index name two readers: say one");
  }

  Session session(options);
  if (needsReader && !session.EnsureLinked()) return 1;
  int status = 0;
  for (const Action& action : actions) {
    try {
      status = action(session);
    } catch (const UsageError& error) {  // a check only possible once linked (e.g. --sim only)
      return Complain(error.what());
    }
    if (status != 0) break;
  }
  return FinishOutput(status);
}

}  // namespace

std::string DescribeStatus(Session& session, int result) {
  std::string text = DescribeResult(result);
  if (result < 0x80 || result > 0xFF || !text.starts_with("reader status")) return text;
  const std::string meaning = SimulatorStatusText(result);
  if (!meaning.empty() && session.TalksToSimulator()) return text + " (simulator: " + meaning + ")";
  return text + " (the reader's own code; docs/reader-statuses.md lists the simulator's)";
}

int Report(Session& session, const std::string& what, int result) {
  const std::string text = DescribeStatus(session, result);
  if (result != 0 || !session.Quiet()) std::fprintf(stderr, "%s: %s\n", what.c_str(), text.c_str());
  return result == 0 ? 0 : 1;
}

}  // namespace kulve::tool

int main(int argc, char** argv) {
  try {
    return kulve::tool::Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kulve: %s\n", error.what());
    return 1;
  }
}
