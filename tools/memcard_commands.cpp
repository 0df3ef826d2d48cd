// SPDX-License-Identifier: MIT
// Memory-card commands of the kulve tool, and the memory-card section of the demo.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "kulve32.h"
#include "memcard/card_types.h"
#include "memcard/secret_addresses.h"
#include "sim/cards/memory_card.h"
#include "tools/command.h"
#include "tools/demo_steps.h"
#include "tools/hex.h"
#include "tools/io_files.h"

namespace kulve::tool {
namespace {

constexpr int kMaxCount = 0x10000;  // the whole addressed card
constexpr int kMaxInt = 0x7FFFFFFF;

Bytes Buffer(int count) { return Bytes(static_cast<std::size_t>(count), 0); }

// The bytes read as hex lines of 16, the selected type's code bytes among
// them (by their card addresses from `address` in `area`) masked unless shown.
std::string ReadText(const Session& s, std::uint8_t area, std::int64_t address, const Bytes& bytes) {
  std::string text = WrappedHex(bytes);
  if (s.ShowsSecrets()) return text;
  const CardTypeTraits& traits = TraitsOf(s.CardType());
  constexpr std::size_t kPiece = 255;
  for (std::size_t at = 0; at < bytes.size() && address + static_cast<std::int64_t>(at) < 0x10000; at += kPiece) {
    const auto a = static_cast<std::size_t>(address) + at;
    const std::size_t n = std::min(kPiece, bytes.size() - at);
    const std::array<std::uint8_t, 4> header{area, static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a),
                                             static_cast<std::uint8_t>(n)};
    const SecretSpan secret = MemcardSecrets(traits, 0x14, header);  // a read's reply
    for (std::size_t i = 0; i < n; ++i) {
      if (secret.InReply(i)) text.replace(48 * ((at + i) / 16) + 3 * ((at + i) % 16), 2, "**");
    }
  }
  return text;
}

// The bytes read: raw to the --out file (the data asked for, as it is), else
// as hex lines of 16 bytes.
int PrintedIfOk(Session& s, const std::string& what, int result, const Bytes& bytes, std::uint8_t area,
                std::int64_t address) {
  if (result != 0) return Report(s, what, result);
  DataFiles& files = Files();
  if (files.out.empty()) {
    std::fputs(ReadText(s, area, address, bytes).c_str(), stdout);
  } else {
    if (!WriteOutputFile(files.out, bytes, files.outStarted, what)) return 1;
    files.outStarted = true;
  }
  return Report(s, what, result);
}

// Long reads go in pieces so a terminal can show how far they got; one call
// otherwise. read(done, n, into) reads n bytes starting done bytes in.
constexpr int kProgressPiece = 1024;
int ReadInPieces(Session& s, int count, Bytes& buffer, const std::function<int(int, int, std::uint8_t*)>& read) {
  if (count <= kProgressPiece || !ShowsProgress(s.Quiet())) return read(0, count, buffer.data());
  const auto progress = ProgressLine(s.Quiet(), "reading");
  for (int done = 0; done < count;) {
    const int n = std::min(kProgressPiece, count - done);
    if (const int result = read(done, n, buffer.data() + done); result != 0) return result;
    done += n;
    progress(done, count);
  }
  return 0;
}

// A write's data word: hex, or "-" for the bytes of the --in file (standard
// input by default).
Bytes DataArg(const std::string& word) {
  if (word != "-") return HexArg(word, 1, kMaxCount, "the data");
  Bytes bytes = ReadInputFile(Files().in);
  if (bytes.empty() || bytes.size() > kMaxCount)
    throw UsageError("the data of " + (Files().in == "-" ? std::string("standard input") : Files().in) +
                     " must be 1 to " + std::to_string(kMaxCount) + " bytes, not " + std::to_string(bytes.size()));
  return bytes;
}

// A code buffer of the documented size: the code bytes, at least `least` bytes.
Bytes CodeBuffer(const Bytes& code, std::size_t least = 4) {
  Bytes buffer = code;
  buffer.resize(std::max(code.size(), least), 0);
  return buffer;
}

Action Insert(const Args& args) {
  const int type = IntArg(args[0], 0, 255, "the card type");
  return [type](Session& s) {
    if (s.Simulator() == nullptr) throw UsageError("insert works with --sim only");
    s.Simulator()->WithState([type](sim::ReaderState& st) { sim::InsertMemoryCard(st, static_cast<std::uint8_t>(type)); });
    if (!s.Quiet()) std::fprintf(stderr, "a new card of type %d is in the simulated reader\n", type);
    return 0;
  };
}

// AREA PAGE OFFSET: the address words shared by read, write and erase.
struct Addressed {
  int area, page, offset;
};
Addressed AddressArgs(const Args& args) {
  return {IntArg(args[0], 0, 255, "the area"), IntArg(args[1], 0, 255, "the page"),
          IntArg(args[2], 0, kMaxInt, "the offset")};
}

// Card addresses are 16 bits on the wire; the library refuses a span past
// them, and the tool refuses it before the line starts.
void CheckAddressedSpan(const Addressed& a, std::size_t count) {
  if (static_cast<long long>(a.page) * 256 + a.offset + static_cast<long long>(count) > kMaxCount) {
    throw UsageError("page * 256 + offset + count must not pass 65536");
  }
}

// Paged addresses end with page 65535; pages are 264 bytes on type 21 cards,
// which reach furthest (other types refuse less in the library itself).
constexpr long long kPagedEnd = 65536LL * 264;
void CheckPagedSpan(int address, std::size_t count) {
  if (address + static_cast<long long>(count) > kPagedEnd) {
    throw UsageError("address + count must not pass " + std::to_string(kPagedEnd));
  }
}

Action Read(const Args& args) {
  const Addressed a = AddressArgs(args);
  const int count = IntArg(args[3], 1, kMaxCount, "the count");
  CheckAddressedSpan(a, static_cast<std::size_t>(count));
  return [=](Session& s) {
    Bytes buffer = Buffer(count);
    const int result = ReadInPieces(s, count, buffer, [&](int done, int n, std::uint8_t* into) {
      return ReadCard(a.area, a.page, a.offset + done, n, into);
    });
    return PrintedIfOk(s, "read", result, buffer, static_cast<std::uint8_t>(a.area),
                       std::int64_t{a.page} * 256 + a.offset);
  };
}

Action Write(const Args& args) {
  const Addressed a = AddressArgs(args);
  const Bytes data = DataArg(args[3]);
  CheckAddressedSpan(a, data.size());
  return [=](Session& s) {
    Bytes copy = data;
    return Report(s, "write", WriteCard(a.area, a.page, a.offset, static_cast<int>(copy.size()), copy.data()));
  };
}

Action Erase(const Args& args) {
  const Addressed a = AddressArgs(args);
  const int count = IntArg(args[3], 1, kMaxCount, "the count");
  CheckAddressedSpan(a, static_cast<std::size_t>(count));
  return [=](Session& s) {
    Bytes buffer = Buffer(count);
    return Report(s, "erase", EraseCard(a.area, a.page, a.offset, count, buffer.data()));
  };
}

Action PagedRead(const Args& args) {
  const int address = IntArg(args[0], 0, kMaxInt, "the address");
  const int count = IntArg(args[1], 1, kMaxCount, "the count");
  CheckPagedSpan(address, static_cast<std::size_t>(count));
  return [=](Session& s) {
    Bytes buffer = Buffer(count);
    const int result = ReadInPieces(s, count, buffer, [&](int done, int n, std::uint8_t* into) {
      return ReadMemCard(address + done, n, into);
    });
    return PrintedIfOk(s, "paged read", result, buffer, 18, address);
  };
}

Action PagedWrite(const Args& args) {
  const int address = IntArg(args[0], 0, kMaxInt, "the address");
  const Bytes data = DataArg(args[1]);
  CheckPagedSpan(address, data.size());
  return [=](Session& s) {
    Bytes copy = data;
    return Report(s, "paged write", WriteMemCard(address, static_cast<int>(copy.size()), copy.data()));
  };
}

Action PagedErase(const Args& args) {
  const int address = IntArg(args[0], 0, kMaxInt, "the address");
  const int count = IntArg(args[1], 1, kMaxCount, "the count");
  CheckPagedSpan(address, static_cast<std::size_t>(count));
  return [=](Session& s) {
    Bytes buffer = Buffer(count);
    return Report(s, "paged erase", EraseMemCard(address, count, buffer.data()));
  };
}

Action Present(const Args& args) {
  const Bytes code = HexArg(args[0], 1, 255, "the code");
  return [=](Session& s) {
    Bytes buffer = CodeBuffer(code);
    const int result = CheckSecret(static_cast<int>(code.size()), buffer.data());
    if (result == 0) std::printf("%s\n", SecretHex(buffer, s.ShowsSecrets()).c_str());
    return Report(s, "present code", result);
  };
}

int Secret(Session& s) {
  std::uint8_t counter[2] = {}, code[4] = {};
  const int result = ReadSecret(counter, code);
  if (result == 0) {
    std::printf("attempts counter %s, code %s\n", FormatHex(counter).c_str(), SecretHex(code, s.ShowsSecrets()).c_str());
  }
  return Report(s, "read code", result);
}

Action NewCode(const Args& args) {
  const Bytes code = HexArg(args[0], 1, 254, "the code");
  return [=](Session& s) {
    Bytes buffer = CodeBuffer(code);
    const int result = ModifySecret(static_cast<int>(code.size()), buffer.data());
    if (result == 0) std::printf("%s\n", SecretHex(buffer, s.ShowsSecrets()).c_str());
    return Report(s, "change code", result);
  };
}

Action EraseKey(const Args& args) {
  const int number = IntArg(args[0], 0, 255, "the key number");
  const Bytes key = HexArg(args[1], 1, 6, "the key");
  return [=](Session& s) {
    Bytes buffer = CodeBuffer(key, 6);
    return Report(s, "present erase key", CheckEraseSecret(number, buffer.data()));
  };
}

Action ZoneCode(const Args& args) {
  const int zone = IntArg(args[0], 0, 255, "the zone");
  const Bytes code = HexArg(args[1], 2, 2, "the zone code");
  return [=](Session& s) {
    Bytes buffer = CodeBuffer(code);
    return Report(s, "present zone code", CheckZoneSecret(zone, buffer.data()));
  };
}

Action ZoneAccess(const Args& args) {
  const int zone = IntArg(args[0], 0, 255, "the zone");
  const int access = IntArg(args[1], 0, 255, "the access byte");
  return [=](Session& s) { return Report(s, "zone access", SetZoneRWBit(zone, access)); };
}

Action FuseValue(const Args& args) {
  const int value = IntArg(args[0], 0, 255, "the fuse value");
  return [=](Session& s) { return Report(s, "fuse", Fuse(value)); };
}

}  // namespace

