"""A patrol on a machine where nobody is logged in: the program runs with no
display at all, starts a virtual X server of its own for the run, and tells by
its exit status and standard error whether the patrol ran."""
import os
import shutil
import subprocess
import tempfile
import unittest

import mireva_gui as g


class HeadlessMireva(g.Mireva):
    def environment(self):
        env = super().environment()
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        return env


class Headless(unittest.TestCase):
    routes = {"routes": {
        "/a.html": {"body": "<html><head><title>A</title></head><body>a</body></html>"},
        "/b.html": {"body": "<html><head><title>B</title></head><body>b</body></html>"},
    }}

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="mireva-headless-server-")
        cls.server = g.TestServer(cls.routes, cls.folder)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def run_patrol(self, patrol_list, settings="[TollickApp]\r\nGIF=on\r\n", home=None):
        m = HeadlessMireva(["--headless", "--command", "2201", "--quit-after-patrol"], home=home)
        self.addCleanup(m.stop)
        if patrol_list is not None:
            with open(os.path.join(m.home, "Patrol.lst"), "w", newline="") as f:
                f.write(patrol_list)
        with open(os.path.join(m.home, "TollickApp.ini"), "w", newline="") as f:
            f.write(settings)
        m.spawn()
        return m, m.wait_exit(timeout=120)

    def assert_no_xvfb_left(self, m):
        """The X server the run started ended with it (it inherits the run's folders)."""
        marker = ("XDG_RUNTIME_DIR=" + os.path.join(m.side, "run")).encode()
        r = subprocess.run(["pgrep", "-x", "Xvfb"], stdout=subprocess.PIPE, text=True)
        for pid in r.stdout.split():
            try:
                with open("/proc/%s/environ" % pid, "rb") as f:
                    self.assertNotIn(marker, f.read().split(b"\0"), "Xvfb %s outlived the run" % pid)
            except OSError:
                pass

    def test_a_patrol_runs_without_a_display_and_ends_with_status_0(self):
        m, status = self.run_patrol(
            "start patrol;\r\nindex page;\r\n%s\r\nindex page;\r\n%s\r\nend patrol;\r\n"
            % (self.server.url("/a.html"), self.server.url("/b.html")))
        self.assertEqual(status, 0, m.stderr())
        # The summary for cron's mail: each page's state, address and new files.
        self.assertEqual(m.stdout(), "new\t%s\t0\nnew\t%s\t0\n" % (
            self.server.url("/a.html"), self.server.url("/b.html")))
        paths = self.server.requested_paths()
        self.assertIn("/a.html", paths)
        self.assertIn("/b.html", paths)
        self.assert_no_xvfb_left(m)

    def test_c_a_second_patrol_tells_changed_pages_and_one_that_never_answers_fails(self):
        """Run twice over the same site: the second run knows the pages it saw;
        a page whose server never answers fails at the page time limit."""
        u = self.server.url
        self.server.set_routes({"routes": dict(self.routes["routes"], **{
            "/never.html": {"body": "late", "delay_ms": 600000}})})
        patrol_list = ("start patrol;\r\nindex page;\r\n%s\r\nindex page;\r\n%s\r\n"
                       "index page;\r\n%s\r\nend patrol;\r\n"
                       % (u("/a.html"), u("/never.html"), u("/b.html")))
        settings = "[TollickApp]\r\n[Patrol]\r\nPageTimeLimit=3\r\n"
        m, status = self.run_patrol(patrol_list, settings)
        self.assertEqual(status, 0, m.stderr())
        self.assertEqual(m.stdout(), "new\t%s\t0\nfailed\t%s\t0\nnew\t%s\t0\n" % (
            u("/a.html"), u("/never.html"), u("/b.html")))
        with open(os.path.join(m.home, "PatrolReport.html"), "rb") as f:
            self.assertIn("3 秒以内に読み込まれませんでした".encode("cp932"), f.read())
        # b's text changes before the second run; a's stays as it was.
        routes = dict(self.routes["routes"])
        routes["/b.html"] = {"body": "<html><head><title>B</title></head><body>b2</body></html>"}
        self.server.set_routes({"routes": dict(routes, **{
            "/never.html": {"body": "late", "delay_ms": 600000}})})
        again, status = self.run_patrol(patrol_list, settings, home=m.home)
        self.assertEqual(status, 0, again.stderr())
        self.assertEqual(again.stdout(), "unchanged\t%s\t0\nfailed\t%s\t0\nchanged\t%s\t0\n" % (
            u("/a.html"), u("/never.html"), u("/b.html")))
        self.server.set_routes(self.routes)

    def test_b_a_patrol_that_cannot_start_says_why_and_fails(self):
        m, status = self.run_patrol(None)
        self.assertNotEqual(status, 0)
        self.assertIn("巡回リストが見つかりません", m.stderr())
        self.assert_no_xvfb_left(m)


if __name__ == "__main__":
    unittest.main(verbosity=2)
