/* SPDX-License-Identifier: MIT */
/*
 * kulve32.h - public interface of the KULVE32 card reader library.
 *
 * Every function drives the one reader connection of the process, except the
 * DES functions, DLLVER and ComBaudRate, which talk to nothing. Device
 * functions return the one-byte link status of their last exchange,
 * zero-extended: 0 = success, another value = the reader's own refusal, or a
 * link-failure letter 'e' (0x65) .. 's' (0x73) naming the step of the frame
 * that failed (see KULVE_LINK_* below). Library codes: 3 = not available for
 * the selected card type, 4 = argument out of range (nothing sent),
 * 19 = the inserted card does not match the selected card type.
 *
 * Threads: the device functions share one port and one request record; call
 * them from one thread at a time. EnDesData/UnDesData are safe on any thread.
 *
 * On Windows every function uses the stdcall convention (WINAPI) and is
 * exported under its plain name with a fixed ordinal.
 */
#ifndef KULVE32_H
#define KULVE32_H

#ifdef _WIN32
#  define KULVE_CALL __stdcall
#  define KULVE_API
#else
#  define KULVE_CALL
#  if defined(KULVE_BUILDING_LIBRARY)
#    define KULVE_API __attribute__((visibility("default")))
#  else
#    define KULVE_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Library result codes (besides 0 and the reader's own status values). */
#define KULVE_NOT_FOR_CARD_TYPE 3
#define KULVE_BAD_ARGUMENT 4
#define KULVE_WRONG_CARD 19

/* Link-failure letters: the step of the frame exchange that failed. */
#define KULVE_LINK_HASH_NOT_WRITTEN    0x65 /* 'e' start byte not written in 2 tries */
#define KULVE_LINK_NO_ANSWER           0x66 /* 'f' no answer to the start byte */
#define KULVE_LINK_BAD_ANSWER          0x67 /* 'g' the answer to the start byte was wrong */
#define KULVE_LINK_CODE_NOT_WRITTEN    0x68 /* 'h' */
#define KULVE_LINK_LENGTH_NOT_WRITTEN  0x69 /* 'i' */
#define KULVE_LINK_DATA_NOT_WRITTEN    0x6A /* 'j' */
#define KULVE_LINK_CHECK_NOT_WRITTEN   0x6B /* 'k' */
#define KULVE_LINK_NO_ACK              0x6C /* 'l' */
#define KULVE_LINK_BAD_ACK             0x6D /* 'm' */
#define KULVE_LINK_GO_NOT_WRITTEN      0x6E /* 'n' */
#define KULVE_LINK_NO_STATUS           0x6F /* 'o' */
#define KULVE_LINK_NO_LENGTH           0x70 /* 'p' */
#define KULVE_LINK_SHORT_REPLY         0x71 /* 'q' */
#define KULVE_LINK_NO_CHECKSUM         0x72 /* 'r' */
#define KULVE_LINK_BAD_CHECKSUM        0x73 /* 's' */

/* ---- Link ------------------------------------------------------------ */

/* Opens port index 0..9 (COM1..COM10) at 57600 bit/s, probes the reader, and
 * falls back to 9600 bit/s. 0 = a reader answered, 1 = none at either speed.
 * Sets the card type to 255 (none selected). On POSIX the fast speed is set as
 * B57600: UART hardware turns the Windows settings value 56000 into 57600
 * through its divisor, so that is the speed a reader sees either way. */
KULVE_API int KULVE_CALL LinkCom(int port);

/* Purges and closes the port, then pauses 1000 ms. 0 = closed, 1 = no port was open. */
KULVE_API int KULVE_CALL UnLinkCom(void);

/* Tries COM1 then COM2 (COM2 first when *port is 1); on success writes the
 * index that answered into *port. Returns the link status of the last probe.
 * When neither port can be opened at all (so no probe ran) it returns
 * KULVE_LINK_NO_ANSWER ('f') rather than a stale status. */
KULVE_API int KULVE_CALL AutoLinkCom(int *port);

