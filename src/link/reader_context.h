// SPDX-License-Identifier: MIT
// The record of one reader connection: the port, its path table and
// settings, and why the link last failed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "link/config/port_map_state.h"
#include "link/held_ports.h"
#include "link/latency_watch.h"
#include "link/link_error.h"
#include "link/serial_port.h"

namespace kulve {

inline constexpr int kPortCount = 10;
static_assert(kPortCount == kMappedPorts);
inline constexpr std::size_t kMaxPortPath = 255;

struct ReaderContext {
  explicit ReaderContext(PortSystem& platform) : system(&platform) {}

  PortSystem* system;                // opens devices and sleeps
  std::unique_ptr<SerialPort> port;  // null: no port open
  std::unique_ptr<HeldPort> held;    // its device, while port is open
  std::int32_t portIndex = 0;        // last index given to OpenPort, kept for relinking
  std::int32_t linkSpeed = 0;        // 57600, 9600 or 0
  LineSettings settings{};
  std::int32_t probeAckTries = 0;
  std::int32_t commandAckTries = 0;
  LinkError lastError;               // why the link last failed (GetLinkError)
  // Device path per port index; empty means the platform default.
  std::array<std::array<char, kMaxPortPath + 1>, kPortCount> devicePaths{};
  // The port map (KULVE32_PORTS and the configuration files), beneath devicePaths.
  PortMapState portMap;
  LatencyWatch latency;              // turnarounds of the open port, for the trace
  // The last exchange failed: the rest of its reply may still be on its way.
  bool replyMayTrail = false;
  // That reply echoes a secret: its late bytes are masked in the trace too.
  bool trailIsSecret = false;
};

}  // namespace kulve
