# Drives the packaged setup's wizard on an Xvfb display with real pointer and
# keyboard input (xdotool), in throw-away Wine prefixes (sourced).
#
# Wizard coordinates are client coordinates of the 690 x 446 window; the
# window's screen position is looked up once it is mapped.

here_ui=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/wine/prefix_lib.sh
. "$here_ui/../wine/prefix_lib.sh"

UI_SCREEN=${UI_SCREEN:-1024x768x24}
WIZ_X=0 WIZ_Y=0 WIZ_WID=""

# Starts Xvfb on a free display number and exports DISPLAY.
start_xvfb() {
  local n
  for n in $(seq 71 99); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "$UI_SCREEN" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do
      if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 || [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null || true
  done
  echo "no display could be started" >&2
  return 1
}

stop_xvfb() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  wait "${XVFB_PID:-}" 2>/dev/null || true
}

# A fresh prefix on the display, exported as WINEPREFIX. The template's
# server and services were started with the null driver: they are restarted
# once the prefix has the display.
ui_prefix() {  # the program the prefix is for
  WINEPREFIX=$(new_fresh_prefix "$(prefix_arch_for "$1")" 7)
  export WINEPREFIX
  use_display_driver "$WINEPREFIX"
  map_interface_fonts "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  start_server "$WINEPREFIX"
}

ui_prefix_discard() {
  [ -n "${WINEPREFIX:-}" ] && discard_prefix "$WINEPREFIX"
  unset WINEPREFIX
}

# Starts the setup with arguments in the background; SETUP_PID is the wine
# process that waits for it.
launch_setup() {
  local exe=$1; shift
  wine "$exe" "$@" >/dev/null 2>&1 &
  SETUP_PID=$!
}

# Waits until the setup's wine process has ended (seconds; 1 on timeout).
wait_setup_exit() {
  local timeout=${1:-30} i
  for i in $(seq $((timeout * 10))); do
    kill -0 "$SETUP_PID" 2>/dev/null || { wait "$SETUP_PID" 2>/dev/null; return 0; }
    sleep 0.1
  done
  return 1
}

# Prints the id of the first visible window named `name`, waiting up to
# `timeout` seconds.
wait_window() {
  local name=$1 timeout=${2:-30} i id
  for i in $(seq $((timeout * 10))); do
    id=$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Prints the id of the first visible window of exactly `w` x `h` pixels (the
# setup's message box has no title), waiting up to `timeout` seconds.
wait_sized_window() {
  local w=$1 h=$2 timeout=${3:-30} i id geo
  for i in $(seq $((timeout * 10))); do
    for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
      geo=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)
      if grep -qx "WIDTH=$w" <<<"$geo" && grep -qx "HEIGHT=$h" <<<"$geo"; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# Finds the wizard and remembers where it is on the screen.
find_wizard() {
  WIZ_WID=$(wait_window Pelorix "${1:-60}") || return 1
  local geo
  geo=$(xdotool getwindowgeometry --shell "$WIZ_WID")
  WIZ_X=$(echo "$geo" | sed -n 's/^X=//p')
  WIZ_Y=$(echo "$geo" | sed -n 's/^Y=//p')
}

wizard_visible() {
  xdotool search --onlyvisible --name '^Pelorix$' >/dev/null 2>&1
}

# Moves the pointer to wizard point (x, y) and clicks the left button.
click_at() {
  xdotool mousemove $((WIZ_X + $1)) $((WIZ_Y + $2))
  sleep 0.15
  xdotool click 1
  sleep 0.3
}

# Prints the colour at wizard point (x, y) as "r,g,b" (0-255).
pixel_at() {
  import -silent -window root -crop "1x1+$((WIZ_X + $1))+$((WIZ_Y + $2))" txt:- 2>/dev/null |
    sed -n '2p' | sed -E 's/.*\(([0-9.]+),([0-9.]+),([0-9.]+).*/\1,\2,\3/' |
    awk -F, '{printf "%d,%d,%d\n", $1, $2, $3}'
}

# True when wizard point (x, y) is green: the accent of the large buttons.
is_green_at() {
  local c r g b
  c=$(pixel_at "$1" "$2")
  IFS=, read -r r g b <<<"$c"
  [ "${g:-0}" -gt 120 ] && [ "${g:-0}" -gt $((${r:-0} + 40)) ] && [ "${g:-0}" -gt $((${b:-0} + 20)) ]
}

# True when wizard point (x, y) is reddish (the directory warning's text).
is_red_at() {
  local c r g b
  c=$(pixel_at "$1" "$2")
  IFS=, read -r r g b <<<"$c"
  [ "${r:-0}" -gt 150 ] && [ "${r:-0}" -gt $((${g:-0} + 60)) ]
}

# Counts reddish pixels in the wizard rectangle (x, y, w, h).
red_pixels_in() {
  import -silent -window root -crop "$3x$4+$((WIZ_X + $1))+$((WIZ_Y + $2))" txt:- 2>/dev/null |
    sed -n '2,$p' | sed -E 's/.*\(([0-9.]+),([0-9.]+),([0-9.]+).*/\1 \2 \3/' |
    awk '$1 > 150 && $1 > $2 + 60 {n++} END {print n + 0}'
}

# Waits until `predicate args...` holds (seconds).
wait_until() {
  local timeout=$1 i; shift
  for i in $(seq $((timeout * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Saves the wizard's rectangle of the screen as a PNG.
shoot_wizard() {
  import -silent -window root -crop "690x446+$WIZ_X+$WIZ_Y" +repage "$1"
}

# Saves the rectangle of window `id` as a PNG.
shoot_window() {
  local geo x y w h
  geo=$(xdotool getwindowgeometry --shell "$1")
  x=$(echo "$geo" | sed -n 's/^X=//p'); y=$(echo "$geo" | sed -n 's/^Y=//p')
  w=$(echo "$geo" | sed -n 's/^WIDTH=//p'); h=$(echo "$geo" | sed -n 's/^HEIGHT=//p')
  import -silent -window root -crop "${w}x${h}+$x+$y" +repage "$2"
}

# Unix path of a file in the prefix's ProgramData.
program_data() { echo "$WINEPREFIX/drive_c/ProgramData/$1"; }

# Product launches the sample product logged (one command line a line).
launches_log() { program_data "PelorixSample/launches.log"; }
