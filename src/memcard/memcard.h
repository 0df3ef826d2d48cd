// SPDX-License-Identifier: MIT
// Contact memory cards: addressed and paged access, identification, fuse,
// and the security codes. Results and buffer sizes are described next to the
// exported functions in kulve32.h.
#pragma once

#include <cstdint>

#include "device/reader.h"

namespace kulve {

// Memory area selectors the library itself uses.
inline constexpr std::uint8_t kCardMemoryArea = 18;
inline constexpr std::uint8_t kSecurityMemoryArea = 2;

// Smallest documented size of the code and key buffers of the security
// functions; replies copied into them never go past it (or past the caller's
// length where that is larger).
inline constexpr std::size_t kSecretBufferSize = 4;

int ReadCard(Reader& reader, std::int32_t area, std::int32_t page, std::int32_t offset, std::int32_t count,
             std::uint8_t* buffer);
int WriteCard(Reader& reader, std::int32_t area, std::int32_t page, std::int32_t offset, std::int32_t count,
              std::uint8_t* buffer);
int EraseCard(Reader& reader, std::int32_t area, std::int32_t page, std::int32_t offset, std::int32_t count,
              std::uint8_t* buffer);

int ReadMemCard(Reader& reader, std::int32_t address, std::int32_t count, std::uint8_t* buffer);
int WriteMemCard(Reader& reader, std::int32_t address, std::int32_t count, std::uint8_t* buffer);
int EraseMemCard(Reader& reader, std::int32_t address, std::int32_t count, std::uint8_t* buffer);

int VerifyIC(Reader& reader);
int Fuse(Reader& reader, std::int32_t value);

int CheckSecret(Reader& reader, std::int32_t length, std::uint8_t* code);
int ReadSecret(Reader& reader, std::uint8_t* counter, std::uint8_t* code);
int ModifySecret(Reader& reader, std::int32_t length, std::uint8_t* code);
int CheckEraseSecret(Reader& reader, std::int32_t keyNumber, std::uint8_t* key);
int CheckZoneSecret(Reader& reader, std::int32_t zone, std::uint8_t* code);
int SetZoneRWBit(Reader& reader, std::int32_t zone, std::int32_t access);

}  // namespace kulve
