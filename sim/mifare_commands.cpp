// SPDX-License-Identifier: MIT
#include "sim/mifare_commands.h"

#include <algorithm>

#include "sim/mifare_reader.h"

namespace kulve::sim {
namespace {

using Data = std::span<const std::uint8_t>;
using Card = MifareClassicCard;
using namespace mifare_status;

constexpr std::uint8_t kOk = 0;

std::uint32_t Le32(Data d, std::size_t at) {
  return std::uint32_t{d[at]} | std::uint32_t{d[at + 1]} << 8 | std::uint32_t{d[at + 2]} << 16 |
         std::uint32_t{d[at + 3]} << 24;
}

template <std::size_t N>
std::array<std::uint8_t, N> Take(Data d, std::size_t at) {
  std::array<std::uint8_t, N> out{};
  std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(at), N, out.begin());
  return out;
}

std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

std::vector<std::uint8_t> ValueBytes(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

// The high-level commands authenticate a block's sector with that sector's
// key slot: they reach the 16 sectors the slots cover, blocks 0..63.
bool IsBlock(std::uint8_t block) { return block < MifareReader::kSlots * 4; }
bool IsSlot(std::uint8_t n) { return n < MifareReader::kSlots; }
bool IsKeyType(std::uint8_t t) { return t <= 1; }
KeyType KeyTypeOf(std::uint8_t t) { return t == 0 ? KeyType::kA : KeyType::kB; }

Reply Done(std::uint8_t status, std::vector<std::uint8_t> data = {}) {
  return status == kOk ? Ok(std::move(data)) : Refuse(status);
}

// The card a high-level command works on, authenticated for `block`'s sector
// with its key slot; null with the status that stopped it.
struct Session {
  Card* card = nullptr;
  std::uint8_t status = kNoCard;
};
Session OpenSession(MifareReader& reader, std::size_t block, std::uint32_t serial) {
  Card* card = reader.FindCard(serial);
  if (card == nullptr) return {};
  const std::uint8_t status = card->Authenticate(block, reader.keyMode, reader.slots[Card::SectorOf(block)]);
  return {status == kOk ? card : nullptr, status};
}

// Reads `block` after a change and answers with it or its value.
Reply ReadBack(Card& card, std::size_t block) {
  MifareBlock now{};
  const std::uint8_t status = card.Read(block, now);
  return Done(status, Bytes(now));
}

Reply ValueReply(Card& card, std::size_t block) {
  MifareBlock now{};
  if (const std::uint8_t status = card.Read(block, now); status != kOk) return Refuse(status);
  const auto value = Card::ValueOf(now);
  return value ? Ok(ValueBytes(*value)) : Refuse(kNotValueBlock);
}

// ---- High-level commands ----

Reply StoreKey(MifareReader& r, Data d) {
  if (!IsSlot(d[0])) return Refuse(status::kBadParameter);
  r.slots[d[0]] = Take<6>(d, 1);
  return Ok();
}

Reply SetKeyMode(MifareReader& r, Data d) {
  if (!IsKeyType(d[0])) return Refuse(status::kBadParameter);
  r.keyMode = KeyTypeOf(d[0]);
  return Ok();
}

Reply CardType(MifareReader& r, Data) {
  const Card* card = r.FindCard(0);
  return card ? Ok(Bytes(card->Atqa())) : Refuse(kNoCard);
}

Reply SerialNumber(MifareReader& r, Data) {
  const Card* card = r.FindCard(0);
  return card ? Ok(Bytes(card->Uid())) : Refuse(kNoCard);
}

Reply ReadBlock(MifareReader& r, Data d) {
  if (!IsBlock(d[0])) return Refuse(status::kBadParameter);
  const Session s = OpenSession(r, d[0], Le32(d, 1));
  return s.card ? ReadBack(*s.card, d[0]) : Refuse(s.status);
}

Reply WriteBlock(MifareReader& r, Data d) {
  if (!IsBlock(d[0])) return Refuse(status::kBadParameter);
  const Session s = OpenSession(r, d[0], Le32(d, 1));
  if (!s.card) return Refuse(s.status);
  if (const std::uint8_t status = s.card->Write(d[0], Take<16>(d, 5)); status != kOk) return Refuse(status);
  return ReadBack(*s.card, d[0]);
}

// Replaces one key of a trailer. The card changes only the fields the key
// may write, so the trailer sent keeps every other byte as the card shows
// it; a key the card does not show must not be overwritten with its zeros.
Reply WriteKey(MifareReader& r, Data d) {
  const std::uint8_t sector = d[0];
  const std::uint8_t which = d[11];
  if (!IsSlot(sector) || !IsKeyType(which)) return Refuse(status::kBadParameter);
  const std::size_t trailerBlock = Card::TrailerOf(sector);
  const Session s = OpenSession(r, trailerBlock, Le32(d, 1));
  if (!s.card) return Refuse(s.status);
  MifareBlock trailer{};
  if (const std::uint8_t status = s.card->Read(trailerBlock, trailer); status != kOk) return Refuse(status);
  const auto conditions = DecodeAccess({trailer[6], trailer[7], trailer[8]});
  if (!conditions) return Refuse(kBadAccessBits);
  const std::uint8_t condition = (*conditions)[3];

  const KeyType replaced = KeyTypeOf(which);
  const KeyType other = replaced == KeyType::kA ? KeyType::kB : KeyType::kA;
  const TrailerOp writeReplaced = replaced == KeyType::kA ? TrailerOp::kWriteKeyA : TrailerOp::kWriteKeyB;
  const TrailerOp writeOther = other == KeyType::kA ? TrailerOp::kWriteKeyA : TrailerOp::kWriteKeyB;
  if (!TrailerAllows(condition, writeReplaced, r.keyMode)) return Refuse(kAccessDenied);

  auto field = [&](KeyType key) { return trailer.begin() + (key == KeyType::kA ? 0 : 10); };
  if (other == r.keyMode) {
    const MifareKey& used = r.slots[sector];
    std::copy(used.begin(), used.end(), field(other));
  } else {
    const bool shown = other == KeyType::kB && TrailerAllows(condition, TrailerOp::kReadKeyB, r.keyMode);
    if (!shown && TrailerAllows(condition, writeOther, r.keyMode)) return Refuse(kKeyUnknown);
  }
  std::copy_n(d.begin() + 5, 6, field(replaced));
  return Done(s.card->Write(trailerBlock, trailer));
}

Reply ReadValue(MifareReader& r, Data d) {
  if (!IsBlock(d[0])) return Refuse(status::kBadParameter);
  const Session s = OpenSession(r, d[0], Le32(d, 1));
  return s.card ? ValueReply(*s.card, d[0]) : Refuse(s.status);
}

Reply WriteValue(MifareReader& r, Data d) {
  if (!IsBlock(d[0])) return Refuse(status::kBadParameter);
  const Session s = OpenSession(r, d[0], Le32(d, 1));
  if (!s.card) return Refuse(s.status);
  const MifareBlock value = Card::ValueBlock(static_cast<std::int32_t>(Le32(d, 5)), d[0]);
  if (const std::uint8_t status = s.card->Write(d[0], value); status != kOk) return Refuse(status);
  return ValueReply(*s.card, d[0]);
}

template <std::uint8_t (Card::*Change)(std::size_t, std::uint32_t)>
Reply ChangeValue(MifareReader& r, Data d) {
  if (!IsBlock(d[0])) return Refuse(status::kBadParameter);
  const Session s = OpenSession(r, d[0], Le32(d, 1));
  if (!s.card) return Refuse(s.status);
  std::uint8_t status = (s.card->*Change)(d[0], Le32(d, 5));
  if (status == kOk) status = s.card->Transfer(d[0]);
  return status == kOk ? ValueReply(*s.card, d[0]) : Refuse(status);
}

Reply ReadSector(MifareReader& r, Data d) {
  if (!IsBlock(d[0]) || d[0] % 4 != 0) return Refuse(status::kBadParameter);
  const Session s = OpenSession(r, d[0], Le32(d, 1));
  if (!s.card) return Refuse(s.status);
  std::vector<std::uint8_t> data;
  for (std::size_t block = d[0]; block < d[0] + 3u; ++block) {
    MifareBlock bytes{};
    if (const std::uint8_t status = s.card->Read(block, bytes); status != kOk) return Refuse(status);
    data.insert(data.end(), bytes.begin(), bytes.end());
  }
  return Ok(std::move(data));
}

// ---- Single steps ----

Reply LoadKey(MifareReader& r, Data d) {
  if (!IsKeyType(d[0]) || !IsSlot(d[1])) return Refuse(status::kBadParameter);
  r.loadedKeys[d[0]][d[1]] = Take<6>(d, 2);
  return Ok();
}

Reply Request(MifareReader& r, Data d) {
  if (d[0] > 1) return Refuse(status::kBadParameter);
  if (!r.Request(d[0] == 1)) return Refuse(kNoCard);
  for (const Card& card : r.field) {
    if (card.CardState() == Card::State::kReady) return Ok(Bytes(card.Atqa()));
  }
  return Refuse(kNoCard);
}

Reply AntiCollision(MifareReader& r, Data) {
  const Card* card = r.AntiCollision();
  return card ? Ok(Bytes(card->Uid())) : Refuse(kNoCard);
}

Reply Select(MifareReader& r, Data d) {
  const Card* card = r.Select(Take<4>(d, 0));
  return card ? Ok({card->Sak()}) : Refuse(kNoCard);
}

Reply Authenticate(MifareReader& r, Data d) {
  if (!IsKeyType(d[0]) || !IsSlot(d[2])) return Refuse(status::kBadParameter);
  Card* card = r.ActiveCard();
  if (card == nullptr) return Refuse(kNoCard);
  if (d[1] >= card->BlockCount()) return Refuse(status::kBadParameter);
  return Done(card->Authenticate(d[1], KeyTypeOf(d[0]), r.loadedKeys[d[0]][d[2]]));
}

// Runs a step on the selected card's `block`.
template <class Step>
Reply OnSelected(MifareReader& r, std::uint8_t block, Step step) {
  Card* card = r.ActiveCard();
  if (card == nullptr) return Refuse(kNoCard);
  return block < card->BlockCount() ? step(*card) : Refuse(status::kBadParameter);
}

Reply Read(MifareReader& r, Data d) {
  return OnSelected(r, d[0], [&](Card& card) { return ReadBack(card, d[0]); });
}

Reply Write(MifareReader& r, Data d) {
  return OnSelected(r, d[0], [&](Card& card) { return Done(card.Write(d[0], Take<16>(d, 1))); });
}

template <std::uint8_t (Card::*Change)(std::size_t, std::uint32_t)>
Reply Step(MifareReader& r, Data d) {
  return OnSelected(r, d[0], [&](Card& card) {
    std::uint8_t status = (card.*Change)(d[0], Le32(d, 1));
    if (status == kOk) status = card.Transfer(d[0]);
    return Done(status);
  });
}

Reply Halt(MifareReader& r, Data) {
  Card* card = r.ActiveCard();
  return card && card->Halt() ? Ok() : Refuse(kNoCard);
}

struct Command {
  std::uint8_t code;
  std::size_t length;
  Reply (*run)(MifareReader&, Data);
};

constexpr Command kCommands[] = {
    {code::kMifareStoreKey, 7, StoreKey},
    {code::kMifareKeyMode, 1, SetKeyMode},
    {code::kMifareCardType, 0, CardType},
    {code::kMifareSerialNumber, 0, SerialNumber},
    {code::kMifareReadBlock, 5, ReadBlock},
    {code::kMifareWriteBlock, 21, WriteBlock},
    {code::kMifareWriteKey, 12, WriteKey},
    {code::kMifareReadValue, 5, ReadValue},
    {code::kMifareWriteValue, 9, WriteValue},
    {code::kMifareIncrementValue, 9, ChangeValue<&Card::Increment>},
    {code::kMifareDecrementValue, 9, ChangeValue<&Card::Decrement>},
    {code::kMifareReadSector, 5, ReadSector},
    {code::kMifareLoadKey, 8, LoadKey},
    {code::kMifareRequest, 1, Request},
    {code::kMifareAntiCollision, 0, AntiCollision},
    {code::kMifareSelect, 4, Select},
    {code::kMifareAuthenticate, 3, Authenticate},
    {code::kMifareRead, 1, Read},
    {code::kMifareWrite, 17, Write},
    {code::kMifareIncrement, 5, Step<&Card::Increment>},
    {code::kMifareDecrement, 5, Step<&Card::Decrement>},
    {code::kMifareHalt, 0, Halt},
};

}  // namespace

void RegisterMifareCommands(Firmware& firmware) {
  for (const Command& command : kCommands) {
    firmware.Register(command.code, [command](ReaderState& state, Data data) {
      if (data.size() != command.length) return Refuse(status::kBadLength);
      return command.run(MifareOf(state), data);
    });
  }
}

}  // namespace kulve::sim
