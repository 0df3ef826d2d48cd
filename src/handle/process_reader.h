// SPDX-License-Identifier: MIT
// The process-wide reader held under its lock, for code that drives it
// directly (tests, the command-line tool). The lock is held for as long as
// the guard lives: `Foo(ProcessReader(), ...)` holds it until Foo returns.
#pragma once

#include <mutex>

#include "device/reader.h"

namespace kulve {

class ReaderGuard {
 public:
  ReaderGuard(Reader& reader, std::recursive_mutex& lock) : reader_(reader), lock_(lock) {}
  ReaderGuard(const ReaderGuard&) = delete;
  ReaderGuard& operator=(const ReaderGuard&) = delete;
  operator Reader&() const { return reader_; }

 private:
  Reader& reader_;
  std::lock_guard<std::recursive_mutex> lock_;
};
ReaderGuard ProcessReader();

}  // namespace kulve
