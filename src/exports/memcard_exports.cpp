// SPDX-License-Identifier: MIT
// Exported entry points of the contact memory-card family.
#include "kulve32.h"
#include "memcard/memcard.h"

using kulve::ProcessReader;

extern "C" {

KULVE_API int KULVE_CALL ReadCard(int area, int page, int offset, int count, unsigned char* buffer) {
  return kulve::ReadCard(ProcessReader(), area, page, offset, count, buffer);
}
KULVE_API int KULVE_CALL WriteCard(int area, int page, int offset, int count, unsigned char* buffer) {
  return kulve::WriteCard(ProcessReader(), area, page, offset, count, buffer);
}
KULVE_API int KULVE_CALL EraseCard(int area, int page, int offset, int count, unsigned char* buffer) {
  return kulve::EraseCard(ProcessReader(), area, page, offset, count, buffer);
}
KULVE_API int KULVE_CALL ReadMemCard(int address, int count, unsigned char* buffer) {
  return kulve::ReadMemCard(ProcessReader(), address, count, buffer);
}
KULVE_API int KULVE_CALL WriteMemCard(int address, int count, unsigned char* buffer) {
  return kulve::WriteMemCard(ProcessReader(), address, count, buffer);
}
KULVE_API int KULVE_CALL EraseMemCard(int address, int count, unsigned char* buffer) {
  return kulve::EraseMemCard(ProcessReader(), address, count, buffer);
}
KULVE_API int KULVE_CALL VerifyIC(void) { return kulve::VerifyIC(ProcessReader()); }
KULVE_API int KULVE_CALL Fuse(int value) { return kulve::Fuse(ProcessReader(), value); }

KULVE_API int KULVE_CALL CheckSecret(int length, unsigned char* code) {
  return kulve::CheckSecret(ProcessReader(), length, code);
}
KULVE_API int KULVE_CALL ReadSecret(unsigned char* counter, unsigned char* code) {
  return kulve::ReadSecret(ProcessReader(), counter, code);
}
KULVE_API int KULVE_CALL ModifySecret(int length, unsigned char* code) {
  return kulve::ModifySecret(ProcessReader(), length, code);
}
KULVE_API int KULVE_CALL CheckEraseSecret(int keyNumber, unsigned char* key) {
  return kulve::CheckEraseSecret(ProcessReader(), keyNumber, key);
}
KULVE_API int KULVE_CALL CheckZoneSecret(int zone, unsigned char* code) {
  return kulve::CheckZoneSecret(ProcessReader(), zone, code);
}
KULVE_API int KULVE_CALL SetZoneRWBit(int zone, int access) {
  return kulve::SetZoneRWBit(ProcessReader(), zone, access);
}

}  // extern "C"
