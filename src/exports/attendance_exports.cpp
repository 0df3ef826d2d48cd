// SPDX-License-Identifier: MIT
// Exported entry points of the attendance terminal and its date arithmetic.
#include "attendance/attendance.h"
#include "attendance/dates.h"
#include "handle/call.h"
#include "kulve32.h"


extern "C" {

KULVE_API int KULVE_CALL KQ_EndTrans(void) { return kulve::OnDefault<&kulve::KQ_EndTrans>(); }
KULVE_API int KULVE_CALL KQ_GetTime(KqTime* time) { return kulve::OnDefault<&kulve::KQ_GetTime>(time); }
KULVE_API int KULVE_CALL KQ_SetTime(const KqTime* time) { return kulve::OnDefault<&kulve::KQ_SetTime>(time); }
KULVE_API int KULVE_CALL KQ_GetCurrentPos(int* first, unsigned char* position) {
  return kulve::OnDefault<&kulve::KQ_GetCurrentPos>(first, position);
}
KULVE_API int KULVE_CALL KQ_GetStartPos(const int* date, int* first, unsigned char* position) {
  return kulve::OnDefault<&kulve::KQ_GetStartPos>(date, first, position);
}
KULVE_API int KULVE_CALL KQ_GetEndPos(const int* date, int* first, unsigned char* position) {
  return kulve::OnDefault<&kulve::KQ_GetEndPos>(date, first, position);
}
KULVE_API int KULVE_CALL KQ_ReadRecord(int first, int position, int third, unsigned char* record) {
  return kulve::OnDefault<&kulve::KQ_ReadRecord>(first, position, third, record);
}
KULVE_API int KULVE_CALL KQ_SysInit(void) { return kulve::OnDefault<&kulve::KQ_SysInit>(); }
KULVE_API int KULVE_CALL KQ_Display(const char* text) { return kulve::OnDefault<&kulve::KQ_Display>(text); }
KULVE_API int KULVE_CALL KQ_TransCmd(int sub, int count, unsigned char* buffer) {
  return kulve::OnDefault<&kulve::KQ_TransCmd>(sub, count, buffer);
}
KULVE_API int KULVE_CALL KQ_DownloadPSW(int kind, const unsigned char* password) {
  return kulve::OnDefault<&kulve::KQ_DownloadPSW>(kind, password);
}

KULVE_API int KULVE_CALL KQ_Daysbyte(const KqDate* date) { return kulve::KqDaysbyte(date); }
KULVE_API int KULVE_CALL KQ_Datebyte(int dayNumber, KqDate* date) { return kulve::KqDatebyte(dayNumber, date); }

}  // extern "C"
