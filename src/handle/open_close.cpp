// SPDX-License-Identifier: MIT
// Opening and closing handles, and what each handle tells about its calls.
#include <cstring>
#include <memory>
#include <new>

#include "handle/checked.h"
#include "handle/handle_api.h"
#include "handle/registry.h"
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
  std::shared_ptr<kulve_reader> handle;
  try {
    handle = std::make_shared<kulve_reader>(PlatformPorts());
  } catch (const std::bad_alloc&) {
    return 1;
  }
  handle->reader.trace.FromEnvironment();
  SetComPortPath(handle->reader, kHandlePortIndex, port);
  *out = Register(handle);
  return LinkCall(*handle, [](Reader& reader) { return LinkCom(reader, kHandlePortIndex); });
}

void Close(kulve_reader* token) {
  const auto handle = Find(token);
  if (!handle) return;
  std::lock_guard<std::recursive_mutex> guard(handle->lock);
  // From the handle's own trace callback the handle belongs to the call
  // being traced, which still uses it: nothing happens.
  if (handle->reader.trace.InCallback()) return;
  // Calls that come after find nothing; a call already waiting for the lock
  // holds the handle, runs on the closed port, and the handle is freed when
  // the last such call returns.
  Unregister(token);
  UnLinkCom(handle->reader);
}

int ResultOrigin(kulve_reader* token, int result) {
  const auto handle = Find(token);
  if (!handle) return result::kBadArgument;
  std::lock_guard<std::recursive_mutex> guard(handle->lock);
  if (result > 0xFF && result <= 0xFFFF) return KULVE_ORIGIN_READER;  // a card's status word
  if (!handle->lastCallExchanged || result != handle->lastStatus) return KULVE_ORIGIN_LIBRARY;
  return handle->lastLineFailed ? KULVE_ORIGIN_LINE : KULVE_ORIGIN_READER;
}

const char* ResultText(kulve_reader* token, int result) {
  if (token == nullptr) return LinkCallFailed(DefaultHandle(), result) ? kNoReaderLinked : AnyResultText(result);
  const auto handle = Find(token);
  if (!handle) return AnyResultText(result);
  if (LinkCallFailed(*handle, result)) return kNoReaderLinked;
  if (result >= 0 && result <= 0xFF && ResultOrigin(token, result) == KULVE_ORIGIN_READER) {
    return ReaderStatusText(static_cast<std::uint8_t>(result));
  }
  return AnyResultText(result);
}

int LinkError(kulve_reader* token, char* text, int size) {
  const auto handle = Find(token);
  if (!handle) return result::kBadArgument;
  return Peeked(*handle, [&](const Reader& reader) { return GetLinkError(reader, text, size); });
}

int LinkOsError(kulve_reader* token) {
  const auto handle = Find(token);
  if (!handle) return -1;  // not 4: that is a system error number too
  return Peeked(*handle, [](const Reader& reader) { return GetLinkOsError(reader); });
}

int SetTrace(kulve_reader* handle, int level, KulveTraceCallback callback, void* context) {
  return Plain<&kulve::SetTrace>(handle, level, callback, context);
}

int SetTraceSecrets(kulve_reader* handle, int show) {
  if (show != 0 && show != 1) return result::kBadArgument;
  const auto found = Find(handle);
  if (handle != nullptr && !found) return result::kBadArgument;
  return Locked(found ? *found : DefaultHandle(), [show](Reader& reader) {
    reader.trace.ShowSecrets(show == 1);
    return 0;
  });
}

int ReaderRelink(kulve_reader* token) {
  const auto handle = Find(token);
  if (!handle) return result::kBadArgument;
  return LinkCall(*handle, [](Reader& reader) { return LinkCom(reader, kHandlePortIndex); });
}

int ReaderBaudRate(kulve_reader* token) {
  const auto handle = Find(token);
  if (!handle) return result::kBadArgument;
  return Peeked(*handle, [](const Reader& reader) { return ComBaudRate(reader); });
}

}  // namespace kulve::api
