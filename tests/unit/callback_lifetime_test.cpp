// SPDX-License-Identifier: MIT
// A handle's trace callback that closes its handle, or whose own trace lines
// nest, while the traced call still runs.
#include <gtest/gtest.h>

#include <vector>

#include "handle/handle.h"
#include "handle/registry.h"
#include "kulve32.h"
#include "link/link.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

struct Inside {
  kulve_reader* handle = nullptr;
  bool nestLine = false;  // write a trace line of the same reader first, as GetComPortPath's complaints do
  std::vector<int> results;
};

void KULVE_CALL CloseFromCallback(int, const char*, void* context) {
  auto* inside = static_cast<Inside*>(context);
  kulve_close(inside->handle);
}

void KULVE_CALL PowerOnFromCallback(int, const char*, void* context) {
  auto* inside = static_cast<Inside*>(context);
  if (inside->nestLine) {
    inside->nestLine = false;
    api::Find(inside->handle)->reader.trace.Line(1, "port map: a complaint written from inside the callback");
  }
  inside->results.push_back(kulve_reader_power_on(inside->handle));
}

class CallbackLifetimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto made = std::make_shared<kulve_reader>(peer);
    OpenPort(made->reader, 0, kFastSpeed);
    handle = api::Register(made);
  }
  FakeReader peer;
  kulve_reader* handle = nullptr;
};

// The close does nothing; the traced call finishes on a live handle, which
// the caller closes afterwards (ASan: no use after free, no leak).
TEST_F(CallbackLifetimeTest, CloseFromItsOwnCallbackLeavesTheHandleToTheCall) {
  Inside inside{handle};
  ASSERT_EQ(kulve_set_trace(handle, 3, &CloseFromCallback, &inside), 0);
  peer.replies.push_back({.data = {'K', 'S', 0, 1, 2, 3, 4, 5}});
  unsigned char number[8] = {};
  EXPECT_EQ(kulve_reader_device_number(handle, number, sizeof number), 0);
  EXPECT_EQ(number[0], 'K');
  EXPECT_EQ(kulve_set_trace(handle, 0, nullptr, nullptr), 0) << "the handle is still open and usable";
  kulve_close(handle);
}

// A line written inside the callback must not end the refusal for the rest
// of the callback.
TEST_F(CallbackLifetimeTest, ANestedTraceLineKeepsTheCallbackRefused) {
  Inside inside{handle, true};
  ASSERT_EQ(kulve_set_trace(handle, 2, &PowerOnFromCallback, &inside), 0);
  peer.TakeRequests();
  EXPECT_EQ(kulve_reader_power_on(handle), 0);
  EXPECT_EQ(peer.TakeRequests().size(), 1u) << "a call from the callback reached the line";
  ASSERT_FALSE(inside.results.empty());
  for (const int nested : inside.results) EXPECT_EQ(nested, KULVE_IN_CALLBACK);
  kulve_set_trace(handle, 0, nullptr, nullptr);
  kulve_close(handle);
}

}  // namespace
}  // namespace kulve::test
