// SPDX-License-Identifier: MIT
// The reader's command dispatch: one handler per command code.
//
// Card families add their commands through a function of their own, e.g.
// RegisterMemoryCardCommands(Firmware&), listed in commands.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sim/reader_state.h"

namespace kulve::sim {

// Reader status bytes. 0 is success; the refusals avoid 0x65..0x73 (the
// host's link-failure letters) and 3, 4 and 19 (the host library's own
// result codes), so every refusal reaches an application unambiguously.
namespace status {
inline constexpr std::uint8_t kOk = 0x00;
inline constexpr std::uint8_t kUnknownCommand = 0x80;  // no handler for the code
inline constexpr std::uint8_t kBadLength = 0x81;       // wrong number of data bytes
inline constexpr std::uint8_t kBadParameter = 0x82;    // a data byte out of range
inline constexpr std::uint8_t kNoCard = 0x83;          // the command needs a card
inline constexpr std::uint8_t kNotPowered = 0x84;      // the card is not powered
inline constexpr std::uint8_t kCardRefused = 0x85;     // the card said no
inline constexpr std::uint8_t kInternalError = 0x8F;   // a handler failed
}  // namespace status

inline constexpr std::size_t kMaxFrameData = 255;

struct Reply {
  std::uint8_t status = status::kOk;
  std::vector<std::uint8_t> data;  // at most kMaxFrameData bytes
};

using Handler = std::function<Reply(ReaderState&, std::span<const std::uint8_t> data)>;

class Firmware {
 public:
  // Replaces any handler already registered for the code.
  void Register(std::uint8_t code, Handler handler);
  bool Has(std::uint8_t code) const;

  // Runs the command. Never throws: an unknown code answers kUnknownCommand,
  // and a handler that throws or returns more than kMaxFrameData bytes
  // answers kInternalError with no data. Any command other than 28 (standby)
  // wakes the reader before its handler runs.
  Reply Execute(ReaderState& state, std::uint8_t code,
                std::span<const std::uint8_t> data) const;

 private:
  std::array<Handler, 256> handlers_{};
};

// Helpers for handlers.
inline Reply Ok(std::vector<std::uint8_t> data = {}) { return Reply{status::kOk, std::move(data)}; }
inline Reply Refuse(std::uint8_t code) { return Reply{code, {}}; }

}  // namespace kulve::sim
