#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes docs/pcsc-cardpeek.png: cardpeek (Debian's) under Xvfb reading the
# simulated CPU card through pcscd and the driver, with the script
# scripts/cardpeek/kulve-cpu-card.lua.
#
#   scripts/pcsc_screenshot.sh [--build DIR] [--out FILE]
#
# Needs root: pcscd runs in a private mount namespace with its own /run/pcscd,
# as in scripts/pcsc_lane.sh, and is stopped by its process id. Installs
# pcscd, cardpeek, xvfb, x11-apps (xwd), x11-utils, netpbm and xdotool when missing.
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build/release"
out="$repo/docs/pcsc-cardpeek.png"
inside=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build) build="$(realpath "$2")"; shift 2 ;;
    --out) out="$(realpath -m "$2")"; shift 2 ;;
    --inside) inside=1; shift ;;
    *) echo "usage: $0 [--build DIR] [--out FILE]" >&2; exit 2 ;;
  esac
done

if [[ $inside -eq 0 ]]; then
  [[ "$(id -u)" -eq 0 ]] || { echo "pcsc_screenshot: needs root (pcscd's private namespace)" >&2; exit 77; }
  "$repo/scripts/install-deps.sh" --minimal pcscd libpcsclite-dev cardpeek xvfb x11-apps x11-utils netpbm xdotool || exit 77
  if [[ ! -e "$build/pcsc/libkulve_ifd.so" ]]; then
    cmake -S "$repo" -B "$build" -DKULVE_BUILD_PCSC=ON >/dev/null &&
      cmake --build "$build" -j"${KULVE_JOBS:-2}" --target kulve_ifd kulvesim >/dev/null || exit 2
  fi
  exec unshare --mount --propagation private "$0" --build "$build" --out "$out" --inside
fi

work="$(mktemp -d /tmp/kulve-cardpeek.XXXXXX)"
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null; wait "${pids[i]}" 2>/dev/null; done
  [[ -n "${KULVE_KEEP:-}" ]] || rm -rf "$work"
}
trap cleanup EXIT
mkdir -p /run/pcscd && mount -t tmpfs -o mode=0755 tmpfs /run/pcscd || exit 2

"$build/sim/kulvesim" --quiet </dev/null >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/sim.out" ]] && break; sleep 0.05; done
printf 'FRIENDLYNAME "KULVE32"\nDEVICENAME %s\nLIBPATH %s\nCHANNELID 0\n' \
  "$(head -1 "$work/sim.out")" "$build/pcsc/libkulve_ifd.so" >"$work/reader.conf"
pcscd --foreground --config "$work/reader.conf" >"$work/pcscd.log" 2>&1 &
pids+=($!)
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 900x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY="$display" HOME="$work/home"
mkdir -p "$HOME"
for _ in $(seq 100); do [[ -S /run/pcscd/pcscd.comm ]] && xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The first start only unpacks cardpeek's scripts (two dialogs to confirm).
cardpeek >"$work/first.log" 2>&1 &
first=$!
for _ in 1 2; do
  sleep 2
  xdotool key Return
done
sleep 1
kill -TERM "$first" 2>/dev/null; wait "$first" 2>/dev/null
cp "$repo/scripts/cardpeek/kulve-cpu-card.lua" "$HOME/.cardpeek/scripts/"

cardpeek --reader "pcsc://KULVE32 00 00" --exec "dofile(\"$HOME/.cardpeek/scripts/kulve-cpu-card.lua\")" >"$work/cardpeek.log" 2>&1 &
pids+=($!)
window=""
for _ in $(seq 100); do
  window="$(xdotool search --onlyvisible --name '^cardpeek$' 2>/dev/null | head -1)" && [[ -n "$window" ]] && break
  sleep 0.1
done
[[ -n "$window" ]] || { echo "pcsc_screenshot: cardpeek showed no window" >&2; exit 1; }
xdotool windowmove "$window" 0 0 windowsize "$window" 900 600
sleep 4
# The card's node and its application open (clicks on their expanders).
xdotool mousemove 11 162 keydown shift click 1 keyup shift
sleep 0.5
xdotool mousemove 29 208 click 1 mousemove 880 580
sleep 1
mkdir -p "$(dirname "$out")"
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out" || exit 1
echo "pcsc_screenshot: $out"
