/* SPDX-License-Identifier: MIT */
/*
 * kulve32.h - public interface of the KULVE32 card reader library.
 *
 * Every function drives the one reader connection of the process, except the
 * DES functions, DLLVER and ComBaudRate, which talk to nothing. To drive
 * several readers at once, see the handle API at the end of this header
 * (kulve_open and the kulve_ functions). Device
 * functions return the one-byte link status of their last exchange,
 * zero-extended: 0 = success, another value = the reader's own refusal, or a
 * link-failure letter 'e' (0x65) .. 's' (0x73) naming the step of the frame
 * that failed (see KULVE_LINK_* below). Library codes: 3 = not available for
 * the selected card type, 4 = argument out of range (nothing sent),
 * 19 = the inserted card does not match the selected card type.
 *
 * Threads: the device functions share one port and one request record; call
 * them from one thread at a time. A process-wide lock around every device
 * function makes a mistake safe: two threads that call at once get two whole
 * calls, one after the other. EnDesData/UnDesData take no lock and are safe
 * on any thread. Nothing cancels a call in progress. A trace callback that
 * calls a device function is refused (KULVE_IN_CALLBACK, see SetTrace).
 *
 * On Windows every function uses the stdcall convention (WINAPI) and is
 * exported under its plain name with a fixed ordinal.
 *
 * Security.
 *   - The trace (SetTrace) never shows a key, code or password unless asked
 *     to: see "Secrets" at SetTrace.
 *   - What the library reads from outside: the environment variables
 *     KULVE32_TRACE, KULVE32_TRACE_FILE, KULVE32_TRACE_SECRETS,
 *     KULVE32_SPEED, KULVE32_CONFIG and KULVE32_PORTS, and for the per-user configuration
 *     file XDG_CONFIG_HOME and HOME (POSIX) or APPDATA (Windows); the
 *     configuration files of SetComPortPath.
 *   - In a privileged process (POSIX: setuid, setgid or with file
 *     capabilities, as the kernel's AT_SECURE says) none of those variables
 *     is read and no per-user file: the trace stays off, and the port map
 *     comes from /etc/kulve32.conf alone, beside SetComPortPath. The user who
 *     starts such a program cannot choose where it writes, which file it
 *     quotes in a port-map complaint, or which device or address it opens.
 *   - Windows: a DLL running in a service (the SERVICE group in its token) or
 *     as LocalSystem, LocalService or NetworkService reads no
 *     %APPDATA%\KULVE32.INI, only the KULVE32.INI beside the DLL.
 *   - The trace file (KULVE32_TRACE_FILE) is only ever appended to. POSIX:
 *     it is created with mode 0600 whatever the umask (an existing file of
 *     the user is set to 0600 too), and it is refused when the last
 *     component of its path is a symbolic link, when it is not a regular
 *     file (a FIFO or a device: opened without blocking, then refused), or
 *     when it exists owned by another user or with any group or other
 *     permission bit. A refused or unopenable file is named in one line on
 *     standard error, and the trace lines then go to standard error.
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
/* CPU card and SAM APDUs (see those functions): */
#define KULVE_T1_NOT_AN_ANSWER 40  /* the card answered with a T=1 block that is not an answer */
#define KULVE_T1_EXCHANGE_LOST 41  /* full mode: the T=1 exchange was lost (retransmitted twice, then
                                      resynchronised); the command may or may not have run */
#define KULVE_RESPONSE_TOO_LONG 42 /* full mode: the answer does not fit the caller's buffer */
#define KULVE_T1_ABORTED 43        /* full mode: the card sent S(ABORT request), answered with
                                      S(ABORT response); the command may or may not have run */
#define KULVE_CARD_MUST_BE_RESET 44 /* full mode: three S(RESYNCH) failed; the library sends nothing
                                      more to that slot until it is reset */
#define KULVE_ANSWER_TOO_LARGE 45  /* full mode: the card's answer exceeds 65,538 bytes; the command
                                      ran, its answer is lost */
#define KULVE_NO_CHANGE 49        /* kulve_wait_presence: no card came or went before the timeout */
#define KULVE_CALL_TIME_BOUND 46   /* full mode: the call's bound on waiting for the card (300 s)
                                      ran out; the command may or may not have run */
/* A call made from inside a trace callback into the reader being traced
 * (the process-wide one for the documented functions, the same handle for
 * the kulve_ functions): refused, nothing done, nothing written. Negative,
 * so it is never a reader status. See SetTrace. */
#define KULVE_IN_CALLBACK (-2)

/* Link-failure letters: the step of the frame exchange that failed.
 * After an exchange that failed, the rest of its reply may still come (a
 * reader or host that ran late), at any time and holding any bytes: card
 * data can hold 'E', 'g' and whole frames whose checksums fit. No byte is
 * ever judged by its value, so none of that reply is read as part of a new
 * one. Instead the next exchange first proves the line clean:
 *   1. it drops what the port holds, then reads and drops what comes until
 *      the line has been quiet for the read interval (two empty reads of
 *      about 0.1 s; a network port adds its delay allowance, see
 *      SetComPortPath), at most a whole reply's worth of bytes;
 *   2. it sends the link probe (code 0): the answer to its start byte is the
 *      last byte before the line falls quiet again for the read interval
 *      (the reader answers in turn, after any late bytes), and the probe must
 *      be answered in full with status 0 and a fitting checksum;
 *   3. the line must stay quiet after that answer.
 * Only then is the request sent. This relies on the reader keeping its
 * documented pace (no pause of 0.2 s inside a reply) and answering in turn.
 * When the proof fails it is tried once more, unless the reader said
 * nothing at all; then the request fails, with the probe's letter or 'g'
 * (bytes where the line had to be quiet), and the next exchange tries
 * again. It costs about 0.4 s once after each failure. Late bytes already
 * on their way thus cost no exchange but their own. The dropped bytes are
 * traced (level 2 and 3) and masked like the reply they belong to. */
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
 * With KULVE32_SPEED=57600 or 9600 in the environment only that speed is
 * tried (a reader that answers only at 9600 then links without the 0.2 s of
 * the fast probe and the 1 s pause of closing it); any other value is named
 * on the trace (level 1) and both are tried. kulve_open and
 * kulve_reader_relink follow it too.
 * Sets the card type to 255 (none selected). On POSIX the fast speed is set as
 * B57600: UART hardware turns the Windows settings value 56000 into 57600
 * through its divisor, so that is the speed a reader sees either way. */
KULVE_API int KULVE_CALL LinkCom(int port);

/* Purges and closes the port, then pauses 1000 ms. 0 = closed. 1 = either no
 * port was open, or the system refused the purge or the close: the port is
 * released all the same (an unplugged adapter is not kept held) and the
 * pause is skipped. Either way no port is open afterwards.
 * A Mifare function called afterwards still relinks on its own: its first
 * exchange fails ('e', no port) and the relinking of the Mifare family
 * (see RFMifare_*) reopens the last port index with LinkCom, so the port is
 * open again when it returns. Other functions fail with 'e' until LinkCom. */
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
 * card type becomes the full value. The card types, by what the library does
 * for each (README.md, "Card types", has the same table):
 *   0        memory card identified by B7 A0 or 37 A0 at its start; 2-byte code
 *            at card bytes 8..9, attempts counter at 10..11, erase keys of 4
 *   1, 3     memory card without a code, identified by 81 05 / 81 03 at 6..7
 *   2        256-byte card with a 3-byte code after the attempts byte of its
 *            security memory (area 2), identified by 81 15 at bytes 6..7
 *   4        as 2 with a 2-byte code, identified by 81 13
 *   5..9, 18, 27..29  cards whose code only CheckSecret presents
 *   10..14, 19, 20, 22..24, 30  memory cards without a code, not identified
 *   15..17   2-byte code at bytes 10..11, counter at 12..13; erase keys of 4
 *            (15), key 4 of 6 and key 5 of 4 (16), none (17)
 *   21       paged memory card with pages of 264 bytes
 *   25, 26   zoned secure memory: 2-byte codes, zone codes, erase keys and
 *            zone access bytes
 *   255      none selected (after LinkCom) */
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
/* Five slots for microprocessor cards: the CPU card slot and SAM 1..4. A
 * reset returns the card's answer-to-reset (ATR); command APDUs are framed by
 * the library, as a plain T=0 command or as a T=1 I-block, and the card's
 * answer comes back as response data and a status word.
 *
 * In the default mode (the mode at load; the full mode is described after
 * these functions) one framing choice and one T=1 send-sequence bit N(S)
 * serve all five slots (there is no per-slot copy): the last successful reset of ANY slot decides
 * the framing of every later APDU to every slot, and every reset sets N(S) to
 * 0. Before the first reset the framing is T=1 with N(S) = 0. Interleaving
 * APDUs between two T=1 cards therefore hands each card the bit the other's
 * exchanges left behind. */

#define KULVE_ATR_BUFFER_SIZE 256        /* count byte + up to 255 ATR bytes */
#define KULVE_APDU_REQUEST_SIZE 134      /* the fixed request of the ...Cmd functions */
#define KULVE_APDU_MAX_DATA 128          /* largest Lc */
#define KULVE_PACKED_APDU_SIZE 138       /* 10 + Lc bytes suffice; 138 always does */
#define KULVE_APDU_RESPONSE_SIZE 254     /* count byte + up to 253 response bytes */

/* Reset the card in a slot. atr: KULVE_ATR_BUFFER_SIZE bytes (34 suffice for a
 * card whose ATR conforms to ISO/IEC 7816-3). N(S) becomes 0 first, even if
 * the reset then fails. On success (0): atr[0] = ATR length n, atr[1..n] = the
 * ATR as received (TS first), and the framing becomes T=1 when the ATR's TD1
 * names T=1, else T=0. Only T0 and TD1 are read, never past the bytes
 * received: an ATR shorter than 2 bytes, or one whose T0 announces a TD1 that
 * is not among the bytes received, selects T=0 (the protocol of an ATR without
 * TD1). The ATR is not otherwise checked (TS, TCK, length). On failure: atr[0]
 * = 0, the reader's status or a link-failure letter is returned, and the
 * framing stays as it was. 4 = atr is null (nothing sent, N(S) unchanged). */
KULVE_API int KULVE_CALL CpuCardReset(unsigned char *atr);
KULVE_API int KULVE_CALL SamCard1Reset(unsigned char *atr);
KULVE_API int KULVE_CALL SamCard2Reset(unsigned char *atr);
KULVE_API int KULVE_CALL SamCard3Reset(unsigned char *atr);
KULVE_API int KULVE_CALL SamCard4Reset(unsigned char *atr);

/* 1 when APDUs are framed as T=1 (before any reset, or after a reset whose ATR
 * named T=1 in TD1), else 0. Reports the card reset last, whatever its slot.
 * No exchange. */
KULVE_API int KULVE_CALL CPUCardProtocolType(void);

