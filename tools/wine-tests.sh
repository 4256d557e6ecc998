#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, in a prefix made fresh for this run, then prints the
# benchmarks' figures (CTest shows a passing test's output only on failure).
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh" "$build/wineprefix"
trap corvel_end_prefix EXIT
rm -f "$build"/bench/*.figures.txt
ctest --test-dir "$build" --output-on-failure -j 4 | tee "$build/ctest-summary.log"
for figures in "$build"/bench/*.figures.txt; do
    [ -f "$figures" ] || continue
    echo
    echo "== $(basename "$figures" .figures.txt) benchmark (figures only)"
    cat "$figures"
done
# The run's closing line stays CTest's own.
echo
grep -E '^[0-9]+% tests passed' "$build/ctest-summary.log" | tail -1 || true
