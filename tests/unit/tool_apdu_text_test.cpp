// SPDX-License-Identifier: MIT
// The tool's reading of APDUs and APDU scripts, and its ATR explanation.
#include <gtest/gtest.h>

#include <algorithm>

#include "tools/apdu_script.h"
#include "tools/atr_text.h"

namespace kulve::tool {
namespace {

TEST(ToolApduTextTest, TheFourShortCasesAndWhatIsRefused) {
  struct Case {
    const char* text;
    int lc;   // -1: refused
    int le;   // -1: none written
  };
  const Case cases[] = {
      {"00A40400", 0, -1},
      {"00 B0 00 00 10", 0, 0x10},
      {"00:D6:00:00:02:01:02", 2, -1},
      {"00A4040002 3F00 00", 2, 0x00},
      {"00A404", -1, -1},                 // no P2
      {"00 D6 00 00 03 01 02", -1, -1},   // fewer data bytes than Lc
      {"00 D6 00 00 01 01 02 03", -1, -1},  // more than Lc and Le
      {"00 D6 00 00 00 01", -1, -1},      // extended length
      {"00A4040G", -1, -1},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto apdu = ParseApdu(c.text, error);
    EXPECT_EQ(apdu.has_value(), c.lc >= 0) << c.text << ": " << error;
    if (!apdu || c.lc < 0) continue;
    EXPECT_EQ(apdu->lc, c.lc) << c.text;
    EXPECT_EQ(apdu->le.has_value() ? *apdu->le : -1, c.le) << c.text;
  }
  std::string error;
  EXPECT_TRUE(ParseApdu("00D60000 80" + std::string(256, 'A'), error));
  EXPECT_FALSE(ParseApdu("00D60000 81" + std::string(258, 'A'), error));
}

TEST(ToolApduTextTest, ScriptStepsSlotsAndExpectations) {
  std::string error;
  const auto steps = ParseScript(
      "# a session\n00A4040002 3F00 = 61xx\n\nreset 3\n00B0000008 = 9000  # read\nreset\n0020000100\n", 1, error);
  ASSERT_TRUE(steps) << error;
  ASSERT_EQ(steps->size(), 5u);
  EXPECT_EQ((*steps)[0].slot, 1);
  EXPECT_TRUE((*steps)[0].expected->Matches(0x6119));
  EXPECT_FALSE((*steps)[0].expected->Matches(0x9000));
  EXPECT_TRUE((*steps)[1].reset && (*steps)[1].slot == 3);
  EXPECT_EQ((*steps)[2].slot, 3);
  EXPECT_EQ((*steps)[2].line, 5);
  EXPECT_TRUE((*steps)[3].reset && (*steps)[3].slot == 3);
  EXPECT_FALSE((*steps)[4].expected);
  EXPECT_FALSE((*steps)[0].expected->Matches(0x61));  // a link failure is never a status word

  for (const char* bad : {"00B0000008 = 900", "reset 5", "00B0000008 = 9000\n00B0 = 9000"}) {
    EXPECT_FALSE(ParseScript(bad, 0, error)) << bad;
  }
  EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
}

TEST(ToolApduTextTest, AtrExplanationStopsWhereTheBytesDo) {
  struct Case {
    std::vector<std::uint8_t> atr;
    bool complete;
    const char* lastLine;  // the start of the last line
  };
  const Case cases[] = {
      {{0x3B, 0x9A, 0x95, 0x81, 0x31, 0xFE, 0x45, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x0F}, true, "TCK  0F  correct"},
      {{0x3B, 0x9A, 0x95, 0x81, 0x31, 0xFE, 0x45, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x33}, true, "TCK  33  WRONG"},
      {{0x3B, 0x9A, 0x95, 0x81, 0x31, 0xFE, 0x45, 1, 2, 3}, false, "the ATR ends 7 historical"},
      {{0x3B, 0x9A, 0x95, 0x81, 0x31, 0xFE}, false, "the ATR ends before TB3"},
      {{0x3B, 0x80}, false, "the ATR ends before TD1"},
      {{0x3B}, false, "the ATR ends before T0"},
      {{0x3B, 0x60, 0x00, 0x00, 0x99}, true, "1 more bytes"},
  };
  for (const Case& c : cases) {
    const AtrExplanation e = ExplainAtr(c.atr);
    EXPECT_EQ(e.complete, c.complete) << ::testing::PrintToString(c.atr);
    ASSERT_FALSE(e.lines.empty());
    EXPECT_EQ(e.lines.back().rfind(c.lastLine, 0), 0u) << e.lines.back();
  }
}

}  // namespace
}  // namespace kulve::tool
