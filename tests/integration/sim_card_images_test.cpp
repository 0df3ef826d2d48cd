// SPDX-License-Identifier: MIT
// Card images on their own: the Proxmark3 text form as people write it, the
// sizes each model takes, and what a loaded image changes beyond its bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "sim/cards/card_images.h"

namespace kulve::sim {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// 64 lines of block b as 32 hex digits "bb00..00", with the separator given.
std::string Eml(int blocks, const std::string& end, bool upper) {
  std::string text;
  for (int b = 0; b < blocks; ++b) {
    char line[40];
    std::snprintf(line, sizeof line, upper ? "%02X%030X" : "%02x%030x", b % 256, 0);
    text += line + end;
  }
  return text;
}

TEST(SimCardImagesTest, EmlTextAsWrittenByToolsAndByHand) {
  struct Case {
    const char* name;
    std::string text;
    std::string error;  // empty: loads, block b starting with byte b
  } cases[] = {
      {"lower case, LF", Eml(64, "\n", false), ""},
      {"upper case, CRLF, blank lines and spaces", "\r\n" + Eml(64, " \r\n\r\n", true), ""},
      {"no newline after the last block", Eml(64, "\n", false).substr(0, 64 * 33 - 1), ""},
      {"63 blocks", Eml(63, "\n", false), "the image holds 63 blocks, not 64 (1K) or 256 (4K)"},
      {"65 blocks", Eml(65, "\n", false), "the image holds 65 blocks, not 64 (1K) or 256 (4K)"},
      {"257 blocks", Eml(257, "\n", false), "more than 256 blocks"},
      {"a short line", Eml(2, "\n", false) + "0011\n", "line 3 is not a block of 32 hex digits"},
      {"not hex", "zz" + Eml(64, "\n", false).substr(2), "line 1 is not a block of 32 hex digits"},
  };
  for (const Case& c : cases) {
    std::vector<MifareBlock> blocks;
    std::string error;
    const bool loaded = ParseMifareImage(Bytes(c.text), true, blocks, error);
    EXPECT_EQ(loaded, c.error.empty()) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    if (loaded) {
      for (int b = 0; b < 64; ++b) ASSERT_EQ(blocks[b][0], b) << c.name;
    }
  }
}

TEST(SimCardImagesTest, EachModelTakesItsSizes) {
  struct Case {
    const char* name;
    std::function<std::string(std::size_t)> load;  // an image of n bytes of 0x5A
    std::vector<std::size_t> fits, refused;
  } cases[] = {
      {"memory card without a code (type 1)", [](std::size_t n) { MemoryCard c(1); return LoadMemoryCardImage(c, std::vector<std::uint8_t>(n, 0x5A)); },
       {1, 256, 65536}, {65537, 65539}},
      {"memory card with 1 + 2 security bytes (type 4)", [](std::size_t n) { MemoryCard c(4); return LoadMemoryCardImage(c, std::vector<std::uint8_t>(n, 0x5A)); },
       {256, 65536, 65539}, {65537, 65538, 65540}},
      {"AT88SC1608", [](std::size_t n) { At1608Card c(At1608Block{}); return LoadAt1608Image(c, std::vector<std::uint8_t>(n, 0x5A)); },
       {2177}, {2176, 2178}},
      {"e5550", [](std::size_t n) { E5550Transponder t; return LoadE5550Image(t, std::vector<std::uint8_t>(n, 0x5A)); },
       {33}, {32, 34}},
  };
  for (const Case& c : cases) {
    for (std::size_t n : c.fits) EXPECT_EQ(c.load(n), "") << c.name << ", " << n << " bytes";
    for (std::size_t n : c.refused) EXPECT_NE(c.load(n), "") << c.name << ", " << n << " bytes";
  }
}

TEST(SimCardImagesTest, LoadedStateBeyondTheBytes) {
  MemoryCard card(4);
  std::vector<std::uint8_t> image(65539, 0x00);
  image[65536] = 1;  // one attempt left
  ASSERT_EQ(LoadMemoryCardImage(card, image), "");
  EXPECT_EQ(card.AttemptsLeft(), 1u);

  E5550Transponder transponder;
  std::vector<std::uint8_t> e5550(33, 0);
  e5550[32] = 0x81;  // blocks 0 and 7 locked
  ASSERT_EQ(LoadE5550Image(transponder, e5550), "");
  for (std::uint8_t b = 0; b < 8; ++b) EXPECT_EQ(transponder.Locked(b), b == 0 || b == 7) << int{b};

  At1608Card at1608(At1608Block{});
  std::vector<std::uint8_t> zones(2177, 0xFF);
  zones[2176] = 0x01;
  ASSERT_EQ(LoadAt1608Image(at1608, zones), "");
  EXPECT_EQ(at1608.ReadFuses().data, std::vector<std::uint8_t>{0x01});
  EXPECT_EQ(At1608Image(at1608), zones);
}

}  // namespace
}  // namespace kulve::sim