/* Send one command APDU to the card in a slot; one exchange, nothing more: no
 * GET RESPONSE after 61xx, no repeat after 6Cxx, no T=1 chaining, retry or
 * waiting-time extension.
 *
 * Time: the reader's acknowledgement is awaited for about 1 s (10 reads of
 * about 101 ms), whatever the card's ATR allows. A slower card (one that
 * computes up to its block waiting time, 1.6 s at BWI 4, or asks S(WTX))
 * gets KULVE_LINK_NO_ACK (0x6C) although it runs the command (a T=0 card
 * that holds the exchange with NULL bytes 0x60 too: the reader does not pass
 * them on); the full mode (SetChipProtocolMode) waits as long as the card may
 * take.
 *
 * The APDU sent: CLA INS P1 P2 Lc and the Lc data bytes when Lc is not 0 (Le
 * is then not sent, in either protocol); CLA INS P1 P2 Le when Lc is 0.
 * T=0 sends the APDU as it is. T=1 sends the I-block NAD 00, PCB (00 when
 * N(S) is 0, 40 when it is 1), LEN = APDU length, the APDU, LRC = XOR of all
 * the bytes before it.
 *
 * Result: SW1 * 256 + SW2 when the reader relayed the card's answer (above
 * 255 for every status word a conforming card gives, so it cannot be taken
 * for the codes below); otherwise the reader's status or a link-failure
 * letter (1..255). Every answer counts, 61xx, 6Cxx and errors included. After
 * each exchange the reader carried out, N(S) flips (whatever the card said,
 * whatever the framing); after a failed one it stays.
 *
 * response: KULVE_APDU_RESPONSE_SIZE bytes. response[0] = count n, then the n
 * response data bytes: without the status word, and under T=1 without the
 * card's NAD, PCB, LEN and LRC, which are not checked (every answer is read
 * as an I-block: data = its bytes 3 .. L-4, SW1 SW2 = its bytes L-3, L-2).
 * n is 0 after any failure. Nothing past the bytes the reader sent is ever
 * read or copied.
 *
 * KULVE_BAD_ARGUMENT (4), nothing sent, N(S) unchanged: response null
 * (nothing at all is written, the request included); or request null, or Lc
 * above KULVE_APDU_MAX_DATA (such a block would not fit the reader's
 * one-byte send length), with response[0] = 0.
 * KULVE_LINK_SHORT_REPLY (0x71): the reader relayed an answer too short to
 * hold a status word (T=0: fewer than 2 bytes, T=1: fewer than 3);
 * response[0] = 0. N(S) has flipped, as the card did receive the block.
 * KULVE_T1_NOT_AN_ANSWER (40), T=1 only: the card's block is not a single
 * I-block carrying a status word: its PCB names an R-block or an S-block
 * (00 90 00 90, S(WTX) 00 C3 01 01 C3, ...), or it is an I-block with the
 * more-data bit set (the first block of a chained answer), or its LEN is not
 * the number of bytes that followed it less the LRC (a 3-byte answer
 * included), or LEN is below 2, or its NAD is not 00. response[0] = 0; the
 * plain form's echo is written as after any exchange. N(S) follows what the
 * card took: after an R-block it becomes the N(R) that the block names (the
 * N(S) the card expects next); after any other such answer it flips, as
 * after every exchange the reader carried out. The default mode does not
 * check the card's LRC (the documented answer with a wrong last byte still
 * gives its status word: the reader's frame checksum guards the serial line,
 * the card's own line is the reader's business); the full mode below does.
 * Such a card wants the full mode (SetChipProtocolMode). */

/* request: KULVE_APDU_REQUEST_SIZE bytes, read only: CLA, INS, P1, P2 at
 * 0..3, Lc at 4, command data at 5..132 (the first Lc bytes are sent), Le at
 * 133 (sent only when Lc is 0). */
KULVE_API int KULVE_CALL ProCpuCardCmd(const unsigned char *request, unsigned char *response);
KULVE_API int KULVE_CALL ProSamCard1Cmd(const unsigned char *request, unsigned char *response);
KULVE_API int KULVE_CALL ProSamCard2Cmd(const unsigned char *request, unsigned char *response);
KULVE_API int KULVE_CALL ProSamCard3Cmd(const unsigned char *request, unsigned char *response);
KULVE_API int KULVE_CALL ProSamCard4Cmd(const unsigned char *request, unsigned char *response);

/* request (in and out): on entry CLA INS P1 P2 Lc, the Lc data bytes, then Le
 * at 5 + Lc. After the exchange, whether it worked or not, request[0] = the
 * block's length and request[1..] = the block exactly as framed for sending
 * (T=0: the APDU; T=1: the whole I-block, LRC included).
 * Size: 10 + Lc bytes (KULVE_PACKED_APDU_SIZE always suffices). When the
 * request is refused with 4 nothing was sent and request is left as it was. */
KULVE_API int KULVE_CALL ProCpuCard(unsigned char *request, unsigned char *response);
KULVE_API int KULVE_CALL ProSamCard1(unsigned char *request, unsigned char *response);
KULVE_API int KULVE_CALL ProSamCard2(unsigned char *request, unsigned char *response);
KULVE_API int KULVE_CALL ProSamCard3(unsigned char *request, unsigned char *response);
KULVE_API int KULVE_CALL ProSamCard4(unsigned char *request, unsigned char *response);

/* ---- CPU card and SAM slots: the two modes, side by side ------------------- */
/*                      default mode (at load)          full mode
 * framing of the       the last reset of ANY slot      each slot its own last reset
 *   APDU calls above   (TD1), one shared N(S)          (TD1), its own N(S) and N(R)
 * exchanges per APDU   exactly one                     as many as the protocol takes
 * T=1 answer           one I-block, else 40            I-, R- and S-blocks handled
 * T=1 chaining         none (Lc <= 128 in one block)   both ways, blocks up to IFSC
 * IFSC / IFSD          not used                        IFSC from the ATR; IFSD sent
 * T=1 check byte       LRC sent, not checked           LRC or CRC (TC) both ways
 * S(WTX)               read as a failure (40)          answered; the wait extended
 * lost block           a failure                       R-block, at most 2 repeats,
 *                                                      then S(RESYNCH) and 41
 * T=0 61xx / 6Cxx      returned to the caller          GET RESPONSE / repeat with Le
 * answer size          253 data bytes                  253 in the calls above,
 *                                                      65,536 + SW in ChipTransmit
 *
 * Full mode, in detail (ISO/IEC 7816-3):
 * - Each reset (in either mode) records for its slot: the protocol TD1 names,
 *   IFSC = TAi and the check = bit 0 of TCi (1: CRC) for the first TD(i-1)
 *   with i > 2 naming T=1 (IFSC 32 and LRC when absent; TA 00 or FF keeps
 *   32), and N(S) = N(R) = 0. Before any reset a slot counts as T=1, IFSC 32,
 *   LRC. A SAM reset no longer changes how the CPU card is framed;
 *   CPUCardProtocolType still reports the reset made last, of any slot.
 * - Before the first I-block after a T=1 reset the library sends S(IFS
 *   request) with its IFSD: 251 (250 with CRC), not 254, because each block
 *   travels in one reader frame of at most 255 bytes; a card that does not
 *   confirm keeps IFSD 32, which fits too. Command blocks carry at most
 *   min(IFSC, 251 or 250) bytes; longer APDUs are chained (M bit), each link
 *   acknowledged by the card's R-block. Chained answers are acknowledged with
 *   R-blocks and collected whole.
 * - Waiting (the reader does not say its card clock; the library assumes
 *   3.5712 MHz, the slowest common one, and 372 clocks per etu, or Fi/Di of
 *   TA1 when that is slower): for each block the reader's acknowledgement is
 *   awaited at least BWT = 11 etu + 2^BWI x 960 x 372 / 3.5712 MHz (BWI of
 *   TB3, default 4: 1.6 s; BWI above 9 reads as 9: 51 s), times the
 *   multiplier after S(WTX), plus 12 etu per character for the block sent,
 *   plus the character waiting time CWT = 11 + 2^CWI etu (CWI of TB3's low
 *   nibble, default 13; at least 12 etu) for each character of the largest
 *   block the card may send (IFSD + 5): the reader relays a block only once
 *   its last character came, so the card's legal pauses between characters
 *   are waited for too. Plus 200 ms for the reader; never less than the
 *   default mode's 1 s. Large CWI makes the wait long: a card without TB3
 *   (CWI 13, 0.85 s a character) is waited for up to about 220 s a block
 *   before a silent reader counts as silent; TB3 45 (CWI 5): about 3 s.
 *   T=0: two work waiting times (960 x WI x Fi / 3.5712 MHz, WI of TC2,
 *   default 10: 1 s) plus 12 etu per character of the command and a 256-byte
 *   answer, plus 200 ms. A card answering at once costs nothing more: these
 *   are upper bounds. A card that has not answered within its
 *   wait leaves the reader silent: KULVE_LINK_NO_ACK (0x6C), and as the
 *   reader may still be busy with the card, the next exchange may fail on
 *   the line too; the next T=1 call starts with S(RESYNCH).
 * - The bound of a call: whatever a card asks (any number of S(WTX) of up to
 *   255 x BWT, over any number of links), a call stops waiting for the card
 *   300 s after it began: the wait for a block is cut to what is left, and a
 *   call past its 300 s (a cut wait the reader left silent included) returns
 *   KULVE_CALL_TIME_BOUND (46), the next T=1 call starting with S(RESYNCH). With the last frame's own timeouts a call
 *   ends within about 302 s. The PC/SC driver holds the reader's lock for as
 *   long, so the reader's other slots wait too.
 * - S(WTX request): answered with S(WTX response), and the next block is
 *   awaited for the multiplier times BWT (above). S(WTX) is not a stall: a
 *   card may ask it any number of times in a row; the call's bound limits it.
 *   S(IFS request) from the card: answered, and its IFSC is used from then on.
 * - S(ABORT request) from the card: answered with S(ABORT response) (the
 *   card's reply to it is not looked at), and the call returns
 *   KULVE_T1_ABORTED (43), or the link-failure letter when that exchange
 *   failed on the line: the command may or may not have run. The next call
 *   starts with S(RESYNCH).
 * - A block that never comes (the reader answers the exchange with a status
 *   of its own instead of the card's block): an R-block asks for it, counted
 *   with the repeats below; after the second the call returns the reader's
 *   status and the next call starts with S(RESYNCH).
 * - A block that arrives broken (LEN, LRC/CRC, NAD not 00, unknown PCB, an
 *   I-block with the wrong N(S)) is answered with an R-block naming the error;
 *   an R-block from the card asking for our block again is answered with it.
 *   At most two such repeats in a row; then S(RESYNCH request) (up to three
 *   tries; both sides restart at N(S) = N(R) = 0 and IFSD is sent again) and
 *   the call returns KULVE_T1_EXCHANGE_LOST (41): the command may or may not
 *   have run on the card, so it is not sent again by the library. A chained
 *   I-block carrying nothing counts as broken; more than 64 S(IFS) requests
 *   in a row without the exchange moving on also end in 41.
 * - Three S(RESYNCH) the card does not answer right (a reader's status counts
 *   as no answer; a link failure does not, and leaves S(RESYNCH) for the next
 *   call): the card must be reset. The reader has no command that powers a
 *   slot down, so the library deactivates the slot on its side: the call and
 *   every later full-mode call to that slot return KULVE_CARD_MUST_BE_RESET
 *   (44) without sending anything, until the slot's reset (CpuCardReset,
 *   SamCardNReset, kulve_chip_reset) succeeds. It does not reset the card
 *   itself: that would silently undo the caller's selections and
 *   verifications. Likewise a card that leaves the reader silent: three T=1
 *   calls in a row ending in KULVE_LINK_NO_ACK (0x6C) with no block of the
 *   card between them (a dead card behind a reader that does not report it
 *   mute) make the fourth and later calls return 44 at once, until a reset.
 *   One or two such calls, or a link failure during S(RESYNCH), do not: the
 *   next call tries S(RESYNCH) again. A slot this library never reset whose
 *   reader answers S(RESYNCH) with a status of its own (e.g. the card is not
 *   powered) returns that status, not 44: reset the slot first.
 * - An answer above 65,538 bytes (data and SW): KULVE_ANSWER_TOO_LARGE (45);
 *   the command ran, its answer is dropped. A T=1 card left mid-chain is
 *   resynchronised at once (S(RESYNCH), as above).
 * - T=0 time: a T=0 card may hold an exchange with NULL procedure bytes
 *   (0x60) as long as it likes, but the reader relays nothing until the
 *   card's answer is whole, so the library cannot see them: each exchange
 *   (command, GET RESPONSE, repeat) is given the two work waiting times
 *   above, and a card still working after that gets KULVE_LINK_NO_ACK
 *   (0x6C). The default mode allows about 1 s (the link's own wait) whatever
 *   WI says. A card that needs longer than 2 x WWT wants a larger WI in its
 *   ATR (TC2).
 * - T=0: case 1 goes out with P3 = 00, case 2 as it is, cases 3 and 4 as the
 *   header, Lc and data (Lc at most 250 bytes: the reader's frame; Le of case
 *   4 is not sent). After 61xx, with or without data before it, the library
 *   sends GET RESPONSE (00 C0 00 00 xx) until the card gives another status;
 *   xx is at most 253 (FD), what fits one reader frame with the SW, so after
 *   61 00 (256 bytes or more) or 61 FE/FF it asks FD and goes on as the
 *   card says. After 6Cxx to a command that expects data (and sent none) it
 *   repeats the command once with Le = xx; a second 6Cxx is the answer. The
 *   data of every round is joined. Extended lengths under T=0: 4.
 * - A link failure or a reader status during any exchange ends the call with
 *   that status; the card's block numbering is then unknown, so the next T=1
 *   call to that slot starts with S(RESYNCH) (and S(IFS) again).
 * - Default-mode APDUs made since a slot's reset leave the card's numbering
 *   where the shared bit put it: the first full-mode call to such a T=1 slot
 *   starts with S(RESYNCH). Going back from full to default mode, reset the
 *   cards first (the shared bit does not know the cards' numbering).
 * The documented APDU calls (ProCpuCardCmd .. ProSamCard4) in full mode
 * send the same APDU as in the default mode (Le only without data), keep
 * their buffers: an answer above 253 data bytes returns
 * KULVE_RESPONSE_TOO_LONG (42) with response[0] = 0; the plain forms' echo is
 * the first block (T=1) or command (T=0) sent, length 0 when none was. */

