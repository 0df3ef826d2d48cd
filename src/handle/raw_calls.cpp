// SPDX-License-Identifier: MIT
// One reader command as the caller words it, through a handle.
#include <algorithm>

#include "handle/checked.h"
#include "handle/handle_api.h"
#include "handle/registry.h"
#include "handle/raw_command.h"
#include "at1608/at1608.h"
#include "link/transact.h"
#include "memcard/card_types.h"
#include "memcard/secret_addresses.h"
#include "mifare/secret_bytes.h"
#include "rf5550/rf5550.h"

namespace kulve {

// A raw command is masked in the trace as the family's own call with the
// same code and bytes would be: the PC/SC driver's escape comes this way.
ReplyView RawCommand(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send) {
  SecretSpan secret = MemcardSecrets(TraitsOf(reader.cardType), code, send);
  secret.Add(MifareSecrets(code, send)).Add(At1608Secrets(code)).Add(Rf5550Secrets(code));
  return Exchange(reader, code, send, secret);
}

}  // namespace kulve

namespace kulve::api {

int ReaderCommand(kulve_reader* r, int code, const unsigned char* data, int length, unsigned char* reply,
                  int replySize, int* replyLength) {
  if (replyLength != nullptr) *replyLength = 0;
  const bool fits = code >= 0 && code <= 0xFF && length >= 0 && length <= static_cast<int>(kMaxRequestBytes) &&
                    (data != nullptr || length == 0) && (reply != nullptr || replySize <= 0) &&
                    replyLength != nullptr;
  const auto found = Find(r);
  if (!found || !fits) return result::kBadArgument;
  return Locked(*found, [&](Reader& reader) -> int {
    const ReplyView view =
        RawCommand(reader, static_cast<std::uint8_t>(code), {data, static_cast<std::size_t>(length)});
    *replyLength = static_cast<int>(view.data.size());
    view.CopyTo(reply, static_cast<std::size_t>(std::max(replySize, 0)));
    return view.status;
  });
}

}  // namespace kulve::api
