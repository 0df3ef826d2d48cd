// SPDX-License-Identifier: MIT
// Exported entry points of the CPU card and SAM family.
#include "cpucard/cpucard.h"
#include "handle/call.h"
#include "kulve32.h"

using kulve::ChipSlot;

extern "C" {

KULVE_API int KULVE_CALL CpuCardReset(unsigned char* atr) { return kulve::OnDefault<&kulve::ResetChip>(ChipSlot::kCpuCard, atr); }
KULVE_API int KULVE_CALL SamCard1Reset(unsigned char* atr) { return kulve::OnDefault<&kulve::ResetChip>(ChipSlot::kSam1, atr); }
KULVE_API int KULVE_CALL SamCard2Reset(unsigned char* atr) { return kulve::OnDefault<&kulve::ResetChip>(ChipSlot::kSam2, atr); }
KULVE_API int KULVE_CALL SamCard3Reset(unsigned char* atr) { return kulve::OnDefault<&kulve::ResetChip>(ChipSlot::kSam3, atr); }
KULVE_API int KULVE_CALL SamCard4Reset(unsigned char* atr) { return kulve::OnDefault<&kulve::ResetChip>(ChipSlot::kSam4, atr); }

KULVE_API int KULVE_CALL CPUCardProtocolType(void) { return kulve::OnDefault<&kulve::CpuCardProtocolType>(); }

KULVE_API int KULVE_CALL ProCpuCardCmd(const unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendApduRequest>(ChipSlot::kCpuCard, request, response);
}
KULVE_API int KULVE_CALL ProSamCard1Cmd(const unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendApduRequest>(ChipSlot::kSam1, request, response);
}
KULVE_API int KULVE_CALL ProSamCard2Cmd(const unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendApduRequest>(ChipSlot::kSam2, request, response);
}
KULVE_API int KULVE_CALL ProSamCard3Cmd(const unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendApduRequest>(ChipSlot::kSam3, request, response);
}
KULVE_API int KULVE_CALL ProSamCard4Cmd(const unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendApduRequest>(ChipSlot::kSam4, request, response);
}

KULVE_API int KULVE_CALL ProCpuCard(unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendPackedApdu>(ChipSlot::kCpuCard, request, response);
}
KULVE_API int KULVE_CALL ProSamCard1(unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendPackedApdu>(ChipSlot::kSam1, request, response);
}
KULVE_API int KULVE_CALL ProSamCard2(unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendPackedApdu>(ChipSlot::kSam2, request, response);
}
KULVE_API int KULVE_CALL ProSamCard3(unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendPackedApdu>(ChipSlot::kSam3, request, response);
}
KULVE_API int KULVE_CALL ProSamCard4(unsigned char* request, unsigned char* response) {
  return kulve::OnDefault<&kulve::SendPackedApdu>(ChipSlot::kSam4, request, response);
}

KULVE_API int KULVE_CALL SetChipProtocolMode(int mode) { return kulve::OnDefault<&kulve::SetChipProtocolMode>(mode); }

KULVE_API int KULVE_CALL ChipTransmit(int slot, const unsigned char* apdu, int apduLength, unsigned char* response,
                                      int responseSize, int* responseLength) {
  return kulve::OnDefault<&kulve::ChipTransmit32>(slot, apdu, apduLength, response, responseSize, responseLength);
}

}  // extern "C"
