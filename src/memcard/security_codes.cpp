// SPDX-License-Identifier: MIT
// Security codes, erase keys and zone codes of protected memory cards.
#include <algorithm>
#include <array>

#include "link/transact.h"
#include "memcard/card_types.h"
#include "memcard/command_codes.h"
#include "memcard/memcard.h"
#include "memcard/secret_addresses.h"

namespace kulve {
namespace {

constexpr std::int32_t kMaxSendLength = 255;
constexpr std::size_t kZonedCodeLength = 2;

// Documented size of a code buffer that carries `length` code bytes.
std::size_t CodeBufferSize(std::int32_t length) {
  return std::max(static_cast<std::size_t>(length), kSecretBufferSize);
}

// Zoned cards hand the reply back even when the reader refuses, so a refusal
// can carry data. After a link failure the reply area holds stale bytes of
// some earlier exchange, which are not handed out.
void CopyUnlessLinkFailed(const ReplyView& reply, std::uint8_t* out, std::size_t limit) {
  if (!IsLinkFailure(reply.status)) reply.CopyTo(out, limit);
}

// Every request goes out with its secret bytes marked for the trace, by what
// they are (secret_addresses.h).
ReplyView Send(Reader& reader, std::uint8_t command, std::span<const std::uint8_t> send) {
  return Exchange(reader, command, send, MemcardSecrets(TraitsOf(reader.cardType), command, send));
}

ReplyView SendCode(Reader& reader, std::uint8_t command, std::span<const std::uint8_t> code) {
  return Send(reader, command, code);
}

ReplyView SendWithPrefix(Reader& reader, std::uint8_t command, std::uint8_t prefix, const std::uint8_t* bytes,
                            std::size_t count) {
  std::array<std::uint8_t, 1 + kMaxSendLength> send{};
  send[0] = prefix;
  std::copy_n(bytes, count, send.begin() + 1);
  return Send(reader, command, std::span(send.data(), 1 + count));
}

// Replaces the 2-byte code kept in card memory: erase the two code bytes,
// check they read 0xFF, write the new code, then read the attempts counter.
// Leaves counter (2 bytes) then the code as written (2 bytes) in `code`.
int ReplaceCardMemoryCode(Reader& reader, const CardTypeTraits& traits, std::uint8_t* code) {
  const std::uint8_t c = traits.codeAddress;
  const std::array<std::uint8_t, 6> erase{kCardMemoryArea, 0, c, 2, 0xFF, 0xFF};
  const ReplyView erased = Send(reader, memcard_code::kErase, erase);
  if (!erased.Ok()) return erased.status;
  if (!std::all_of(erased.data.begin(), erased.data.end(), [](std::uint8_t b) { return b == 0xFF; })) {
    return result::kNotForCardType;
  }
  // WriteCard's one piece (area, address, count, the code).
  const std::array<std::uint8_t, 6> write{kCardMemoryArea, 0, c, 2, code[0], code[1]};
  const ReplyView wrote = Send(reader, memcard_code::kWrite, write);
  if (!wrote.Ok()) return wrote.status;
  std::array<std::uint8_t, 2> written{code[0], code[1]};
  wrote.CopyTo(written.data(), written.size());
  code[2] = written[0];
  code[3] = written[1];
  std::array<std::uint8_t, 2> counter{};
  const int status = ReadCard(reader, kCardMemoryArea, 0, traits.CounterAddress(), 2, counter.data());
  if (status != 0) return status;
  code[0] = counter[0];
  code[1] = counter[1];
  return 0;
}

}  // namespace

int CheckSecret(Reader& reader, std::int32_t length, std::uint8_t* code) {
  const CardTypeTraits& traits = TraitsOf(reader.cardType);
  switch (traits.security) {
    case SecurityModel::kNone:
      return result::kNotForCardType;
    case SecurityModel::kZoned: {
      if (length != static_cast<std::int32_t>(kZonedCodeLength)) return result::kNotForCardType;
      if (code == nullptr) return result::kBadArgument;
      const ReplyView reply = SendCode(reader, memcard_code::kPresentCode, std::span(code, kZonedCodeLength));
      CopyUnlessLinkFailed(reply, code, kSecretBufferSize);
      return reply.status;
    }
    case SecurityModel::kCardMemory: {
      if (length < 0 || length > kMaxSendLength || code == nullptr) return result::kBadArgument;
      const ReplyView reply = SendCode(reader, memcard_code::kPresentCode, std::span(code, static_cast<std::size_t>(length)));
      if (reply.Ok()) {
        // The reader answers code then counter; the caller gets counter then code.
        const std::array<std::uint8_t, 4> swapped{reply.Byte(2), reply.Byte(3), reply.Byte(0), reply.Byte(1)};
        std::copy(swapped.begin(), swapped.end(), code);
      }
      return reply.status;
    }
    case SecurityModel::kPresentationOnly:
    case SecurityModel::kSecurityMemory: {
      if (length < 0 || length > kMaxSendLength || code == nullptr) return result::kBadArgument;
      const ReplyView reply = SendCode(reader, memcard_code::kPresentCode, std::span(code, static_cast<std::size_t>(length)));
      if (reply.Ok()) reply.CopyTo(code, CodeBufferSize(length));
      return reply.status;
    }
  }
  return result::kNotForCardType;
}

int ReadSecret(Reader& reader, std::uint8_t* counter, std::uint8_t* code) {
  const CardTypeTraits& traits = TraitsOf(reader.cardType);
  switch (traits.security) {
    case SecurityModel::kCardMemory: {
      if (counter == nullptr || code == nullptr) return result::kBadArgument;
      std::array<std::uint8_t, 6> bytes{};  // code, counter, and for some types two more
      // ReadCard's one piece.
      const std::array<std::uint8_t, 4> read{kCardMemoryArea, 0, traits.codeAddress, traits.secretReadLength};
      const ReplyView reply = Send(reader, memcard_code::kRead, read);
      if (reply.Ok()) {
        reply.CopyTo(bytes.data(), std::min<std::size_t>(traits.secretReadLength, bytes.size()));
        std::copy_n(bytes.begin(), 2, code);
        std::copy_n(bytes.begin() + 2, 2, counter);
      }
      return reply.status;
    }
    case SecurityModel::kSecurityMemory:
    case SecurityModel::kZoned: {
      if (counter == nullptr || code == nullptr) return result::kBadArgument;
      const std::array<std::uint8_t, 1> send{kSecurityMemoryArea};
      const ReplyView reply = Send(reader, memcard_code::kRead, send);
      if (reply.Ok()) {
        // The security memory starts with the counter byte; the code follows.
        counter[0] = reply.Byte(0);
        counter[1] = 0;
        if (reply.data.size() > 1) ReplyView{reply.status, reply.data.subspan(1)}.CopyTo(code, kSecretBufferSize);
      }
      return reply.status;
    }
    case SecurityModel::kNone:
    case SecurityModel::kPresentationOnly:
      break;
  }
  return result::kNotForCardType;
}

int ModifySecret(Reader& reader, std::int32_t length, std::uint8_t* code) {
  const CardTypeTraits& traits = TraitsOf(reader.cardType);
  switch (traits.security) {
    case SecurityModel::kZoned: {
      if (length != static_cast<std::int32_t>(kZonedCodeLength)) return result::kNotForCardType;
      if (code == nullptr) return result::kBadArgument;
      const ReplyView reply = SendWithPrefix(reader, memcard_code::kWrite, kSecurityMemoryArea, code, kZonedCodeLength);
      if (reply.Ok()) reply.CopyTo(code, kSecretBufferSize);
      return reply.status;
    }
    case SecurityModel::kSecurityMemory: {
      // One send byte goes to the area selector.
      if (length < 0 || length > kMaxSendLength - 1 || code == nullptr) return result::kBadArgument;
      const ReplyView reply =
          SendWithPrefix(reader, memcard_code::kWrite, kSecurityMemoryArea, code, static_cast<std::size_t>(length));
      if (reply.Ok()) reply.CopyTo(code, CodeBufferSize(length));
      return reply.status;
    }
    case SecurityModel::kCardMemory:
      if (code == nullptr) return result::kBadArgument;
      return ReplaceCardMemoryCode(reader, traits, code);
    case SecurityModel::kNone:
    case SecurityModel::kPresentationOnly:
      break;
  }
  return result::kNotForCardType;
}

int CheckEraseSecret(Reader& reader, std::int32_t keyNumber, std::uint8_t* key) {
  const CardTypeTraits& traits = TraitsOf(reader.cardType);
  const std::size_t keyLength = EraseKeyLength(traits, keyNumber);
  if (keyLength == 0) return result::kNotForCardType;
  if (key == nullptr) return result::kBadArgument;
  const ReplyView reply = SendWithPrefix(reader, memcard_code::kPresentEraseKey, LowByte(keyNumber), key, keyLength);
  const std::size_t bufferSize = std::max(keyLength, kSecretBufferSize);
  if (traits.security == SecurityModel::kZoned) {
    CopyUnlessLinkFailed(reply, key, bufferSize);
  } else if (reply.Ok()) {
    reply.CopyTo(key, bufferSize);
  }
  return reply.status;
}

int CheckZoneSecret(Reader& reader, std::int32_t zone, std::uint8_t* code) {
  if (TraitsOf(reader.cardType).security != SecurityModel::kZoned) return result::kNotForCardType;
  if (code == nullptr) return result::kBadArgument;
  const ReplyView reply = SendWithPrefix(reader, memcard_code::kPresentZoneCode, LowByte(zone), code, kZonedCodeLength);
  CopyUnlessLinkFailed(reply, code, kSecretBufferSize);
  return reply.status;
}

int SetZoneRWBit(Reader& reader, std::int32_t zone, std::int32_t access) {
  const std::array<std::uint8_t, 2> send{LowByte(zone), LowByte(access)};
  return Exchange(reader, memcard_code::kSetZoneAccess, send).status;
}

}  // namespace kulve
