// SPDX-License-Identifier: MIT
// Argument checks shared by every command of the tool.
#include <string>

#include "tools/command.h"
#include "tools/hex.h"

namespace kulve::tool {

int IntArg(const std::string& text, long long min, long long max, const std::string& what) {
  const auto value = ParseInt(text);
  if (!value || *value < min || *value > max) {
    throw UsageError(what + " must be a number from " + std::to_string(min) + " to " + std::to_string(max) +
                     ", not \"" + text + "\"");
  }
  return *value;
}

Bytes HexArg(const std::string& text, std::size_t minBytes, std::size_t maxBytes, const std::string& what) {
  const auto bytes = ParseHex(text);
  if (!bytes) throw UsageError(what + " must be hex bytes, not \"" + text + "\"");
  if (bytes->size() < minBytes || bytes->size() > maxBytes) {
    const std::string range = minBytes == maxBytes ? std::to_string(minBytes)
                                                   : std::to_string(minBytes) + " to " + std::to_string(maxBytes);
    throw UsageError(what + " must be " + range + " bytes, not " + std::to_string(bytes->size()));
  }
  return *bytes;
}

}  // namespace kulve::tool
