#!/usr/bin/env python3
"""Times complete silent installs under Wine, side by side, and prints a table.

Called by scripts/bench_install.sh with WINEPREFIX (and DISPLAY) set and a
rows file it wrote. Each row is one installer run as a fresh process:

  {"name": ..., "key": ..., "argv": [...], "package": [files whose sizes make
   up the package], "pre": [...] or null, "post": [...] or null,
   "kill_after": [process names] or null, "check": true,
   "rewritten": [payload files the installer rewrites] or null}

or {"name": ..., "key": ..., "not_runnable": why}: a peer this machine cannot
run (a 32-bit program where no 32-bit code runs), listed without figures.

"<dir>" in argv, pre and post becomes the row's install directory,
C:\\bench\\<key>. "pre" runs untimed before every run (the install directory
is removed as well), "post" untimed after it; processes of this prefix named
in "kill_after" (a product the installer started) are ended after each run.
The first row is the floor that ratios refer to; --ref names a second
reference row with a ratio column of its own. Every row runs twice per round
by default: as Wine runs it, and with Wine's menu builder disabled (Wine
starts it for every saved shortcut; Windows has no such step); each way
prints its own table against its own floor.

Rounds are interleaved: every round runs every row once, in an order
shuffled with a fixed seed, so drift of the machine hits all rows alike.
The ratio is the median of the per-round ratios to the floor. After every
run the installed tree is compared with the payload tree (sizes; SHA-256
after the warm-up and the last round), so an installer that returns early
or writes wrong bytes fails instead of looking fast.

Peak memory comes from a separate untimed run per row: /proc is sampled
while the installer runs, and the figure is the sum of the peak resident
sets (VmHWM) of every Wine process that the run started (the installer and
any helper process it spawned); the started process's own peak is shown
apart.
"""
import argparse
import hashlib
import json
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time


