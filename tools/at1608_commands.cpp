// SPDX-License-Identifier: MIT
// AT88SC1608 commands of the kulve tool, and the AT88SC1608 section of the demo.
#include <cstdio>
#include <optional>
#include <random>
#include <string>

#include "kulve32.h"
#include "sim/cards/at1608_card.h"
#include "tools/command.h"
#include "tools/demo_steps.h"
#include "tools/hex.h"
#include "tools/io_files.h"

namespace kulve::tool {
namespace {

constexpr int kLastZone = 8;
constexpr int kLastAddress = 255;
constexpr int kMaxLength = 160;
constexpr int kLastPassword = 15;
constexpr std::size_t kBlock = 8;
constexpr int kAnswerMismatch = KULVE_NOT_FOR_CARD_TYPE;  // what the comparison of answers returns

bool LinkFailed(int result) { return result >= KULVE_LINK_HASH_NOT_WRITTEN && result <= KULVE_LINK_BAD_CHECKSUM; }

std::string AttemptsInWords(int count) {
  if (count == 0) return "no attempts left: the card has locked it";
  if (count == 1) return "1 attempt left";
  return std::to_string(count) + " attempts left";
}

// After AT1608_Authentic: the count the card's attempts byte gave, if any
// (byte 0 the count, byte 1 its digit).
std::optional<int> AuthenticationAttempts(const Bytes& challenge, int result) {
  if (LinkFailed(result) || challenge[0] > 8 || challenge[1] != '0' + challenge[0]) return std::nullopt;
  return challenge[0];
}

Action Insert(const Args& args) {
  const Bytes seed = HexArg(args[0], kBlock, kBlock, "the seed");
  return [seed](Session& s) {
    if (s.Simulator() == nullptr) throw UsageError("at-insert works with --sim only");
    sim::At1608Block block{};
    std::copy(seed.begin(), seed.end(), block.begin());
    s.Simulator()->WithState([&block](sim::ReaderState& st) { sim::InsertAt1608Card(st, block); });
    if (!s.Quiet()) std::fprintf(stderr, "a new AT88SC1608 card with seed %s is in the simulated reader\n", FormatHex(seed).c_str());
    return 0;
  };
}

struct ZonePlace {
  int zone, address;
};
ZonePlace PlaceArgs(const Args& args) {
  return {IntArg(args[0], 0, kLastZone, "the zone"), IntArg(args[1], 0, kLastAddress, "the address")};
}

Action Read(const Args& args) {
  const ZonePlace p = PlaceArgs(args);
  const int count = IntArg(args[2], 1, kMaxLength, "the count");
  return [=](Session& s) {
    Bytes buffer(static_cast<std::size_t>(count));
    const int result = AT1608_Read(p.zone, p.address, count, buffer.data());
    if (result == 0) std::fputs(WrappedHex(buffer).c_str(), stdout);
    return Report(s, "zone read", result);
  };
}

Action Write(const Args& args) {
  const ZonePlace p = PlaceArgs(args);
  const Bytes data = HexArg(args[2], 1, kMaxLength, "the data");
  return [=](Session& s) {
    return Report(s, "zone write", AT1608_Write(p.zone, p.address, static_cast<int>(data.size()), data.data()));
  };
}

Action Password(const Args& args) {
  const int index = IntArg(args[0], 0, kLastPassword, "the password index");
  const Bytes password = HexArg(args[1], 3, 3, "the password");
  return [=](Session& s) {
    Bytes buffer{password[0], password[1], password[2], 0};
    const int result = AT1608_Psw(index, buffer.data());
    // Byte 0 holds the count when the card's attempts byte decoded, else the
    // first password byte; one above 8 cannot be a count.
    if (!LinkFailed(result) && buffer[0] <= 8) std::printf("%s\n", AttemptsInWords(buffer[0]).c_str());
    return Report(s, "password " + std::to_string(index), result);
  };
}

int Fuse(Session& s) {
  unsigned char fuse = 0;
  const int result = AT1608_ReadFuse(&fuse);
  if (result == 0) std::printf("fuse byte %02X\n", fuse);
  return Report(s, "fuse read", result);
}

Bytes RandomChallenge() {
  std::random_device random;
  std::uniform_int_distribution<int> byte(0, 255);
  Bytes challenge(kBlock);
  for (auto& b : challenge) b = static_cast<std::uint8_t>(byte(random));
  return challenge;
}

// auth --seed HEX [--challenge HEX], in either order.
Action Authenticate(const Args& args) {
  std::optional<Bytes> seed, challenge;
  if (args.size() % 2 != 0) throw UsageError("auth takes --seed HEX [--challenge HEX]");
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (args[i] == "--seed" && !seed) {
      seed = HexArg(args[i + 1], kBlock, kBlock, "the seed");
    } else if (args[i] == "--challenge" && !challenge) {
      challenge = HexArg(args[i + 1], kBlock, kBlock, "the challenge");
    } else {
      throw UsageError("auth takes --seed HEX [--challenge HEX], each once, not \"" + args[i] + "\"");
    }
  }
  if (!seed) throw UsageError("auth needs --seed HEX (8 bytes)");
  return [seed = *seed, challenge](Session& s) {
    const Bytes sent = challenge ? *challenge : RandomChallenge();
    std::printf("challenge %s\n", FormatHex(sent).c_str());
    Bytes buffer = sent;
    const int result = AT1608_Authentic(buffer.data(), seed.data());
    if (const auto left = AuthenticationAttempts(buffer, result)) std::printf("%s\n", AttemptsInWords(*left).c_str());
    if (result == kAnswerMismatch) {
      std::fprintf(stderr, "authenticate: the card's answer did not match (a wrong seed?)\n");
      return 1;
    }
    return Report(s, "authenticate", result);
  };
}

}  // namespace

