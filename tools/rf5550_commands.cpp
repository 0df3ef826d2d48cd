// SPDX-License-Identifier: MIT
// e5550 transponder commands of the kulve tool, and the e5550 section of the demo.
//
//   kulve --sim e5550 place write 1 CAFEF00D read 1
//   kulve --port /dev/ttyUSB0 e5550 wake 13579BDF read 3 --wake 13579BDF
//
// "e5550" takes the rest of the line: one operation after another, each with
// its own words and flags, all checked before the first is sent.
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "kulve32.h"
#include "sim/cards/e5550_transponder.h"
#include "tools/command.h"
#include "tools/demo_steps.h"
#include "tools/hex.h"

namespace kulve::tool {
namespace {

using Block = std::array<std::uint8_t, 4>;

struct OperationFlag {
  const char* name;
  bool takesValue;
};

// The words of one operation: its positional words, then its flags.
struct OperationWords {
  Args positional;
  std::map<std::string, std::string> flags;  // "" for a flag without a value
  bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
};

struct Operation {
  const char* name;
  std::size_t positional;
  std::vector<OperationFlag> flags;
  Action (*prepare)(const OperationWords&);
};

Block BlockArg(const std::string& text, const std::string& what) {
  const Bytes bytes = HexArg(text, 4, 4, what);
  return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

Block PasswordFlag(const OperationWords& words, const std::string& flag) {
  return words.Has(flag) ? BlockArg(words.flags.at(flag), "the password") : Block{};
}

Action Place(const OperationWords&) {
  return [](Session& s) {
    if (s.Simulator() == nullptr) throw UsageError("e5550 place works with --sim only");
    s.Simulator()->WithState([](sim::ReaderState& st) { sim::PlaceTransponder(st); });
    if (!s.Quiet()) std::fprintf(stderr, "a new e5550 transponder is in the simulated reader's field\n");
    return 0;
  };
}

Action Read(const OperationWords& words) {
  const int block = IntArg(words.positional[0], 0, 255, "the block");
  const bool afterWake = words.Has("--wake");
  const Block password = PasswordFlag(words, "--wake");
  return [=](Session& s) {
    Block data{};
    const int result = afterWake ? RF5550_ReadAfterWake(block, password.data(), data.data())
                                 : RF5550_ReadBlk(block, data.data());
    if (result == 0) std::printf("%s\n", FormatHex(data).c_str());
    return Report(s, "e5550 read block " + std::to_string(block), result);
  };
}

Action Write(const OperationWords& words) {
  const int block = IntArg(words.positional[0], -1, 255, "the block");
  if (block == 0) throw UsageError("block 0 holds the configuration: write it as block -1, or use init");
  const Block data = BlockArg(words.positional[1], "the data");
  if (words.Has("--password") && words.Has("--wake")) throw UsageError("write takes --password or --wake, not both");
  const bool afterWake = words.Has("--wake");
  const Block password = PasswordFlag(words, afterWake ? "--wake" : "--password");
  const int lock = words.Has("--lock") ? 1 : 0;
  return [=](Session& s) {
    Block copy = data;
    const int result = afterWake ? RF5550_WriteAfterWake(block, password.data(), copy.data(), lock)
                                 : RF5550_WriteBlk(block, password.data(), copy.data(), lock);
    return Report(s, "e5550 write block " + std::to_string(block), result);
  };
}

Action Wake(const OperationWords& words) {
  const Block password = BlockArg(words.positional[0], "the password");
  return [=](Session& s) { return Report(s, "e5550 wake", RF5550_Wake(password.data())); };
}

Action Init(const OperationWords& words) {
  Rf5550InitRecord record{};
  record.value[0] = words.Has("--pwd") ? 1 : 0;
  record.value[3] = words.Has("--aor") ? 1 : 0;
  record.value[9] = words.Has("--max") ? IntArg(words.flags.at("--max"), 0, 7, "the highest block") : 7;
  const Block password = PasswordFlag(words, "--password");
  const int lock = words.Has("--lock") ? 1 : 0;
  return [=](Session& s) { return Report(s, "e5550 init", RF5550_Init(&record, password.data(), lock)); };
}

Action Module(const OperationWords&) {
  return [](Session& s) {
    std::uint8_t answer[4] = {};
    const int result = RF5550_Mcmno(answer);
    if (result == 0) std::printf("%s\n", FormatHex(std::span(answer, 2)).c_str());
    return Report(s, "RF module", result);
  };
}

const Operation kOperations[] = {
    {"place", 0, {}, Place},
    {"read", 1, {{"--wake", true}}, Read},
    {"write", 2, {{"--password", true}, {"--wake", true}, {"--lock", false}}, Write},
    {"wake", 1, {}, Wake},
    {"init", 0, {{"--password", true}, {"--pwd", false}, {"--aor", false}, {"--max", true}, {"--lock", false}}, Init},
    {"module", 0, {}, Module},
};

const Operation& FindOperation(const std::string& name) {
  for (const Operation& op : kOperations) {
    if (name == op.name) return op;
  }
  throw UsageError("unknown e5550 operation \"" + name + "\" (place, read, write, wake, init, module)");
}

const OperationFlag& FindFlag(const Operation& op, const std::string& word) {
  for (const OperationFlag& flag : op.flags) {
    if (word == flag.name) return flag;
  }
  throw UsageError(std::string(op.name) + " does not take " + word);
}

bool IsFlag(const std::string& word) { return word.rfind("--", 0) == 0; }

// Splits the words into operations and prepares each; the actions run in
// order and the first failure ends the run.
Action E5550(const Args& args) {
  if (args.empty()) throw UsageError("e5550 needs an operation (place, read, write, wake, init, module)");
  std::vector<Action> actions;
  for (std::size_t i = 0; i < args.size();) {
    const Operation& op = FindOperation(args[i++]);
    OperationWords words;
    for (std::size_t n = 0; n < op.positional; ++n, ++i) {
      if (i == args.size() || IsFlag(args[i])) throw UsageError(std::string(op.name) + " is missing a word");
      words.positional.push_back(args[i]);
    }
    while (i < args.size() && IsFlag(args[i])) {
      const OperationFlag& flag = FindFlag(op, args[i]);
      if (words.Has(flag.name)) throw UsageError(std::string(flag.name) + " given twice");
      ++i;
      if (flag.takesValue && i == args.size()) throw UsageError(std::string(flag.name) + " needs a value");
      words.flags[flag.name] = flag.takesValue ? args[i++] : "";
    }
    actions.push_back(op.prepare(words));
  }
  return [actions](Session& s) {
    for (const Action& action : actions) {
      if (const int status = action(s); status != 0) return status;
    }
    return 0;
  };
}

}  // namespace

void AddE5550Commands(CommandList& commands) {
  const std::string indent = "\n" + std::string(42, ' ');  // under the help column of the usage text
  commands.push_back({"e5550", kRestOfLine, "OPERATION ...",
                      "e5550 transponder: the rest of the line, operation by operation:" + indent +
                          "place                      a new transponder in the field (--sim)" + indent +
                          "read BLOCK [--wake PW]     read a block (after a wake with PW)" + indent +
                          "write BLOCK HEX4 [--password PW | --wake PW] [--lock]" + indent +
                          "                           write a block (block 0 as -1)" + indent +
                          "wake PW                    wake the transponder" + indent +
                          "init [--password PW] [--pwd] [--aor] [--max N] [--lock]" + indent +
                          "                           send the option byte" + indent +
                          "module                     show the RF module's two bytes",
                      true, E5550});
}

void RunE5550Demo(sim::Simulator& reader) {
  using sim::E5550Transponder;
  reader.WithState([](sim::ReaderState& s) { sim::PlaceTransponder(s); });
  Say("A new e5550 transponder enters the simulated reader's field: eight blocks of 4 bytes,");
  Say("block 0 its configuration, block 7 its password.");
  unsigned char module[4];
  Show("RF5550_Mcmno", RF5550_Mcmno(module));
  Say("RF module bytes %s (both modules fitted, revision 1.2)", FormatHex(std::span(module, 2)).c_str());

  const unsigned char none[4] = {0, 0, 0, 0};
  unsigned char data[4] = {0xCA, 0xFE, 0xF0, 0x0D};
  Show("RF5550_WriteBlk(1, CA FE F0 0D)", RF5550_WriteBlk(1, none, data, 0));
  unsigned char read[4] = {};
  Show("RF5550_ReadBlk(1)", RF5550_ReadBlk(1, read));
  Say("block 1 reads %s", FormatHex(read).c_str());
  Show("RF5550_WriteBlk(0, ...): block 0 is refused", RF5550_WriteBlk(0, none, data, 0));
  Say("The configuration block is written only when asked for as block -1.");

  unsigned char locked[4] = {0x11, 0x22, 0x33, 0x44};
  Show("RF5550_WriteBlk(2, 11 22 33 44, lock)", RF5550_WriteBlk(2, none, locked, 1));
  unsigned char other[4] = {0x99, 0x99, 0x99, 0x99};
  Show("RF5550_WriteBlk(2, 99 99 99 99): locked for good", RF5550_WriteBlk(2, none, other, 0));

  const unsigned char password[4] = {0x13, 0x57, 0x9B, 0xDF};
  unsigned char newPassword[4] = {0x13, 0x57, 0x9B, 0xDF};
  Show("RF5550_WriteBlk(7, 13 57 9B DF): the password", RF5550_WriteBlk(7, none, newPassword, 0));
  Rf5550InitRecord record{};
  record.value[0] = 1;  // password mode
  record.value[3] = 1;  // answer on request
  record.value[9] = 7;  // every block readable
  Show("RF5550_Init: password mode, answer on request", RF5550_Init(&record, none, 0));
  Say("Now the transponder stays silent (status 0xD1) until woken with its password:");
  Show("RF5550_ReadBlk(1)", RF5550_ReadBlk(1, read));
  const unsigned char wrong[4] = {0x12, 0x34, 0x56, 0x78};
  Show("RF5550_Wake(12 34 56 78): wrong password", RF5550_Wake(wrong));
  Show("RF5550_Wake(13 57 9B DF)", RF5550_Wake(password));
  Show("RF5550_ReadBlk(1)", RF5550_ReadBlk(1, read));
  Say("block 1 reads %s; the password block never reads back:", FormatHex(read).c_str());
  Show("RF5550_ReadBlk(7)", RF5550_ReadBlk(7, read));

  reader.WithState([](sim::ReaderState& s) { s.transponder->LeaveField(); });
  Say("The transponder leaves the field and comes back asleep; the after-wake commands carry");
  Say("the password in their own frames.");
  unsigned char fresh[4] = {0x0B, 0xAD, 0xF0, 0x0D};
  Show("RF5550_WriteAfterWake(3, 0B AD F0 0D)", RF5550_WriteAfterWake(3, password, fresh, 0));
  Show("RF5550_ReadAfterWake(3)", RF5550_ReadAfterWake(3, password, read));
  Say("block 3 reads %s", FormatHex(read).c_str());
}

}  // namespace kulve::tool
