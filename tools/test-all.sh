#!/usr/bin/env bash
# Installs what is needed, builds the native, fuzz and Windows builds, and runs every test:
# the native ones under the sanitizers, the fuzzers with a fixed seed, the Windows ones under
# Wine in a fresh prefix.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash tools/install-deps.sh
jobs=$(nproc)

# One layout for all C++ sources (.clang-format at the root).
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug
cmake --build build/native -j "$jobs"
ctest --test-dir build/native --output-on-failure -j "$jobs"

# The parsers of everything a peer or a file can send, under libFuzzer with a fixed seed.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEL_FUZZ=ON
cmake --build build/fuzz -j "$jobs"
ctest --test-dir build/fuzz --output-on-failure -j "$jobs"

cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"
cmake --build build/windows -j "$jobs"
xvfb-run -a -s "-screen 0 1280x1024x24" bash tools/wine-tests.sh build/windows
