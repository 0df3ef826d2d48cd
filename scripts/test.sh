#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds everything and runs every test:
#   1. the library, simulator, tool, tests and benchmarks (RelWithDebInfo);
#   2. the same tests under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the Windows DLLs cross-built with mingw-w64 and their export tables
#      checked (CTest label "windows"), and the Wine lane, which runs a Windows
#      test program against both DLLs with the simulator behind COM1;
#   4. one short pass of every benchmark, so they keep working.
# The integration tests include the link and memory-card suites again through
# tcp:// and rfc2217://, and a chain through Debian's ser2net (installed here).
# Installs what it needs with apt-get when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
jobs=$(nproc)
started=$SECONDS

scripts/install-deps.sh mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix python3

# ser2net for the chain test (library -> ser2net -> pty -> simulator), which
# starts and stops its own instance; without ser2net those tests report
# SKIPPED. Debian's package starts a service whose sample configuration serves
# /dev/ttyS0 on localhost: when it is installed here, that service is stopped
# and disabled again.
had_ser2net=$(dpkg-query -W -f='${Status}' ser2net 2>/dev/null | grep -c 'install ok installed' || true)
if scripts/install-deps.sh ser2net; then
  if [ "$had_ser2net" = 0 ] && [ -d /run/systemd/system ]; then
    systemctl disable --now ser2net.service >/dev/null 2>&1 || true
  fi
else
  printf '\n!!! SKIPPED: ser2net could not be installed; the ser2net chain tests and benchmark will not run !!!\n\n'
fi

step() { printf '\n=== %s (%ds)\n' "$*" $((SECONDS - started)); }

step "build: release"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKULVE_WINDOWS_BUILD_ROOT="$repo/build/windows" >/dev/null
cmake --build build/release -j"$jobs"

step "build: address and undefined-behaviour sanitizers"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKULVE_SANITIZE=ON -DKULVE_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"

step "benchmarks: one short pass each"
for bench in build/release/bench/*_bench; do
  "$bench" --benchmark_min_time=0.01 >/dev/null
  echo "ran $(basename "$bench")"
done

step "Windows: Wine lane"
wine_status=0
scripts/wine_lane.sh --build-root "$repo/build/windows" --sim "$repo/build/release/sim/kulvesim" || wine_status=$?
if [ "$wine_status" -eq 77 ]; then
  echo "!!! SKIPPED: the Wine lane could not run here (see above); the DLLs were not tested under Wine !!!"
elif [ "$wine_status" -ne 0 ]; then
  echo "Wine lane FAILED ($wine_status)"
  exit "$wine_status"
fi

step "tests: sanitizers (unit and integration)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j2 -LE windows

step "demo under the sanitizers"
build/asan/tools/kulve demo >/dev/null

step "tests: release (unit, integration, Windows export check)"
ctest --test-dir build/release --output-on-failure -j2
