#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The PC/SC lane: Debian's pcscd loads the driver (libkulve_ifd.so) for a
# simulated reader, and PC/SC programs use it:
#   1. on a pty, the CPU card the simulator's strict T=1 card: pyscard
#      (tests/pcsc/pcsc_checks.py: the six slots, the CPU card's commands, a
#      T=1 CPU card and a T=0 SAM alternately, two threads, bad APDUs, a
#      1,024-byte answer, the Mifare storage-card commands, removal and
#      insertion, the escape, a line that drops, a reader gone for good),
#      opensc-tool and pcsc_scan, their output checked; then
#      tests/pcsc/pcsc_trust_checks.py: the escape refused to a second program
#      while a first holds a card EXCLUSIVE, held idle cards (state kept,
#      removal reported, latency printed), GET DATA after a swap, the
#      reconnect flow, the attributes; again with DEVICENAME ...:escape (the
#      escape goes through), and the idle line traffic printed;
#   2. the same driver through rfc2217:// to kulvesim --rfc2217 (pyscard, quick);
#   3. a benchmark: GET CHALLENGE through pcscd against the same APDU through
#      the library directly, on one simulated reader, as a ratio (the reader
#      keeping to the line's timing, and unpaced);
#   4. a reader farm: eight simulated readers in one pcscd, one client per
#      reader against one reader alone, the ratio of the rates printed.
#
#   scripts/pcsc_lane.sh [--build DIR]   (default build/release; the driver is
#                                        built there when it is missing)
#
# pcscd runs in the foreground with a configuration of its own, in a private
# mount namespace with its own /run/pcscd (pcscd 1.9.9 always listens on
# /run/pcscd/pcscd.comm), and is stopped by its process id; so this needs
# root. Installs pcscd, libpcsclite-dev, python3-pyscard, opensc, pcsc-tools
# and libnfc-bin with apt-get when they are missing (unless KULVE_NO_APT is
# set: scripts/test.sh installs them before any lane starts).
# Exit status: 0 passed; 1 a check failed; 2 the lane could not be set up;
# 77 SKIPPED (not root, or the packages cannot be installed).
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tests/support/waits.sh"
build="$repo/build/release"
inside=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build) build="$(realpath "$2")"; shift 2 ;;
    --inside) inside=1; shift ;;
    *) echo "usage: $0 [--build DIR]" >&2; exit 2 ;;
  esac
done
: "${KULVE_LANE_STARTED:=$(date +%s)}"
export KULVE_LANE_STARTED
say() { printf 'pcsc lane: %s (%ds)\n' "$*" $(($(date +%s) - KULVE_LANE_STARTED)); }
skip() { printf '\n!!! SKIPPED: the PC/SC lane did not run: %s !!!\n\n' "$*"; exit 77; }

if [[ $inside -eq 0 ]]; then
  [[ "$(id -u)" -eq 0 ]] || skip "it needs root for pcscd's private mount namespace"
  "$repo/scripts/install-deps.sh" --minimal pcscd libpcsclite-dev python3-pyscard opensc pcsc-tools libnfc-bin ||
    skip "pcscd, pyscard, opensc, pcsc-tools or libnfc-bin could not be installed (apt's error above)"
  # pcsc-lite's development files may have arrived just now: then configure
  # again (an existing driver is used as it is).
  if [[ ! -e "$build/pcsc/libkulve_ifd.so" ]]; then
    cmake -S "$repo" -B "$build" -DKULVE_BUILD_PCSC=ON >/dev/null || exit 2
    cmake --build "$build" -j"${KULVE_JOBS:-2}" --target kulve_ifd kulvesim kulve32 >/dev/null || exit 2
  fi
  exec unshare --mount --propagation private "$0" --build "$build" --inside
fi

