// SPDX-License-Identifier: MIT
#include "sim/faults.h"

#include <algorithm>

namespace kulve::sim {

void FaultPlan::Apply(const Fault& fault) {
  Step& step = steps[static_cast<int>(fault.at)];
  if (fault.kind == FaultKind::kDelay) {
    step.delayMs += fault.delayMs;
    return;
  }
  if (step.action) return;  // the first fault on a byte wins
  step.action = fault.kind;
  step.replacement = fault.replacement;
}

bool FaultPlan::Empty() const {
  return std::all_of(std::begin(steps), std::end(steps),
                     [](const Step& s) { return s.delayMs == 0 && !s.action; });
}

bool FaultSchedule::Add(const Fault& fault, const FaultTrigger& trigger) {
  if (trigger.code && fault.at == ReaderByte::kStart) return false;
  std::lock_guard lock(mutex_);
  entries_.push_back({fault, trigger.code, trigger.skip, trigger.times, trigger.times == 0});
  return true;
}

void FaultSchedule::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

std::size_t FaultSchedule::Pending() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

bool FaultSchedule::Count(Entry& entry) {
  if (entry.skip > 0) {
    --entry.skip;
    return false;
  }
  if (!entry.forever) --entry.remaining;
  return true;
}

void FaultSchedule::Sweep() {
  std::erase_if(entries_, [](const Entry& e) { return !e.forever && e.remaining == 0; });
}

FaultPlan FaultSchedule::BeginExchange() {
  FaultPlan plan;
  std::lock_guard lock(mutex_);
  for (Entry& e : entries_)
    if (!e.code && Count(e)) plan.Apply(e.fault);
  Sweep();
  return plan;
}

void FaultSchedule::MatchCode(std::uint8_t code, FaultPlan& plan) {
  std::lock_guard lock(mutex_);
  for (Entry& e : entries_)
    if (e.code == code && Count(e)) plan.Apply(e.fault);
  Sweep();
}

}  // namespace kulve::sim
