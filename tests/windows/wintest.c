/* SPDX-License-Identifier: MIT */
/*
 * wintest.c - drives KULVE32.DLL the way a Windows application does: loads it
 * with LoadLibrary, resolves every export by name and by ordinal, and calls
 * the exports through stdcall function pointers.
 *
 *   kulve_wintest.exe [--no-reader] [TEST...]
 *
 * With readers attached (the Wine lane starts simulated ones) the ports are
 * expected to be:
 *   COM1, COM10  a reader answering at both speeds
 *   COM2         a reader answering only at 9600 bit/s
 *   COM3         a silent line: nothing answers
 *   COM4         a reader that fails chosen commands (see test_fault_letters;
 *                scripts/wine_lane.sh starts it with the matching faults)
 * and behind loopback addresses, given in the environment:
 *   KULVE_WINTEST_TCP      tcp://... a reader answering at both speeds
 *   KULVE_WINTEST_RFC2217  rfc2217://... a reader answering only at 9600
 *   KULVE_WINTEST_REFUSED  tcp://... an address nothing listens on
 * --no-reader runs only the tests that need no port. Naming tests runs just
 * those. Ends with "N passed, N failed"; exit status 0 when nothing failed.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kulve32.h"

/* ---- A very small test runner ------------------------------------------- */

static int g_current_failed;

static void fail_at(const char *file, int line, const char *what) {
  printf("  FAILED %s:%d: %s\n", file, line, what);
  g_current_failed = 1;
}

