// SPDX-License-Identifier: MIT
#include "sim/cards/e5550_transponder.h"

#include <memory>

namespace kulve::sim {

E5550Transponder::E5550Transponder() { blocks_[kConfigBlock][0] = kNewMode; }

Reply E5550Transponder::Read(std::uint8_t block) const {
  if (Silent()) return Refuse(e5550_status::kAsleep);
  if (block >= kBlockCount) return Refuse(status::kBadParameter);
  const unsigned highest = Mode() >> kHighestBlockShift;
  if (block > highest || (block == kPasswordBlock && PasswordMode())) return Refuse(e5550_status::kBlockHidden);
  const Block& bytes = blocks_[block];
  return Ok({bytes.begin(), bytes.end()});
}

std::uint8_t E5550Transponder::WriteCheck(std::uint8_t block, const Block& password) const {
  if (Silent()) return e5550_status::kAsleep;
  if (block >= kBlockCount) return status::kBadParameter;
  if (PasswordMode() && !PasswordMatches(password)) return e5550_status::kWrongPassword;
  if (locked_[block]) return e5550_status::kBlockLocked;
  return status::kOk;
}

void E5550Transponder::Store(std::uint8_t block, const Block& data, bool lock) {
  blocks_[block] = data;
  if (lock) locked_[block] = true;
  // A new configuration takes effect at once: in answer-on-request mode the
  // transponder must be woken again.
  if (block == kConfigBlock) awake_ = false;
}

Reply E5550Transponder::Write(std::uint8_t block, const Block& password, const Block& data, bool lock) {
  if (const std::uint8_t refusal = WriteCheck(block, password); refusal != status::kOk) return Refuse(refusal);
  Store(block, data, lock);
  return Ok({data.begin(), data.end()});
}

Reply E5550Transponder::SetMode(const Block& password, std::uint8_t mode, bool lockConfiguration) {
  if (const std::uint8_t refusal = WriteCheck(kConfigBlock, password); refusal != status::kOk) {
    return Refuse(refusal);
  }
  Block config = blocks_[kConfigBlock];
  config[0] = mode;
  Store(kConfigBlock, config, lockConfiguration);
  return Ok();
}

Reply E5550Transponder::Wake(const Block& password) {
  const bool guarded = (Mode() & (kAnswerOnRequest | kPasswordMode)) != 0;
  if (guarded && !PasswordMatches(password)) return Refuse(e5550_status::kWrongPassword);
  awake_ = true;
  return Ok();
}

void PlaceTransponder(ReaderState& state) { state.transponder = std::make_unique<E5550Transponder>(); }
void RemoveTransponder(ReaderState& state) { state.transponder.reset(); }

}  // namespace kulve::sim
