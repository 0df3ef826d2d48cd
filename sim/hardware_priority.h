// SPDX-License-Identifier: MIT
// The simulated reader stands for hardware, which answers in its own time
// whatever the host is doing. Its serving threads ask for a higher
// scheduling priority so that a busy host (a build beside the tests, a load
// generator) does not make its answers late beyond the line's timeouts; the
// library's own threads keep theirs. Without the right to raise it (not
// root, no CAP_SYS_NICE) the threads run as they are.
#pragma once

#include <future>
#include <thread>
#include <utility>

namespace kulve::sim {

void ServeLikeHardware();

// Runs serve() on a thread of its own that serves like hardware; returns
// once that thread runs at the priority it asks for, so that a host starting
// at once is answered in the line's time even on a busy machine.
template <class Serve>
std::thread StartServingThread(Serve serve) {
  std::promise<void> running;
  std::future<void> started = running.get_future();
  std::thread thread([serve = std::move(serve), running = std::move(running)]() mutable {
    ServeLikeHardware();
    running.set_value();
    serve();
  });
  started.wait();
  return thread;
}

}  // namespace kulve::sim
