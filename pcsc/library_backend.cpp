// SPDX-License-Identifier: MIT
#include "pcsc/library_backend.h"

#include <algorithm>
#include <array>

#include "kulve32.h"
#include "pcsc/apdu_shape.h"

namespace kulve::pcsc {
namespace {

// The reader's statuses for its chip slots and its Mifare field.
constexpr int kNoChipCard = 0xA0;
constexpr int kChipNotReset = 0xA1;
constexpr int kChipMute = 0xA2;
constexpr int kNoCardInField = 0x01;
// The reader's slot map (which slots hold a card, which are in use).
constexpr int kSlotMapCommand = 15;
constexpr std::size_t kMaxCommandData = 255;  // the frame's one-byte length
// An extended APDU's largest answer: 65,536 data bytes and the status word.
constexpr std::size_t kMaxResponse = 65536 + 2;

class HandleBackend final : public ReaderBackend {
 public:
  HandleBackend() = default;
  ~HandleBackend() override { kulve_close(handle_); }
  HandleBackend(const HandleBackend&) = delete;
  HandleBackend& operator=(const HandleBackend&) = delete;

  bool Open(const std::string& device, std::string& why) {
    if (kulve_open(device.c_str(), &handle_) == 0) return kulve_chip_set_protocol_mode(handle_, 1) == 0;
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
      status = kulve_chip_reset(handle_, Slot(slot), buffer.data(), Size(buffer));
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
    if (!ParseShortApdu(apdu, error) && error == ApduShapeError::kMalformed) return Outcome::kBadRequest;
    // The full block protocol, each slot with its own state: T=1 chaining
    // both ways, T=0 with GET RESPONSE and the Le repeat.
    response.resize(kMaxResponse);
    int length = 0;
    const int result = kulve_chip_transmit(handle_, Slot(slot), apdu.data(), Size(apdu), response.data(),
                                           Size(response), &length);
    if (result <= 0xFF) {
      response.clear();
      // The command may have reached the card, so it is not repeated.
      if (LineFailed(result)) return Relink() ? Outcome::kCardError : Outcome::kLinkLost;
      return ChipOutcome(result);
    }
    response.resize(static_cast<std::size_t>(length));
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

  Outcome RawCommand(std::uint8_t code, std::span<const std::uint8_t> data, Bytes& reply) override {
    reply.clear();
    if (data.size() > kMaxCommandData) return Outcome::kTooLong;
    std::array<unsigned char, kMaxCommandData> answer{};
    int length = 0;
    const int status =
        kulve_reader_command(handle_, code, data.data(), Size(data), answer.data(), Size(answer), &length);
    if (LineFailed(status)) return Relink() ? Outcome::kCardError : Outcome::kLinkLost;
    reply.push_back(static_cast<std::uint8_t>(status));
    reply.insert(reply.end(), answer.begin(), answer.begin() + std::min<std::size_t>(length, answer.size()));
    return Outcome::kOk;
  }

  Outcome MemoryInquire(std::uint8_t& cardType, bool& present) override {
    int type = 0, state = 0, power = 0;
    const Outcome outcome = MemoryOutcome(kulve_reader_inquire(handle_, &type, &state, &power));
    cardType = static_cast<std::uint8_t>(type);
    present = outcome == Outcome::kOk && state != 0;
    return outcome;
  }
  Outcome MemoryPowerOn() override { return MemoryOutcome(kulve_reader_power_on(handle_)); }
  Outcome MemorySelectType(std::uint8_t cardType) override {
    return MemoryOutcome(kulve_reader_select_card(handle_, cardType));
  }
  Outcome MemoryRead(std::uint32_t address, std::span<std::uint8_t> out) override {
    return MemoryOutcome(kulve_memcard_read_paged(handle_, static_cast<int>(address), Size(out), out.data(), Size(out)));
  }
  Outcome MemoryWrite(std::uint32_t address, std::span<const std::uint8_t> data) override {
    Bytes copy(data.begin(), data.end());  // the library copies the reader's reply over it
    return MemoryOutcome(
        kulve_memcard_write_paged(handle_, static_cast<int>(address), Size(copy), copy.data(), Size(copy)));
  }
  Outcome MemoryErase(std::uint32_t address, std::size_t count) override {
    Bytes scratch(count);
    return MemoryOutcome(
        kulve_memcard_erase_paged(handle_, static_cast<int>(address), Size(scratch), scratch.data(), Size(scratch)));
  }
  Outcome MemoryPresentCode(std::span<const std::uint8_t> code) override {
    return WithCode(code, kulve_memcard_check_secret);
  }
  Outcome MemoryChangeCode(std::span<const std::uint8_t> code) override {
    return WithCode(code, kulve_memcard_modify_secret);
  }
  Outcome MemoryAttempts(std::array<std::uint8_t, 2>& counter) override {
    std::array<unsigned char, 4> code{};
    const Outcome outcome =
        MemoryOutcome(kulve_memcard_read_secret(handle_, counter.data(), Size(counter), code.data(), Size(code)));
    Forget(code);
    return outcome;
  }

  std::uint32_t ChipIfsc(std::size_t slot) override {
    int ifsc = 0;
    return kulve_chip_ifsc(handle_, Slot(slot), &ifsc) == 0 && ifsc > 0 ? static_cast<std::uint32_t>(ifsc) : 0;
  }

  Outcome QuerySlots(SlotMap& map) override {
    std::array<unsigned char, kMaxCommandData> answer{};
    int length = 0;
    const int status = kulve_reader_command(handle_, kSlotMapCommand, nullptr, 0, answer.data(), Size(answer), &length);
    if (LineFailed(status)) return Relink() ? Outcome::kCardError : Outcome::kLinkLost;
    if (status != 0 || length != 2) return Outcome::kRefused;
    map.present = answer[0];
    map.inUse = answer[1];
    return Outcome::kOk;
  }

 private:
  template <class Buffer>
  static void Forget(Buffer& buffer) {
    volatile unsigned char* bytes = buffer.data();
    for (std::size_t i = 0; i < buffer.size(); ++i) bytes[i] = 0;
  }

  // The code in a buffer of the library's size (it copies the reader's
  // reply over it), wiped afterwards.
  Outcome WithCode(std::span<const std::uint8_t> code, int (*call)(kulve_reader*, int, unsigned char*, int)) {
    Bytes buffer(std::max<std::size_t>(code.size(), 4));
    std::copy(code.begin(), code.end(), buffer.begin());
    const Outcome outcome = MemoryOutcome(call(handle_, Size(code), buffer.data(), Size(buffer)));
    Forget(buffer);
    return outcome;
  }

  // The memory-card calls: the library's own refusals (3: not for this card
  // type; 4: arguments) told from the reader's. A line failure is not
  // repeated (a write may have happened); the line is linked again.
  Outcome MemoryOutcome(int result) {
    if (result == 0) return Outcome::kOk;
    if (LineFailed(result)) return Relink() ? Outcome::kCardError : Outcome::kLinkLost;
    if (kulve_result_origin(handle_, result) == KULVE_ORIGIN_LIBRARY) {
      return result == 3 ? Outcome::kUnsupported : Outcome::kBadRequest;
    }
    return Outcome::kRefused;
  }

  template <class Buffer>
  static int Size(const Buffer& buffer) {
    return static_cast<int>(buffer.size());
  }
  static int Slot(std::size_t slot) { return static_cast<int>(slot); }

  // The last call's result is a link-failure letter of a failed line (not a
  // reader status of the same value).
  bool LineFailed(int result) const { return kulve_result_origin(handle_, result) == KULVE_ORIGIN_LINE; }
  bool Relink() { return kulve_reader_relink(handle_) == 0; }

  Outcome ChipOutcome(int status) const {
    if (kulve_result_origin(handle_, status) == KULVE_ORIGIN_LIBRARY) {
      switch (status) {
        case KULVE_T1_NOT_AN_ANSWER:
        case KULVE_T1_EXCHANGE_LOST:
        case KULVE_T1_ABORTED:
        case KULVE_CARD_MUST_BE_RESET:
        case KULVE_ANSWER_TOO_LARGE:
        case KULVE_CALL_TIME_BOUND: return Outcome::kCardError;
        default: return Outcome::kTooLong;  // an APDU the slot's protocol or the reader cannot carry
      }
    }
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
};

}  // namespace

std::unique_ptr<ReaderBackend> OpenLibraryBackend(const std::string& device, std::string& why) {
  auto backend = std::make_unique<HandleBackend>();
  if (!backend->Open(device, why)) return nullptr;
  return backend;
}

}  // namespace kulve::pcsc
