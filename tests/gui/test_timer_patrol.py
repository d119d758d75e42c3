"""A patrol run from a timer: the program started with the patrol command
visits the list, the engine downloads the enabled type, and the program ends by
itself. Its own test file: a program that ends on its own must not share an
accessibility bus with the tests that find windows there."""
import os

import mireva_gui as g


class TimerPatrol(g.GuiTest):
    GIF = ("47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b")
    routes = {"routes": {
        "/a.html": {"body": '<html><head><title>A</title></head><body><a href="pic.gif">pic</a>'
                            '</body></html>'},
        "/b.html": {"body": "<html><head><title>B</title></head><body>b</body></html>"},
        "/pic.gif": {"content_type": "image/gif", "body_hex": GIF},
    }}

    def test_a_timer_patrol_visits_the_list_downloads_and_ends(self):
        m = g.Mireva(["--command", "2201", "--quit-after-patrol"], env={"NO_AT_BRIDGE": "1"})
        self.addCleanup(m.stop)
        with open(os.path.join(m.home, "Patrol.lst"), "w", newline="") as f:
            f.write("start patrol;\r\nindex page;\r\n%s\r\nindex page;\r\n%s\r\nend patrol;\r\n"
                    % (self.server.url("/a.html"), self.server.url("/b.html")))
        with open(os.path.join(m.home, "TollickApp.ini"), "w", newline="") as f:
            f.write("[TollickApp]\r\nGIF=on\r\n")
        m.spawn()
        self.assertEqual(m.wait_exit(timeout=90), 0, m.stderr())
        paths = self.server.requested_paths()
        self.assertIn("/a.html", paths)
        self.assertIn("/b.html", paths)
        self.assertEqual(os.path.getsize(os.path.join(m.home, "DownLoad", "127.0.0.1", "pic.gif")), 43)


if __name__ == "__main__":
    g.main()
