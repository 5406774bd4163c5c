#!/usr/bin/env bash
# Startup benchmark: time from process start to the first frame on the screen,
# side by side under Wine on an Xvfb display, in one throw-away prefix:
#
#   plain        a program that shows one plain window
#   ingredients  the same program with what the wizard cannot do without: a COM
#                apartment, the common controls and a layered window whose
#                frame GDI+ composes
#   NSIS         a Modern UI 2 wizard on its welcome page, with a welcome image
#   Inno         an Inno Setup wizard on its welcome page, with a welcome image
#   wizard       the packaged setup's wizard
#
# "First frame" is the moment a point inside the window turns green (the X-side
# watcher polls it): for the plain programs the middle of their window, for our
# wizard its "立即安装" button, for NSIS and Inno Setup a point inside the
# welcome image, which is a solid green bitmap of the standard size (164 x 314)
# for both. Each point lies in the first page's content, not in a frame or
# background that the system paints first, so the figure is the time until the
# first page is on the screen.
# The peers carry a small payload: their size does not weigh on their start.
#
# Every round runs every row once, in an order shuffled with a fixed seed;
# prints every round, the medians and the ratios.
#
#   ROUNDS=9 scripts/bench_startup.sh
#   OTHER_SETUP=old/Install.exe scripts/bench_startup.sh   # one more row
#
# The first line printed names the flavour, told by the setup's width: with a
# 64-bit setup (PELORIX_BUILD_DIR=build-x64) the prefix and the plain programs
# are 64-bit, and NSIS and Inno Setup, 32-bit programs only, run through WOW64
# or, where no 32-bit code runs, are listed as not runnable.
# BENCH_NO_BUILD=1 measures the build directory as it is (no cmake --build).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELORIX_BUILD_DIR:-$top/build}
rounds=${ROUNDS:-9}
# shellcheck source=scripts/deps.env
. "$top/scripts/deps.env"
iscc=$DEPS_DIR/npm-inno/node_modules/innosetup/bin/ISCC.exe
for tool in makensis xdotool xdpyinfo gcc wine python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/bootstrap.sh" >&2; exit 2; }
done
[ -f "$iscc" ] || { echo "$iscc is missing: run scripts/bootstrap.sh" >&2; exit 2; }
if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$build" --target setup_package bench_startup_plain >/dev/null ||
    { echo "bench_startup: building the package in $build failed" >&2; exit 1; }
fi
setup=$build/package/Install.exe
plain=$build/bin/bench_startup_plain.exe
other_setup=${OTHER_SETUP:+$(realpath "$OTHER_SETUP")}

# shellcheck source=tests/ui_e2e/ui_driver_lib.sh
. "$top/tests/ui_e2e/ui_driver_lib.sh"
# shellcheck source=tests/bench/bench_flavour.sh
. "$top/tests/bench/bench_flavour.sh"
bench_flavour "$setup"
# NSIS and Inno Setup (and its compiler) are 32-bit programs only.
peers32=yes
[ "$bench_wine32" = yes ] || peers32=no
work=$(mktemp -d)
watch=$work/bench_startup_watch
gcc -O2 -o "$watch" "$top/tests/bench/bench_startup_watch.c" -lX11

