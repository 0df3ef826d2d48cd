// SPDX-License-Identifier: MIT
// What a family sees of the last exchange: its status and the reply bytes
// that actually arrived. The view points into the reader's command block and
// is valid until the next exchange.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/link_state.h"

namespace kulve {

struct ReplyView {
  std::uint8_t status = 0;               // the LinkStatus
  std::span<const std::uint8_t> data;    // reply bytes received in this exchange
  bool lineFailed = false;               // status is a link-failure letter, not the reader's

  bool Ok() const { return status == 0; }

  // Byte i of this exchange's reply, or 0 when it did not carry one: bytes a
  // reply lacked are never taken from an earlier exchange.
  std::uint8_t Byte(std::size_t i) const { return i < data.size() ? data[i] : std::uint8_t{0}; }

  // Copies the received bytes, at most `limit`, to out; returns the count.
  std::size_t CopyTo(std::uint8_t* out, std::size_t limit) const {
    const std::size_t n = std::min(data.size(), limit);
    std::copy_n(data.begin(), n, out);
    return n;
  }

  // Writes exactly n bytes to out: the received ones, then zeros.
  void CopyPadded(std::uint8_t* out, std::size_t n) const {
    const std::size_t got = CopyTo(out, n);
    std::fill(out + got, out + n, std::uint8_t{0});
  }
};

// The view of the exchange the reader made last.
inline ReplyView LastReply(const Link& reader) {
  const CommandBlock& block = reader.block;
  return {block.status, std::span(block.replyData.data(), block.received), block.lineFailed};
}

}  // namespace kulve
