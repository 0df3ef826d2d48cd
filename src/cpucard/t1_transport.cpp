// SPDX-License-Identifier: MIT
#include "cpucard/t1_transport.h"

#include <algorithm>

#include "cpucard/card_timing.h"
#include "cpucard/secret_apdu.h"
#include "results/results.h"
#include "cpucard/t1_block.h"

namespace kulve {
namespace {

constexpr int kMaxRetransmissions = 2;
// S(IFS) requests in a row without a block of the exchange moving on; a card
// that asks more is not answering. S(WTX) is not counted: a card may ask for
// time as often as it needs, and the call's bound limits what it gets.
constexpr int kMaxStalls = 64;
// Calls in a row that the reader left silent (no acknowledgement within the
// card's wait) with no block from the card between them: the card is taken
// for dead, as after three refused S(RESYNCH).
constexpr std::uint8_t kMaxSilentCalls = 3;
constexpr int kSupervisoryTries = 3;
constexpr std::uint8_t kRBlock = 0x80;
constexpr std::uint8_t kSBlock = 0xC0;
constexpr std::uint8_t kEdcError = 0x01;
constexpr std::uint8_t kOtherError = 0x02;

class T1Session {
 public:
  T1Session(Reader& reader, ChipSlot slot)
      : reader_(reader), slot_(slot), st_(reader.chipProtocol.slots[static_cast<std::size_t>(slot)]) {}

  FullAnswer Run(std::span<const std::uint8_t> apdu);

 private:
  FullAnswer Exchanges(std::span<const std::uint8_t> apdu);
  struct Received {
    std::uint8_t status = 0;  // the exchange's LinkStatus
    bool lineFailed = false;  // status is a link failure, not the reader's word
    bool valid = false;
    std::uint8_t error = kOtherError;  // why not valid
    std::uint8_t pcb = 0;
    std::vector<std::uint8_t> inf;
  };
  // kFailed: status says why (the line, or the reader about a slot never reset).
  enum class Resynch : std::uint8_t { kDone, kFailed, kRefused };

  Received Send(const std::vector<std::uint8_t>& block, std::uint32_t wtx, SecretSpan secret = {});
  // One S(request) answered by its S(response), up to three tries; false with
  // status set when an exchange failed on the line, false with status 0 when
  // no try was answered right.
  bool Supervise(std::uint8_t function, std::span<const std::uint8_t> inf, std::uint8_t& status);
  // S(RESYNCH); after three refused tries the slot must be reset.
  Resynch Resynchronise(std::uint8_t& status);
  bool Prepare(std::uint8_t& status);
  std::size_t Chunk() const { return std::min<std::size_t>(st_.ifsc, AnnouncedIfsd(st_.crc)); }
  std::vector<std::uint8_t> RBlock(std::uint8_t error) const {
    return BuildT1Block(static_cast<std::uint8_t>(kRBlock | st_.receiveSequence << 4 | error), {}, st_.crc);
  }
  FullAnswer Lost();
  FullAnswer Failed(int result);

