// SPDX-License-Identifier: MIT
// Exported entry points of the link and the reader housekeeping commands.
#include "handle/call.h"
#include "kulve32.h"
#include "housekeeping/housekeeping.h"
#include "link/link.h"
#include "handle/handle_api.h"

extern "C" {

KULVE_API int KULVE_CALL LinkCom(int port) { return kulve::LinkOnDefault<&kulve::LinkCom>(port); }
KULVE_API int KULVE_CALL UnLinkCom(void) { return kulve::OnDefault<&kulve::UnLinkCom>(); }
KULVE_API int KULVE_CALL AutoLinkCom(int* port) { return kulve::OnDefault<&kulve::AutoLinkCom>(port); }
KULVE_API int KULVE_CALL ComBaudRate(void) { return kulve::PeekDefault<&kulve::ComBaudRate>(); }

KULVE_API int KULVE_CALL PowerOn(void) { return kulve::OnDefault<&kulve::PowerOn>(); }
KULVE_API int KULVE_CALL PowerOff(void) { return kulve::OnDefault<&kulve::PowerOff>(); }
KULVE_API int KULVE_CALL SelectCard(int cardType) { return kulve::OnDefault<&kulve::SelectCard>(cardType); }
KULVE_API int KULVE_CALL Inquire(int* cardType, int* state, int* power) {
  return kulve::OnDefault<&kulve::Inquire>(cardType, state, power);
}
KULVE_API int KULVE_CALL SetStandby(void) { return kulve::OnDefault<&kulve::SetStandby>(); }
KULVE_API int KULVE_CALL GetDeviceNumber(unsigned char* number) {
  return kulve::OnDefault<&kulve::GetDeviceNumber>(number);
}
KULVE_API int KULVE_CALL DEVVER(unsigned char* version) { return kulve::OnDefault<&kulve::DEVVER>(version); }
KULVE_API int KULVE_CALL ALARM(int mode, int a, int b, int c) {
  return kulve::OnDefault<&kulve::ALARM>(mode, a, b, c);
}
KULVE_API int KULVE_CALL DLLVER(void) { return kulve::kLibraryVersion; }

KULVE_API int KULVE_CALL SetComPortPath(int port, const char* path) {
  return kulve::OnDefault<&kulve::SetComPortPath>(port, path);
}
KULVE_API int KULVE_CALL GetComPortPath(int port, char* path, int size) {
  return kulve::LoadingPeekDefault<&kulve::GetComPortPath>(port, path, size);
}
KULVE_API const char* KULVE_CALL ResultText(int result) { return kulve::api::ResultText(nullptr, result); }
KULVE_API int KULVE_CALL GetLinkError(char* text, int size) { return kulve::PeekDefault<&kulve::GetLinkError>(text, size); }
KULVE_API int KULVE_CALL GetLinkOsError(void) { return kulve::PeekDefault<&kulve::GetLinkOsError>(); }
KULVE_API int KULVE_CALL SetTrace(int level, KulveTraceCallback callback, void* context) {
  return kulve::OnDefault<&kulve::SetTrace>(level, callback, context);
}

}  // extern "C"
