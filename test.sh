#!/usr/bin/env bash
# Readies the machine, builds everything and runs every test under Wine.
# Extra arguments go to CTest (for example: -R Md5 --output-on-failure).
# On a machine that runs no 32-bit code the tests run in the x86_64 flavour
# (scripts/flavour.sh); PELORIX_FLAVOUR=x86_64 chooses it anywhere.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/bootstrap.sh"
# shellcheck source=scripts/flavour.sh
. "$top/scripts/flavour.sh"
choose_flavour test.sh
"$top/scripts/build.sh"
# Test discovery runs each test program under Wine with a time limit; making
# the Wine templates first keeps their one-off cost out of it.
"$top/tests/wine/warm_templates.sh"
cd "$(flavour_build_dir)"
echo "test.sh: testing the $PELORIX_FLAVOUR flavour in $PWD"
# On a loopback of the run's own, a port held by anything else on this
# machine cannot stop the test servers.
"$top/tests/support/own_loopback.sh" ctest -j "${PELORIX_JOBS:-2}" --timeout 300 "$@"
