#!/usr/bin/env python3
"""How long the link-selection window takes to open on a page of 5,000 links.

A loopback page with 5,000 links (a fifth of them images) is opened in the
program; then Ctrl+Shift+D is pressed, as a person does, and the time until the
window "リンクの選択" is on the accessibility bus is taken. The window is shown
only once its list is filled (the page asked by script, filters and names
worked out), so this is the wait a person sees. Best of three programs, each opening it once.

Usage: link_selection_bench.py BIN_DIR
Prints one line: what, the time (ms), the goal, met.
Runs itself under a virtual X server and a session bus of its own.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gui_session  # noqa: E402  (beside this file)

LINKS, GOAL_MS, TRIES = 5000, 1000, 3


def main():
    bindir, g = gui_session.enter(__file__)

    exts = ["zip", "pdf", "mp3", "html"]
    items = []
    for i in range(LINKS):
        if i % 5 == 4:
            items.append("<img src='/img/%d.png' alt='i%d'>" % (i, i))
        else:
            items.append("<a href='/f/%d.%s'>link %d</a> " % (i, exts[i % 4], i))
    routes = {"/many.html": {"body": "<html><head><title>Many</title></head><body>%s</body></html>"
                             % "".join(items)}}
    folder = tempfile.mkdtemp(prefix="mireva-links-bench-")
    server = g.TestServer({"routes": routes}, folder)
    desktop = g.Desktop()
    desktop.start()
    best = None
    try:
        for _ in range(TRIES):
            took = open_once(g, server.url("/many.html"))
            if took is None:
                break
            best = took if best is None else min(best, took)
    finally:
        desktop.stop()
        server.stop()
        shutil.rmtree(folder, ignore_errors=True)
    if best is None:
        print("link-selection window on 5,000 links  no figure (the window did not open)")
        return
    print("%-56s %9.0f ms  <%d ms %s" % ("link-selection window on 5,000 links, best of %d" % TRIES,
                                         best, GOAL_MS, "met" if best < GOAL_MS else "NOT met"))


def open_once(g, url):
    """Milliseconds from Ctrl+Shift+D to the window on the bus, in a fresh program."""
    m = g.Mireva([url])
    try:
        m.start(timeout=60)
        m.wait_caption("Many - Mireva", timeout=60)
        time.sleep(1)
        m.activate_window()
        began = time.monotonic()
        g.key("ctrl+shift+d")
        while time.monotonic() - began < 30:
            if any(w is not None and w.name == "リンクの選択" for w in m.windows()):
                return (time.monotonic() - began) * 1000
            time.sleep(0.01)
        return None
    finally:
        m.stop()


if __name__ == "__main__":
    main()
