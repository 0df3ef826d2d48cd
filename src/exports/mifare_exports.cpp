// SPDX-License-Identifier: MIT
// Exported entry points of the Mifare family.
#include "handle/call.h"
#include "kulve32.h"
#include "mifare/card_image.h"
#include "mifare/mifare.h"


extern "C" {

KULVE_API int KULVE_CALL RFMifare_Mcmno(unsigned char* answer) { return kulve::OnDefault<&kulve::RFMifare_Mcmno>(answer); }
KULVE_API int KULVE_CALL RFMifare_Authmode(int mode) { return kulve::OnDefault<&kulve::RFMifare_Authmode>(mode); }
KULVE_API int KULVE_CALL RFMifare_TransKey(int slot, const unsigned char* key) {
  return kulve::OnDefault<&kulve::RFMifare_TransKey>(slot, key);
}
KULVE_API int KULVE_CALL RFMifare_GetType(unsigned char* answer) {
  return kulve::OnDefault<&kulve::RFMifare_GetType>(answer);
}
KULVE_API int KULVE_CALL RFMifare_GetSnr(unsigned char* serial) { return kulve::OnDefault<&kulve::RFMifare_GetSnr>(serial); }
KULVE_API int KULVE_CALL RFMifare_ReadBlock(int block, unsigned int param, unsigned char* data) {
  return kulve::OnDefault<&kulve::RFMifare_ReadBlock>(block, param, data);
}
KULVE_API int KULVE_CALL RFMifare_WriteBlock(int block, unsigned int param, unsigned char* data) {
  return kulve::OnDefault<&kulve::RFMifare_WriteBlock>(block, param, data);
}
KULVE_API int KULVE_CALL RFMifare_WriteKey(int selector, unsigned int param, const unsigned char* key, int flag) {
  return kulve::OnDefault<&kulve::RFMifare_WriteKey>(selector, param, key, flag);
}
KULVE_API int KULVE_CALL RFMifare_ReadValue(int block, unsigned int param, unsigned char* value) {
  return kulve::OnDefault<&kulve::RFMifare_ReadValue>(block, param, value);
}
KULVE_API int KULVE_CALL RFMifare_WriteValue(int block, unsigned int param, unsigned char* value) {
  return kulve::OnDefault<&kulve::RFMifare_WriteValue>(block, param, value);
}
KULVE_API int KULVE_CALL RFMifare_IncrementValue(int block, unsigned int param, unsigned char* value) {
  return kulve::OnDefault<&kulve::RFMifare_IncrementValue>(block, param, value);
}
KULVE_API int KULVE_CALL RFMifare_DecrementValue(int block, unsigned int param, unsigned char* value) {
  return kulve::OnDefault<&kulve::RFMifare_DecrementValue>(block, param, value);
}
KULVE_API int KULVE_CALL RFMifare_LoadKey(int first, int second, const unsigned char* key) {
  return kulve::OnDefault<&kulve::RFMifare_LoadKey>(first, second, key);
}
KULVE_API int KULVE_CALL RFMifare_Request(int mode, unsigned char* answer) {
  return kulve::OnDefault<&kulve::RFMifare_Request>(mode, answer);
}
KULVE_API int KULVE_CALL RFMifare_AntiColl(unsigned char* serial) {
  return kulve::OnDefault<&kulve::RFMifare_AntiColl>(serial);
}
KULVE_API int KULVE_CALL RFMifare_Select(unsigned int serial) { return kulve::OnDefault<&kulve::RFMifare_Select>(serial); }
KULVE_API int KULVE_CALL RFMifare_Authentication(int first, int second, int third) {
  return kulve::OnDefault<&kulve::RFMifare_Authentication>(first, second, third);
}
KULVE_API int KULVE_CALL RFMifare_Read(int block, unsigned char* data) {
  return kulve::OnDefault<&kulve::RFMifare_Read>(block, data);
}
KULVE_API int KULVE_CALL RFMifare_Write(int block, const unsigned char* data) {
  return kulve::OnDefault<&kulve::RFMifare_Write>(block, data);
}
KULVE_API int KULVE_CALL RFMifare_Increment(int block, unsigned int amount) {
  return kulve::OnDefault<&kulve::RFMifare_Increment>(block, amount);
}
KULVE_API int KULVE_CALL RFMifare_Decrment(int block, unsigned int amount) {
  return kulve::OnDefault<&kulve::RFMifare_Decrment>(block, amount);
}
KULVE_API int KULVE_CALL RFMifare_Halt(void) { return kulve::OnDefault<&kulve::RFMifare_Halt>(); }
KULVE_API int KULVE_CALL RFMifare_ReadBloca(int first, unsigned int param, unsigned char* card) {
  return kulve::OnDefault<&kulve::RFMifare_ReadBloca>(first, param, card);
}

KULVE_API int KULVE_CALL MifareDumpCard(int sectors, const unsigned char* keys, int keysSize, unsigned char* image,
                                        int imageSize, unsigned char* status, int statusSize) {
  return kulve::OnDefault<&kulve::MifareDumpCard>(sectors, keys, keysSize, image, imageSize, status, statusSize);
}
KULVE_API int KULVE_CALL MifareRestoreCard(int sectors, const unsigned char* keys, int keysSize,
                                           const unsigned char* image, int imageSize, int trailers) {
  return kulve::OnDefault<&kulve::MifareRestoreCard>(sectors, keys, keysSize, image, imageSize, trailers);
}

}  // extern "C"
