// SPDX-License-Identifier: MIT
#include "handle/result_words.h"

#include <cstdint>

#include "cpucard/status_words.h"
#include "results/result_text.h"

namespace kulve {

const char* AnyResultText(int result) {
  return result > 0xFF && result <= 0xFFFF ? StatusWordText(static_cast<std::uint16_t>(result)) : ResultText(result);
}

}  // namespace kulve
