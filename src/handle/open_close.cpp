// SPDX-License-Identifier: MIT
// Opening and closing handles, and what each handle tells about its calls.
#include <cstring>
#include <new>

#include "handle/checked.h"
#include "handle/handle_api.h"
#include "handle/result_words.h"
#include "link/link.h"
#include "results/result_text.h"

namespace kulve::api {
namespace {

// Handles open the port path the caller gives as port index 0.
constexpr std::int32_t kHandlePortIndex = 0;

}  // namespace

int Open(const char* port, kulve_reader** out) {
  if (out == nullptr) return result::kBadArgument;
  *out = nullptr;
  if (port == nullptr || port[0] == '\0' || ::strnlen(port, kMaxPortPath + 1) > kMaxPortPath) {
    return result::kBadArgument;
  }
  auto* handle = new (std::nothrow) kulve_reader(PlatformPorts());
  if (handle == nullptr) return 1;
  handle->reader.trace.FromEnvironment();
  SetComPortPath(handle->reader, kHandlePortIndex, port);
  *out = handle;
  return LinkCall(*handle, [](Reader& reader) { return LinkCom(reader, kHandlePortIndex); });
}

void Close(kulve_reader* handle) {
  if (handle == nullptr) return;
  {
    std::lock_guard<std::recursive_mutex> guard(handle->lock);
    // From the handle's own trace callback the handle belongs to the call
    // being traced, which still uses it: nothing happens.
    if (handle->reader.trace.InCallback()) return;
    UnLinkCom(handle->reader);
  }
  delete handle;
}

int ResultOrigin(kulve_reader* handle, int result) {
  if (handle == nullptr) return result::kBadArgument;
  std::lock_guard<std::recursive_mutex> guard(handle->lock);
  if (result > 0xFF && result <= 0xFFFF) return KULVE_ORIGIN_READER;  // a card's status word
  if (!handle->lastCallExchanged || result != handle->lastStatus) return KULVE_ORIGIN_LIBRARY;
  return handle->lastLineFailed ? KULVE_ORIGIN_LINE : KULVE_ORIGIN_READER;
}

const char* ResultText(kulve_reader* handle, int result) {
  if (LinkCallFailed(handle != nullptr ? *handle : DefaultHandle(), result)) return kNoReaderLinked;
  if (handle != nullptr && result >= 0 && result <= 0xFF && ResultOrigin(handle, result) == KULVE_ORIGIN_READER) {
    return ReaderStatusText(static_cast<std::uint8_t>(result));
  }
  return AnyResultText(result);
}

int LinkError(kulve_reader* handle, char* text, int size) {
  if (handle == nullptr) return result::kBadArgument;
  return Peeked(*handle, [&](const Reader& reader) { return GetLinkError(reader, text, size); });
}

int LinkOsError(kulve_reader* handle) {
  if (handle == nullptr) return -1;  // not 4: that is a system error number too
  return Peeked(*handle, [](const Reader& reader) { return GetLinkOsError(reader); });
}

int SetTrace(kulve_reader* handle, int level, KulveTraceCallback callback, void* context) {
  return Plain<&kulve::SetTrace>(handle, level, callback, context);
}

int SetTraceSecrets(kulve_reader* handle, int show) {
  if (show != 0 && show != 1) return result::kBadArgument;
  return Locked(handle != nullptr ? *handle : DefaultHandle(), [show](Reader& reader) {
    reader.trace.ShowSecrets(show == 1);
    return 0;
  });
}

int ReaderRelink(kulve_reader* handle) {
  if (handle == nullptr) return result::kBadArgument;
  return LinkCall(*handle, [](Reader& reader) { return LinkCom(reader, kHandlePortIndex); });
}

int ReaderBaudRate(kulve_reader* handle) {
  if (handle == nullptr) return result::kBadArgument;
  return Peeked(*handle, [](const Reader& reader) { return ComBaudRate(reader); });
}

}  // namespace kulve::api
