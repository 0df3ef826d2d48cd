// SPDX-License-Identifier: MIT
// The AT88SC1608 family through a handle.
#include "at1608/at1608.h"
#include "handle/checked.h"
#include "handle/handle_api.h"

namespace kulve::api {
namespace {

constexpr int kPasswordSize = 4;
constexpr int kAuthBlockSize = 8;  // challenge and seed

}  // namespace

int At1608Write(kulve_reader* r, int zone, int address, int length, const unsigned char* data, int size) {
  return Checked<&AT1608_Write>(r, Fits(size, length), zone, address, length, data);
}
int At1608Read(kulve_reader* r, int zone, int address, int length, unsigned char* buffer, int size) {
  return Checked<&AT1608_Read>(r, Fits(size, length), zone, address, length, buffer);
}
int At1608Password(kulve_reader* r, int index, unsigned char* password, int size) {
  return Checked<&AT1608_Psw>(r, Fits(size, kPasswordSize), index, password);
}
int At1608Authenticate(kulve_reader* r, unsigned char* challenge, int challengeSize, const unsigned char* seed,
                       int seedSize) {
  const bool fits = Fits(challengeSize, kAuthBlockSize) && Fits(seedSize, kAuthBlockSize);
  return Checked<&AT1608_Authentic>(r, fits, challenge, seed);
}
int At1608ReadFuse(kulve_reader* r, unsigned char* fuse, int size) {
  return Checked<&AT1608_ReadFuse>(r, Fits(size, 1), fuse);
}
int At1608Reset(kulve_reader* r) { return Plain<&AT1608_Reset>(r); }

}  // namespace kulve::api
