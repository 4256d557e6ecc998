#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, in a prefix made fresh for this run.
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh" "$build/wineprefix"
trap corvel_end_prefix EXIT
ctest --test-dir "$build" --output-on-failure -j 4
