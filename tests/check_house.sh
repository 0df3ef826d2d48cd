#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The layering of src/, read from the #include lines:
#   - link/ (transport, framing, trace, link errors) includes nothing above it:
#     no family, no device/, no handle/, no DES;
#   - results/ and text/ include nothing of the library but themselves;
#   - DES includes no link code;
#   - a family includes no other family;
#   - the exports hold no logic beyond forwarding: no branch, loop or test.
#   check_house.sh SRC_DIR
set -uo pipefail
src=${1:?usage: check_house.sh SRC_DIR}
families="at1608 attendance cpucard housekeeping memcard mifare rf5550"
problems=0

includes() {  # the quoted includes of the files under a folder: "file:line:target"
  grep -rnoE '^#include "[^"]+"' "$src/$1" | sed -E 's/#include "([^"]+)"/\1/'
}

# Each folder and the folders its files may include, besides the public header.
check() {
  local folder=$1 allowed=$2
  while IFS= read -r hit; do
    local target=${hit##*:}
    local top=${target%%/*}
    [ "$target" = kulve32.h ] && continue
    case " $allowed " in *" $top "*) continue ;; esac
    echo "$hit: $folder/ may include only $allowed"
    problems=$((problems + 1))
  done < <(includes "$folder")
}

check link "link results text"
check results "results"
check text "text"
check des "des results"
check device "device link results"
for family in $families; do
  check "$family" "$family device link results text"
done

# Exports: one-line forwarders.
while IFS= read -r hit; do
  echo "$hit: logic in an export (exports only forward their arguments)"
  problems=$((problems + 1))
done < <(grep -nE '\b(if|for|while|switch|do)\b|\?' "$src"/exports/*.cpp | grep -vE ':[0-9]+:\s*//')

if [ "$problems" -ne 0 ]; then
  echo "house rules: $problems problem(s)"
  exit 1
fi
echo "house rules hold"
