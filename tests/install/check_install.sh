#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that the library installs and packages as its users get it:
#   1. cmake --install of a build into a temporary prefix, then the C
#      consumer in consumer/ built with pkg-config, with find_package(kulve32)
#      and with add_subdirectory of this source tree, each run against the
#      installed kulvesim (link, device number, card write and read-back, DES);
#   2. the Debian packages of scripts/package.sh: what each holds and needs,
#      and the pkg-config consumer built and run against them unpacked with
#      dpkg-deb -x into a temporary root (nothing is installed on the system),
#      and the Python package imported from there and run against kulvesim;
#   3. man -l renders both man pages without a warning, and each page names
#      every option and command its program's --help lists;
#   4. the Windows cross builds install the DLL, the import library and the
#      header into a prefix, and a program links against that prefix.
#
#   tests/install/check_install.sh [--build DIR] [--windows-root DIR] [--windows-prebuilt] [--no-windows]
#
#   --build DIR         a configured and built tree to install (default build/release)
#   --windows-root DIR  the Windows cross builds (default build/windows; built
#                       here when mingw-w64 is installed, skipped otherwise)
#   --windows-prebuilt  DIR is built already (scripts/build_windows.sh): use it
#                       as it is, as another job may be reading it meanwhile
#   --no-windows        leave the Windows builds out (KULVE_SKIP=windows)
# Ends with "N passed, M failed"; exit status 0 when nothing failed.
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$repo/build/release"
windows_root="$repo/build/windows"
windows_prebuilt=0
windows=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build) build="$(realpath "$2")"; shift 2 ;;
    --windows-root) windows_root="$(realpath -m "$2")"; shift 2 ;;
    --windows-prebuilt) windows_prebuilt=1; shift ;;
    --no-windows) windows=0; shift ;;
    *) echo "usage: $0 [--build DIR] [--windows-root DIR] [--windows-prebuilt] [--no-windows]" >&2; exit 2 ;;
  esac
done
consumer="$repo/tests/install/consumer"
jobs="${KULVE_JOBS:-2}"
multiarch="$(gcc -print-multiarch)"

work="$(mktemp -d /tmp/kulve-install.XXXXXX)"
sim_pid=""
cleanup() {
  stop_sim
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 2' INT TERM

passed=0
failed=0
# check WHAT COMMAND...: runs the command, its output kept in a log that is
# shown when it fails.
check() {
  local what="$1" log="$work/check.log"
  shift
  if "$@" >"$log" 2>&1; then
    passed=$((passed + 1))
    printf '  ok      %s\n' "$what"
  else
    failed=$((failed + 1))
    printf '  FAILED  %s\n' "$what"
    sed 's/^/          | /' "$log" | tail -25
  fi
}
say() { printf '%s\n' "$*"; }

# ---- A simulated reader -------------------------------------------------------
start_sim() {  # kulvesim binary; the reader's path is then $work/reader
  stop_sim
  rm -f "$work/reader"
  "$1" --quiet --card 1 --link "$work/reader" </dev/null >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 600); do  # up to a minute on a loaded machine
    [[ -L "$work/reader" && -s "$work/sim.out" ]] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/sim.err"
  return 1
}
stop_sim() {
  [[ -n "$sim_pid" ]] || return 0
  kill -TERM "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=""
}

# run_consumer PROGRAM KULVESIM [VAR=VALUE...]: the consumer against a fresh
# simulated reader, with the environment given.
run_consumer() {
  local program="$1" sim="$2"
  shift 2
  start_sim "$sim" || return 1
  env "$@" "$program" "$work/reader"
  local status=$?
  stop_sim
  return $status
}

# uses_library PROGRAM DIR [VAR=VALUE...]: the dynamic loader takes
# libkulve32.so.1 from DIR, not from anywhere else.
uses_library() {
  local program="$1" dir="$2"
  shift 2
  # The whole listing is taken first and searched after: a reader that stops
  # at the first match (grep -q) would kill the writer with SIGPIPE, and under
  # pipefail that fails a check whose line was there.
  local listing
  listing="$(env "$@" ldd "$program")" || return 1
  echo "$listing"
  grep -qF "libkulve32.so.1 => $dir/libkulve32.so.1 " <<<"$listing"
}

