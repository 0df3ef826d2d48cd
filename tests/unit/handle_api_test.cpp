// SPDX-License-Identifier: MIT
// The handle API over the in-memory reader: the buffer-size rule of every
// function, where a result came from, and a trace callback that calls back
// into its own reader.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "cpucard/cpucard.h"
#include "handle/handle.h"
#include "handle/registry.h"
#include "memcard/memcard.h"
#include "kulve32.h"
#include "link/link.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

class HandleApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenPort(handle.reader, 0, kFastSpeed);
    peer.respond = [](const Request&) { return ScriptedReply{.data = std::vector<std::uint8_t>(16, 0x5A)}; };
  }

  FakeReader peer;
  std::shared_ptr<kulve_reader> owned = std::make_shared<kulve_reader>(peer);
  kulve_reader& handle = *owned;
  kulve_reader* r = api::Register(owned);
  void TearDown() override { api::Unregister(r); }
};

// One row per buffer: the call with that buffer's size (every other buffer
// given room enough), its documented minimum, and the card type it needs to
// reach the reader at all.
struct SizeRow {
  const char* name;
  int minimum;
  std::function<int(kulve_reader*, unsigned char*, int)> call;
  int cardType = 0;
};

unsigned char g_room[4096];
constexpr int kRoom = sizeof g_room;
const KqTime g_time{};
const int g_date[3] = {24, 1, 1};
const Rf5550InitRecord g_record{};
const unsigned char g_every[7] = {KULVE_MIFARE_EVERY_SECTOR, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
unsigned char g_status[40];

std::vector<SizeRow> SizeTable() {
  return {
      {"reader_device_number", 8, [](auto* r, auto* b, int n) { return kulve_reader_device_number(r, b, n); }},
      {"reader_version", 8, [](auto* r, auto* b, int n) { return kulve_reader_version(r, b, n); }},
      {"memcard_read", 10, [](auto* r, auto* b, int n) { return kulve_memcard_read(r, 18, 1, 0, 10, b, n); }},
      {"memcard_write", 10, [](auto* r, auto* b, int n) { return kulve_memcard_write(r, 18, 1, 0, 10, b, n); }},
      {"memcard_erase", 10, [](auto* r, auto* b, int n) { return kulve_memcard_erase(r, 18, 1, 0, 10, b, n); }},
      {"memcard_read_paged", 10, [](auto* r, auto* b, int n) { return kulve_memcard_read_paged(r, 300, 10, b, n); }},
      {"memcard_write_paged", 10, [](auto* r, auto* b, int n) { return kulve_memcard_write_paged(r, 300, 10, b, n); }},
      {"memcard_erase_paged", 10, [](auto* r, auto* b, int n) { return kulve_memcard_erase_paged(r, 300, 10, b, n); }},
      {"memcard_check_secret short", 4, [](auto* r, auto* b, int n) { return kulve_memcard_check_secret(r, 2, b, n); }},
      {"memcard_check_secret long", 6, [](auto* r, auto* b, int n) { return kulve_memcard_check_secret(r, 6, b, n); },
       2},
      {"memcard_modify_secret", 4, [](auto* r, auto* b, int n) { return kulve_memcard_modify_secret(r, 2, b, n); }, 2},
      {"memcard_read_secret counter", 2,
       [](auto* r, auto* b, int n) { return kulve_memcard_read_secret(r, b, n, g_room, kRoom); }},
      {"memcard_read_secret code", 4,
       [](auto* r, auto* b, int n) { return kulve_memcard_read_secret(r, g_room, kRoom, b, n); }},
      {"memcard_check_erase_secret", 4,
       [](auto* r, auto* b, int n) { return kulve_memcard_check_erase_secret(r, 4, b, n); }},
      {"memcard_check_erase_secret type 16 key 4", 6,
       [](auto* r, auto* b, int n) { return kulve_memcard_check_erase_secret(r, 4, b, n); }, 16},
      {"memcard_check_zone_secret", 4,
       [](auto* r, auto* b, int n) { return kulve_memcard_check_zone_secret(r, 1, b, n); }, 25},
      {"chip_reset", 256, [](auto* r, auto* b, int n) { return kulve_chip_reset(r, 2, b, n); }},
      {"chip_apdu request", 134, [](auto* r, auto* b, int n) { return kulve_chip_apdu(r, 0, b, n, g_room, kRoom); }},
      {"chip_apdu response", 254, [](auto* r, auto* b, int n) { return kulve_chip_apdu(r, 0, g_room, kRoom, b, n); }},
      {"chip_apdu_packed request (Lc 3)", 13,
       [](auto* r, auto* b, int n) {
         b[4] = 3;
         return kulve_chip_apdu_packed(r, 1, b, n, g_room, kRoom);
       }},
      {"chip_apdu_packed response", 254,
       [](auto* r, auto* b, int n) {
         g_room[4] = 0;
         return kulve_chip_apdu_packed(r, 1, g_room, kRoom, b, n);
       }},
      {"at1608_write", 5, [](auto* r, auto* b, int n) { return kulve_at1608_write(r, 1, 0, 5, b, n); }},
      {"at1608_read", 5, [](auto* r, auto* b, int n) { return kulve_at1608_read(r, 1, 0, 5, b, n); }},
      {"at1608_password", 4, [](auto* r, auto* b, int n) { return kulve_at1608_password(r, 3, b, n); }},
      {"at1608_authenticate challenge", 8,
       [](auto* r, auto* b, int n) { return kulve_at1608_authenticate(r, b, n, g_room, kRoom); }},
      {"at1608_authenticate seed", 8,
       [](auto* r, auto* b, int n) { return kulve_at1608_authenticate(r, g_room, kRoom, b, n); }},
      {"at1608_read_fuse", 1, [](auto* r, auto* b, int n) { return kulve_at1608_read_fuse(r, b, n); }},
      {"e5550_read", 4, [](auto* r, auto* b, int n) { return kulve_e5550_read(r, 1, b, n); }},
      {"e5550_write password", 4,
       [](auto* r, auto* b, int n) { return kulve_e5550_write(r, 1, b, n, g_room, kRoom, 0); }},
      {"e5550_write data", 4, [](auto* r, auto* b, int n) { return kulve_e5550_write(r, 1, g_room, kRoom, b, n, 0); }},
      {"e5550_init", 4, [](auto* r, auto* b, int n) { return kulve_e5550_init(r, &g_record, b, n, 0); }},
      {"e5550_wake", 4, [](auto* r, auto* b, int n) { return kulve_e5550_wake(r, b, n); }},
      {"e5550_read_after_wake password", 4,
       [](auto* r, auto* b, int n) { return kulve_e5550_read_after_wake(r, 1, b, n, g_room, kRoom); }},
      {"e5550_read_after_wake data", 4,
       [](auto* r, auto* b, int n) { return kulve_e5550_read_after_wake(r, 1, g_room, kRoom, b, n); }},
      {"e5550_write_after_wake password", 4,
       [](auto* r, auto* b, int n) { return kulve_e5550_write_after_wake(r, 1, b, n, g_room, kRoom, 0); }},
      {"e5550_write_after_wake data", 4,
       [](auto* r, auto* b, int n) { return kulve_e5550_write_after_wake(r, 1, g_room, kRoom, b, n, 0); }},
      {"e5550_module", 4, [](auto* r, auto* b, int n) { return kulve_e5550_module(r, b, n); }},
      {"mifare_module", 4, [](auto* r, auto* b, int n) { return kulve_mifare_module(r, b, n); }},
      {"mifare_store_key", 6, [](auto* r, auto* b, int n) { return kulve_mifare_store_key(r, 2, b, n); }},
      {"mifare_card_type", 4, [](auto* r, auto* b, int n) { return kulve_mifare_card_type(r, b, n); }},
      {"mifare_serial", 4, [](auto* r, auto* b, int n) { return kulve_mifare_serial(r, b, n); }},
      {"mifare_read_block", 16, [](auto* r, auto* b, int n) { return kulve_mifare_read_block(r, 4, 0, b, n); }},
      {"mifare_write_block", 16, [](auto* r, auto* b, int n) { return kulve_mifare_write_block(r, 4, 0, b, n); }},
      {"mifare_write_key", 6, [](auto* r, auto* b, int n) { return kulve_mifare_write_key(r, 1, 0, b, n, 0); }},
      {"mifare_read_value", 4, [](auto* r, auto* b, int n) { return kulve_mifare_read_value(r, 4, 0, b, n); }},
      {"mifare_write_value", 4, [](auto* r, auto* b, int n) { return kulve_mifare_write_value(r, 4, 0, b, n); }},
      {"mifare_increment_value", 4,
       [](auto* r, auto* b, int n) { return kulve_mifare_increment_value(r, 4, 0, b, n); }},
      {"mifare_decrement_value", 4,
       [](auto* r, auto* b, int n) { return kulve_mifare_decrement_value(r, 4, 0, b, n); }},
      {"mifare_read_card", 768, [](auto* r, auto* b, int n) { return kulve_mifare_read_card(r, 0, 0, b, n); }},
      {"mifare_load_key", 6, [](auto* r, auto* b, int n) { return kulve_mifare_load_key(r, 0, 1, b, n); }},
      {"mifare_request", 4, [](auto* r, auto* b, int n) { return kulve_mifare_request(r, 0x52, b, n); }},
      {"mifare_anticollision", 4, [](auto* r, auto* b, int n) { return kulve_mifare_anticollision(r, b, n); }},
      {"mifare_read", 16, [](auto* r, auto* b, int n) { return kulve_mifare_read(r, 4, b, n); }},
      {"mifare_write", 16, [](auto* r, auto* b, int n) { return kulve_mifare_write(r, 4, b, n); }},
      {"mifare_dump image", 1024,
       [](auto* r, auto* b, int n) { return kulve_mifare_dump(r, 16, g_every, 7, b, n, g_status, 16); }},
      {"mifare_dump 4K image", 4096,
       [](auto* r, auto* b, int n) { return kulve_mifare_dump(r, 40, g_every, 7, b, n, g_status, 40); }},
      {"mifare_dump status", 16,
       [](auto* r, auto* b, int n) { return kulve_mifare_dump(r, 16, g_every, 7, g_room, kRoom, b, n); }},
      {"mifare_dump keys", 7,
       [](auto* r, auto* b, int n) { return kulve_mifare_dump(r, 16, b, n, g_room, kRoom, g_status, 16); }},
      {"mifare_restore image", 1024,
       [](auto* r, auto* b, int n) { return kulve_mifare_restore(r, 16, g_every, 7, b, n, 0); }},
      {"kq_current_position", 4,
       [](auto* r, auto* b, int n) {
         int first = 0;
         return kulve_kq_current_position(r, &first, b, n);
       }},
      {"kq_start_position", 4,
       [](auto* r, auto* b, int n) {
         int first = 0;
         return kulve_kq_start_position(r, g_date, &first, b, n);
       }},
      {"kq_end_position", 4,
       [](auto* r, auto* b, int n) {
         int first = 0;
         return kulve_kq_end_position(r, g_date, &first, b, n);
       }},
      {"kq_read_records", 255, [](auto* r, auto* b, int n) { return kulve_kq_read_records(r, 0, 0, 1, b, n); }},
      {"kq_display", 16,
       [](auto* r, auto* b, int n) { return kulve_kq_display(r, reinterpret_cast<const char*>(b), n); }},
      {"kq_command", 256, [](auto* r, auto* b, int n) { return kulve_kq_command(r, 1, 2, b, n); }},
      {"kq_download_password kind 1", 4, [](auto* r, auto* b, int n) { return kulve_kq_download_password(r, 1, b, n); }},
      {"kq_download_password kind 2", 6, [](auto* r, auto* b, int n) { return kulve_kq_download_password(r, 2, b, n); }},
  };
}

TEST_F(HandleApiTest, ABufferBelowItsMinimumIsRefusedAndOneAtItReachesTheReader) {
  (void)g_time;
  for (const SizeRow& row : SizeTable()) {
    SCOPED_TRACE(row.name);
    handle.reader.cardType = row.cardType;
    std::array<unsigned char, kRoom> buffer;
    buffer.fill(0xAA);
    g_room[4] = 0;
    peer.TakeRequests();

    EXPECT_EQ(row.call(r, buffer.data(), row.minimum - 1), KULVE_BAD_ARGUMENT);
    EXPECT_TRUE(peer.TakeRequests().empty()) << "sent despite a short buffer";
    const bool untouched = std::all_of(buffer.begin() + 5, buffer.end(), [](unsigned char b) { return b == 0xAA; });
    EXPECT_TRUE(untouched) << "a refused call wrote the buffer";

    buffer.fill(0);
    row.call(r, buffer.data(), row.minimum);
    EXPECT_FALSE(peer.TakeRequests().empty()) << "a buffer of the minimum size was refused";
  }
}

// A raw command: sent as given, the reply counted in full and cut to the
// caller's size; arguments out of range send nothing.
TEST_F(HandleApiTest, ReaderCommandCarriesOneCommandAsItIs) {
  const unsigned char data[] = {1, 2, 3};
  unsigned char reply[8] = {};
  int length = -1;
  peer.TakeRequests();
  EXPECT_EQ(kulve_reader_command(r, 0x22, data, 3, reply, sizeof reply, &length), 0);
  EXPECT_EQ(peer.TakeRequests(), (std::vector<Request>{{0x22, {1, 2, 3}}}));
  EXPECT_EQ(length, 16);  // more than came back into reply
  EXPECT_TRUE(std::all_of(reply, reply + 8, [](unsigned char b) { return b == 0x5A; }));
  peer.respond = [](const Request&) { return ScriptedReply{.status = 0x30}; };
  EXPECT_EQ(kulve_reader_command(r, 0x0F, nullptr, 0, nullptr, 0, &length), 0x30);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(kulve_result_origin(r, 0x30), KULVE_ORIGIN_READER);
  std::vector<unsigned char> big(256);
  const struct {
    kulve_reader* handle;
    int code;
    const unsigned char* data;
    int length;
    unsigned char* reply;
    int size;
    int* replyLength;
  } refused[] = {
      {nullptr, 0x22, nullptr, 0, reply, 8, &length},       {r, -1, nullptr, 0, reply, 8, &length},
      {r, 256, nullptr, 0, reply, 8, &length},              {r, 0x22, nullptr, 1, reply, 8, &length},
      {r, 0x22, big.data(), 256, reply, 8, &length},        {r, 0x22, data, -1, reply, 8, &length},
      {r, 0x22, nullptr, 0, nullptr, 8, &length},           {r, 0x22, nullptr, 0, reply, 8, nullptr},
  };
  peer.TakeRequests();
  for (const auto& row : refused) {
    length = -1;
    EXPECT_EQ(kulve_reader_command(row.handle, row.code, row.data, row.length, row.reply, row.size, row.replyLength),
              KULVE_BAD_ARGUMENT);
    if (row.replyLength != nullptr) {
      EXPECT_EQ(length, 0);
    }
  }
  EXPECT_TRUE(peer.TakeRequests().empty());
  EXPECT_EQ(kulve_reader_command(r, 0x22, big.data(), 255, nullptr, 0, &length), 0x30);  // the longest request
  EXPECT_EQ(peer.TakeRequests().at(0).data.size(), 255u);
}

TEST_F(HandleApiTest, NullHandlesAreRefused) {
  unsigned char buffer[16];
  EXPECT_EQ(kulve_reader_power_on(nullptr), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(kulve_mifare_read(nullptr, 1, buffer, 16), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(kulve_link_error(nullptr, nullptr, 0), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(kulve_link_os_error(nullptr), -1);  // 4 would pass for EINTR
  EXPECT_EQ(kulve_chip_protocol(nullptr), KULVE_BAD_ARGUMENT);
  int ifsc = 7;
  EXPECT_EQ(kulve_chip_ifsc(nullptr, 0, &ifsc), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(ifsc, 7);
  EXPECT_EQ(kulve_set_trace_secrets(r, 2), KULVE_BAD_ARGUMENT);  // only 0 or 1
  EXPECT_FALSE(handle.reader.trace.ShowsSecrets());
  kulve_close(nullptr);
  EXPECT_STREQ(kulve_result_text(nullptr, 4), ResultText(4));
}

TEST(HandleOpen, ArgumentsRefusedAndAPortThatDoesNotOpen) {
  kulve_reader* out = reinterpret_cast<kulve_reader*>(&out);
  const std::string tooLong(KULVE_MAX_PORT_PATH + 1, 'x');
  for (const char* port : {static_cast<const char*>(nullptr), "", tooLong.c_str()}) {
    EXPECT_EQ(kulve_open(port, &out), KULVE_BAD_ARGUMENT);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(kulve_open("/dev/null", nullptr), KULVE_BAD_ARGUMENT);

  ASSERT_EQ(kulve_open("/nonexistent/kulve-handle-test", &out), 1);
  ASSERT_NE(out, nullptr);  // kept, so the reason can be read
  char why[KULVE_MAX_PORT_PATH];
  EXPECT_EQ(kulve_link_error(out, why, sizeof why), KULVE_LINK_ERROR_NOT_FOUND);
  EXPECT_NE(std::string(why).find("/nonexistent/kulve-handle-test"), std::string::npos) << why;
  EXPECT_EQ(kulve_link_os_error(out), ENOENT);
  EXPECT_EQ(kulve_reader_baud_rate(out), 0);
  EXPECT_STREQ(kulve_result_text(out, 1), "no reader linked (the link error says why)");
  EXPECT_EQ(kulve_reader_relink(out), 1);
  EXPECT_STREQ(kulve_result_text(out, 1), "no reader linked (the link error says why)");
  kulve_close(out);
  // A closed handle answers as a null one, even after another was opened.
  kulve_reader* next = nullptr;
  kulve_open("/nonexistent/kulve-handle-test", &next);
  EXPECT_EQ(kulve_reader_baud_rate(out), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(kulve_link_os_error(out), -1);
  kulve_close(out);
  kulve_close(next);
}

// Where a result came from, by how the call's last exchange ended.
TEST_F(HandleApiTest, ResultOriginTellsTheReaderFromTheLibrary) {
  struct Row {
    const char* name;
    std::function<void()> setUp;
    std::function<int()> call;
    int origin;
    const char* text;
  };
  unsigned char number[8];
  const Row rows[] = {
      {"reader refuses with the value of a library code", [&] { peer.replies.push_back({.status = 3}); },
       [&] { return kulve_reader_power_on(r); }, KULVE_ORIGIN_READER, "reader status 0x03"},
      {"reader answers a status equal to a letter", [&] { peer.replies.push_back({.status = 'f'}); },
       [&] { return kulve_reader_power_on(r); }, KULVE_ORIGIN_READER, "reader status 0x66"},
      {"a short buffer", [] {}, [&] { return kulve_reader_device_number(r, number, 7); }, KULVE_ORIGIN_LIBRARY,
       "argument out of range (nothing sent)"},
      {"an argument check", [] {}, [&] { return kulve_reader_alarm(r, 9, 0, 0, 0); }, KULVE_ORIGIN_LIBRARY,
       "argument out of range (nothing sent)"},
      {"a call refused unsent after the reader answered the same value",
       [&] {
         peer.replies.push_back({.status = KULVE_BAD_ARGUMENT});
         kulve_reader_power_on(r);
       },
       [&] { return kulve_reader_alarm(r, 9, 0, 0, 0); }, KULVE_ORIGIN_LIBRARY, "argument out of range (nothing sent)"},
      {"the library's verdict on an answer the reader gave with status 0",
       [&] {
         peer.replies.push_back({.data = {0x3B, 0x00}});  // T=0
         kulve_chip_reset(r, 3, g_room, kRoom);
         peer.replies.push_back({.data = {1, 2, 3, 4, 5, 6, 7, 8, 0x90, 0x00}});
       },
       [&] {
         const unsigned char challenge[] = {0x00, 0x84, 0x00, 0x00, 0x08};
         int needed = 0;
         return kulve_chip_transmit(r, 3, challenge, 5, number, sizeof number, &needed);
       },
       KULVE_ORIGIN_LIBRARY, nullptr},
      {"the line fails", [&] { peer.faults.hashAnswer.reset(); }, [&] { return kulve_reader_power_on(r); },
       KULVE_ORIGIN_LINE, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    peer.faults = {};
    row.setUp();
    const int result = row.call();
    EXPECT_EQ(kulve_result_origin(r, result), row.origin);
    EXPECT_STREQ(kulve_result_text(r, result), row.text != nullptr ? row.text : ResultText(result));
  }
}

// Each call sends what its family function sends with the same arguments,
// SAM 4 included; a slot outside 0..4 is refused unsent.
TEST_F(HandleApiTest, CallsSendWhatTheirFamilyFunctionSends) {
  FakeReader twinPeer;
  Reader twin{twinPeer};
  OpenPort(twin, 0, kFastSpeed);
  twinPeer.respond = peer.respond;
  std::array<unsigned char, 512> a{}, b{};
  struct Row {
    const char* name;
    std::int32_t cardType;
    std::function<int(unsigned char*)> handleCall;
    std::function<int(unsigned char*)> familyCall;
  };
  const Row rows[] = {
      {"memcard_erase, erase command", 15, [&](auto* buf) { return kulve_memcard_erase(r, 1, 0, 3, 10, buf, 10); },
       [&](auto* buf) { return EraseCard(twin, 1, 0, 3, 10, buf); }},
      {"memcard_erase, written 0xFF", 18, [&](auto* buf) { return kulve_memcard_erase(r, 1, 0, 3, 10, buf, 10); },
       [&](auto* buf) { return EraseCard(twin, 1, 0, 3, 10, buf); }},
      {"memcard_erase_paged", 21, [&](auto* buf) { return kulve_memcard_erase_paged(r, 300, 10, buf, 10); },
       [&](auto* buf) { return EraseMemCard(twin, 300, 10, buf); }},
      {"chip_reset SAM 4", 0, [&](auto* buf) { return kulve_chip_reset(r, 4, buf, 256); },
       [&](auto* buf) { return ResetChip(twin, ChipSlot::kSam4, buf); }},
      {"chip_apdu SAM 4", 0, [&](auto* buf) { return kulve_chip_apdu(r, 4, buf, 134, buf + 134, 254); },
       [&](auto* buf) { return SendApduRequest(twin, ChipSlot::kSam4, buf, buf + 134); }},
      {"chip_apdu_packed SAM 4", 0, [&](auto* buf) { return kulve_chip_apdu_packed(r, 4, buf, 13, buf + 13, 254); },
       [&](auto* buf) { return SendPackedApdu(twin, ChipSlot::kSam4, buf, buf + 13); }},
      {"chip_transmit SAM 4", 0,
       [&](auto* buf) {
         int n = 0;
         return kulve_chip_transmit(r, 4, buf, 5, buf + 5, 256, &n);
       },
       [&](auto* buf) {
         int n = 0;
         return ChipTransmit32(twin, 4, buf, 5, buf + 5, 256, &n);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    handle.reader.cardType = twin.cardType = row.cardType;
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = b[i] = static_cast<unsigned char>(i % 7);
    a[4] = b[4] = 3;  // the packed form's Lc
    peer.TakeRequests();
    twinPeer.TakeRequests();
    EXPECT_EQ(row.handleCall(a.data()), row.familyCall(b.data()));
    const auto sent = peer.TakeRequests();
    EXPECT_FALSE(sent.empty());
    EXPECT_EQ(sent, twinPeer.TakeRequests());
    EXPECT_EQ(a, b);
  }
  for (const int slot : {-1, 5}) {
    EXPECT_EQ(kulve_chip_reset(r, slot, a.data(), 256), KULVE_BAD_ARGUMENT);
    EXPECT_EQ(kulve_chip_apdu(r, slot, a.data(), 134, b.data(), 254), KULVE_BAD_ARGUMENT);
    EXPECT_EQ(kulve_chip_apdu_packed(r, slot, a.data(), 13, b.data(), 254), KULVE_BAD_ARGUMENT);
    int n = 0;
    EXPECT_EQ(kulve_chip_transmit(r, slot, a.data(), 5, b.data(), 256, &n), KULVE_BAD_ARGUMENT);
  }
  EXPECT_TRUE(peer.TakeRequests().empty());
}

// The review's reproduction: a trace callback that calls the reader being
// traced. The nested call is refused; the traced call completes intact.
struct Reentry {
  kulve_reader* reader = nullptr;
  std::vector<int> nestedResults;
};

void KULVE_CALL CallBackIn(int, const char*, void* context) {
  auto* reentry = static_cast<Reentry*>(context);
  unsigned char number[8];
  reentry->nestedResults.push_back(kulve_reader_device_number(reentry->reader, number, sizeof number));
  reentry->nestedResults.push_back(kulve_set_trace(reentry->reader, 0, nullptr, nullptr));
}

TEST_F(HandleApiTest, ATraceCallbackCallingItsOwnReaderIsRefused) {
  Reentry reentry{r};
  ASSERT_EQ(kulve_set_trace(r, 2, &CallBackIn, &reentry), 0);
  peer.TakeRequests();
  unsigned char data[16] = {};
  EXPECT_EQ(kulve_mifare_read(r, 4, data, sizeof data), 0);
  EXPECT_EQ(data[0], 0x5A);
  EXPECT_EQ(data[15], 0x5A);
  EXPECT_EQ(peer.TakeRequests().size(), 1u) << "the nested call reached the line";
  ASSERT_FALSE(reentry.nestedResults.empty());
  for (const int nested : reentry.nestedResults) EXPECT_EQ(nested, KULVE_IN_CALLBACK);
  // The refusal changed nothing: the trace is still on, and calls work after it.
  EXPECT_EQ(kulve_set_trace(r, 0, nullptr, nullptr), 0);
  EXPECT_EQ(kulve_mifare_read(r, 4, data, sizeof data), 0);
}

}  // namespace
}  // namespace kulve::test
