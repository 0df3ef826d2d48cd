// SPDX-License-Identifier: MIT
// Words for any result a function returns, card status words included.
#pragma once

namespace kulve {

// The library's codes, link-failure letters and reader statuses as
// results/result_text.h words them; 256..65535 (only the APDU functions
// return those) as the card's status word.
const char* AnyResultText(int result);

}  // namespace kulve