/* Chooses the mode of the documented APDU calls for this process's reader:
 * 0 = default (the one-exchange model documented above), 1 = full. Returns 0,
 * or 4 for another mode (nothing changed). Thread-safe: a switch takes
 * effect from the next APDU call; a call already running finishes in the
 * mode it began in. No exchange. */
KULVE_API int KULVE_CALL SetChipProtocolMode(int mode);

/* One command APDU to slot 0 (CPU card) or 1..4 (SAM 1..4) in the full mode,
 * whatever SetChipProtocolMode chose. apdu: apduLength bytes, 4 to 65,544,
 * any ISO/IEC 7816-4 case, short or extended (extended only for T=1 cards),
 * sent as given (Le included). response: responseSize bytes.
 * Success (a status word, above 255): response = the response data then SW1
 * SW2, *responseLength = their count (at most 65,538).
 * KULVE_RESPONSE_TOO_LONG (42): the answer (command run) has more bytes than
 * responseSize; *responseLength = the size it needs, response untouched.
 * KULVE_BAD_ARGUMENT (4), nothing sent: slot outside 0..4, apdu null,
 * apduLength outside 4..65,544, responseSize negative, response null with a
 * responseSize above 0, or (T=0) an APDU that T=0 cannot carry.
 * KULVE_T1_NOT_AN_ANSWER (40): the card's last I-block held less than SW1 SW2.
 * KULVE_T1_EXCHANGE_LOST (41): see the full mode above (T=0: a card that
 * asked for more than 520 GET RESPONSEs). KULVE_T1_ABORTED (43),
 * KULVE_CARD_MUST_BE_RESET (44), KULVE_ANSWER_TOO_LARGE (45) and
 * KULVE_CALL_TIME_BOUND (46): see the full mode above. A call takes at most
 * about 302 s, whatever the card does.
 * Otherwise the reader's status or a link-failure letter.
 * After every failure *responseLength = 0 (but 42) and response is untouched.
 * Nothing at all is written when responseLength is null (4). */
KULVE_API int KULVE_CALL ChipTransmit(int slot, const unsigned char *apdu, int apduLength,
                                      unsigned char *response, int responseSize, int *responseLength);

/* ---- AT88SC1608 secure memory ------------------------------------------------ */
/* The reader turns each call into the card's own commands; the library keeps
 * no record of passwords presented or authentications run, and neither
 * checks nor changes the selected card type or the power state. Argument
 * checks come first: 4 means nothing was sent and no buffer was touched.
 * Otherwise the result is the status of the exchange: 0, the reader's
 * refusal, or a link-failure letter.
 *
 * The attempts byte. Password presentations and authentications are answered
 * with the card's attempts byte first: n one-bits from the top followed by
 * zero-bits (0x00, 0x80, 0xC0, ... 0xFE, 0xFF) stand for n attempts left,
 * 0..8. Any other byte, a reply that carries no bytes at all, and a link
 * failure (after which no reply of this call exists) give no count: the byte
 * that would receive it is left as it was, whatever the result. */

/* Writes length bytes of data to zone 0..7 (user zones) or 8 (configuration
 * zone) from address 0..255: zone, address, length and the data go to the
 * reader. length is 0..160 (negative lengths are refused); data is read only
 * for length > 0 and may then not be null. Nothing is copied back.
 * 4 = zone, address or length out of range, or data null with length > 0. */
KULVE_API int KULVE_CALL AT1608_Write(int zone, int address, int length, const unsigned char *data);

/* Reads length bytes (0..160) of zone 0..8 from address 0..255 into buffer
 * (length bytes). On success exactly length bytes are written: the reply's
 * bytes, and 0 for any the reply lacked (a reply longer than asked stops at
 * length). On any other result buffer is untouched. 4 = as AT1608_Write,
 * with buffer for data. */
KULVE_API int KULVE_CALL AT1608_Read(int zone, int address, int length, unsigned char *buffer);

/* Presents password index 0..15 (of the card's eight write and eight read
 * passwords; which index is which is the reader's numbering). password is 4
 * bytes, in and out: bytes 0..2 are sent, byte 3 is not read. Afterwards
 * byte 0 holds the attempts count (see above) or is left as it was; bytes
 * 1..3 hold reply bytes 1..3 on success (0 where the reply had none) and 0
 * on any other result. 4 = index outside 0..15, or password null. */
KULVE_API int KULVE_CALL AT1608_Psw(int index, unsigned char *password);

/* Runs the host side of the card's mutual authentication. challenge is 8
 * bytes, in and out: a fresh host challenge, sent as it is; afterwards byte 0
 * holds the attempts count n and byte 1 the digit '0' + n when the card's
 * attempts byte decodes (see above), and bytes 2..7 are never changed.
 * seed is the 8-byte secret seed, never sent.
 * The card's 8-byte cryptogram is read first (zone 8, address 40); the
 * cryptogram, challenge and seed then give the host answer, sent with the
 * challenge, and the answer expected from the card. Returns:
 *   0  the card's answer (the reply bytes after the attempts byte) matched
 *      the expected answer. Only the answer bytes the reply holds are
 *      compared, at most 8; a reply longer than 9 bytes is judged on its
 *      first 8 answer bytes, and a reply of the attempts byte alone (or of
 *      nothing) is taken as the reader's acceptance, with nothing to compare;
 *   3  the answer did not match;
 *   4  challenge or seed null, nothing sent;
 *   else the status of the failed cryptogram read (nothing more is sent and
 *      the challenge is untouched) or of the failed authentication exchange.
 * The library's working copies of the seed, the generator's state and the
 * two answers are cleared before the call returns. */
KULVE_API int KULVE_CALL AT1608_Authentic(unsigned char *challenge, const unsigned char *seed);

/* On success with a one-byte reply copies the card's fuse byte to *fuse;
 * otherwise *fuse is untouched (a successful reply of another length still
 * returns 0). 4 = fuse null, nothing sent. */
KULVE_API int KULVE_CALL AT1608_ReadFuse(unsigned char *fuse);

/* Resets the card through the reader. */
KULVE_API int KULVE_CALL AT1608_Reset(void);


/* ---- e5550 transponders ------------------------------------------------------- */
/* A 125 kHz read/write transponder in the reader's RF field, in blocks of 4
 * bytes. Passwords are 4 bytes, sent byte 0 first. Integer arguments named
 * block, lock and flag go on the wire as their low byte. Each function makes
 * one exchange (no relink, no repeat) and returns its link status; 4 = an
 * argument refused before anything was sent (a null pointer, or a write of
 * block 0 not asked for as -1), and then no buffer is touched. The meaning
 * of the lock flag, the init flag and the option byte lies with the reader
 * and the transponder; the library forwards them as described.
 *
 * Reply copies: a read or write copies the reader's reply into the caller's
 * 4-byte block only on success, and at most 4 bytes of it: a reply of one
 * block arrives unchanged, a shorter one writes only the bytes it carried
 * (none for an empty reply, which still returns 0) and leaves the rest of
 * the block as it was, and a longer one from a faulty reader is cut at 4
 * bytes rather than written past the caller's block. After a refusal or a
 * link failure nothing is written. */

/* Reads block (low byte sent; no guard, 0 reads block 0) into data (4 bytes). */
KULVE_API int KULVE_CALL RF5550_ReadBlk(int block, unsigned char *data);
/* Writes the 4 bytes of data to block with password (4 bytes) and the lock
 * flag; on success data (4 bytes) receives the reader's reply. Block guard:
 * 0 is refused with 4 (nothing sent), -1 writes block 0, any other value is
 * sent as its low byte without a range check, except that values whose low
 * byte is 0 (256, -256, ...) are refused with 4 like 0, so block 0 is never
 * written by a value wrapping to it. */
KULVE_API int KULVE_CALL RF5550_WriteBlk(int block, const unsigned char *password, unsigned char *data, int lock);

/* The record RF5550_Init reads: ten integers, of which only value[0],
 * value[3] and value[9] are used. */
typedef struct Rf5550InitRecord {
  int value[10];
} Rf5550InitRecord;

/* Sends password (4 bytes), an option byte and the low byte of flag; copies
 * nothing back. The option byte: bits 7..5 = value[9] when it lies in 0..7
 * (taken as unsigned, so negative values count as large), else 7; bit 4 = 1
 * when value[3] is non-zero; bit 3 = 1 when value[0] is non-zero; bits 2..0
 * always 1. 4 = record or password null. */
KULVE_API int KULVE_CALL RF5550_Init(const Rf5550InitRecord *record, const unsigned char *password, int flag);
/* Sends password (4 bytes) to wake a password-protected transponder; copies
 * nothing back. The library keeps no record of the wake: the after-wake
 * commands carry the password again, and the order of commands a
 * transponder needs is left to the application. */
KULVE_API int KULVE_CALL RF5550_Wake(const unsigned char *password);
/* As RF5550_ReadBlk, with password (4 bytes) sent before the block byte. */
KULVE_API int KULVE_CALL RF5550_ReadAfterWake(int block, const unsigned char *password, unsigned char *data);
/* As RF5550_WriteBlk (the same frame, guard and reply copy) with the reader's
 * after-wake write command. */
