// SPDX-License-Identifier: MIT
// Opening, probing and closing the port, and the byte operations on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kulve32.h"
#include "link/link_state.h"

namespace kulve {

inline constexpr std::int32_t kFastSpeed = 57600;
inline constexpr std::int32_t kSlowSpeed = 9600;

// 0 = port open and configured; 1 = failed, no port open.
int OpenPort(Link& reader, std::int32_t index, std::int32_t speed);
std::size_t PortWrite(Link& reader, const std::uint8_t* data, std::size_t count);
std::size_t PortRead(Link& reader, std::uint8_t* buffer, std::size_t count);
// 0 = written, 1 = not.
int PortWriteByte(Link& reader, std::uint8_t byte);

int LinkCom(Link& reader, std::int32_t index);
int UnLinkCom(Link& reader);
int AutoLinkCom(Link& reader, std::int32_t* index);
int ComBaudRate(const Link& reader);

// Device path table (the SetComPortPath extension). 0, or 4 for a bad argument.
int SetComPortPath(Link& reader, std::int32_t index, const char* path);
int GetComPortPath(Link& reader, std::int32_t index, char* path, std::int32_t size);

// Why the link last failed (the GetLinkError extension); returns the code.
int GetLinkError(const Link& reader, char* text, std::int32_t size);
// The operating system's error number behind that failure (GetLinkOsError).
int GetLinkOsError(const Link& reader);
// The SetTrace extension: 0, or 4 for a level outside 0..3.
int SetTrace(Link& reader, std::int32_t level, KulveTraceCallback callback, void* context);

}  // namespace kulve
