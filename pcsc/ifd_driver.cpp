// SPDX-License-Identifier: MIT
#include "pcsc/ifd_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kulve::pcsc {
namespace {

constexpr DWORD kReaderOf(DWORD lun) { return lun >> 16; }
constexpr std::size_t kSlotOf(DWORD lun) { return lun & 0xFFFF; }

// A one-byte capability value.
RESPONSECODE PutByte(PDWORD length, PUCHAR value, std::uint8_t byte) {
  if (*length < 1) return IFD_ERROR_INSUFFICIENT_BUFFER;
  value[0] = byte;
  *length = 1;
  return IFD_SUCCESS;
}

RESPONSECODE PutBytes(PDWORD length, PUCHAR value, const std::uint8_t* bytes, std::size_t count) {
  if (*length < count) {
    *length = 0;
    return IFD_ERROR_INSUFFICIENT_BUFFER;
  }
  std::copy_n(bytes, count, value);
  *length = static_cast<DWORD>(count);
  return IFD_SUCCESS;
}

void Log(const char* what, const std::string& device, const std::string& why) {
  std::fprintf(stderr, "kulve_ifd: %s %s: %s\n", what, device.c_str(), why.c_str());
}

// A DWORD attribute: four bytes, least significant first, as PC/SC drivers
// give them.
RESPONSECODE PutDword(PDWORD length, PUCHAR value, DWORD value32) {
  const auto word = static_cast<std::uint32_t>(value32);
  const std::array<std::uint8_t, 4> bytes{static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                                          static_cast<std::uint8_t>(word >> 16),
                                          static_cast<std::uint8_t>(word >> 24)};
  return PutBytes(length, value, bytes.data(), bytes.size());
}

// Text with its terminating NUL, as PC/SC gives string attributes.
RESPONSECODE PutText(PDWORD length, PUCHAR value, const char* text) {
  return PutBytes(length, value, reinterpret_cast<const std::uint8_t*>(text), std::strlen(text) + 1);
}

// A slot map no reader could mean: reserved bits, or a card in use where
// there is none.
constexpr std::uint8_t kMapSlotBits = (1u << kSlotCount) - 1;
bool Plausible(const SlotMap& map) {
  return ((map.present | map.inUse) & ~kMapSlotBits) == 0 && (map.inUse & ~map.present) == 0;
}

// The reader's own queries, harmless with the escape off.
constexpr std::uint8_t kDeviceNumberCommand = 0x20;
constexpr std::uint8_t kVersionCommand = 0x22;
constexpr std::size_t kMaxEscapeData = 255;
constexpr std::uint32_t kSerialChannel = 0x00010000;  // CHANNEL_ID: a serial port, then its number
// The largest command APDU each kind of slot carries.
constexpr std::uint32_t kMaxT1Apdu = 65544;
constexpr std::uint32_t kMaxT0Apdu = 5 + 250;
constexpr std::uint32_t kMaxStorageApdu = 5 + 16;
constexpr std::uint32_t kAnnouncedIfsd = 251;

bool IsGetData(const UCHAR* tx, DWORD txLength) { return txLength >= 2 && tx[0] == 0xFF && tx[1] == 0xCA; }

// The number a device path ends with (ttyUSB3: 3), 0 without one.
std::uint32_t PortNumber(const std::string& address) {
  // A network address's settings (tcp://host:port?delay=MS) are not its port.
  const std::string device = address.substr(0, address.find('?'));
  std::uint32_t number = 0;
  std::uint32_t scale = 1;
  for (std::size_t i = device.size(); i > 0 && scale <= 1000 && device[i - 1] >= '0' && device[i - 1] <= '9'; --i) {
    number += static_cast<std::uint32_t>(device[i - 1] - '0') * scale;
    scale *= 10;
  }
  return number;
}

// Reply bytes of a reader query without its status byte, trailing NULs cut.
Bytes QueryText(ReaderBackend& backend, std::uint8_t code) {
  Bytes reply;
  if (backend.RawCommand(code, {}, reply) != Outcome::kOk || reply.empty() || reply[0] != 0) return {};
  reply.erase(reply.begin());
  while (!reply.empty() && reply.back() == 0) reply.pop_back();
  return reply;
}

}  // namespace

