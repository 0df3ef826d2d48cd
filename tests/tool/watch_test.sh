#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kulve watch: cards in and out of three slot kinds (kulvesim's control channel)
# give one line each, in order; an idle watch keeps to 2 exchanges/s.
#   watch_test.sh KULVESIM KULVE
set -uo pipefail
sim="$1" kulve="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../support/waits.sh"
work="$(mktemp -d /tmp/kulve-watch.XXXXXX)" pid="" watcher="" failed=0
stop() { for p in $watcher $pid; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; watcher="" pid=""; }
trap 'stop; rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; failed=1; }

mkfifo "$work/control"
"$sim" --quiet <"$work/control" >"$work/sim.out" 2>"$work/sim.err" &
pid=$!
exec 3>"$work/control"
port="$(first_line "$work/sim.out" "$pid")" || { cat "$work/sim.err"; echo "FAILED: no kulvesim path"; exit 1; }
control() {  # sends a command and prints kulvesim's answer
  local lines; lines=$(wc -l <"$work/sim.out")
  echo "$*" >&3
  line_count_above "$work/sim.out" "$lines" || fail "no answer to '$*'"
  tail -1 "$work/sim.out"
}
seen() {  # waits until the watch has printed the line
  local end=$((SECONDS + 120))
  until grep -qx "$1" "$work/watch.out"; do ((SECONDS < end)) || { fail "no '$1' from watch"; return; }; sleep 0.1; done
}
for slot in 0 1 2 3 4; do control "chip $slot none" >/dev/null; done

"$kulve" --quiet --port "$port" watch memory,sam2,field 600 >"$work/watch.out" 2>"$work/watch.err" &
watcher=$!
for row in "insert 1|remove|memory" "chip 2 3B00|chip 2 none|sam2" "mifare add 01020304|mifare clear|field"; do
  IFS='|' read -r put take slot <<<"$row"
  control "$put" >/dev/null; seen "$slot in"
  control "$take" >/dev/null; seen "$slot out"
done
kill -TERM "$watcher"; wait "$watcher" 2>/dev/null; watcher=""
[[ "$(cat "$work/watch.out")" == $'memory in\nmemory out\nsam2 in\nsam2 out\nfield in\nfield out' ]] ||
  fail "watch printed: $(cat "$work/watch.out")"

# Idle for 4 s: at most one exchange per 500 ms turn, plus the link probe.
before="$(control count)" start=$(date +%s%N)
"$kulve" --quiet --port "$port" watch all 4 >/dev/null 2>"$work/idle.err" || fail "idle watch: $(cat "$work/idle.err")"
ms=$((($(date +%s%N) - start) / 1000000)) after="$(control count)"
exchanges=$((${after#count } - ${before#count }))
echo "idle watch of every slot: $exchanges exchanges in $ms ms (link probe included)"
((exchanges <= ms / 500 + 2)) || fail "idle watch: $exchanges exchanges in $ms ms"
((failed == 0)) && echo "watch test: passed"
exit $failed