KULVE_API int KULVE_CALL RF5550_WriteAfterWake(int block, const unsigned char *password, unsigned char *data,
                                               int lock);
/* The reader's RF module query (the command RFMifare_Mcmno also sends). On
 * success answer (4 bytes) = reply bytes 0 and 1, then two zero bytes, so it
 * reads as a little-endian integer; a reply byte the reader did not send
 * reads as 0. On failure answer is untouched; there is no relink. 4 = answer
 * null. */
KULVE_API int KULVE_CALL RF5550_Mcmno(unsigned char *answer);

/* ---- Mifare Classic ------------------------------------------------------------ */
/* Mifare Classic contactless cards through the reader's RF module: the
 * reader's own high-level operations (key slots, key mode, card type, serial
 * number, block, key and value operations) and the single card steps
 * (request, anticollision, select, authentication, read, write, increment,
 * decrement, halt). The library keeps no Mifare state and enforces no order
 * among the steps: the reader holds the card's state. Arguments described as
 * a byte are sent as their low 8 bits; 32-bit values (param, serial, amount)
 * go out least significant byte first. The meaning of param, of the bytes of
 * RFMifare_WriteKey, RFMifare_LoadKey, RFMifare_Authentication and
 * RFMifare_Request, of the key mode and of the RFMifare_Mcmno answer belongs
 * to the reader; the library forwards and returns them unchanged.
 *
 * Relinking: when an exchange fails on the line (a result 'e'..'s', which
 * includes a reader status of the same value), the library closes the port
 * (UnLinkCom), links again on the same port index (LinkCom) and repeats the
 * identical request. It makes at most 3 exchanges of the request in all (the
 * first and 2 relink-and-repeat rounds); the first one that does not fail on
 * the line ends it, and its result is the function's. When all 3 fail, the
 * last letter is returned. Each round costs the 1 s pause of UnLinkCom (and
 * a second one when the fast probe goes unanswered), so a reader that has
 * gone away (silent, or its port gone) returns the call within about 6 s.
 * A relink has every effect of LinkCom: the card type becomes 255 (none
 * selected) and the link speed is probed anew. When the last relink could
 * not open the port, GetLinkError keeps the reason the open gave (the path
 * gone, the connection refused) rather than "no port is open".
 *
 * Copies: the functions that return reply bytes write their buffer whatever
 * the result: the bytes this call's last exchange received, and zeros for
 * every byte it did not carry (a short reply, a refusal without data, a line
 * failure). No buffer ever receives an earlier exchange's bytes. Judge the
 * contents by the result alone. Nothing is written past the sizes below,
 * however long the reader's reply.
 *
 * Results: 0 = done; a reader status (its refusal, passed on unchanged);
 * a link-failure letter after the relinking above; 4 = a null pointer (or an
 * out-of-range mode or slot where said), with nothing sent and nothing
 * written. Buffers: key 6 bytes, block 16 bytes, value 4 bytes (a 32-bit
 * integer's address sends it least significant byte first), serial number
 * 4 bytes, two-byte answer 4 bytes (answer bytes 0 and 1, then two zeros, so
 * it reads as a little-endian integer). */

/* Two-byte answer of the reader's RF module (command 0xA1) into answer. */
KULVE_API int KULVE_CALL RFMifare_Mcmno(unsigned char *answer);
/* Sets the reader's key mode: mode 0 or 1 (compared as a whole integer; any
 * other value gives 4 with nothing sent). */
KULVE_API int KULVE_CALL RFMifare_Authmode(int mode);
/* Stores the 6-byte key in the reader's key slot 0..15 (signed comparison;
 * any other slot gives 4 with nothing sent). Copies nothing back. */
KULVE_API int KULVE_CALL RFMifare_TransKey(int slot, const unsigned char *key);
/* The card's two-byte type answer into answer. */
KULVE_API int KULVE_CALL RFMifare_GetType(unsigned char *answer);
/* The card's 4-byte serial number into serial, in the order the reader sends it. */
KULVE_API int KULVE_CALL RFMifare_GetSnr(unsigned char *serial);
/* Reads block (byte) into data (16 bytes). */
KULVE_API int KULVE_CALL RFMifare_ReadBlock(int block, unsigned int param, unsigned char *data);
/* Writes data (16 bytes) to block; data then receives the 16 reply bytes. */
KULVE_API int KULVE_CALL RFMifare_WriteBlock(int block, unsigned int param, unsigned char *data);
/* Sends selector (byte), param, key (6 bytes) and flag (byte). Copies nothing back. */
KULVE_API int KULVE_CALL RFMifare_WriteKey(int selector, unsigned int param, const unsigned char *key, int flag);
/* Reads the value of block into value (4 bytes). */
KULVE_API int KULVE_CALL RFMifare_ReadValue(int block, unsigned int param, unsigned char *value);
/* Sends value (4 bytes) for block: write, increment by, decrement by. value
 * then receives the 4 reply bytes. */
KULVE_API int KULVE_CALL RFMifare_WriteValue(int block, unsigned int param, unsigned char *value);
KULVE_API int KULVE_CALL RFMifare_IncrementValue(int block, unsigned int param, unsigned char *value);
KULVE_API int KULVE_CALL RFMifare_DecrementValue(int block, unsigned int param, unsigned char *value);
/* Reads the whole card into card (768 bytes): for sector 0..15 in turn one
 * exchange asks for the sector's three data blocks (the byte 4 * sector, then
 * param), and 48 bytes go to card[48 * sector] as described under Copies.
 * first is not used. The loop stops at once, leaving the later sectors'
 * bytes untouched, when a sector's result is 1 (returned) or a link-failure
 * letter that survived the relinking (returned; this keeps a reader that has
 * gone away from holding the caller once per sector). Another refusal of a
 * sector does not stop the loop and is not reported: after all 16 sectors
 * the result is that of the sixteenth, so 0 can come back although an earlier
 * sector was refused (its 48 bytes then hold what the refusal carried, zeros
 * past it); judge the sectors by their bytes. */
KULVE_API int KULVE_CALL RFMifare_ReadBloca(int first, unsigned int param, unsigned char *card);

/* Single card steps. */
/* Sends first, second (bytes) and key (6 bytes). */
KULVE_API int KULVE_CALL RFMifare_LoadKey(int first, int second, const unsigned char *key);
/* Sends mode (byte); the card's two-byte answer to the request into answer. */
KULVE_API int KULVE_CALL RFMifare_Request(int mode, unsigned char *answer);
/* The serial number found by anticollision into serial (4 bytes). */
KULVE_API int KULVE_CALL RFMifare_AntiColl(unsigned char *serial);
/* Selects the card with this serial number. The 4 bytes of serial go out
 * least significant first, so a serial buffer filled by RFMifare_AntiColl and
 * read as a little-endian integer goes back in the order it came. */
KULVE_API int KULVE_CALL RFMifare_Select(unsigned int serial);
/* Sends first, second and third (bytes). */
KULVE_API int KULVE_CALL RFMifare_Authentication(int first, int second, int third);
/* Reads block into data (16 bytes). */
KULVE_API int KULVE_CALL RFMifare_Read(int block, unsigned char *data);
/* Writes data (16 bytes) to block. Copies nothing back. */
KULVE_API int KULVE_CALL RFMifare_Write(int block, const unsigned char *data);
/* Increments / decrements the value of block by amount. Copy nothing back.
 * (RFMifare_Decrment is spelled so in the export table.) */
KULVE_API int KULVE_CALL RFMifare_Increment(int block, unsigned int amount);
KULVE_API int KULVE_CALL RFMifare_Decrment(int block, unsigned int amount);
/* Halts the card. */
KULVE_API int KULVE_CALL RFMifare_Halt(void);

/* Whole cards with a key per sector: a dump into an image and a restore from
 * one. An image holds every block of the first `sectors` sectors in order,
 * trailers included: the .mfd / .bin files of libnfc and the Proxmark client
 * (1K: sectors 16, 1024 bytes; 4K: sectors 40, 4096 bytes; sectors 32..39 of
 * a 4K card have 16 blocks; a Mini is 5, 320 bytes). sectors 1..40;
 * KULVE_MIFARE_IMAGE_SIZE(sectors) is the image size.
 *
 * keys: keysSize / 7 entries of 7 bytes, each a sector number (0..sectors-1,
 * or KULVE_MIFARE_EVERY_SECTOR) then a 6-byte key. The keys of a sector are
 * the entries naming it or every sector, in the order given (a repeat is
 * tried once): put a sector's own key first. Each is tried as key A, then
 * each as key B, the key that opened the previous block of the sector first.
 *
 * MifareDumpCard reads with the reader's high-level operations (slots 0..15,
 * key mode) for sectors 0..15 and with the single card steps (request,
 * anticollision, select, load key as number 0, authenticate, read) above;
 * the reader's key slots and key mode, and the loaded key 0, are left as the
 * last try set them. With 16 sectors or more, the data of sectors 0..15 are
 * first read together by RFMifare_ReadBloca with each sector's first key as
 * key A (sixteen exchanges, as one whole-card read), and a sector is taken
 * from that read when its first key reads its trailer and the trailer's
 * access bytes agree and let key A read every data block. Any other sector
 * is read a block at a time, each block with the first key that reads it: so
 * sectors whose data only key B reads come out whole. With keys that work
 * (key A reading every block) a 1K dump takes 49 exchanges: 16 key slots and
 * the key mode, 16 sector reads, 16 trailers.
 * A block no key reads is zeros. Trailers: key A is never shown by a card,
 * so the image gets the key A that read a block of the sector (zeros when
 * none did); key B is the key B that read one, else what the card shows
 * (zeros unless the access bytes let key A read it). A key that read no block
 * is looked for among the sector's keys, trailer first. The keys reach the
 * trace only as the trace shows keys (masked unless asked for).
 * status (statusSize >= sectors): one byte a sector, 0 = every block read,
 * else the status of the last try on a block not read (4: no key was given
 * for the sector), or the result that ended the dump.
 * Result: 0 when every sector was tried (missing sectors are only in status);
 * 1 (no card answered), a link-failure letter that survived the relinking, or
 * a library code, when that ended the dump early: the sectors not reached
 * get it in status and stay zeros in the image. 4 (nothing sent, nothing
 * written): sectors outside 1..40, imageSize below the image size, a null
 * buffer, keysSize not a multiple of 7 or an entry naming a sector the card
 * does not have.
 *
 * MifareRestoreCard writes every block of the image but block 0 (which no
 * card lets be written) and, unless trailers is non-zero, the trailers (a
 * trailer is written after its sector's data blocks). Every sector needs a
 * key (else 4, nothing sent). Each block is written with the first of its
 * sector's keys that writes it, tried as for the dump. The image's trailers
 * are written as they are: access bytes that contradict themselves lock a
 * sector for good, so check them first (the tool refuses them without
 * --force). Result: 0, or the status of the first block no key wrote (the
 * restore stops there), or what ended it as for the dump; 4 as for the
 * dump. */
#define KULVE_MIFARE_EVERY_SECTOR 0xFF
#define KULVE_MIFARE_IMAGE_SIZE(sectors) ((sectors) <= 32 ? (sectors) * 64 : 2048 + ((sectors) - 32) * 256)
KULVE_API int KULVE_CALL MifareDumpCard(int sectors, const unsigned char *keys, int keysSize, unsigned char *image,
                                        int imageSize, unsigned char *status, int statusSize);
KULVE_API int KULVE_CALL MifareRestoreCard(int sectors, const unsigned char *keys, int keysSize,
                                           const unsigned char *image, int imageSize, int trailers);

