// SPDX-License-Identifier: MIT
#include "sim/cards/card_images.h"

#include <algorithm>
#include <cstdio>

#include "sim/hex_text.h"

namespace kulve::sim {
namespace {

std::string SizeError(std::size_t got, const std::string& want) {
  return "the image holds " + std::to_string(got) + " bytes, not " + want;
}

}  // namespace

std::vector<std::uint8_t> MemoryCardImage(const MemoryCard& card) {
  std::vector<std::uint8_t> image = card.Memory();
  image.insert(image.end(), card.SecurityBytes().begin(), card.SecurityBytes().end());
  return image;
}

std::string LoadMemoryCardImage(MemoryCard& card, std::span<const std::uint8_t> image) {
  const std::size_t full = MemoryCard::kMemorySize + card.SecurityBytes().size();
  if (image.size() > MemoryCard::kMemorySize && image.size() != full) {
    std::string want = "at most " + std::to_string(MemoryCard::kMemorySize) + " (card memory)";
    if (full != MemoryCard::kMemorySize)
      want += " or " + std::to_string(full) + " (with the security memory of type " + std::to_string(card.Type()) + ")";
    return SizeError(image.size(), want);
  }
  const std::size_t memory = std::min(image.size(), MemoryCard::kMemorySize);
  std::copy_n(image.begin(), memory, card.Memory().begin());
  if (image.size() == full)
    std::copy(image.begin() + static_cast<std::ptrdiff_t>(memory), image.end(), card.SecurityBytes().begin());
  return {};
}

std::vector<std::uint8_t> MifareImage(const MifareClassicCard& card, bool eml) {
  std::vector<std::uint8_t> file;
  for (const MifareBlock& block : card.Blocks()) {
    if (!eml) {
      file.insert(file.end(), block.begin(), block.end());
      continue;
    }
    char digits[3];
    for (std::uint8_t b : block) {
      std::snprintf(digits, sizeof digits, "%02x", b);
      file.insert(file.end(), digits, digits + 2);
    }
    file.push_back('\n');
  }
  return file;
}

namespace {

bool IsMifareBlockCount(std::size_t blocks) {
  return blocks == MifareClassicCard::kBlockCount || blocks == MifareClassicCard::k4kBlockCount;
}

}  // namespace

bool ParseMifareImage(std::span<const std::uint8_t> file, bool eml, std::vector<MifareBlock>& blocks,
                      std::string& error) {
  blocks.clear();
  if (!eml) {
    if (file.size() % 16 != 0 || !IsMifareBlockCount(file.size() / 16)) {
      error = SizeError(file.size(), "1024 (a Mifare Classic 1K dump) or 4096 (4K)");
      return false;
    }
    blocks.resize(file.size() / 16);
    for (std::size_t b = 0; b < blocks.size(); ++b)
      std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(b * 16), 16, blocks[b].begin());
    return true;
  }
  std::size_t lineNumber = 0;
  const std::string text(file.begin(), file.end());
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; }),
               line.end());
    if (line.empty()) continue;
    const auto bytes = ParseHexText(line);
    if (!bytes || bytes->size() != 16) {
      error = "line " + std::to_string(lineNumber) + " is not a block of 32 hex digits";
      return false;
    }
    if (blocks.size() == MifareClassicCard::k4kBlockCount) {
      error = "more than 256 blocks";
      return false;
    }
    blocks.emplace_back();
    std::copy(bytes->begin(), bytes->end(), blocks.back().begin());
  }
  if (!IsMifareBlockCount(blocks.size())) {
    error = "the image holds " + std::to_string(blocks.size()) + " blocks, not 64 (1K) or 256 (4K)";
    return false;
  }
  return true;
}

std::string LoadMifareImage(MifareClassicCard& card, std::span<const std::uint8_t> file, bool eml) {
  std::vector<MifareBlock> blocks;
  std::string error;
  if (!ParseMifareImage(file, eml, blocks, error)) return error;
  if (!std::equal(card.Uid().begin(), card.Uid().end(), blocks[0].begin()))
    return "block 0 of the image starts " + HexText(std::span(blocks[0]).first(4)) + ", not the card's UID " +
           HexText(card.Uid());
  // The image's size says which card it is.
  if (blocks.size() != card.BlockCount()) card = MifareClassicCard(card.Uid(), blocks.size() == MifareClassicCard::k4kBlockCount);
  card.Blocks() = blocks;
  return {};
}

std::vector<std::uint8_t> At1608Image(const At1608Card& card) {
  std::vector<std::uint8_t> image;
  for (std::size_t z = 0; z <= At1608Card::kConfigZone; ++z)
    image.insert(image.end(), card.Zone(z).begin(), card.Zone(z).end());
  image.push_back(card.Fuses());
  return image;
}

std::string LoadAt1608Image(At1608Card& card, std::span<const std::uint8_t> image) {
  if (image.size() != kAt1608ImageSize) return SizeError(image.size(), std::to_string(kAt1608ImageSize));
  auto next = image.begin();
  for (std::size_t z = 0; z <= At1608Card::kConfigZone; ++z) {
    std::vector<std::uint8_t>& zone = card.Zone(z);
    std::copy_n(next, zone.size(), zone.begin());
    next += static_cast<std::ptrdiff_t>(zone.size());
  }
  card.SetFuses(*next);
  card.Reset();
  return {};
}

std::vector<std::uint8_t> E5550Image(const E5550Transponder& transponder) {
  std::vector<std::uint8_t> image;
  std::uint8_t locks = 0;
  for (std::uint8_t b = 0; b < E5550Transponder::kBlockCount; ++b) {
    image.insert(image.end(), transponder.BlockAt(b).begin(), transponder.BlockAt(b).end());
    if (transponder.Locked(b)) locks = static_cast<std::uint8_t>(locks | 1u << b);
  }
  image.push_back(locks);
  return image;
}

std::string LoadE5550Image(E5550Transponder& transponder, std::span<const std::uint8_t> image) {
  if (image.size() != kE5550ImageSize) return SizeError(image.size(), std::to_string(kE5550ImageSize));
  for (std::uint8_t b = 0; b < E5550Transponder::kBlockCount; ++b) {
    std::copy_n(image.begin() + b * E5550Transponder::kBlockSize, E5550Transponder::kBlockSize,
                transponder.BlockAt(b).begin());
    transponder.SetLocked(b, (image.back() >> b & 1u) != 0);
  }
  transponder.LeaveField();
  return {};
}

bool IsEmlName(const std::string& path) { return path.size() >= 4 && path.ends_with(".eml"); }

}  // namespace kulve::sim
