// SPDX-License-Identifier: MIT
// The IFD handler entry points (API version 3) that pcscd looks up in the
// driver: each forwards to the one driver object of the process.
#include "pcsc/pcsclite.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <new>
#include <string>

#include "pcsc/ifd_driver.h"
#include "pcsc/ifd_log.h"
#include "pcsc/library_backend.h"

#define KULVE_IFD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// How often an idle CPU card slot and the field are probed (SAM slots 4
// times less often, and at most 2 probes a second per reader: see
// presence_probe.h); pcscd polls every slot a few times a second.
constexpr std::chrono::milliseconds kProbeInterval{2000};

// Never destroyed: pcscd may end the process with exit() while its polling
// threads still call in, so no destructor may pull the channels away under
// them; the system closes the ports.
kulve::pcsc::IfdDriver& Driver() {
  alignas(kulve::pcsc::IfdDriver) static unsigned char storage[sizeof(kulve::pcsc::IfdDriver)];
  static kulve::pcsc::IfdDriver* const driver =
      new (storage) kulve::pcsc::IfdDriver(&kulve::pcsc::OpenLibraryBackend, kProbeInterval);
  return *driver;
}

using kulve::pcsc::LogCall;
using kulve::pcsc::LogWanted;

std::string Hex32(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
  return text;
}

const char* PowerActionName(DWORD action) {
  switch (action) {
    case IFD_POWER_UP: return "PowerUp";
    case IFD_POWER_DOWN: return "PowerDown";
    case IFD_RESET: return "Reset";
    default: return "unknown action";
  }
}

// The last answer each Lun's presence poll gave, to log only its changes.
RESPONSECODE& LastPresence(DWORD lun) {
  static std::array<RESPONSECODE, 16 * 8> last{};
  static RESPONSECODE other = 0;
  const std::size_t index = ((lun >> 16) & 0xF) * 8 + (lun & 0x7);
  return (lun & 0xFFF0FFF8) == 0 ? last[index] : other;
}

}  // namespace

KULVE_IFD_EXPORT RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
  const RESPONSECODE rv = Driver().CreateChannel(Lun, DeviceName);
  if (LogWanted(false)) LogCall("IFDHCreateChannelByName", Lun, DeviceName != nullptr ? DeviceName : "(null)", rv);
  return rv;
}

// A channel number alone names no device this driver knows.
KULVE_IFD_EXPORT RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel) {
  if (LogWanted(false)) LogCall("IFDHCreateChannel", Lun, "channel " + Hex32(Channel), IFD_COMMUNICATION_ERROR);
  return IFD_COMMUNICATION_ERROR;
}

KULVE_IFD_EXPORT RESPONSECODE IFDHCloseChannel(DWORD Lun) {
  const RESPONSECODE rv = Driver().CloseChannel(Lun);
  if (LogWanted(false)) LogCall("IFDHCloseChannel", Lun, "", rv);
  return rv;
}

KULVE_IFD_EXPORT RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
  const RESPONSECODE rv = Driver().GetCapabilities(Lun, Tag, Length, Value);
  if (LogWanted(false)) LogCall("IFDHGetCapabilities", Lun, "tag " + Hex32(Tag), rv);
  return rv;
}

KULVE_IFD_EXPORT RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD Tag, DWORD, PUCHAR) {
  const RESPONSECODE rv = Driver().SetCapabilities(Lun, Tag);
  if (LogWanted(false)) LogCall("IFDHSetCapabilities", Lun, "tag " + Hex32(Tag), rv);
  return rv;
}

KULVE_IFD_EXPORT RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR, UCHAR, UCHAR, UCHAR) {
  const RESPONSECODE rv = Driver().SetProtocolParameters(Lun, Protocol);
  if (LogWanted(false)) LogCall("IFDHSetProtocolParameters", Lun, "protocol " + Hex32(Protocol), rv);
  return rv;
}

KULVE_IFD_EXPORT RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
  const RESPONSECODE rv = Driver().PowerIcc(Lun, Action, Atr, AtrLength);
  if (LogWanted(false)) LogCall("IFDHPowerICC", Lun, PowerActionName(Action), rv);
  return rv;
}

// RecvPci is the caller's: its Length stays as the caller set it.
KULVE_IFD_EXPORT RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER, PUCHAR TxBuffer, DWORD TxLength,
                                                PUCHAR RxBuffer, PDWORD RxLength, PSCARD_IO_HEADER) {
  const RESPONSECODE rv = Driver().Transmit(Lun, TxBuffer, TxLength, RxBuffer, RxLength);
  if (LogWanted(false)) LogCall("IFDHTransmitToICC", Lun, kulve::pcsc::ApduSummary(TxBuffer, TxLength), rv);
  return rv;
}

KULVE_IFD_EXPORT RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength,
                                          PUCHAR RxBuffer, DWORD RxLength, LPDWORD pdwBytesReturned) {
  const RESPONSECODE rv =
      Driver().Control(Lun, dwControlCode, TxBuffer, TxLength, RxBuffer, RxLength, pdwBytesReturned);
  if (LogWanted(false)) {
    std::string detail = "code " + Hex32(dwControlCode);
    if (TxBuffer != nullptr && TxLength > 0) detail += ", command " + Hex32(TxBuffer[0]);
    LogCall("IFDHControl", Lun, detail, rv);
  }
  return rv;
}

KULVE_IFD_EXPORT RESPONSECODE IFDHICCPresence(DWORD Lun) {
  const RESPONSECODE rv = Driver().Presence(Lun);
  RESPONSECODE& last = LastPresence(Lun);
  if (LogWanted(true) || (rv != last && LogWanted(false))) LogCall("IFDHICCPresence", Lun, "", rv);
  last = rv;
  return rv;
}