DWORD FirstProtocol(const Bytes& atr) {
  if (atr.size() < 2 || (atr[1] & 0x80) == 0) return SCARD_PROTOCOL_T0;
  const std::size_t td1 = 2 + static_cast<std::size_t>(((atr[1] >> 4) & 1) + ((atr[1] >> 5) & 1) + ((atr[1] >> 6) & 1));
  if (td1 >= atr.size()) return SCARD_PROTOCOL_T0;
  return (atr[td1] & 0x0F) == 1 ? SCARD_PROTOCOL_T1 : SCARD_PROTOCOL_T0;
}

// ":delay-MS": the network allowance for a reader behind a device server,
// given to the library as the address's ?delay=MS (reader.conf takes no '?').
static bool IsDelayOption(const std::string& word) {
  return word.size() > 6 && word.size() <= 11 && word.starts_with("delay-") &&
         word.find_first_not_of("0123456789", 6) == std::string::npos;
}

DeviceOptions ParseDeviceName(const std::string& name) {
  DeviceOptions options;
  options.device = name;
  std::string delay;
  for (;;) {
    const std::size_t colon = options.device.rfind(':');
    if (colon == std::string::npos) break;
    const std::string word = options.device.substr(colon + 1);
    if (word == "escape") {
      options.escape = true;
    } else if (word == "slotmap") {
      options.slotMap = true;
    } else if (word.size() == 7 && word.starts_with("slots-") && word[6] >= '1' && word[6] <= '6') {
      options.slots = static_cast<std::size_t>(word[6] - '0');
    } else if (IsDelayOption(word) && (name.starts_with("tcp://") || name.starts_with("rfc2217://"))) {
      delay = word.substr(6);
    } else {
      break;
    }
    options.device.resize(colon);
  }
  if (!delay.empty()) options.device += "?delay=" + delay;
  return options;
}

IfdDriver::IfdDriver(BackendFactory factory, Clock::duration probeInterval, Clock::duration mapInterval)
    : factory_(factory), probeInterval_(probeInterval), mapInterval_(mapInterval) {}

std::shared_ptr<IfdDriver::Channel> IfdDriver::Find(DWORD lun, std::size_t& slot) {
  slot = kSlotOf(lun);
  if (slot >= kSlotCount) return nullptr;
  std::lock_guard<std::mutex> guard(channelsLock_);
  const auto found = channels_.find(kReaderOf(lun));
  return found == channels_.end() ? nullptr : found->second;
}

std::shared_ptr<IfdDriver::Channel> IfdDriver::Lock(DWORD lun, std::size_t& slot,
                                                   std::unique_lock<std::mutex>& guard) {
  auto channel = Find(lun, slot);
  if (!channel) return nullptr;
  guard = std::unique_lock<std::mutex>(channel->lock);
  if (!channel->backend || slot >= channel->slotCount) {
    guard.unlock();
    return nullptr;
  }
  return channel;
}

RESPONSECODE IfdDriver::CreateChannel(DWORD lun, const char* device) {
  if (device == nullptr || kSlotOf(lun) >= kSlotCount) return IFD_COMMUNICATION_ERROR;
  std::shared_ptr<Channel> channel;
  std::unique_lock<std::mutex> opening;
  {
    std::lock_guard<std::mutex> guard(channelsLock_);
    const auto found = channels_.find(kReaderOf(lun));
    if (found != channels_.end()) {
      // pcscd opens each slot of a reader with the reader's one device.
      if (found->second->device != device) return IFD_COMMUNICATION_ERROR;
      channel = found->second;
      ++channel->opens;
    } else {
      if (channels_.size() >= kMaxReaders) return IFD_COMMUNICATION_ERROR;
      channel = std::make_shared<Channel>(probeInterval_);
      channel->device = device;
      channel->opens = 1;
      // Held while the port opens, outside the driver-wide lock: other
      // readers open and work meanwhile; this reader's calls wait.
      opening = std::unique_lock<std::mutex>(channel->lock);
      channels_.emplace(kReaderOf(lun), channel);
    }
  }
  if (opening.owns_lock()) {
    const DeviceOptions options = ParseDeviceName(channel->device);
    channel->escape = options.escape;
    channel->mapOn = options.slotMap;
    channel->slotCount = options.slots;
    std::string why;
    channel->backend = factory_(options.device, why);
    if (channel->backend) {
      channel->contactless = std::make_unique<StorageCardSlot>(*channel->backend);
      channel->memory = std::make_unique<MemoryCardSlot>(*channel->backend);
    } else {
      Log("no reader at", options.device, why);
    }
  } else {
    opening = std::unique_lock<std::mutex>(channel->lock);
  }
  if (channel->backend) return IFD_SUCCESS;
  opening.unlock();
  std::lock_guard<std::mutex> guard(channelsLock_);
  const auto found = channels_.find(kReaderOf(lun));
  if (--channel->opens == 0 && found != channels_.end() && found->second == channel) channels_.erase(found);
  return IFD_COMMUNICATION_ERROR;
}

