#!/usr/bin/env bash
# Clicks through the packaged setup's wizard on an Xvfb display, one scenario
# per call, each in a throw-away Wine prefix:
#
#   wizard_clicks.sh --setup Install.exe --probe wizard_probe.exe
#                    [--stat-log requests.log] SCENARIO...
#
# With --stat-log the statistics are read from the log of a loopback server
# that is already running (the tests' fixture); otherwise one is started on
# the statistics port for the run. Each scenario's setup carries a channel id
# of its own, by which its requests are told from others'.
#
# Scenarios: install_and_launch, custom_without_shortcuts, unusable_directory,
# close_ignored_while_installing, nostart, second_copy, drag_window. Prints PASS or FAIL
# with the reason per scenario; the exit code is the number of failures.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../.." && pwd)
# shellcheck source=tests/ui_e2e/ui_driver_lib.sh
. "$here/ui_driver_lib.sh"

setup="" probe="" stat_log=""
while [ $# -gt 0 ]; do
  case $1 in
    --setup) setup=$2; shift 2 ;;
    --probe) probe=$2; shift 2 ;;
    --stat-log) stat_log=$2; shift 2 ;;
    *) break ;;
  esac
done
[ -f "$setup" ] && [ -f "$probe" ] && [ $# -gt 0 ] || {
  echo "usage: $0 --setup Install.exe --probe wizard_probe.exe scenario..." >&2
  exit 2
}

# Wizard points (client coordinates) of the controls the scenarios use.
INSTALL_NOW="350 314"     # "立即安装", lower welcome group
CUSTOM_LINK="616 400"     # custom-install link
BACK="459 391"            # "返回"
INSTALL="595 391"         # "安装"
DESKTOP_CHECK="42 404"
START_MENU_CHECK="161 404"
BROWSE="635 328"
CLOSE="651 38"
MINIMISE="618 38"
LAUNCH="345 326"          # "立即体验"

STAT_PORT=18233
fail_reason=""

# Page tests by the colours the design puts there.
on_welcome() { is_green_at 350 314 && ! is_green_at 345 346; }
on_custom() { is_green_at 595 391 && ! is_green_at 350 314; }
# The bar's 1 % sliver shows from the first moment.
on_progress() { is_green_at 43 301; }
on_finish() { is_green_at 345 346 && ! is_green_at 43 301; }
progress_or_finish() { on_progress || on_finish; }
warning_shown() { [ "$(red_pixels_in 15 350 660 24)" -gt 20 ]; }

check() {  # check "what failed" command...
  local what=$1; shift
  if ! "$@"; then
    fail_reason=${fail_reason:-$what}
    return 1
  fi
}

probe_state() { wine "$probe" state 2>/dev/null | tr -d '\r'; }

lnk_count() {
  find "$WINEPREFIX/drive_c" \( -name 'Pelorix.lnk' -o -name '卸载Pelorix.lnk' \) 2>/dev/null | wc -l
}

launched_with() {  # the sample product's launch log holds a line ending in $1
  local log
  log=$(launches_log)
  [ -f "$log" ] && tr -d '\r' <"$log" | grep -q -- "$1\$"
}

nothing_launched() { [ ! -s "$(launches_log)" ]; }

# The statistics the setup sends land in $STAT_LOG; empty when no server
# could be had.
start_stat_server() {
  STAT_ROOT="" STAT_LOG=$stat_log
  [ -n "$STAT_LOG" ] && return 0
  STAT_ROOT=$(mktemp -d)
  if python3 "$top/tests/support/loopback_http_server.py" start --root "$STAT_ROOT" \
       --port "$STAT_PORT" --pidfile "$STAT_ROOT/server.pid" --answer-all >/dev/null 2>&1; then
    STAT_LOG=$STAT_ROOT/requests.log
  else
    echo "note: port $STAT_PORT is taken; statistics are not checked" >&2
    rm -rf "$STAT_ROOT"
    STAT_ROOT=""
  fi
}

stop_stat_server() {
  [ -n "${STAT_ROOT:-}" ] || return 0
  python3 "$top/tests/support/loopback_http_server.py" stop --pidfile "$STAT_ROOT/server.pid" \
    >/dev/null 2>&1
  rm -rf "$STAT_ROOT"
}

stat_sent() {  # this scenario's setup reported an action (and optional text)
  [ -z "${STAT_LOG:-}" ] && return 0
  local i
  # Asynchronous events may arrive a moment after the setup has ended.
  for i in $(seq 30); do
    grep "pid=$STAT_MARK&" "$STAT_LOG" 2>/dev/null | grep "action=$1" | grep -q -- "${2:-}" &&
      return 0
    sleep 0.1
  done
  return 1
}

# The setup under test, with this scenario's channel id.
run_setup() { launch_setup "$setup" "--pid=$STAT_MARK" "$@"; }

# Walks from "立即安装" (or "安装") through progress to the finish page.
install_to_finish() {
  local button=$1
  # shellcheck disable=SC2086
  click_at $button
  check "no progress page after the install request" wait_until 30 on_progress || return 1
  check "no finish page" wait_until 240 on_finish
}

