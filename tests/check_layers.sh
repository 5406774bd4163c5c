#!/usr/bin/env bash
# Fails when a folder includes a header of a folder above it. Order, lowest
# first (a folder may include its own headers and those of lower ranks):
#   base < log < package, trust < telemetry < engine, webrt_inst < ui < setup
# webrt_inst is the other deliverable: it may use only the shared folders.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
declare -A rank=([base]=0 [log]=1 [package]=2 [trust]=2 [telemetry]=3
                 [engine]=4 [webrt_inst]=4 [ui]=5 [setup]=6)
bad=0
for dir in "${!rank[@]}"; do
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^#include "([a-z_]+)\/.*/\1/' <<<"$text")
    [ -n "${rank[$target]+set}" ] || continue
    [ "$target" = "$dir" ] && continue
    if [ "${rank[$target]}" -ge "${rank[$dir]}" ]; then
      echo "$file:$line: $dir includes $target: $text"
      bad=1
    fi
  done < <(grep -rnE '^#include "[a-z_]+/' "$dir" --include='*.h' --include='*.cpp' --include='*.rc' || true)
done
[ "$bad" = 0 ] && echo "no folder includes one above it"
exit $bad
