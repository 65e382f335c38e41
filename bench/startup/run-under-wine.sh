#!/bin/bash
# Start-up of SetUp.exe against the minimal dialog program under Wine, on a
# private Xvfb display, in a prefix of its own seeded with the demo machine
# (so that detection finds five releases, as on a real machine).
# Usage: run-under-wine.sh WIN64-BUILD-DIR [RUNS]
# Prints every run, each median and the ratios of SetUp.exe to a program
# showing its own template and to one showing a minimal template, neither
# doing any other work.
set -uo pipefail
build=$(cd "$1" && pwd)
runs=${2:-11}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/wine/wine-env.sh"
source "$root/tests/wine/xvfb.sh"
work=$build/bench-startup
export WINEPREFIX=$work/prefix
mkdir -p "$work"
"$root/tests/wine/make-prefix.sh" "$WINEPREFIX" "$root/tests/e2e/common/x11-frames.reg" \
  "$root"/demo/registry/*.reg || { echo "no Wine prefix" >&2; exit 1; }
dest=$WINEPREFIX/drive_c/bench
mkdir -p "$dest"
cp "$build/app/SetUp.exe" "$build/bench/startup/tx_template_dialog.exe" \
  "$build/bench/startup/tx_minimal_dialog.exe" "$build/bench/startup/txstartup.exe" "$dest/"
xvfb_start "$work" || exit 1
trap 'timeout 30 wineserver -k 2>/dev/null; xvfb_stop' EXIT
# The timer is one Wine process: the server and the prefix stay warm for
# every run, and its own first round is not counted.
(cd "$dest" && timeout 900 wine 'C:\bench\txstartup.exe' "$runs" 'C:\bench\SetUp.exe' \
  'C:\bench\tx_template_dialog.exe' 'C:\bench\tx_minimal_dialog.exe' --max-ratio=1.2 \
  </dev/null >"$work/startup.log" 2>&1)
rc=$?
grep -av '^\(fixme\|err\|warn\):' "$work/startup.log"
# A missed target is a figure to report, not a failure of the run.
[ $rc -eq 3 ] && exit 0
exit $rc
