// SPDX-License-Identifier: MIT
#include "link/trace.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace kulve {

Tracer::~Tracer() {
  if (file_ != nullptr) std::fclose(file_);
}

void Tracer::FromEnvironment() {
  const char* level = std::getenv("KULVE32_TRACE");
  if (level != nullptr && level[0] >= '0' && level[0] <= '3' && level[1] == '\0') level_ = level[0] - '0';
  const char* path = std::getenv("KULVE32_TRACE_FILE");
  if (path != nullptr && path[0] != '\0') filePath_ = path;  // a copy, taken now
}

bool Tracer::Set(int level, KulveTraceCallback callback, void* context) {
  if (level < trace_level::kOff || level > trace_level::kTransfers) return false;
  level_ = level;
  callback_ = callback;
  context_ = context;
  return true;
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

void Tracer::Write(int level, const char* line) {
  if (callback_ != nullptr) {
    inCallback_ = true;
    callback_(level, line, context_);
    inCallback_ = false;
    return;
  }
  if (file_ == nullptr && !filePath_.empty()) {
    file_ = std::fopen(filePath_.c_str(), "a");
    filePath_.clear();  // one try: a path that cannot be opened falls back to stderr
  }
  std::FILE* out = file_ != nullptr ? file_ : stderr;
  std::fprintf(out, "kulve32: %s\n", line);
  std::fflush(out);
}

}  // namespace kulve
