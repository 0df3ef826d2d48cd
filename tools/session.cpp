// SPDX-License-Identifier: MIT
#include "tools/session.h"

#include <cstdio>

#include "kulve32.h"
#include "sim/attendance_commands.h"
#include "sim/log_time.h"
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
    if (options_.trace && options_.traceSecrets) {
      simOptions.trace = [](const std::string& line) {
        std::fprintf(stderr, "kulvesim: %s %s\n", sim::LogTime().c_str(), line.c_str());
      };
    }
    simulator_ = std::make_unique<sim::Simulator>(std::move(simOptions));
    if (options_.simulatorTerminalRecords) {
      simulator_->WithState([](sim::ReaderState& s) { sim::FillWithSampleRecords(sim::TerminalOf(s)); });
    }
    simulator_->Start();
    devicePath_ = simulator_->HostPath();
  } else if (options_.portIndex < 0) {
    devicePath_ = options_.port;
  }
  if (options_.trace) SetTrace(2, nullptr, nullptr);
  int index = options_.portIndex;
  if (index >= 0) {
    char path[KULVE_MAX_PORT_PATH + 1] = {};
    GetComPortPath(index, path, sizeof path);  // the port map read afresh, as LinkCom reads it
    devicePath_ = path;
  } else if (index = 0; SetComPortPath(0, devicePath_.c_str()) != 0) {
    std::fprintf(stderr, "kulve: the port path \"%s\" is not usable (empty or longer than %d bytes)\n",
                 devicePath_.c_str(), KULVE_MAX_PORT_PATH);
    return false;
  }
  if (LinkCom(index) != 0) {
    char why[256];
    const int code = GetLinkError(why, sizeof why);
    std::fprintf(stderr, "kulve: cannot link: %s%s\n", why,
                 code == KULVE_LINK_ERROR_PERMISSION ? " (is your user in the group that owns the port, e.g. dialout?)"
                                                     : "");
    return false;
  }
  linked_ = true;
  return true;
}

bool Session::TalksToSimulator() {
  if (simulator_) return true;
  if (!linked_) return false;
  if (knowsSimulator_ < 0) {
    unsigned char version[8] = {};
    knowsSimulator_ = DEVVER(version) == 0 && std::string(version, version + 5) == "KVSIM" ? 1 : 0;
  }
  return knowsSimulator_ == 1;
}

}  // namespace kulve::tool
