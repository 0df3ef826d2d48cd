// SPDX-License-Identifier: MIT
// An in-memory reader for unit tests: a PortSystem whose port plays the
// reader's side of the frame protocol from a script, records every byte the
// library writes, and can fail any step. Nothing waits: an empty read simply
// returns 0 bytes.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/reader.h"

namespace kulve::test {

// What the reader answers to one request, with faults on its side of the line.
struct ScriptedReply {
  std::uint8_t status = 0;
  std::vector<std::uint8_t> data;

  std::optional<std::uint8_t> ack = 'g';     // nullopt: never acknowledges
  int ackDelayReads = 0;                     // empty reads before the ack shows
  bool sendStatus = true;
  bool sendLength = true;
  std::optional<std::uint8_t> claimedLength;  // reply length byte, if not data.size()
  std::optional<std::size_t> dataSent;        // reply bytes actually sent, if fewer
  bool sendChecksum = true;
  std::optional<std::uint8_t> checksum;       // wrong checksum to send
};

// Faults on the host's side of the line and in the reader's answer to '#'.
// Counters are consumed as the faults happen.
struct LineFaults {
  int hashWriteFailures = 0;
  bool codeWriteFails = false;
  bool lengthWriteFails = false;
  std::optional<std::size_t> dataWriteLimit;
  int checksumWriteFailures = 0;
  bool goWriteFails = false;
  std::optional<std::uint8_t> hashAnswer = 'E';  // nullopt: silent
  int hashAnswerDelayReads = 0;
};

struct Request {
  std::uint8_t code = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const Request&) const = default;
};

class FakeReader final : public PortSystem {
 public:
  FakeReader();
  ~FakeReader() override;

  // Replies, used in order; when none is queued `respond` decides, and when
  // that is empty the reader answers status 0 with no data.
  std::deque<ScriptedReply> replies;
  std::function<ScriptedReply(const Request&)> respond;
  // Whether link probes (code 0) are answered from replies and respond, and
  // recorded in requests. Otherwise a probe is answered status 0 with no
  // data and only counted in probes, so the probe that proves the line clean
  // after a failure leaves a test's script alone.
  bool scriptedProbes = false;
  LineFaults faults;

  // Open fails for these indices (or all, with failAllOpens).
  std::vector<int> failingIndices;
  bool failAllOpens = false;
  OpenFailure openFailure{2, 2, "open", ""};  // what a failing open reports (not found)
  bool purgeFails = false;
  bool closeFails = false;
  // Short transfers end as a hang-up (with this error number) rather than a timeout.
  bool hungUp = false;
  int hangupError = 0;

  // Observations.
  std::vector<Request> requests;      // every complete request, in order
  int probes = 0;                     // probes not scripted (see scriptedProbes)
  std::vector<std::uint8_t> wire;     // every byte the host wrote
  std::vector<std::string> openedDevices;
  std::vector<LineSettings> openedSettings;
  int readCalls = 0;
  int emptyReads = 0;
  int closes = 0;
  std::uint32_t sleptMs = 0;
  bool portOpen = false;

  // PortSystem
  std::unique_ptr<SerialPort> Open(int index, const char* device, const LineSettings& settings,
                                   OpenFailure& why) override;
  void Sleep(std::uint32_t milliseconds) override { sleptMs += milliseconds; }
  void DefaultDevicePath(int index, char* out, std::size_t size) const override;

  // Byte-level interface used by the port object.
  std::size_t HostWrite(const std::uint8_t* data, std::size_t count);
  std::size_t HostRead(std::uint8_t* buffer, std::size_t count);
  void ClearInput() { input_.clear(); }
  void InjectInput(std::uint8_t byte, int delayReads = 0) { Queue(byte, delayReads); }
  // Forget a half-received frame, as a reader does after a timeout.
  void ResetFrame() { state_ = State::Idle; }
  bool InputPending() const { return !input_.empty(); }

  // Requests since the last call, for tests that check frames one export at a time.
  std::vector<Request> TakeRequests();

 private:
  enum class State { Idle, Code, Length, Data, Checksum, AwaitGo };
  struct Pending {
    std::uint8_t byte;
    int delayReads;
  };

  void Queue(std::uint8_t byte, int delayReads = 0) { input_.push_back({byte, delayReads}); }
  bool AcceptByte(std::uint8_t byte);  // false: this write fails
  void Reply();

  std::deque<Pending> input_;
  State state_ = State::Idle;
  Request current_;
  std::size_t expected_ = 0;
  std::uint8_t check_ = 0;
  ScriptedReply reply_;
  std::size_t taken_ = 0;
};

// A reader over a fresh FakeReader, as tests build it.
struct FakeReaderFixture {
  FakeReader peer;
  Reader reader{peer};

  // Opens port 0 at the fast speed without a probe.
  void OpenLink();
};

}  // namespace kulve::test
