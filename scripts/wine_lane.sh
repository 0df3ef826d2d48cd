#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Wine lane: runs the Windows test programs against the 32-bit and the
# 64-bit KULVE32.DLL under Wine, with simulated readers behind the COM ports:
# one loading the DLL at run time, one linked through the mingw-w64 import
# library, and one linked by lld-link through KULVE32.lib, the import library
# for Microsoft's tools.
#
#   scripts/wine_lane.sh [--build-root DIR] [--sim PATH] [--prebuilt]
#
#   --build-root DIR  where the Windows cross builds go (default build/windows;
#                     shared with the CTest export check when the Linux build
#                     is configured with -DKULVE_WINDOWS_BUILD_ROOT=DIR)
#   --prebuilt        the cross builds in DIR are already made
#                     (scripts/build_windows.sh): use them as they are, so
#                     that another job may read the same folder meanwhile
#   --sim PATH        a kulvesim built for Linux (default: built here, in
#                     build/wine-sim)
#
# Installs wine, wine32:i386, wine64, mingw-w64 and LLVM's clang, lld and tools
# (scripts/install-deps.sh) when they are missing and it runs as root, unless
# KULVE_NO_APT is set (scripts/test.sh installs them first). Exit status: 0 every test passed; 1 a test
# failed; 2 the lane could not be set up (build, prefix or simulator failed);
# 77 SKIPPED because the packages are missing and cannot be installed.
#
# Ports seen by the test program (see tests/windows/wintest.c):
#   COM1, COM10  reader answering at both speeds, with an AT88SC1608 card in its
#                slot, an e5550 transponder in its field, and its attendance
#                terminal holding three weeks of records
#   COM2         reader answering only at 9600
#   COM3         silent line
#   COM4         reader failing chosen commands (the faults below), with a
#                Mifare card in its field
# and, through the environment, readers behind loopback addresses:
#   KULVE_WINTEST_TCP      kulvesim --tcp (both speeds)
#   KULVE_WINTEST_RFC2217  kulvesim --rfc2217 --speed 9600
#   KULVE_WINTEST_REFUSED  a loopback address nothing listens on
# The port map's program (kulve_portmap_test.exe, which only calls LinkCom(0))
# runs from a folder of its own with a copy of the DLL: once with KULVE32.INI
# there, once with KULVE32_PORTS, once with both (the variable wins), each
# naming the rfc2217 reader for port 0.
# COM1 to COM4 and COM10 are pinned in the prefix's registry to symlinks in a
# temporary folder, each kept pointing at the pty of one simulator, and COM5
# to COM9 to a path that does not
# exist; Wine's default for COM1 (/dev/ttyS0, the console here) is never used.
# As root the lane also runs in a private mount namespace where every
# /dev/ttyS* is /dev/null.
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
lane_args=("$@")
build_root="$repo/build/windows"
sim=""
prebuilt=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-root) build_root="$2"; shift 2 ;;
    --sim) sim="$2"; shift 2 ;;
    --prebuilt) prebuilt=1; shift ;;
    *) echo "usage: $0 [--build-root DIR] [--sim PATH] [--prebuilt]" >&2; exit 2 ;;
  esac
done
jobs="${KULVE_JOBS:-2}"
# Bounds on Wine, each ended as soon as what it waits for is done. Under
# heavy load Wine's first start (wineboot) takes minutes, and any later start
# of wineserver reloads the prefix: a bound reached is a failure, so they are
# far past what a loaded machine takes.
wineboot_bound=1800
wine_bound=600
wintest_bound=1800
source "$repo/tests/support/waits.sh"
# The port map comes only from what the lane itself sets (run_port_map).
unset KULVE32_PORTS KULVE32_CONFIG
: "${KULVE_LANE_STARTED:=$(date +%s)}"
export KULVE_LANE_STARTED

say() { printf 'wine lane: %s (%ds)\n' "$*" $(($(date +%s) - KULVE_LANE_STARTED)); }
skip() {
  printf '\n!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n'
  printf '!!! SKIPPED: the Wine lane did not run: %s\n' "$*"
  printf '!!! The Windows DLLs were NOT tested under Wine.\n'
  printf '!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n\n'
  exit 77
}
die() { echo "wine lane: FAILED to set up: $*" >&2; exit 2; }