def tree_files(root):
    out = {}
    for dirpath, _, names in os.walk(root):
        for n in names:
            p = os.path.join(dirpath, n)
            out[os.path.relpath(p, root).replace(os.sep, "/")] = p
    return out


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as fh:
        for chunk in iter(lambda: fh.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


class Payload:
    """The tree every installer must reproduce. Extra files (an uninstaller,
    a log) are allowed."""

    def __init__(self, root):
        self.files = tree_files(root)
        self.sizes = {r: os.path.getsize(p) for r, p in self.files.items()}
        self.hashes = {r: sha256_file(p) for r, p in self.files.items()}

    def check(self, installed, full, rewritten=()):
        """`rewritten`: files the installer is meant to change (it writes the
        install path into them); they must be there, their bytes are its own."""
        if not os.path.isdir(installed):
            return "install dir missing"
        got = tree_files(installed)
        missing = [r for r in self.files if r not in got]
        if missing:
            return "%d missing (e.g. %s)" % (len(missing), missing[0])
        kept = [r for r in self.files if r not in rewritten]
        wrong = [r for r in kept if os.path.getsize(got[r]) != self.sizes[r]]
        if full and not wrong:
            wrong = [r for r in kept if sha256_file(got[r]) != self.hashes[r]]
        if wrong:
            return "%d differ (e.g. %s)" % (len(wrong), wrong[0])
        return ""


def all_pids():
    return {int(e) for e in os.listdir("/proc") if e.isdigit()}


def is_wine_process(pid, prefix):
    """A process of this prefix other than the wineserver."""
    try:
        with open("/proc/%d/environ" % pid, "rb") as fh:
            env = fh.read()
    except OSError:
        return False
    return b"WINEPREFIX=" + prefix.encode() + b"\0" in env and comm(pid) != "wineserver"


def comm(pid):
    try:
        with open("/proc/%d/comm" % pid) as fh:
            return fh.read().strip()
    except OSError:
        return "?"


def sample_memory(pid, seen):
    """Updates seen[pid] = {name, ppid, hwm}. A new name means the process
    ran another image (exec), whose peak starts afresh."""
    try:
        with open("/proc/%d/stat" % pid) as fh:
            ppid = int(fh.read().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return
    name, kib = comm(pid), vm_hwm_kib(pid)
    if name == "?" or kib is None:
        return
    entry = seen.setdefault(pid, {"name": name, "ppid": ppid, "hwm": 0})
    if entry["name"] != name:
        entry.update(name=name, hwm=0)
    entry["hwm"] = max(entry["hwm"], kib)


def vm_hwm_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as fh:
            for line in fh:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


class Row:
    def __init__(self, entry, drive_c, cwd, menu_builder=True):
        self.name = entry["name"]
        self.key = entry["key"] + ("" if menu_builder else "-nomb")
        self.base_key = entry["key"]
        self.menu_builder = menu_builder
        self.windir = "C:\\bench\\" + self.key
        self.outdir = os.path.join(drive_c, "bench", self.key)
        self.not_runnable = entry.get("not_runnable", "")
        self.argv = self._with_dir(entry.get("argv"))
        self.pre, self.post = self._with_dir(entry.get("pre")), self._with_dir(entry.get("post"))
        self.package = entry.get("package") or []
        self.kill_after = entry.get("kill_after") or []
        self.prefix = os.path.dirname(drive_c)
        self.check = entry.get("check", True)
        self.rewritten = entry.get("rewritten") or []
        self.cwd = cwd
        self.times, self.fail = [], ""
        self.peak_mib = self.largest_mib = self.own_mib = None
        self.processes = []
        self.env = dict(os.environ)
        if not menu_builder:
            # Wine starts its menu builder (four processes) for every saved
            # shortcut; Windows has no such step.
            overrides = [o for o in self.env.get("WINEDLLOVERRIDES", "").split(";") if o]
            self.env["WINEDLLOVERRIDES"] = ";".join(overrides + ["winemenubuilder.exe=d"])

    def _with_dir(self, argv):
        return [a.replace("<dir>", self.windir) for a in argv] if argv else None

    @property
    def size(self):
        return sum(os.path.getsize(f) for f in self.package) if self.package else None

    def _untimed(self, argv, timeout):
        if argv:
            subprocess.run(argv, cwd=self.cwd, env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout, check=False)

    def prepare(self, timeout):
        self._untimed(self.pre, timeout)
        shutil.rmtree(self.outdir, ignore_errors=True)
        os.sync()

    def finish(self, timeout):
        self._untimed(self.post, timeout)
        # Programs the installer started and left running (the product it
        # launches at the end) would hold their files into the next run.
        # A process just created may not carry its program's name yet: look
        # a few times.
        for _ in range(5 if self.kill_after else 0):
            time.sleep(0.1)
            for pid in all_pids():
                if comm(pid) in self.kill_after and is_wine_process(pid, self.prefix):
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass

    def run(self, timeout, sample=None):
        """Seconds (or None) and an error text. With `sample` (the prefix),
        also records the peak memory of the processes the run starts."""
        killed = []
        # Everything alive before the run (the keeper, Wine's services) is
        # not the installer's.
        others = all_pids() if sample else None
        t0 = time.perf_counter()
        p = subprocess.Popen(self.argv, cwd=self.cwd, env=self.env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True)

        def kill():
            killed.append(1)
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        watchdog = threading.Timer(timeout, kill)
        watchdog.start()
        if sample:
            seen, tracked = {}, {p.pid}
            while p.poll() is None:
                for pid in all_pids() - others - tracked:
                    (tracked if is_wine_process(pid, sample) else others).add(pid)
                for pid in tracked:
                    sample_memory(pid, seen)
                time.sleep(0.005)
            # A fork that has not yet become a program of its own carries its
            # parent's name and resident pages: not counted.
            counted = {pid: s for pid, s in seen.items()
                       if not (s["ppid"] in seen and seen[s["ppid"]]["name"] == s["name"])}
            kib = [s["hwm"] for s in counted.values()]
            self.peak_mib = sum(kib) / 1024.0
            self.largest_mib = max(kib, default=0) / 1024.0
            # The process the run started ("wine X.exe" becomes X.exe in the
            # same pid): the installer's own peak, without Wine's helpers.
            self.own_mib = seen.get(p.pid, {"hwm": 0})["hwm"] / 1024.0
            self.processes = sorted(((s["name"], s["hwm"]) for s in counted.values()),
                                    key=lambda item: -item[1])
        # A blocking wait: subprocess's own timeout polls with sleeps that
        # would quantise the figures.
        rc = p.wait()
        dt = time.perf_counter() - t0
        watchdog.cancel()
        if killed:
            return None, "timeout after %ds" % timeout
        return dt, "" if rc == 0 else "exit code %d" % rc


def ratio(row, ref):
    """Median of the per-round ratios of `row` to `ref`, or None."""
    if row is ref:
        return 1.0
    pairs = [a / b for a, b in zip(row.times, ref.times) if b]
    return statistics.median(pairs) if pairs else None


def fmt(value, form="%.2f"):
    return "-" if value is None else form % value


def table(rows, floor, ref=None):
    ref_head = "| ratio to %s " % ref.name if ref else ""
    lines = ["| tool | package bytes | median s | min-max s | ratio to 7z.exe floor %s"
             "| peak MiB, own process | peak MiB, all processes (largest) | runs | tree |" % ref_head,
             "|---|---:|---:|---:|---:|%s---:|---:|---:|---|" % ("---:|" if ref else "")]
    for r in rows:
        if r.times:
            med = "%.3f" % statistics.median(r.times)
            span = "%.2f-%.2f" % (min(r.times), max(r.times))
        else:
            med = span = "-"
        cells = [fmt(ratio(r, floor) if r.times else None)]
        if ref:
            cells.append(fmt(ratio(r, ref) if r.times else None))
        size = "{:,}".format(r.size) if r.size else "-"
        peak = "%.1f (%.1f)" % (r.peak_mib, r.largest_mib) if r.peak_mib else "-"
        if r.not_runnable:
            tree = r.not_runnable
        else:
            tree = ("FAIL: " + r.fail) if r.fail else ("ok" if r.check else "not checked")
        lines.append("| %s | %s | %s | %s | %s | %s | %s | %d | %s |"
                     % (r.name, size, med, span, " | ".join(cells), fmt(r.own_mib, "%.1f"), peak,
                        len(r.times), tree))
    return "\n".join(lines)


def desktop_note(prefix):
    """Wine starts a desktop process (explorer.exe /desktop) for the first GUI
    program when none runs; a row that started it would pay for it alone."""
    pids = [pid for pid in all_pids() if comm(pid) == "explorer.exe" and is_wine_process(pid, prefix)]
    if pids:
        return ("Wine's desktop process (explorer.exe, pid %s) ran before the first row and "
                "for the whole session: no row starts it, none pays for it" % ",".join(map(str, pids)))
    return "Wine's desktop process was not running: each GUI row started its own"


TIMELINE = re.compile(r"\[D\]\[\s*\d+\]\[stage_timer\] timeline (.*?): ([\d.]+) ms \(\+(-?[\d.]+) ms\), "
                      r"peak working set (-?[\d.]+) MiB")


def timeline(log_path, wall_ms):
    """The setup's stage marks (its Debug log) as a table."""
    with open(log_path, encoding="utf-8", errors="replace") as fh:
        marks = TIMELINE.findall(fh.read())
    if not marks:
        raise SystemExit("no timeline lines in " + log_path)
    lines = ["| stage (the setup's Debug log) | ms from process creation | ms since the previous mark "
             "| peak working set so far, MiB |",
             "|---|---:|---:|---:|"]
    lines += ["| %s | %s | %s | %s |" % m for m in marks]
    if wall_ms is not None:
        lines.append("\nthe same run from starting wine to its exit, as the benchmark saw it: %d ms" % wall_ms)
    return "\n".join(lines)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--timeline", help="only print the stage table of this setup log")
    ap.add_argument("--wall-ms", type=int, help="with --timeline: the run's time seen from outside")
    ap.add_argument("--rows", help="rows file (JSON list)")
    ap.add_argument("--payload", help="the tree every row must install")
    ap.add_argument("--rounds", type=int, default=9)
    ap.add_argument("--timeout", type=float, default=180)
    ap.add_argument("--no-memory", action="store_true", help="skip the memory runs")
    ap.add_argument("--json", help="write the raw figures here")
    ap.add_argument("--ref", help="key of a second reference row (a ratio column of its own)")
    ap.add_argument("--judge", help="key of the row whose ratio to --ref is the goal")
    ap.add_argument("--goal", type=float, default=1.3, help="the goal for --judge / --ref")
    ap.add_argument("--menu-builder", choices=["on", "off", "both"], default="both",
                    help="run every row with Wine's menu builder, without it, or both ways")
    a = ap.parse_args(argv)
    if a.timeline:
        print(timeline(a.timeline, a.wall_ms))
        return 0
    if not a.rows or not a.payload:
        ap.error("--rows and --payload are required")
    prefix = os.environ["WINEPREFIX"]
    drive_c = os.path.join(prefix, "drive_c")
    with open(a.rows) as fh:
        entries = json.load(fh)
    cwd = os.path.dirname(os.path.abspath(a.rows))
    modes = {"on": [True], "off": [False], "both": [True, False]}[a.menu_builder]
    tables = [[Row(s, drive_c, cwd, mb) for s in entries] for mb in modes]
    rows = [r for t in tables for r in t if not r.not_runnable]
    floors = {id(t[0]): t[0] for t in tables}
    desktop = desktop_note(prefix)
    payload = Payload(a.payload)
    os.makedirs(os.path.join(drive_c, "bench"), exist_ok=True)

    def one(r, full, sample=None):
        r.prepare(a.timeout)
        dt, err = r.run(a.timeout, sample)
        if not err and r.check:
            err = payload.check(r.outdir, full, r.rewritten)
        r.finish(a.timeout)
        return dt, err

    for r in rows:  # warm-up: file cache, Wine's services, full check
        dt, err = one(r, full=True)
        if err:
            r.fail = "warm-up: " + err
        print("warm-up %s: %s s %s" % (r.key, "-" if dt is None else "%.2f" % dt, err),
              file=sys.stderr, flush=True)
    for floor in floors.values():
        if floor.fail:
            raise SystemExit("the floor failed: " + floor.fail)

    rng = random.Random(1)
    for rnd in range(a.rounds):
        order = [r for r in rows if not r.fail]
        rng.shuffle(order)
        got = {}
        for r in order:
            dt, err = one(r, full=(rnd == a.rounds - 1))
            if err:
                r.fail = "round %d: %s" % (rnd + 1, err)
            got[r] = dt
        # Rounds stay paired: a row that failed keeps only its earlier rounds.
        for r, dt in got.items():
            if not r.fail:
                r.times.append(dt)
        print("round %d: %s" % (rnd + 1, ", ".join("%s=%.2f" % (r.key, dt)
                                                   for r, dt in got.items() if dt)),
              file=sys.stderr, flush=True)

    if not a.no_memory:
        for r in rows:
            if not r.fail:
                one(r, full=False, sample=prefix)
    for r in rows:
        r.prepare(a.timeout)

    for t in tables:
        by_key = {r.base_key: r for r in t}
        ref = by_key.get(a.ref)
        print("#### %s\n" % ("With Wine's menu builder (as Wine runs them)" if t[0].menu_builder else
                              "Without Wine's menu builder (winemenubuilder.exe disabled for every row)"))
        print(table(t, t[0], ref))
        judged = by_key.get(a.judge)
        if ref and judged and judged.times:
            q = ratio(judged, ref)
            print("\n%s / %s: median of per-round ratios %.2f (goal at most %.2f: %s)"
                  % (judged.name, ref.name, q, a.goal, "met" if q <= a.goal else "not met"))
        print()
    print(desktop)
    if a.json:
        with open(a.json, "w") as fh:
            json.dump({r.key: {"name": r.name, "size": r.size, "times": r.times,
                               "peak_mib": r.peak_mib, "largest_mib": r.largest_mib,
                               "own_mib": r.own_mib, "processes_kib": r.processes,
                               "fail": r.fail, "not_runnable": r.not_runnable}
                       for t in tables for r in t}, fh, indent=1)
    return 0 if not any(r.fail for r in rows) else 3


if __name__ == "__main__":
    sys.exit(main())
