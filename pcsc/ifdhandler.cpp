// SPDX-License-Identifier: MIT
// The IFD handler entry points (API version 3) that pcscd looks up in the
// driver: each forwards to the one driver object of the process.
#include "pcsc/pcsclite.h"

#include <chrono>
#include <new>

#include "pcsc/ifd_driver.h"
#include "pcsc/library_backend.h"

#define KULVE_IFD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// An unpowered slot is asked about its card at most this often; pcscd polls
// every slot a few times a second.
constexpr std::chrono::milliseconds kProbeInterval{1000};

// Never destroyed: pcscd may end the process with exit() while its polling
// threads still call in, so no destructor may pull the channels away under
// them; the system closes the ports.
kulve::pcsc::IfdDriver& Driver() {
  alignas(kulve::pcsc::IfdDriver) static unsigned char storage[sizeof(kulve::pcsc::IfdDriver)];
  static kulve::pcsc::IfdDriver* const driver =
      new (storage) kulve::pcsc::IfdDriver(&kulve::pcsc::OpenLibraryBackend, kProbeInterval);
  return *driver;
}

}  // namespace

KULVE_IFD_EXPORT RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
  return Driver().CreateChannel(Lun, DeviceName);
}

// A channel number alone names no device this driver knows.
KULVE_IFD_EXPORT RESPONSECODE IFDHCreateChannel(DWORD, DWORD) { return IFD_COMMUNICATION_ERROR; }

KULVE_IFD_EXPORT RESPONSECODE IFDHCloseChannel(DWORD Lun) { return Driver().CloseChannel(Lun); }

KULVE_IFD_EXPORT RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
  return Driver().GetCapabilities(Lun, Tag, Length, Value);
}

KULVE_IFD_EXPORT RESPONSECODE IFDHSetCapabilities(DWORD, DWORD, DWORD, PUCHAR) { return IFD_NOT_SUPPORTED; }

KULVE_IFD_EXPORT RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR, UCHAR, UCHAR, UCHAR) {
  return Driver().SetProtocolParameters(Lun, Protocol);
}

KULVE_IFD_EXPORT RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
  return Driver().PowerIcc(Lun, Action, Atr, AtrLength);
}

KULVE_IFD_EXPORT RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER, PUCHAR TxBuffer, DWORD TxLength,
                                                PUCHAR RxBuffer, PDWORD RxLength, PSCARD_IO_HEADER RecvPci) {
  const RESPONSECODE rv = Driver().Transmit(Lun, TxBuffer, TxLength, RxBuffer, RxLength);
  if (RecvPci != nullptr) RecvPci->Length = 0;
  return rv;
}

KULVE_IFD_EXPORT RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength,
                                          PUCHAR RxBuffer, DWORD RxLength, LPDWORD pdwBytesReturned) {
  return Driver().Control(Lun, dwControlCode, TxBuffer, TxLength, RxBuffer, RxLength, pdwBytesReturned);
}

KULVE_IFD_EXPORT RESPONSECODE IFDHICCPresence(DWORD Lun) { return Driver().Presence(Lun); }
