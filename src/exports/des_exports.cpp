// SPDX-License-Identifier: MIT
// Exported entry points of the software DES (ECB). They touch no reader state.
#include "des/des.h"
#include "kulve32.h"

extern "C" {

KULVE_API int KULVE_CALL EnDesData(const unsigned char* input, const unsigned char* key, unsigned char* output,
                                   int length) {
  return kulve::des::CryptExported(input, key, output, length, kulve::des::Direction::kEncipher);
}

KULVE_API int KULVE_CALL UnDesData(const unsigned char* input, const unsigned char* key, unsigned char* output,
                                   int length) {
  return kulve::des::CryptExported(input, key, output, length, kulve::des::Direction::kDecipher);
}

}  // extern "C"
