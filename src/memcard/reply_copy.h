// Taking reply bytes out of the command block into a caller's buffer without
// trusting the length the reader claims.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "link/command_block.h"

namespace kulve {

inline constexpr std::uint8_t kResultNotForCardType = 3;
inline constexpr std::uint8_t kResultBadArgument = 4;
inline constexpr std::uint8_t kResultWrongCard = 19;

// Copies the reply data, at most `limit` bytes, to `out`; returns the count copied.
inline std::size_t CopyReply(const CommandBlock& block, std::uint8_t* out, std::size_t limit) {
  const std::size_t n = std::min<std::size_t>(block.replyLength, limit);
  std::copy_n(block.replyData.begin(), n, out);
  return n;
}

// Byte i of the reply, or 0 when the reply was shorter: bytes a reply did not
// carry are never taken from an earlier exchange.
inline std::uint8_t ReplyByte(const CommandBlock& block, std::size_t i) {
  return i < block.replyLength ? block.replyData[i] : std::uint8_t{0};
}

}  // namespace kulve
