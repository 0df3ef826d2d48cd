// SPDX-License-Identifier: MIT
// The attendance terminal that answers on the reader's link: clock, record
// positions by day, record read-out, display, passwords, a pass-through
// command and the end of a transfer. Results, buffer sizes and the library's
// choices are described next to the exported functions in kulve32.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kulve32.h"
#include "device/reader.h"

namespace kulve {

inline constexpr std::size_t kKqTimeFields = 7;
inline constexpr std::size_t kKqDisplaySize = 16;
inline constexpr std::size_t kKqRecordBufferSize = 255;
inline constexpr std::size_t kKqPassThroughBufferSize = 256;
inline constexpr std::size_t kKqPositionBufferSize = 4;

int KQ_EndTrans(Reader& reader);
int KQ_GetTime(Reader& reader, KqTime* time);
int KQ_SetTime(Reader& reader, const KqTime* time);
int KQ_SysInit(Reader& reader);
int KQ_Display(Reader& reader, const char* text);
int KQ_DownloadPSW(Reader& reader, std::int32_t kind, const std::uint8_t* password);

int KQ_GetCurrentPos(Reader& reader, std::int32_t* first, std::uint8_t* position);
int KQ_GetStartPos(Reader& reader, const std::int32_t* date, std::int32_t* first, std::uint8_t* position);
int KQ_GetEndPos(Reader& reader, const std::int32_t* date, std::int32_t* first, std::uint8_t* position);
int KQ_ReadRecord(Reader& reader, std::int32_t first, std::int32_t position, std::int32_t third,
                  std::uint8_t* record);

int KQ_TransCmd(Reader& reader, std::int32_t sub, std::int32_t count, std::uint8_t* buffer);

}  // namespace kulve
