// SPDX-License-Identifier: MIT
#include "link/relink.h"

#include <algorithm>
#include <array>

#include "link/link.h"
#include "link/transact.h"
#include "results/results.h"

namespace kulve {
namespace {

// The request half of the command block, as the caller left it. LinkCom's
// probe overwrites the code and length, so a repeat needs its own copy.
struct SavedRequest {
  std::uint8_t code = 0;
  std::uint8_t length = 0;
  std::array<std::uint8_t, kMaxRequestBytes> data{};
  SecretSpan secret;

  explicit SavedRequest(const CommandBlock& block)
      : code(block.code), length(block.sendLength), secret(block.secret) {
    std::copy_n(block.sendData.begin(), length, data.begin());
  }
  void PutBack(Link& link) const { LoadRequest(link, code, std::span(data.data(), length), secret); }
};

}  // namespace

bool WantsRelink(const ReplyView& reply) { return reply.lineFailed || IsLinkFailure(reply.status); }

std::uint8_t TransactRelinking(Link& link, int rounds) {
  const SavedRequest request(link.block);
  std::uint8_t status = Transact(link);
  for (int round = 0; round < rounds && WantsRelink(LastReply(link)); ++round) {
    UnLinkCom(link);
    const bool linked = LinkCom(link, link.context.portIndex) == 0;  // its result shows in the repeat
    const LinkError whyNot = link.context.lastError;
    request.PutBack(link);
    status = Transact(link);
    // A port that would not open fails the repeat with "no port is open";
    // the reason the open gave (path gone, connection refused) says more.
    if (!linked && !link.context.port) link.context.lastError = whyNot;
  }
  return status;
}

ReplyView ExchangeRelinking(Link& link, std::uint8_t code, std::span<const std::uint8_t> send, int rounds,
                            SecretSpan secret) {
  LoadRequest(link, code, send, secret);
  TransactRelinking(link, rounds);
  return LastReply(link);
}

}  // namespace kulve
