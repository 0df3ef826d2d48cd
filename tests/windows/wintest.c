/* SPDX-License-Identifier: MIT */
/*
 * wintest.c - drives KULVE32.DLL the way a Windows application does: loads it
 * with LoadLibrary, resolves every export by name and by ordinal (the handle
 * API by name: it has no promised ordinals), and calls the exports through
 * stdcall function pointers.
 *
 *   kulve_wintest.exe [--no-reader] [TEST...]
 *
 * With readers attached (the Wine lane starts simulated ones) the ports are
 * expected to be:
 *   COM1, COM10  a reader answering at both speeds, with an AT88SC1608 card
 *                of the seed in test_at1608_calls in its slot, an e5550
 *                transponder in its field, and an attendance terminal
 *                holding three weeks of records (kulvesim --terminal)
 *   COM2         a reader answering only at 9600 bit/s
 *   COM3         a silent line: nothing answers
 *   COM4         a reader that fails chosen commands (see test_fault_letters;
 *                scripts/wine_lane.sh starts it with the matching faults), with
 *                Mifare card 0A 1B 2C 3D in its field (see test_mifare_calls)
 * and behind loopback addresses, given in the environment:
 *   KULVE_WINTEST_TCP      tcp://... a reader answering at both speeds
 *   KULVE_WINTEST_RFC2217  rfc2217://... a reader answering only at 9600
 *   KULVE_WINTEST_REFUSED  tcp://... an address nothing listens on
 * --no-reader runs only the tests that need no port. Naming tests runs just
 * those. Ends with "N passed, N failed"; exit status 0 when nothing failed.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winver.h>

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
  WORD ordinal;      /* 0: exported by name only */
  const char *kinds; /* one letter per argument: i = integer, p = pointer, h = reader handle */
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
/* An entry of the export list: by its ordinal, or by name where it has none. */
static FARPROC by_entry(const struct export_entry *entry) {
  return entry->ordinal != 0 ? by_ordinal(entry->ordinal) : by_name(entry->name);
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
  int(WINAPI *GetLinkOsError)(void);
  int(WINAPI *SetTrace)(int, KulveTraceCallback, void *);
  int(WINAPI *KQ_EndTrans)(void);
  int(WINAPI *KQ_GetTime)(KqTime *);
  int(WINAPI *KQ_SetTime)(const KqTime *);
  int(WINAPI *KQ_GetCurrentPos)(int *, unsigned char *);
  int(WINAPI *KQ_GetStartPos)(const int *, int *, unsigned char *);
  int(WINAPI *KQ_GetEndPos)(const int *, int *, unsigned char *);
  int(WINAPI *KQ_ReadRecord)(int, int, int, unsigned char *);
  int(WINAPI *KQ_SysInit)(void);
  int(WINAPI *KQ_Display)(const char *);
  int(WINAPI *KQ_TransCmd)(int, int, unsigned char *);
  int(WINAPI *KQ_Daysbyte)(const KqDate *);
  int(WINAPI *KQ_Datebyte)(int, KqDate *);
  int(WINAPI *KQ_DownloadPSW)(int, const unsigned char *);
  int(WINAPI *AT1608_Write)(int, int, int, const unsigned char *);
  int(WINAPI *AT1608_Read)(int, int, int, unsigned char *);
  int(WINAPI *AT1608_Psw)(int, unsigned char *);
  int(WINAPI *AT1608_Authentic)(unsigned char *, const unsigned char *);
  int(WINAPI *AT1608_ReadFuse)(unsigned char *);
  int(WINAPI *AT1608_Reset)(void);
  int(WINAPI *RF5550_ReadBlk)(int, unsigned char *);
  int(WINAPI *RF5550_WriteBlk)(int, const unsigned char *, unsigned char *, int);
  int(WINAPI *RF5550_Init)(const Rf5550InitRecord *, const unsigned char *, int);
  int(WINAPI *RF5550_Wake)(const unsigned char *);
  int(WINAPI *RF5550_ReadAfterWake)(int, const unsigned char *, unsigned char *);
  int(WINAPI *RF5550_WriteAfterWake)(int, const unsigned char *, unsigned char *, int);
  int(WINAPI *RF5550_Mcmno)(unsigned char *);
  int(WINAPI *CpuCardReset)(unsigned char *);
  int(WINAPI *SamCard1Reset)(unsigned char *);
  int(WINAPI *CPUCardProtocolType)(void);
  int(WINAPI *ProCpuCardCmd)(const unsigned char *, unsigned char *);
  int(WINAPI *ProSamCard1)(unsigned char *, unsigned char *);
  int(WINAPI *SetChipProtocolMode)(int);
  int(WINAPI *ChipTransmit)(int, const unsigned char *, int, unsigned char *, int, int *);
  int(WINAPI *RFMifare_Authmode)(int);
  int(WINAPI *RFMifare_TransKey)(int, const unsigned char *);
  int(WINAPI *RFMifare_GetSnr)(unsigned char *);
  int(WINAPI *RFMifare_ReadBlock)(int, unsigned int, unsigned char *);
  int(WINAPI *RFMifare_ReadBloca)(int, unsigned int, unsigned char *);
  int(WINAPI *RFMifare_Halt)(void);
  int(WINAPI *MifareDumpCard)(int, const unsigned char *, int, unsigned char *, int, unsigned char *, int);
  int(WINAPI *MifareRestoreCard)(int, const unsigned char *, int, const unsigned char *, int, int);
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
  RESOLVE(GetLinkOsError);
  RESOLVE(SetTrace);
  RESOLVE(KQ_EndTrans);
  RESOLVE(KQ_GetTime);
  RESOLVE(KQ_SetTime);
  RESOLVE(KQ_GetCurrentPos);
  RESOLVE(KQ_GetStartPos);
  RESOLVE(KQ_GetEndPos);
  RESOLVE(KQ_ReadRecord);
  RESOLVE(KQ_SysInit);
  RESOLVE(KQ_Display);
  RESOLVE(KQ_TransCmd);
  RESOLVE(KQ_Daysbyte);
  RESOLVE(KQ_Datebyte);
  RESOLVE(KQ_DownloadPSW);
  RESOLVE(AT1608_Write);
  RESOLVE(AT1608_Read);
  RESOLVE(AT1608_Psw);
  RESOLVE(AT1608_Authentic);
  RESOLVE(AT1608_ReadFuse);
  RESOLVE(AT1608_Reset);
  RESOLVE(RF5550_ReadBlk);
  RESOLVE(RF5550_WriteBlk);
  RESOLVE(RF5550_Init);
  RESOLVE(RF5550_Wake);
  RESOLVE(RF5550_ReadAfterWake);
  RESOLVE(RF5550_WriteAfterWake);
  RESOLVE(RF5550_Mcmno);
  RESOLVE(CpuCardReset);
  RESOLVE(SamCard1Reset);
  RESOLVE(CPUCardProtocolType);
  RESOLVE(ProCpuCardCmd);
  RESOLVE(ProSamCard1);
  RESOLVE(SetChipProtocolMode);
  RESOLVE(ChipTransmit);
  RESOLVE(RFMifare_Authmode);
  RESOLVE(RFMifare_TransKey);
  RESOLVE(RFMifare_GetSnr);
  RESOLVE(RFMifare_ReadBlock);
  RESOLVE(RFMifare_ReadBloca);
  RESOLVE(MifareDumpCard);
  RESOLVE(MifareRestoreCard);
  RESOLVE(RFMifare_Halt);
}

