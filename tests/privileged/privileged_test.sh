#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The library in a privileged process: a setgid copy of a small program
# (AT_SECURE set by the kernel) takes no KULVE32_* variable, XDG_CONFIG_HOME
# or HOME, while the plain program does. Needs root (or a second group of
# one's own) to make the copy; skipped otherwise.
#   privileged_test.sh PROBE
set -u
probe=${1:?usage: privileged_test.sh PROBE}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chmod 755 "$dir"
cp "$probe" "$dir/plain"
cp "$probe" "$dir/setgid"
group=$(id -G | tr ' ' '\n' | grep -vx "$(id -g)" | head -n1)
[ "$(id -u)" = 0 ] && group=nogroup
if [ -z "$group" ] || ! chgrp "$group" "$dir/setgid" 2>/dev/null || ! chmod g+s "$dir/setgid"; then
  echo "cannot make a setgid copy here: skipped"
  exit 77
fi
mkdir -p "$dir/xdg" "$dir/home/.config"
echo "1=/kulve-test/from-xdg" > "$dir/xdg/kulve32.conf"
echo "2=/kulve-test/from-home" > "$dir/home/.config/kulve32.conf"
echo "3=/kulve-test/from-config" > "$dir/config"
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}
# run PROGRAM VARIABLE=VALUE...: the probe's output, with the variables as the only environment
run() {
  local program=$1
  shift
  env -i PATH=/usr/bin:/bin "$@" "$dir/$program" 2>"$dir/stderr"
}
for program in plain setgid; do
  rm -f "$dir/trace.log"
  out=$(run $program KULVE32_CONFIG="$dir/config" KULVE32_PORTS="0=/kulve-test/from-ports" KULVE32_TRACE=1 \
        KULVE32_TRACE_FILE="$dir/trace.log" KULVE32_TRACE_SECRETS=1)
  xdg=$(run $program XDG_CONFIG_HOME="$dir/xdg" HOME="$dir/home")
  home=$(run $program HOME="$dir/home")
  if [ $program = plain ]; then
    check "KULVE32_PORTS" "port 0 /kulve-test/from-ports" "$(grep '^port 0' <<<"$out")"
    check "KULVE32_CONFIG" "port 3 /kulve-test/from-config" "$(grep '^port 3' <<<"$out")"
    check "XDG_CONFIG_HOME" "port 1 /kulve-test/from-xdg" "$(grep '^port 1' <<<"$xdg")"
    check "HOME" "port 2 /kulve-test/from-home" "$(grep '^port 2' <<<"$home")"
    check "KULVE32_TRACE_FILE written" yes "$([ -s "$dir/trace.log" ] && echo yes)"
    check "KULVE32_TRACE_SECRETS" yes "$(grep -q 'secrets shown' "$dir/trace.log" && echo yes)"
  else
    check "privileged: no path from the environment or a user's file" "" \
      "$(grep -h kulve-test <<<"$out$xdg$home")"
    check "privileged: no trace file" no "$([ -e "$dir/trace.log" ] && echo yes || echo no)"
    check "privileged: no trace at all" "" "$(grep kulve32: "$dir/stderr")"
  fi
done
[ $failures -eq 0 ] && echo "privileged processes ignore the environment"
exit $((failures != 0))
