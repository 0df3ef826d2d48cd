// SPDX-License-Identifier: MIT
// Status words in words.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "cpucard/status_words.h"

namespace kulve {
namespace {

TEST(StatusWordTextTest, ExactWordsThenNumbersThenClasses) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0x9000, "Success"},
      {0x6A82, "File or application not found"},
      {0x6A81, "Function not supported"},
      {0x6983, "Authentication method blocked"},
      {0x611C, "28 more bytes available (GET RESPONSE with Le=1C fetches them)"},
      {0x6100, "256 or more bytes available (GET RESPONSE with Le=00 fetches them)"},
      {0x63C2, "Warning: 2 tries left"},
      {0x63C1, "Warning: 1 try left"},
      {0x63C0, "Warning: 0 tries left"},
      {0x6C10, "Wrong Le, 16 expected (repeat with Le=10)"},
      {0x6C00, "Wrong Le, 256 expected (repeat with Le=00)"},
      {0x6300, "Warning: no information given, card memory changed"},
      {0x63A1, "Warning: card memory changed"},
      {0x6A99, "Wrong parameters P1-P2"},
      {0x9F10, "Proprietary status (application-specific)"},
      {0x63CA, "Warning: 10 tries left"},
      {0x63CF, "Warning: 15 tries left"},
      {0x1234, "Not an ISO/IEC 7816-4 status word"},
      {0x0000, "Not an ISO/IEC 7816-4 status word"},
  };
  for (const auto& [sw, text] : cases) EXPECT_STREQ(StatusWordText(sw), text) << std::hex << sw;
}

// ISO/IEC 7816-4 defines XX = 00 only for SW1 67, 6B, 6D, 6E, 6F, and only
// 9000 in 9X; 62/64 with SW2 02..80 are queries the card triggers.
TEST(StatusWordTextTest, ProprietaryAndCardTriggeredRanges) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0x6781, "Proprietary status (application-specific)"},
      {0x6B01, "Proprietary status (application-specific)"},
      {0x6D01, "Proprietary status (application-specific)"},
      {0x6EFF, "Proprietary status (application-specific)"},
      {0x6F01, "Proprietary status (application-specific)"},
      {0x9001, "Proprietary status (application-specific)"},
      {0x6700, "Wrong length"},
      {0x6D00, "Instruction code not supported or invalid"},
      {0x6E00, "Class not supported"},
      {0x6F00, "No precise diagnosis"},
      {0x6202, "Warning: triggered by the card (card memory unchanged)"},
      {0x6280, "Warning: triggered by the card (card memory unchanged)"},
      {0x6281, "Warning: part of the returned data may be corrupted"},
      {0x6201, "Warning: card memory unchanged"},
      {0x6402, "Execution error: triggered by the card (card memory unchanged)"},
      {0x6480, "Execution error: triggered by the card (card memory unchanged)"},
      {0x6481, "Execution error: card memory unchanged"},
      {0x6401, "Execution error: immediate response required by the card"},
  };
  for (const auto& [sw, text] : cases) EXPECT_STREQ(StatusWordText(sw), text) << std::hex << sw;
}

// 6B00 names an offset outside the file only as the answer to a binary
// command (READ B0, WRITE D0, UPDATE D6, ERASE 0E); to SELECT (A4) or READ
// RECORD (B2) it is the plain P1-P2 fault.
TEST(StatusWordTextTest, OffsetOutsideTheFileOnlyForBinaryCommands) {
  const std::tuple<std::uint8_t, std::uint16_t, const char*> cases[] = {
      {0xB0, 0x6B00, "Wrong parameters P1-P2: offset outside the file"},
      {0xD6, 0x6B00, "Wrong parameters P1-P2: offset outside the file"},
      {0x0E, 0x6B00, "Wrong parameters P1-P2: offset outside the file"},
      {0xA4, 0x6B00, "Wrong parameters P1-P2"},
      {0xB2, 0x6B00, "Wrong parameters P1-P2"},
      {0xB0, 0x6A82, "File or application not found"},
  };
  for (const auto& [ins, sw, text] : cases) EXPECT_STREQ(StatusWordText(sw, ins), text) << std::hex << ins;
  EXPECT_STREQ(StatusWordText(0x6B00), "Wrong parameters P1-P2");
}

// Numbered texts are written into fixed-width tables: none may be cut short.
TEST(StatusWordTextTest, EveryNumberedTextIsWhole) {
  for (unsigned sw = 0; sw <= 0xFFFF; ++sw) {
    const std::string text = StatusWordText(static_cast<std::uint16_t>(sw));
    ASSERT_FALSE(text.empty()) << std::hex << sw;
    const char* ending = (sw >> 8) == 0x61 ? "fetches them)" : (sw >> 8) == 0x6C ? ")" : (sw & 0xFFF0) == 0x63C0 ? " left" : "";
    ASSERT_TRUE(text.ends_with(ending)) << std::hex << sw << ": " << text;
  }
}

}  // namespace
}  // namespace kulve
