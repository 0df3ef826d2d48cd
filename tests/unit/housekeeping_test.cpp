// SPDX-License-Identifier: MIT
// The reader's housekeeping commands: frames sent, copies made, card type kept.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "housekeeping/housekeeping.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

class HousekeepingTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }
};

TEST_F(HousekeepingTest, RequestsOnTheWire) {
  struct Case {
    const char* name;
    std::function<int(Reader&)> call;
    Request sent;
  };
  const Case cases[] = {
      {"PowerOn", [](Reader& r) { return PowerOn(r); }, {0x02, {}}},
      {"PowerOff", [](Reader& r) { return PowerOff(r); }, {0x03, {}}},
      {"SetStandby", [](Reader& r) { return SetStandby(r); }, {0x1C, {}}},
      {"SelectCard 258", [](Reader& r) { return SelectCard(r, 258); }, {0x0A, {0x02}}},
      {"Inquire", [](Reader& r) { return Inquire(r, nullptr, nullptr, nullptr); }, {0x0D, {}}},
      {"GetDeviceNumber", [](Reader& r) { std::uint8_t b[8]; return GetDeviceNumber(r, b); }, {0x20, {}}},
      {"DEVVER", [](Reader& r) { std::uint8_t b[8]; return DEVVER(r, b); }, {0x22, {}}},
      {"ALARM", [](Reader& r) { return ALARM(r, 7, 0x1FF, -1, 3); }, {0x7A, {0x07, 0xFF, 0xFF, 0x03}}},
  };
  for (const Case& c : cases) {
    peer.replies.push_back({.data = std::vector<std::uint8_t>(8, 0x11)});
    EXPECT_EQ(c.call(reader), 0) << c.name;
    EXPECT_EQ(peer.TakeRequests(), std::vector<Request>{c.sent}) << c.name;
  }
}

TEST_F(HousekeepingTest, SelectCardKeepsFullValueOnlyOnSuccess) {
  EXPECT_EQ(SelectCard(reader, 258), 0);
  EXPECT_EQ(reader.cardType, 258);
  peer.replies.push_back({.status = 0x01});
  EXPECT_EQ(SelectCard(reader, 4), 0x01);
  EXPECT_EQ(reader.cardType, 258);
}

TEST_F(HousekeepingTest, InquireReplacesCardType) {
  ASSERT_EQ(SelectCard(reader, 16), 0);
  peer.replies.push_back({.data = {0x15, 0x80, 0x01}});
  int type = -1, state = -1, power = -1;
  EXPECT_EQ(Inquire(reader, &type, &state, &power), 0);
  EXPECT_EQ(type, 0x15);
  EXPECT_EQ(state, 0x80);  // zero-extended, not sign-extended
  EXPECT_EQ(power, 1);
  EXPECT_EQ(reader.cardType, 0x15);

  peer.replies.push_back({.status = 0x30, .data = {0x02, 0, 0}});
  type = state = power = -1;
  EXPECT_EQ(Inquire(reader, &type, &state, &power), 0x30);
  EXPECT_EQ(type, -1);
  EXPECT_EQ(power, -1);
  EXPECT_EQ(reader.cardType, 0x15);
}

TEST_F(HousekeepingTest, DeviceNumberIsZeroedFirstVersionIsNot) {
  std::array<std::uint8_t, 10> number{}, version{};
  number.fill(0xEE);
  version.fill(0xEE);
  peer.faults.hashAnswer.reset();  // no reader
  EXPECT_EQ(GetDeviceNumber(reader, number.data()), 'f');
  EXPECT_EQ(DEVVER(reader, version.data()), 'f');
  for (int i = 0; i < 8; ++i) EXPECT_EQ(number[i], 0) << i;
  EXPECT_EQ(number[8], 0xEE);  // eight bytes and no more
  for (auto b : version) EXPECT_EQ(b, 0xEE);

  peer.faults = LineFaults{};
  peer.ClearInput();
  peer.ResetFrame();
  peer.replies.push_back({.data = {1, 2, 3, 4, 5, 6, 7, 8, 9}});
  EXPECT_EQ(DEVVER(reader, version.data()), 0);
  EXPECT_EQ(version, (std::array<std::uint8_t, 10>{1, 2, 3, 4, 5, 6, 7, 8, 0xEE, 0xEE}));
}

TEST_F(HousekeepingTest, AlarmModeRange) {
  for (int mode : {0, 8, -1, 1 << 20}) {
    EXPECT_EQ(ALARM(reader, mode, 0, 0, 0), 4) << mode;
  }
  EXPECT_TRUE(peer.requests.empty());
  EXPECT_EQ(ALARM(reader, 1, 0, 0, 0), 0);
  EXPECT_EQ(ALARM(reader, 7, 0, 0, 0), 0);
  EXPECT_EQ(peer.requests.size(), 2u);
}

}  // namespace
}  // namespace kulve::test
