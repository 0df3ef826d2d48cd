// SPDX-License-Identifier: MIT
// kulvesim: a simulated card reader on a pseudo-terminal or serial device,
// or behind a network address as a serial device server would serve it.
//
// Prints the path a host should open (or tcp://HOST:PORT, rfc2217://HOST:PORT)
// as the first line of standard output, then serves until SIGINT or SIGTERM. Commands on standard input steer it
// (see control.h); standard input may also be closed or /dev/null.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "sim/control.h"
#include "sim/cards/memory_card.h"
#include "sim/fault_text.h"
#include "sim/simulator.h"

namespace {

using kulve::sim::Simulator;

constexpr const char* kUsage =
    "usage: kulvesim [--device PATH | --link SYMLINK] [--tcp HOST:PORT | --rfc2217 HOST:PORT]\n"
    "                [--speed 57600|9600|both] [--card TYPE] [--fault FAULT ...] [--quiet]\n"
    "  --device PATH   serve this serial device instead of a new pseudo-terminal\n"
    "  --link SYMLINK  keep SYMLINK pointing at the pseudo-terminal (and print it)\n"
    "  --tcp HOST:PORT also serve the reader as a raw TCP stream (one client at a\n"
    "                  time; a new connection replaces the old); port 0 picks a free\n"
    "                  one, and the address printed (tcp://HOST:PORT) says which\n"
    "  --rfc2217 HOST:PORT\n"
    "                  the same over Telnet with RFC 2217 line control: the speed\n"
    "                  the client sets is the speed the reader sees\n"
    "  --speed S       line speeds to answer at (default 57600)\n"
    "  --card TYPE     start with a new contact memory card of TYPE in the slot\n"
    "  --fault FAULT   BYTE:KIND[@TRIGGER], e.g. ack:silent@code=13 (repeatable)\n"
    "                  BYTE start|ack|status|length|data|checksum\n"
    "                  KIND silent|wrong[=N]|delay=MS|vanish\n"
    "                  TRIGGER every (default)|next|nth=N|code=C[,skip=N][,times=N]\n"
    "  --quiet         do not trace frames on standard error\n"
    "Standard input takes: fault FAULT, clear, speed S, vanish, count, state,\n"
    "insert TYPE (a new memory card), remove.\n";

struct Args {
  kulve::sim::SimulatorOptions options;
  std::vector<kulve::sim::ScheduledFault> faults;
  int card = -1;  // memory-card type in the slot at start; -1 = empty
  bool quiet = false;
};

bool ParseArgs(int argc, char** argv, Args& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--quiet") {
      args.quiet = true;
    } else if (a == "--device" && hasValue) {
      args.options.devicePath = argv[++i];
    } else if (a == "--link" && hasValue) {
      args.options.linkPath = argv[++i];
    } else if ((a == "--tcp" || a == "--rfc2217") && hasValue) {
      auto& network = args.options.network;
      if (network.protocol != kulve::sim::NetProtocol::kNone) {
        std::fprintf(stderr, "kulvesim: give --tcp or --rfc2217 once\n");
        return false;
      }
      network.protocol = a == "--tcp" ? kulve::sim::NetProtocol::kTcp : kulve::sim::NetProtocol::kRfc2217;
      if (!kulve::sim::ParseListenAddress(argv[++i], network.host, network.port)) {
        std::fprintf(stderr, "kulvesim: %s takes HOST:PORT, e.g. 127.0.0.1:7000\n", a.c_str());
        return false;
      }
    } else if (a == "--speed" && hasValue) {
      if (!kulve::sim::ParseSpeedSet(argv[++i], args.options.speeds)) {
        std::fprintf(stderr, "kulvesim: --speed takes 57600, 9600 or both\n");
        return false;
      }
    } else if (a == "--card" && hasValue) {
      char* end = nullptr;
      const long type = std::strtol(argv[++i], &end, 0);
      if (*end != '\0' || type < 0 || type > 255) {
        std::fprintf(stderr, "kulvesim: --card takes a card type 0..255\n");
        return false;
      }
      args.card = static_cast<int>(type);
    } else if (a == "--fault" && hasValue) {
      std::string error;
      auto parsed = kulve::sim::ParseFault(argv[++i], error);
      if (!parsed) {
        std::fprintf(stderr, "kulvesim: --fault %s: %s\n", argv[i], error.c_str());
        return false;
      }
      args.faults.push_back(*parsed);
    } else {
      return false;
    }
  }
  if (!args.options.devicePath.empty() && !args.options.linkPath.empty()) {
    std::fprintf(stderr, "kulvesim: --device and --link exclude each other\n");
    return false;
  }
  if (!args.options.devicePath.empty() && args.options.network.protocol != kulve::sim::NetProtocol::kNone) {
    std::fprintf(stderr, "kulvesim: a --device is not served over the network\n");
    return false;
  }
  return true;
}

