#!/usr/bin/env python3
"""Loopback HTTP server shared by the tests as CTest fixtures.

  loopback_http_server.py start --root DIR --port N --pidfile FILE [--answer-all]
  loopback_http_server.py stop --pidfile FILE

Serves files under DIR on 127.0.0.1:N and appends "GET <path>" for every
request to DIR/requests.log. A path may begin with a behaviour:

  /status/<code>/<file>   answers <code> with no body
  /stall/<ms>/<file>      sends headers and half the file, waits, sends the rest
  /hang/<ms>/<file>       waits before it answers at all
  /drop/0/<file>          sends headers and half the file, then closes the
                          connection (a download that fails under Wine too,
                          whose URL Moniker reports HTTP errors as success)

A request whose path contains every line of the file DIR/hold is logged, then
held unanswered while that file exists (at most a minute): a test can stop the
client at the moment it waits on that request.

With --answer-all a path that names no file is answered 200 with a short body
(an endpoint that only collects requests, like the statistics server).
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
    answer_all = False
    log_lock = threading.Lock()

    def log_message(self, fmt, *args):  # keep CTest output clean
        pass

    def _record(self):
        with self.log_lock:
            with open(os.path.join(self.root, "requests.log"), "a") as log:
                log.write("GET %s\n" % self.path)

    def _hold(self):
        hold = os.path.join(self.root, "hold")
        try:
            with open(hold) as f:
                needles = [line.strip() for line in f if line.strip()]
        except OSError:
            return
        if not needles or not all(n in self.path for n in needles):
            return
        deadline = time.time() + 60
        while os.path.exists(hold) and time.time() < deadline:
            time.sleep(0.02)

    def do_GET(self):
        self._record()
        self._hold()
        parts = self.path.split("?", 1)[0].lstrip("/").split("/")
        behaviour, arg = None, 0
        if len(parts) > 2 and parts[0] in ("status", "stall", "hang", "drop"):
            behaviour, arg, parts = parts[0], int(parts[1]), parts[2:]
        try:
            if behaviour == "status":
                self.send_response(arg)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            if behaviour == "hang":
                time.sleep(arg / 1000.0)
            path = os.path.join(self.root, *parts)
            if not os.path.isfile(path) and self.answer_all:
                self.send_response(200)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", "2")
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(b"ok")
                return
            if not os.path.isfile(path):
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            with open(path, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            if behaviour == "drop":
                self.wfile.write(body[:len(body) // 2])
                self.wfile.flush()
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
                return
            if behaviour == "stall":
                half = len(body) // 2
                self.wfile.write(body[:half])
                self.wfile.flush()
                time.sleep(arg / 1000.0)
                body = body[half:]
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass


def serve(root, port, answer_all):
    Handler.root = root
    Handler.answer_all = answer_all
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    server.serve_forever()


def port_in_use(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
        return True
    except OSError:
        return False


def start(args):
    stop(args)
    # Another server on the port (another build's tests) would take our
    # requests and make the tests fail for no reason of theirs: say so.
    if port_in_use(args.port):
        print("port %d on 127.0.0.1 is already in use by another program: run the tests "
              "through ./test.sh, which gives them a loopback of their own, or configure "
              "other test ports (README)" % args.port, file=sys.stderr)
        return 1
    # Each test run publishes into its own folder; earlier runs' are dropped.
    shutil.rmtree(args.root, ignore_errors=True)
    os.makedirs(args.root, exist_ok=True)
    proc = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "serve", "--root", args.root,
         "--port", str(args.port)] + (["--answer-all"] if args.answer_all else []),
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
    parser.add_argument("--answer-all", action="store_true")
    args = parser.parse_args()
    if args.command == "serve":
        serve(args.root, args.port, args.answer_all)
        return 0
    return start(args) if args.command == "start" else stop(args)


if __name__ == "__main__":
    sys.exit(main())
