"""The downloads window as a person uses it: opened from the ダウンロード menu
over a working folder with a download history, its rows newest first, the
search field narrowing them, an entry forgotten by its button after the
question, an entry fetched again from the page it was linked from while the
window shows the engine's work (and the server it waits for, which asks for
a pause first), and the window closed by the window manager."""
import os
import shutil
import sqlite3
import tempfile
import time

import pyatspi

import mireva_gui as g

PNG_HEX = ("89504e470d0a1a0a0000000d4948445200000008000000080806000000c40fbe8b000000124944415478"
           "9c63382127f71f1f6618190a00534680c1d49fa6f60000000049454e44ae426082")
TITLE = "ダウンロード履歴"

# The history's tables as the store makes them (texts are stored as bytes).
SCHEMA = """
CREATE TABLE fetched(id INTEGER PRIMARY KEY, address BLOB NOT NULL, final_address BLOB NOT NULL,
  referrer BLOB NOT NULL, file BLOB NOT NULL, site BLOB NOT NULL, size INTEGER NOT NULL,
  sha256 TEXT NOT NULL, fetched_at INTEGER NOT NULL, run_kind INTEGER NOT NULL);
CREATE UNIQUE INDEX fetched_address ON fetched(address);
CREATE INDEX fetched_time ON fetched(fetched_at);
CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);
PRAGMA user_version = 1;
"""


def seed_history(home, entries):
    """A history database in `home` with entries (address, referrer, file, size, time)."""
    os.makedirs(os.path.join(home, "DownLoad"), exist_ok=True)
    db = sqlite3.connect(os.path.join(home, "DownLoad", "History.sqlite"))
    db.executescript(SCHEMA)
    db.execute("INSERT INTO meta VALUES('checked_at', ?)", (int(time.time()),))
    for address, referrer, file, size, when in entries:
        site = address.split("://")[1].split("/")[0].split(":")[0].lower()
        db.execute("INSERT INTO fetched(address, final_address, referrer, file, site, size, sha256,"
                   " fetched_at, run_kind) VALUES(?, ?, ?, ?, ?, ?, ?, ?, 2)",
                   (address.encode(), b"", referrer.encode(), file.encode(), site.encode(), size,
                    "a" * 64, when))
    db.commit()
    db.close()


def history_addresses(home):
    db = sqlite3.connect(os.path.join(home, "DownLoad", "History.sqlite"))
    try:
        return sorted(r[0].decode() for r in db.execute("SELECT address FROM fetched"))
    finally:
        db.close()


