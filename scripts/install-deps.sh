#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build and the tests need, when run as root
# and something is missing. As another user it only reports what is missing.
#   scripts/install-deps.sh [--minimal] [--architecture ARCH] [PACKAGE...]
# --minimal: only the compilers and build tools (no test or benchmark
# libraries), for builds without tests; PACKAGEs are wanted as well.
# --architecture ARCH: a foreign architecture (e.g. i386) that PACKAGEs such
# as wine32:i386 need, added to dpkg first when it is missing.
#
# When another apt or dpkg holds the package manager's locks (unattended
# upgrades do so for minutes after a fresh machine boots), it waits for them,
# saying so, up to KULVE_APT_LOCK_TIMEOUT seconds (default 900). apt can still
# lose a race for a lock after the wait, or find its package cache built for
# other architectures when another apt has just added one: apt-get is then run
# again (after a fresh update for the latter) while time is left. Any other
# failure ends it at once, with apt's own error.
# KULVE_NO_APT=1 (scripts/test.sh sets it for the lanes, having installed
# everything itself) only reports what is missing, as for another user.
# The tests point KULVE_APT_LOCKS (the lock files, space-separated),
# KULVE_APT_GET (the apt-get command), KULVE_DPKG (dpkg, for the
# architectures) and KULVE_DPKG_QUERY (what is installed) at their own, never
# at the machine's.
set -euo pipefail

packages=(cmake ninja-build g++)
minimal=0
architecture=""
while [ $# -gt 0 ]; do
  case "$1" in
    --minimal) minimal=1; shift ;;
    --architecture) architecture="${2:?--architecture needs a value}"; shift 2 ;;
    *) break ;;
  esac
done
[ "$minimal" -eq 1 ] || packages+=(libgtest-dev libgmock-dev libbenchmark-dev libssl-dev pkg-config)
packages+=("$@")
read -r -a dpkg <<<"${KULVE_DPKG:-dpkg}"
read -r -a dpkg_query <<<"${KULVE_DPKG_QUERY:-dpkg-query}"
if [ -n "$architecture" ] && [[ " $("${dpkg[@]}" --print-foreign-architectures | tr '\n' ' ') " != *" $architecture "* ]]; then
  add_architecture=1
else
  add_architecture=0
fi

missing=()
for p in "${packages[@]}"; do
  [[ "$("${dpkg_query[@]}" -W -f='${Status}' "$p" 2>/dev/null)" == *'install ok installed'* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

read -r -a apt_get <<<"${KULVE_APT_GET:-apt-get}"
read -r -a lock_files <<<"${KULVE_APT_LOCKS:-/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock /var/cache/apt/archives/lock}"
lock_timeout="${KULVE_APT_LOCK_TIMEOUT:-900}"
[[ "$lock_timeout" =~ ^[0-9]+$ ]] || { echo "install-deps: KULVE_APT_LOCK_TIMEOUT is not a number of seconds" >&2; exit 2; }

# The process holding a lock of any kind (fcntl as apt and dpkg take them,
# or flock) on FILE, from /proc/locks; nothing when it is free.
lock_holder() {
  local dev ino major minor
  read -r dev ino < <(stat -L -c '%d %i' "$1" 2>/dev/null) || return 0
  major=$(((dev >> 8 & 0xfff) | (dev >> 32 & ~0xfff)))
  minor=$(((dev & 0xff) | (dev >> 12 & ~0xff)))
  awk -v id="$(printf '%02x:%02x:%d' "$major" "$minor" "$ino")" \
    '$2 != "->" && $6 == id { print $5; exit }' /proc/locks 2>/dev/null || true
}

# Waits until every lock file is free, with a line when the wait begins and
# every 30 s of it; fails after lock_timeout seconds in all.
wait_for_locks() {
  local file holder said=-30 name
  while :; do
    holder=""
    for file in "${lock_files[@]}"; do
      holder="$(lock_holder "$file")"
      [ -n "$holder" ] && break
    done
    [ -z "$holder" ] && return 0
    if [ "$SECONDS" -ge "$lock_timeout" ]; then
      echo "install-deps: $file is still held by process $holder after ${lock_timeout} s; giving up" >&2
      return 1
    fi
    if [ $((SECONDS - said)) -ge 30 ]; then
      name="$(cat "/proc/$holder/comm" 2>/dev/null || true)"
      echo "install-deps: waiting for $file, held by process $holder${name:+ ($name)}" \
        "(another apt or dpkg at work; up to ${lock_timeout} s in all)" >&2
      said=$SECONDS
    fi
    sleep 1
  done
}

# apt-get, after the locks are free, and told to wait for them itself for the
# time that is left. Another apt may still take a lock first (apt waits only
# for dpkg's, not for the lists' or the archives'), or add an architecture so
# that the package cache no longer matches: both are tried again while time is
# left, the latter after a fresh update. Any other error is apt's to tell:
# its messages are shown, and its last error line closes the failure.
apt_errors="$(mktemp /tmp/kulve-apt.XXXXXX)"
trap 'rm -f "$apt_errors"' EXIT
lock_error='Could not get lock|Unable to lock|Unable to acquire the dpkg frontend lock|is another process using it|Could not open lock file'
arch_error='cache was built for different architectures'
run_apt_get() {
  local status attempt=0
  while :; do
    attempt=$((attempt + 1))
    wait_for_locks || return 1
    status=0
    "${apt_get[@]}" -o DPkg::Lock::Timeout=$((lock_timeout > SECONDS ? lock_timeout - SECONDS : 1)) "$@" \
      2>"$apt_errors" || status=$?
    cat "$apt_errors" >&2
    [ "$status" -eq 0 ] && return 0
    if [ "$SECONDS" -lt "$lock_timeout" ] && [ "$attempt" -lt 30 ]; then
      if grep -Eq "$arch_error" "$apt_errors"; then
        echo "install-deps: apt's package cache is for other architectures (another apt added one): updating again" >&2
        [ "$1" = update ] || "${apt_get[@]}" -o DPkg::Lock::Timeout=$((lock_timeout > SECONDS ? lock_timeout - SECONDS : 1)) \
          update -qq 2>"$apt_errors" || true
        sleep 1
        continue
      fi
      if grep -Eq "$lock_error" "$apt_errors"; then
        echo "install-deps: another apt or dpkg took a lock first: trying again" >&2
        sleep 1
        continue
      fi
    fi
    echo "install-deps: apt-get $1 failed (status $status): $(grep -E '^(E|Err):' "$apt_errors" | tail -n 1 ||
      tail -n 1 "$apt_errors")" >&2
    return 1
  done
}

# dpkg --add-architecture takes dpkg's lock but does not wait for it: it is
# tried again, after the locks are free, while time is left.
add_foreign_architecture() {
  until "${dpkg[@]}" --add-architecture "$architecture"; do
    [ "$SECONDS" -lt "$lock_timeout" ] || return 1
    wait_for_locks || return 1
    sleep 1
  done
}

if [ -n "${KULVE_NO_APT:-}" ]; then
  echo "install-deps: missing packages (not installed here: KULVE_NO_APT is set): ${missing[*]}" >&2
  exit 1
elif [ "$(id -u)" -eq 0 ] && command -v "${apt_get[0]}" >/dev/null; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SECONDS=0
  if [ "$add_architecture" -eq 1 ]; then
    echo "install-deps: adding the architecture $architecture"
    wait_for_locks && add_foreign_architecture || exit 1
  fi
  run_apt_get update -qq || exit 1
  run_apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || exit 1
else
  echo "install-deps: missing packages (install them as root): ${missing[*]}" >&2
  exit 1
fi
