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
# tcp:// and rfc2217://, and a chain through Debian's ser2net.
#
#   scripts/test.sh                   everything
#   KULVE_SKIP=dotnet,pcsc scripts/test.sh
#                                     everything but the lanes named
#   scripts/test.sh --install-only    installs what the lanes need, prints the
#                                     table of lanes and stops
#
# Lanes (the names KULVE_SKIP takes, comma- or space-separated):
#   release  unit and integration tests of the release build
#   asan     the same under AddressSanitizer + UBSan, and the demo
#   tsan     the integration tests under ThreadSanitizer
#   fuzz     a bounded run of every libFuzzer target (clang)
#   windows  the mingw-w64 cross build of the DLLs and their export checks
#   wine     the Windows test programs under Wine (needs windows)
#   pcsc     pcscd with the driver; pyscard, opensc, pcsc-tools, libnfc
#   python   mypy --strict and pytest
#   dotnet   the C# example under Mono
#   ser2net  the chain through Debian's ser2net (in the integration suites)
#   install  the install into a prefix, the Debian packages, the man pages
#   bench    one short pass of every benchmark
#
# Every Debian package any lane needs is installed first, in one apt-get run
# as root (the i386 architecture for Wine added before it), and the lanes are
# told not to run apt themselves (KULVE_NO_APT=1): a lane never races another
# for apt's locks. A lane that cannot run -- its packages cannot be installed,
# or it reports that it did not run -- fails the whole command, naming the
# package and apt's error, unless it was skipped by name. The run ends with
# one table: each lane, whether it ran, was skipped (and why) or failed, its
# counts and its time; then "N passed, N failed" alone on the last line.
#
# The machine has few cores and the test suites mostly wait on a line (time
# outs, the pause of every close), so each suite runs in the background while
# the next variant compiles: the release tests beside the sanitizer build, the
# sanitizer tests beside the thread-sanitizer and fuzz builds, the
# thread-sanitizer tests beside the Windows lane. A failure in a background
# suite is shown the moment its log has it (lines marked with the suite's
# lane); its whole output is shown when it is collected, and the first failed
# suite ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
jobs=$(nproc)
# Most integration tests wait on a line (timeouts, the 1 s pause of every
# close) rather than compute, so twice as many run at once as there are cores.
test_jobs=$((jobs * 2))
started=$SECONDS
install_only=0
case "${1:-}" in
  --install-only) install_only=1 ;;
  "") ;;
  *) echo "usage: [KULVE_SKIP=LANE,...] $0 [--install-only]" >&2; exit 2 ;;
esac

step() { printf '\n=== %s (%ds)\n' "$*" $((SECONDS - started)); }

# ---- Lanes and what they need ------------------------------------------------
lanes=(release asan tsan fuzz windows wine pcsc python dotnet ser2net install bench)
# Every lane needs the build tools and test libraries (scripts/install-deps.sh
# adds them) and these.
base_packages=(python3 libpcsclite-dev fp-compiler)
declare -A packages=(
  [fuzz]="clang libclang-rt-14-dev"
  [windows]="mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix llvm-14 lld-14 clang-14"
  [wine]="wine wine64 wine32:i386"
  [pcsc]="pcscd libpcsclite-dev python3-pyscard opensc pcsc-tools libnfc-bin"
  [python]="python3-pytest mypy"
  [dotnet]="mono-mcs mono-runtime"
  [ser2net]="ser2net"
  [install]="man-db dpkg-dev file gzip"
)
declare -A state=() note=() counts=() seconds=()
for lane in "${lanes[@]}"; do state[$lane]="not run"; done