#define CHECK(cond)                                   \
  do {                                                \
    if (!(cond)) fail_at(__FILE__, __LINE__, #cond);  \
  } while (0)

#define CHECK_EQ(actual, expected)                                          \
  do {                                                                      \
    long long a_ = (long long)(actual), e_ = (long long)(expected);         \
    if (a_ != e_) {                                                         \
      char m_[256];                                                         \
      snprintf(m_, sizeof m_, "%s is %lld (0x%llx), expected %lld", #actual, \
               a_, (unsigned long long)a_, e_);                             \
      fail_at(__FILE__, __LINE__, m_);                                      \
    }                                                                       \
  } while (0)

/* Seconds since an arbitrary start. */
static double now_seconds(void) {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return (double)counter.QuadPart / (double)frequency.QuadPart;
}

/* ---- The export list and the loaded DLL ----------------------------------- */

struct export_entry {
  const char *name;
  WORD ordinal;
  const char *kinds; /* one letter per argument: i = integer, p = pointer */
};

static const struct export_entry g_exports[] = {
#define KULVE_EXPORT(name, ordinal, kinds) {#name, ordinal, kinds},
#include "export_table.inc"
#undef KULVE_EXPORT
};
#define EXPORT_COUNT (sizeof g_exports / sizeof g_exports[0])

static HMODULE g_dll;

static FARPROC by_name(const char *name) { return GetProcAddress(g_dll, name); }
static FARPROC by_ordinal(WORD ordinal) {
  return GetProcAddress(g_dll, (LPCSTR)(ULONG_PTR)ordinal);
}

/* The exports used by name below, resolved by ordinal (test_exports checks
 * that both ways give the same address). Missing ones stay null. */
typedef void (*any_fn)(void);
static struct {
  int(WINAPI *LinkCom)(int);
  int(WINAPI *UnLinkCom)(void);
  int(WINAPI *AutoLinkCom)(int *);
  int(WINAPI *ComBaudRate)(void);
  int(WINAPI *PowerOn)(void);
  int(WINAPI *PowerOff)(void);
  int(WINAPI *SelectCard)(int);
  int(WINAPI *Inquire)(int *, int *, int *);
  int(WINAPI *SetStandby)(void);
  int(WINAPI *GetDeviceNumber)(unsigned char *);
  int(WINAPI *DEVVER)(unsigned char *);
  int(WINAPI *ALARM)(int, int, int, int);
  int(WINAPI *DLLVER)(void);
  int(WINAPI *EnDesData)(const unsigned char *, const unsigned char *, unsigned char *, int);
  int(WINAPI *UnDesData)(const unsigned char *, const unsigned char *, unsigned char *, int);
  int(WINAPI *SetComPortPath)(int, const char *);
  int(WINAPI *GetComPortPath)(int, char *, int);
  int(WINAPI *ReadCard)(int, int, int, int, unsigned char *);
  int(WINAPI *WriteCard)(int, int, int, int, unsigned char *);
  int(WINAPI *ReadMemCard)(int, int, unsigned char *);
  const char *(WINAPI *ResultText)(int);
  int(WINAPI *GetLinkError)(char *, int);
  int(WINAPI *SetTrace)(int, KulveTraceCallback, void *);
} api;

static any_fn resolve(const char *name) {
  size_t i;
  for (i = 0; i < EXPORT_COUNT; ++i) {
    if (strcmp(g_exports[i].name, name) == 0) return (any_fn)by_ordinal(g_exports[i].ordinal);
  }
  return NULL;
}

#define RESOLVE(field) api.field = (__typeof__(api.field))resolve(#field)

static void resolve_api(void) {
  RESOLVE(LinkCom);
  RESOLVE(UnLinkCom);
  RESOLVE(AutoLinkCom);
  RESOLVE(ComBaudRate);
  RESOLVE(PowerOn);
  RESOLVE(PowerOff);
  RESOLVE(SelectCard);
  RESOLVE(Inquire);
  RESOLVE(SetStandby);
  RESOLVE(GetDeviceNumber);
  RESOLVE(DEVVER);
  RESOLVE(ALARM);
  RESOLVE(DLLVER);
  RESOLVE(EnDesData);
  RESOLVE(UnDesData);
  RESOLVE(SetComPortPath);
  RESOLVE(GetComPortPath);
  RESOLVE(ReadCard);
  RESOLVE(WriteCard);
  RESOLVE(ReadMemCard);
  RESOLVE(ResultText);
  RESOLVE(GetLinkError);
  RESOLVE(SetTrace);
}

/* ---- Calling an export with a checked stack -------------------------------- */

#if defined(__i386__)
/* Pushes argc 32-bit arguments right to left, calls fn, and stores in *delta
 * how far the stack pointer is from where it was before the pushes. A stdcall
 * function that removes exactly its own arguments leaves 0. The stack pointer
 * is restored either way. */
int kulve_checked_call(FARPROC fn, int argc, const uint32_t *args, int *delta);
__asm__(
    ".text\n"
    ".globl _kulve_checked_call\n"
    "_kulve_checked_call:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 12(%ebp), %edi\n"
    "  movl 16(%ebp), %esi\n"
    "  movl %esp, %ebx\n"
    "1:\n"
    "  testl %edi, %edi\n"
    "  jz 2f\n"
    "  decl %edi\n"
    "  pushl (%esi,%edi,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  call *8(%ebp)\n"
    "  movl %esp, %ecx\n"
    "  subl %ebx, %ecx\n"
    "  movl 20(%ebp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  movl %ebx, %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");
typedef uint32_t arg_t;
#else
/* 64-bit Windows has one calling convention; there is no stack to balance. */
typedef uintptr_t arg_t;
#endif

#define MAX_ARGS 8

static int call_export(FARPROC fn, int argc, const arg_t *args, int *delta) {
#if defined(__i386__)
  return kulve_checked_call(fn, argc, args, delta);
#else
  typedef int (*f0)(void);
  typedef int (*f1)(arg_t);
  typedef int (*f2)(arg_t, arg_t);
  typedef int (*f3)(arg_t, arg_t, arg_t);
  typedef int (*f4)(arg_t, arg_t, arg_t, arg_t);
  typedef int (*f5)(arg_t, arg_t, arg_t, arg_t, arg_t);
  typedef int (*f6)(arg_t, arg_t, arg_t, arg_t, arg_t, arg_t);
  typedef int (*f7)(arg_t, arg_t, arg_t, arg_t, arg_t, arg_t, arg_t);
  typedef int (*f8)(arg_t, arg_t, arg_t, arg_t, arg_t, arg_t, arg_t, arg_t);
  const arg_t *a = args;
  any_fn plain = (any_fn)fn;
  *delta = 0;
  switch (argc) {
    case 0: return ((f0)plain)();
    case 1: return ((f1)plain)(a[0]);
    case 2: return ((f2)plain)(a[0], a[1]);
    case 3: return ((f3)plain)(a[0], a[1], a[2]);
    case 4: return ((f4)plain)(a[0], a[1], a[2], a[3]);
    case 5: return ((f5)plain)(a[0], a[1], a[2], a[3], a[4]);
    case 6: return ((f6)plain)(a[0], a[1], a[2], a[3], a[4], a[5]);
    case 7: return ((f7)plain)(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    default: return ((f8)plain)(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
  }
#endif
}

/* ---- Tests that need no reader --------------------------------------------- */

/* Every export resolves by name and by ordinal to the same address; the empty
 * ordinals and decorated or wrongly cased names resolve to nothing. */
static void test_exports(void) {
  size_t i;
  CHECK(EXPORT_COUNT > 0);
  for (i = 0; i < EXPORT_COUNT; ++i) {
    FARPROC named = by_name(g_exports[i].name);
    FARPROC numbered = by_ordinal(g_exports[i].ordinal);
    if (named == NULL || numbered == NULL || named != numbered) {
      char message[160];
      snprintf(message, sizeof message, "%s: by name %p, by ordinal %u %p", g_exports[i].name,
               (void *)(uintptr_t)named, g_exports[i].ordinal, (void *)(uintptr_t)numbered);
      fail_at(__FILE__, __LINE__, message);
    }
  }
  CHECK(by_ordinal(22) == NULL);
  CHECK(by_ordinal(23) == NULL);
  CHECK(by_name("LinkCom@4") == NULL);
  CHECK(by_name("_LinkCom@4") == NULL);
  CHECK(by_name("linkcom") == NULL);
}

/* Each export called with its declared arguments removes exactly those from
 * the stack. Arguments are chosen so that nothing reaches a port: integers
 * are -1 (refused or answered without a line, as no port is open yet) and
 * pointers point at a large scratch area. */
static unsigned char g_scratch[65536];

static void test_stack_balance_every_export(void) {
  size_t i;
  for (i = 0; i < EXPORT_COUNT; ++i) {
    arg_t args[MAX_ARGS];
    int argc = (int)strlen(g_exports[i].kinds), k, delta = 12345;
    FARPROC fn = by_ordinal(g_exports[i].ordinal);
    if (fn == NULL || argc > MAX_ARGS) {
      fail_at(__FILE__, __LINE__, g_exports[i].name);
      continue;
    }
    for (k = 0; k < argc; ++k) {
      args[k] = g_exports[i].kinds[k] == 'p' ? (arg_t)(uintptr_t)g_scratch : (arg_t)-1;
    }
    /* A port index of 0 would link COM1; AutoLinkCom gets no index at all. */
    if (strcmp(g_exports[i].name, "AutoLinkCom") == 0) args[0] = 0;
    call_export(fn, argc, args, &delta);
    if (delta != 0) {
      char message[120];
      snprintf(message, sizeof message, "%s (%d arguments) left the stack off by %d bytes",
               g_exports[i].name, argc, delta);
      fail_at(__FILE__, __LINE__, message);
    }
  }
}

/* Many calls in a row through the checked caller: the stack stays where it
 * was and the answers stay the same. */
static void test_stack_balance_loop(void) {
  static const unsigned char key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  unsigned char block[8] = {0};
  char path[64];
  FARPROC dllver = by_ordinal(54), baud = by_ordinal(17), des = by_ordinal(18),
          alarm = by_ordinal(57), link = by_ordinal(1), getpath = by_name("GetComPortPath");
  int i, drift = 0, wrong = 0;
  CHECK(dllver && baud && des && alarm && link && getpath);
  if (!(dllver && baud && des && alarm && link && getpath)) return;
  for (i = 0; i < 20000; ++i) {
    arg_t a_des[4] = {(arg_t)(uintptr_t)block, (arg_t)(uintptr_t)key, (arg_t)(uintptr_t)block, 8};
    arg_t a_alarm[4] = {0, 1, 2, 3};
    arg_t a_link[1] = {(arg_t)10};
    arg_t a_path[3] = {0, (arg_t)(uintptr_t)path, (arg_t)sizeof path};
    int d0, d1, d2, d3, d4, d5;
    wrong += call_export(dllver, 0, NULL, &d0) != 7321;
    wrong += call_export(baud, 0, NULL, &d1) != 0;
    wrong += call_export(des, 4, a_des, &d2) != 0;
    wrong += call_export(alarm, 4, a_alarm, &d3) != KULVE_BAD_ARGUMENT;
    wrong += call_export(link, 1, a_link, &d4) != 1;
    wrong += call_export(getpath, 3, a_path, &d5) != 0;
    drift += (d0 != 0) + (d1 != 0) + (d2 != 0) + (d3 != 0) + (d4 != 0) + (d5 != 0);
  }
  CHECK_EQ(drift, 0);
  CHECK_EQ(wrong, 0);
}

static void test_versions_without_reader(void) {
  CHECK_EQ(api.DLLVER(), 7321);
  CHECK_EQ(api.ComBaudRate(), 0);
  CHECK_EQ(api.LinkCom(10), 1);
  CHECK_EQ(api.LinkCom(-1), 1);
  CHECK_EQ(api.ComBaudRate(), 0);
  CHECK_EQ(api.UnLinkCom(), 1); /* nothing open */
  /* ALARM's mode is checked before anything is sent. */
  CHECK_EQ(api.ALARM(0, 0, 0, 0), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.ALARM(8, 0, 0, 0), KULVE_BAD_ARGUMENT);
}

/* The default device names are the \\.\ forms, which open COM10 too; a
 * buffer too small for the name is refused and not written past. */
static void test_port_paths(void) {
  char path[64];
  CHECK_EQ(api.GetComPortPath(0, path, sizeof path), 0);
  CHECK(strcmp(path, "\\\\.\\COM1") == 0);
  CHECK_EQ(api.GetComPortPath(9, path, sizeof path), 0);
  CHECK(strcmp(path, "\\\\.\\COM10") == 0);
  memset(path, 'x', sizeof path);
  CHECK_EQ(api.GetComPortPath(9, path, 5), KULVE_BAD_ARGUMENT);
  CHECK(path[5] == 'x');
}

static void test_des(void) {
  /* The classic worked example of the DES standard's literature. */
  static const unsigned char key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  static const unsigned char plain[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                          0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  static const unsigned char cipher[8] = {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05};
  unsigned char out[24], back[24];
  if (api.EnDesData == NULL || api.UnDesData == NULL) {
    printf("  (DES not exported in this build)\n");
    return;
  }
  memset(out, 0xEE, sizeof out);
  CHECK_EQ(api.EnDesData(plain, key, out, 16), 0);
  CHECK(memcmp(out, cipher, 8) == 0);
  CHECK(memcmp(out + 8, cipher, 8) == 0); /* ECB: equal blocks, equal output */
  CHECK(out[16] == 0xEE);                 /* nothing past the length */
  CHECK_EQ(api.UnDesData(out, key, back, 16), 0);
  CHECK(memcmp(back, plain, 16) == 0);

  /* In place. */
  memcpy(back, plain, 16);
  CHECK_EQ(api.EnDesData(back, key, back, 16), 0);
  CHECK(memcmp(back, out, 16) == 0);

  /* A length that is not a whole number of blocks is refused, output untouched. */
  memset(out, 0xEE, sizeof out);
  CHECK_EQ(api.EnDesData(plain, key, out, 12), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.UnDesData(plain, key, out, 7), KULVE_BAD_ARGUMENT);
  CHECK(out[0] == 0xEE && out[11] == 0xEE);
  CHECK_EQ(api.EnDesData(plain, key, out, 0), 0);
  CHECK(out[0] == 0xEE);
}

/* ---- Tests against the simulated readers -------------------------------------- */

enum { PORT_BOTH = 0, PORT_SLOW = 1, PORT_SILENT = 2, PORT_FAULTS = 3, PORT_COM10 = 9 };

static void test_link_fast_and_housekeeping(void) {
  unsigned char number[16], version[16];
  int type = -1, state = -1, power = -1, i;

  CHECK_EQ(api.LinkCom(PORT_BOTH), 0);
  CHECK_EQ(api.ComBaudRate(), 57600);

  CHECK_EQ(api.PowerOn(), 0);
  CHECK_EQ(api.Inquire(&type, &state, &power), 0);
  CHECK_EQ(power, 1);
  CHECK_EQ(api.PowerOff(), 0);
  CHECK_EQ(api.Inquire(&type, &state, &power), 0);
  CHECK_EQ(power, 0);

  /* Only the low byte goes to the reader. */
  CHECK_EQ(api.SelectCard(0x1202), 0);
  CHECK_EQ(api.Inquire(&type, &state, &power), 0);
  CHECK_EQ(type, 0x02);

  /* The 8-byte answers land in 8 bytes and no further. */
  memset(number, 0xA5, sizeof number);
  CHECK_EQ(api.GetDeviceNumber(number), 0);
  for (i = 8; i < 16; ++i) CHECK(number[i] == 0xA5);
  CHECK(memcmp(number, "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5", 8) != 0);
  memset(version, 0xA5, sizeof version);
  CHECK_EQ(api.DEVVER(version), 0);
  for (i = 8; i < 16; ++i) CHECK(version[i] == 0xA5);
  CHECK(memcmp(version, "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5", 8) != 0);

  CHECK_EQ(api.ALARM(1, 2, 3, 4), 0);
  CHECK_EQ(api.ALARM(7, 0x1FF, -1, 0), 0);
  CHECK_EQ(api.ALARM(0, 2, 3, 4), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.ALARM(8, 2, 3, 4), KULVE_BAD_ARGUMENT);

  CHECK_EQ(api.SetStandby(), 0);
  CHECK_EQ(api.PowerOn(), 0); /* any command wakes the reader */
  CHECK_EQ(api.DLLVER(), 7321);

  CHECK_EQ(api.UnLinkCom(), 0);
  CHECK_EQ(api.UnLinkCom(), 1);
  CHECK_EQ(api.ComBaudRate(), 57600); /* kept until the next LinkCom */
}

static void test_fallback_to_9600(void) {
  unsigned char version[8];
  CHECK_EQ(api.LinkCom(PORT_SLOW), 0);
  CHECK_EQ(api.ComBaudRate(), 9600);
  CHECK_EQ(api.DEVVER(version), 0);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* COM10 opens through its default \\.\COM10 name, and any index can be
 * pointed at another device. */
static void test_com10_and_custom_path(void) {
  CHECK_EQ(api.LinkCom(PORT_COM10), 0);
  CHECK_EQ(api.ComBaudRate(), 57600);
  CHECK_EQ(api.UnLinkCom(), 0);

  CHECK_EQ(api.SetComPortPath(7, "\\\\.\\COM1"), 0);
  CHECK_EQ(api.LinkCom(7), 0);
  CHECK_EQ(api.UnLinkCom(), 0);
  CHECK_EQ(api.SetComPortPath(7, "\\\\.\\COM8"), 0);
}

static void test_autolink(void) {
  int index = 5;
  CHECK_EQ(api.AutoLinkCom(&index), 0);
  CHECK_EQ(index, 0);
  CHECK_EQ(api.ComBaudRate(), 57600);
  CHECK_EQ(api.UnLinkCom(), 0);
}

static void test_silent_line(void) {
  double start, elapsed;

  /* Two probes of ~0.2 s each and the closing pause of 1 s between them. */
  start = now_seconds();
  CHECK_EQ(api.LinkCom(PORT_SILENT), 1);
  elapsed = now_seconds() - start;
  CHECK(elapsed > 1.1 && elapsed < 6.0);
  CHECK_EQ(api.ComBaudRate(), 0);

  /* The port stays open at 9600; an exchange gets no answer to its start
   * byte: two reads of about 0.1 s. */
  start = now_seconds();
  CHECK_EQ(api.PowerOn(), KULVE_LINK_NO_ANSWER);
  elapsed = now_seconds() - start;
  printf("  silent line: no answer after %.3f s\n", elapsed);
  CHECK(elapsed > 0.15 && elapsed < 1.5);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* The reader on COM4 fails these commands in these ways, every time (the
 * probe is left alone so the link comes up). */
static void test_fault_letters(void) {
  unsigned char buffer[16];
  int type, state, power;
  CHECK_EQ(api.LinkCom(PORT_FAULTS), 0);
  CHECK_EQ(api.PowerOn(), KULVE_LINK_NO_ACK);             /* acknowledgement withheld */
  CHECK_EQ(api.PowerOff(), KULVE_LINK_BAD_ACK);           /* wrong acknowledgement */
  CHECK_EQ(api.SetStandby(), KULVE_LINK_NO_STATUS);       /* silent after 0x89 */
  CHECK_EQ(api.Inquire(&type, &state, &power), KULVE_LINK_NO_LENGTH);
  CHECK_EQ(api.DEVVER(buffer), KULVE_LINK_SHORT_REPLY);   /* data cut short */
  CHECK_EQ(api.GetDeviceNumber(buffer), KULVE_LINK_NO_CHECKSUM);
  CHECK_EQ(api.SelectCard(1), KULVE_LINK_BAD_CHECKSUM);   /* checksum wrong */
  /* The link itself still works after each failure. */
  CHECK_EQ(api.ALARM(1, 0, 0, 0), 0);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* The memory-card exports reach the reader through the DLL: with the contact
 * slot empty the reader's refusal comes back as it is, and the caller's
 * buffers stay as they were. Arguments out of range are refused first. */
static void test_memcard_calls(void) {
  enum { NO_CARD = 0x83 }; /* the reader's "no card in the slot" */
  unsigned char buffer[32], data[8];
  int i;
  if (api.ReadCard == NULL || api.WriteCard == NULL || api.ReadMemCard == NULL) {
    printf("  (memory cards not exported in this build)\n");
    return;
  }
  CHECK_EQ(api.LinkCom(PORT_BOTH), 0);
  CHECK_EQ(api.SelectCard(1), 0);

  memset(buffer, 0x5A, sizeof buffer);
  CHECK_EQ(api.ReadCard(18, 0, 0, 16, buffer), NO_CARD);
  CHECK_EQ(api.ReadMemCard(0, 16, buffer), NO_CARD);
  for (i = 0; i < (int)sizeof buffer; ++i) CHECK(buffer[i] == 0x5A);
  memset(data, 0x11, sizeof data);
  CHECK_EQ(api.WriteCard(18, 0, 0, 8, data), NO_CARD);
  for (i = 0; i < (int)sizeof data; ++i) CHECK(data[i] == 0x11);

  CHECK_EQ(api.ReadCard(18, -1, 0, 16, buffer), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.ReadCard(18, 0, 0, 0, buffer), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.ReadCard(18, 255, 255, 2, buffer), KULVE_BAD_ARGUMENT); /* past 64 KiB */
  CHECK_EQ(api.ReadCard(18, 0, 0, 16, NULL), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.ReadMemCard(-1, 4, buffer), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* The words for results, why a link failed, and the trace through a stdcall
 * callback. */
static int g_trace_lines;
static int g_trace_frames;
static void WINAPI count_trace(int level, const char *line, void *context) {
  ++g_trace_lines;
  if (level == 2 && strncmp(line, "reply status 00", 15) == 0) ++g_trace_frames;
  CHECK(context == &g_trace_lines);
}

static void test_diagnostics(void) {
  char text[256];
  unsigned char number[8];
  CHECK(strcmp(api.ResultText(0), "ok") == 0);
  CHECK(strcmp(api.ResultText(KULVE_LINK_NO_ANSWER), "link failure 'f': no answer to the start byte") == 0);
  CHECK(strcmp(api.ResultText(0x91), "reader status 0x91") == 0);

  CHECK_EQ(api.SetComPortPath(6, "\\\\.\\KULVE-NO-SUCH-PORT"), 0);
  CHECK_EQ(api.LinkCom(6), 1);
  CHECK_EQ(api.GetLinkError(text, sizeof text), KULVE_LINK_ERROR_NOT_FOUND);
  printf("  no such device: %s\n", text);
  CHECK_EQ(api.SetComPortPath(6, "\\\\.\\COM7"), 0);
  CHECK_EQ(api.LinkCom(PORT_SILENT), 1);
  CHECK_EQ(api.GetLinkError(text, sizeof text), KULVE_LINK_ERROR_NO_ANSWER);
  printf("  COM3: %s\n", text);

  CHECK_EQ(api.SetTrace(5, count_trace, &g_trace_lines), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.SetTrace(2, count_trace, &g_trace_lines), 0);
  CHECK_EQ(api.LinkCom(PORT_BOTH), 0);
  CHECK_EQ(api.GetLinkError(NULL, 0), KULVE_LINK_ERROR_NONE);
  CHECK_EQ(api.GetDeviceNumber(number), 0);
  CHECK_EQ(api.SetTrace(0, NULL, NULL), 0);
  CHECK_EQ(g_trace_frames, 2); /* the probe and the device number */
  CHECK(g_trace_lines >= 5);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* Readers behind network addresses: the raw stream, the 9600 fallback through
 * RFC 2217, and what a refused or unresolvable address reports. Index 8
 * (COM9) is borrowed and given back. */
static void test_network_ports(void) {
  const char *tcp = getenv("KULVE_WINTEST_TCP");
  const char *rfc2217 = getenv("KULVE_WINTEST_RFC2217");
  const char *refused = getenv("KULVE_WINTEST_REFUSED");
  unsigned char number[8];
  char text[256];
  double start;
  if (tcp == NULL || rfc2217 == NULL || refused == NULL) {
    printf("  (no network readers given in KULVE_WINTEST_TCP, _RFC2217, _REFUSED)\n");
    return;
  }
  CHECK_EQ(api.SetComPortPath(8, tcp), 0);
  CHECK_EQ(api.LinkCom(8), 0);
  CHECK_EQ(api.ComBaudRate(), 57600);
  CHECK_EQ(api.GetDeviceNumber(number), 0);
  CHECK_EQ(api.UnLinkCom(), 0);

  CHECK_EQ(api.SetComPortPath(8, rfc2217), 0);
  CHECK_EQ(api.LinkCom(8), 0);
  CHECK_EQ(api.ComBaudRate(), 9600); /* the speed reached the reader through the server */
  CHECK_EQ(api.GetDeviceNumber(number), 0);
  CHECK_EQ(api.UnLinkCom(), 0);

  CHECK_EQ(api.SetComPortPath(8, refused), 0);
  start = now_seconds();
  CHECK_EQ(api.LinkCom(8), 1);
  CHECK(now_seconds() - start < 2.5);
  CHECK_EQ(api.GetLinkError(text, sizeof text), KULVE_LINK_ERROR_REFUSED);
  printf("  refused: %s\n", text);
  CHECK_EQ(api.SetComPortPath(8, "tcp://kulve-no-such-host.invalid:7000"), 0);
  CHECK_EQ(api.LinkCom(8), 1);
  CHECK_EQ(api.GetLinkError(text, sizeof text), KULVE_LINK_ERROR_UNRESOLVED);
  printf("  unresolvable: %s\n", text);
  CHECK_EQ(api.SetComPortPath(8, "\\\\.\\COM9"), 0);
}

/* ---- main -------------------------------------------------------------------- */

struct test_case {
  const char *name;
  void (*run)(void);
  int needs_reader;
};

static const struct test_case g_tests[] = {
    {"exports", test_exports, 0},
    {"stack_balance_every_export", test_stack_balance_every_export, 0},
    {"stack_balance_loop", test_stack_balance_loop, 0},
    {"versions_without_reader", test_versions_without_reader, 0},
    {"port_paths", test_port_paths, 0},
    {"des", test_des, 0},
    {"link_fast_and_housekeeping", test_link_fast_and_housekeeping, 1},
    {"fallback_to_9600", test_fallback_to_9600, 1},
    {"com10_and_custom_path", test_com10_and_custom_path, 1},
    {"autolink", test_autolink, 1},
    {"silent_line", test_silent_line, 1},
    {"fault_letters", test_fault_letters, 1},
    {"memcard_calls", test_memcard_calls, 1},
    {"diagnostics", test_diagnostics, 1},
    {"network_ports", test_network_ports, 1},
};

static int selected(const char *name, int argc, char **argv, int no_reader, int needs_reader) {
  int i, any = 0;
  if (no_reader && needs_reader) return 0;
  for (i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') continue;
    any = 1;
    if (strcmp(argv[i], name) == 0) return 1;
  }
  return !any;
}

int main(int argc, char **argv) {
  int i, passed = 0, failed = 0, no_reader = 0;
  setvbuf(stdout, NULL, _IONBF, 0);
  for (i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--no-reader") == 0) no_reader = 1;
  }

  g_dll = LoadLibraryA("KULVE32.DLL");
  if (g_dll == NULL) {
    printf("cannot load KULVE32.DLL (error %lu)\n0 passed, 1 failed\n", GetLastError());
    return 1;
  }
  printf("KULVE32.DLL loaded (%d-bit), %u exports listed\n", (int)(sizeof(void *) * 8),
         (unsigned)EXPORT_COUNT);
  resolve_api();

  for (i = 0; i < (int)(sizeof g_tests / sizeof g_tests[0]); ++i) {
    double start;
    if (!selected(g_tests[i].name, argc, argv, no_reader, g_tests[i].needs_reader)) continue;
    printf("[ RUN  ] %s\n", g_tests[i].name);
    g_current_failed = 0;
    start = now_seconds();
    g_tests[i].run();
    printf("[ %s ] %s (%.2f s)\n", g_current_failed ? "FAIL" : " OK ", g_tests[i].name,
           now_seconds() - start);
    if (g_current_failed) {
      ++failed;
    } else {
      ++passed;
    }
  }
  FreeLibrary(g_dll);
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
