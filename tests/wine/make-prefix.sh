#!/bin/bash
# Creates a fresh 64-bit Wine prefix for the tests: code page 936, no Mono or
# Gecko prompts, a CJK font substitution so dialog text renders.
# Usage: make-prefix.sh PREFIX [EXTRA.reg...]
# Extra registry files are UTF-8 text, imported after the font substitution.
set -euo pipefail
prefix=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
export WINEPREFIX=$prefix
# A server left from an earlier run on this prefix still writes its registry
# files for a few seconds; stop it first, or the removal races with it.
if [ -d "$prefix" ]; then
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
fi
rm -rf "$prefix" || { sleep 2; rm -rf "$prefix"; }
mkdir -p "$(dirname "$prefix")"
timeout 300 wineboot -i >/dev/null 2>&1 || true
timeout 120 wineserver -w || true
if [ -f "$here/fonts.reg" ]; then
  timeout 120 wine regedit /S "$here/fonts.reg" >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
fi
if [ $# -gt 0 ]; then
  "$here/import-reg.sh" "$@"
fi
test -f "$prefix/system.reg"
