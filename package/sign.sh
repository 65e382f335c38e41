#!/bin/bash
# Signs a program with the code-signing certificate named by the environment,
# in place, before it is packaged:
#   TX_SIGN_PFX             PKCS#12 file with the certificate and its key
#   TX_SIGN_PASSWORD        its password
#   TX_SIGN_TIMESTAMP_URL   optional RFC 3161 time-stamp authority
# Without TX_SIGN_PFX it says the package is unsigned and leaves the file.
# Usage: sign.sh PROGRAM
set -euo pipefail
program=$1
if [ -z "${TX_SIGN_PFX:-}" ]; then
  echo "package: unsigned (set TX_SIGN_PFX and TX_SIGN_PASSWORD to sign $(basename "$program"))"
  exit 0
fi
if [ ! -r "$TX_SIGN_PFX" ]; then
  echo "package: cannot read the certificate TX_SIGN_PFX=$TX_SIGN_PFX" >&2
  exit 1
fi
command -v osslsigncode >/dev/null || { echo "package: osslsigncode is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The password goes through a private file, never the command line, where
# every user of the machine could read it.
umask 077
printf '%s' "${TX_SIGN_PASSWORD:-}" >"$work/pass"
ts=()
if [ -n "${TX_SIGN_TIMESTAMP_URL:-}" ]; then ts=(-ts "$TX_SIGN_TIMESTAMP_URL"); fi
osslsigncode sign -h sha256 -pkcs12 "$TX_SIGN_PFX" -readpass "$work/pass" \
  -n "Tarnix批打印软件安装程序" "${ts[@]}" -in "$program" -out "$work/signed.exe" >"$work/log" 2>&1 || {
  cat "$work/log" >&2
  echo "package: signing $(basename "$program") failed" >&2
  exit 1
}
cat "$work/signed.exe" >"$program"
echo "package: $(basename "$program") signed (SHA-256) with $(basename "$TX_SIGN_PFX")"
