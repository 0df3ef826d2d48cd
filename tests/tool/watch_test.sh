#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kulve watch against kulvesim: a card put into and taken out of the memory
# slot, a SAM slot and the field through kulvesim's control channel shows as
# one "SLOT in" and one "SLOT out" line each, in that order; and the idle
# line stays within 2 exchanges/s (kulvesim's exchange count over a watch of
# a few seconds with nothing changing).
#   watch_test.sh KULVESIM KULVE
set -uo pipefail
sim="$1"
kulve="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../support/waits.sh"
work="$(mktemp -d /tmp/kulve-watch.XXXXXX)"
pid="" watcher=""
stop() {
  [[ -z "$watcher" ]] || { kill -TERM "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null; watcher=""; }
  [[ -z "$pid" ]] || { exec 3>&-; kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; pid=""; }
}
trap 'stop; [[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED: $*"; failed=1; }

rm -f "$work/control" && mkfifo "$work/control"
"$sim" --quiet <"$work/control" >"$work/sim.out" 2>"$work/sim.err" &
pid=$!
exec 3>"$work/control"
port="$(first_line "$work/sim.out" "$pid")" || { cat "$work/sim.err"; echo "FAILED: no kulvesim path"; exit 1; }
control() {
  local lines; lines=$(wc -l <"$work/sim.out")
  echo "$*" >&3
  line_count_above "$work/sim.out" "$lines" || fail "no answer to '$*'"
}
# waits until the watch has printed LINE
seen() {
  local end=$((SECONDS + 120))
  until grep -qx "$1" "$work/watch.out"; do
    [[ $SECONDS -lt $end ]] || { fail "watch never printed '$1'"; return 1; }
    sleep 0.1
  done
}
for slot in 0 1 2 3 4; do control "chip $slot none"; done

: >"$work/watch.out"
"$kulve" --quiet --port "$port" watch memory,sam2,field 600 >"$work/watch.out" 2>"$work/watch.err" &
watcher=$!
for row in "insert 1|remove|memory" "chip 2 3B00|chip 2 none|sam2" "mifare add 01020304|mifare clear|field"; do
  IFS='|' read -r put take slot <<<"$row"
  control "$put"; seen "$slot in"
  control "$take"; seen "$slot out"
done
stop_watch() { kill -TERM "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null; watcher=""; }
stop_watch
expected=$'memory in\nmemory out\nsam2 in\nsam2 out\nfield in\nfield out'
[[ "$(cat "$work/watch.out")" == "$expected" ]] || fail "watch printed: $(cat "$work/watch.out")"

# Idle: nothing changes for 4 s while every slot is watched. At most one
# exchange per 500 ms turn, plus the probe of the link.
before="$(control count >/dev/null; tail -1 "$work/sim.out")"
start=$(date +%s%N)
"$kulve" --quiet --port "$port" watch all 4 >/dev/null 2>"$work/idle.err" || fail "idle watch: $(cat "$work/idle.err")"
ms=$((($(date +%s%N) - start) / 1000000))
after="$(control count >/dev/null; tail -1 "$work/sim.out")"
exchanges=$((${after#count } - ${before#count }))
echo "idle watch of all slots: $exchanges exchanges in $ms ms (link probe included)"
((exchanges <= ms / 500 + 2)) || fail "idle watch: $exchanges exchanges in $ms ms"

((failed == 0)) && echo "watch test: passed"
exit $failed
