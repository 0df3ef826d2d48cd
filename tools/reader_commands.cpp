// SPDX-License-Identifier: MIT
// Commands for the link and the reader's housekeeping.
#include <cstdio>

#include "kulve32.h"
#include "tools/command.h"
#include "tools/hex.h"

namespace kulve::tool {
namespace {

int Link(Session& session) {
  std::printf("linked at %d bit/s on %s\n", ComBaudRate(), session.DevicePath().c_str());
  return 0;
}

int InquireState(Session& session) {
  int type = 0, state = 0, power = 0;
  const int result = Inquire(&type, &state, &power);
  if (result == 0) std::printf("card type %d, state 0x%02X, power %s\n", type, state, power ? "on" : "off");
  return Report(session, "inquire", result);
}

Action Power(const Args& args) {
  if (args[0] == "on") return [](Session& s) { return Report(s, "power on", PowerOn()); };
  if (args[0] == "off") return [](Session& s) { return Report(s, "power off", PowerOff()); };
  throw UsageError("power takes on or off");
}

Action Select(const Args& args) {
  const int type = IntArg(args[0], 0, 255, "the card type");
  return [type](Session& s) {
    const int result = SelectCard(type);
    if (result == 0) s.SetCardType(type);
    return Report(s, "select card type " + std::to_string(type), result);
  };
}

int DeviceNumber(Session& session) {
  unsigned char number[8];
  const int result = GetDeviceNumber(number);
  if (result == 0) std::printf("%s\n", FormatHex(number).c_str());
  return Report(session, "device number", result);
}

int Versions(Session& session) {
  unsigned char version[8] = {};
  const int result = DEVVER(version);
  std::printf("library version %d\n", DLLVER());
  if (result == 0) std::printf("reader version %s\n", FormatHex(version).c_str());
  return Report(session, "reader version", result);
}

Action Alarm(const Args& args) {
  const int mode = IntArg(args[0], 1, 7, "the alarm mode");
  int values[3];
  for (int i = 0; i < 3; ++i) values[i] = IntArg(args[static_cast<std::size_t>(i) + 1], 0, 255, "an alarm value");
  return [=](Session& s) { return Report(s, "alarm", ALARM(mode, values[0], values[1], values[2])); };
}

// A command whose words are fixed, so it has nothing to check.
Action Fixed(int (*run)(Session&)) { return Action(run); }

}  // namespace

void AddReaderCommands(CommandList& commands) {
  commands.push_back({"link", 0, "", "link to the reader and show the line speed", true,
                      [](const Args&) { return Fixed(Link); }});
  commands.push_back({"inquire", 0, "", "show the reader's card type, state and power", true,
                      [](const Args&) { return Fixed(InquireState); }});
  commands.push_back({"power", 1, "on|off", "power the card on or off", true, Power});
  commands.push_back({"select", 1, "TYPE", "tell the reader which card type is inserted (0..255)", true, Select});
  commands.push_back({"standby", 0, "", "put the reader on standby", true, [](const Args&) {
                        return Action([](Session& s) { return Report(s, "standby", SetStandby()); });
                      }});
  commands.push_back({"devno", 0, "", "show the reader's device number", true,
                      [](const Args&) { return Fixed(DeviceNumber); }});
  commands.push_back({"version", 0, "", "show the library and reader versions", true,
                      [](const Args&) { return Fixed(Versions); }});
  commands.push_back({"alarm", 4, "MODE A B C", "drive the reader's alarm (MODE 1..7, A B C 0..255)", true, Alarm});
}

}  // namespace kulve::tool