# ---- Packages ------------------------------------------------------------
installed() { [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == *'install ok installed'* ]]; }

wanted=(wine wine64 wine32:i386 python3 mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
        llvm-14 lld-14 clang-14)  # KULVE32.lib and the program linked against it
missing=()
for p in "${wanted[@]}"; do installed "$p" || missing+=("$p"); done
if [[ ${#missing[@]} -gt 0 ]]; then
  if [[ "$(id -u)" -ne 0 ]] || ! command -v apt-get >/dev/null; then
    skip "missing ${missing[*]} and not root to install them"
  fi
  say "installing ${missing[*]}"
  # install-deps waits for another apt's lock, as a fresh machine's upgrades hold it.
  "$repo/scripts/install-deps.sh" --minimal --architecture i386 "${missing[@]}" ||
    skip "installing ${missing[*]} failed (apt's error above)"
fi
command -v wine >/dev/null && command -v wineserver >/dev/null || skip "wine not found after install"

# ---- Fence off the host's serial ports ---------------------------------------
# Everything from here on runs in a private mount namespace in which each
# /dev/ttyS* is /dev/null, so nothing Wine does can reach a real serial port
# (/dev/ttyS0 is the console on these machines). Without the rights for that,
# the registry pinning below is the only guard.
if [[ -z "${KULVE_LANE_FENCED:-}" && "$(id -u)" -eq 0 ]] && command -v unshare >/dev/null &&
   unshare --mount --propagation private true 2>/dev/null; then
  export KULVE_LANE_FENCED=1
  exec unshare --mount --propagation private bash "${BASH_SOURCE[0]}" "${lane_args[@]}"
fi
if [[ -n "${KULVE_LANE_FENCED:-}" ]]; then
  for device in /dev/ttyS*; do
    [[ -c "$device" ]] || continue
    mount --bind /dev/null "$device" || die "cannot fence off $device"
  done
  say "host serial ports fenced off"
else
  say "note: cannot fence off /dev/ttyS* here (needs root and unshare); relying on the registry"
fi

# ---- Builds ----------------------------------------------------------------
if [[ "$prebuilt" -eq 1 ]]; then
  [[ -f "$build_root/win32/bin/KULVE32.DLL" && -f "$build_root/win64/bin/KULVE32.DLL" ]] ||
    die "--prebuilt, but $build_root holds no built DLLs"
  say "using the Windows DLLs and test programs built in $build_root"
else
  say "building the Windows DLLs and test programs in $build_root"
  mkdir -p "$build_root"
  timeout 3600 "$repo/scripts/build_windows.sh" "$build_root" >"$build_root/build.log" 2>&1 ||
    { tail -40 "$build_root/build.log"; die "cross build (log: $build_root/build.log)"; }
fi
if [[ -z "$sim" ]]; then
  say "building kulvesim"
  sim_build="$repo/build/wine-sim"
  mkdir -p "$sim_build"
  { [[ -f "$sim_build/CMakeCache.txt" ]] ||
      cmake -S "$repo" -B "$sim_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKULVE_WERROR=ON \
        -DKULVE_BUILD_TESTS=OFF -DKULVE_BUILD_BENCH=OFF; } >"$sim_build/build.log" 2>&1 &&
    timeout 3600 cmake --build "$sim_build" -j "$jobs" --target kulvesim >>"$sim_build/build.log" 2>&1 ||
    { tail -40 "$sim_build/build.log"; die "kulvesim build (log: $sim_build/build.log)"; }
  sim="$sim_build/sim/kulvesim"
fi
[[ -x "$sim" ]] || die "no simulator at $sim"

# ---- A throwaway prefix ------------------------------------------------------
work="$(mktemp -d /tmp/kulve-wine.XXXXXX)"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
sim_pids=()
closed_port_pid=""

stop_sims() {
  local pid
  for pid in "${sim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${sim_pids[@]}"; do
    # Each simulator lists its cards' protocol errors as it ends: it is
    # given a minute to do so.
    for _ in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  sim_pids=()
}
stop_wine() { timeout "$wine_bound" wineserver -k >/dev/null 2>&1; timeout "$wine_bound" wineserver -w >/dev/null 2>&1; }
cleanup() {
  stop_wine
  stop_sims
  if [[ -n "$closed_port_pid" ]]; then kill -TERM "$closed_port_pid" 2>/dev/null; wait "$closed_port_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 2' INT TERM

say "creating a Wine prefix"
timeout "$wineboot_bound" wineboot --init >"$work/wineboot.log" 2>&1 || { tail -20 "$work/wineboot.log"; die "wineboot"; }

# COM1..COM4 and COM10 to symlinks of our own and COM5..COM9 to a path that
# does not exist, so every port index the library opens by default is ours.
declare -A port_link=(
  [COM1]="$work/com-both" [COM10]="$work/com-both" [COM2]="$work/com-slow"
  [COM3]="$work/com-silent" [COM4]="$work/com-faults"
)
for n in 5 6 7 8 9; do port_link[COM$n]="$work/no-device"; done
{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  for port in "${!port_link[@]}"; do printf '"%s"="%s"\n' "$port" "${port_link[$port]}"; done
} >"$work/ports.reg"
timeout "$wine_bound" wine reg import "$work/ports.reg" >/dev/null 2>&1 || die "cannot map the COM ports"
timeout "$wine_bound" wineserver -w || die "wineserver did not settle"
# A cold start rewrites dosdevices from the registry; check the result before
# any test program can open a port.
timeout "$wine_bound" wine cmd /c exit 0 >/dev/null 2>&1
timeout "$wine_bound" wineserver -w
for port in "${!port_link[@]}"; do
  target="$(readlink "$WINEPREFIX/dosdevices/${port,,}" || true)"
  [[ "$target" == "${port_link[$port]}" ]] ||
    die "$port maps to '${target:-nothing}', not ${port_link[$port]}"
done
# Wine gives each host serial device it finds the next free name (COM11 on);
# the tests never open those.
for device in "$WINEPREFIX"/dosdevices/com*; do
  target="$(readlink "$device" || true)"
  [[ "$target" == "$work/"* ]] || say "note: $(basename "$device") maps to $target (not used)"
done

# The faults of COM4, one command each, every time (the probe is spared).
# Command codes: 2 power on, 3 power off, 10 select card, 13 inquire,
# 28 standby, 32 device number, 34 version.
fault_args=(
  --fault ack:silent@code=2,times=0        # PowerOn         'l'
  --fault ack:wrong@code=3,times=0         # PowerOff        'm'
  --fault status:silent@code=28,times=0    # SetStandby      'o'
  --fault length:silent@code=13,times=0    # Inquire         'p'
  --fault data:silent@code=34,times=0      # DEVVER          'q'
  --fault checksum:silent@code=32,times=0  # GetDeviceNumber 'r'
  --fault checksum:wrong@code=10,times=0   # SelectCard      's'
)
# A Mifare card in COM4's field, and its serial-number query (0xAB) failing
# once on the line, which the library mends by relinking and repeating.
mifare_args=(--mifare 0A1B2C3D --fault ack:silent@code=0xAB,times=1)

wait_for_line() {  # pid, output file, symlink
  for _ in $(seq 600); do  # up to a minute on a loaded machine
    [[ -s "$2" && -L "$3" ]] && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# A simulated reader behind the symlink that Wine opens. Wine leaves B38400 on
# a pty for the library's 56000 (the custom-rate marker a real UART turns into
# 57600); the simulator takes that as the fast speed.
start_sim() {  # name, then kulvesim options
  local name="$1"; shift
  local port_link="$work/com-$name"
  # The previous architecture's simulator left its output (and maybe its
  # link): gone first, so only this one's can be waited for.
  rm -f "$port_link" "$port_link.out"
  "$sim" --quiet --link "$port_link" "$@" </dev/null >"$port_link.out" 2>"$port_link.err" &
  sim_pids+=($!)
  wait_for_line $! "$port_link.out" "$port_link" ||
    { cat "$port_link.err" >&2; die "kulvesim did not come up for $name"; }
}

# A simulated reader behind a loopback address, which goes into the variable
# named first.
start_net_sim() {  # variable, name, then kulvesim options
  local variable="$1" out="$work/net-$2"; shift 2
  rm -f "$out.out"  # the previous architecture's address, now dead
  "$sim" --quiet "$@" </dev/null >"$out.out" 2>"$out.err" &
  sim_pids+=($!)
  for _ in $(seq 600); do  # up to a minute on a loaded machine
    # The whole address line, not a part written so far.
    if [[ -s "$out.out" && -z "$(tail -c 1 "$out.out")" ]]; then
      # With a delay allowance far above loopback's: a loaded machine fails no exchange.
      printf -v "$variable" '%s?delay=2000' "$(head -1 "$out.out")"
      export "${variable?}"
      return 0
    fi
    kill -0 "${sim_pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  cat "$out.err" >&2
  die "kulvesim $* did not come up"
}

# An unchanged program's LinkCom(0) reaches the rfc2217 reader through the
# port map: KULVE32.INI beside the DLL, KULVE32_PORTS, and both at once with
# the INI naming an address nothing listens on (the variable must win).
run_port_map() {  # arch, bin
  local arch="$1" bin="$2" status=0 dir="$work/portmap-$1"
  mkdir -p "$dir"
  cp "$bin/KULVE32.DLL" "$bin/kulve_portmap_test.exe" "$dir/" || return 1
  say "$arch: kulve_portmap_test.exe through KULVE32.INI"
  printf '; written by the Wine lane\r\n[ports]\r\n0=%s\r\n' "$KULVE_WINTEST_RFC2217" >"$dir/KULVE32.INI"
  (cd "$dir" && env -u KULVE32_PORTS KULVE_PORTMAP_EXPECT="$KULVE_WINTEST_RFC2217" \
     timeout "$wine_bound" wine kulve_portmap_test.exe) || status=1
  say "$arch: kulve_portmap_test.exe through KULVE32_PORTS"
  rm -f "$dir/KULVE32.INI"
  (cd "$dir" && KULVE32_PORTS="1=$KULVE_WINTEST_REFUSED;0=$KULVE_WINTEST_RFC2217" \
     KULVE_PORTMAP_EXPECT="$KULVE_WINTEST_RFC2217" timeout "$wine_bound" wine kulve_portmap_test.exe) || status=1
  say "$arch: kulve_portmap_test.exe with both: KULVE32_PORTS beats KULVE32.INI"
  printf '0=%s\n' "$KULVE_WINTEST_REFUSED" >"$dir/KULVE32.INI"
  (cd "$dir" && KULVE32_PORTS="0=$KULVE_WINTEST_RFC2217" KULVE_PORTMAP_EXPECT="$KULVE_WINTEST_RFC2217" \
     timeout "$wine_bound" wine kulve_portmap_test.exe) || status=1
  return $status
}

run_arch() {  # win32|win64
  local arch="$1" status=0 bin="$build_root/$1/bin"
  say "$arch: starting the simulated readers"
  local both_args=(--speed both)
  both_args+=(--at1608 4B554C5645313630)  # the seed test_at1608_calls uses
  both_args+=(--e5550)                    # an e5550 transponder in the field
  both_args+=(--terminal)                 # three weeks of attendance records
  start_sim both "${both_args[@]}"
  start_sim slow --speed 9600
  start_sim silent --speed both --fault start:silent
  start_sim faults --speed both "${fault_args[@]}" "${mifare_args[@]}"
  start_net_sim KULVE_WINTEST_TCP tcp --tcp 127.0.0.1:0 --speed both
  start_net_sim KULVE_WINTEST_RFC2217 rfc2217 --rfc2217 127.0.0.1:0 --speed 9600
  # A port held bound without listening for the whole lane, so no other
  # test can take it between here and the refusal the programs expect.
  if [[ -z "$closed_port_pid" ]]; then hold_closed_port || die "no loopback port to hold"; fi
  export KULVE_WINTEST_REFUSED="tcp://127.0.0.1:$closed_port"

  say "$arch: kulve_implib_test.exe"
  (cd "$bin" && timeout "$wine_bound" wine kulve_implib_test.exe) || status=1
  say "$arch: kulve_msvc_test.exe (linked by lld-link against KULVE32.lib)"
  if [[ -f "$bin/kulve_msvc_test.exe" ]]; then
    (cd "$bin" && timeout "$wine_bound" wine kulve_msvc_test.exe) || status=1
  else
    echo "FAILED: $bin/kulve_msvc_test.exe was not built (clang, lld-link or llvm-dlltool missing?)"
    status=1
  fi
  say "$arch: kulve_wintest.exe"
  (cd "$bin" && timeout "$wintest_bound" wine kulve_wintest.exe) || status=1
  run_port_map "$arch" "$bin" || status=1

  stop_wine
  stop_sims
  # Each simulator lists on exit the T=1 protocol errors its cards found in
  # the library's blocks; there must be none.
  if grep -h "T=1 protocol error" "$work"/com-*.err; then
    say "$arch: the simulated cards logged T=1 protocol errors (above)"
    status=1
  fi
  return $status
}

# kulve.exe, the tool of the kit, against kulvesim --rfc2217: data out as hex
# and as raw bytes (--out, a Mifare dump that must give back the image the
# card was loaded from), and --sim refused with the reason.
run_tool() {
  local exe="$build_root/win32/bin/kulve.exe" status=0 out
  [[ -f "$exe" ]] || { echo "FAILED: no $exe"; return 1; }
  python3 -c 'import os, sys
b = bytearray(os.urandom(1024)); b[0:8] = bytes.fromhex("0A1B2C3D0C080400")
for s in range(16): b[s * 64 + 48:s * 64 + 64] = bytes.fromhex("FFFFFFFFFFFFFF078069FFFFFFFFFFFF")
open(sys.argv[1], "wb").write(b)' "$work/tool.mfd"
  start_net_sim KULVE_TOOL_URL tool --rfc2217 127.0.0.1:0 --card 1 --mifare 0A1B2C3D --image "$work/tool.mfd"
  say "kulve.exe against $KULVE_TOOL_URL"
  check_tool() {  # what, wanted exit status, wanted output (a regular expression), arguments
    local what="$1" want="$2" pattern="$3"; shift 3
    out="$(timeout "$wine_bound" wine "$exe" "$@" 2>&1 | tr -d '\r')"
    local got=${PIPESTATUS[0]}
    if [[ $got -eq $want ]] && grep -Eq -- "$pattern" <<<"$out"; then
      echo "  ok      kulve.exe: $what"
    else
      echo "  FAILED  kulve.exe: $what (exit $got)"; sed 's/^/          | /' <<<"$out"; status=1
    fi
  }
  check_tool "device number" 0 '^([0-9A-F]{2} ){7}[0-9A-F]{2}$' --port "$KULVE_TOOL_URL" devno
  check_tool "write and read back" 0 '^DE AD BE EF$' --port "$KULVE_TOOL_URL" select 1 power on \
    write 18 0 64 DEADBEEF read 18 0 64 4
  check_tool "read to a file" 0 'read: ok' --port "$KULVE_TOOL_URL" --out "Z:$work/read.bin" \
    select 1 power on read 18 0 64 4
  [[ "$(od -An -tx1 "$work/read.bin" 2>/dev/null | tr -d ' \n')" == deadbeef ]] ||
    { echo "  FAILED  kulve.exe: --out wrote $(od -An -tx1 "$work/read.bin" 2>/dev/null)"; status=1; }
  check_tool "Mifare dump" 0 'mifare dump .*: ok' --port "$KULVE_TOOL_URL" mifare dump "Z:$work/back.mfd"
  cmp "$work/tool.mfd" "$work/back.mfd" || { echo "  FAILED  kulve.exe: the dump differs from the image"; status=1; }
  timeout "$wine_bound" wine "$exe" -q --port "$KULVE_TOOL_URL" mifare dump - >"$work/piped.mfd" &&
    cmp "$work/tool.mfd" "$work/piped.mfd" || { echo "  FAILED  kulve.exe: mifare dump - is not the image"; status=1; }
  check_tool "--sim refused" 1 'the simulator needs Linux' --sim devno
  stop_wine
  stop_sims
  return $status
}

failed=0
run_arch win32 || failed=1
run_arch win64 || failed=1
run_tool || failed=1

if [[ $failed -ne 0 ]]; then
  say "FAILED"
  exit 1
fi
say "passed for both DLLs"
exit 0
