/* SPDX-License-Identifier: MIT */
/*
 * An application of the installed library, as a user would write one:
 * links to a reader, reads its device number, writes card bytes and reads
 * them back, and runs DES. Run against kulvesim with a type 1 memory card:
 *
 *   reader_check PORT_PATH
 *
 * Every port index other than 0 points at a path that does not exist, so
 * nothing but the given port is ever opened. Exit status 0 when every step
 * gave what it should.
 */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <kulve32.h>

static int failures = 0;

static void check(const char *what, int ok) {
  printf("%-40s %s\n", what, ok ? "ok" : "FAILED");
  if (!ok) ++failures;
}

int main(int argc, char **argv) {
  static const unsigned char key[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  static const unsigned char plain[8] = {0x4E, 0x6F, 0x77, 0x20, 0x69, 0x73, 0x20, 0x74};
  static const unsigned char cipher[8] = {0x3F, 0xA4, 0x0E, 0x8A, 0x98, 0x4D, 0x48, 0x15};
  unsigned char number[8], out[8], back[8];
  unsigned char written[16], read_back[16];
  int port, i;

  if (argc != 2) {
    fprintf(stderr, "usage: reader_check PORT_PATH\n");
    return 2;
  }
  for (port = 1; port < 10; ++port) SetComPortPath(port, "/nonexistent/reader_check");
  check("SetComPortPath", SetComPortPath(0, argv[1]) == 0);
  check("DLLVER is 7321", DLLVER() == 7321);

  check("EnDesData: known answer", EnDesData(plain, key, out, 8) == 0 && memcmp(out, cipher, 8) == 0);
  check("UnDesData: back to the plain text", UnDesData(out, key, back, 8) == 0 && memcmp(back, plain, 8) == 0);

  if (LinkCom(0) != 0) {
    check("LinkCom", 0);
    return 1;
  }
  check("LinkCom", 1);
  check("ComBaudRate is 57600 or 9600", ComBaudRate() == 57600 || ComBaudRate() == 9600);
  check("GetDeviceNumber", GetDeviceNumber(number) == 0);

  /* Different bytes each run, so a read-back cannot pass on what an earlier
   * run left on the card. */
  for (i = 0; i < 16; ++i) written[i] = (unsigned char)(time(NULL) * 7 + i * 13);
  check("SelectCard(1)", SelectCard(1) == 0);
  check("PowerOn", PowerOn() == 0);
  check("WriteCard 16 bytes at 64", WriteCard(18, 0, 64, 16, written) == 0);
  memset(read_back, 0, sizeof read_back);
  check("ReadCard reads them back", ReadCard(18, 0, 64, 16, read_back) == 0 && memcmp(read_back, written, 16) == 0);
  check("UnLinkCom", UnLinkCom() == 0);

  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
