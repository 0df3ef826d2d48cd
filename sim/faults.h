// SPDX-License-Identifier: MIT
// Scheduled misbehaviour of the reader on the line, for testing the host's
// handling of every failing step of an exchange.
//
// A fault acts at one of the bytes the reader sends. What the host sees:
//   at        kSilent                    kWrongByte
//   kStart    no answer to '#'    ('f')  wrong answer to '#'  ('g')
//   kAck      no acknowledgement  ('l')  wrong acknowledgement ('m')
//   kStatus   no status           ('o')  corrupted status     ('s')
//   kLength   status, no length   ('p')  corrupted length (framing lost)
//   kData     reply data cut short('q')  first data byte corrupted ('s')
//   kChecksum no checksum         ('r')  wrong checksum       ('s')
// kSilent sends nothing from that byte on and drops back to idle; at kData
// it sends all but the last data byte (with no reply data it announces one
// byte and sends none), so the host always sees short data. kWrongByte
// sends `replacement` if given, else the byte with all bits flipped; the
// checksum still covers the true bytes. With no reply data kWrongByte at
// kData changes nothing. kDelay waits delayMs before the byte; the host sees
// whatever its timeouts make of that, and a host that gave up meanwhile may
// find its next frame taken for the rest of this one until the reader's
// mid-frame silence limit passes (as with a slow real reader). kSilent gives
// a clean failure instead. kVanish closes the line before the byte.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace kulve::sim {

enum class ReaderByte : std::uint8_t { kStart, kAck, kStatus, kLength, kData, kChecksum };
inline constexpr int kReaderByteCount = 6;

enum class FaultKind : std::uint8_t { kSilent, kWrongByte, kDelay, kVanish };

struct Fault {
  FaultKind kind = FaultKind::kSilent;
  ReaderByte at = ReaderByte::kStart;
  std::uint32_t delayMs = 0;                  // kDelay only
  std::optional<std::uint8_t> replacement;    // kWrongByte only
};

// Which exchanges a fault hits. An exchange begins with each '#' that the
// reader takes up; without `code` every exchange counts, with `code` only
// complete, well-formed requests with that command code count.
struct FaultTrigger {
  std::optional<std::uint8_t> code;
  std::uint32_t skip = 0;   // let this many matching exchanges pass first
  std::uint32_t times = 1;  // then hit this many; 0 = every one from then on

  static FaultTrigger Next() { return {}; }
  static FaultTrigger NthFromNow(std::uint32_t n) { return {std::nullopt, n > 0 ? n - 1 : 0, 1}; }
  static FaultTrigger EveryExchange() { return {std::nullopt, 0, 0}; }
  static FaultTrigger EveryWithCode(std::uint8_t c) { return {c, 0, 0}; }
  static FaultTrigger NextWithCode(std::uint8_t c) { return {c, 0, 1}; }
};

// What one exchange does differently at each reader byte.
struct FaultPlan {
  struct Step {
    std::uint32_t delayMs = 0;
    std::optional<FaultKind> action;  // kSilent, kWrongByte or kVanish
    std::optional<std::uint8_t> replacement;
  };
  Step steps[kReaderByteCount]{};

  const Step& at(ReaderByte b) const { return steps[static_cast<int>(b)]; }
  void Apply(const Fault& fault);
  bool Empty() const;
};

// Thread-safe list of pending faults.
class FaultSchedule {
 public:
  // False (and nothing scheduled) for a fault that cannot be told apart in
  // time: a code-filtered trigger with a fault at kStart, where the code has
  // not arrived yet.
  bool Add(const Fault& fault, const FaultTrigger& trigger);
  void Clear();
  std::size_t Pending() const;

  // A new exchange begins: faults without a code filter count it.
  FaultPlan BeginExchange();
  // A well-formed request with this code has arrived: code-filtered faults
  // count it and are added to the exchange's plan.
  void MatchCode(std::uint8_t code, FaultPlan& plan);

 private:
  struct Entry {
    Fault fault;
    std::optional<std::uint8_t> code;
    std::uint32_t skip;
    std::uint32_t remaining;  // hits left unless `forever`
    bool forever;
  };
  // Counts one matching exchange for the entry; true when it fires.
  static bool Count(Entry& entry);
  // Drops the faults that have hit as often as asked.
  void Sweep();

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace kulve::sim
