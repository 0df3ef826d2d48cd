// SPDX-License-Identifier: MIT
#include "link/link.h"

#include <cstring>

#include "link/transact.h"

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

// The device path port `index` opens: the caller's override or the default.
void DevicePath(const Reader& reader, std::int32_t index, char* out, std::size_t size) {
  const auto& custom = reader.context.devicePaths[static_cast<std::size_t>(index)];
  if (custom[0] != '\0') {
    std::strncpy(out, custom.data(), size - 1);
    out[size - 1] = '\0';
  } else {
    reader.context.system->DefaultDevicePath(index, out, size);
  }
}

void RunProbe(Reader& reader) {
  reader.block.code = 0;
  reader.block.sendLength = 0;
  Transact(reader);
}

struct LinkAttempt {
  int result;   // 0 = linked, 1 = not
  bool probed;  // at least one probe went out
};

// Closes whatever is open, then opens and probes at the fast speed and, when
// no reader answers there, at the slow one.
LinkAttempt TryLink(Reader& reader, std::int32_t index) {
  ReaderContext& context = reader.context;
  bool probed = false;
  context.cardType = kNoCardSelected;
  for (const std::int32_t speed : {kFastSpeed, kSlowSpeed}) {
    UnLinkCom(reader);
    if (OpenPort(reader, index, speed) != 0) continue;
    probed = true;
    RunProbe(reader);
    if (reader.block.status == 0) {
      context.linkSpeed = speed;
      return {0, probed};
    }
    context.linkSpeed = 0;
  }
  context.linkSpeed = 0;
  return {1, probed};
}

}  // namespace

int OpenPort(Reader& reader, std::int32_t index, std::int32_t speed) {
  ReaderContext& context = reader.context;
  context.portIndex = index;
  if (!ValidIndex(index)) return 1;

  char device[kMaxPortPath + 1];
  DevicePath(reader, index, device, sizeof device);
  const LineSettings settings = SettingsForSpeed(speed);
  std::unique_ptr<SerialPort> port = context.system->Open(index, device, settings);
  if (!port) return 1;
  // A port left open by a failed close is released here rather than leaked.
  context.port = std::move(port);
  context.settings = settings;
  context.commandAckTries = 10;
  context.probeAckTries = 2;
  return 0;
}

std::size_t PortWrite(Reader& reader, const std::uint8_t* data, std::size_t count) {
  if (!reader.context.port) return 0;
  return reader.context.port->Write(data, count);
}

std::size_t PortRead(Reader& reader, std::uint8_t* buffer, std::size_t count) {
  if (!reader.context.port) return 0;
  return reader.context.port->Read(buffer, count);
}

int PortWriteByte(Reader& reader, std::uint8_t byte) {
  return PortWrite(reader, &byte, 1) == 1 ? 0 : 1;
}

int LinkCom(Reader& reader, std::int32_t index) { return TryLink(reader, index).result; }

int UnLinkCom(Reader& reader) {
  ReaderContext& context = reader.context;
  if (!context.port) return 1;
  if (!context.port->Purge()) return 1;
  const bool closed = context.port->Close();
  context.port.reset();
  if (!closed) return 1;
  context.system->Sleep(kClosePauseMs);
  return 0;
}

int AutoLinkCom(Reader& reader, std::int32_t* index) {
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

int ComBaudRate(const Reader& reader) { return reader.context.linkSpeed; }

int SetComPortPath(Reader& reader, std::int32_t index, const char* path) {
  if (!ValidIndex(index) || path == nullptr) return result::kBadArgument;
  const std::size_t length = ::strnlen(path, kMaxPortPath + 1);
  if (length == 0 || length > kMaxPortPath) return result::kBadArgument;
  auto& slot = reader.context.devicePaths[static_cast<std::size_t>(index)];
  std::memcpy(slot.data(), path, length);
  slot[length] = '\0';
  return 0;
}

int GetComPortPath(const Reader& reader, std::int32_t index, char* path, std::int32_t size) {
  if (!ValidIndex(index) || path == nullptr || size < 1) return result::kBadArgument;
  char device[kMaxPortPath + 1];
  DevicePath(reader, index, device, sizeof device);
  const std::size_t length = std::strlen(device);
  if (length + 1 > static_cast<std::size_t>(size)) return result::kBadArgument;
  std::memcpy(path, device, length + 1);
  return 0;
}

}  // namespace kulve
