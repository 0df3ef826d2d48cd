// SPDX-License-Identifier: MIT
// Exported entry points of the e5550 transponder family.
#include "handle/call.h"
#include "kulve32.h"
#include "rf5550/rf5550.h"


extern "C" {

KULVE_API int KULVE_CALL RF5550_ReadBlk(int block, unsigned char* data) {
  return kulve::OnDefault<&kulve::RF5550_ReadBlk>(block, data);
}
KULVE_API int KULVE_CALL RF5550_WriteBlk(int block, const unsigned char* password, unsigned char* data, int lock) {
  return kulve::OnDefault<&kulve::RF5550_WriteBlk>(block, password, data, lock);
}
KULVE_API int KULVE_CALL RF5550_Init(const Rf5550InitRecord* record, const unsigned char* password, int flag) {
  return kulve::OnDefault<&kulve::RF5550_Init>(record, password, flag);
}
KULVE_API int KULVE_CALL RF5550_Wake(const unsigned char* password) {
  return kulve::OnDefault<&kulve::RF5550_Wake>(password);
}
KULVE_API int KULVE_CALL RF5550_ReadAfterWake(int block, const unsigned char* password, unsigned char* data) {
  return kulve::OnDefault<&kulve::RF5550_ReadAfterWake>(block, password, data);
}
KULVE_API int KULVE_CALL RF5550_WriteAfterWake(int block, const unsigned char* password, unsigned char* data,
                                               int lock) {
  return kulve::OnDefault<&kulve::RF5550_WriteAfterWake>(block, password, data, lock);
}
KULVE_API int KULVE_CALL RF5550_Mcmno(unsigned char* answer) { return kulve::OnDefault<&kulve::RF5550_Mcmno>(answer); }

}  // extern "C"