/* ---- Attendance terminal ------------------------------------------------------- */
/* An attendance terminal answering on the reader's link. Each device function
 * below is one exchange; a link failure comes back as its letter (there is no
 * relink or repeat) and a refusal of the terminal as its status. Outputs are
 * written only when the result is 0; after any other result every output
 * keeps what it held. No buffer is written past the size stated, whatever
 * the terminal answers. Pointer arguments must not be null: a null pointer is
 * refused with 4 and nothing is sent.
 *
 * The library passes the terminal's bytes through without reading them. The
 * terminal of the kulvesim simulator, and the kulve tool, read them so:
 *   clock (KqTime fields 0..6): year byte (0 = 2000), month 1..12, day,
 *     hour 0..23, minute, second, weekday 1 (Monday) .. 7 (Sunday), in
 *     binary; when setting, the weekday is ignored and worked out anew;
 *   positions: a record number of 24 bits, the byte half ("first") holding
 *     bits 16..23 and the 16-bit half bits 0..15. A day's records are those
 *     from its start position up to, not including, its end position (both
 *     equal when the day has none); the current position is where the next
 *     record goes;
 *   records: 8 bytes each: badge number (32 bits, least significant byte
 *     first), hour, minute, second, kind (1 = in, 2 = out); KQ_ReadRecord's
 *     third argument is the number of records, 1..31.
 * Day arguments use a calendar of year bytes 0..255 in which every fourth
 * year (0, 4, .. 252) is a leap year, with no century rule; the library needs
 * no calendar year for year byte 0 (kulve and kulvesim take it as 2000). */

/* The terminal's clock: seven clock bytes, one per field, as 32-bit integers. */
typedef struct KqTime {
  int field[7];
} KqTime;

/* A date: year byte (0..255), month (1..12), day (1..31). */
typedef struct KqDate {
  unsigned char year;
  unsigned char month;
  unsigned char day;
} KqDate;

/* Ends a transfer (command 0x01, no data). */
KULVE_API int KULVE_CALL KQ_EndTrans(void);
/* Reads the clock: on success field k = clock byte k (0..255) for k = 0..6;
 * a field the reply did not carry reads as 0. */
KULVE_API int KULVE_CALL KQ_GetTime(KqTime *time);
/* Sets the clock to the low byte of each of the seven fields, in field order. */
KULVE_API int KULVE_CALL KQ_SetTime(const KqTime *time);
/* Position pairs: on success *first = reply byte 0 and position (4 bytes) =
 * reply bytes 1 and 2, then 0, 0, so position read as a little-endian 32-bit
 * integer is the 16-bit half. Bytes the reply did not carry read as 0. */
/* The current position. */
KULVE_API int KULVE_CALL KQ_GetCurrentPos(int *first, unsigned char *position);
/* The start (end) position of a day. date points to three integers: year
 * byte, month, day (the low 8 bits of each are used). The terminal is sent the
 * day's index: KQ_Daysbyte of the date + 365, low 16 bits, low byte first. */
KULVE_API int KULVE_CALL KQ_GetStartPos(const int *date, int *first, unsigned char *position);
KULVE_API int KULVE_CALL KQ_GetEndPos(const int *date, int *first, unsigned char *position);
/* Reads records: sends the low byte of first, bits 0..15 of position (low
 * byte first) and the low byte of third. On success record (255 bytes)
 * receives exactly the reply bytes, as many as the reply carried (nothing for
 * an empty reply); the caller knows the count from what it asked for. */
KULVE_API int KULVE_CALL KQ_ReadRecord(int first, int position, int third, unsigned char *record);
/* Initialises the terminal (command 0xC7, no data); the simulated terminal
 * empties its record store. */
KULVE_API int KULVE_CALL KQ_SysInit(void);
/* Shows text on the display: exactly 16 bytes are sent as they are (no
 * terminator is looked for; a zero byte is sent like any other). text must
 * hold 16 bytes. */
KULVE_API int KULVE_CALL KQ_Display(const char *text);
/* A command of the caller's own (0xC9). count counts the whole request: the
 * low byte of sub, then the first count - 1 bytes of buffer; count is also
 * the send length, so it must be 1..255 (else 4, nothing sent). On success
 * buffer[0] = the reply length L and buffer[1..L] = the reply; buffer must
 * hold 256 bytes (and at least count - 1 going out). */
KULVE_API int KULVE_CALL KQ_TransCmd(int sub, int count, unsigned char *buffer);
/* Downloads a password: the low byte of kind, then 4 bytes of password when
 * kind is exactly 1, else 6 bytes (kind 257 sends 0x01 and 6 bytes). */
KULVE_API int KULVE_CALL KQ_DownloadPSW(int kind, const unsigned char *password);

/* Date arithmetic; no exchange, thread-safe. */
/* The day number of *date: year 0, month 1, day 1 is day 1. Fields are not
 * checked: month 0 counts as 1, each month above 12 adds one day beyond the
 * year, a day past its month's end is simply added. A null date gives 0. */
KULVE_API int KULVE_CALL KQ_Daysbyte(const KqDate *date);
/* Writes the date of dayNumber (taken as unsigned) into *date; day number 0
 * gives year 0, month 1, day 0, and the year byte wraps after 255 (every
 * 93504 days). Returns 0; 4 for a null date. */
KULVE_API int KULVE_CALL KQ_Datebyte(int dayNumber, KqDate *date);

/* ---- Extensions (not in the classic export table; ordinals from 100) ------- */

#define KULVE_MAX_PORT_PATH 255

/* Sets the device that port index 0..9 opens: on POSIX any path (/dev/ttyUSB0,
 * /dev/serial/by-id/..., a pty); on Windows any device name (\\.\COM12).
 * Defaults: /dev/ttyS0../dev/ttyS9 on POSIX, \\.\COM1..\\.\COM10 on Windows.
 * 0 = set; 4 = index outside 0..9, or path null, empty or longer than
 * KULVE_MAX_PORT_PATH bytes. Takes effect at the next LinkCom.
 *
 * The port map: where a program does not set a path, one can be given from
 * outside, so an unchanged program's LinkCom(0) reaches any reader. Where
 * index N leads, strongest first:
 *   1. SetComPortPath(N, ...) of this process;
 *   2. the environment variable KULVE32_PORTS, "index=path" entries separated
 *      by ';': KULVE32_PORTS="0=rfc2217://10.1.2.3:4001;1=/dev/ttyUSB0";
 *   3. the configuration files, one "index=path" a line, the first listed
 *      here beating the second:
 *        Windows: KULVE32.INI in the folder of the DLL, then
 *                 %APPDATA%\KULVE32.INI;
 *        POSIX:   $XDG_CONFIG_HOME/kulve32.conf (default
 *                 ~/.config/kulve32.conf), then /etc/kulve32.conf;
 *      KULVE32_CONFIG=FILE, when set, makes FILE the only one (set and
 *      empty: no file); only a regular file is read: a FIFO, device or
 *      folder under such a name counts as no file (POSIX: never opened);
 *   4. the default above.
 * Each source only counts for the indices it names. In a file, blank lines,
 * lines starting with '#' or ';', a "[ports]" line (lines of any other
 * [section] are not read), a UTF-8 byte order mark and CR line ends are
 * allowed; spaces around index and path are dropped. An entry whose index is
 * not one digit 0..9, that has no '=', no path, a path longer than
 * KULVE_MAX_PORT_PATH bytes or a control character, or a line longer than
 * 1024 bytes, is skipped; so is a file or a KULVE32_PORTS over 64 KiB; an
 * index given twice in one source takes the later path. Each skipped entry
 * is named on the trace (level 1, "port map: FILE line 3: ..."; past 20 in
 * one source, one more line counts the rest); nothing else fails for it.
 * The map is read when first needed (the first LinkCom, AutoLinkCom or
 * GetComPortPath) and read again by each LinkCom when the variable or a
 * file changed, so its complaints reach a trace set before that call.
 *
 * A reader behind a serial device server (or a machine running ser2net) is
 * given as a network address, on Linux and Windows alike:
 *   "tcp://HOST:PORT"      the raw byte stream of the server's serial line;
 *                          its line speed is the server's own business.
 *   "rfc2217://HOST:PORT"  Telnet with the COM port control option (RFC 2217).
 * HOST is a name, an IPv4 address or an [IPv6] address in brackets; PORT is
 * 1..65535; the scheme may be in any letter case. Either may end in
 * "?delay=MS" (MS 0..30000, decimal; default 100): the delay allowance
 * below. A malformed address is accepted here and fails at LinkCom
 * (KULVE_LINK_ERROR_NOT_FOUND).
 * Such a port behaves as a local one:
 *   - LinkCom connects for each speed it tries and closes the connection in
 *     UnLinkCom, so a connection the server drops is taken up again by the
 *     next LinkCom. Connecting gives up after 3 s. ComBaudRate reports the
 *     speed of the probe that was answered (57600 first), also over tcp://.
 *   - Reads and writes follow the timeout rules of a local port (one
 *     deadline per transfer); bytes go out at once (TCP_NODELAY). A network
 *     path delays a reply in ways a serial line does not (the server's
 *     buffering, a busy network), so each wait of an exchange - the answer
 *     to the start byte, the acknowledgement as a whole, the reply as a
 *     whole, and the quiet waits after a failed exchange (see the
 *     link-failure letters) - may run over a local port's time by the delay
 *     allowance, once, not once per read. The default of 100 ms suits a LAN
 *     and finds a silent reader out about 0.1 s per wait later than a local
 *     port does (LinkCom's two probes: about 0.2 s); give a slow or distant
 *     network more, e.g. "rfc2217://10.0.0.7:2217?delay=1000".
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

/* Copies the device path that port index 0..9 opens, NUL-terminated, into
 * path (size bytes): the SetComPortPath path, else the port map's, else the
 * default (see SetComPortPath). 0 = copied; 4 = bad index, null path or size
 * too small (path untouched). */
KULVE_API int KULVE_CALL GetComPortPath(int port, char *path, int size);

/* A human-readable description of any result a function of this library
 * returns: "ok" for 0, the meaning of 3, 4 and 19, each link-failure letter
 * with the step of the frame it names, and "reader status 0xNN" for the
 * reader's own statuses, except that 1 right after a LinkCom that returned
 * it reads "no reader linked (the link error says why)"; card status words (256..65535, from the APDU
 * functions) get their ISO/IEC 7816-4 meaning ("Success" for 0x9000,
 * "Warning: 2 tries left" for 0x63C2, ...); the words the standard leaves to
 * the card (67XX, 6BXX, 6DXX, 6EXX, 6FXX with XX not 00, and 9XXX other than
 * 9000) read "Proprietary status (application-specific)", and 6202..6280 and
 * 6402..6480 "... triggered by the card". The text is
 * static: never freed, never changed, valid for the life of the process.
 * Never null ("unknown result" for values no function returns). */
KULVE_API const char *KULVE_CALL ResultText(int result);

/* Why the link last failed. The codes: */
#define KULVE_LINK_ERROR_NONE        0  /* nothing failed since the last successful LinkCom */
#define KULVE_LINK_ERROR_BAD_INDEX   1  /* a port index outside 0..9 */
#define KULVE_LINK_ERROR_NOT_FOUND   2  /* no such device */
#define KULVE_LINK_ERROR_PERMISSION  3  /* the user may not open the device */
#define KULVE_LINK_ERROR_BUSY        4  /* another program, or another handle of this process, holds the port */
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

