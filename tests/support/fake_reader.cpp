// SPDX-License-Identifier: MIT
#include "support/fake_reader.h"

#include <algorithm>
#include <cstdio>

#include "link/link.h"

namespace kulve::test {
namespace {

class FakePort final : public SerialPort {
 public:
  explicit FakePort(FakeReader& peer) : peer_(peer) {}
  ~FakePort() override {
    if (!closed_) Close();  // like a real port, released when dropped
  }
  FakePort(const FakePort&) = delete;
  FakePort& operator=(const FakePort&) = delete;
  std::size_t Write(const std::uint8_t* data, std::size_t count) override {
    return Finished(peer_.HostWrite(data, count), count);
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    return Finished(peer_.HostRead(buffer, count), count);
  }
  bool Purge() override { return !peer_.purgeFails; }
  bool Close() override {
    closed_ = true;
    ++peer_.closes;
    peer_.portOpen = false;
    return !peer_.closeFails;
  }

 private:
  // A short transfer is a timeout, or a hang-up once the peer has hung up.
  std::size_t Finished(std::size_t moved, std::size_t count) {
    if (moved == count) {
      Ended(TransferEnd::kDone);
    } else if (peer_.hungUp) {
      Ended(TransferEnd::kHangup, peer_.hangupError);
    } else {
      Ended(TransferEnd::kTimeout);
    }
    return moved;
  }

  FakeReader& peer_;
  bool closed_ = false;
};

}  // namespace

FakeReader::FakeReader() = default;
FakeReader::~FakeReader() = default;

std::unique_ptr<SerialPort> FakeReader::Open(int index, const char* device, const LineSettings& settings,
                                             OpenFailure& why) {
  if (failAllOpens || std::find(failingIndices.begin(), failingIndices.end(), index) != failingIndices.end()) {
    why = openFailure;
    return nullptr;
  }
  openedDevices.emplace_back(device);
  openedSettings.push_back(settings);
  portOpen = true;
  return std::make_unique<FakePort>(*this);
}

void FakeReader::DefaultDevicePath(int index, char* out, std::size_t size) const {
  std::snprintf(out, size, "fake%d", index);
}

std::vector<Request> FakeReader::TakeRequests() {
  std::vector<Request> fresh(requests.begin() + static_cast<std::ptrdiff_t>(taken_), requests.end());
  taken_ = requests.size();
  return fresh;
}

std::size_t FakeReader::HostWrite(const std::uint8_t* data, std::size_t count) {
  // Send data is the only multi-byte write; it may be cut short.
  std::size_t limit = count;
  if (state_ == State::Data && faults.dataWriteLimit) {
    limit = std::min(count, *faults.dataWriteLimit);
    faults.dataWriteLimit.reset();
  }
  std::size_t written = 0;
  for (; written < limit; ++written) {
    if (!AcceptByte(data[written])) break;
    wire.push_back(data[written]);
  }
  return written;
}

std::size_t FakeReader::HostRead(std::uint8_t* buffer, std::size_t count) {
  ++readCalls;
  std::size_t got = 0;
  while (got < count && !input_.empty()) {
    Pending& next = input_.front();
    if (next.delayReads > 0) {
      --next.delayReads;
      break;
    }
    buffer[got++] = next.byte;
    input_.pop_front();
  }
  if (got == 0) ++emptyReads;
  return got;
}

bool FakeReader::AcceptByte(std::uint8_t byte) {
  switch (state_) {
    case State::Idle:
    case State::AwaitGo:
      if (state_ == State::AwaitGo && byte == 0x89) {
        if (faults.goWriteFails) {
          faults.goWriteFails = false;
          return false;
        }
        Reply();
        state_ = State::Idle;
        return true;
      }
      if (byte != '#') return true;  // noise: the reader ignores it
      if (faults.hashWriteFailures > 0) {
        --faults.hashWriteFailures;
        return false;
      }
      if (faults.hashAnswer) Queue(*faults.hashAnswer, faults.hashAnswerDelayReads);
      state_ = State::Code;
      return true;
    case State::Code:
      if (faults.codeWriteFails) {
        faults.codeWriteFails = false;
        return false;
      }
      current_ = Request{byte, {}};
      check_ = byte;
      state_ = State::Length;
      return true;
    case State::Length:
      if (faults.lengthWriteFails) {
        faults.lengthWriteFails = false;
        return false;
      }
      expected_ = byte;
      check_ ^= byte;
      state_ = expected_ == 0 ? State::Checksum : State::Data;
      return true;
    case State::Data:
      current_.data.push_back(byte);
      check_ ^= byte;
      if (current_.data.size() == expected_) state_ = State::Checksum;
      return true;
    case State::Checksum: {
      if (faults.checksumWriteFailures > 0) {
        --faults.checksumWriteFailures;
        return false;
      }
      if (byte != check_) {  // a real reader would not acknowledge
        state_ = State::Idle;
        return true;
      }
      reply_ = ScriptedReply{};
      if (current_.code == 0 && !scriptedProbes) {
        ++probes;
      } else {
        requests.push_back(current_);
        if (!replies.empty()) {
          reply_ = replies.front();
          replies.pop_front();
        } else if (respond) {
          reply_ = respond(current_);
        }
      }
      if (reply_.ack) Queue(*reply_.ack, reply_.ackDelayReads);
      state_ = State::AwaitGo;
      return true;
    }
  }
  return true;
}

void FakeReader::Reply() {
  const ScriptedReply& r = reply_;
  if (!r.sendStatus) return;
  Queue(r.status);
  if (!r.sendLength) return;
  const auto length = r.claimedLength.value_or(static_cast<std::uint8_t>(r.data.size()));
  Queue(length);
  std::uint8_t check = r.status ^ length;
  const std::size_t sent = std::min(r.dataSent.value_or(r.data.size()), r.data.size());
  for (std::size_t i = 0; i < sent; ++i) {
    Queue(r.data[i]);
    check ^= r.data[i];
  }
  if (sent < r.data.size() || !r.sendChecksum) return;
  Queue(r.checksum.value_or(check));
}

void FakeReaderFixture::OpenLink() { OpenPort(reader, 0, kFastSpeed); }

}  // namespace kulve::test
