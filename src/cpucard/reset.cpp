// SPDX-License-Identifier: MIT
// Reset of a CPU card or SAM, and the framing choice its answer makes.
#include "cpucard/answer_to_reset.h"
#include "cpucard/cpucard.h"
#include "cpucard/full_protocol.h"
#include "link/transact.h"

namespace kulve {
namespace {

constexpr std::size_t kMaxAtrCopy = 255;  // the one-byte reply length bounds it

}  // namespace

int ResetChip(Reader& reader, ChipSlot slot, std::uint8_t* atr) {
  if (atr == nullptr) return result::kBadArgument;
  // A reset restarts the card's block numbering, whether or not it works.
  reader.cpuCard.sendSequence = 0;
  const ReplyView reply = Exchange(reader, CodesOf(slot).reset, {});
  if (!reply.Ok()) {
    NoteSlotReset(reader, slot, {}, false);
    atr[0] = 0;
    return reply.status;
  }
  atr[0] = static_cast<std::uint8_t>(reply.CopyTo(atr + 1, kMaxAtrCopy));
  reader.cpuCard.protocol = FirstOfferedProtocol(reply.data);
  NoteSlotReset(reader, slot, reply.data, true);
  return reply.status;
}

int CpuCardProtocolType(const Reader& reader) { return reader.cpuCard.protocol == kProtocolT1 ? 1 : 0; }

}  // namespace kulve
