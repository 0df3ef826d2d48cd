#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Real card contents in and out of kulvesim: a Mifare dump read back by
# kulve gives the file it was loaded from, byte for byte, in the raw form and
# in the .eml text form (the tool's and one laid out by hand), also with a
# key of its own in every sector, or in part when keys are missing, in no
# more exchanges than a whole-card read when the keys work; every card
# model comes back from --save-state as it was loaded; and kulvesim's
# complaints about its command line and images.
#   card_images_test.sh KULVESIM KULVE
set -uo pipefail
sim="$1"
kulve="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../support/waits.sh"
work="$(mktemp -d /tmp/kulve-images.XXXXXX)"
pid=""
stop() {
  if [[ -n "$pid" ]]; then
    exec 3>&-
    kill -TERM "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=""
  fi
}
trap 'stop; [[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # name, then the command that must succeed
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

# Starts kulvesim with the options, commands on fd 3; port = the pty it serves.
serve() {
  stop
  # The last one's path goes too: the new process empties the file only once
  # it runs, which on a loaded machine can be after the wait below began.
  rm -f "$work/control" "$work/sim.out" && mkfifo "$work/control"
  "$sim" --quiet "$@" <"$work/control" >"$work/sim.out" 2>"$work/sim.err" &
  pid=$!
  exec 3>"$work/control"
  port="$(first_line "$work/sim.out" "$pid")" ||
    { cat "$work/sim.err"; echo "FAILED: kulvesim $* printed no path"; exit 1; }
}
# Sends a control command and waits for its answer line.
control() {
  local lines; lines=$(wc -l <"$work/sim.out")
  echo "$*" >&3
  line_count_above "$work/sim.out" "$lines" || { echo "no answer to '$*'"; return; }
  tail -1 "$work/sim.out"
}

# A 1K card: UID 11 22 33 44, random data; sectors 0..7 with the transport
# access bytes (key A reads key B), 8..15 with 7F 07 88 (key B never read).
python3 - "$work/card.mfd" <<'PY'
import os, sys
b = bytearray(os.urandom(1024))
b[0:8] = bytes.fromhex("1122334400080400")
b[4] = 0x11 ^ 0x22 ^ 0x33 ^ 0x44
for s in range(16):
    t = s * 64 + 48
    b[t:t + 16] = bytes.fromhex("A0A1A2A3A4A5" + ("FF078069" if s < 8 else "7F078869") + "B0B1B2B3B4B5")
open(sys.argv[1], "wb").write(b)
PY
keys=(keyb B0B1B2B3B4B5 key A0A1A2A3A4A5)

serve --mifare 11223344 --image "$work/card.mfd"
"$kulve" -q --port "$port" mifare "${keys[@]}" dump "$work/back.mfd" dump "$work/tool.eml"
check "the dump of a card loaded from .mfd is that file" cmp "$work/card.mfd" "$work/back.mfd"
check "the simulator saves the .eml the tool writes" \
  test "$(control save mifare 11223344 "$work/sim.eml")" = ok
check "both .eml files agree" cmp "$work/tool.eml" "$work/sim.eml"

# The Proxmark3 layout as a person might type it: capitals, CRLF, a blank line.
od -An -tx1 -v -w16 "$work/card.mfd" | tr -d ' ' | tr a-f A-F | sed 's/$/\r/' >"$work/hand.eml"
printf '\r\n' >>"$work/hand.eml"
check "control: mifare clear" test "$(control mifare clear)" = ok
check "control: save names what is missing" test "$(control save card "$work/x.bin")" = "error: no memory card in the slot"
check "control: load names the file's fault" \
  test "$(control load e5550 "$work/card.mfd")" = "error: $work/card.mfd: the image holds 1024 bytes, not 33"
check "control: load mifare hand.eml" test "$(control load mifare "$work/hand.eml")" = ok
"$kulve" -q --port "$port" mifare "${keys[@]}" dump "$work/hand.mfd"
check "a hand-written .eml round-trips" cmp "$work/card.mfd" "$work/hand.mfd"

# The tool reads .eml and - too: restore-all onto a new card, then the dump
# is the card's file but for block 0 (never written).
for source in "$work/hand.eml" -; do
  control mifare clear >/dev/null && control mifare add 11223344 >/dev/null
  rm -f "$work/restored.mfd"
  "$kulve" -q --port "$port" mifare restore-all "$source" "${keys[@]}" dump "$work/restored.mfd" <"$work/card.mfd"
  check "restore-all $source, then dump" cmp -i 16 "$work/card.mfd" "$work/restored.mfd"
done

