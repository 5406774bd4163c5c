#!/usr/bin/env bash
# Startup benchmark: time from process start to the first frame on the screen,
# the packaged setup's wizard against a program that shows one plain window,
# side by side under Wine on an Xvfb display, in one throw-away prefix.
# A third program is the plain one with what the wizard cannot do without:
# a COM apartment, the common controls and a layered window whose frame GDI+
# composes. Prints every round and the medians; the goal is the wizard within
# 1.5x of the plain window.
#
#   ROUNDS=7 scripts/bench_startup.sh
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELORIX_BUILD_DIR:-$top/build}
rounds=${ROUNDS:-7}
cmake --build "$build" --target setup_package bench_startup_plain >/dev/null
setup=$build/package/Install.exe
plain=$build/bin/bench_startup_plain.exe

# shellcheck source=tests/ui_e2e/ui_driver_lib.sh
. "$top/tests/ui_e2e/ui_driver_lib.sh"
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
ui_prefix
# An idle Wine process keeps the services up, so no run pays for their start.
wine "$plain" --idle >/dev/null 2>&1 &
idle_pid=$!
sleep 2

# Both windows are 690 x 446 and centred: this point is the wizard's
# "立即安装" button and the middle of the plain window.
read -r sw sh < <(xdpyinfo 2>/dev/null | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\) .*/\1 \2/p')
px=$(( (sw - 690) / 2 + 350 )) py=$(( (sh - 446) / 2 + 314 ))

run_once() {  # label program [arguments] -> milliseconds
  local out ms pid
  out=$("$watch" "$px" "$py" 60000 -- wine "${@:2}") || { echo "$1: no frame within 60 s" >&2; return 1; }
  read -r ms pid <<<"$out"
  # Ended hard: what is timed is the start, and the next round starts clean.
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  wait_until 10 bash -c "! xdotool search --onlyvisible --name '^(Pelorix|Plain)\$' >/dev/null 2>&1"
  sleep 0.5
  echo "$ms"
}

ingredients=(--com --common-controls --layered-gdiplus)
# One unmeasured run each warms the file cache.
run_once plain "$plain" >/dev/null
run_once ingredients "$plain" "${ingredients[@]}" >/dev/null
run_once wizard "$setup" >/dev/null
plain_ms=() ingredients_ms=() wizard_ms=()
printf '%-6s %12s %14s %12s\n' round "plain ms" "ingredients ms" "wizard ms"
for i in $(seq "$rounds"); do
  p=$(run_once plain "$plain")
  g=$(run_once ingredients "$plain" "${ingredients[@]}")
  w=$(run_once wizard "$setup")
  plain_ms+=("$p") ingredients_ms+=("$g") wizard_ms+=("$w")
  printf '%-6s %12s %14s %12s\n' "$i" "$p" "$g" "$w"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
mp=$(median "${plain_ms[@]}") mg=$(median "${ingredients_ms[@]}") mw=$(median "${wizard_ms[@]}")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
printf '%-6s %12s %14s %12s\n' median "$mp" "$mg" "$mw"
echo "ingredients / plain = $(ratio "$mg" "$mp")x"
echo "wizard / ingredients = $(ratio "$mw" "$mg")x"
echo "wizard / plain = $(ratio "$mw" "$mp")x (goal: within 1.5x)"
