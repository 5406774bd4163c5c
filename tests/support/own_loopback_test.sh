#!/usr/bin/env bash
# Two test runs, one after the other, each on a loopback of its own, with the
# port their statistics server needs held by another program outside: each
# run's request must reach its own server. (A persistent wineserver from the
# first run, had it been reused, would connect the second run's program to the
# first run's namespace.)
#
#   own_loopback_test.sh <statistics test program> <port> <its server's root>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=$1 port=$2 www=$3
if [ "$(id -u)" != 0 ] || ! unshare --net true 2>/dev/null; then
  echo "SKIP: making a network namespace needs root and unshare, which this machine does not give"
  exit 77
fi
work=$(mktemp -d)
trap 'kill "$holder" 2>/dev/null || true; rm -rf "$work"' EXIT
# Whatever holds the port out here must not matter in there.
python3 -c 'import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen()
except OSError:
    pass  # held already (the fixture of this very test run): just as good
time.sleep(300)' "$port" &
holder=$!
for run in 1 2; do
  "$here/own_loopback.sh" bash -c '
    set -e
    python3 "$1/loopback_http_server.py" start --root "$5" --port "$3" --pidfile "$2/pid" --answer-all
    trap "python3 \"\$1/loopback_http_server.py\" stop --pidfile \"\$2/pid\"" EXIT
    "$1/../wine/wine_run.sh" "$4" --gtest_filter=StatisticSendTest.SyncEndHasArrivedWhenReportReturns
  ' _ "$here" "$work" "$port" "$program" "$www" || { echo "run $run: the request did not reach its own server" >&2; exit 1; }
done
echo "both runs reached their own server"
