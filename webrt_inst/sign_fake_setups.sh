#!/bin/sh
# Signed variants of the fake runtime installer for the flow tests: each is
# the program, its behaviour trailer and then the signature, named by the MD5
# of the behaviour text. Behaviours are given with "," for ";" and "-" for none.
#   sign_fake_setups.sh SIGN_PE SIGN_CONF FAKE_EXE OUT_DIR BEHAVIOUR...
# The trailer ends in ";" so that the signature the signing appends behind it
# reads as one more (ignored) item.
set -eu
sign_pe=$1 conf=$2 fake=$3 out=$4
shift 4
mkdir -p "$out"
for spec in "$@"; do
  behaviour=$(printf '%s' "$spec" | tr , ';')
  [ "$behaviour" = - ] && behaviour=
  name=$(printf '%s' "$behaviour" | md5sum | cut -c1-32)
  { cat "$fake"; printf '#FAKE-WEBVIEW2-SETUP#%s;' "$behaviour"; } > "$out/$name.unsigned"
  python3 "$sign_pe" --conf "$conf" --description "Fake WebView2 Setup" \
    "$out/$name.unsigned" "$out/$name.exe" >/dev/null
  rm -f "$out/$name.unsigned"
done