/* The operating system's error number behind the last link-level failure
 * that GetLinkError reports: errno on POSIX, GetLastError on Windows
 * (WSAGetLastError for tcp:// and rfc2217:// ports). 0 when that failure had
 * no system error behind it (no answer, a broken frame, a bad index, a
 * server that closed the connection cleanly) and when nothing failed since
 * the last successful LinkCom. Set and cleared together with GetLinkError's
 * code; no exchange. */
KULVE_API int KULVE_CALL GetLinkOsError(void);

/* The wire trace. Level 0 = off, 1 = failures with the step and the system's
 * reason, 2 = also every frame in hex (request code and data; reply status
 * and data; time taken), 3 = also every transfer on the port with its timing
 * and, at each open, whether the port took the request for low latency
 * (Linux: ASYNC_LOW_LATENCY; a pty or network address has no such setting).
 * At level 1 and above the trace also says, once per open, when the reader's
 * answer to the start byte of an exchange came more than 4 ms later than the
 * line needs in three exchanges: a sign of a USB-serial adapter's latency
 * timer left at its default (FTDI: 16 ms; set it to 1 ms). Said only for a
 * device that can be such an adapter: on Linux a tty whose device sysfs puts
 * on the usb-serial bus (the hint then names its latency_timer file and a
 * udev rule); on Windows any local COM port (the hint names the driver's
 * advanced port settings). Never for a pty, an on-board UART or a network
 * address, however late their answers come.
 * Lines go to callback (with its context) when it is not null, else to
 * standard error, or to the file named by KULVE32_TRACE_FILE. At load the
 * level comes from the environment variable KULVE32_TRACE (0..3).
 * The callback gets each line bare. Lines the library writes itself (standard
 * error, the file) read "kulve32: HH:MM:SS.mmm LINE", the time of day in UTC,
 * and the first of a session is preceded by a header, "kulve32:
 * 2026-12-07T17:00:54.123Z library 1.0.0 (DLLVER 7321, posix), port 0 =
 * /dev/ttyUSB0 (KULVE32_PORTS)": date and time (UTC), the library's version,
 * the port index, its path and where the path came from. A session starts
 * at each LinkCom to another port or path than the last header's.
 * A KULVE32_TRACE value other than 0..3 leaves the trace off and is named
 * once on standard error.
 * Secrets: the bytes of keys, codes and passwords are written "**" at every
 * level, their count and every other byte kept: the Mifare keys of
 * RFMifare_TransKey, RFMifare_LoadKey and RFMifare_WriteKey, the memory
 * cards' codes (CheckSecret, ModifySecret, CheckEraseSecret,
 * CheckZoneSecret, and the replies of those and of ReadSecret, which carry
 * them), AT88SC1608 passwords (AT1608_Psw, its reply included), e5550
 * passwords, KQ_DownloadPSW, and the data of VERIFY, CHANGE REFERENCE DATA
 * and RESET RETRY COUNTER APDUs (INS 20, 24, 2C) in either chip protocol
 * mode. Secrets are also known by what the bytes are, whichever call
 * carries them (ReadCard, WriteCard, EraseCard, ReadMemCard, WriteMemCard,
 * kulve_reader_command and the PC/SC escape alike): the security code in a
 * memory card's bytes (type 0: card bytes 8..9; types 15, 16, 17: 10..11,
 * under any area selector but 2) in a read's reply, and a write over them,
 * whose whole reply is masked (what a reader answers to a write is its
 * own); the security memory (area 2; types 2, 4, 25, 26) from its second
 * byte on, and all of a write to it; the attempts counter stays visible
 * (type 0: 10..11; 15..17: 12..13; the security memory's first byte read).
 * Mifare: key A and key B (bytes 0..5 and 10..15) of a sector trailer
 * (block 3 of each 4-block sector, and from block 128 on, the last of each
 * 16-block sector of a 4K card) read or written by RFMifare_ReadBlock,
 * RFMifare_WriteBlock, RFMifare_Read or RFMifare_Write (a trailer write's
 * whole reply masked), and the same commands sent raw. A request repeated
 * after a relink is masked as the first. The frame's check byte, computed
 * over them, is masked with them
 * (level 3), and so are a T=1 block's bytes after the secret, its LRC or
 * CRC included. KULVE32_TRACE_SECRETS=1 (read with KULVE32_TRACE; any other
 * value shows none), or
 * kulve_set_trace_secrets, shows them in clear; the header of a trace the
 * library writes itself then ends in ", secrets shown (keys, codes and
 * passwords in clear)".
 * 0 = set; 4 = level outside 0..3 (nothing changed). The callback runs on
 * the thread of the call being traced, which holds the reader's lock; line is
 * valid only during the call. The callback must not drive the reader it
 * traces: a device function called from it (any function of this header
 * that takes the process-wide reader, SetTrace and SetComPortPath included)
 * returns KULVE_IN_CALLBACK at once, with nothing sent and nothing written,
 * and the traced call goes on unharmed. ComBaudRate, GetComPortPath,
 * GetLinkError, ResultText, DLLVER and the DES and date functions answer as
 * usual. KULVE32_TRACE_FILE is read once, when the library is first used.
 * A line written while a callback runs (GetComPortPath's port-map complaints,
 * say) keeps the callback's refusals in force to its end. */
typedef void (KULVE_CALL *KulveTraceCallback)(int level, const char *line, void *context);
KULVE_API int KULVE_CALL SetTrace(int level, KulveTraceCallback callback, void *context);

/* ==== Several readers: the handle API ======================================
 *
 * Everything above drives the one reader of the process. The functions below
 * drive any number of readers, each through its own handle: open one per
 * reader with kulve_open, pass it first to every call, close it with
 * kulve_close. The documented functions above are the same code over one
 * process-wide handle (there is no way to get that one as a kulve_reader).
 *
 * Names: kulve_<family>_<verb>, the families being reader (the link and the
 * reader's own commands), memcard, chip (CPU card and SAM slots), at1608,
 * e5550, mifare and kq (attendance terminal). Each function behaves exactly
 * as the documented function named next to it (results, what is written on
 * success and on failure, the relinking of the Mifare family), with these
 * differences:
 *
 * Sizes. Every byte buffer comes with its size in bytes. A size below the
 * minimum given next to the function returns KULVE_BAD_ARGUMENT (4): nothing
 * is sent and nothing is written. The minimum is the size the documented
 * function needs, so a buffer of that size is never written past, whatever
 * the reader answers. A null buffer is judged as the documented function
 * judges it (mostly 4).
 *
 * Handles. A null handle returns 4 (kulve_close and kulve_result_text accept
 * one; kulve_link_os_error returns -1). A handle is a token, not an address:
 * after kulve_close it names nothing, for good (tokens are never reused), and
 * a call with it answers as with a null handle (4, nothing sent, nothing
 * written; kulve_close does nothing; kulve_set_trace_secrets 4). Closing a
 * handle while another thread is inside a call on it is safe: the close
 * waits for that call to end, and a call already waiting for the handle's
 * lock then runs on the closed port (a link failure) before the handle is
 * freed. Using a closed handle is still a fault of the program; the library
 * only keeps it from being undefined behaviour.
 *
 * Threads. Each handle has its own lock: calls on two handles run in
 * parallel on two threads; calls on one handle from several threads run one
 * whole call after another, never interleaved. Nothing cancels a call in
 * progress: it returns when its last exchange has ended. The software DES and
 * date functions above take no handle and no lock.
 *
 * Blocking. A call blocks for as long as its exchanges take. One exchange
 * with a reader that answers at once takes a few milliseconds; its worst case
 * is the port's time-outs: a silent reader fails it within about 0.2 s
 * (KULVE_LINK_NO_ANSWER), and a reader that answers every byte only just in
 * time can stretch it to about 3 s at 57600 bit/s, 3.5 s at 9600 bit/s. A call
 * makes one exchange unless said otherwise; the memory-card functions make
 * one per piece (64 bytes addressed, up to 66 bytes paged), AT1608
 * authentication two, VerifyIC up to two, ModifySecret up to four. Linking
 * (kulve_open, kulve_reader_relink) opens the port and probes at 57600 and
 * 9600 bit/s: about 0.2 s with no reader, 1.2 s when the reader answers only
 * at 9600 (a close pauses 1 s), and up to 3 s more for a network address
 * that does not connect. The Mifare family adds up to two relink-and-repeat
 * rounds of about 2.6 s each with a silent reader (about 6 s in all per
 * exchange); kulve_mifare_read_card makes 16 such exchanges but stops at the
 * first line failure that survives them. kulve_close pauses 1 s after
 * closing the port.
 *
 * Telling results apart. The reader's own statuses share the values 1..255
 * with the library's codes (3, 4, 19) and the link-failure letters 'e'..'s';
 * only KULVE_IN_CALLBACK (negative) and the card's status words (256..65535,
 * from the chip family) are apart by value. kulve_result_origin tells which
 * one a result of the last call on a handle is, and kulve_result_text words
 * it accordingly.
 *
 * Trace callbacks. A callback set with kulve_set_trace runs on the thread of
 * the call being traced, while that call holds the handle's lock. A call
 * back into the same handle from the callback is refused with
 * KULVE_IN_CALLBACK (nothing sent, nothing written), except
 * kulve_reader_baud_rate, kulve_link_error, kulve_link_os_error,
 * kulve_result_origin and kulve_result_text, which only read. Calling another handle from a callback
 * works, but two handles whose callbacks call each other on two threads can
 * deadlock. */

typedef struct kulve_reader kulve_reader;

/* Opens a handle and links it to the reader on port, a device path or a
 * network address as SetComPortPath takes (at most KULVE_MAX_PORT_PATH
 * bytes): the port is opened and probed as LinkCom does, at 57600 bit/s then
 * 9600 bit/s, and the card type is 255 (none selected). The trace level comes
 * from KULVE32_TRACE as for the process-wide reader.
 * 0 = linked, *out = the new handle.
 * 1 = no reader answered, or the port could not be opened: *out is still a
 *     handle (closed port) whose kulve_link_error says why; relink it with
 *     kulve_reader_relink or close it. When memory runs out *out is NULL.
 * 4 = out null (nothing written), or port null, empty or too long (*out = NULL). */
KULVE_API int KULVE_CALL kulve_open(const char *port, kulve_reader **out);

/* Closes the port as UnLinkCom does (the 1 s pause included) and frees the
 * handle. NULL is allowed and does nothing. Called from the handle's own
 * trace callback it does nothing either (the call being traced still uses
 * the handle): close the handle after that call has returned. */
KULVE_API void KULVE_CALL kulve_close(kulve_reader *reader);

/* Where a result of the last call on reader came from: */
#define KULVE_ORIGIN_LIBRARY 0 /* the library: 0 after no exchange, 3, 4, 19, KULVE_IN_CALLBACK,
                                  or any result that is not the status of the call's last exchange */
#define KULVE_ORIGIN_READER  1 /* the status of the call's last exchange, as the reader answered it
                                  (0 included), or a card's status word (256..65535) */
#define KULVE_ORIGIN_LINE    2 /* the link-failure letter of the call's last exchange, which failed
                                  on the line */
/* The origin of result, which the last call on reader returned (a call
 * refused with KULVE_IN_CALLBACK does not count as a call). 4 for a null
 * reader. */
KULVE_API int KULVE_CALL kulve_result_origin(kulve_reader *reader, int result);

/* Words for result as ResultText gives them, except that a result whose
 * origin (kulve_result_origin) is the reader is worded as the reader's
 * status ("reader status 0x03") even where the library uses the same value,
 * and 1 after a kulve_open or kulve_reader_relink that returned it reads
 * "no reader linked (the link error says why)".
 * reader may be NULL: then exactly ResultText. Static text, never null. */
