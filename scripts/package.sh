#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages libkulve32-1, libkulve32-dev, kulve-tools and
# kulve-pcsc.
#
#   scripts/package.sh [OUTDIR]        (default: build/packages)
#
# A release build for the prefix /usr without tests, benchmarks or -Werror, in
# build/package; CPack writes the .deb files into OUTDIR and this prints their
# paths. Installs what it needs with apt-get when run as root.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(realpath -m "${1:-$repo/build/packages}")"
build="$repo/build/package"
jobs="${KULVE_JOBS:-$(nproc)}"

# dpkg-shlibdeps (dpkg-dev) and file work out the packages' dependencies;
# with pcsc-lite's development files the PC/SC driver's package is built too.
"$repo/scripts/install-deps.sh" --minimal dpkg-dev file gzip pkg-config libpcsclite-dev

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKULVE_BUILD_TESTS=OFF -DKULVE_BUILD_BENCH=OFF -DKULVE_WERROR=OFF >/dev/null
cmake --build "$build" -j "$jobs"

mkdir -p "$out"
rm -f "$out"/*.deb
(cd "$build" && cpack -G DEB -B "$out") >"$build/cpack.log" 2>&1 ||
  { cat "$build/cpack.log" >&2; echo "package: cpack failed" >&2; exit 1; }
rm -rf "$out/_CPack_Packages"
ls -1 "$out"/*.deb
