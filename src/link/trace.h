// SPDX-License-Identifier: MIT
// The wire trace: failures (level 1), frames in hex (2) and port transfers
// with their timing (3), to a callback, standard error or a file. Off, the
// exchange pays one branch per frame for it.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "kulve32.h"

namespace kulve {

namespace trace_level {
inline constexpr int kOff = 0;
inline constexpr int kFailures = 1;
inline constexpr int kFrames = 2;
inline constexpr int kTransfers = 3;
}  // namespace trace_level

class Tracer {
 public:
  using Clock = std::chrono::steady_clock;

  Tracer() = default;
  ~Tracer();
  Tracer(const Tracer&) = delete;
  Tracer& operator=(const Tracer&) = delete;

  // KULVE32_TRACE (0..3), KULVE32_TRACE_FILE and KULVE32_TRACE_SECRETS=1;
  // none of them in a privileged process. Another KULVE32_TRACE value leaves
  // the trace off and is named on standard error, once per process.
  void FromEnvironment();
  // False (nothing changed) for a level outside 0..3.
  bool Set(int level, KulveTraceCallback callback, void* context);

  int Level() const { return level_; }
  // True while the callback runs, however deep a line written from inside it
  // nests: the reader's lock is held by the thread being traced, and a call
  // back into the same reader must be refused.
  bool InCallback() const { return callbackDepth_ > 0; }

  // Keys, codes and passwords are masked ("**") unless this was asked for;
  // the next header says when they are shown.
  void ShowSecrets(bool show);
  bool ShowsSecrets() const { return showSecrets_; }
  bool Wants(int level) const { return level != trace_level::kOff && level <= level_; }

  // Emits one line at `level` when it is wanted.
  void Line(int level, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;

  // A link session starts (LinkCom): the next line the library writes
  // itself is preceded by a header naming the library, `port` and the date,
  // unless the last header named the same port.
  void Session(const std::string& port);

  // Lines the library writes itself go to `file` from now on (tests).
  void WriteTo(std::FILE* file) { file_ = file; ownsFile_ = false; filePath_.clear(); }

  // The clock that times frames and transfers; tests replace it.
  Clock::time_point (*now)() = &Clock::now;
  // The wall clock of the time stamps; tests replace it.
  std::chrono::system_clock::time_point (*wallNow)() = &std::chrono::system_clock::now;

 private:
  void Write(int level, const char* line);
  std::FILE* Output();

  bool ownsFile_ = true;
  bool headerDue_ = true;
  std::string port_ = "no port linked yet";
  std::string headerPort_;  // the port of the last header written

  int level_ = trace_level::kOff;
  KulveTraceCallback callback_ = nullptr;
  void* context_ = nullptr;
  int callbackDepth_ = 0;
  bool showSecrets_ = false;
  std::string filePath_;  // from the environment (copied: getenv's string may change), opened on first use
  std::FILE* file_ = nullptr;
};

// Milliseconds between two clock readings, for "(1.3 ms)".
inline double ElapsedMs(Tracer::Clock::time_point from, Tracer::Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace kulve
