#!/usr/bin/env python3
"""Start-up, patrol pace and memory of the program against the bare window.

Both programs run in the same private Xvfb, each with its own empty cache and
runtime folders, and load pages from one loopback server. Every page reports
its load event to the server (a script fetches /loaded), so "page complete"
means the same thing for both and nothing in the programs is special to the
benchmark.

- start-up: from starting the process to the first page's load event; the
  program starts in a prepared working folder (seeded by an earlier run) and
  starts its watcher as on the first start of a session. Best of N.
- memory: the peak resident size of the process and the web engine's child
  processes (the companions the program starts are left out), sampled every
  10 ms until a second after the first page completes. Best of N.
- patrol: a patrol list of P loopback pages run with
  `mireva --command 2201 --quit-after-patrol` against the bare window loading
  the same pages one after another: the pace (seconds per page, from the
  first page's request to the last's) and the resident size when page 10 and
  the last page are requested. The median of R runs (default 25), the two
  programs taking turns.
- collection: the watcher's collection of what the pages showed, on against
  off, in the same patrol with the PNG type chosen: the pace of a patrol of P/4
  pages that each show a PNG of their own, and the peak resident size during a
  patrol of one page showing a 20 MB PNG. "Off" is the same run with a file
  named "Spool" in the working folder, where the watcher cannot tell the
  window to hand anything over: everything else (the engine's downloads of
  the type, the page loads) is the same in both.

Usage: window_bench.py BIN_DIR [--runs N] [--pages P] [--patrol-runs R]
                        [--only-patrol | --only-collection]
Prints one line per figure: what, this program, the bare window, ratio, goal, met.
"""
import argparse
import http.server
import struct
import zlib
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

PAGE = """<html><head><title>%s</title></head><body>
<h1>%s</h1><p>%s</p>
<script>window.addEventListener('load', function () {
  fetch('/loaded?n=%s'); });</script></body></html>"""


