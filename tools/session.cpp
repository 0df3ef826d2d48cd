// SPDX-License-Identifier: MIT
#include "tools/session.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kulve32.h"
#include "sim/attendance_commands.h"
#include "sim/terminal/sample_records.h"
#include "tools/results.h"

namespace kulve::tool {

Session::Session(SessionOptions options) : options_(std::move(options)) {}

Session::~Session() {
  if (linked_) UnLinkCom();
}

bool Session::EnsureLinked() {
  if (linked_) return true;
  if (options_.useSimulator) {
    sim::SimulatorOptions simOptions;
    simOptions.speeds = options_.simulatorSpeeds;
    if (options_.trace) {
      simOptions.trace = [](const std::string& line) { std::fprintf(stderr, "  [reader] %s\n", line.c_str()); };
    }
    simulator_ = std::make_unique<sim::Simulator>(std::move(simOptions));
    if (options_.simulatorTerminalRecords) {
      simulator_->WithState([](sim::ReaderState& s) { sim::FillWithSampleRecords(sim::TerminalOf(s)); });
    }
    simulator_->Start();
    devicePath_ = simulator_->HostPath();
  } else {
    devicePath_ = options_.port;
  }
  if (SetComPortPath(0, devicePath_.c_str()) != 0) {
    std::fprintf(stderr, "kulve: the port path \"%s\" is not usable (empty or longer than %d bytes)\n",
                 devicePath_.c_str(), KULVE_MAX_PORT_PATH);
    return false;
  }
  if (LinkCom(0) != 0) {
    // LinkCom cannot say why; the common causes can be told apart from here.
    if (::access(devicePath_.c_str(), R_OK | W_OK) != 0) {
      const int error = errno;
      std::fprintf(stderr, "kulve: cannot open %s: %s%s\n", devicePath_.c_str(), std::strerror(error),
                   error == EACCES ? " (is your user in the group that owns the port, e.g. dialout?)" : "");
    } else {
      std::fprintf(stderr,
                   "kulve: no reader answered on %s at 57600 or 9600 bit/s "
                   "(or another program has the port open)\n",
                   devicePath_.c_str());
    }
    return false;
  }
  linked_ = true;
  return true;
}

}  // namespace kulve::tool
