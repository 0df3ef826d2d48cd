// SPDX-License-Identifier: MIT
// RF5550_Init, RF5550_Wake and the RF module query: commands that send a
// password or nothing and hand back at most the module's two bytes.
#include <algorithm>
#include <array>

#include "link/transact.h"
#include "rf5550/command_codes.h"
#include "rf5550/rf5550.h"

namespace kulve {

SecretSpan Rf5550Secrets(std::uint8_t code) {
  switch (code) {
    case rf5550_code::kWriteBlock:
    case rf5550_code::kInit:
    case rf5550_code::kWake:
    case rf5550_code::kReadAfterWake:
    case rf5550_code::kWriteAfterWake: return {0, kRf5550PasswordSize};
    default: return {};
  }
}

int RF5550_Init(Reader& reader, const Rf5550InitRecord* record, const std::uint8_t* password, std::int32_t flag) {
  if (record == nullptr || password == nullptr) return result::kBadArgument;
  // password[0..3], option byte, flag
  std::array<std::uint8_t, kRf5550PasswordSize + 2> send{};
  std::copy_n(password, kRf5550PasswordSize, send.begin());
  send[kRf5550PasswordSize] = Rf5550OptionByte(*record);
  send[kRf5550PasswordSize + 1] = LowByte(flag);
  return Exchange(reader, rf5550_code::kInit, send, Rf5550Secrets(rf5550_code::kInit)).status;
}

int RF5550_Wake(Reader& reader, const std::uint8_t* password) {
  if (password == nullptr) return result::kBadArgument;
  return Exchange(reader, rf5550_code::kWake, std::span(password, kRf5550PasswordSize), Rf5550Secrets(rf5550_code::kWake))
      .status;
}

// One exchange and no relink, unlike the Mifare family's query of the same code.
int RF5550_Mcmno(Reader& reader, std::uint8_t* answer) {
  if (answer == nullptr) return result::kBadArgument;
  const ReplyView reply = Exchange(reader, rf5550_code::kModuleQuery, {});
  if (!reply.Ok()) return reply.status;
  const std::array<std::uint8_t, kRf5550ModuleAnswerSize> bytes{reply.Byte(0), reply.Byte(1), 0, 0};
  std::copy(bytes.begin(), bytes.end(), answer);
  return reply.status;
}

}  // namespace kulve
