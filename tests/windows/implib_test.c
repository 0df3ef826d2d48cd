/* SPDX-License-Identifier: MIT */
/*
 * implib_test.c - an application linked against KULVE32.DLL through its import
 * library and the public header, with no LoadLibrary: the way most programs
 * use the DLL. On 32-bit Windows this checks that the header's stdcall
 * declarations meet the plain export names through the import library.
 * Needs no reader. Ends with "N passed, N failed".
 */
#include <stdio.h>
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
  static const unsigned char key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  static const unsigned char plain[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  static const unsigned char cipher[8] = {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05};
  unsigned char out[8];
  char path[32];

  check(DLLVER() == 7321, "DLLVER() == 7321");
  check(ComBaudRate() == 0, "ComBaudRate() == 0 before any link");
  check(LinkCom(10) == 1, "LinkCom(10) == 1");
  check(GetComPortPath(0, path, (int)sizeof path) == 0 && strcmp(path, "\\\\.\\COM1") == 0,
        "port 0 opens \\\\.\\COM1 by default");
  check(EnDesData(plain, key, out, 8) == 0 && memcmp(out, cipher, 8) == 0, "EnDesData");
  check(UnDesData(cipher, key, out, 8) == 0 && memcmp(out, plain, 8) == 0, "UnDesData");
  printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
