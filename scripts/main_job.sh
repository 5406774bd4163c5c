#!/usr/bin/env bash
# The main job: run the built setup silently under Wine and say what it did.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELORIX_BUILD_DIR:-$top/build}
run="$top/tests/wine/wine_run.sh"

echo "== deliverables"
ls -l "$top/dist/Install.exe" "$top/dist/Palinst.dll"
echo "== exports"
i686-w64-mingw32-objdump -p "$top/dist/Install.exe" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print "Install.exe: " $NF}'
i686-w64-mingw32-objdump -p "$top/dist/Palinst.dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print "Palinst.dll: " $NF}'
echo "== silent setup under Wine (a host loads Install.exe and calls Start)"
start=$(date +%s%N)
"$run" --fresh "$build/bin/start_host.exe" "$top/dist/Install.exe" "--hide_ui" 16
end=$(date +%s%N)
echo "finished in $(( (end - start) / 1000000 )) ms"
