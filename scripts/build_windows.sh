#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds KULVE32.DLL (32-bit and 64-bit), its import libraries and the
# Windows test programs with mingw-w64.
#
#   scripts/build_windows.sh [BUILD_ROOT]     (default: build-windows)
#
# Results: BUILD_ROOT/win32/bin/KULVE32.DLL, BUILD_ROOT/win64/bin/KULVE32.DLL,
# the test programs beside them, and the import libraries in BUILD_ROOT/*/src.
# Exit status: 0 built; 77 mingw-w64 is not installed; anything else failed.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="${1:-$repo/build-windows}"
jobs="${KULVE_JOBS:-2}"

for compiler in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
  if ! command -v "$compiler" >/dev/null; then
    echo "SKIPPED: $compiler not found (apt-get install mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix)" >&2
    exit 77
  fi
done

for pair in win32:i686 win64:x86_64; do
  dir="$root/${pair%%:*}"
  toolchain="$repo/cmake/toolchain-${pair##*:}-w64-mingw32.cmake"
  if [[ ! -f "$dir/CMakeCache.txt" ]]; then
    cmake -S "$repo" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DKULVE_BUILD_TESTS=ON -DKULVE_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$dir" -j "$jobs"
done
echo "built: $root/win32/bin/KULVE32.DLL $root/win64/bin/KULVE32.DLL"
