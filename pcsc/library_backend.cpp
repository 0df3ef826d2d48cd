// SPDX-License-Identifier: MIT
#include "pcsc/library_backend.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "device/family_state.h"
#include "handle/call.h"
#include "kulve32.h"
#include "link/transact.h"
#include "pcsc/apdu_shape.h"

namespace kulve::pcsc {
namespace {

// The reader's statuses for its chip slots and its Mifare field.
constexpr int kNoChipCard = 0xA0;
constexpr int kChipNotReset = 0xA1;
constexpr int kChipMute = 0xA2;
constexpr int kNoCardInField = 0x01;
// What the reader's one-exchange APDU command carries.
constexpr std::size_t kMaxCommandData = 128;

class HandleBackend final : public ReaderBackend {
 public:
  HandleBackend() = default;
  ~HandleBackend() override { kulve_close(handle_); }
  HandleBackend(const HandleBackend&) = delete;
  HandleBackend& operator=(const HandleBackend&) = delete;

  bool Open(const std::string& device, std::string& why) {
    if (kulve_open(device.c_str(), &handle_) == 0) return true;
    char text[256] = "the device name is empty or too long";
    if (handle_ != nullptr) kulve_link_error(handle_, text, sizeof text);
    why = text;
    return false;
  }

  Outcome ResetChip(std::size_t slot, Bytes& atr) override {
    atr.clear();
    std::array<unsigned char, KULVE_ATR_BUFFER_SIZE> buffer{};
    int status = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      status = InSlot(slot, [&] { return kulve_chip_reset(handle_, Slot(slot), buffer.data(), Size(buffer)); });
      if (!LineFailed(status)) break;
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
    // The packed request: CLA INS P1 P2 Lc data Le, with room for the block
    // written back.
    std::array<unsigned char, KULVE_PACKED_APDU_SIZE> request{};
    std::copy(shape->header.begin(), shape->header.end(), request.begin());
    request[4] = static_cast<unsigned char>(shape->data.size());
    std::copy(shape->data.begin(), shape->data.end(), request.begin() + 5);
    request[5 + shape->data.size()] = shape->le;
    std::array<unsigned char, KULVE_APDU_RESPONSE_SIZE> answer{};
    const int result = InSlot(slot, [&] {
      return kulve_chip_apdu_packed(handle_, Slot(slot), request.data(), Size(request), answer.data(), Size(answer));
    });
    if (result <= 0xFF) {
      // The command may have reached the card, so it is not repeated.
      if (LineFailed(result)) return Relink() ? Outcome::kCardError : Outcome::kLinkLost;
      return ChipOutcome(result);
    }
    response.assign(answer.begin() + 1, answer.begin() + 1 + answer[0]);
    response.push_back(static_cast<std::uint8_t>(result >> 8));
    response.push_back(static_cast<std::uint8_t>(result & 0xFF));
    return Outcome::kOk;
  }