KULVE_API const char *KULVE_CALL kulve_result_text(kulve_reader *reader, int result);

/* As GetLinkError, for this handle: the code of its last link failure, and
 * its words in text (size bytes, cut and NUL-terminated; nothing written
 * when text is null or size below 1). 4 for a null reader. */
KULVE_API int KULVE_CALL kulve_link_error(kulve_reader *reader, char *text, int size);

/* As GetLinkOsError, for this handle: the system's error number behind its
 * last link failure (errno, GetLastError, WSAGetLastError), 0 when that
 * failure had none or nothing failed since the handle last linked. No
 * exchange; allowed from the handle's trace callback. -1 for a null reader:
 * 4 would read as a system error number (EINTR), and none is negative. */
KULVE_API int KULVE_CALL kulve_link_os_error(kulve_reader *reader);

/* As SetTrace, for this handle only. */
KULVE_API int KULVE_CALL kulve_set_trace(kulve_reader *reader, int level, KulveTraceCallback callback,
                                         void *context);

/* Secrets in this handle's trace (reader NULL: the process-wide reader's,
 * SetTrace's): 1 shows keys, codes and passwords in clear (as
 * KULVE32_TRACE_SECRETS=1 does), 0 masks them again (the default, see
 * SetTrace). The next header of a trace the library writes itself says when
 * they are shown. 0, or 4 for another value of show; KULVE_IN_CALLBACK from
 * the reader's own trace callback. */
KULVE_API int KULVE_CALL kulve_set_trace_secrets(kulve_reader *reader, int show);

/* ---- reader: the link and the reader's own commands ---- */
/* Closes the port and links again on the same port (LinkCom). 0 or 1 as LinkCom. */
KULVE_API int KULVE_CALL kulve_reader_relink(kulve_reader *reader);
/* ComBaudRate: 57600, 9600 or 0; no exchange. 4 for a null reader. */
KULVE_API int KULVE_CALL kulve_reader_baud_rate(kulve_reader *reader);
KULVE_API int KULVE_CALL kulve_reader_power_on(kulve_reader *reader);                 /* PowerOn */
KULVE_API int KULVE_CALL kulve_reader_power_off(kulve_reader *reader);                /* PowerOff */
KULVE_API int KULVE_CALL kulve_reader_select_card(kulve_reader *reader, int cardType); /* SelectCard */
KULVE_API int KULVE_CALL kulve_reader_inquire(kulve_reader *reader, int *cardType, int *state,
                                              int *power);                           /* Inquire */
KULVE_API int KULVE_CALL kulve_reader_standby(kulve_reader *reader);                  /* SetStandby */
/* GetDeviceNumber, DEVVER: size >= 8. */
KULVE_API int KULVE_CALL kulve_reader_device_number(kulve_reader *reader, unsigned char *number, int size);
KULVE_API int KULVE_CALL kulve_reader_version(kulve_reader *reader, unsigned char *version, int size);
KULVE_API int KULVE_CALL kulve_reader_alarm(kulve_reader *reader, int mode, int a, int b, int c); /* ALARM */
/* One reader command as it is: code 0..255 and length (0..255) bytes of
 * data, in one exchange (no relink, no repeat). Returns the status of the
 * exchange: the reader's (0 = carried out) or a link-failure letter, told
 * apart with kulve_result_origin. *replyLength = how many reply bytes came,
 * and the first replySize of them are copied into reply (so a count above
 * replySize says the reply was cut). The command goes past every family:
 * the handle's card type, chip framing state and Mifare selection are not
 * updated, so a reset or APDU sent this way leaves them stale. For the
 * reader's own queries, and for tools that know the reader's command set.
 * The trace masks the command's secrets as the family's own call with the
 * same code and bytes would (see "Secrets" at SetTrace): a memory card's
 * code presentations and code bytes by address (for the handle's card
 * type), Mifare keys and trailer keys, AT88SC1608 passwords (code 2A, the
 * reply too) and e5550 passwords
 * (the first 4 bytes of codes 65, 66, 67, 68 and 69).
 * 4 = null handle or replyLength, code or length out of range, data null
 * with a length, reply null with a size: nothing sent, *replyLength = 0
 * when replyLength is not null. */
KULVE_API int KULVE_CALL kulve_reader_command(kulve_reader *reader, int code, const unsigned char *data, int length,
                                              unsigned char *reply, int replySize, int *replyLength);

/* ---- card presence ---- */
/* The slots kulve_wait_presence watches, one bit each (chip slot n is bit n): */
#define KULVE_SLOT_CPU    0x01 /* the CPU card slot (chip slot 0) */
#define KULVE_SLOT_SAM1   0x02 /* SAM 1..4 (chip slots 1..4) */
#define KULVE_SLOT_SAM2   0x04
#define KULVE_SLOT_SAM3   0x08
#define KULVE_SLOT_SAM4   0x10
#define KULVE_SLOT_SAMS   0x1E
#define KULVE_SLOT_FIELD  0x20 /* the Mifare field */
#define KULVE_SLOT_MEMORY 0x40 /* the contact slot of memory cards (and AT88SC1608) */
#define KULVE_SLOT_ALL    0x7F
/* Waits until the presence of a card in one of the slots named differs from
 * what the caller knows, or timeoutMs (0..86,400,000) has passed.
 * known: the bits of the named slots that hold a card as far as the caller
 * knows (0 at first: then every card there is reported as come).
 * 0 = a change: *present = the named slots holding a card now (bits of
 *     slots not yet probed by this handle stay as in known); compare with
 *     known to see which came and which went, and pass it as known next time.
 * KULVE_NO_CHANGE = the timeout passed; *present = as seen (equal to known
 *     on the named slots).
 * A link failure letter or a reader's status of a probe ends the wait with
 * it (*present as far as seen); 4 = null handle or present, slots 0 or with
 * other bits, timeoutMs out of range (nothing sent, *present = 0 when
 * present is not null).
 * What each slot can tell, and what probing it does to the card:
 * - KULVE_SLOT_MEMORY: asked with the reader's Inquire, whose second state
 *   value is non-zero while a card sits in the contact slot. It touches no
 *   card and leaves the handle's card type as it is; it cannot tell which
 *   kind of card it is (select the type, then kulve_memcard_verify).
 * - KULVE_SLOT_CPU, KULVE_SLOT_SAMn: no reader command tells a chip slot's
 *   card without talking to it, so the slot is probed with a reset
 *   (kulve_chip_reset): a card that answers is there, a refusal means none.
 *   The reset powers the card, ends any session with it and sets the chip
 *   framing state as kulve_chip_reset does: name a chip slot only while no
 *   session runs on it (waiting for a card to come, or to be taken out).
 * - KULVE_SLOT_FIELD: probed with a Mifare request that wakes every card in
 *   the field (kulve_mifare_request mode 1): a card that answers is there. A
 *   card you had selected or authenticated to drops that state.
 * How often: one probing policy per handle decides. At most one probe per
 *   turn of 500 ms (2 exchanges/s on an idle reader, whatever the slots and
 *   the number of waits); the memory slot, the CPU card slot and the field
 *   take turns; the SAM slots, which seldom change, share one probe per 2 s
 *   (at most one turn in four). A card coming or going is thus seen within
 *   1 s when one of the memory slot, CPU slot and field is named, 1.5 s
 *   when two are, 2 s when all three are, and within 2 s per SAM slot named
 *   (8 s with all four) - each plus the time of the probe's exchange (well
 *   under 0.1 s at 57600 bit/s) and the time a call on another thread holds
 *   the handle. What a probe saw is kept in the handle: a wait whose known
 *   differs from it returns at once (after the one probe that may be due).
 * Cancelling: the handle's lock is let go between probes, so other calls on
 *   the handle go on during a wait; there is no other way to stop a wait
 *   than its timeout. To stay responsive, wait in short steps (the policy
 *   keeps its pace across calls: short waits add no traffic). A timeout of
 *   0 probes once if a turn is due and returns at once. */
KULVE_API int KULVE_CALL kulve_wait_presence(kulve_reader *reader, int slots, int known, int timeoutMs,
                                             int *present);

/* ---- memcard: contact memory cards ---- */
/* ReadCard, WriteCard, EraseCard: size >= count. */
KULVE_API int KULVE_CALL kulve_memcard_read(kulve_reader *reader, int area, int page, int offset, int count,
                                            unsigned char *buffer, int size);
KULVE_API int KULVE_CALL kulve_memcard_write(kulve_reader *reader, int area, int page, int offset, int count,
                                             unsigned char *buffer, int size);
KULVE_API int KULVE_CALL kulve_memcard_erase(kulve_reader *reader, int area, int page, int offset, int count,
                                             unsigned char *buffer, int size);
/* ReadMemCard, WriteMemCard, EraseMemCard: size >= count. */
KULVE_API int KULVE_CALL kulve_memcard_read_paged(kulve_reader *reader, int address, int count,
                                                  unsigned char *buffer, int size);
KULVE_API int KULVE_CALL kulve_memcard_write_paged(kulve_reader *reader, int address, int count,
                                                   unsigned char *buffer, int size);
KULVE_API int KULVE_CALL kulve_memcard_erase_paged(kulve_reader *reader, int address, int count,
                                                   unsigned char *buffer, int size);
KULVE_API int KULVE_CALL kulve_memcard_verify(kulve_reader *reader);          /* VerifyIC */
KULVE_API int KULVE_CALL kulve_memcard_fuse(kulve_reader *reader, int value); /* Fuse */
/* CheckSecret, ModifySecret: size >= 4 and >= length. */
KULVE_API int KULVE_CALL kulve_memcard_check_secret(kulve_reader *reader, int length, unsigned char *code,
                                                    int size);
KULVE_API int KULVE_CALL kulve_memcard_modify_secret(kulve_reader *reader, int length, unsigned char *code,
                                                     int size);
/* ReadSecret: counterSize >= 2, codeSize >= 4. */
KULVE_API int KULVE_CALL kulve_memcard_read_secret(kulve_reader *reader, unsigned char *counter,
                                                   int counterSize, unsigned char *code, int codeSize);
/* CheckEraseSecret: size >= 4, and >= 6 for key number 4 while card type 16 is selected. */
KULVE_API int KULVE_CALL kulve_memcard_check_erase_secret(kulve_reader *reader, int keyNumber,
                                                          unsigned char *key, int size);
/* CheckZoneSecret: size >= 4. */
KULVE_API int KULVE_CALL kulve_memcard_check_zone_secret(kulve_reader *reader, int zone, unsigned char *code,
                                                         int size);
KULVE_API int KULVE_CALL kulve_memcard_set_zone_access(kulve_reader *reader, int zone, int access); /* SetZoneRWBit */

/* ---- chip: the CPU card (slot 0) and SAM 1..4 (slots 1..4) ---- */
/* A slot outside 0..4 returns 4 with nothing sent or written. The framing
 * state (T=0/T=1, N(S)) is the handle's own, shared by its five slots. */
/* CpuCardReset, SamCard1Reset..SamCard4Reset: size >= KULVE_ATR_BUFFER_SIZE
 * (KULVE_ATR_BUFFER_SIZE bytes: the count byte, then up to 255 ATR bytes; a
 * smaller size returns 4 with nothing sent, and the slot stays as it was:
 * not reset). */
