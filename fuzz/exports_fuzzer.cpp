// SPDX-License-Identifier: MIT
// Every device function of the library against a reader whose answers come
// from the fuzz input. The input picks the function, its arguments (edges of
// every range over-represented) and every reply. Each call gets caller
// buffers of exactly their documented size on the heap, and its result and
// outputs are checked against what the header promises for the replies given.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "des/des.h"
#include "fuzz/fuzz_session.h"
#include "link/housekeeping.h"
#include "link/link.h"
#include "link/result_text.h"
#include "memcard/memcard.h"

namespace kulve::fuzz {
namespace {

using Exchanges = std::vector<std::uint8_t>;

// A count-sized buffer the fuzzer can afford; a count beyond that gets one
// byte, which is only safe if the library refuses the count (ASan says so).
std::size_t Affordable(std::int32_t count) {
  return count > 0 && count <= (1 << 20) ? static_cast<std::size_t>(count) : 1;
}

bool IsLibraryCode(int result) { return result == 3 || result == 4 || result == 19; }

// --- link and housekeeping --------------------------------------------------

void Simple(FuzzSession& s, int (*call)(Reader&)) {
  const int result = call(s.reader());
  FUZZ_CHECK(ResultFollowsExchanges(result, s.TakeExchanges()));
}

void Select(FuzzSession& s) {
  const std::int32_t type = s.Int();
  const std::int32_t before = s.reader().context.cardType;
  const int result = SelectCard(s.reader(), type);
  FUZZ_CHECK(ResultFollowsExchanges(result, s.TakeExchanges()));
  FUZZ_CHECK(s.reader().context.cardType == (result == 0 ? type : before));
}

void InquireState(FuzzSession& s) {
  std::int32_t values[3] = {-7, -7, -7};
  const int result = Inquire(s.reader(), &values[0], &values[1], &values[2]);
  FUZZ_CHECK(ResultFollowsExchanges(result, s.TakeExchanges()));
  for (std::int32_t v : values) FUZZ_CHECK(result == 0 ? (v >= 0 && v <= 255) : v == -7);
}

void Identity(FuzzSession& s, bool deviceNumber) {
  CallerBuffer out(8, 0x5A);
  const int result = deviceNumber ? GetDeviceNumber(s.reader(), out.data()) : DEVVER(s.reader(), out.data());
  FUZZ_CHECK(ResultFollowsExchanges(result, s.TakeExchanges()));
  if (result != 0) FUZZ_CHECK(deviceNumber ? out.AllZero() : out.Untouched());
}

void Alarm(FuzzSession& s) {
  const std::int32_t mode = s.Int();
  const int result = ALARM(s.reader(), mode, s.Int(), s.Int(), s.Int());
  const Exchanges ex = s.TakeExchanges();
  if (mode < 1 || mode > 7) {
    FUZZ_CHECK(result == 4 && ex.empty());
  } else {
    FUZZ_CHECK(ResultFollowsExchanges(result, ex));
  }
}

void Relink(FuzzSession& s) {
  const std::int32_t index = s.input().ConsumeIntegralInRange<std::int32_t>(-1, 10);
  const int result = LinkCom(s.reader(), index);
  s.TakeExchanges();
  FUZZ_CHECK(result == 0 || result == 1);
  FUZZ_CHECK(ComBaudRate(s.reader()) == (result == 0 ? ComBaudRate(s.reader()) : 0));
  if (result != 0) OpenPort(s.reader(), 0, kFastSpeed);  // keep a line to fuzz over
}

void PortPath(FuzzSession& s) {
  const std::int32_t index = s.Int();
  const std::string path = s.input().ConsumeRandomLengthString(300);
  SetComPortPath(s.reader(), index, path.c_str());
  const std::size_t size = s.input().ConsumeIntegralInRange<std::size_t>(0, 300);
  CallerBuffer out(size, 'k');
  const int result = GetComPortPath(s.reader(), index, reinterpret_cast<char*>(out.data()),
                                    static_cast<std::int32_t>(size));
  if (result == 0) {
    FUZZ_CHECK(std::memchr(out.data(), '\0', size) != nullptr);
  } else {
    FUZZ_CHECK(result == 4 && out.Untouched());
  }
}

void Words(FuzzSession& s) {
  const char* text = ResultText(s.Int());
  FUZZ_CHECK(text != nullptr && text[0] != '\0');
  const std::size_t size = s.input().ConsumeIntegralInRange<std::size_t>(0, 300);
  CallerBuffer out(size, 'k');
  GetLinkError(s.reader(), reinterpret_cast<char*>(out.data()), static_cast<std::int32_t>(size));
  if (size > 0) FUZZ_CHECK(std::memchr(out.data(), '\0', size) != nullptr);
}

void Des(FuzzSession& s) {
  // Any length the library takes is a real buffer here; others must be refused.
  std::int32_t length = s.input().ConsumeBool() ? s.Int() : 8 * s.input().ConsumeIntegralInRange<int>(0, 40);
  if (length % 8 == 0 && length > (1 << 20)) length = 1 << 20;
  CallerBuffer in(Affordable(length), 0x11), key(8, 0x22), out(Affordable(length), 0x33);
  const bool encipher = s.input().ConsumeBool();
  const int result = des::CryptExported(in.data(), key.data(), out.data(), length,
                                        encipher ? des::Direction::kEncipher : des::Direction::kDecipher);
  FUZZ_CHECK(result == 0 || result == 4);
  if (result == 4 || length <= 0) FUZZ_CHECK(out.Untouched());
}

// --- memory cards ---------------------------------------------------------------

using Access = int (*)(Reader&, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::uint8_t*);
using Paged = int (*)(Reader&, std::int32_t, std::int32_t, std::uint8_t*);

// A data-moving call: refused arguments send nothing and touch nothing; a
// success means every piece succeeded.
void CheckAccess(int result, const Exchanges& ex, const CallerBuffer& buffer, bool fillsFirst) {
  if (ex.empty()) {
    FUZZ_CHECK(result == 4);
    FUZZ_CHECK(buffer.Untouched());
    return;
  }
  (void)fillsFirst;
  FUZZ_CHECK(ResultFollowsExchanges(result, ex));
}

void Addressed(FuzzSession& s, Access call, bool fillsFirst) {
  s.reader().context.cardType = s.Int();
  const std::int32_t area = s.Int(), page = s.Int(), offset = s.Int(), count = s.Count();
  CallerBuffer buffer(Affordable(count), 0x5A);
  const int result = call(s.reader(), area, page, offset, count, buffer.data());
  CheckAccess(result, s.TakeExchanges(), buffer, fillsFirst);
}

void PagedAccess(FuzzSession& s, Paged call, bool fillsFirst) {
  s.reader().context.cardType = s.Int();
  const std::int32_t address = s.Int(), count = s.Count();
  CallerBuffer buffer(Affordable(count), 0x5A);
  const int result = call(s.reader(), address, count, buffer.data());
  CheckAccess(result, s.TakeExchanges(), buffer, fillsFirst);
}

void Verify(FuzzSession& s) {
  s.reader().context.cardType = s.Int();
  const int result = VerifyIC(s.reader());
  const Exchanges ex = s.TakeExchanges();
  if (ex.empty()) {
    FUZZ_CHECK(result == 0 || result == 19);
  } else if (result == 0 || result != ex.back()) {
    FUZZ_CHECK((result == 0 || result == 19) && AllOk(ex));
  }
}

// Security functions: the buffer's documented size is the larger of 4 and the
// bytes sent (6 for erase key 4 of type 16).
void Security(FuzzSession& s) {
  s.reader().context.cardType = s.Int();
  const int which = s.input().ConsumeIntegralInRange<int>(0, 5);
  const std::int32_t number = s.Int();
  std::size_t size = 4;
  if ((which == 0 || which == 2) && number > 4 && number <= 255) size = static_cast<std::size_t>(number);
  if (which == 3) size = 6;
  CallerBuffer code(size, 0x5A), counter(2, 0x5A);
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
  } else if (result != ex.back()) {
    FUZZ_CHECK(result == 3 && which == 2 && AllOk(ex));  // the erase check of a code change
  }
}

void FuseValue(FuzzSession& s) {
  const int result = Fuse(s.reader(), s.Int());
  FUZZ_CHECK(ResultFollowsExchanges(result, s.TakeExchanges()));
}

const std::function<void(FuzzSession&)> kCalls[] = {
    [](FuzzSession& s) { Simple(s, PowerOn); },
    [](FuzzSession& s) { Simple(s, PowerOff); },
    [](FuzzSession& s) { Simple(s, SetStandby); },
    Select,
    InquireState,
    [](FuzzSession& s) { Identity(s, true); },
    [](FuzzSession& s) { Identity(s, false); },
    Alarm,
    Relink,
    PortPath,
    Words,
    Des,
    [](FuzzSession& s) { Addressed(s, ReadCard, false); },
    [](FuzzSession& s) { Addressed(s, WriteCard, false); },
    [](FuzzSession& s) { Addressed(s, EraseCard, true); },
    [](FuzzSession& s) { PagedAccess(s, ReadMemCard, false); },
    [](FuzzSession& s) { PagedAccess(s, WriteMemCard, false); },
    [](FuzzSession& s) { PagedAccess(s, EraseMemCard, true); },
    Verify,
    Security,
    FuseValue,
};

}  // namespace
}  // namespace kulve::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  kulve::fuzz::FuzzSession session(input);
  // A few calls in a row, so a call also meets what earlier ones left behind.
  for (int i = 0; i < 4 && input.remaining_bytes() > 0; ++i) {
    const std::size_t pick = input.ConsumeIntegralInRange<std::size_t>(0, std::size(kulve::fuzz::kCalls) - 1);
    kulve::fuzz::kCalls[pick](session);
    session.Settle();
  }
  return 0;
}