RESPONSECODE IfdDriver::CloseChannel(DWORD lun) {
  std::shared_ptr<Channel> closing;
  {
    std::lock_guard<std::mutex> guard(channelsLock_);
    const auto found = channels_.find(kReaderOf(lun));
    if (found == channels_.end() || kSlotOf(lun) >= kSlotCount) return IFD_COMMUNICATION_ERROR;
    if (--found->second->opens > 0) return IFD_SUCCESS;
    closing = std::move(found->second);
    channels_.erase(found);
  }
  // The port is released here, after any exchange still running on it.
  std::lock_guard<std::mutex> guard(closing->lock);
  closing->contactless.reset();
  closing->memory.reset();
  closing->backend.reset();
  return IFD_SUCCESS;
}

RESPONSECODE IfdDriver::GetCapabilities(DWORD lun, DWORD tag, PDWORD length, PUCHAR value) {
  if (length == nullptr || value == nullptr) return IFD_COMMUNICATION_ERROR;
  std::size_t slot = 0;
  std::unique_lock<std::mutex> guard;
  const auto channel = Lock(lun, slot, guard);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  switch (tag) {
    case TAG_IFD_ATR:
    case SCARD_ATTR_ATR_STRING: {
      const Bytes& atr = channel->slots[slot].atr;
      return PutBytes(length, value, atr.data(), atr.size());
    }
    case TAG_IFD_SLOTS_NUMBER: return PutByte(length, value, static_cast<std::uint8_t>(channel->slotCount));
    case TAG_IFD_SIMULTANEOUS_ACCESS: return PutByte(length, value, kMaxReaders);
    case TAG_IFD_THREAD_SAFE:
    case TAG_IFD_SLOT_THREAD_SAFE: return PutByte(length, value, 1);
    default: return Attribute(*channel, slot, tag, length, value);
  }
}

RESPONSECODE IfdDriver::SetCapabilities(DWORD lun, DWORD tag) {
  std::size_t slot = 0;
  std::unique_lock<std::mutex> guard;
  const auto channel = Lock(lun, slot, guard);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  // A tag the get path answers is read-only; asked without touching the
  // reader (the reader's own readings are known by tag).
  switch (tag) {
    case TAG_IFD_ATR:
    case TAG_IFD_SLOTS_NUMBER:
    case TAG_IFD_SIMULTANEOUS_ACCESS:
    case TAG_IFD_THREAD_SAFE:
    case TAG_IFD_SLOT_THREAD_SAFE:
    case SCARD_ATTR_ATR_STRING:
    case SCARD_ATTR_VENDOR_NAME:
    case SCARD_ATTR_VENDOR_IFD_TYPE:
    case SCARD_ATTR_VENDOR_IFD_VERSION:
    case SCARD_ATTR_VENDOR_IFD_SERIAL_NO:
    case SCARD_ATTR_CHANNEL_ID:
    case SCARD_ATTR_MAXINPUT:
    case SCARD_ATTR_ICC_PRESENCE:
    case SCARD_ATTR_ICC_INTERFACE_STATUS:
    case SCARD_ATTR_CURRENT_PROTOCOL_TYPE:
    case SCARD_ATTR_ICC_TYPE_PER_ATR:
    case SCARD_ATTR_CURRENT_IFSC:
    case SCARD_ATTR_CURRENT_IFSD: return IFD_ERROR_VALUE_READ_ONLY;
    default: return IFD_ERROR_TAG;
  }
}

