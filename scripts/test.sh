#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds everything and runs every test:
#   1. the library, simulator, tool, tests and benchmarks (RelWithDebInfo);
#   2. the same tests under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the Windows DLLs cross-built with mingw-w64 and their export tables
#      checked (CTest label "windows"), and the Wine lane, which runs a Windows
#      test program against both DLLs with the simulator behind COM1;
#   4. one short pass of every benchmark, so they keep working;
#   5. the Python package's tests (pytest, Debian's python3-pytest) and the
#      C# example under Mono, both against the library and the simulator.
# Installs what it needs with apt-get when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
jobs=$(nproc)
started=$SECONDS

scripts/install-deps.sh mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix python3 \
  python3-pytest fp-compiler llvm-14 lld-14 clang-14

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

step "Python package: pytest against the simulator"
KULVE32_LIBRARY="$repo/build/release/src/libkulve32.so" KULVESIM="$repo/build/release/sim/kulvesim" \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests

step ".NET: the C# example under Mono against the simulator"
dotnet_status=0
scripts/dotnet_lane.sh --lib-dir "$repo/build/release/src" --sim "$repo/build/release/sim/kulvesim" \
  --out "$repo/build/dotnet" || dotnet_status=$?
if [ "$dotnet_status" -eq 77 ]; then
  echo "!!! SKIPPED: Mono could not be installed here (see above); the C# example did not run !!!"
elif [ "$dotnet_status" -ne 0 ]; then
  echo ".NET lane FAILED ($dotnet_status)"
  exit "$dotnet_status"
fi

step "tests: sanitizers (unit and integration)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j2 -LE windows

step "demo under the sanitizers"
build/asan/tools/kulve demo >/dev/null

step "tests: release (unit, integration, Windows export check)"
ctest --test-dir build/release --output-on-failure -j2
