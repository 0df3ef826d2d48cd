#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build and the tests need, when run as root
# and something is missing. As another user it only reports what is missing.
#   scripts/install-deps.sh [--minimal] [PACKAGE...]
# --minimal: only the compilers and build tools (no test or benchmark
# libraries), for builds without tests; PACKAGEs are wanted as well.
set -euo pipefail

packages=(cmake ninja-build g++)
if [ "${1:-}" = "--minimal" ]; then
  shift
else
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev libssl-dev pkg-config)
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" == *'install ok installed'* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "install-deps: missing packages (install them as root): ${missing[*]}" >&2
  exit 1
fi
