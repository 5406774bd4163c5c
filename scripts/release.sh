#!/usr/bin/env bash
# Builds a release package of a product tree, signed with the maker's
# certificate, in a build folder of its own; copies it to the output folder
# only when the build, the signature check and the package check all passed.
#
#   scripts/release.sh --tree DIR --version A.B.C.D
#       [--pkcs12 FILE [--password-file FILE] | --sign-command "CMD ARGS"]
#       [--sign-ca FILE] [--timestamp-url URL [--timestamp-ca FILE]]
#       [--accept-signer NAME]... [--file-list FILE]
#       [--build-dir DIR] [--out DIR] [-- CMAKE-ARGS...]
#
# Without --pkcs12 or --sign-command the package is signed with the built-in
# TEST certificate. The PKCS#12 password comes from --password-file or from
# the environment variable PELORIX_SIGN_PASSWORD, never from the command line.
# CMAKE-ARGS set the production endpoints (see the README).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

die() { echo "release.sh: $*" >&2; exit 2; }
abs() { [ -e "$1" ] || die "$1 does not exist"; (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }

tree= version= build=$top/build-release out=$top/dist/release
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --tree) tree=$(abs "$2"); shift ;;
    --version) version=$2; shift ;;
    --pkcs12) args+=("-DPELORIX_SIGN_PKCS12=$(abs "$2")"); shift ;;
    --password-file) args+=("-DPELORIX_SIGN_PASSWORD_FILE=$(abs "$2")"); shift ;;
    --sign-command) args+=("-DPELORIX_SIGN_COMMAND=$2"); shift ;;
    --sign-ca) args+=("-DPELORIX_SIGN_CA=$(abs "$2")"); shift ;;
    --timestamp-url) args+=("-DPELORIX_TIMESTAMP_URL=$2"); shift ;;
    --timestamp-ca) args+=("-DPELORIX_TIMESTAMP_CA=$(abs "$2")"); shift ;;
    --accept-signer) accept="${accept:+$accept;}$2"; shift ;;
    --file-list) args+=("-DPELORIX_PRODUCT_FILE_LIST=$(abs "$2")"); shift ;;
    --build-dir) build=$2; shift ;;
    --out) out=$2; shift ;;
    --) shift; args+=("$@"); break ;;
    *) die "unknown option $1 (see the comment at the top of this script)" ;;
  esac
  shift
done
[ -n "$tree" ] || die "--tree is required"
[ -n "$version" ] || die "--version is required"
# Options not given go back to their defaults: a build folder used before
# must not keep an earlier release's signer or tree.
for opt in SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_COMMAND SIGN_CA TIMESTAMP_URL TIMESTAMP_CA PRODUCT_FILE_LIST; do
  printf '%s\n' "${args[@]}" | grep -q "^-DPELORIX_$opt=" || args+=("-DPELORIX_$opt=")
done
args+=("-DPELORIX_ACCEPTED_SIGNERS=${accept:-}")

launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=$top
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "== configuring $build"
mkdir -p "$build"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
  "${launcher[@]}" -DPELORIX_PRODUCT_TREE="$tree" -DPELORIX_PRODUCT_VERSION="$version" \
  "${args[@]}" >"$build/configure.log" 2>&1 || { cat "$build/configure.log" >&2; die "configuring failed"; }
grep -E '^-- Signing with' "$build/configure.log" || true
echo "== building the package"
cmake --build "$build" -j "${PELORIX_JOBS:-2}" --target setup_package Palinst
mkdir -p "$out"
cp "$build/package/Install.exe" "$build/bin/Palinst.dll" "$build/package/NOTICES.txt" "$out/"
echo "== release in $out"
ls -l "$out"
sha256sum "$out/Install.exe"