/* The speed found by the last LinkCom: 57600, 9600, or 0. No exchange. */
KULVE_API int KULVE_CALL ComBaudRate(void);

/* ---- Reader housekeeping ------------------------------------------------ */

KULVE_API int KULVE_CALL PowerOn(void);                 /* power the card */
KULVE_API int KULVE_CALL PowerOff(void);                /* unpower the card */
/* Tells the reader the card type (low 8 bits sent); on success the library's
 * card type becomes the full value. */
KULVE_API int KULVE_CALL SelectCard(int cardType);
/* On success writes the reader's card type, second state value and power
 * state (1 on, 0 off); the library's card type becomes the reader's. */
KULVE_API int KULVE_CALL Inquire(int *cardType, int *state, int *power);
KULVE_API int KULVE_CALL SetStandby(void);              /* reader standby */
/* Zeroes 8 bytes at number, then on success copies the reader's 8-byte device number. */
KULVE_API int KULVE_CALL GetDeviceNumber(unsigned char *number);
/* On success copies the reader's 8-byte version into version (not cleared first). */
KULVE_API int KULVE_CALL DEVVER(unsigned char *version);
/* Drives the reader's alarm; mode must be 1..7 (else 4, nothing sent); the
 * low bytes of all four values are passed through. */
KULVE_API int KULVE_CALL ALARM(int mode, int a, int b, int c);
/* The library version, 7321. No exchange. */
KULVE_API int KULVE_CALL DLLVER(void);

/* ---- Contact memory cards ------------------------------------------------ */
/* Behaviour depends on the selected card type (SelectCard/Inquire). Every
 * buffer must hold the size stated below; the library never writes past it,
 * whatever the reader answers. Argument checks come first and send nothing.
 *
 * Addressed access: area is the memory area selector (its low byte is sent;
 * 18 = card memory, 2 = security memory), the card address is
 * page * 256 + offset, and data moves in pieces of at most 64 bytes. The
 * result is the status of the last exchange; the first failing piece ends
 * the call, leaving earlier pieces done. 4 = page or offset negative, count
 * below 1, buffer null, or page * 256 + offset + count above 65536 (addresses
 * are 16 bits on the wire and are never allowed to wrap to the card's start).
 * Replies are copied at most a piece's length at a time, so buffer is never
 * written past count bytes even when a reader answers more than asked. */

/* Reads count bytes into buffer (count bytes). Each piece's reply is placed
 * after the bytes the previous replies carried. */
KULVE_API int KULVE_CALL ReadCard(int area, int page, int offset, int count, unsigned char *buffer);
/* Writes count bytes from buffer (count bytes); the reader's reply to each
 * piece, if any, is copied back over that piece's bytes. */
KULVE_API int KULVE_CALL WriteCard(int area, int page, int offset, int count, unsigned char *buffer);
/* Fills buffer (count bytes) with 0xFF, even if the exchange then fails, and
 * clears the card bytes: types 0, 15, 16, 17, 25, 26 with the erase command,
 * always in the card memory (area 18) whatever area says; other types by
 * writing the 0xFF bytes as WriteCard does. Replies copied back as WriteCard. */
KULVE_API int KULVE_CALL EraseCard(int area, int page, int offset, int count, unsigned char *buffer);

/* Paged access: a flat address split into page (16 bits on the wire) and
 * offset, with pages of 264 bytes for card type 21 and 256 otherwise; at most
 * 66 bytes per exchange, never across a page. 4 = address negative, count
 * below 1, buffer null, or address + count beyond page 65535. Replies are
 * copied at most a chunk's length at a time, so buffer is never written past
 * count bytes. */

/* Reads count bytes into buffer (count bytes). */
KULVE_API int KULVE_CALL ReadMemCard(int address, int count, unsigned char *buffer);
/* Writes count bytes from buffer (count bytes); replies, if any, are copied
 * back from the start of each page's piece on. */
KULVE_API int KULVE_CALL WriteMemCard(int address, int count, unsigned char *buffer);
/* Fills buffer (count bytes) with 0xFF, then writes it as WriteMemCard. */
KULVE_API int KULVE_CALL EraseMemCard(int address, int count, unsigned char *buffer);

