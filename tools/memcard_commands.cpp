// Memory-card commands of the kulve tool, and the memory-card section of the demo.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kulve32.h"
#include "sim/cards/memory_card.h"
#include "tools/command.h"
#include "tools/demo_steps.h"
#include "tools/hex.h"

namespace kulve::tool {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kMaxCount = 0x10000;  // the whole addressed card

// Parses the integer arguments args[first .. first + n); false (after a complaint) on a bad one.
bool Numbers(const Args& args, std::size_t first, std::size_t n, int* out) {
  for (std::size_t i = 0; i < n; ++i) {
    const auto value = ParseInt(args[first + i]);
    if (!value) return BadArgument("\"" + args[first + i] + "\" is not a number") == 0;
    out[i] = *value;
  }
  return true;
}

bool HexArg(const std::string& text, Bytes& out) {
  const auto bytes = ParseHex(text);
  if (!bytes || bytes->empty() || bytes->size() > static_cast<std::size_t>(kMaxCount)) {
    return BadArgument("\"" + text + "\" is not a run of hex bytes") == 0;
  }
  out = *bytes;
  return true;
}

// A buffer for count bytes, or a complaint when the tool would not hold them.
bool CountBuffer(int count, Bytes& out) {
  if (count > kMaxCount) return BadArgument("at most 65536 bytes at a time") == 0;
  out.assign(static_cast<std::size_t>(std::max(count, 1)), 0);
  return true;
}

int PrintedIfOk(Session& s, const std::string& what, int result, const Bytes& bytes, int count) {
  if (result == 0) std::printf("%s\n", FormatHex(std::span(bytes.data(), static_cast<std::size_t>(count))).c_str());
  return Report(s, what, result);
}

int Insert(Session& s, const Args& args) {
  int type = 0;
  if (!Numbers(args, 0, 1, &type)) return 2;
  if (s.Simulator() == nullptr) return BadArgument("insert works with --sim only");
  if (type < 0 || type > 255) return BadArgument("card type must be 0..255");
  s.Simulator()->WithState([type](sim::ReaderState& st) { sim::InsertMemoryCard(st, static_cast<std::uint8_t>(type)); });
  std::printf("a new card of type %d is in the simulated reader\n", type);
  return 0;
}

int Read(Session& s, const Args& args) {
  int v[4];  // area, page, offset, count
  Bytes buffer;
  if (!Numbers(args, 0, 4, v) || !CountBuffer(v[3], buffer)) return 2;
  return PrintedIfOk(s, "read", ReadCard(v[0], v[1], v[2], v[3], buffer.data()), buffer, v[3]);
}

int Write(Session& s, const Args& args) {
  int v[3];  // area, page, offset
  Bytes data;
  if (!Numbers(args, 0, 3, v) || !HexArg(args[3], data)) return 2;
  return Report(s, "write", WriteCard(v[0], v[1], v[2], static_cast<int>(data.size()), data.data()));
}

int Erase(Session& s, const Args& args) {
  int v[4];
  Bytes buffer;
  if (!Numbers(args, 0, 4, v) || !CountBuffer(v[3], buffer)) return 2;
  return Report(s, "erase", EraseCard(v[0], v[1], v[2], v[3], buffer.data()));
}

int PagedRead(Session& s, const Args& args) {
  int v[2];  // address, count
  Bytes buffer;
  if (!Numbers(args, 0, 2, v) || !CountBuffer(v[1], buffer)) return 2;
  return PrintedIfOk(s, "paged read", ReadMemCard(v[0], v[1], buffer.data()), buffer, v[1]);
}

int PagedWrite(Session& s, const Args& args) {
  int address = 0;
  Bytes data;
  if (!Numbers(args, 0, 1, &address) || !HexArg(args[1], data)) return 2;
  return Report(s, "paged write", WriteMemCard(address, static_cast<int>(data.size()), data.data()));
}

int PagedErase(Session& s, const Args& args) {
  int v[2];
  Bytes buffer;
  if (!Numbers(args, 0, 2, v) || !CountBuffer(v[1], buffer)) return 2;
  return Report(s, "paged erase", EraseMemCard(v[0], v[1], buffer.data()));
}

// A code buffer of the documented size: the code bytes, at least 4 bytes.
Bytes CodeBuffer(const Bytes& code, std::size_t least = 4) {
  Bytes buffer = code;
  buffer.resize(std::max(code.size(), least), 0);
  return buffer;
}

int Present(Session& s, const Args& args) {
  Bytes code;
  if (!HexArg(args[0], code)) return 2;
  Bytes buffer = CodeBuffer(code);
  const int result = CheckSecret(static_cast<int>(code.size()), buffer.data());
  if (result == 0) std::printf("code buffer afterwards: %s\n", FormatHex(buffer).c_str());
  return Report(s, "present code", result);
}

int Secret(Session& s, const Args&) {
  std::uint8_t counter[2] = {}, code[4] = {};
  const int result = ReadSecret(counter, code);
  if (result == 0) std::printf("attempts counter %s, code %s\n", FormatHex(counter).c_str(), FormatHex(code).c_str());
  return Report(s, "read code", result);
}

int NewCode(Session& s, const Args& args) {
  Bytes code;
  if (!HexArg(args[0], code)) return 2;
  Bytes buffer = CodeBuffer(code);
  const int result = ModifySecret(static_cast<int>(code.size()), buffer.data());
  if (result == 0) std::printf("code buffer afterwards: %s\n", FormatHex(buffer).c_str());
  return Report(s, "change code", result);
}

int EraseKey(Session& s, const Args& args) {
  int number = 0;
  Bytes key;
  if (!Numbers(args, 0, 1, &number) || !HexArg(args[1], key)) return 2;
  Bytes buffer = CodeBuffer(key, 6);
  return Report(s, "present erase key", CheckEraseSecret(number, buffer.data()));
}

int ZoneCode(Session& s, const Args& args) {
  int zone = 0;
  Bytes code;
  if (!Numbers(args, 0, 1, &zone) || !HexArg(args[1], code)) return 2;
  Bytes buffer = CodeBuffer(code);
  return Report(s, "present zone code", CheckZoneSecret(zone, buffer.data()));
}

}  // namespace

