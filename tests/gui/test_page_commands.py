"""The page commands as a person uses them: saving the page on show as text and
as HTML (with the password prompt of a protected page), the source view in the
user's text editor, the batch download of a page's images, and a link command
whose files all fail."""
import os
import stat
import time

import pyatspi

import mireva_gui as g

GIF = "47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b"


class PageCommands(g.GuiTest):
    routes = {"routes": {
        "/page.html": {"body": '<html><head><title>P</title></head><body><b>Bold</b> text'
                               '<img src="img/a.gif"><img src="/b.gif?x=1"></body></html>'},
        "/img/a.gif": {"content_type": "image/gif", "body_hex": GIF},
        "/b.gif": {"content_type": "image/gif", "body_hex": GIF},
        "/private.html": {"auth": "ann:pw", "realm": "R",
                          "body_hex": "<p>inside</p><p>日本語</p>".encode("shift_jis").hex()},
        "/slow.html": {"body": "<p>slow</p>", "delay_ms": 4000},
        "/big.txt": {"body_repeat": ["0123456789", 12000000], "content_type": "text/plain"},
        "/frames.html": {"body": '<html><head><title>F</title></head><frameset cols="50%,50%">'
                                 '<frame src="menu.html"><frame src="sub/main.html"></frameset></html>'},
        "/menu.html": {"body": "<html><body>menu</body></html>"},
        "/sub/main.html": {"body": '<html><body><img src="../img/a.gif"></body></html>'},
        # Linked archives that all fail: missing, a server error, a body cut
        # short of its promised length, and a host that takes no connection.
        "/broken.html": {"body": '<html><head><title>B</title></head><body>'
                                 '<a href="/f/missing.zip">1</a><a href="/f/error.zip">2</a>'
                                 '<a href="/f/cut.zip">3</a>'
                                 '<a href="http://127.0.0.1:1/f/away.zip">4</a></body></html>'},
        "/f/error.zip": {"status": 500, "body": "<html>500</html>"},
        "/f/cut.zip": {"content_type": "application/zip", "body_repeat": ["PK", 20000],
                       "truncate_after": 5000},
    }}

    def save_as(self, m, path):
        """Answers the file chooser: the name typed into it, then its Save button."""
        chooser = m.window(role=pyatspi.ROLE_FILE_CHOOSER, timeout=20)
        g.key("ctrl+a")
        g.type_text(path)
        time.sleep(0.3)
        g.screenshot("file-chooser")
        save = g.find(chooser, pyatspi.ROLE_PUSH_BUTTON,
                      pred=lambda b: b.name in ("保存(S)", "Save", "_Save"))
        g.click(save)
        m.no_window(chooser.name)

    def type_address(self, m, address):
        """Types an address over the address field's text, without opening it."""
        g.click(m.address_field())
        g.key("ctrl+a")
        g.type_text(address)

    def answer_password(self, m, user, password):
        prompt = m.window("ネットワーク パスワードの入力", timeout=20)
        g.type_text(user)
        g.key("Tab")
        g.type_text(password)
        m.press(prompt, "OK")

    def acknowledge(self, m, text):
        """Waits for a message box showing `text` and presses its OK."""
        def box():
            for w in m.windows():
                if w is None or w is m.frame:
                    continue
                if any(text in (n.name or "") for n in g.walk(w, 8)):
                    return w
            return None
        w = g.wait_for(box, timeout=20, what="a message %r" % text)
        buttons = g.find_all(w, pyatspi.ROLE_PUSH_BUTTON)
        self.assertTrue(buttons, "the message has no button")
        g.click(buttons[-1])

    def test_saves_text_and_protected_html_and_shows_the_source(self):
        out = os.path.join(self.folder, "out")
        os.makedirs(out, exist_ok=True)
        editor = os.path.join(self.folder, "editor.sh")
        with open(editor, "w") as f:
            f.write('#!/bin/sh\ncp "$1" "%s/edited.html"\n' % out)
        os.chmod(editor, os.stat(editor).st_mode | stat.S_IEXEC)
        m = self.launch(self.server.url("/page.html"), env={"VISUAL": editor})
        m.wait_caption("P - Mireva")

        m.choose("ファィル(F)", "保存(txt)")
        self.save_as(m, os.path.join(out, "page.txt"))
        self.acknowledge(m, "Hovrel complate")
        g.wait_for(lambda: os.path.exists(os.path.join(out, "page.txt")), what="page.txt")
        with open(os.path.join(out, "page.txt"), "rb") as f:
            self.assertEqual(f.read(), b"PBold text")

        # A slow page: the window answers while the page is fetched.
        self.type_address(m, self.server.url("/slow.html"))
        m.choose("ファィル(F)", "保存(txt)")
        self.save_as(m, os.path.join(out, "slow.txt"))
        began = time.monotonic()
        m.open_menu("ヘルプ")
        self.assertLess(time.monotonic() - began, 2.0)
        g.key("Escape")
        self.acknowledge(m, "Hovrel complate")
        with open(os.path.join(out, "slow.txt"), "rb") as f:
            self.assertEqual(f.read(), b"slow")

        # The commands read the address field: a typed address, not yet opened.
        self.type_address(m, self.server.url("/private.html"))
        m.choose("ファィル(F)", "保存(html)")
        self.save_as(m, os.path.join(out, "private.html"))
        self.answer_password(m, "ann", "pw")
        self.acknowledge(m, "Hovrel complate")
        saved = os.path.join(out, "private.html")
        g.wait_for(lambda: os.path.exists(saved), what="private.html")
        with open(saved, "rb") as f:
            self.assertIn(b"<p>inside</p>", f.read())

        # The source is fetched again (the password asked again); the editor
        # gets it in UTF-8, the page's own file keeps the server's Shift_JIS.
        m.choose("表示", "ソース表示")
        self.answer_password(m, "ann", "pw")
        edited = os.path.join(out, "edited.html")
        g.wait_for(lambda: os.path.exists(edited), timeout=20, what="the editor to run")
        with open(edited, "rb") as f:
            self.assertIn("<p>inside</p><p>日本語</p>".encode("utf-8"), f.read())
        with open(os.path.join(m.home, "temp.html"), "rb") as f:
            self.assertIn("日本語".encode("shift_jis"), f.read())

    def test_a_large_page_is_saved_whole_and_ctrl_s_saves_the_page_on_show(self):
        out = os.path.join(self.folder, "out-big")
        os.makedirs(out, exist_ok=True)
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("P - Mireva")

        # Ctrl+S asks for a name the first time and saves the page as HTML.
        m.activate_window()
        g.key("ctrl+s")
        self.save_as(m, os.path.join(out, "page.html"))
        self.acknowledge(m, "Hovrel complate")
        with open(os.path.join(out, "page.html"), "rb") as f:
            self.assertIn(b"<b>Bold</b> text", f.read())
        # The second time it saves there again without asking.
        os.remove(os.path.join(out, "page.html"))
        g.key("ctrl+s")
        self.acknowledge(m, "Hovrel complate")
        self.assertTrue(os.path.exists(os.path.join(out, "page.html")))

        # A 12 MB page: all of it reaches the file.
        self.type_address(m, self.server.url("/big.txt"))
        m.choose("ファィル(F)", "保存(txt)")
        self.save_as(m, os.path.join(out, "big.txt"))
        self.acknowledge(m, "Hovrel complate")
        self.assertEqual(os.path.getsize(os.path.join(out, "big.txt")), 12000000)

    def finished_download(self, m):
        """The progress window at its end: where the files went, and its buttons."""
        def ended():
            for w in m.windows():
                if w is not None and w is not m.frame and g.find_all(
                        w, pyatspi.ROLE_PUSH_BUTTON,
                        pred=lambda b: b.name == "閉じる" and g.is_showing(b)):
                    return w
            return None
        return g.wait_for(ended, timeout=30, what="the end of the download")

    def test_images_land_in_the_sites_folder_and_failed_links_end_as_failures(self):
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("P - Mireva")
        m.choose("ダウンロード", "画像(jpg,gif,png,tif.pdf)")
        end = self.finished_download(m)
        site = os.path.join(m.home, "DownLoad", "127.0.0.1")
        texts = " ".join(n.name or "" for n in g.walk(end))
        self.assertIn(site, texts)
        g.screenshot("download-end")
        for name in ("a.gif", "b.gif"):
            with open(os.path.join(site, name), "rb") as f:
                self.assertEqual(len(f.read()), 43)
        self.assertTrue(os.path.exists(os.path.join(m.home, "temp.html")))
        caption = end.name
        m.press(end, "閉じる")
        m.no_window(caption)

        # Every linked archive fails: the end says so, with each reason, and
        # its bar stands at none saved.
        m.open_address(self.server.url("/broken.html"))
        m.wait_caption("B - Mireva")
        m.choose("ダウンロード", "リンクバイナリ(exe,lzh,zip)")
        end = self.finished_download(m)
        summary = [n.name for n in g.find_all(end, pyatspi.ROLE_LABEL)
                   if (n.name or "").startswith("ダウンロード")]
        self.assertEqual(summary, ["ダウンロード終了: 保存 0、失敗 4"])
        details = [d for d in g.list_items(end) if d]
        self.assertEqual(len(details), 4, details)
        for name in ("missing.zip", "error.zip", "cut.zip", "away.zip"):
            self.assertTrue(any(d.startswith("失敗 ") and name in d and d.endswith(")")
                                for d in details), (name, details))
        bar = g.find(end, pyatspi.ROLE_PROGRESS_BAR).queryValue()
        self.assertLess(bar.currentValue, bar.maximumValue)
        self.assertEqual(bar.currentValue, bar.minimumValue)
        self.assertEqual([b.name for b in g.find_all(end, pyatspi.ROLE_PUSH_BUTTON)
                          if g.is_showing(b) and b.name == "もう一度取得"], [])
        g.screenshot("download-failed")
        self.assertEqual([f for f in os.listdir(site) if not f.endswith(".gif")], [])
        m.press(end, "閉じる")
        m.no_window(caption)

    def test_a_frameset_offers_its_frames_and_analyses_the_chosen_one(self):
        m = self.launch(self.server.url("/frames.html"))
        m.wait_caption("F - Mireva")
        m.choose("ダウンロード", "画像(jpg,gif,png,tif.pdf)")
        dialog = m.window("フレーム解析")
        m.press(dialog, "ｷｬﾝｾﾙ")
        m.no_window("フレーム解析")
        m.choose("ダウンロード", "画像(jpg,gif,png,tif.pdf)")
        dialog = m.window("フレーム解析")
        items = g.find_all(dialog, pyatspi.ROLE_LIST_ITEM)
        if not items:
            items = g.find_all(dialog, pyatspi.ROLE_TABLE_CELL)
        names = [i.name for i in items]
        self.assertEqual(len(names), 2, names)
        self.assertIn("sub/main.html", names[1])
        g.click(items[1])
        m.press(dialog, "解析")
        end = self.finished_download(m)
        with open(os.path.join(m.home, "DownLoad", "127.0.0.1", "a.gif"), "rb") as f:
            self.assertEqual(len(f.read()), 43)
        m.press(end, "閉じる")


if __name__ == "__main__":
    g.main()
