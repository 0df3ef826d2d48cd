// SPDX-License-Identifier: MIT
// Command APDUs framed for T=0 and as T=1 I-blocks, and the card's answers
// taken apart, from any input: frames must have the documented layout and a
// good LRC, answers must be read only within the reply (each is copied to a
// heap block of exactly its size) and give back what a block carried.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cpucard/apdu_frame.h"
#include "fuzz/fuzz_session.h"

namespace {

using kulve::fuzz::Bytes;

std::uint8_t Lrc(const std::uint8_t* from, const std::uint8_t* to) {
  std::uint8_t lrc = 0;
  for (const std::uint8_t* b = from; b != to; ++b) lrc ^= *b;
  return lrc;
}

void Frame(FuzzedDataProvider& input) {
  const bool t1 = input.ConsumeBool();
  const auto sequence = input.ConsumeIntegral<std::uint8_t>();
  kulve::CommandApdu apdu;
  for (auto& b : apdu.header) b = input.ConsumeIntegral<std::uint8_t>();
  apdu.le = input.ConsumeIntegral<std::uint8_t>();
  const Bytes data = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, kulve::kMaxCommandData));
  apdu.data = data;
  const kulve::FramedCommand framed = kulve::FrameCommand(apdu, t1, sequence);

  Bytes command(apdu.header.begin(), apdu.header.end());
  command.push_back(data.empty() ? apdu.le : static_cast<std::uint8_t>(data.size()));
  command.insert(command.end(), data.begin(), data.end());
  const auto block = framed.View();
  if (!t1) {
    FUZZ_CHECK(std::equal(block.begin(), block.end(), command.begin(), command.end()));
    return;
  }
  FUZZ_CHECK(block.size() == command.size() + 4);
  FUZZ_CHECK(block[0] == 0x00 && block[1] == ((sequence & 1) != 0 ? 0x40 : 0x00) && block[2] == command.size());
  FUZZ_CHECK(std::equal(command.begin(), command.end(), block.begin() + 3));
  FUZZ_CHECK(block.back() == Lrc(block.data(), block.data() + block.size() - 1));
}

// Any reply: the status word sits at its end, the data between prologue and
// status word, and nothing outside the reply is touched.
void AnyAnswer(FuzzedDataProvider& input) {
  const bool t1 = input.ConsumeBool();
  const Bytes reply = input.ConsumeRemainingBytes<std::uint8_t>();
  const auto answer = kulve::ReadCardAnswer(reply, t1);
  const std::size_t trailer = t1 ? 3 : 2;
  if (reply.size() < trailer) {
    FUZZ_CHECK(!answer);
    return;
  }
  FUZZ_CHECK(answer);
  const std::size_t sw = reply.size() - trailer;
  FUZZ_CHECK(answer->statusWord == (reply[sw] << 8 | reply[sw + 1]));
  const std::size_t from = t1 ? 3 : 0;
  const std::size_t n = sw > from ? std::min<std::size_t>(sw - from, kulve::kMaxResponseData) : 0;
  FUZZ_CHECK(answer->data.size() == n);
  if (n > 0) FUZZ_CHECK(answer->data.data() == reply.data() + from);
}

// A card's T=1 block built from data and a status word reads back as them.
void BlockAnswer(FuzzedDataProvider& input) {
  const auto sw = input.ConsumeIntegral<std::uint16_t>();
  const Bytes data = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 249));
  Bytes block{0x00, input.ConsumeIntegral<std::uint8_t>(), static_cast<std::uint8_t>(data.size() + 2)};
  block.insert(block.end(), data.begin(), data.end());
  block.push_back(static_cast<std::uint8_t>(sw >> 8));
  block.push_back(static_cast<std::uint8_t>(sw));
  block.push_back(Lrc(block.data(), block.data() + block.size()));
  const auto answer = kulve::ReadCardAnswer(block, true);
  FUZZ_CHECK(answer && answer->statusWord == sw);
  FUZZ_CHECK(std::equal(answer->data.begin(), answer->data.end(), data.begin(), data.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: Frame(input); break;
    case 1: AnyAnswer(input); break;
    default: BlockAnswer(input); break;
  }
  return 0;
}
