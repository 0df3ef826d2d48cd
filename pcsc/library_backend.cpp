// SPDX-License-Identifier: MIT
#include "pcsc/library_backend.h"

#include <algorithm>
#include <array>

#include "cpucard/apdu_frame.h"
#include "cpucard/cpucard.h"
#include "link/link.h"
#include "link/reader.h"
#include "link/transact.h"
#include "mifare/mifare.h"
#include "pcsc/apdu_shape.h"

namespace kulve::pcsc {
namespace {

// The reader's statuses for its chip slots and its Mifare field.
constexpr std::uint8_t kNoChipCard = 0xA0;
constexpr std::uint8_t kChipNotReset = 0xA1;
constexpr std::uint8_t kChipMute = 0xA2;
constexpr std::uint8_t kNoCardInField = 0x01;

class LibraryBackend final : public ReaderBackend {
 public:
  LibraryBackend() : reader_(PlatformPorts()) { reader_.trace.FromEnvironment(); }
  ~LibraryBackend() override { UnLinkCom(reader_); }
  LibraryBackend(const LibraryBackend&) = delete;
  LibraryBackend& operator=(const LibraryBackend&) = delete;

  bool Link(const std::string& device, std::string& why) {
    if (SetComPortPath(reader_, 0, device.c_str()) != 0) {
      why = "the device name is too long";
      return false;
    }
    if (LinkCom(reader_, 0) == 0) return true;
    char text[256];
    GetLinkError(reader_, text, sizeof text);
    why = text;
    return false;
  }

  Outcome ResetChip(std::size_t slot, Bytes& atr) override {
    atr.clear();
    std::array<std::uint8_t, 256> buffer{};
    int status = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      status = InSlot(slot, [&] { return kulve::ResetChip(reader_, static_cast<ChipSlot>(slot), buffer.data()); });
      if (!IsLinkFailure(static_cast<std::uint8_t>(status))) break;
      if (!Relink()) return Outcome::kLinkLost;  // a reset may be repeated safely
    }
    if (status != 0) return ChipOutcome(status);
    atr.assign(buffer.begin() + 1, buffer.begin() + 1 + buffer[0]);
    return Outcome::kOk;
  }

  Outcome TransmitChip(std::size_t slot, std::span<const std::uint8_t> apdu, Bytes& response) override {
    response.clear();
    ApduShapeError error{};
    const auto shape = ParseShortApdu(apdu, error);
    if (!shape) return error == ApduShapeError::kExtended ? Outcome::kTooLong : Outcome::kBadRequest;
    if (shape->data.size() > kMaxCommandData) return Outcome::kTooLong;
    // The library's packed request: CLA INS P1 P2 Lc data Le, with room for
    // the block it writes back.
    std::array<std::uint8_t, 1 + kMaxBlockSize + 8> request{};
    std::copy(shape->header.begin(), shape->header.end(), request.begin());
    request[4] = static_cast<std::uint8_t>(shape->data.size());
    std::copy(shape->data.begin(), shape->data.end(), request.begin() + 5);
    request[5 + shape->data.size()] = shape->le;
    std::array<std::uint8_t, 256> answer{};
    const int result = InSlot(slot, [&] { return SendPackedApdu(reader_, static_cast<ChipSlot>(slot), request.data(), answer.data()); });
    if (result <= 0xFF) {
      // The command may have reached the card, so it is not repeated.
      if (IsLinkFailure(static_cast<std::uint8_t>(result))) return Relink() ? Outcome::kCardError : Outcome::kLinkLost;
      return ChipOutcome(result);
    }
    response.assign(answer.begin() + 1, answer.begin() + 1 + answer[0]);
    response.push_back(static_cast<std::uint8_t>(result >> 8));
    response.push_back(static_cast<std::uint8_t>(result & 0xFF));
    return Outcome::kOk;
  }

