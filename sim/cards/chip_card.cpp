// SPDX-License-Identifier: MIT
#include "sim/cards/chip_card.h"

#include <bit>
#include <cstdio>
#include <utility>

#include "sim/hex_text.h"

namespace kulve::sim {
namespace {

constexpr std::size_t kT0HeaderSize = 5;
constexpr std::size_t kBlockPrologue = 3;  // NAD PCB LEN
constexpr std::size_t kMinBlock = kBlockPrologue + 1;
constexpr std::uint8_t kNad = 0x00;
constexpr std::uint8_t kNotIBlock = 0x80;
constexpr std::uint8_t kSequenceBit = 0x40;
constexpr std::uint8_t kMoreDataBit = 0x20;
constexpr std::uint8_t kReservedBits = 0x1F;
constexpr std::uint8_t kRBlock = 0x80;
constexpr std::uint8_t kRBlockLrcError = 0x01;
constexpr std::uint8_t kRBlockOtherError = 0x02;

std::uint8_t Lrc(std::span<const std::uint8_t> bytes) {
  std::uint8_t lrc = 0;
  for (std::uint8_t b : bytes) lrc ^= b;
  return lrc;
}

std::vector<std::uint8_t> Block(std::uint8_t pcb, std::span<const std::uint8_t> inf) {
  std::vector<std::uint8_t> block;
  block.reserve(kMinBlock + inf.size());
  block.push_back(kNad);
  block.push_back(pcb);
  block.push_back(static_cast<std::uint8_t>(inf.size()));
  block.insert(block.end(), inf.begin(), inf.end());
  block.push_back(Lrc(block));
  return block;
}

std::vector<std::uint8_t> WithStatus(std::vector<std::uint8_t> data, std::uint16_t sw) {
  data.push_back(static_cast<std::uint8_t>(sw >> 8));
  data.push_back(static_cast<std::uint8_t>(sw));
  return data;
}

std::vector<std::uint8_t> StatusOnly(std::uint16_t sw) { return WithStatus({}, sw); }

// SW2 for a count of bytes: 00 stands for 256.
std::uint16_t CountSw(std::uint16_t sw1, std::size_t count) { return static_cast<std::uint16_t>(sw1 | (count & 0xFF)); }

std::size_t LeBytes(std::uint8_t le) { return le == 0 ? 256 : le; }

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

// An APDU carried in a T=1 block, in any of the four short cases.
CardResponse RunShortApdu(CardApplication& application, std::span<const std::uint8_t> apdu) {
  if (apdu.size() < 4) return {{}, card_sw::kWrongLength};
  CardCommand c{apdu[0], apdu[1], apdu[2], apdu[3]};
  if (apdu.size() == 5) {
    c.ne = LeBytes(apdu[4]);
  } else if (apdu.size() > 5) {
    const std::size_t lc = apdu[4];
    if (lc == 0) return {{}, card_sw::kWrongLength};  // extended lengths are not supported
    if (apdu.size() == 5 + lc) {
      c.data = apdu.subspan(5, lc);
    } else if (apdu.size() == 6 + lc) {
      c.data = apdu.subspan(5, lc);
      c.ne = LeBytes(apdu.back());
    } else {
      return {{}, card_sw::kWrongLength};
    }
  }
  return application.Run(c);
}

}  // namespace

ChipCard::ChipCard(std::vector<std::uint8_t> atr, std::array<std::uint8_t, 8> serial)
    : atr_(std::move(atr)), t1_(OffersT1First(atr_)), application_(serial) {}

bool ChipCard::OffersT1First(std::span<const std::uint8_t> atr) {
  if (atr.size() < 2 || (atr[1] & 0x80) == 0) return false;
  const std::size_t td1 = 2 + static_cast<std::size_t>(std::popcount(static_cast<unsigned>(atr[1] & 0x70)));
  return td1 < atr.size() && (atr[td1] & 0x0F) == 1;
}

const std::vector<std::uint8_t>& ChipCard::Reset() {
  powered_ = true;
  expectedHost_ = 0;
  own_ = 0;
  waiting_.clear();
  application_.Reset();
  if (strict_) strict_->Reset();
  return atr_;
}

std::optional<std::vector<std::uint8_t>> ChipCard::Receive(std::span<const std::uint8_t> bytes) {
  if (!powered_) return std::nullopt;
  if (t1_ && strict_) {
    auto block = strict_->Receive(bytes, application_, protocolErrors_);
    if (block.empty()) return std::nullopt;  // no block came: the reader says the card is mute
    return block;
  }
  if (t1_) return ReceiveT1(bytes);
  return ReceiveT0(bytes);
}

void ChipCard::SetStrictT1(bool strict) { strict_ = strict ? std::make_unique<StrictT1>(atr_) : nullptr; }

std::vector<std::string> ChipCard::TakeProtocolErrors() { return std::exchange(protocolErrors_, {}); }

std::optional<std::vector<std::uint8_t>> ChipCard::ReceiveT0(std::span<const std::uint8_t> command) {
  if (command.size() < kT0HeaderSize) return std::nullopt;
  const std::uint8_t p3 = command[4];
  const auto rest = command.subspan(kT0HeaderSize);
  CardCommand c{command[0], command[1], command[2], command[3]};
  const Transfer transfer = CardApplication::TransferOf(c.ins);

  if (c.cla == 0x00 && c.ins == card_ins::kGetResponse) {
    if (!rest.empty()) return StatusOnly(card_sw::kWrongLength);
    if (waiting_.empty()) return StatusOnly(card_sw::kConditionsNotSatisfied);
    const std::size_t wanted = LeBytes(p3);
    if (wanted > waiting_.size()) return StatusOnly(CountSw(card_sw::kWrongLe, waiting_.size()));
    std::vector<std::uint8_t> data(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(wanted));
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(wanted));
    return WithStatus(std::move(data), waiting_.empty() ? card_sw::kOk : CountSw(card_sw::kMoreData, waiting_.size()));
  }
  waiting_.clear();
  if (transfer == Transfer::kUnknown || c.cla != 0x00) return StatusOnly(application_.Run(c).sw);

