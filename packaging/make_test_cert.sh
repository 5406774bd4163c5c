#!/bin/sh
# Makes the test signing material in DIR: a test root CA and an RSA
# code-signing certificate issued by it (subject O=Varnock,
# CN=Varnock Test Code Signing). Generated per build directory and never
# committed; packages signed with it are for testing only.
#   make_test_cert.sh DIR
set -eu
dir=$1
mkdir -p "$dir"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
  -keyout "$tmp/test_ca.key" -out "$tmp/test_ca.pem" \
  -subj "/O=Varnock/CN=Varnock Test Root CA" \
  -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null

openssl req -newkey rsa:2048 -nodes -sha256 \
  -keyout "$tmp/code_signing.key" -out "$tmp/code_signing.csr" \
  -subj "/O=Varnock/CN=Varnock Test Code Signing" 2>/dev/null

cat > "$tmp/ext.cnf" <<CNF
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
CNF
openssl x509 -req -sha256 -days 1825 -in "$tmp/code_signing.csr" \
  -CA "$tmp/test_ca.pem" -CAkey "$tmp/test_ca.key" -set_serial 0x$(openssl rand -hex 8) \
  -extfile "$tmp/ext.cnf" -out "$tmp/code_signing.pem" 2>/dev/null

# The signature carries the whole chain, so a verifier needs only the CA.
cat "$tmp/code_signing.pem" "$tmp/test_ca.pem" > "$tmp/code_signing_chain.pem"
chmod 600 "$tmp/code_signing.key" "$tmp/test_ca.key"
for f in test_ca.pem test_ca.key code_signing.key code_signing.pem code_signing_chain.pem; do
  mv "$tmp/$f" "$dir/$f"
done
