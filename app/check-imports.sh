#!/bin/bash
# Fails when SetUp.exe imports a DLL that is not a KnownDLL of the plain
# kind. Windows takes KnownDLLs from System32 whatever lies beside the
# program; any other DLL named in the import table would first be looked
# for in the program's folder (Downloads, say) before the program runs a
# line. That also rules out compiler runtimes (libstdc++-6.dll,
# libgcc_s_seh-1.dll, libwinpthread-1.dll).
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
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|msvcrt.dll|ntdll.dll)
      echo "KnownDLL: $dll" ;;
    *)
      echo "NOT A KNOWNDLL: $dll (load it from System32 when needed)" >&2
      bad=1 ;;
  esac
done <<<"$dlls"
exit $bad
