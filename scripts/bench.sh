#!/bin/bash
# The installer's figures in one command:
#   scripts/bench.sh
# - detection and the trusted-path update on large synthetic registries
#   (bench/HostRegistryBench.cpp, native Release build in build/native):
#   time per run, registry calls per key visited, keys visited;
# - SetUp.exe (MinGW-w64 Release build in build/win64): size, and the
#   DLLs and functions it imports;
# - SetUp.exe's start-up under Wine and Xvfb, from CreateProcess to its
#   visible window, against a program showing SetUp.exe's own template and
#   one showing a minimal template, neither doing any other work: medians of
#   TX_STARTUP_RUNS (default 11) interleaved runs after a warm-up round;
# - what the journal costs under Wine: the installation engine against a
#   plain loop of the same CopyFileA calls, for 1,000 files of 4 KB (5
#   rounds) and 4 files of 200 MB (3 rounds), a reinstallation beside them,
#   and where one engine run spends its time (needs about 2 GB of disk).
# TX_BUILD_ROOT names another folder for the build trees.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
builds=${TX_BUILD_ROOT:-$root/build}

echo "== host logic on large synthetic registries (in-memory registry, Release)"
cmake -S . -B "$builds/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$builds/native" -j "$jobs" --target tx_bench_host >/dev/null
# Wide: 18 releases x 50 product keys (and 3 x 50 in the 32-bit tree).
# DeepTree: one release key above 100,000 keys. TrustedPaths: 18 x 50
# product keys x 20 profiles, first installation and installing again.
"$builds/native/bench/tx_bench_host" --benchmark_counters_tabular=true 2>/dev/null |
  grep -v -e '^\*\*\*WARNING' -e '^Load Average' -e '^  L[123] ' -e '^CPU Caches'

echo
echo "== SetUp.exe (MinGW-w64, Release)"
cmake -S . -B "$builds/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake >/dev/null
cmake --build "$builds/win64" -j "$jobs" --target SetUp >/dev/null
exe="$builds/win64/app/SetUp.exe"
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
size=$(stat -c %s "$exe")
echo "size: $size bytes ($(( (size + 1023) / 1024 )) KiB)"
"$objdump" -p "$exe" | awk '
  /^\tDLL Name: / { dll = $3; order[++n] = dll; count[dll] = 0; names[dll] = ""; next }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+/ {
    count[dll]++; names[dll] = names[dll] " " $3; next }
  END {
    total = 0
    for (i = 1; i <= n; i++) total += count[order[i]]
    printf "imports: %d DLLs, %d functions\n", n, total
    for (i = 1; i <= n; i++) printf "  %-14s %3d:%s\n", order[i], count[order[i]], names[order[i]]
  }'

echo
echo "== start-up under Wine (medians of interleaved runs, warm prefix)"
cmake --build "$builds/win64" -j "$jobs" --target SetUp tx_template_dialog tx_minimal_dialog \
  txstartup >/dev/null
bench/startup/run-under-wine.sh "$builds/win64" "${TX_STARTUP_RUNS:-11}" | grep -v '^run \|^warm-up '

echo
echo "== what the journal costs under Wine (engine against a plain loop of the same copies)"
cmake --build "$builds/win64" -j "$jobs" --target txinstallbench >/dev/null
bench/install/run-under-wine.sh "$builds/win64" 1000 4096 5 4 209715200 3
