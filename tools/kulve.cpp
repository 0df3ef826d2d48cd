// kulve: drive a card reader (or the built-in simulator) from the command line.
//
//   kulve --port /dev/ttyUSB0 inquire power on select 1 read 18 0 0 16
//   kulve --sim devno version
//   kulve des enc --key 0123456789ABCDEF 4E6F772069732074
//   kulve demo
//
// Commands run in order; each takes a fixed number of words.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/demo.h"
#include "tools/results.h"

namespace kulve::tool {
namespace {

CommandList AllCommands() {
  CommandList commands;
  AddReaderCommands(commands);
  AddMemoryCardCommands(commands);
  AddDesCommands(commands);
  return commands;
}

void Usage(const CommandList& commands) {
  std::printf(
      "usage: kulve [--port PATH | --sim [--sim-speed 57600|9600|both]] [--trace] COMMAND [ARGS] [COMMAND ...]\n"
      "       kulve demo\n\n"
      "  --port PATH   the reader's serial device (/dev/ttyUSB0, /dev/serial/by-id/..., a pty)\n"
      "  --sim         start the reader simulator in-process and talk to it\n"
      "  --trace       with --sim, print every frame the simulated reader handles\n\n"
      "commands:\n");
  for (const Command& c : commands) {
    std::printf("  %-10s %-28s %s\n", c.name.c_str(), c.args.c_str(), c.help.c_str());
  }
}

const Command* Find(const CommandList& commands, const std::string& name) {
  for (const Command& c : commands) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

int Run(int argc, char** argv) {
  const CommandList commands = AllCommands();
  SessionOptions options;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    const std::string flag = argv[i];
    if (flag == "--port" && i + 1 < argc) {
      options.port = argv[++i];
    } else if (flag == "--sim") {
      options.useSimulator = true;
    } else if (flag == "--sim-speed" && i + 1 < argc) {
      if (!sim::ParseSpeedSet(argv[++i], options.simulatorSpeeds)) return BadArgument("--sim-speed takes 57600, 9600 or both");
    } else if (flag == "--trace") {
      options.trace = true;
    } else if (flag == "--help") {
      Usage(commands);
      return 0;
    } else {
      return BadArgument("unknown option " + flag);
    }
  }
  if (i == argc) {
    Usage(commands);
    return 2;
  }
  if (std::string(argv[i]) == "demo") return RunDemo();

  // Check the whole command line before anything is sent.
  struct Step {
    const Command* command;
    Args args;
  };
  std::vector<Step> steps;
  bool needsReader = false;
  while (i < argc) {
    const Command* command = Find(commands, argv[i]);
    if (command == nullptr) return BadArgument(std::string("unknown command ") + argv[i] + " (try --help)");
    if (command->argCount > argc - i - 1) {
      return BadArgument(command->name + " takes: " + command->args);
    }
    steps.push_back({command, Args(argv + i + 1, argv + i + 1 + command->argCount)});
    needsReader = needsReader || command->needsReader;
    i += 1 + command->argCount;
  }
  if (needsReader && options.port.empty() && !options.useSimulator) {
    return BadArgument("say which reader: --port PATH, or --sim for the simulator");
  }

  Session session(options);
  if (needsReader && !session.EnsureLinked()) return 1;
  int status = 0;
  for (const Step& step : steps) {
    status = step.command->run(session, step.args);
    if (status != 0) break;
  }
  return status;
}

}  // namespace

int Report(Session&, const std::string& what, int result) {
  std::printf("%s: %s\n", what.c_str(), DescribeResult(result).c_str());
  return result == 0 ? 0 : 1;
}

int BadArgument(const std::string& what) {
  std::fprintf(stderr, "kulve: %s\n", what.c_str());
  return 2;
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
