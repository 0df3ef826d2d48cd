// SPDX-License-Identifier: MIT
// One run of the kulve tool: the reader it talks to (a device path, or the
// simulator started in-process) and the link to it, made on first use.
#pragma once

#include <memory>
#include <string>

#include "kulve32.h"
#include "sim/line.h"
#include "sim/simulator.h"

namespace kulve::tool {

struct SessionOptions {
  std::string port;  // device path; empty with useSimulator or portIndex
  int portIndex = -1;  // 0..9: link as LinkCom(portIndex) does, through the port map
  bool useSimulator = false;
  sim::SpeedSet simulatorSpeeds = sim::SpeedSet::k57600Only;
  bool simulatorTerminalRecords = false;  // fill the simulated attendance terminal
  bool trace = false;  // print the frames on the wire on stderr, keys, codes and passwords masked
  bool showSecrets = false;  // the tool's own output shows codes, PINs and keys in clear
  bool traceSecrets = false;  // show those in clear, and with --sim the simulator's log (which shows all)
  bool quiet = false;  // no "ok" lines
};

class Session {
 public:
  explicit Session(SessionOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Links to the reader on the first call; prints why when it cannot.
  bool EnsureLinked();
  // A handle of its own on the same reader, for the calls only the handle
  // API has (kulve watch); the process link, if any, is closed first (its
  // 1 s pause). Null, with the reason printed, when no reader answers.
  kulve_reader* Handle();
  const std::string& DevicePath() const { return devicePath_; }
  bool Quiet() const { return options_.quiet; }
  // The tool's own output shows codes, PINs and keys only when asked to.
  bool ShowsSecrets() const { return options_.traceSecrets || options_.showSecrets; }
  // The card type last selected by this run (255: none), which says where a
  // memory card keeps its code.
  int CardType() const { return cardType_; }
  void SetCardType(int type) { cardType_ = type; }
  // The in-process simulator, or null when talking to a device.
  sim::Simulator* Simulator() { return simulator_.get(); }
  // Whether the reader is the simulator: in-process, or a kulvesim whose
  // version (asked once, the first time this is wanted) says so.
  bool TalksToSimulator();

 private:
  SessionOptions options_;
  std::unique_ptr<sim::Simulator> simulator_;
  // Starts the simulator or finds the device path; false when unusable.
  bool Prepare();

  std::string devicePath_;
  bool prepared_ = false;
  bool linked_ = false;
  kulve_reader* handle_ = nullptr;
  int knowsSimulator_ = -1;  // -1 not asked yet, else 0 / 1
  int cardType_ = 255;
};

}  // namespace kulve::tool
