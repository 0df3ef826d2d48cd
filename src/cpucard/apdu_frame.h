// SPDX-License-Identifier: MIT
// Command APDUs as the library frames them for the card, and the card's
// answer taken apart. Pure functions: no reader, no state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kulve {

inline constexpr std::size_t kMaxCommandData = 128;  // Lc
inline constexpr std::size_t kApduHeaderSize = 5;    // CLA INS P1 P2 P3
inline constexpr std::size_t kT1FrameOverhead = 4;   // NAD PCB LEN ... LRC
inline constexpr std::size_t kMaxBlockSize = kApduHeaderSize + kMaxCommandData + kT1FrameOverhead;
inline constexpr std::size_t kMaxResponseData = 253;

// One command as the caller gave it: Le goes on the wire only without data.
struct CommandApdu {
  std::array<std::uint8_t, 4> header{};  // CLA INS P1 P2
  std::span<const std::uint8_t> data;    // at most kMaxCommandData bytes
  std::uint8_t le = 0;
};

// The bytes that go to the reader: the APDU itself (T=0) or the I-block
// that carries it (T=1).
struct FramedCommand {
  std::array<std::uint8_t, kMaxBlockSize> bytes{};
  std::size_t size = 0;

  std::span<const std::uint8_t> View() const { return {bytes.data(), size}; }
};

// Frames the command for protocol T=1 (t1 true) or T=0. sendSequence is the
// N(S) bit of the I-block. Data beyond kMaxCommandData bytes is not framed;
// callers refuse such requests first.
FramedCommand FrameCommand(const CommandApdu& apdu, bool t1, std::uint8_t sendSequence);

struct CardAnswer {
  std::uint16_t statusWord = 0;        // SW1 * 256 + SW2
  std::span<const std::uint8_t> data;  // response data, a view into the reply
};

// True when a T=1 answer of at least 3 bytes is what the default mode can
// read as an answer: one whole I-block, NAD 00, without the more-data bit,
// LEN matching the bytes that came (the LRC is not checked) and at least
// SW1 SW2 in it.
bool IsSingleAnswerBlock(std::span<const std::uint8_t> reply);

// The card's answer as relayed by the reader. T=0: data then SW1 SW2; T=1:
// every answer is read as an I-block (NAD PCB LEN, data, SW1 SW2, LRC) whose
// prologue and LRC are not checked. Nothing when the reply is too short to
// hold the status word (T=0 fewer than 2 bytes, T=1 fewer than 3).
std::optional<CardAnswer> ReadCardAnswer(std::span<const std::uint8_t> reply, bool t1);

}  // namespace kulve