scenario_install_and_launch() {
  run_setup --mainapp=--tab=1
  check "no wizard window" find_wizard 90 || return
  check "no welcome page" wait_until 20 on_welcome || return
  shoot_wizard "$ARTIFACTS/install_and_launch_welcome.png"
  install_to_finish "$INSTALL_NOW" || return
  check "shortcuts missing after a default install" [ "$(lnk_count)" -ge 1 ]
  # shellcheck disable=SC2086
  click_at $LAUNCH
  check "setup did not end after 立即体验" wait_setup_exit 60 || return
  check "product not started with --from=setup --tab=1" launched_with "--from=setup --tab=1"
  check "install_success not reported" stat_sent install_success
}

scenario_custom_without_shortcuts() {
  run_setup
  check "no wizard window" find_wizard 90 || return
  check "no welcome page" wait_until 20 on_welcome || return
  # shellcheck disable=SC2086
  click_at $CUSTOM_LINK
  check "custom link did not open the custom controls" wait_until 5 on_custom || return
  # shellcheck disable=SC2086
  click_at $BACK
  check "返回 did not bring the welcome controls back" wait_until 5 on_welcome || return
  # shellcheck disable=SC2086
  click_at $CUSTOM_LINK
  check "custom link did not open the custom controls again" wait_until 5 on_custom || return
  # shellcheck disable=SC2086
  click_at $DESKTOP_CHECK
  # shellcheck disable=SC2086
  click_at $START_MENU_CHECK
  shoot_wizard "$ARTIFACTS/custom_unchecked.png"
  install_to_finish "$INSTALL" || return
  check "shortcuts were created with both boxes cleared" [ "$(lnk_count)" -eq 0 ]
  # shellcheck disable=SC2086
  click_at $LAUNCH
  check "setup did not end" wait_setup_exit 60 || return
  check "product not started" launched_with "--from=setup"
}

browse_ok_enabled() {
  wine "$probe" browse 2>/dev/null | tr -d '\r' | grep -q "ok_enabled=$1"
}

# Chooses C:\blocked in the folder browser; C:\blocked\Pelorix is a file, so
# the install task rejects the resulting directory. On the way the browser's
# OK button must refuse My Computer (no file-system path) and D: (removable).
choose_blocked_folder() {
  local dialog
  # shellcheck disable=SC2086
  click_at $BROWSE
  dialog=$(wait_window "Browse for Folder" 20) || return 1
  sleep 0.5
  # Desktop is selected: down to My Computer.
  xdotool key --window "$dialog" Down Down Down
  sleep 0.5
  check "OK enabled for My Computer" browse_ok_enabled 0 || return 1
  # Open it; C: comes first, then the removable D:.
  xdotool key --window "$dialog" Right
  sleep 0.5
  xdotool key --window "$dialog" Down Down
  sleep 0.5
  check "OK enabled for a removable drive" browse_ok_enabled 0 || return 1
  xdotool key --window "$dialog" Up
  sleep 0.5
  check "OK disabled for the fixed drive C:" browse_ok_enabled 1 || return 1
  # Open C: and type-ahead to the folder.
  xdotool key --window "$dialog" Right
  sleep 0.8
  xdotool type --window "$dialog" --delay 60 blocked
  sleep 0.5
  shoot_window "$dialog" "$ARTIFACTS/folder_browser.png"
  xdotool key --window "$dialog" Return
  wait_until 10 bash -c "! xdotool search --onlyvisible --name '^Browse for Folder\$' >/dev/null 2>&1"
}

# A removable drive D: in the prefix.
add_removable_drive() {
  mkdir -p "$WINEPREFIX/drive_d"
  ln -sfn ../drive_d "$WINEPREFIX/dosdevices/d:"
  wine reg add 'HKLM\Software\Wine\Drives' /v 'd:' /d floppy /f >/dev/null 2>&1
  # The mount manager reads the drives when it starts.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  start_server "$WINEPREFIX"
}

scenario_unusable_directory() {
  mkdir -p "$WINEPREFIX/drive_c/blocked"
  echo "in the way" >"$WINEPREFIX/drive_c/blocked/Pelorix"
  add_removable_drive
  run_setup
  check "no wizard window" find_wizard 90 || return
  check "no welcome page" wait_until 20 on_welcome || return
  # shellcheck disable=SC2086
  click_at $CUSTOM_LINK
  check "custom controls not shown" wait_until 5 on_custom || return
  choose_blocked_folder || { check "folder browser did not return" false; return; }
  check "no warning after choosing an unusable folder" wait_until 5 warning_shown || return
  # shellcheck disable=SC2086
  click_at $INSTALL
  sleep 2
  check "install started into an unusable directory" on_custom || return
  check "warning gone after the rejected request" warning_shown || return
  shoot_wizard "$ARTIFACTS/unusable_directory.png"
  check "fail with errcode 1 not reported" stat_sent fail 'errcode.*=1'
  # shellcheck disable=SC2086
  click_at $CLOSE
  check "setup did not end on the close button" wait_setup_exit 30 || return
  check "product started although nothing was installed" nothing_launched
}

