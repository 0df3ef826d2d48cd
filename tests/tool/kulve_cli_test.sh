#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The kulve tool's contract with scripts: exit status, data on standard output
# and status on standard error, and a wrong word anywhere on the line refused
# before anything is sent.
#   kulve_cli_test.sh KULVE
# Only --sim (a pty) and a path that does not exist are ever opened.
set -uo pipefail
kulve="$1"
work="$(mktemp -d /tmp/kulve-cli.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# name | exit status | standard output | standard error | arguments
# An output is "-" for empty, else an extended regular expression that some
# line must match. Every exit status 2 also means: nothing on standard output
# and nothing sent (no "ok" line, no frame traced).
cases='
a bad word after good ones    |2| - | ^kulve: write: the data must be hex bytes, not "ZZ"$        | --sim --trace select 2 write 18 0 64 ZZ
a number out of range         |2| - | ^kulve: select: the card type must be a number from 0 to 255 | --sim select 999
a span past the card          |2| - | ^kulve: read: page \* 256 \+ offset \+ count must not pass    | --sim select 1 read 18 0 65530 10
a paged span past the card    |2| - | ^kulve: mwrite: address \+ count must not pass               | --sim mwrite 17301503 0102
too few words                 |2| - | ^kulve: alarm takes: MODE A B C$                             | --sim --trace select 1 alarm 1 2
an unknown command            |2| - | ^kulve: unknown command frobnicate                          | --sim --trace devno frobnicate
an option without its value   |2| - | ^kulve: --port needs a value                                 | --port
no reader named               |2| - | ^kulve: say which reader                                     | devno
no command                    |2| - | ^usage: kulve                                                |
data out, status err          |0| ^DE AD BE EF$ | ^read: ok$                                   | --sim insert 1 select 1 power on write 18 0 64 DEADBEEF read 18 0 64 4
quiet keeps the data only     |0| ^DE AD BE EF$ | -                                            | --quiet --sim insert 1 select 1 power on write 18 0 64 DEADBEEF read 18 0 64 4
a refusal stops the line      |1| - | ^present code: not available for the selected card type | --sim insert 1 select 1 power on present 1234 devno
a port that does not exist    |1| - | ^kulve: cannot link: open /nonexistent/kulve-cli-test: No such file | --port /nonexistent/kulve-cli-test devno
no reader needed for DES      |0| ^3F A4 0E 8A 98 4D 48 15$ | -                                | des enc --key 0123456789ABCDEF 4E6F772069732074
help on standard output       |0| ^exit status:$ | -                                            | --help
short help                    |0| ^usage: kulve  | -                                            | -h
full mode, T=1 CPU card       |0| ^6F 17 84 07 F0 4B 55 4C 56 45 31 | -                       | --quiet --sim apdu 0 --full 00A4040007F04B554C56453100
full mode, T=0 SAM: no 61xx   |0| ^SW 9000: Success$ | -                                      | --quiet --sim apdu 1 --full 00A4040007F04B554C564531
version with DLLVER           |0| ^kulve [0-9.]+, library [0-9.]+ \(DLLVER 7321\)$ | -          | --version
'

trim() { local s="$1"; s="${s#"${s%%[![:space:]]*}"}"; printf '%s' "${s%"${s##*[![:space:]]}"}"; }
# matches FILE PATTERN: "-" = the file is empty, else some line matches PATTERN.
matches() {
  if [[ "$2" == "-" ]]; then [[ ! -s "$1" ]]; else grep -Eq -- "$2" "$1"; fi
}

passed=0 failed=0
while IFS='|' read -r name want_status want_out want_err args; do
  name="$(trim "$name")"
  [[ -n "$name" ]] || continue
  want_status="$(trim "$want_status")" want_out="$(trim "$want_out")" want_err="$(trim "$want_err")"
  # shellcheck disable=SC2086  # the arguments are words
  "$kulve" $args >"$work/out" 2>"$work/err"
  status=$?
  why=""
  [[ $status -eq $want_status ]] || why+=" exit status $status, not $want_status;"
  matches "$work/out" "$want_out" || why+=" standard output does not match $want_out;"
  matches "$work/err" "$want_err" || why+=" standard error does not match $want_err;"
  if [[ $want_status -eq 2 ]] && grep -Eq ': ok$|\[reader\]' "$work/err"; then
    why+=" something was sent before the line was refused;"
  fi
  if [[ -z "$why" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name:$why"
    echo "  kulve $args"
    sed 's/^/  out| /' "$work/out"
    sed 's/^/  err| /' "$work/err"
  fi
done <<<"$cases"

echo "kulve: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
