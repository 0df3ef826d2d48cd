#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kulve --trace shows no byte of a key, PIN or code, in the trace or in the
# tool's own output; --trace-secrets shows them.
#   trace_secrets_test.sh KULVE
set -u
kulve=${1:?usage: trace_secrets_test.sh KULVE}
failures=0
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '00 20 00 01 04 A7 C9 E3 5B\n00 2C 00 01 04 A7 C9 E3 5B = XXXX\n' >"$dir/pin.apdu"
# secret (as hex) | the command line after --sim --trace
cases=(
  "A1B2C3D4E5F6|mifare key A1B2C3D4E5F6 read 4"
  "A1B2C3D4E5F6B3D5E7C7C1D2|mifare write 7 A1B2C3D4E5F6FF078069B3D5E7C7C1D2"
  "A7C9E35B|reset 0 apdu 0 0020000104A7C9E35B"
  "A7C9E35B|reset 0 apdu 0 --full 0020000104A7C9E35B"
  "A7C9E35BD1B3|reset 0 apdu 0 --full 002C000106A7C9E35BD1B3"
  "A7C9E35B|reset 0 apdu 0 --full 00200001000004A7C9E35B"
  "A7C9E35B|reset 0 apdu --script $dir/pin.apdu"
  "A7C9D1|insert 4 select 4 power on present A7C9D1"
  "A7C9|insert 0 select 0 power on present FFFF newcode A7C9 read 18 0 0 16 secret"
  "A7C9|insert 15 select 15 power on present FFFF newcode A7C9 read 18 0 0 16 mread 0 16"
  "A7C9E3|insert 2 select 2 power on present FFFFFF newcode A7C9E3 read 2 0 0 4"
)
for row in "${cases[@]}"; do
  secret=${row%%|*}
  words=${row#*|}
  for shown in no yes; do
    flags=(--sim --trace)
    [ $shown = yes ] && flags+=(--trace-secrets)
    # shellcheck disable=SC2086
    output=$("$kulve" "${flags[@]}" $words 2>&1)
    # Every byte of the secret, alone, as a hex token of the trace or the output.
    found=0
    for ((i = 0; i < ${#secret}; i += 2)); do
      grep -qiE "(^|[ *([])${secret:i:2}( |$|[]),.;:])" <<<"$output" && found=$((found + 1))
    done
    if { [ $shown = no ] && [ $found -ne 0 ]; } || { [ $shown = yes ] && [ $found -ne $((${#secret} / 2)) ]; }; then
      echo "FAIL: $words (--trace-secrets: $shown): $found of the secret's bytes found"
      failures=$((failures + 1))
    fi
  done
done
[ $failures -eq 0 ] && echo "kulve keeps secrets masked in the trace and in its own output"
exit $((failures != 0))
