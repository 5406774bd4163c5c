#!/usr/bin/env bash
# Makes every Wine template the tests use (32- and 64-bit; Windows 7, 10 and
# XP), so that no test pays for one, nor runs into its own time limit doing so.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/wine/prefix_lib.sh
. "$here/prefix_lib.sh"
for arch in 32 64; do
  for winver in 7 10 xp; do
    template_prefix "$arch" "$winver" >/dev/null \
      || { echo "warm_templates.sh: could not make the win$arch-$winver Wine template" >&2; exit 1; }
  done
done
