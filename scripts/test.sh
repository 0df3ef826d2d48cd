#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds everything and runs every test:
#   1. the library, simulator, tool, tests and benchmarks (RelWithDebInfo),
#      and their tests at once, so that a real failure shows early;
#   2. the same tests under AddressSanitizer + UndefinedBehaviorSanitizer, and
#      the integration tests (those that run threads) under ThreadSanitizer;
#   3. the Windows DLLs cross-built with mingw-w64 and their export tables
#      checked (CTest label "windows"), and the Wine lane, which runs a Windows
#      test program against both DLLs with the simulator behind COM1;
#   4. one short pass of every benchmark, so they keep working;
#   5. the install: consumers built against a temporary prefix (pkg-config,
#      find_package, add_subdirectory), the Debian packages unpacked into a
#      temporary root, the man pages (tests/install/check_install.sh);
#   6. the Python package's type hints (mypy --strict) and tests (pytest) and the
#      C# example under Mono, both against the library and the simulator;
#   7. the PC/SC lane: Debian's pcscd with the driver, and PC/SC programs on it.
# The integration tests include the link and memory-card suites again through
# tcp:// and rfc2217://, and a chain through Debian's ser2net (installed here).
# Installs what it needs with apt-get when run as root.
#
# The machine has few cores and the test suites mostly wait on a line (time
# outs, the pause of every close), so each suite runs in the background while
# the next variant compiles: the release tests beside the sanitizer build, the
# sanitizer tests beside the thread-sanitizer and fuzz builds, the
# thread-sanitizer tests beside the Windows lane. Their output is shown when
# they are collected; the first failure ends the run.
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
  python3-pytest mypy fp-compiler llvm-14 lld-14 clang-14 libpcsclite-dev

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

# Background suites: started with a name, collected (output shown, status
# checked) later. Whatever is still running when the script ends is stopped,
# by the process ids started here.
logs="$repo/build/logs"
mkdir -p "$logs"
declare -A background=()
log_of() {  # name: its log file, the name's words joined by dashes
  local words="${1//[^A-Za-z0-9.]/-}"
  printf '%s/%s.log' "$logs" "$words"
}
start_background() {  # name, command...
  local name="$1"
  shift
  "$@" >"$(log_of "$name")" 2>&1 &
  background[$name]=$!
  printf '... %s runs in the background (%s)\n' "$name" "$(log_of "$name")"
}
collect() {  # name
  local name="$1" status=0
  wait "${background[$1]}" || status=$?
  unset "background[$name]"
  step "$name (collected)"
  cat "$(log_of "$name")"
  if [ "$status" -ne 0 ]; then
    echo "$name FAILED ($status)"
    exit "$status"
  fi
}
stop_background() {
  local pid
  for pid in "${background[@]}"; do kill -TERM -- "$pid" 2>/dev/null || true; done
}
trap stop_background EXIT