void PrintLine(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// The pty becomes this process's controlling terminal, so a host that opens
// it without O_NOCTTY does not adopt it (and get hangups when we exit).
bool AdoptTerminal(Simulator& sim, bool quiet) {
  if (sim.BecomeControllingTerminal()) return true;
  if (!quiet)
    std::fprintf(stderr, "kulvesim: pty not made the controlling terminal: %s\n",
                 std::strerror(errno));
  return false;
}

// Reads what standard input has; runs each complete line. False at its end.
bool ServeControl(Simulator& sim, std::string& pending) {
  char buf[512];
  const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) return false;
  pending.append(buf, static_cast<std::size_t>(n));
  for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
    const std::string answer = kulve::sim::RunControlCommand(sim, std::string_view(pending).substr(0, nl));
    pending.erase(0, nl + 1);
    if (!answer.empty()) PrintLine(answer);
  }
  if (pending.size() > 4096) pending.clear();  // no newline in sight: not a command
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ParseArgs(argc, argv, args)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!args.quiet)
    args.options.trace = [](const std::string& line) {
      std::fprintf(stderr, "kulvesim: %s\n", line.c_str());
    };

  // Signals arrive through a descriptor; blocked before any thread starts.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&signals, s);
  ::sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
  if (signalFd < 0) {
    std::perror("kulvesim: signalfd");
    return 1;
  }

  Simulator sim(args.options);
  for (const auto& f : args.faults) sim.InjectFault(f.fault, f.trigger);
  if (args.card >= 0) {
    sim.WithState([&](kulve::sim::ReaderState& s) { InsertMemoryCard(s, static_cast<std::uint8_t>(args.card)); });
  }
  try {
    sim.Start();
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "kulvesim: %s\n", e.what());
    return 1;
  }
  const bool pty = args.options.devicePath.empty();
  bool ownTerminal = pty && AdoptTerminal(sim, args.quiet);
  if (ownTerminal)
    for (int s : {SIGTSTP, SIGTTIN, SIGTTOU}) ::signal(s, SIG_IGN);
  PrintLine(sim.HostPath());

  std::string pending;
  bool stdinOpen = true;
  bool reportedFailure = false;
  for (;;) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    const int n = ::poll(fds, 2, sim.Serving() ? 500 : 1000);
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && (fds[0].revents & POLLIN)) {
      signalfd_siginfo info{};
      if (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        // With the pty as our terminal, its hangup and any signal characters
        // a host lets through are the line's business, not a request to stop.
        const bool fromTerminal = ownTerminal && (info.ssi_signo == SIGHUP ||
                                                  info.ssi_code == SI_KERNEL);
        if (!fromTerminal) break;
      }
    }
    if (n > 0 && fds[1].revents != 0) stdinOpen = ServeControl(sim, pending);

    if (!sim.Serving()) {  // the line vanished or failed: open a fresh one
      try {
        sim.Start();
        reportedFailure = false;
        if (pty) ownTerminal = AdoptTerminal(sim, args.quiet) || ownTerminal;
        PrintLine(sim.HostPath());
      } catch (const std::system_error& e) {
        if (!reportedFailure) std::fprintf(stderr, "kulvesim: %s (retrying)\n", e.what());
        reportedFailure = true;
      }
    }
  }
  sim.Stop();
  ::close(signalFd);
  return 0;
}
