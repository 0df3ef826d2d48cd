/* SPDX-License-Identifier: MIT */
/*
 * msvc_link_test.c - an application built the way Microsoft's tools build
 * one: compiled for the MSVC target and linked by lld-link against
 * KULVE32.lib (the short-import library made from the decorated .def), with
 * no C runtime at all. On 32-bit Windows this checks that the header's
 * stdcall symbols (_LinkCom@4) meet the DLL's plain names through KULVE32.lib.
 *
 * Needs the Wine lane's COM1: a reader answering at both speeds. Ends with
 * "N passed, N failed"; exit status 0 when nothing failed.
 */
#include "kulve32.h"

/* The few KERNEL32 functions used, declared here: no Windows headers or
 * libraries are needed beyond the import library the build makes for them. */
__declspec(dllimport) void *__stdcall GetStdHandle(unsigned long handle);
__declspec(dllimport) int __stdcall WriteFile(void *file, const void *data, unsigned long size,
                                              unsigned long *written, void *overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

#define STD_OUTPUT_HANDLE ((unsigned long)-11)

static int g_passed, g_failed;

static unsigned long text_length(const char *text) {
  unsigned long n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

static void print(const char *text) {
  unsigned long written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, text_length(text), &written, 0);
}

static void print_number(int value) {
  char digits[12];
  int at = (int)sizeof digits - 1;
  unsigned int magnitude = value < 0 ? 0u - (unsigned int)value : (unsigned int)value;
  digits[at] = '\0';
  do {
    digits[--at] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--at] = '-';
  print(digits + at);
}

static int same_text(const char *a, const char *b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

static int same_bytes(const unsigned char *a, const unsigned char *b, int n) {
  int i;
  for (i = 0; i < n; ++i)
    if (a[i] != b[i]) return 0;
  return 1;
}

static void check(int ok, const char *what) {
  print(ok ? "ok      " : "FAILED  ");
  print(what);
  print("\r\n");
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
  }
}

static int g_trace_lines;
static void KULVE_CALL count_trace(int level, const char *line, void *context) {
  (void)level;
  (void)line;
  if (context == &g_trace_lines) ++g_trace_lines;
}

void __cdecl mainCRTStartup(void) {
  static const unsigned char key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  static const unsigned char plain[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  static const unsigned char cipher[8] = {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05};
  static const unsigned char zeros[8];
  unsigned char out[8], back[8], number[12];
  char path[KULVE_MAX_PORT_PATH + 1];
  int type = -1, state = -1, power = -1, i;

  print("KULVE32.lib linked program (");
  print_number((int)sizeof(void *) * 8);
  print("-bit)\r\n");
  check(DLLVER() == 7321, "DLLVER() is 7321");
  check(GetComPortPath(0, path, (int)sizeof path) == 0 && same_text(path, "\\\\.\\COM1"),
        "port 0 opens \\\\.\\COM1");
  check(EnDesData(plain, key, out, 8) == 0 && same_bytes(out, cipher, 8), "EnDesData gives the known answer");
  check(UnDesData(out, key, back, 8) == 0 && same_bytes(back, plain, 8), "UnDesData reverses it");
  check(same_text(ResultText(KULVE_LINK_NO_ANSWER), "link failure 'f': no answer to the start byte"),
        "ResultText describes 'f'");

  check(LinkCom(0) == 0, "LinkCom(0) links the reader on COM1");
  check(ComBaudRate() == 57600, "at 57600 bit/s");
  check(SetTrace(2, count_trace, &g_trace_lines) == 0, "SetTrace takes a stdcall callback");
  for (i = 0; i < 12; ++i) number[i] = 0xA5;
  check(GetDeviceNumber(number) == 0 && !same_bytes(number, zeros, 8), "GetDeviceNumber");
  check(number[8] == 0xA5 && number[11] == 0xA5, "nothing written past the 8 bytes");
  check(SetTrace(0, 0, 0) == 0 && g_trace_lines > 0, "the callback received trace lines");
  check(SelectCard(0x1202) == 0 && Inquire(&type, &state, &power) == 0 && type == 2,
        "SelectCard and Inquire through pointers");
  check(ALARM(0, 0, 0, 0) == KULVE_BAD_ARGUMENT, "ALARM refuses mode 0");
  check(UnLinkCom() == 0, "UnLinkCom");

  print_number(g_passed);
  print(" passed, ");
  print_number(g_failed);
  print(" failed\r\n");
  ExitProcess(g_failed == 0 ? 0 : 1);
}
