#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kulve --trace masks keys, PINs and codes however they are spaced; with
# --trace-secrets it shows them.
#   trace_secrets_test.sh KULVE
set -u
kulve=${1:?usage: trace_secrets_test.sh KULVE}
failures=0
# secret (as hex) | the command line after --sim --trace
cases=(
  "A1B2C3D4E5F6|mifare key A1B2C3D4E5F6 read 4"
  "ABCDEFAB|reset 0 apdu 0 0020000104ABCDEFAB"
  "ABCDEFAB|reset 0 apdu 0 --full 0020000104ABCDEFAB"
  "ACBDCE|insert 4 select 4 present ACBDCE"
)
for row in "${cases[@]}"; do
  secret=${row%%|*}
  words=${row#*|}
  # Any two secret bytes in a row, in either case, with anything but a hex digit between them.
  pattern=$(sed -E 's/(..)(..).*/\1[^0-9A-Fa-f]*\2/' <<<"$secret")
  for shown in no yes; do
    flags=(--sim --trace)
    [ $shown = yes ] && flags+=(--trace-secrets)
    # shellcheck disable=SC2086
    trace=$("$kulve" "${flags[@]}" $words 2>&1 >/dev/null)
    if grep -qiE "$pattern" <<<"$trace"; then found=yes; else found=no; fi
    if [ $found != $shown ]; then
      echo "FAIL: $words (--trace-secrets: $shown): secret found in the trace: $found"
      failures=$((failures + 1))
    fi
  done
done
[ $failures -eq 0 ] && echo "kulve --trace keeps secrets masked"
exit $((failures != 0))