KULVE_API int KULVE_CALL kulve_chip_reset(kulve_reader *reader, int slot, unsigned char *atr, int size);
/* CPUCardProtocolType; no exchange. */
KULVE_API int KULVE_CALL kulve_chip_protocol(kulve_reader *reader);
/* The IFSC the full mode uses for the slot's card now (the one ATR parser:
 * the rule given with SetChipProtocolMode, or the card's S(IFS request)
 * since); *ifsc = 0 when the slot's last reset found a T=0 card or no reset
 * succeeded yet. No exchange. 0, or 4 (null handle or ifsc, slot outside
 * 0..4: *ifsc untouched). */
KULVE_API int KULVE_CALL kulve_chip_ifsc(kulve_reader *reader, int slot, int *ifsc);
/* ProCpuCardCmd, ProSamCard1Cmd..ProSamCard4Cmd: requestSize >=
 * KULVE_APDU_REQUEST_SIZE, responseSize >= KULVE_APDU_RESPONSE_SIZE. */
KULVE_API int KULVE_CALL kulve_chip_apdu(kulve_reader *reader, int slot, const unsigned char *request,
                                         int requestSize, unsigned char *response, int responseSize);
/* ProCpuCard, ProSamCard1..ProSamCard4: requestSize >= 5 and >= 10 + Lc
 * (request[4]), responseSize >= KULVE_APDU_RESPONSE_SIZE. */
KULVE_API int KULVE_CALL kulve_chip_apdu_packed(kulve_reader *reader, int slot, unsigned char *request,
                                                int requestSize, unsigned char *response, int responseSize);
/* SetChipProtocolMode, for this handle's reader only: 0 default, 1 full (the
 * modes side by side are described with SetChipProtocolMode). Each handle
 * starts in the default mode. 0, or 4 (null handle or another mode). */
KULVE_API int KULVE_CALL kulve_chip_set_protocol_mode(kulve_reader *reader, int mode);
/* ChipTransmit on this handle's reader (int sizes, as every function here):
 * always the full mode, slot 0..4, apdu of
 * apduLength bytes (4 to 65,544), response of responseSize bytes (data then
 * SW1 SW2). *responseLength = their count on success, the size needed with
 * KULVE_RESPONSE_TOO_LONG (42), else 0 (a null handle included); results as
 * ChipTransmit gives them. responseLength null: 4, nothing written. */
KULVE_API int KULVE_CALL kulve_chip_transmit(kulve_reader *reader, int slot, const unsigned char *apdu,
                                             int apduLength, unsigned char *response, int responseSize,
                                             int *responseLength);

/* ---- at1608: AT88SC1608 secure memory ---- */
/* AT1608_Write, AT1608_Read: size >= length. */
KULVE_API int KULVE_CALL kulve_at1608_write(kulve_reader *reader, int zone, int address, int length,
                                            const unsigned char *data, int size);
KULVE_API int KULVE_CALL kulve_at1608_read(kulve_reader *reader, int zone, int address, int length,
                                           unsigned char *buffer, int size);
/* AT1608_Psw: size >= 4. */
KULVE_API int KULVE_CALL kulve_at1608_password(kulve_reader *reader, int index, unsigned char *password,
                                               int size);
/* AT1608_Authentic: challengeSize >= 8, seedSize >= 8. */
KULVE_API int KULVE_CALL kulve_at1608_authenticate(kulve_reader *reader, unsigned char *challenge,
                                                   int challengeSize, const unsigned char *seed, int seedSize);
/* AT1608_ReadFuse: size >= 1. */
KULVE_API int KULVE_CALL kulve_at1608_read_fuse(kulve_reader *reader, unsigned char *fuse, int size);
KULVE_API int KULVE_CALL kulve_at1608_reset(kulve_reader *reader); /* AT1608_Reset */

/* ---- e5550: transponders ---- */
/* Every password and data block: size >= 4. */
KULVE_API int KULVE_CALL kulve_e5550_read(kulve_reader *reader, int block, unsigned char *data, int size);
KULVE_API int KULVE_CALL kulve_e5550_write(kulve_reader *reader, int block, const unsigned char *password,
                                           int passwordSize, unsigned char *data, int dataSize, int lock);
KULVE_API int KULVE_CALL kulve_e5550_init(kulve_reader *reader, const Rf5550InitRecord *record,
                                          const unsigned char *password, int passwordSize, int flag);
KULVE_API int KULVE_CALL kulve_e5550_wake(kulve_reader *reader, const unsigned char *password,
                                          int passwordSize);
KULVE_API int KULVE_CALL kulve_e5550_read_after_wake(kulve_reader *reader, int block,
                                                     const unsigned char *password, int passwordSize,
                                                     unsigned char *data, int dataSize);
KULVE_API int KULVE_CALL kulve_e5550_write_after_wake(kulve_reader *reader, int block,
                                                      const unsigned char *password, int passwordSize,
                                                      unsigned char *data, int dataSize, int lock);
/* RF5550_Mcmno: size >= 4. */
KULVE_API int KULVE_CALL kulve_e5550_module(kulve_reader *reader, unsigned char *answer, int size);

/* ---- mifare: Mifare Classic ---- */
/* Minimum sizes as the documented functions state them: key 6, block 16,
 * value 4, serial number 4, two-byte answer 4, whole card 768. */
KULVE_API int KULVE_CALL kulve_mifare_module(kulve_reader *reader, unsigned char *answer, int size); /* RFMifare_Mcmno */
KULVE_API int KULVE_CALL kulve_mifare_key_mode(kulve_reader *reader, int mode);                /* RFMifare_Authmode */
KULVE_API int KULVE_CALL kulve_mifare_store_key(kulve_reader *reader, int slot, const unsigned char *key,
                                                int size);                                     /* RFMifare_TransKey */
KULVE_API int KULVE_CALL kulve_mifare_card_type(kulve_reader *reader, unsigned char *answer, int size); /* RFMifare_GetType */
KULVE_API int KULVE_CALL kulve_mifare_serial(kulve_reader *reader, unsigned char *serial, int size);    /* RFMifare_GetSnr */
KULVE_API int KULVE_CALL kulve_mifare_read_block(kulve_reader *reader, int block, unsigned int param,
                                                 unsigned char *data, int size);               /* RFMifare_ReadBlock */
KULVE_API int KULVE_CALL kulve_mifare_write_block(kulve_reader *reader, int block, unsigned int param,
                                                  unsigned char *data, int size);              /* RFMifare_WriteBlock */
KULVE_API int KULVE_CALL kulve_mifare_write_key(kulve_reader *reader, int selector, unsigned int param,
                                                const unsigned char *key, int size, int flag); /* RFMifare_WriteKey */
KULVE_API int KULVE_CALL kulve_mifare_read_value(kulve_reader *reader, int block, unsigned int param,
                                                 unsigned char *value, int size);              /* RFMifare_ReadValue */
KULVE_API int KULVE_CALL kulve_mifare_write_value(kulve_reader *reader, int block, unsigned int param,
                                                  unsigned char *value, int size);             /* RFMifare_WriteValue */
KULVE_API int KULVE_CALL kulve_mifare_increment_value(kulve_reader *reader, int block, unsigned int param,
                                                      unsigned char *value, int size);         /* RFMifare_IncrementValue */
KULVE_API int KULVE_CALL kulve_mifare_decrement_value(kulve_reader *reader, int block, unsigned int param,
                                                      unsigned char *value, int size);         /* RFMifare_DecrementValue */
KULVE_API int KULVE_CALL kulve_mifare_read_card(kulve_reader *reader, int first, unsigned int param,
                                                unsigned char *card, int size);                /* RFMifare_ReadBloca */
KULVE_API int KULVE_CALL kulve_mifare_load_key(kulve_reader *reader, int first, int second,
                                               const unsigned char *key, int size);            /* RFMifare_LoadKey */
KULVE_API int KULVE_CALL kulve_mifare_request(kulve_reader *reader, int mode, unsigned char *answer,
                                              int size);                                       /* RFMifare_Request */
KULVE_API int KULVE_CALL kulve_mifare_anticollision(kulve_reader *reader, unsigned char *serial, int size); /* RFMifare_AntiColl */
KULVE_API int KULVE_CALL kulve_mifare_select(kulve_reader *reader, unsigned int serial);       /* RFMifare_Select */
KULVE_API int KULVE_CALL kulve_mifare_authenticate(kulve_reader *reader, int first, int second,
                                                   int third);                                 /* RFMifare_Authentication */
KULVE_API int KULVE_CALL kulve_mifare_read(kulve_reader *reader, int block, unsigned char *data, int size); /* RFMifare_Read */
KULVE_API int KULVE_CALL kulve_mifare_write(kulve_reader *reader, int block, const unsigned char *data,
                                            int size);                                         /* RFMifare_Write */
KULVE_API int KULVE_CALL kulve_mifare_increment(kulve_reader *reader, int block, unsigned int amount); /* RFMifare_Increment */
KULVE_API int KULVE_CALL kulve_mifare_decrement(kulve_reader *reader, int block, unsigned int amount); /* RFMifare_Decrment */
KULVE_API int KULVE_CALL kulve_mifare_halt(kulve_reader *reader);                              /* RFMifare_Halt */
/* MifareDumpCard and MifareRestoreCard on this handle's reader (they carry
 * their sizes already). */
KULVE_API int KULVE_CALL kulve_mifare_dump(kulve_reader *reader, int sectors, const unsigned char *keys,
                                           int keysSize, unsigned char *image, int imageSize,
                                           unsigned char *status, int statusSize);
KULVE_API int KULVE_CALL kulve_mifare_restore(kulve_reader *reader, int sectors, const unsigned char *keys,
                                              int keysSize, const unsigned char *image, int imageSize,
                                              int trailers);

/* ---- kq: attendance terminal ---- */
KULVE_API int KULVE_CALL kulve_kq_end_transfer(kulve_reader *reader);                  /* KQ_EndTrans */
KULVE_API int KULVE_CALL kulve_kq_get_time(kulve_reader *reader, KqTime *time);        /* KQ_GetTime */
KULVE_API int KULVE_CALL kulve_kq_set_time(kulve_reader *reader, const KqTime *time);  /* KQ_SetTime */
/* KQ_GetCurrentPos, KQ_GetStartPos, KQ_GetEndPos: size >= 4. */
KULVE_API int KULVE_CALL kulve_kq_current_position(kulve_reader *reader, int *first, unsigned char *position,
                                                   int size);
KULVE_API int KULVE_CALL kulve_kq_start_position(kulve_reader *reader, const int *date, int *first,
                                                 unsigned char *position, int size);
KULVE_API int KULVE_CALL kulve_kq_end_position(kulve_reader *reader, const int *date, int *first,
                                               unsigned char *position, int size);
/* KQ_ReadRecord: size >= 255. */
KULVE_API int KULVE_CALL kulve_kq_read_records(kulve_reader *reader, int first, int position, int third,
                                               unsigned char *record, int size);
KULVE_API int KULVE_CALL kulve_kq_init(kulve_reader *reader);                          /* KQ_SysInit */
/* KQ_Display: size >= 16. */
KULVE_API int KULVE_CALL kulve_kq_display(kulve_reader *reader, const char *text, int size);
/* KQ_TransCmd: size >= 256. */
KULVE_API int KULVE_CALL kulve_kq_command(kulve_reader *reader, int sub, int count, unsigned char *buffer,
                                          int size);
/* KQ_DownloadPSW: size >= 4 when kind is 1, else >= 6. */
KULVE_API int KULVE_CALL kulve_kq_download_password(kulve_reader *reader, int kind,
                                                    const unsigned char *password, int size);

#ifdef __cplusplus
}
#endif

#endif /* KULVE32_H */
