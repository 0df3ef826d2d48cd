// SPDX-License-Identifier: MIT
// The e5550 transponder family through a handle.
#include "handle/checked.h"
#include "handle/handle_api.h"
#include "rf5550/rf5550.h"

namespace kulve::api {
namespace {

constexpr int kBlockSize = 4;  // a block, a password, the module answer

}  // namespace

int E5550Read(kulve_reader* r, int block, unsigned char* data, int size) {
  return Checked<&RF5550_ReadBlk>(r, Fits(size, kBlockSize), block, data);
}
int E5550Write(kulve_reader* r, int block, const unsigned char* password, int passwordSize, unsigned char* data,
               int dataSize, int lock) {
  const bool fits = Fits(passwordSize, kBlockSize) && Fits(dataSize, kBlockSize);
  return Checked<&RF5550_WriteBlk>(r, fits, block, password, data, lock);
}
int E5550Init(kulve_reader* r, const Rf5550InitRecord* record, const unsigned char* password, int passwordSize,
              int flag) {
  return Checked<&RF5550_Init>(r, Fits(passwordSize, kBlockSize), record, password, flag);
}
int E5550Wake(kulve_reader* r, const unsigned char* password, int passwordSize) {
  return Checked<&RF5550_Wake>(r, Fits(passwordSize, kBlockSize), password);
}
int E5550ReadAfterWake(kulve_reader* r, int block, const unsigned char* password, int passwordSize,
                       unsigned char* data, int dataSize) {
  const bool fits = Fits(passwordSize, kBlockSize) && Fits(dataSize, kBlockSize);
  return Checked<&RF5550_ReadAfterWake>(r, fits, block, password, data);
}
int E5550WriteAfterWake(kulve_reader* r, int block, const unsigned char* password, int passwordSize,
                        unsigned char* data, int dataSize, int lock) {
  const bool fits = Fits(passwordSize, kBlockSize) && Fits(dataSize, kBlockSize);
  return Checked<&RF5550_WriteAfterWake>(r, fits, block, password, data, lock);
}
int E5550Module(kulve_reader* r, unsigned char* answer, int size) {
  return Checked<&RF5550_Mcmno>(r, Fits(size, kBlockSize), answer);
}

}  // namespace kulve::api