def png(width, height, pixels):
    """A PNG of RGB `pixels` (stored uncompressed, so its size is what it shows)."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b"".join(b"\0" + pixels[y * width * 3:(y + 1) * width * 3] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 0)) + chunk(b"IEND", b""))


BIG_SIDE = 2600  # 2600 x 2600 RGB: a 20 MB PNG
BIG_PNG = png(BIG_SIDE, BIG_SIDE, os.urandom(BIG_SIDE * BIG_SIDE * 3))
IMAGE_PAGE = """<html><head><title>%s</title></head><body><h1>%s</h1>
<img src="%s"><script>window.addEventListener('load', function () {
  fetch('/loaded?n=%s'); });</script></body></html>"""


class Server:
    """Loopback pages; records when each page's load event arrives."""

    def __init__(self):
        self.lock = threading.Lock()
        self.events = {}  # n -> (time, rss)
        self.watch_pid = None
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path.startswith("/loaded?n="):
                    owner.record(self.path.split("=", 1)[1])
                    body = b"ok"
                    ctype = "text/plain"
                elif self.path.startswith("/img/"):
                    # A small PNG of its own per page, or the big one.
                    n = self.path[5:].split(".")[0]
                    body = BIG_PNG if n == "big" else png(8, 8, ((n + ",").encode() * 192)[:192])
                    ctype = "image/png"
                elif self.path.startswith("/c/") and not self.path.endswith("/c/"):
                    n = self.path[3:].split(".")[0]
                    body = (IMAGE_PAGE % (n, n, "/img/%s.png" % n, n)).encode()
                    ctype = "text/html"
                    owner.record("request " + n)
                else:
                    name = self.path.strip("/").replace("/", " ")
                    n = name.split(".")[0].split(" ")[-1]
                    text = ("Mireva benchmark page %s. " % n) * 40
                    body = (PAGE % (name, name, text, n)).encode()
                    ctype = "text/html"
                    owner.record("request " + n)
                self.send_response(200)
                self.send_header("Content-Type", ctype)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        class Quiet(http.server.ThreadingHTTPServer):
            def handle_error(self, request, client_address):
                pass  # a page left mid-answer (the patrol moves on) is no error

        self.httpd = Quiet(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def record(self, key):
        now = time.monotonic()
        rss = tree_rss(self.watch_pid) if self.watch_pid else 0
        with self.lock:
            self.events.setdefault(key, (now, rss))

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def reset(self, pid=None):
        with self.lock:
            self.events = {}
        self.watch_pid = pid

    def event(self, n):
        with self.lock:
            return self.events.get(str(n))


COMPANIONS = ("tollick", "mireva-shortcut")


def children_map():
    kids = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
            ppid = int(stat[stat.rindex(")") + 2:].split()[1])
            kids.setdefault(ppid, []).append(int(entry))
        except (OSError, ValueError):
            pass
    return kids


def descendants(pid):
    kids = children_map()
    out, todo = [], [pid]
    while todo:
        p = todo.pop()
        out.append(p)
        todo.extend(kids.get(p, []))
    return out


def proc_name(pid):
    try:
        with open("/proc/%d/comm" % pid) as f:
            return f.read().strip()
    except OSError:
        return ""


def tree_rss(pid):
    """Resident kB of the process and its descendants, companions left out."""
    total = 0
    for p in descendants(pid):
        if proc_name(p) in COMPANIONS:
            continue
        try:
            with open("/proc/%d/status" % p) as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def start_xvfb():
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp"], pass_fds=(w,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        c = os.read(r, 1)
        if not c:
            break
        number += c
    os.close(r)
    return proc, ":" + number.decode().strip()


class Bench:
    def __init__(self, bindir, display):
        self.bindir = bindir
        self.server = Server()
        self.root = tempfile.mkdtemp(prefix="mireva-bench-")
        self.display = display
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.home)

    def env(self, name):
        base = os.path.join(self.root, name)
        env = dict(os.environ)
        for key in ("XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"):
            path = os.path.join(base, key.lower())
            os.makedirs(path, mode=0o700, exist_ok=True)
            env[key] = path
        env.update({"DISPLAY": self.display, "NO_AT_BRIDGE": "1", "MIREVA_HOME": self.home})
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def launch(self, argv, env):
        return subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)

    def stop(self, proc):
        """Ends the process and everything it started (the watcher included)."""
        pids = descendants(proc.pid)
        for p in reversed(pids):
            try:
                os.kill(p, signal.SIGTERM)
            except OSError:
                pass
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        time.sleep(0.3)
        for p in pids:
            try:
                os.kill(p, signal.SIGKILL)
            except OSError:
                pass

    def first_page(self, argv, env, n):
        """Seconds to the first page's load event, and the peak resident kB."""
        self.server.reset()
        t0 = time.monotonic()
        proc = self.launch(argv, env)
        peak, done_at = 0, None
        deadline = t0 + 30
        while time.monotonic() < deadline:
            peak = max(peak, tree_rss(proc.pid))
            ev = self.server.event(n)
            if ev and done_at is None:
                done_at = ev[0]
            if done_at is not None and time.monotonic() > done_at + 1.0:
                break
            time.sleep(0.01)
        self.stop(proc)
        if done_at is None:
            return None, None
        return done_at - t0, peak

    def startup(self, runs):
        page = self.server.url("/first/1.html")
        bare = [os.path.join(self.bindir, "bare_window"), "--stay", page]
        ours = [os.path.join(self.bindir, "mireva"), page]
        # A first run seeds the working folder; a user starts in a prepared one.
        self.first_page(ours, self.env("seed"), 1)
        best = {"bare": (1e9, 1e12), "ours": (1e9, 1e12)}
        for i in range(runs):
            for name, argv in (("bare", bare), ("ours", ours)):
                secs, peak = self.first_page(argv, self.env("%s%d" % (name, i)), 1)
                if secs is None:
                    continue
                b = best[name]
                best[name] = (min(b[0], secs), min(b[1], peak))
        return best

    def patrol_run(self, name, pages):
        """One patrol of the bare window or the program: (s per page, resident
        kB at page 10, at the last page), or None when it did not complete."""
        urls = [self.server.url("/p/%d.html" % n) for n in range(1, pages + 1)]
        argv = {"bare": [os.path.join(self.bindir, "bare_window")] + urls,
                "ours": [os.path.join(self.bindir, "mireva"), "--command", "2201",
                         "--quit-after-patrol", self.server.url("/p/start.html")]}[name]
        env = self.env("patrol-" + name)
        proc = self.launch(argv, env)
        self.server.reset(proc.pid)
        deadline = time.monotonic() + 60 + pages * 5
        # The next page's request follows the page before it; the load
        # events of patrol pages may be cut short by that next request.
        req = lambda n: self.server.event("request %d" % n)
        while time.monotonic() < deadline and not req(pages):
            time.sleep(0.05)
        first, at10, last = req(1), req(min(10, pages)), req(pages)
        self.stop(proc)
        if not (first and at10 and last):
            print("%s patrol: pages requested: %s" % (name, sorted(
                k for k in self.server.events if k.startswith("request"))), file=sys.stderr)
            return None
        return ((last[0] - first[0]) / max(pages - 1, 1), at10[1], last[1])

    def patrol(self, pages, runs):
        """The median of `runs` patrols each, the two programs taking turns:
        single runs of quick pages move by more than a tenth with the
        machine's other work, and the best of them follows the luckiest."""
        lines = ["start patrol;", "index page;", self.server.url("/p/"), "sub page;"]
        lines += ["%d.html" % n for n in range(1, pages + 1)] + ["end patrol;"]
        with open(os.path.join(self.home, "Patrol.lst"), "w", newline="") as f:
            f.write("".join(line + "\r\n" for line in lines))
        runs_of = {"bare": [], "ours": []}
        for _ in range(runs):
            for name in ("bare", "ours"):
                got = self.patrol_run(name, pages)
                if got is not None:
                    runs_of[name].append(got)
        return {name: tuple(map(statistics.median, zip(*got))) if got else None
                for name, got in runs_of.items()}

    def collection_run(self, pages, spool_blocked):
        """A patrol over /c/<n>.html with PNG chosen: its pace (s per page) and
        the peak resident kB of the window and its web processes."""
        home = tempfile.mkdtemp(prefix="collect-", dir=self.root)
        lines = ["start patrol;", "index page;", self.server.url("/c/"), "sub page;"]
        names = ["big"] if pages == 1 else [str(n) for n in range(1, pages + 1)]
        lines += ["%s.html" % n for n in names] + ["end patrol;"]
        with open(os.path.join(home, "Patrol.lst"), "w", newline="") as f:
            f.write("".join(line + "\r\n" for line in lines))
        with open(os.path.join(home, "TollickApp.ini"), "w", newline="") as f:
            f.write("[TollickApp]\r\nPNG=on\r\n")
        if spool_blocked:
            open(os.path.join(home, "Spool"), "w").close()
        env = self.env(os.path.basename(home) + "-env")
        env["MIREVA_HOME"] = home
        proc = self.launch([os.path.join(self.bindir, "mireva"), "--command", "2201",
                            "--quit-after-patrol", self.server.url("/p/start.html")], env)
        self.server.reset()
        peak, watchers = 0, set()
        deadline = time.monotonic() + 60 + pages * 10
        while time.monotonic() < deadline and proc.poll() is None:
            peak = max(peak, tree_rss(proc.pid))
            watchers.update(p for p in descendants(proc.pid) if proc_name(p) == "tollick")
            time.sleep(0.01)
        req = lambda n: self.server.event("request %s" % n)
        first, last = req(names[0]), req(names[-1])
        ended = proc.poll() == 0
        self.stop(proc)
        # The watcher outlives the window: it is given a moment for its last
        # collection, then ended.
        time.sleep(1.5)
        for p in watchers:
            try:
                os.kill(p, signal.SIGTERM)
            except OSError:
                pass
        collected = len(os.listdir(os.path.join(home, "Cache"))) \
            if os.path.isdir(os.path.join(home, "Cache")) else 0
        if not (first and last and ended):
            return None, None, collected
        return (last[0] - first[0]) / max(pages - 1, 1), peak, collected

    def collection(self, pages, runs):
        """Best of `runs` of each figure, collection on and off."""
        best = {}
        for _ in range(runs):
            for on in (True, False):
                pace, _, n = self.collection_run(pages, not on)
                _, peak, n_big = self.collection_run(1, not on)
                b = best.setdefault(on, [None, None, n, n_big])
                if pace is not None:
                    b[0] = pace if b[0] is None else min(b[0], pace)
                if peak is not None:
                    b[1] = peak if b[1] is None else min(b[1], peak)
        return best


