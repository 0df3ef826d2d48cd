// SPDX-License-Identifier: MIT
// Command APDUs written as text, alone or in a script file, for the apdu
// command of the tool.
//
// An APDU is hex: CLA INS P1 P2, then either nothing, Le, Lc and the Lc data
// bytes, or Lc, the data and Le (the four short cases).
//
// A script has one step per line:
//   APDU [= SW]    send it to the current slot; SW is the status word the
//                  card must answer, four hex digits where X matches any
//                  digit (9000, 61XX, 63CX)
//   reset [SLOT]   reset the card in SLOT (0 = CPU card, 1..4 = SAM), which
//                  becomes the current slot (the same slot when none given)
// Blank lines and text after '#' are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kulve::tool {

inline constexpr int kChipSlotCount = 5;
inline constexpr std::size_t kMaxApduData = 128;

struct ApduText {
  std::vector<std::uint8_t> bytes;  // as written
  std::uint8_t lc = 0;
  std::optional<std::uint8_t> le;   // written; sent only when lc is 0
};

// The APDU in `text`, or nothing with `error` saying why.
std::optional<ApduText> ParseApdu(std::string_view text, std::string& error);
// An APDU for the full mode, which sends it as written: 4 to 65,544 hex
// bytes, extended lengths and more than 128 data bytes included (the card
// judges the layout).
std::optional<ApduText> ParseFullApdu(std::string_view text, std::string& error);

// The APDU in hex as the tool prints it: the data of VERIFY, CHANGE
// REFERENCE DATA and RESET RETRY COUNTER (INS 20, 24, 2C; short or extended
// Lc) written "**" unless secrets are to be shown.
std::string ApduEcho(const std::vector<std::uint8_t>& apdu, bool showSecrets);

struct StatusPattern {
  std::uint16_t value = 0;
  std::uint16_t mask = 0xFFFF;  // bits that must match
  bool Matches(int sw) const { return (sw & mask) == value && sw > 0xFF; }
  std::string Text() const;
};

struct ScriptStep {
  int line = 0;
  int slot = 0;        // the slot reset, or the one the APDU goes to
  bool reset = false;  // a reset step, else an APDU step
  ApduText apdu;
  std::optional<StatusPattern> expected;
};

// The steps of a script whose APDUs go to firstSlot until a reset names
// another, or nothing with `error` naming the first bad line. With full, the
// APDUs are read as ParseFullApdu reads them.
std::optional<std::vector<ScriptStep>> ParseScript(std::string_view text, int firstSlot, std::string& error,
                                                   bool full = false);

}  // namespace kulve::tool
