// SPDX-License-Identifier: MIT
// The small ISO/IEC 7816-4 application that every simulated CPU card and SAM
// runs, seen from the card's side once its transport (T=0 or T=1, see
// chip_card.h) has delivered a command.
//
// Files (all transparent EFs; FIDs in hex):
//   3F00  MF
//     2F02  EF, 8 bytes: the card's serial number; never updated
//     7F10  DF named kApplicationName (F0 4B 55 4C 56 45 31)
//       0101  EF, 64 bytes: holder text; updating needs the PIN
//       0102  EF, 32 bytes of 00; updating needs the PIN
//       0103  EF, 4,096 bytes, byte i = (i * 31 + i / 256) mod 256; updating
//             needs the PIN (answers longer than 256 bytes need a transport
//             that takes extended lengths: the strict T=1 profile)
// After a reset the MF is selected, no EF is current and the PIN is not
// verified. Selecting another DF forgets a verified PIN.
//
// Commands (CLA 00; any other CLA: 6E00; an unknown INS: 6D00):
//   SELECT        00 A4 P1 P2 Lc data   P1 00: by FID (2 bytes, or none for
//                                       the MF); P1 04: by DF name (exact).
//                                       P2 00: FCI (6F, DFs with a name) or
//                                       FCP (62); P2 04: FCP; P2 0C: nothing.
//                                       Without Le (case 3): nothing either.
//                                       6A82 not found, 6A86 other P1/P2.
//   READ BINARY   00 B0 off-hi off-lo Le  from the current EF; offset at or
//                                       past its end 6B00; fewer bytes left
//                                       than Le: those bytes and 6282 (Le 00:
//                                       all that is left, 9000). No current
//                                       EF 6986, a DF 6981, P1 bit 8 6A81.
//   UPDATE BINARY 00 D6 off-hi off-lo Lc data  needs the PIN (6982); past the
//                                       end 6A84; otherwise as READ BINARY.
//   GET CHALLENGE 00 84 00 00 Le        8 bytes; an Le from 1 to 7: 6C08.
//   VERIFY        00 20 00 01|81 [Lc PIN]  PIN "1234" (31 32 33 34), 3 tries:
//                                       right 9000 (counter back to 3), wrong
//                                       63Cx (x tries left), blocked 6983;
//                                       without data: 63Cx, or 9000 once
//                                       verified. Other P2: 6A88.
//   GET RESPONSE  00 C0 00 00 Le        handled by the T=0 transport; with
//                                       nothing waiting 6985.
// The host library never sends Le after command data. Under T=1 the card
// sees that Le is absent, and as ISO/IEC 7816-4 has it for case 3 a SELECT
// then returns no data (9000 alone); under T=0, where P3 cannot say whether
// an Le followed, the transport announces the FCI with 61xx.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace kulve::sim {

// Status words the card gives.
namespace card_sw {
inline constexpr std::uint16_t kOk = 0x9000;
inline constexpr std::uint16_t kMoreData = 0x6100;   // | bytes waiting
inline constexpr std::uint16_t kEndOfFile = 0x6282;
inline constexpr std::uint16_t kTriesLeft = 0x63C0;  // | tries left
inline constexpr std::uint16_t kWrongLength = 0x6700;
inline constexpr std::uint16_t kIncompatibleFile = 0x6981;
inline constexpr std::uint16_t kSecurityNotSatisfied = 0x6982;
inline constexpr std::uint16_t kBlocked = 0x6983;
inline constexpr std::uint16_t kConditionsNotSatisfied = 0x6985;
inline constexpr std::uint16_t kNoCurrentEf = 0x6986;
inline constexpr std::uint16_t kFunctionNotSupported = 0x6A81;
inline constexpr std::uint16_t kNotFound = 0x6A82;
inline constexpr std::uint16_t kNoSpace = 0x6A84;
inline constexpr std::uint16_t kWrongP1P2 = 0x6A86;
inline constexpr std::uint16_t kReferenceNotFound = 0x6A88;
inline constexpr std::uint16_t kOffsetOutside = 0x6B00;
inline constexpr std::uint16_t kWrongLe = 0x6C00;  // | the right Le
inline constexpr std::uint16_t kInsNotSupported = 0x6D00;
inline constexpr std::uint16_t kClaNotSupported = 0x6E00;
}  // namespace card_sw

