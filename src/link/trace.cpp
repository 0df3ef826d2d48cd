// SPDX-License-Identifier: MIT
#include "link/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "link/user_environment.h"
#include "link/version.h"

#ifndef KULVE_LIBRARY_VERSION
#define KULVE_LIBRARY_VERSION "unknown"
#endif

namespace kulve {
namespace {

#if defined(_WIN32)
constexpr const char* kPlatform = "windows";
#else
constexpr const char* kPlatform = "posix";
#endif

// "2026-12-07T17:00:54.123Z" (withDate) or "17:00:54.123", in UTC so that
// traces from machines in different zones read alike.
std::string Stamp(std::chrono::system_clock::time_point when, bool withDate) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const auto seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  const int millis = static_cast<int>(ms - static_cast<long long>(seconds) * 1000);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[96];
  if (withDate) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
  }
  return text;
}

}  // namespace

Tracer::~Tracer() {
  if (file_ != nullptr && ownsFile_) std::fclose(file_);
}

void Tracer::FromEnvironment() {
  const auto level = UserVariable("KULVE32_TRACE");
  if (level && level->size() == 1 && (*level)[0] >= '0' && (*level)[0] <= '3') {
    level_ = (*level)[0] - '0';
  } else if (level && !level->empty()) {
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
      std::fprintf(stderr, "kulve32: KULVE32_TRACE=%.16s%s is not a trace level (0 to 3): the trace stays off\n",
                   level->c_str(), level->size() > 16 ? "..." : "");
    }
  }
  const auto path = UserVariable("KULVE32_TRACE_FILE");
  if (path && !path->empty()) filePath_ = *path;  // a copy, taken now
  const auto secrets = UserVariable("KULVE32_TRACE_SECRETS");
  if (secrets && *secrets == "1") ShowSecrets(true);
}

void Tracer::ShowSecrets(bool show) {
  if (show != showSecrets_) headerDue_ = true;
  showSecrets_ = show;
}

bool Tracer::Set(int level, KulveTraceCallback callback, void* context) {
  if (level < trace_level::kOff || level > trace_level::kTransfers) return false;
  level_ = level;
  callback_ = callback;
  context_ = context;
  return true;
}

void Tracer::Session(const std::string& port) {
  port_ = port;
  if (port != headerPort_) headerDue_ = true;
}

void Tracer::Line(int level, const char* format, ...) {
  if (!Wants(level)) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  Write(level, line);
}

std::FILE* Tracer::Output() {
  if (file_ == nullptr && !filePath_.empty()) {
    file_ = OpenTraceFile(filePath_);
    filePath_.clear();  // one try: a path that cannot be opened falls back to stderr
  }
  return file_ != nullptr ? file_ : stderr;
}

// A callback gets the bare line (the application stamps its own log); what
// the library writes itself carries the time and, first in a session, the
// header, so it can go into a bug report as it is.
void Tracer::Write(int level, const char* line) {
  if (callback_ != nullptr) {
    ++callbackDepth_;
    callback_(level, line, context_);
    --callbackDepth_;
    return;
  }
  std::FILE* out = Output();
  const auto when = wallNow();
  if (headerDue_) {
    std::fprintf(out, "kulve32: %s library %s (DLLVER %d, %s), %s%s\n", Stamp(when, true).c_str(),
                 KULVE_LIBRARY_VERSION, static_cast<int>(kLibraryVersion), kPlatform, port_.c_str(),
                 showSecrets_ ? ", secrets shown (keys, codes and passwords in clear)" : "");
    headerDue_ = false;
    headerPort_ = port_;
  }
  std::fprintf(out, "kulve32: %s %s\n", Stamp(when, false).c_str(), line);
  std::fflush(out);
}

}  // namespace kulve
