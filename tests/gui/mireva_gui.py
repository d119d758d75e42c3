"""Drives the real Mireva program as a person does, for the GUI tests.

The program runs under the test's X display (ctest runs the suite under
xvfb-run) with a window manager (openbox) and the accessibility bus. Tests find
menus, buttons, fields and dialogs through AT-SPI by their role and caption,
and act on them with real input through xdotool: the pointer clicks where the
widget is on screen, keys are typed into whatever has the focus. Nothing here
reaches the program through a channel that a person does not have.

Run a test file through run_gui_test.sh, which gives it a session bus of its own.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import pyatspi

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
BIN_DIR = os.environ.get("MIREVA_TEST_BIN_DIR", os.path.join(SOURCE_DIR, "build", "bin"))
SHOTS_DIR = os.environ.get("MIREVA_TEST_SHOTS", os.path.join(tempfile.gettempdir(), "mireva-gui-shots"))

# LeakSanitizer: GTK, fontconfig, the accessibility bridge and WebKit keep caches
# for the life of the process; leaks with a frame of the program's own code
# are still reported.
LSAN_SUPPRESSIONS = "\n".join(
    "leak:" + lib for lib in (
        "libfontconfig.so", "libpango", "libgtk-3.so", "libgdk-3.so", "libdbus-1.so",
        "libatk-bridge-2.0.so", "libatspi.so", "libgio-2.0.so", "libglib-2.0.so",
        "libgobject-2.0.so", "libwebkit2gtk", "libjavascriptcoregtk", "libatk-1.0.so",
        "libharfbuzz", "libcairo", "libgdk_pixbuf", "libwx_gtk3u_core", "libwx_baseu",
        "libwx_gtk3u_webview", "libsoup", "libepoxy", "libX11"))


def wait_for(predicate, timeout=20.0, interval=0.1, what="condition"):
    """Polls `predicate` until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    last_error = None
    while time.monotonic() < deadline:
        try:
            value = predicate()
            if value:
                return value
        except Exception as e:  # the tree changes under us while windows come and go
            last_error = e
        time.sleep(interval)
    raise AssertionError("timed out waiting for %s%s" % (
        what, " (last error: %s)" % last_error if last_error else ""))


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True)


def key(*keys):
    """Presses keys as xdotool names them ("Return", "ctrl+l", "Escape")."""
    xdotool("key", "--clearmodifiers", *keys)


def type_text(text):
    xdotool("type", "--delay", "20", text)


def states(acc):
    return acc.getState()


def is_sensitive(acc):
    return states(acc).contains(pyatspi.STATE_SENSITIVE)


def is_showing(acc):
    s = states(acc)
    return s.contains(pyatspi.STATE_SHOWING) and s.contains(pyatspi.STATE_VISIBLE)


def on_screen(acc):
    """Drawn on screen now. Items of an open submenu do not report SHOWING, so a
    visible widget with a place on screen counts too."""
    s = states(acc)
    if not s.contains(pyatspi.STATE_VISIBLE):
        return False
    if s.contains(pyatspi.STATE_SHOWING):
        return True
    e = extents(acc)
    return e.width > 0 and e.height > 0 and e.x >= 0 and e.y >= 0


def extents(acc):
    return acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def hover(acc):
    """Moves the pointer to the middle of the widget."""
    e = wait_for(lambda: (lambda x: x if x.width > 0 and x.height > 0 and x.x >= 0 else None)(
        extents(acc)), timeout=5, what="a widget on screen: %s" % describe(acc))
    x, y = e.x + e.width // 2, e.y + e.height // 2
    # "mousemove --sync" waits for a motion, which never comes when the pointer
    # is already there (a second click on the same menu title, say).
    if pointer() != (x, y):
        xdotool("mousemove", "--sync", x, y)
    time.sleep(0.05)


def pointer():
    """Where the pointer is, as (x, y)."""
    out = subprocess.run(["xdotool", "getmouselocation", "--shell"], stdout=subprocess.PIPE,
                         text=True, check=True).stdout
    place = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(place.get("X", -1)), int(place.get("Y", -1))


