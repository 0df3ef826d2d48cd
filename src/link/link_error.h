// SPDX-License-Identifier: MIT
// Why the link last failed, in a code and words, with the operating
// system's own reason kept (errno, GetLastError).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kulve {

inline constexpr std::size_t kLinkErrorTextSize = 256;

struct LinkError {
  int code = 0;  // KULVE_LINK_ERROR_*
  int osError = 0;
  std::array<char, kLinkErrorTextSize> text{};
};

// Records an error; the text is formatted printf-style and cut to fit.
void SetLinkError(LinkError& error, int code, int osError, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
void ClearLinkError(LinkError& error);

// Copies the text NUL-terminated into out (size bytes, at least 1) and
// returns the code.
int CopyLinkError(const LinkError& error, char* out, std::int32_t size);

}  // namespace kulve