void AddMemoryCardCommands(CommandList& commands) {
  auto add = [&](const char* name, int n, const char* args, const char* help, auto prepare) {
    commands.push_back({name, n, args, help, true, prepare});
  };
  add("insert", 1, "TYPE", "put a new memory card of TYPE in the simulated reader (--sim)", Insert);
  add("verify", 0, "", "check the inserted card matches the selected type", [](const Args&) {
    return Action([](Session& s) { return Report(s, "verify card", VerifyIC()); });
  });
  add("read", 4, "AREA PAGE OFFSET COUNT", "read card bytes (area 18 card memory, 2 security memory); hex lines, or raw bytes to the --out file", Read);
  add("write", 4, "AREA PAGE OFFSET HEX", "write card bytes; HEX - takes them from the --in file (standard input)", Write);
  add("erase", 4, "AREA PAGE OFFSET COUNT", "erase card bytes to 0xFF", Erase);
  add("mread", 2, "ADDRESS COUNT", "read paged memory (as read)", PagedRead);
  add("mwrite", 2, "ADDRESS HEX", "write paged memory (as write)", PagedWrite);
  add("merase", 2, "ADDRESS COUNT", "erase paged memory to 0xFF", PagedErase);
  add("present", 1, "HEX", "present the security code (prints the code buffer afterwards)", Present);
  add("secret", 0, "", "show the security code and attempts counter",
      [](const Args&) { return Action(Secret); });
  add("newcode", 1, "HEX", "replace the security code (prints the code buffer afterwards)", NewCode);
  add("erasekey", 2, "NUMBER HEX", "present an erase key", EraseKey);
  add("zonecode", 2, "ZONE HEX", "present a zone code", ZoneCode);
  add("zoneaccess", 2, "ZONE BYTE", "set a zone's access byte", ZoneAccess);
  add("fuse", 1, "VALUE", "send the fuse command", FuseValue);
}

