#!/usr/bin/env bash
# Configures (once) and builds everything into build/, then copies the
# deliverables and their notices into dist/.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELORIX_BUILD_DIR:-$top/build}
# ccache, when the machine has it, also serves later build folders of the same
# checkout (the release script's, the release test's).
launcher=
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=$top
  launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
    $launcher ${PELORIX_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build" -j "${PELORIX_JOBS:-2}"
mkdir -p "$top/dist"
# The packaged, signed setup (payload appended), not the bare linked image in bin/.
cp "$build/package/Install.exe" "$build/bin/Palinst.dll" "$build/package/NOTICES.txt" "$top/dist/"
