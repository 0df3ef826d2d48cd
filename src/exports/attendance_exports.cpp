// SPDX-License-Identifier: MIT
// Exported entry points of the attendance terminal and its date arithmetic.
#include "attendance/attendance.h"
#include "attendance/dates.h"
#include "kulve32.h"

using kulve::ProcessReader;

extern "C" {

KULVE_API int KULVE_CALL KQ_EndTrans(void) { return kulve::KQ_EndTrans(ProcessReader()); }
KULVE_API int KULVE_CALL KQ_GetTime(KqTime* time) { return kulve::KQ_GetTime(ProcessReader(), time); }
KULVE_API int KULVE_CALL KQ_SetTime(const KqTime* time) { return kulve::KQ_SetTime(ProcessReader(), time); }
KULVE_API int KULVE_CALL KQ_GetCurrentPos(int* first, unsigned char* position) {
  return kulve::KQ_GetCurrentPos(ProcessReader(), first, position);
}
KULVE_API int KULVE_CALL KQ_GetStartPos(const int* date, int* first, unsigned char* position) {
  return kulve::KQ_GetStartPos(ProcessReader(), date, first, position);
}
KULVE_API int KULVE_CALL KQ_GetEndPos(const int* date, int* first, unsigned char* position) {
  return kulve::KQ_GetEndPos(ProcessReader(), date, first, position);
}
KULVE_API int KULVE_CALL KQ_ReadRecord(int first, int position, int third, unsigned char* record) {
  return kulve::KQ_ReadRecord(ProcessReader(), first, position, third, record);
}
KULVE_API int KULVE_CALL KQ_SysInit(void) { return kulve::KQ_SysInit(ProcessReader()); }
KULVE_API int KULVE_CALL KQ_Display(const char* text) { return kulve::KQ_Display(ProcessReader(), text); }
KULVE_API int KULVE_CALL KQ_TransCmd(int sub, int count, unsigned char* buffer) {
  return kulve::KQ_TransCmd(ProcessReader(), sub, count, buffer);
}
KULVE_API int KULVE_CALL KQ_DownloadPSW(int kind, const unsigned char* password) {
  return kulve::KQ_DownloadPSW(ProcessReader(), kind, password);
}

KULVE_API int KULVE_CALL KQ_Daysbyte(const KqDate* date) {
  if (date == nullptr) return 0;
  return static_cast<int>(kulve::DateToDayNumber(*date));
}
KULVE_API int KULVE_CALL KQ_Datebyte(int dayNumber, KqDate* date) {
  if (date == nullptr) return KULVE_BAD_ARGUMENT;
  *date = kulve::DayNumberToDate(static_cast<std::uint32_t>(dayNumber));
  return 0;
}

}  // extern "C"
