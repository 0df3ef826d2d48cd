// SPDX-License-Identifier: MIT
// Exported entry points of the Mifare family.
#include "kulve32.h"
#include "mifare/mifare.h"

using kulve::ProcessReader;

extern "C" {

KULVE_API int KULVE_CALL RFMifare_Mcmno(unsigned char* answer) { return kulve::RFMifare_Mcmno(ProcessReader(), answer); }
KULVE_API int KULVE_CALL RFMifare_Authmode(int mode) { return kulve::RFMifare_Authmode(ProcessReader(), mode); }
KULVE_API int KULVE_CALL RFMifare_TransKey(int slot, const unsigned char* key) {
  return kulve::RFMifare_TransKey(ProcessReader(), slot, key);
}
KULVE_API int KULVE_CALL RFMifare_GetType(unsigned char* answer) {
  return kulve::RFMifare_GetType(ProcessReader(), answer);
}
KULVE_API int KULVE_CALL RFMifare_GetSnr(unsigned char* serial) { return kulve::RFMifare_GetSnr(ProcessReader(), serial); }
KULVE_API int KULVE_CALL RFMifare_ReadBlock(int block, unsigned int param, unsigned char* data) {
  return kulve::RFMifare_ReadBlock(ProcessReader(), block, param, data);
}
KULVE_API int KULVE_CALL RFMifare_WriteBlock(int block, unsigned int param, unsigned char* data) {
  return kulve::RFMifare_WriteBlock(ProcessReader(), block, param, data);
}
KULVE_API int KULVE_CALL RFMifare_WriteKey(int selector, unsigned int param, const unsigned char* key, int flag) {
  return kulve::RFMifare_WriteKey(ProcessReader(), selector, param, key, flag);
}
KULVE_API int KULVE_CALL RFMifare_ReadValue(int block, unsigned int param, unsigned char* value) {
  return kulve::RFMifare_ReadValue(ProcessReader(), block, param, value);
}
KULVE_API int KULVE_CALL RFMifare_WriteValue(int block, unsigned int param, unsigned char* value) {
  return kulve::RFMifare_WriteValue(ProcessReader(), block, param, value);
}
KULVE_API int KULVE_CALL RFMifare_IncrementValue(int block, unsigned int param, unsigned char* value) {
  return kulve::RFMifare_IncrementValue(ProcessReader(), block, param, value);
}
KULVE_API int KULVE_CALL RFMifare_DecrementValue(int block, unsigned int param, unsigned char* value) {
  return kulve::RFMifare_DecrementValue(ProcessReader(), block, param, value);
}
KULVE_API int KULVE_CALL RFMifare_LoadKey(int first, int second, const unsigned char* key) {
  return kulve::RFMifare_LoadKey(ProcessReader(), first, second, key);
}
KULVE_API int KULVE_CALL RFMifare_Request(int mode, unsigned char* answer) {
  return kulve::RFMifare_Request(ProcessReader(), mode, answer);
}
KULVE_API int KULVE_CALL RFMifare_AntiColl(unsigned char* serial) {
  return kulve::RFMifare_AntiColl(ProcessReader(), serial);
}
KULVE_API int KULVE_CALL RFMifare_Select(unsigned int serial) { return kulve::RFMifare_Select(ProcessReader(), serial); }
KULVE_API int KULVE_CALL RFMifare_Authentication(int first, int second, int third) {
  return kulve::RFMifare_Authentication(ProcessReader(), first, second, third);
}
KULVE_API int KULVE_CALL RFMifare_Read(int block, unsigned char* data) {
  return kulve::RFMifare_Read(ProcessReader(), block, data);
}
KULVE_API int KULVE_CALL RFMifare_Write(int block, const unsigned char* data) {
  return kulve::RFMifare_Write(ProcessReader(), block, data);
}
KULVE_API int KULVE_CALL RFMifare_Increment(int block, unsigned int amount) {
  return kulve::RFMifare_Increment(ProcessReader(), block, amount);
}
KULVE_API int KULVE_CALL RFMifare_Decrment(int block, unsigned int amount) {
  return kulve::RFMifare_Decrment(ProcessReader(), block, amount);
}
KULVE_API int KULVE_CALL RFMifare_Halt(void) { return kulve::RFMifare_Halt(ProcessReader()); }
KULVE_API int KULVE_CALL RFMifare_ReadBloca(int first, unsigned int param, unsigned char* card) {
  return kulve::RFMifare_ReadBloca(ProcessReader(), first, param, card);
}

}  // extern "C"
