// SPDX-License-Identifier: MIT
// Exported entry points of the handle API: one reader per handle.
#include "handle/handle_api.h"
#include "kulve32.h"

extern "C" {

KULVE_API int KULVE_CALL kulve_open(const char* port, kulve_reader** out) { return kulve::api::Open(port, out); }
KULVE_API void KULVE_CALL kulve_close(kulve_reader* reader) { kulve::api::Close(reader); }
KULVE_API int KULVE_CALL kulve_result_origin(kulve_reader* reader, int result) {
  return kulve::api::ResultOrigin(reader, result);
}
KULVE_API const char* KULVE_CALL kulve_result_text(kulve_reader* reader, int result) {
  return kulve::api::ResultText(reader, result);
}
KULVE_API int KULVE_CALL kulve_link_error(kulve_reader* reader, char* text, int size) {
  return kulve::api::LinkError(reader, text, size);
}
KULVE_API int KULVE_CALL kulve_link_os_error(kulve_reader* reader) { return kulve::api::LinkOsError(reader); }
KULVE_API int KULVE_CALL kulve_set_trace(kulve_reader* reader, int level, KulveTraceCallback callback, void* context) {
  return kulve::api::SetTrace(reader, level, callback, context);
}
KULVE_API int KULVE_CALL kulve_set_trace_secrets(kulve_reader* reader, int show) {
  return kulve::api::SetTraceSecrets(reader, show);
}
KULVE_API int KULVE_CALL kulve_reader_relink(kulve_reader* reader) { return kulve::api::ReaderRelink(reader); }
KULVE_API int KULVE_CALL kulve_reader_baud_rate(kulve_reader* reader) { return kulve::api::ReaderBaudRate(reader); }
KULVE_API int KULVE_CALL kulve_reader_power_on(kulve_reader* reader) { return kulve::api::ReaderPowerOn(reader); }
KULVE_API int KULVE_CALL kulve_reader_power_off(kulve_reader* reader) { return kulve::api::ReaderPowerOff(reader); }
KULVE_API int KULVE_CALL kulve_reader_select_card(kulve_reader* reader, int cardType) {
  return kulve::api::ReaderSelectCard(reader, cardType);
}
KULVE_API int KULVE_CALL kulve_reader_inquire(kulve_reader* reader, int* cardType, int* state, int* power) {
  return kulve::api::ReaderInquire(reader, cardType, state, power);
}
KULVE_API int KULVE_CALL kulve_reader_standby(kulve_reader* reader) { return kulve::api::ReaderStandby(reader); }
KULVE_API int KULVE_CALL kulve_reader_device_number(kulve_reader* reader, unsigned char* number, int size) {
  return kulve::api::ReaderDeviceNumber(reader, number, size);
}
KULVE_API int KULVE_CALL kulve_reader_version(kulve_reader* reader, unsigned char* version, int size) {
  return kulve::api::ReaderVersion(reader, version, size);
}
KULVE_API int KULVE_CALL kulve_reader_alarm(kulve_reader* reader, int mode, int a, int b, int c) {
  return kulve::api::ReaderAlarm(reader, mode, a, b, c);
}
KULVE_API int KULVE_CALL kulve_reader_command(kulve_reader* reader, int code, const unsigned char* data, int length,
                                              unsigned char* reply, int replySize, int* replyLength) {
  return kulve::api::ReaderCommand(reader, code, data, length, reply, replySize, replyLength);
}
KULVE_API int KULVE_CALL kulve_wait_presence(kulve_reader* reader, int slots, int known, int timeoutMs,
                                             int* present) {
  return kulve::api::WaitPresence(reader, slots, known, timeoutMs, present);
}
KULVE_API int KULVE_CALL kulve_memcard_read(kulve_reader* reader, int area, int page, int offset, int count,
                                            unsigned char* buffer, int size) {
  return kulve::api::MemcardRead(reader, area, page, offset, count, buffer, size);
}
KULVE_API int KULVE_CALL kulve_memcard_write(kulve_reader* reader, int area, int page, int offset, int count,
                                             unsigned char* buffer, int size) {
  return kulve::api::MemcardWrite(reader, area, page, offset, count, buffer, size);
}
KULVE_API int KULVE_CALL kulve_memcard_erase(kulve_reader* reader, int area, int page, int offset, int count,
                                             unsigned char* buffer, int size) {
  return kulve::api::MemcardErase(reader, area, page, offset, count, buffer, size);
}
KULVE_API int KULVE_CALL kulve_memcard_read_paged(kulve_reader* reader, int address, int count, unsigned char* buffer,
                                                  int size) {
  return kulve::api::MemcardReadPaged(reader, address, count, buffer, size);
}
KULVE_API int KULVE_CALL kulve_memcard_write_paged(kulve_reader* reader, int address, int count, unsigned char* buffer,
                                                   int size) {
  return kulve::api::MemcardWritePaged(reader, address, count, buffer, size);
}
KULVE_API int KULVE_CALL kulve_memcard_erase_paged(kulve_reader* reader, int address, int count, unsigned char* buffer,
                                                   int size) {
  return kulve::api::MemcardErasePaged(reader, address, count, buffer, size);
}
KULVE_API int KULVE_CALL kulve_memcard_verify(kulve_reader* reader) { return kulve::api::MemcardVerify(reader); }
KULVE_API int KULVE_CALL kulve_memcard_fuse(kulve_reader* reader, int value) {
  return kulve::api::MemcardFuse(reader, value);
}
KULVE_API int KULVE_CALL kulve_memcard_check_secret(kulve_reader* reader, int length, unsigned char* code, int size) {
  return kulve::api::MemcardCheckSecret(reader, length, code, size);
}
KULVE_API int KULVE_CALL kulve_memcard_modify_secret(kulve_reader* reader, int length, unsigned char* code, int size) {
  return kulve::api::MemcardModifySecret(reader, length, code, size);
}
KULVE_API int KULVE_CALL kulve_memcard_read_secret(kulve_reader* reader, unsigned char* counter, int counterSize,
                                                   unsigned char* code, int codeSize) {
  return kulve::api::MemcardReadSecret(reader, counter, counterSize, code, codeSize);
}
KULVE_API int KULVE_CALL kulve_memcard_check_erase_secret(kulve_reader* reader, int keyNumber, unsigned char* key,
                                                          int size) {
  return kulve::api::MemcardCheckEraseSecret(reader, keyNumber, key, size);
}
KULVE_API int KULVE_CALL kulve_memcard_check_zone_secret(kulve_reader* reader, int zone, unsigned char* code,
                                                         int size) {
  return kulve::api::MemcardCheckZoneSecret(reader, zone, code, size);
}
KULVE_API int KULVE_CALL kulve_memcard_set_zone_access(kulve_reader* reader, int zone, int access) {
  return kulve::api::MemcardSetZoneAccess(reader, zone, access);
}
KULVE_API int KULVE_CALL kulve_chip_reset(kulve_reader* reader, int slot, unsigned char* atr, int size) {
  return kulve::api::ChipReset(reader, slot, atr, size);
}
KULVE_API int KULVE_CALL kulve_chip_protocol(kulve_reader* reader) { return kulve::api::ChipProtocol(reader); }
KULVE_API int KULVE_CALL kulve_chip_ifsc(kulve_reader* reader, int slot, int* ifsc) {
  return kulve::api::ChipIfsc(reader, slot, ifsc);
}
KULVE_API int KULVE_CALL kulve_chip_apdu(kulve_reader* reader, int slot, const unsigned char* request, int requestSize,
                                         unsigned char* response, int responseSize) {
  return kulve::api::ChipApdu(reader, slot, request, requestSize, response, responseSize);
}
KULVE_API int KULVE_CALL kulve_chip_apdu_packed(kulve_reader* reader, int slot, unsigned char* request, int requestSize,
                                                unsigned char* response, int responseSize) {
  return kulve::api::ChipApduPacked(reader, slot, request, requestSize, response, responseSize);
}
KULVE_API int KULVE_CALL kulve_chip_set_protocol_mode(kulve_reader* reader, int mode) {
  return kulve::api::ChipSetProtocolMode(reader, mode);
}
KULVE_API int KULVE_CALL kulve_chip_transmit(kulve_reader* reader, int slot, const unsigned char* apdu,
                                             int apduLength, unsigned char* response, int responseSize,
                                             int* responseLength) {
  return kulve::api::ChipTransmit(reader, slot, apdu, apduLength, response, responseSize, responseLength);
}
KULVE_API int KULVE_CALL kulve_at1608_write(kulve_reader* reader, int zone, int address, int length,
                                            const unsigned char* data, int size) {
  return kulve::api::At1608Write(reader, zone, address, length, data, size);
}
KULVE_API int KULVE_CALL kulve_at1608_read(kulve_reader* reader, int zone, int address, int length,
                                           unsigned char* buffer, int size) {
  return kulve::api::At1608Read(reader, zone, address, length, buffer, size);
}
KULVE_API int KULVE_CALL kulve_at1608_password(kulve_reader* reader, int index, unsigned char* password, int size) {
  return kulve::api::At1608Password(reader, index, password, size);
}
KULVE_API int KULVE_CALL kulve_at1608_authenticate(kulve_reader* reader, unsigned char* challenge, int challengeSize,
                                                   const unsigned char* seed, int seedSize) {
  return kulve::api::At1608Authenticate(reader, challenge, challengeSize, seed, seedSize);
}
KULVE_API int KULVE_CALL kulve_at1608_read_fuse(kulve_reader* reader, unsigned char* fuse, int size) {
  return kulve::api::At1608ReadFuse(reader, fuse, size);
}
KULVE_API int KULVE_CALL kulve_at1608_reset(kulve_reader* reader) { return kulve::api::At1608Reset(reader); }
KULVE_API int KULVE_CALL kulve_e5550_read(kulve_reader* reader, int block, unsigned char* data, int size) {
  return kulve::api::E5550Read(reader, block, data, size);
}
KULVE_API int KULVE_CALL kulve_e5550_write(kulve_reader* reader, int block, const unsigned char* password,
                                           int passwordSize, unsigned char* data, int dataSize, int lock) {
  return kulve::api::E5550Write(reader, block, password, passwordSize, data, dataSize, lock);
}
KULVE_API int KULVE_CALL kulve_e5550_init(kulve_reader* reader, const Rf5550InitRecord* record,
                                          const unsigned char* password, int passwordSize, int flag) {
  return kulve::api::E5550Init(reader, record, password, passwordSize, flag);
}
KULVE_API int KULVE_CALL kulve_e5550_wake(kulve_reader* reader, const unsigned char* password, int passwordSize) {
  return kulve::api::E5550Wake(reader, password, passwordSize);
}
KULVE_API int KULVE_CALL kulve_e5550_read_after_wake(kulve_reader* reader, int block, const unsigned char* password,
                                                     int passwordSize, unsigned char* data, int dataSize) {
  return kulve::api::E5550ReadAfterWake(reader, block, password, passwordSize, data, dataSize);
}
KULVE_API int KULVE_CALL kulve_e5550_write_after_wake(kulve_reader* reader, int block, const unsigned char* password,
                                                      int passwordSize, unsigned char* data, int dataSize, int lock) {
  return kulve::api::E5550WriteAfterWake(reader, block, password, passwordSize, data, dataSize, lock);
}
KULVE_API int KULVE_CALL kulve_e5550_module(kulve_reader* reader, unsigned char* answer, int size) {
  return kulve::api::E5550Module(reader, answer, size);
}
KULVE_API int KULVE_CALL kulve_mifare_module(kulve_reader* reader, unsigned char* answer, int size) {
  return kulve::api::MifareModule(reader, answer, size);
}
KULVE_API int KULVE_CALL kulve_mifare_key_mode(kulve_reader* reader, int mode) {
  return kulve::api::MifareKeyMode(reader, mode);
}
KULVE_API int KULVE_CALL kulve_mifare_store_key(kulve_reader* reader, int slot, const unsigned char* key, int size) {
  return kulve::api::MifareStoreKey(reader, slot, key, size);
}
KULVE_API int KULVE_CALL kulve_mifare_card_type(kulve_reader* reader, unsigned char* answer, int size) {
  return kulve::api::MifareCardType(reader, answer, size);
}
KULVE_API int KULVE_CALL kulve_mifare_serial(kulve_reader* reader, unsigned char* serial, int size) {
  return kulve::api::MifareSerial(reader, serial, size);
}
KULVE_API int KULVE_CALL kulve_mifare_read_block(kulve_reader* reader, int block, unsigned int param,
                                                 unsigned char* data, int size) {
  return kulve::api::MifareReadBlock(reader, block, param, data, size);
}
KULVE_API int KULVE_CALL kulve_mifare_write_block(kulve_reader* reader, int block, unsigned int param,
                                                  unsigned char* data, int size) {
  return kulve::api::MifareWriteBlock(reader, block, param, data, size);
}
KULVE_API int KULVE_CALL kulve_mifare_write_key(kulve_reader* reader, int selector, unsigned int param,
                                                const unsigned char* key, int size, int flag) {
  return kulve::api::MifareWriteKey(reader, selector, param, key, size, flag);
}
KULVE_API int KULVE_CALL kulve_mifare_read_value(kulve_reader* reader, int block, unsigned int param,
                                                 unsigned char* value, int size) {
  return kulve::api::MifareReadValue(reader, block, param, value, size);
}
KULVE_API int KULVE_CALL kulve_mifare_write_value(kulve_reader* reader, int block, unsigned int param,
                                                  unsigned char* value, int size) {
  return kulve::api::MifareWriteValue(reader, block, param, value, size);
}
KULVE_API int KULVE_CALL kulve_mifare_increment_value(kulve_reader* reader, int block, unsigned int param,
                                                      unsigned char* value, int size) {
  return kulve::api::MifareIncrementValue(reader, block, param, value, size);
}
KULVE_API int KULVE_CALL kulve_mifare_decrement_value(kulve_reader* reader, int block, unsigned int param,
                                                      unsigned char* value, int size) {
  return kulve::api::MifareDecrementValue(reader, block, param, value, size);
}
KULVE_API int KULVE_CALL kulve_mifare_read_card(kulve_reader* reader, int first, unsigned int param,
                                                unsigned char* card, int size) {
  return kulve::api::MifareReadCard(reader, first, param, card, size);
}
KULVE_API int KULVE_CALL kulve_mifare_load_key(kulve_reader* reader, int first, int second, const unsigned char* key,
                                               int size) {
  return kulve::api::MifareLoadKey(reader, first, second, key, size);
}
KULVE_API int KULVE_CALL kulve_mifare_request(kulve_reader* reader, int mode, unsigned char* answer, int size) {
  return kulve::api::MifareRequest(reader, mode, answer, size);
}
KULVE_API int KULVE_CALL kulve_mifare_anticollision(kulve_reader* reader, unsigned char* serial, int size) {
  return kulve::api::MifareAnticollision(reader, serial, size);
}
KULVE_API int KULVE_CALL kulve_mifare_select(kulve_reader* reader, unsigned int serial) {
  return kulve::api::MifareSelect(reader, serial);
}
KULVE_API int KULVE_CALL kulve_mifare_authenticate(kulve_reader* reader, int first, int second, int third) {
  return kulve::api::MifareAuthenticate(reader, first, second, third);
}
KULVE_API int KULVE_CALL kulve_mifare_read(kulve_reader* reader, int block, unsigned char* data, int size) {
  return kulve::api::MifareRead(reader, block, data, size);
}
KULVE_API int KULVE_CALL kulve_mifare_write(kulve_reader* reader, int block, const unsigned char* data, int size) {
  return kulve::api::MifareWrite(reader, block, data, size);
}
KULVE_API int KULVE_CALL kulve_mifare_increment(kulve_reader* reader, int block, unsigned int amount) {
  return kulve::api::MifareIncrement(reader, block, amount);
}
KULVE_API int KULVE_CALL kulve_mifare_decrement(kulve_reader* reader, int block, unsigned int amount) {
  return kulve::api::MifareDecrement(reader, block, amount);
}
KULVE_API int KULVE_CALL kulve_mifare_halt(kulve_reader* reader) { return kulve::api::MifareHalt(reader); }
KULVE_API int KULVE_CALL kulve_mifare_dump(kulve_reader* reader, int sectors, const unsigned char* keys, int keysSize,
                                           unsigned char* image, int imageSize, unsigned char* status,
                                           int statusSize) {
  return kulve::api::MifareDump(reader, sectors, keys, keysSize, image, imageSize, status, statusSize);
}
KULVE_API int KULVE_CALL kulve_mifare_restore(kulve_reader* reader, int sectors, const unsigned char* keys,
                                              int keysSize, const unsigned char* image, int imageSize, int trailers) {
  return kulve::api::MifareRestore(reader, sectors, keys, keysSize, image, imageSize, trailers);
}
KULVE_API int KULVE_CALL kulve_kq_end_transfer(kulve_reader* reader) { return kulve::api::KqEndTransfer(reader); }
KULVE_API int KULVE_CALL kulve_kq_get_time(kulve_reader* reader, KqTime* time) {
  return kulve::api::KqGetTime(reader, time);
}
KULVE_API int KULVE_CALL kulve_kq_set_time(kulve_reader* reader, const KqTime* time) {
  return kulve::api::KqSetTime(reader, time);
}
KULVE_API int KULVE_CALL kulve_kq_current_position(kulve_reader* reader, int* first, unsigned char* position,
                                                   int size) {
  return kulve::api::KqCurrentPosition(reader, first, position, size);
}
KULVE_API int KULVE_CALL kulve_kq_start_position(kulve_reader* reader, const int* date, int* first,
                                                 unsigned char* position, int size) {
  return kulve::api::KqStartPosition(reader, date, first, position, size);
}
KULVE_API int KULVE_CALL kulve_kq_end_position(kulve_reader* reader, const int* date, int* first,
                                               unsigned char* position, int size) {
  return kulve::api::KqEndPosition(reader, date, first, position, size);
}
KULVE_API int KULVE_CALL kulve_kq_read_records(kulve_reader* reader, int first, int position, int third,
                                               unsigned char* record, int size) {
  return kulve::api::KqReadRecords(reader, first, position, third, record, size);
}
KULVE_API int KULVE_CALL kulve_kq_init(kulve_reader* reader) { return kulve::api::KqInit(reader); }
KULVE_API int KULVE_CALL kulve_kq_display(kulve_reader* reader, const char* text, int size) {
  return kulve::api::KqDisplay(reader, text, size);
}
KULVE_API int KULVE_CALL kulve_kq_command(kulve_reader* reader, int sub, int count, unsigned char* buffer, int size) {
  return kulve::api::KqCommand(reader, sub, count, buffer, size);
}
KULVE_API int KULVE_CALL kulve_kq_download_password(kulve_reader* reader, int kind, const unsigned char* password,
                                                    int size) {
  return kulve::api::KqDownloadPassword(reader, kind, password, size);
}

}  // extern "C"
