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
 * selected) and the link speed is probed anew.
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
 * sector does not stop the loop: after all 16 sectors the result is the
 * first such refusal, or 0 when every sector succeeded. */
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

/* ---- Attendance terminal ------------------------------------------------------- */

/* ---- Extensions (not in the classic export table; ordinals from 100) ------- */

#define KULVE_MAX_PORT_PATH 255

/* Sets the device that port index 0..9 opens: on POSIX any path (/dev/ttyUSB0,
 * /dev/serial/by-id/..., a pty); on Windows any device name (\\.\COM12).
 * Defaults: /dev/ttyS0../dev/ttyS9 on POSIX, \\.\COM1..\\.\COM10 on Windows.
 * 0 = set; 4 = index outside 0..9, or path null, empty or longer than
 * KULVE_MAX_PORT_PATH bytes. Takes effect at the next LinkCom. */
KULVE_API int KULVE_CALL SetComPortPath(int port, const char *path);

/* Copies the device path of port index 0..9, NUL-terminated, into path
 * (size bytes). 0 = copied; 4 = bad index, null path or size too small. */
KULVE_API int KULVE_CALL GetComPortPath(int port, char *path, int size);

#ifdef __cplusplus
}
#endif

#endif /* KULVE32_H */
