# shellcheck shell=bash
# A throwaway certificate authority and a code-signing certificate it
# issued, for the package tests (sourced).
#   make_test_ca DIR PASSWORD   makes DIR/ca.pem and DIR/signer.pfx
make_test_ca() {
  local dir=$1 pass=$2
  cat >"$dir/ca.cnf" <<'CNF'
[req]
distinguished_name = dn
prompt = no
[dn]
CN = Tarnix Test Root
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
  (
    cd "$dir" &&
      openssl req -x509 -new -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
        -config ca.cnf -extensions ca &&
      openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
        -subj "/CN=Tarnix Test Signer" &&
      openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
        -extfile ca.cnf -extensions signer -out signer.pem &&
      openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
        -passout "pass:$pass" -out signer.pfx
  ) >"$dir/openssl.log" 2>&1 || { cat "$dir/openssl.log"; return 1; }
}
