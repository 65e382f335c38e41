#!/bin/bash
# Runs a Win32 GUI test program under Wine on a private X server (Xvfb) and
# a private copy of the test prefix, so that it shares neither with tests
# running beside it. Screenshots the program saves land in SHOT_DIR, also
# converted to PNG.
# Usage: run-with-display.sh PROGRAM SHOT_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../wine/wine-env.sh" 2>/dev/null
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
program=$1
shots=$2

work=$(mktemp -d)
cleanup() {
  WINEPREFIX="$work/prefix" timeout 30 wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$WINEPREFIX" "$work/prefix"
export WINEPREFIX="$work/prefix"

mkdir -p "$shots"
rm -f "$shots"/*.bmp "$shots"/*.png
# Wine's Z: drive is the Linux root.
export TX_SHOT_DIR="Z:${shots//\//\\}"

timeout "${TX_WINE_TIMEOUT:-300}" xvfb-run -a -s "-screen 0 1024x768x24" \
  wine "$program" >"$work/out" 2>&1
rc=$?
cat "$work/out"

for bmp in "$shots"/*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp" && echo "screenshot: ${bmp%.bmp}.png"
done
exit $rc
