// SPDX-License-Identifier: MIT
#include "tools/demo.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "kulve32.h"
#include "sim/simulator.h"
#include "tools/demo_steps.h"
#include "tools/hex.h"
#include "tools/results.h"

namespace kulve::tool {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

int LinkAndHousekeeping(sim::Simulator& reader) {
  Say("A simulated reader is listening on the pseudo-terminal %s.", reader.HostPath().c_str());
  SetComPortPath(0, reader.HostPath().c_str());
  Say("SetComPortPath(0, that path) points port index 0 at it; on Windows index 0 is COM1.");

  auto start = Clock::now();
  int result = LinkCom(0);
  Show("LinkCom(0)", result);
  if (result != 0) return 1;
  Say("The probe was answered at %d bit/s (ComBaudRate) after %ld ms.", ComBaudRate(), ElapsedMs(start));

  unsigned char bytes[8];
  Show("GetDeviceNumber", GetDeviceNumber(bytes));
  Say("device number: %s", FormatHex(bytes).c_str());
  Show("DEVVER", DEVVER(bytes));
  Say("reader version: %s, library version (DLLVER): %d", FormatHex(bytes).c_str(), DLLVER());

  Show("SelectCard(1)", SelectCard(1));
  Show("PowerOn", PowerOn());
  int type = 0, state = 0, power = 0;
  Show("Inquire", Inquire(&type, &state, &power));
  Say("the reader reports card type %d, power %s.", type, power ? "on" : "off");
  Show("ALARM(1, 2, 0, 0)", ALARM(1, 2, 0, 0));
  Show("ALARM(9, 0, 0, 0): mode out of range, nothing is sent", ALARM(9, 0, 0, 0));
  return 0;
}

void LineFaults(sim::Simulator& reader) {
  Say("Now the simulated reader stops answering the start byte once.");
  reader.InjectFault({sim::FaultKind::kSilent, sim::ReaderByte::kStart});
  auto start = Clock::now();
  Show("PowerOff", PowerOff());
  Say("The library gave up after two empty reads, %ld ms.", ElapsedMs(start));
  Say("And once it corrupts the reply checksum:");
  reader.InjectFault({sim::FaultKind::kWrongByte, sim::ReaderByte::kChecksum});
  Show("PowerOff", PowerOff());
  Show("PowerOff, line healthy again", PowerOff());
}

void SlowReader() {
  sim::SimulatorOptions options;
  options.speeds = sim::SpeedSet::k9600Only;
  sim::Simulator slow(options);
  slow.Start();
  Say("A second simulated reader answers only at 9600 bit/s, on %s.", slow.HostPath().c_str());
  SetComPortPath(0, slow.HostPath().c_str());
  auto start = Clock::now();
  Show("LinkCom(0)", LinkCom(0));
  Say("The fast probe went unanswered, so the library reopened at 9600: ComBaudRate = %d (%ld ms, "
      "including the 1 s pause each close makes).",
      ComBaudRate(), ElapsedMs(start));
  Show("UnLinkCom", UnLinkCom());
}

void NetworkReader() {
  sim::SimulatorOptions options;
  options.speeds = sim::SpeedSet::k9600Only;
  options.network.protocol = sim::NetProtocol::kRfc2217;
  sim::Simulator served(options);
  served.Start();
  Say("The slow reader again, now behind a serial device server at %s (Telnet with RFC 2217).",
      served.HostPath().c_str());
  SetComPortPath(0, served.HostPath().c_str());
  auto start = Clock::now();
  Show("LinkCom(0)", LinkCom(0));
  Say("The library asked the server for 57600 bit/s, got no answer from the reader, reconnected and asked "
      "for 9600: ComBaudRate = %d (%ld ms).",
      ComBaudRate(), ElapsedMs(start));
  unsigned char bytes[8];
  Show("GetDeviceNumber", GetDeviceNumber(bytes));
  Say("device number: %s", FormatHex(bytes).c_str());
  Show("UnLinkCom", UnLinkCom());
}

void Des() {
  const unsigned char key[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  unsigned char text[8] = {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'};
  unsigned char cipher[8], back[8];
  Say("Software DES needs no reader: key %s, plaintext \"Now is t\".", FormatHex(key).c_str());
  Show("EnDesData", EnDesData(text, key, cipher, 8));
  Say("ciphertext %s", FormatHex(cipher).c_str());
  Show("UnDesData", UnDesData(cipher, key, back, 8));
  Say("deciphered %s", FormatHex(back).c_str());
}

}  // namespace

int RunDemo() {
  Heading("The link and the reader's housekeeping");
  sim::Simulator reader;
  reader.Start();
  if (LinkAndHousekeeping(reader) != 0) return 1;

  Heading("Contact memory cards");
  RunMemoryCardDemo(reader);

  Heading("The attendance terminal");
  RunAttendanceDemo(reader);
  Heading("AT88SC1608 secure memory");
  RunAt1608Demo(reader);
  Heading("e5550 transponders");
  RunE5550Demo(reader);
  Heading("CPU cards and SAMs");
  RunCpuCardDemo(reader);
  Heading("Mifare Classic contactless cards");
  RunMifareDemo(reader);

  Heading("What line failures look like");
  LineFaults(reader);
  Show("UnLinkCom", UnLinkCom());
  reader.Stop();

  Heading("A reader that only talks at 9600 bit/s");
  SlowReader();

  Heading("A reader behind a network address");
  NetworkReader();

  Heading("Software DES");
  Des();
  Say("Done.");
  return 0;
}

}  // namespace kulve::tool
