#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# "kulve ports": the whole port map with where each entry came from, from a
# configuration file and KULVE32_PORTS given here (never the machine's own).
#   kulve_ports_test.sh KULVE
set -uo pipefail
kulve="$1"
work="$(mktemp -d /tmp/kulve-ports.XXXXXX)"
trap 'rm -rf "$work"' EXIT
printf '\xEF\xBB\xBF# test map\r\n[ports]\r\n1 = /dev/ttyUSB0\r\n0=/dev/beaten\r\nno equals sign\r\n' >"$work/kulve32.conf"

# name | KULVE32_CONFIG | KULVE32_PORTS | regular expression for one line of standard output, or stderr: ...
cases='
file entry with its line         | FILE | -                                | ^1	/dev/ttyUSB0	.*/kulve32.conf line 3$
the variable beats the file      | FILE | 0=rfc2217://127.0.0.1:4001       | ^0	rfc2217://127.0.0.1:4001	KULVE32_PORTS$
an index nobody names            | FILE | -                                | ^9	/dev/ttyS9	default$
a skipped line is named          | FILE | -                                | stderr: ^kulve: port map: .*line 5: "no equals sign" is not index=path; skipped$
no file at all                   | -    | -                                | ^0	/dev/ttyS0	default$
'
trim() { local s="$1"; s="${s#"${s%%[![:space:]]*}"}"; printf '%s' "${s%"${s##*[![:space:]]}"}"; }
passed=0 failed=0
while IFS='|' read -r name config ports want; do
  name="$(trim "$name")"
  [[ -n "$name" ]] || continue
  config="$(trim "$config")" ports="$(trim "$ports")" want="$(trim "$want")"
  [[ "$config" == FILE ]] && config="$work/kulve32.conf"
  [[ "$config" == - ]] && config=""
  if [[ "$ports" == - ]]; then
    KULVE32_CONFIG="$config" env -u KULVE32_PORTS "$kulve" ports >"$work/out" 2>"$work/err"
  else
    KULVE32_CONFIG="$config" KULVE32_PORTS="$ports" "$kulve" ports >"$work/out" 2>"$work/err"
  fi
  status=$?
  file="$work/out"
  if [[ "$want" == stderr:* ]]; then file="$work/err" want="$(trim "${want#stderr:}")"; fi
  if [[ $status -eq 0 && $(wc -l <"$work/out") -eq 10 ]] && grep -Eq -- "$want" "$file"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name (exit status $status)"
    sed 's/^/  out| /' "$work/out"
    sed 's/^/  err| /' "$work/err"
  fi
done <<<"$cases"
echo "kulve ports: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
