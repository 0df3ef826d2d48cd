// SPDX-License-Identifier: MIT
// The handle API below its exports: each function checks the handle and the
// sizes of its buffers against the minimum the family function needs, then
// runs that function under the handle's lock (handle/call.h). Results and
// sizes are described next to the kulve_ functions in kulve32.h.
#pragma once

#include <cstddef>

#include "kulve32.h"

namespace kulve::api {

int Open(const char* port, kulve_reader** out);
void Close(kulve_reader* reader);
int ResultOrigin(kulve_reader* reader, int result);
const char* ResultText(kulve_reader* reader, int result);
int LinkError(kulve_reader* reader, char* text, int size);
int LinkOsError(kulve_reader* reader);
int SetTrace(kulve_reader* reader, int level, KulveTraceCallback callback, void* context);
int SetTraceSecrets(kulve_reader* reader, int show);
int ReaderRelink(kulve_reader* reader);
int ReaderBaudRate(kulve_reader* reader);
int ReaderPowerOn(kulve_reader* reader);
int ReaderPowerOff(kulve_reader* reader);
int ReaderSelectCard(kulve_reader* reader, int cardType);
int ReaderInquire(kulve_reader* reader, int* cardType, int* state, int* power);
int ReaderStandby(kulve_reader* reader);
int ReaderDeviceNumber(kulve_reader* reader, unsigned char* number, int size);
int ReaderVersion(kulve_reader* reader, unsigned char* version, int size);
int ReaderAlarm(kulve_reader* reader, int mode, int a, int b, int c);
int WaitPresence(kulve_reader* reader, int slots, int known, int timeoutMs, int* present);
int ReaderCommand(kulve_reader* reader, int code, const unsigned char* data, int length, unsigned char* reply,
                  int replySize, int* replyLength);
int MemcardRead(kulve_reader* reader, int area, int page, int offset, int count, unsigned char* buffer, int size);
int MemcardWrite(kulve_reader* reader, int area, int page, int offset, int count, unsigned char* buffer, int size);
int MemcardErase(kulve_reader* reader, int area, int page, int offset, int count, unsigned char* buffer, int size);
int MemcardReadPaged(kulve_reader* reader, int address, int count, unsigned char* buffer, int size);
int MemcardWritePaged(kulve_reader* reader, int address, int count, unsigned char* buffer, int size);
int MemcardErasePaged(kulve_reader* reader, int address, int count, unsigned char* buffer, int size);
int MemcardVerify(kulve_reader* reader);
int MemcardFuse(kulve_reader* reader, int value);
int MemcardCheckSecret(kulve_reader* reader, int length, unsigned char* code, int size);
int MemcardModifySecret(kulve_reader* reader, int length, unsigned char* code, int size);
int MemcardReadSecret(kulve_reader* reader, unsigned char* counter, int counterSize, unsigned char* code, int codeSize);
int MemcardCheckEraseSecret(kulve_reader* reader, int keyNumber, unsigned char* key, int size);
int MemcardCheckZoneSecret(kulve_reader* reader, int zone, unsigned char* code, int size);
int MemcardSetZoneAccess(kulve_reader* reader, int zone, int access);
int ChipReset(kulve_reader* reader, int slot, unsigned char* atr, int size);
int ChipProtocol(kulve_reader* reader);
int ChipApdu(kulve_reader* reader, int slot, const unsigned char* request, int requestSize, unsigned char* response,
             int responseSize);
int ChipApduPacked(kulve_reader* reader, int slot, unsigned char* request, int requestSize, unsigned char* response,
                   int responseSize);
int ChipSetProtocolMode(kulve_reader* reader, int mode);
int ChipIfsc(kulve_reader* reader, int slot, int* ifsc);
int ChipTransmit(kulve_reader* reader, int slot, const unsigned char* apdu, int apduLength, unsigned char* response,
                 int responseSize, int* responseLength);
int At1608Write(kulve_reader* reader, int zone, int address, int length, const unsigned char* data, int size);
int At1608Read(kulve_reader* reader, int zone, int address, int length, unsigned char* buffer, int size);
int At1608Password(kulve_reader* reader, int index, unsigned char* password, int size);
int At1608Authenticate(kulve_reader* reader, unsigned char* challenge, int challengeSize, const unsigned char* seed,
                       int seedSize);
int At1608ReadFuse(kulve_reader* reader, unsigned char* fuse, int size);
int At1608Reset(kulve_reader* reader);
int E5550Read(kulve_reader* reader, int block, unsigned char* data, int size);
int E5550Write(kulve_reader* reader, int block, const unsigned char* password, int passwordSize, unsigned char* data,
               int dataSize, int lock);
int E5550Init(kulve_reader* reader, const Rf5550InitRecord* record, const unsigned char* password, int passwordSize,
              int flag);
int E5550Wake(kulve_reader* reader, const unsigned char* password, int passwordSize);
int E5550ReadAfterWake(kulve_reader* reader, int block, const unsigned char* password, int passwordSize,
                       unsigned char* data, int dataSize);
int E5550WriteAfterWake(kulve_reader* reader, int block, const unsigned char* password, int passwordSize,
                        unsigned char* data, int dataSize, int lock);
int E5550Module(kulve_reader* reader, unsigned char* answer, int size);
int MifareModule(kulve_reader* reader, unsigned char* answer, int size);
int MifareKeyMode(kulve_reader* reader, int mode);
int MifareStoreKey(kulve_reader* reader, int slot, const unsigned char* key, int size);
int MifareCardType(kulve_reader* reader, unsigned char* answer, int size);
int MifareSerial(kulve_reader* reader, unsigned char* serial, int size);
int MifareReadBlock(kulve_reader* reader, int block, unsigned int param, unsigned char* data, int size);
int MifareWriteBlock(kulve_reader* reader, int block, unsigned int param, unsigned char* data, int size);
int MifareWriteKey(kulve_reader* reader, int selector, unsigned int param, const unsigned char* key, int size,
                   int flag);
int MifareReadValue(kulve_reader* reader, int block, unsigned int param, unsigned char* value, int size);
int MifareWriteValue(kulve_reader* reader, int block, unsigned int param, unsigned char* value, int size);
int MifareIncrementValue(kulve_reader* reader, int block, unsigned int param, unsigned char* value, int size);
int MifareDecrementValue(kulve_reader* reader, int block, unsigned int param, unsigned char* value, int size);
int MifareReadCard(kulve_reader* reader, int first, unsigned int param, unsigned char* card, int size);
int MifareLoadKey(kulve_reader* reader, int first, int second, const unsigned char* key, int size);
int MifareRequest(kulve_reader* reader, int mode, unsigned char* answer, int size);
int MifareAnticollision(kulve_reader* reader, unsigned char* serial, int size);
int MifareSelect(kulve_reader* reader, unsigned int serial);
int MifareAuthenticate(kulve_reader* reader, int first, int second, int third);
int MifareRead(kulve_reader* reader, int block, unsigned char* data, int size);
int MifareWrite(kulve_reader* reader, int block, const unsigned char* data, int size);
int MifareIncrement(kulve_reader* reader, int block, unsigned int amount);
int MifareDecrement(kulve_reader* reader, int block, unsigned int amount);
int MifareHalt(kulve_reader* reader);
int MifareDump(kulve_reader* reader, int sectors, const unsigned char* keys, int keysSize, unsigned char* image,
               int imageSize, unsigned char* status, int statusSize);
int MifareRestore(kulve_reader* reader, int sectors, const unsigned char* keys, int keysSize,
                  const unsigned char* image, int imageSize, int trailers);
int KqEndTransfer(kulve_reader* reader);
int KqGetTime(kulve_reader* reader, KqTime* time);
int KqSetTime(kulve_reader* reader, const KqTime* time);
int KqCurrentPosition(kulve_reader* reader, int* first, unsigned char* position, int size);
int KqStartPosition(kulve_reader* reader, const int* date, int* first, unsigned char* position, int size);
int KqEndPosition(kulve_reader* reader, const int* date, int* first, unsigned char* position, int size);
int KqReadRecords(kulve_reader* reader, int first, int position, int third, unsigned char* record, int size);
int KqInit(kulve_reader* reader);
int KqDisplay(kulve_reader* reader, const char* text, int size);
int KqCommand(kulve_reader* reader, int sub, int count, unsigned char* buffer, int size);
int KqDownloadPassword(kulve_reader* reader, int kind, const unsigned char* password, int size);

}  // namespace kulve::api
