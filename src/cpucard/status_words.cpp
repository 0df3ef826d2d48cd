// SPDX-License-Identifier: MIT
#include "cpucard/status_words.h"

#include <array>
#include <cstddef>

namespace kulve {
namespace {

struct ExactWord {
  std::uint16_t sw;
  const char* text;
};

constexpr ExactWord kExactWords[] = {
    {0x9000, "Success"},
    {0x6200, "Warning: no information given, card memory unchanged"},
    {0x6281, "Warning: part of the returned data may be corrupted"},
    {0x6282, "Warning: end of file or record reached before Le bytes were read"},
    {0x6283, "Warning: selected file deactivated"},
    {0x6284, "Warning: file control information not formatted as ISO/IEC 7816-4 says"},
    {0x6285, "Warning: selected file in termination state"},
    {0x6286, "Warning: no input data available from a sensor on the card"},
    {0x6300, "Warning: no information given, card memory changed"},
    {0x6381, "Warning: file filled up by the last write"},
    {0x6400, "Execution error: card memory unchanged"},
    {0x6401, "Execution error: immediate response required by the card"},
    {0x6500, "Execution error: card memory changed"},
    {0x6581, "Execution error: memory failure"},
    {0x6700, "Wrong length"},
    {0x6800, "Function in CLA not supported"},
    {0x6881, "Logical channel not supported"},
    {0x6882, "Secure messaging not supported"},
    {0x6883, "Last command of the chain expected"},
    {0x6884, "Command chaining not supported"},
    {0x6900, "Command not allowed"},
    {0x6981, "Command incompatible with file structure"},
    {0x6982, "Security status not satisfied"},
    {0x6983, "Authentication method blocked"},
    {0x6984, "Reference data not usable"},
    {0x6985, "Conditions of use not satisfied"},
    {0x6986, "Command not allowed (no current EF)"},
    {0x6987, "Expected secure messaging data objects missing"},
    {0x6988, "Incorrect secure messaging data objects"},
    {0x6A00, "Wrong parameters P1-P2"},
    {0x6A80, "Incorrect parameters in the command data field"},
    {0x6A81, "Function not supported"},
    {0x6A82, "File or application not found"},
    {0x6A83, "Record not found"},
    {0x6A84, "Not enough memory space in the file"},
    {0x6A85, "Nc inconsistent with TLV structure"},
    {0x6A86, "Incorrect parameters P1-P2"},
    {0x6A87, "Nc inconsistent with parameters P1-P2"},
    {0x6A88, "Referenced data or reference data not found"},
    {0x6A89, "File already exists"},
    {0x6A8A, "DF name already exists"},
    {0x6B00, "Wrong parameters P1-P2"},
    {0x6D00, "Instruction code not supported or invalid"},
    {0x6E00, "Class not supported"},
    {0x6F00, "No precise diagnosis"},
};

struct ClassText {
  std::uint8_t sw1;
  const char* text;
};

// ISO/IEC 7816-4 defines only XX = 00 for SW1 67, 6B, 6D, 6E, 6F and only
// 9000 for SW1 9X: every other word of theirs is the card's own.
constexpr ClassText kClasses[] = {
    {0x62, "Warning: card memory unchanged"},
    {0x63, "Warning: card memory changed"},
    {0x64, "Execution error: card memory unchanged"},
    {0x65, "Execution error: card memory changed"},
    {0x66, "Security-related issue"},
    {0x67, "Proprietary status (application-specific)"},
    {0x68, "Function in CLA not supported"},
    {0x69, "Command not allowed"},
    {0x6A, "Wrong parameters P1-P2"},
    {0x6B, "Proprietary status (application-specific)"},
    {0x6D, "Proprietary status (application-specific)"},
    {0x6E, "Proprietary status (application-specific)"},
    {0x6F, "Proprietary status (application-specific)"},
};

// The words whose SW2 is a number get one text per value, written out when
// the program is compiled so that no text is ever formatted at run time.
constexpr std::size_t kTextWidth = 72;
using Text = std::array<char, kTextWidth>;

class TextWriter {
 public:
  constexpr explicit TextWriter(Text& out) : out_(out) {}
  constexpr TextWriter& Put(const char* s) {
    while (*s != '\0' && at_ + 1 < kTextWidth) out_[at_++] = *s++;
    return *this;
  }
  constexpr TextWriter& Decimal(unsigned value) {
    char digits[4] = {};
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0 && at_ + 1 < kTextWidth) out_[at_++] = digits[--n];
    return *this;
  }
  constexpr TextWriter& Hex(unsigned byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    const char pair[3] = {kDigits[(byte >> 4) & 0xF], kDigits[byte & 0xF], '\0'};
    return Put(pair);
  }

