// SPDX-License-Identifier: MIT
// The e5550 functions over a real pty against the simulated reader with a
// transponder in its field. The suite links once: every relink costs the
// 1 s pause of UnLinkCom.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "sim/cards/e5550_transponder.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Block = std::array<unsigned char, 4>;
using sim::E5550Transponder;
namespace st = sim::e5550_status;

constexpr Block kNoPassword = {0, 0, 0, 0};
constexpr Block kPassword = {0x13, 0x57, 0x9B, 0xDF};

class E5550OverPty : public LinkedReaderSuite {
 protected:

  void SetUp() override {
    LinkedReaderSuite::SetUp();
    reader_->WithState([](sim::ReaderState& s) { sim::PlaceTransponder(s); });
  }

  template <class F>
  decltype(auto) Transponder(F&& f) {
    return reader_->WithState([&](sim::ReaderState& s) { return f(*s.transponder); });
  }

  // Password mode and answer on request, all blocks readable; the transponder
  // then sleeps until woken.
  static Rf5550InitRecord Guarded() {
    Rf5550InitRecord record{};
    record.value[0] = 1;  // password mode
    record.value[3] = 1;  // answer on request
    record.value[9] = 7;  // highest readable block
    return record;
  }

  // Sets the password and turns on password mode with answer on request.
  void Protect() {
    Block password = kPassword;
    ASSERT_EQ(RF5550_WriteBlk(E5550Transponder::kPasswordBlock, kNoPassword.data(), password.data(), 0), 0);
    const Rf5550InitRecord record = Guarded();
    ASSERT_EQ(RF5550_Init(&record, kNoPassword.data(), 0), 0);
  }

};

