// SPDX-License-Identifier: MIT
#include "link/link.h"

#include <cstring>
#include <string>
#include <vector>

#include "link/net/network_path.h"
#include "link/port_paths.h"
#include "results/result_text.h"
#include "link/transact.h"
#include "link/user_environment.h"

namespace kulve {
namespace {

constexpr std::uint32_t kClosePauseMs = 1000;

LineSettings SettingsForSpeed(std::int32_t speed) {
  // The settings record gets 56000 for the fast speed; the UART divisor makes
  // that 57600 on the line.
  const bool fast = speed == kFastSpeed;
  LineSettings settings;
  settings.baudRate = fast ? 56000u : 9600u;
  settings.timeouts.readIntervalMs = 200;
  settings.timeouts.readMultiplierMs = fast ? 1u : 2u;
  settings.timeouts.readConstantMs = 100;
  settings.timeouts.writeMultiplierMs = fast ? 1u : 2u;
  settings.timeouts.writeConstantMs = 100;
  settings.inputQueue = 512;
  settings.outputQueue = 512;
  return settings;
}

bool ValidIndex(std::int32_t index) { return index >= 0 && index < kPortCount; }

void DescribeOpenFailure(LinkError& error, const char* device, const OpenFailure& why) {
  const std::string reason = !why.detail.empty() ? why.detail : OsErrorText(why.osError);
  switch (why.code) {
    case KULVE_LINK_ERROR_BUSY:
      SetLinkError(error, why.code, why.osError, "the port %s is held by %s (%s: %s)", device,
                   HeldPort::HeldHere(device) ? "another handle of this process" : "another program", why.step.c_str(),
                   reason.c_str());
      break;
    case KULVE_LINK_ERROR_SETTINGS:
      SetLinkError(error, why.code, why.osError, "%s %s: the line settings were refused: %s", why.step.c_str(),
                   device, reason.c_str());
      break;
    default:
      SetLinkError(error, why.code, why.osError, "%s %s: %s", why.step.c_str(), device, reason.c_str());
      break;
  }
}

// A network address that cannot be resolved or connected to at one speed
// cannot at the other either, and each try may cost the connect timeout.
bool NoSpeedHelps(int openFailureCode) {
  return openFailureCode == KULVE_LINK_ERROR_UNRESOLVED || openFailureCode == KULVE_LINK_ERROR_REFUSED ||
         openFailureCode == KULVE_LINK_ERROR_TIMEOUT;
}

void RunProbe(Link& reader) {
  reader.block.code = 0;
  reader.block.sendLength = 0;
  Transact(reader);
}

// Starts the trace's session: the header names the port and its path. Kept
// with the trace off too, for a trace turned on later.
void TraceSession(Link& reader, std::int32_t index) {
  if (!ValidIndex(index)) {
    reader.trace.Session("port " + std::to_string(index) + " (outside 0..9)");
    return;
  }
  char device[kMaxPortPath + 1];
  DevicePath(reader, index, device, sizeof device);
  reader.trace.Session("port " + std::to_string(index) + " = " + device + " (" + PathOrigin(reader, index) + ")");
}

// The speeds a link tries, in order: both, or the one KULVE32_SPEED names
// (a reader known to answer at 9600 then links without the 1.2 s of the
// fast probe and its close). Another value is named on the trace and ignored.
std::vector<std::int32_t> LinkSpeeds(Link& reader) {
  const auto chosen = UserVariable("KULVE32_SPEED");
  if (chosen && *chosen == std::to_string(kFastSpeed)) return {kFastSpeed};
  if (chosen && *chosen == std::to_string(kSlowSpeed)) return {kSlowSpeed};
  if (chosen && !chosen->empty()) {
    reader.trace.Line(trace_level::kFailures, "KULVE32_SPEED=%.16s is neither 57600 nor 9600: both are tried",
                      chosen->c_str());
  }
  return {kFastSpeed, kSlowSpeed};
}

struct LinkAttempt {
  int result;   // 0 = linked, 1 = not
  bool probed;  // at least one probe went out
};

// Closes whatever is open, then opens and probes at the fast speed and, when
// no reader answers there, at the slow one.
LinkAttempt TryLink(Link& reader, std::int32_t index) {
  ReaderContext& context = reader.context;
  bool probed = false;
  LinkError probeFailure;  // why the last probe failed, when one ran
  LinkError openFailure;
  reader.LinkStarting();
  RefreshPorts(reader);
  TraceSession(reader, index);
  const std::vector<std::int32_t> speeds = LinkSpeeds(reader);
  for (const std::int32_t speed : speeds) {
    UnLinkCom(reader);
    if (OpenPort(reader, index, speed) != 0) {
      openFailure = context.lastError;
      if (NoSpeedHelps(openFailure.code)) break;
      continue;
    }
    probed = true;
    RunProbe(reader);
    if (reader.block.status == 0) {
      context.linkSpeed = speed;
      ClearLinkError(context.lastError);
      return {0, probed};
    }
    probeFailure = context.lastError;
    context.linkSpeed = 0;
  }
  context.linkSpeed = 0;
  if (probed) {
    char device[kMaxPortPath + 1];
    DevicePath(reader, index, device, sizeof device);
    SetLinkError(context.lastError, KULVE_LINK_ERROR_NO_ANSWER, probeFailure.osError,
                 "no answer at %s on %s (%s)",
                 speeds.size() == 1 ? std::to_string(speeds[0]).c_str() : "57600 or 9600", device, ResultText(reader.block.status));
  } else {
    context.lastError = openFailure;
  }
  reader.trace.Line(trace_level::kFailures, "LinkCom(%d): %s", index, context.lastError.text.data());
  return {1, probed};
}

}  // namespace

int OpenPort(Link& reader, std::int32_t index, std::int32_t speed) {
  ReaderContext& context = reader.context;
  context.portIndex = index;
  if (!ValidIndex(index)) {
    SetLinkError(context.lastError, KULVE_LINK_ERROR_BAD_INDEX, 0, "port index %d is outside 0..9", index);
    return 1;
  }
  LoadPorts(reader);

  char device[kMaxPortPath + 1];
  DevicePath(reader, index, device, sizeof device);
  const LineSettings settings = SettingsForSpeed(speed);
  OpenFailure why;
  std::unique_ptr<SerialPort> port = context.system->Open(index, device, settings, why);
  if (!port) {
    DescribeOpenFailure(context.lastError, device, why);
    reader.trace.Line(trace_level::kFrames, "open %s at %d: %s", device, speed, context.lastError.text.data());
    return 1;
  }
  reader.trace.Line(trace_level::kFrames, "open %s at %d", device, speed);
  if (reader.trace.Wants(trace_level::kTransfers)) {
    const std::string report = port->OpenReport();
    if (!report.empty()) reader.trace.Line(trace_level::kTransfers, "  %s", report.c_str());
    if (net::IsNetworkPath(device)) {
      reader.trace.Line(trace_level::kTransfers, "  low latency: not a setting of a network address");
    }
  }
  // A port left open by a failed close is released here rather than leaked.
  context.port = std::move(port);
  context.held = std::make_unique<HeldPort>(device);
  context.latency.Opened(!context.port->LatencyAdvice().empty());
  context.replyMayTrail = false;  // a new port: the open purged it
  context.settings = settings;
  context.commandAckTries = 10;
  context.probeAckTries = 2;
  return 0;
}

std::size_t PortWrite(Link& reader, const std::uint8_t* data, std::size_t count) {
  if (!reader.context.port) return 0;
  return reader.context.port->Write(data, count);
}

std::size_t PortRead(Link& reader, std::uint8_t* buffer, std::size_t count) {
  if (!reader.context.port) return 0;
  return reader.context.port->Read(buffer, count);
}

int PortWriteByte(Link& reader, std::uint8_t byte) {
  return PortWrite(reader, &byte, 1) == 1 ? 0 : 1;
}

int LinkCom(Link& reader, std::int32_t index) { return TryLink(reader, index).result; }

int UnLinkCom(Link& reader) {
  ReaderContext& context = reader.context;
  if (!context.port) return 1;
  // The port is released whatever the purge says: an adapter unplugged
  // mid-call refuses the purge, and must not stay held until the next open.
  const bool purged = context.port->Purge();
  const bool closed = context.port->Close();
  context.port.reset();
  context.held.reset();
  if (!purged || !closed) {
    reader.trace.Line(trace_level::kFailures, "closed the port, but the system refused the %s",
                      purged ? "close" : "purge");
    return 1;
  }
  reader.trace.Line(trace_level::kFrames, "closed the port");
  context.system->Sleep(kClosePauseMs);
  return 0;
}

int AutoLinkCom(Link& reader, std::int32_t* index) {
  if (index == nullptr) return result::kBadArgument;
  const std::int32_t first = *index == 1 ? 1 : 0;
  const std::int32_t second = 1 - first;
  bool probed = false;
  for (std::int32_t candidate : {first, second}) {
    const LinkAttempt attempt = TryLink(reader, candidate);
    probed = probed || attempt.probed;
    if (attempt.result == 0) {
      *index = candidate;
      return reader.block.status;
    }
  }
  // Neither port could even be opened: no probe ran, so the status byte is
  // stale. Report "no answer" rather than an old success.
  if (!probed) return link_failure::kNoAnswer;
  return reader.block.status;
}

int ComBaudRate(const Link& reader) { return reader.context.linkSpeed; }

int SetComPortPath(Link& reader, std::int32_t index, const char* path) {
  if (!ValidIndex(index) || path == nullptr) return result::kBadArgument;
  const std::size_t length = ::strnlen(path, kMaxPortPath + 1);
  if (length == 0 || length > kMaxPortPath) return result::kBadArgument;
  auto& slot = reader.context.devicePaths[static_cast<std::size_t>(index)];
  std::memcpy(slot.data(), path, length);
  slot[length] = '\0';
  return 0;
}

int GetComPortPath(Link& reader, std::int32_t index, char* path, std::int32_t size) {
  if (!ValidIndex(index) || path == nullptr || size < 1) return result::kBadArgument;
  LoadPorts(reader);
  char device[kMaxPortPath + 1];
  DevicePath(reader, index, device, sizeof device);
  const std::size_t length = std::strlen(device);
  if (length + 1 > static_cast<std::size_t>(size)) return result::kBadArgument;
  std::memcpy(path, device, length + 1);
  return 0;
}

}  // namespace kulve

namespace kulve {

int GetLinkError(const Link& reader, char* text, std::int32_t size) {
  return CopyLinkError(reader.context.lastError, text, size);
}

int GetLinkOsError(const Link& reader) { return reader.context.lastError.osError; }

int SetTrace(Link& reader, std::int32_t level, KulveTraceCallback callback, void* context) {
  return reader.trace.Set(level, callback, context) ? result::kOk : result::kBadArgument;
}

}  // namespace kulve