 private:
  Text& out_;
  std::size_t at_ = 0;
};

// SW2 = 00 stands for 256 where it counts bytes.
constexpr unsigned ByteCount(unsigned sw2) { return sw2 == 0 ? 256 : sw2; }

constexpr std::array<Text, 256> kMoreBytes = [] {
  std::array<Text, 256> table{};
  for (unsigned sw2 = 0; sw2 < 256; ++sw2) {
    TextWriter w(table[sw2]);
    w.Decimal(ByteCount(sw2)).Put(sw2 == 0 ? " or more" : " more");
    w.Put(" bytes available (GET RESPONSE with Le=").Hex(sw2).Put(" fetches them)");
  }
  return table;
}();

constexpr std::array<Text, 256> kWrongLe = [] {
  std::array<Text, 256> table{};
  for (unsigned sw2 = 0; sw2 < 256; ++sw2) {
    TextWriter(table[sw2]).Put("Wrong Le, ").Decimal(ByteCount(sw2)).Put(" expected (repeat with Le=").Hex(sw2).Put(")");
  }
  return table;
}();

constexpr std::array<Text, 16> kTriesLeft = [] {
  std::array<Text, 16> table{};
  for (unsigned x = 0; x < 16; ++x) {
    TextWriter(table[x]).Put("Warning: ").Decimal(x).Put(x == 1 ? " try left" : " tries left");
  }
  return table;
}();

// 6202..6280 and 6402..6480: SW2 is a query the card raises (triggering).
constexpr bool TriggeredByCard(std::uint8_t sw1, std::uint8_t sw2) {
  return (sw1 == 0x62 || sw1 == 0x64) && sw2 >= 0x02 && sw2 <= 0x80;
}

// READ, WRITE, UPDATE and ERASE BINARY in their even forms, where P1-P2
// carries the offset (the odd forms carry it in the data field).
constexpr bool BinaryCommand(std::uint8_t ins) { return ins == 0xB0 || ins == 0xD0 || ins == 0xD6 || ins == 0x0E; }

constexpr std::uint8_t kMoreBytesSw1 = 0x61;
constexpr std::uint8_t kWrongLeSw1 = 0x6C;
constexpr std::uint16_t kTriesLeftMask = 0xFFF0;
constexpr std::uint16_t kTriesLeftWord = 0x63C0;

}  // namespace

const char* StatusWordText(std::uint16_t sw) {
  for (const ExactWord& word : kExactWords) {
    if (word.sw == sw) return word.text;
  }
  const std::uint8_t sw1 = static_cast<std::uint8_t>(sw >> 8);
  const std::uint8_t sw2 = static_cast<std::uint8_t>(sw & 0xFF);
  if (sw1 == kMoreBytesSw1) return kMoreBytes[sw2].data();
  if (sw1 == kWrongLeSw1) return kWrongLe[sw2].data();
  if ((sw & kTriesLeftMask) == kTriesLeftWord) return kTriesLeft[sw2 & 0x0F].data();
  if (TriggeredByCard(sw1, sw2)) {
    return sw1 == 0x62 ? "Warning: triggered by the card (card memory unchanged)"
                       : "Execution error: triggered by the card (card memory unchanged)";
  }
  for (const ClassText& c : kClasses) {
    if (c.sw1 == sw1) return c.text;
  }
  if ((sw1 & 0xF0) == 0x90) return "Proprietary status (application-specific)";
  return "Not an ISO/IEC 7816-4 status word";
}

const char* StatusWordText(std::uint16_t sw, std::uint8_t ins) {
  if (sw == 0x6B00 && BinaryCommand(ins)) return "Wrong parameters P1-P2: offset outside the file";
  return StatusWordText(sw);
}

}  // namespace kulve
