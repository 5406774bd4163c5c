# Wine prefix management for the test bench (sourced).
# A template per (arch, version) is made once and copied; nothing touches ~/.wine.

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
WINE_ROOT=${PELORIX_WINE_ROOT:-$HOME/.cache/pelorix-wine}
WINE64_LOADER=/usr/lib/wine/wine64

# 32 or 64 for a Windows program file (its PE machine field); nothing for
# anything else, such as a program named by its Windows path.
pe_width() {
  local file=${1:-} offset machine
  [ -f "$file" ] && [ "$(head -c 2 "$file" 2>/dev/null)" = MZ ] || return 0
  offset=$(od -An -tu4 -j60 -N4 "$file" | tr -d ' ')
  [ -n "$offset" ] || return 0
  machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$file" | tr -d ' ')
  case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
  esac
}

# The prefix width a test asks for, unless its program is 64-bit (the x86_64
# flavour): a 32-bit prefix has no room for that.
prefix_arch_for() {  # program [asked: 32 | 64]
  if [ "$(pe_width "$1")" = 64 ]; then echo 64; else echo "${2:-32}"; fi
}

# True for a 64-bit prefix, or one that WINEARCH=win64 is about to create.
_prefix_is_64() {
  [ "${WINEARCH:-}" = win64 ] || head -n 8 "${WINEPREFIX:-$HOME/.wine}/system.reg" 2>/dev/null | grep -qx '#arch=win64'
}

# Debian's `wine` always starts the 32-bit loader, which hands 64-bit programs
# on to wine64. Where the kernel runs no 32-bit code that first step fails
# ("Exec format error"), so in a 64-bit prefix everything but a 32-bit program
# is started by the 64-bit loader directly. Scripts that source this file get
# this `wine`; Wine's own tools are called through it (`wine wineboot`).
wine() {
  if _prefix_is_64 && [ "$(pe_width "${1:-}")" != 32 ]; then
    WINELOADER=$WINE64_LOADER "$WINE64_LOADER" "$@"
  else
    command wine "$@"
  fi
}

if ! _wine_version=$(command wine --version 2>&1) &&
   ! _wine_version=$(WINELOADER=$WINE64_LOADER "$WINE64_LOADER" --version 2>&1); then
  echo "prefix_lib.sh: neither 'wine --version' nor '$WINE64_LOADER --version' works: ${_wine_version:-no output}" >&2
  echo "prefix_lib.sh: Wine cannot run here (scripts/probe_wine32.sh says why)" >&2
  return 1 2>/dev/null || exit 1
fi
# Bump the suffix when what a template contains changes.
WINE_TAG=$(printf '%s\n' "$_wine_version" | tr -c 'A-Za-z0-9.\n-' '_')v3
mkdir -p "$WINE_ROOT"

_winecfg_version() {  # arch winver -> winecfg name
  case "$2" in
    7) echo win7 ;;
    10) echo win10 ;;
    xp) if [ "$1" = 64 ]; then echo winxp64; else echo winxp; fi ;;
    *) echo "unknown Windows version '$2'" >&2; return 1 ;;
  esac
}

# Prints the template directory for (arch, winver), creating it under a lock.
template_prefix() {
  local arch=$1 winver=$2
  local dir="$WINE_ROOT/tmpl-$WINE_TAG-win$arch-$winver"
  if [ ! -f "$dir/.ready" ]; then
    (
      flock 9
      if [ ! -f "$dir/.ready" ]; then
        local tmp="$dir.tmp.$$"
        rm -rf "$tmp"
        if [ "$winver" = 7 ]; then
          WINEPREFIX=$tmp WINEARCH=win$arch wine wineboot -i >/dev/null 2>&1
          # Windows without a display: hidden windows and COM still work.
          WINEPREFIX=$tmp wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
          # A crash ends the process instead of starting a debugger that
          # waits for nobody.
          WINEPREFIX=$tmp wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
            /v Debugger /d '' /f >/dev/null 2>&1
          WINEPREFIX=$tmp wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
            /v Auto /d 0 /f >/dev/null 2>&1
          map_interface_fonts "$tmp"
        else
          cp -a "$(template_prefix "$arch" 7)" "$tmp"
          rm -f "$tmp/.ready"
          WINEPREFIX=$tmp wine winecfg -v "$(_winecfg_version "$arch" "$winver")" >/dev/null 2>&1
        fi
        WINEPREFIX=$tmp wineserver -w
        touch "$tmp/.ready"
        mv "$tmp" "$dir"
      fi
    ) 9>"$WINE_ROOT/.lock-win$arch-$winver" >&2
  fi
  echo "$dir"
}

