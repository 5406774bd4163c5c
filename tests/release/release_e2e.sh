#!/usr/bin/env bash
# A release engineer's run: a product tree and a certificate of their own
# (both made here), packaged twice by scripts/release.sh in build folders of
# their own. Checks: a tree that cannot be packaged stops before anything is
# built or written; the package verifies with osslsigncode against the
# engineer's root and names their signer; both builds agree byte for byte
# before signing; a silent install under Wine (reporting Windows 10, where the
# setup checks signatures) places exactly that tree.
#   release_e2e.sh SAMPLE_BIN_DIR
# The two build folders sit beside the checkout's build/ (build-release-test-a
# and -b), so that ccache, based at the checkout, serves them from what the
# main build compiled: the compile lines are then the same.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
sample_bin=$1
# shellcheck source=tests/wine/prefix_lib.sh
. "$top/tests/wine/prefix_lib.sh"
# A release is the 32-bit deliverable, installed here by 32-bit Wine; the
# x86_64 flavour's sample product is no tree for it.
if [ "$(pe_width "$sample_bin/uninst.exe")" = 64 ]; then
  echo "SKIPPED: needs 32-bit execution: a release is the 32-bit setup, and this is the x86_64 test flavour"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorix-release.XXXXXX")
builds=("$top/build-release-test-a" "$top/build-release-test-b")
rm -rf "${builds[@]}"
prefix=
cleanup() {
  [ -n "$prefix" ] && discard_prefix "$prefix"
  if [ -z "${PELORIX_KEEP_RELEASE:-}" ]; then rm -rf "$work" "${builds[@]}"; else echo "kept $work ${builds[*]}" >&2; fi
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== the engineer's certificate: a root and a code-signing certificate, PKCS#12 with a password file"
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -keyout root.key -out root.pem \
  -subj "/O=Release Test/CN=Release Test Root" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -sha256 -keyout sign.key -out sign.csr \
  -subj "/O=Release Test/CN=Release Test Signer" 2>/dev/null
printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > ext.cnf
openssl x509 -req -sha256 -days 30 -in sign.csr -CA root.pem -CAkey root.key -set_serial 7 \
  -extfile ext.cnf -out sign.pem 2>/dev/null
printf 'correct horse\n' > password.txt
openssl pkcs12 -export -inkey sign.key -in sign.pem -certfile root.pem -out signer.p12 \
  -passout file:password.txt

echo "== the engineer's product tree"
tree=$work/tree
mkdir -p "$tree/Nexhub/pelorix" "$tree/资料"
for f in Nexhub/pelorix/pelorix_ui.exe uninst.exe; do
  osslsigncode sign -h sha256 -pkcs12 signer.p12 -readpass password.txt \
    -in "$sample_bin/$(basename "$f")" -out "$tree/$f" >/dev/null
done
printf 'version two\r\n' > "$tree/readme.txt"
printf '说明\r\n' > "$tree/资料/说明.txt"
head -c 300000 /dev/urandom > "$tree/资料/data.bin"

release() {  # build-dir out-dir tree [extra args]
  local build=$1 out=$2 t=$3
  shift 3
  "$top/scripts/release.sh" --tree "$t" --version 2.0.7.1 --pkcs12 signer.p12 \
    --password-file password.txt --sign-ca root.pem --build-dir "$build" --out "$out" "$@"
}

echo "== a tree that cannot be packaged"
cp -a "$tree" bad
printf x > bad/con.txt
rm bad/uninst.exe
if release "$work/build-bad" "$work/out-bad" "$work/bad" > bad.log 2>&1; then
  fail "the bad tree was packaged"
fi
grep -q 'con.txt: is a device name' bad.log || { cat bad.log; fail "con.txt not named"; }
grep -q 'uninst.exe: is missing' bad.log || { cat bad.log; fail "missing uninst.exe not named"; }
[ ! -e "$work/out-bad" ] || fail "something was written for the bad tree"
[ ! -e "$work/build-bad/package" ] || fail "the bad tree reached the packaging step"

echo "== two release builds"
release "${builds[0]}" "$work/out-a" "$tree" > a.log 2>&1 || { cat a.log; fail "release build A"; }
grep -E 'signer:|sha256:|image .* payload' a.log
release "${builds[1]}" "$work/out-b" "$tree" > b.log 2>&1 || { cat b.log; fail "release build B"; }
cmp "${builds[0]}/package/Install.unsigned.exe" "${builds[1]}/package/Install.unsigned.exe" \
  || fail "the two builds differ before signing"
echo "both builds give the same unsigned package ($(stat -c %s "$work/out-a/Install.exe") bytes signed)"
if cmp -s "$work/out-a/Install.exe" "$work/out-b/Install.exe"; then
  echo "(the signed packages are identical as well: no time stamp, fixed signing time)"
fi

echo "== osslsigncode verify"
osslsigncode verify -CAfile root.pem -in "$work/out-a/Install.exe" > verify.log 2>&1 \
  || { cat verify.log; fail "the package does not verify"; }
grep -q 'Subject: /O=Release Test/CN=Release Test Signer' verify.log || { cat verify.log; fail "wrong signer"; }
grep -q 'Signature verification: ok' verify.log || fail "no verification"
echo "verified: signed by Release Test Signer"

echo "== silent install under Wine (Windows 10: signatures checked)"
prefix=$(new_fresh_prefix 32 10)
export WINEPREFIX=$prefix
set +e
wine "$work/out-a/Install.exe" --hide_ui '/DIR=C:\Release' --nostart > install.log 2>&1
rc=$?
set -e
echo "exit code $rc"
dir=$prefix/drive_c/Release
[ -d "$dir" ] || fail "nothing installed"
# Every file of the tree is installed as it is; the setup adds its own files
# (7z.dll, the log) beside them.
(cd "$tree" && find . -type f | sort | xargs -d '\n' md5sum) > want.md5
(cd "$dir" && md5sum -c --quiet "$work/want.md5") || fail "the installed files differ from the tree"
setup_path=$(wine reg query 'HKLM\SOFTWARE\Pelorix' /v 'Setup Path' 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ "$setup_path" = 'C:\Release' ] || fail "the product key names '$setup_path'"
setup_version=$(python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import pe_image
print(pe_image.PeImage(open(sys.argv[2], "rb").read()).file_version())' "$top/packaging" "$work/out-a/Install.exe")
[ "$setup_version" = 2.0.7.1 ] || fail "Install.exe carries version '$setup_version'"
echo "installed $(wc -l < want.md5) files; Setup Path $setup_path; Install.exe version $setup_version"
echo "PASS"
