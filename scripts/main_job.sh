#!/usr/bin/env bash
# The main job: install the sample product silently with the built setup in a
# throw-away Wine prefix, and show what arrived where.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELORIX_BUILD_DIR:-$top/build}
# shellcheck source=tests/wine/prefix_lib.sh
. "$top/tests/wine/prefix_lib.sh"

echo "== deliverables"
ls -l "$top/dist/Install.exe" "$top/dist/Palinst.dll"
echo "== exports"
i686-w64-mingw32-objdump -p "$top/dist/Install.exe" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print "Install.exe: " $NF}'
i686-w64-mingw32-objdump -p "$top/dist/Palinst.dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print "Palinst.dll: " $NF}'

# The statistics endpoint of this build is a loopback server started here.
stat_port=$(sed -n 's/^PELORIX_STAT_HOST:STRING=.*:\([0-9]*\)$/\1/p' "$build/CMakeCache.txt")
stat_root=$(mktemp -d)
stat_pid="$stat_root/server.pid"
prefix=
# Set before anything is started, so that an interrupted run stops the
# server too.
cleanup() {
  if [ -n "$prefix" ]; then discard_prefix "$prefix"; fi
  [ -f "$stat_pid" ] && python3 "$top/tests/support/loopback_http_server.py" stop --pidfile "$stat_pid" || true
  rm -rf "$stat_root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
python3 "$top/tests/support/loopback_http_server.py" start --root "$stat_root" --port "${stat_port:-18233}" \
  --pidfile "$stat_pid" --answer-all || echo "(statistics server not started: port busy)"

prefix=$(new_fresh_prefix 32 7) || { echo "main_job.sh: could not make a Wine prefix" >&2; exit 1; }
export WINEPREFIX=$prefix

echo "== silent install under Wine: Install.exe --hide_ui /DIR=C:\\Pelorix"
start=$(date +%s%N)
set +e
wine "$top/dist/Install.exe" --hide_ui '/DIR=C:\Pelorix' --pid=mainjob
rc=$?
set -e
end=$(date +%s%N)
echo "exit code $rc, finished in $(( (end - start) / 1000000 )) ms"

dir="$prefix/drive_c/Pelorix"
echo "== installed into C:\\Pelorix"
echo "files: $(find "$dir" -type f | wc -l), bytes: $(du -sb "$dir" | cut -f1)"
(cd "$dir" && find . -maxdepth 2 | sort | sed 's|^\./||' | head -30)
echo "== registry (32-bit view)"
wine reg query 'HKLM\SOFTWARE\Pelorix' 2>/dev/null | tr -d '\r' | sed '/^$/d'
wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Pelorix' 2>/dev/null | tr -d '\r' | sed '/^$/d'
echo "== autorun"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Pelorix 2>/dev/null | tr -d '\r' | sed '/^$/d'
echo "== shortcuts"
find "$prefix/drive_c/users/Public" "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu" -name "*.lnk" | sed "s|$prefix/drive_c|C:|"
echo "== product started with"
sleep 1
cat "$prefix/drive_c/ProgramData/PelorixSample/launches.log" 2>/dev/null || echo "(not started)"
echo "== statistics received by the loopback endpoint"
grep "pid=mainjob&" "$stat_root/requests.log" 2>/dev/null | sed -n "s/.*action=\([a-z_0-9]*\)&.*/\1/p" || true
wineserver -k 2>/dev/null || true
exit $rc
