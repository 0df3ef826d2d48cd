// SPDX-License-Identifier: MIT
// The AT88SC1608 functions over a real pty against the simulated reader with
// an AT88SC1608 card in its slot, and the library's keystream generator
// against the simulated card's own. The suite links once.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "at1608/auth_cipher.h"
#include "at1608/command_codes.h"
#include "handle/process_reader.h"
#include "link/transact.h"
#include "sim/cards/at1608_card.h"
#include "sim/control.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<unsigned char>;
namespace st = sim::at1608_status;

constexpr sim::At1608Block kSeed{0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31, 0x36, 0x30};

class At1608OverPty : public LinkedReaderSuite {
 protected:

  // A new card in the slot, powered.
  void SetUp() override {
    LinkedReaderSuite::SetUp();
    reader_->WithState([](sim::ReaderState& s) { sim::InsertAt1608Card(s, kSeed); });
    ASSERT_EQ(PowerOn(), 0);
  }
  template <class F>
  decltype(auto) Card(F&& f) {
    return reader_->WithState([&](sim::ReaderState& s) { return f(*s.at1608Card); });
  }

  // Authenticates with a fresh challenge; leaves challenge[0..1] in `head`.
  int Authenticate(const sim::At1608Block& seed, Bytes* head = nullptr) {
    Bytes challenge{0xC0, 0xFF, 0xEE, 0x01, 0x02, 0x03, static_cast<unsigned char>(++runs_), 0x05};
    const int result = AT1608_Authentic(challenge.data(), seed.data());
    if (head != nullptr) *head = Bytes(challenge.begin(), challenge.begin() + 2);
    return result;
  }

  int runs_ = 0;
};

TEST_F(At1608OverPty, TheCardsSeedAuthenticatesAndAnyOtherCountsDown) {
  sim::At1608Block wrong = kSeed;
  wrong[7] ^= 0x80;
  const sim::At1608Block before = Card([](sim::At1608Card& c) { return c.Cryptogram(); });
  Bytes head;
  EXPECT_EQ(Authenticate(kSeed, &head), 0);
  EXPECT_EQ(head, (Bytes{8, '8'}));
  EXPECT_NE(Card([](sim::At1608Card& c) { return c.Cryptogram(); }), before);  // renewed

  for (int left = 7; left >= 5; --left) {
    EXPECT_EQ(Authenticate(wrong, &head), 3);
    EXPECT_EQ(head, (Bytes{static_cast<unsigned char>(left), static_cast<unsigned char>('0' + left)}));
  }
  EXPECT_EQ(Authenticate(kSeed, &head), 0);
  EXPECT_EQ(head, (Bytes{8, '8'}));  // a right answer restores the attempts

  Card([](sim::At1608Card& c) { c.SetAuthAttempts(0x80); });
  EXPECT_EQ(Authenticate(wrong, &head), 3);
  EXPECT_EQ(head, (Bytes{0, '0'}));
  EXPECT_EQ(Authenticate(kSeed, &head), 3);  // the card has given up
  EXPECT_EQ(head, (Bytes{0, '0'}));
}

TEST_F(At1608OverPty, AReplayedExchangeFails) {
  reader_->ClearRequests();
  ASSERT_EQ(Authenticate(kSeed), 0);
  const std::vector<sim::Request> requests = reader_->Requests();
  ASSERT_EQ(requests.size(), 2u);
  const sim::Request& exchange = requests[1];
  ASSERT_EQ(exchange.code, at1608_code::kAuthenticate);
  const sim::At1608Block answered = Card([](sim::At1608Card& c) { return c.Cryptogram(); });

  // The same challenge and host answer again, word for word.
  const ReplyView replay = Exchange(ProcessReader(), exchange.code, exchange.data);
  ASSERT_EQ(replay.status, 0);
  ASSERT_EQ(replay.data.size(), 9u);
  EXPECT_EQ(replay.data[0], 0xFE);  // counted as a wrong answer
  EXPECT_EQ(Card([](sim::At1608Card& c) { return c.AuthAttempts(); }), 0xFE);
  EXPECT_EQ(Card([](sim::At1608Card& c) { return c.Cryptogram(); }), answered);  // not renewed again
}

