#!/bin/bash
# The manifest the package step writes into SetUp.exe, read here on its own
# terms (engine/PackageManifest.h): in the zip, it names every file of Data
# with its size and SHA-256, none missing and none more; the signature
# covers it, so one changed digit breaks the signature; the step refuses
# a Data folder it cannot describe and a program that has one already.
# Usage: manifest-test.sh ZIP PROGRAM WRITE_MANIFEST SIGN_SCRIPT
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zip=$(realpath "$1")
program=$(realpath "$2")
writer=$(realpath "$3")
sign=$(realpath "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
checks=0
pass() { checks=$((checks + 1)); echo "ok: $*"; }
fail() { checks=$((checks + 1)); fails=$((fails + 1)); echo "FAIL: $*"; }

u32() {  # FILE OFFSET: a little-endian 32-bit number
  od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '
}

# The certificate table's entry of a program image: "OFFSET SIZE".
certificate_entry() {  # PROGRAM
  local exe=$1 pe dirs
  pe=$(u32 "$exe" 60)
  case $(od -An -tx2 -j $((pe + 24)) -N2 "$exe" | tr -d ' ') in
    020b) dirs=$((pe + 24 + 112)) ;;
    010b) dirs=$((pe + 24 + 96)) ;;
    *) return 1 ;;
  esac
  echo "$(u32 "$exe" $((dirs + 32))) $(u32 "$exe" $((dirs + 36)))"
}

