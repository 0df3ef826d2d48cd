// SPDX-License-Identifier: MIT
// Link, reader housekeeping, DES and the diagnostics extensions.
#include <cstring>
#include <string>

#include "des/des.h"
#include "fuzz/calls.h"
#include "housekeeping/housekeeping.h"
#include "link/link.h"
#include "results/result_text.h"

namespace kulve::fuzz {
namespace {

constexpr std::int32_t kNoCardSelected = 255;

void Simple(FuzzSession& s, int (*call)(Reader&)) {
  const int result = call(s.reader());
  FUZZ_CHECK(OneExchange(result, s.TakeExchanges()));
}

void Select(FuzzSession& s) {
  const std::int32_t type = s.Int();
  const std::int32_t before = s.reader().cardType;
  const int result = SelectCard(s.reader(), type);
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(OneExchange(result, ex));
  FUZZ_CHECK(ex[0].sent == Bytes{Low(type)});
  FUZZ_CHECK(s.reader().cardType == (result == 0 ? type : before));
}

void InquireState(FuzzSession& s) {
  CallerBuffer type(4, 0xC7), state(4, 0xC7), power(4, 0xC7);
  const std::int32_t before = s.reader().cardType;
  const int result = Inquire(s.reader(), type.As<std::int32_t>(), state.As<std::int32_t>(), power.As<std::int32_t>());
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(OneExchange(result, ex));
  if (result != 0) {
    FUZZ_CHECK(type.Untouched() && state.Untouched() && power.Untouched());
    FUZZ_CHECK(s.reader().cardType == before);
    return;
  }
  // Bytes the reply did not carry read as 0.
  const Bytes reply = ex[0].Padded(3);
  FUZZ_CHECK(*type.As<std::int32_t>() == reply[0] && *state.As<std::int32_t>() == reply[1] &&
             *power.As<std::int32_t>() == reply[2]);
  FUZZ_CHECK(s.reader().cardType == reply[0]);
}

void Identity(FuzzSession& s, bool deviceNumber) {
  CallerBuffer out(8, 0x5A);
  const int result = deviceNumber ? GetDeviceNumber(s.reader(), out.data()) : DEVVER(s.reader(), out.data());
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(OneExchange(result, ex));
  if (result == 0) {
    FUZZ_CHECK(out.bytes() == ex[0].Padded(8));
  } else {
    FUZZ_CHECK(deviceNumber ? out.AllZero() : out.Untouched());
  }
}

void Alarm(FuzzSession& s) {
  const std::int32_t mode = s.InRange(1, 7), a = s.Int(), b = s.Int(), c = s.Int();
  const int result = ALARM(s.reader(), mode, a, b, c);
  const Exchanges ex = s.TakeExchanges();
  if (mode < 1 || mode > 7) {
    FUZZ_CHECK(result == 4 && ex.empty());
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex));
  FUZZ_CHECK(ex[0].sent == (Bytes{Low(mode), Low(a), Low(b), Low(c)}));
}

// LinkCom: a probe at 57600, and one at 9600 when that fails.
void Relink(FuzzSession& s) {
  const std::int32_t index = s.InRange(0, 9);
  const int result = LinkCom(s.reader(), index);
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(s.reader().cardType == kNoCardSelected);
  if (index < 0 || index > 9) {
    FUZZ_CHECK(result == 1 && ex.empty() && ComBaudRate(s.reader()) == 0);
  } else {
    FUZZ_CHECK(!ex.empty() && ex.size() <= 2);
    for (const SeenExchange& probe : ex) FUZZ_CHECK(probe.code == 0 && probe.sent.empty());
    FUZZ_CHECK((result == 0) == ex.back().Ok());
    FUZZ_CHECK(ex.size() == 1 || !ex.front().Ok());
    const int speed = result != 0 ? 0 : (ex.size() == 1 ? kFastSpeed : kSlowSpeed);
    FUZZ_CHECK(ComBaudRate(s.reader()) == speed);
  }
  if (result != 0) OpenPort(s.reader(), 0, kFastSpeed);  // keep a line to fuzz over
}

void AutoLink(FuzzSession& s) {
  const bool null = s.Null();
  CallerBuffer index(null ? 0 : 4, s.input());
  const std::int32_t asked = null ? 0 : *index.As<std::int32_t>();
  const int result = AutoLinkCom(s.reader(), index.As<std::int32_t>());
  const Exchanges ex = s.TakeExchanges();
  if (null) {
    FUZZ_CHECK(result == 4 && ex.empty());
    return;
  }
  // Every port opens on this reader, so there is always a probe to report.
  FUZZ_CHECK(!ex.empty() && result == ex.back().status);
  if (result == 0) {
    const std::int32_t found = *index.As<std::int32_t>();
    FUZZ_CHECK(found == 0 || found == 1);
    // The port named first is tried first.
    FUZZ_CHECK(found == (asked == 1 ? 1 : 0) || !ex.front().Ok());
  } else {
    FUZZ_CHECK(index.Untouched());
    OpenPort(s.reader(), 0, kFastSpeed);
  }
}

void Unlink(FuzzSession& s) {
  FUZZ_CHECK(UnLinkCom(s.reader()) == 0);  // the session always has a port open
  FUZZ_CHECK(UnLinkCom(s.reader()) == 1);
  FUZZ_CHECK(s.TakeExchanges().empty());
  FUZZ_CHECK(PowerOn(s.reader()) == KULVE_LINK_HASH_NOT_WRITTEN);  // no port: the start byte cannot go out
  s.TakeExchanges();
  OpenPort(s.reader(), 0, kFastSpeed);
}

void PortPath(FuzzSession& s) {
  const std::int32_t index = s.InRange(0, 9);
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
  FUZZ_CHECK(GetLinkOsError(s.reader()) >= 0);  // errno: never negative
  // A level outside 0..3 changes nothing: the session's trace keeps running.
  const std::int32_t level = s.Int();
  if (level < 0 || level > 3) FUZZ_CHECK(SetTrace(s.reader(), level, nullptr, nullptr) == 4);
  FUZZ_CHECK(s.reader().trace.Level() == 2);
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

void Version(FuzzSession& s) {
  FUZZ_CHECK(::DLLVER() == kLibraryVersion);
  FUZZ_CHECK(s.TakeExchanges().empty());
}

constexpr Call kCalls[] = {
    [](FuzzSession& s) { Simple(s, PowerOn); },
    [](FuzzSession& s) { Simple(s, PowerOff); },
    [](FuzzSession& s) { Simple(s, SetStandby); },
    Select,
    InquireState,
    [](FuzzSession& s) { Identity(s, true); },
    [](FuzzSession& s) { Identity(s, false); },
    Alarm,
    Relink,
    AutoLink,
    Unlink,
    PortPath,
    Words,
    Des,
    Version,
};

}  // namespace

std::span<const Call> LinkCalls() { return kCalls; }

}  // namespace kulve::fuzz
