#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Linux shared library exports exactly the names of the module-definition
# file: nothing missing, nothing extra (no C++ internals, no runtime symbols).
#   check_so_exports.sh LIBRARY DEF_FILE
set -euo pipefail
lib=$1 def=$2
expected=$(sed -nE 's/^[[:space:]]+([A-Za-z_][A-Za-z0-9_]*)([[:space:]]+@[0-9]+)?[[:space:]]*$/\1/p' "$def" | sort)
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtDdBbRrWwVvi]$/ {print $3}' | sed 's/@.*//' | sort)
if [ "$expected" != "$actual" ]; then
  echo "exports of $lib differ from $def:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$(echo "$actual" | wc -l) exports, exactly the listed ones"