# The network namespace this shell runs in, as a name part.
net_namespace_tag() {
  local ns
  ns=$(readlink /proc/self/ns/net 2>/dev/null) || ns=none
  printf 'net%s' "${ns//[!0-9]/}"
}

# A prefix shared by the tests that do not need a clean machine. One per
# network namespace: Wine makes its sockets in the wineserver, so a persistent
# server started by a test run inside its own loopback (tests/support/
# own_loopback.sh) would connect a later run's programs to that namespace.
shared_prefix() {
  local arch=$1 winver=$2
  local dir="$WINE_ROOT/shared-$WINE_TAG-win$arch-$winver-$(net_namespace_tag)"
  if [ ! -f "$dir/.ready" ]; then
    local tmpl
    tmpl=$(template_prefix "$arch" "$winver")
    (
      flock 9
      if [ ! -f "$dir/.ready" ]; then
        rm -rf "$dir.tmp"
        cp -a "$tmpl" "$dir.tmp"
        mv "$dir.tmp" "$dir"
      fi
    ) 9>"$WINE_ROOT/.lock-shared-win$arch-$winver"
  fi
  start_server "$dir"
  echo "$dir"
}

# Keeps the server (and Wine's services) up between the many short test
# processes; it ends by itself a minute after the last one. The services are
# booted here with their output on /dev/null: had a test process started them,
# they would hold CTest's output pipe open until they exit.
start_server() {
  local dir=$1
  (
    flock 9
    # The lock descriptor is closed for the server and the services: they
    # outlive this block and would otherwise hold the lock with them.
    if WINEPREFIX=$dir wineserver -p60 </dev/null >/dev/null 2>&1 9>&-; then
      WINEPREFIX=$dir wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
  ) 9>"$dir.server-lock"
}

# A throw-away Windows 7 prefix of the program's width becomes WINEPREFIX for
# the rest of the calling script and is removed when that script exits.
use_fresh_prefix_for() {  # program
  _fresh_prefix=$(new_fresh_prefix "$(prefix_arch_for "$1")" 7) || return 1
  trap 'discard_prefix "$_fresh_prefix"' EXIT
  export WINEPREFIX=$_fresh_prefix
}

# Prints a new prefix made from the template. The folder is made here, or
# given (empty) by a caller that must know it before it is filled. Every step
# is checked: with an empty name (a full disk makes mktemp fail) the copy
# would land in the root directory.
new_fresh_prefix() {  # arch winver [folder]
  local arch=$1 winver=$2 dir=${3:-} tmpl
  tmpl=$(template_prefix "$arch" "$winver") && [ -n "$tmpl" ] && [ -f "$tmpl/.ready" ] ||
    { echo "prefix_lib.sh: no template for win$arch-$winver" >&2; return 1; }
  if [ -z "$dir" ]; then
    dir=$(mktemp -d "${TMPDIR:-/tmp}/pelorix-prefix.XXXXXX") && [ -n "$dir" ] ||
      { echo "prefix_lib.sh: cannot make a prefix folder (disk full?)" >&2; return 1; }
  fi
  if ! cp -a "$tmpl/." "$dir/"; then
    rm -rf "$dir"
    echo "prefix_lib.sh: cannot copy the template into $dir (disk full?)" >&2
    return 1
  fi
  start_server "$dir"
  echo "$dir"
}

discard_prefix() {
  local dir=$1
  [ -n "$dir" ] || return 0
  WINEPREFIX=$dir wineserver -k >/dev/null 2>&1 || true
  rm -f "$dir.server-lock"
  if [ -z "${PELORIX_KEEP_PREFIX:-}" ]; then rm -rf "$dir"; else echo "kept prefix $dir" >&2; fi
}

use_display_driver() {
  WINEPREFIX=$1 wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
}

# The setup's interface faces (and the dialog faces Wine draws system dialogs
# with) mapped onto the Chinese font Debian ships (fonts-wqy-microhei), so that
# Chinese text renders in every prefix.
map_interface_fonts() {
  local prefix=$1 face
  for face in "微软雅黑" "Microsoft YaHei" "Microsoft YaHei UI" "宋体" "新細明體"; do
    WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
      /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
  done
  for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
    WINEPREFIX=$prefix wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1
  done
}
