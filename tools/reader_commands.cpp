// Commands for the link and the reader's housekeeping.
#include <cstdio>

#include "kulve32.h"
#include "tools/command.h"
#include "tools/hex.h"

namespace kulve::tool {
namespace {

int Link(Session& session, const Args&) {
  std::printf("linked at %d bit/s on %s\n", ComBaudRate(), session.DevicePath().c_str());
  return 0;
}

int InquireState(Session& session, const Args&) {
  int type = 0, state = 0, power = 0;
  const int result = Inquire(&type, &state, &power);
  if (result == 0) std::printf("card type %d, state 0x%02X, power %s\n", type, state, power ? "on" : "off");
  return Report(session, "inquire", result);
}

int Power(Session& session, const Args& args) {
  if (args[0] == "on") return Report(session, "power on", PowerOn());
  if (args[0] == "off") return Report(session, "power off", PowerOff());
  return BadArgument("power takes on or off");
}

int Select(Session& session, const Args& args) {
  const auto type = ParseInt(args[0]);
  if (!type) return BadArgument("card type must be a number");
  return Report(session, "select card type " + args[0], SelectCard(*type));
}

int DeviceNumber(Session& session, const Args&) {
  unsigned char number[8];
  const int result = GetDeviceNumber(number);
  if (result == 0) std::printf("device number %s\n", FormatHex(number).c_str());
  return Report(session, "device number", result);
}

int Versions(Session& session, const Args&) {
  unsigned char version[8] = {};
  const int result = DEVVER(version);
  std::printf("library version %d\n", DLLVER());
  if (result == 0) std::printf("reader version %s\n", FormatHex(version).c_str());
  return Report(session, "reader version", result);
}

int Alarm(Session& session, const Args& args) {
  int values[4];
  for (int i = 0; i < 4; ++i) {
    const auto v = ParseInt(args[static_cast<std::size_t>(i)]);
    if (!v) return BadArgument("alarm takes four numbers");
    values[i] = *v;
  }
  return Report(session, "alarm", ALARM(values[0], values[1], values[2], values[3]));
}

}  // namespace

void AddReaderCommands(CommandList& commands) {
  commands.push_back({"link", 0, "", "link to the reader and show the line speed", true, Link});
  commands.push_back({"inquire", 0, "", "show the reader's card type, state and power", true, InquireState});
  commands.push_back({"power", 1, "on|off", "power the card on or off", true, Power});
  commands.push_back({"select", 1, "TYPE", "tell the reader which card type is inserted", true, Select});
  commands.push_back({"standby", 0, "", "put the reader on standby", true,
                      [](Session& s, const Args&) { return Report(s, "standby", SetStandby()); }});
  commands.push_back({"devno", 0, "", "show the reader's device number", true, DeviceNumber});
  commands.push_back({"version", 0, "", "show the library and reader versions", true, Versions});
  commands.push_back({"alarm", 4, "MODE A B C", "drive the reader's alarm (MODE 1..7)", true, Alarm});
}

}  // namespace kulve::tool