build_with_pkg_config() {  # output, then VAR=VALUE... for pkg-config
  local out="$1"
  shift
  mkdir -p "$(dirname "$out")"
  local flags
  flags="$(env "$@" pkg-config --cflags --libs kulve32)" || return 1
  echo "pkg-config: $flags"
  # shellcheck disable=SC2086  # the flags are words
  cc -std=c99 -Wall -Wextra -Werror "$consumer/reader_check.c" $flags -o "$out"
}

build_with_cmake() {  # build dir, then cache settings
  local dir="$1"
  shift
  cmake -S "$consumer" -B "$dir" -G Ninja "$@" && cmake --build "$dir" -j "$jobs"
}

# ---- 1. Install into a temporary prefix -----------------------------------
say "install: cmake --install $build into a temporary prefix"
prefix="$work/prefix"
check "cmake --install --prefix" cmake --install "$build" --prefix "$prefix"
pc_file="$(find "$prefix" -name kulve32.pc -print -quit)"
libdir="$(dirname "$(dirname "$pc_file")")"
pc_env=(PKG_CONFIG_PATH="$(dirname "$pc_file")")

check "pkg-config: consumer builds" build_with_pkg_config "$work/pc/reader_check" "${pc_env[@]}"
check "pkg-config: uses the installed library" \
  uses_library "$work/pc/reader_check" "$libdir" LD_LIBRARY_PATH="$libdir"
check "pkg-config: consumer runs against the simulator" \
  run_consumer "$work/pc/reader_check" "$prefix/bin/kulvesim" LD_LIBRARY_PATH="$libdir"

check "find_package: consumer builds" build_with_cmake "$work/fp" -DCMAKE_PREFIX_PATH="$prefix"
check "find_package: uses the installed library" uses_library "$work/fp/reader_check" "$libdir"
check "find_package: consumer runs against the simulator" \
  run_consumer "$work/fp/reader_check" "$prefix/bin/kulvesim"

# The PC/SC driver's reader.conf.d example, where the build has the driver:
# LIBPATH and the notes below the prefix given to cmake --install, and a word
# on where pcscd reads it from.
example_follows_prefix() {
  local example="$prefix/etc/reader.conf.d/kulve-pcsc" driver
  cat "$example" || return 1
  driver="$(sed -n 's/^# LIBPATH *//p' "$example")"
  [[ "$driver" == "$prefix/"*/libkulve_ifd.so && -f "$driver" ]] || { echo "LIBPATH: not the installed driver"; return 1; }
  grep -qx "# See $prefix/share/doc/kulve-pcsc/pcsc\.md\." "$example" && [[ -f "$prefix/share/doc/kulve-pcsc/pcsc.md" ]] ||
    { echo "the notes are not named below the prefix"; return 1; }
  grep -q "reads its readers from /etc/reader\.conf\.d/ alone" "$example"
}
if [[ -e "$build/pcsc/libkulve_ifd.so" ]]; then
  check "the PC/SC example names the driver and notes below the prefix" example_follows_prefix
fi

check "add_subdirectory: consumer builds" build_with_cmake "$work/sub" -DKULVE_SOURCE_DIR="$repo"
check "add_subdirectory: consumer runs against the simulator" \
  run_consumer "$work/sub/reader_check" "$prefix/bin/kulvesim"

# ---- 2. The Debian packages ---------------------------------------------------
say "packages: scripts/package.sh"
check "scripts/package.sh builds the packages" "$repo/scripts/package.sh" "$work/debs"
deb() {
  local found=("$work/debs/$1"_*.deb)
  [[ -e "${found[0]}" ]] && echo "${found[0]}"
}

# holds DEB PATTERN...: every pattern (an extended regular expression) matches
# a line of dpkg-deb --contents; a pattern starting with ! matches none.
holds() {
  local contents pattern
  contents="$(dpkg-deb --contents "$1" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')" ||
    return 1
  echo "$contents"
  shift
  for pattern in "$@"; do
    if [[ "$pattern" == !* ]]; then
      ! grep -Eq "${pattern#!}" <<<"$contents" || { echo "holds what it should not: ${pattern#!}"; return 1; }
    else
      grep -Eq "$pattern" <<<"$contents" || { echo "missing: $pattern"; return 1; }
    fi
  done
}
field_matches() {  # DEB FIELD PATTERN
  local value
  value="$(dpkg-deb -f "$1" "$2")"
  echo "$2: $value"
  grep -Eq "$3" <<<"$value"
}

