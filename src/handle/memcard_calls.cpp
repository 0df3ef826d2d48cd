// SPDX-License-Identifier: MIT
// The memory-card family through a handle.
#include <algorithm>

#include "handle/checked.h"
#include "handle/handle_api.h"
#include "memcard/memcard.h"

namespace kulve::api {
namespace {

constexpr int kCodeMinimum = 4;
constexpr int kCounterSize = 2;
constexpr int kLongEraseKey = 6;  // key number 4 of card type 16
constexpr std::int32_t kLongKeyCardType = 16;
constexpr std::int32_t kLongKeyNumber = 4;

std::int64_t CodeSize(int length) { return std::max(length, kCodeMinimum); }

}  // namespace

int MemcardRead(kulve_reader* r, int area, int page, int offset, int count, unsigned char* buffer, int size) {
  return Checked<&ReadCard>(r, Fits(size, count), area, page, offset, count, buffer);
}
int MemcardWrite(kulve_reader* r, int area, int page, int offset, int count, unsigned char* buffer, int size) {
  return Checked<&WriteCard>(r, Fits(size, count), area, page, offset, count, buffer);
}
int MemcardErase(kulve_reader* r, int area, int page, int offset, int count, unsigned char* buffer, int size) {
  return Checked<&EraseCard>(r, Fits(size, count), area, page, offset, count, buffer);
}
int MemcardReadPaged(kulve_reader* r, int address, int count, unsigned char* buffer, int size) {
  return Checked<&ReadMemCard>(r, Fits(size, count), address, count, buffer);
}
int MemcardWritePaged(kulve_reader* r, int address, int count, unsigned char* buffer, int size) {
  return Checked<&WriteMemCard>(r, Fits(size, count), address, count, buffer);
}
int MemcardErasePaged(kulve_reader* r, int address, int count, unsigned char* buffer, int size) {
  return Checked<&EraseMemCard>(r, Fits(size, count), address, count, buffer);
}
int MemcardVerify(kulve_reader* r) { return Plain<&VerifyIC>(r); }
int MemcardFuse(kulve_reader* r, int value) { return Plain<&Fuse>(r, value); }
int MemcardCheckSecret(kulve_reader* r, int length, unsigned char* code, int size) {
  return Checked<&CheckSecret>(r, Fits(size, CodeSize(length)), length, code);
}
int MemcardModifySecret(kulve_reader* r, int length, unsigned char* code, int size) {
  return Checked<&ModifySecret>(r, Fits(size, CodeSize(length)), length, code);
}
int MemcardReadSecret(kulve_reader* r, unsigned char* counter, int counterSize, unsigned char* code, int codeSize) {
  return Checked<&ReadSecret>(r, Fits(counterSize, kCounterSize) && Fits(codeSize, kCodeMinimum), counter, code);
}
int MemcardCheckEraseSecret(kulve_reader* r, int keyNumber, unsigned char* key, int size) {
  const auto found = Find(r);
  if (!found) return result::kBadArgument;
  // The key's length depends on the selected card type, read under the lock.
  return Locked(*found, [&](Reader& reader) -> int {
    const bool longKey = reader.cardType == kLongKeyCardType && keyNumber == kLongKeyNumber;
    if (!Fits(size, longKey ? kLongEraseKey : kCodeMinimum)) return result::kBadArgument;
    return CheckEraseSecret(reader, keyNumber, key);
  });
}
int MemcardCheckZoneSecret(kulve_reader* r, int zone, unsigned char* code, int size) {
  return Checked<&CheckZoneSecret>(r, Fits(size, kCodeMinimum), zone, code);
}
int MemcardSetZoneAccess(kulve_reader* r, int zone, int access) { return Plain<&SetZoneRWBit>(r, zone, access); }

}  // namespace kulve::api
