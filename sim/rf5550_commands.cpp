// SPDX-License-Identifier: MIT
#include "sim/rf5550_commands.h"

#include <algorithm>
#include <utility>

#include "sim/cards/e5550_transponder.h"

namespace kulve::sim {
namespace {

using Data = std::span<const std::uint8_t>;
using Block = E5550Transponder::Block;

struct Layout {
  std::size_t length;
  Reply (*handle)(E5550Transponder&, Data);
};

Block BlockAt(Data d, std::size_t at) {
  Block block{};
  std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(at), block.size(), block.begin());
  return block;
}

// password(4), block, data(4), lock
Reply Write(E5550Transponder& t, Data d) { return t.Write(d[4], BlockAt(d, 0), BlockAt(d, 5), d[9] != 0); }

Reply Read(E5550Transponder& t, Data d) { return t.Read(d[0]); }
Reply Init(E5550Transponder& t, Data d) { return t.SetMode(BlockAt(d, 0), d[4], d[5] != 0); }
Reply Wake(E5550Transponder& t, Data d) { return t.Wake(BlockAt(d, 0)); }

Reply ReadAfterWake(E5550Transponder& t, Data d) {
  Reply woken = t.Wake(BlockAt(d, 0));
  return woken.status == status::kOk ? t.Read(d[4]) : woken;
}

Reply WriteAfterWake(E5550Transponder& t, Data d) {
  Reply woken = t.Wake(BlockAt(d, 0));
  return woken.status == status::kOk ? Write(t, d) : woken;
}

// Runs the handler on the transponder in the field once the request fits its layout.
Handler WithTransponder(Layout layout) {
  return [layout](ReaderState& state, Data data) -> Reply {
    if (!state.transponder) return Refuse(e5550_status::kNoTransponder);
    if (data.size() != layout.length) return Refuse(status::kBadLength);
    return layout.handle(*state.transponder, data);
  };
}

}  // namespace

void RegisterE5550Commands(Firmware& firmware) {
  const std::pair<std::uint8_t, Layout> commands[] = {
      {code::kE5550Read, {1, Read}},
      {code::kE5550Write, {10, Write}},
      {code::kE5550Init, {6, Init}},
      {code::kE5550Wake, {4, Wake}},
      {code::kE5550ReadAfterWake, {5, ReadAfterWake}},
      {code::kE5550WriteAfterWake, {10, WriteAfterWake}},
  };
  for (const auto& [c, layout] : commands) firmware.Register(c, WithTransponder(layout));
}

}  // namespace kulve::sim
