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

}  // namespace

DWORD FirstProtocol(const Bytes& atr) {
  if (atr.size() < 2 || (atr[1] & 0x80) == 0) return SCARD_PROTOCOL_T0;
  const std::size_t td1 = 2 + static_cast<std::size_t>(((atr[1] >> 4) & 1) + ((atr[1] >> 5) & 1) + ((atr[1] >> 6) & 1));
  if (td1 >= atr.size()) return SCARD_PROTOCOL_T0;
  return (atr[td1] & 0x0F) == 1 ? SCARD_PROTOCOL_T1 : SCARD_PROTOCOL_T0;
}

IfdDriver::IfdDriver(BackendFactory factory, Clock::duration probeInterval)
    : factory_(factory), probeInterval_(probeInterval) {}

std::shared_ptr<IfdDriver::Channel> IfdDriver::Find(DWORD lun, std::size_t& slot) {
  slot = kSlotOf(lun);
  if (slot >= kSlotCount) return nullptr;
  std::lock_guard<std::mutex> guard(channelsLock_);
  const auto found = channels_.find(kReaderOf(lun));
  return found == channels_.end() ? nullptr : found->second;
}

RESPONSECODE IfdDriver::CreateChannel(DWORD lun, const char* device) {
  if (device == nullptr || kSlotOf(lun) >= kSlotCount) return IFD_COMMUNICATION_ERROR;
  std::lock_guard<std::mutex> guard(channelsLock_);
  const auto found = channels_.find(kReaderOf(lun));
  if (found != channels_.end()) {
    // pcscd opens each slot of a reader with the reader's one device.
    if (found->second->device != device) return IFD_COMMUNICATION_ERROR;
    ++found->second->opens;
    return IFD_SUCCESS;
  }
  if (channels_.size() >= kMaxReaders) return IFD_COMMUNICATION_ERROR;
  auto channel = std::make_shared<Channel>();
  channel->device = device;
  std::string why;
  channel->backend = factory_(channel->device, why);
  if (!channel->backend) {
    Log("no reader at", channel->device, why);
    return IFD_COMMUNICATION_ERROR;
  }
  channel->contactless = std::make_unique<StorageCardSlot>(*channel->backend);
  channel->opens = 1;
  channels_.emplace(kReaderOf(lun), std::move(channel));
  return IFD_SUCCESS;
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
  closing->backend.reset();
  return IFD_SUCCESS;
}

RESPONSECODE IfdDriver::GetCapabilities(DWORD lun, DWORD tag, PDWORD length, PUCHAR value) {
  if (length == nullptr || value == nullptr) return IFD_COMMUNICATION_ERROR;
  std::size_t slot = 0;
  const auto channel = Find(lun, slot);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  switch (tag) {
    case TAG_IFD_ATR:
    case SCARD_ATTR_ATR_STRING: {
      std::lock_guard<std::mutex> guard(channel->lock);
      const Bytes& atr = channel->slots[slot].atr;
      return PutBytes(length, value, atr.data(), atr.size());
    }
    case TAG_IFD_SLOTS_NUMBER: return PutByte(length, value, kSlotCount);
    case TAG_IFD_SIMULTANEOUS_ACCESS: return PutByte(length, value, kMaxReaders);
    case TAG_IFD_THREAD_SAFE:
    case TAG_IFD_SLOT_THREAD_SAFE: return PutByte(length, value, 1);
    default: return IFD_ERROR_TAG;
  }
}

RESPONSECODE IfdDriver::SetProtocolParameters(DWORD lun, DWORD protocol) {
  std::size_t slot = 0;
  const auto channel = Find(lun, slot);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  std::lock_guard<std::mutex> guard(channel->lock);
  const Slot& s = channel->slots[slot];
  if (!s.powered) return IFD_ICC_NOT_PRESENT;
  // The reader makes no PPS exchange: a card speaks the protocol its ATR
  // offers first; the contactless slot takes either.
  if (slot == kContactlessSlot) {
    return (protocol & (SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1)) != 0 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED;
  }
  return (protocol & s.protocol) != 0 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED;
}

void IfdDriver::Note(Slot& s, Outcome outcome) {
  if (outcome != Outcome::kNoCard && outcome != Outcome::kCardChanged) return;
  if (s.powered) s.reportRemoval = true;
  s.powered = false;
  s.atr.clear();
  s.lastPresent = false;
  s.lastProbe.reset();
}

