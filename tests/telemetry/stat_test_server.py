#!/usr/bin/env python3
"""Loopback statistics endpoint for the telemetry tests.

  stat_test_server.py start --root DIR --port N --pidfile FILE
  stat_test_server.py stop --pidfile FILE

Listens on 127.0.0.1:N, answers every GET with 200 and a short body, and
appends "GET <path>" (the request target exactly as received) for every
request to DIR/requests.log, which the tests read.
"""
import argparse
import http.server
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    root = "."
    log_lock = threading.Lock()

    def log_message(self, fmt, *args):  # keep CTest output clean
        pass

    def do_GET(self):
        with self.log_lock:
            with open(os.path.join(self.root, "requests.log"), "a") as log:
                log.write("GET %s\n" % self.path)
        body = b"ok"
        try:
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass


def serve(root, port):
    Handler.root = root
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    server.serve_forever()


def start(args):
    stop(args)
    shutil.rmtree(args.root, ignore_errors=True)
    os.makedirs(args.root, exist_ok=True)
    proc = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "serve", "--root", args.root,
         "--port", str(args.port)],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    with open(args.pidfile, "w") as f:
        f.write(str(proc.pid))
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", args.port), timeout=0.2).close()
            return 0
        except OSError:
            if proc.poll() is not None:
                break
            time.sleep(0.1)
    print("server did not start on port %d" % args.port, file=sys.stderr)
    return 1


def stop(args):
    try:
        with open(args.pidfile) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return 0
    try:
        os.kill(pid, signal.SIGTERM)
    except OSError:
        pass
    os.remove(args.pidfile)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=("start", "stop", "serve"))
    parser.add_argument("--root")
    parser.add_argument("--port", type=int)
    parser.add_argument("--pidfile")
    args = parser.parse_args()
    if args.command == "serve":
        serve(args.root, args.port)
        return 0
    return start(args) if args.command == "start" else stop(args)


if __name__ == "__main__":
    sys.exit(main())