/* 0 = the inserted card matches the selected type, 19 = it does not, else the
 * status of a failed read. Type 0 reads card bytes 0..1 twice (B7 A0 or
 * 37 A0), types 1..4 bytes 6..7 once (81 05, 81 15, 81 03, 81 13); types
 * 10..17, 19..27 and 30 give 0 and 5..9, 18, 28, 29, 255 and any other
 * value 19, without an exchange. */
KULVE_API int KULVE_CALL VerifyIC(void);
/* Sends the low byte of value to the reader's fuse command, for any type. */
KULVE_API int KULVE_CALL Fuse(int value);

/* Security codes. Code and key buffers hold at least 4 bytes, and at least
 * the number of code bytes sent where that is more; replies copied into them
 * stop there. 3 = the selected type has no such facility (or a length or key
 * number it does not take), nothing sent; 4 = a null buffer, or a length
 * outside 0..255 (0..254 for ModifySecret on types 2 and 4), nothing sent.
 * Where a reply is copied "even on a refusal", nothing is copied after a
 * link failure (the reply area then holds an earlier exchange's bytes). */

/* Presents the first length bytes of code. Types 0, 15..17: on success code
 * receives attempts counter (2 bytes) then code (2 bytes) as the reader
 * answered them; bytes the reply lacked read as 0. Types 25, 26: length must
 * be 2 (else 3); the reply is copied even on a refusal. Types with no code
 * (1, 3, 10..14, 19..24, 30, 255): 3. Others: the reply is copied on success.
 * code: max(length, 4) bytes. */
KULVE_API int KULVE_CALL CheckSecret(int length, unsigned char *code);
/* Reads the code and its attempts counter: counter 2 bytes, code 4 bytes.
 * Types 0, 15..17: both 2 bytes from card memory. Types 2, 4, 25, 26: counter
 * byte 0 = the security memory's first byte (0 if the reply is empty), byte 1
 * = 0; code receives the bytes after it, at most 4. Other types: 3. */
KULVE_API int KULVE_CALL ReadSecret(unsigned char *counter, unsigned char *code);
/* Replaces the code with the first bytes of code. Types 2, 4: length bytes
 * (0..254) written to the security memory; types 25, 26: length must be 2
 * (else 3). The reply is copied into code on success. Types 0, 15..17: the
 * new code is bytes 0..1 (length is not used); the old code is erased (3 if
 * the card does not read back 0xFF, after which the old code is gone), the
 * new one written, and on success code holds attempts counter (2 bytes) then
 * the code as written (2 bytes). Other types: 3. code: max(length, 4) bytes. */
KULVE_API int KULVE_CALL ModifySecret(int length, unsigned char *code);
/* Presents an erase key: the low byte of keyNumber, then the key bytes.
 * Types 0, 15: 4 key bytes, any key number. Type 16: key number 4 has 6 bytes
 * and 5 has 4; others 3. Types 25, 26: 2 key bytes, reply copied even on a
 * refusal. Other types (17 included): 3. The reply is copied into key on
 * success. key: 4 bytes, 6 for key number 4 of type 16. */
KULVE_API int KULVE_CALL CheckEraseSecret(int keyNumber, unsigned char *key);
/* Presents a 2-byte zone code for zone (low byte sent); types 25, 26 only,
 * else 3. The reply is copied into code even on a refusal. code: 4 bytes. */
KULVE_API int KULVE_CALL CheckZoneSecret(int zone, unsigned char *code);
/* Sets the access byte of zone (low bytes of both sent), for any type. */
KULVE_API int KULVE_CALL SetZoneRWBit(int zone, int access);

/* ---- Software DES (ECB) ---------------------------------------------------- */
/* DES in ECB mode: each 8-byte block of input (length bytes) is enciphered
 * (deciphered) with the 8-byte key into output (length bytes); the parity
 * bits of the key are ignored. 4 = length not a multiple of 8 (signed: -3
 * fails, -8 passes) or, with a positive length, a null pointer; nothing is
 * written then. A length of 0 or a negative multiple of 8 writes nothing and
 * returns 0. output may be input itself, or overlap it at any offset (the
 * result is always that of going block by block). Thread-safe. */
