// SPDX-License-Identifier: MIT
// The driver behind the IFD handler entry points: one channel per reader
// (the high 16 bits of the Lun), six slots per channel (the low 16 bits):
//
//   0      the CPU card            T=0 or T=1 by its ATR; or a memory card
//                                  through storage-card commands
//                                  (memory_card_slot.h)
//   1..4   SAM 1..4                T=0 or T=1 by its ATR
//   5      the contactless field   Mifare Classic through storage-card
//                                  commands (storage_card.h)
//
// pcscd opens the channel once per slot with the same device name; the port
// is linked on the first open and released on the last close. Each channel
// has one lock around every exchange with its reader, so different slots may
// be called from different threads at once.
//
// Card presence: by default the driver sends only the reader's documented
// commands, which include no presence query, so presence is told by talking
// to the card: a powered slot is reported present from memory and never
// disturbed, and an unpowered slot is probed with a reset (chip slots) or a
// wake-up (the field) as often as presence_probe.h allows (at most 2
// exchanges a second per reader with the interval pcscd's driver uses).
// A card that leaves while powered is noticed by the next command to it: the
// command fails with "no card", and the next presence poll reports the slot
// empty, once, so pcscd sees the removal even when a new card already sits
// there. GET DATA on the field always checks first that the card powered up
// is still the one there.
//
// With the administrator's :slotmap, a reader that answers command 15 (the
// slot map: which slots hold a card, which cards are in use, from one query
// that touches no card) is asked at most once per map interval for all its
// slots instead; a powered slot whose card is gone, or is no longer the one
// in use (swapped), is reported empty once. The answer is checked: two
// bytes, no reserved bit set, no card in use where none is, a card just
// powered up shown present and in use, and no card found by a probe where
// the map shows none (a slot shown empty is still probed, at the SAM
// slots' slow pace). A refusal, a line failure or an
// answer that fails a check turns the map off for that reader for good (the
// log says why), and probing takes over.
//
// Device name options, appended to the device with ':' (docs/pcsc.md):
//   :escape    SCardControl's raw reader commands allowed (off: refused,
//              but the reader's version and device number queries)
//   :slots-N   only the first N slots (1..6) are offered to pcscd
//   :slotmap   presence from the reader's slot map (command 15, which is
//              not among the reader's documented commands; see above)
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "pcsc/pcsclite.h"

#include "pcsc/backend.h"
#include "pcsc/memory_card_slot.h"
#include "pcsc/presence_probe.h"
#include "pcsc/storage_card.h"

namespace kulve::pcsc {

inline constexpr std::size_t kSlotCount = kChipSlotCount + 1;
inline constexpr std::size_t kContactlessSlot = kChipSlotCount;
inline constexpr std::size_t kMaxReaders = 16;  // channels one driver instance serves
// The escape of IFDHControl: reader command code, then its data, in; the
// reader's status byte, then its reply data, out.
inline constexpr DWORD kEscapeControlCode = 0x42000000 + 1;  // SCARD_CTL_CODE(1)
inline constexpr DWORD kGetFeatureRequest = 0x42000000 + 3400;  // CM_IOCTL_GET_FEATURE_REQUEST

class IfdDriver {
 public:
  using Clock = std::chrono::steady_clock;

  // probeInterval: see presence_probe.h. mapInterval: how long one slot map
  // answers for every slot.
  IfdDriver(BackendFactory factory, Clock::duration probeInterval,
            Clock::duration mapInterval = std::chrono::milliseconds(1000));

  RESPONSECODE CreateChannel(DWORD lun, const char* device);
  RESPONSECODE CloseChannel(DWORD lun);
  RESPONSECODE GetCapabilities(DWORD lun, DWORD tag, PDWORD length, PUCHAR value);
  // Nothing can be set: a tag GetCapabilities answers is read-only
  // (IFD_ERROR_VALUE_READ_ONLY), any other unknown (IFD_ERROR_TAG).
  RESPONSECODE SetCapabilities(DWORD lun, DWORD tag);
  RESPONSECODE SetProtocolParameters(DWORD lun, DWORD protocol);
  RESPONSECODE PowerIcc(DWORD lun, DWORD action, PUCHAR atr, PDWORD atrLength);
  RESPONSECODE Transmit(DWORD lun, const UCHAR* tx, DWORD txLength, PUCHAR rx, PDWORD rxLength);
  RESPONSECODE Presence(DWORD lun);
  RESPONSECODE Control(DWORD lun, DWORD code, const UCHAR* tx, DWORD txLength, PUCHAR rx, DWORD rxLength,
                       LPDWORD returned);