lib="usr/lib/$multiarch"
check "libkulve32-1 holds the library" holds "$(deb libkulve32-1)" \
  "^\./$lib/libkulve32\.so\.1\.0\.0$" "^\./$lib/libkulve32\.so\.1 -> libkulve32\.so\.1\.0\.0$" \
  "^\./usr/share/doc/libkulve32-1/copyright$" '!include/' '!libkulve32\.so ->' '!usr/bin/'
check "libkulve32-1 depends on the C and C++ runtimes" \
  field_matches "$(deb libkulve32-1)" Depends 'libc6 .*libstdc\+\+6'
has_shlibs() {
  local shlibs
  shlibs="$(dpkg-deb -I "$1" shlibs)" || return 1
  echo "$shlibs"
  grep -q "^libkulve32 1 libkulve32-1 " <<<"$shlibs"
}
check "libkulve32-1 has a shlibs file" has_shlibs "$(deb libkulve32-1)"
check "libkulve32-dev holds the header, link, .pc and CMake package" holds "$(deb libkulve32-dev)" \
  '^\./usr/include/kulve32\.h$' "^\./$lib/libkulve32\.so -> libkulve32\.so\.1$" \
  "^\./$lib/pkgconfig/kulve32\.pc$" "^\./$lib/cmake/kulve32/kulve32Config\.cmake$" \
  "^\./$lib/cmake/kulve32/kulve32Targets\.cmake$" '!libkulve32\.so\.1\.0\.0' '!usr/bin/'
check "libkulve32-dev depends on exactly its library" \
  field_matches "$(deb libkulve32-dev)" Depends '^libkulve32-1 \(= [0-9.]+-[0-9]+\)$'
check "kulve-tools holds the programs, man pages, udev rule and notes" holds "$(deb kulve-tools)" \
  '^\./usr/bin/kulve$' '^\./usr/bin/kulvesim$' '^\./usr/share/man/man1/kulve\.1\.gz$' \
  '^\./usr/share/man/man1/kulvesim\.1\.gz$' '^\./usr/lib/udev/rules\.d/60-kulve32\.rules$' \
  '^\./usr/share/doc/kulve-tools/serial-access\.md$' '!include/' '!libkulve32'
check "kulve-tools depends on the C runtime" field_matches "$(deb kulve-tools)" Depends 'libc6'
check "python3-kulve32 holds the package and no library" holds "$(deb python3-kulve32)" \
  '^\./usr/lib/python3/dist-packages/kulve32/__init__\.py$' \
  '^\./usr/lib/python3/dist-packages/kulve32/families/' '^\./usr/share/doc/python3-kulve32/copyright$' \
  '!\.so' '!__pycache__' '!usr/bin/'
check "python3-kulve32 depends on python3 and the library" \
  field_matches "$(deb python3-kulve32)" Depends '^python3 .*, libkulve32-1 \(>= [0-9.]+\)$'
check "kulve-pcsc holds the driver in pcscd's serial folder, the reader.conf.d example and notes" \
  holds "$(deb kulve-pcsc)" '^\./usr/lib/pcsc/drivers/serial/libkulve_ifd\.so$' '^\./etc/reader\.conf\.d/kulve-pcsc$' \
  '^\./usr/share/doc/kulve-pcsc/pcsc\.md$' '!include/' '!libkulve32'
for_users() {  # DEB DOC...: the documents without source-tree sections or pictures
  local deb="$1" doc text
  shift
  for doc in "$@"; do
    text="$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/share/doc/$doc")" || return 1
    echo "$doc: $(wc -l <<<"$text") lines"
    ! grep -nE 'source tree -->|^!\[|^## Tests?(ing)?$' <<<"$text" || return 1
  done
}
check "the packages' documents keep no source-tree sections or pictures" \
  for_users "$(deb kulve-pcsc)" kulve-pcsc/pcsc.md