# ---- inside the namespace -------------------------------------------------------
driver="$build/pcsc/libkulve_ifd.so"
sim="$build/sim/kulvesim"
library="$build/src/libkulve32.so"
for f in "$driver" "$sim" "$library"; do [[ -e "$f" ]] || { echo "pcsc lane: $f is missing" >&2; exit 2; }; done
mkdir -p /run/pcscd && mount -t tmpfs -o mode=0755 tmpfs /run/pcscd || exit 2
work="$(mktemp -d /tmp/kulve-pcsc.XXXXXX)"
sim_pid="" holder_pid="" pcscd_pid=""
stop_pcscd() {
  if [[ -n "$pcscd_pid" ]]; then kill -TERM "$pcscd_pid" 2>/dev/null; wait "$pcscd_pid" 2>/dev/null; fi
  pcscd_pid=""
}
stop_sim() {
  if [[ -n "$sim_pid" ]]; then kill -TERM "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; fi
  if [[ -n "$holder_pid" ]]; then kill -TERM "$holder_pid" 2>/dev/null; wait "$holder_pid" 2>/dev/null; fi
  sim_pid="" holder_pid=""
}
cleanup() { stop_pcscd; stop_sim; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 2' INT TERM

passed=0 failed=0
ok() { passed=$((passed + 1)); printf '  ok       %s\n' "$*"; }
bad() { failed=$((failed + 1)); printf '  FAILED   %s\n' "$*"; }

# start_sim ARGS...: kulvesim with a Mifare card in its field; its standard
# input is the fifo $work/control (held open), its first output line the
# address a host opens, in $address.
start_sim() {
  stop_sim
  rm -f "$work/control" "$work/sim.out"
  mkfifo "$work/control"
  sleep 100000 >"$work/control" &
  holder_pid=$!
  # With sim_trace set, the simulator traces every frame into sim.err.
  local quiet=--quiet
  [[ -n "${sim_trace:-}" ]] && quiet=""
  "$sim" $quiet --mifare 11223344 "$@" <"$work/control" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  address="$(first_line "$work/sim.out" "$sim_pid" || true)"
  [[ -n "$address" ]] || { cat "$work/sim.err" >&2; echo "pcsc lane: kulvesim printed no address" >&2; exit 2; }
}

# start_pcscd DEVICE: pcscd with one reader, waited for until its six slots
# are listed.
start_pcscd() {
  stop_pcscd
  cat >"$work/reader.conf" <<CONF
FRIENDLYNAME "KULVE32"
DEVICENAME $1
LIBPATH $driver
CHANNELID 0
CONF
  pcscd --foreground --debug --config "$work/reader.conf" >"$work/pcscd.log" 2>&1 &
  pcscd_pid=$!
  # Until it lists them or ends; a loaded machine may take a while.
  local end=$((SECONDS + 120))
  while [[ $SECONDS -lt $end ]] && kill -0 "$pcscd_pid" 2>/dev/null; do
    if [[ -S /run/pcscd/pcscd.comm ]] && [[ "$(pcsc_scan -r 2>/dev/null | grep -c 'KULVE32 00 0')" -eq 6 ]]; then
      return 0
    fi
    sleep 0.1
  done
  tail -30 "$work/pcscd.log" >&2
  echo "pcsc lane: pcscd did not list the reader's six slots" >&2
  exit 2
}

checks() {
  timeout 1800 /usr/bin/python3 "$repo/tests/pcsc/pcsc_checks.py" --control "$work/control" --sim-out "$work/sim.out" "$@"
}
trust() {
  timeout 1800 /usr/bin/python3 "$repo/tests/pcsc/pcsc_trust_checks.py" --control "$work/control" --sim-out "$work/sim.out" "$@"
}
# sim_count: the simulator's count of exchanges so far.
sim_count() {
  local seen
  seen="$(wc -l <"$work/sim.out")"
  echo count >&7
  for _ in $(seq 100); do
    tail -n +"$((seen + 1))" "$work/sim.out" | grep -m1 '^count ' | cut -d' ' -f2 | grep . && return
    sleep 0.05
  done
  echo 0
}

# idle_traffic LABEL: pcscd polling six slots, no program: the exchanges a
# second over 5 s, judged against 2 (fd 7 is the simulator's control).
idle_traffic() {
  local first last rate
  sleep 2
  first="$(sim_count)"
  sleep 5
  last="$(sim_count)"
  rate="$(awk -v a="$first" -v b="$last" 'BEGIN { printf "%.2f", (b - a) / 5 }')"
  if awk -v r="$rate" 'BEGIN { exit !(r <= 2) }'; then
    ok "$1: idle line traffic $rate exchanges/s (goal <= 2)"
  else
    bad "$1: idle line traffic $rate exchanges/s (goal <= 2)"
  fi
}

# expect_output WHAT PATTERN COMMAND...: the command succeeds and prints a line matching PATTERN.
expect_output() {
  local what="$1" pattern="$2"
  shift 2
  local out
  if out="$(timeout 600 "$@" 2>&1)" && grep -qE "$pattern" <<<"$out"; then
    ok "$what"
  else
    bad "$what"
    sed 's/^/           | /' <<<"$out" | tail -15
  fi
}

# undocumented_codes FILE: the request codes in a simulator trace that are not
# among the reader's documented commands, with their counts.
undocumented_codes() {
  grep -o 'request code [0-9A-F][0-9A-F]' "$1" | awk '
    BEGIN {
      split("0 1 2 3 10 13 28 32 34 122 12 14 20 21 24 25 26 27 35 36 50 51 60 61 70 71 80 81 90 91 161", list, " ")
      for (i in list) ok[list[i]] = 1
      for (c = 40; c <= 45; c++) ok[c] = 1      # AT88SC1608
      for (c = 100; c <= 105; c++) ok[c] = 1    # e5550
      for (c = 164; c <= 189; c++) ok[c] = 1    # Mifare 0xA4..0xBD
      for (c = 193; c <= 202; c++) ok[c] = 1    # attendance terminal 0xC1..0xCA
    }
    { code = 16 * (index("0123456789ABCDEF", substr($3, 1, 1)) - 1) + index("0123456789ABCDEF", substr($3, 2, 1)) - 1
      if (!(code in ok)) n[$3]++ }
    END { for (c in n) printf "%s:%d ", c, n[c] }'
}

# ---- 1. on a pty -------------------------------------------------------------------
say "pyscard, opensc-tool and pcsc_scan through pcscd, the reader on a pty"
sim_trace=1 start_sim --link "$work/tty" --strict-t1
start_pcscd "$address"
if checks; then ok "pyscard checks (pty)"; else bad "pyscard checks (pty)"; fi
expect_output "opensc-tool --list-readers lists the six slots" 'KULVE32 00 05' \
  bash -c 'opensc-tool --list-readers | tee /dev/stderr | grep -c "KULVE32 00 0" | grep -qx 6 && echo "KULVE32 00 05"'
expect_output "opensc-tool --atr reads the CPU card's ATR" '^3b:8a:81:31:20:45:4b:55:4c:56:45:2d:53:54:52:31:57$' \
  opensc-tool --reader 0 --atr
expect_output "opensc-tool --send-apdu: GET CHALLENGE to the CPU card" 'SW1=0x90, SW2=0x00' \
  opensc-tool --reader 0 --send-apdu 00:84:00:00:08
# (the pyscard checks left the card 55667788 in the field)
expect_output "opensc-tool --send-apdu: the UID of the Mifare card" '^55 66 77 88 ' \
  opensc-tool --reader 5 --send-apdu FF:CA:00:00:00
expect_output "pcsc_scan -r lists the six slots" '^5: KULVE32 00 05$' pcsc_scan -r
if trust; then ok "pyscard: sharing, presence, reconnect, attributes"; else bad "pyscard: sharing, presence, reconnect, attributes"; fi
if checks --gone "$sim_pid"; then ok "pyscard: the reader stops for good"; else bad "pyscard: the reader stops for good"; fi
wait "$sim_pid" 2>/dev/null
sim_pid=""
stop_pcscd
requests="$(grep -c 'request code' "$work/sim.err")"
odd="$(undocumented_codes "$work/sim.err")"
if [[ "$requests" -gt 300 && -z "$odd" ]]; then
  ok "the default run sent only documented reader commands ($requests requests in the simulator's trace)"
else
  bad "the default run sent undocumented reader commands: ${odd:-none, but only $requests requests traced}"
fi

# ---- 1b. the escape allowed, and idle line traffic ------------------------------------
say "the escape with :escape in DEVICENAME; idle line traffic"
start_sim --link "$work/tty" --strict-t1
exec 7>"$work/control"
start_pcscd "$address:escape"
if trust --escape-allowed; then ok "pyscard: the escape with the option"; else bad "pyscard: the escape with the option"; fi
stop_pcscd
start_pcscd "$address"
idle_traffic "default device name"
# How long an unpowered slot takes to show a card put in (probed presence),
# three times per kind of slot; printed for docs/pcsc.md, not judged.
/usr/bin/python3 - "$work/control" "$work/sim.out" "$repo/tests/pcsc" <<'PY'
import sys
import time

sys.path.insert(0, sys.argv[3])
from smartcard import scard as sc  # noqa: E402
from pcsc_checks import CPU_ATR_STRICT, Sim, context, sam_atr, wait_state  # noqa: E402

sim, ctx = Sim(sys.argv[1], sys.argv[2]), context()
for slot, out, back in ((0, "chip 0 none", "chip 0 " + CPU_ATR_STRICT.hex()),
                        (2, "chip 2 none", "chip 2 " + sam_atr(2).hex()),
                        (5, "mifare clear", "mifare add 11223344")):
    reader, times = f"KULVE32 00 {slot:02d}", []
    for _ in range(3):
        time.sleep(2)  # past pcscd's power-off of a card nobody uses
        sim.ask(out, "ok")
        wait_state(ctx, reader, sc.SCARD_STATE_EMPTY)
        start = time.monotonic()
        sim.ask(back, "ok")
        wait_state(ctx, reader, sc.SCARD_STATE_PRESENT)
        times.append(time.monotonic() - start)
    print(f"           insertion seen in {reader}: " + ", ".join(f"{t:.1f} s" for t in times), flush=True)
PY
stop_pcscd
exec 7>&-
stop_sim

# ---- 1c. readers that answer command 15 otherwise, :slotmap named -------------------
# The driver sends command 15 only with :slotmap; here the administrator has
# named it for readers that refuse it (the simulator's default, as a
# documented reader), answer garbage, or stay silent.
say "readers that refuse command 15, garble it or stay silent, with :slotmap named"
odd_reader() {  # LABEL SIM-OPTIONS...
  local label="$1" began
  shift
  start_sim --link "$work/tty" --strict-t1 "$@"
  exec 7>"$work/control"
  began=$SECONDS
  start_pcscd "$address:slotmap"
  if [[ $((SECONDS - began)) -le 15 ]]; then
    ok "$label: pcscd listed the six slots in $((SECONDS - began)) s"
  else
    bad "$label: pcscd listed the six slots only after $((SECONDS - began)) s (goal 15)"
  fi
  if trust --reader-kinds; then ok "$label: a CPU card connects; a swapped Mifare card never shows the old UID"
  else bad "$label: a CPU card connects; a swapped Mifare card never shows the old UID"; fi
  idle_traffic "$label"
  grep -h 'slot map (:slotmap) turned off' "$work/pcscd.log" | head -1 | sed 's/^/           | /'
  stop_pcscd
  exec 7>&-
  stop_sim
}
odd_reader "refuses 15 (status 0x80)"
odd_reader "15 answers FF FF" --slot-map ffff
odd_reader "15 answers 00 00" --slot-map zeros
odd_reader "15 answers status 0, no data" --slot-map empty
odd_reader "15 answers random bytes" --slot-map random
odd_reader "15 never acknowledged" --fault ack:silent@code=15
odd_reader "15 answers the true map" --slot-map on

# ---- 1d. a memory card through pyscard ---------------------------------------------
# The docs/pcsc.md example, as written there; the code it sets (A7 5C) must
# appear in neither pcscd's log nor the library's trace.
say "a memory card through pyscard (the docs/pcsc.md example)"
start_sim --link "$work/tty" --cpu-atr none --card 15
KULVE32_TRACE=3 KULVE32_TRACE_FILE="$work/library.log" start_pcscd "$address"
awk '/<!-- pcsc lane: memory card -->/ { take = 1; next }
     take && /^```python/ { inside = 1; next }
     inside && /^```/ { exit }
     inside { print }' "$repo/docs/pcsc.md" >"$work/memory_card.py"
if out="$(timeout 600 /usr/bin/python3 "$work/memory_card.py" 2>&1)"; then
  ok "memory card: selected, read, written, its code presented and changed ($out)"
else
  bad "memory card through pyscard"
  sed 's/^/           | /' <<<"$out" | tail -15
fi
stop_pcscd
if [[ -s "$work/library.log" ]] && ! grep -qiE 'a7 ?5c' "$work/pcscd.log" "$work/library.log"; then
  ok "memory card: the code is in neither pcscd's log nor the library's trace ($(wc -l <"$work/library.log") trace lines)"
else
  bad "memory card: the code reached a log (or the library wrote no trace)"
  grep -iE 'a7 ?5c' "$work/pcscd.log" "$work/library.log" | head -5
fi
stop_sim

# ---- 2. through rfc2217:// ----------------------------------------------------------
say "pyscard through pcscd, the reader behind rfc2217://"
start_sim --rfc2217 127.0.0.1:0 --strict-t1
[[ "$address" == rfc2217://* ]] || { echo "pcsc lane: kulvesim --rfc2217 printed '$address'" >&2; exit 2; }
# A delay allowance far above loopback's, so a loaded machine fails no exchange.
start_pcscd "$address:delay-2000"
if checks --quick; then ok "pyscard checks (rfc2217://)"; else bad "pyscard checks (rfc2217://)"; fi
stop_pcscd

# ---- 3. benchmark ----------------------------------------------------------------------
# Pairs of rounds, one direct and one through pcscd, taken one after the other
# on the one simulated reader, so that both sides of a pair meet the same load
# on a shared machine. Twice: with the simulator keeping to the line's real
# timing at 57600 bit/s (--pace; the goal), and unpaced, where the pty answers
# as fast as the processes are scheduled.
# Unpaced, one APDU takes tens of microseconds when both processes find a free
# core and hundreds when they wait for one, so there the best rounds say more.
# bench_pairs LABEL GOAL(1/0) COUNT SIM-OPTIONS...: prints the rounds, the
# ratio of the medians and that of the best rounds.
bench_pairs() {
  local label="$1" goal="$2" count="$3" rounds="" _
  shift 3
  start_sim "$@"
  for _ in 1 2 3 4 5; do
    rounds+="$(timeout 900 /usr/bin/python3 "$repo/tests/pcsc/pcsc_bench.py" direct --library "$library" \
      --device "$address" --count "$count")"$'\n'
    start_pcscd "$address"
    rounds+="$(timeout 900 /usr/bin/python3 "$repo/tests/pcsc/pcsc_bench.py" pcsc --count "$count")"$'\n'
    stop_pcscd
  done
  stop_sim
  if [[ "$(grep -cE '^(direct|pcsc) [0-9.]+$' <<<"$rounds")" -ne 10 ]]; then
    bad "benchmark ($label) ran: $rounds"
    return
  fi
  awk -v label="$label" -v goal="$goal" '
    $1 == "direct" { d[++nd] = $2 } $1 == "pcsc" { p[++np] = $2 }
    function median(a, n,   i, j, t) {
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
      return a[(n + 1) / 2]
    }
    END {
      for (i = 1; i <= np; i++) line = line sprintf(" %.0f/%.0f", p[i], d[i])
      md = median(d, nd); mp = median(p, np); bd = d[1]; bp = p[1]
      printf "  benchmark (%s): us per APDU through pcscd/directly:%s\n", label, line
      printf "  benchmark (%s): medians %.0f us through pcscd, %.0f us directly: ratio %.2f%s; best rounds %.2f\n",
        label, mp, md, mp / md, goal ? " (goal <= 1.30)" : "", bp / bd
    }' <<<"$rounds"
}
say "benchmark: GET CHALLENGE through pcscd against the library directly"
bench_pairs "paced pty, 57600 bit/s" 1 60 --pace
bench_pairs "unpaced pty, for information" 0 300

# ---- 4. a reader farm ------------------------------------------------------------------
# Eight simulated readers keeping to the line's timing, in one pcscd (each
# offering its CPU card slot alone: pcscd 1.9.9 serves at most 16 slots), one
# client process per reader: the aggregate GET CHALLENGE rate against one
# reader with one client, in one run. Printed, not judged.
say "benchmark: eight readers in one pcscd"
farm_pids=()
stop_farm() {
  local p
  for p in "${farm_pids[@]}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  farm_pids=()
}
: >"$work/farm.conf"
for n in 1 2 3 4 5 6 7 8; do
  rm -f "$work/farm$n.out"
  "$sim" --quiet --pace --strict-t1 --link "$work/farm$n" </dev/null >"$work/farm$n.out" 2>"$work/farm$n.err" &
  farm_pids+=($!)
  farm_address="$(first_line "$work/farm$n.out" "${farm_pids[-1]}" || true)"
  [[ -n "$farm_address" ]] || { cat "$work/farm$n.err" >&2; echo "pcsc lane: farm reader $n printed no address" >&2; exit 2; }
  printf 'FRIENDLYNAME "FARM%s"\nDEVICENAME %s:slots-1\nLIBPATH %s\nCHANNELID 0\n\n' \
    "$n" "$farm_address" "$driver" >>"$work/farm.conf"
done
KULVE_IFD_LOG=0 pcscd --foreground --config "$work/farm.conf" >"$work/pcscd.log" 2>&1 &
pcscd_pid=$!
farm_end=$((SECONDS + 120))  # until it lists all eight or ends; a loaded machine may take a while
while [[ $SECONDS -lt $farm_end ]] && kill -0 "$pcscd_pid" 2>/dev/null; do
  [[ -S /run/pcscd/pcscd.comm ]] && [[ "$(pcsc_scan -r 2>/dev/null | grep -c 'FARM')" -eq 8 ]] && break
  sleep 0.1
done
if out="$(timeout 1800 /usr/bin/python3 "$repo/tests/pcsc/pcsc_bench.py" farm --prefix FARM --count 100)" &&
  read -r _ readers alone together ratio <<<"$out" && [[ "$readers" == 8 ]]; then
  ok "farm benchmark ran: $readers readers, $alone APDU/s with one, $together APDU/s with all: ratio $ratio (goal >= 6)"
else
  bad "farm benchmark ran: $out"
  tail -20 "$work/pcscd.log"
fi
stop_pcscd
stop_farm

say "done: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
