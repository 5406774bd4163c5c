#!/usr/bin/env bash
# Finds out once per machine whether Wine can run 32-bit Windows programs
# here, and remembers the answer in $DEPS_DIR/wine32.status ("yes" or "no",
# then the reason). Some hosts run a kernel without IA-32 emulation: Wine's
# 32-bit loader then fails with "Exec format error", or a user-mode emulator
# takes minutes per process. Either way 32-bit counts as "cannot".
#
#   probe_wine32.sh           probe unless already known; prints the verdict
#   probe_wine32.sh --quiet   only the exit code: 0 can, 1 cannot
#   probe_wine32.sh --reason  the reason in one line, and the exit code
#
# PELORIX_WINE32=no makes the answer "cannot" without probing, to try the
# path of such machines (the x86_64 flavour) on one that can.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/deps.env
. "$here/scripts/deps.env"
mode=${1:-verdict}
case $mode in
  verdict | --quiet | --reason) ;;
  *) echo "usage: $0 [--quiet | --reason]" >&2; exit 2 ;;
esac
case ${PELORIX_WINE32:-} in
  "") ;;
  no)
    case $mode in
      verdict) echo "[probe] 32-bit Windows programs are taken not to run here (PELORIX_WINE32=no); the x86_64 flavour stands in." ;;
      --reason) echo "32-bit Windows programs are taken not to run here (PELORIX_WINE32=no)" ;;
    esac
    exit 1
    ;;
  *) echo "probe_wine32.sh: PELORIX_WINE32 may only be 'no' (or unset), not '$PELORIX_WINE32'" >&2; exit 2 ;;
esac

status=$DEPS_DIR/wine32.status
# The answer belongs to this kernel and this Wine; a new one asks again.
key="$(uname -r) $(dpkg-query -W -f='${Version}' wine32:i386 2>/dev/null || echo none)"

if [ ! -f "$status" ] || [ "$(sed -n 3p "$status")" != "$key" ]; then
  mkdir -p "$DEPS_DIR"
  work=$(mktemp -d)
  trap 'WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  verdict=no
  if ! command -v i686-w64-mingw32-gcc >/dev/null 2>&1; then
    reason="the mingw-w64 i686 compiler is missing (run scripts/bootstrap.sh)"
  elif [ ! -x /usr/lib/wine/wine ]; then
    reason="Debian's 32-bit Wine (wine32:i386) is not installed"
  else
    printf 'int main(void) { return 42; }\n' >"$work/probe.c"
    i686-w64-mingw32-gcc -O1 -o "$work/probe.exe" "$work/probe.c"
    # A fresh prefix is part of the probe: making one runs a dozen 32-bit
    # processes, which is what every test will do. Two minutes is generous
    # for real hardware and far too little for an emulator.
    set +e
    out=$(WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
      timeout 120 wine "$work/probe.exe" 2>&1)
    rc=$?
    set -e
    case $rc in
      42) verdict=yes; reason="a 32-bit Windows program ran under Wine" ;;
      124) reason="a 32-bit Windows program did not finish under Wine within 120 s (an emulator, not the CPU, would be running it)" ;;
      *) reason="a 32-bit Windows program failed under Wine (exit $rc: $(printf '%s' "$out" | grep -v '^$' | tail -n 1 | cut -c1-160))" ;;
    esac
    if [ "$verdict" = no ] && dmesg 2>/dev/null | grep -qi 'IA-32 emulation off'; then
      reason="$reason; the kernel says IA-32 emulation is off"
    fi
  fi
  printf '%s\n%s\n%s\n' "$verdict" "$reason" "$key" >"$status"
fi

verdict=$(sed -n 1p "$status")
reason=$(sed -n 2p "$status")
if [ "$mode" = --reason ]; then
  if [ "$verdict" = yes ]; then echo "32-bit Windows programs run here: $reason"
  else echo "32-bit Windows programs cannot run here: $reason"; fi
elif [ "$mode" = verdict ]; then
  if [ "$verdict" = yes ]; then
    echo "[probe] 32-bit Windows programs run here: $reason."
  else
    cat <<EOF
[probe] This machine cannot run 32-bit Windows programs: $reason.
[probe] Building needs no 32-bit execution, so dist/ still gets the real 32-bit Install.exe and
[probe] Palinst.dll. The tests and the main job run the x86_64 flavour instead (build-x64/, 64-bit
[probe] Wine): run.sh and test.sh choose it by themselves; tests of 32-bit behaviour are skipped.
EOF
  fi
fi
[ "$verdict" = yes ]