def click(acc, button=1):
    """Moves the pointer to the middle of the widget and clicks it."""
    hover(acc)
    xdotool("click", button)


def describe(acc):
    try:
        return "%s %r" % (acc.getRoleName(), acc.name)
    except Exception:
        return "<gone>"


def walk(acc, max_depth=40):
    """Every accessible below `acc`, depth first."""
    stack = [(acc, 0)]
    while stack:
        node, depth = stack.pop()
        yield node
        if depth >= max_depth:
            continue
        try:
            count = node.childCount
        except Exception:
            continue
        # Large containers (the web page) are not ours to search.
        if count > 400:
            continue
        for i in range(count - 1, -1, -1):
            try:
                child = node.getChildAtIndex(i)
            except Exception:
                child = None
            if child is not None:
                stack.append((child, depth + 1))


def text_of(acc):
    """The text an accessible shows (a paragraph of a page), else its name."""
    try:
        return acc.queryText().getText(0, -1)
    except NotImplementedError:
        return acc.name or ""


def find_all(root, role=None, name=None, pred=None):
    out = []
    for node in walk(root):
        try:
            if role is not None and node.getRole() != role:
                continue
            if name is not None and node.name != name:
                continue
            if pred is not None and not pred(node):
                continue
        except Exception:
            continue
        out.append(node)
    return out


def find(root, role=None, name=None, pred=None, timeout=10.0):
    return wait_for(lambda: (find_all(root, role, name, pred) or [None])[0], timeout=timeout,
                    what="%s %r" % (pyatspi.Role(role) if role is not None else "widget", name))


def fill(field, text):
    """Clicks into a text field, selects what it holds and types `text` over it."""
    click(field)
    key("ctrl+a")
    if text:
        type_text(text)
    else:
        key("BackSpace")


def list_items(lst):
    """The captions of the items a list (or table) shows, in order."""
    return [n.name for n in find_all(lst, pred=lambda a: a.getRole() in (
        pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM)) if n is not lst]


