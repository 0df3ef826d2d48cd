// SPDX-License-Identifier: MIT
#include "sim/control.h"

#include <cstdlib>

#include "sim/cards/memory_card.h"
#include "sim/mifare_reader.h"

#include "sim/fault_text.h"

namespace kulve::sim {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string RunControlCommand(Simulator& sim, std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == '#') return {};
  const auto space = line.find(' ');
  const std::string_view verb = line.substr(0, space);
  const std::string_view arg =
      space == std::string_view::npos ? std::string_view{} : Trim(line.substr(space + 1));

  if (verb == "fault") {
    std::string error;
    auto parsed = ParseFault(arg, error);
    if (!parsed) return "error: " + error;
    sim.InjectFault(parsed->fault, parsed->trigger);
    return "ok";
  }
  if (verb == "clear" && arg.empty()) {
    sim.ClearFaults();
    return "ok";
  }
  if (verb == "speed") {
    SpeedSet speeds;
    if (!ParseSpeedSet(std::string(arg), speeds)) return "error: speed takes 57600, 9600 or both";
    sim.SetAcceptedSpeeds(speeds);
    return "ok";
  }
  if (verb == "vanish" && arg.empty()) {
    sim.Vanish();
    return "ok";
  }
  if (verb == "insert") {
    const std::string text(arg);
    char* end = nullptr;
    const long type = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || type < 0 || type > 255) return "error: insert takes a card type 0..255";
    sim.WithState([&](ReaderState& s) { InsertMemoryCard(s, static_cast<std::uint8_t>(type)); });
    return "ok";
  }
  if (verb == "remove" && arg.empty()) {
    sim.WithState([](ReaderState& s) { RemoveMemoryCard(s); });
    return "ok";
  }
  if (verb == "mifare") {
    if (arg == "clear") {
      sim.WithState([](ReaderState& s) { ClearMifareField(s); });
      return "ok";
    }
    const auto uid = arg.starts_with("add ") ? ParseUid(Trim(arg.substr(4))) : std::nullopt;
    if (!uid) return "error: mifare takes add UID (8 hex digits) or clear";
    sim.WithState([&](ReaderState& s) { PutMifareCard(s, *uid); });
    return "ok";
  }
  if (verb == "count" && arg.empty()) return "count " + std::to_string(sim.ExchangeCount());
  if (verb == "state" && arg.empty()) {
    return sim.WithState([](ReaderState& s) {
      return "state card=" + std::to_string(s.selectedCard) + " slot=" + std::to_string(s.slotState) +
             " power=" + std::to_string(static_cast<int>(s.power)) +
             " standby=" + std::to_string(s.standby ? 1 : 0);
    });
  }
  return "error: unknown command '" + std::string(verb) + "'";
}

}  // namespace kulve::sim
