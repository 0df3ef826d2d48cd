// SPDX-License-Identifier: MIT
// The simulated reader, in-process: a line (a new pseudo-terminal, or a
// serial device) served on a thread of its own.
//
//   kulve::sim::Simulator sim;           // 57600 bit/s only
//   sim.Start();                         // throws std::system_error
//   open sim.HostPath() as the host ...
//   sim.WithState([](ReaderState& s) { s.power = PowerState::kOn; });
//   sim.InjectFault({FaultKind::kSilent, ReaderByte::kAck});
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/faults.h"
#include "sim/firmware.h"
#include "sim/frame_server.h"
#include "sim/line.h"
#include "sim/net_server.h"
#include "sim/reader_state.h"
#include "sim/slot_map_command.h"

namespace kulve::sim {

// A well-formed request as the reader received it.
struct Request {
  std::uint8_t code = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const Request&) const = default;
};

struct SimulatorOptions {
  // Line speeds the reader answers at (on a pty; a device is set to 57600,
  // or 9600 with k9600Only, and always answered).
  SpeedSet speeds = SpeedSet::k57600Only;
  // Serve this serial device instead of a new pseudo-terminal.
  std::string devicePath;
  // Keep a symbolic link here pointing at the pseudo-terminal.
  std::string linkPath;
  // Also serve the pty over the network (see net_server.h); not with a device.
  NetListen network;
  // One line per frame event, called on the server thread.
  std::function<void(const std::string&)> trace;
  // On a pty, keep to the timing of a real line at the speed the host set:
  // each byte received or sent takes 10 bit times (see line_pacer.h).
  bool pace = false;
  // Play the host's USB-serial adapter: hold each burst of the reader's
  // bytes up to this many ms before the host gets it (see frame_server.h);
  // 0 = none.
  std::uint32_t adapterLatencyMs = 0;
  // Command 15, which no documented reader has (see slot_map_command.h):
  // refused as unknown unless a mode is given here.
  SlotMapMode slotMap = SlotMapMode::kOff;
};

class Simulator : private ServerHooks, private NetLineAccess {
 public:
  // The reader starts with every family's commands registered.
  explicit Simulator(SimulatorOptions options = {});
  ~Simulator() override;  // stops
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the line and starts serving. Does nothing while serving; after
  // Stop() or a vanished line it opens a new line (a new pty path; the
  // symbolic link follows). The network listener, if asked for, starts with
  // the first Start() and keeps its address until the simulator is
  // destroyed; while no line is served it turns clients away. Throws
  // std::system_error. Returns once the serving thread runs (at the
  // priority it asks for), so that a host starting at once is answered in
  // the line's time even on a busy machine.
  void Start();
  // Stops serving and closes the line; waits for the thread. Idempotent.
  void Stop();
  // True between Start() and Stop(), unless the line has vanished or failed.
  bool Serving() const { return serving_.load(); }

  // The pty slave (or device) path; empty before the first Start().
  std::string SlavePath() const;
  // What a host should open: the network address when served over the
  // network (tcp://HOST:PORT, rfc2217://HOST:PORT), else the symbolic link if
  // one is kept, else SlavePath().
  std::string HostPath() const;

  void SetAcceptedSpeeds(SpeedSet speeds) { speeds_.store(speeds); }
  SpeedSet AcceptedSpeeds() const { return speeds_.load(); }

  // Runs f on the reader state under the reader's lock; returns f's result.
  // Must not be called from inside a command handler.
  template <class F>
  decltype(auto) WithState(F&& f) {
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(state_);
  }

  // Adds or replaces a command handler, also while serving.
  void Register(std::uint8_t code, Handler handler);

  // Schedules a fault (see faults.h); false when the trigger cannot apply.
  bool InjectFault(const Fault& fault, const FaultTrigger& when = FaultTrigger::Next());
  void ClearFaults() { faults_.Clear(); }
  std::size_t PendingFaults() const { return faults_.Pending(); }

  // Closes the line now (the host sees a hangup on a pty) and stops
  // serving; returns once it is closed.
  void Vanish();

  // Exchanges whose reply went out in full (counted as its last byte leaves).
  std::uint64_t ExchangeCount() const { return exchanges_.load(); }
  // Bytes taken from and put on the line since the start.
  std::uint64_t LineBytes() const { return lineBytes_.load(); }
  // Well-formed requests received, oldest first (the latest kRequestLogSize).
  std::vector<Request> Requests() const;
  void ClearRequests();
  static constexpr std::size_t kRequestLogSize = 4096;

  // Standalone program only: makes the pty the controlling terminal of this
  // process in a new session. False with errno set when refused.
  bool BecomeControllingTerminal();

 private:
  // ServerHooks, on the server thread.
  bool SpeedAccepted() override;
  FaultPlan BeginExchange() override;
  Reply Execute(std::uint8_t code, std::span<const std::uint8_t> data, FaultPlan& plan) override;
  void ExchangeCompleted() override { exchanges_.fetch_add(1); }
  bool Tracing() const override { return static_cast<bool>(options_.trace); }
  void Trace(const std::string& line) override { options_.trace(line); }
  std::uint32_t PacedBitRate() override;
  std::uint32_t AdapterLatencyMs() override { return options_.adapterLatencyMs; }
  void LineBytes(std::size_t count) override { lineBytes_.fetch_add(count); }

  // NetLineAccess, on the network server's thread.
  std::string LineForClient() override;
  std::uint32_t ClientStartSpeed() override;
  void NetTrace(const std::string& line) override {
    if (Tracing()) Trace(line);
  }

  void Serve();
  void Wake();  // caller holds lineMutex_
  void JoinThread();

  SimulatorOptions options_;
  std::atomic<SpeedSet> speeds_;

  mutable std::mutex mutex_;  // state_, firmware_, requests_
  ReaderState state_;
  Firmware firmware_;
  std::deque<Request> requests_;

  FaultSchedule faults_;
  std::atomic<std::uint64_t> exchanges_{0};
  std::atomic<std::uint64_t> lineBytes_{0};

  mutable std::mutex lineMutex_;  // line_, slavePath_, wake pipe, vanish handshake
  std::condition_variable lineClosed_;
  Line line_;
  std::string slavePath_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::atomic<bool> serving_{false};
  std::mutex controlMutex_;  // serialises Start, Stop and Vanish
  std::thread thread_;
  // Last, so it stops before the state its thread reads goes away.
  std::unique_ptr<NetServer> net_;
};

}  // namespace kulve::sim
