// SPDX-License-Identifier: MIT
#include "pcsc/ifd_log.h"

#include <cstdio>
#include <cstdlib>

namespace kulve::pcsc {
namespace {

int Level() {
  static const int level = [] {
    const char* text = std::getenv("KULVE_IFD_LOG");
    return text == nullptr || text[0] == '\0' ? 1 : std::atoi(text);
  }();
  return level;
}

}  // namespace

const char* ResultName(RESPONSECODE rv) {
  switch (rv) {
    case IFD_SUCCESS: return "IFD_SUCCESS";
    case IFD_ERROR_TAG: return "IFD_ERROR_TAG";
    case IFD_ERROR_POWER_ACTION: return "IFD_ERROR_POWER_ACTION";
    case IFD_COMMUNICATION_ERROR: return "IFD_COMMUNICATION_ERROR";
    case IFD_NOT_SUPPORTED: return "IFD_NOT_SUPPORTED";
    case IFD_PROTOCOL_NOT_SUPPORTED: return "IFD_PROTOCOL_NOT_SUPPORTED";
    case IFD_ICC_PRESENT: return "IFD_ICC_PRESENT";
    case IFD_ICC_NOT_PRESENT: return "IFD_ICC_NOT_PRESENT";
    case IFD_ERROR_NOT_SUPPORTED: return "IFD_ERROR_NOT_SUPPORTED";
    case IFD_ERROR_INSUFFICIENT_BUFFER: return "IFD_ERROR_INSUFFICIENT_BUFFER";
    default: return "IFD_(other)";
  }
}

std::string ApduSummary(const UCHAR* apdu, DWORD length) {
  char text[64];
  if (apdu == nullptr || length < 4) {
    std::snprintf(text, sizeof text, "%lu bytes", static_cast<unsigned long>(length));
  } else {
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X, %lu bytes", apdu[0], apdu[1], apdu[2], apdu[3],
                  static_cast<unsigned long>(length));
  }
  return text;
}

bool LogWanted(bool poll) { return Level() >= (poll ? 2 : 1); }

void LogCall(const char* entry, DWORD lun, const std::string& detail, RESPONSECODE rv) {
  std::fprintf(stderr, "kulve_ifd: %s (lun: 0x%lX)%s%s -> %s\n", entry, static_cast<unsigned long>(lun),
               detail.empty() ? "" : " ", detail.c_str(), ResultName(rv));
}

}  // namespace kulve::pcsc
