// SPDX-License-Identifier: MIT
#include "sim/telnet_server.h"

#include <algorithm>

namespace kulve::sim {
namespace {

constexpr std::uint8_t kIac = 0xFF;
constexpr std::uint8_t kDont = 0xFE;
constexpr std::uint8_t kDo = 0xFD;
constexpr std::uint8_t kWont = 0xFC;
constexpr std::uint8_t kWill = 0xFB;
constexpr std::uint8_t kSb = 0xFA;
constexpr std::uint8_t kSe = 0xF0;

constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPortOption = 44;

// COM port commands from the client; the answer carries the code + 100.
constexpr std::uint8_t kSignature = 0;
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kSetLineStateMask = 10;
constexpr std::uint8_t kSetModemStateMask = 11;
constexpr std::uint8_t kPurgeData = 12;
constexpr std::uint8_t kReplyOffset = 100;

constexpr std::size_t kMaxSub = 64;

// Options this server performs itself (WILL), and lets the client perform (DO).
bool WePerform(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }
bool ClientMay(std::uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

void Put(Bytes& out, std::uint8_t verb, std::uint8_t option) { out.insert(out.end(), {kIac, verb, option}); }

void Reply(Bytes& out, std::uint8_t command, std::span<const std::uint8_t> value) {
  out.insert(out.end(), {kIac, kSb, kComPortOption, static_cast<std::uint8_t>(command + kReplyOffset)});
  TelnetServer::Escape(value, out);
  out.insert(out.end(), {kIac, kSe});
}

}  // namespace

void TelnetServer::Greet(Bytes& out) {
  for (std::uint8_t option : {kComPortOption, kBinary, kSuppressGoAhead}) {
    agreed_[option].askedTheirs = true;
    Put(out, kDo, option);
  }
  for (std::uint8_t option : {kBinary, kSuppressGoAhead}) {
    agreed_[option].askedOurs = true;
    Put(out, kWill, option);
  }
}

void TelnetServer::Escape(std::span<const std::uint8_t> data, Bytes& out) {
  for (std::uint8_t b : data) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
}

void TelnetServer::Receive(std::span<const std::uint8_t> in, Bytes& data, Bytes& out, ComPortLine& line) {
  for (std::uint8_t b : in) {
    switch (state_) {
      case State::kData:
        if (b == kIac) state_ = State::kCommand;
        else data.push_back(b);
        break;
      case State::kCommand:
        state_ = State::kData;
        if (b == kIac) {
          data.push_back(kIac);
        } else if (b >= kWill && b <= kDont) {
          verb_ = b;
          state_ = State::kOption;
        } else if (b == kSb) {
          sub_.clear();
          state_ = State::kSub;
        }
        break;
      case State::kOption:
        state_ = State::kData;
        Negotiate(verb_, b, out);
        break;
      case State::kSub:
        if (b == kIac) state_ = State::kSubIac;
        else if (sub_.size() < kMaxSub) sub_.push_back(b);
        break;
      case State::kSubIac:
        if (b == kIac) {
          if (sub_.size() < kMaxSub) sub_.push_back(kIac);
          state_ = State::kSub;
        } else {
          state_ = State::kData;  // SE, or a broken subnegotiation: it ends here
          if (b == kSe && sub_.size() >= 2 && sub_[0] == kComPortOption) ComPortCommand(line, out);
        }
        break;
    }
  }
}

void TelnetServer::Negotiate(std::uint8_t verb, std::uint8_t option, Bytes& out) {
  Agreement& a = agreed_[option];
  switch (verb) {
    case kWill:
      if (!ClientMay(option)) {
        Put(out, kDont, option);
      } else if (!a.theirs) {
        if (!a.askedTheirs) Put(out, kDo, option);
        a.theirs = true;
        a.askedTheirs = false;
      }
      break;
    case kWont:
      if (a.theirs) Put(out, kDont, option);
      a.theirs = a.askedTheirs = false;
      break;
    case kDo:
      if (!WePerform(option)) {
        Put(out, kWont, option);
      } else if (!a.ours) {
        if (!a.askedOurs) Put(out, kWill, option);
        a.ours = true;
        a.askedOurs = false;
      }
      break;
    case kDont:
      if (a.ours) Put(out, kWont, option);
      a.ours = a.askedOurs = false;
      break;
    default:
      break;
  }
}

void TelnetServer::ComPortCommand(ComPortLine& line, Bytes& out) {
  const std::uint8_t command = sub_[1];
  const std::span<const std::uint8_t> value(sub_.data() + 2, sub_.size() - 2);
  const std::uint8_t first = value.empty() ? 0 : value[0];
  switch (command) {
    case kSignature: {
      static constexpr std::uint8_t kName[] = {'k', 'u', 'l', 'v', 'e', 's', 'i', 'm'};
      Reply(out, command, kName);
      break;
    }
    case kSetBaudRate: {
      if (value.size() < 4) break;
      std::uint32_t asked = 0;
      for (int i = 0; i < 4; ++i) asked = asked << 8 | value[static_cast<std::size_t>(i)];
      const std::uint32_t now = line.SetSpeed(asked);
      const std::uint8_t speed[] = {static_cast<std::uint8_t>(now >> 24), static_cast<std::uint8_t>(now >> 16),
                                    static_cast<std::uint8_t>(now >> 8), static_cast<std::uint8_t>(now)};
      Reply(out, command, speed);
      break;
    }
    // The line is always 8N1; every request is answered with what it is.
    case kSetDataSize: {
      const std::uint8_t eight = 8;
      Reply(out, command, {&eight, 1});
      break;
    }
    case kSetParity:
    case kSetStopSize: {
      const std::uint8_t one = 1;  // no parity; one stop bit
      Reply(out, command, {&one, 1});
      break;
    }
    case kSetControl: {
      const std::uint8_t state = first == 0 ? 1 : first;  // 0 asks: no flow control
      Reply(out, command, {&state, 1});
      break;
    }
    case kSetLineStateMask:
    case kSetModemStateMask:
      Reply(out, command, {&first, 1});
      break;
    case kPurgeData:
      if (first >= 1 && first <= 3) line.Purge(first);
      Reply(out, command, {&first, 1});
      break;
    default:
      break;  // not supported: no answer, as the option allows
  }
}

}  // namespace kulve::sim
