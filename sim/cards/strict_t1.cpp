// SPDX-License-Identifier: MIT
#include "sim/cards/strict_t1.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "sim/hex_text.h"

namespace kulve::sim {
namespace {

constexpr std::size_t kPrologue = 3;
constexpr std::uint8_t kMoreBit = 0x20;
constexpr std::uint8_t kRBlock = 0x80;
constexpr std::uint8_t kSBlock = 0xC0;
constexpr std::uint8_t kSResponse = 0x20;
constexpr std::uint8_t kResynch = 0x00, kIfs = 0x01, kAbort = 0x02, kWtx = 0x03;
constexpr unsigned kBlockWaitMs = 1000;  // how long a host waits for a block, as the card reckons

std::string Hex2(unsigned v) {
  char t[8];
  std::snprintf(t, sizeof t, "%02X", v & 0xFF);
  return t;
}

// The card's own reading of its ATR: the interface bytes group by group.
void ReadOwnAtr(std::span<const std::uint8_t> atr, std::size_t& ifsc, bool& crc) {
  if (atr.size() < 2) return;
  std::size_t at = 2;
  std::uint8_t y = atr[1] >> 4;
  int group = 1;
  bool t1Next = false;  // the group being read follows a TD naming T=1
  while (at <= atr.size()) {
    std::uint8_t ta = 0, tc = 0, td = 0;
    bool hasTa = false, hasTc = false, hasTd = false;
    if (y & 1) { if (at >= atr.size()) return; ta = atr[at++]; hasTa = true; }
    if (y & 2) { if (at >= atr.size()) return; ++at; }
    if (y & 4) { if (at >= atr.size()) return; tc = atr[at++]; hasTc = true; }
    if (y & 8) { if (at >= atr.size()) return; td = atr[at++]; hasTd = true; }
    if (t1Next && group > 2) {
      if (hasTa && ta != 0 && ta != 0xFF) ifsc = ta;
      if (hasTc) crc = (tc & 1) != 0;
      return;
    }
    if (!hasTd) return;
    t1Next = (td & 0x0F) == 1 && group >= 2;
    y = td >> 4;
    ++group;
  }
}

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t v = 0xFFFF;
  for (std::uint8_t b : bytes) {
    v = static_cast<std::uint16_t>(v ^ b);
    for (int i = 0; i < 8; ++i) v = static_cast<std::uint16_t>((v >> 1) ^ ((v & 1) ? 0x8408 : 0));
  }
  return v;
}

// The APDU in any of the seven cases, as the card reads it.
bool ParseApdu(std::span<const std::uint8_t> a, CardCommand& c) {
  if (a.size() < 4) return false;
  c = CardCommand{a[0], a[1], a[2], a[3]};
  const std::size_t n = a.size();
  if (n == 4) return true;
  if (n == 5) {
    c.ne = a[4] == 0 ? 256 : a[4];
    return true;
  }
  if (a[4] != 0) {
    const std::size_t lc = a[4];
    if (n != 5 + lc && n != 6 + lc) return false;
    c.data = a.subspan(5, lc);
    if (n == 6 + lc) c.ne = a[n - 1] == 0 ? 256 : a[n - 1];
    return true;
  }
  if (n == 7) {
    const std::size_t le = static_cast<std::size_t>(a[5] << 8 | a[6]);
    c.ne = le == 0 ? 65536 : le;
    return true;
  }
  const std::size_t lc = static_cast<std::size_t>(a[5] << 8 | a[6]);
  if (lc == 0 || (n != 7 + lc && n != 9 + lc)) return false;
  c.data = a.subspan(7, lc);
  if (n == 9 + lc) {
    const std::size_t le = static_cast<std::size_t>(a[n - 2] << 8 | a[n - 1]);
    c.ne = le == 0 ? 65536 : le;
  }
  return true;
}

}  // namespace

StrictT1::StrictT1(std::span<const std::uint8_t> atr) { ReadOwnAtr(atr, ifsc_, crc_); }