DWORD IfdDriver::Ifsc(Channel& channel, std::size_t slot) {
  const Slot& s = channel.slots[slot];
  if (!s.powered || slot == kContactlessSlot || s.memoryCard || s.protocol != SCARD_PROTOCOL_T1) return 0;
  return channel.backend->ChipIfsc(slot);
}

RESPONSECODE IfdDriver::Attribute(Channel& channel, std::size_t slot, DWORD tag, PDWORD length, PUCHAR value) {
  const Slot& s = channel.slots[slot];
  const bool storage = slot == kContactlessSlot || s.memoryCard;
  const bool t1 = s.powered && !storage && s.protocol == SCARD_PROTOCOL_T1;
  const DWORD ifsc = tag == SCARD_ATTR_CURRENT_IFSC ? Ifsc(channel, slot) : 0;
  switch (tag) {
    case SCARD_ATTR_VENDOR_NAME: return PutText(length, value, "KULVE32");
    case SCARD_ATTR_VENDOR_IFD_TYPE: return PutText(length, value, "KULVE32 serial reader");
    case SCARD_ATTR_VENDOR_IFD_VERSION:
    case SCARD_ATTR_VENDOR_IFD_SERIAL_NO: {
      const Bytes text =
          QueryText(*channel.backend, tag == SCARD_ATTR_VENDOR_IFD_VERSION ? kVersionCommand : kDeviceNumberCommand);
      if (text.empty()) return IFD_ERROR_TAG;
      return PutBytes(length, value, text.data(), text.size());
    }
    case SCARD_ATTR_CHANNEL_ID: return PutDword(length, value, kSerialChannel | PortNumber(ParseDeviceName(channel.device).device));
    case SCARD_ATTR_MAXINPUT:
      if (slot == kContactlessSlot) return PutDword(length, value, kMaxStorageApdu);
      if (s.memoryCard) return PutDword(length, value, kMaxT0Apdu);
      return PutDword(length, value, s.powered && s.protocol == SCARD_PROTOCOL_T0 ? kMaxT0Apdu : kMaxT1Apdu);
    case SCARD_ATTR_ICC_PRESENCE: return PutByte(length, value, s.powered || s.lastPresent ? 2 : 0);
    case SCARD_ATTR_ICC_INTERFACE_STATUS: return PutByte(length, value, s.powered ? 1 : 0);
    case SCARD_ATTR_CURRENT_PROTOCOL_TYPE: return PutDword(length, value, s.powered ? s.protocol : 0);
    // ISO/IEC 7816 asynchronous for a chip card that answered, synchronous
    // for a memory card; unknown otherwise.
    case SCARD_ATTR_ICC_TYPE_PER_ATR: return PutByte(length, value, !s.powered || slot == kContactlessSlot ? 0 : s.memoryCard ? 2 : 1);
    case SCARD_ATTR_CURRENT_IFSC: return ifsc != 0 ? PutDword(length, value, ifsc) : IFD_ERROR_TAG;
    case SCARD_ATTR_CURRENT_IFSD: return t1 ? PutDword(length, value, kAnnouncedIfsd) : IFD_ERROR_TAG;
    default: return IFD_ERROR_TAG;
  }
}

RESPONSECODE IfdDriver::SetProtocolParameters(DWORD lun, DWORD protocol) {
  std::size_t slot = 0;
  std::unique_lock<std::mutex> guard;
  const auto channel = Lock(lun, slot, guard);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  const Slot& s = channel->slots[slot];
  if (!s.powered) {
    // pcscd powers a card down a while after its last program left, and a
    // reconnect that leaves the card sets the protocol on the unpowered
    // slot: power the card up again first.
    UCHAR atr[MAX_ATR_SIZE];
    DWORD atrLength = 0;
    const RESPONSECODE rv = PowerUp(*channel, slot, atr, &atrLength);
    if (rv == IFD_COMMUNICATION_ERROR) return rv;
    if (rv != IFD_SUCCESS) return IFD_ICC_NOT_PRESENT;
  }
  // The reader makes no PPS exchange: a card speaks the protocol its ATR
  // offers first; storage cards take either.
  if (slot == kContactlessSlot || s.memoryCard) {
    return (protocol & (SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1)) != 0 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED;
  }
  return (protocol & s.protocol) != 0 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED;
}