  Outcome MifareWake(std::array<std::uint8_t, 2>& atqa) override {
    std::array<std::uint8_t, 4> answer{};
    const Outcome outcome = FieldOutcome(RFMifare_Request(reader_, 1, answer.data()));
    if (outcome == Outcome::kOk) std::copy_n(answer.begin(), 2, atqa.begin());
    return outcome;
  }
  Outcome MifareAnticollision(std::array<std::uint8_t, kMifareUidSize>& uid) override {
    std::array<std::uint8_t, 4> serial{};
    const Outcome outcome = FieldOutcome(RFMifare_AntiColl(reader_, serial.data()));
    if (outcome == Outcome::kOk) uid = serial;
    return outcome;
  }
  Outcome MifareSelect(const std::array<std::uint8_t, kMifareUidSize>& uid) override {
    // The serial goes back least significant byte first, as it came.
    const std::uint32_t serial = uid[0] | (uid[1] << 8) | (uid[2] << 16) | (static_cast<std::uint32_t>(uid[3]) << 24);
    return FieldOutcome(RFMifare_Select(reader_, serial));
  }
  Outcome MifareLoadKey(MifareKeyType type, std::uint8_t number,
                        std::span<const std::uint8_t, kMifareKeySize> key) override {
    return FieldOutcome(RFMifare_LoadKey(reader_, static_cast<std::int32_t>(type), number, key.data()));
  }
  Outcome MifareAuthenticate(MifareKeyType type, std::uint8_t block, std::uint8_t number) override {
    return FieldOutcome(RFMifare_Authentication(reader_, static_cast<std::int32_t>(type), block, number));
  }
  Outcome MifareRead(std::uint8_t block, std::span<std::uint8_t, kMifareBlockSize> out) override {
    std::array<std::uint8_t, kMifareBlockSize> data{};
    const Outcome outcome = FieldOutcome(RFMifare_Read(reader_, block, data.data()));
    if (outcome == Outcome::kOk) std::copy(data.begin(), data.end(), out.begin());
    return outcome;
  }
  Outcome MifareWrite(std::uint8_t block, std::span<const std::uint8_t, kMifareBlockSize> data) override {
    return FieldOutcome(RFMifare_Write(reader_, block, data.data()));
  }
  Outcome MifareIncrement(std::uint8_t block, std::uint32_t amount) override {
    return FieldOutcome(RFMifare_Increment(reader_, block, amount));
  }
  Outcome MifareDecrement(std::uint8_t block, std::uint32_t amount) override {
    return FieldOutcome(RFMifare_Decrment(reader_, block, amount));
  }

  Outcome RawCommand(std::uint8_t code, std::span<const std::uint8_t> data, Bytes& reply) override {
    reply.clear();
    if (data.size() > 255) return Outcome::kTooLong;
    const ReplyView view = Exchange(reader_, code, data);
    reply.push_back(view.status);
    reply.insert(reply.end(), view.data.begin(), view.data.end());
    if (IsLinkFailure(view.status) && !Relink()) return Outcome::kLinkLost;
    return Outcome::kOk;
  }

 private:
  // Runs a chip-slot call with that slot's own protocol state in the reader.
  template <class F>
  int InSlot(std::size_t slot, F call) {
    reader_.cpuCard = slots_[slot];
    const int result = call();
    slots_[slot] = reader_.cpuCard;
    return result;
  }

  bool Relink() { return LinkCom(reader_, 0) == 0; }

  static Outcome ChipOutcome(int status) {
    switch (status) {
      case 0: return Outcome::kOk;
      case kNoChipCard: return Outcome::kNoCard;
      case kChipNotReset: return Outcome::kCardChanged;
      case kChipMute: return Outcome::kCardError;
      default: return Outcome::kRefused;
    }
  }

  // The Mifare family relinks by itself; a link failure left is final.
  static Outcome FieldOutcome(int status) {
    if (status == 0) return Outcome::kOk;
    if (status == kNoCardInField) return Outcome::kNoCard;
    if (IsLinkFailure(static_cast<std::uint8_t>(status))) return Outcome::kLinkLost;
    return Outcome::kRefused;
  }

  Reader reader_;
  std::array<CpuCardState, kChipSlotCount> slots_{};
};

}  // namespace

std::unique_ptr<ReaderBackend> OpenLibraryBackend(const std::string& device, std::string& why) {
  auto backend = std::make_unique<LibraryBackend>();
  if (!backend->Link(device, why)) return nullptr;
  return backend;
}

}  // namespace kulve::pcsc
