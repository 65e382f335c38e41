#!/bin/bash
# What the journal costs, under Wine, in a prefix of its own (the engine's
# Programs and Features entry lands there): the installation engine against
# a plain loop of the same CopyFileA calls, for each package given.
# Usage: run-under-wine.sh WIN64-BUILD-DIR [FILES SIZE ROUNDS]...
# Default: 1,000 files of 4 KB over 5 rounds, then 4 files of 200 MB over 3.
# Prints every round, the medians, the ratio of the engine to the plain loop
# and of a reinstallation to it, and where one engine run spends its time.
set -uo pipefail
build=$(cd "$1" && pwd)
shift
[ $# -eq 0 ] && set -- 1000 4096 5 4 209715200 3
if [ $(($# % 3)) -ne 0 ]; then
  echo "usage: run-under-wine.sh WIN64-BUILD-DIR [FILES SIZE ROUNDS]..." >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/wine/wine-env.sh"
work=$build/bench-install
export WINEPREFIX=$work/prefix
mkdir -p "$work"
"$root/tests/wine/make-prefix.sh" "$WINEPREFIX" || { echo "no Wine prefix" >&2; exit 1; }
# The package and the installations, up to twice the package per round.
trap 'rm -rf "$WINEPREFIX/drive_c/bench-install"; timeout 30 wineserver -k 2>/dev/null' EXIT
rc=0
while [ $# -gt 0 ]; do
  echo "== $1 files of $2 bytes, $3 rounds"
  timeout 3600 wine "$build/bench/install/txinstallbench.exe" 'C:\bench-install' "$1" "$2" "$3" \
    --reinstall </dev/null >"$work/install.log" 2>&1
  status=$?
  grep -av '^\(fixme\|err\|warn\):\|^[0-9a-f]*:\(fixme\|err\|warn\):' "$work/install.log"
  [ $status -ne 0 ] && { echo "txinstallbench ended $status"; rc=1; }
  rm -rf "$WINEPREFIX/drive_c/bench-install"
  shift 3
done
exit $rc
