// SPDX-License-Identifier: MIT
// Commands a running kulvesim takes on its standard input, one per line,
// so a test script can steer a reader in another process:
//
//   fault FAULT    schedule a fault (syntax in fault_text.h)   -> ok | error: ...
//   clear          drop every scheduled fault                  -> ok
//   speed S        accept 57600, 9600 or both                  -> ok | error: ...
//   vanish         close the line now (kulvesim opens a new one) -> ok
//   count          exchanges completed so far                  -> count N
//   state          the reader state                            -> state card=.. slot=.. power=.. standby=..
//   insert TYPE    a new contact memory card of TYPE in the slot -> ok | error: ...
//   at1608 SEED    a new AT88SC1608 card with that 16-hex-digit secret seed -> ok | error: ...
//   remove         empty the contact slot                      -> ok
//   clock          the attendance terminal's clock             -> clock 2024-06-13 08:02:11 weekday=4
//   display        what the terminal's display shows           -> display "READY           "
//   terminal       its record store and transfer state         -> terminal records=N transfer=0|1 ended=N
//   punch BADGE in|out  a record at the terminal's time        -> ok | error: ...
//   fill           a few weeks of sample records (as --terminal) -> ok
//   e5550 place    a new e5550 transponder in the RF field     -> ok
//   e5550 remove   no transponder in the field                 -> ok
//   e5550 leave    the transponder leaves the field and comes back (forgets a wake) -> ok | error: ...
//   chip SLOT ATR  a new CPU card (SLOT 0) or SAM (1..4) answering reset
//                  with the hex ATR; "none" empties the slot   -> ok | error: ...
//   strict SLOT on|off  the T=1 card in SLOT speaks the strict profile, or the
//                  lenient one (the default)                   -> ok | error: ...
//   strict SLOT slow MS  each command takes MS ms, announced by S(WTX) (0: off) -> ok | error: ...
//   strict SLOT drop [N]  the card's block after the next N (default 0) loses its last byte -> ok | error: ...
//   t1errors       T=1 protocol errors the cards logged since the last ask
//                                                              -> t1errors N[: slot: error; ...]
//   mifare add UID a new Mifare Classic card (UID: 8 hex digits) in the field -> ok | error: ...
//   mifare clear   every Mifare card leaves the field          -> ok
//   load card TYPE FILE   a memory card of TYPE made from the image -> ok | error: ...
//   load mifare FILE      a Mifare card from the image (UID from block 0;
//                         replaces a card with that UID)         -> ok | error: ...
//   load at1608 FILE      an AT88SC1608 card from the image        -> ok | error: ...
//   load e5550 FILE       an e5550 transponder from the image      -> ok | error: ...
//   save card FILE | save mifare UID FILE | save at1608 FILE | save e5550 FILE
//                  that card's image (formats in sim/cards/card_images.h) -> ok | error: ...
//   save state DIR every card, as kulvesim --save-state        -> ok N files | error: ...
// Empty lines and lines starting with '#' are ignored (no answer).
#pragma once

#include <string>
#include <string_view>

#include "sim/simulator.h"

namespace kulve::sim {

// Runs one command line; returns the answer line (empty for none).
std::string RunControlCommand(Simulator& sim, std::string_view line);

// Puts a new chip card answering with the hex ATR (or none, for "none") into
// slot 0..4; returns why not, or an empty string when done.
std::string PutChipCard(Simulator& sim, std::string_view slot, std::string_view atr);

}  // namespace kulve::sim
