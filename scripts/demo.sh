#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library, the command-line tool, the simulator and their man
# pages in build/release (everything the README's examples use), then runs the
# narrated demo against the built-in reader simulator (no hardware needed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target kulve32 kulve kulvesim kulve_man_pages
exec build/release/tools/kulve demo
