// SPDX-License-Identifier: MIT
// CPU card and SAM commands of the kulve tool: reset with the ATR explained,
// APDUs alone or from a script, and the chip-card section of the demo.
#include <algorithm>
#include <bitset>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cpucard/status_words.h"
#include "kulve32.h"
#include "sim/cards/chip_card.h"
#include "sim/control.h"
#include "sim/cpucard_commands.h"
#include "tools/apdu_script.h"
#include "tools/atr_text.h"
#include "tools/command.h"
#include "tools/demo_steps.h"
#include "tools/hex.h"
#include "tools/io_files.h"

namespace kulve::tool {
namespace {

struct SlotCalls {
  const char* name;
  int(KULVE_CALL* reset)(unsigned char*);
  int(KULVE_CALL* send)(unsigned char*, unsigned char*);
};

constexpr SlotCalls kSlots[kChipSlotCount] = {
    {"CPU card", CpuCardReset, ProCpuCard},   {"SAM 1", SamCard1Reset, ProSamCard1},
    {"SAM 2", SamCard2Reset, ProSamCard2},    {"SAM 3", SamCard3Reset, ProSamCard3},
    {"SAM 4", SamCard4Reset, ProSamCard4},
};

// Slots reset by this run of the tool. The library's framing and sequence
// bit start afresh in every process, so an APDU to a slot this run has not
// reset goes after a reset of it.
std::bitset<kChipSlotCount> g_resetThisRun;

bool IsStatusWord(int result) { return result > 0xFF; }

// apdu --full: the library's full block protocol (SetChipProtocolMode 1,
// ChipTransmit); APDUs go as written, Le included, of any length.
bool g_full = false;

// A simulated T=1 card must be the strict one to take the full protocol's
// S-blocks and chains; the lenient one would log them as errors.
void MakeSimulatedCardStrict(Session& s, int slot) {
  if (s.Simulator() == nullptr) return;
  s.Simulator()->WithState([slot](sim::ReaderState& st) {
    const auto at = static_cast<std::size_t>(slot);
    if (st.chipCards[at] && st.chipCards[at]->Strict() == nullptr) sim::SetChipStrict(st, at, true);
  });
}

int SendFull(Session& s, int slot, const ApduText& apdu, bool scripted) {
  std::vector<unsigned char> answer(65538);
  int n = 0;
  if (scripted) std::printf("> %s\n", ApduEcho(apdu.bytes, s.ShowsSecrets()).c_str());
  const int result = ChipTransmit(slot, apdu.bytes.data(), static_cast<int>(apdu.bytes.size()), answer.data(),
                                  static_cast<int>(answer.size()), &n);
  if (!s.Quiet()) std::fprintf(stderr, "%s: full mode, %zu APDU bytes\n", kSlots[slot].name, apdu.bytes.size());
  if (!IsStatusWord(result)) return result;
  if (n > 2) std::printf("%s%s\n", scripted ? "< " : "", FormatHex(std::span(answer.data(), static_cast<std::size_t>(n - 2))).c_str());
  std::printf("SW %04X: %s\n", result, StatusWordText(static_cast<std::uint16_t>(result)));
  return result;
}

// What the simulated cards found wrong in the library's T=1 blocks; printed,
// and true when there was anything.
bool SimulatedCardsComplained(Session& s) {
  if (s.Simulator() == nullptr) return false;
  const auto errors = s.Simulator()->WithState([](sim::ReaderState& st) { return sim::TakeChipProtocolErrors(st); });
  for (const std::string& e : errors) std::fprintf(stderr, "the simulated card logged a T=1 protocol error: %s\n", e.c_str());
  return !errors.empty();
}

void PrintAtr(std::span<const std::uint8_t> atr) {
  std::printf("ATR %s (%zu bytes)\n", FormatHex(atr).c_str(), atr.size());
  const AtrExplanation explained = ExplainAtr(atr);
  for (const std::string& line : explained.lines) std::printf("  %s\n", line.c_str());
  std::string offered;
  for (std::size_t i = 0; i < explained.protocols.size(); ++i) {
    const std::string t = "T=" + std::to_string(explained.protocols[i]);
    if (offered.find(t) == std::string::npos) offered += (offered.empty() ? "" : ", ") + t;
  }
  std::printf("protocols offered: %s; the library frames APDUs as T=%d (CPUCardProtocolType %d)\n",
              offered.c_str(), CPUCardProtocolType(), CPUCardProtocolType());
}

enum class AtrShown : std::uint8_t {
  kExplained,  // the reset command: the ATR byte by byte
  kScripted,   // a reset line of a script: the ATR on one line
  kAside,      // a reset the tool made before an APDU: a note on stderr
};

int ResetSlot(Session& s, int slot, AtrShown shown) {
  unsigned char atr[KULVE_ATR_BUFFER_SIZE] = {};
  const int result = kSlots[slot].reset(atr);
  if (result == 0) {
    g_resetThisRun.set(static_cast<std::size_t>(slot));
    const std::string hex = FormatHex(std::span(atr + 1, atr[0]));
    if (shown == AtrShown::kExplained) PrintAtr(std::span(atr + 1, atr[0]));
    if (shown == AtrShown::kScripted) std::printf("reset %s: ATR %s\n", kSlots[slot].name, hex.c_str());
    if (shown == AtrShown::kAside && !s.Quiet()) {
      std::fprintf(stderr, "%s not reset yet by this run, reset first: ATR %s\n", kSlots[slot].name, hex.c_str());
    }
  }
  return Report(s, std::string("reset ") + kSlots[slot].name, result);
}

// Sends one APDU and prints the response data and the status word; returns
// the library's result.
int SendApdu(Session& s, int slot, const ApduText& apdu, bool scripted) {
  if (g_full) {
    MakeSimulatedCardStrict(s, slot);
    if (SetChipProtocolMode(1) != 0) return -1;
  }
  if (!g_resetThisRun.test(static_cast<std::size_t>(slot)) && ResetSlot(s, slot, AtrShown::kAside) != 0) return -1;
  if (g_full) return SendFull(s, slot, apdu, scripted);
  unsigned char request[KULVE_PACKED_APDU_SIZE] = {};
  std::copy_n(apdu.bytes.begin(), 4, request);
  request[4] = apdu.lc;
  std::copy_n(apdu.bytes.begin() + 5, apdu.lc, request + 5);
  request[5 + apdu.lc] = apdu.le.value_or(0);
  if (apdu.lc != 0 && apdu.le && !s.Quiet()) std::fprintf(stderr, "note: Le is not sent after command data\n");
  unsigned char response[KULVE_APDU_RESPONSE_SIZE] = {};
  if (scripted) std::printf("> %s\n", ApduEcho(apdu.bytes, s.ShowsSecrets()).c_str());
  const int result = kSlots[slot].send(request, response);
  if (!s.Quiet()) {
    const bool t1 = CPUCardProtocolType() == 1;
    std::string sent = FormatHex(std::span(request + 1, request[0]));
    // A PIN (VERIFY, CHANGE REFERENCE DATA, RESET RETRY COUNTER) and the
    // LRC over it are masked as the trace masks them.
    const std::size_t dataAt = (t1 ? 3u : 0u) + 5u;
    const std::uint8_t ins = apdu.bytes[1];
    if ((ins == 0x20 || ins == 0x24 || ins == 0x2C) && !s.ShowsSecrets()) {
      for (std::size_t i = dataAt; i < request[0]; ++i) sent.replace(3 * i, 2, "**");
    }
    std::fprintf(stderr, "%s: sent %s %s\n", kSlots[slot].name, t1 ? "T=1 block" : "T=0 command", sent.c_str());
  }
  if (!IsStatusWord(result)) return result;
  if (response[0] > 0) std::printf("%s%s\n", scripted ? "< " : "", FormatHex(std::span(response + 1, response[0])).c_str());
  std::printf("SW %04X: %s\n", result, StatusWordText(static_cast<std::uint16_t>(result), apdu.bytes[1]));
  return result;
}

Action Reset(const Args& args) {
  const int slot = IntArg(args[0], 0, kChipSlotCount - 1, "the slot (0 CPU card, 1..4 SAM)");
  return [slot](Session& s) {
    const int status = ResetSlot(s, slot, AtrShown::kExplained);
    return SimulatedCardsComplained(s) ? 1 : status;
  };
}

Action RunScript(int firstSlot, const std::string& path) {
  const Bytes bytes = ReadInputFile(path);  // "-": standard input
  const std::string text(bytes.begin(), bytes.end());
  std::string error;
  auto steps = ParseScript(text, firstSlot, error, g_full);
  if (!steps) throw UsageError(path + ", " + error);
  return [plan = std::move(*steps), path](Session& s) {
    int apdus = 0;
    for (const ScriptStep& step : plan) {
      if (step.reset) {
        if (ResetSlot(s, step.slot, AtrShown::kScripted) != 0) return 1;
        continue;
      }
      const int result = SendApdu(s, step.slot, step.apdu, true);
      ++apdus;
      if (SimulatedCardsComplained(s)) return 1;
      if (!IsStatusWord(result)) {
        std::fprintf(stderr, "%s line %d: ", path.c_str(), step.line);
        return result < 0 ? 1 : Report(s, "apdu", result);
      }
      if (step.expected && !step.expected->Matches(result)) {
        std::fprintf(stderr, "%s line %d: expected SW %s, the card answered %04X\n", path.c_str(), step.line,
                     step.expected->Text().c_str(), result);
        return 1;
      }
    }
    if (!s.Quiet()) std::fprintf(stderr, "%s: %d APDUs, every status word as expected\n", path.c_str(), apdus);
    return 0;
  };
}

// apdu SLOT [--full] HEX... | apdu [SLOT] [--full] --script FILE
Action Apdu(const Args& args) {
  if (std::find(args.begin(), args.end(), "apdu") != args.end()) {
    throw UsageError("one apdu a line: it takes every word after it, so no second apdu can follow; "
                     "put several APDUs in a file for apdu --script FILE");
  }
  std::size_t at = 0;
  int slot = 0;
  if (!args.empty() && args[0] != "--script" && args[0] != "--full") {
    slot = IntArg(args[at++], 0, kChipSlotCount - 1, "the slot (0 CPU card, 1..4 SAM)");
  }
  if (at < args.size() && args[at] == "--full") {
    g_full = true;
    ++at;
  }
  if (at < args.size() && args[at] == "--script") {
    if (args.size() != at + 2) throw UsageError("--script takes one FILE and comes last");
    return RunScript(slot, args[at + 1]);
  }
  std::string hex;
  for (; at < args.size(); ++at) hex += args[at];
  if (hex.empty()) throw UsageError("give the APDU as hex, e.g. apdu 0 00A4040007F04B554C564531");
  std::string error;
  std::optional<ApduText> apdu;
  apdu = g_full ? ParseFullApdu(hex, error) : ParseApdu(hex, error);
  if (!apdu) throw UsageError(error);
  return [slot, apdu = std::move(*apdu)](Session& s) {
    const int result = SendApdu(s, slot, apdu, false);
    if (SimulatedCardsComplained(s)) return 1;
    if (!IsStatusWord(result)) return result < 0 ? 1 : Report(s, "apdu", result);
    return result == 0x9000 || (result >> 8) == 0x61 ? 0 : 1;
  };
}

Action Chip(const Args& args) {
  const int slot = IntArg(args[0], 0, kChipSlotCount - 1, "the slot (0 CPU card, 1..4 SAM)");
  const std::string atr = args[1];
  if (atr != "none") HexArg(atr, 2, sim::kMaxAtrSize, "the ATR");
  return [slot, atr](Session& s) {
    if (s.Simulator() == nullptr) throw UsageError("chip works with --sim only");
    const std::string error = sim::PutChipCard(*s.Simulator(), std::to_string(slot), atr);
    if (!error.empty()) throw UsageError(error);
    g_resetThisRun.reset(static_cast<std::size_t>(slot));
    if (!s.Quiet()) std::fprintf(stderr, "%s: %s\n", kSlots[slot].name, atr == "none" ? "slot emptied" : "a new card is in");
    return 0;
  };
}

}  // namespace

void AddCpuCardCommands(CommandList& commands) {
  commands.push_back({"reset", 1, "SLOT", "reset the CPU card (SLOT 0) or SAM 1..4 and explain its ATR", true, Reset});
  commands.push_back({"apdu", kRestOfLine, "SLOT [--full] HEX... | [SLOT] [--full] --script FILE",
                      "send an APDU, or a script: one per line, \"= SW\" to check (X any digit), \"reset SLOT\" lines;"
                      " the slot is reset first if this run has not; exit 0 for SW 9000 and 61xx; --full: the"
                      " library's full block protocol (T=1 chaining, WTX, repeats; T=0 GET RESPONSE), the APDU as"
                      " written (Le too, extended lengths for T=1, more than 128 data bytes; a script's lines too; a"
                      " simulated card becomes the strict one); apdu takes the rest of the line, so one apdu a line",
                      true, Apdu});
  commands.push_back({"chip", 2, "SLOT ATR|none", "put a new chip card with that ATR in the simulated reader (--sim)", true, Chip});
}

}  // namespace kulve::tool

