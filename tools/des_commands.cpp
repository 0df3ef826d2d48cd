// SPDX-License-Identifier: MIT
// Software DES from the command line: kulve des enc|dec --key HEX HEXDATA
#include <cstdio>

#include "kulve32.h"
#include "tools/command.h"
#include "tools/hex.h"

namespace kulve::tool {
namespace {

constexpr std::size_t kMaxData = 1 << 20;

Action Des(const Args& args) {
  const bool encipher = args[0] == "enc";
  if (!encipher && args[0] != "dec") throw UsageError("des takes enc or dec");
  if (args[1] != "--key") throw UsageError("des enc|dec --key HEX HEXDATA");
  const Bytes key = HexArg(args[2], 8, 8, "the key");
  const Bytes data = HexArg(args[3], 8, kMaxData, "the data");
  if (data.size() % 8 != 0) throw UsageError("the data must be a multiple of 8 bytes");
  return [=](Session&) {
    Bytes out(data.size());
    const int length = static_cast<int>(data.size());
    const int result = encipher ? EnDesData(data.data(), key.data(), out.data(), length)
                                : UnDesData(data.data(), key.data(), out.data(), length);
    if (result != 0) return 1;
    std::printf("%s\n", FormatHex(out).c_str());
    return 0;
  };
}

}  // namespace

void AddDesCommands(CommandList& commands) {
  commands.push_back({"des", 4, "enc|dec --key HEX HEXDATA", "DES-ECB on the host (no reader needed)", false, Des});
}

}  // namespace kulve::tool
