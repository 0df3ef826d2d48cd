// SPDX-License-Identifier: MIT
// The request/reply record every command function fills and Transact answers.
#pragma once

#include <array>
#include <cstdint>

namespace kulve {

// Room for the longest request (the one-byte send length allows 255) and the
// longest reply (255), with a margin from the original record layout; the
// wire never carries more than 255 data bytes either way.
inline constexpr std::size_t kBlockDataSize = 320;

struct CommandBlock {
  std::uint8_t code = 0;
  std::uint8_t sendLength = 0;
  std::array<std::uint8_t, kBlockDataSize> sendData{};
  // sendData[secretFrom, secretFrom + secretCount) is a key, code or
  // password, and with secretReply the reply data echoes one: the trace masks
  // them. The family that builds the request marks them (SecretSpan).
  std::uint8_t secretFrom = 0;
  std::uint8_t secretCount = 0;
  bool secretReply = false;
  std::uint8_t status = 0;  // the LinkStatus of the last exchange
  std::uint8_t replyLength = 0;
  std::array<std::uint8_t, kBlockDataSize> replyData{};
  // Reply data bytes that arrived in the last exchange (0 when it failed
  // before the data). replyData keeps older bytes beyond this count.
  std::uint8_t received = 0;
  // The last exchange failed on the line (status is then its link-failure
  // letter), as against a reader status of any value.
  bool lineFailed = false;
  // Exchanges made on this block, for telling whether a call made one.
  std::uint32_t exchanges = 0;
};

}  // namespace kulve
