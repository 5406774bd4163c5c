#!/usr/bin/env bash
# Staging the sample payload against the genuine 7z.exe of the setup's width
# extracting the same archive, under Wine in a throw-away prefix. Prints the
# flavour measured, then a table. BENCH_NO_BUILD=1 measures the build as it is.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELORIX_BUILD_DIR:-$top/build}
. "$top/scripts/deps.env"
. "$top/tests/wine/prefix_lib.sh"
. "$top/tests/bench/bench_flavour.sh"
win() { printf 'Z:%s' "${1//\//\\}"; }  # Wine's Z: drive is the Unix root
if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$build" --target bench_staging >/dev/null ||
    { echo "bench_staging: building bench_staging in $build failed" >&2; exit 1; }
fi
bench_flavour "$build/package/Install.exe"
"$top/tests/wine/wine_run.sh" --fresh "$build/bin/bench_staging.exe" \
  "$(win "$build/package/Install.exe")" "$(win "$npm7z/7z.dll")" "$(win "$npm7z/7z.exe")" "${ROUNDS:-7}"
