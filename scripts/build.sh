#!/usr/bin/env bash
# Configures (once) and builds everything into build/, then copies the
# deliverables and their notices into dist/.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELORIX_BUILD_DIR:-$top/build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
    ${PELORIX_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build" -j "${PELORIX_JOBS:-2}"
mkdir -p "$top/dist"
# The packaged, signed setup (payload appended), not the bare linked image in bin/.
cp "$build/package/Install.exe" "$build/bin/Palinst.dll" "$build/package/NOTICES.txt" "$top/dist/"
