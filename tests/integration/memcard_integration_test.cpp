// SPDX-License-Identifier: MIT
// The memory-card functions over a real pty against the simulated reader
// with a memory card in its slot. The suite links once: every relink costs
// the 1 s pause of UnLinkCom.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "sim/cards/memory_card.h"
#include "sim/memcard_commands.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<unsigned char>;
namespace mc = sim::memcard_status;

class MemCardOverPty : public LinkedReaderSuite {
 protected:

  // A new card of the type in the slot, selected and powered.
  void UseCard(int type) {
    reader_->WithState([type](sim::ReaderState& s) { sim::InsertMemoryCard(s, static_cast<std::uint8_t>(type)); });
    ASSERT_EQ(SelectCard(type), 0);
    ASSERT_EQ(PowerOn(), 0);
  }
  template <class F>
  decltype(auto) Card(F&& f) {
    return reader_->WithState([&](sim::ReaderState& s) { return f(*s.memoryCard); });
  }

  static Bytes Pattern(std::size_t n, unsigned char seed) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), seed);
    return b;
  }

};

TEST_F(MemCardOverPty, AddressedWriteReadsBackAcrossPiecesAndPages) {
  UseCard(1);
  const Bytes written = Pattern(150, 1);
  Bytes copy = written;
  ASSERT_EQ(WriteCard(18, 1, 200, 150, copy.data()), 0);  // 0x1C8..0x25D: three pieces, two pages
  Bytes read(150);
  ASSERT_EQ(ReadCard(18, 1, 200, 150, read.data()), 0);
  EXPECT_EQ(read, written);
  const Bytes stored = Card([](sim::MemoryCard& c) { return Bytes(c.Memory().begin() + 0x1C8, c.Memory().begin() + 0x25E); });
  EXPECT_EQ(stored, written);

  ASSERT_EQ(EraseCard(18, 1, 250, 10, copy.data()), 0);  // type 1 erases by writing 0xFF
  ASSERT_EQ(ReadCard(18, 1, 200, 150, read.data()), 0);
  EXPECT_EQ(read[49], written[49]);
  EXPECT_EQ(Bytes(read.begin() + 50, read.begin() + 60), Bytes(10, 0xFF));
  EXPECT_EQ(read[60], written[60]);
}

TEST_F(MemCardOverPty, PagedWriteReadsBackAcrossPages) {
  for (int type : {21, 3}) {  // pages of 264 and of 256 bytes
    UseCard(type);
    const Bytes written = Pattern(600, 7);
    Bytes copy = written;
    ASSERT_EQ(WriteMemCard(250, 600, copy.data()), 0) << type;
    Bytes read(600);
    ASSERT_EQ(ReadMemCard(250, 600, read.data()), 0) << type;
    EXPECT_EQ(read, written) << type;
    // Page and offset name the same bytes as the flat address.
    const Bytes stored = Card([](sim::MemoryCard& c) { return Bytes(c.Memory().begin() + 250, c.Memory().begin() + 850); });
    EXPECT_EQ(stored, written) << type;

    ASSERT_EQ(EraseMemCard(260, 20, copy.data()), 0) << type;
    ASSERT_EQ(ReadMemCard(250, 40, read.data()), 0) << type;
    EXPECT_EQ(Bytes(read.begin() + 10, read.begin() + 30), Bytes(20, 0xFF)) << type;
    EXPECT_EQ(read[9], written[9]) << type;
  }
}

TEST_F(MemCardOverPty, ModifiedCodeIsTheOneAcceptedAfterwards) {
  UseCard(15);
  Bytes data(4, 0x55);
  EXPECT_EQ(WriteCard(18, 0, 0x40, 4, data.data()), mc::kNeedsCode);  // protected until the code is shown

  Bytes code{0xFF, 0xFF, 0, 0};  // a new card's code
  ASSERT_EQ(CheckSecret(2, code.data()), 0);
  EXPECT_EQ(code, (Bytes{0x00, 0x03, 0xFF, 0xFF}));  // attempts counter, then the code
  EXPECT_EQ(WriteCard(18, 0, 0x40, 4, data.data()), 0);

  Bytes replacement{0x12, 0x34, 0, 0};
  ASSERT_EQ(ModifySecret(2, replacement.data()), 0);
  EXPECT_EQ(replacement, (Bytes{0x00, 0x03, 0x12, 0x34}));
  EXPECT_EQ(Card([](sim::MemoryCard& c) { return c.Code(); }), (Bytes{0x12, 0x34}));

  Bytes old{0xFF, 0xFF, 0, 0};
  EXPECT_EQ(CheckSecret(2, old.data()), mc::kWrongCode);
  Bytes counter(2), secret(4, 0xEE);
  ASSERT_EQ(ReadSecret(counter.data(), secret.data()), 0);
  EXPECT_EQ(counter, (Bytes{0x00, 0x02}));                  // one attempt gone
  EXPECT_EQ(secret, (Bytes{0x00, 0x00, 0xEE, 0xEE}));       // the code stays hidden

  Bytes fresh{0x12, 0x34, 0, 0};
  ASSERT_EQ(CheckSecret(2, fresh.data()), 0);
  EXPECT_EQ(fresh, (Bytes{0x00, 0x03, 0x12, 0x34}));  // counter restored
}

