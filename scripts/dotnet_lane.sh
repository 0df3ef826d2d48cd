#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The .NET lane: compiles bindings/dotnet (the declarations and the example)
# with Mono's C# compiler and runs the example on Linux against
# libkulve32.so and a simulated reader with a card of every family in place.
#
#   scripts/dotnet_lane.sh [--lib-dir DIR] [--sim PATH] [--out DIR]
#
#   --lib-dir DIR  the directory holding libkulve32.so.1 (default build/release/src)
#   --sim PATH     kulvesim (default build/release/sim/kulvesim)
#   --out DIR      where the example is built (default build/dotnet)
#
# Installs mono-mcs and mono-runtime (scripts/install-deps.sh) when they are
# missing and it runs as root, unless KULVE_NO_APT is set (scripts/test.sh
# installs them first). Exit status: 0 passed; 1 failed; 2 could not be set up;
# 77 SKIPPED because Mono is missing and cannot be installed.
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tests/support/waits.sh"
lib_dir="$repo/build/release/src"
sim="$repo/build/release/sim/kulvesim"
out="$repo/build/dotnet"
while [[ $# -gt 0 ]]; do
  case "$1" in
    --lib-dir) lib_dir="$2"; shift 2 ;;
    --sim) sim="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "usage: $0 [--lib-dir DIR] [--sim PATH] [--out DIR]" >&2; exit 2 ;;
  esac
done

skip() {
  printf '\n!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n'
  printf '!!! SKIPPED: the .NET lane did not run: %s\n' "$*"
  printf '!!! The C# declarations were NOT compiled or run.\n'
  printf '!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n\n'
  exit 77
}
die() { echo ".NET lane: FAILED to set up: $*" >&2; exit 2; }

installed() { [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == *'install ok installed'* ]]; }
missing=()
for p in mono-mcs mono-runtime; do installed "$p" || missing+=("$p"); done
if [[ ${#missing[@]} -gt 0 ]]; then
  if [[ "$(id -u)" -ne 0 ]] || ! command -v apt-get >/dev/null; then
    skip "missing ${missing[*]} and not root to install them"
  fi
  echo ".NET lane: installing ${missing[*]}"
  # install-deps waits for another apt's lock, as a fresh machine's upgrades hold it.
  "$repo/scripts/install-deps.sh" --minimal "${missing[@]}" || skip "installing ${missing[*]} failed (apt's error above)"
fi
command -v mcs >/dev/null && command -v mono >/dev/null || skip "mcs or mono not found after install"
[[ -e "$lib_dir/libkulve32.so.1" ]] || die "no libkulve32.so.1 in $lib_dir"
[[ -x "$sim" ]] || die "no simulator at $sim"

mkdir -p "$out"
mcs -nologo -warnaserror -out:"$out/Example.exe" -r:System.Core \
  "$repo/bindings/dotnet/Kulve32.cs" "$repo/bindings/dotnet/example/Example.cs" ||
  { echo ".NET lane: FAILED: the C# sources do not compile"; exit 1; }
cp "$repo/bindings/dotnet/example/Example.exe.config" "$out/"

# A simulated reader with a memory card of type 1 and an AT88SC1608 card in
# its slot, an e5550 transponder and a Mifare card in its field, and the
# attendance terminal on its link.
rm -f "$out/sim.out"  # an earlier run's path
"$sim" --quiet --card 1 --at1608 4B554C5645313630 --e5550 --mifare 0A0B0C0D --terminal </dev/null >"$out/sim.out" 2>"$out/sim.err" &
sim_pid=$!
trap 'kill -TERM $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null' EXIT
# The pty's whole path, never a part written so far.
pty="$(first_line "$out/sim.out" "$sim_pid")" || { cat "$out/sim.err" >&2; die "kulvesim did not come up"; }

# A bound ended as soon as the example is done; Mono's start-up alone can
# take a minute on a loaded machine.
LD_LIBRARY_PATH="$lib_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" timeout 900 mono "$out/Example.exe" "$pty"
status=$?
[[ $status -eq 0 ]] && echo ".NET lane: passed" || echo ".NET lane: FAILED ($status)"
[[ $status -eq 0 ]]