void AddMemoryCardCommands(CommandList& commands) {
  auto add = [&](const char* name, int n, const char* args, const char* help, auto run) {
    commands.push_back({name, n, args, help, true, run});
  };
  add("insert", 1, "TYPE", "put a new memory card of TYPE in the simulated reader (--sim)", Insert);
  add("verify", 0, "", "check the inserted card matches the selected type",
      [](Session& s, const Args&) { return Report(s, "verify card", VerifyIC()); });
  add("read", 4, "AREA PAGE OFFSET COUNT", "read card bytes (area 18 card memory, 2 security memory)", Read);
  add("write", 4, "AREA PAGE OFFSET HEX", "write card bytes", Write);
  add("erase", 4, "AREA PAGE OFFSET COUNT", "erase card bytes to 0xFF", Erase);
  add("mread", 2, "ADDRESS COUNT", "read paged memory", PagedRead);
  add("mwrite", 2, "ADDRESS HEX", "write paged memory", PagedWrite);
  add("merase", 2, "ADDRESS COUNT", "erase paged memory to 0xFF", PagedErase);
  add("present", 1, "HEX", "present the security code", Present);
  add("secret", 0, "", "show the security code and attempts counter", Secret);
  add("newcode", 1, "HEX", "replace the security code", NewCode);
  add("erasekey", 2, "NUMBER HEX", "present an erase key", EraseKey);
  add("zonecode", 2, "ZONE HEX", "present a zone code", ZoneCode);
  add("zoneaccess", 2, "ZONE BYTE", "set a zone's access byte", [](Session& s, const Args& a) {
    int v[2];
    if (!Numbers(a, 0, 2, v)) return 2;
    return Report(s, "zone access", SetZoneRWBit(v[0], v[1]));
  });
  add("fuse", 1, "VALUE", "send the fuse command", [](Session& s, const Args& a) {
    int v = 0;
    if (!Numbers(a, 0, 1, &v)) return 2;
    return Report(s, "fuse", Fuse(v));
  });
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