# KULVE_SKIP: the lanes the user chose to leave out, by name.
declare -A skip=()
skip_names="${KULVE_SKIP:-}"
for lane in ${skip_names//,/ }; do
  [[ -n "${state[$lane]:-}" ]] || { echo "KULVE_SKIP: no lane named '$lane' (lanes: ${lanes[*]})" >&2; exit 2; }
  skip[$lane]=1
  state[$lane]="skipped"
  note[$lane]="KULVE_SKIP"
done
if [[ -n "${skip[windows]:-}" && -z "${skip[wine]:-}" ]]; then
  skip[wine]=1 state[wine]="skipped" note[wine]="needs the windows lane (KULVE_SKIP)"
fi
wanted() { [[ -z "${skip[$1]:-}" ]]; }

failed_lanes=0
lane_failed() {  # lane, why
  state[$1]="FAILED"
  note[$1]="$2"
  failed_lanes=$((failed_lanes + 1))
}
# The counts a lane's log closes with: CTest's, pytest's, or "N passed, N
# failed" (the Wine lane's programs each print one: they are added up).
counts_of() {  # lane, log
  local line f t
  case "$1" in
    release|asan|tsan)
      line=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$2" | tail -n 1) && [[ -n $line ]] || return 0
      read -r f _ _ _ _ t <<<"$line"
      echo "$((t - f)) passed, $f failed" ;;
    python)
      line=$(grep -E '^[0-9]+ (passed|failed)|^=+ .*[0-9]+ (passed|failed)' "$2" | tail -n 1) && [[ -n $line ]] || return 0
      echo "$(grep -Eo '[0-9]+ passed' <<<"$line" || echo 0 passed), $(grep -Eo '[0-9]+ failed' <<<"$line" || echo 0 failed)" ;;
    wine)
      grep -Eo '^ *[0-9]+ passed, [0-9]+ failed' "$2" |
        awk '{ p += $1; f += $3 } END { if (NR) printf "%d passed, %d failed\n", p, f }' ;;
    *)
      grep -Eo '[0-9]+ passed, [0-9]+ failed' "$2" | tail -n 1 || true ;;
  esac
}

