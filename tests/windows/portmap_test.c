/* SPDX-License-Identifier: MIT */
/*
 * portmap_test.c - a program that cannot be changed: it links to port 0 and
 * reads the reader's device number, nothing else. Where port 0 leads is the
 * port map's business (KULVE32.INI beside the DLL, KULVE32_PORTS); the lane
 * runs it with the map pointing at a simulated reader that answers only at
 * 9600, so a link at 9600 shows the map was followed (COM1's reader answers
 * at 57600). KULVE_PORTMAP_EXPECT, when set, is the path GetComPortPath
 * must report for port 0. Ends with "N passed, N failed".
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kulve32.h"

static int g_passed, g_failed;

static void check(int ok, const char *what) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    printf("FAILED: %s\n", what);
  }
}

int main(void) {
  const char *expect = getenv("KULVE_PORTMAP_EXPECT");
  char path[KULVE_MAX_PORT_PATH + 1];
  char why[256];
  unsigned char number[8];

  check(GetComPortPath(0, path, (int)sizeof path) == 0, "GetComPortPath(0)");
  if (expect != NULL && strcmp(path, expect) != 0) {
    printf("port 0 leads to \"%s\", not \"%s\"\n", path, expect);
    check(0, "GetComPortPath reports the mapped path");
  }
  check(LinkCom(0) == 0, "LinkCom(0) == 0");
  if (GetLinkError(why, (int)sizeof why) != 0) printf("link error: %s\n", why);
  check(ComBaudRate() == 9600, "linked at 9600: the reader the map names");
  check(GetDeviceNumber(number) == 0, "GetDeviceNumber");
  check(UnLinkCom() == 0, "UnLinkCom");
  printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
