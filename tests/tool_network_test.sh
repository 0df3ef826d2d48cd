#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kulve --port tcp://... and rfc2217://... (and --index through the port map)
# against kulvesim served on a free loopback port, as a user would run them.
#
#   tests/tool_network_test.sh KULVESIM KULVE
set -uo pipefail
sim="$1"
tool="$2"
source "$(dirname "${BASH_SOURCE[0]}")/support/waits.sh"
work="$(mktemp -d /tmp/kulve-tool-net.XXXXXX)"
pid=""
closed_port_pid=""
cleanup() {
  for p in $pid $closed_port_pid; do
    kill -TERM "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }

# Starts kulvesim with the given options; sets url to the address it prints.
serve() {
  if [[ -n "$pid" ]]; then kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  # The last one's address goes first: the new process empties the file only
  # once it runs, which on a loaded machine can be after the wait below began.
  rm -f "$work/sim.out"
  "$sim" --quiet "$@" </dev/null >"$work/sim.out" 2>"$work/sim.err" &
  pid=$!
  url="$(first_line "$work/sim.out" "$pid")" || { cat "$work/sim.err" >&2; fail "kulvesim $* printed no address"; }
  # A delay allowance far above loopback's, so a loaded machine fails no exchange.
  url="$url?delay=2000"
}

serve --tcp 127.0.0.1:0
[[ "$url" == tcp://127.0.0.1:* ]] || fail "kulvesim --tcp printed '$url'"
out="$("$tool" --port "$url" devno)" || fail "kulve --port $url devno exited $?"
[[ "$out" =~ ^([0-9A-F]{2}\ ){7}[0-9A-F]{2}$ ]] || fail "device number '$out'"
echo "ok: kulve --port $url devno: $out"

# --index links as LinkCom(N) does, through the port map.
out="$(KULVE32_PORTS="0=$url" "$tool" --index 0 devno)" || fail "kulve --index 0 devno through KULVE32_PORTS exited $?"
[[ "$out" =~ ^([0-9A-F]{2}\ ){7}[0-9A-F]{2}$ ]] || fail "device number through --index: '$out'"
echo "ok: KULVE32_PORTS=0=$url kulve --index 0 devno: $out"

# A standalone kulvesim's statuses are named as --sim's are.
serve --tcp 127.0.0.1:0 --card 2
"$tool" --port "$url" select 2 power on write 18 0 32 AABB 2>"$work/err" && fail "a protected write succeeded"
grep -q "^write: reader status 0x92 (simulator: protected" "$work/err" || { cat "$work/err" >&2; fail "status not named"; }
echo "ok: $(tail -1 "$work/err")"

serve --rfc2217 127.0.0.1:0 --speed 9600
out="$("$tool" --port "$url" link)" || fail "kulve --port $url link exited $?"
[[ "$out" == "linked at 9600 bit/s on $url" ]] || fail "got '$out'"
echo "ok: kulve --port $url link: $out"

# A port where nothing listens, held so that no other test can take it
# meanwhile: a failure in words, exit status 1.
hold_closed_port || fail "no loopback port to hold"
url="rfc2217://127.0.0.1:$closed_port"
"$tool" --port "$url" devno 2>"$work/err" && fail "linked to a closed port"
grep -q "cannot link: connect $url: Connection refused" "$work/err" || { cat "$work/err" >&2; fail "no reason given"; }
echo "ok: $(cat "$work/err")"
