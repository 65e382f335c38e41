#!/bin/bash
# Imports registry files into $WINEPREFIX with regedit.
# Usage: import-reg.sh FILE.reg...
# The files are kept as UTF-8 text ("Windows Registry Editor Version 5.00");
# regedit reads Chinese key names and values intact only from UTF-16LE with a
# byte-order mark and CRLF line ends, so each file is converted first.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh" 2>/dev/null
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
tmpdir=$(mktemp -d)
trap 'rm -rf "$tmpdir"' EXIT
for src in "$@"; do
  out=$tmpdir/$(basename "$src")
  { printf '\xff\xfe'; sed 's/\r$//; s/$/\r/' "$src" | iconv -f UTF-8 -t UTF-16LE; } >"$out"
  # regedit takes a Windows path; Z: is the Unix root.
  timeout 120 wine regedit /S "Z:${out//\//\\}" >"$tmpdir/regedit.log" 2>&1 || {
    cat "$tmpdir/regedit.log" >&2
    echo "regedit failed on $src" >&2
    exit 1
  }
done
timeout 60 wineserver -w || true
