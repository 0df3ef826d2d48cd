// SPDX-License-Identifier: MIT
// The library's result vocabulary, taken from the public header so that the
// numbers live in one place. Internal code names results, never bare values.
// Below the link: the exchange, the families and DES all use it.
#pragma once

#include <cstdint>

#include "kulve32.h"

namespace kulve {

namespace result {
inline constexpr std::uint8_t kOk = 0;
inline constexpr std::uint8_t kNotForCardType = KULVE_NOT_FOR_CARD_TYPE;
inline constexpr std::uint8_t kBadArgument = KULVE_BAD_ARGUMENT;
inline constexpr std::uint8_t kWrongCard = KULVE_WRONG_CARD;
inline constexpr std::uint8_t kT1NotAnAnswer = KULVE_T1_NOT_AN_ANSWER;
inline constexpr std::uint8_t kT1ExchangeLost = KULVE_T1_EXCHANGE_LOST;
inline constexpr std::uint8_t kResponseTooLong = KULVE_RESPONSE_TOO_LONG;
inline constexpr std::uint8_t kT1Aborted = KULVE_T1_ABORTED;
inline constexpr std::uint8_t kCardMustBeReset = KULVE_CARD_MUST_BE_RESET;
inline constexpr std::uint8_t kAnswerTooLarge = KULVE_ANSWER_TOO_LARGE;
inline constexpr std::uint8_t kCallTimeBound = KULVE_CALL_TIME_BOUND;
inline constexpr std::uint8_t kNoChange = KULVE_NO_CHANGE;
// Negative, so never a reader's status or a card's status word.
inline constexpr int kInCallback = KULVE_IN_CALLBACK;
}  // namespace result

// The link-failure letters: each names the step of the frame that failed.
namespace link_failure {
inline constexpr std::uint8_t kHashNotWritten = KULVE_LINK_HASH_NOT_WRITTEN;   // 'e'
inline constexpr std::uint8_t kNoAnswer = KULVE_LINK_NO_ANSWER;                // 'f'
inline constexpr std::uint8_t kBadAnswer = KULVE_LINK_BAD_ANSWER;              // 'g'
inline constexpr std::uint8_t kCodeNotWritten = KULVE_LINK_CODE_NOT_WRITTEN;   // 'h'
inline constexpr std::uint8_t kLengthNotWritten = KULVE_LINK_LENGTH_NOT_WRITTEN;  // 'i'
inline constexpr std::uint8_t kDataNotWritten = KULVE_LINK_DATA_NOT_WRITTEN;   // 'j'
inline constexpr std::uint8_t kCheckNotWritten = KULVE_LINK_CHECK_NOT_WRITTEN;  // 'k'
inline constexpr std::uint8_t kNoAck = KULVE_LINK_NO_ACK;                      // 'l'
inline constexpr std::uint8_t kBadAck = KULVE_LINK_BAD_ACK;                    // 'm'
inline constexpr std::uint8_t kGoNotWritten = KULVE_LINK_GO_NOT_WRITTEN;       // 'n'
inline constexpr std::uint8_t kNoStatus = KULVE_LINK_NO_STATUS;                // 'o'
inline constexpr std::uint8_t kNoLength = KULVE_LINK_NO_LENGTH;                // 'p'
inline constexpr std::uint8_t kShortReply = KULVE_LINK_SHORT_REPLY;            // 'q'
inline constexpr std::uint8_t kNoChecksum = KULVE_LINK_NO_CHECKSUM;            // 'r'
inline constexpr std::uint8_t kBadChecksum = KULVE_LINK_BAD_CHECKSUM;          // 's'
inline constexpr std::uint8_t kFirst = kHashNotWritten;
inline constexpr std::uint8_t kLast = kBadChecksum;
}  // namespace link_failure

// True for the statuses 'e'..'s' that name a failed step of the frame. A
// reader status of the same value cannot be told apart and counts too.
constexpr bool IsLinkFailure(std::uint8_t status) {
  return status >= link_failure::kFirst && status <= link_failure::kLast;
}

}  // namespace kulve