asan_env=(ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
tsan_env=(TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1)

step "build: release"
# Everything on, whatever an earlier configure of these folders said.
all_on=(-DKULVE_BUILD_TESTS=ON -DKULVE_BUILD_TOOLS=ON -DKULVE_WERROR=ON)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${all_on[@]}" -DKULVE_BUILD_BENCH=ON \
  -DKULVE_WINDOWS_BUILD_ROOT="$repo/build/windows" >/dev/null
cmake --build build/release -j"$jobs"

# The release suite leaves out the Windows export check, which cross-builds
# the DLLs: the Wine lane builds them and that check runs after it.
start_background "tests: release (unit, integration)" \
  ctest --test-dir build/release --output-on-failure -j"$test_jobs" -LE windows

step "build: address and undefined-behaviour sanitizers"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKULVE_SANITIZE=ON "${all_on[@]}" -DKULVE_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"

collect "tests: release (unit, integration)"
start_background "tests: sanitizers (unit and integration)" \
  env "${asan_env[@]}" ctest --test-dir build/asan --output-on-failure -j"$test_jobs" -LE windows

step "build: thread sanitizer"
# Only what runs on more than one thread: the integration suites (the
# simulator serves on threads of its own; readers driven from several
# threads) with the tool and the simulator they start. The unit tests run on
# one thread over an in-memory reader: the two builds above cover them.
# Unoptimised, as it compiles in about half the time and the suites wait on
# lines far more than they compute.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKULVE_SANITIZE_THREAD=ON "${all_on[@]}" -DKULVE_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs" --target kulve_integration_tests kulve kulvesim

step "build: fuzz targets (clang, libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKULVE_FUZZ=ON -DKULVE_WERROR=ON \
  -DKULVE_BUILD_TESTS=OFF -DKULVE_BUILD_BENCH=OFF -DKULVE_BUILD_TOOLS=OFF -DKULVE_INSTALL=OFF >/dev/null
fuzzers=$(sed -nE 's/^kulve_fuzzer\(([a-z_]+)\).*/\1/p' fuzz/CMakeLists.txt)
cmake --build build/fuzz -j"$jobs" --target $fuzzers

collect "tests: sanitizers (unit and integration)"
start_background "tests: thread sanitizer (integration)" \
  env "${tsan_env[@]}" ctest --test-dir build/tsan --output-on-failure -j"$test_jobs" -L integration -LE windows

step "build: the Windows DLLs and test programs (mingw-w64)"
windows_built=0
KULVE_JOBS="$jobs" scripts/build_windows.sh "$repo/build/windows" >"$logs/windows-build.log" 2>&1 || windows_built=$?
if [ "$windows_built" -ne 0 ] && [ "$windows_built" -ne 77 ]; then
  tail -n 60 "$logs/windows-build.log"
  echo "Windows cross build FAILED ($windows_built)"
  exit "$windows_built"
fi

# The lanes below wait on simulated readers, Wine and pcscd far more than
# they compute: they run in the background beside the fuzzers, the
# benchmarks and the install check, which compute. A lane that reports 77
# could not be set up here (packages missing) and says so loudly.
lane() {  # name, command...
  local name="$1" status=0
  shift
  "$@" || status=$?
  if [ "$status" -eq 77 ]; then
    printf '\n!!! SKIPPED: %s could not run here (see above) !!!\n' "$name"
    return 0
  fi
  return "$status"
}
start_background "Windows: Wine lane" \
  lane "the Wine lane (the DLLs were not tested under Wine)" \
  scripts/wine_lane.sh --build-root "$repo/build/windows" --prebuilt --sim "$repo/build/release/sim/kulvesim"
start_background "PC/SC: pcscd with the driver; pyscard, opensc-tool, pcsc_scan, rfc2217://" \
  lane "the PC/SC lane" scripts/pcsc_lane.sh --build build/release
start_background "Python package: mypy, and pytest against the simulator" \
  scripts/python_lane.sh --lib "$repo/build/release/src/libkulve32.so" --sim "$repo/build/release/sim/kulvesim"
start_background ".NET: the C# example under Mono against the simulator" \
  lane "the .NET lane (the C# example did not run)" \
  scripts/dotnet_lane.sh --lib-dir "$repo/build/release/src" --sim "$repo/build/release/sim/kulvesim" \
  --out "$repo/build/dotnet"

step "fuzz: a bounded run of each target from its seed corpus"
for fuzzer in $fuzzers; do
  corpus="fuzz/corpus/${fuzzer%_fuzzer}"
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/
  if ! out=$(build/fuzz/fuzz/"$fuzzer" "$work" -runs=20000 -seed=1 -artifact_prefix="$work/" 2>&1); then
    tail -n 60 <<<"$out"
    echo "fuzz: $fuzzer FAILED (the input is kept in $work)"
    exit 1
  fi
  echo "$fuzzer: $(tail -n 1 <<<"$out")"
  rm -rf "$work"
done

step "benchmarks: one short pass each (they keep working; their figures are not read here)"
for bench in build/release/bench/*_bench; do
  "$bench" --benchmark_min_time=0.01 >/dev/null
  echo "ran $(basename "$bench")"
done

step "demo under the sanitizers"
env "${asan_env[@]}" build/asan/tools/kulve demo >/dev/null

step "install: temporary prefix, consumers, Debian packages, man pages"
install_windows=(--windows-root "$repo/build/windows")
[ "$windows_built" -eq 0 ] && install_windows+=(--windows-prebuilt)
KULVE_JOBS="$jobs" tests/install/check_install.sh --build build/release "${install_windows[@]}"

collect "tests: thread sanitizer (integration)"
collect "Windows: Wine lane"
collect "PC/SC: pcscd with the driver; pyscard, opensc-tool, pcsc_scan, rfc2217://"
collect "Python package: mypy, and pytest against the simulator"
collect ".NET: the C# example under Mono against the simulator"

step "tests: the Windows export checks (the DLLs built above)"
ctest --test-dir build/release --output-on-failure -j"$jobs" -L windows

step "done"
