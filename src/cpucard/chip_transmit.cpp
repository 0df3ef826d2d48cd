// SPDX-License-Identifier: MIT
// The mode switch and the APDU call without the documented size limits.
#include <algorithm>

#include "cpucard/cpucard.h"
#include "cpucard/full_protocol.h"
#include "results/results.h"

namespace kulve {

int SetChipProtocolMode(Reader& reader, int mode) {
  if (mode != kChipModeDefault && mode != kChipModeFull) return result::kBadArgument;
  reader.chipProtocol.mode.store(mode);
  return result::kOk;
}

int ChipProtocolMode(const Reader& reader) { return reader.chipProtocol.mode.load(); }

int ChipTransmit(Reader& reader, int slot, const std::uint8_t* apdu, std::size_t apduLength, std::uint8_t* response,
                 std::size_t responseSize, std::size_t* responseLength) {
  if (responseLength == nullptr) return result::kBadArgument;
  *responseLength = 0;
  if (slot < 0 || slot >= static_cast<int>(kChipSlotCodes.size()) || apdu == nullptr || apduLength < 4 ||
      apduLength > kMaxFullCommand || (response == nullptr && responseSize != 0)) {
    return result::kBadArgument;
  }
  const FullAnswer answer = TransmitFull(reader, static_cast<ChipSlot>(slot), {apdu, apduLength});
  if (answer.result <= 0xFF) return answer.result;
  *responseLength = answer.bytes.size();
  if (answer.bytes.size() > responseSize) return result::kResponseTooLong;
  std::copy(answer.bytes.begin(), answer.bytes.end(), response);
  return answer.result;
}

int ChipTransmit32(Reader& reader, int slot, const std::uint8_t* apdu, int apduLength, std::uint8_t* response,
                   int responseSize, int* responseLength) {
  if (responseLength == nullptr) return result::kBadArgument;
  *responseLength = 0;
  if (apduLength < 0 || responseSize < 0) return result::kBadArgument;
  std::size_t length = 0;
  const int r = ChipTransmit(reader, slot, apdu, static_cast<std::size_t>(apduLength), response,
                             static_cast<std::size_t>(responseSize), &length);
  *responseLength = static_cast<int>(length);
  return r;
}

}  // namespace kulve