namespace kulve::tool {
namespace {

// An APDU for the demo in the fixed-layout request of the ...Cmd functions.
struct DemoApdu {
  unsigned char bytes[KULVE_APDU_REQUEST_SIZE] = {};
  DemoApdu(std::initializer_list<unsigned char> header, std::initializer_list<unsigned char> data, unsigned char le) {
    std::copy(header.begin(), header.end(), bytes);
    bytes[4] = static_cast<unsigned char>(data.size());
    std::copy(data.begin(), data.end(), bytes + 5);
    bytes[KULVE_APDU_REQUEST_SIZE - 1] = le;
  }
};

void SayResponse(const unsigned char* response) {
  if (response[0] > 0) Say("  response data: %s", FormatHex(std::span(response + 1, response[0])).c_str());
}

void SayAtr(const unsigned char* atr) {
  Say("  ATR %s; CPUCardProtocolType() = %d", FormatHex(std::span(atr + 1, atr[0])).c_str(), CPUCardProtocolType());
}

}  // namespace

void RunCpuCardDemo(sim::Simulator& reader) {
  const unsigned char t0Atr[] = {0x3B, 0x68, 0x00, 0x00, 'K', 'U', 'L', 'V', 'E', '-', 'T', '0'};
  reader.WithState([&](sim::ReaderState& s) {
    sim::InsertChipCard(s, 0, std::vector<std::uint8_t>(std::begin(t0Atr), std::end(t0Atr)));
    sim::InsertChipCard(s, 1, sim::DefaultCpuAtr());
  });
  Say("The CPU card slot now holds a T=0 card and SAM 1 a T=1 card. Both run a small");
  Say("ISO/IEC 7816-4 application named F0 4B 55 4C 56 45 31, with a PIN of 1234.");
  unsigned char atr[KULVE_ATR_BUFFER_SIZE], response[KULVE_APDU_RESPONSE_SIZE];

  Show("CpuCardReset", CpuCardReset(atr));
  SayAtr(atr);
  const DemoApdu selectApp({0x00, 0xA4, 0x04, 0x00}, {0xF0, 0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31}, 0);
  Show("ProCpuCardCmd SELECT by name", ProCpuCardCmd(selectApp.bytes, response));
  Say("Under T=0 the card keeps the FCI for GET RESPONSE; the library sends nothing more itself.");
  const DemoApdu getResponse({0x00, 0xC0, 0x00, 0x00}, {}, 0x19);
  Show("ProCpuCardCmd GET RESPONSE, Le=19", ProCpuCardCmd(getResponse.bytes, response));
  SayResponse(response);
  const DemoApdu selectHolder({0x00, 0xA4, 0x00, 0x0C}, {0x01, 0x01}, 0);
  Show("ProCpuCardCmd SELECT EF 0101", ProCpuCardCmd(selectHolder.bytes, response));
  const DemoApdu readTooMuch({0x00, 0xB0, 0x00, 0x00}, {}, 0x50);
  Show("ProCpuCardCmd READ BINARY, Le=50", ProCpuCardCmd(readTooMuch.bytes, response));
  const DemoApdu read({0x00, 0xB0, 0x00, 0x00}, {}, 0x40);
  Show("ProCpuCardCmd READ BINARY, Le=40", ProCpuCardCmd(read.bytes, response));
  Say("  \"%s\"", std::string(response + 1, response + 1 + response[0]).c_str());

  Say("A wrong PIN costs a try; VERIFY without data asks for the counter.");
  const DemoApdu wrongPin({0x00, 0x20, 0x00, 0x01}, {'1', '1', '1', '1'}, 0);
  Show("ProCpuCardCmd VERIFY 1111", ProCpuCardCmd(wrongPin.bytes, response));
  const DemoApdu askCounter({0x00, 0x20, 0x00, 0x01}, {}, 0);
  Show("ProCpuCardCmd VERIFY, no data", ProCpuCardCmd(askCounter.bytes, response));
  const DemoApdu rightPin({0x00, 0x20, 0x00, 0x01}, {'1', '2', '3', '4'}, 0);
  Show("ProCpuCardCmd VERIFY 1234", ProCpuCardCmd(rightPin.bytes, response));

  Say("Resetting SAM 1 switches the framing of every slot to the SAM's T=1.");
  Show("SamCard1Reset", SamCard1Reset(atr));
  SayAtr(atr);
  unsigned char packed[KULVE_PACKED_APDU_SIZE] = {0x00, 0xA4, 0x04, 0x00, 0x07, 0xF0, 0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31, 0x00};
  Show("ProSamCard1 SELECT by name", ProSamCard1(packed, response));
  Say("  the block as sent (NAD PCB LEN, APDU, LRC): %s", FormatHex(std::span(packed + 1, packed[0])).c_str());
  Say("  no Le follows the data, and a T=1 card sees that: it selects and sends no FCI.");
  SayResponse(response);
  unsigned char selectSerial[KULVE_PACKED_APDU_SIZE] = {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x2F, 0x02, 0x00};
  Show("ProSamCard1 SELECT EF 2F02", ProSamCard1(selectSerial, response));
  Say("  the next block carries N(S) = 1 in its PCB: %s", FormatHex(std::span(selectSerial + 1, selectSerial[0])).c_str());
  unsigned char readSerial[KULVE_PACKED_APDU_SIZE] = {0x00, 0xB0, 0x00, 0x00, 0x00, 0x08};
  Show("ProSamCard1 READ BINARY, Le=08", ProSamCard1(readSerial, response));
  Say("  and the one after it N(S) = 0 again: %s", FormatHex(std::span(readSerial + 1, readSerial[0])).c_str());
  SayResponse(response);
  const auto errors = reader.WithState([](sim::ReaderState& s) { return sim::TakeChipProtocolErrors(s); });
  Say("T=1 protocol errors the simulated cards found: %zu.", errors.size());
}

}  // namespace kulve::tool
