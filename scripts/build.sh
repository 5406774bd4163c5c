#!/usr/bin/env bash
# Configures (once) and builds the flavour's build folder (scripts/flavour.sh),
# then copies the deliverables and their notices into dist/. dist/ always gets
# the i686 build's: with PELORIX_FLAVOUR=x86_64 the deliverables are also
# built in build/ (cross-compiling runs nothing 32-bit).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/flavour.sh
. "$top/scripts/flavour.sh"
# Building needs no probe: without a choice it builds the deliverables.
: "${PELORIX_FLAVOUR:=i686}"
choose_flavour build.sh || exit 2
# ccache, when the machine has it, also serves later build folders of the same
# checkout (the release script's, the release test's).
launcher=
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=$top
  launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi

build_tree() {  # folder, toolchain (mingw-i686 | mingw-x86_64), [targets...]
  local dir=$1 toolchain=$top/cmake/$2.cmake configured
  shift 2
  if [ -f "$dir/build.ninja" ]; then
    # A folder configured for the other width would mix them up.
    configured=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$dir/CMakeCache.txt")
    if [ "$configured" != "$toolchain" ]; then
      echo "build.sh: $dir is configured with ${configured:-no toolchain file}, not $toolchain;" \
        "choose another folder (PELORIX_BUILD_DIR) or remove it" >&2
      exit 1
    fi
  else
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      $launcher ${PELORIX_CMAKE_ARGS:-} >/dev/null || { echo "build.sh: configuring $dir failed" >&2; exit 1; }
  fi
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake --build "$dir" -j "${PELORIX_JOBS:-2}" "${targets[@]}" || { echo "build.sh: building $dir failed" >&2; exit 1; }
}

if [ "$PELORIX_FLAVOUR" = i686 ]; then
  deliverables=$(flavour_build_dir)
  build_tree "$deliverables" mingw-i686
else
  deliverables=$top/build
  build_tree "$deliverables" mingw-i686 setup_package Palinst
  build_tree "$(flavour_build_dir)" mingw-x86_64
fi
mkdir -p "$top/dist"
# The packaged, signed setup (payload appended), not the bare linked image in bin/.
cp "$deliverables/package/Install.exe" "$deliverables/bin/Palinst.dll" "$deliverables/package/NOTICES.txt" "$top/dist/"
