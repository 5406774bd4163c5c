#!/usr/bin/env bash
# Readies the machine, builds dist/Install.exe and dist/Palinst.dll, and runs
# the main job under Wine: the setup, silently, in a throw-away prefix.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/bootstrap.sh"
"$top/scripts/build.sh"
if ! "$top/scripts/probe_wine32.sh" --quiet; then
  "$top/scripts/probe_wine32.sh" >&2 || true
  echo "run.sh: dist/ is built, but the main job cannot run on this machine (see above)." >&2
  exit 1
fi
"$top/scripts/main_job.sh"