  if (transfer == Transfer::kToCard) {
    if (rest.size() != p3) return StatusOnly(card_sw::kWrongLength);
    c.data = rest;
    c.ne = 256;
    CardResponse r = application_.Run(c);
    if (r.data.empty()) return StatusOnly(r.sw);
    waiting_ = std::move(r.data);
    return StatusOnly(CountSw(card_sw::kMoreData, waiting_.size()));
  }
  if (!rest.empty()) return StatusOnly(card_sw::kWrongLength);
  c.ne = LeBytes(p3);
  CardResponse r = application_.Run(c);
  if (!r.data.empty() && r.data.size() != c.ne) return StatusOnly(CountSw(card_sw::kWrongLe, r.data.size()));
  return WithStatus(std::move(r.data), r.sw);
}

void ChipCard::AnswerDropped() {
  if (!t1_ || strict_) return;
  expectedHost_ ^= 1;
  own_ ^= 1;
}

std::vector<std::uint8_t> ChipCard::ReceiveT1(std::span<const std::uint8_t> block) {
  if (block.size() < kMinBlock) {
    return Reject(block, "block of " + std::to_string(block.size()) + " bytes, shorter than NAD PCB LEN LRC", false);
  }
  if (const std::uint8_t lrc = Lrc(block.first(block.size() - 1)); lrc != block.back()) {
    return Reject(block, "LRC " + Hex2(block.back()) + ", expected " + Hex2(lrc), true);
  }
  const std::size_t carried = block.size() - kMinBlock;
  if (block[2] != carried) {
    return Reject(block, "LEN " + Hex2(block[2]) + " but " + std::to_string(carried) + " information bytes", false);
  }
  if (block[0] != kNad) return Reject(block, "NAD " + Hex2(block[0]) + ", expected 00", false);
  const std::uint8_t pcb = block[1];
  if ((pcb & kNotIBlock) != 0) return Reject(block, "PCB " + Hex2(pcb) + " is not an I-block", false);
  if ((pcb & kMoreDataBit) != 0) return Reject(block, "PCB " + Hex2(pcb) + " asks for chaining", false);
  if ((pcb & kReservedBits) != 0) return Reject(block, "PCB " + Hex2(pcb) + " has reserved bits set", false);
  const std::uint8_t sequence = (pcb & kSequenceBit) != 0 ? 1 : 0;
  if (sequence != expectedHost_) {
    return Reject(block, "N(S) " + std::to_string(sequence) + ", expected " + std::to_string(expectedHost_), false);
  }
  expectedHost_ ^= 1;
  const CardResponse r = RunShortApdu(application_, block.subspan(kBlockPrologue, carried));
  const std::vector<std::uint8_t> inf = WithStatus(r.data, r.sw);
  const std::uint8_t ownPcb = own_ != 0 ? kSequenceBit : 0;
  own_ ^= 1;
  return Block(ownPcb, inf);
}

std::vector<std::uint8_t> ChipCard::Reject(std::span<const std::uint8_t> block, const std::string& why,
                                           bool lrcError) {
  protocolErrors_.push_back(why + " (block " + HexText(block) + ")");
  const std::uint8_t pcb =
      static_cast<std::uint8_t>(kRBlock | expectedHost_ << 4 | (lrcError ? kRBlockLrcError : kRBlockOtherError));
  return Block(pcb, {});
}

}  // namespace kulve::sim