  Outcome MifareWake(std::array<std::uint8_t, 2>& atqa) override {
    std::array<unsigned char, 4> answer{};
    const Outcome outcome = FieldOutcome(kulve_mifare_request(handle_, 1, answer.data(), Size(answer)));
    if (outcome == Outcome::kOk) std::copy_n(answer.begin(), 2, atqa.begin());
    return outcome;
  }
  Outcome MifareAnticollision(std::array<std::uint8_t, kMifareUidSize>& uid) override {
    std::array<unsigned char, 4> serial{};
    const Outcome outcome = FieldOutcome(kulve_mifare_anticollision(handle_, serial.data(), Size(serial)));
    if (outcome == Outcome::kOk) std::copy(serial.begin(), serial.end(), uid.begin());
    return outcome;
  }
  Outcome MifareSelect(const std::array<std::uint8_t, kMifareUidSize>& uid) override {
    // The serial goes back least significant byte first, as it came.
    const unsigned serial = uid[0] | (uid[1] << 8) | (uid[2] << 16) | (static_cast<unsigned>(uid[3]) << 24);
    return FieldOutcome(kulve_mifare_select(handle_, serial));
  }
  Outcome MifareLoadKey(MifareKeyType type, std::uint8_t number,
                        std::span<const std::uint8_t, kMifareKeySize> key) override {
    return FieldOutcome(
        kulve_mifare_load_key(handle_, static_cast<int>(type), number, key.data(), static_cast<int>(key.size())));
  }
  Outcome MifareAuthenticate(MifareKeyType type, std::uint8_t block, std::uint8_t number) override {
    return FieldOutcome(kulve_mifare_authenticate(handle_, static_cast<int>(type), block, number));
  }
  Outcome MifareRead(std::uint8_t block, std::span<std::uint8_t, kMifareBlockSize> out) override {
    std::array<unsigned char, kMifareBlockSize> data{};
    const Outcome outcome = FieldOutcome(kulve_mifare_read(handle_, block, data.data(), Size(data)));
    if (outcome == Outcome::kOk) std::copy(data.begin(), data.end(), out.begin());
    return outcome;
  }
  Outcome MifareWrite(std::uint8_t block, std::span<const std::uint8_t, kMifareBlockSize> data) override {
    return FieldOutcome(kulve_mifare_write(handle_, block, data.data(), static_cast<int>(data.size())));
  }
  Outcome MifareIncrement(std::uint8_t block, std::uint32_t amount) override {
    return FieldOutcome(kulve_mifare_increment(handle_, block, amount));
  }
  Outcome MifareDecrement(std::uint8_t block, std::uint32_t amount) override {
    return FieldOutcome(kulve_mifare_decrement(handle_, block, amount));
  }

  // The handle API has no raw command; the escape runs one exchange on the
  // handle's reader under the handle's lock, as its own calls do.
  Outcome RawCommand(std::uint8_t code, std::span<const std::uint8_t> data, Bytes& reply) override {
    reply.clear();
    if (data.size() > 255) return Outcome::kTooLong;
    const int status = Locked(*handle_, [&](Reader& reader) {
      const ReplyView view = Exchange(reader, code, data);
      reply.push_back(view.status);
      reply.insert(reply.end(), view.data.begin(), view.data.end());
      return static_cast<int>(view.status);
    });
    if (LineFailed(status) && !Relink()) return Outcome::kLinkLost;
    return Outcome::kOk;
  }

 private:
  template <class Buffer>
  static int Size(const Buffer& buffer) {
    return static_cast<int>(buffer.size());
  }
  static int Slot(std::size_t slot) { return static_cast<int>(slot); }

  // Runs a chip-slot call with that slot's own framing state in the handle's
  // reader (the handle keeps one for all five slots).
  template <class F>
  int InSlot(std::size_t slot, F call) {
    std::lock_guard<std::recursive_mutex> guard(handle_->lock);
    handle_->reader.cpuCard = slots_[slot];
    const int result = call();
    slots_[slot] = handle_->reader.cpuCard;
    return result;
  }

  // The last call's result is a link-failure letter of a failed line (not a
  // reader status of the same value).
  bool LineFailed(int result) const { return kulve_result_origin(handle_, result) == KULVE_ORIGIN_LINE; }
  bool Relink() { return kulve_reader_relink(handle_) == 0; }

  static Outcome ChipOutcome(int status) {
    switch (status) {
      case 0: return Outcome::kOk;
      case kNoChipCard: return Outcome::kNoCard;
      case kChipNotReset: return Outcome::kCardChanged;
      case kChipMute: return Outcome::kCardError;
      default: return Outcome::kRefused;
    }
  }

  // The Mifare family relinks by itself; a line failure left is final.
  Outcome FieldOutcome(int status) const {
    if (status == 0) return Outcome::kOk;
    if (LineFailed(status)) return Outcome::kLinkLost;
    if (status == kNoCardInField) return Outcome::kNoCard;
    return Outcome::kRefused;
  }

  kulve_reader* handle_ = nullptr;
  std::array<CpuCardState, kChipSlotCount> slots_{};
};

}  // namespace

std::unique_ptr<ReaderBackend> OpenLibraryBackend(const std::string& device, std::string& why) {
  auto backend = std::make_unique<HandleBackend>();
  if (!backend->Open(device, why)) return nullptr;
  return backend;
}

}  // namespace kulve::pcsc
