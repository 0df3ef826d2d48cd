// SPDX-License-Identifier: MIT
// The housekeeping family: the reader's own commands (power, card-type
// selection, state, identity). It alone writes the reader's card type.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/reader.h"
#include "link/version.h"

namespace kulve {

inline constexpr std::size_t kIdentityBytes = 8;  // device number, version

int PowerOn(Reader& reader);
int PowerOff(Reader& reader);
int SelectCard(Reader& reader, std::int32_t cardType);
int Inquire(Reader& reader, std::int32_t* cardType, std::int32_t* state, std::int32_t* power);
// Inquire's second state value alone, the library's card type left as it is.
int InquireState(Reader& reader, std::int32_t* state);
int SetStandby(Reader& reader);
int GetDeviceNumber(Reader& reader, std::uint8_t* number);
int DEVVER(Reader& reader, std::uint8_t* version);
int ALARM(Reader& reader, std::int32_t mode, std::int32_t a, std::int32_t b, std::int32_t c);

}  // namespace kulve
