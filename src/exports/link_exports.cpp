// SPDX-License-Identifier: MIT
// Exported entry points of the link and the reader housekeeping commands.
#include "kulve32.h"
#include "link/housekeeping.h"
#include "link/link.h"
#include "cpucard/status_words.h"
#include "link/result_text.h"

using kulve::ProcessReader;

extern "C" {

KULVE_API int KULVE_CALL LinkCom(int port) { return kulve::LinkCom(ProcessReader(), port); }
KULVE_API int KULVE_CALL UnLinkCom(void) { return kulve::UnLinkCom(ProcessReader()); }
KULVE_API int KULVE_CALL AutoLinkCom(int* port) { return kulve::AutoLinkCom(ProcessReader(), port); }
KULVE_API int KULVE_CALL ComBaudRate(void) { return kulve::ComBaudRate(ProcessReader()); }

KULVE_API int KULVE_CALL PowerOn(void) { return kulve::PowerOn(ProcessReader()); }
KULVE_API int KULVE_CALL PowerOff(void) { return kulve::PowerOff(ProcessReader()); }
KULVE_API int KULVE_CALL SelectCard(int cardType) { return kulve::SelectCard(ProcessReader(), cardType); }
KULVE_API int KULVE_CALL Inquire(int* cardType, int* state, int* power) {
  return kulve::Inquire(ProcessReader(), cardType, state, power);
}
KULVE_API int KULVE_CALL SetStandby(void) { return kulve::SetStandby(ProcessReader()); }
KULVE_API int KULVE_CALL GetDeviceNumber(unsigned char* number) {
  return kulve::GetDeviceNumber(ProcessReader(), number);
}
KULVE_API int KULVE_CALL DEVVER(unsigned char* version) { return kulve::DEVVER(ProcessReader(), version); }
KULVE_API int KULVE_CALL ALARM(int mode, int a, int b, int c) {
  return kulve::ALARM(ProcessReader(), mode, a, b, c);
}
KULVE_API int KULVE_CALL DLLVER(void) { return kulve::kLibraryVersion; }

KULVE_API int KULVE_CALL SetComPortPath(int port, const char* path) {
  return kulve::SetComPortPath(ProcessReader(), port, path);
}
KULVE_API int KULVE_CALL GetComPortPath(int port, char* path, int size) {
  return kulve::GetComPortPath(ProcessReader(), port, path, size);
}
KULVE_API const char* KULVE_CALL ResultText(int result) {
  // Results above 255 come only from the APDU functions: a card's status word.
  return result > 0xFF && result <= 0xFFFF ? kulve::StatusWordText(static_cast<std::uint16_t>(result))
                                           : kulve::ResultText(result);
}
KULVE_API int KULVE_CALL GetLinkError(char* text, int size) { return kulve::GetLinkError(ProcessReader(), text, size); }
KULVE_API int KULVE_CALL GetLinkOsError(void) { return kulve::GetLinkOsError(ProcessReader()); }
KULVE_API int KULVE_CALL SetTrace(int level, KulveTraceCallback callback, void* context) {
  return kulve::SetTrace(ProcessReader(), level, callback, context);
}

}  // extern "C"