 private:
  struct Slot {
    bool powered = false;
    Bytes atr;
    DWORD protocol = 0;          // SCARD_PROTOCOL_T0 or _T1 of the powered card
    bool reportRemoval = false;  // the card left while powered: say so once
    bool memoryCard = false;     // slot 0: the card is a memory card (memory_card_slot.h)
    bool lastPresent = false;
  };
  struct Channel {
    std::string device;  // as pcscd names it, options included
    bool escape = false;
    std::size_t slotCount = kSlotCount;
    int opens = 0;
    std::mutex lock;  // every exchange with this reader, and the slots
    // Null while the first open runs, after it failed, and after the last close.
    std::unique_ptr<ReaderBackend> backend;
    bool mapOn = false;  // :slotmap named, and no answer failed its checks yet
    std::optional<Clock::time_point> mapTime;
    explicit Channel(Clock::duration probeInterval) : probes(probeInterval) {}
    ProbeSchedule probes;
    SlotMap map;
    std::unique_ptr<StorageCardSlot> contactless;
    std::unique_ptr<MemoryCardSlot> memory;
    std::array<Slot, kSlotCount> slots;
  };

  // The channel of the Lun's reader and its slot; null when it is not open
  // or the slot is out of range.
  std::shared_ptr<Channel> Find(DWORD lun, std::size_t& slot);
  // Find, then the channel's lock; null (and no lock) when the reader is
  // not open or has no backend (still opening, or closed meanwhile).
  std::shared_ptr<Channel> Lock(DWORD lun, std::size_t& slot, std::unique_lock<std::mutex>& guard);
  // A slot map no older than the map interval (fresh: asked now); kRefused
  // when it is off (turned off now when the answer is refused or fails its
  // checks); kLinkLost when the reader has gone.
  Outcome Map(Channel& channel, bool fresh);
  void MapOff(Channel& channel, const char* why);
  RESPONSECODE PresenceFromMap(Channel& channel, std::size_t slot);
  // slow: checking a slot the map shows empty (presence_probe.h's slow pace);
  // a card found there turns the map off.
  RESPONSECODE PresenceByProbe(Channel& channel, std::size_t slot, bool slow = false);
  // Before GET DATA on the field: kOk when the card powered up is still the
  // one there.
  Outcome ConfirmField(Channel& channel);
  RESPONSECODE Escape(Channel& channel, const UCHAR* tx, DWORD txLength, PUCHAR rx, DWORD rxLength,
                      LPDWORD returned);
  RESPONSECODE Attribute(Channel& channel, std::size_t slot, DWORD tag, PDWORD length, PUCHAR value);
  // The card's IFSC as the library uses it, 0 when not T=1.
  DWORD Ifsc(Channel& channel, std::size_t slot);
  // After a step: forget a card that left, note a lost reader.
  void Note(Channel& channel, std::size_t slot, Outcome outcome);
  RESPONSECODE PowerUp(Channel& channel, std::size_t slot, PUCHAR atr, PDWORD atrLength);
  // A chip slot's power-up, or its probe (atr unused): a reset; in the CPU
  // card slot, a memory card when the reset finds no card it can talk to.
  Outcome ChipPowerUp(Channel& channel, std::size_t slot, Bytes& atr);

  BackendFactory factory_;
  Clock::duration probeInterval_;
  Clock::duration mapInterval_;
  std::mutex channelsLock_;
  std::map<DWORD, std::shared_ptr<Channel>> channels_;
};

// The protocol an ATR offers first (TD1; T=0 without one), as SCARD_PROTOCOL_T0/_T1.
DWORD FirstProtocol(const Bytes& atr);

// A device name taken apart: the device, then the options above.
struct DeviceOptions {
  std::string device;
  bool escape = false;
  bool slotMap = false;
  std::size_t slots = kSlotCount;
};
DeviceOptions ParseDeviceName(const std::string& name);

}  // namespace kulve::pcsc
