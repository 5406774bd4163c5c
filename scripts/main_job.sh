#!/usr/bin/env bash
# The main job: install the sample product silently with the built setup in a
# throw-away Wine prefix, and show what arrived where. The i686 flavour runs
# dist/'s 32-bit setup in a 32-bit prefix; the x86_64 flavour (machines that
# run no 32-bit code, scripts/flavour.sh) the 64-bit package of build-x64/ in
# a 64-bit prefix.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Everything this run starts is stopped on every way out, an interrupt too,
# so the traps come before anything is started.
stat_root= server= prefix= step=
cleanup() {
  if [ -n "$step" ]; then kill -TERM -- -"$step" 2>/dev/null || true; wait "$step" 2>/dev/null || true; fi
  if [ -n "$prefix" ]; then discard_prefix "$prefix"; fi
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  if [ -n "$stat_root" ]; then rm -rf "$stat_root"; fi
}
trap cleanup EXIT
trap 'echo "main_job.sh: interrupted" >&2; exit 130' INT
trap 'echo "main_job.sh: terminated" >&2; exit 143' TERM

# Bash runs no INT trap while it waits for a program that handles SIGINT
# itself (Wine and Python do) and then exits normally: the interrupt would
# be lost and the run go on. The long steps therefore run in a session of
# their own that the shell waits for; `wait` gives way to a trap at once,
# and the clean-up ends the whole session.
in_background() {  # prefix_lib.sh command line
  setsid bash -c '. "$0" && "$@"' "$top/tests/wine/prefix_lib.sh" "$@" &
  step=$!
  local rc=0
  wait "$step" || rc=$?
  step=
  return $rc
}

# shellcheck source=scripts/flavour.sh
. "$top/scripts/flavour.sh"
choose_flavour main_job.sh
build=$(flavour_build_dir)
if [ "$PELORIX_FLAVOUR" = x86_64 ]; then
  setup=$build/package/Install.exe palinst=$build/bin/Palinst.dll arch=64 objdump=x86_64-w64-mingw32-objdump
else
  setup=$top/dist/Install.exe palinst=$top/dist/Palinst.dll arch=32 objdump=i686-w64-mingw32-objdump
fi
for f in "$setup" "$palinst" "$build/CMakeCache.txt"; do
  [ -f "$f" ] || { echo "main_job.sh: $f is missing; build first (scripts/build.sh)" >&2; exit 1; }
done
# shellcheck source=tests/wine/prefix_lib.sh
. "$top/tests/wine/prefix_lib.sh"

echo "== flavour: $PELORIX_FLAVOUR ($arch-bit setup in a $arch-bit Wine prefix)"
echo "== deliverables"
ls -l "$top/dist/Install.exe" "$top/dist/Palinst.dll"
[ "$PELORIX_FLAVOUR" = i686 ] || ls -l "$setup" "$palinst"
echo "== exports"
$objdump -p "$setup" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print "Install.exe: " $NF}'
$objdump -p "$palinst" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print "Palinst.dll: " $NF}'

# The statistics endpoint of this build is a loopback server started here, as
# a child of this shell so that its process id is known from the first moment.
stat_port=$(sed -n 's/^PELORIX_STAT_HOST:STRING=.*:\([0-9]*\)$/\1/p' "$build/CMakeCache.txt")
stat_port=${stat_port:-18233}
stat_root=$(mktemp -d)
port_answers() { (exec 3<>"/dev/tcp/127.0.0.1/$stat_port") 2>/dev/null; }
if port_answers; then
  echo "(statistics server not started: port $stat_port is busy)"
else
  python3 "$top/tests/support/loopback_http_server.py" serve --root "$stat_root" --port "$stat_port" \
    --answer-all </dev/null >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 50); do
    port_answers && break
    kill -0 "$server" 2>/dev/null || { server=; echo "(statistics server did not start on port $stat_port)"; break; }
    sleep 0.1
  done
  [ -z "$server" ] || port_answers || echo "(statistics server not answering on port $stat_port)"
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/pelorix-prefix.XXXXXX") ||
  { echo "main_job.sh: cannot make a folder for the Wine prefix (disk full?)" >&2; exit 1; }
in_background new_fresh_prefix "$arch" 7 "$prefix" >/dev/null ||
  { echo "main_job.sh: could not make a $arch-bit Wine prefix in $prefix" >&2; exit 1; }
export WINEPREFIX=$prefix

echo "== silent install under Wine: Install.exe --hide_ui /DIR=C:\\Pelorix ($setup)"
start=$(date +%s%N)
rc=0
in_background wine "$setup" --hide_ui '/DIR=C:\Pelorix' --pid=mainjob || rc=$?
end=$(date +%s%N)
echo "exit code $rc, finished in $(( (end - start) / 1000000 )) ms"

dir="$prefix/drive_c/Pelorix"
echo "== installed into C:\\Pelorix"
echo "files: $(find "$dir" -type f | wc -l), bytes: $(du -sb "$dir" | cut -f1)"
(cd "$dir" && find . -maxdepth 2 | sort | sed 's|^\./||' | head -30)
echo "== registry (the setup's own view: $arch-bit)"
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
exit $rc
