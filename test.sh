#!/usr/bin/env bash
# Readies the machine, builds everything and runs every test under Wine.
# Extra arguments go to CTest (for example: -R Md5 --output-on-failure).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/bootstrap.sh"
"$top/scripts/build.sh"
if ! "$top/scripts/probe_wine32.sh" --quiet; then
  "$top/scripts/probe_wine32.sh" >&2 || true
  echo "test.sh: no test can run on this machine (see above); stopping." >&2
  exit 1
fi
# Test discovery runs each test program under Wine with a time limit; making
# the Wine templates first keeps their one-off cost out of it.
"$top/tests/wine/warm_templates.sh"
cd "${PELORIX_BUILD_DIR:-$top/build}"
# On a loopback of the run's own, a port held by anything else on this
# machine cannot stop the test servers.
"$top/tests/support/own_loopback.sh" ctest -j "${PELORIX_JOBS:-2}" --timeout 300 "$@"
