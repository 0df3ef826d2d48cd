// SPDX-License-Identifier: MIT
// The mifare command of the kulve tool, and the Mifare section of the demo.
//
//   kulve --port /dev/ttyUSB0 mifare uid dump card.bin
//   kulve --sim mifare key A0A1A2A3A4A5 get 4 inc 4 10
//
// "mifare" takes the rest of the line as a list of steps, run in order with
// one key for every sector (FFFFFFFFFFFF as key A unless a key step says
// otherwise) or a key named for one sector; dump tries every key it knows
// on every sector.

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <iterator>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "kulve32.h"
#include "mifare/access_bits.h"
#include "mifare/card_layout.h"
#include "mifare/secret_bytes.h"
#include "sim/mifare_reader.h"
#include "tools/command.h"
#include "tools/demo_steps.h"
#include "tools/hex.h"
#include "tools/io_files.h"
#include "tools/mifare_card.h"

namespace kulve::tool {
namespace {

using Key = std::array<std::uint8_t, 6>;

// What the steps of one mifare command share while they run.
struct MifareRun {
  MifareKeyChoice key;
  bool keyLoaded = false;
  bool keyANamed = false;  // else key A is the default one, unknown once key B opens
  std::array<std::array<std::optional<Key>, 2>, kMifare4kSectors> found;  // by keys: [sector][A, B]
  std::size_t sectors = kMifare1kSectors;  // what dump reads: 40 after the 4k step
  std::array<std::optional<Key>, kMifare4kSectors> sectorKeyB;  // keyb SECTOR HEX: dump and restore try it
  std::vector<Key> fileKeys;  // keyfile FILE: tried by dump on every sector
};
using Step = std::function<int(Session&, MifareRun&)>;

Key KeyArg(const std::string& text) {
  const Bytes bytes = HexArg(text, 6, 6, "the key");
  Key key{};
  std::copy(bytes.begin(), bytes.end(), key.begin());
  return key;
}

int BlockArg(const std::string& text) { return IntArg(text, 0, 63, "the block"); }

int Value(const unsigned char* bytes) {
  return static_cast<int>(static_cast<unsigned>(bytes[0]) | static_cast<unsigned>(bytes[1]) << 8 |
                          static_cast<unsigned>(bytes[2]) << 16 | static_cast<unsigned>(bytes[3]) << 24);
}

void PutValue(int value, unsigned char* bytes) {
  const auto v = static_cast<unsigned>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The reader's slots hold the current key before a step that authenticates.
int WithKey(Session& s, MifareRun& run, const std::string& what) {
  if (run.keyLoaded) return 0;
  const int result = LoadReaderKey(run.key);
  if (result != 0) return Report(s, what + ": loading the key", result);
  run.keyLoaded = true;
  return 0;
}

bool IsEml(const std::string& path) { return path.size() > 4 && path.ends_with(".eml"); }

// A dump file: the raw image (1024 bytes for a 1K card, 4096 for a 4K one),
// or for a name ending in .eml the text form of the Proxmark3 emulator (a
// line of 32 hex digits a block, 64 or 256 lines); "-" is standard input,
// read raw.
MifareImage ReadDumpFile(const std::string& path) {
  const Bytes bytes = ReadInputFile(path);
  if (!IsEml(path)) {
    if (SectorsOfImage(bytes.size()) == 0)
      throw UsageError(path + " holds " + std::to_string(bytes.size()) +
                       " bytes, not a card dump (1024 bytes for a 1K card, 4096 for a 4K)");
    return MifareImage(bytes.begin(), bytes.end());
  }
  MifareImage image;
  const std::size_t most = KULVE_MIFARE_IMAGE_SIZE(40);
  const std::string text(bytes.begin(), bytes.end());
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < text.size(); ++lineNumber) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    std::erase_if(line, [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
    if (line.empty()) continue;
    const auto block = ParseHex(line);
    if (!block || block->size() != 16 || image.size() == most)
      throw UsageError(path + " line " + std::to_string(lineNumber + 1) + ": not one of 64 or 256 blocks of 32 hex digits");
    image.insert(image.end(), block->begin(), block->end());
  }
  if (SectorsOfImage(image.size()) == 0)
    throw UsageError(path + " holds " + std::to_string(image.size() / 16) + " blocks, not 64 or 256");
  return image;
}

std::size_t SectorOfBlock(std::size_t block) {
  std::size_t sector = 0;
  while (MifareTrailerBlock(sector) < block) ++sector;
  return sector;
}

// A trailer whose access bytes contradict themselves locks its sector for
// good once written: refused unless the line says --force, warned either way.
void CheckTrailer(const std::uint8_t* trailer, std::size_t block, bool force) {
  if (MifareAccessBytesAgree(trailer)) return;
  char text[200];
  std::snprintf(text, sizeof text,
                "block %zu: access bytes %02X %02X %02X contradict themselves; a card that stores them locks "
                "sector %zu for good",
                block, trailer[6], trailer[7], trailer[8], SectorOfBlock(block));
  if (!force) throw UsageError(std::string(text) + " (add --force to write them anyway)");
  std::fprintf(stderr, "warning: %s\n", text);
}

// A block as printed: a sector trailer's key A and key B masked unless shown.
std::string BlockText(const unsigned char (&data)[16], int block, bool show) {
  std::string text = FormatHex(data);
  if (!IsSectorTrailer(static_cast<std::uint8_t>(block)) || show) return text;
  for (std::size_t i = 0; i < 16; ++i) {
    if (i < 6 || i >= 10) text.replace(3 * i, 2, "**");  // key A, the access bytes, key B
  }
  return text;
}

Bytes DumpFileBytes(const MifareImage& dump, bool eml) {
  if (!eml) return Bytes(dump.begin(), dump.end());
  Bytes text;
  char digits[3];
  for (std::size_t i = 0; i < dump.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02x", dump[i]);
    text.insert(text.end(), digits, digits + 2);
    if (i % 16 == 15) text.push_back('\n');
  }
  return text;
}

// One key per line as 12 hex digits; blank lines and '#' comments skipped.
std::vector<Key> ReadKeyFile(const std::string& path) {
  const Bytes bytes = ReadInputFile(path);  // "-": standard input
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::vector<Key> keys;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = line.substr(0, line.find('#'));
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\t' || c == '\r'; }, ' ');
    if (line.find_first_not_of(' ') == std::string::npos) continue;
    try {
      keys.push_back(KeyArg(line));
    } catch (const UsageError& error) {
      throw UsageError(path + " line " + std::to_string(number) + ": " + error.what());
    }
  }
  if (keys.empty()) throw UsageError(path + " holds no keys");
  return keys;
}

// What dump tries on each sector: the sector's own key, the keys the keys
// step found, those of a key file, then the keys named for every sector.
SectorKeys DumpKeys(const MifareRun& run) {
  SectorKeys keys;
  for (std::size_t sector = 0; sector < kMifare4kSectors; ++sector) {
    std::vector<Key>& list = keys[sector];
    const auto add = [&list](const std::optional<Key>& key) {
      if (key && std::find(list.begin(), list.end(), *key) == list.end()) list.push_back(*key);
    };
    add(run.key.sectorKey[sector]);
    add(run.sectorKeyB[sector]);
    for (const auto& key : run.found[sector]) add(key);
    for (const Key& key : run.fileKeys) add(key);
    add(run.key.keyA);
    add(run.key.keyB);
    add(run.key.key);
  }
  return keys;
}

// What restore writes each sector with: its own key, then the key of every
// sector, then the keys named as key A and key B.
SectorKeys RestoreKeys(const MifareRun& run) {
  SectorKeys keys;
  for (std::size_t sector = 0; sector < kMifare4kSectors; ++sector) {
    std::vector<Key>& list = keys[sector];
    for (const std::optional<Key>& key : {run.key.sectorKey[sector], run.sectorKeyB[sector],
                                          std::optional<Key>(run.key.key), run.key.keyA, run.key.keyB}) {
      if (key && std::find(list.begin(), list.end(), *key) == list.end()) list.push_back(*key);
    }
  }
  return keys;
}

int Dump(Session& s, MifareRun& run, const std::string& path) {
  const SectorKeys keys = DumpKeys(run);
  const DumpResult dump = DumpCard(run.sectors, keys);
  run.keyLoaded = false;
  int missing = 0;
  for (std::size_t sector = 0; sector < run.sectors; ++sector) {
    const int status = dump.status[sector];
    if (status == 0) continue;
    ++missing;
    const std::string why = keys[sector].empty() ? "no key to try" : DescribeStatus(s, status);
    std::fprintf(stderr, "mifare dump: sector %zu not read, zeros in its place (%s)\n", sector, why.c_str());
  }
  if (dump.result != 0 && missing == static_cast<int>(run.sectors))
    return Report(s, "mifare dump (no sector read, no file written)", dump.result);
  if (missing == static_cast<int>(run.sectors))
    return Report(s, "mifare dump (no sector read, no file written)", dump.status[0]);
  if (!WriteOutputFile(path, DumpFileBytes(dump.image, IsEml(path)), false, "mifare dump")) return 1;
  std::string what = "mifare dump (" + std::to_string(dump.image.size()) + " bytes to " +
                     (path == "-" ? std::string("standard output") : path);
  if (dump.result != 0) return Report(s, what + ", ended early)", dump.result);
  if (missing != 0) {
    std::fprintf(stderr, "%s, %d of %zu sectors missing)\n", what.c_str(), missing, run.sectors);
    return 1;
  }
  return Report(s, what + ")", 0);
}

int Restore(Session& s, MifareRun& run, const MifareImage& dump, bool trailers) {
  const int result = RestoreCard(RestoreKeys(run), dump, trailers);
  run.keyLoaded = false;
  return Report(s, trailers ? "mifare restore with trailers" : "mifare restore", result);
}

// Tries every key as key A and as key B on each sector with the single
// steps: select the card, load the key, authenticate.
int FindKeys(Session& s, MifareRun& run, const std::vector<Key>& keys) {
  for (int sector = 0; sector < static_cast<int>(run.sectors); ++sector) {
    std::string found[2] = {"?", "?"};
    for (int type = 0; type < 2; ++type) {
      for (const Key& key : keys) {
        unsigned char answer[4], serial[4];
        int result = RFMifare_Request(1, answer);
        if (result == 0) result = RFMifare_AntiColl(serial);
        if (result == 0) result = RFMifare_Select(static_cast<unsigned>(Value(serial)));
        if (result == 0) result = RFMifare_LoadKey(type, 0, key.data());
        if (result != 0) return Report(s, "mifare keys", result);
        if (RFMifare_Authentication(type, static_cast<int>(MifareFirstBlock(static_cast<std::size_t>(sector))), 0) ==
            0) {
          found[type] = SecretHex(key, s.ShowsSecrets());
          run.found[static_cast<std::size_t>(sector)][static_cast<std::size_t>(type)] = key;
          break;
        }
      }
    }
    std::printf("sector %2d: key A %s, key B %s\n", sector, found[0].c_str(), found[1].c_str());
  }
  return Report(s, "mifare keys", 0);
}

// The steps of one mifare command, each taking its fixed number of words
// (or as many as wordsFor counts in the rest of the line) and whether the
// line says --force.
struct StepForm {
  const char* name;
  int words;
  std::function<Step(const Args&, bool force)> prepare;
  std::function<int(const Args& rest)> wordsFor = nullptr;
};

// "key SECTOR HEX" or "key HEX": a key is 12 hex digits, a sector at most 2.
int KeyStepWords(const Args& rest) { return rest.size() >= 2 && rest[0].size() <= 2 ? 2 : 1; }

const std::vector<StepForm>& Steps() {
  static const std::vector<StepForm> steps = {
      {"key", 1, [](const Args& a, bool) -> Step {
         if (a.size() == 2) {
           const auto sector = static_cast<std::size_t>(IntArg(a[0], 0, kMifare4kSectors - 1, "the sector"));
           const Key key = KeyArg(a[1]);
           return [sector, key](Session&, MifareRun& run) {
             run.key.sectorKey[sector] = key;
             run.keyLoaded = false;
             return 0;
           };
         }
         const Key key = KeyArg(a[0]);
         return [key](Session&, MifareRun& run) {
           run.key.type = 0;
           run.key.key = key;
           run.key.keyA = key;
           run.keyANamed = true;
           run.keyLoaded = false;
           return 0;
         };
       }, KeyStepWords},
      {"keyb", 1, [](const Args& a, bool) -> Step {
         if (a.size() == 2) {
           const auto sector = static_cast<std::size_t>(IntArg(a[0], 0, kMifare4kSectors - 1, "the sector"));
           const Key key = KeyArg(a[1]);
           return [sector, key](Session&, MifareRun& run) {
             run.sectorKeyB[sector] = key;
             return 0;
           };
         }
         const Key key = KeyArg(a[0]);
         return [key](Session&, MifareRun& run) {
           run.key.type = 1;
           run.key.key = key;
           run.key.keyB = key;
           if (!run.keyANamed) run.key.keyA.reset();
           run.keyLoaded = false;
           return 0;
         };
       }, KeyStepWords},
      {"uid", 0, [](const Args&, bool) -> Step {
         return [](Session& s, MifareRun&) {
           unsigned char serial[4];
           const int result = RFMifare_GetSnr(serial);
           if (result == 0) std::printf("%s\n", FormatHex(serial).c_str());
           return Report(s, "mifare uid", result);
         };
       }},
      {"read", 1, [](const Args& a, bool) -> Step {
         const int block = BlockArg(a[0]);
         return [block](Session& s, MifareRun& run) {
           if (const int failed = WithKey(s, run, "mifare read")) return failed;
           unsigned char data[16];
           const int result = RFMifare_ReadBlock(block, 0, data);
           if (result == 0) std::printf("%s\n", BlockText(data, block, s.ShowsSecrets()).c_str());
           return Report(s, "mifare read", result);
         };
       }},
      {"write", 2, [](const Args& a, bool force) -> Step {
         const int block = BlockArg(a[0]);
         const Bytes data = HexArg(a[1], 16, 16, "the block data");
         if (block % 4 == 3) CheckTrailer(data.data(), static_cast<std::size_t>(block), force);
         return [block, data](Session& s, MifareRun& run) {
           if (const int failed = WithKey(s, run, "mifare write")) return failed;
           Bytes copy = data;
           return Report(s, "mifare write", RFMifare_WriteBlock(block, 0, copy.data()));
         };
       }},
      {"dump", 1, [](const Args& a, bool) -> Step {
         const std::string path = a[0];
         CheckOutputFile(path);
         return [path](Session& s, MifareRun& run) { return Dump(s, run, path); };
       }},
      {"restore", 1, [](const Args& a, bool) -> Step {
         const auto dump = std::make_shared<MifareImage>(ReadDumpFile(a[0]));
         return [dump](Session& s, MifareRun& run) { return Restore(s, run, *dump, false); };
       }},
      {"restore-all", 1, [](const Args& a, bool force) -> Step {
         const auto dump = std::make_shared<MifareImage>(ReadDumpFile(a[0]));
         for (std::size_t sector = 0; sector < SectorsOfImage(dump->size()); ++sector) {
           const std::size_t block = MifareTrailerBlock(sector);
           CheckTrailer(dump->data() + 16 * block, block, force);
         }
         return [dump](Session& s, MifareRun& run) { return Restore(s, run, *dump, true); };
       }},
      {"keys", 1, [](const Args& a, bool) -> Step {
         const std::vector<Key> keys = ReadKeyFile(a[0]);
         return [keys](Session& s, MifareRun& run) { return FindKeys(s, run, keys); };
       }},
      {"4k", 0, [](const Args&, bool) -> Step {
         return [](Session&, MifareRun& run) {
           run.sectors = kMifare4kSectors;
           return 0;
         };
       }},
      {"keyfile", 1, [](const Args& a, bool) -> Step {
         const std::vector<Key> keys = ReadKeyFile(a[0]);
         return [keys](Session&, MifareRun& run) {
           run.fileKeys.insert(run.fileKeys.end(), keys.begin(), keys.end());
           return 0;
         };
       }},
      {"get", 1, [](const Args& a, bool) -> Step {
         const int block = BlockArg(a[0]);
         return [block](Session& s, MifareRun& run) {
           if (const int failed = WithKey(s, run, "mifare get")) return failed;
           unsigned char value[4];
           const int result = RFMifare_ReadValue(block, 0, value);
           if (result == 0) std::printf("%d\n", Value(value));
           return Report(s, "mifare get", result);
         };
       }},
  };
  return steps;
}

// set / inc / dec: a value operation that prints the value the card now holds.
StepForm ValueStep(const char* name, int (*operation)(int, unsigned, unsigned char*), long long min) {
  return {name, 2, [name, operation, min](const Args& a, bool) -> Step {
            const int block = BlockArg(a[0]);
            const int amount = IntArg(a[1], min, INT_MAX, min < 0 ? "the value" : "the amount");
            const std::string what = std::string("mifare ") + name;
            return [=](Session& s, MifareRun& run) {
              if (const int failed = WithKey(s, run, what)) return failed;
              unsigned char value[4];
              PutValue(amount, value);
              const int result = operation(block, 0, value);
              if (result == 0) std::printf("%d\n", Value(value));
              return Report(s, what, result);
            };
          }};
}

const StepForm* FindStep(const std::string& name) {
  static const std::vector<StepForm> valueSteps = {
      ValueStep("set", [](int b, unsigned p, unsigned char* v) { return RFMifare_WriteValue(b, p, v); }, INT_MIN),
      ValueStep("inc", [](int b, unsigned p, unsigned char* v) { return RFMifare_IncrementValue(b, p, v); }, 0),
      ValueStep("dec", [](int b, unsigned p, unsigned char* v) { return RFMifare_DecrementValue(b, p, v); }, 0),
  };
  for (const auto* list : {&Steps(), &valueSteps}) {
    for (const StepForm& step : *list)
      if (name == step.name) return &step;
  }
  return nullptr;
}

Action PrepareMifare(const Args& words) {
  if (words.empty()) throw UsageError("say what to do, e.g. mifare uid dump card.bin");
  std::vector<Step> steps;
  const bool force = std::find(words.begin(), words.end(), "--force") != words.end();
  for (std::size_t i = 0; i < words.size();) {
    if (words[i] == "--force") {
      ++i;
      continue;
    }
    const StepForm* form = FindStep(words[i]);
    if (form == nullptr) throw UsageError("unknown step " + words[i]);
    const std::size_t wordsLeft = words.size() - i - 1;
    const auto first = words.begin() + static_cast<std::ptrdiff_t>(i + 1);
    const int count = form->wordsFor ? form->wordsFor(Args(first, words.end())) : form->words;
    if (static_cast<std::size_t>(count) > wordsLeft)
      throw UsageError(std::string(form->name) + " takes " + std::to_string(count) + " word(s)");
    steps.push_back(form->prepare(Args(first, first + count), force));
    i += 1 + static_cast<std::size_t>(count);
  }
  return [steps](Session& s) {
    if (sim::Simulator* simulator = s.Simulator()) {
      const bool placed = simulator->WithState([](sim::ReaderState& st) {
        if (!sim::MifareOf(st).field.empty()) return false;
        sim::PutSampleMifareCard(st);
        return true;
      });
      if (placed && !s.Quiet()) std::fprintf(stderr, "the simulated reader has its sample card (UID 4B563332) in the field\n");
    }
    MifareRun run;
    for (const Step& step : steps) {
      if (const int status = step(s, run); status != 0) return status;
    }
    return 0;
  };
}

}  // namespace

void AddMifareCommands(CommandList& commands) {
  commands.push_back({"mifare", kRestOfLine, "STEP [ARGS] ...",
                      "Mifare Classic 1K and 4K; the steps, in order, take the rest of the line:\n"
                      "key HEX, keyb HEX: the key (6 bytes) of every sector, as key A / key B "
                      "(default FFFFFFFFFFFF as key A); the last one given opens the sectors\n"
                      "key SECTOR HEX: the key of one sector (0..39), in place of the one above\n"
                      "keyb SECTOR HEX: a key B of one sector, tried by dump and restore\n"
                      "4k: the card is a 4K one (40 sectors): dump reads all of it\n"
                      "keyfile FILE: keys (one a line) that dump tries on every sector\n"
                      "uid, read BLOCK, write BLOCK HEX\n"
                      "dump FILE: the whole card as a dump of every block (1024 bytes, 4096 for a 4K "
                      "card; - standard output; FILE.eml: a line of hex a block); each block read "
                      "with the first key that reads it, "
                      "as key A then as key B: a sector's own key, those keys found, keyfile's, "
                      "then key and keyb; each trailer carries the keys that opened it; a sector no "
                      "key reads is zeros, named on stderr, and the exit status is 1\n"
                      "restore FILE: its data blocks back, each with the first key that writes it "
                      "(restore-all FILE: trailers too)\n"
                      "--force: write trailers whose access bytes contradict themselves "
                      "(they lock the sector for good)\n"
                      "keys FILE: try the keys of FILE (one a line) on every sector; dump then uses "
                      "those found (printed masked unless --show-secrets)\n"
                      "get BLOCK, set BLOCK VALUE, inc BLOCK N, dec BLOCK N: value blocks",
                      true, PrepareMifare});
}

void RunMifareDemo(sim::Simulator& reader) {
  reader.WithState([](sim::ReaderState& s) {
    sim::ClearMifareField(s);
    sim::PutSampleMifareCard(s);
  });
  Say("A Mifare Classic 1K card comes into the reader's field.");
  unsigned char serial[4], answer[4];
  Show("RFMifare_GetSnr", RFMifare_GetSnr(serial));
  Say("its serial number: %s", FormatHex(serial).c_str());
  Show("RFMifare_GetType", RFMifare_GetType(answer));
  Say("its answer to a request: %s (a 1K card)", FormatHex(std::span(answer, 2)).c_str());
  unsigned char block[16];
  Show("RFMifare_ReadBlock(1, 0, ...)", RFMifare_ReadBlock(1, 0, block));
  Say("block 1: \"%.16s\", read with the key of slot 1 (a new card's FF FF FF FF FF FF)", block);

  unsigned char card[768];
  Show("RFMifare_ReadBloca: every sector's data blocks", RFMifare_ReadBloca(0, 0, card));
  Say("sector 2 starts with \"%.16s\"", card + 96);

  unsigned char value[4];
  Show("RFMifare_ReadValue(4, ...)", RFMifare_ReadValue(4, 0, value));
  Say("block 4 is a value block holding %d", Value(value));
  PutValue(25, value);
  Show("RFMifare_IncrementValue(4, 0, 25)", RFMifare_IncrementValue(4, 0, value));
  Say("it now holds %d", Value(value));
  PutValue(200, value);
  Show("RFMifare_DecrementValue(4, 0, 200)", RFMifare_DecrementValue(4, 0, value));
  Say("value blocks are signed: %d", Value(value));

  const unsigned char secret[6] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  Show("RFMifare_WriteKey(3, 0, A0..A5, key A)", RFMifare_WriteKey(3, 0, secret, 0));
  Show("RFMifare_ReadBlock(12, ...) with slot 3's old key", RFMifare_ReadBlock(12, 0, block));
  Say("sector 3 now wants its new key A (status 0xC0: wrong key).");
  Show("RFMifare_TransKey(3, A0..A5)", RFMifare_TransKey(3, secret));
  Show("RFMifare_ReadBlock(12, ...)", RFMifare_ReadBlock(12, 0, block));

  reader.WithState([](sim::ReaderState& s) { sim::PutMifareCard(s, {0x11, 0x22, 0x33, 0x44}); });
  Say("A second card joins the first; the single steps pick one at a time:");
  for (int round = 0; round < 2; ++round) {
    Show("RFMifare_Request(0: idle cards)", RFMifare_Request(0, answer));
    Show("RFMifare_AntiColl", RFMifare_AntiColl(serial));
    Say("anticollision found %s", FormatHex(serial).c_str());
    Show("RFMifare_Select", RFMifare_Select(static_cast<unsigned>(Value(serial))));
    Show("RFMifare_Halt", RFMifare_Halt());
  }
  Show("RFMifare_Request(0): both cards are halted", RFMifare_Request(0, answer));

  Say("Now the line fails in the middle of a call: the reader never sends the status byte.");
  reader.InjectFault({sim::FaultKind::kSilent, sim::ReaderByte::kStatus}, sim::FaultTrigger::NextWithCode(0xAC));
  reader.ClearRequests();
  const auto start = std::chrono::steady_clock::now();
  Show("RFMifare_ReadBlock(1, 0x3233564B: its serial, ...)", RFMifare_ReadBlock(1, 0x3233564B, block));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::string codes;
  for (const auto& request : reader.Requests()) {
    const std::uint8_t code = request.code;
    codes += ' ';
    codes += FormatHex(std::span(&code, 1));
  }
  Say("The library closed the port, linked again and repeated the request (codes%s), %ld ms.", codes.c_str(),
      static_cast<long>(ms.count()));
  Say("block 1: \"%.16s\"", block);
}

}  // namespace kulve::tool
