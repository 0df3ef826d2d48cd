// SPDX-License-Identifier: MIT
// Exported entry points of the AT88SC1608 family.
#include "at1608/at1608.h"
#include "kulve32.h"

using kulve::ProcessReader;

extern "C" {

KULVE_API int KULVE_CALL AT1608_Write(int zone, int address, int length, const unsigned char* data) {
  return kulve::AT1608_Write(ProcessReader(), zone, address, length, data);
}
KULVE_API int KULVE_CALL AT1608_Read(int zone, int address, int length, unsigned char* buffer) {
  return kulve::AT1608_Read(ProcessReader(), zone, address, length, buffer);
}
KULVE_API int KULVE_CALL AT1608_Psw(int index, unsigned char* password) {
  return kulve::AT1608_Psw(ProcessReader(), index, password);
}
KULVE_API int KULVE_CALL AT1608_Authentic(unsigned char* challenge, const unsigned char* seed) {
  return kulve::AT1608_Authentic(ProcessReader(), challenge, seed);
}
KULVE_API int KULVE_CALL AT1608_ReadFuse(unsigned char* fuse) { return kulve::AT1608_ReadFuse(ProcessReader(), fuse); }
KULVE_API int KULVE_CALL AT1608_Reset(void) { return kulve::AT1608_Reset(ProcessReader()); }

}  // extern "C"
