// SPDX-License-Identifier: MIT
// Exported entry points of the CPU card and SAM family.
#include "cpucard/cpucard.h"
#include "kulve32.h"

using kulve::ChipSlot;
using kulve::ProcessReader;

extern "C" {

KULVE_API int KULVE_CALL CpuCardReset(unsigned char* atr) { return kulve::ResetChip(ProcessReader(), ChipSlot::kCpuCard, atr); }
KULVE_API int KULVE_CALL SamCard1Reset(unsigned char* atr) { return kulve::ResetChip(ProcessReader(), ChipSlot::kSam1, atr); }
KULVE_API int KULVE_CALL SamCard2Reset(unsigned char* atr) { return kulve::ResetChip(ProcessReader(), ChipSlot::kSam2, atr); }
KULVE_API int KULVE_CALL SamCard3Reset(unsigned char* atr) { return kulve::ResetChip(ProcessReader(), ChipSlot::kSam3, atr); }
KULVE_API int KULVE_CALL SamCard4Reset(unsigned char* atr) { return kulve::ResetChip(ProcessReader(), ChipSlot::kSam4, atr); }

KULVE_API int KULVE_CALL CPUCardProtocolType(void) { return kulve::CpuCardProtocolType(ProcessReader()); }

KULVE_API int KULVE_CALL ProCpuCardCmd(const unsigned char* request, unsigned char* response) {
  return kulve::SendApduRequest(ProcessReader(), ChipSlot::kCpuCard, request, response);
}
KULVE_API int KULVE_CALL ProSamCard1Cmd(const unsigned char* request, unsigned char* response) {
  return kulve::SendApduRequest(ProcessReader(), ChipSlot::kSam1, request, response);
}
KULVE_API int KULVE_CALL ProSamCard2Cmd(const unsigned char* request, unsigned char* response) {
  return kulve::SendApduRequest(ProcessReader(), ChipSlot::kSam2, request, response);
}
KULVE_API int KULVE_CALL ProSamCard3Cmd(const unsigned char* request, unsigned char* response) {
  return kulve::SendApduRequest(ProcessReader(), ChipSlot::kSam3, request, response);
}
KULVE_API int KULVE_CALL ProSamCard4Cmd(const unsigned char* request, unsigned char* response) {
  return kulve::SendApduRequest(ProcessReader(), ChipSlot::kSam4, request, response);
}

KULVE_API int KULVE_CALL ProCpuCard(unsigned char* request, unsigned char* response) {
  return kulve::SendPackedApdu(ProcessReader(), ChipSlot::kCpuCard, request, response);
}
KULVE_API int KULVE_CALL ProSamCard1(unsigned char* request, unsigned char* response) {
  return kulve::SendPackedApdu(ProcessReader(), ChipSlot::kSam1, request, response);
}
KULVE_API int KULVE_CALL ProSamCard2(unsigned char* request, unsigned char* response) {
  return kulve::SendPackedApdu(ProcessReader(), ChipSlot::kSam2, request, response);
}
KULVE_API int KULVE_CALL ProSamCard3(unsigned char* request, unsigned char* response) {
  return kulve::SendPackedApdu(ProcessReader(), ChipSlot::kSam3, request, response);
}
KULVE_API int KULVE_CALL ProSamCard4(unsigned char* request, unsigned char* response) {
  return kulve::SendPackedApdu(ProcessReader(), ChipSlot::kSam4, request, response);
}

KULVE_API int KULVE_CALL SetChipProtocolMode(int mode) { return kulve::SetChipProtocolMode(ProcessReader(), mode); }

KULVE_API int KULVE_CALL ChipTransmit(int slot, const unsigned char* apdu, int apduLength, unsigned char* response,
                                      int responseSize, int* responseLength) {
  return kulve::ChipTransmit32(ProcessReader(), slot, apdu, apduLength, response, responseSize, responseLength);
}

}  // extern "C"