void AddAt1608Commands(CommandList& commands) {
  auto add = [&](const char* name, int n, const char* args, const char* help, auto prepare) {
    commands.push_back({name, n, args, help, true, prepare});
  };
  add("at-insert", 1, "SEED", "put a new AT88SC1608 card with this 8-byte seed in the simulated reader (--sim)",
      Insert);
  add("at-read", 3, "ZONE ADDRESS COUNT", "read AT88SC1608 zone bytes (zone 8: configuration; count 1..160)", Read);
  add("at-write", 3, "ZONE ADDRESS HEX", "write AT88SC1608 zone bytes (at most 160)", Write);
  add("at-psw", 2, "INDEX HEX", "present AT88SC1608 password INDEX (0..15, 3 bytes); shows the attempts left",
      Password);
  add("at-fuse", 0, "", "show the AT88SC1608 fuse byte", [](const Args&) { return Action(Fuse); });
  add("at-reset", 0, "", "reset the AT88SC1608 card", [](const Args&) {
    return Action([](Session& s) { return Report(s, "reset", AT1608_Reset()); });
  });
  add("auth", kRestOfLine, "--seed HEX [--challenge HEX]",
      "authenticate with the AT88SC1608 card (random challenge if none; must come last)", Authenticate);
}

void RunAt1608Demo(sim::Simulator& reader) {
  const sim::At1608Block seed{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  reader.WithState([&seed](sim::ReaderState& s) { sim::InsertAt1608Card(s, seed); });
  Say("A new AT88SC1608 card goes into the simulated reader; only it and the host know its");
  Say("secret seed %s.", FormatHex(seed).c_str());
  Show("PowerOn", PowerOn());

  unsigned char id[8];
  Show("AT1608_Read(8, 0, 8): configuration zone", AT1608_Read(8, 0, 8, id));
  Say("identification bytes %s", FormatHex(id).c_str());
  unsigned char text[] = "Kept in zone 0.";
  Show("AT1608_Write(0, 0, 16, ...)", AT1608_Write(0, 0, sizeof text, text));
  Say("Zone 0 refuses writes (status 0xB0) until its write password has been presented.");
  unsigned char wrong[4] = {0x12, 0x34, 0x56, 0};
  Show("AT1608_Psw(0, 12 34 56)", AT1608_Psw(0, wrong));
  Say("a wrong password (status 0xB1): %s", AttemptsInWords(wrong[0]).c_str());
  unsigned char right[4] = {0xFF, 0xFF, 0xFF, 0};
  Show("AT1608_Psw(0, FF FF FF)", AT1608_Psw(0, right));
  Say("the right one: %s", AttemptsInWords(right[0]).c_str());
  Show("AT1608_Write(0, 0, 16, ...)", AT1608_Write(0, 0, sizeof text, text));
  unsigned char back[sizeof text] = {};
  Show("AT1608_Read(0, 0, 16)", AT1608_Read(0, 0, sizeof back, back));
  Say("read back: \"%s\"", reinterpret_cast<const char*>(back));
  unsigned char fuse = 0;
  Show("AT1608_ReadFuse", AT1608_ReadFuse(&fuse));
  Say("fuse byte %02X", fuse);

  Say("Mutual authentication: the host reads the card's cryptogram, mixes it with the seed");
  Say("and its challenge, sends challenge and answer, and checks the card's answer.");
  auto authenticate = [](const sim::At1608Block& key, const char* what) {
    unsigned char challenge[8] = {0x5E, 0xED, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    unsigned char cryptogram[8];
    AT1608_Read(8, 40, 8, cryptogram);
    const int result = Show(std::string("AT1608_Authentic, ") + what, AT1608_Authentic(challenge, key.data()));
    const std::string attempts = challenge[0] <= 8 ? AttemptsInWords(challenge[0]) : "no attempts byte";
    Say("cryptogram was %s; %s%s", FormatHex(cryptogram).c_str(), attempts.c_str(),
        result == kAnswerMismatch ? "; 3 here means the card's answer did not match" : "");
  };
  authenticate(seed, "the card's seed");
  sim::At1608Block other = seed;
  other[0] ^= 0x01;
  authenticate(other, "a wrong seed");
  authenticate(other, "the wrong seed again");
  authenticate(seed, "the card's seed");
  Say("Each success renews the cryptogram, so a recorded exchange cannot be played back.");

  Show("AT1608_Reset", AT1608_Reset());
  Show("AT1608_Write(0, 0, 16, ...) after the reset", AT1608_Write(0, 0, sizeof text, text));
  Show("AT1608_Read(9, 0, 8): there is no zone 9", AT1608_Read(9, 0, 8, id));
  reader.WithState([](sim::ReaderState& s) { sim::RemoveAt1608Card(s); });
}

}  // namespace kulve::tool