# One table of every lane, then the sum of the counts alone on the last line;
# printed however the run ends.
print_table() {
  local lane total_passed=0 total_failed=0 c p f
  printf '\n=== lanes (%ds)\n' $((SECONDS - started))
  printf '%-8s  %-8s  %-26s  %6s  %s\n' lane status tests time note
  for lane in "${lanes[@]}"; do
    c="${counts[$lane]:-}"
    printf '%-8s  %-8s  %-26s  %6s  %s\n' "$lane" "${state[$lane]}" "${c:--}" \
      "${seconds[$lane]:+${seconds[$lane]}s}" "${note[$lane]:-}"
    if [[ "$c" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
      p=${BASH_REMATCH[1]} f=${BASH_REMATCH[2]}
      total_passed=$((total_passed + p)) total_failed=$((total_failed + f))
      [[ "${state[$lane]}" != FAILED || $f -gt 0 ]] || total_failed=$((total_failed + 1))
    elif [[ "${state[$lane]}" == FAILED ]]; then
      total_failed=$((total_failed + 1))
    fi
  done
  printf '\n%d passed, %d failed\n' "$total_passed" "$total_failed"
}

# ---- Packages: one apt-get run, before anything is built ---------------------
step "packages: what every lane not skipped needs"
deps_err=$(mktemp /tmp/kulve-deps-err.XXXXXX)
trap 'rm -f "$deps_err"' EXIT
want=("${base_packages[@]}")
for lane in "${lanes[@]}"; do
  wanted "$lane" && [[ -n "${packages[$lane]:-}" ]] && read -r -a more <<<"${packages[$lane]}" && want+=("${more[@]}")
done
architecture=()
wanted wine && architecture=(--architecture i386)
read -r -a dpkg_query <<<"${KULVE_DPKG_QUERY:-dpkg-query}"
had_ser2net=$("${dpkg_query[@]}" -W -f='${Status}' ser2net 2>/dev/null | grep -c 'install ok installed' || true)
if ! scripts/install-deps.sh "${architecture[@]}" "${want[@]}" 2>"$deps_err"; then
  cat "$deps_err" >&2
  # Which lanes cannot run: their packages, one lane at a time, for apt's
  # word on each.
  if ! scripts/install-deps.sh "${base_packages[@]}" 2>"$deps_err"; then
    cat "$deps_err" >&2
    echo "FAILED: the build tools could not be installed: $(tail -n 1 "$deps_err")"
    print_table
    exit 1
  fi
  for lane in "${lanes[@]}"; do
    wanted "$lane" && [[ -n "${packages[$lane]:-}" ]] || continue
    lane_architecture=()
    [[ $lane == wine ]] && lane_architecture=(--architecture i386)
    read -r -a more <<<"${packages[$lane]}"
    if ! scripts/install-deps.sh --minimal "${lane_architecture[@]}" "${more[@]}" 2>"$deps_err"; then
      lane_failed "$lane" "cannot install ${packages[$lane]}: $(tail -n 1 "$deps_err")"
    fi
  done
fi
# Debian's ser2net starts a service whose sample configuration serves
# /dev/ttyS0 on localhost: when it was installed just now, that service is
# stopped and disabled again (the chain tests start their own instance).
if [[ "$had_ser2net" = 0 ]] && [[ -d /run/systemd/system ]] && wanted ser2net; then
  systemctl disable --now ser2net.service >/dev/null 2>&1 || true
fi
if [[ $failed_lanes -gt 0 ]]; then
  echo "FAILED: a lane cannot run here; skip it by name (KULVE_SKIP=name,...) to run the others"
  print_table
  exit 1
fi
if [[ $install_only -eq 1 ]]; then
  for lane in "${lanes[@]}"; do wanted "$lane" && state[$lane]="ready"; done
  print_table
  exit 0
fi
# The lanes find everything installed; none runs apt.
export KULVE_NO_APT=1

# Background suites: started with a lane's name, collected (output shown,
# status checked) later; a failure shows at once, marked with the lane.
# Whatever is still running when the script ends is stopped, by the process
# ids started here.
logs="$repo/build/logs"
mkdir -p "$logs"
declare -A background=() began=() watcher=()
start_background() {  # lane, what, command...
  local lane="$1" what="$2" log="$logs/$1.log"
  shift 2
  began[$lane]=$(date +%s)
  ( "$@"; status=$?; date +%s >"$log.end"; exit "$status" ) >"$log" 2>&1 &
  background[$lane]=$!
  printf '... %s: %s runs in the background (%s)\n' "$lane" "$what" "$log"
  # Failures as they come, with the lane's name before them.
  tail --pid="${background[$lane]}" -n +1 -F "$log" 2>/dev/null |
    grep --line-buffered -E '\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|FAILED|ERROR: AddressSanitizer|WARNING: ThreadSanitizer|runtime error:' |
    sed -u "s/^/[$lane] /" &
  watcher[$lane]=$!
}
# collect LANE: its output, its counts and time; a failure ends the run. A
# lane that reports 77 could not run here: that is a failure too.
collect() {
  local lane="$1" status=0 log="$logs/$1.log"
  wait "${background[$lane]}" || status=$?
  unset "background[$lane]"
  wait "${watcher[$lane]}" 2>/dev/null || true  # its last lines, before the full output
  step "$lane (collected)"
  cat "$log"
  counts[$lane]="$(counts_of "$lane" "$log")"
  seconds[$lane]=$(( ${seconds[$lane]:-0} + $(cat "$log.end" 2>/dev/null || date +%s) - ${began[$lane]} ))
  case "$status" in
    0) state[$lane]=ran ;;
    77) lane_failed "$lane" "did not run: $(grep -E 'SKIPPED' "$log" | head -n 1 | sed 's/^[! ]*//')" ;;
    *) lane_failed "$lane" "status $status" ;;
  esac
  if [[ "$status" -ne 0 ]]; then
    echo "$lane FAILED ($status)"
    exit 1
  fi
}
# build LANE COMMAND...: a lane's build, its time counted as the lane's.
build() {
  local lane="$1" t=$SECONDS status=0
  shift
  "$@" || status=$?
  seconds[$lane]=$((${seconds[$lane]:-0} + SECONDS - t))
  [[ $status -eq 0 ]] || { lane_failed "$lane" "the build failed"; exit "$status"; }
}
# in_foreground LANE COMMAND...: a lane run here, timed (added to the time
# it took to build).
in_foreground() {
  local lane="$1" status=0 t=$SECONDS
  shift
  "$@" || status=$?
  seconds[$lane]=$((${seconds[$lane]:-0} + SECONDS - t))
  if [[ $status -eq 0 ]]; then
    state[$lane]=ran
  else
    lane_failed "$lane" "status $status"
    exit 1
  fi
}
stop_background() {
  local status=$? pid
  for pid in "${background[@]}"; do kill -TERM -- "$pid" 2>/dev/null || true; done
  [[ ${#watcher[@]} -eq 0 ]] || wait "${watcher[@]}" 2>/dev/null || true  # the tails end with what they watch
  [[ $install_only -eq 1 ]] || print_table
  exit "$status"
}
rm -f "$deps_err"
trap stop_background EXIT

asan_env=(ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
tsan_env=(TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1)
# Everything on, whatever an earlier configure of these folders said.
all_on=(-DKULVE_BUILD_TESTS=ON -DKULVE_BUILD_TOOLS=ON -DKULVE_WERROR=ON)

step "build: release"
# The release build serves the release tests, the benchmarks, the lanes and
# the install check; it is needed whatever is skipped.
bench=ON
wanted bench || bench=OFF
build release cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${all_on[@]}" -DKULVE_BUILD_BENCH=$bench \
  -DKULVE_WINDOWS_BUILD_ROOT="$repo/build/windows" >/dev/null
build release cmake --build build/release -j"$jobs"

# The release suite leaves out the Windows export check, which cross-builds
# the DLLs: the Wine lane builds them and that check runs after it. The
# ser2net chain reports SKIPPED without ser2net; skipped by name, it is left
# out.
ser2net_out=()
wanted ser2net || ser2net_out=(-E Ser2net)
if wanted release; then
  start_background release "unit and integration tests" \
    ctest --test-dir build/release --output-on-failure -j"$test_jobs" -LE windows "${ser2net_out[@]}"
fi

if wanted asan; then
  step "build: address and undefined-behaviour sanitizers"
  build asan cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKULVE_SANITIZE=ON "${all_on[@]}" -DKULVE_BUILD_BENCH=OFF >/dev/null
  build asan cmake --build build/asan -j"$jobs"
fi

wanted release && collect release
if wanted asan; then
  start_background asan "unit and integration tests, then the demo, under ASan and UBSan" \
    env "${asan_env[@]}" sh -c 'j=$1; shift; ctest --test-dir build/asan --output-on-failure -j"$j" -LE windows "$@" &&
      echo "demo under the sanitizers" && build/asan/tools/kulve demo >/dev/null' sh "$test_jobs" "${ser2net_out[@]}"
fi

if wanted tsan; then
  step "build: thread sanitizer"
  # Only what runs on more than one thread: the integration suites (the
  # simulator serves on threads of its own; readers driven from several
  # threads) with the tool and the simulator they start. The unit tests run on
  # one thread over an in-memory reader: the two builds above cover them.
  # Unoptimised, as it compiles in about half the time and the suites wait on
  # lines far more than they compute.
  build tsan cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKULVE_SANITIZE_THREAD=ON "${all_on[@]}" -DKULVE_BUILD_BENCH=OFF >/dev/null
  build tsan cmake --build build/tsan -j"$jobs" --target kulve_integration_tests kulve kulvesim
fi

if wanted fuzz; then
  step "build: fuzz targets (clang, libFuzzer)"
  CC=clang CXX=clang++ build fuzz cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKULVE_FUZZ=ON -DKULVE_WERROR=ON \
    -DKULVE_BUILD_TESTS=OFF -DKULVE_BUILD_BENCH=OFF -DKULVE_BUILD_TOOLS=OFF -DKULVE_INSTALL=OFF >/dev/null
  fuzzers=$(sed -nE 's/^kulve_fuzzer\(([a-z_]+)\).*/\1/p' fuzz/CMakeLists.txt)
  build fuzz cmake --build build/fuzz -j"$jobs" --target $fuzzers
fi

wanted asan && collect asan
if wanted tsan; then
  start_background tsan "integration tests under TSan" \
    env "${tsan_env[@]}" ctest --test-dir build/tsan --output-on-failure -j"$test_jobs" -L integration -LE windows "${ser2net_out[@]}"
fi

if wanted windows; then
  step "build: the Windows DLLs and test programs (mingw-w64)"
  t=$SECONDS
  if ! KULVE_JOBS="$jobs" scripts/build_windows.sh "$repo/build/windows" >"$logs/windows-build.log" 2>&1; then
    tail -n 60 "$logs/windows-build.log"
    lane_failed windows "the cross build failed ($logs/windows-build.log)"
    exit 1
  fi
  seconds[windows]=$((SECONDS - t))
fi

# The lanes below wait on simulated readers, Wine and pcscd far more than
# they compute: they run in the background beside the fuzzers, the
# benchmarks and the install check, which compute.
if wanted wine; then
  start_background wine "the Windows test programs under Wine" \
    scripts/wine_lane.sh --build-root "$repo/build/windows" --prebuilt --sim "$repo/build/release/sim/kulvesim"
fi
if wanted pcsc; then
  start_background pcsc "pcscd with the driver; pyscard, opensc-tool, pcsc_scan, rfc2217://" \
    scripts/pcsc_lane.sh --build build/release
fi
if wanted python; then
  start_background python "mypy, and pytest against the simulator" \
    scripts/python_lane.sh --lib "$repo/build/release/src/libkulve32.so" --sim "$repo/build/release/sim/kulvesim"
fi
if wanted dotnet; then
  start_background dotnet "the C# example under Mono against the simulator" \
    scripts/dotnet_lane.sh --lib-dir "$repo/build/release/src" --sim "$repo/build/release/sim/kulvesim" \
    --out "$repo/build/dotnet"
fi

run_fuzzers() {
  local fuzzer corpus work out ran=0
  for fuzzer in $fuzzers; do
    corpus="fuzz/corpus/${fuzzer%_fuzzer}"
    work=$(mktemp -d)
    cp -r "$corpus"/. "$work"/
    if ! out=$(build/fuzz/fuzz/"$fuzzer" "$work" -runs=20000 -seed=1 -artifact_prefix="$work/" 2>&1); then
      tail -n 60 <<<"$out"
      echo "fuzz: $fuzzer FAILED (the input is kept in $work)"
      counts[fuzz]="$ran passed, 1 failed"
      return 1
    fi
    echo "$fuzzer: $(tail -n 1 <<<"$out")"
    ran=$((ran + 1))
    rm -rf "$work"
  done
  counts[fuzz]="$ran passed, 0 failed"
}
if wanted fuzz; then
  step "fuzz: a bounded run of each target from its seed corpus"
  in_foreground fuzz run_fuzzers
fi

run_benchmarks() {
  local bench ran=0
  for bench in build/release/bench/*_bench; do
    "$bench" --benchmark_min_time=0.01 >/dev/null || { counts[bench]="$ran passed, 1 failed"; return 1; }
    echo "ran $(basename "$bench")"
    ran=$((ran + 1))
  done
  counts[bench]="$ran passed, 0 failed"
}
if wanted bench; then
  step "benchmarks: one short pass each (they keep working; their figures are not read here)"
  in_foreground bench run_benchmarks
fi

if wanted install; then
  step "install: temporary prefix, consumers, Debian packages, man pages"
  install_windows=(--windows-root "$repo/build/windows")
  if wanted windows; then install_windows+=(--windows-prebuilt); else install_windows+=(--no-windows); fi
  check_install() {
    KULVE_JOBS="$jobs" tests/install/check_install.sh --build build/release "${install_windows[@]}" |
      tee "$logs/install.log"
    local status=${PIPESTATUS[0]}
    counts[install]="$(counts_of install "$logs/install.log")"
    return "$status"
  }
  in_foreground install check_install
fi

for lane in tsan wine pcsc python dotnet; do
  wanted "$lane" && collect "$lane"
done

if wanted windows; then
  step "tests: the Windows export checks (the DLLs built above)"
  export_checks() {
    ctest --test-dir build/release --output-on-failure -j"$jobs" -L windows | tee "$logs/windows.log"
    local status=${PIPESTATUS[0]}
    counts[windows]="$(counts_of release "$logs/windows.log")"
    return "$status"
  }
  in_foreground windows export_checks
fi
if wanted ser2net; then
  state[ser2net]=ran note[ser2net]="in the release, asan and tsan suites"
fi

step "done"
