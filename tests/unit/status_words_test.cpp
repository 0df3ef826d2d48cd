// SPDX-License-Identifier: MIT
// Status words in words.
#include <gtest/gtest.h>

#include <string>

#include "cpucard/status_words.h"

namespace kulve {
namespace {

TEST(StatusWordTextTest, ExactWordsThenNumbersThenClasses) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0x9000, "Success"},
      {0x6A82, "File or application not found"},
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
      {0x9F10, "Proprietary status"},
      {0x1234, "Not an ISO/IEC 7816-4 status word"},
      {0x0000, "Not an ISO/IEC 7816-4 status word"},
  };
  for (const auto& [sw, text] : cases) EXPECT_STREQ(StatusWordText(sw), text) << std::hex << sw;
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
