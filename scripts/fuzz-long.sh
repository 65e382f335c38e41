#!/bin/bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs each of them in
# turn on a scratch copy of its seed corpus, so the repository is not changed.
#   scripts/fuzz-long.sh              1800 seconds per target
#   scripts/fuzz-long.sh 5            a short run (what scripts/test.sh does)
#   FUZZ_TARGETS="fuzz_mb_text" scripts/fuzz-long.sh 600   some targets only
#   FUZZ_BUILD=/tmp/f scripts/fuzz-long.sh                 another build tree
# Prints per target the executions, the corpus size reached and the
# findings. An input that breaks a target is kept as
# build/fuzz/findings/<target>-crash-<hash> and the script fails; replay it
# with build/fuzz/fuzz/<target> <file>. New corpus entries of the last run
# stay in build/fuzz/corpus-out/<target>/ for merging into fuzz/corpus/
# (<target> -merge=1 fuzz/corpus/<target> build/fuzz/corpus-out/<target>).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-1800}
build=${FUZZ_BUILD:-build/fuzz}
jobs=$(nproc)

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTX_FUZZ=ON -DTX_BUILD_TESTS=ON -DTX_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target tx_fuzz_all >/dev/null

targets=${FUZZ_TARGETS:-$(cd fuzz/corpus && ls -d fuzz_* | sort)}
findings="$build/findings"
out="$build/corpus-out"
mkdir -p "$findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
total=0
printf '%-22s %12s %10s %8s %s\n' target executions exec/s corpus findings
for t in $targets; do
  program="$build/fuzz/$t"
  [ -x "$program" ] || { echo "missing fuzz program $program" >&2; exit 1; }
  rm -rf "${out:?}/$t"
  rm -f "$findings/$t-"*
  mkdir -p "$out/$t"
  cp -r "fuzz/corpus/$t/." "$out/$t/"
  # TRUSTEDPATHS is read into a 13000-byte buffer: inputs must reach past it.
  max_len=4096
  [ "$t" = fuzz_trusted_paths ] && max_len=14000
  log="$scratch/$t.log"
  rc=0
  timeout $((seconds + 120)) "$program" "$out/$t" -max_total_time="$seconds" \
    -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/$t-" >"$log" 2>&1 || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  corpus=$(ls "$out/$t" | wc -l)
  found=$(ls "$findings" | grep -c "^$t-" || true)
  printf '%-22s %12s %10s %8s %s\n' "$t" "${execs:-?}" "${rate:-?}" "$corpus" "$found"
  total=$((total + ${execs:-0}))
  if [ "$rc" -ne 0 ]; then
    failed=1
    echo "--- $t failed (exit $rc):" >&2
    grep -E 'invariant broken|ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -20 "$log" >&2
  fi
done
echo "total executions: $total"
exit $failed
