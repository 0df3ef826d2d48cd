// SPDX-License-Identifier: MIT
#include "mifare/mifare_transact.h"

#include <algorithm>
#include <array>

#include "link/link.h"
#include "link/transact.h"

namespace kulve {
namespace {

// The request half of the command block, as the export left it. LinkCom's
// probe overwrites the code and length, so a repeat needs its own copy.
struct SavedRequest {
  std::uint8_t code = 0;
  std::uint8_t length = 0;
  std::array<std::uint8_t, 255> data{};

  explicit SavedRequest(const CommandBlock& block) : code(block.code), length(block.sendLength) {
    std::copy_n(block.sendData.begin(), length, data.begin());
  }
  void PutBack(CommandBlock& block) const {
    block.code = code;
    block.sendLength = length;
    std::copy_n(data.begin(), length, block.sendData.begin());
  }
};

}  // namespace

std::uint8_t MifareTransact(Reader& reader) {
  const SavedRequest request(reader.block);
  std::uint8_t status = Transact(reader);
  for (int round = 0; round < kMifareRelinkRounds && IsLinkFailure(status); ++round) {
    UnLinkCom(reader);
    LinkCom(reader, reader.context.portIndex);  // its result shows in the repeat
    request.PutBack(reader.block);
    status = Transact(reader);
  }
  return status;
}

ReplyView MifareExchange(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send) {
  LoadRequest(reader, code, send);
  MifareTransact(reader);
  return LastReply(reader);
}

}  // namespace kulve
