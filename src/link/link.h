// SPDX-License-Identifier: MIT
// Opening, probing and closing the port, and the byte operations on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kulve32.h"
#include "link/reader.h"

namespace kulve {

inline constexpr std::int32_t kFastSpeed = 57600;
inline constexpr std::int32_t kSlowSpeed = 9600;

// 0 = port open and configured; 1 = failed, no port open.
int OpenPort(Reader& reader, std::int32_t index, std::int32_t speed);
std::size_t PortWrite(Reader& reader, const std::uint8_t* data, std::size_t count);
std::size_t PortRead(Reader& reader, std::uint8_t* buffer, std::size_t count);
// 0 = written, 1 = not.
int PortWriteByte(Reader& reader, std::uint8_t byte);

int LinkCom(Reader& reader, std::int32_t index);
int UnLinkCom(Reader& reader);
int AutoLinkCom(Reader& reader, std::int32_t* index);
int ComBaudRate(const Reader& reader);

// Device path table (the SetComPortPath extension). 0, or 4 for a bad argument.
int SetComPortPath(Reader& reader, std::int32_t index, const char* path);
int GetComPortPath(const Reader& reader, std::int32_t index, char* path, std::int32_t size);

// Why the link last failed (the GetLinkError extension); returns the code.
int GetLinkError(const Reader& reader, char* text, std::int32_t size);
// The operating system's error number behind that failure (GetLinkOsError).
int GetLinkOsError(const Reader& reader);
// The SetTrace extension: 0, or 4 for a level outside 0..3.
int SetTrace(Reader& reader, std::int32_t level, KulveTraceCallback callback, void* context);

}  // namespace kulve
