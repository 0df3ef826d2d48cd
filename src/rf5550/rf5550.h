// SPDX-License-Identifier: MIT
// e5550 125 kHz transponders through the reader's RF module: block read and
// write, the option byte, wake with a password, and the module query.
// Results and buffer sizes are described next to the exported functions in
// kulve32.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kulve32.h"
#include "device/reader.h"
#include "link/command_block.h"

namespace kulve {

inline constexpr std::size_t kRf5550BlockSize = 4;
inline constexpr std::size_t kRf5550PasswordSize = 4;
inline constexpr std::size_t kRf5550ModuleAnswerSize = 4;  // two reply bytes, two zeros

// The option byte RF5550_Init sends, packed from the caller's record.
std::uint8_t Rf5550OptionByte(const Rf5550InitRecord& record);

// The secret bytes of a request `code`: the password that leads the
// requests of the waking, writing and setup commands. Empty for others.
SecretSpan Rf5550Secrets(std::uint8_t code);

int RF5550_ReadBlk(Reader& reader, std::int32_t block, std::uint8_t* data);
int RF5550_WriteBlk(Reader& reader, std::int32_t block, const std::uint8_t* password, std::uint8_t* data,
                    std::int32_t lock);
int RF5550_ReadAfterWake(Reader& reader, std::int32_t block, const std::uint8_t* password, std::uint8_t* data);
int RF5550_WriteAfterWake(Reader& reader, std::int32_t block, const std::uint8_t* password, std::uint8_t* data,
                          std::int32_t lock);
int RF5550_Init(Reader& reader, const Rf5550InitRecord* record, const std::uint8_t* password, std::int32_t flag);
int RF5550_Wake(Reader& reader, const std::uint8_t* password);
int RF5550_Mcmno(Reader& reader, std::uint8_t* answer);

}  // namespace kulve