KULVE_API int KULVE_CALL EnDesData(const unsigned char *input, const unsigned char *key,
                                   unsigned char *output, int length);
KULVE_API int KULVE_CALL UnDesData(const unsigned char *input, const unsigned char *key,
                                   unsigned char *output, int length);

/* ---- CPU card and SAM slots (T=0 / T=1 APDUs) ------------------------------ */

/* ---- AT88SC1608 secure memory ------------------------------------------------ */

/* ---- e5550 transponders ------------------------------------------------------- */

/* ---- Mifare Classic ------------------------------------------------------------ */

/* ---- Attendance terminal ------------------------------------------------------- */

/* ---- Extensions (not in the classic export table; ordinals from 100) ------- */

#define KULVE_MAX_PORT_PATH 255

/* Sets the device that port index 0..9 opens: on POSIX any path (/dev/ttyUSB0,
 * /dev/serial/by-id/..., a pty); on Windows any device name (\\.\COM12).
 * Defaults: /dev/ttyS0../dev/ttyS9 on POSIX, \\.\COM1..\\.\COM10 on Windows.
 * 0 = set; 4 = index outside 0..9, or path null, empty or longer than
 * KULVE_MAX_PORT_PATH bytes. Takes effect at the next LinkCom.
 *
 * A reader behind a serial device server (or a machine running ser2net) is
 * given as a network address, on Linux and Windows alike:
 *   "tcp://HOST:PORT"      the raw byte stream of the server's serial line;
 *                          its line speed is the server's own business.
 *   "rfc2217://HOST:PORT"  Telnet with the COM port control option (RFC 2217).
 * HOST is a name, an IPv4 address or an [IPv6] address in brackets; PORT is
 * 1..65535; the scheme may be in any letter case. A malformed address is
 * accepted here and fails at LinkCom (KULVE_LINK_ERROR_NOT_FOUND).
 * Such a port behaves as a local one:
 *   - LinkCom connects for each speed it tries and closes the connection in
 *     UnLinkCom, so a connection the server drops is taken up again by the
 *     next LinkCom. Connecting gives up after 3 s. ComBaudRate reports the
 *     speed of the probe that was answered (57600 first), also over tcp://.
 *   - Every read and write keeps the timeouts of a local port (one deadline
 *     per transfer); bytes go out at once (TCP_NODELAY).
 *   - rfc2217://: at each open the library offers the COM port option and
 *     binary transmission, and once the server agrees it sets the server's
 *     line to 57600 (for the settings value 56000) or 9600 bit/s, 8 data bits,
 *     no parity, one stop bit, no flow control, and has both of the server's
 *     buffers purged; it waits up to 1 s for the server to agree and to
 *     confirm the speed, then goes on (a server that refuses the option keeps
 *     its own line settings; the probe decides). Where a local port is
 *     purged (at open and in UnLinkCom) the server is asked to purge too.
 *     0xFF data bytes are escaped both ways; option requests and the
 *     server's notifications are answered or skipped as they arrive, without
 *     counting as reply bytes. Options other than binary transmission,
 *     suppressed go-ahead and the COM port option are declined.
 *   - A name that does not resolve (KULVE_LINK_ERROR_UNRESOLVED), a refused
 *     connection (KULVE_LINK_ERROR_REFUSED) or a connect timeout
 *     (KULVE_LINK_ERROR_TIMEOUT) fails LinkCom without trying the second
 *     speed: the address is the same at both. Name resolution takes as long
 *     as the system's resolver takes.
 *   - A connection the server closes fails the exchange with its link-failure
 *     letter, as an unplugged adapter does, and GetLinkError says "the server
 *     closed the connection" (KULVE_LINK_ERROR_HANGUP); later exchanges fail
 *     at once ('e') until the next LinkCom.
 * At trace level 3 the open also reports what the server agreed to. */
