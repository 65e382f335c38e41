#!/bin/bash
# Installs what is missing, builds everything and runs every test.
#   scripts/test.sh            everything
# Build trees: build/native (core + unit tests), build/asan (the unit tests
# with AddressSanitizer and UndefinedBehaviorSanitizer), build/fuzz (the
# libFuzzer targets, clang, each run for TX_FUZZ_SECONDS, default 5),
# build/win64 (SetUp.exe, Win32 tests under Wine, end-to-end tests);
# TX_BUILD_ROOT names another folder for all of them. Screenshots of the
# end-to-end runs: build/win64/screenshots.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
builds=${TX_BUILD_ROOT:-$root/build}

"$root/scripts/deps.sh"

echo "== native build and unit tests"
cmake -S . -B "$builds/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$builds/native" -j "$jobs"
ctest --test-dir "$builds/native" --output-on-failure -j "$jobs"
# The model-based test's counts, for the record of every run.
grep -h '^convergence:' "$builds/native/Testing/Temporary/LastTest.log" || true

echo "== sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) and unit tests"
cmake -S . -B "$builds/asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTX_SANITIZE=ON \
  -DTX_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$builds/asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$builds/asan" --output-on-failure -j "$jobs"

echo "== fuzz targets (clang, libFuzzer): a short run of each"
FUZZ_BUILD="$builds/fuzz" "$root/scripts/fuzz-long.sh" "${TX_FUZZ_SECONDS:-5}"

echo "== Windows build (MinGW-w64), Win32 tests under Wine, end-to-end tests"
cmake -S . -B "$builds/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake >/dev/null
cmake --build "$builds/win64" -j "$jobs"
rm -rf "$builds/win64/screenshots"
status=0
ctest --test-dir "$builds/win64" --output-on-failure -j 2 || status=$?

if [ -d "$builds/win64/screenshots" ]; then
  echo "== screenshots"
  ls -1 "$builds/win64/screenshots"/*.png 2>/dev/null || true
fi
exit $status
