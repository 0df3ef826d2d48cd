// SPDX-License-Identifier: MIT
#include "sim/simulator.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "sim/commands.h"
#include "sim/hardware_priority.h"
#include "sim/stable_link.h"

namespace kulve::sim {

namespace {

std::uint32_t OpeningSpeed(SpeedSet speeds) {
  return speeds == SpeedSet::k9600Only ? 9600 : 57600;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

Simulator::Simulator(SimulatorOptions options)
    : options_(std::move(options)), speeds_(options_.speeds) {
  RegisterReaderCommands(firmware_);
  RegisterSlotMapCommand(firmware_, options_.slotMap);
}

Simulator::~Simulator() {
  Stop();
  net_.reset();
}

void Simulator::Start() {
  std::lock_guard control(controlMutex_);
  if (serving_.load()) return;
  JoinThread();  // a thread whose line vanished
  if (options_.network.protocol != NetProtocol::kNone && !net_) {
    if (!options_.devicePath.empty())
      throw std::system_error(EINVAL, std::generic_category(), "a serial device is not served over the network");
    net_ = std::make_unique<NetServer>(options_.network, static_cast<NetLineAccess&>(*this));
  }

  const std::uint32_t bps = OpeningSpeed(speeds_.load());
  Line line = options_.devicePath.empty() ? Line::OpenPty(bps)
                                          : Line::OpenDevice(options_.devicePath, bps);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe2");
  try {
    if (!options_.linkPath.empty()) PointLinkAt(options_.linkPath, line.HostPath());
  } catch (...) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    throw;
  }

  std::lock_guard lock(lineMutex_);
  CloseFd(wakeRead_);
  CloseFd(wakeWrite_);
  line_ = std::move(line);
  slavePath_ = line_.HostPath();
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
  serving_.store(true);
  thread_ = StartServingThread([this] { Serve(); });
  if (net_) net_->Start();
}

void Simulator::Stop() {
  std::lock_guard control(controlMutex_);
  {
    std::lock_guard lock(lineMutex_);
    Wake();
  }
  JoinThread();
  std::lock_guard lock(lineMutex_);
  line_.Close();
  CloseFd(wakeRead_);
  CloseFd(wakeWrite_);
  if (!options_.linkPath.empty() && !slavePath_.empty())
    RemoveLinkTo(options_.linkPath, slavePath_);
}

void Simulator::Vanish() {
  std::lock_guard control(controlMutex_);
  std::unique_lock lock(lineMutex_);
  if (!serving_.load()) {
    line_.Close();
    return;
  }
  Wake();
  lineClosed_.wait(lock, [this] { return !serving_.load(); });
}

void Simulator::Serve() {
  FrameServer server(line_.Fd(), wakeRead_, *this);
  const FrameServer::End end = server.Run();
  if (Tracing()) {
    if (end == FrameServer::End::kVanished) Trace("line closed by a fault");
    if (end == FrameServer::End::kLineLost) Trace("line lost");
  }
  std::lock_guard lock(lineMutex_);
  serving_.store(false);  // before the host can see the hangup
  line_.Close();
  lineClosed_.notify_all();
}

void Simulator::Wake() {
  if (wakeWrite_ >= 0 && ::write(wakeWrite_, "w", 1) < 0) {
    // The pipe is full: a wake-up is already pending.
  }
}

void Simulator::JoinThread() {
  if (thread_.joinable()) thread_.join();
}

std::string Simulator::SlavePath() const {
  std::lock_guard lock(lineMutex_);
  return slavePath_;
}

std::string Simulator::HostPath() const {
  if (net_) return net_->Url();
  if (!options_.linkPath.empty()) return options_.linkPath;
  return SlavePath();
}

void Simulator::Register(std::uint8_t code, Handler handler) {
  std::lock_guard lock(mutex_);
  firmware_.Register(code, std::move(handler));
}

bool Simulator::InjectFault(const Fault& fault, const FaultTrigger& when) {
  return faults_.Add(fault, when);
}

std::vector<Request> Simulator::Requests() const {
  std::lock_guard lock(mutex_);
  return {requests_.begin(), requests_.end()};
}

void Simulator::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

bool Simulator::BecomeControllingTerminal() {
  std::lock_guard lock(lineMutex_);
  return line_.BecomeControllingTerminal();
}

std::string Simulator::LineForClient() {
  std::lock_guard lock(lineMutex_);
  return serving_.load() ? slavePath_ : std::string();
}

std::uint32_t Simulator::ClientStartSpeed() { return OpeningSpeed(speeds_.load()); }

bool Simulator::SpeedAccepted() {
  if (!line_.IsPty()) return true;  // a device runs at the speed set at open
  const std::uint32_t bps = line_.HostSpeed();
  const bool accepted = Accepts(speeds_.load(), bps);
  if (!accepted && Tracing())
    Trace("'#' at " + std::to_string(bps) + " bit/s, a speed not accepted: no answer");
  return accepted;
}

std::uint32_t Simulator::PacedBitRate() {
  if (!options_.pace || !line_.IsPty()) return 0;  // a device keeps to its own speed
  const std::uint32_t bps = line_.HostSpeed();
  return bps == 38400 ? 57600 : bps;  // the custom-rate marker stands for the fast speed (line.h)
}

FaultPlan Simulator::BeginExchange() {
  FaultPlan plan = faults_.BeginExchange();
  if (!plan.Empty() && Tracing()) Trace("faults apply to this exchange");
  return plan;
}

Reply Simulator::Execute(std::uint8_t code, std::span<const std::uint8_t> data, FaultPlan& plan) {
  const bool hadFaults = !plan.Empty();
  faults_.MatchCode(code, plan);
  if (!hadFaults && !plan.Empty() && Tracing()) Trace("faults apply to this exchange");
  std::lock_guard lock(mutex_);
  if (requests_.size() == kRequestLogSize) requests_.pop_front();
  requests_.push_back({code, {data.begin(), data.end()}});
  return firmware_.Execute(state_, code, data);
}

}  // namespace kulve::sim
