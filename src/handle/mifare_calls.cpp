// SPDX-License-Identifier: MIT
// The Mifare family through a handle.
#include "handle/checked.h"
#include "handle/handle_api.h"
#include "mifare/card_image.h"
#include "mifare/mifare.h"

namespace kulve::api {
namespace {

constexpr std::int64_t kKey = kMifareKeySize;
constexpr std::int64_t kBlock = kMifareBlockSize;
constexpr std::int64_t kValue = kMifareValueSize;
constexpr std::int64_t kSerial = kMifareSerialSize;
constexpr std::int64_t kAnswer = kMifareAnswerSize;
constexpr std::int64_t kCard = kMifareCardBufferSize;

}  // namespace

int MifareModule(kulve_reader* r, unsigned char* answer, int size) {
  return Checked<&RFMifare_Mcmno>(r, Fits(size, kAnswer), answer);
}
int MifareKeyMode(kulve_reader* r, int mode) { return Plain<&RFMifare_Authmode>(r, mode); }
int MifareStoreKey(kulve_reader* r, int slot, const unsigned char* key, int size) {
  return Checked<&RFMifare_TransKey>(r, Fits(size, kKey), slot, key);
}
int MifareCardType(kulve_reader* r, unsigned char* answer, int size) {
  return Checked<&RFMifare_GetType>(r, Fits(size, kAnswer), answer);
}
int MifareSerial(kulve_reader* r, unsigned char* serial, int size) {
  return Checked<&RFMifare_GetSnr>(r, Fits(size, kSerial), serial);
}
int MifareReadBlock(kulve_reader* r, int block, unsigned int param, unsigned char* data, int size) {
  return Checked<&RFMifare_ReadBlock>(r, Fits(size, kBlock), block, param, data);
}
int MifareWriteBlock(kulve_reader* r, int block, unsigned int param, unsigned char* data, int size) {
  return Checked<&RFMifare_WriteBlock>(r, Fits(size, kBlock), block, param, data);
}
int MifareWriteKey(kulve_reader* r, int selector, unsigned int param, const unsigned char* key, int size, int flag) {
  return Checked<&RFMifare_WriteKey>(r, Fits(size, kKey), selector, param, key, flag);
}
int MifareReadValue(kulve_reader* r, int block, unsigned int param, unsigned char* value, int size) {
  return Checked<&RFMifare_ReadValue>(r, Fits(size, kValue), block, param, value);
}
int MifareWriteValue(kulve_reader* r, int block, unsigned int param, unsigned char* value, int size) {
  return Checked<&RFMifare_WriteValue>(r, Fits(size, kValue), block, param, value);
}
int MifareIncrementValue(kulve_reader* r, int block, unsigned int param, unsigned char* value, int size) {
  return Checked<&RFMifare_IncrementValue>(r, Fits(size, kValue), block, param, value);
}
int MifareDecrementValue(kulve_reader* r, int block, unsigned int param, unsigned char* value, int size) {
  return Checked<&RFMifare_DecrementValue>(r, Fits(size, kValue), block, param, value);
}
int MifareReadCard(kulve_reader* r, int first, unsigned int param, unsigned char* card, int size) {
  return Checked<&RFMifare_ReadBloca>(r, Fits(size, kCard), first, param, card);
}
int MifareLoadKey(kulve_reader* r, int first, int second, const unsigned char* key, int size) {
  return Checked<&RFMifare_LoadKey>(r, Fits(size, kKey), first, second, key);
}
int MifareRequest(kulve_reader* r, int mode, unsigned char* answer, int size) {
  return Checked<&RFMifare_Request>(r, Fits(size, kAnswer), mode, answer);
}
int MifareAnticollision(kulve_reader* r, unsigned char* serial, int size) {
  return Checked<&RFMifare_AntiColl>(r, Fits(size, kSerial), serial);
}
int MifareSelect(kulve_reader* r, unsigned int serial) { return Plain<&RFMifare_Select>(r, serial); }
int MifareAuthenticate(kulve_reader* r, int first, int second, int third) {
  return Plain<&RFMifare_Authentication>(r, first, second, third);
}
int MifareRead(kulve_reader* r, int block, unsigned char* data, int size) {
  return Checked<&RFMifare_Read>(r, Fits(size, kBlock), block, data);
}
int MifareWrite(kulve_reader* r, int block, const unsigned char* data, int size) {
  return Checked<&RFMifare_Write>(r, Fits(size, kBlock), block, data);
}
int MifareIncrement(kulve_reader* r, int block, unsigned int amount) {
  return Plain<&RFMifare_Increment>(r, block, amount);
}
int MifareDecrement(kulve_reader* r, int block, unsigned int amount) {
  return Plain<&RFMifare_Decrment>(r, block, amount);
}
int MifareHalt(kulve_reader* r) { return Plain<&RFMifare_Halt>(r); }
int MifareDump(kulve_reader* r, int sectors, const unsigned char* keys, int keysSize, unsigned char* image,
               int imageSize, unsigned char* status, int statusSize) {
  return Plain<&MifareDumpCard>(r, sectors, keys, keysSize, image, imageSize, status, statusSize);
}
int MifareRestore(kulve_reader* r, int sectors, const unsigned char* keys, int keysSize, const unsigned char* image,
                  int imageSize, int trailers) {
  return Plain<&MifareRestoreCard>(r, sectors, keys, keysSize, image, imageSize, trailers);
}

}  // namespace kulve::api