check "  ... nor do the tools' and Python's" \
  eval 'for_users "$(deb kulve-tools)" kulve-tools/serial-access.md &&
        for_users "$(deb python3-kulve32)" python3-kulve32/python.md'
has_conffile() {  # DEB FILE: the listing is taken whole, then searched (see uses_library)
  local conffiles
  conffiles="$(dpkg-deb -I "$1" conffiles)" || return 1
  echo "$conffiles"
  grep -qx "$2" <<<"$conffiles"
}
check "kulve-pcsc keeps the user's reader.conf.d file on upgrades" \
  has_conffile "$(deb kulve-pcsc)" /etc/reader.conf.d/kulve-pcsc
packaged_example() {  # the example as the package ships it: the system's paths
  local text
  text="$(dpkg-deb --fsys-tarfile "$(deb kulve-pcsc)" | tar -xO ./etc/reader.conf.d/kulve-pcsc)" || return 1
  echo "$text"
  grep -qx '# LIBPATH      /usr/lib/pcsc/drivers/serial/libkulve_ifd\.so' <<<"$text" &&
    grep -qx '# See /usr/share/doc/kulve-pcsc/pcsc\.md\.' <<<"$text"
}
check "kulve-pcsc's example names the packaged driver and notes" packaged_example
check "kulve-pcsc depends on pcscd and the C runtime" field_matches "$(deb kulve-pcsc)" Depends 'libc6.*pcscd|pcscd.*libc6'

root="$work/root"
unpack_all() {
  local package
  for package in libkulve32-1 libkulve32-dev kulve-tools python3-kulve32; do
    dpkg-deb -x "$(deb "$package")" "$root" || return 1
  done
}
check "dpkg-deb -x unpacks the four packages" unpack_all
deb_pc_env=(PKG_CONFIG_LIBDIR="$root/$lib/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$root"
            PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1)
check "unpacked: pkg-config consumer builds" build_with_pkg_config "$work/deb/reader_check" "${deb_pc_env[@]}"
check "unpacked: uses the packaged library" \
  uses_library "$work/deb/reader_check" "$root/$lib" LD_LIBRARY_PATH="$root/$lib"
check "unpacked: consumer runs against the packaged simulator" \
  run_consumer "$work/deb/reader_check" "$root/usr/bin/kulvesim" LD_LIBRARY_PATH="$root/$lib"

# The packaged Python package, from the unpacked root: one simulator call.
python_against_sim() {
  start_sim "$root/usr/bin/kulvesim" || return 1
  env -u KULVE32_LIBRARY PYTHONPATH="$root/usr/lib/python3/dist-packages" LD_LIBRARY_PATH="$root/$lib" \
    python3 -c 'import sys, kulve32
from kulve32 import _library
with kulve32.Reader(sys.argv[1]) as reader:
    number = reader.device_number()
print(kulve32.__file__, _library.loaded_from(), number.hex())
assert kulve32.__file__.startswith(sys.argv[2]) and len(number) == 8' "$work/reader" "$root/"
  local status=$?
  stop_sim
  return $status
}
check "unpacked: the Python package reads the device number from the simulator" python_against_sim

# The rule file: every line a comment, blank, or KEY op "value" pairs.
udev_rule_is_well_formed() {
  local pair='[A-Z_]+(\{[A-Za-z_]+\})?(==|!=|=|\+=|:=)"[^"]*"'
  grep -Evx "(#.*)?|$pair(, $pair)*" "$1" && { echo "not a udev rule line (above)"; return 1; }
  grep -Eq 'GROUP="dialout"' "$1"
}
check "the udev rule is well formed" udev_rule_is_well_formed "$root/usr/lib/udev/rules.d/60-kulve32.rules"

