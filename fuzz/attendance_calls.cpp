// SPDX-License-Identifier: MIT
// The attendance terminal: one exchange per call, outputs written only on
// success, and the day arithmetic beside it.
#include <algorithm>

#include "attendance/attendance.h"
#include "attendance/command_codes.h"
#include "fuzz/calls.h"

namespace kulve::fuzz {
namespace {

namespace code = attendance_code;

// One exchange with this request, or a refusal with 4 and nothing sent.
bool Exchanged(int result, const Exchanges& ex, bool refused, const Bytes& request) {
  if (refused) return result == 4 && ex.empty();
  return OneExchange(result, ex) && ex[0].sent == request;
}

void NoData(FuzzSession& s, int (*fn)(Reader&)) {
  const int result = fn(s.reader());
  FUZZ_CHECK(Exchanged(result, s.TakeExchanges(), false, {}));
}

void GetTime(FuzzSession& s) {
  const bool null = s.Null();
  CallerBuffer time(null ? 0 : sizeof(KqTime), 0xC7);
  const int result = KQ_GetTime(s.reader(), time.As<KqTime>());
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(Exchanged(result, ex, null, {}));
  if (result != 0) {
    FUZZ_CHECK(time.Untouched());
    return;
  }
  const Bytes clock = ex[0].Padded(7);
  for (std::size_t k = 0; k < 7; ++k) FUZZ_CHECK(time.As<KqTime>()->field[k] == clock[k]);
}

void SetTime(FuzzSession& s) {
  const bool null = s.Null();
  CallerBuffer time(null ? 0 : sizeof(KqTime), s.input());
  const int result = KQ_SetTime(s.reader(), time.As<KqTime>());
  Bytes request;
  for (std::size_t k = 0; !null && k < 7; ++k) request.push_back(Low(time.As<KqTime>()->field[k]));
  FUZZ_CHECK(Exchanged(result, s.TakeExchanges(), null, request) && time.Untouched());
}

// first (an int) and position (4 bytes): reply byte 0, then bytes 1 and 2 and two zeros.
void CheckPositionPair(int result, const Exchanges& ex, CallerBuffer& first, CallerBuffer& position) {
  if (result != 0) {
    FUZZ_CHECK(first.Untouched() && position.Untouched());
    return;
  }
  const Bytes pair = ex[0].Padded(3);
  FUZZ_CHECK(*first.As<std::int32_t>() == pair[0]);
  FUZZ_CHECK(position.bytes() == (Bytes{pair[1], pair[2], 0, 0}));
}

void CurrentPosition(FuzzSession& s) {
  const bool nullFirst = s.Null(), nullPosition = s.Null();
  CallerBuffer first(nullFirst ? 0 : 4, 0xC7), position(nullPosition ? 0 : 4, 0xC7);
  const int result = KQ_GetCurrentPos(s.reader(), first.As<std::int32_t>(), position.data());
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(Exchanged(result, ex, nullFirst || nullPosition, {}));
  CheckPositionPair(result, ex, first, position);
}

void DayPosition(FuzzSession& s, bool start) {
  const bool nullDate = s.Null(), nullFirst = s.Null(), nullPosition = s.Null();
  CallerBuffer date(nullDate ? 0 : 12, s.input()), first(nullFirst ? 0 : 4, 0xC7), position(nullPosition ? 0 : 4, 0xC7);
  const auto* fields = date.As<const std::int32_t>();
  const int result = start ? KQ_GetStartPos(s.reader(), fields, first.As<std::int32_t>(), position.data())
                           : KQ_GetEndPos(s.reader(), fields, first.As<std::int32_t>(), position.data());
  const Exchanges ex = s.TakeExchanges();
  const bool refused = nullDate || nullFirst || nullPosition;
  Bytes request;
  if (!refused) {
    // The day's index: its day number + 365, low 16 bits, low byte first.
    const KqDate day{Low(fields[0]), Low(fields[1]), Low(fields[2])};
    const auto index = static_cast<std::uint32_t>(::KQ_Daysbyte(&day)) + 365;
    request = {static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(index >> 8)};
  }
  FUZZ_CHECK(Exchanged(result, ex, refused, request) && date.Untouched());
  CheckPositionPair(result, ex, first, position);
}

void ReadRecord(FuzzSession& s) {
  const std::int32_t first = s.Int(), position = s.Int(), third = s.InRange(1, 31);
  const bool null = s.Null();
  CallerBuffer record(null ? 0 : 255, 0x5A);
  const int result = KQ_ReadRecord(s.reader(), first, position, third, record.data());
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(Exchanged(result, ex, null, {Low(first), Low(position), Low(position >> 8), Low(third)}));
  if (result == 0) {
    FUZZ_CHECK(record.bytes() == WithAt(record.before(), 0, ex[0].received));
  } else {
    FUZZ_CHECK(record.Untouched());
  }
}

void Display(FuzzSession& s) {
  const bool null = s.Null();
  CallerBuffer text(null ? 0 : 16, s.input());
  const int result = KQ_Display(s.reader(), reinterpret_cast<const char*>(text.data()));
  FUZZ_CHECK(Exchanged(result, s.TakeExchanges(), null, text.before()) && text.Untouched());
}

void PassThrough(FuzzSession& s) {
  const std::int32_t sub = s.Int(), count = s.InRange(1, 255);
  const bool null = s.Null();
  CallerBuffer buffer(null ? 0 : 256, s.input());
  const int result = KQ_TransCmd(s.reader(), sub, count, buffer.data());
  const Exchanges ex = s.TakeExchanges();
  const bool refused = null || count < 1 || count > 255;
  Bytes request{Low(sub)};
  if (!refused) request.insert(request.end(), buffer.before().begin(), buffer.before().begin() + (count - 1));
  FUZZ_CHECK(Exchanged(result, ex, refused, request));
  if (result != 0) {
    FUZZ_CHECK(buffer.Untouched());
    return;
  }
  const Bytes& reply = ex[0].received;
  const Bytes counted = WithAt(buffer.before(), 0, Bytes{static_cast<std::uint8_t>(reply.size())});
  FUZZ_CHECK(buffer.bytes() == WithAt(counted, 1, reply));
}

void DownloadPassword(FuzzSession& s) {
  constexpr std::int32_t kKinds[] = {1, 257, 0, 2, -255};
  const std::int32_t kind = s.input().ConsumeBool() ? s.input().PickValueInArray(kKinds) : s.Int();
  const bool null = s.Null();
  CallerBuffer password(null ? 0 : (kind == 1 ? 4 : 6), s.input());
  const int result = KQ_DownloadPSW(s.reader(), kind, password.data());
  Bytes request{Low(kind)};
  PutBytes(request, password);
  FUZZ_CHECK(Exchanged(result, s.TakeExchanges(), null, request) && password.Untouched());
}

// The date functions exchange nothing. A day number and its date agree both
// ways within the 256-year cycle of the year byte.
void Dates(FuzzSession& s) {
  const bool null = s.Null();
  CallerBuffer date(null ? 0 : sizeof(KqDate), 0x5A);
  const std::int32_t day = s.InRange(1, 93504);
  const int result = ::KQ_Datebyte(day, date.As<KqDate>());
  FUZZ_CHECK(result == (null ? 4 : 0));
  if (!null && day >= 1 && day <= 93504) FUZZ_CHECK(::KQ_Daysbyte(date.As<KqDate>()) == day);
  FUZZ_CHECK(::KQ_Daysbyte(nullptr) == 0);
  FUZZ_CHECK(s.TakeExchanges().empty());
}

constexpr Call kCalls[] = {
    [](FuzzSession& s) { NoData(s, KQ_EndTrans); },
    [](FuzzSession& s) { NoData(s, KQ_SysInit); },
    GetTime,
    SetTime,
    CurrentPosition,
    [](FuzzSession& s) { DayPosition(s, true); },
    [](FuzzSession& s) { DayPosition(s, false); },
    ReadRecord,
    Display,
    PassThrough,
    DownloadPassword,
    Dates,
};

}  // namespace

std::span<const Call> AttendanceCalls() { return kCalls; }

}  // namespace kulve::fuzz
