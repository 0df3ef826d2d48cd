// SPDX-License-Identifier: MIT
// Mifare Classic through the reader's RF module: the reader's high-level
// operations and the single card steps. Every function goes through
// MifareTransact. Results, buffer sizes and what is written on failure are
// described next to the exported functions in kulve32.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/reader.h"

namespace kulve {

inline constexpr std::size_t kMifareKeySize = 6;
inline constexpr std::size_t kMifareBlockSize = 16;
inline constexpr std::size_t kMifareValueSize = 4;
inline constexpr std::size_t kMifareSerialSize = 4;
inline constexpr std::size_t kMifareAnswerSize = 4;  // two answer bytes, then two zeros
inline constexpr std::size_t kMifareSectorCount = 16;
inline constexpr std::size_t kMifareSectorDataSize = 48;  // the three data blocks of a sector
inline constexpr std::size_t kMifareCardBufferSize = kMifareSectorCount * kMifareSectorDataSize;
inline constexpr std::int32_t kMifareKeySlots = 16;

// The reader status with which the whole-card read stops at once.
inline constexpr std::uint8_t kMifareStopStatus = 1;

// High-level operations of the reader.
int RFMifare_Mcmno(Reader& reader, std::uint8_t* answer);
int RFMifare_TransKey(Reader& reader, std::int32_t slot, const std::uint8_t* key);
int RFMifare_Authmode(Reader& reader, std::int32_t mode);
int RFMifare_GetType(Reader& reader, std::uint8_t* answer);
int RFMifare_GetSnr(Reader& reader, std::uint8_t* serial);
int RFMifare_ReadBlock(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* out);
int RFMifare_WriteBlock(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* data);
int RFMifare_WriteKey(Reader& reader, std::int32_t selector, std::uint32_t param, const std::uint8_t* key,
                      std::int32_t flag);
int RFMifare_ReadValue(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* value);
int RFMifare_WriteValue(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* value);
int RFMifare_IncrementValue(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* value);
int RFMifare_DecrementValue(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* value);
int RFMifare_ReadBloca(Reader& reader, std::int32_t first, std::uint32_t param, std::uint8_t* out);

// Single card steps.
int RFMifare_LoadKey(Reader& reader, std::int32_t first, std::int32_t second, const std::uint8_t* key);
int RFMifare_Request(Reader& reader, std::int32_t mode, std::uint8_t* answer);
int RFMifare_AntiColl(Reader& reader, std::uint8_t* serial);
int RFMifare_Select(Reader& reader, std::uint32_t serial);
int RFMifare_Authentication(Reader& reader, std::int32_t first, std::int32_t second, std::int32_t third);
int RFMifare_Read(Reader& reader, std::int32_t block, std::uint8_t* out);
int RFMifare_Write(Reader& reader, std::int32_t block, const std::uint8_t* data);
int RFMifare_Increment(Reader& reader, std::int32_t block, std::uint32_t amount);
int RFMifare_Decrment(Reader& reader, std::int32_t block, std::uint32_t amount);
int RFMifare_Halt(Reader& reader);

}  // namespace kulve
