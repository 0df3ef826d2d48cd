#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds everything and runs every test:
#   1. the library, simulator, tool, tests and benchmarks (RelWithDebInfo);
#   2. the same tests under AddressSanitizer + UndefinedBehaviorSanitizer, and
#      under ThreadSanitizer;
#   3. the Windows DLLs cross-built with mingw-w64 and their export tables
#      checked (CTest label "windows"), and the Wine lane, which runs a Windows
#      test program against both DLLs with the simulator behind COM1;
#   4. one short pass of every benchmark, so they keep working;
#   5. the install: consumers built against a temporary prefix (pkg-config,
#      find_package, add_subdirectory), the Debian packages unpacked into a
#      temporary root, the man pages (tests/install/check_install.sh);
#   6. the Python package's tests (pytest, Debian's python3-pytest) and the
#      C# example under Mono, both against the library and the simulator.
# The integration tests include the link and memory-card suites again through
# tcp:// and rfc2217://, and a chain through Debian's ser2net (installed here).
# Installs what it needs with apt-get when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
jobs=$(nproc)
# Most integration tests wait on a line (timeouts, the 1 s pause of every
# close) rather than compute, so twice as many run at once as there are cores.
test_jobs=$((jobs * 2))
started=$SECONDS

scripts/install-deps.sh mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix python3 \
  man-db dpkg-dev file clang libclang-rt-14-dev \
  python3-pytest fp-compiler llvm-14 lld-14 clang-14

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
# Everything on, whatever an earlier configure of these folders said.
all_on=(-DKULVE_BUILD_TESTS=ON -DKULVE_BUILD_TOOLS=ON -DKULVE_WERROR=ON)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${all_on[@]}" -DKULVE_BUILD_BENCH=ON \
  -DKULVE_WINDOWS_BUILD_ROOT="$repo/build/windows" >/dev/null
cmake --build build/release -j"$jobs"

step "build: address and undefined-behaviour sanitizers"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKULVE_SANITIZE=ON "${all_on[@]}" -DKULVE_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"

step "build: thread sanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKULVE_SANITIZE_THREAD=ON -DKULVE_WERROR=ON -DKULVE_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs"

step "build: fuzz targets (clang, libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKULVE_FUZZ=ON -DKULVE_WERROR=ON \
  -DKULVE_BUILD_TESTS=OFF -DKULVE_BUILD_BENCH=OFF -DKULVE_BUILD_TOOLS=OFF -DKULVE_INSTALL=OFF >/dev/null
fuzzers=$(sed -nE 's/^kulve_fuzzer\(([a-z_]+)\).*/\1/p' fuzz/CMakeLists.txt)
cmake --build build/fuzz -j"$jobs" --target $fuzzers

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
  ctest --test-dir build/asan --output-on-failure -j"$test_jobs" -LE windows

step "tests: thread sanitizer (unit and integration)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build/tsan --output-on-failure -j"$test_jobs" -LE windows

step "fuzz: a bounded run of each target from its seed corpus"
for fuzzer in $fuzzers; do
  corpus="fuzz/corpus/${fuzzer%_fuzzer}"
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/
  if ! out=$(build/fuzz/fuzz/"$fuzzer" "$work" -runs=20000 -seed=1 -artifact_prefix="$work/" 2>&1); then
    echo "$out" | tail -n 60
    echo "fuzz: $fuzzer FAILED (the input is kept in $work)"
    exit 1
  fi
  echo "$fuzzer: $(echo "$out" | tail -n 1)"
  rm -rf "$work"
done

step "demo under the sanitizers"
build/asan/tools/kulve demo >/dev/null

step "install: temporary prefix, consumers, Debian packages, man pages"
KULVE_JOBS="$jobs" tests/install/check_install.sh --build build/release --windows-root "$repo/build/windows"

step "tests: release (unit, integration, Windows export check)"
ctest --test-dir build/release --output-on-failure -j"$test_jobs"