# The manifest's text (the block without its footer) from a program image:
# the block ends where the certificate table begins, or at the end of the
# file; a signing tool may pad before the table with up to 7 zeros.
manifest_of() {  # PROGRAM
  local exe=$1 table table_size end size i
  read -r table table_size < <(certificate_entry "$exe") || return 1
  end=$(stat -c %s "$exe")
  [ "$table_size" -ne 0 ] && end=$table
  for i in 1 2 3 4 5 6 7; do
    [ "$(od -An -tx1 -j $((end - 1)) -N1 "$exe" | tr -d ' ')" = 00 ] || break
    end=$((end - 1))
  done
  [ "$(dd if="$exe" bs=1 skip=$((end - 8)) count=8 status=none)" = TXPKGMF1 ] || return 1
  size=$((10#$(dd if="$exe" bs=1 skip=$((end - 16)) count=8 status=none)))
  dd if="$exe" bs=1 skip=$((end - size)) count=$((size - 16)) status=none
}

# --- The package as zipped ---------------------------------------------------
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip" || { echo "FAIL: cannot unzip $zip"; exit 1; }
pkg=$work/zip/TarnixSetup
if ! manifest_of "$pkg/SetUp.exe" >"$work/manifest.txt"; then
  fail "no manifest in the package's SetUp.exe"
else
  pass "the package's SetUp.exe carries a manifest"
  expect_heading=$(head -n 1 "$work/manifest.txt")
  [ "$expect_heading" = "Tarnix package manifest 1" ] && pass "its heading and version" ||
    fail "heading [$expect_heading]"
  listed=()
  bad=0
  while read -r digest size name; do
    [ -z "$digest" ] && continue
    listed+=("$name")
    file=$pkg/Data/$name
    if [ ! -f "$file" ]; then
      fail "the manifest names $name, which the zip's Data lacks"; bad=1; continue
    fi
    [ "$(stat -c %s "$file")" = "$size" ] || { fail "$name: size $size in the manifest"; bad=1; }
    [ "$(sha256sum <"$file" | cut -d' ' -f1)" = "$digest" ] || { fail "$name: digest differs"; bad=1; }
  done < <(tail -n +2 "$work/manifest.txt")
  [ $bad -eq 0 ] && pass "every file it names is in the zip's Data with its size and SHA-256"
  expect=$(cd "$pkg/Data" && ls -A | LC_ALL=C sort)
  got=$(printf '%s\n' "${listed[@]}" | LC_ALL=C sort)
  if [ "$expect" = "$got" ] && [ ${#listed[@]} -gt 0 ]; then
    pass "it names every file of the zip's Data and no other (${#listed[@]} files)"
  else
    fail "names differ: zip [$expect] manifest [$got]"
  fi
  # Only the manifest was added: what precedes it is the program as linked
  # (signing changes the headers too).
  read -r _ table_size < <(certificate_entry "$pkg/SetUp.exe")
  if [ "${table_size:-0}" -ne 0 ]; then
    echo "(the package is signed: its headers differ from the linked program's)"
  elif cmp -s -n "$(stat -c %s "$program")" "$program" "$pkg/SetUp.exe"; then
    pass "the program before the manifest is the one linked"
  else
    fail "the package's SetUp.exe differs from the linked program before its manifest"
  fi
fi

# --- The signature covers it -------------------------------------------------
source "$here/test-ca.sh"
if make_test_ca "$work" 'test pass'; then
  cp "$program" "$work/sealed.exe"
  cmake -DPROGRAM="$work/sealed.exe" -DDATA_DIR="$pkg/Data" -P "$writer" >"$work/writer.log" 2>&1 ||
    { cat "$work/writer.log"; fail "the manifest could not be written"; }
  TX_SIGN_PFX=$work/signer.pfx TX_SIGN_PASSWORD='test pass' "$sign" "$work/sealed.exe" </dev/null \
    >"$work/sign.log" 2>&1 || { cat "$work/sign.log"; fail "signing failed"; }
  if osslsigncode verify -CAfile "$work/ca.pem" -in "$work/sealed.exe" >"$work/verify1.log" 2>&1; then
    pass "a sealed and signed program verifies"
  else
    cat "$work/verify1.log"
    fail "a sealed and signed program does not verify"
  fi
  if manifest_of "$work/sealed.exe" >"$work/signed-manifest.txt" &&
    cmp -s "$work/manifest.txt" "$work/signed-manifest.txt"; then
    pass "signed, the manifest still ends where the certificate table begins"
  else
    fail "the manifest is not found before the certificate table"
  fi
  # One digit of the first digest changed.
  at=$(grep -abo 'Tarnix package manifest 1' "$work/sealed.exe" | tail -n 1 | cut -d: -f1)
  if [ -n "$at" ]; then
    cp "$work/sealed.exe" "$work/tampered.exe"
    offset=$((at + 26))
    byte=$(dd if="$work/tampered.exe" bs=1 skip=$offset count=1 status=none)
    [ "$byte" = 0 ] && new=1 || new=0
    printf '%s' "$new" | dd of="$work/tampered.exe" bs=1 seek=$offset conv=notrunc status=none
    if osslsigncode verify -CAfile "$work/ca.pem" -in "$work/tampered.exe" >"$work/verify2.log" 2>&1; then
      fail "a changed digest in the manifest still verifies"
    else
      pass "a changed digest in the manifest breaks the signature"
    fi
  else
    fail "no manifest in the signed program"
  fi
else
  fail "could not make the test certificates"
fi

# --- What the step refuses -----------------------------------------------------
refused() {  # DESCRIPTION PROGRAM DATA EXPECTED-MESSAGE
  cp "$2" "$work/before.exe"
  if cmake -DPROGRAM="$2" -DDATA_DIR="$3" -P "$writer" >"$work/refused.log" 2>&1; then
    fail "$1: a manifest was written"
  elif ! grep -q "$4" "$work/refused.log"; then
    cat "$work/refused.log"
    fail "$1: refused for another reason"
  elif ! cmp -s "$2" "$work/before.exe"; then
    fail "$1: the program was changed"
  else
    pass "$1: refused, the program left as it was"
  fi
}
cp "$program" "$work/twice.exe"
cmake -DPROGRAM="$work/twice.exe" -DDATA_DIR="$pkg/Data" -P "$writer" >/dev/null 2>&1
refused "a second manifest" "$work/twice.exe" "$pkg/Data" 'carries a manifest already'
refused "a signed program" "$work/sealed.exe" "$pkg/Data" 'is signed already'
cp -a "$pkg/Data" "$work/Data2"
mkdir "$work/Data2/Extras"
cp "$program" "$work/plain.exe"
refused "a subfolder in Data" "$work/plain.exe" "$work/Data2" 'is not a plain file'
rmdir "$work/Data2/Extras"
printf 'x\n' >"$work/Data2/批.txt"
refused "a name outside ASCII" "$work/plain.exe" "$work/Data2" 'must be plain ASCII'

echo "$checks checks, $fails failed"
[ "$fails" -eq 0 ]
