#!/bin/bash
# Installs what is missing, builds everything and runs every test.
#   scripts/test.sh            everything
# Build trees: build/native (core + unit tests), build/win64 (SetUp.exe,
# Win32 tests under Wine, end-to-end tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

"$root/scripts/deps.sh"

echo "== native build and unit tests"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"
ctest --test-dir build/native --output-on-failure -j "$jobs"

echo "== Windows build (MinGW-w64), Win32 tests under Wine, end-to-end tests"
cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake >/dev/null
cmake --build build/win64 -j "$jobs"
ctest --test-dir build/win64 --output-on-failure -j 2
