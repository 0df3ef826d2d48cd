// SPDX-License-Identifier: MIT
#include "sim/card_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "sim/cards/card_images.h"
#include "sim/hex_text.h"
#include "sim/mifare_reader.h"

namespace kulve::sim {
namespace {

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Runs load on the file's bytes; the error, if any, names the file.
template <typename Load>
std::string WithFile(const std::string& path, Load load) {
  std::string error;
  const auto bytes = ReadWholeFile(path, error);
  if (!bytes) return error;
  error = load(std::span<const std::uint8_t>(*bytes));
  return error.empty() ? error : path + ": " + error;
}

std::string UidText(const MifareUid& uid) {
  std::string text = HexText(uid);
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = SystemError("cannot read", path);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
    if (bytes.size() > (1u << 20)) {
      std::fclose(file);
      error = path + ": larger than any card image";
      return std::nullopt;
    }
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = SystemError("cannot read", path);
    return std::nullopt;
  }
  return bytes;
}

bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = SystemError("cannot write", path);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
  const int savedErrno = errno;
  if (std::fclose(file) != 0 || !written) {
    if (!written) errno = savedErrno;
    error = SystemError("cannot write", path);
    return false;
  }
  return true;
}

std::string LoadMemoryCardFile(ReaderState& state, std::uint8_t type, const std::string& path) {
  auto card = std::make_unique<MemoryCard>(type);
  const std::string error = WithFile(path, [&](auto bytes) { return LoadMemoryCardImage(*card, bytes); });
  if (!error.empty()) return error;
  InsertMemoryCard(state, type);
  state.memoryCard = std::move(card);
  return {};
}

std::string LoadMifareFile(ReaderState& state, std::optional<MifareUid> uid, const std::string& path) {
  const bool eml = IsEmlName(path);
  std::optional<MifareClassicCard> card;
  const std::string error = WithFile(path, [&](auto bytes) {
    std::vector<MifareBlock> blocks;
    std::string why;
    if (!ParseMifareImage(bytes, eml, blocks, why)) return why;
    MifareUid fromFile{};
    std::copy_n(blocks[0].begin(), fromFile.size(), fromFile.begin());
    card.emplace(uid.value_or(fromFile));
    return LoadMifareImage(*card, bytes, eml);
  });
  if (!error.empty()) return error;
  auto& field = MifareOf(state).field;
  std::erase_if(field, [&](const MifareClassicCard& c) { return c.Uid() == card->Uid(); });
  field.push_back(std::move(*card));
  return {};
}

std::string LoadAt1608File(ReaderState& state, std::optional<At1608Block> seed, const std::string& path) {
  auto card = std::make_unique<At1608Card>(At1608Block{});
  std::string error = WithFile(path, [&](auto bytes) { return LoadAt1608Image(*card, bytes); });
  if (!error.empty()) return error;
  if (seed) std::copy(seed->begin(), seed->end(), card->Zone(At1608Card::kConfigZone).begin() + At1608Card::kSeed);
  InsertAt1608Card(state, card->Seed());
  state.at1608Card = std::move(card);
  return {};
}

std::string LoadE5550File(ReaderState& state, const std::string& path) {
  auto transponder = std::make_unique<E5550Transponder>();
  const std::string error = WithFile(path, [&](auto bytes) { return LoadE5550Image(*transponder, bytes); });
  if (!error.empty()) return error;
  state.transponder = std::move(transponder);
  return {};
}

std::string SaveCardFile(ReaderState& state, const std::string& kind, std::optional<MifareUid> uid,
                         const std::string& path) {
  std::vector<std::uint8_t> image;
  if (kind == "card") {
    if (!state.memoryCard) return "no memory card in the slot";
    image = MemoryCardImage(*state.memoryCard);
  } else if (kind == "at1608") {
    if (!state.at1608Card) return "no AT88SC1608 card in the slot";
    image = At1608Image(*state.at1608Card);
  } else if (kind == "e5550") {
    if (!state.transponder) return "no transponder in the field";
    image = E5550Image(*state.transponder);
  } else if (kind == "mifare" && uid) {
    const auto& field = MifareOf(state).field;
    const auto card = std::find_if(field.begin(), field.end(), [&](const auto& c) { return c.Uid() == *uid; });
    if (card == field.end()) return "no Mifare card " + UidText(*uid) + " in the field";
    image = MifareImage(*card, IsEmlName(path));
  } else {
    return "save takes card, at1608, e5550 or mifare UID";
  }
  std::string error;
  WriteWholeFile(path, image, error);
  return error;
}

std::string SaveReaderState(ReaderState& state, const std::string& directory, std::vector<std::string>& written) {
  std::error_code made;
  std::filesystem::create_directories(directory, made);
  if (made) return "cannot make " + directory + ": " + made.message();
  std::string failures;
  const auto save = [&](const std::string& kind, std::optional<MifareUid> uid, const std::string& name) {
    const std::string path = directory + "/" + name;
    const std::string error = SaveCardFile(state, kind, uid, path);
    if (error.empty()) {
      written.push_back(path);
    } else {
      failures += (failures.empty() ? "" : "; ") + error;
    }
  };
  if (state.memoryCard) save("card", std::nullopt, "card-" + std::to_string(state.memoryCard->Type()) + ".bin");
  if (state.mifare)
    for (const MifareClassicCard& card : state.mifare->field) save("mifare", card.Uid(), "mifare-" + UidText(card.Uid()) + ".mfd");
  if (state.at1608Card) save("at1608", std::nullopt, "at1608.bin");
  if (state.transponder) save("e5550", std::nullopt, "e5550.bin");
  return failures;
}

}  // namespace kulve::sim
