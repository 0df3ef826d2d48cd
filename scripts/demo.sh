#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library and the command-line tool, then runs the narrated demo
# against the built-in reader simulator (no hardware needed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target kulve
exec build/release/tools/kulve demo
