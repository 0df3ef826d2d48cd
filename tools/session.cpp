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
  kulve_close(handle_);
}

bool Session::Prepare() {
  if (prepared_) return true;
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
  if (options_.portIndex >= 0) {
    char path[KULVE_MAX_PORT_PATH + 1] = {};
    GetComPortPath(options_.portIndex, path, sizeof path);  // the port map read afresh, as LinkCom reads it
    devicePath_ = path;
  } else if (SetComPortPath(0, devicePath_.c_str()) != 0) {
    std::fprintf(stderr, "kulve: the port path \"%s\" is not usable (empty or longer than %d bytes)\n",
                 devicePath_.c_str(), KULVE_MAX_PORT_PATH);
    return false;
  }
  prepared_ = true;
  return true;
}

bool Session::EnsureLinked() {
  if (linked_) return true;
  if (!Prepare()) return false;
  if (handle_ != nullptr) {  // the port is the handle's: give it back first
    kulve_close(handle_);
    handle_ = nullptr;
  }
  if (LinkCom(options_.portIndex >= 0 ? options_.portIndex : 0) != 0) {
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

kulve_reader* Session::Handle() {
  if (handle_ != nullptr) return handle_;
  if (!Prepare()) return nullptr;
  if (linked_) {
    UnLinkCom();
    linked_ = false;
  }
  kulve_reader* opened = nullptr;
  if (kulve_open(devicePath_.c_str(), &opened) != 0) {
    char why[256] = "no memory for a reader";
    if (opened != nullptr) kulve_link_error(opened, why, sizeof why);
    std::fprintf(stderr, "kulve: cannot link: %s\n", why);
    kulve_close(opened);
    return nullptr;
  }
  if (options_.trace) kulve_set_trace(opened, 2, nullptr, nullptr);
  handle_ = opened;
  return handle_;
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
