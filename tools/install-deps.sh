#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine.
set -euo pipefail
packages=(
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev googletest
    mingw-w64 wine wine64 xvfb xauth x11-apps imagemagick fonts-ipafont-gothic fonts-wine
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
