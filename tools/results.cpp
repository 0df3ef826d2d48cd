// SPDX-License-Identifier: MIT
#include "tools/results.h"

#include <cstdio>

#include "cpucard/status_words.h"

namespace kulve::tool {
namespace {

const char* LinkFailure(int letter) {
  switch (letter) {
    case 'e': return "the start byte '#' could not be written (2 tries)";
    case 'f': return "no answer to the start byte: is a reader connected and powered?";
    case 'g': return "the answer to the start byte was not 'E': wrong device or line speed";
    case 'h': return "the command code could not be written";
    case 'i': return "the send length could not be written";
    case 'j': return "not all request data could be written";
    case 'k': return "the request checksum could not be written (2 tries)";
    case 'l': return "the reader did not acknowledge the command";
    case 'm': return "the acknowledgement byte was not 'g'";
    case 'n': return "the go byte 0x89 could not be written";
    case 'o': return "no status byte from the reader";
    case 'p': return "no reply length byte from the reader";
    case 'q': return "the reply data was shorter than announced";
    case 'r': return "no reply checksum byte";
    case 's': return "the reply checksum did not match";
    default: return nullptr;
  }
}

}  // namespace

std::string DescribeResult(int result) {
  char text[160];
  if (result == 0) return "ok";
  if (result == 3) return "3: not available for the selected card type";
  if (result == 4) return "4: argument out of range (nothing sent)";
  if (result == 19) return "19: the inserted card does not match the selected card type";
  if (result > 0xFF && result <= 0xFFFF) {  // a card's status word, from the APDU functions
    std::snprintf(text, sizeof text, "SW %04X: %s", result, StatusWordText(static_cast<std::uint16_t>(result)));
    return text;
  }
  if (const char* meaning = LinkFailure(result)) {
    std::snprintf(text, sizeof text, "link failure '%c' (0x%02X): %s", result, result, meaning);
    return text;
  }
  std::snprintf(text, sizeof text, "the reader refused: status 0x%02X", result & 0xFF);
  return text;
}

}  // namespace kulve::tool
