#!/bin/bash
# Runs one Windows test program under Wine in the shared test prefix and
# returns its exit code. Output goes to files first: a program still alive
# inside Wine would otherwise hold the pipe open.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh" 2>/dev/null
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEPREFIX
out=$(mktemp)
timeout "${TX_WINE_TIMEOUT:-240}" wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
