#!/usr/bin/env bash
# Readies the machine, builds dist/Install.exe and dist/Palinst.dll, and runs
# the main job under Wine: the setup, silently, in a throw-away prefix. On a
# machine that runs no 32-bit code the main job installs the x86_64 flavour's
# package instead (scripts/flavour.sh); dist/ is the 32-bit build either way.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/bootstrap.sh"
# shellcheck source=scripts/flavour.sh
. "$top/scripts/flavour.sh"
choose_flavour run.sh
"$top/scripts/build.sh"
"$top/scripts/main_job.sh"