KULVE_API int KULVE_CALL SetComPortPath(int port, const char *path);

/* Copies the device path of port index 0..9, NUL-terminated, into path
 * (size bytes). 0 = copied; 4 = bad index, null path or size too small. */
KULVE_API int KULVE_CALL GetComPortPath(int port, char *path, int size);

/* A human-readable description of any result a function of this library
 * returns: "ok" for 0, the meaning of 3, 4 and 19, each link-failure letter
 * with the step of the frame it names, and "reader status 0xNN" for the
 * reader's own statuses; card status words (above 255, from the APDU
 * functions) are described by their ISO/IEC 7816-4 meaning. The text is
 * static: never freed, never changed, valid for the life of the process.
 * Never null ("unknown result" for values no function returns). */
KULVE_API const char *KULVE_CALL ResultText(int result);

/* Why the link last failed. The codes: */
#define KULVE_LINK_ERROR_NONE        0  /* nothing failed since the last successful LinkCom */
#define KULVE_LINK_ERROR_BAD_INDEX   1  /* a port index outside 0..9 */
#define KULVE_LINK_ERROR_NOT_FOUND   2  /* no such device */
#define KULVE_LINK_ERROR_PERMISSION  3  /* the user may not open the device */
#define KULVE_LINK_ERROR_BUSY        4  /* another program holds the port */
#define KULVE_LINK_ERROR_SETTINGS    5  /* the system refused the line settings */
#define KULVE_LINK_ERROR_NO_ANSWER   6  /* the port opened, but no reader answered at 57600 or 9600 */
#define KULVE_LINK_ERROR_TIMEOUT     7  /* an exchange ran out of time: the reader stopped answering;
                                           or a network port's connection was not made within 3 s */
#define KULVE_LINK_ERROR_HANGUP      8  /* the line went away (adapter unplugged, connection closed) */
#define KULVE_LINK_ERROR_PROTOCOL    9  /* the reader answered, but broke the frame (wrong byte, checksum) */
#define KULVE_LINK_ERROR_SYSTEM     10  /* another operating-system error */
#define KULVE_LINK_ERROR_NOT_OPEN   11  /* an exchange was tried with no port open */
#define KULVE_LINK_ERROR_UNRESOLVED 12  /* network port: the host name could not be resolved */
#define KULVE_LINK_ERROR_REFUSED    13  /* network port: the connection was refused */

/* Returns the code of the last link-level failure (KULVE_LINK_ERROR_*) and,
 * when text is not null and size is at least 1, writes its description,
 * NUL-terminated and cut to size bytes, e.g. "open /dev/ttyUSB0: Permission
 * denied", "no answer at 57600 or 9600 on /dev/ttyUSB0 (no answer to the
 * start byte)" or "connect tcp://10.0.0.7:4001: Connection refused". Set by a failed LinkCom and by every exchange that fails on
 * the line (a link-failure letter); cleared by a successful LinkCom; a
 * successful exchange leaves it as it was. The operating system's own reason
 * (errno, GetLastError) is part of the text. */
KULVE_API int KULVE_CALL GetLinkError(char *text, int size);

/* The wire trace. Level 0 = off, 1 = failures with the step and the system's
 * reason, 2 = also every frame in hex (request code and data; reply status
 * and data; time taken), 3 = also every transfer on the port with its timing.
 * Lines go to callback (with its context) when it is not null, else to
 * standard error, or to the file named by KULVE32_TRACE_FILE. At load the
 * level comes from the environment variable KULVE32_TRACE (0..3).
 * 0 = set; 4 = level outside 0..3 (nothing changed). The callback runs on
 * the thread of the call being traced; line is valid only during the call. */
typedef void (KULVE_CALL *KulveTraceCallback)(int level, const char *line, void *context);
KULVE_API int KULVE_CALL SetTrace(int level, KulveTraceCallback callback, void *context);

#ifdef __cplusplus
}
#endif

#endif /* KULVE32_H */
