// SPDX-License-Identifier: MIT
// AT88SC1608: zones, passwords, fuse, reset and the authentication, with the
// attempts byte decoded only from a reply of this call.
#include <algorithm>
#include <array>
#include <optional>

#include "at1608/at1608.h"
#include "at1608/auth_cipher.h"
#include "fuzz/calls.h"
#include "results/results.h"

namespace kulve::fuzz {
namespace {

constexpr std::size_t kBlock = 8;

// n one-bits from the top, then zero-bits: n attempts left.
std::optional<std::uint8_t> AttemptsOf(const SeenExchange& e) {
  if (IsLinkFailure(e.status) || e.received.empty()) return std::nullopt;
  for (unsigned n = 0; n <= 8; ++n) {
    if (e.received[0] == static_cast<std::uint8_t>(0xFF00u >> n)) return static_cast<std::uint8_t>(n);
  }
  return std::nullopt;
}

bool ZoneRequestValid(std::int32_t zone, std::int32_t address, std::int32_t length, bool null) {
  return zone >= 0 && zone <= 8 && address >= 0 && address <= 255 && length >= 0 && length <= 160 &&
         (length == 0 || !null);
}

void Zone(FuzzSession& s, bool write) {
  const std::int32_t zone = s.InRange(0, 8), address = s.InRange(0, 255), length = s.InRange(0, 160);
  const bool null = s.Null();
  // A length the call must refuse gets one byte: ASan then tells if it is used.
  const std::size_t size = null ? 0 : (length > 0 && length <= 160 ? static_cast<std::size_t>(length) : 1);
  CallerBuffer buffer(size, s.input());
  const int result = write ? AT1608_Write(s.reader(), zone, address, length, buffer.data())
                           : AT1608_Read(s.reader(), zone, address, length, buffer.data());
  const Exchanges ex = s.TakeExchanges();
  if (!ZoneRequestValid(zone, address, length, buffer.data() == nullptr)) {
    FUZZ_CHECK(result == 4 && ex.empty() && buffer.Untouched());
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex));
  Bytes request{Low(zone), Low(address), Low(length)};
  if (write && length > 0) PutBytes(request, buffer);
  FUZZ_CHECK(ex[0].sent == request);
  if (!write && result == 0 && length > 0) {
    FUZZ_CHECK(buffer.bytes() == ex[0].Padded(static_cast<std::size_t>(length)));
  } else {
    FUZZ_CHECK(buffer.Untouched());
  }
}

void Password(FuzzSession& s) {
  const std::int32_t index = s.InRange(0, 15);
  const bool null = s.Null();
  CallerBuffer password(null ? 0 : 4, s.input());
  const int result = AT1608_Psw(s.reader(), index, password.data());
  const Exchanges ex = s.TakeExchanges();
  if (index < 0 || index > 15 || null) {
    FUZZ_CHECK(result == 4 && ex.empty() && password.Untouched());
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex));
  const Bytes& p = password.before();
  FUZZ_CHECK(ex[0].sent == (Bytes{Low(index), p[0], p[1], p[2]}));
  Bytes expected = result == 0 ? ex[0].Padded(4) : Bytes(4, 0);
  expected[0] = AttemptsOf(ex[0]).value_or(p[0]);
  FUZZ_CHECK(password.bytes() == expected);
}

void Authenticate(FuzzSession& s) {
  const bool nullChallenge = s.Null(), nullSeed = s.Null();
  CallerBuffer challenge(nullChallenge ? 0 : kBlock, s.input()), seed(nullSeed ? 0 : kBlock, s.input());
  const int result = AT1608_Authentic(s.reader(), challenge.data(), seed.data());
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(seed.Untouched());
  if (nullChallenge || nullSeed) {
    FUZZ_CHECK(result == 4 && ex.empty() && challenge.Untouched());
    return;
  }
  // Nothing of the run stays behind in the library.
  const At1608AuthState& left = s.reader().at1608Auth;
  for (const auto* block : {&left.cryptogram, &left.seed, &left.challenge, &left.expected, &left.hostAnswer}) {
    FUZZ_CHECK(std::all_of(block->begin(), block->end(), [](std::uint8_t b) { return b == 0; }));
  }
  FUZZ_CHECK(!ex.empty() && ex[0].sent == (Bytes{kAt1608ConfigZone, kAt1608CryptogramAddress, kBlock}));
  if (!ex[0].Ok()) {
    FUZZ_CHECK(OneExchange(result, ex) && challenge.Untouched());
    return;
  }
  FUZZ_CHECK(ex.size() == 2);
  // The answers this cryptogram, challenge and seed give.
  At1608AuthState work{};
  const Bytes cryptogram = ex[0].Padded(kBlock);
  std::copy_n(cryptogram.begin(), kBlock, work.cryptogram.begin());
  std::copy_n(challenge.before().begin(), kBlock, work.challenge.begin());
  std::copy_n(seed.before().begin(), kBlock, work.seed.begin());
  AuthCipher(work).Run();
  Bytes request = challenge.before();
  request.insert(request.end(), work.hostAnswer.begin(), work.hostAnswer.end());
  FUZZ_CHECK(ex[1].sent == request);

  Bytes expected = challenge.before();
  if (const auto n = AttemptsOf(ex[1])) {
    expected[0] = *n;
    expected[1] = static_cast<std::uint8_t>('0' + *n);
  }
  FUZZ_CHECK(challenge.bytes() == expected);
  if (!ex[1].Ok()) {
    FUZZ_CHECK(result == ex[1].status);
    return;
  }
  const Bytes& r = ex[1].received;
  // The answer bytes after the attempts byte, at most eight; none to compare
  // is taken as the reader's acceptance.
  bool match = true;
  if (r.size() > 1) {
    const auto n = static_cast<std::ptrdiff_t>(std::min(r.size() - 1, kBlock));
    match = std::equal(r.begin() + 1, r.begin() + 1 + n, work.expected.begin());
  }
  FUZZ_CHECK(result == (match ? 0 : 3));
}

void ReadFuse(FuzzSession& s) {
  const bool null = s.Null();
  CallerBuffer fuse(null ? 0 : 1, 0x5A);
  const int result = AT1608_ReadFuse(s.reader(), fuse.data());
  const Exchanges ex = s.TakeExchanges();
  if (null) {
    FUZZ_CHECK(result == 4 && ex.empty());
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex) && ex[0].sent.empty());
  if (result == 0 && ex[0].received.size() == 1) {
    FUZZ_CHECK(fuse.bytes() == ex[0].received);
  } else {
    FUZZ_CHECK(fuse.Untouched());
  }
}

void Reset(FuzzSession& s) {
  const int result = AT1608_Reset(s.reader());
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(OneExchange(result, ex) && ex[0].sent.empty());
}

constexpr Call kCalls[] = {
    [](FuzzSession& s) { Zone(s, true); },
    [](FuzzSession& s) { Zone(s, false); },
    Password,
    Authenticate,
    ReadFuse,
    Reset,
};

}  // namespace

std::span<const Call> At1608Calls() { return kCalls; }

}  // namespace kulve::fuzz
