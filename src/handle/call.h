// SPDX-License-Identifier: MIT
// How every call reaches a reader: under the handle's lock, refused from
// inside the same reader's trace callback, and with the outcome of its last
// exchange recorded for kulve_result_origin.
#pragma once

#include <mutex>
#include <type_traits>

#include "handle/handle.h"
#include "results/results.h"

namespace kulve {

// Runs body(reader) under the handle's lock. Inside the handle's trace
// callback nothing runs and the result is result::kInCallback: the frame in
// progress belongs to the call being traced.
template <typename Body>
int Locked(Handle& handle, Body&& body) {
  std::lock_guard<std::recursive_mutex> guard(handle.lock);
  Reader& reader = handle.reader;
  if (reader.trace.InCallback()) return result::kInCallback;
  const std::uint32_t before = reader.block.exchanges;
  const int outcome = body(reader);
  handle.lastCallExchanged = reader.block.exchanges != before;
  handle.lastStatus = reader.block.status;
  handle.lastLineFailed = reader.block.lineFailed;
  handle.lastCallLinked = false;
  return outcome;
}

// A link call (LinkCom, kulve_open, kulve_reader_relink): its
// result 1 means that no reader was linked, not the reader's status 1.
template <typename Body>
int LinkCall(Handle& handle, Body&& body) {
  std::lock_guard<std::recursive_mutex> guard(handle.lock);
  const int outcome = Locked(handle, body);
  if (outcome != result::kInCallback) handle.lastCallLinked = true;
  return outcome;
}
inline constexpr int kLinkFailed = 1;
inline constexpr const char* kNoReaderLinked = "no reader linked (the link error says why)";
inline bool LinkCallFailed(const Handle& handle, int result) { return result == kLinkFailed && handle.lastCallLinked; }

// A reading of the handle's settings (no exchange): under the lock, and
// allowed from inside a trace callback.
template <typename Body>
auto Peeked(Handle& handle, Body&& body) {
  std::lock_guard<std::recursive_mutex> guard(handle.lock);
  return body(static_cast<const Reader&>(handle.reader));
}

// The documented exports: a family function with the process-wide reader.
template <auto Function, typename... Args>
int OnDefault(Args... args) {
  return Locked(DefaultHandle(), [&](Reader& reader) { return Function(reader, args...); });
}
template <auto Function, typename... Args>
auto PeekDefault(Args... args) {
  return Peeked(DefaultHandle(), [&](const Reader& reader) { return Function(reader, args...); });
}

template <auto Function, typename... Args>
int LinkOnDefault(Args... args) {
  return LinkCall(DefaultHandle(), [&](Reader& reader) { return Function(reader, args...); });
}

// GetComPortPath: a reading too, but the port map it reports is read on
// first use and kept, so it needs the reader itself.
template <auto Function, typename... Args>
auto LoadingPeekDefault(Args... args) {
  Handle& handle = DefaultHandle();
  std::lock_guard<std::recursive_mutex> guard(handle.lock);
  return Function(handle.reader, args...);
}

}  // namespace kulve
