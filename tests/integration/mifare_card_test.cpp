// SPDX-License-Identifier: MIT
// The simulated Mifare Classic card on its own: access bytes, the rules its
// trailers and value blocks follow, and its states.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/cards/mifare_classic.h"
#include "sim/control.h"
#include "sim/mifare_reader.h"

namespace kulve::sim {
namespace {

using namespace mifare_status;
using Card = MifareClassicCard;

constexpr MifareUid kUid{0x01, 0x02, 0x03, 0x04};
constexpr MifareKey kKeyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
constexpr MifareKey kKeyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};

MifareKey KeyAt(const MifareBlock& block, std::size_t at) {
  MifareKey key{};
  std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(at), key.size(), key.begin());
  return key;
}

// A card made active and authenticated for `block` with the key.
Card ActiveCard(std::uint8_t trailerCondition, std::uint8_t dataCondition = 0) {
  Card card(kUid);
  card.SetTrailer(1, kKeyA, {dataCondition, dataCondition, dataCondition, trailerCondition}, kKeyB);
  EXPECT_TRUE(card.Request(false));
  EXPECT_TRUE(card.Select(kUid));
  return card;
}

TEST(MifareAccessBytes, EveryCombinationRoundTripsAndAFlippedBitIsRefused) {
  EXPECT_EQ(EncodeAccess(kTransportConditions), (AccessBytes{0xFF, 0x07, 0x80}));
  for (unsigned n = 0; n < 4096; ++n) {
    const AccessConditions c{static_cast<std::uint8_t>(n & 7), static_cast<std::uint8_t>(n >> 3 & 7),
                             static_cast<std::uint8_t>(n >> 6 & 7), static_cast<std::uint8_t>(n >> 9 & 7)};
    const AccessBytes bytes = EncodeAccess(c);
    ASSERT_EQ(DecodeAccess(bytes), c) << n;
    for (int bit = 0; bit < 24; bit += 5) {
      AccessBytes broken = bytes;
      broken[static_cast<std::size_t>(bit / 8)] ^= static_cast<std::uint8_t>(1 << (bit % 8));
      ASSERT_FALSE(DecodeAccess(broken)) << n << " bit " << bit;
    }
  }
}

