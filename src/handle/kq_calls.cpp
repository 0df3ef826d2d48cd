// SPDX-License-Identifier: MIT
// The attendance terminal through a handle.
#include "attendance/attendance.h"
#include "handle/checked.h"
#include "handle/handle_api.h"

namespace kulve::api {
namespace {

constexpr int kPositionSize = 4;
constexpr int kRecordBufferSize = 255;
constexpr int kDisplaySize = 16;
constexpr int kCommandBufferSize = 256;
constexpr int kShortPassword = 4;  // kind 1
constexpr int kLongPassword = 6;   // any other kind

}  // namespace

int KqEndTransfer(kulve_reader* r) { return Plain<&KQ_EndTrans>(r); }
int KqGetTime(kulve_reader* r, KqTime* time) { return Plain<&KQ_GetTime>(r, time); }
int KqSetTime(kulve_reader* r, const KqTime* time) { return Plain<&KQ_SetTime>(r, time); }
int KqCurrentPosition(kulve_reader* r, int* first, unsigned char* position, int size) {
  return Checked<&KQ_GetCurrentPos>(r, Fits(size, kPositionSize), first, position);
}
int KqStartPosition(kulve_reader* r, const int* date, int* first, unsigned char* position, int size) {
  return Checked<&KQ_GetStartPos>(r, Fits(size, kPositionSize), date, first, position);
}
int KqEndPosition(kulve_reader* r, const int* date, int* first, unsigned char* position, int size) {
  return Checked<&KQ_GetEndPos>(r, Fits(size, kPositionSize), date, first, position);
}
int KqReadRecords(kulve_reader* r, int first, int position, int third, unsigned char* record, int size) {
  return Checked<&KQ_ReadRecord>(r, Fits(size, kRecordBufferSize), first, position, third, record);
}
int KqInit(kulve_reader* r) { return Plain<&KQ_SysInit>(r); }
int KqDisplay(kulve_reader* r, const char* text, int size) {
  return Checked<&KQ_Display>(r, Fits(size, kDisplaySize), text);
}
int KqCommand(kulve_reader* r, int sub, int count, unsigned char* buffer, int size) {
  return Checked<&KQ_TransCmd>(r, Fits(size, kCommandBufferSize), sub, count, buffer);
}
int KqDownloadPassword(kulve_reader* r, int kind, const unsigned char* password, int size) {
  return Checked<&KQ_DownloadPSW>(r, Fits(size, kind == 1 ? kShortPassword : kLongPassword), kind, password);
}

}  // namespace kulve::api
