// SPDX-License-Identifier: MIT
#include "cpucard/apdu_frame.h"

#include <algorithm>
#include <cassert>

#include "cpucard/t1_block.h"

namespace kulve {
namespace {

constexpr std::uint8_t kNad = 0x00;
constexpr std::uint8_t kSendSequenceBit = 0x40;  // N(S) in the PCB of an I-block

}  // namespace

FramedCommand FrameCommand(const CommandApdu& apdu, bool t1, std::uint8_t sendSequence) {
  FramedCommand framed;
  // Callers refuse a longer Lc before framing (KULVE_BAD_ARGUMENT); more here
  // is a fault in the library, caught where assertions are on.
  assert(apdu.data.size() <= kMaxCommandData);
  const std::size_t lc = std::min(apdu.data.size(), kMaxCommandData);
  const std::size_t apduSize = kApduHeaderSize + lc;
  std::uint8_t* out = framed.bytes.data();
  if (t1) {
    *out++ = kNad;
    *out++ = (sendSequence & 1) != 0 ? kSendSequenceBit : std::uint8_t{0};
    *out++ = static_cast<std::uint8_t>(apduSize);
  }
  out = std::copy(apdu.header.begin(), apdu.header.end(), out);
  *out++ = lc != 0 ? static_cast<std::uint8_t>(lc) : apdu.le;
  out = std::copy_n(apdu.data.begin(), lc, out);
  if (t1) {
    std::uint8_t lrc = 0;
    for (const std::uint8_t* b = framed.bytes.data(); b != out; ++b) lrc ^= *b;
    *out++ = lrc;
  }
  framed.size = static_cast<std::size_t>(out - framed.bytes.data());
  return framed;
}

bool IsSingleAnswerBlock(std::span<const std::uint8_t> reply) {
  const auto block = ParseT1Block(reply, false, false);
  return block && block->nad == kNad && KindOf(block->pcb) == T1Kind::kInformation &&
         (block->pcb & kT1MoreData) == 0 && block->inf.size() >= 2;
}

std::optional<CardAnswer> ReadCardAnswer(std::span<const std::uint8_t> reply, bool t1) {
  // Where the status word ends, counted back from the end of the reply.
  const std::size_t trailer = t1 ? 3 : 2;  // SW1 SW2 (LRC)
  if (reply.size() < trailer) return std::nullopt;
  const std::size_t swAt = reply.size() - trailer;
  CardAnswer answer;
  answer.statusWord = static_cast<std::uint16_t>(reply[swAt] << 8 | reply[swAt + 1]);
  const std::size_t dataAt = t1 ? kT1Prologue : 0;
  if (swAt > dataAt) answer.data = reply.subspan(dataAt, std::min(swAt - dataAt, kMaxResponseData));
  return answer;
}

}  // namespace kulve
