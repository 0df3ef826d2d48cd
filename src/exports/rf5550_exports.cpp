// SPDX-License-Identifier: MIT
// Exported entry points of the e5550 transponder family.
#include "kulve32.h"
#include "rf5550/rf5550.h"

using kulve::ProcessReader;

extern "C" {

KULVE_API int KULVE_CALL RF5550_ReadBlk(int block, unsigned char* data) {
  return kulve::RF5550_ReadBlk(ProcessReader(), block, data);
}
KULVE_API int KULVE_CALL RF5550_WriteBlk(int block, const unsigned char* password, unsigned char* data, int lock) {
  return kulve::RF5550_WriteBlk(ProcessReader(), block, password, data, lock);
}
KULVE_API int KULVE_CALL RF5550_Init(const Rf5550InitRecord* record, const unsigned char* password, int flag) {
  return kulve::RF5550_Init(ProcessReader(), record, password, flag);
}
KULVE_API int KULVE_CALL RF5550_Wake(const unsigned char* password) {
  return kulve::RF5550_Wake(ProcessReader(), password);
}
KULVE_API int KULVE_CALL RF5550_ReadAfterWake(int block, const unsigned char* password, unsigned char* data) {
  return kulve::RF5550_ReadAfterWake(ProcessReader(), block, password, data);
}
KULVE_API int KULVE_CALL RF5550_WriteAfterWake(int block, const unsigned char* password, unsigned char* data,
                                               int lock) {
  return kulve::RF5550_WriteAfterWake(ProcessReader(), block, password, data, lock);
}
KULVE_API int KULVE_CALL RF5550_Mcmno(unsigned char* answer) { return kulve::RF5550_Mcmno(ProcessReader(), answer); }

}  // extern "C"