void StrictT1::Reset() {
  ifsd_ = 32;
  expectedHost_ = 0;
  own_ = 0;
  command_.clear();
  answer_.clear();
  chainingAnswer_ = false;
  awaitingWtx_ = false;
  awaitingAbort_ = false;
  mute_ = false;
  lastSent_.clear();
}

std::vector<std::uint8_t> StrictT1::Block(std::uint8_t pcb, std::span<const std::uint8_t> inf) const {
  std::vector<std::uint8_t> b(3 + inf.size());  // sized at once: GCC 12 (mingw) misreads an insert here
  b[1] = pcb;
  b[2] = static_cast<std::uint8_t>(inf.size());
  std::copy(inf.begin(), inf.end(), b.begin() + 3);
  if (crc_) {
    const std::uint16_t v = Crc16(b);
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
  } else {
    std::uint8_t lrc = 0;
    for (std::uint8_t x : b) lrc ^= x;
    b.push_back(lrc);
  }
  return b;
}

std::vector<std::uint8_t> StrictT1::Send(std::vector<std::uint8_t> block) {
  lastSent_ = block;
  if (gapMs_ > 0 && block.size() > 1) {
    std::this_thread::sleep_for(std::chrono::milliseconds(gapMs_ * (block.size() - 1)));
  }
  if (dropIn_ != 0 && --dropIn_ == 0) block.pop_back();
  if (loseIn_ != 0 && --loseIn_ == 0) block.clear();
  return block;
}

std::vector<std::uint8_t> StrictT1::Reject(std::span<const std::uint8_t> block, const std::string& why, bool edc,
                                           std::vector<std::string>& errors) {
  errors.push_back("strict: " + why + " (block " + HexText(block) + ")");
  return Send(Block(static_cast<std::uint8_t>(kRBlock | expectedHost_ << 4 | (edc ? 1 : 2)), {}));
}

std::vector<std::uint8_t> StrictT1::NextAnswerLink() {
  const std::size_t n = std::min(ifsd_, answer_.size());
  const bool more = n < answer_.size();
  const auto pcb = static_cast<std::uint8_t>(own_ << 6 | (more ? kMoreBit : 0));
  own_ ^= 1;
  std::vector<std::uint8_t> block = Block(pcb, std::span(answer_).first(n));
  answer_.erase(answer_.begin(), answer_.begin() + static_cast<std::ptrdiff_t>(n));
  chainingAnswer_ = more;
  return Send(std::move(block));
}

std::vector<std::uint8_t> StrictT1::Run(CardApplication& application) {
  CardCommand c;
  CardResponse r = ParseApdu(command_, c) ? application.Run(c) : CardResponse{{}, card_sw::kWrongLength};
  command_.clear();
  answer_ = std::move(r.data);
  answer_.push_back(static_cast<std::uint8_t>(r.sw >> 8));
  answer_.push_back(static_cast<std::uint8_t>(r.sw));
  std::uint8_t multiplier = computeWtx_;
  workMs_ = computeMs_;
  if (slowMs_ > 0) {
    multiplier = static_cast<std::uint8_t>(std::min<unsigned>(255, slowMs_ / kBlockWaitMs + 2));
    workMs_ = slowMs_;
  }
  wtxLeft_ = slowMs_ > 0 ? 1 : computeRepeats_;
  if (multiplier > 0) {
    lastWtx_ = multiplier;
    awaitingWtx_ = true;
    ++wtxSent_;
    const std::uint8_t inf[] = {multiplier};
    return Send(Block(kSBlock | kWtx, inf));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(workMs_));
  return NextAnswerLink();
}