void IfdDriver::Note(Channel& channel, std::size_t slot, Outcome outcome) {
  if (outcome != Outcome::kNoCard && outcome != Outcome::kCardChanged) return;
  Slot& s = channel.slots[slot];
  channel.probes.Forget(slot);
  if (s.powered) s.reportRemoval = true;
  s.powered = false;
  s.atr.clear();
  s.lastPresent = false;
}

Outcome IfdDriver::ChipPowerUp(Channel& channel, std::size_t slot, Bytes& atr) {
  Slot& s = channel.slots[slot];
  // The kind found last is tried first, so a memory card left in the slot
  // costs one exchange a probe.
  const bool memoryFirst = slot == 0 && s.memoryCard;
  if (!memoryFirst) {
    const Outcome reset = channel.backend->ResetChip(slot, atr);
    if (slot != 0 || (reset != Outcome::kNoCard && reset != Outcome::kCardError)) {
      s.memoryCard = false;
      return reset;
    }
  }
  const Outcome memory = channel.memory->PowerUp(atr);
  s.memoryCard = memory == Outcome::kOk;
  if (memory != Outcome::kNoCard || !memoryFirst) return memory;
  return channel.backend->ResetChip(slot, atr);
}

RESPONSECODE IfdDriver::PowerUp(Channel& channel, std::size_t slot, PUCHAR atr, PDWORD atrLength) {
  Slot& s = channel.slots[slot];
  s.powered = false;
  s.atr.clear();
  *atrLength = 0;
  Bytes answer;
  const Outcome outcome =
      slot == kContactlessSlot ? channel.contactless->PowerUp(answer) : ChipPowerUp(channel, slot, answer);
  if (outcome != Outcome::kOk) {
    s.lastPresent = false;
    channel.probes.Probed(slot, Clock::now());
    return outcome == Outcome::kLinkLost ? IFD_COMMUNICATION_ERROR : IFD_ERROR_POWER_ACTION;
  }
  if (answer.empty() || answer.size() > MAX_ATR_SIZE) return IFD_ERROR_POWER_ACTION;
  s.atr = answer;
  s.powered = true;
  s.reportRemoval = false;
  s.lastPresent = true;
  s.protocol = slot == kContactlessSlot || s.memoryCard ? SCARD_PROTOCOL_T1 : FirstProtocol(answer);
  // A map from before shows this card not yet in use; a new one that does
  // not show it in use is not to be trusted (the map tells of chip cards).
  if (!s.memoryCard && Map(channel, true) == Outcome::kOk && !(channel.map.Present(slot) && channel.map.InUse(slot))) {
    MapOff(channel, "it does not show the card just powered up in use");
  }
  std::copy(answer.begin(), answer.end(), atr);
  *atrLength = static_cast<DWORD>(answer.size());
  return IFD_SUCCESS;
}

RESPONSECODE IfdDriver::PowerIcc(DWORD lun, DWORD action, PUCHAR atr, PDWORD atrLength) {
  if (atr == nullptr || atrLength == nullptr) return IFD_COMMUNICATION_ERROR;
  std::size_t slot = 0;
  std::unique_lock<std::mutex> guard;
  const auto channel = Lock(lun, slot, guard);
  if (!channel) {
    *atrLength = 0;
    return IFD_COMMUNICATION_ERROR;
  }
  switch (action) {
    case IFD_POWER_DOWN: {
      // The reader has no per-slot power switch: the card is forgotten, and
      // the next power-up resets it.
      Slot& s = channel->slots[slot];
      s.powered = false;
      s.atr.clear();
      if (slot == kContactlessSlot) channel->contactless->PowerDown();
      *atrLength = 0;
      return IFD_SUCCESS;
    }
    case IFD_POWER_UP:
    case IFD_RESET: return PowerUp(*channel, slot, atr, atrLength);
    default: *atrLength = 0; return IFD_NOT_SUPPORTED;
  }
}

