// Software DES from the command line: kulve des enc|dec --key HEX HEXDATA
#include <cstdio>

#include "kulve32.h"
#include "tools/command.h"
#include "tools/hex.h"

namespace kulve::tool {
namespace {

int Des(Session&, const Args& args) {
  const bool encipher = args[0] == "enc";
  if (!encipher && args[0] != "dec") return BadArgument("des takes enc or dec");
  if (args[1] != "--key") return BadArgument("des enc|dec --key HEX HEXDATA");
  const auto key = ParseHex(args[2]);
  if (!key || key->size() != 8) return BadArgument("the key is 8 bytes of hex");
  auto data = ParseHex(args[3]);
  if (!data || data->empty() || data->size() % 8 != 0) return BadArgument("the data is hex, a multiple of 8 bytes");
  std::vector<unsigned char> out(data->size());
  const int length = static_cast<int>(data->size());
  const int result = encipher ? EnDesData(data->data(), key->data(), out.data(), length)
                              : UnDesData(data->data(), key->data(), out.data(), length);
  if (result != 0) return BadArgument("DES refused the data length");
  std::printf("%s\n", FormatHex(out).c_str());
  return 0;
}

}  // namespace

void AddDesCommands(CommandList& commands) {
  commands.push_back({"des", 4, "enc|dec --key HEX HEXDATA", "DES-ECB on the host (no reader needed)", false, Des});
}

}  // namespace kulve::tool
