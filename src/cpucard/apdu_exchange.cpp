// SPDX-License-Identifier: MIT
// One command APDU to a card and its answer back, for both request forms.
#include <algorithm>

#include "cpucard/answer_to_reset.h"
#include "cpucard/apdu_frame.h"
#include "cpucard/cpucard.h"
#include "link/transact.h"

namespace kulve {
namespace {

constexpr std::size_t kLcOffset = 4;
constexpr std::size_t kDataOffset = 5;

// Frames the command by the protocol of the last reset, sends it, and writes
// the response (count, then data) to `response`. When `echo` is given the
// block as sent is written there (length, then bytes), also after a failure.
int Send(Reader& reader, ChipSlot slot, const CommandApdu& apdu, std::uint8_t* response, std::uint8_t* echo) {
  CpuCardState& state = reader.cpuCard;
  const bool t1 = state.protocol == kProtocolT1;
  const FramedCommand framed = FrameCommand(apdu, t1, state.sendSequence);
  response[0] = 0;
  const ReplyView reply = Exchange(reader, CodesOf(slot).apdu, framed.View());
  if (echo != nullptr) {
    echo[0] = static_cast<std::uint8_t>(framed.size);
    std::copy_n(framed.bytes.begin(), framed.size, echo + 1);
  }
  if (!reply.Ok()) return reply.status;

  // The card took the block, so its sequence moved on, whatever it answered.
  state.sendSequence ^= 1;
  const auto answer = ReadCardAnswer(reply.data, t1);
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