TEST_F(E5550OverPty, WrittenBlocksReadBackDirectlyAndAfterWake) {
  for (int block = 1; block <= 6; ++block) {
    const auto n = static_cast<unsigned char>(block);
    const Block written = {n, static_cast<unsigned char>(n * 16), 0xA5, static_cast<unsigned char>(~n)};
    Block data = written;
    ASSERT_EQ(RF5550_WriteBlk(block, kNoPassword.data(), data.data(), 0), 0) << block;
    EXPECT_EQ(data, written) << "the reply is the block as stored";
  }
  for (int block = 1; block <= 6; ++block) {
    const Block stored = Transponder([block](E5550Transponder& t) {
      const auto& b = t.BlockAt(static_cast<std::uint8_t>(block));
      return Block{b[0], b[1], b[2], b[3]};
    });
    Block direct{}, woken{};
    EXPECT_EQ(RF5550_ReadBlk(block, direct.data()), 0);
    EXPECT_EQ(RF5550_ReadAfterWake(block, kNoPassword.data(), woken.data()), 0);
    EXPECT_EQ(direct, stored) << block;
    EXPECT_EQ(woken, stored) << block;
  }
  // Block 0, the configuration, is written as -1; a plain 0 is refused.
  Block config = {0xC7, 1, 2, 3};
  EXPECT_EQ(RF5550_WriteBlk(0, kNoPassword.data(), config.data(), 0), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(Transponder([](E5550Transponder& t) { return t.Mode(); }), E5550Transponder::kNewMode);
  EXPECT_EQ(RF5550_WriteBlk(-1, kNoPassword.data(), config.data(), 0), 0);
  Block read{};
  EXPECT_EQ(RF5550_ReadBlk(0, read.data()), 0);
  EXPECT_EQ(read, (Block{0xC7, 1, 2, 3}));
  EXPECT_EQ(RF5550_ReadBlk(7, read.data()), st::kBlockHidden);  // highest readable block is now 6
}

TEST_F(E5550OverPty, LockedBlocksKeepTheirData) {
  Block data = {1, 2, 3, 4};
  ASSERT_EQ(RF5550_WriteBlk(2, kNoPassword.data(), data.data(), 1), 0);
  Block again = {9, 9, 9, 9};
  EXPECT_EQ(RF5550_WriteBlk(2, kNoPassword.data(), again.data(), 0), st::kBlockLocked);
  EXPECT_EQ(RF5550_WriteAfterWake(2, kNoPassword.data(), again.data(), 0), st::kBlockLocked);
  EXPECT_EQ(again, (Block{9, 9, 9, 9})) << "nothing copied after a refusal";
  Block read{};
  EXPECT_EQ(RF5550_ReadBlk(2, read.data()), 0);
  EXPECT_EQ(read, (Block{1, 2, 3, 4}));
  EXPECT_EQ(RF5550_WriteBlk(3, kNoPassword.data(), again.data(), 0), 0) << "other blocks stay writable";

  // The init command's flag locks the configuration.
  Rf5550InitRecord record{};
  record.value[9] = 5;
  ASSERT_EQ(RF5550_Init(&record, kNoPassword.data(), 1), 0);
  EXPECT_EQ(Transponder([](E5550Transponder& t) { return t.Mode(); }), 0xA7);
  record.value[9] = 7;
  EXPECT_EQ(RF5550_Init(&record, kNoPassword.data(), 0), st::kBlockLocked);
  EXPECT_EQ(RF5550_ReadBlk(6, read.data()), st::kBlockHidden);
}

TEST_F(E5550OverPty, PasswordModeNeedsAWakeAndTheRightPassword) {
  Protect();
  const Block wrong = {0x13, 0x57, 0x9B, 0xDE};
  Block read = {0x5A, 0x5A, 0x5A, 0x5A};
  EXPECT_EQ(RF5550_ReadBlk(1, read.data()), st::kAsleep);
  EXPECT_EQ(RF5550_Wake(wrong.data()), st::kWrongPassword);
  EXPECT_EQ(RF5550_ReadBlk(1, read.data()), st::kAsleep);
  EXPECT_EQ(read, (Block{0x5A, 0x5A, 0x5A, 0x5A}));

  ASSERT_EQ(RF5550_Wake(kPassword.data()), 0);
  EXPECT_EQ(RF5550_ReadBlk(1, read.data()), 0);
  EXPECT_EQ(RF5550_ReadBlk(7, read.data()), st::kBlockHidden) << "the password never reads back";
  Block data = {0xCA, 0xFE, 0xF0, 0x0D};
  EXPECT_EQ(RF5550_WriteBlk(1, wrong.data(), data.data(), 0), st::kWrongPassword);
  EXPECT_EQ(RF5550_WriteBlk(1, kPassword.data(), data.data(), 0), 0);

  // Out of the field and back: asleep again until an after-wake command
  // carries the password.
  Transponder([](E5550Transponder& t) { t.LeaveField(); });
  EXPECT_EQ(RF5550_ReadBlk(1, read.data()), st::kAsleep);
  EXPECT_EQ(RF5550_ReadAfterWake(1, wrong.data(), read.data()), st::kWrongPassword);
  Transponder([](E5550Transponder& t) { t.LeaveField(); });
  Block written = {0xBE, 0xEF, 0x00, 0x01};
  EXPECT_EQ(RF5550_WriteAfterWake(4, wrong.data(), written.data(), 0), st::kWrongPassword);
  EXPECT_EQ(RF5550_WriteAfterWake(4, kPassword.data(), written.data(), 0), 0);
  Transponder([](E5550Transponder& t) { t.LeaveField(); });
  EXPECT_EQ(RF5550_ReadAfterWake(1, kPassword.data(), read.data()), 0);
  EXPECT_EQ(read, (Block{0xCA, 0xFE, 0xF0, 0x0D}));

  // Dropping the modes needs the password as well.
  Rf5550InitRecord open{};
  open.value[9] = 7;
  EXPECT_EQ(RF5550_Init(&open, wrong.data(), 0), st::kWrongPassword);
  EXPECT_EQ(RF5550_Init(&open, kPassword.data(), 0), 0);
  Transponder([](E5550Transponder& t) { t.LeaveField(); });
  EXPECT_EQ(RF5550_ReadBlk(4, read.data()), 0);
  EXPECT_EQ(read, (Block{0xBE, 0xEF, 0x00, 0x01}));
}

TEST_F(E5550OverPty, ModuleQueryAndAnEmptyField) {
  unsigned char answer[8];
  std::fill(std::begin(answer), std::end(answer), 0x5A);
  reader_->WithState([](sim::ReaderState& s) { s.rfModule = {0x01, 0x27}; });
  ASSERT_EQ(RF5550_Mcmno(answer), 0);
  EXPECT_EQ(std::vector<unsigned char>(answer, answer + 8),
            (std::vector<unsigned char>{0x01, 0x27, 0, 0, 0x5A, 0x5A, 0x5A, 0x5A}));

  reader_->WithState([](sim::ReaderState& s) { sim::RemoveTransponder(s); });
  Block block = {7, 7, 7, 7};
  EXPECT_EQ(RF5550_ReadBlk(1, block.data()), st::kNoTransponder);
  EXPECT_EQ(RF5550_WriteBlk(1, kNoPassword.data(), block.data(), 0), st::kNoTransponder);
  EXPECT_EQ(RF5550_Wake(kNoPassword.data()), st::kNoTransponder);
  EXPECT_EQ(block, (Block{7, 7, 7, 7}));
  EXPECT_EQ(RF5550_Mcmno(answer), 0) << "the module answers with the field empty";
}

}  // namespace
}  // namespace kulve::test