  Reader& reader_;
  ChipSlot slot_;
  ChipSlotProtocol& st_;
  CardCall call_;
  std::uint8_t readerStatus_ = 0;  // the last reader status during S-block tries
};

T1Session::Received T1Session::Send(const std::vector<std::uint8_t>& block, std::uint32_t wtx, SecretSpan secret) {
  const std::uint32_t waitMs = T1BlockWaitMs(st_, block.size(), AnnouncedIfsd(st_.crc), wtx);
  const ReplyView reply = call_.Exchange(reader_, CodesOf(slot_).apdu, block, waitMs, secret);
  Received r;
  r.status = reply.status;
  r.lineFailed = reply.lineFailed;
  if (!reply.Ok()) return r;
  st_.silentCalls = 0;  // the card's block came, whole or not: it lives
  const auto shape = ParseT1Block(reply.data, st_.crc, false);
  if (!shape || shape->nad != 0) return r;
  if (!ParseT1Block(reply.data, st_.crc, true)) {
    r.error = kEdcError;
    return r;
  }
  r.valid = true;
  r.pcb = shape->pcb;
  r.inf.assign(shape->inf.begin(), shape->inf.end());
  return r;
}

bool T1Session::Supervise(std::uint8_t function, std::span<const std::uint8_t> inf, std::uint8_t& status) {
  const auto request = BuildT1Block(static_cast<std::uint8_t>(kSBlock | function), inf, st_.crc);
  const auto wanted = static_cast<std::uint8_t>(kSBlock | t1_s::kResponse | function);
  status = 0;
  for (int i = 0; i < kSupervisoryTries; ++i) {
    const Received r = Send(request, 1);
    // A reader's status (the card gave nothing) is a try the card failed.
    if (r.lineFailed) {
      status = r.status;
      return false;
    }
    if (r.valid && r.pcb == wanted && std::ranges::equal(r.inf, inf)) return true;
    if (r.status != 0) readerStatus_ = r.status;
  }
  return false;
}

T1Session::Resynch T1Session::Resynchronise(std::uint8_t& status) {
  if (Supervise(t1_s::kResynch, {}, status)) {
    // Both ends start over as after the reset, IFSD included.
    st_.sendSequence = 0;
    st_.receiveSequence = 0;
    st_.ifsc = st_.atrIfsc;
    st_.ifsdPending = true;
    st_.resynchPending = false;
    return Resynch::kDone;
  }
  st_.resynchPending = true;
  if (status != 0) return Resynch::kFailed;
  if (!st_.reset && readerStatus_ != 0) {
    // A slot this library never reset: the reader's word (e.g. not powered)
    // says more than three unanswered S(RESYNCH), and a reset is due anyway.
    status = readerStatus_;
    return Resynch::kFailed;
  }
  // ISO/IEC 7816-3 asks for the card's reset now; the reader cannot power a
  // slot down, so the library stops talking to it until the caller resets it.
  st_.mustReset = true;
  return Resynch::kRefused;
}

FullAnswer T1Session::Lost() {
  std::uint8_t status = 0;
  const Resynch r = Resynchronise(status);
  if (r == Resynch::kRefused) return Failed(result::kCardMustBeReset);
  return Failed(!st_.reset && status != 0 ? status : result::kT1ExchangeLost);
}

FullAnswer T1Session::Failed(int result) {
  FullAnswer a;
  a.result = result;
  return a;
}

// What a slot needs before its next I-block: resynchronisation after the
// default mode used it, and the IFSD after its reset.
bool T1Session::Prepare(std::uint8_t& status) {
  if (st_.resynchPending && Resynchronise(status) != Resynch::kDone) return false;
  if (st_.ifsdPending) {
    const std::uint8_t ifsd[] = {AnnouncedIfsd(st_.crc)};
    // A card that will not take the IFSD keeps 32, which fits too.
    if (!Supervise(t1_s::kIfs, ifsd, status) && status != 0) return false;
    st_.ifsdPending = false;
  }
  return true;
}

FullAnswer T1Session::Run(std::span<const std::uint8_t> apdu) {
  if (st_.mustReset) return Failed(result::kCardMustBeReset);
  FullAnswer answer = Exchanges(apdu);
  if (answer.result == link_failure::kNoAck && ++st_.silentCalls >= kMaxSilentCalls) st_.mustReset = true;
  return answer;
}

FullAnswer T1Session::Exchanges(std::span<const std::uint8_t> apdu) {
  FullAnswer answer;
  std::uint8_t status = 0;
  if (!Prepare(status)) {
    st_.resynchPending = true;
    answer.result = status != 0 ? status : st_.mustReset ? result::kCardMustBeReset : result::kT1ExchangeLost;
    return answer;
  }

  std::size_t offset = 0;   // APDU bytes the card has acknowledged
  std::size_t carried = 0;  // APDU bytes in the I-block in flight
  bool iAcked = false;      // the card took the I-block in flight
  bool more = false;        // it has the more-data bit
  const ApduRange secretData = SecretData(apdu);
  SecretSpan secretI;       // what of the I-block in flight the trace masks
  auto nextIBlock = [&] {
    carried = std::min(Chunk(), apdu.size() - offset);
    more = offset + carried < apdu.size();
    iAcked = false;
    const auto pcb = static_cast<std::uint8_t>(st_.sendSequence << 6 | (more ? kT1MoreData : 0));
    auto block = BuildT1Block(pcb, apdu.subspan(offset, carried), st_.crc);
    secretI = SecretInBlock(secretData, offset, carried, block.size());
    return block;
  };
  std::vector<std::uint8_t> lastI = nextIBlock();
  std::vector<std::uint8_t> last = lastI;
  answer.firstSent = lastI;
  int errors = 0;
  int stalls = 0;
  std::uint32_t wtx = 1;

  for (;;) {
    if (call_.Expired()) {
      st_.resynchPending = true;
      answer.result = result::kCallTimeBound;
      answer.bytes.clear();
      return answer;
    }
    const Received r = Send(last, wtx, last == lastI ? secretI : SecretSpan{});
    wtx = 1;
    auto retransmit = [&](const std::vector<std::uint8_t>& block) {
      if (++errors > kMaxRetransmissions) return false;
      last = block;
      return true;
    };
    if (r.status != 0) {
      // The reader says the card's block never came: ask for it with an
      // R-block. A link failure (the reader itself silent, or still busy with
      // the card) ends the call, as does the third such status in a row.
      if (!r.lineFailed && retransmit(RBlock(kOtherError))) continue;
      // Where the card's numbering stands is unknown: start the next call over.
      st_.resynchPending = true;
      answer.result = r.status;
      answer.bytes.clear();
      return answer;
    }
    if (!r.valid) {
      if (!retransmit(RBlock(r.error))) return Lost();
      continue;
    }
    switch (KindOf(r.pcb)) {
      case T1Kind::kReceiveReady: {
        const std::uint8_t nr = SequenceOf(r.pcb);
        if (!iAcked && more && nr != st_.sendSequence && (r.pcb & 0x0F) == 0) {
          // The card took this link of the chain and wants the next.
          st_.sendSequence ^= 1;
          offset += carried;
          errors = 0;
          stalls = 0;
          lastI = nextIBlock();
          last = lastI;
          continue;
        }
        // The card asks for our last block again.
        if (!retransmit(iAcked ? last : lastI)) return Lost();
        continue;
      }
      case T1Kind::kSupervisory: {
        const std::uint8_t function = r.pcb & 0x3F;
        if (function == t1_s::kWtx && r.inf.size() == 1) {
          last = BuildT1Block(static_cast<std::uint8_t>(kSBlock | t1_s::kResponse | t1_s::kWtx), r.inf, st_.crc);
          wtx = std::max<std::uint32_t>(1, r.inf[0]);
          continue;
        }
        if (++stalls > kMaxStalls) return Lost();
        if (function == t1_s::kIfs && r.inf.size() == 1 && r.inf[0] != 0x00 && r.inf[0] != 0xFF) {
          st_.ifsc = r.inf[0];
          last = BuildT1Block(static_cast<std::uint8_t>(kSBlock | t1_s::kResponse | t1_s::kIfs), r.inf, st_.crc);
          continue;
        }
        if (function == t1_s::kAbort && r.inf.empty()) {
          // The card gives up the exchange: it is answered, and where the
          // numbering stands is settled by S(RESYNCH) in the next call.
          const Received ack = Send(BuildT1Block(kSBlock | t1_s::kResponse | t1_s::kAbort, {}, st_.crc), 1);
          st_.resynchPending = true;
          return Failed(ack.lineFailed ? ack.status : result::kT1Aborted);
        }
        if (!retransmit(RBlock(kOtherError))) return Lost();
        continue;
      }
      case T1Kind::kInformation: {
        const bool chained = (r.pcb & kT1MoreData) != 0;
        // A link of a chain must carry something, or the chain need not end.
        if ((!iAcked && more) || SequenceOf(r.pcb) != st_.receiveSequence || (chained && r.inf.empty())) {
          if (!retransmit(RBlock(kOtherError))) return Lost();
          continue;
        }
        if (!iAcked) {
          st_.sendSequence ^= 1;
          iAcked = true;
        }
        st_.receiveSequence ^= 1;
        errors = 0;
        stalls = 0;
        if (answer.bytes.size() + r.inf.size() > kMaxFullAnswer) {
          // The card stays mid-chain: bring it back before the next command.
          if (chained) Resynchronise(status);
          return Failed(result::kAnswerTooLarge);
        }
        answer.bytes.insert(answer.bytes.end(), r.inf.begin(), r.inf.end());
        if (chained) {
          last = RBlock(0);
          continue;
        }
        if (answer.bytes.size() < 2) {
          answer.bytes.clear();
          answer.result = result::kT1NotAnAnswer;
          return answer;
        }
        const std::size_t n = answer.bytes.size();
        answer.result = answer.bytes[n - 2] << 8 | answer.bytes[n - 1];
        return answer;
      }
    }
  }
}

}  // namespace

FullAnswer TransmitT1(Reader& reader, ChipSlot slot, std::span<const std::uint8_t> apdu) {
  return T1Session(reader, slot).Run(apdu);
}

}  // namespace kulve