TEST_F(At1608OverPty, ZonesOpenWithTheirPasswords) {
  Bytes data{0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_EQ(AT1608_Write(0, 16, 4, data.data()), st::kNeedsPassword);

  Bytes wrong{0x12, 0x34, 0x56, 0};
  EXPECT_EQ(AT1608_Psw(0, wrong.data()), st::kWrongPassword);
  EXPECT_EQ(wrong, (Bytes{7, 0, 0, 0}));
  Bytes right{0xFF, 0xFF, 0xFF, 0};
  ASSERT_EQ(AT1608_Psw(0, right.data()), 0);
  EXPECT_EQ(right[0], 8);
  ASSERT_EQ(AT1608_Write(0, 16, 4, data.data()), 0);
  Bytes read(6, 0x5A);
  ASSERT_EQ(AT1608_Read(0, 15, 6, read.data()), 0);
  EXPECT_EQ(read, (Bytes{0xFF, 0xDE, 0xAD, 0xBE, 0xEF, 0xFF}));

  EXPECT_EQ(AT1608_Read(7, 0, 4, read.data()), st::kNeedsPassword);  // zone 7 guards reading too
  Bytes readPassword{0xFF, 0xFF, 0xFF, 0};
  ASSERT_EQ(AT1608_Psw(15, readPassword.data()), 0);
  EXPECT_EQ(AT1608_Read(7, 0, 4, read.data()), 0);
  EXPECT_EQ(AT1608_Write(7, 0, 4, data.data()), st::kNeedsPassword);  // the read password reads only

  ASSERT_EQ(AT1608_Reset(), 0);
  EXPECT_EQ(AT1608_Write(0, 16, 4, data.data()), st::kNeedsPassword);  // a reset forgets passwords
  const Bytes eight(8, 0x11);
  EXPECT_EQ(AT1608_Write(0, 250, 8, eight.data()), sim::status::kBadParameter);  // past the zone's end
}

TEST_F(At1608OverPty, ConfigurationZoneFusesAndPower) {
  Bytes config(16, 0x5A);
  ASSERT_EQ(AT1608_Read(8, 40, 16, config.data()), 0);
  const sim::At1608Block cryptogram = Card([](sim::At1608Card& c) { return c.Cryptogram(); });
  EXPECT_EQ(Bytes(config.begin(), config.begin() + 8), Bytes(cryptogram.begin(), cryptogram.end()));
  EXPECT_EQ(Bytes(config.begin() + 8, config.end()), Bytes(8, 0));  // the seed never shows

  unsigned char fuse = 0;
  ASSERT_EQ(AT1608_ReadFuse(&fuse), 0);
  EXPECT_EQ(fuse, 0x07);

  ASSERT_EQ(PowerOff(), 0);
  EXPECT_EQ(AT1608_Reset(), sim::status::kNotPowered);
  reader_->WithState([](sim::ReaderState& s) { sim::RemoveAt1608Card(s); });
  ASSERT_EQ(PowerOn(), 0);
  EXPECT_EQ(AT1608_ReadFuse(&fuse), sim::status::kNoCard);
}

TEST(At1608ControlTest, CardsGoInAndOutFromStandardInput) {
  sim::Simulator sim;
  for (const char* bad : {"at1608", "at1608 0123", "at1608 4B554C564531363G", "at1608 4B554C56453136300"}) {
    EXPECT_EQ(sim::RunControlCommand(sim, bad).rfind("error:", 0), 0u) << bad;
  }
  EXPECT_EQ(sim::RunControlCommand(sim, "at1608 4b554c5645313630"), "ok");
  EXPECT_EQ(sim.WithState([](sim::ReaderState& s) { return s.at1608Card->Seed(); }), kSeed);
  EXPECT_EQ(sim::RunControlCommand(sim, "state"), "state card=255 slot=1 power=0 standby=0");
  EXPECT_EQ(sim::RunControlCommand(sim, "remove"), "ok");
  EXPECT_FALSE(sim.WithState([](sim::ReaderState& s) { return s.at1608Card != nullptr; }));
  EXPECT_EQ(sim::RunControlCommand(sim, "state"), "state card=255 slot=0 power=0 standby=0");
}

// The library's generator and the simulated card's, written apart, agree.
TEST(At1608Keystreams, LibraryAndCardAgreeOnEveryAnswer) {
  std::mt19937 random(1608);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int run = 0; run < 500; ++run) {
    At1608AuthState state;
    sim::At1608Block cryptogram{}, challenge{}, seed{};
    for (std::size_t i = 0; i < 8; ++i) {
      cryptogram[i] = state.cryptogram[i] = static_cast<std::uint8_t>(byte(random));
      challenge[i] = state.challenge[i] = static_cast<std::uint8_t>(byte(random));
      seed[i] = state.seed[i] = static_cast<std::uint8_t>(byte(random));
    }
    AuthCipher(state).Run();
    const sim::At1608Answers card = sim::At1608ExpectedAnswers(cryptogram, challenge, seed);
    ASSERT_EQ(state.expected, card.card) << "run " << run;
    ASSERT_EQ(state.hostAnswer, card.host) << "run " << run;
  }
}

}  // namespace
}  // namespace kulve::test
