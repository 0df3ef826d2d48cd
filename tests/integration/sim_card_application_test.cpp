// SPDX-License-Identifier: MIT
// The simulated cards' application on its own: response data only where the
// command's Le asked for it (ISO/IEC 7816-4, cases 3 and 4).
#include <gtest/gtest.h>

#include "sim/cards/card_application.h"

namespace kulve::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SimCardApplicationTest, SelectReturnsDataOnlyWhenLeAskedForIt) {
  const Bytes name(kApplicationName.begin(), kApplicationName.end());
  const Bytes serialFid{0x2F, 0x02};
  struct Case {
    const char* what;
    std::uint8_t p1, p2;
    Bytes data;
    std::size_t ne;
    std::size_t responseBytes;
  };
  const Case cases[] = {
      {"by name, FCI, case 3", 0x04, 0x00, name, 0, 0},
      {"by name, FCI, case 4 (Le 00)", 0x04, 0x00, name, 256, 0x19},
      {"by FID, FCP, case 3", 0x00, 0x04, serialFid, 0, 0},
      // 62 0B, 82 01 01 (transparent EF), 83 02 2F 02, 80 02 00 08
      {"by FID, FCP, case 4", 0x00, 0x04, serialFid, 256, 13},
      {"by FID, nothing asked, case 4", 0x00, 0x0C, serialFid, 256, 0},
  };
  for (const Case& c : cases) {
    CardApplication card({1, 2, 3, 4, 5, 6, 7, 8});
    const CardResponse selected = card.Run({0x00, card_ins::kSelect, c.p1, c.p2, c.data, c.ne});
    EXPECT_EQ(selected.sw, card_sw::kOk) << c.what;
    EXPECT_EQ(selected.data.size(), c.responseBytes) << c.what;
    if (c.data == serialFid) {  // selected all the same
      const CardResponse read = card.Run({0x00, card_ins::kReadBinary, 0x00, 0x00, {}, 8});
      EXPECT_EQ(read.data, (Bytes{1, 2, 3, 4, 5, 6, 7, 8})) << c.what;
    }
  }
}

}  // namespace
}  // namespace kulve::sim