def line(what, ours, anchor, unit, goal, fmt="%.3f"):
    if ours is None or anchor is None:
        print("%-44s no figure (a run did not complete)" % what)
        return False
    ratio = ours / anchor
    met = ratio <= goal
    print("%-44s %10s %-4s %10s %-4s %6.2fx  <= %.2fx  %s" % (
        what, fmt % ours, unit, fmt % anchor, unit, ratio, goal, "met" if met else "NOT met"))
    return met


def patrol_lines(bench, args):
    patrol = bench.patrol(args.pages, args.patrol_runs)
    o, b = patrol.get("ours"), patrol.get("bare")
    ok = line("patrol pace, %d pages, s per page, median of %d" % (args.pages, args.patrol_runs),
              o and o[0], b and b[0], "s", 1.05, "%.4f")
    ok &= line("memory at patrol page 10", o and o[1] / 1024, b and b[1] / 1024, "MB", 1.15,
               "%.0f")
    ok &= line("memory at patrol page %d" % args.pages, o and o[2] / 1024, b and b[2] / 1024,
               "MB", 1.15, "%.0f")
    return ok


def collection_lines(bench, args):
    pages = max(args.pages // 4, 10)
    best = bench.collection(pages, min(args.runs, 3))
    on, off = best.get(True), best.get(False)
    print("collected: %d of %d pages' images, %d of the 20 MB one (off: %d, %d)" % (
        on[2], pages, on[3], off[2], off[3]), file=sys.stderr)
    ok = line("patrol pace, %d image pages, collection on/off" % pages, on[0], off[0], "s", 1.05)
    ok &= line("peak memory, 20 MB image page, collection on/off",
               on[1] and on[1] / 1024, off[1] and off[1] / 1024, "MB", 1.15, "%.0f")
    return ok


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bindir")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--pages", type=int, default=200)
    parser.add_argument("--only-collection", action="store_true")
    parser.add_argument("--only-patrol", action="store_true")
    # Patrols of quick pages are short: more of them make a steadier median.
    parser.add_argument("--patrol-runs", type=int, default=25)
    args = parser.parse_args()
    xvfb, display = start_xvfb()
    bench = Bench(os.path.abspath(args.bindir), display)
    ok = True
    try:
        if args.only_collection:
            return 0 if collection_lines(bench, args) else 1
        if args.only_patrol:
            return 0 if patrol_lines(bench, args) else 1
        best = bench.startup(args.runs)
        ours, bare = best["ours"], best["bare"]
        ok &= line("start to first page complete, best of %d" % args.runs,
                   ours[0] if ours[0] < 1e9 else None, bare[0] if bare[0] < 1e9 else None,
                   "s", 1.10)
        ok &= line("peak memory on one page, best of %d" % args.runs,
                   ours[1] / 1024 if ours[1] < 1e12 else None,
                   bare[1] / 1024 if bare[1] < 1e12 else None, "MB", 1.15, "%.0f")
        ok &= patrol_lines(bench, args)
        ok &= collection_lines(bench, args)
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(bench.root, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
