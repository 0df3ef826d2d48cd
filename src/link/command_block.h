// SPDX-License-Identifier: MIT
// The request/reply record every command function fills and Transact answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kulve {

// Room for the longest request (the one-byte send length allows 255) and the
// longest reply (255), with a margin from the original record layout; the
// wire never carries more than 255 data bytes either way.
inline constexpr std::size_t kBlockDataSize = 320;

// Which bytes of a request, and of its reply, are a key, a code, a password
// or a PIN: the trace masks them ("**"), and a frame's check byte with them,
// since it is computed over them. The family that builds the request marks
// them, by what the bytes are (a code's card address, a trailer's key bytes),
// whichever call carries them.
class SecretSpan {
 public:
  constexpr SecretSpan() = default;
  // Request bytes [from, from + count); with wholeReply every reply byte too.
  constexpr SecretSpan(std::size_t from, std::size_t count, bool wholeReply = false) {
    Send(from, count);
    if (wholeReply) Reply(0, kBlockDataSize);
  }
  constexpr SecretSpan& Send(std::size_t from, std::size_t count) { return Mark(send_, from, count); }
  constexpr SecretSpan& Reply(std::size_t from, std::size_t count) { return Mark(reply_, from, count); }
  constexpr SecretSpan& Add(const SecretSpan& other) {
    for (std::size_t w = 0; w < kWords; ++w) {
      send_[w] |= other.send_[w];
      reply_[w] |= other.reply_[w];
    }
    return *this;
  }
  constexpr bool InSend(std::size_t i) const { return Has(send_, i); }
  constexpr bool InReply(std::size_t i) const { return Has(reply_, i); }
  constexpr bool AnyInSend() const { return Any(send_); }
  constexpr bool AnyInReply() const { return Any(reply_); }

 private:
  static constexpr std::size_t kWords = (kBlockDataSize + 63) / 64;
  using Bits = std::array<std::uint64_t, kWords>;
  constexpr SecretSpan& Mark(Bits& bits, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < kBlockDataSize && i - from < count; ++i) bits[i / 64] |= std::uint64_t{1} << (i % 64);
    return *this;
  }
  static constexpr bool Has(const Bits& bits, std::size_t i) {
    return i < kBlockDataSize && (bits[i / 64] >> (i % 64) & 1) != 0;
  }
  static constexpr bool Any(const Bits& bits) {
    for (std::uint64_t w : bits) {
      if (w != 0) return true;
    }
    return false;
  }
  Bits send_{};
  Bits reply_{};
};

struct CommandBlock {
  std::uint8_t code = 0;
  std::uint8_t sendLength = 0;
  std::array<std::uint8_t, kBlockDataSize> sendData{};
  // What of sendData and replyData the trace masks.
  SecretSpan secret;
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