# ---- 3. Man pages ----------------------------------------------------------
say "man pages: man -l"
# renders_help PAGE PROGRAM: no warnings, and every entry of the options and
# commands sections of PROGRAM --help appears in the page.
renders_help() {
  local page="$1" program="$2" rendered warnings word
  rendered="$(MANWIDTH=200 man --warnings -l "$page" 2>"$work/man.err")" || return 1
  warnings="$(cat "$work/man.err")"
  [[ -z "$warnings" ]] || { echo "man -l warned: $warnings"; return 1; }
  [[ -n "$rendered" ]] || { echo "empty page"; return 1; }
  for word in $("$program" --help | awk '/^[a-z][a-z ]*:$/ { section = $0 }
        (section == "options:" || section == "commands:") && /^  [^ ]/ { sub(/,$/, "", $1); print $1 }'); do
    grep -qF -- "$word" <<<"$rendered" || { echo "$page does not mention $word"; return 1; }
  done
  head -20 <<<"$rendered"
}
for program in kulve kulvesim; do
  check "man -l $program.1: no warnings, every option and command of --help" \
    renders_help "$root/usr/share/man/man1/$program.1.gz" "$root/usr/bin/$program"
done

# ---- 4. Windows -------------------------------------------------------------
link_windows_consumer() {  # triple's machine (i686, x86_64), prefix
  local flags
  flags="$(PKG_CONFIG_LIBDIR="$2/lib/pkgconfig" pkg-config --cflags --libs kulve32)" || return 1
  echo "pkg-config: $flags"
  # shellcheck disable=SC2086  # the flags are words
  "$1-w64-mingw32-gcc-posix" -Wall -Werror "$consumer/reader_check.c" $flags -o "$2/reader_check.exe"
}
if [[ $windows -eq 1 ]] && command -v i686-w64-mingw32-gcc-posix >/dev/null &&
   command -v x86_64-w64-mingw32-gcc-posix >/dev/null; then
  say "Windows: install the cross builds into a prefix"
  if [[ "$windows_prebuilt" -eq 1 ]]; then
    check "Windows cross builds are there" ls "$windows_root/win32/bin/KULVE32.DLL" "$windows_root/win64/bin/KULVE32.DLL"
  else
    check "Windows cross builds are up to date" "$repo/scripts/build_windows.sh" "$windows_root"
  fi
  for pair in win32:i686 win64:x86_64; do
    arch="${pair%%:*}"
    win_prefix="$work/$arch"
    check "$arch: cmake --install --prefix" cmake --install "$windows_root/$arch" --prefix "$win_prefix"
    check "$arch: the DLL, import library, header, .pc and CMake package are there" \
      bash -c 'cd "$1" && ls bin/KULVE32.DLL lib/libKULVE32.dll.a include/kulve32.h \
                  lib/pkgconfig/kulve32.pc lib/cmake/kulve32/kulve32Config.cmake share/kulve32/kulve32.def' \
      _ "$win_prefix"
    check "$arch: a program links against the installed import library" \
      link_windows_consumer "${pair##*:}" "$win_prefix"
  done
  # The kit: what an application developer unpacks, and docs that name no
  # folder of the source tree.
  kit_holds() {
    python3 - "$1" <<'PY'
import re, sys, zipfile
kit = zipfile.ZipFile(sys.argv[1])
names = {n.split("/", 1)[1] for n in kit.namelist() if "/" in n}
wanted = ["README.md", "tools/kulve.exe", "examples/c/reader.c", "examples/c/loadlibrary.c",
          "examples/csharp/Example.cs", "python/kulve32/__init__.py", "python/pyproject.toml",
          "docs/windows.md", "docs/python.md", "docs/reader-statuses.md", "x86/KULVE32.DLL", "x64/KULVE32.DLL"]
missing = [w for w in wanted if w not in names]
leaks = [f"{n}: {line.strip()}" for n in names if n.startswith("docs/")
         for line in kit.read(kit.namelist()[0].split("/")[0] + "/" + n).decode().splitlines()
         if re.search(r"(^|[ `(])(build|scripts|tests|bindings|src|cmake)/", line) and "Generated from" not in line]
print("missing:", missing, "source-tree paths:", leaks, sep="\n")
sys.exit(1 if missing or leaks else 0)
PY
  }
  kits=("$windows_root"/KULVE32-*-windows.zip)
  check "the Windows kit holds the README, kulve.exe, the examples, the Python package and clean docs" \
    kit_holds "${kits[0]}"
else
  say "!!! SKIPPED: mingw-w64 is not installed; the Windows install was not checked"
fi

printf 'install: %d passed, %d failed\n' "$passed" "$failed"
[[ $failed -eq 0 ]]