/* The handle functions the tests call, resolved by name. */
static struct {
  int(WINAPI *open)(const char *, kulve_reader **);
  void(WINAPI *close)(kulve_reader *);
  int(WINAPI *result_origin)(kulve_reader *, int);
  int(WINAPI *link_error)(kulve_reader *, char *, int);
  int(WINAPI *link_os_error)(kulve_reader *);
  int(WINAPI *reader_baud_rate)(kulve_reader *);
  int(WINAPI *reader_power_on)(kulve_reader *);
  int(WINAPI *reader_select_card)(kulve_reader *, int);
  int(WINAPI *reader_device_number)(kulve_reader *, unsigned char *, int);
  int(WINAPI *memcard_read)(kulve_reader *, int, int, int, int, unsigned char *, int);
  int(WINAPI *chip_reset)(kulve_reader *, int, unsigned char *, int);
  int(WINAPI *at1608_reset)(kulve_reader *);
  int(WINAPI *e5550_module)(kulve_reader *, unsigned char *, int);
  int(WINAPI *mifare_serial)(kulve_reader *, unsigned char *, int);
  int(WINAPI *mifare_dump)(kulve_reader *, int, const unsigned char *, int, unsigned char *, int, unsigned char *,
                           int);
  int(WINAPI *mifare_restore)(kulve_reader *, int, const unsigned char *, int, const unsigned char *, int, int);
  int(WINAPI *kq_get_time)(kulve_reader *, KqTime *);
  int(WINAPI *wait_presence)(kulve_reader *, int, int, int, int *);
} handle_api;

