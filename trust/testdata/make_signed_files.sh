#!/usr/bin/env bash
# Signs copies of a small Windows program for the signature tests, and
# signs each further library with the accepted certificate under its own name.
#   make_signed_files.sh <program.exe> <output dir> [<library> ...]
# Certificates are made here and thrown away; nothing reaches the network.
set -euo pipefail
src=$1
out=$2
shift 2
libraries=()
for lib in "$@"; do libraries+=("$(realpath "$lib")"); done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"

cat > ext.cnf <<'CNF'
[ext]
basicConstraints = CA:FALSE
keyUsage = digitalSignature
extendedKeyUsage = codeSigning
[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
copy_extensions = copy
[any]
commonName = supplied
organizationName = optional
CNF

cert() {  # <name> <common name>
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/O=Varnock/CN=$2" \
    -keyout "$1.key" -out "$1.pem" -config ext.cnf -extensions ext 2>/dev/null
}
sign() {  # <cert name> <output> [<input>]
  rm -f "$2"  # osslsigncode will not overwrite, and a rebuild re-signs
  osslsigncode sign -certs "$1.pem" -key "$1.key" -h sha256 -in "${3:-$src}" -out "$2" >/dev/null
}

cert accepted "Varnock Test Code Signing"
cert other "Someone Else Entirely"
sign accepted "$out/signed_accepted.exe"
sign other "$out/signed_other.exe"
for lib in "${libraries[@]}"; do
  sign accepted "$out/$(basename "$lib")" "$lib"
done
cp "$src" "$out/unsigned.exe"

# The accepted name, but a certificate that expired years ago.
openssl req -new -newkey rsa:2048 -nodes -subj "/O=Varnock/CN=Varnock Test Code Signing" \
  -keyout expired.key -out expired.csr 2>/dev/null
: > index.txt
echo 01 > serial
openssl ca -batch -selfsign -config ext.cnf -extensions ext -keyfile expired.key -in expired.csr \
  -startdate 20200101000000Z -enddate 20210101000000Z -out expired.pem 2>/dev/null
sign expired "$out/signed_expired.exe"

# Signed, then one byte of the code changed.
cp "$out/signed_accepted.exe" "$out/altered.exe"
printf '\x90' | dd of="$out/altered.exe" bs=1 seek=1200 conv=notrunc status=none
