#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python lane: the package's type hints under mypy --strict (Debian's
# mypy), the documentation's Python examples under mypy --strict as written
# (scripts/doc_examples.py), then the tests with pytest against the library
# and the simulator (they run the examples too).
#
#   scripts/python_lane.sh [--lib PATH] [--sim PATH]
#
#   --lib PATH  libkulve32.so (default build/release/src/libkulve32.so)
#   --sim PATH  kulvesim (default build/release/sim/kulvesim)
#
# Exit status: 0 all passed; 1 one failed.
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
lib="$repo/build/release/src/libkulve32.so"
sim="$repo/build/release/sim/kulvesim"
while [[ $# -gt 0 ]]; do
  case "$1" in
    --lib) lib="$2"; shift 2 ;;
    --sim) sim="$2"; shift 2 ;;
    *) echo "usage: $0 [--lib PATH] [--sim PATH]" >&2; exit 2 ;;
  esac
done

(cd "$repo/python" && mypy --strict --cache-dir "$repo/build/mypy-cache" kulve32) ||
  { echo "Python lane: FAILED: mypy --strict"; exit 1; }
/usr/bin/python3 "$repo/scripts/doc_examples.py" check --mypy-cache "$repo/build/mypy-cache-examples" ||
  { echo "Python lane: FAILED: mypy --strict over the documentation's examples"; exit 1; }
KULVE32_LIBRARY="$lib" KULVESIM="$sim" /usr/bin/python3 -m pytest -q -p no:cacheprovider "$repo/python/tests" ||
  { echo "Python lane: FAILED: pytest"; exit 1; }
echo "Python lane: passed"
