#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/test.sh's package step (--install-only) with a package apt cannot
# install: the lane needing it fails the run, naming the package and apt's
# error, unless KULVE_SKIP names the lane, which the table then lists as
# skipped. apt-get, dpkg and dpkg-query are stand-ins: nothing is installed.
#   test_sh_lanes_test.sh TEST_SH
set -uo pipefail
unset KULVE_NO_APT KULVE_SKIP  # as scripts/test.sh sets them for its lanes
script="$1"
[[ "$(id -u)" -eq 0 ]] || { echo "test.sh lanes test: skipped (packages are installed only as root)"; exit 77; }
work="$(mktemp -d /tmp/kulve-lanes.XXXXXX)"
trap 'rm -rf "$work"' EXIT
# Everything is installed but pcscd, which apt does not know.
cat >"$work/dpkg-query" <<'EOF2'
#!/bin/sh
for p; do :; done
[ "$p" = pcscd ] || echo 'install ok installed'
EOF2
cat >"$work/apt-get" <<'EOF2'
#!/bin/sh
case " $* " in *" pcscd "*) echo "E: Unable to locate package pcscd" >&2; exit 100 ;; esac
EOF2
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$work/dpkg"
chmod +x "$work"/*
touch "$work/lock"
export KULVE_APT_GET="$work/apt-get" KULVE_DPKG="$work/dpkg" KULVE_DPKG_QUERY="$work/dpkg-query" \
  KULVE_APT_LOCKS="$work/lock"

failed=0
fail() { echo "FAILED: $*"; sed 's/^/  | /' "$work/out"; failed=1; }
env -u KULVE_SKIP "$script" --install-only >"$work/out" 2>&1 && fail "the run passed without pcscd"
grep -Eq '^pcsc +FAILED .*pcscd.*E: Unable to locate package pcscd' "$work/out" || fail "pcsc not failed with apt's error"
grep -Eq '^dotnet +not run' "$work/out" || fail "dotnet not listed as not run"
tail -n 1 "$work/out" | grep -Eq '^0 passed, 1 failed$' || fail "no closing count"

KULVE_SKIP=dotnet,pcsc "$script" --install-only >"$work/out" 2>&1 || fail "the run failed with pcsc skipped"
grep -Eq '^pcsc +skipped .*KULVE_SKIP' "$work/out" || fail "pcsc not listed as skipped"

KULVE_SKIP=pcsc,nosuch "$script" --install-only >"$work/out" 2>&1
[[ $? -eq 2 ]] && grep -q "no lane named 'nosuch'" "$work/out" || fail "an unknown lane name accepted"
[[ $failed -eq 0 ]] && echo "test.sh: a lane that cannot install fails the run unless skipped by name"
exit $failed
