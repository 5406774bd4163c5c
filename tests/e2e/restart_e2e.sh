#!/usr/bin/env bash
# An install over a product file that is held open, then a restart: runs the
# two phases of RestartPhase (install_e2e_tests) in one prefix and restarts it
# with wineboot -r between them, after ending every process as a shutdown
# would.
#   restart_e2e.sh <install_e2e_tests.exe>
set -euo pipefail
tests=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/wine/prefix_lib.sh
. "$here/../wine/prefix_lib.sh"

use_fresh_prefix_for "$tests" || exit 1
phase() { wine "$tests" --gtest_also_run_disabled_tests --gtest_filter="RestartPhase.DISABLED_$1"; }

phase InstallOverAHeldFileLeavesItToTheRestart
wineserver -k
wine wineboot -r
wineserver -w
phase AfterTheRestartTheTreeIsWhole
