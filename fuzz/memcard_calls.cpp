// SPDX-License-Identifier: MIT
// Contact memory cards: every piece of addressed and paged access checked
// against the request it should be and the bytes its reply carried.
#include <algorithm>
#include <array>

#include "fuzz/calls.h"
#include "memcard/command_codes.h"
#include "memcard/memcard.h"

namespace kulve::fuzz {
namespace {

constexpr std::int64_t kPieceSize = 64;
constexpr std::int64_t kChunkSize = 66;

bool IsLibraryCode(int result) { return result == 3 || result == 4 || result == 19; }

// Types that clear card bytes with the erase command rather than a write of 0xFF.
bool ErasesByCommand(std::int32_t type) {
  constexpr std::int32_t kTypes[] = {0, 15, 16, 17, 25, 26};
  return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

// One exchange the call should make: the request, and where its reply goes.
struct Piece {
  Bytes header;
  std::int64_t position;  // of the piece's bytes in the caller's buffer
  std::int64_t n;
  bool startsPage;  // paged access: the first chunk of a page's piece
};

std::vector<Piece> AddressedPieces(std::uint8_t area, std::int64_t address, std::int32_t count) {
  std::vector<Piece> pieces;
  for (std::int64_t done = 0; done < count; done += kPieceSize) {
    const std::int64_t n = std::min<std::int64_t>(count - done, kPieceSize);
    const std::int64_t a = address + done;
    pieces.push_back({{area, static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(n)},
                      done, n, false});
  }
  return pieces;
}

std::vector<Piece> PagedPieces(std::int64_t address, std::int32_t count, std::int64_t pageSize) {
  std::vector<Piece> pieces;
  const std::int64_t end = address + count;
  for (std::int64_t a = address; a < end;) {
    const std::int64_t page = a / pageSize, offset = a % pageSize;
    const std::int64_t length = std::min(end - a, pageSize - offset);
    for (std::int64_t done = 0; done < length; done += kChunkSize) {
      const std::int64_t n = std::min(length - done, kChunkSize);
      const std::int64_t at = offset + done;
      pieces.push_back({{static_cast<std::uint8_t>(page >> 8), static_cast<std::uint8_t>(page),
                         static_cast<std::uint8_t>(at >> 8), static_cast<std::uint8_t>(at), static_cast<std::uint8_t>(n)},
                        a - address + done, n, done == 0});
    }
    a += length;
  }
  return pieces;
}

// Where each successful reply's bytes go in the caller's buffer.
enum class Placement {
  kAfterEarlier,  // addressed reads: after the bytes the call's earlier replies carried
  kOverPiece,     // addressed writes: over the bytes of the piece sent
  kPerPage,       // paged access: after the earlier replies of the same page's piece
};

// Replays the documented copies over the caller's buffer as it was, checking
// each request on the way; returns the buffer the call must leave.
Bytes Replay(const std::vector<Piece>& pieces, const Exchanges& ex, std::uint8_t code, bool writes,
             Placement placement, Bytes buffer) {
  FUZZ_CHECK(ex.size() <= pieces.size());
  FUZZ_CHECK(ex.size() == pieces.size() || (!ex.empty() && !ex.back().Ok()));
  const Bytes sentData = buffer;  // copy-backs never reach bytes not yet sent
  std::int64_t running = 0;
  for (std::size_t i = 0; i < ex.size(); ++i) {
    const Piece& p = pieces[i];
    Bytes request = p.header;
    if (writes) request.insert(request.end(), sentData.begin() + p.position, sentData.begin() + p.position + p.n);
    FUZZ_CHECK(ex[i].code == code && ex[i].sent == request);
    if (!ex[i].Ok()) break;
    if (placement == Placement::kOverPiece || (placement == Placement::kPerPage && p.startsPage)) running = p.position;
    const std::size_t m = std::min<std::size_t>(ex[i].received.size(), static_cast<std::size_t>(p.n));
    std::copy_n(ex[i].received.begin(), m, buffer.begin() + running);
    running += static_cast<std::int64_t>(m);
  }
  return buffer;
}

// page * 256 + offset, or -1 where the call must refuse.
std::int64_t AddressedStart(std::int32_t page, std::int32_t offset, std::int32_t count, bool null) {
  if (page < 0 || offset < 0 || count < 1 || null) return -1;
  const std::int64_t address = std::int64_t{page} * 256 + offset;
  return address + count > 0x10000 ? -1 : address;
}

enum class Access { kRead, kWrite, kErase };

void Addressed(FuzzSession& s, Access access) {
  const std::int32_t type = s.reader().cardType = s.Int();
  const std::int32_t area = s.Int(), page = s.Int(), offset = s.Int(), count = s.Count();
  const bool null = s.Null();
  CallerBuffer buffer(null ? 0 : Affordable(count), s.input());
  using Fn = int (*)(Reader&, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::uint8_t*);
  const Fn fn = access == Access::kRead ? ReadCard : (access == Access::kWrite ? WriteCard : EraseCard);
  const int result = fn(s.reader(), area, page, offset, count, buffer.data());
  const Exchanges ex = s.TakeExchanges();
  const std::int64_t address = AddressedStart(page, offset, count, null);
  if (address < 0) {
    FUZZ_CHECK(result == 4 && ex.empty() && buffer.Untouched());
    return;
  }
  FUZZ_CHECK(ResultFollowsExchanges(result, ex));
  Bytes before = buffer.before();
  std::uint8_t code = memcard_code::kRead;
  std::uint8_t sentArea = Low(area);
  if (access != Access::kRead) code = memcard_code::kWrite;
  if (access == Access::kErase) {
    std::fill(before.begin(), before.end(), std::uint8_t{0xFF});  // even if the exchange then fails
    if (ErasesByCommand(type)) {
      code = memcard_code::kErase;
      sentArea = kCardMemoryArea;
    }
  }
  const auto pieces = AddressedPieces(sentArea, address, count);
  const Placement placement = access == Access::kRead ? Placement::kAfterEarlier : Placement::kOverPiece;
  FUZZ_CHECK(buffer.bytes() == Replay(pieces, ex, code, access != Access::kRead, placement, before));
}

// Requests that cross a page boundary are where the paged functions differ
// from plain chunking, so they are asked for often.
void PagedRequest(FuzzSession& s, std::int32_t& address, std::int32_t& count) {
  if (s.input().ConsumeBool()) {
    address = s.Int();
    count = s.Count();
    return;
  }
  const std::int32_t pageSize = s.input().ConsumeBool() ? 256 : 264;
  address = pageSize * s.input().ConsumeIntegralInRange(1, 3) - s.input().ConsumeIntegralInRange(0, 70);
  count = s.input().ConsumeIntegralInRange(1, 300);
}

void Paged(FuzzSession& s, Access access) {
  const std::int32_t type = s.reader().cardType = s.input().ConsumeBool() ? 21 : s.Int();
  std::int32_t address = 0, count = 0;
  PagedRequest(s, address, count);
  const bool null = s.Null();
  CallerBuffer buffer(null ? 0 : Affordable(count), s.input());
  using Fn = int (*)(Reader&, std::int32_t, std::int32_t, std::uint8_t*);
  const Fn fn = access == Access::kRead ? ReadMemCard : (access == Access::kWrite ? WriteMemCard : EraseMemCard);
  const int result = fn(s.reader(), address, count, buffer.data());
  const Exchanges ex = s.TakeExchanges();
  const std::int64_t pageSize = type == 21 ? 264 : 256;
  if (address < 0 || count < 1 || null || std::int64_t{address} + count > 0x10000 * pageSize) {
    FUZZ_CHECK(result == 4 && ex.empty() && buffer.Untouched());
    return;
  }
  FUZZ_CHECK(ResultFollowsExchanges(result, ex));
  Bytes before = buffer.before();
  if (access == Access::kErase) std::fill(before.begin(), before.end(), std::uint8_t{0xFF});
  const std::uint8_t code = access == Access::kRead ? memcard_code::kPagedRead : memcard_code::kPagedWrite;
  const auto pieces = PagedPieces(address, count, pageSize);
  FUZZ_CHECK(buffer.bytes() == Replay(pieces, ex, code, access != Access::kRead, Placement::kPerPage, before));
}

// The identification bytes each type reads, and what it accepts there.
struct Identification {
  int reads;
  std::uint8_t address;
  std::array<std::array<std::uint8_t, 2>, 2> accepted;
};

int VerifyModel(std::int32_t type, Identification& id) {
  switch (type) {
    case 0: id = {2, 0, {{{0xB7, 0xA0}, {0x37, 0xA0}}}}; return -1;
    case 1: id = {1, 6, {{{0x81, 0x05}, {0x81, 0x05}}}}; return -1;
    case 2: id = {1, 6, {{{0x81, 0x15}, {0x81, 0x15}}}}; return -1;
    case 3: id = {1, 6, {{{0x81, 0x03}, {0x81, 0x03}}}}; return -1;
    case 4: id = {1, 6, {{{0x81, 0x13}, {0x81, 0x13}}}}; return -1;
    default: break;
  }
  const bool accepted = (type >= 10 && type <= 17) || (type >= 19 && type <= 27) || type == 30;
  return accepted ? 0 : 19;
}

void Verify(FuzzSession& s) {
  const std::int32_t type = s.reader().cardType = s.Int();
  const int result = VerifyIC(s.reader());
  const Exchanges ex = s.TakeExchanges();
  Identification id{};
  const int fixed = VerifyModel(type, id);
  if (fixed >= 0) {
    FUZZ_CHECK(result == fixed && ex.empty());
    return;
  }
  for (const SeenExchange& read : ex) FUZZ_CHECK(read.sent == (Bytes{kCardMemoryArea, 0, id.address, 2}));
  if (!AllOk(ex)) {
    FUZZ_CHECK(ResultFollowsExchanges(result, ex));
    return;
  }
  FUZZ_CHECK(static_cast<int>(ex.size()) == id.reads);
  // The second read decides; bytes its reply lacked read as 0.
  const Bytes got = ex.back().Padded(2);
  const bool match = std::any_of(id.accepted.begin(), id.accepted.end(),
                                 [&](const auto& a) { return got[0] == a[0] && got[1] == a[1]; });
  FUZZ_CHECK(result == (match ? 0 : 19));
}

// Security functions: the buffer's documented size is the larger of 4 and the
// bytes sent (6 for erase key 4 of type 16).
void Security(FuzzSession& s) {
  s.reader().cardType = s.Int();
  const int which = s.input().ConsumeIntegralInRange<int>(0, 5);
  const std::int32_t number = s.Int();
  std::size_t size = 4;
  if ((which == 0 || which == 2) && number > 4 && number <= 255) size = static_cast<std::size_t>(number);
  if (which == 3) size = 6;
  CallerBuffer code(size, s.input()), counter(2, 0x5A);
  int result = 0;
  switch (which) {
    case 0: result = CheckSecret(s.reader(), number, code.data()); break;
    case 1: result = ReadSecret(s.reader(), counter.data(), code.data()); break;
    case 2: result = ModifySecret(s.reader(), number, code.data()); break;
    case 3: result = CheckEraseSecret(s.reader(), number, code.data()); break;
    case 4: result = CheckZoneSecret(s.reader(), number, code.data()); break;
    default: result = SetZoneRWBit(s.reader(), number, s.Int()); break;
  }
  const Exchanges ex = s.TakeExchanges();
  if (ex.empty()) {
    FUZZ_CHECK(IsLibraryCode(result));
    FUZZ_CHECK(code.Untouched() && counter.Untouched());
  } else if (result == 0) {
    FUZZ_CHECK(AllOk(ex));
  } else if (result != ex.back().status) {
    FUZZ_CHECK(result == 3 && which == 2 && AllOk(ex));  // the erase check of a code change
  }
}

void FuseValue(FuzzSession& s) {
  const std::int32_t value = s.Int();
  const int result = Fuse(s.reader(), value);
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(OneExchange(result, ex) && ex[0].sent == Bytes{Low(value)});
}

constexpr Call kCalls[] = {
    [](FuzzSession& s) { Addressed(s, Access::kRead); },
    [](FuzzSession& s) { Addressed(s, Access::kWrite); },
    [](FuzzSession& s) { Addressed(s, Access::kErase); },
    [](FuzzSession& s) { Paged(s, Access::kRead); },
    [](FuzzSession& s) { Paged(s, Access::kWrite); },
    [](FuzzSession& s) { Paged(s, Access::kErase); },
    Verify,
    Security,
    FuseValue,
};

}  // namespace

std::span<const Call> MemoryCardCalls() { return kCalls; }

}  // namespace kulve::fuzz
