// SPDX-License-Identifier: MIT
#include "link/link_error.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kulve {

void SetLinkError(LinkError& error, int code, int osError, const char* format, ...) {
  error.code = code;
  error.osError = osError;
  va_list args;
  va_start(args, format);
  std::vsnprintf(error.text.data(), error.text.size(), format, args);
  va_end(args);
}

void ClearLinkError(LinkError& error) { error = LinkError{}; }

int CopyLinkError(const LinkError& error, char* out, std::int32_t size) {
  if (out != nullptr && size >= 1) {
    const std::size_t room = static_cast<std::size_t>(size) - 1;
    const std::size_t n = std::min(std::strlen(error.text.data()), room);
    std::memcpy(out, error.text.data(), n);
    out[n] = '\0';
  }
  return error.code;
}

}  // namespace kulve
