#!/bin/bash
# Fails when a program imports a DLL that is not part of Windows itself
# (a compiler runtime such as libstdc++-6.dll, libgcc_s_seh-1.dll or
# libwinpthread-1.dll, or anything else shipped beside it).
# Usage: check-imports.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1
program=$2
dlls=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
if [ -z "$dlls" ]; then
  echo "no imports found in $program" >&2
  exit 1
fi
bad=0
while read -r dll; do
  lower=$(echo "$dll" | tr 'A-Z' 'a-z')
  case "$lower" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|comctl32.dll|ole32.dll|\
    oleaut32.dll|comdlg32.dll|shlwapi.dll|version.dll|msvcrt.dll|ucrtbase.dll|ntdll.dll|\
    api-ms-win-*.dll)
      echo "system: $dll" ;;
    *)
      echo "NOT A SYSTEM DLL: $dll" >&2
      bad=1 ;;
  esac
done <<<"$dlls"
exit $bad