Outcome IfdDriver::ConfirmField(Channel& channel) {
  const Outcome asked = Map(channel, true);
  if (asked == Outcome::kLinkLost) return asked;
  if (asked == Outcome::kOk) {
    if (!channel.map.Present(kContactlessSlot)) return Outcome::kNoCard;
    if (channel.map.InUse(kContactlessSlot)) return Outcome::kOk;
  }
  // Quiet after a refused key, or a reader without the map: only waking the
  // card tells (its authentication is lost anyway, or has to be).
  return channel.contactless->Confirm();
}

RESPONSECODE IfdDriver::Transmit(DWORD lun, const UCHAR* tx, DWORD txLength, PUCHAR rx, PDWORD rxLength) {
  if (rxLength == nullptr) return IFD_COMMUNICATION_ERROR;
  const DWORD room = *rxLength;
  *rxLength = 0;
  if (tx == nullptr || rx == nullptr) return IFD_COMMUNICATION_ERROR;
  std::size_t slot = 0;
  std::unique_lock<std::mutex> guard;
  const auto channel = Lock(lun, slot, guard);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  Slot& s = channel->slots[slot];
  if (!s.powered) return IFD_ICC_NOT_PRESENT;
  Bytes response;
  const std::span<const std::uint8_t> apdu(tx, txLength);
  Outcome outcome = Outcome::kOk;
  if (slot == kContactlessSlot) {
    // GET DATA answers from what power-up learnt: first make sure that card
    // is still the one in the field.
    if (IsGetData(tx, txLength)) outcome = ConfirmField(*channel);
    if (outcome == Outcome::kOk) outcome = channel->contactless->Transmit(apdu, response);
    channel->mapTime.reset();  // the card may have been woken and selected again
  } else if (s.memoryCard) {
    outcome = channel->memory->Transmit(apdu, response);
  } else {
    outcome = channel->backend->TransmitChip(slot, apdu, response);
  }
  Note(*channel, slot, outcome);
  switch (outcome) {
    case Outcome::kOk: break;
    case Outcome::kNoCard:
    case Outcome::kCardChanged: return IFD_ICC_NOT_PRESENT;
    default: return IFD_COMMUNICATION_ERROR;
  }
  if (response.size() > room) return IFD_ERROR_INSUFFICIENT_BUFFER;
  std::copy(response.begin(), response.end(), rx);
  *rxLength = static_cast<DWORD>(response.size());
  return IFD_SUCCESS;
}

void IfdDriver::MapOff(Channel& channel, const char* why) {
  channel.mapOn = false;
  channel.mapTime.reset();
  Log("slot map (:slotmap) turned off for", channel.device, std::string(why) + "; presence is probed instead");
}

Outcome IfdDriver::Map(Channel& channel, bool fresh) {
  if (!channel.mapOn) return Outcome::kRefused;
  const Clock::time_point now = Clock::now();
  if (!fresh && channel.mapTime && now - *channel.mapTime < mapInterval_) return Outcome::kOk;
  SlotMap map;
  const Outcome outcome = channel.backend->QuerySlots(map);
  if (outcome == Outcome::kLinkLost) {
    channel.mapTime.reset();
    return outcome;
  }
  // One failed exchange (a silent reader costs one timeout) or one
  // implausible answer, and the map is not asked again.
  if (outcome != Outcome::kOk) {
    MapOff(channel, outcome == Outcome::kRefused ? "the reader refused it or answered no two bytes"
                                                 : "the reader did not answer it");
    return Outcome::kRefused;
  }
  if (!Plausible(map)) {
    MapOff(channel, "its answer has reserved bits set or a card in use where there is none");
    return Outcome::kRefused;
  }
  channel.map = map;
  channel.mapTime = now;
  return Outcome::kOk;
}

RESPONSECODE IfdDriver::Presence(DWORD lun) {
  std::size_t slot = 0;
  std::unique_lock<std::mutex> guard;
  const auto channel = Lock(lun, slot, guard);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  Slot& s = channel->slots[slot];
  if (s.reportRemoval) {
    s.reportRemoval = false;
    return IFD_ICC_NOT_PRESENT;
  }
  switch (Map(*channel, false)) {
    case Outcome::kOk: return s.memoryCard ? PresenceByProbe(*channel, slot) : PresenceFromMap(*channel, slot);
    case Outcome::kRefused: return PresenceByProbe(*channel, slot);
    default: return IFD_COMMUNICATION_ERROR;  // the reader has gone
  }
}

