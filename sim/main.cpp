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

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "sim/attendance_commands.h"
#include "sim/card_files.h"
#include "sim/control.h"
#include "sim/cards/at1608_card.h"
#include "sim/cards/e5550_transponder.h"
#include "sim/cards/memory_card.h"
#include "sim/cpucard_commands.h"
#include "sim/fault_text.h"
#include "sim/log_time.h"
#include "sim/mifare_reader.h"
#include "sim/simulator.h"
#include "sim/terminal/sample_records.h"

namespace {

using kulve::sim::Simulator;

constexpr const char* kUsage =
    "usage: kulvesim [--device PATH | --link SYMLINK]\n"
    "                [--tcp HOST:PORT | --rfc2217 HOST:PORT]\n"
    "                [--speed 57600|9600|both]\n"
    "                [CARDS ...] [--fault FAULT ...] [--save-state DIR] [--quiet]\n"
    "\n"
    "Serves a simulated card reader on a new pseudo-terminal (or a serial device)\n"
    "until SIGINT or SIGTERM. The first line of standard output is the path a host\n"
    "opens; a new path is printed whenever the line is opened again. T=1 protocol\n"
    "errors the chip cards found in the host's blocks are listed on standard error\n"
    "when it ends.\n"
    "\n"
    "options:\n"
    "  --device PATH   serve this serial device instead of a new pseudo-terminal\n"
    "  --link SYMLINK  keep SYMLINK pointing at the pseudo-terminal (and print it)\n"
    "  --tcp HOST:PORT also serve the reader as a raw TCP stream (one client at a\n"
    "                  time; a new connection replaces the old); port 0 picks a free\n"
    "                  one, and the address printed (tcp://HOST:PORT) says which\n"
    "  --rfc2217 HOST:PORT\n"
    "                  the same over Telnet with RFC 2217 line control: the speed\n"
    "                  the client sets is the speed the reader sees\n"
    "  --speed S       line speeds to answer at (default 57600)\n"
    "  --pace          keep to the line's real timing: each byte received or sent\n"
    "                  takes 10 bit times at the host's speed\n"
    "  --adapter-latency MS\n"
    "                  play the host's USB-serial adapter: hold each burst of\n"
    "                  the reader's bytes up to MS ms (FTDI default 16; 0..1000)\n"
    "  --slot-map MODE answer command 15, which documented readers refuse: on (the\n"
    "                  slot map), ffff, zeros, empty (no data) or random; off\n"
    "                  (the default) refuses it as an unknown code\n"
    "  --fault FAULT   BYTE:KIND[@TRIGGER], e.g. ack:silent@code=13 (repeatable)\n"
    "                  BYTE start|ack|status|length|data|checksum\n"
    "                  KIND silent|wrong[=N]|delay=MS|vanish\n"
    "                  TRIGGER every (default)|next|nth=N|code=C[,skip=N][,times=N]\n"
    "  --save-state DIR  on exit, write every card the reader holds into DIR\n"
    "                  (card-TYPE.bin, mifare-UID.mfd, at1608.bin, e5550.bin)\n"
    "  --quiet         do not trace frames on standard error (a test tool's trace:\n"
    "                  keys, codes and passwords in it are shown in clear)\n"
    "  --control LINE  run a standard-input command at start, after the cards are\n"
    "                  in place (repeatable), e.g. --control 'strict 0 slow 3000'\n"
    "  --devno TEXT    the reader's device number ends in TEXT (1..8 characters;\n"
    "                  default KS260001), so several simulators tell apart\n"
    "\n"
    "cards and devices at start (CARDS):\n"
    "  --card TYPE     a new contact memory card of TYPE in the slot\n"
    "  --cpu-atr ATR   the CPU card answers reset with this hex ATR (none: no card);\n"
    "                  T=1 when its TD1 names T=1, else T=0 (default: a T=1 card).\n"
    "                  T=1 cards are lenient unless --strict-t1: they take single\n"
    "                  I-blocks only and never chain, ask for time or send S-blocks\n"
    "  --strict-t1     the CPU card speaks T=1 as strictly as a real card: IFSC\n"
    "                  and IFSD, chaining both ways, S(IFS), S(RESYNCH), R-blocks,\n"
    "                  S(WTX) before slow commands when told; every protocol error\n"
    "                  logged (default ATR: IFSC 32, see --cpu-atr)\n"
    "  --sam N ATR     the same for SAM N (1..4; default: T=0 SAMs) (repeatable)\n"
    "  --at1608 SEED   a new AT88SC1608 card in the slot whose secret seed is SEED\n"
    "                  (16 hex digits)\n"
    "  --e5550         a new e5550 transponder in the RF field\n"
    "  --mifare UID    a new Mifare Classic 1K card with this UID (8 hex digits) in\n"
    "                  the field (repeatable: several cards); followed by --image\n"
    "                  the UID may be left out: the image's block 0 gives it\n"
    "  --terminal      the attendance terminal filled with three weeks of records\n"
    "  --image FILE    after --card, --mifare, --at1608 or --e5550: that card\n"
    "                  holds the contents of FILE instead of a new card's\n"
    "\n"
    "card images:\n"
    "  memory card     raw: 64 KiB of card memory, then the security memory (the\n"
    "                  attempts byte, then the code); a shorter file fills card\n"
    "                  memory from byte 0. Whole image by type: 65540 bytes for\n"
    "                  type 2; 65539 for 4, 5..9, 18, 25..29; 65536 for the rest\n"
    "  Mifare 1K, 4K   raw: 1024 bytes (4K: 4096), every block as nfc-mfclassic\n"
    "                  writes them; or a FILE named *.eml: 64 (4K: 256) lines of\n"
    "                  32 hex digits\n"
    "                  (Proxmark3); block 0 starts with the UID, and the keys\n"
    "                  come from the trailers\n"
    "  AT88SC1608      raw: 2177 bytes: user zones 0..7 (256 bytes each), the\n"
    "                  configuration zone (128), the fuse byte; SEED replaces\n"
    "                  the image's seed\n"
    "  e5550           raw: 33 bytes: blocks 0..7 (4 bytes each), the lock bits\n"
    "\n"
    "standard input:\n"
    "  fault FAULT     schedule a line fault (the syntax of --fault)\n"
    "  clear           drop every scheduled fault\n"
    "  speed S         answer at 57600, 9600 or both from now on\n"
    "  vanish          close the line, as an unplugged adapter (a new one opens)\n"
    "  count           the number of exchanges served\n"
    "  state           the reader's card type, slot, power and standby\n"
    "  insert TYPE     a new memory card of TYPE in the slot\n"
    "  at1608 SEED     a new AT88SC1608 card in the slot\n"
    "  remove          empty the contact slot\n"
    "  chip SLOT ATR|none  a chip card with that ATR in slot 0 (CPU) or 1..4 (SAMs)\n"
    "  strict SLOT on|off  the T=1 card in SLOT strict, or lenient (the default)\n"
    "  strict SLOT slow MS  a strict card takes MS ms a command, asking S(WTX)\n"
    "  strict SLOT compute MS [wtx M]  a strict card takes MS ms a command,\n"
    "                  without S(WTX) or after S(WTX M); slow and compute\n"
    "                  replace each other (0 ms: the card answers at once)\n"
    "  strict SLOT drop [N]  a strict card's block after the next N loses its\n"
    "                  last byte\n"
    "  t1errors        the T=1 protocol errors the chip cards logged (then\n"
    "                  forgets them)\n"
    "  e5550 place|remove|leave  a new transponder; none; out of the field and back\n"
    "  mifare add UID  another Mifare Classic card in the field\n"
    "  mifare clear    no Mifare card in the field\n"
    "  load card TYPE FILE | load mifare FILE | load at1608 FILE | load e5550 FILE\n"
    "                  a card made from an image (the Mifare UID from block 0)\n"
    "  save card FILE | save mifare UID FILE | save at1608 FILE | save e5550 FILE\n"
    "                  write that card's image\n"
    "  save state DIR  every card, as --save-state does\n"
    "  clock           the attendance terminal's clock\n"
    "  display         what the terminal's display shows\n"
    "  terminal        the terminal's record store and transfer state\n"
    "  punch BADGE in|out  file a record at the terminal's time\n"
    "  fill            a few weeks of sample records (as --terminal)\n";

// Printed after the usage text by --help (docs/man builds the man page from both).
constexpr const char* kExitStatus =
    "\n"
    "exit status:\n"
    "  0               stopped by SIGINT or SIGTERM\n"
    "  1               the line could not be opened or signals not set up, or\n"
    "                  --save-state could not write a card\n"
    "  2               the command line was wrong, or an --image not loaded\n";

struct Args {
  kulve::sim::SimulatorOptions options;
  std::vector<kulve::sim::ScheduledFault> faults;
  int card = -1;  // memory-card type in the slot at start; -1 = empty
  bool terminalRecords = false;
  std::optional<kulve::sim::At1608Block> at1608Seed;  // an AT88SC1608 card in the slot at start
  bool transponder = false;  // an e5550 transponder in the field at start
  std::vector<std::pair<std::string, std::string>> chipCards;  // slot, ATR
  bool strictT1 = false;  // the CPU card speaks the strict T=1 profile
  // In the field at start; no UID: the one in the --image that follows.
  std::vector<std::optional<kulve::sim::MifareUid>> mifareCards;
  // --image FILE given after a card option: card kind ("card", "mifare",
  // "at1608", "e5550"), index into mifareCards, file.
  struct Image {
    std::string kind;
    std::size_t index;
    std::string path;
  };
  std::vector<Image> images;
  std::string saveState;  // directory written on exit; empty = none
  bool quiet = false;
  std::vector<std::string> controls;  // standard-input commands run at start
  std::string deviceNumber;           // replaces the default's last characters
};

bool TakesValue(const std::string& option) {
  for (const char* name : {"--device", "--link", "--tcp", "--rfc2217", "--speed", "--card", "--at1608", "--cpu-atr",
                           "--sam", "--mifare", "--fault", "--image", "--save-state", "--control", "--devno",
                           "--slot-map"})
    if (option == name) return true;
  return false;
}

bool ParseArgs(int argc, char** argv, Args& args) {
  std::string lastCard;  // the card option an --image belongs to
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--card" || a == "--mifare" || a == "--at1608" || a == "--e5550") lastCard = a.substr(2);
    if (a == "--image" && hasValue) {
      if (lastCard.empty()) {
        std::fprintf(stderr, "kulvesim: --image belongs after --card, --mifare, --at1608 or --e5550\n");
        return false;
      }
      args.images.push_back({lastCard, args.mifareCards.size() - 1, argv[++i]});
      lastCard.clear();
    } else if (a == "--save-state" && hasValue) {
      args.saveState = argv[++i];
    } else if (a == "--quiet") {
      args.quiet = true;
    } else if (a == "--control" && hasValue) {
      args.controls.emplace_back(argv[++i]);
    } else if (a == "--devno" && hasValue) {
      args.deviceNumber = argv[++i];
      const bool printable = std::all_of(args.deviceNumber.begin(), args.deviceNumber.end(),
                                         [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
      if (args.deviceNumber.empty() || args.deviceNumber.size() > 8 || !printable) {
        std::fprintf(stderr, "kulvesim: --devno takes 1 to 8 printable characters\n");
        return false;
      }
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
    } else if (a == "--terminal") {
      args.terminalRecords = true;
    } else if (a == "--at1608" && hasValue) {
      args.at1608Seed = kulve::sim::ParseAt1608Seed(argv[++i]);
      if (!args.at1608Seed) {
        std::fprintf(stderr, "kulvesim: --at1608 takes a seed of 16 hex digits\n");
        return false;
      }
    } else if (a == "--e5550") {
      args.transponder = true;
    } else if (a == "--cpu-atr" && hasValue) {
      args.chipCards.emplace_back("0", argv[++i]);
    } else if (a == "--strict-t1") {
      args.strictT1 = true;
    } else if (a == "--sam" && i + 2 < argc) {
      const std::string sam = argv[++i];
      if (sam != "1" && sam != "2" && sam != "3" && sam != "4") {
        std::fprintf(stderr, "kulvesim: --sam takes a SAM number 1..4\n");
        return false;
      }
      args.chipCards.emplace_back(sam, argv[++i]);
    } else if (a == "--mifare" && hasValue && std::strcmp(argv[i + 1], "--image") == 0) {
      args.mifareCards.emplace_back();
    } else if (a == "--mifare" && hasValue) {
      const auto uid = kulve::sim::ParseUid(argv[++i]);
      if (!uid) {
        std::fprintf(stderr, "kulvesim: --mifare takes a UID of 8 hex digits\n");
        return false;
      }
      args.mifareCards.push_back(*uid);
    } else if (a == "--pace") {
      args.options.pace = true;
    } else if (a == "--adapter-latency" && hasValue) {
      char* end = nullptr;
      const unsigned long ms = std::strtoul(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0' || argv[i][0] == '-' || ms > 1000) {
        std::fprintf(stderr, "kulvesim: --adapter-latency takes milliseconds 0..1000\n");
        return false;
      }
      args.options.adapterLatencyMs = static_cast<std::uint32_t>(ms);
    } else if (a == "--slot-map" && hasValue) {
      const auto mode = kulve::sim::ParseSlotMapMode(argv[++i]);
      if (!mode) {
        std::fprintf(stderr, "kulvesim: --slot-map takes on, off, ffff, zeros, empty or random\n");
        return false;
      }
      args.options.slotMap = *mode;
    } else if (a == "--fault" && hasValue) {
      std::string error;
      auto parsed = kulve::sim::ParseFault(argv[++i], error);
      if (!parsed) {
        std::fprintf(stderr, "kulvesim: --fault %s: %s\n", argv[i], error.c_str());
        return false;
      }
      args.faults.push_back(*parsed);
    } else if (TakesValue(a)) {
      std::fprintf(stderr, "kulvesim: %s needs a value (try --help)\n", a.c_str());
      return false;
    } else {
      std::fprintf(stderr, "kulvesim: unknown option %s (try --help)\n", a.c_str());
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

// The card the --image followed, made from the file.
std::string LoadImage(kulve::sim::ReaderState& s, const Args& args, const Args::Image& image) {
  if (image.kind == "card") return LoadMemoryCardFile(s, static_cast<std::uint8_t>(args.card), image.path);
  if (image.kind == "at1608") return LoadAt1608File(s, args.at1608Seed, image.path);
  if (image.kind == "e5550") return LoadE5550File(s, image.path);
  return LoadMifareFile(s, args.mifareCards.at(image.index), image.path);
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
    std::fputs(kExitStatus, stdout);
    return 0;
  }
  if (!ParseArgs(argc, argv, args)) return 2;
  if (!args.quiet)
    args.options.trace = [](const std::string& line) {
      std::fprintf(stderr, "kulvesim: %s %s\n", kulve::sim::LogTime().c_str(), line.c_str());
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
  if (args.terminalRecords) {
    sim.WithState([](kulve::sim::ReaderState& s) { FillWithSampleRecords(kulve::sim::TerminalOf(s)); });
  }
  if (args.at1608Seed) {
    sim.WithState([&](kulve::sim::ReaderState& s) { InsertAt1608Card(s, *args.at1608Seed); });
  }
  if (args.transponder) sim.WithState([](kulve::sim::ReaderState& s) { PlaceTransponder(s); });
  for (const auto& [slot, atr] : args.chipCards) {
    const std::string error = kulve::sim::PutChipCard(sim, slot, atr);
    if (!error.empty()) {
      std::fprintf(stderr, "kulvesim: slot %s: %s\n", slot.c_str(), error.c_str());
      return 2;
    }
  }
  if (args.strictT1) {
    const bool ownAtr = std::any_of(args.chipCards.begin(), args.chipCards.end(),
                                    [](const auto& card) { return card.first == "0"; });
    const bool strict = sim.WithState([&](kulve::sim::ReaderState& s) {
      if (!ownAtr) kulve::sim::InsertChipCard(s, 0, kulve::sim::DefaultStrictCpuAtr());
      return kulve::sim::SetChipStrict(s, 0, true);
    });
    if (!strict) {
      std::fprintf(stderr, "kulvesim: --strict-t1 needs a T=1 CPU card\n");
      return 2;
    }
  }
  for (const auto& uid : args.mifareCards) {
    if (uid) sim.WithState([&](kulve::sim::ReaderState& s) { kulve::sim::PutMifareCard(s, *uid); });
  }
  if (!args.deviceNumber.empty()) {
    sim.WithState([&](kulve::sim::ReaderState& s) {
      std::copy(args.deviceNumber.begin(), args.deviceNumber.end(), s.deviceNumber.end() - args.deviceNumber.size());
    });
  }
  for (const auto& image : args.images) {
    const std::string error = sim.WithState([&](kulve::sim::ReaderState& s) { return LoadImage(s, args, image); });
    if (!error.empty()) {
      std::fprintf(stderr, "kulvesim: %s\n", error.c_str());
      return 2;
    }
  }
  for (const std::string& line : args.controls) {
    const std::string answer = kulve::sim::RunControlCommand(sim, line);
    if (answer.starts_with("error")) {
      std::fprintf(stderr, "kulvesim: --control %s: %s\n", line.c_str(), answer.c_str());
      return 2;
    }
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
  int status = 0;
  if (!args.saveState.empty()) {
    std::vector<std::string> written;
    const std::string error =
        sim.WithState([&](kulve::sim::ReaderState& s) { return SaveReaderState(s, args.saveState, written); });
    for (const std::string& path : written)
      if (!args.quiet) std::fprintf(stderr, "kulvesim: saved %s\n", path.c_str());
    if (!error.empty()) {
      std::fprintf(stderr, "kulvesim: %s\n", error.c_str());
      status = 1;
    }
  }
  // Reported even with --quiet: each is a fault of the host's T=1 framing.
  for (const std::string& error : sim.WithState([](kulve::sim::ReaderState& s) { return TakeChipProtocolErrors(s); })) {
    std::fprintf(stderr, "kulvesim: T=1 protocol error: %s\n", error.c_str());
  }
  return status;
}
