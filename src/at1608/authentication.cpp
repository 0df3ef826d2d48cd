// SPDX-License-Identifier: MIT
// AT1608_Authentic: the host side of the mutual authentication.
#include <algorithm>
#include <array>

#include "at1608/at1608.h"
#include "at1608/auth_cipher.h"
#include "at1608/command_codes.h"
#include "at1608/reply_rules.h"
#include "link/transact.h"

namespace kulve {
namespace {

// The seed copy, the cells and everything derived from them are cleared on
// every way out of a run, so no secret stays in the process-wide record.
class WipedOnExit {
 public:
  explicit WipedOnExit(At1608AuthState& state) : state_(state) {}
  ~WipedOnExit() {
    for (auto* block : {&state_.cryptogram, &state_.seed, &state_.challenge, &state_.expected, &state_.hostAnswer}) {
      block->fill(0);
    }
    AuthCipher(state_).Reset();
  }
  WipedOnExit(const WipedOnExit&) = delete;
  WipedOnExit& operator=(const WipedOnExit&) = delete;

 private:
  At1608AuthState& state_;
};

// The card's answer follows its attempts byte. Only the bytes the reply holds
// are compared, and never more than the expected answer has: a longer reply
// is judged on its first eight answer bytes.
bool AnswerMatches(const ReplyView& reply, const std::array<std::uint8_t, kAt1608BlockSize>& expected) {
  if (reply.data.size() <= 1) return true;
  const auto answer = reply.data.subspan(1);
  const std::size_t n = std::min(answer.size(), expected.size());
  return std::equal(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(n), expected.begin());
}

}  // namespace

int AT1608_Authentic(Reader& reader, std::uint8_t* challenge, const std::uint8_t* seed) {
  if (challenge == nullptr || seed == nullptr) return result::kBadArgument;
  At1608AuthState& work = reader.at1608Auth;
  const WipedOnExit wipe(work);

  const int read = AT1608_Read(reader, kAt1608ConfigZone, kAt1608CryptogramAddress,
                               static_cast<std::int32_t>(kAt1608BlockSize), work.cryptogram.data());
  if (read != 0) return read;
  std::copy_n(challenge, kAt1608BlockSize, work.challenge.begin());
  std::copy_n(seed, kAt1608BlockSize, work.seed.begin());
  AuthCipher(work).Run();

  std::array<std::uint8_t, 2 * kAt1608BlockSize> send{};
  std::copy(work.challenge.begin(), work.challenge.end(), send.begin());
  std::copy(work.hostAnswer.begin(), work.hostAnswer.end(), send.begin() + kAt1608BlockSize);
  const ReplyView reply = Exchange(reader, at1608_code::kAuthenticate, send);

  if (const auto count = AttemptsCarried(reply)) {
    challenge[0] = *count;
    challenge[1] = static_cast<std::uint8_t>('0' + *count);
  }
  if (!reply.Ok()) return reply.status;
  return AnswerMatches(reply, work.expected) ? 0 : result::kNotForCardType;
}

}  // namespace kulve