# A card as issued: a key A and a key B of its own in every sector, and three
# kinds of access bytes: transport (key B shown), 7F 07 88 (key B hidden),
# 0F 00 FF (data blocks read by key B alone).
python3 - "$work/keyed.mfd" "$work/keys.txt" "$work/keyed.words" "$work/changed.mfd" <<'PY'
import os, sys
b = bytearray(os.urandom(1024))
b[0:8] = bytes.fromhex("5566778800080400")
b[4] = 0x55 ^ 0x66 ^ 0x77 ^ 0x88
keys = ["# every key of the card, and one that opens nothing", "FFFFFFFFFFFF"]
for s in range(16):
    t = s * 64 + 48
    a, kb = "A0A1A2A3A4%02X" % s, "B0B1B2B3B4%02X" % s
    b[t:t + 16] = bytes.fromhex(a + ("FF078069", "7F078869", "0F00FF69")[s % 3] + kb)
    keys += [a, kb]
open(sys.argv[1], "wb").write(b)
open(sys.argv[2], "w").write("\n".join(keys) + "\n")
open(sys.argv[3], "w").write(" ".join("key %d %s keyb %d %s" % (s, keys[2 * s + 2], s, keys[2 * s + 3]) for s in range(16)))
b[16:32] = bytes(range(16)); b[64 + 16:64 + 32] = bytes(range(16, 32))  # sectors 0 and 1 changed
open(sys.argv[4], "wb").write(b)
PY
serve --mifare --image "$work/keyed.mfd"  # the UID from the image
"$kulve" -q --show-secrets --port "$port" mifare uid keys "$work/keys.txt" dump "$work/found.mfd" >"$work/found.txt"
check "dump with the keys found is the card's file" cmp "$work/keyed.mfd" "$work/found.mfd"
check "keys found a key A and a key B in every sector" test "$(grep -c 'key A A0.*key B B0' "$work/found.txt")" -eq 16
"$kulve" -q --port "$port" mifare keyfile "$work/keys.txt" dump "$work/keyfile.eml"
check "dump with a key file is the card's file" \
  cmp "$work/keyed.mfd" <(xxd -r -p "$work/keyfile.eml")
read -ra own <"$work/keyed.words"
check "read and write with a key named for the sector" test "$("$kulve" -q --port "$port" mifare key 3 A0A1A2A3A403 \
  read 12 write 13 00112233445566778899AABBCCDDEEFF read 13 | tail -1)" = "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF"
"$kulve" -q --port "$port" mifare "${own[@]}" restore "$work/changed.mfd" dump "$work/restored.mfd"
check "restore with a key A and a key B named for each sector" cmp "$work/changed.mfd" "$work/restored.mfd"
"$kulve" -q --port "$port" mifare key 3 A0A1A2A3A403 key 5 B0B1B2B3B405 dump "$work/partial.mfd" 2>"$work/partial.err"
check "a partial dump exits 1" test $? -eq 1
check "each missing sector is named" test "$(grep -c 'sector [0-9]* not read' "$work/partial.err")" -eq 14
check "sectors 3 and 5 read, with their keys in the trailers" python3 - "$work/keyed.mfd" "$work/partial.mfd" <<'PY'
import sys
card, part = (open(f, "rb").read() for f in sys.argv[1:])
missing = [s for s in range(16) if s not in (3, 5)]
ok = all(part[s * 64:s * 64 + 64] == bytes(64) for s in missing) and part[192:256] == card[192:256]
# sector 5: key B read it, key A was never given: zeros in its place
ok = ok and part[320:368] == card[320:368] and part[368:374] == bytes(6) and part[374:384] == card[374:384]
sys.exit(0 if ok else 1)
PY
"$kulve" -q --port "$port" mifare key 010203040506 dump "$work/none.mfd" 2>"$work/none.err"
check "no sector read: exit 1, no file" test $? -eq 1 -a ! -e "$work/none.mfd"

# Keys that work cost no more exchanges than one read of the whole card: 16
# key slots and the key mode, 16 sector reads, 16 trailers.
"$kulve" -q --sim --trace mifare dump "$work/sample.mfd" 2>"$work/sample.trace"
check "a dump with working keys takes 49 exchanges" \
  test "$(grep -c '^kulve32: .* request code [AB]' "$work/sample.trace")" -eq 49

# A 4K card (sectors 32..39 of 16 blocks) with a key A and a key B of its
# own in every sector and the three kinds of access bytes, dumped and put
# back onto a new 4K card.
python3 - "$work/k4.mfd" "$work/k4.keys" "$work/new4k.mfd" <<'PY'
import os, sys
b, new = bytearray(os.urandom(4096)), bytearray(4096)
b[0:8] = new[0:8] = bytes.fromhex("5566778800180200")
b[4] = new[4] = 0x55 ^ 0x66 ^ 0x77 ^ 0x88
words = []
for s in range(40):
    t = (s * 4 + 3 if s < 32 else 128 + (s - 32) * 16 + 15) * 16
    a, kb = "A0A1A2A3A4%02X" % s, "B0B1B2B3B4%02X" % s
    b[t:t + 16] = bytes.fromhex(a + ("FF078069", "7F078869", "0F00FF69")[s % 3] + kb)
    new[t:t + 16] = bytes.fromhex("FF" * 6 + "FF078069" + "FF" * 6)
    words += ["key", str(s), a, "keyb", str(s), kb]
