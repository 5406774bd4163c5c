#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix made from a cached template.
#
#   wine_run.sh [--arch 32|64] [--winver 7|10|xp] [--fresh] [--display] [--] program [args...]
#
# --arch     32-bit prefix (default) or 64-bit WOW64 prefix. A 64-bit program
#            (the x86_64 flavour) always gets a 64-bit prefix and loader.
# --winver   the Windows version the prefix reports (default 7).
# --fresh    a throw-away copy of the template, removed afterwards; without it
#            a shared prefix per arch/version is used (for tests that change
#            no machine state, or that serialise on a CTest resource lock).
# --display  use the X display in $DISPLAY instead of Wine's null driver.
#
# The exit code is the program's. Templates live in $PELORIX_WINE_ROOT
# (default ~/.cache/pelorix-wine) and are made once per Wine version.
set -euo pipefail

arch=32 winver=7 fresh=0 display=0
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=$2; shift 2 ;;
    --winver) winver=$2; shift 2 ;;
    --fresh) fresh=1; shift ;;
    --display) display=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [options] program [args...]" >&2; exit 2; }

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/wine/prefix_lib.sh
. "$here/prefix_lib.sh"

# Tests that ask for a 32-bit prefix expect 32-bit behaviour and skip
# themselves when built for x86_64.
arch=$(prefix_arch_for "$1" "$arch")

if [ "$fresh" = 1 ]; then
  prefix=$(new_fresh_prefix "$arch" "$winver") || exit 125
  trap 'discard_prefix "$prefix"' EXIT
else
  prefix=$(shared_prefix "$arch" "$winver") && [ -n "$prefix" ] || exit 125
fi
export WINEPREFIX=$prefix
[ "$display" = 1 ] && use_display_driver "$prefix"

program=$1; shift
set +e
wine "$program" "$@"
rc=$?
set -e
exit $rc
