#!/bin/bash
# The package's signing step, against a throwaway certificate authority:
# a copy of SetUp.exe signed with a code-signing certificate it issued
# verifies against that authority, a changed byte breaks the signature, and
# without a certificate the step says the program stays unsigned.
# Usage: signing-test.sh SIGN_SCRIPT PROGRAM
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sign=$(realpath "$1")
program=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
checks=0
pass() { checks=$((checks + 1)); echo "ok: $*"; }
fail() { checks=$((checks + 1)); fails=$((fails + 1)); echo "FAIL: $*"; }

cd "$work" || exit 1
source "$here/test-ca.sh"
make_test_ca "$work" 's3cret pass' || { echo "FAIL: could not make the test certificates"; exit 1; }

# Without a certificate: said, and the file is left as it was.
cp "$program" unsigned.exe
out=$(env -u TX_SIGN_PFX -u TX_SIGN_PASSWORD "$sign" unsigned.exe </dev/null)
if [[ "$out" == *unsigned* ]] && cmp -s "$program" unsigned.exe; then
  pass "without a certificate the program stays unsigned and says so"
else
  fail "without a certificate: '$out'"
fi
if osslsigncode verify -CAfile ca.pem -in unsigned.exe >verify0.log 2>&1; then
  fail "an unsigned program verified"
else
  pass "an unsigned program does not verify"
fi

cp "$program" signed.exe
if TX_SIGN_PFX=$work/signer.pfx TX_SIGN_PASSWORD='s3cret pass' "$sign" signed.exe </dev/null \
  >sign.log 2>&1; then
  pass "signing succeeds"
else
  cat sign.log
  fail "signing failed"
fi
signed_ok=0
if osslsigncode verify -CAfile ca.pem -in signed.exe >verify1.log 2>&1; then
  signed_ok=1
  pass "the signature verifies against the test authority"
else
  cat verify1.log
  fail "the signature does not verify"
fi
if grep -qi 'sha256' verify1.log; then pass "the digest is SHA-256"; else fail "no SHA-256 digest"; fi
if grep -q 'Tarnix Test Signer' verify1.log; then pass "signed by the test signer"; else fail "signer not named"; fi

# One byte changed in the code: the signature no longer matches.
cp signed.exe tampered.exe
size=$(stat -c %s tampered.exe)
offset=$((size / 3))
byte=$(od -An -tu1 -j "$offset" -N1 tampered.exe | tr -d ' ')
printf "$(printf '\\%03o' $(( (byte + 1) % 256 )))" |
  dd of=tampered.exe bs=1 seek="$offset" conv=notrunc status=none
if [ "$signed_ok" != 1 ]; then
  fail "no valid signature to tamper with"
elif cmp -s signed.exe tampered.exe; then
  fail "the byte was not changed"
elif osslsigncode verify -CAfile ca.pem -in tampered.exe >verify2.log 2>&1; then
  fail "a changed program still verifies"
else
  pass "a changed byte breaks the signature"
fi

# A wrong password fails the build instead of shipping unsigned.
cp "$program" wrongpass.exe
if TX_SIGN_PFX=$work/signer.pfx TX_SIGN_PASSWORD=wrong "$sign" wrongpass.exe </dev/null \
  >wrong.log 2>&1; then
  fail "signing with a wrong password succeeded"
elif ! grep -q 'signing .* failed' wrong.log; then
  cat wrong.log
  fail "a wrong password failed for another reason"
else
  pass "a wrong password fails the signing step"
fi

echo "$checks checks, $fails failed"
[ "$fails" -eq 0 ]