idle_pid=""
cleanup() {
  [ -n "$idle_pid" ] && kill "$idle_pid" 2>/dev/null
  ui_prefix_discard
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb
ui_prefix "$setup"
# An idle Wine process keeps the services up, so no run pays for their start.
wine "$plain" --idle >/dev/null 2>&1 &
idle_pid=$!

# ---- the peers: English wizards (neither ships Chinese for both), one file each
cd "$work"
head -c 4096 /dev/zero | tr '\0' 'x' >payload.txt
python3 - welcome.bmp <<'EOF'
import struct, sys
w, h = 164, 314  # the welcome image size both wizards are laid out for
row = bytes((0x5c, 0xb8, 0x2e)) * w  # BGR: a green the watcher recognises
pad = (-len(row)) % 4
pixels = (row + b"\0" * pad) * h
header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(header + info + pixels)
EOF
cat >peer.nsi <<'EOF'
Unicode true
!include MUI2.nsh
Name "BenchPeer"
OutFile "peer-nsis.exe"
InstallDir "$PROGRAMFILES\BenchPeer"
RequestExecutionLevel admin
!define MUI_WELCOMEFINISHPAGE_BITMAP "welcome.bmp"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
Section
  SetOutPath "$INSTDIR"
  File "payload.txt"
SectionEnd
EOF
if [ "$peers32" = yes ]; then
  makensis -V2 peer.nsi >build-nsis.log 2>&1 || { echo "bench_startup: makensis failed:" >&2; tail -5 build-nsis.log >&2; exit 1; }
fi
cat >peer.iss <<'EOF'
[Setup]
AppName=BenchPeer
AppVersion=1.0
DefaultDirName={commonpf}\BenchPeer
OutputDir=.
OutputBaseFilename=peer-inno
Uninstallable=no
PrivilegesRequired=admin
DisableWelcomePage=no
WizardImageFile=welcome.bmp

[Files]
Source: "payload.txt"; DestDir: "{app}"
EOF
if [ "$peers32" = yes ]; then
  wine "$iscc" /Q peer.iss >build-inno.log 2>&1 || { echo "bench_startup: ISCC failed:" >&2; tail -5 build-inno.log >&2; exit 1; }
fi

# ---- rows: label, window title (a regular expression), point, command.
# The point is "dx dy" from the window's top-left corner; w and h are the
# window's size, read once from a calibration run.
labels=(plain ingredients NSIS Inno wizard)
titles=('^Plain$' '^Plain$' 'BenchPeer' 'BenchPeer' '^Pelorix$')
points=('w/2 h/2' 'w/2 h/2' '40 h/2' '40 h/2' '350 314')  # ours: the "立即安装" button
commands=("$plain" "$plain --com --common-controls --layered-gdiplus"
  "$work/peer-nsis.exe" "$work/peer-inno.exe" "$setup")
# OTHER_SETUP=<Install.exe of another build> adds its wizard as one more row.
if [ -n "${OTHER_SETUP:-}" ]; then
  labels+=(other) titles+=('^Pelorix$') points+=('350 314') commands+=("$other_setup")
fi
# Per row: what the table adds to its name, and why it has no figures (empty:
# it runs). In the 64-bit prefix the 32-bit peers are told apart.
notes=() skipped=() launch=()
for i in "${!labels[@]}"; do
  notes[i]="" skipped[i]=""
  if [ "$bench_width" = 64 ] && [ "$(pe_width "${commands[$i]%% *}")" = 32 ]; then
    notes[i]=" (32-bit program, WOW64)"
  fi
  case ${labels[$i]} in
    NSIS | Inno)
      if [ "$peers32" = no ]; then notes[i]=" (32-bit program)" skipped[i]="not runnable on this machine"; fi ;;
  esac
  # The watcher starts the row itself, without the shell's `wine` function.
  launch[i]=$(bench_wine_cmd "${commands[$i]%% *}")
done

