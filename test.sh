#!/usr/bin/env bash
# Readies the machine, builds everything and runs every test under Wine.
# Extra arguments go to CTest (for example: -R Md5 --output-on-failure).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/bootstrap.sh"
"$top/scripts/build.sh"
cd "${PELORIX_BUILD_DIR:-$top/build}"
ctest -j "${PELORIX_JOBS:-2}" --timeout 300 "$@"
