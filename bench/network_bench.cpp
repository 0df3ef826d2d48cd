// SPDX-License-Identifier: MIT
// Time per exchange through the network ports beside a local pty, measured
// side by side: each iteration runs one exchange (the device number: 8
// reply bytes) over every link in turn, so a busy machine slows them all
// alike and the ratios hold. The links:
//   pty      the simulator's pseudo-terminal, opened directly;
//   tcp      the simulator behind kulvesim's raw TCP serving;
//   rfc2217  the same over Telnet with RFC 2217;
//   ser2net  the simulator's pty behind Debian's ser2net (RFC 2217) as it
//            comes, when it is installed;
//   ser2net_nodelay  the same with "chardelay: false", which passes reader
//            bytes on at once instead of gathering them for a few character
//            times.
// Counters: milliseconds per exchange on each link, and each link's time
// over the pty's ("ser2net/pty").
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "device/reader.h"
#include "link/link.h"
#include "link/transact.h"
#include "sim/simulator.h"
#include "support/ser2net_runner.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Link {
  std::string name;
  std::unique_ptr<kulve::Reader> reader;
  double seconds = 0;
};

std::unique_ptr<kulve::Reader> Open(const std::string& path) {
  auto reader = std::make_unique<kulve::Reader>(kulve::PlatformPorts());
  kulve::SetComPortPath(*reader, 0, path.c_str());
  if (kulve::OpenPort(*reader, 0, kulve::kFastSpeed) != 0) return nullptr;
  return reader;
}

kulve::sim::SimulatorOptions Served(kulve::sim::NetProtocol protocol) {
  kulve::sim::SimulatorOptions options;
  options.network.protocol = protocol;
  return options;
}

void BM_ExchangeTimeByLink(benchmark::State& state) {
  constexpr std::uint8_t kDeviceNumber = 0x20;
  kulve::sim::Simulator local;
  kulve::sim::Simulator raw(Served(kulve::sim::NetProtocol::kTcp));
  kulve::sim::Simulator telnet(Served(kulve::sim::NetProtocol::kRfc2217));
  kulve::sim::Simulator behindSer2net;
  kulve::sim::Simulator behindQuickSer2net;
  for (kulve::sim::Simulator* s : {&local, &raw, &telnet, &behindSer2net, &behindQuickSer2net}) s->Start();
  kulve::test::Ser2net ser2net;
  kulve::test::Ser2net quickSer2net;
  std::string why;
  const bool haveSer2net = ser2net.Start(behindSer2net.SlavePath(), true, why) &&
                           quickSer2net.Start(behindQuickSer2net.SlavePath(), true, why, false);

  std::vector<Link> links;
  links.push_back({"pty", Open(local.HostPath())});
  links.push_back({"tcp", Open(raw.HostPath())});
  links.push_back({"rfc2217", Open(telnet.HostPath())});
  if (haveSer2net) {
    links.push_back({"ser2net", Open(ser2net.Url())});
    links.push_back({"ser2net_nodelay", Open(quickSer2net.Url())});
  }
  for (const Link& link : links) {
    if (!link.reader) {
      state.SkipWithError(("cannot open the " + link.name + " link").c_str());
      return;
    }
  }

  for (auto _ : state) {
    for (Link& link : links) {
      const auto start = Clock::now();
      const std::uint8_t status = kulve::Exchange(*link.reader, kDeviceNumber, {}).status;
      link.seconds += std::chrono::duration<double>(Clock::now() - start).count();
      if (status != 0) {
        state.SkipWithError((link.name + ": exchange failed").c_str());
        return;
      }
    }
  }

  const double iterations = static_cast<double>(state.iterations());
  const double pty = links[0].seconds / iterations;
  for (const Link& link : links) {
    const double perExchange = link.seconds / iterations;
    state.counters[link.name + "_ms"] = perExchange * 1e3;
    if (link.name != "pty") state.counters[link.name + "/pty"] = perExchange / pty;
  }
  if (!haveSer2net) state.SetLabel("ser2net not measured: " + why);
  for (Link& link : links) kulve::UnLinkCom(*link.reader);
}

// Each iteration is one exchange on every link; the wall time is their sum.
BENCHMARK(BM_ExchangeTimeByLink)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