#define RESOLVE_HANDLE(field) \
  handle_api.field = (__typeof__(handle_api.field))(any_fn)by_name("kulve_" #field)

/* Whether every handle function the tests call was found. */
static int resolve_handle_api(void) {
  RESOLVE_HANDLE(open);
  RESOLVE_HANDLE(close);
  RESOLVE_HANDLE(result_origin);
  RESOLVE_HANDLE(link_error);
  RESOLVE_HANDLE(link_os_error);
  RESOLVE_HANDLE(reader_baud_rate);
  RESOLVE_HANDLE(reader_power_on);
  RESOLVE_HANDLE(reader_select_card);
  RESOLVE_HANDLE(reader_device_number);
  RESOLVE_HANDLE(memcard_read);
  RESOLVE_HANDLE(chip_reset);
  RESOLVE_HANDLE(at1608_reset);
  RESOLVE_HANDLE(e5550_module);
  RESOLVE_HANDLE(mifare_serial);
  RESOLVE_HANDLE(mifare_dump);
  RESOLVE_HANDLE(mifare_restore);
  RESOLVE_HANDLE(kq_get_time);
  handle_api.wait_presence = (__typeof__(handle_api.wait_presence))(any_fn)by_name("kulve_wait_presence");
  return handle_api.open && handle_api.close && handle_api.result_origin && handle_api.link_error &&
         handle_api.link_os_error && handle_api.reader_baud_rate && handle_api.reader_power_on &&
         handle_api.reader_select_card && handle_api.reader_device_number && handle_api.memcard_read &&
         handle_api.chip_reset && handle_api.at1608_reset && handle_api.e5550_module &&
         handle_api.mifare_serial && handle_api.mifare_dump && handle_api.mifare_restore && handle_api.kq_get_time &&
         handle_api.wait_presence;
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

/* Every export resolves by name and by ordinal to the same address, and every
 * name-only one by name, at an address no fixed ordinal has; the empty
 * ordinals and decorated or wrongly cased names resolve to nothing. */
static void test_exports(void) {
  size_t i, k;
  int name_only = 0;
  CHECK(EXPORT_COUNT > 0);
  for (i = 0; i < EXPORT_COUNT; ++i) {
    FARPROC named = by_name(g_exports[i].name);
    FARPROC numbered = g_exports[i].ordinal != 0 ? by_ordinal(g_exports[i].ordinal) : named;
    if (g_exports[i].ordinal == 0) {
      ++name_only;
      for (k = 0; k < EXPORT_COUNT; ++k) {
        if (g_exports[k].ordinal != 0 && by_ordinal(g_exports[k].ordinal) == named) {
          fail_at(__FILE__, __LINE__, g_exports[i].name);
        }
      }
    }
    if (named == NULL || numbered == NULL || named != numbered) {
      char message[160];
      snprintf(message, sizeof message, "%s: by name %p, by ordinal %u %p", g_exports[i].name,
               (void *)(uintptr_t)named, g_exports[i].ordinal, (void *)(uintptr_t)numbered);
      fail_at(__FILE__, __LINE__, message);
    }
  }
  CHECK(name_only > 0);
  CHECK(by_name("kulve_open@8") == NULL);
  CHECK(by_name("KULVE_OPEN") == NULL);
  CHECK(by_ordinal(22) == NULL);
  CHECK(by_ordinal(23) == NULL);
  CHECK(by_name("LinkCom@4") == NULL);
  CHECK(by_name("_LinkCom@4") == NULL);
  CHECK(by_name("linkcom") == NULL);
}

/* Each export called with its declared arguments removes exactly those from
 * the stack. Arguments are chosen so that nothing reaches a port: integers
 * are -1 (refused or answered without a line, as no port is open yet),
 * pointers point at a large scratch area, and reader handles are null
 * (refused). */
static unsigned char g_scratch[65536];

static void test_stack_balance_every_export(void) {
  size_t i;
  for (i = 0; i < EXPORT_COUNT; ++i) {
    arg_t args[MAX_ARGS];
    int argc = (int)strlen(g_exports[i].kinds), k, delta = 12345;
    FARPROC fn = by_entry(&g_exports[i]);
    if (fn == NULL || argc > MAX_ARGS) {
      fail_at(__FILE__, __LINE__, g_exports[i].name);
      continue;
    }
    for (k = 0; k < argc; ++k) {
      const char kind = g_exports[i].kinds[k];
      args[k] = kind == 'p' ? (arg_t)(uintptr_t)g_scratch : kind == 'h' ? (arg_t)0 : (arg_t)-1;
    }
    /* A port index of 0 would link COM1; AutoLinkCom gets no index at all,
     * and kulve_open no port. */
    if (strcmp(g_exports[i].name, "AutoLinkCom") == 0) args[0] = 0;
    if (strcmp(g_exports[i].name, "kulve_open") == 0) args[0] = 0;
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

/* The date functions need no reader: a leap day, the year byte's wrap, and a
 * null date refused. */
static void test_attendance_dates(void) {
  KqDate date = {4, 6, 13}, back = {9, 9, 9};
  if (api.KQ_Daysbyte == NULL || api.KQ_Datebyte == NULL) {
    printf("  (attendance dates not exported in this build)\n");
    return;
  }
  CHECK_EQ(api.KQ_Daysbyte(&date), 1626);
  CHECK_EQ(api.KQ_Datebyte(1626, &back), 0);
  CHECK(back.year == 4 && back.month == 6 && back.day == 13);
  CHECK_EQ(api.KQ_Datebyte(93505, &back), 0);
  CHECK(back.year == 0 && back.month == 1 && back.day == 1);
  CHECK_EQ(api.KQ_Datebyte(60, NULL), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.KQ_Daysbyte(NULL), 0);
}

/* The DLL carries a version resource: the product name, and the project's
 * version as the file version in numbers and in words. */
static void test_version_resource(void) {
  char path[MAX_PATH];
  static char data[8192];
  DWORD handle = 0, size;
  VS_FIXEDFILEINFO *fixed = NULL;
  char *text = NULL;
  UINT length = 0;
  CHECK(GetModuleFileNameA(g_dll, path, sizeof path) > 0);
  size = GetFileVersionInfoSizeA(path, &handle);
  CHECK(size > 0 && size <= sizeof data);
  if (size == 0 || size > sizeof data) return;
  CHECK(GetFileVersionInfoA(path, 0, size, data));
  CHECK(VerQueryValueA(data, "\\", (void **)&fixed, &length) && length >= sizeof *fixed);
  if (fixed != NULL) {
    CHECK_EQ(fixed->dwSignature, 0xFEEF04BD);
    CHECK_EQ(HIWORD(fixed->dwFileVersionMS), KULVE_VERSION_MAJOR);
    CHECK_EQ(LOWORD(fixed->dwFileVersionMS), KULVE_VERSION_MINOR);
    CHECK_EQ(HIWORD(fixed->dwFileVersionLS), KULVE_VERSION_PATCH);
    CHECK_EQ(fixed->dwFileType, VFT_DLL);
  }
  CHECK(VerQueryValueA(data, "\\StringFileInfo\\040904B0\\ProductName", (void **)&text, &length) &&
        text != NULL && strcmp(text, "KULVE32") == 0);
  CHECK(VerQueryValueA(data, "\\StringFileInfo\\040904B0\\FileVersion", (void **)&text, &length) &&
        text != NULL && strcmp(text, KULVE_VERSION_TEXT) == 0);
  CHECK(VerQueryValueA(data, "\\StringFileInfo\\040904B0\\OriginalFilename", (void **)&text, &length) &&
        text != NULL && strcmp(text, "KULVE32.DLL") == 0);
  CHECK_EQ(api.DLLVER(), 7321); /* the library's own number stays as it was */
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

/* The trace lines that begin with a prefix, counted. What a call did on the
 * line is counted rather than timed: a loaded machine stretches wall time, so
 * times are only ever lower bounds (the waits a call must make). */
struct line_count {
  const char *prefix;
  int count;
};
static void WINAPI count_prefixed(int level, const char *line, void *context) {
  struct line_count *lines = (struct line_count *)context;
  (void)level;
  if (strncmp(line, lines->prefix, strlen(lines->prefix)) == 0) ++lines->count;
}

static void test_silent_line(void) {
  double start, elapsed;
  struct line_count opens = {"open ", 0}, reads = {"  read 0 of 1:", 0};

  /* A probe at each speed, with the closing pause of 1 s between them. */
  CHECK_EQ(api.SetTrace(2, count_prefixed, &opens), 0);
  start = now_seconds();
  CHECK_EQ(api.LinkCom(PORT_SILENT), 1);
  elapsed = now_seconds() - start;
  CHECK_EQ(api.SetTrace(0, NULL, NULL), 0);
  CHECK(elapsed > 1.1);
  CHECK_EQ(opens.count, 2);
  CHECK_EQ(api.ComBaudRate(), 0);

  /* The port stays open at 9600. After the failed probes the line is proved
   * clean first (two empty reads of quiet), then the exchange gets no answer
   * to its start byte: two reads of about 0.1 s, and no more. */
  CHECK_EQ(api.SetTrace(3, count_prefixed, &reads), 0);
  start = now_seconds();
  CHECK_EQ(api.PowerOn(), KULVE_LINK_NO_ANSWER);
  elapsed = now_seconds() - start;
  CHECK_EQ(api.SetTrace(0, NULL, NULL), 0);
  printf("  silent line: no answer after %.3f s\n", elapsed);
  CHECK(elapsed > 0.15);
  CHECK_EQ(reads.count, 4);
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
  CHECK(api.GetLinkOsError() != 0); /* CreateFileA's GetLastError */
  printf("  no such device: %s\n", text);
  CHECK_EQ(api.SetComPortPath(6, "\\\\.\\COM7"), 0);
  CHECK_EQ(api.LinkCom(PORT_SILENT), 1);
  CHECK_EQ(api.GetLinkError(text, sizeof text), KULVE_LINK_ERROR_NO_ANSWER);
  printf("  COM3: %s\n", text);

  CHECK_EQ(api.SetTrace(5, count_trace, &g_trace_lines), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.SetTrace(2, count_trace, &g_trace_lines), 0);
  CHECK_EQ(api.LinkCom(PORT_BOTH), 0);
  CHECK_EQ(api.GetLinkError(NULL, 0), KULVE_LINK_ERROR_NONE);
  CHECK_EQ(api.GetLinkOsError(), 0);
  CHECK_EQ(api.GetDeviceNumber(number), 0);
  CHECK_EQ(api.SetTrace(0, NULL, NULL), 0);
  CHECK_EQ(g_trace_frames, 2); /* the probe and the device number */
  CHECK(g_trace_lines >= 5);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* The attendance terminal on COM1: its records, read day by day over the
 * three weeks before its date, add up to its current position; the clock
 * takes a setting; the pass-through command echoes and its count is checked
 * before anything is sent. */
static void test_attendance_calls(void) {
  KqTime now, set = {{24, 2, 29, 23, 59, 58, 4}};
  KqDate today;
  unsigned char low[4], record[255 + 8], buffer[256 + 8];
  const unsigned char password[6] = {1, 2, 3, 4, 5, 6};
  int first = -1, total = 0, n, i, current, records_read = 0;
  if (api.KQ_GetTime == NULL || api.KQ_TransCmd == NULL || api.KQ_ReadRecord == NULL) {
    printf("  (attendance terminal not exported in this build)\n");
    return;
  }
  CHECK_EQ(api.LinkCom(PORT_BOTH), 0);
  CHECK_EQ(api.KQ_GetTime(&now), 0);
  today.year = (unsigned char)now.field[0];
  today.month = (unsigned char)now.field[1];
  today.day = (unsigned char)now.field[2];
  CHECK_EQ(api.KQ_GetCurrentPos(&first, low), 0);
  current = first << 16 | low[1] << 8 | low[0];
  CHECK(current > 0);
  CHECK(low[2] == 0 && low[3] == 0);

  /* One day more on each side, in case the date changed since the records were made. */
  for (n = api.KQ_Daysbyte(&today) - 22; n <= api.KQ_Daysbyte(&today); ++n) {
    KqDate d;
    int date[3], start, end;
    api.KQ_Datebyte(n, &d);
    date[0] = d.year;
    date[1] = d.month;
    date[2] = d.day;
    CHECK_EQ(api.KQ_GetStartPos(date, &first, low), 0);
    start = first << 16 | low[1] << 8 | low[0];
    CHECK_EQ(api.KQ_GetEndPos(date, &first, low), 0);
    end = first << 16 | low[1] << 8 | low[0];
    CHECK(end >= start);
    total += end - start;
    if (end > start && !records_read) {
      int count = end - start > 31 ? 31 : end - start;
      memset(record, 0xA5, sizeof record);
      CHECK_EQ(api.KQ_ReadRecord(start >> 16, start & 0xFFFF, count, record), 0);
      for (i = 0; i < count; ++i) CHECK(record[i * 8 + 7] == 1 || record[i * 8 + 7] == 2);
      for (i = count * 8; i < (int)sizeof record; ++i) CHECK(record[i] == 0xA5);
      records_read = 1;
    }
  }
  CHECK_EQ(total, current);
  CHECK_EQ(api.KQ_EndTrans(), 0);

  CHECK_EQ(api.KQ_SetTime(&set), 0);
  CHECK_EQ(api.KQ_GetTime(&now), 0);
  CHECK(now.field[0] == 24 && now.field[1] <= 3 && now.field[6] >= 4 && now.field[6] <= 5);

  memset(buffer, 0xA5, sizeof buffer);
  buffer[0] = 0x11;
  buffer[1] = 0x22;
  CHECK_EQ(api.KQ_TransCmd(0, 3, buffer), 0); /* sub 0 echoes 11 22 */
  CHECK(buffer[0] == 2 && buffer[1] == 0x11 && buffer[2] == 0x22 && buffer[3] == 0xA5);
  CHECK_EQ(api.KQ_TransCmd(0, 0, buffer), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.KQ_TransCmd(0, 256, buffer), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.KQ_TransCmd(0, -1, buffer), KULVE_BAD_ARGUMENT);
  CHECK(buffer[0] == 2);

  CHECK_EQ(api.KQ_Display("WINE            "), 0);
  CHECK_EQ(api.KQ_DownloadPSW(1, password), 0);
  CHECK_EQ(api.KQ_SysInit(), 0);
  CHECK_EQ(api.KQ_GetCurrentPos(&first, low), 0);
  CHECK(first == 0 && low[0] == 0 && low[1] == 0);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* The AT88SC1608 exports through the DLL against the card on COM1: the
 * library's keystream generator, as built for this target, must agree with
 * the simulated card's, and buffers get exactly their documented bytes. */
static void test_at1608_calls(void) {
  static const unsigned char seed[8] = {0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31, 0x36, 0x30};
  static const unsigned char data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  unsigned char challenge[8] = {0xC0, 0xFF, 0xEE, 0x01, 0x02, 0x03, 0x04, 0x05};
  unsigned char wrong_seed[8], password[4] = {0xFF, 0xFF, 0xFF, 0x00}, buffer[8], fuse = 0;
  if (api.AT1608_Authentic == NULL || api.AT1608_Psw == NULL || api.AT1608_Write == NULL ||
      api.AT1608_Read == NULL || api.AT1608_ReadFuse == NULL || api.AT1608_Reset == NULL) {
    printf("  (AT88SC1608 not exported in this build)\n");
    return;
  }
  CHECK_EQ(api.LinkCom(PORT_BOTH), 0);
  CHECK_EQ(api.PowerOn(), 0);

  CHECK_EQ(api.AT1608_Authentic(challenge, seed), 0);
  CHECK_EQ(challenge[0], 8);
  CHECK_EQ(challenge[1], '8');
  CHECK_EQ(challenge[2], 0xEE); /* bytes 2..7 stay */
  memcpy(wrong_seed, seed, sizeof wrong_seed);
  wrong_seed[5] ^= 0x40;
  CHECK_EQ(api.AT1608_Authentic(challenge, wrong_seed), KULVE_NOT_FOR_CARD_TYPE);
  CHECK_EQ(challenge[0], 7);

  CHECK_EQ(api.AT1608_Psw(0, password), 0);
  CHECK_EQ(password[0], 8);
  CHECK_EQ(api.AT1608_Write(0, 32, 4, data), 0);
  memset(buffer, 0x5A, sizeof buffer);
  CHECK_EQ(api.AT1608_Read(0, 32, 4, buffer), 0);
  CHECK(memcmp(buffer, data, 4) == 0);
  CHECK(buffer[4] == 0x5A);
  CHECK_EQ(api.AT1608_ReadFuse(&fuse), 0);
  CHECK_EQ(fuse, 0x07);
  CHECK_EQ(api.AT1608_Reset(), 0);
  CHECK_EQ(api.AT1608_Read(9, 0, 4, buffer), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.AT1608_Psw(-1, password), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* The e5550 exports through the DLL against the transponder in COM1's field:
 * the init record crosses the boundary as a pointer, replies land in 4-byte
 * blocks and no further, and the block guard refuses 0 before sending. */
static void test_e5550_calls(void) {
  enum { BLOCK_HIDDEN = 0xD4 }; /* the simulated transponder's "not readable" */
  static const unsigned char password[4] = {0, 0, 0, 0};
  unsigned char answer[8], data[8], read[8];
  Rf5550InitRecord record;
  int i;
  if (api.RF5550_ReadBlk == NULL || api.RF5550_WriteBlk == NULL || api.RF5550_Init == NULL ||
      api.RF5550_Wake == NULL || api.RF5550_ReadAfterWake == NULL || api.RF5550_WriteAfterWake == NULL ||
      api.RF5550_Mcmno == NULL) {
    printf("  (e5550 not exported in this build)\n");
    return;
  }
  CHECK_EQ(api.LinkCom(PORT_BOTH), 0);

  memset(answer, 0x5A, sizeof answer);
  CHECK_EQ(api.RF5550_Mcmno(answer), 0);
  CHECK(answer[2] == 0 && answer[3] == 0);
  for (i = 4; i < 8; ++i) CHECK(answer[i] == 0x5A);

  memcpy(data, "\xCA\xFE\xF0\x0D\x5A\x5A\x5A\x5A", 8);
  CHECK_EQ(api.RF5550_WriteBlk(0, password, data, 0), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.RF5550_WriteBlk(1, password, data, 0), 0);
  memset(read, 0x5A, sizeof read);
  CHECK_EQ(api.RF5550_ReadBlk(1, read), 0);
  CHECK(memcmp(read, data, 8) == 0);

  /* Highest readable block 1, then 7 again. */
  memset(&record, 0, sizeof record);
  record.value[9] = 1;
  CHECK_EQ(api.RF5550_Init(&record, password, 0), 0);
  CHECK_EQ(api.RF5550_ReadBlk(2, read), BLOCK_HIDDEN);
  record.value[9] = 7;
  CHECK_EQ(api.RF5550_Init(&record, password, 0), 0);

  CHECK_EQ(api.RF5550_Wake(password), 0);
  memcpy(data, "\x0B\xAD\xF0\x0D", 4);
  CHECK_EQ(api.RF5550_WriteAfterWake(2, password, data, 0), 0);
  memset(read, 0x5A, sizeof read);
  CHECK_EQ(api.RF5550_ReadAfterWake(2, password, read), 0);
  CHECK(memcmp(read, "\x0B\xAD\xF0\x0D\x5A\x5A\x5A\x5A", 8) == 0);

  CHECK_EQ(api.RF5550_ReadBlk(1, NULL), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.RF5550_Init(NULL, password, 0), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* A reset and APDUs through the DLL, against the reader's default chip cards:
 * a T=1 CPU card and T=0 SAMs running the simulator's demo application. */
static void test_cpucard_calls(void) {
  static const unsigned char name[7] = {0xF0, 0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31};
  unsigned char atr[KULVE_ATR_BUFFER_SIZE], request[KULVE_APDU_REQUEST_SIZE];
  unsigned char packed[KULVE_PACKED_APDU_SIZE], response[KULVE_APDU_RESPONSE_SIZE + 8];
  if (api.CpuCardReset == NULL || api.ProCpuCardCmd == NULL || api.ProSamCard1 == NULL) {
    printf("  (CPU cards not exported in this build)\n");
    return;
  }
  CHECK_EQ(api.CPUCardProtocolType(), 1); /* before any reset */
  CHECK_EQ(api.LinkCom(PORT_BOTH), 0);

  memset(atr, 0xEE, sizeof atr);
  CHECK_EQ(api.CpuCardReset(atr), 0);
  CHECK(atr[0] >= 2 && atr[1] == 0x3B);
  CHECK(atr[1 + atr[0]] == 0xEE);
  CHECK_EQ(api.CPUCardProtocolType(), 1);

  /* SELECT by name in the fixed request layout. No Le follows the data
   * (case 3), so the T=1 card selects and sends no FCI. */
  memset(request, 0, sizeof request);
  request[1] = 0xA4;
  request[2] = 0x04;
  request[4] = sizeof name;
  memcpy(request + 5, name, sizeof name);
  memset(response, 0xEE, sizeof response);
  CHECK_EQ(api.ProCpuCardCmd(request, response), 0x9000);
  CHECK_EQ(response[0], 0);
  CHECK(response[1] == 0xEE);

  /* SAM 1 speaks T=0, so its reset switches the framing of every slot. */
  CHECK_EQ(api.SamCard1Reset(atr), 0);
  CHECK_EQ(api.CPUCardProtocolType(), 0);
  memset(packed, 0, sizeof packed);
  packed[1] = 0x84; /* GET CHALLENGE, Le 8 */
  packed[5] = 8;
  CHECK_EQ(api.ProSamCard1(packed, response), 0x9000);
  CHECK_EQ(response[0], 8);
  CHECK_EQ(packed[0], 5); /* the APDU as sent */
  CHECK(memcmp(packed + 1, "\x00\x84\x00\x00\x08", 5) == 0);

  /* The full mode through ChipTransmit: the same challenge from the T=0 SAM,
   * data and status word counted; a response buffer too small says what it
   * needs. */
  if (api.SetChipProtocolMode != NULL && api.ChipTransmit != NULL) {
    static const unsigned char challenge[5] = {0x00, 0x84, 0x00, 0x00, 0x08};
    int length = -1;
    CHECK_EQ(api.SetChipProtocolMode(7), KULVE_BAD_ARGUMENT);
    CHECK_EQ(api.SetChipProtocolMode(1), 0);
    CHECK_EQ(api.ChipTransmit(1, challenge, sizeof challenge, response, sizeof response, &length), 0x9000);
    CHECK_EQ(length, 10);
    CHECK(response[8] == 0x90 && response[9] == 0x00);
    CHECK_EQ(api.ChipTransmit(1, challenge, sizeof challenge, response, 4, &length), KULVE_RESPONSE_TOO_LONG);
    CHECK_EQ(length, 10);
    CHECK_EQ(api.SetChipProtocolMode(0), 0);
  }

  /* More than 128 data bytes are refused before anything is sent. */
  memset(packed, 0, sizeof packed);
  packed[1] = 0xD6;
  packed[4] = 129;
  response[0] = 0x77;
  CHECK_EQ(api.ProSamCard1(packed, response), KULVE_BAD_ARGUMENT);
  CHECK_EQ(response[0], 0);
  CHECK_EQ(packed[4], 129);
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* The Mifare exports through the DLL, on COM4 with a card in the field. Its
 * first serial-number query fails on the line (no acknowledgement): the
 * library closes the port, links again and repeats the request, so the call
 * succeeds after the lost acknowledgement (~1 s) and the closing pause (1 s).
 * Buffers are written to their documented size and no further. */
static void test_mifare_calls(void) {
  static const unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  unsigned char serial[8], block[32], card[800];
  double start, elapsed;
  struct line_count opens = {"open ", 0};
  int i;
  if (api.RFMifare_GetSnr == NULL || api.RFMifare_ReadBloca == NULL || api.RFMifare_Halt == NULL) {
    printf("  (Mifare not exported in this build)\n");
    return;
  }
  CHECK_EQ(api.LinkCom(PORT_FAULTS), 0);
  memset(serial, 0xA5, sizeof serial);
  CHECK_EQ(api.SetTrace(2, count_prefixed, &opens), 0);
  start = now_seconds();
  CHECK_EQ(api.RFMifare_GetSnr(serial), 0);
  elapsed = now_seconds() - start;
  CHECK_EQ(api.SetTrace(0, NULL, NULL), 0);
  printf("  serial number after a relink: %.3f s, %d open(s)\n", elapsed, opens.count);
  CHECK(elapsed > 1.5);
  CHECK_EQ(opens.count, 1); /* one relink, not one per try */
  CHECK(serial[0] == 0x0A && serial[1] == 0x1B && serial[2] == 0x2C && serial[3] == 0x3D);
  for (i = 4; i < (int)sizeof serial; ++i) CHECK(serial[i] == 0xA5);

  CHECK_EQ(api.RFMifare_Authmode(2), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.RFMifare_TransKey(16, key), KULVE_BAD_ARGUMENT);
  CHECK_EQ(api.RFMifare_TransKey(15, key), 0);
  CHECK_EQ(api.RFMifare_Authmode(0), 0);

  memset(block, 0xA5, sizeof block);
  CHECK_EQ(api.RFMifare_ReadBlock(0, 0, block), 0); /* the manufacturer block starts with the UID */
  CHECK(memcmp(block, serial, 4) == 0);
  for (i = 16; i < (int)sizeof block; ++i) CHECK(block[i] == 0xA5);

  memset(card, 0xA5, sizeof card);
  CHECK_EQ(api.RFMifare_ReadBloca(0, 0, card), 0);
  CHECK(memcmp(card, serial, 4) == 0);
  for (i = 768; i < (int)sizeof card; ++i) CHECK(card[i] == 0xA5);
  CHECK_EQ(api.RFMifare_Halt(), 0);

  /* The whole card with the transport key on every sector, and back. */
  if (api.MifareDumpCard != NULL && api.MifareRestoreCard != NULL) {
    static const unsigned char every[7] = {KULVE_MIFARE_EVERY_SECTOR, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    static unsigned char image[KULVE_MIFARE_IMAGE_SIZE(16) + 1];
    unsigned char status[17];
    memset(image, 0xA5, sizeof image);
    memset(status, 0xA5, sizeof status);
    CHECK_EQ(api.MifareDumpCard(16, every, 7, image, KULVE_MIFARE_IMAGE_SIZE(16), status, 16), 0);
    CHECK(memcmp(image, serial, 4) == 0 && image[1024] == 0xA5 && status[16] == 0xA5);
    for (i = 0; i < 16; ++i) CHECK(status[i] == 0);
    CHECK_EQ(api.MifareRestoreCard(16, every, 6, image, KULVE_MIFARE_IMAGE_SIZE(16), 0), KULVE_BAD_ARGUMENT);
    CHECK_EQ(api.MifareRestoreCard(16, every, 7, image, KULVE_MIFARE_IMAGE_SIZE(16), 0), 0);
  }
  CHECK_EQ(api.UnLinkCom(), 0);
}

/* Two handles on two readers, COM1 and COM4, alive at once: one call of each
 * family through the handle API, each handle keeping its own results, and a
 * thread per handle driving both together. A handle on a port that does not
 * open keeps the reason. */
struct handle_worker {
  kulve_reader *reader;
  int mifare; /* 1: the Mifare serial number, 0: the device number */
  int failures;
};

static DWORD WINAPI drive_handle(LPVOID context) {
  struct handle_worker *worker = (struct handle_worker *)context;
  unsigned char answer[8];
  int i;
  for (i = 0; i < 10; ++i) {
    int result = worker->mifare ? handle_api.mifare_serial(worker->reader, answer, 4)
                                : handle_api.reader_device_number(worker->reader, answer, 8);
    worker->failures += result != 0;
  }
  return 0;
}

static void test_handles(void) {
  enum { NO_CARD = 0x83 };
  kulve_reader *first = NULL, *second = NULL, *none = NULL;
  unsigned char buffer[KULVE_ATR_BUFFER_SIZE], serial[8];
  char text[256];
  KqTime now;
  struct handle_worker workers[2];
  HANDLE threads[2];
  int i, present;
  if (!resolve_handle_api()) {
    fail_at(__FILE__, __LINE__, "a handle function is not exported by name");
    return;
  }
  CHECK_EQ(handle_api.open("\\\\.\\COM1", &first), 0);
  CHECK_EQ(handle_api.open("\\\\.\\COM4", &second), 0);
  if (first == NULL || second == NULL) {
    handle_api.close(first);
    handle_api.close(second);
    return;
  }
  CHECK_EQ(handle_api.reader_baud_rate(first), 57600);

  /* reader: an answer of 8 bytes needs 8 bytes of room. */
  memset(buffer, 0xA5, sizeof buffer);
  CHECK_EQ(handle_api.reader_device_number(first, buffer, 7), KULVE_BAD_ARGUMENT);
  CHECK(buffer[0] == 0xA5);
  CHECK_EQ(handle_api.result_origin(first, KULVE_BAD_ARGUMENT), KULVE_ORIGIN_LIBRARY);
  CHECK_EQ(handle_api.reader_device_number(first, buffer, 8), 0);
  CHECK(buffer[8] == 0xA5);

  /* mifare, on the other reader (its first serial-number query may be the
   * one COM4 fails on the line: the handle relinks and repeats it). */
  memset(serial, 0xA5, sizeof serial);
  CHECK_EQ(handle_api.mifare_serial(second, serial, 4), 0);
  CHECK(serial[0] == 0x0A && serial[1] == 0x1B && serial[2] == 0x2C && serial[3] == 0x3D);
  CHECK(serial[4] == 0xA5);
  {
    static const unsigned char every[7] = {KULVE_MIFARE_EVERY_SECTOR, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    static unsigned char image[KULVE_MIFARE_IMAGE_SIZE(40)];
    unsigned char status[40];
    CHECK_EQ(handle_api.mifare_dump(second, 40, every, 7, image, sizeof image, status, 39), KULVE_BAD_ARGUMENT);
    CHECK_EQ(handle_api.mifare_dump(second, 16, every, 7, image, KULVE_MIFARE_IMAGE_SIZE(16), status, 16), 0);
    CHECK(memcmp(image, serial, 4) == 0);
    CHECK_EQ(handle_api.mifare_restore(second, 16, every, 7, image, KULVE_MIFARE_IMAGE_SIZE(16) - 1, 0),
             KULVE_BAD_ARGUMENT);
  }

  /* memcard: the reader's refusal is the reader's, on this handle only. */
  CHECK_EQ(handle_api.reader_select_card(first, 1), 0);
  CHECK_EQ(handle_api.memcard_read(first, 18, 0, 0, 16, buffer, 16), NO_CARD);
  CHECK_EQ(handle_api.result_origin(first, NO_CARD), KULVE_ORIGIN_READER);
  CHECK_EQ(handle_api.result_origin(second, NO_CARD), KULVE_ORIGIN_LIBRARY);

  /* chip, at1608, e5550, kq: COM1's cards and terminal. */
  memset(buffer, 0xEE, sizeof buffer);
  CHECK_EQ(handle_api.chip_reset(first, 0, buffer, sizeof buffer), 0);
  CHECK(buffer[0] >= 2 && buffer[1] == 0x3B);
  CHECK_EQ(handle_api.reader_power_on(first), 0);
  CHECK_EQ(handle_api.at1608_reset(first), 0);
  memset(buffer, 0x5A, 8);
  CHECK_EQ(handle_api.e5550_module(first, buffer, 4), 0);
  CHECK(buffer[4] == 0x5A);
  CHECK_EQ(handle_api.kq_get_time(first, &now), 0);
  CHECK(now.field[1] >= 1 && now.field[1] <= 12);

  /* presence: COM1's CPU card (its slot probed first), COM4's Mifare card;
   * no turn is due right after a probe, so a wait of 0 sees no change. */
  present = -1;
  CHECK_EQ(handle_api.wait_presence(first, KULVE_SLOT_CPU | KULVE_SLOT_MEMORY, 0, 30000, &present), 0);
  CHECK_EQ(present, KULVE_SLOT_CPU);
  CHECK_EQ(handle_api.wait_presence(second, KULVE_SLOT_FIELD, 0, 30000, &present), 0);
  CHECK_EQ(present, KULVE_SLOT_FIELD);
  CHECK_EQ(handle_api.wait_presence(first, KULVE_SLOT_MEMORY, 0, 0, &present), KULVE_NO_CHANGE);

  /* Both readers at once, one thread each. */
  workers[0].reader = first;
  workers[0].mifare = 0;
  workers[0].failures = 0;
  workers[1].reader = second;
  workers[1].mifare = 1;
  workers[1].failures = 0;
  for (i = 0; i < 2; ++i) threads[i] = CreateThread(NULL, 0, drive_handle, &workers[i], 0, NULL);
  CHECK(threads[0] != NULL && threads[1] != NULL);
  for (i = 0; i < 2; ++i) {
    if (threads[i] == NULL) continue;
    WaitForSingleObject(threads[i], INFINITE);
    CloseHandle(threads[i]);
  }
  CHECK_EQ(workers[0].failures, 0);
  CHECK_EQ(workers[1].failures, 0);
  handle_api.close(first);
  handle_api.close(second);

  /* COM5 leads to nothing: the handle is kept with the reason and the
   * system's error number. */
  CHECK_EQ(handle_api.open("\\\\.\\COM5", &none), 1);
  CHECK(none != NULL);
  if (none != NULL) {
    CHECK(handle_api.link_error(none, text, sizeof text) != 0);
    CHECK(handle_api.link_os_error(none) > 0);
    printf("  COM5: %s (system error %d)\n", text, handle_api.link_os_error(none));
    handle_api.close(none);
  }
  CHECK_EQ(handle_api.link_os_error(NULL), -1);
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
    {"attendance_dates", test_attendance_dates, 0},
    {"version_resource", test_version_resource, 0},
    {"link_fast_and_housekeeping", test_link_fast_and_housekeeping, 1},
    {"fallback_to_9600", test_fallback_to_9600, 1},
    {"com10_and_custom_path", test_com10_and_custom_path, 1},
    {"autolink", test_autolink, 1},
    {"silent_line", test_silent_line, 1},
    {"fault_letters", test_fault_letters, 1},
    {"memcard_calls", test_memcard_calls, 1},
    {"diagnostics", test_diagnostics, 1},
    {"attendance_calls", test_attendance_calls, 1},
    {"at1608_calls", test_at1608_calls, 1},
    {"e5550_calls", test_e5550_calls, 1},
    {"cpucard_calls", test_cpucard_calls, 1},
    {"mifare_calls", test_mifare_calls, 1},
    {"handles", test_handles, 1},
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
