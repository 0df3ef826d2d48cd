// SPDX-License-Identifier: MIT
// The simulator on Windows: the card models are all there, but there is no
// pseudo-terminal to serve them on, so a simulator never starts. The kulve
// tool built for Windows links this in place of the line, the frame server
// and the network server, and says so when asked for --sim.
#include <cerrno>
#include <system_error>
#include <utility>

#include "sim/commands.h"
#include "sim/simulator.h"

namespace kulve::sim {

Line::Line(Line&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), slave_(std::exchange(other.slave_, -1)), isPty_(other.isPty_),
      path_(std::move(other.path_)) {}
Line& Line::operator=(Line&& other) noexcept {
  fd_ = std::exchange(other.fd_, -1);
  slave_ = std::exchange(other.slave_, -1);
  isPty_ = other.isPty_;
  path_ = std::move(other.path_);
  return *this;
}
Line::~Line() = default;
void Line::Close() {}

NetServer::~NetServer() = default;

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)), speeds_(options_.speeds) {
  RegisterReaderCommands(firmware_);
  RegisterSlotMapCommand(firmware_, options_.slotMap);
}
Simulator::~Simulator() = default;

void Simulator::Start() {
  throw std::system_error(ENOSYS, std::generic_category(),
                          "the simulator needs Linux (a pseudo-terminal); run kulvesim there and give its "
                          "address with --port rfc2217://HOST:PORT");
}
void Simulator::Stop() {}
void Simulator::Vanish() {}
void Simulator::Serve() {}
void Simulator::Wake() {}
void Simulator::JoinThread() {}
std::string Simulator::SlavePath() const { return {}; }
std::string Simulator::HostPath() const { return {}; }
void Simulator::Register(std::uint8_t code, Handler handler) { firmware_.Register(code, std::move(handler)); }
bool Simulator::InjectFault(const Fault& fault, const FaultTrigger& when) { return faults_.Add(fault, when); }
std::vector<Request> Simulator::Requests() const { return {}; }
void Simulator::ClearRequests() {}
bool Simulator::BecomeControllingTerminal() { return false; }
std::string Simulator::LineForClient() { return {}; }
std::uint32_t Simulator::ClientStartSpeed() { return 0; }
bool Simulator::SpeedAccepted() { return false; }
std::uint32_t Simulator::PacedBitRate() { return 0; }
FaultPlan Simulator::BeginExchange() { return {}; }
Reply Simulator::Execute(std::uint8_t, std::span<const std::uint8_t>, FaultPlan&) { return {}; }

}  // namespace kulve::sim
