#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/install-deps.sh while another apt holds the package manager's lock:
# it says so and waits, runs apt-get only once the lock is free, and gives up
# after its time. The lock is a file of the test's own, held through flock;
# apt-get is a stand-in that notes its calls, and the package asked for is
# installed nowhere. The machine's apt is never touched.
#   install_deps_test.sh INSTALL_DEPS
set -uo pipefail
unset KULVE_NO_APT KULVE_SKIP  # as scripts/test.sh sets them for its lanes
script="$1"
[[ "$(id -u)" -eq 0 ]] || { echo "install-deps test: skipped (install-deps installs only as root)"; exit 77; }
work="$(mktemp -d /tmp/kulve-deps.XXXXXX)"
holder="" runner=""
cleanup() {
  for pid in $holder $runner; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

lock="$work/lock-frontend"
cat >"$work/apt-get" <<EOF
#!/bin/sh
flock -n "$lock" true || echo "apt-get ran while the lock was held" >>"$work/calls"
echo "\$*" >>"$work/calls"
EOF
# dpkg knows no foreign architecture, and refuses to add one while the lock
# is held, as the real one does.
cat >"$work/dpkg" <<EOF
#!/bin/sh
[ "\$1" = --add-architecture ] || exit 0
flock -n "$lock" true || { echo "dpkg: error: the lock is held" >&2; exit 2; }
echo "dpkg \$*" >>"$work/calls"
EOF
chmod +x "$work/apt-get" "$work/dpkg"
export KULVE_APT_GET="$work/apt-get" KULVE_DPKG="$work/dpkg" KULVE_APT_LOCKS="$work/free-lock $lock"
touch "$work/free-lock"

failed=0
fail() { echo "FAILED: $*"; sed 's/^/  err| /' "$work/err" 2>/dev/null; sed 's/^/  apt| /' "$work/calls" 2>/dev/null; failed=1; }
# until SECONDS COMMAND...: true as soon as the command is, false after SECONDS.
until_true() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do [[ $SECONDS -lt $end ]] || return 1; sleep 0.1; done
}
hold_lock() {
  (exec 9>"$lock" && flock 9 && exec sleep 600) &
  holder=$!
  until_true 60 eval '! flock -n "$lock" true' || { echo "install-deps test: the lock was not taken"; exit 2; }
}
release_lock() { kill "$holder"; wait "$holder" 2>/dev/null; holder=""; }

# 1. Waits while the lock is held, then installs.
hold_lock
KULVE_APT_LOCK_TIMEOUT=600 "$script" --minimal kulve-test-never-installed >"$work/out" 2>"$work/err" &
runner=$!
said() { grep -q "waiting for $lock, held by process" "$work/err"; }
until_true 60 eval 'said || ! kill -0 "$runner" 2>/dev/null'
if said; then
  [[ ! -e "$work/calls" ]] || fail "apt-get ran before the lock was free"
else
  fail "no word of the wait"
fi
release_lock
wait "$runner"
status=$?
runner=""
[[ $status -eq 0 ]] || fail "exit status $status after the lock was freed"
grep -Eq '^-o DPkg::Lock::Timeout=[0-9]+ update -qq$' "$work/calls" ||
  fail "apt-get update not run, or not told to wait for the lock"
grep -Eq '^-o DPkg::Lock::Timeout=[0-9]+ install -y -qq --no-install-recommends (.* )?kulve-test-never-installed$' \
  "$work/calls" || fail "apt-get install not run, or not told to wait for the lock"
! grep -q "while the lock was held" "$work/calls" || fail "apt-get ran while the lock was held"

# 2. A foreign architecture is added once the lock is free, before apt-get
#    updates.
rm -f "$work/calls"
hold_lock
KULVE_APT_LOCK_TIMEOUT=600 "$script" --minimal --architecture i386 kulve-test-never-installed \
  >"$work/out" 2>"$work/err" &
runner=$!
until_true 60 eval 'said || ! kill -0 "$runner" 2>/dev/null'
release_lock
wait "$runner"
status=$?
runner=""
[[ $status -eq 0 ]] || fail "exit status $status with --architecture after the lock was freed"
[[ "$(head -n 2 "$work/calls" | cut -d' ' -f1-3 | tr '\n' '|')" == "dpkg --add-architecture i386|-o DPkg::Lock::Timeout="* ]] ||
  fail "the architecture was not added before apt-get update"

# 3. Gives up when the lock stays held past the time allowed.
rm -f "$work/calls"
hold_lock
KULVE_APT_LOCK_TIMEOUT=2 "$script" --minimal kulve-test-never-installed >"$work/out" 2>"$work/err"
status=$?
release_lock
[[ $status -ne 0 ]] || fail "exit status 0 although the lock was never freed"
grep -q "$lock is still held by process .* after 2 s; giving up" "$work/err" || fail "no word of giving up"
[[ ! -e "$work/calls" ]] || fail "apt-get ran although the lock was never freed"

# 4. apt loses a race for a lock, then finds its cache built for another
#    architecture: tried again, after a fresh update for the latter. An error
#    of another kind ends it at once, with apt's own words.
cat >"$work/apt-get" <<EOF
#!/bin/sh
echo "\$3" >>"$work/calls"
[ "\$3" = install ] || exit 0
case "\$(grep -c install "$work/calls")" in
  1) echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1 (apt-get)" >&2; exit 100 ;;
  2) echo "E: The package cache was built for different architectures: amd64 vs amd64,i386" >&2; exit 100 ;;
esac
case "\$*" in *kulve-test-unknown*) echo "E: Unable to locate package kulve-test-unknown" >&2; exit 100 ;; esac
EOF
rm -f "$work/calls"
KULVE_APT_LOCK_TIMEOUT=600 "$script" --minimal kulve-test-never-installed >"$work/out" 2>"$work/err" ||
  fail "lock and architecture errors not tried again"
[[ "$(tr '\n' ' ' <"$work/calls")" == "update install install update install " ]] || fail "calls not as expected"
KULVE_APT_LOCK_TIMEOUT=600 "$script" --minimal kulve-test-unknown >"$work/out" 2>"$work/err" &&
  fail "an unknown package installed"
grep -q "apt-get install failed (status 100): E: Unable to locate package kulve-test-unknown" "$work/err" ||
  fail "apt's error not named"

[[ $failed -eq 0 ]] && echo "install-deps: waits for the lock, tries apt again after a lost race, gives up after its time"
exit $failed
