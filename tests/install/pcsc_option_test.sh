#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# KULVE_BUILD_PCSC follows pcsc-lite's presence at every configure until the
# user sets it. pkg-config is pointed at a folder of the test's own, empty
# ("not installed") or holding a stand-in libpcsclite.pc ("installed"), so
# the machine's packages play no part. Configure only: nothing is built.
#   pcsc_option_test.sh SOURCE_DIR
set -uo pipefail
source_dir="$1"
work="$(mktemp -d /tmp/kulve-pcsc-option.XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/absent" "$work/present"
cat >"$work/present/libpcsclite.pc" <<'EOF'
prefix=/usr
includedir=${prefix}/include/PCSC
usbdropdir=/usr/lib/pcsc/drivers
serialconfdir=/etc/reader.conf.d

Name: PCSC Lite
Description: stand-in for the test
Version: 1.9.9
Libs: -lpcsclite
Cflags: -I${includedir}
EOF

failed=0
# configure DIR absent|present [CMAKE ARGUMENTS...]
configure() {
  local dir="$1" pcsc="$2"
  shift 2
  PKG_CONFIG_LIBDIR="$work/$pcsc" PKG_CONFIG_PATH="" cmake -S "$source_dir" -B "$work/$dir" -G Ninja \
    -DKULVE_BUILD_TESTS=OFF -DKULVE_BUILD_BENCH=OFF -DKULVE_BUILD_TOOLS=OFF "$@" >"$work/log" 2>&1 ||
    { echo "FAILED: configure $dir with pcsc-lite $pcsc"; sed 's/^/  | /' "$work/log"; exit 1; }
}
# expect WHAT DIR ON|OFF: the cache's value, and whether the driver is built.
expect() {
  local value built=OFF
  value="$(sed -n 's/^KULVE_BUILD_PCSC:BOOL=//p' "$work/$2/CMakeCache.txt")"
  grep -q 'libkulve_ifd\.so' "$work/$2/build.ninja" && built=ON
  if [[ "$value" != "$3" || "$built" != "$3" ]]; then
    echo "FAILED: $1: KULVE_BUILD_PCSC=$value, driver built: $built; wanted $3"
    failed=1
  fi
}

configure demo absent
expect "configured before pcsc-lite is installed" demo OFF
configure demo present
expect "configured again once it is" demo ON
configure demo present -DKULVE_BUILD_PCSC=OFF
expect "the user turns it off" demo OFF
configure demo present
expect "the user's choice is kept" demo OFF
configure chosen present -DKULVE_BUILD_PCSC=OFF
configure chosen present
expect "set by the user at the first configure" chosen OFF

[[ $failed -eq 0 ]] && echo "KULVE_BUILD_PCSC follows pcsc-lite until the user sets it"
exit $failed
