#!/usr/bin/env bash
# Makes every Wine template the tests use (32- and 64-bit; Windows 7, 10 and
# XP), so that no test pays for one, nor runs into its own time limit doing so.
# The x86_64 flavour (PELORIX_FLAVOUR=x86_64) runs only 64-bit programs: its
# machine may not be able to make a 32-bit prefix at all.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/wine/prefix_lib.sh
. "$here/prefix_lib.sh"
arches="32 64"
[ "${PELORIX_FLAVOUR:-i686}" = x86_64 ] && arches=64
for arch in $arches; do
  for winver in 7 10 xp; do
    template_prefix "$arch" "$winver" >/dev/null \
      || { echo "warm_templates.sh: could not make the win$arch-$winver Wine template" >&2; exit 1; }
  done
done
