// SPDX-License-Identifier: MIT
#include "cpucard/full_protocol.h"

#include "cpucard/t0_transport.h"
#include "cpucard/t1_parameters.h"
#include "cpucard/t1_transport.h"

namespace kulve {

FullAnswer TransmitFull(Reader& reader, ChipSlot slot, std::span<const std::uint8_t> apdu) {
  const ChipSlotProtocol& st = reader.chipProtocol.slots[static_cast<std::size_t>(slot)];
  return st.protocol == 1 ? TransmitT1(reader, slot, apdu) : TransmitT0(reader, slot, apdu);
}

int CurrentIfsc(const Reader& reader, ChipSlot slot) {
  const ChipSlotProtocol& st = reader.chipProtocol.slots[static_cast<std::size_t>(slot)];
  return st.reset && st.protocol == 1 ? st.ifsc : 0;
}

void NoteSlotReset(Reader& reader, ChipSlot slot, std::span<const std::uint8_t> atr, bool succeeded) {
  ChipSlotProtocol& st = reader.chipProtocol.slots[static_cast<std::size_t>(slot)];
  st.sendSequence = 0;
  st.receiveSequence = 0;
  st.resynchPending = false;
  if (!succeeded) return;
  st.silentCalls = 0;
  st.mustReset = false;
  const T1Parameters p = ReadT1Parameters(atr);
  st.reset = true;
  st.protocol = p.protocol;
  st.atrIfsc = p.ifsc;
  st.ifsc = p.ifsc;
  st.crc = p.crc;
  st.ifsdPending = p.protocol == 1;
  st.bwi = p.bwi;
  st.cwi = p.cwi;
  st.wi = p.wi;
  st.fi = p.fi;
  st.clocksPerEtu = p.clocksPerEtu;
}

}  // namespace kulve
