// SPDX-License-Identifier: MIT
// The CPU card and SAM slots through a handle, the slot as a number.
#include "handle/checked.h"
#include "handle/handle_api.h"
#include "cpucard/cpucard.h"
#include "cpucard/full_protocol.h"

namespace kulve::api {
namespace {

constexpr int kSlotCount = 5;
constexpr int kPackedHeader = 5;    // CLA INS P1 P2 Lc
constexpr int kPackedOverhead = 10;  // 10 + Lc bytes hold the block framed in place
constexpr int kLcOffset = 4;

bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }
ChipSlot SlotOf(int slot) { return static_cast<ChipSlot>(slot); }

bool PackedFits(const unsigned char* request, int size) {
  if (request == nullptr) return true;  // refused by the family
  return Fits(size, kPackedHeader) && Fits(size, kPackedOverhead + request[kLcOffset]);
}

}  // namespace

int ChipReset(kulve_reader* r, int slot, unsigned char* atr, int size) {
  if (!ValidSlot(slot)) return result::kBadArgument;
  return Checked<&ResetChip>(r, Fits(size, KULVE_ATR_BUFFER_SIZE), SlotOf(slot), atr);
}
int ChipProtocol(kulve_reader* r) {
  const auto found = Find(r);
  if (!found) return result::kBadArgument;
  return Peeked(*found, [](const Reader& reader) { return CpuCardProtocolType(reader); });
}
int ChipApdu(kulve_reader* r, int slot, const unsigned char* request, int requestSize, unsigned char* response,
             int responseSize) {
  if (!ValidSlot(slot)) return result::kBadArgument;
  const bool fits = Fits(requestSize, KULVE_APDU_REQUEST_SIZE) && Fits(responseSize, KULVE_APDU_RESPONSE_SIZE);
  return Checked<&SendApduRequest>(r, fits, SlotOf(slot), request, response);
}
int ChipApduPacked(kulve_reader* r, int slot, unsigned char* request, int requestSize, unsigned char* response,
                   int responseSize) {
  if (!ValidSlot(slot)) return result::kBadArgument;
  const bool fits = PackedFits(request, requestSize) && Fits(responseSize, KULVE_APDU_RESPONSE_SIZE);
  return Checked<&SendPackedApdu>(r, fits, SlotOf(slot), request, response);
}

int ChipIfsc(kulve_reader* r, int slot, int* ifsc) {
  const auto handle = Find(r);
  if (!handle || ifsc == nullptr || !ValidSlot(slot)) return result::kBadArgument;
  *ifsc = Peeked(*handle, [slot](const Reader& reader) { return CurrentIfsc(reader, SlotOf(slot)); });
  return 0;
}
int ChipSetProtocolMode(kulve_reader* r, int mode) { return Plain<&SetChipProtocolMode>(r, mode); }
int ChipTransmit(kulve_reader* r, int slot, const unsigned char* apdu, int apduLength, unsigned char* response,
                 int responseSize, int* responseLength) {
  if (r == nullptr && responseLength != nullptr) *responseLength = 0;
  return Plain<&kulve::ChipTransmit32>(r, slot, apdu, apduLength, response, responseSize, responseLength);
}

}  // namespace kulve::api