RESPONSECODE IfdDriver::PresenceFromMap(Channel& channel, std::size_t slot) {
  Slot& s = channel.slots[slot];
  const SlotMap& map = channel.map;
  if (s.powered) {
    // Gone, or another card in its place (one not reset, not selected): the
    // card powered up has left. A quiet Mifare card cannot show selected.
    const bool quiet = slot == kContactlessSlot && channel.contactless->Quiet();
    if (map.Present(slot) && (map.InUse(slot) || quiet)) return IFD_ICC_PRESENT;
    if (slot == kContactlessSlot) channel.contactless->PowerDown();
    Note(channel, slot, Outcome::kNoCard);
    s.reportRemoval = false;
    return IFD_ICC_NOT_PRESENT;
  }
  s.lastPresent = map.Present(slot);
  if (s.lastPresent) return IFD_ICC_PRESENT;
  return PresenceByProbe(channel, slot, true);
}

RESPONSECODE IfdDriver::PresenceByProbe(Channel& channel, std::size_t slot, bool slow) {
  Slot& s = channel.slots[slot];
  if (s.powered) return IFD_ICC_PRESENT;
  const Clock::time_point now = Clock::now();
  if (slow && !channel.probes.Due(slot, now, true)) return IFD_ICC_NOT_PRESENT;
  if (channel.probes.Due(slot, now, slow)) {
    Bytes atr;
    const Outcome outcome =
        slot == kContactlessSlot ? channel.contactless->Probe() : ChipPowerUp(channel, slot, atr);
    channel.probes.Probed(slot, now);
    if (outcome == Outcome::kLinkLost) {
      s.lastPresent = false;
      return IFD_COMMUNICATION_ERROR;
    }
    s.lastPresent = outcome == Outcome::kOk;
    if (slow && s.lastPresent) MapOff(channel, "a probe found a card in a slot it shows empty");
  }
  return s.lastPresent ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT;
}

RESPONSECODE IfdDriver::Control(DWORD lun, DWORD code, const UCHAR* tx, DWORD txLength, PUCHAR rx, DWORD rxLength,
                                LPDWORD returned) {
  if (returned == nullptr) return IFD_COMMUNICATION_ERROR;
  *returned = 0;
  std::size_t slot = 0;
  std::unique_lock<std::mutex> guard;
  const auto channel = Lock(lun, slot, guard);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  if (code == kGetFeatureRequest) return IFD_SUCCESS;  // no PIN pad, no other feature
  if (code != kEscapeControlCode) return IFD_ERROR_NOT_SUPPORTED;
  return Escape(*channel, tx, txLength, rx, rxLength, returned);
}

RESPONSECODE IfdDriver::Escape(Channel& channel, const UCHAR* tx, DWORD txLength, PUCHAR rx, DWORD rxLength,
                               LPDWORD returned) {
  if (tx == nullptr || txLength < 1 || txLength > 1 + kMaxEscapeData || (rx == nullptr && rxLength > 0)) {
    return IFD_COMMUNICATION_ERROR;
  }
  // Raw commands go past pcscd's sharing (a connection to any slot reaches
  // every card of the reader), so only the administrator lets them through;
  // the reader's version and device number are mere readings (which take no
  // data bytes).
  if (!channel.escape && ((tx[0] != kVersionCommand && tx[0] != kDeviceNumberCommand) || txLength > 1)) {
    std::fprintf(stderr,
                 "kulve_ifd: escape refused on %s: raw reader commands are off (append :escape to DEVICENAME)\n",
                 channel.device.c_str());
    return IFD_ERROR_NOT_SUPPORTED;
  }
  Bytes reply;
  const Outcome outcome = channel.backend->RawCommand(tx[0], {tx + 1, txLength - 1}, reply);
  if (outcome != Outcome::kOk) return IFD_COMMUNICATION_ERROR;
  if (reply.size() > rxLength) return IFD_ERROR_INSUFFICIENT_BUFFER;
  std::copy(reply.begin(), reply.end(), rx);
  *returned = static_cast<DWORD>(reply.size());
  return IFD_SUCCESS;
}

}  // namespace kulve::pcsc