scenario_close_ignored_while_installing() {
  run_setup
  check "no wizard window" find_wizard 90 || return
  check "no welcome page" wait_until 20 on_welcome || return
  # shellcheck disable=SC2086
  click_at $INSTALL_NOW
  check "no progress page" wait_until 30 on_progress || return
  # The close button and Alt+F4 while the files are copied.
  # shellcheck disable=SC2086
  click_at $CLOSE
  xdotool key --window "$WIZ_WID" alt+F4
  sleep 1
  # The install may end at any moment, and a page change takes a few frames:
  # the wizard must still be there, on the progress page or already done.
  check "wizard closed while installing" wizard_visible || return
  check "progress page left on close" wait_until 2 progress_or_finish || return
  check "no finish page" wait_until 240 on_finish || return
  # On the finish page Alt+F4 quits, without starting the product.
  xdotool key --window "$WIZ_WID" alt+F4
  check "Alt+F4 on the finish page did not quit" wait_setup_exit 30 || return
  check "product started on close" nothing_launched
}

scenario_nostart() {
  run_setup --nostart --mainapp=--tab=1
  check "no wizard window" find_wizard 90 || return
  check "no welcome page" wait_until 20 on_welcome || return
  install_to_finish "$INSTALL_NOW" || return
  # shellcheck disable=SC2086
  click_at $LAUNCH
  check "setup did not end after 立即体验" wait_setup_exit 60 || return
  check "product started despite nostart" nothing_launched
}

scenario_second_copy() {
  local first_pid box state
  run_setup
  first_pid=$SETUP_PID
  check "no wizard window" find_wizard 90 || return
  check "no welcome page" wait_until 20 on_welcome || return
  # shellcheck disable=SC2086
  click_at $MINIMISE
  state=$(probe_state)
  check "minimise button did not minimise ($state)" grep -q "iconic=1" <<<"$state" || return
  run_setup
  box=$(wait_sized_window 420 180 30)
  check "second copy showed no message box" [ -n "$box" ] || return
  shoot_window "$box" "$ARTIFACTS/second_copy_box.png"
  eval "$(xdotool getwindowgeometry --shell "$box")"
  xdotool mousemove $((X + 210)) $((Y + 146)) click 1
  check "second copy did not end" wait_setup_exit 30 || return
  state=$(probe_state)
  check "wizard not brought back ($state)" grep -q "visible=1 iconic=0 foreground=1" <<<"$state" ||
    return
  SETUP_PID=$first_pid
  check "wizard not usable after coming back" wait_until 10 on_welcome || return
  # shellcheck disable=SC2086
  click_at $CLOSE
  check "first copy did not end on close" wait_setup_exit 30
}

# The borderless wizard follows a press-and-drag on its background, and
# still answers its buttons where it lands.
scenario_drag_window() {
  local x0=0 y0=0 step
  run_setup
  check "no wizard window" find_wizard 90 || return
  check "no welcome page" wait_until 20 on_welcome || return
  x0=$WIZ_X y0=$WIZ_Y
  xdotool mousemove $((x0 + 100)) $((y0 + 380))
  sleep 0.2
  xdotool mousedown 1
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((x0 + 100 + step * 10)) $((y0 + 380 + step * 6))
    sleep 0.05
  done
  xdotool mouseup 1
  sleep 0.5
  find_wizard 5
  check "wizard not dragged: at $WIZ_X,$WIZ_Y, was at $x0,$y0" \
    [ $((WIZ_X - x0)) -ge 70 -a $((WIZ_Y - y0)) -ge 40 ] || return
  shoot_wizard "$ARTIFACTS/drag_window_moved.png"
  check "welcome page not where the wizard went" wait_until 5 on_welcome || return
  # shellcheck disable=SC2086
  click_at $CLOSE
  check "setup did not end on close" wait_setup_exit 30
}

run_scenario() {
  local name=$1
  fail_reason=""
  STAT_MARK=uie2e$$$name
  ui_prefix "$setup"
  start_stat_server
  "scenario_$name"
  # What the screen showed when the scenario failed, before anything is ended.
  [ -n "$fail_reason" ] && import -silent -window root "$ARTIFACTS/${name}_failure.png" 2>/dev/null
  [ -n "${SETUP_PID:-}" ] && kill -0 "$SETUP_PID" 2>/dev/null && wineserver -k >/dev/null 2>&1
  stop_stat_server
  if [ -n "$fail_reason" ]; then
    echo "FAIL $name: $fail_reason"
    ui_prefix_discard
    return 1
  fi
  echo "PASS $name"
  ui_prefix_discard
}

ARTIFACTS=${UI_E2E_ARTIFACTS:-$(mktemp -d)}
mkdir -p "$ARTIFACTS"
start_xvfb || exit 2
trap 'stop_xvfb; ui_prefix_discard' EXIT
failures=0
for scenario in "$@"; do
  if ! declare -F "scenario_$scenario" >/dev/null; then
    echo "unknown scenario $scenario" >&2
    failures=$((failures + 1))
    continue
  fi
  run_scenario "$scenario" || failures=$((failures + 1))
done
echo "artifacts in $ARTIFACTS"
exit "$failures"