class DownloadsWindow(g.GuiTest):
    routes = {"routes": {
        "/start.html": {"body": "<html><head><title>Start</title></head><body>start</body></html>"},
        "/gallery.html": {"body": "<html><head><title>Gallery</title></head><body>"
                                  "<a href='/img/red.png'>red</a></body></html>"},
        # The server asks for a pause of 3 s first, and is slow enough after it
        # for the window to show the engine at work.
        "/img/red.png": {"sequence": [
            {"status": 429, "headers": {"Retry-After": "3"}, "body": "busy"},
            {"body_hex": PNG_HEX, "content_type": "image/png", "delay_ms": 1500}]},
    }}

    def rows(self, table):
        """The rows of the history table: lists of the four cells."""
        cells = g.list_items(table)
        return [cells[i:i + 4] for i in range(0, len(cells) - len(cells) % 4, 4)]

    def addresses(self, table):
        return [r[2] for r in self.rows(table)]

    def wait_addresses(self, table, expected):
        g.wait_for(lambda: self.addresses(table) == expected, timeout=15,
                   what="the rows %r (they are %r)" % (expected, self.addresses(table)))

    def labels(self, window):
        return [n.name for n in g.find_all(window, pyatspi.ROLE_LABEL) if n.name]

    def test_history_is_listed_searched_forgotten_fetched_again_and_closed(self):
        home = tempfile.mkdtemp(prefix="mireva-gui-home-")
        self.addCleanup(shutil.rmtree, home, True)
        u = self.server.url
        now = int(time.time())
        red, notes, other = u("/img/red.png"), u("/doc/notes.txt"), "http://img.example.org/c.jpg"
        seed_history(home, [
            (red, u("/gallery.html"), "DownLoad/127.0.0.1/red.png", 150, now - 7200),
            (notes, "", "DownLoad/127.0.0.1/notes.txt", 3 * 1024 * 1024, now - 60),
            (other, "", "DownLoad/img.example.org/c.jpg", 2048, now - 3600),
        ])
        m = self.launch(u("/start.html"), home=home)
        m.wait_caption("Start - Mireva")

        m.choose("ダウンロード", TITLE)
        win = m.window(TITLE)
        table = g.find(win, pyatspi.ROLE_TABLE)
        self.wait_addresses(table, [notes, other, red])  # newest first
        first = self.rows(table)[0]
        self.assertEqual(first[1], "3.0 MB")
        self.assertEqual(first[3], "DownLoad/127.0.0.1/notes.txt")
        self.assertRegex(first[0], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        self.assertIn("待機中", self.labels(win))

        # Typing in the search field narrows the list to what matches.
        search = g.find(win, pyatspi.ROLE_TEXT,
                        pred=lambda a: g.states(a).contains(pyatspi.STATE_EDITABLE))
        g.fill(search, "c.jpg")
        self.wait_addresses(table, [other])
        g.fill(search, "")
        self.wait_addresses(table, [notes, other, red])
        g.screenshot("downloads-window")

        # Forgetting the chosen entry asks first, and whether its file goes
        # too: "キャンセル" keeps both, "ファイルも削除" removes both.
        notes_file = os.path.join(home, "DownLoad", "127.0.0.1", "notes.txt")
        os.makedirs(os.path.dirname(notes_file), exist_ok=True)
        with open(notes_file, "w") as f:
            f.write("notes")
        g.click(g.find(table, pyatspi.ROLE_TABLE_CELL, notes))
        m.press(win, "履歴から削除")
        box, text = m.message_box()
        self.assertIn(notes, text)
        self.assertIn("DownLoad/127.0.0.1/notes.txt も削除しますか", text)
        g.screenshot("downloads-forget-question")
        m.press(box, "キャンセル")
        g.wait_for(lambda: not g.is_showing(box), timeout=10, what="the question to close")
        self.assertIn(notes, history_addresses(home))
        self.assertTrue(os.path.exists(notes_file))
        m.press(win, "履歴から削除")
        box, _ = m.message_box()
        m.press(box, "ファイルも削除")
        self.wait_addresses(table, [other, red])
        self.assertEqual(history_addresses(home), sorted([other, red]))
        self.assertFalse(os.path.exists(notes_file))

        # Fetched again: forgotten, then the engine takes the file from its page
        # while the window shows the work, and the file is on disk once more.
        g.click(g.find(table, pyatspi.ROLE_TABLE_CELL, red))
        m.press(win, "再取得")
        g.wait_for(lambda: any("ダウンロード中" in t or "取得を始めています" in t
                               for t in self.labels(win)),
                   timeout=10, what="the engine's work in the window")
        # The host the engine waits for, with the seconds left.
        g.wait_for(lambda: any("サーバー待ち: 127.0.0.1 あと" in t for t in self.labels(win)),
                   timeout=10, what="the server waited for in the window")
        g.screenshot("downloads-working")
        saved = os.path.join(home, "DownLoad", "127.0.0.1", "red.png")
        g.wait_for(lambda: os.path.exists(saved), timeout=30, what="the file fetched again")
        g.wait_for(lambda: "待機中" in self.labels(win), timeout=15, what="the window idle again")
        self.assertIn("/img/red.png", self.server.requested_paths())

        m.close_by_window_manager(TITLE)
        m.no_window(TITLE)
        self.assertEqual(m.caption(), "Start - Mireva")


if __name__ == "__main__":
    g.main()
