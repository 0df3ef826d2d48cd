#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The kulve tool's contract with scripts: exit status, data on standard output
# and status on standard error, and a wrong word anywhere on the line refused
# before anything is sent.
#   kulve_cli_test.sh KULVE
# Only --sim (a pty) and a path that does not exist are ever opened.
set -uo pipefail
kulve="$1"
work="$(mktemp -d /tmp/kulve-cli.XXXXXX)"
trap 'rm -rf "$work"' EXIT
# Any port index the tool might link names a path that does not exist.
export KULVE32_CONFIG=/nonexistent/kulve-cli.conf
KULVE32_PORTS="$(printf '%s\n' {0..9} | sed 's|.*|&=/nonexistent/kulve-cli-&|' | paste -sd';')"
export KULVE32_PORTS

# name | exit status | standard output | standard error | arguments
# An output is "-" for empty, else an extended regular expression that some
# line must match. Every exit status 2 also means: nothing on standard output
# and nothing sent (no "ok" line, no frame traced).
cases='
a bad word after good ones    |2| - | ^kulve: write: the data must be hex bytes, not "ZZ"$        | --sim --trace select 2 write 18 0 64 ZZ
a number out of range         |2| - | ^kulve: select: the card type must be a number from 0 to 255 | --sim select 999
a span past the card          |2| - | ^kulve: read: page \* 256 \+ offset \+ count must not pass    | --sim select 1 read 18 0 65530 10
a paged span past the card    |2| - | ^kulve: mwrite: address \+ count must not pass               | --sim mwrite 17301503 0102
too few words                 |2| - | ^kulve: alarm takes: MODE A B C$                             | --sim --trace select 1 alarm 1 2
an unknown command            |2| - | ^kulve: unknown command frobnicate                          | --sim --trace devno frobnicate
an option without its value   |2| - | ^kulve: --port needs a value                                 | --port
no reader named               |2| - | ^kulve: say which reader                                     | devno
no command                    |2| - | ^usage: kulve                                                |
data out, status err          |0| ^DE AD BE EF$ | ^read: ok$                                   | --sim insert 1 select 1 power on write 18 0 64 DEADBEEF read 18 0 64 4
quiet keeps the data only     |0| ^DE AD BE EF$ | -                                            | --quiet --sim insert 1 select 1 power on write 18 0 64 DEADBEEF read 18 0 64 4
a refusal stops the line      |1| - | ^present code: not available for the selected card type | --sim insert 1 select 1 power on present 1234 devno
a port that does not exist    |1| - | ^kulve: cannot link: open /nonexistent/kulve-cli-test: No such file | --port /nonexistent/kulve-cli-test devno
no reader needed for DES      |0| ^3F A4 0E 8A 98 4D 48 15$ | -                                | des enc --key 0123456789ABCDEF 4E6F772069732074
help on standard output       |0| ^exit status:$ | -                                            | --help
short help                    |0| ^usage: kulve  | -                                            | -h
full mode, T=1 CPU card       |0| ^6F 17 84 07 F0 4B 55 4C 56 45 31 | -                       | --quiet --sim apdu 0 --full 00A4040007F04B554C56453100
full mode, T=0 SAM: no 61xx   |0| ^SW 9000: Success$ | -                                      | --quiet --sim apdu 1 --full 00A4040007F04B554C564531
version with DLLVER           |0| ^kulve [0-9.]+, library [0-9.]+ \(DLLVER 7321\)$ | -          | --version
hex in lines of 16 bytes      |0| ^FF FF FF FF$ | -                                            | -q --sim insert 1 select 1 power on read 18 0 0 20
a status the simulator names  |1| - | ^write: reader status 0x92 \(simulator: protected         | --sim insert 2 select 2 power on write 18 0 32 AABB
a dump to standard output     |0| KULVE32 sample | ^mifare dump \(1024 bytes to standard output\): ok$ | --sim mifare dump -
a dump into no directory      |2| - | ^kulve: mifare: cannot write WORK/none/card.mfd: No such file or directory$ | --sim --trace mifare dump WORK/none/card.mfd
--out into no directory       |2| - | ^kulve: --out: cannot write WORK/none/out.bin: No such file or directory$ | --out WORK/none/out.bin --sim --trace insert 1
--in that does not exist      |2| - | ^kulve: write: cannot read WORK/none/in.bin: No such file or directory$ | --in WORK/none/in.bin --sim --trace select 1 write 18 0 0 -
no data on standard input     |2| - | ^kulve: write: the data of standard input must be 1 to 65536 bytes, not 0$ | --sim --trace select 1 write 18 0 0 -
a full standard output        |1| - | ^kulve: cannot write standard output: No space left on device$ | -q --sim insert 1 select 1 power on read 18 0 0 64 --stdout-full
a full dump file              |1| - | ^mifare dump: cannot write /dev/full: No space left on device$ | -q --sim mifare dump /dev/full
full-mode script: extended Le, a chained 200-byte UPDATE |0| ^< (5A ){199}5A$ | -  | -q --sim chip 0 3B8A813120454B554C56452D5354523157 apdu --full --script WORK/full.apdu
a stamped simulator log       |0| ^4B 53 | ^kulvesim: [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} request code 20 | --sim --trace --trace-secrets devno
--index out of range          |2| - | ^kulve: --index: the port index must be a number from 0 to 9 | --index 10 devno
--sim and --index             |2| - | ^kulve: --sim and --port or --index name two readers | --sim --index 0 --trace devno
--index and --sim             |2| - | ^kulve: --sim and --port or --index name two readers | --index 3 --sim --trace devno
a second apdu on the line     |2| - | ^kulve: apdu: one apdu a line: .* apdu --script FILE$ | --sim --trace apdu 0 00A4040000 apdu 0 00B0000000
a full --out file             |1| - | ^read: cannot write /dev/full: No space left on device$       | -q --out /dev/full --sim insert 1 select 1 power on read 18 0 0 64
'

# For the full-mode script; the ATR above is the strict card's with IFSC 32
# (TA3 20), so that 200 bytes go as a chain of blocks.
cat >"$work/full.apdu" <<EOF
00A4040007F04B554C564531 = 9000
00A4000C020103 = 9000
002000010431323334 = 9000
00D60000C8$(printf '5A%.0s' $(seq 200)) = 9000
00B000000000C8 = 9000  # extended Le: 200 bytes back
EOF

trim() { local s="$1"; s="${s#"${s%%[![:space:]]*}"}"; printf '%s' "${s%"${s##*[![:space:]]}"}"; }
# matches FILE PATTERN: "-" = the file is empty, else some line matches PATTERN.
matches() {
  if [[ "$2" == "-" ]]; then [[ ! -s "$1" ]]; else grep -Eq -- "$2" "$1"; fi
}

passed=0 failed=0
while IFS='|' read -r name want_status want_out want_err args; do
  name="$(trim "$name")"
  [[ -n "$name" ]] || continue
  want_status="$(trim "$want_status")" want_out="$(trim "$want_out")" want_err="$(trim "$want_err")"
  args="${args//WORK/$work}" want_err="${want_err//WORK/$work}"
  out="$work/out"
  if [[ "$args" == *" --stdout-full" ]]; then  # standard output is /dev/full
    args="${args% --stdout-full}" out=/dev/full
  fi
  # shellcheck disable=SC2086  # the arguments are words
  "$kulve" $args >"$out" 2>"$work/err" </dev/null
  status=$?
  [[ "$out" == "$work/out" ]] || : >"$work/out"
  why=""
  [[ $status -eq $want_status ]] || why+=" exit status $status, not $want_status;"
  matches "$work/out" "$want_out" || why+=" standard output does not match $want_out;"
  matches "$work/err" "$want_err" || why+=" standard error does not match $want_err;"
  if [[ $want_status -eq 2 ]] && grep -Eq ': ok$|\[reader\]' "$work/err"; then
    why+=" something was sent before the line was refused;"
  fi
  if [[ -z "$why" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name:$why"
    echo "  kulve $args"
    sed 's/^/  out| /' "$work/out"
    sed 's/^/  err| /' "$work/err"
  fi
done <<<"$cases"

# Raw bytes through --in and --out come back as they went, and the help
# keeps within 80 columns.
head -c 3000 /dev/urandom >"$work/in.bin"
if "$kulve" -q --in "$work/in.bin" --out "$work/back.bin" --sim insert 1 select 1 power on \
     write 18 0 100 - read 18 0 100 3000 && cmp -s "$work/in.bin" "$work/back.bin"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAILED: --in and --out do not round-trip 3000 bytes"
fi
if "$kulve" -q --sim insert 1 select 1 power on write 18 0 100 - read 18 0 100 3000 <"$work/in.bin" |
     tr -d ' \n' | cmp -s - <(od -An -tx1 -v "$work/in.bin" | tr -d ' \n' | tr a-f A-F); then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAILED: write - from standard input does not read back as hex"
fi
# Progress of a long read on a terminal (script(1) gives it one), none in a file.
progress="$(script -qec "$kulve --sim insert 1 select 1 power on read 18 0 0 4096 >/dev/null" /dev/null | tr '\r' '\n')"
"$kulve" --sim insert 1 select 1 power on read 18 0 0 4096 >/dev/null 2>"$work/err"
if grep -q '^reading: 4096/4096' <<<"$progress" && ! grep -q reading "$work/err"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAILED: progress on a terminal only:"; echo "$progress"; cat "$work/err"
fi
wide="$("$kulve" --help | awk 'length > 80')"
if [[ -z "$wide" ]]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: --help wider than 80: $wide"; fi

echo "kulve: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
