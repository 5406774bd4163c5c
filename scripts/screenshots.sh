#!/usr/bin/env bash
# Photographs the packaged setup under Wine on an Xvfb display: the wizard's
# welcome, custom, progress and finish pages and the setup's message box (OK,
# and Yes/No), into docs/screenshots/.
#
#   scripts/screenshots.sh [path/to/package/Install.exe]
#
# Default: the packaged setup of $PELORIX_BUILD_DIR (else build/).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
setup=${1:-${PELORIX_BUILD_DIR:-$top/build}/package/Install.exe}
out=$top/docs/screenshots
[ -f "$setup" ] || { echo "no packaged setup at $setup" >&2; exit 2; }
mkdir -p "$out"

# shellcheck source=tests/ui_e2e/ui_driver_lib.sh
. "$top/tests/ui_e2e/ui_driver_lib.sh"

start_xvfb
trap 'stop_xvfb; ui_prefix_discard' EXIT
on_progress() { is_green_at 43 301; }
on_finish() { is_green_at 345 346 && ! is_green_at 43 301; }
on_custom() { is_green_at 595 391 && ! is_green_at 350 314; }
on_welcome() { is_green_at 350 314 && ! is_green_at 345 346; }

shoot_box() {  # the message box that appears next, as $1
  local box
  box=$(wait_sized_window 420 180 60) || { echo "no message box appeared" >&2; return 1; }
  sleep 0.5
  shoot_window "$box" "$1"
  echo "$box"
}

# The four pages, in one install.
ui_prefix
launch_setup "$setup"
find_wizard 90
wait_until 20 on_welcome
sleep 0.5
shoot_wizard "$out/welcome.png"
click_at 616 400
wait_until 5 on_custom
# Away from the buttons, so none shows its hover state.
xdotool mousemove $((WIZ_X + 300)) $((WIZ_Y + 250))
sleep 0.3
shoot_wizard "$out/custom.png"
click_at 459 391
wait_until 5 on_welcome
click_at 350 314
wait_until 30 on_progress
xdotool mousemove $((WIZ_X + 300)) $((WIZ_Y + 250))
sleep 0.4
shoot_wizard "$out/progress.png"
wait_until 240 on_finish
xdotool mousemove $((WIZ_X + 300)) $((WIZ_Y + 250))
sleep 0.3
shoot_wizard "$out/finish.png"
xdotool key --window "$WIZ_WID" alt+F4
wait_setup_exit 30
ui_prefix_discard

# The OK box: a second copy while the first runs.
ui_prefix
launch_setup "$setup"
first=$SETUP_PID
find_wizard 90
wait_until 20 on_welcome
launch_setup "$setup"
box=$(shoot_box "$out/message_box_ok.png")
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove $((X + 210)) $((Y + 146)) click 1
wait_setup_exit 30
SETUP_PID=$first
click_at 651 38
wait_setup_exit 30
ui_prefix_discard

# The Yes/No box: a setup whose appended payload is cut short.
ui_prefix
cut=$WINEPREFIX/drive_c/Install.exe
head -c $(( $(stat -c %s "$setup") - 4096 )) "$setup" >"$cut"
launch_setup "$cut"
box=$(shoot_box "$out/message_box_yesno.png")
eval "$(xdotool getwindowgeometry --shell "$box")"
# "否" (No): nothing is downloaded.
xdotool mousemove $((X + 355)) $((Y + 146)) click 1
wait_setup_exit 30
ui_prefix_discard

ls -l "$out"
