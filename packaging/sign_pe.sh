#!/bin/sh
# Signs a PE file with the test code-signing certificate (Authenticode,
# SHA-256). No timestamp server: nothing may leave the machine.
#   sign_pe.sh CERT_DIR IN OUT [DESCRIPTION]
# IN and OUT may be the same file.
set -eu
dir=$1 in=$2 out=$3 desc=${4:-Pelorix}
tmp="$out.signing.$$"
trap 'rm -f "$tmp"' EXIT
mkdir -p "$(dirname "$out")"
osslsigncode sign -h sha256 -n "$desc" \
  -certs "$dir/code_signing_chain.pem" -key "$dir/code_signing.key" \
  -in "$in" -out "$tmp" >/dev/null
mv "$tmp" "$out"
