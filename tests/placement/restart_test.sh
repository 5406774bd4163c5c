#!/usr/bin/env bash
# Files that wait for a restart are in place after one: schedules them in a
# throw-away prefix, restarts the prefix with wineboot -r, then checks.
#
#   restart_test.sh <restart_probe.exe>
set -euo pipefail

probe=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/wine/prefix_lib.sh
. "$here/../wine/prefix_lib.sh"

use_fresh_prefix_for "$probe" || exit 1
dir='C:\placement_restart'

wine "$probe" schedule "$dir"
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations >/dev/null 2>&1 || { echo "no pending renames recorded"; exit 1; }
wine wineboot -r
wine "$probe" check "$dir"
if wine reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' \
     /v PendingFileRenameOperations >/dev/null 2>&1; then
  echo "pending renames left after the restart"
  exit 1
fi
