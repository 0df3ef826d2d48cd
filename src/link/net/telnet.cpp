// SPDX-License-Identifier: MIT
#include "link/net/telnet.h"

namespace kulve::telnet {
namespace {

// Which options we agree to: performing them ourselves, and letting the
// server perform them. Everything else is refused.
struct Policy {
  std::uint8_t option;
  bool weWill;
  bool heMay;
};

constexpr Policy kPolicies[] = {
    {kBinary, true, true},
    {kSuppressGoAhead, true, true},
    {kComPortOption, true, false},
};

const Policy* PolicyFor(std::uint8_t option) {
  for (const Policy& p : kPolicies) {
    if (p.option == option) return &p;
  }
  return nullptr;
}

bool WeWill(std::uint8_t option) {
  const Policy* p = PolicyFor(option);
  return p != nullptr && p->weWill;
}

bool HeMay(std::uint8_t option) {
  const Policy* p = PolicyFor(option);
  return p != nullptr && p->heMay;
}

// Subnegotiations we care about are a few bytes long; longer ones are
// skipped to their end without being kept.
constexpr std::size_t kMaxSubnegotiation = 64;

}  // namespace

void AppendEscaped(std::span<const std::uint8_t> data, Bytes& out) {
  for (std::uint8_t b : data) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
}

void AppendComPortCommand(std::uint8_t command, std::span<const std::uint8_t> value, Bytes& out) {
  out.insert(out.end(), {kIac, kSb, kComPortOption, command});
  AppendEscaped(value, out);
  out.insert(out.end(), {kIac, kSe});
}

void AppendLineSettings(std::uint32_t baudRate, Bytes& out) {
  const std::uint8_t speed[] = {static_cast<std::uint8_t>(baudRate >> 24), static_cast<std::uint8_t>(baudRate >> 16),
                                static_cast<std::uint8_t>(baudRate >> 8), static_cast<std::uint8_t>(baudRate)};
  const std::uint8_t dataBits = 8;
  AppendComPortCommand(com_port::kSetBaudRate, speed, out);
  AppendComPortCommand(com_port::kSetDataSize, {&dataBits, 1}, out);
  AppendComPortCommand(com_port::kSetParity, {&com_port::kParityNone, 1}, out);
  AppendComPortCommand(com_port::kSetStopSize, {&com_port::kOneStopBit, 1}, out);
  AppendComPortCommand(com_port::kSetControl, {&com_port::kNoFlowControl, 1}, out);
}

void AppendPurgeBoth(Bytes& out) {
  AppendComPortCommand(com_port::kPurgeData, {&com_port::kPurgeBothBuffers, 1}, out);
}

void Client::Start(Bytes& out) {
  for (const Policy& p : kPolicies) {
    if (p.weWill && !options_[p.option].us.enabled) {
      options_[p.option].us.asked = true;
      Send(kWill, p.option, out);
    }
    if (p.heMay && !options_[p.option].him.enabled) {
      options_[p.option].him.asked = true;
      Send(kDo, p.option, out);
    }
  }
}

void Client::Receive(std::span<const std::uint8_t> in, Bytes& data, Bytes& out) {
  for (std::size_t i = 0; i < in.size(); ++i) {
    const std::uint8_t b = in[i];
    switch (state_) {
      case State::kData:
        if (b == kIac) {
          state_ = State::kCommand;
        } else {
          data.push_back(b);
        }
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
          subOverflow_ = false;
          state_ = State::kSub;
        }
        // NOP, go-ahead, data mark and the rest carry nothing for us.
        break;
      case State::kOption:
        state_ = State::kData;
        Command(verb_, b, out);
        break;
      case State::kSub:
        if (b == kIac) {
          state_ = State::kSubIac;
        } else if (sub_.size() < kMaxSubnegotiation) {
          sub_.push_back(b);
        } else {
          subOverflow_ = true;
        }
        break;
      case State::kSubIac:
        if (b == kIac) {
          state_ = State::kSub;
          if (sub_.size() < kMaxSubnegotiation) sub_.push_back(kIac);
        } else if (b == kSe) {
          state_ = State::kData;
          Subnegotiation();
        } else {
          // A command inside a subnegotiation: the server broke it off. Drop
          // what we have and take the byte as the command it is.
          state_ = State::kCommand;
          --i;
        }
        break;
    }
  }
}

Client::ComPort Client::ComPortState() const {
  if (options_[kComPortOption].us.enabled) return ComPort::kAgreed;
  return comPortRefused_ ? ComPort::kRefused : ComPort::kAsked;
}

void Client::Command(std::uint8_t verb, std::uint8_t option, Bytes& out) {
  Option& o = options_[option];
  switch (verb) {
    case kDo:
      if (!WeWill(option)) {
        Send(kWont, option, out);
      } else if (!o.us.enabled) {
        o.us.enabled = true;
        if (!o.us.asked) Send(kWill, option, out);  // else this is the answer to our WILL
        o.us.asked = false;
      }
      break;
    case kDont:
      if (option == kComPortOption && (o.us.enabled || o.us.asked)) comPortRefused_ = true;
      if (o.us.enabled) Send(kWont, option, out);  // a refusal of our WILL needs no answer
      o.us = Side{};
      break;
    case kWill:
      if (!HeMay(option)) {
        Send(kDont, option, out);
      } else if (!o.him.enabled) {
        o.him.enabled = true;
        if (!o.him.asked) Send(kDo, option, out);
        o.him.asked = false;
      }
      break;
    case kWont:
      if (o.him.enabled) Send(kDont, option, out);
      o.him = Side{};
      break;
    default:
      break;
  }
}

void Client::Subnegotiation() {
  if (subOverflow_ || sub_.size() < 2 || sub_[0] != kComPortOption) return;
  const std::uint8_t command = sub_[1];
  if (command == com_port::kServerReply + com_port::kSetBaudRate && sub_.size() >= 6) {
    confirmedBaud_ = static_cast<std::uint32_t>(sub_[2]) << 24 | static_cast<std::uint32_t>(sub_[3]) << 16 |
                     static_cast<std::uint32_t>(sub_[4]) << 8 | sub_[5];
  }
  // The other answers confirm settings we sent, or report line and modem
  // state, which the exchange does not use.
}

void Client::Send(std::uint8_t verb, std::uint8_t option, Bytes& out) {
  out.insert(out.end(), {kIac, verb, option});
}

}  // namespace kulve::telnet
