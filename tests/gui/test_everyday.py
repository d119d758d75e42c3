"""Everyday browsing as a Japanese user meets it: a Shift_JIS page without a
charset label and the encoding menu, a page that cannot be loaded, words typed
where an address goes, the keys every browser has, printing without a printer."""
import socket
import time

import pyatspi

import mireva_gui as g

TITLE = "日本語のページ"
SJIS_PAGE = ("<html><head><title>%s</title></head><body><p>ｱｲｳｴｵ、漢字とかな。</p>"
             "</body></html>" % TITLE).encode("shift_jis")


def closed_port():
    """A loopback port nobody listens on."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Everyday(g.GuiTest):
    routes = {"routes": {
        "/sjis.html": {"body_hex": SJIS_PAGE.hex()},
        "/euc.html": {"body_hex": SJIS_PAGE.decode("shift_jis").encode("euc_jp").hex()},
        "/two.html": {"body": "<html><head><title>Two</title></head><body>two</body></html>"},
    }}

    def test_unlabelled_shift_jis_page_and_the_encoding_menu(self):
        m = self.launch(self.server.url("/sjis.html"))
        m.wait_caption(TITLE + " - Mireva")
        # Read as UTF-8 the title is no longer Japanese; 自動 brings it back.
        m.choose("表示", "エンコード", "UTF-8")
        g.wait_for(lambda: m.frame.name not in ("", TITLE + " - Mireva") and
                   m.frame.name.endswith(" - Mireva"), what="the title read as UTF-8")
        m.choose("表示", "エンコード", "Shift_JIS")
        m.wait_caption(TITLE + " - Mireva")
        m.choose("表示", "エンコード", "EUC-JP")
        g.wait_for(lambda: m.frame.name != TITLE + " - Mireva", what="the title read as EUC-JP")
        m.choose("表示", "エンコード", "自動")
        m.wait_caption(TITLE + " - Mireva")
        g.screenshot("encoding-auto")
        # An unlabelled EUC-JP page needs the menu; the choice then holds.
        m.open_address(self.server.url("/euc.html"))
        m.wait_address(self.server.url("/euc.html"))
        m.choose("表示", "エンコード", "EUC-JP")
        m.wait_caption(TITLE + " - Mireva")

    def test_failed_load_shows_a_japanese_page_with_a_retry_link(self):
        m = self.launch(self.server.url("/two.html"))
        m.wait_caption("Two - Mireva")
        dead = "http://127.0.0.1:%d/gone.html" % closed_port()
        m.open_address(dead)
        m.wait_caption("ページを表示できません - Mireva")
        m.wait_address(dead)
        g.find(m.frame, pyatspi.ROLE_LINK, "もう一度読み込む")
        g.wait_for(lambda: any("サーバーに接続できません" in g.text_of(n)
                               for n in g.walk(m.frame)), what="the reason on the page")
        g.screenshot("load-failed")
        # Back goes to the page before, past nothing of WebKit's own.
        g.key("alt+Left")
        m.wait_caption("Two - Mireva")

    def test_words_typed_as_an_address_are_not_sent_anywhere(self):
        m = self.launch(self.server.url("/two.html"))
        m.wait_caption("Two - Mireva")
        m.open_address("こんにちは 世界")
        box, text = m.message_box()
        self.assertIn("アドレスではない", text)
        m.press(box, "OK")
        time.sleep(0.5)
        self.assertEqual(m.caption(), "Two - Mireva")

    def test_browser_keys_reload_select_the_address_and_go_back_and_forth(self):
        m = self.launch(self.server.url("/two.html"))
        m.wait_caption("Two - Mireva")
        m.activate_window()
        before = self.server.requested_paths().count("/two.html")
        g.key("F5")
        g.wait_for(lambda: self.server.requested_paths().count("/two.html") > before,
                   what="F5 asks the server again")
        g.key("ctrl+r")
        g.wait_for(lambda: self.server.requested_paths().count("/two.html") > before + 1,
                   what="Ctrl+R asks the server again")
        # Ctrl+L: what is typed next replaces the whole address.
        g.key("ctrl+l")
        time.sleep(0.3)  # a person's pause between the key and typing
        g.type_text(self.server.url("/sjis.html"))
        g.key("Return")
        m.wait_caption(TITLE + " - Mireva")
        g.key("alt+Left")
        m.wait_caption("Two - Mireva")
        g.key("alt+Right")
        m.wait_caption(TITLE + " - Mireva")

    def test_printing_without_a_printer_says_so(self):
        m = self.launch(self.server.url("/two.html"))
        m.wait_caption("Two - Mireva")
        m.choose("ファィル(F)", "印刷")
        box, text = m.message_box()
        self.assertIn("プリンタが見つからない", text)
        m.press(box, "OK")


if __name__ == "__main__":
    g.main()
