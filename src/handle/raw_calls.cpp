// SPDX-License-Identifier: MIT
// One reader command as the caller words it, through a handle.
#include <algorithm>

#include "handle/checked.h"
#include "handle/handle_api.h"
#include "link/transact.h"

namespace kulve::api {

int ReaderCommand(kulve_reader* r, int code, const unsigned char* data, int length, unsigned char* reply,
                  int replySize, int* replyLength) {
  if (replyLength != nullptr) *replyLength = 0;
  const bool fits = code >= 0 && code <= 0xFF && length >= 0 && length <= static_cast<int>(kMaxRequestBytes) &&
                    (data != nullptr || length == 0) && (reply != nullptr || replySize <= 0) &&
                    replyLength != nullptr;
  if (r == nullptr || !fits) return result::kBadArgument;
  return Locked(*r, [&](Reader& reader) -> int {
    const ReplyView view = Exchange(reader, static_cast<std::uint8_t>(code),
                                    {data, static_cast<std::size_t>(length)});
    *replyLength = static_cast<int>(view.data.size());
    view.CopyTo(reply, static_cast<std::size_t>(std::max(replySize, 0)));
    return view.status;
  });
}

}  // namespace kulve::api
