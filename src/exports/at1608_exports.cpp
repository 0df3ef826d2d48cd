// SPDX-License-Identifier: MIT
// Exported entry points of the AT88SC1608 family.
#include "at1608/at1608.h"
#include "handle/call.h"
#include "kulve32.h"


extern "C" {

KULVE_API int KULVE_CALL AT1608_Write(int zone, int address, int length, const unsigned char* data) {
  return kulve::OnDefault<&kulve::AT1608_Write>(zone, address, length, data);
}
KULVE_API int KULVE_CALL AT1608_Read(int zone, int address, int length, unsigned char* buffer) {
  return kulve::OnDefault<&kulve::AT1608_Read>(zone, address, length, buffer);
}
KULVE_API int KULVE_CALL AT1608_Psw(int index, unsigned char* password) {
  return kulve::OnDefault<&kulve::AT1608_Psw>(index, password);
}
KULVE_API int KULVE_CALL AT1608_Authentic(unsigned char* challenge, const unsigned char* seed) {
  return kulve::OnDefault<&kulve::AT1608_Authentic>(challenge, seed);
}
KULVE_API int KULVE_CALL AT1608_ReadFuse(unsigned char* fuse) { return kulve::OnDefault<&kulve::AT1608_ReadFuse>(fuse); }
KULVE_API int KULVE_CALL AT1608_Reset(void) { return kulve::OnDefault<&kulve::AT1608_Reset>(); }

}  // extern "C"
