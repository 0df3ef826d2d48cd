// SPDX-License-Identifier: MIT
// Exported entry points of the contact memory-card family.
#include "handle/call.h"
#include "kulve32.h"
#include "memcard/memcard.h"


extern "C" {

KULVE_API int KULVE_CALL ReadCard(int area, int page, int offset, int count, unsigned char* buffer) {
  return kulve::OnDefault<&kulve::ReadCard>(area, page, offset, count, buffer);
}
KULVE_API int KULVE_CALL WriteCard(int area, int page, int offset, int count, unsigned char* buffer) {
  return kulve::OnDefault<&kulve::WriteCard>(area, page, offset, count, buffer);
}
KULVE_API int KULVE_CALL EraseCard(int area, int page, int offset, int count, unsigned char* buffer) {
  return kulve::OnDefault<&kulve::EraseCard>(area, page, offset, count, buffer);
}
KULVE_API int KULVE_CALL ReadMemCard(int address, int count, unsigned char* buffer) {
  return kulve::OnDefault<&kulve::ReadMemCard>(address, count, buffer);
}
KULVE_API int KULVE_CALL WriteMemCard(int address, int count, unsigned char* buffer) {
  return kulve::OnDefault<&kulve::WriteMemCard>(address, count, buffer);
}
KULVE_API int KULVE_CALL EraseMemCard(int address, int count, unsigned char* buffer) {
  return kulve::OnDefault<&kulve::EraseMemCard>(address, count, buffer);
}
KULVE_API int KULVE_CALL VerifyIC(void) { return kulve::OnDefault<&kulve::VerifyIC>(); }
KULVE_API int KULVE_CALL Fuse(int value) { return kulve::OnDefault<&kulve::Fuse>(value); }

KULVE_API int KULVE_CALL CheckSecret(int length, unsigned char* code) {
  return kulve::OnDefault<&kulve::CheckSecret>(length, code);
}
KULVE_API int KULVE_CALL ReadSecret(unsigned char* counter, unsigned char* code) {
  return kulve::OnDefault<&kulve::ReadSecret>(counter, code);
}
KULVE_API int KULVE_CALL ModifySecret(int length, unsigned char* code) {
  return kulve::OnDefault<&kulve::ModifySecret>(length, code);
}
KULVE_API int KULVE_CALL CheckEraseSecret(int keyNumber, unsigned char* key) {
  return kulve::OnDefault<&kulve::CheckEraseSecret>(keyNumber, key);
}
KULVE_API int KULVE_CALL CheckZoneSecret(int zone, unsigned char* code) {
  return kulve::OnDefault<&kulve::CheckZoneSecret>(zone, code);
}
KULVE_API int KULVE_CALL SetZoneRWBit(int zone, int access) {
  return kulve::OnDefault<&kulve::SetZoneRWBit>(zone, access);
}

}  // extern "C"
