// SPDX-License-Identifier: MIT
// One command APDU to a card and its answer back, for both request forms.
#include <algorithm>

#include "cpucard/answer_to_reset.h"
#include "cpucard/apdu_frame.h"
#include "cpucard/cpucard.h"
#include "cpucard/full_protocol.h"
#include "cpucard/secret_apdu.h"
#include "cpucard/t1_block.h"
#include "link/transact.h"

namespace kulve {
namespace {

constexpr std::size_t kLcOffset = 4;
constexpr std::size_t kDataOffset = 5;

// The full mode: the slot's own protocol, with everything it takes; the
// documented buffers bound what the caller gets.
int SendFull(Reader& reader, ChipSlot slot, const CommandApdu& apdu, std::uint8_t* response, std::uint8_t* echo) {
  const FramedCommand command = FrameCommand(apdu, false, 0);  // the APDU itself
  const FullAnswer answer = TransmitFull(reader, slot, command.View());
  if (echo != nullptr) {
    const std::size_t n = std::min(answer.firstSent.size(), kMaxBlockSize);
    echo[0] = static_cast<std::uint8_t>(n);
    std::copy_n(answer.firstSent.begin(), n, echo + 1);
  }
  if (answer.result <= 0xFF) return answer.result;
  const std::size_t count = answer.bytes.size() - 2;
  if (count > kMaxResponseData) return result::kResponseTooLong;
  response[0] = static_cast<std::uint8_t>(count);
  std::copy_n(answer.bytes.begin(), count, response + 1);
  return answer.result;
}

// Frames the command by the protocol of the last reset, sends it, and writes
// the response (count, then data) to `response`. When `echo` is given the
// block as sent is written there (length, then bytes), also after a failure.
int Send(Reader& reader, ChipSlot slot, const CommandApdu& apdu, std::uint8_t* response, std::uint8_t* echo) {
  response[0] = 0;
  if (reader.chipProtocol.mode.load() == kChipModeFull) return SendFull(reader, slot, apdu, response, echo);
  // The card's numbering now follows the shared bit: the full mode starts
  // this slot over before using it again.
  reader.chipProtocol.slots[static_cast<std::size_t>(slot)].resynchPending = true;
  CpuCardState& state = reader.cpuCard;
  const bool t1 = state.protocol == kProtocolT1;
  const FramedCommand framed = FrameCommand(apdu, t1, state.sendSequence);
  response[0] = 0;
  // A PIN in the data goes out marked for the trace, with the LRC after it.
  const std::size_t lc = apdu.data.size();
  const SecretSpan secret = !CarriesSecretData(apdu.header[1]) || lc == 0 ? SecretSpan{}
                            : t1                                          ? SecretSpan{kT1Prologue + kApduHeaderSize, lc + 1}
                                                                          : SecretSpan{kApduHeaderSize, lc};
  const ReplyView reply = Exchange(reader, CodesOf(slot).apdu, framed.View(), secret);
  if (echo != nullptr) {
    echo[0] = static_cast<std::uint8_t>(framed.size);
    std::copy_n(framed.bytes.begin(), framed.size, echo + 1);
  }
  if (!reply.Ok()) return reply.status;

  const auto answer = ReadCardAnswer(reply.data, t1);
  if (answer && t1 && !IsSingleAnswerBlock(reply.data)) {
    // An R-block names the N(S) the card wants next; any other block shows
    // it took ours.
    const std::uint8_t pcb = reply.data[1];
    state.sendSequence = KindOf(pcb) == T1Kind::kReceiveReady ? SequenceOf(pcb) : state.sendSequence ^ 1;
    return result::kT1NotAnAnswer;
  }
  // The card took the block, so its sequence moved on, whatever it answered.
  state.sendSequence ^= 1;
  if (!answer) return link_failure::kShortReply;
  response[0] = static_cast<std::uint8_t>(answer->data.size());
  std::copy(answer->data.begin(), answer->data.end(), response + 1);
  return answer->statusWord;
}

// The checks both forms share; true when the request may be sent.
bool Acceptable(const std::uint8_t* request, std::uint8_t* response) {
  if (response == nullptr) return false;
  if (request == nullptr || request[kLcOffset] > kMaxCommandData) {
    response[0] = 0;
    return false;
  }
  return true;
}

CommandApdu Fields(const std::uint8_t* request, std::size_t leOffset) {
  CommandApdu apdu;
  std::copy_n(request, apdu.header.size(), apdu.header.begin());
  apdu.data = {request + kDataOffset, request[kLcOffset]};
  apdu.le = request[leOffset];
  return apdu;
}

}  // namespace

int SendApduRequest(Reader& reader, ChipSlot slot, const std::uint8_t* request, std::uint8_t* response) {
  if (!Acceptable(request, response)) return result::kBadArgument;
  return Send(reader, slot, Fields(request, kApduRequestLeOffset), response, nullptr);
}

int SendPackedApdu(Reader& reader, ChipSlot slot, std::uint8_t* request, std::uint8_t* response) {
  if (!Acceptable(request, response)) return result::kBadArgument;
  // The echo overwrites the request only after the block has been framed
  // from it (FrameCommand copies every byte it needs).
  return Send(reader, slot, Fields(request, kDataOffset + request[kLcOffset]), response, request);
}

}  // namespace kulve
