// SPDX-License-Identifier: MIT
#include "mifare/mifare_transact.h"

#include "link/relink.h"
#include "mifare/secret_bytes.h"

namespace kulve {

std::uint8_t MifareTransact(Reader& reader) { return TransactRelinking(reader, kMifareRelinkRounds); }

ReplyView MifareExchange(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send) {
  return ExchangeRelinking(reader, code, send, kMifareRelinkRounds, MifareSecrets(code, send));
}

}  // namespace kulve
