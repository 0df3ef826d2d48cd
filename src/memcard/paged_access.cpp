// SPDX-License-Identifier: MIT
// ReadMemCard, WriteMemCard and EraseMemCard: a flat address split into page
// and offset (pages of 256 bytes, 264 for some types), at most 66 bytes per
// exchange, never across a page boundary.
#include <algorithm>
#include <array>

#include "link/transact.h"
#include "memcard/card_types.h"
#include "memcard/command_codes.h"
#include "memcard/memcard.h"
#include "memcard/secret_addresses.h"

namespace kulve {
namespace {

constexpr std::int64_t kChunkSize = 66;
constexpr std::int64_t kPageCount = 0x10000;  // page numbers go on the wire as 16 bits
constexpr std::size_t kHeaderSize = 5;         // page high, page low, offset high, offset low, n

// One exchange: n bytes at page/offset, belonging at `position` of the caller's buffer.
struct Chunk {
  std::int64_t page;
  std::int64_t offset;
  std::int64_t n;
  std::int64_t position;
  bool startsPiece;  // first chunk of a page's piece
};

// Whether the request can be carried out: non-negative address, at least one
// byte, a buffer, and a last page that a 16-bit page number can name.
bool Addressable(std::int32_t address, std::int32_t count, const std::uint8_t* buffer, std::int64_t pageSize) {
  if (address < 0 || count < 1 || buffer == nullptr) return false;
  return std::int64_t{address} + count <= kPageCount * pageSize;
}

// Calls `exchange` for each chunk in order and stops at the first non-zero status.
template <typename Exchanger>
int ForEachChunk(std::int32_t address, std::int32_t count, std::int64_t pageSize, Exchanger exchange) {
  const std::int64_t end = std::int64_t{address} + count;
  for (std::int64_t a = address; a < end;) {
    const std::int64_t offset = a % pageSize;
    const std::int64_t pieceLength = std::min(end - a, pageSize - offset);
    for (std::int64_t done = 0; done < pieceLength;) {
      const std::int64_t n = std::min(pieceLength - done, kChunkSize);
      const Chunk chunk{a / pageSize, offset + done, n, a - address + done, done == 0};
      if (const int status = exchange(chunk); status != 0) return status;
      done += n;
    }
    a += pieceLength;
  }
  return 0;
}

std::array<std::uint8_t, kHeaderSize> ChunkHeader(const Chunk& c) {
  return {static_cast<std::uint8_t>(c.page >> 8), static_cast<std::uint8_t>(c.page & 0xFF),
          static_cast<std::uint8_t>(c.offset >> 8), static_cast<std::uint8_t>(c.offset & 0xFF),
          static_cast<std::uint8_t>(c.n)};
}

std::int64_t PageSizeFor(const Reader& reader) { return TraitsOf(reader.cardType).pageSize; }

}  // namespace

int ReadMemCard(Reader& reader, std::int32_t address, std::int32_t count, std::uint8_t* buffer) {
  const std::int64_t pageSize = PageSizeFor(reader);
  if (!Addressable(address, count, buffer, pageSize)) return result::kBadArgument;
  // Within a piece the running position advances by the bytes each reply
  // carried, at most the chunk's n, so it stays inside the piece.
  std::int64_t running = 0;
  return ForEachChunk(address, count, pageSize, [&](const Chunk& c) {
    if (c.startsPiece) running = c.position;
    const auto header = ChunkHeader(c);
    const ReplyView reply = Exchange(reader, memcard_code::kPagedRead, header,
                                     MemcardSecrets(TraitsOf(reader.cardType), memcard_code::kPagedRead, header));
    if (reply.Ok()) running += reply.CopyTo(buffer + running, static_cast<std::size_t>(c.n));
    return int{reply.status};
  });
}

int WriteMemCard(Reader& reader, std::int32_t address, std::int32_t count, std::uint8_t* buffer) {
  const std::int64_t pageSize = PageSizeFor(reader);
  if (!Addressable(address, count, buffer, pageSize)) return result::kBadArgument;
  std::array<std::uint8_t, kHeaderSize + kChunkSize> send{};
  std::int64_t copyBack = 0;  // running position of reply bytes within the piece
  return ForEachChunk(address, count, pageSize, [&](const Chunk& c) {
    if (c.startsPiece) copyBack = c.position;
    const auto header = ChunkHeader(c);
    std::copy(header.begin(), header.end(), send.begin());
    std::copy_n(buffer + c.position, c.n, send.begin() + kHeaderSize);
    const auto request = std::span(send.data(), kHeaderSize + static_cast<std::size_t>(c.n));
    const ReplyView reply = Exchange(reader, memcard_code::kPagedWrite, request,
                                     MemcardSecrets(TraitsOf(reader.cardType), memcard_code::kPagedWrite, request));
    if (reply.Ok()) copyBack += reply.CopyTo(buffer + copyBack, static_cast<std::size_t>(c.n));
    return int{reply.status};
  });
}

int EraseMemCard(Reader& reader, std::int32_t address, std::int32_t count, std::uint8_t* buffer) {
  if (!Addressable(address, count, buffer, PageSizeFor(reader))) return result::kBadArgument;
  std::fill_n(buffer, count, std::uint8_t{0xFF});
  return WriteMemCard(reader, address, count, buffer);
}

}  // namespace kulve