end_row() {  # pid title: ends the run hard (Inno's wizard is a child process)
  local wpid
  kill -9 "$1" 2>/dev/null || true
  for wpid in $(xdotool search --name "$2" getwindowpid %@ 2>/dev/null); do
    kill -9 "$wpid" 2>/dev/null || true
  done
  wait "$1" 2>/dev/null || true
  wait_until 10 bash -c "! xdotool search --onlyvisible --name '$2' >/dev/null 2>&1" || true
  # What a killed run leaves behind (our staging and library directories, the
  # peers' temporary folders) goes untimed: otherwise the next run of the row
  # would pay for clearing it, which no first run on a machine does.
  sleep 0.3
  find "$WINEPREFIX/drive_c/ProgramData" -maxdepth 1 \( -name '{*}.tmp' -o -name '{*}.lib' \) -exec rm -rf {} +
  rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/* "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp/*
  sleep 0.2
}

px=() py=()
calibrate() {  # row index: where the row's point lies on the screen
  local i=$1 id x y w h pid
  # shellcheck disable=SC2086
  wine ${commands[$i]} >/dev/null 2>&1 &
  pid=$!
  id=$(timeout 60 xdotool search --sync --onlyvisible --name "${titles[$i]}" | head -1)
  sleep 2
  eval "$(xdotool getwindowgeometry --shell "$id")"
  x=$X y=$Y w=$WIDTH h=$HEIGHT
  read -r dx dy <<<"${points[$i]}"
  px[i]=$((x + dx)) py[i]=$((y + dy))
  # The watcher refuses a point that is green already: here it must be.
  local green=0
  "$watch" "${px[i]}" "${py[i]}" 0 -- true >/dev/null || green=$?
  end_row "$pid" "${titles[$i]}"
  printf '%-12s window %dx%d at %d,%d; point %d,%d\n' "${labels[$i]}" "$w" "$h" "$x" "$y" "${px[i]}" "${py[i]}"
  [ "$green" = 2 ] || { echo "${labels[$i]}: the point is not green once the window is up" >&2; exit 1; }
}

run_once() {  # row index -> milliseconds
  local i=$1 out ms pid rc try
  for try in 1 2 3; do
    rc=0
    # shellcheck disable=SC2086
    out=$("$watch" "${px[i]}" "${py[i]}" 60000 -- ${launch[i]} ${commands[$i]}) || rc=$?
    # 2: the point is green before the start (a window of the last run still
    # fading out): nothing was started, so wait and start again.
    [ "$rc" = 2 ] || break
    sleep 1
  done
  case $rc in
    0) ;;
    1) echo "${labels[$i]}: no frame within 60 s" >&2; return 1 ;;
    *) echo "${labels[$i]}: the watcher failed ($rc)" >&2; return 1 ;;
  esac
  read -r ms pid <<<"$out"
  # Ended hard: what is timed is the start, and the next round starts clean.
  end_row "$pid" "${titles[$i]}"
  echo "$ms"
}

rows=${#labels[@]}
runnable=()
for i in $(seq 0 $((rows - 1))); do [ -n "${skipped[i]}" ] || runnable+=("$i"); done
for i in "${runnable[@]}"; do calibrate "$i"; done
# One unmeasured run each warms the file cache.
for i in "${runnable[@]}"; do run_once "$i" >/dev/null; done

declare -A ms
printf '%-6s' round; printf ' %12s' "${labels[@]}"; printf '   order\n'
orders=$(python3 -c "
import random
r = random.Random(20261209)
for _ in range($rounds):
    o = list(range($rows)); r.shuffle(o); print(' '.join(map(str, o)))")
round=0
while read -r -a order; do
  round=$((round + 1))
  for i in "${order[@]}"; do
    if [ -n "${skipped[i]}" ]; then ms[$round,$i]=-; else ms[$round,$i]=$(run_once "$i"); fi
  done
  printf '%-6s' "$round"
  for i in $(seq 0 $((rows - 1))); do printf ' %12s' "${ms[$round,$i]}"; done
  printf '   %s\n' "$(for i in "${order[@]}"; do [ -n "${skipped[i]}" ] || printf '%s ' "${labels[$i]}"; done)"
done <<<"$orders"

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
column() { local r; for r in $(seq "$rounds"); do echo "${ms[$r,$1]}"; done; }
med=()
for i in $(seq 0 $((rows - 1))); do
  med[i]=-
  # shellcheck disable=SC2046
  [ -n "${skipped[i]}" ] || med[i]=$(median $(column "$i"))
done
printf '%-6s' median; printf ' %12s' "${med[@]}"; printf '\n\n'
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
# Ratios are medians of the per-round ratios: drift of the machine's load
# between rounds hits both sides of each.
round_ratio() {  # row, reference row
  local r
  # shellcheck disable=SC2046
  median $(for r in $(seq "$rounds"); do ratio "${ms[$r,$1]}" "${ms[$r,$2]}"; echo; done)
}
rr=()
echo "| program | median ms | against plain | against ingredients |"
echo "|---|---:|---:|---:|"
for i in $(seq 0 $((rows - 1))); do
  if [ -n "${skipped[i]}" ]; then
    printf '| %s%s | %s | | |\n' "${labels[$i]}" "${notes[i]}" "${skipped[i]}"
    continue
  fi
  rr[i]=$(round_ratio "$i" 1)
  printf '| %s%s | %s | %.2f | %.2f |\n' "${labels[$i]}" "${notes[i]}" "${med[i]}" "$(round_ratio "$i" 0)" "${rr[i]}"
done
echo
against() {  # peer row: the wizard's ratio to it, as the goal line shows it
  if [ -n "${skipped[$1]}" ]; then echo "${skipped[$1]}"; else printf '%.2fx' "$(round_ratio 4 "$1")"; fi
}
printf 'goal: the wizard before NSIS and Inno, and within 1.2x of ingredients: wizard/ingredients %.2fx, wizard/NSIS %s, wizard/Inno %s\n' \
  "${rr[4]}" "$(against 2)" "$(against 3)"
