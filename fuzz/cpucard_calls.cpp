// SPDX-License-Identifier: MIT
// CPU card and SAM slots: resets and both APDU forms, with the framing and
// the send-sequence bit they share.
#include <algorithm>

#include "cpucard/answer_to_reset.h"
#include "cpucard/cpucard.h"
#include "fuzz/calls.h"

namespace kulve::fuzz {
namespace {

constexpr std::size_t kAtrSize = KULVE_ATR_BUFFER_SIZE;
constexpr std::size_t kRequestSize = KULVE_APDU_REQUEST_SIZE;
constexpr std::size_t kResponseSize = KULVE_APDU_RESPONSE_SIZE;
constexpr std::uint8_t kMaxLc = KULVE_APDU_MAX_DATA;

struct SlotCodes {
  ChipSlot slot;
  std::uint8_t reset;
  std::uint8_t apdu;
};
constexpr SlotCodes kSlots[] = {{ChipSlot::kCpuCard, 0x32, 0x33},
                                {ChipSlot::kSam1, 0x3C, 0x3D},
                                {ChipSlot::kSam2, 0x46, 0x47},
                                {ChipSlot::kSam3, 0x50, 0x51},
                                {ChipSlot::kSam4, 0x5A, 0x5B}};

const SlotCodes& PickSlot(FuzzSession& s) { return kSlots[s.input().ConsumeIntegralInRange<std::size_t>(0, std::size(kSlots) - 1)]; }

void Reset(FuzzSession& s) {
  const SlotCodes& slot = PickSlot(s);
  const CpuCardState before = s.reader().cpuCard;
  const bool null = s.Null();
  CallerBuffer atr(null ? 0 : kAtrSize, 0x5A);
  const int result = ResetChip(s.reader(), slot.slot, atr.data());
  const Exchanges ex = s.TakeExchanges();
  const CpuCardState& after = s.reader().cpuCard;
  if (null) {
    FUZZ_CHECK(result == 4 && ex.empty());
    FUZZ_CHECK(after.protocol == before.protocol && after.sendSequence == before.sendSequence);
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex) && ex[0].code == slot.reset && ex[0].sent.empty());
  FUZZ_CHECK(after.sendSequence == 0);  // even when the reset fails
  if (result == 0) {
    const Bytes& got = ex[0].received;
    Bytes expected = atr.before();
    expected[0] = static_cast<std::uint8_t>(got.size());
    FUZZ_CHECK(atr.bytes() == WithAt(expected, 1, got));
    FUZZ_CHECK(after.protocol == FirstOfferedProtocol(got));
  } else {
    FUZZ_CHECK(atr.bytes() == WithAt(atr.before(), 0, Bytes{0}));
    FUZZ_CHECK(after.protocol == before.protocol);
  }
}

// The block the library must send for this command, framed by hand.
Bytes ExpectedBlock(const std::uint8_t* header, const std::uint8_t* data, std::uint8_t lc, std::uint8_t le, bool t1,
                    std::uint8_t sequence) {
  Bytes apdu(header, header + 4);
  apdu.push_back(lc != 0 ? lc : le);
  apdu.insert(apdu.end(), data, data + lc);
  if (!t1) return apdu;
  Bytes block{0x00, static_cast<std::uint8_t>(sequence != 0 ? 0x40 : 0x00), static_cast<std::uint8_t>(apdu.size())};
  block.insert(block.end(), apdu.begin(), apdu.end());
  std::uint8_t lrc = 0;
  for (std::uint8_t b : block) lrc ^= b;
  block.push_back(lrc);
  return block;
}

// The result and response an exchange that went out must give.
void CheckAnswer(int result, const Exchanges& ex, const SlotCodes& slot, const Bytes& block, bool t1,
                 const CpuCardState& before, const CpuCardState& after, const CallerBuffer& response) {
  FUZZ_CHECK(ex.size() == 1 && ex[0].code == slot.apdu && ex[0].sent == block);
  FUZZ_CHECK(after.protocol == before.protocol);
  const Bytes untouchedButCount = WithAt(response.before(), 0, Bytes{0});
  if (!ex[0].Ok()) {
    FUZZ_CHECK(result == ex[0].status && after.sendSequence == before.sendSequence);
    FUZZ_CHECK(response.bytes() == untouchedButCount);
    return;
  }
  const Bytes& r = ex[0].received;
  const std::size_t trailer = t1 ? 3 : 2;
  // T=1: only one whole I-block without the more-data bit, NAD 00, carrying
  // at least SW1 SW2, is an answer.
  if (t1 && r.size() >= trailer && !(r.size() >= 6 && r[0] == 0 && (r[1] & 0xA0) == 0 && r[2] == r.size() - 4)) {
    FUZZ_CHECK(result == KULVE_T1_NOT_AN_ANSWER && response.bytes() == untouchedButCount);
    const bool rBlock = (r[1] & 0xC0) == 0x80;
    FUZZ_CHECK(after.sendSequence == (rBlock ? (r[1] >> 4 & 1) : (before.sendSequence ^ 1)));
    return;
  }
  FUZZ_CHECK(after.sendSequence == (before.sendSequence ^ 1));  // the card took the block
  if (r.size() < trailer) {
    FUZZ_CHECK(result == KULVE_LINK_SHORT_REPLY && response.bytes() == untouchedButCount);
    return;
  }
  const std::size_t sw = r.size() - trailer;
  FUZZ_CHECK(result == (r[sw] << 8 | r[sw + 1]));
  const std::size_t from = t1 ? 3 : 0;
  const std::size_t n = sw > from ? sw - from : 0;
  Bytes expected = WithAt(response.before(), 0, Bytes{static_cast<std::uint8_t>(n)});
  FUZZ_CHECK(response.bytes() == WithAt(expected, 1, std::span(r).subspan(from, n)));
}

// Lc is a byte of the caller's request; the edges around 128 matter most.
std::uint8_t PickLc(FuzzSession& s) {
  constexpr std::uint8_t kLcEdges[] = {0, 1, 2, 127, 128, 129, 255};
  return s.input().ConsumeBool() ? s.input().PickValueInArray(kLcEdges) : s.input().ConsumeIntegral<std::uint8_t>();
}

// The fixed 134-byte request of the ...Cmd functions.
void FixedRequest(FuzzSession& s) {
  const SlotCodes& slot = PickSlot(s);
  const std::uint8_t lc = PickLc(s);
  const bool nullRequest = s.Null(), nullResponse = s.Null();
  CallerBuffer request(nullRequest ? 0 : kRequestSize, s.input());
  if (!nullRequest) request.data()[4] = lc;
  request.Given();
  CallerBuffer response(nullResponse ? 0 : kResponseSize, 0x5A);
  const CpuCardState before = s.reader().cpuCard;
  const bool t1 = before.protocol == 1;
  const int result = SendApduRequest(s.reader(), slot.slot, request.data(), response.data());
  const Exchanges ex = s.TakeExchanges();
  const CpuCardState& after = s.reader().cpuCard;
  FUZZ_CHECK(request.Untouched());  // read only
  if (nullResponse || nullRequest || lc > kMaxLc) {
    FUZZ_CHECK(result == 4 && ex.empty() && after.sendSequence == before.sendSequence);
    FUZZ_CHECK(nullResponse || response.bytes() == WithAt(response.before(), 0, Bytes{0}));
    return;
  }
  const std::uint8_t* r = request.data();
  const Bytes block = ExpectedBlock(r, r + 5, lc, r[kRequestSize - 1], t1, before.sendSequence);
  CheckAnswer(result, ex, slot, block, t1, before, after, response);
}

// The packed request of the plain functions: 10 + Lc bytes, replaced by the
// block as sent.
void PackedRequest(FuzzSession& s) {
  const SlotCodes& slot = PickSlot(s);
  const std::uint8_t lc = PickLc(s);
  const bool nullRequest = s.Null(), nullResponse = s.Null();
  CallerBuffer request(nullRequest ? 0 : 10u + lc, s.input());
  if (!nullRequest) request.data()[4] = lc;
  request.Given();
  const Bytes& asGiven = request.before();
  CallerBuffer response(nullResponse ? 0 : kResponseSize, 0x5A);
  const CpuCardState before = s.reader().cpuCard;
  const bool t1 = before.protocol == 1;
  const int result = SendPackedApdu(s.reader(), slot.slot, request.data(), response.data());
  const Exchanges ex = s.TakeExchanges();
  const CpuCardState& after = s.reader().cpuCard;
  if (nullResponse || nullRequest || lc > kMaxLc) {
    FUZZ_CHECK(result == 4 && ex.empty() && after.sendSequence == before.sendSequence);
    FUZZ_CHECK(request.bytes() == asGiven);
    FUZZ_CHECK(nullResponse || response.bytes() == WithAt(response.before(), 0, Bytes{0}));
    return;
  }
  const Bytes block = ExpectedBlock(asGiven.data(), asGiven.data() + 5, lc, asGiven[5u + lc], t1, before.sendSequence);
  CheckAnswer(result, ex, slot, block, t1, before, after, response);
  // The echo, whatever the result: the block's length, then the block.
  Bytes echo = WithAt(asGiven, 0, Bytes{static_cast<std::uint8_t>(block.size())});
  FUZZ_CHECK(request.bytes() == WithAt(echo, 1, block));
}

// The full mode's call: any APDU, any buffer, any replies. Nothing is
// written past the buffer, the count never exceeds it (but when it is too
// small), and the wait is back to normal afterwards.
void FullTransmit(FuzzSession& s) {
  const int slot = s.input().ConsumeIntegralInRange<int>(-1, 5);
  const Bytes apdu = s.input().ConsumeBytes<std::uint8_t>(s.input().ConsumeIntegralInRange<std::size_t>(0, 600));
  const std::size_t size = s.input().ConsumeIntegralInRange<std::size_t>(0, 1200);
  CallerBuffer response(size, 0x5A);
  const std::int32_t ackTries = s.reader().context.commandAckTries;
  std::size_t length = 12345;
  const int result = ChipTransmit(s.reader(), slot, apdu.empty() ? nullptr : apdu.data(), apdu.size(),
                                  size == 0 ? nullptr : response.data(), size, &length);
  s.TakeExchanges();
  FUZZ_CHECK(s.reader().context.commandAckTries == ackTries);
  if (result > 0xFF) {
    FUZZ_CHECK(length >= 2 && length <= size);
  } else if (result == KULVE_RESPONSE_TOO_LONG) {
    FUZZ_CHECK(length > size && response.Untouched());
  } else {
    FUZZ_CHECK(length == 0 && response.Untouched());
  }
}

void ProtocolType(FuzzSession& s) {
  FUZZ_CHECK(CpuCardProtocolType(s.reader()) == (s.reader().cpuCard.protocol == 1 ? 1 : 0));
  FUZZ_CHECK(s.TakeExchanges().empty());
}

constexpr Call kCalls[] = {Reset, Reset, FixedRequest, FixedRequest, PackedRequest, PackedRequest, ProtocolType,
                           FullTransmit};

}  // namespace

std::span<const Call> CpuCardCalls() { return kCalls; }

}  // namespace kulve::fuzz