def screenshot(name):
    os.makedirs(SHOTS_DIR, exist_ok=True)
    path = os.path.join(SHOTS_DIR, name + ".png")
    subprocess.run(["import", "-window", "root", path], check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path


class TestServer:
    """The loopback HTTP server of tests/support, answering from a routes dict."""

    def __init__(self, routes, folder):
        self.folder = folder
        self.routes_path = os.path.join(folder, "routes.json")
        self.log_path = os.path.join(folder, "requests.log")
        self.set_routes(routes)
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(SOURCE_DIR, "tests", "support", "http_server.py"),
             "--routes", self.routes_path, "--log", self.log_path, "--lifetime", "900"],
            stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        self.port = int(line.split()[1])

    def set_routes(self, routes):
        with open(self.routes_path, "w", encoding="utf-8") as f:
            json.dump(routes, f)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def requests(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\n").split("\t") for line in f]
        except OSError:
            return []

    def requested_paths(self):
        return [r[1] for r in self.requests() if len(r) > 1]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


class Desktop:
    """The window manager for one test file, started on the test's display."""

    def __init__(self):
        self.wm = None

    def start(self):
        if not os.environ.get("DISPLAY"):
            raise unittest.SkipTest("no display")
        if shutil.which("openbox") and not self._wm_running():
            def started():
                # The X server refuses connections for a moment while it resets
                # after its last client has gone (the previous test file's
                # window manager, say): an openbox that could not connect is
                # started again.
                if self.wm is None or self.wm.poll() is not None:
                    self.wm = subprocess.Popen(["openbox", "--sm-disable"],
                                               stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL)
                return self._wm_running()
            wait_for(started, timeout=30, what="the window manager")

    @staticmethod
    def _wm_running():
        r = subprocess.run(["wmctrl", "-m"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           text=True)
        return r.returncode == 0 and "Name:" in r.stdout

    def stop(self):
        if self.wm:
            self.wm.terminate()
            try:
                self.wm.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.wm.kill()
            self.wm = None


class Mireva:
    """One run of the real program with its own working, cache and runtime folders."""

    def __init__(self, args=(), home=None, env=None, name="mireva"):
        self.side = tempfile.mkdtemp(prefix="mireva-gui-")
        self.home = home or os.path.join(self.side, "home")
        os.makedirs(self.home, exist_ok=True)
        self.args = list(args)
        self.extra_env = dict(env or {})
        self.proc = None
        self.app = None
        self.frame = None
        self.stderr_path = os.path.join(self.side, "stderr.txt")
        self.stdout_path = os.path.join(self.side, "stdout.txt")
        self.program = os.path.join(BIN_DIR, name)

    def environment(self):
        env = dict(os.environ)
        for folder in ("run", "cache", "data", "config"):
            os.makedirs(os.path.join(self.side, folder), exist_ok=True)
        os.chmod(os.path.join(self.side, "run"), 0o700)
        env.update({
            "MIREVA_HOME": self.home,
            "XDG_RUNTIME_DIR": os.path.join(self.side, "run"),
            "XDG_CACHE_HOME": os.path.join(self.side, "cache"),
            "XDG_DATA_HOME": os.path.join(self.side, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.side, "config"),
            "MIREVA_FAVORITES": os.path.join(self.side, "Favorites"),
            "LSAN_OPTIONS": "suppressions=" + self._lsan_file(),
            "GTK_THEME": "Adwaita",
            "LANG": env.get("LANG") or "C.UTF-8",
            # No desktop file manager or browser in the tests: xdg-open does nothing.
            "BROWSER": "true",
            "VISUAL": env.get("VISUAL", ""),
        })
        env.update(self.extra_env)
        return env

    def _lsan_file(self):
        path = os.path.join(self.side, "lsan.supp")
        with open(path, "w") as f:
            f.write(LSAN_SUPPRESSIONS + "\n")
        return path

    def spawn(self):
        """Starts the program without waiting for its window: for runs that end
        by themselves (a timer patrol), which never join the accessibility bus,
        as a program that leaves while registering there can stall the bus."""
        with open(self.stderr_path, "wb") as err, open(self.stdout_path, "wb") as out:
            self.proc = subprocess.Popen([self.program] + self.args, env=self.environment(),
                                         stdout=out, stderr=err)
        return self

    def stdout(self):
        with open(self.stdout_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def start(self, timeout=60):
        with open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen([self.program] + self.args, env=self.environment(),
                                         stdout=subprocess.DEVNULL, stderr=err)
        self.app = wait_for(self._find_app, timeout=timeout, what="Mireva on the accessibility bus")
        self.frame = wait_for(lambda: self._main_frame(), timeout=timeout, what="the main window")
        return self

    def _find_app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is None:
                continue
            try:
                if app.get_process_id() == self.proc.pid:
                    return app
            except Exception:
                continue
        if self.proc.poll() is not None:
            raise AssertionError("Mireva ended at start (status %s): %s" % (
                self.proc.returncode, self.stderr()))
        return None

    def _main_frame(self):
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w is not None and w.getRole() == pyatspi.ROLE_FRAME and "Mireva" in (w.name or ""):
                return w
        return None

    def stderr(self):
        try:
            with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    # --- what a person sees -------------------------------------------------

    def caption(self):
        return self.frame.name

    def windows(self):
        return [self.app.getChildAtIndex(i) for i in range(self.app.childCount)]

    def window(self, name=None, role=None, timeout=15):
        """A top-level window of the program (a dialog, say) by its caption."""
        def look():
            for w in self.windows():
                if w is None:
                    continue
                if name is not None and w.name != name:
                    continue
                if role is not None and w.getRole() != role:
                    continue
                if w is self.frame and name is None:
                    continue
                if is_showing(w) or w.getRole() in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_FILE_CHOOSER):
                    return w
            return None
        return wait_for(look, timeout=timeout, what="window %r" % name)

    def message_box(self, timeout=15):
        """The message box on screen: its window and its text."""
        box = self.window(role=pyatspi.ROLE_ALERT, timeout=timeout)
        return box, " ".join(n.name for n in find_all(box, pyatspi.ROLE_LABEL) if n.name)

    def no_window(self, name, timeout=15):
        wait_for(lambda: not any(w is not None and w.name == name and is_showing(w)
                                 for w in self.windows()),
                 timeout=timeout, what="window %r to close" % name)

    def address_field(self):
        return find(self.frame, pyatspi.ROLE_TEXT,
                    pred=lambda a: states(a).contains(pyatspi.STATE_EDITABLE)
                    and states(a).contains(pyatspi.STATE_SINGLE_LINE))

    def address(self):
        t = self.address_field().queryText()
        return t.getText(0, -1)

    def status_text(self):
        """The message pane of the status bar: the label in the bottom-most
        panel of the window."""
        def top(node):
            return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).y
        body = find(self.frame, pyatspi.ROLE_FILLER)
        panels = [body.getChildAtIndex(i) for i in range(body.childCount)]
        bar = max((p for p in panels if p is not None and p.getRole() == pyatspi.ROLE_PANEL),
                  key=top)
        return " ".join(n.name for n in find_all(bar, pyatspi.ROLE_LABEL) if n.name)

    def wait_caption(self, text, timeout=30):
        wait_for(lambda: self.frame.name == text, timeout=timeout,
                 what="the caption %r (it is %r)" % (text, self.frame.name))

    def wait_address(self, text, timeout=30):
        wait_for(lambda: self.address() == text, timeout=timeout,
                 what="the address %r" % text)

    # --- what a person does --------------------------------------------------

    def activate_window(self):
        # Only the mapped window: the toolkit's hidden helper windows of the
        # process match the name too, and never become active.
        xdotool("search", "--sync", "--onlyvisible", "--pid", self.proc.pid, "--name", "Mireva",
                "windowactivate", "--sync")

    def menu_bar(self):
        return find(self.frame, pyatspi.ROLE_MENU_BAR)

    def top_menu(self, caption):
        return find(self.menu_bar(), pyatspi.ROLE_MENU, caption)

    def open_menu(self, caption):
        """Clicks a top-level menu and waits until its items are on screen."""
        menu = self.top_menu(caption)
        click(menu)
        wait_for(lambda: any(is_showing(c) for c in find_all(menu, pyatspi.ROLE_MENU_ITEM)
                             + find_all(menu, pyatspi.ROLE_CHECK_MENU_ITEM)
                             + find_all(menu, pyatspi.ROLE_MENU)),
                 timeout=5, what="menu %r open" % caption)
        return menu

    def menu_item(self, parent, caption):
        def look():
            for n in walk(parent, max_depth=2):
                if n is parent:
                    continue
                if n.name == caption and n.getRole() in (
                        pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_MENU,
                        pyatspi.ROLE_RADIO_MENU_ITEM):
                    return n
            return None
        return wait_for(look, timeout=5, what="menu item %r" % caption)

    def choose(self, *path):
        """Chooses a menu item by clicking through its captions:
        choose("ファイル", "保存(txt)...")."""
        self.activate_window()
        node = self.open_menu(path[0])
        for caption in path[1:]:
            item = self.menu_item(node, caption)
            wait_for(lambda: on_screen(item), timeout=5, what="%r on screen" % caption)
            if not is_sensitive(item):
                key("Escape", "Escape", "Escape")
                raise AssertionError("menu item %r is greyed" % caption)
            node = item
            if item.getRole() == pyatspi.ROLE_MENU:
                self.open_submenu(item)
            else:
                click(item)

    def sensitivity(self, top, *items):
        """Whether menu items are enabled, as a person sees them in the open
        menu: `top` is opened by a click, each item is a caption in it or a
        path of captions through its submenus (give those last), and the menu
        is closed by a click on its title. A list of booleans, one per item."""
        self.activate_window()
        menu = self.open_menu(top)
        enabled = []
        node = menu
        for item in items:
            node = menu
            for caption in (item if isinstance(item, tuple) else (item,)):
                node = self.menu_item(node, caption)
                if node.getRole() == pyatspi.ROLE_MENU:
                    self.open_submenu(node)
            wait_for(lambda: on_screen(node), timeout=5, what="%r on screen" % (item,))
            enabled.append(is_sensitive(node))
        time.sleep(0.6)  # a click right after a menu opened does not close it
        click(menu)
        wait_for(lambda: not on_screen(node), timeout=5, what="the menu closed")
        return enabled

    def open_submenu(self, item):
        """Opens a submenu as a person does: the pointer rests on it, and where
        the toolkit keeps the last submenu open, the right arrow key opens it."""
        hover(item)
        try:
            self.wait_submenu_open(item, timeout=3)
        except AssertionError:
            key("Right")
            try:
                self.wait_submenu_open(item, timeout=5)
            except AssertionError:  # a busy machine: rest on it once more
                hover(item)
                self.wait_submenu_open(item, timeout=10)

    def wait_submenu_open(self, item, timeout=5):
        wait_for(lambda: any(on_screen(c) for c in walk(item, 1) if c is not item),
                 timeout=timeout, what="submenu %r open" % item.name)

    def button(self, window, caption):
        """A push button by its caption; stock buttons may show a mnemonic
        ("OK(O)", "キャンセル(C)"), which the caption need not name."""
        def same(b):
            name = b.name or ""
            return name == caption or (name.startswith(caption + "(") and name.endswith(")"))
        try:
            return find(window, pyatspi.ROLE_PUSH_BUTTON, pred=same)
        except AssertionError:
            names = [b.name for b in find_all(window, pyatspi.ROLE_PUSH_BUTTON)]
            raise AssertionError("no button %r in %s; buttons: %r" % (caption, describe(window), names))

    def press(self, window, caption):
        b = self.button(window, caption)
        wait_for(lambda: is_sensitive(b), timeout=5, what="button %r sensitive" % caption)
        click(b)

    def tool_button(self, tooltip):
        return find(self.frame, pyatspi.ROLE_PUSH_BUTTON, tooltip)

    def open_address(self, url):
        """Clicks into the address field, replaces its text and presses Enter."""
        self.activate_window()
        field = self.address_field()
        click(field)
        key("ctrl+a")
        type_text(url)
        key("Return")

    def close_by_window_manager(self, window_name_pattern="Mireva"):
        subprocess.run(["wmctrl", "-c", window_name_pattern], check=False)

    def wait_exit(self, timeout=30):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("Mireva did not end")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.stop_watcher()
        report = self.stderr()
        shutil.rmtree(self.side, ignore_errors=True)
        # Under the sanitizers a report is a failing test, even when the
        # window did everything the test asked.
        for marker in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"):
            if marker in report:
                raise AssertionError("sanitizer report from Mireva:\n" + report[-4000:])

    def stop_watcher(self):
        """Ends the watcher that this run started (it outlives the window by design)."""
        run = os.path.join(self.side, "run")
        r = subprocess.run(["pgrep", "-f", "tollick"], stdout=subprocess.PIPE, text=True)
        for pid in r.stdout.split():
            try:
                with open("/proc/%s/environ" % pid, "rb") as f:
                    if ("XDG_RUNTIME_DIR=" + run).encode() in f.read().split(b"\0"):
                        os.kill(int(pid), signal.SIGTERM)
            except OSError:
                pass


class GuiTest(unittest.TestCase):
    """A test case with the desktop up, a loopback server and one program run at a time."""
    routes = {"routes": {}}
    desktop = None

    @classmethod
    def setUpClass(cls):
        cls.desktop = Desktop()
        cls.desktop.start()
        cls.folder = tempfile.mkdtemp(prefix="mireva-gui-server-")
        cls.server = TestServer(cls.routes, cls.folder)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)
        cls.desktop.stop()

    def launch(self, *args, **kw):
        m = Mireva(args, **kw)
        self.addCleanup(m.stop)
        self.addCleanup(self._shot_if_failed)
        m.start()
        self._running = m
        return m

    def _shot_if_failed(self):
        # A screenshot of what a failing test saw, taken before its program ends.
        result = getattr(getattr(self, "_outcome", None), "result", None)
        failed = result is not None and any(
            test is self for test, _ in list(result.failures) + list(result.errors))
        if failed:
            print("screenshot: %s" % screenshot("fail-" + self.id().split(".")[-1]),
                  file=sys.stderr)


def main():
    unittest.main(verbosity=2)
