// SPDX-License-Identifier: MIT
#include "cpucard/t0_transport.h"

#include <algorithm>
#include <utility>

#include "cpucard/card_timing.h"
#include "cpucard/secret_apdu.h"
#include "link/transact.h"
#include "results/results.h"

namespace kulve {
namespace {

constexpr std::uint8_t kMoreData = 0x61;
constexpr std::uint8_t kWrongLe = 0x6C;
constexpr std::uint8_t kGetResponse = 0xC0;
// 65,536 bytes come in 260 GET RESPONSEs of 253; a card that keeps asking
// for more rounds than this is not answering.
constexpr std::size_t kMaxRounds = 520;
// The most a GET RESPONSE asks for: its data and SW fill one reader frame.
constexpr std::size_t kMostPerRound = kReaderFrameLimit - 2;

}  // namespace

FullAnswer TransmitT0(Reader& reader, ChipSlot slot, std::span<const std::uint8_t> apdu) {
  FullAnswer answer;
  const ChipSlotProtocol& st = reader.chipProtocol.slots[static_cast<std::size_t>(slot)];
  const CardCall call;
  // The command as T=0 carries it: header and P3, then any data (Le of a
  // case 4 command is not sent: the card announces its answer with 61xx).
  std::vector<std::uint8_t> command(apdu.begin(), apdu.begin() + std::min<std::size_t>(apdu.size(), 5));
  bool expectsData = false;
  if (apdu.size() == 4) {
    command.push_back(0);
  } else if (apdu.size() == 5) {
    expectsData = true;
  } else {
    const std::size_t lc = apdu[4];
    if (lc == 0 || (apdu.size() != 5 + lc && apdu.size() != 6 + lc) || 5 + lc > kReaderFrameLimit) {
      answer.result = result::kBadArgument;
      return answer;
    }
    command.insert(command.end(), apdu.begin() + 5, apdu.begin() + 5 + static_cast<std::ptrdiff_t>(lc));
  }
  answer.firstSent = command;
  // The data is sent whole, at the same place, so its range holds for the first round.
  const ApduRange secretData = SecretData(command);
  SecretSpan secret{secretData.from, secretData.count};

  std::vector<std::uint8_t> data;
  bool repeated = false;
  for (std::size_t round = 0; round < kMaxRounds; ++round) {
    if (call.Expired()) {
      answer.result = result::kCallTimeBound;
      return answer;
    }
    const ReplyView reply = call.Exchange(reader, CodesOf(slot).apdu, command, T0CommandWaitMs(st, command.size()),
                                           std::exchange(secret, {}));
    if (!reply.Ok()) {
      answer.result = reply.status;
      return answer;
    }
    if (reply.data.size() < 2) {
      answer.result = link_failure::kShortReply;
      return answer;
    }
    const std::size_t n = reply.data.size();
    const std::uint8_t sw1 = reply.data[n - 2], sw2 = reply.data[n - 1];
    if (sw1 == kWrongLe && expectsData && !repeated && n == 2) {
      command[4] = sw2;  // the same command with the Le the card names
      repeated = true;
      continue;
    }
    if (data.size() + n - 2 > kMaxFullAnswer - 2) {
      answer.result = result::kAnswerTooLarge;
      return answer;
    }
    data.insert(data.end(), reply.data.begin(), reply.data.end() - 2);
    // 61xx after data too: the card has more, and this round's data stays.
    if (sw1 == kMoreData) {
      const std::size_t announced = sw2 == 0 ? 256 : sw2;
      command = {0x00, kGetResponse, 0x00, 0x00, static_cast<std::uint8_t>(std::min(announced, kMostPerRound))};
      expectsData = true;
      repeated = false;
      continue;
    }
    answer.bytes = std::move(data);
    answer.bytes.push_back(sw1);
    answer.bytes.push_back(sw2);
    answer.result = sw1 << 8 | sw2;
    return answer;
  }
  answer.result = result::kT1ExchangeLost;
  return answer;
}

}  // namespace kulve
