#!/usr/bin/env bash
# Readies the machine, builds dist/Install.exe and dist/Palinst.dll, and runs
# the main job under Wine: the setup, silently, in a throw-away prefix.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/bootstrap.sh"
"$top/scripts/build.sh"
"$top/scripts/main_job.sh"