namespace card_ins {
inline constexpr std::uint8_t kVerify = 0x20;
inline constexpr std::uint8_t kGetChallenge = 0x84;
inline constexpr std::uint8_t kSelect = 0xA4;
inline constexpr std::uint8_t kReadBinary = 0xB0;
inline constexpr std::uint8_t kGetResponse = 0xC0;
inline constexpr std::uint8_t kUpdateBinary = 0xD6;
}  // namespace card_ins

inline constexpr std::array<std::uint8_t, 7> kApplicationName{0xF0, 0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31};
inline constexpr std::array<std::uint8_t, 4> kCardPin{0x31, 0x32, 0x33, 0x34};
inline constexpr unsigned kPinTries = 3;

inline constexpr std::uint16_t kMasterFile = 0x3F00;
inline constexpr std::uint16_t kSerialFile = 0x2F02;
inline constexpr std::uint16_t kApplicationDf = 0x7F10;
inline constexpr std::uint16_t kHolderFile = 0x0101;
inline constexpr std::uint16_t kNotesFile = 0x0102;
inline constexpr std::uint16_t kLargeFile = 0x0103;
inline constexpr std::size_t kLargeFileSize = 4096;

// One command as the transport delivered it.
struct CardCommand {
  std::uint8_t cla = 0, ins = 0, p1 = 0, p2 = 0;
  std::span<const std::uint8_t> data;
  std::size_t ne = 0;  // response bytes the host can take (0..256)
};

struct CardResponse {
  std::vector<std::uint8_t> data;
  std::uint16_t sw = card_sw::kOk;
};

// Which way a command's data goes, which T=0 needs to know to read P3.
enum class Transfer : std::uint8_t { kToCard, kFromCard, kUnknown };

class CardApplication {
 public:
  // A new card: its serial number goes into EF 2F02 and the holder text.
  explicit CardApplication(std::array<std::uint8_t, 8> serial);

  static Transfer TransferOf(std::uint8_t ins);

  CardResponse Run(const CardCommand& command);
  void Reset();

  // Direct access for setting up and checking a card; no rules applied.
  std::vector<std::uint8_t>& Contents(std::uint16_t fid);
  unsigned PinTriesLeft() const { return pinTries_; }
  void SetPinTriesLeft(unsigned tries) { pinTries_ = tries; }
  bool PinVerified() const { return pinVerified_; }

 private:
  enum class Update : std::uint8_t { kNever, kWithPin };
  struct File {
    std::uint16_t fid;
    std::uint16_t parent;  // the DF holding it; the MF holds itself
    bool dedicated;        // MF or DF
    std::vector<std::uint8_t> name;      // DF name, DFs only
    std::vector<std::uint8_t> contents;  // EFs only
    Update update;
  };

  CardResponse Select(const CardCommand& c);
  CardResponse ReadBinary(const CardCommand& c);
  CardResponse UpdateBinary(const CardCommand& c);
  CardResponse GetChallenge(const CardCommand& c);
  CardResponse Verify(const CardCommand& c);

  File* Find(std::uint16_t fid);
  File* FindByName(std::span<const std::uint8_t> name);
  // The current EF for READ/UPDATE BINARY, or the status word refusing.
  File* CurrentEf(std::uint16_t& refusal);
  void MakeCurrent(const File& file);
  std::vector<std::uint8_t> ControlInformation(const File& file, bool fci) const;

  std::vector<File> files_;
  std::uint16_t currentDf_ = kMasterFile;
  std::uint16_t currentEf_ = 0;  // 0: none
  bool pinVerified_ = false;
  unsigned pinTries_ = kPinTries;
  std::mt19937 challenges_;
};

}  // namespace kulve::sim