RESPONSECODE IfdDriver::PowerUp(Channel& channel, std::size_t slot, PUCHAR atr, PDWORD atrLength) {
  Slot& s = channel.slots[slot];
  s.powered = false;
  s.atr.clear();
  *atrLength = 0;
  Bytes answer;
  const Outcome outcome =
      slot == kContactlessSlot ? channel.contactless->PowerUp(answer) : channel.backend->ResetChip(slot, answer);
  if (outcome != Outcome::kOk) {
    s.lastPresent = false;
    s.lastProbe = Clock::now();
    return outcome == Outcome::kLinkLost ? IFD_COMMUNICATION_ERROR : IFD_ERROR_POWER_ACTION;
  }
  if (answer.empty() || answer.size() > MAX_ATR_SIZE) return IFD_ERROR_POWER_ACTION;
  s.atr = answer;
  s.powered = true;
  s.reportRemoval = false;
  s.lastPresent = true;
  s.protocol = slot == kContactlessSlot ? SCARD_PROTOCOL_T1 : FirstProtocol(answer);
  std::copy(answer.begin(), answer.end(), atr);
  *atrLength = static_cast<DWORD>(answer.size());
  return IFD_SUCCESS;
}

RESPONSECODE IfdDriver::PowerIcc(DWORD lun, DWORD action, PUCHAR atr, PDWORD atrLength) {
  if (atr == nullptr || atrLength == nullptr) return IFD_COMMUNICATION_ERROR;
  std::size_t slot = 0;
  const auto channel = Find(lun, slot);
  if (!channel) {
    *atrLength = 0;
    return IFD_COMMUNICATION_ERROR;
  }
  std::lock_guard<std::mutex> guard(channel->lock);
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

RESPONSECODE IfdDriver::Transmit(DWORD lun, const UCHAR* tx, DWORD txLength, PUCHAR rx, PDWORD rxLength) {
  if (rxLength == nullptr) return IFD_COMMUNICATION_ERROR;
  const DWORD room = *rxLength;
  *rxLength = 0;
  if (tx == nullptr || rx == nullptr) return IFD_COMMUNICATION_ERROR;
  std::size_t slot = 0;
  const auto channel = Find(lun, slot);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  std::lock_guard<std::mutex> guard(channel->lock);
  Slot& s = channel->slots[slot];
  if (!s.powered) return IFD_ICC_NOT_PRESENT;
  Bytes response;
  const std::span<const std::uint8_t> apdu(tx, txLength);
  const Outcome outcome = slot == kContactlessSlot ? channel->contactless->Transmit(apdu, response)
                                                   : channel->backend->TransmitChip(slot, apdu, response);
  Note(s, outcome);
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

RESPONSECODE IfdDriver::Presence(DWORD lun) {
  std::size_t slot = 0;
  const auto channel = Find(lun, slot);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  std::lock_guard<std::mutex> guard(channel->lock);
  Slot& s = channel->slots[slot];
  if (s.reportRemoval) {
    s.reportRemoval = false;
    return IFD_ICC_NOT_PRESENT;
  }
  if (s.powered) return IFD_ICC_PRESENT;
  const Clock::time_point now = Clock::now();
  if (!s.lastProbe || now - *s.lastProbe >= probeInterval_) {
    Bytes atr;
    const Outcome outcome =
        slot == kContactlessSlot ? channel->contactless->Probe() : channel->backend->ResetChip(slot, atr);
    s.lastProbe = now;
    if (outcome == Outcome::kLinkLost) {
      s.lastPresent = false;
      return IFD_COMMUNICATION_ERROR;
    }
    s.lastPresent = outcome == Outcome::kOk;
  }
  return s.lastPresent ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT;
}

RESPONSECODE IfdDriver::Control(DWORD lun, DWORD code, const UCHAR* tx, DWORD txLength, PUCHAR rx, DWORD rxLength,
                                LPDWORD returned) {
  if (returned == nullptr) return IFD_COMMUNICATION_ERROR;
  *returned = 0;
  std::size_t slot = 0;
  const auto channel = Find(lun, slot);
  if (!channel) return IFD_COMMUNICATION_ERROR;
  if (code == kGetFeatureRequest) return IFD_SUCCESS;  // no PIN pad, no other feature
  if (code != kEscapeControlCode) return IFD_ERROR_NOT_SUPPORTED;
  if (tx == nullptr || txLength < 1 || txLength > 256 || (rx == nullptr && rxLength > 0)) {
    return IFD_COMMUNICATION_ERROR;
  }
  std::lock_guard<std::mutex> guard(channel->lock);
  Bytes reply;
  const Outcome outcome = channel->backend->RawCommand(tx[0], {tx + 1, txLength - 1}, reply);
  if (outcome != Outcome::kOk) return IFD_COMMUNICATION_ERROR;
  if (reply.size() > rxLength) return IFD_ERROR_INSUFFICIENT_BUFFER;
  std::copy(reply.begin(), reply.end(), rx);
  *returned = static_cast<DWORD>(reply.size());
  return IFD_SUCCESS;
}

}  // namespace kulve::pcsc
