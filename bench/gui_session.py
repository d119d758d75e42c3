"""Runs a window benchmark the way the GUI tests run: inside a virtual X
server with its own session bus (tests/gui/run_gui_test.sh), with the GUI
tests' helpers (tests/gui/mireva_gui.py) on the path."""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def enter(script):
    """The built programs' folder (argv[1], else build/bin) and the GUI test
    helpers' module. Outside its session the benchmark `script` is started
    again inside one, and this call does not return."""
    bindir = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(ROOT, "build", "bin")
    if not os.environ.get("MIREVA_BENCH_IN_SESSION"):
        env = dict(os.environ, MIREVA_BENCH_IN_SESSION="1")
        os.execvpe("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24",
                                os.path.join(ROOT, "tests", "gui", "run_gui_test.sh"),
                                os.path.abspath(script), bindir], env)
    os.environ["MIREVA_TEST_BIN_DIR"] = bindir
    sys.path.insert(0, os.path.join(ROOT, "tests", "gui"))
    import mireva_gui
    return bindir, mireva_gui
