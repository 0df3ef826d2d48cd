// SPDX-License-Identifier: MIT
// The shapes of Mifare requests and replies: send data built field by field
// in wire order, and the two-byte answer as callers receive it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/reply.h"
#include "link/transact.h"

namespace kulve {

class SendData {
 public:
  // The low 8 bits of a byte argument.
  SendData& Byte(std::int32_t value) {
    Put(LowByte(value));
    return *this;
  }
  // A 32-bit value, least significant byte first.
  SendData& Le32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) Put(static_cast<std::uint8_t>(value >> shift));
    return *this;
  }
  // Caller bytes in buffer order.
  SendData& Bytes(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Put(bytes[i]);
    return *this;
  }
  operator std::span<const std::uint8_t>() const { return {bytes_.data(), size_}; }

 private:
  static constexpr std::size_t kCapacity = 24;  // the longest request carries 21 bytes
  void Put(std::uint8_t byte) {
    if (size_ < kCapacity) bytes_[size_++] = byte;
  }
  std::array<std::uint8_t, kCapacity> bytes_{};
  std::size_t size_ = 0;
};

// Reply bytes 0 and 1, then two zeros, so the four bytes read as a
// little-endian integer give the two-byte answer.
inline void CopyTwoByteAnswer(const ReplyView& reply, std::uint8_t* out) {
  reply.CopyPadded(out, 2);
  out[2] = 0;
  out[3] = 0;
}

}  // namespace kulve
