// SPDX-License-Identifier: MIT
// ReadCard, WriteCard and EraseCard: a memory area selector and a 16-bit card
// address, at most 64 bytes per exchange.
#include <algorithm>
#include <array>

#include "link/transact.h"
#include "memcard/card_types.h"
#include "memcard/command_codes.h"
#include "memcard/memcard.h"
#include "memcard/secret_addresses.h"

namespace kulve {
namespace {

constexpr std::int64_t kPieceSize = 64;
constexpr std::int64_t kAddressSpace = 0x10000;  // addresses go on the wire as 16 bits
constexpr std::size_t kHeaderSize = 4;            // area, address high, address low, n

// The card address of page/offset, or -1 when the request is refused: negative
// values, no bytes, no buffer, or bytes beyond the 16-bit address space (which
// would otherwise wrap around to the start of the card).
std::int64_t CheckedAddress(std::int32_t page, std::int32_t offset, std::int32_t count, const std::uint8_t* buffer) {
  if (page < 0 || offset < 0 || count < 1 || buffer == nullptr) return -1;
  const std::int64_t address = std::int64_t{page} * 256 + offset;
  if (address + count > kAddressSpace) return -1;
  return address;
}

std::array<std::uint8_t, kHeaderSize> PieceHeader(std::uint8_t area, std::int64_t address, std::int64_t n) {
  return {area, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address & 0xFF),
          static_cast<std::uint8_t>(n)};
}

// Sends `code` pieces of at most 64 data bytes taken from the buffer; after
// each successful piece the reply (at most that piece's length) is copied
// back over the piece's bytes. Returns the first non-zero status, else 0.
int WritePieces(Reader& reader, std::uint8_t code, std::uint8_t area, std::int64_t address, std::int32_t count,
                std::uint8_t* buffer) {
  std::array<std::uint8_t, kHeaderSize + kPieceSize> send{};
  for (std::int64_t done = 0; done < count;) {
    const std::int64_t n = std::min<std::int64_t>(count - done, kPieceSize);
    const auto header = PieceHeader(area, address + done, n);
    std::copy(header.begin(), header.end(), send.begin());
    std::copy_n(buffer + done, n, send.begin() + kHeaderSize);
    const auto request = std::span(send.data(), kHeaderSize + static_cast<std::size_t>(n));
    const ReplyView reply = Exchange(reader, code, request, MemcardSecrets(TraitsOf(reader.cardType), code, request));
    if (!reply.Ok()) return reply.status;
    reply.CopyTo(buffer + done, static_cast<std::size_t>(n));
    done += n;
  }
  return 0;
}

}  // namespace

int ReadCard(Reader& reader, std::int32_t area, std::int32_t page, std::int32_t offset, std::int32_t count,
             std::uint8_t* buffer) {
  const std::int64_t address = CheckedAddress(page, offset, count, buffer);
  if (address < 0) return result::kBadArgument;
  // The output position advances by the bytes each reply carried, but never by
  // more than the piece asked for, so it cannot pass the caller's count.
  std::size_t position = 0;
  for (std::int64_t asked = 0; asked < count;) {
    const std::int64_t n = std::min<std::int64_t>(count - asked, kPieceSize);
    const auto header = PieceHeader(LowByte(area), address + asked, n);
    const ReplyView reply = Exchange(reader, memcard_code::kRead, header,
                                     MemcardSecrets(TraitsOf(reader.cardType), memcard_code::kRead, header));
    if (!reply.Ok()) return reply.status;
    position += reply.CopyTo(buffer + position, static_cast<std::size_t>(n));
    asked += n;
  }
  return 0;
}

int WriteCard(Reader& reader, std::int32_t area, std::int32_t page, std::int32_t offset, std::int32_t count,
              std::uint8_t* buffer) {
  const std::int64_t address = CheckedAddress(page, offset, count, buffer);
  if (address < 0) return result::kBadArgument;
  return WritePieces(reader, memcard_code::kWrite, LowByte(area), address, count, buffer);
}

int EraseCard(Reader& reader, std::int32_t area, std::int32_t page, std::int32_t offset, std::int32_t count,
              std::uint8_t* buffer) {
  const std::int64_t address = CheckedAddress(page, offset, count, buffer);
  if (address < 0) return result::kBadArgument;
  std::fill_n(buffer, count, std::uint8_t{0xFF});
  if (TraitsOf(reader.cardType).erase == EraseMethod::kEraseCommand) {
    // The erase command always works on the card memory, whatever area was asked.
    return WritePieces(reader, memcard_code::kErase, kCardMemoryArea, address, count, buffer);
  }
  return WritePieces(reader, memcard_code::kWrite, LowByte(area), address, count, buffer);
}

}  // namespace kulve