void RunMemoryCardDemo(sim::Simulator& reader) {
  auto insert = [&](int type) {
    reader.WithState([type](sim::ReaderState& s) { sim::InsertMemoryCard(s, static_cast<std::uint8_t>(type)); });
  };
  insert(2);
  Say("A new memory card of type 2 goes into the simulated reader: a 3-byte code in its");
  Say("security memory, an attempts counter of 3, identification bytes 81 15 at bytes 6..7.");
  Show("SelectCard(2)", SelectCard(2));
  Show("PowerOn", PowerOn());
  Show("VerifyIC: bytes 6..7 read 81 15", VerifyIC());
  Show("SelectCard(4)", SelectCard(4));
  Show("VerifyIC: a type 4 card would read 81 13", VerifyIC());
  Show("SelectCard(2)", SelectCard(2));

  unsigned char text[] = "Written through KULVE32, read back piece by piece.";
  Show("WriteCard(18, 0, 32, ...) before the code", WriteCard(18, 0, 32, sizeof text, text));
  Say("The card refuses writes (status 0x92) until its code has been presented.");
  unsigned char counter[2], code[4];
  Show("ReadSecret", ReadSecret(counter, code));
  Say("attempts counter %d, code %s (hidden until presented)", counter[0], FormatHex(std::span(code, 3)).c_str());
  unsigned char wrong[4] = {0x12, 0x34, 0x56, 0};
  Show("CheckSecret(3, 12 34 56)", CheckSecret(3, wrong));
  Show("ReadSecret", ReadSecret(counter, code));
  Say("a wrong code (status 0x90) cost an attempt: counter %d", counter[0]);
  unsigned char right[4] = {0xFF, 0xFF, 0xFF, 0};
  Show("CheckSecret(3, FF FF FF)", CheckSecret(3, right));
  Show("ReadSecret", ReadSecret(counter, code));
  Say("the right code restores the counter to %d and shows the code: %s", counter[0],
      FormatHex(std::span(code, 3)).c_str());
  Show("WriteCard(18, 0, 32, 51 bytes)", WriteCard(18, 0, 32, sizeof text, text));
  unsigned char back[sizeof text] = {};
  Show("ReadCard(18, 0, 32, 51 bytes)", ReadCard(18, 0, 32, sizeof back, back));
  Say("read back: \"%s\"", reinterpret_cast<const char*>(back));

  insert(21);
  Say("Now a type 21 card, whose paged memory has pages of 264 bytes.");
  Show("SelectCard(21)", SelectCard(21));
  unsigned char block[300];
  for (std::size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<unsigned char>(i);
  reader.ClearRequests();
  Show("WriteMemCard(250, 300 bytes)", WriteMemCard(250, sizeof block, block));
  for (const auto& request : reader.Requests()) {
    Say("  paged write: page %d, offset %d, %d bytes", request.data[0] * 256 + request.data[1],
        request.data[2] * 256 + request.data[3], request.data[4]);
  }
  unsigned char readBack[sizeof block] = {};
  Show("ReadMemCard(250, 300 bytes)", ReadMemCard(250, sizeof readBack, readBack));
  Say("the bytes read back %s the bytes written.",
      std::equal(block, block + sizeof block, readBack) ? "equal" : "DIFFER FROM");

  insert(15);
  Say("A type 15 card keeps its 2-byte code at card bytes 10..11 and the counter at 12..13.");
  Show("SelectCard(15)", SelectCard(15));
  unsigned char secret[4] = {0xFF, 0xFF};
  Show("CheckSecret(2, FF FF)", CheckSecret(2, secret));
  Say("the buffer now holds counter then code: %s", FormatHex(secret).c_str());
  unsigned char replacement[4] = {0x24, 0x68};
  Show("ModifySecret(2, 24 68)", ModifySecret(2, replacement));
  Say("erase, write and counter read done: %s", FormatHex(replacement).c_str());
  unsigned char fresh[4] = {0x24, 0x68};
  Show("CheckSecret(2, 24 68)", CheckSecret(2, fresh));
  Say("Arguments the card cannot address are refused before anything is sent:");
  Show("ReadCard(18, 256, 0, 1): past the 16-bit address space", ReadCard(18, 256, 0, 1, back));
}

}  // namespace kulve::tool
