#!/usr/bin/env bash
# Runs one fuzzer over its committed corpus, then for a fixed count of inputs from seed 1.
# New inputs go to a scratch folder that starts empty, so every run starts alike.
# Usage: run-fuzzer.sh <fuzzer> <corpus-dir> <scratch-dir> <runs> <max-len>
set -euo pipefail
fuzzer=$1 corpus=$2 scratch=$3 runs=$4 maxlen=$5
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"
exec "$fuzzer" -seed=1 -runs="$runs" -max_len="$maxlen" -timeout=10 -print_final_stats=1 \
    "$scratch" "$corpus"