open(sys.argv[1], "wb").write(b)
open(sys.argv[2], "w").write(" ".join(words))
open(sys.argv[3], "wb").write(new)
PY
read -ra keys4k <"$work/k4.keys"
serve --mifare --image "$work/k4.mfd"
"$kulve" -q --port "$port" mifare 4k "${keys4k[@]}" dump "$work/k4back.mfd" dump "$work/k4back.eml"
check "a 4K dump with a key per sector is the card's file" cmp "$work/k4.mfd" "$work/k4back.mfd"
check "the simulator saves the 4K .eml the tool writes" \
  test "$(control save mifare 55667788 "$work/k4sim.eml")" = ok
check "both 4K .eml files agree" cmp "$work/k4back.eml" "$work/k4sim.eml"
check "control: load mifare, a new 4K card" test "$(control load mifare "$work/new4k.mfd")" = ok
"$kulve" -q --port "$port" mifare "${keys4k[@]}" restore-all "$work/k4back.eml" 4k "${keys4k[@]}" dump "$work/k4restored.mfd"
check "restore-all of a 4K .eml, then dump" cmp -i 16 "$work/k4.mfd" "$work/k4restored.mfd"

serve --mifare 11223344 --image "$work/tool.eml"
"$kulve" -q --port "$port" mifare "${keys[@]}" dump "$work/eml.mfd"
check "the tool's .eml loads and round-trips" cmp "$work/card.mfd" "$work/eml.mfd"

# Every model back from --save-state as loaded.
head -c 65540 /dev/urandom >"$work/card-2.bin"
printf '\x81\x15' | dd of="$work/card-2.bin" bs=1 seek=6 conv=notrunc status=none  # its identification
head -c 2177 /dev/urandom >"$work/at1608.bin"
printf '0123456789ABCDEF' | xxd -r -p | dd of="$work/at1608.bin" bs=1 seek=$((2048 + 48)) conv=notrunc status=none
head -c 33 /dev/urandom >"$work/e5550.bin"
serve --card 2 --image "$work/card-2.bin" --mifare 11223344 --image "$work/card.mfd" \
  --at1608 0123456789ABCDEF --image "$work/at1608.bin" --e5550 --image "$work/e5550.bin" --save-state "$work/state"
"$kulve" -q --port "$port" --out "$work/read.bin" select 2 power on read 18 0 0 65536
check "kulve reads the memory card image" cmp -n 65536 "$work/card-2.bin" "$work/read.bin"
stop
for f in card-2.bin at1608.bin e5550.bin; do
  check "--save-state: $f as loaded" cmp "$work/$f" "$work/state/$f"
done
check "--save-state: mifare-11223344.mfd as loaded" cmp "$work/card.mfd" "$work/state/mifare-11223344.mfd"

# kulvesim refuses: exit status 2 and one line naming what is wrong.
head -c 1000 /dev/zero >"$work/short.mfd"
head -c 65537 /dev/zero >"$work/long.bin"
printf '00112233\n' >"$work/bad.eml"
cases="
--frobnicate                          |unknown option --frobnicate
--mifare                              |--mifare needs a value
--image $work/card.mfd                |--image belongs after
--mifare 11223344 --image $work/short.mfd |short.mfd: the image holds 1000 bytes, not 1024
--mifare 11223344 --image $work/bad.eml   |bad.eml: line 1 is not a block of 32 hex digits
--mifare 55667788 --image $work/card.mfd  |block 0 of the image starts 11 22 33 44, not the card's UID 55 66 77 88
--e5550 --image $work/none.bin        |cannot read $work/none.bin: No such file or directory
--e5550 --image $work/card.mfd        |card.mfd: the image holds 1024 bytes, not 33
--at1608 0123456789ABCDEF --image $work/e5550.bin |e5550.bin: the image holds 33 bytes, not 2177
--card 1 --image $work/long.bin       |the image holds 65537 bytes, not at most 65536 (card memory)
--card 2 --image $work/long.bin       |not at most 65536 (card memory) or 65540 (with the security memory of type 2)
"
while IFS='|' read -r args want; do
  [[ -n "${args// }" ]] || continue
  # shellcheck disable=SC2086
  timeout 120 "$sim" --quiet $args </dev/null >/dev/null 2>"$work/err"
  status=$?
  check "kulvesim $args: exit 2, '$want'" test "$status" -eq 2 -a "$(wc -l <"$work/err")" -eq 1
  grep -qF -- "$want" "$work/err" || { failed=$((failed + 1)); echo "FAILED: kulvesim $args said: $(cat "$work/err")"; }
done <<<"$cases"

# A shorter memory-card image (a real card's 2 KiB) fills memory from byte 0.
serve --card 1 --image "$work/at1608.bin"
"$kulve" -q --port "$port" --out "$work/short.bin" select 1 power on read 18 0 0 2177
check "a short memory-card image fills memory from byte 0" cmp "$work/at1608.bin" "$work/short.bin"
stop

echo "card images: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