TEST(MifareCardRules, TrailerWritesTouchOnlyWhatTheKeyMayWrite) {
  struct Case {
    const char* what;
    std::uint8_t condition;
    KeyType key;
    std::uint8_t status;
    bool keyAChanged, accessChanged, keyBChanged;
  };
  const Case cases[] = {
      {"transport: key A writes everything", 1, KeyType::kA, 0, true, true, true},
      {"000: key A writes the keys, not the access bytes", 0, KeyType::kA, 0, true, false, true},
      {"011: key B writes everything", 3, KeyType::kB, 0, true, true, true},
      {"011: key A writes nothing", 3, KeyType::kA, kAccessDenied, false, false, false},
      {"100: key B writes the keys only", 4, KeyType::kB, 0, true, false, true},
      {"110: nobody writes", 6, KeyType::kB, kAccessDenied, false, false, false},
      {"readable key B opens nothing", 1, KeyType::kB, kAccessDenied, false, false, false},
  };
  for (const Case& c : cases) {
    Card card = ActiveCard(c.condition);
    ASSERT_EQ(card.Authenticate(7, c.key, c.key == KeyType::kA ? kKeyA : kKeyB), 0) << c.what;
    const MifareBlock before = card.Blocks()[7];
    MifareBlock next{};
    next.fill(0x5A);
    const AccessBytes open = EncodeAccess({0, 0, 0, 1});
    std::copy(open.begin(), open.end(), next.begin() + 6);
    EXPECT_EQ(card.Write(7, next), c.status) << c.what;
    const MifareBlock& after = card.Blocks()[7];
    EXPECT_EQ(after[0] != before[0], c.keyAChanged) << c.what;
    EXPECT_EQ(after[6] != before[6] || after[9] != before[9], c.accessChanged) << c.what;
    EXPECT_EQ(after[10] != before[10], c.keyBChanged) << c.what;
  }

  // Access bytes that contradict themselves are stored, as a real card
  // stores them, and lock the sector: nothing in it works again, with either
  // key, while the other sectors go on as before.
  Card card = ActiveCard(1);
  ASSERT_EQ(card.Authenticate(7, KeyType::kA, kKeyA), 0);
  MifareBlock bad = card.Blocks()[7];
  bad[6] = 0x00;
  EXPECT_EQ(card.Write(7, bad), 0);
  EXPECT_EQ(card.Blocks()[7][6], 0x00);
  MifareBlock out{};
  EXPECT_EQ(card.Read(4, out), kAccessDenied);  // the session it was written in
  EXPECT_EQ(card.Write(5, out), kAccessDenied);
  EXPECT_EQ(card.Read(7, out), kAccessDenied);
  for (const auto& [key, value] : {std::pair{KeyType::kA, kKeyA}, std::pair{KeyType::kB, kKeyB}}) {
    card.Deselect();
    ASSERT_TRUE(card.Request(false));
    ASSERT_TRUE(card.Select(kUid));
    EXPECT_EQ(card.Authenticate(4, key, value), kAuthFailed);
  }
  card.Deselect();
  ASSERT_TRUE(card.Request(false));
  ASSERT_TRUE(card.Select(kUid));
  EXPECT_EQ(card.Authenticate(8, KeyType::kA, MifareKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 0);
  EXPECT_EQ(card.Read(8, out), 0);
}

TEST(MifareCardRules, TrailerReadsHideTheKeys) {
  Card card = ActiveCard(1);  // key B readable with key A
  ASSERT_EQ(card.Authenticate(4, KeyType::kA, kKeyA), 0);
  MifareBlock shown{};
  ASSERT_EQ(card.Read(7, shown), 0);
  EXPECT_EQ(KeyAt(shown, 0), (MifareKey{}));
  EXPECT_EQ(KeyAt(shown, 10), kKeyB);

  card = ActiveCard(3);  // key B secret
  ASSERT_EQ(card.Authenticate(4, KeyType::kB, kKeyB), 0);
  ASSERT_EQ(card.Read(7, shown), 0);
  EXPECT_EQ(KeyAt(shown, 10), (MifareKey{}));
  EXPECT_EQ(shown[6], card.Blocks()[7][6]);
}

TEST(MifareCardRules, ValueBlocks) {
  Card card = ActiveCard(1, 6);  // data 110: increment with key B only, decrement with A or B
  ASSERT_EQ(card.Authenticate(4, KeyType::kA, kKeyA), 0);
  card.Blocks()[5] = Card::ValueBlock(10, 0x42);
  card.Blocks()[6] = Card::ValueBlock(0x7FFFFFF0, 6);
  EXPECT_EQ(card.Increment(5, 1), kAccessDenied);
  ASSERT_EQ(card.Decrement(5, 25), 0);
  ASSERT_EQ(card.Transfer(4), 0);  // into another block, with the source's address byte
  EXPECT_EQ(card.Blocks()[4], Card::ValueBlock(-15, 0x42));
  EXPECT_EQ(card.Blocks()[5], Card::ValueBlock(10, 0x42));
  EXPECT_EQ(card.Transfer(4), kNotValueBlock);  // the register is spent

  Card strict = ActiveCard(3, 6);
  ASSERT_EQ(strict.Authenticate(4, KeyType::kB, kKeyB), 0);
  strict.Blocks()[5] = Card::ValueBlock(0x7FFFFFF0, 5);
  EXPECT_EQ(strict.Increment(5, 0x10), kValueOverflow);
  ASSERT_EQ(strict.Increment(5, 0xF), 0);
  strict.Blocks()[6] = Card::ValueBlock(1, 6);
  strict.Blocks()[6][4] ^= 1;  // the inverted copy no longer matches
  EXPECT_EQ(strict.Decrement(6, 1), kNotValueBlock);
  EXPECT_EQ(strict.Increment(7, 1), kAccessDenied);  // a trailer is no value block
}

TEST(MifareCardRules, StatesAndSessions) {
  Card card(kUid);
  MifareBlock block{};
  EXPECT_EQ(card.Read(1, block), kNoCard);  // idle: not listening
  EXPECT_FALSE(card.Select(kUid));          // not ready yet
  ASSERT_TRUE(card.Request(false));
  EXPECT_FALSE(card.Select({9, 9, 9, 9}));
  ASSERT_TRUE(card.Select(kUid));
  EXPECT_EQ(card.Read(1, block), kNotAuthenticated);
  ASSERT_EQ(card.Authenticate(1, KeyType::kA, kTransportKey), 0);
  EXPECT_EQ(card.Read(5, block), kNotAuthenticated);  // another sector
  EXPECT_EQ(card.Write(0, block), kAccessDenied);      // the manufacturer block
  EXPECT_TRUE(card.Halt());
  EXPECT_FALSE(card.Request(false));  // a halted card sleeps through a plain request
  EXPECT_TRUE(card.Request(true));    // and wakes on a wake-up
  ASSERT_TRUE(card.Select(kUid));
  EXPECT_EQ(card.Authenticate(1, KeyType::kA, kKeyA), kAuthFailed);
  EXPECT_EQ(card.CardState(), Card::State::kIdle);  // a wrong key ends the session
}

TEST(MifareField, ControlCommandsPutCardsInAndTakeThemOut) {
  Simulator sim;
  const std::pair<const char*, const char*> lines[] = {
      {"mifare add 0a1B2c3D", "ok"},
      {"mifare add 11223344", "ok"},
      {"mifare add 1122334", "error: mifare takes add UID (8 hex digits) or clear"},
      {"mifare add 11223344x", "error: mifare takes add UID (8 hex digits) or clear"},
      {"mifare", "error: mifare takes add UID (8 hex digits) or clear"},
  };
  for (const auto& [line, answer] : lines) EXPECT_EQ(RunControlCommand(sim, line), answer) << line;
  sim.WithState([](ReaderState& s) {
    ASSERT_EQ(MifareOf(s).field.size(), 2u);
    EXPECT_EQ(MifareOf(s).field[0].Uid(), (MifareUid{0x0A, 0x1B, 0x2C, 0x3D}));
  });
  EXPECT_EQ(RunControlCommand(sim, "mifare clear"), "ok");
  sim.WithState([](ReaderState& s) { EXPECT_TRUE(MifareOf(s).field.empty()); });
}

}  // namespace
}  // namespace kulve::sim
