// SPDX-License-Identifier: MIT
// The housekeeping family through a handle.
#include "handle/checked.h"
#include "handle/handle_api.h"
#include "housekeeping/housekeeping.h"

namespace kulve::api {

int ReaderPowerOn(kulve_reader* r) { return Plain<&PowerOn>(r); }
int ReaderPowerOff(kulve_reader* r) { return Plain<&PowerOff>(r); }
int ReaderSelectCard(kulve_reader* r, int cardType) { return Plain<&SelectCard>(r, cardType); }
int ReaderInquire(kulve_reader* r, int* cardType, int* state, int* power) {
  return Plain<&Inquire>(r, cardType, state, power);
}
int ReaderStandby(kulve_reader* r) { return Plain<&SetStandby>(r); }
int ReaderDeviceNumber(kulve_reader* r, unsigned char* number, int size) {
  return Checked<&GetDeviceNumber>(r, Fits(size, kIdentityBytes), number);
}
int ReaderVersion(kulve_reader* r, unsigned char* version, int size) {
  return Checked<&DEVVER>(r, Fits(size, kIdentityBytes), version);
}
int ReaderAlarm(kulve_reader* r, int mode, int a, int b, int c) { return Plain<&ALARM>(r, mode, a, b, c); }

}  // namespace kulve::api
