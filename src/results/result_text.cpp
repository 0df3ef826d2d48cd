// SPDX-License-Identifier: MIT
#include "results/result_text.h"

#include <array>

#include "results/results.h"

namespace kulve {
namespace {

struct Named {
  std::uint8_t value;
  const char* text;
};

constexpr Named kLibraryResults[] = {
    {result::kOk, "ok"},
    {result::kNotForCardType, "not available for the selected card type, or the card's answer failed a check"},
    {result::kBadArgument, "argument out of range (nothing sent)"},
    {result::kWrongCard, "the inserted card does not match the selected card type"},
    {result::kT1NotAnAnswer, "the card answered with a T=1 block that is not an answer (a card that asks for more time or chains "
     "its answer wants the full mode: SetChipProtocolMode(1), kulve apdu --full)"},
    {result::kT1ExchangeLost, "the T=1 exchange with the card was lost (retransmitted twice, then resynchronised)"},
    {result::kResponseTooLong, "the card's answer is larger than the response buffer"},
    {result::kT1Aborted, "the card aborted the T=1 exchange (S(ABORT))"},
    {result::kCardMustBeReset, "the card did not answer three S(RESYNCH), or left the reader silent in three calls in a row: "
     "reset it before the next command"},
    {result::kAnswerTooLarge, "the card's answer exceeds 65,538 bytes"},
    {result::kCallTimeBound, "the card kept the call waiting past its 300 s bound"},
    {result::kNoChange, "no card came or went in the slots watched before the timeout"},
};

// One entry per letter 'e'..'s', in order.
constexpr const char* kLinkSteps[] = {
    "the start byte '#' could not be written (2 tries)",
    "no answer to the start byte",
    "the answer to the start byte was not 'E' (wrong device or line speed)",
    "the command code could not be written",
    "the send length could not be written",
    "not all request data could be written",
    "the request checksum could not be written (2 tries)",
    "the reader did not acknowledge the command",
    "the acknowledgement byte was not 'g'",
    "the go byte 0x89 could not be written",
    "no status byte from the reader",
    "no reply length byte from the reader",
    "the reply data was shorter than announced",
    "no reply checksum byte",
    "the reply checksum did not match",
};
static_assert(std::size(kLinkSteps) == link_failure::kLast - link_failure::kFirst + 1);

// "link failure 'f': no answer to the start byte", built once at compile time.
constexpr std::size_t kLinkTextSize = 96;
constexpr std::size_t kStatusTextSize = 20;

struct Texts {
  char link[std::size(kLinkSteps)][kLinkTextSize]{};
  char status[256][kStatusTextSize]{};
};

constexpr void Append(char* out, std::size_t& at, std::size_t size, const char* text) {
  while (*text != '\0' && at + 1 < size) out[at++] = *text++;
  out[at] = '\0';
}

constexpr Texts BuildTexts() {
  Texts t;
  constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < std::size(kLinkSteps); ++i) {
    std::size_t at = 0;
    const char letter[] = {static_cast<char>(link_failure::kFirst + i), '\0'};
    Append(t.link[i], at, kLinkTextSize, "link failure '");
    Append(t.link[i], at, kLinkTextSize, letter);
    Append(t.link[i], at, kLinkTextSize, "': ");
    Append(t.link[i], at, kLinkTextSize, kLinkSteps[i]);
  }
  for (std::size_t v = 0; v < 256; ++v) {
    std::size_t at = 0;
    const char hex[] = {kHex[v >> 4], kHex[v & 15], '\0'};
    Append(t.status[v], at, kStatusTextSize, "reader status 0x");
    Append(t.status[v], at, kStatusTextSize, hex);
  }
  return t;
}

constexpr Texts kTexts = BuildTexts();

}  // namespace

const char* LinkStepText(std::uint8_t letter) {
  if (!IsLinkFailure(letter)) return nullptr;
  return kLinkSteps[letter - link_failure::kFirst];
}

const char* ReaderStatusText(std::uint8_t status) { return kTexts.status[status]; }

const char* ResultText(int result) {
  if (result == result::kInCallback) return "refused: called from inside this reader's own trace callback (nothing done)";
  if (result < 0 || result > 255) return "unknown result";
  const auto value = static_cast<std::uint8_t>(result);
  for (const Named& named : kLibraryResults) {
    if (named.value == value) return named.text;
  }
  if (IsLinkFailure(value)) return kTexts.link[value - link_failure::kFirst];
  return kTexts.status[value];
}

}  // namespace kulve
