#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds KULVE32.DLL (32-bit and 64-bit), its import libraries and the
# Windows test programs with mingw-w64.
#
#   scripts/build_windows.sh [BUILD_ROOT]     (default: build/windows)
#
# Results: BUILD_ROOT/win32/bin/KULVE32.DLL, BUILD_ROOT/win64/bin/KULVE32.DLL,
# the test programs beside them, the import libraries in BUILD_ROOT/*/src
# (libKULVE32.dll.a for mingw-w64, KULVE32.lib and its KULVE32.def for
# Microsoft's tools), and the kit for application developers:
# BUILD_ROOT/KULVE32-<version>-windows.zip (a README, both DLLs, all import
# libraries and .def files, the header, the .NET, Delphi and VB6
# declarations, the C and C# examples as sources, the Python package, the
# tool kulve.exe (32-bit) and the docs, without the source tree's sections).
# KULVE32.lib needs llvm-dlltool (Debian: llvm-14).
# Exit status: 0 built; 77 mingw-w64 is not installed; anything else failed.
set -euo pipefail

usage() {
  cat <<EOF
usage: $0 [BUILD_ROOT]

Cross-builds KULVE32.DLL (32-bit and 64-bit), its import libraries, kulve.exe,
the Windows test programs and the kit for application developers with
mingw-w64, in BUILD_ROOT (default: build/windows):
  BUILD_ROOT/win32/bin/KULVE32.DLL, BUILD_ROOT/win64/bin/KULVE32.DLL
  BUILD_ROOT/*/src/libKULVE32.dll.a, KULVE32.lib, KULVE32.def
  BUILD_ROOT/KULVE32-<version>-windows.zip
Needs mingw-w64, g++-mingw-w64-i686-posix and g++-mingw-w64-x86-64-posix
(Debian), and llvm-14 for KULVE32.lib. KULVE_JOBS: parallel jobs (default 2).
Exit status: 0 built; 77 mingw-w64 is not installed; anything else failed.
EOF
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[[ $# -le 1 ]] || { usage >&2; exit 2; }

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="${1:-$repo/build/windows}"
mkdir -p "$root" && root="$(cd "$root" && pwd)"
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
      -DCMAKE_BUILD_TYPE=Release -DKULVE_BUILD_TESTS=ON -DKULVE_BUILD_BENCH=OFF -DKULVE_WERROR=ON >/dev/null
  fi
  cmake --build "$dir" -j "$jobs"
done
echo "built: $root/win32/bin/KULVE32.DLL $root/win64/bin/KULVE32.DLL"

# ---- The kit ----------------------------------------------------------------
version="$(sed -n 's/^project(kulve32 VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")"
kit_name="KULVE32-$version-windows"
kit="$root/kit/$kit_name"
rm -rf "$root/kit"
mkdir -p "$kit/include" "$kit/declarations" "$kit/docs" "$kit/x86" "$kit/x64" "$kit/tools" \
  "$kit/examples/c" "$kit/examples/csharp" "$kit/python"
for pair in win32:x86 win64:x64; do
  dir="$root/${pair%%:*}"
  arch="${pair##*:}"
  cp "$dir/bin/KULVE32.DLL" "$dir/src/libKULVE32.dll.a" "$kit/$arch/"
  if [[ -f "$dir/src/KULVE32.lib" ]]; then
    cp "$dir/src/KULVE32.lib" "$dir/src/KULVE32.def" "$kit/$arch/"
  else
    echo "WARNING: no $arch KULVE32.lib (llvm-dlltool missing?): the kit has no import library for Microsoft's tools" >&2
  fi
done
cp "$repo/include/kulve32.h" "$kit/include/"
cp "$repo/src/exports/kulve32.def" "$repo/LICENSE" "$kit/"
cp "$repo/packaging/windows-kit/README.md" "$kit/"
cp "$root/win32/bin/kulve.exe" "$kit/tools/"
# The docs without their source-tree sections (building, testing, adding to
# the library), which name folders the kit does not have.
for doc in windows.md python.md reader-statuses.md; do
  awk '/^<!-- source tree -->$/ { skip = 1; next } /^<!-- \/source tree -->$/ { skip = 0; next } !skip' \
    "$repo/docs/$doc" >"$kit/docs/$doc"
done
# The C examples are the listings of windows.md that open with their name.
awk '/^```c$/ { getline first; if (match(first, /^\/\* [a-z_]+\.c:/)) { name = substr(first, 4, RLENGTH - 4); out = dir "/" name; print first > out; copying = 1 } next }
     /^```$/ && copying { close(out); copying = 0; next }
     copying { print > out }' dir="$kit/examples/c" "$repo/docs/windows.md"
cp "$repo/bindings/dotnet/example/Example.cs" "$repo/bindings/dotnet/example/Example.exe.config" "$kit/examples/csharp/"
cp -r "$repo/python/kulve32" "$repo/python/README.md" "$repo/python/pyproject.toml" "$kit/python/"
find "$kit/python" -name __pycache__ -prune -exec rm -rf {} + -o -name 'libkulve32.so*' -exec rm -f {} +
cp "$repo/bindings/dotnet/Kulve32.cs" "$kit/declarations/"
python="$(command -v python3 || true)"
if [[ -n "$python" ]]; then
  "$python" "$repo/scripts/declare_snippets.py" --pas "$kit/declarations/KULVE32.pas" \
    --bas "$kit/declarations/KULVE32.bas"
else
  echo "WARNING: python3 missing: the kit has no Delphi or VB6 declarations" >&2
fi
rm -f "$root/$kit_name.zip"
(cd "$root/kit" && cmake -E tar cf "$root/$kit_name.zip" --format=zip "$kit_name")
echo "kit: $root/$kit_name.zip"