std::vector<std::uint8_t> StrictT1::Receive(std::span<const std::uint8_t> block, CardApplication& application,
                                            std::vector<std::string>& errors) {
  if (mute_) {
    if (block.size() >= kPrologue && block[1] == (kSBlock | kResynch)) ++resynchsSeen_;
    return {};
  }
  const std::size_t edcSize = crc_ ? 2 : 1;
  if (block.size() < kPrologue + edcSize) {
    return Reject(block, std::to_string(block.size()) + " bytes: not a block", false, errors);
  }
  const std::size_t carried = block.size() - kPrologue - edcSize;
  if (block[2] != carried) {
    return Reject(block, "LEN " + Hex2(block[2]) + " but " + std::to_string(carried) + " bytes", false, errors);
  }
  const auto body = block.first(kPrologue + carried);
  if (crc_) {
    const std::uint16_t v = Crc16(body);
    if (block[body.size()] != (v >> 8) || block[body.size() + 1] != (v & 0xFF)) {
      return Reject(block, "CRC wrong", true, errors);
    }
  } else {
    std::uint8_t lrc = 0;
    for (std::uint8_t x : body) lrc ^= x;
    if (lrc != block.back()) return Reject(block, "LRC " + Hex2(block.back()) + ", expected " + Hex2(lrc), true, errors);
  }
  if (block[0] != 0x00) return Reject(block, "NAD " + Hex2(block[0]), false, errors);
  const std::uint8_t pcb = block[1];
  const auto inf = block.subspan(kPrologue, carried);

  if ((pcb & 0x80) == 0) {  // I-block
    if (carried > ifsc_) {
      return Reject(block, std::to_string(carried) + " bytes above IFSC " + std::to_string(ifsc_), false, errors);
    }
    if (awaitingWtx_) return Reject(block, "I-block while S(WTX response) was awaited", false, errors);
    if (chainingAnswer_) return Reject(block, "I-block while the answer's chain was unfinished", false, errors);
    if (((pcb >> 6) & 1) != expectedHost_) {
      return Reject(block, "N(S) " + std::to_string((pcb >> 6) & 1) + ", expected " + std::to_string(expectedHost_),
                    false, errors);
    }
    if ((pcb & 0x1F) != 0) return Reject(block, "PCB " + Hex2(pcb) + " has reserved bits set", false, errors);
    expectedHost_ ^= 1;
    if (command_.size() + carried > 65544) {
      command_.clear();
      return Reject(block, "chained command longer than any APDU", false, errors);
    }
    command_.insert(command_.end(), inf.begin(), inf.end());
    if ((pcb & kMoreBit) != 0) return Send(Block(static_cast<std::uint8_t>(kRBlock | expectedHost_ << 4), {}));
    if (abortNext_) {
      abortNext_ = false;
      awaitingAbort_ = true;
      command_.clear();
      return Send(Block(kSBlock | kAbort, {}));
    }
    return Run(application);
  }
  if ((pcb & 0x40) == 0) {  // R-block
    if (carried != 0 || (pcb & 0x2C) != 0) return Reject(block, "R-block PCB " + Hex2(pcb), false, errors);
    const std::uint8_t nr = (pcb >> 4) & 1;
    if (chainingAnswer_ && nr == own_ && (pcb & 0x03) == 0) return NextAnswerLink();
    if (lastSent_.empty()) return Reject(block, "R-block with nothing sent", false, errors);
    // The host asks for the card's last block again.
    return Send(lastSent_);
  }
  // S-block
  const std::uint8_t function = pcb & 0x3F;
  if (function == kIfs && carried == 1 && inf[0] >= 1 && inf[0] <= 254) {
    ifsd_ = inf[0];
    return Send(Block(kSBlock | kSResponse | kIfs, inf));
  }
  if (function == (kSResponse | kAbort) && carried == 0 && awaitingAbort_) {
    awaitingAbort_ = false;
    ++abortsAnswered_;
    return Send(Block(static_cast<std::uint8_t>(kRBlock | expectedHost_ << 4), {}));
  }
  if (function == kResynch && carried == 0) {
    ++resynchsSeen_;
    Reset();
    return Send(Block(kSBlock | kSResponse | kResynch, {}));
  }
  if (function == (kSResponse | kWtx) && carried == 1 && awaitingWtx_) {
    if (--wtxLeft_ > 0) {
      ++wtxSent_;
      const std::uint8_t again[] = {lastWtx_};
      return Send(Block(kSBlock | kWtx, again));
    }
    awaitingWtx_ = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(workMs_));
    return NextAnswerLink();
  }
  return Reject(block, "S-block PCB " + Hex2(pcb) + " not expected", false, errors);
}

}  // namespace kulve::sim