TEST_F(MemCardOverPty, SecurityMemoryCodeAndItsAttemptsCounter) {
  UseCard(2);
  Bytes counter(2), secret(4, 0);
  ASSERT_EQ(ReadSecret(counter.data(), secret.data()), 0);
  EXPECT_EQ(counter, (Bytes{3, 0}));
  for (int left = 2; left >= 0; --left) {
    Bytes wrong{1, 2, 3, 0};
    EXPECT_EQ(CheckSecret(3, wrong.data()), mc::kWrongCode);
    ASSERT_EQ(ReadSecret(counter.data(), secret.data()), 0);
    EXPECT_EQ(counter[0], left);
  }
  Bytes right{0xFF, 0xFF, 0xFF, 0};
  EXPECT_EQ(CheckSecret(3, right.data()), mc::kNoAttemptsLeft);  // the card has given up

  UseCard(4);  // a new card: the code is replaced through the security memory
  Bytes code{0xFF, 0xFF, 0, 0};
  ASSERT_EQ(CheckSecret(2, code.data()), 0);
  Bytes replacement{0xAB, 0xCD, 0, 0};
  ASSERT_EQ(ModifySecret(2, replacement.data()), 0);
  ASSERT_EQ(ReadSecret(counter.data(), secret.data()), 0);
  EXPECT_EQ(Bytes(secret.begin(), secret.begin() + 2), (Bytes{0xAB, 0xCD}));
  Bytes again{0xAB, 0xCD, 0, 0};
  EXPECT_EQ(CheckSecret(2, again.data()), 0);
}

TEST_F(MemCardOverPty, ZonedCardKeysZoneCodesAndAccess) {
  UseCard(25);
  Bytes key{0x11, 0x22, 0, 0};
  EXPECT_EQ(CheckEraseSecret(1, key.data()), mc::kWrongCode);
  Bytes code{0xFF, 0xFF, 0, 0};
  EXPECT_EQ(CheckZoneSecret(5, code.data()), sim::status::kBadParameter);  // four zones only
  ASSERT_EQ(CheckSecret(2, code.data()), 0);
  ASSERT_EQ(SetZoneRWBit(1, 0x01), 0);  // reading zone 1 now needs its zone code
  Bytes read(4);
  EXPECT_EQ(ReadCard(18, 0x40, 0, 4, read.data()), mc::kNeedsCode);
  Bytes zoneCode{0xFF, 0xFF, 0, 0};
  ASSERT_EQ(CheckZoneSecret(1, zoneCode.data()), 0);
  EXPECT_EQ(ReadCard(18, 0x40, 0, 4, read.data()), 0);
}

TEST_F(MemCardOverPty, VerifyICKnowsTheRightCard) {
  struct Case {
    int inserted;
    int selected;
    int result;
  };
  const Case cases[] = {{0, 0, 0}, {0, 1, 19}, {2, 2, 0}, {2, 4, 19}, {4, 4, 0}, {1, 255, 19}, {3, 12, 0}};
  for (const Case& c : cases) {
    UseCard(c.inserted);
    ASSERT_EQ(SelectCard(c.selected), 0);
    EXPECT_EQ(VerifyIC(), c.result) << "card " << c.inserted << " selected as " << c.selected;
  }
}

TEST_F(MemCardOverPty, CardCommandsNeedACardAndPower) {
  reader_->WithState([](sim::ReaderState& s) { sim::RemoveMemoryCard(s); });
  Bytes buffer(4);
  EXPECT_EQ(ReadCard(18, 0, 0, 4, buffer.data()), sim::status::kNoCard);
  UseCard(17);
  Bytes code{0xFF, 0xFF, 0, 0};
  ASSERT_EQ(CheckSecret(2, code.data()), 0);
  ASSERT_EQ(PowerOff(), 0);
  EXPECT_EQ(Fuse(1), sim::status::kNotPowered);
  ASSERT_EQ(PowerOn(), 0);
  EXPECT_EQ(WriteCard(18, 0, 0x40, 4, buffer.data()), mc::kNeedsCode);  // powering off forgot the code
}

}  // namespace
}  // namespace kulve::test
