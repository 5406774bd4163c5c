#!/usr/bin/env bash
# Runs a command with a loopback interface of its own (a new network
# namespace). The test servers then find their configured ports free whatever
# else listens on this machine, and runs from other checkouts cannot answer
# each other's requests. Needs root, unshare and ip; without them the command
# runs on the machine's loopback, and this says so.
#
#   own_loopback.sh command [args...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ $# -gt 0 ] || { echo "usage: $0 command [args...]" >&2; exit 2; }

if [ "${PELORIX_OWN_LOOPBACK:-}" = inside ]; then
  unset PELORIX_OWN_LOOPBACK
  ip link set lo up || { echo "own_loopback.sh: could not bring up the new namespace's loopback" >&2; exit 1; }
  # A network adapter with an address and a default route, both ends inside
  # this namespace: the programs see a connected machine (the statistics
  # reporter sends asynchronously only then), and nothing leaves it.
  if ! { ip link add pelorix0 type veth peer name pelorix1 &&
         ip addr add 10.231.0.1/24 dev pelorix0 && ip addr add 10.231.0.2/24 dev pelorix1 &&
         ip link set pelorix0 up && ip link set pelorix1 up &&
         ip route add default via 10.231.0.2 dev pelorix0; }; then
    echo "own_loopback.sh: could not make the namespace's network adapter" >&2
    exit 1
  fi
  set +e
  "$@"
  rc=$?
  set -e
  # The shared prefixes made in this namespace serve no later run: end their
  # servers and remove them.
  (
    # shellcheck source=tests/wine/prefix_lib.sh
    . "$here/../wine/prefix_lib.sh" >/dev/null 2>&1 || exit 0
    for dir in "$WINE_ROOT"/shared-*-"$(net_namespace_tag)"; do
      [ -d "$dir" ] || continue
      WINEPREFIX=$dir wineserver -k >/dev/null 2>&1 || true
      rm -rf "$dir" "$dir.server-lock"
    done
  )
  exit $rc
fi

if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
   unshare --net true 2>/dev/null; then
  PELORIX_OWN_LOOPBACK=inside exec unshare --net "$0" "$@"
fi
echo "own_loopback.sh: no network namespace of its own (needs root, unshare and ip);" \
     "the test servers use this machine's loopback, where a port another program holds stops them" >&2
exec "$@"
