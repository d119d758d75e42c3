"""The patrol as a person runs it: the file types chosen in the type dialog, a
patrol started from the menu over the list in the working folder, the watcher's
collection of every image a patrol's page showed, the commands
that would start another library call greyed while its downloads run, Stop, Esc
and the window manager's close during a patrol, the patrol-list editor worked
through its field and buttons, and the catalogue dialogs."""
import base64
import os
import shutil
import subprocess
import tempfile
import time

import pyatspi

import mireva_gui as g

PNG_HEX = ("89504e470d0a1a0a0000000d4948445200000008000000080806000000c40fbe8b000000124944415478"
           "9c63382127f71f1f6618190a00534680c1d49fa6f60000000049454e44ae426082")
CACHED = {"Cache-Control": "max-age=3600"}


def picture(kind, color):
    """A small real image of one color (ImageMagick: kind "jpg", "png" or "gif")."""
    return subprocess.run(["convert", "-size", "6x6", "xc:" + color, "-strip", kind + ":-"],
                          stdout=subprocess.PIPE, check=True).stdout


# What the pages of the resource test show, each a content of its own.
SHOWN = {"no-store": picture("jpg", "red"), "late": picture("jpg", "blue"),
         "data": picture("png", "green"), "frame": picture("gif", "purple"),
         "revalidated": picture("jpg", "yellow")}
RESOURCE_PAGE = (
    "<img src='/res/nostore.jpg'>"
    "<img src='data:image/png;base64,%s'>"
    "<iframe src='/res/frame.html'></iframe>"
    "<div style='width:6px;height:6px;background:url(/res/reval.jpg)'></div>"
    # The engine's download of this link keeps the page on show a while.
    "<a href='/res/hold.png'>hold</a>"
    "<script>window.onload = function () { setTimeout(function () {"
    " var i = new Image(); i.src = '/res/late.jpg'; document.body.appendChild(i); }, 500); };"
    "</script>") % base64.b64encode(SHOWN["data"]).decode()


def page(title, body="", delay_ms=700):
    # Each page answers late, so that the one before stays on screen a while.
    return {"body": "<html><head><title>%s</title></head><body>%s</body></html>" % (title, body),
            "delay_ms": delay_ms}


def patrol_file(*lines):
    """The text of a "Patrol.lst" with these lines between its first and last."""
    return "".join(line + "\r\n" for line in ("start patrol;",) + lines + ("end patrol;",))


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def write(path, text):
    with open(path, "wb") as f:
        f.write(text.encode("utf-8"))


class Patrol(g.GuiTest):
    routes = {"routes": {
        "/start.html": page("Start", delay_ms=0),
        "/after.html": page("After", delay_ms=0),
        "/site/a/": page("A", "<a href='/img/red.png'><img src='/img/red.png'></a>"),
        "/site/a/page2.html": page("A2"),
        "/top.html": page("Top"),
        "/other/": page("Other"),
        "/slow/1.html": page("Slow1", delay_ms=4000),
        "/slow/2.html": page("Slow2", delay_ms=0),
        "/img/red.png": {"body_hex": PNG_HEX, "content_type": "image/png", "headers": CACHED},
        "/res/page.html": page("Res", RESOURCE_PAGE, delay_ms=0),
        "/res/frame.html": page("Frame", "<img src='/res/pic.gif'>", delay_ms=0),
        "/res/nostore.jpg": {"body_hex": SHOWN["no-store"].hex(), "content_type": "image/jpeg",
                             "headers": {"Cache-Control": "no-store"}},
        "/res/late.jpg": {"body_hex": SHOWN["late"].hex(), "content_type": "image/jpeg"},
        "/res/pic.gif": {"body_hex": SHOWN["frame"].hex(), "content_type": "image/gif"},
        "/res/reval.jpg": {"body_hex": SHOWN["revalidated"].hex(), "content_type": "image/jpeg",
                           "etag": '"v1"', "headers": {"Cache-Control": "no-cache"}},
        "/res/hold.png": {"body_hex": PNG_HEX, "content_type": "image/png", "delay_ms": 3000},
        "/live/1.html": page("Live1", "<h1>Live 1</h1>" + "".join(
            "<img src='/late/1-%d.png'>" % i for i in range(3)), delay_ms=0),
        "/live/2.html": page("Live2", "<h1>Live 2</h1>" + "".join(
            "<img src='/late/2-%d.png'>" % i for i in range(3)), delay_ms=0),
    }}
    # Images that answer late: those of the first live page after fifteen seconds
    # (the menus are read meanwhile), those of the second after two.
    for _n in ("1-0", "1-1", "1-2", "2-0", "2-1", "2-2"):
        routes["routes"]["/late/%s.png" % _n] = {"body_hex": PNG_HEX, "content_type": "image/png",
                                                 "delay_ms": 15000 if _n[0] == "1" else 2000}
    # The commands that would start another library call, by menu: link
    # commands, a collector, the patrol and a news catalogue, a page save.
    ENGINE_COMMANDS = (
        ("ダウンロード", "画像(jpg,gif,png,tif.pdf)", "リンクバイナリ(exe,lzh,zip)",
         "リンクムービー(wmv,mov,swf,tm,qt)", ("ひまわり(気象協会)", "ひまわり\u3000赤外\u3000動画")),
        ("オプション", "リンク(外部)", "Cache files"),
        ("自動巡回", "巡回実行", "ニュース(新聞社)"),
        ("ファィル(F)", "保存(html)"),
    )

    def patrol_list(self):
        u = self.server.url
        return patrol_file("index page;", u("/site/a/"), "sub page;", "page2.html",
                           "../../top.html", "index page;", u("/other/"))

    def start(self, files):
        """The program on the start page, its working folder seeded with `files`."""
        home = tempfile.mkdtemp(prefix="mireva-gui-home-")
        self.addCleanup(shutil.rmtree, home, True)
        for name, text in files.items():
            write(os.path.join(home, name), text)
        m = self.launch(self.server.url("/start.html"), home=home)
        m.wait_caption("Start - Mireva")
        return m

    def since(self, mark, agent):
        """The paths asked for after `mark` requests, by the browser ("WebKit")
        or by the download engine ("Mireva/"), each run of one path once."""
        out = []
        for r in self.server.requests()[mark:]:
            if any(f.startswith("User-Agent:") and agent in f for f in r) and (
                    not out or out[-1] != r[1]):
                out.append(r[1])
        return out

    REPORT = "巡回レポート - Mireva"

    def watch(self, m, captions_expected, timeout=60):
        """The captions and the addresses shown (each run of one once) until the
        patrol's report shows at its end. The bare "Mireva" of a page whose
        title has not come yet is left out; the last page, replaced by the
        report as soon as it has loaded, may have shown too briefly to be seen."""
        captions, addresses = [], []
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for seen, now in ((captions, m.caption()), (addresses, m.address())):
                if now != "Mireva" and (not seen or seen[-1] != now):
                    seen.append(now)
            if captions and captions[-1] == self.REPORT:
                break
            time.sleep(0.05)
        self.assertEqual(captions[-1:], [self.REPORT])
        shown = captions[:-1]
        self.assertIn(shown, (captions_expected, captions_expected[:-1]),
                      "addresses: %r" % addresses)
        return [a for a in addresses if not a.endswith("/PatrolReport.html")]

    def assert_quiet(self, mark, pages=(), seconds=2.5):
        """After a while, the browser has asked for no page since `mark` but
        `pages`: no patrol goes on."""
        time.sleep(seconds)
        self.assertEqual(self.since(mark, "WebKit"), list(pages))

    def test_patrol_visits_every_page_fetches_the_chosen_type_and_ends(self):
        m = self.start({"Patrol.lst": self.patrol_list()})
        u = self.server.url
        # The type dialog: Cancel keeps the settings, OK stores the ticked boxes.
        m.choose("自動巡回", "ダウンロードファイル")
        types = m.window("ダウンロードファイル")
        g.click(g.find(types, pyatspi.ROLE_CHECK_BOX, "GIF (.gif)"))
        m.press(types, "キャンセル")
        m.no_window("ダウンロードファイル")
        self.assertIsNone(read(os.path.join(m.home, "TollickApp.ini")))
        m.choose("自動巡回", "ダウンロードファイル")
        types = m.window("ダウンロードファイル")
        png = g.find(types, pyatspi.ROLE_CHECK_BOX, "PNG (.png)")
        g.click(png)
        g.wait_for(lambda: g.states(png).contains(pyatspi.STATE_CHECKED), timeout=5,
                   what="PNG ticked")
        m.press(types, "OK")
        m.no_window("ダウンロードファイル")
        ini = read(os.path.join(m.home, "TollickApp.ini")).decode("ascii")
        self.assertIn("PNG=on", ini)
        self.assertIn("GIF=off", ini)

        mark = len(self.server.requests())
        m.choose("自動巡回", "巡回実行")
        addresses = self.watch(m, ["Start - Mireva", "A - Mireva", "A2 - Mireva", "Top - Mireva",
                                   "Other - Mireva"])
        # The address field names each page as the patrol goes to it.
        pages = ["/site/a/", "/site/a/page2.html", "/top.html", "/other/"]
        self.assertIn(addresses, ([u(p) for p in pages], [u(p) for p in pages[:-1]]))
        g.screenshot("patrol-end")
        # The browser showed each page in list order; the engine read each page
        # and fetched the PNG the first one links to.
        self.assertEqual([p for p in self.since(mark, "WebKit") if p != "/img/red.png"], pages)
        self.assertEqual(self.since(mark, "Mireva/"),
                         ["/site/a/", "/img/red.png"] + pages[1:])
        self.assertEqual(read(os.path.join(m.home, "DownLoad", "127.0.0.1", "red.png")),
                         bytes.fromhex(PNG_HEX))
        # The watcher collected the image the browser showed from its cache.
        cache = os.path.join(m.home, "Cache")
        g.wait_for(lambda: any(read(os.path.join(cache, f)) == bytes.fromhex(PNG_HEX)
                               for f in os.listdir(cache) if f.endswith(".png")),
                   timeout=15, what="the PNG in Cache")

        # The patrol has ended with its report: every page new on this first run.
        report = read(os.path.join(m.home, "PatrolReport.html")).decode("shift_jis")
        self.assertIn("4 ページ: 新規 4、変化あり 0、変化なし 0、失敗 0。新しいファイル 1", report)
        self.assertIn('<a href="DownLoad/127.0.0.1/red.png"><img', report)
        self.assertEqual(m.status_text(), "巡回終了: 4 ページ、新しいファイル 1、失敗 0")
        g.screenshot("patrol-report")
        # Nothing more is visited, not after a page the user opens either.
        mark = len(self.server.requests())
        self.assert_quiet(mark)
        m.open_address(u("/after.html"))
        m.wait_caption("After - Mireva")
        self.assert_quiet(mark, ["/after.html"])

    def engine_commands(self, m):
        """Whether each command of ENGINE_COMMANDS is enabled, read in its open menu."""
        return [enabled for menu in self.ENGINE_COMMANDS
                for enabled in m.sensitivity(menu[0], *menu[1:])]

    def choose_saved_types(self, m):
        m.choose("自動巡回", "ダウンロードファイル")  # the saved PNG, for this session
        m.press(m.window("ダウンロードファイル"), "OK")
        m.no_window("ダウンロードファイル")

    def test_the_watcher_collects_every_image_the_page_showed_once(self):
        u = self.server.url
        m = self.start({"Patrol.lst": patrol_file("index page;", u("/res/page.html")),
                        "TollickApp.ini": "[TollickApp]\r\nJPEG=on\r\nGIF=on\r\nPNG=on\r\n"})
        cache, spool = os.path.join(m.home, "Cache"), os.path.join(m.home, "Spool")
        listing = lambda folder: os.listdir(folder) if os.path.isdir(folder) else []
        # Plain browsing collects nothing, and the browser keeps the image that
        # the patrol's visit will revalidate.
        m.open_address(u("/res/page.html"))
        m.wait_caption("Res - Mireva")
        time.sleep(2)
        self.assertEqual(listing(cache), [])
        self.assertEqual([f for f in listing(spool) if not f.startswith(".")], [])
        self.choose_saved_types(m)
        mark = len(self.server.requests())
        m.choose("自動巡回", "巡回実行")
        g.wait_for(lambda: "巡回終了" in m.status_text(), timeout=60, what="the patrol's end")
        # The browser revalidated the image it kept (and the server said 304).
        self.assertTrue(any(r[1] == "/res/reval.jpg" and 'If-None-Match: "v1"' in r
                            for r in self.server.requests()[mark:]))

        def collected():
            return [read(os.path.join(cache, f)) for f in listing(cache)]
        g.wait_for(lambda: all(b in collected() for b in SHOWN.values()), timeout=15,
                   what="every image shown in Cache: %r" % listing(cache))
        g.screenshot("patrol-resources")
        # Each content once, and nothing else the page showed (the page, its frame).
        files = collected()
        for name, content in SHOWN.items():
            self.assertEqual(files.count(content), 1, name)
        self.assertEqual(len(files), len(SHOWN), listing(cache))
        log = read(os.path.join(m.home, "Tollick.log")).decode("utf-8", "replace")
        self.assertEqual(sorted(line.split("\t")[2] for line in log.splitlines()
                                if line.split("\t")[1:2] == ["collected"]), sorted(listing(cache)))
        # The spool is empty again.
        g.wait_for(lambda: [f for f in listing(spool) if f != "collecting"] == [], timeout=5,
                   what="an empty spool")

    def test_during_slow_downloads_the_window_stays_live_and_offers_no_second_call(self):
        u = self.server.url
        m = self.start({"Patrol.lst": patrol_file("index page;", u("/live/1.html"),
                                                  u("/live/2.html")),
                        "TollickApp.ini": "[TollickApp]\r\nPNG=on\r\n"})
        self.choose_saved_types(m)
        count = sum(len(menu) - 1 for menu in self.ENGINE_COMMANDS)
        mark = len(self.server.requests())
        m.choose("自動巡回", "巡回実行")
        g.wait_for(lambda: "/late/1-0.png" in self.since(mark, "Mireva/"), timeout=15,
                   what="the first page's images asked for")
        self.assertIn("巡回中 1/2 ページ", m.status_text())
        # While the engine waits for the images, the menus answer at once, and
        # every command that would start another call is greyed.
        began = time.monotonic()
        m.open_menu("ヘルプ")
        self.assertLess(time.monotonic() - began, 2.0)
        g.key("Escape")
        self.assertEqual(self.engine_commands(m), [False] * count)
        g.screenshot("patrol-downloading")
        # The call was still running while the menus were read: none of its
        # images had arrived.
        folder = os.path.join(m.home, "DownLoad", "127.0.0.1")
        self.assertFalse(os.path.isdir(folder) and os.listdir(folder), "read too late")
        g.wait_for(lambda: "巡回終了" in m.status_text(), timeout=60, what="the patrol's end")
        self.assertEqual(m.status_text(), "巡回終了: 2 ページ、新しいファイル 6、失敗 0")
        self.assertEqual(sorted(os.listdir(folder)), ["%s.png" % n for n in (
            "1-0", "1-1", "1-2", "2-0", "2-1", "2-2")])
        self.assertEqual(self.engine_commands(m), [True] * count)

    def test_closing_the_window_mid_patrol_writes_the_report_and_ends_the_program(self):
        u = self.server.url
        m = self.start({"Patrol.lst": patrol_file("index page;", u("/live/2.html"),
                                                  u("/live/1.html"), u("/top.html")),
                        "TollickApp.ini": "[TollickApp]\r\nPNG=on\r\n"})
        self.choose_saved_types(m)
        mark = len(self.server.requests())
        m.choose("自動巡回", "巡回実行")
        # The first page is done; the second one's slow images are on their way.
        g.wait_for(lambda: "/late/1-0.png" in self.since(mark, "Mireva/"), timeout=30,
                   what="the second page's images asked for")
        m.close_by_window_manager("Mireva")
        self.assertEqual(m.wait_exit(timeout=30), 0)
        report = read(os.path.join(m.home, "PatrolReport.html")).decode("shift_jis")
        self.assertIn("(途中で中止)", report)
        self.assertIn("2 ページ: 新規 2", report)
        for n in ("2-0", "2-1", "2-2"):
            self.assertIn('<a href="DownLoad/127.0.0.1/%s.png">' % n, report)
        self.assertIn(u("/live/1.html"), report)
        self.assertNotIn(u("/top.html"), report)
        # The page done kept its files; the cut-off ones left nothing behind.
        self.assertEqual(sorted(os.listdir(os.path.join(m.home, "DownLoad", "127.0.0.1"))),
                         ["2-0.png", "2-1.png", "2-2.png"])
        # The watcher was told that the downloads broke off.
        log = read(os.path.join(m.home, "Tollick.log")).decode("utf-8", "replace")
        notices = [line.split("\t")[2] for line in log.splitlines()
                   if line.split("\t")[1:2] == ["notice"]]
        self.assertEqual(notices[-1], "download break")

    def test_stop_and_esc_end_a_patrol(self):
        u = self.server.url
        m = self.start({"Patrol.lst": patrol_file("index page;", u("/slow/1.html"),
                                                  u("/slow/2.html"))})
        for stop in (lambda: g.click(m.tool_button("Stop")), lambda: g.key("Escape")):
            mark = len(self.server.requests())
            m.choose("自動巡回", "巡回実行")
            g.wait_for(lambda: "/slow/1.html" in self.since(mark, "WebKit"), timeout=15,
                       what="the first page asked for")
            m.activate_window()
            stop()
            # The first page never shows, the second is never asked for, and a
            # page the user opens afterwards does not bring the patrol back.
            time.sleep(5)
            self.assertEqual(m.caption(), "Start - Mireva")
            self.assertEqual(self.since(mark, "WebKit"), ["/slow/1.html"])
            m.open_address(u("/start.html"))
            m.wait_caption("Start - Mireva")
            m.wait_address(u("/start.html"))
            self.assert_quiet(mark, ["/slow/1.html", "/start.html"])

    def test_editor_builds_the_list_save_writes_it_and_close_leaves_it(self):
        u = self.server.url
        m = self.start({})
        m.choose("自動巡回", "巡回リスト編集")
        editor = m.window("巡回リスト")
        entries = g.find(editor, pyatspi.ROLE_TABLE, "巡回リスト")
        field = g.find(editor, pyatspi.ROLE_TEXT, "URL")
        self.assertEqual(g.list_items(entries), [])

        def add(text):
            g.fill(field, text)
            m.press(editor, "追加")

        # A page address is kept as its folder, and the editor says so.
        add(u("/site/a/index.html"))
        box, text = m.message_box()
        self.assertIn("フォルダ %s だけを加えました。ページ index.html" % u("/site/a/"), text)
        g.screenshot("patrol-editor-folder-note")
        m.press(box, "OK")
        add("page2.html")
        add("")
        box, text = m.message_box()
        self.assertEqual(text, "URL address\u3000を入力して下さい")
        m.press(box, "OK")
        add(u("/other/x.html"))
        m.press(m.message_box()[0], "OK")
        # With an entry selected, the next one goes in before it.
        g.click(g.find(entries, pyatspi.ROLE_TABLE_CELL, u("/site/a/")))
        add("../../top.html")
        shown = ["  ../../top.html", u("/site/a/"), "  page2.html", u("/other/")]
        g.wait_for(lambda: g.list_items(entries) == shown, timeout=5,
                   what="the list %r (it is %r)" % (shown, g.list_items(entries)))
        g.screenshot("patrol-editor")
        m.press(editor, "保存")
        saved = patrol_file("index page;", "sub page;", "../../top.html", "index page;",
                            u("/site/a/"), "sub page;", "page2.html", "index page;",
                            u("/other/")).encode()
        g.wait_for(lambda: read(os.path.join(m.home, "Patrol.lst")) == saved, timeout=5,
                   what="the saved list")

        # Delete and Clear change the list shown; Close leaves the file as saved.
        g.click(g.find(entries, pyatspi.ROLE_TABLE_CELL, "  page2.html"))
        m.press(editor, "削除")
        g.wait_for(lambda: g.list_items(entries) == [shown[0], shown[1], shown[3]], timeout=5,
                   what="the entry deleted")
        m.press(editor, "クリア")
        g.wait_for(lambda: g.list_items(entries) == [], timeout=5, what="the list cleared")
        m.press(editor, "閉じる")
        m.no_window("巡回リスト")
        self.assertEqual(read(os.path.join(m.home, "Patrol.lst")), saved)
        # Opened again, the editor shows the saved list.
        m.choose("自動巡回", "巡回リスト編集")
        editor = m.window("巡回リスト")
        g.wait_for(lambda: g.list_items(g.find(editor, pyatspi.ROLE_TABLE, "巡回リスト")) == shown,
                   timeout=5, what="the saved list shown")
        g.key("Escape")
        m.no_window("巡回リスト")

    def test_catalogues_show_their_sites_and_cancel_keeps_the_list(self):
        u = self.server.url
        m = self.start({"Patrol.lst": self.patrol_list()})
        before = read(os.path.join(m.home, "Patrol.lst"))
        for command, catalogue_file, caption in (("気象協会", "Weather.lst", "天気予報"),
                                                  ("ニュース(新聞社)", "NewsPaper.lst", "ニュース\u3000ソース"),
                                                  ("ニュース(TV局)", "NewsTV.lst", "ニュース\u3000ソース")):
            with open(os.path.join(g.SOURCE_DIR, "patrol", "data", catalogue_file), "rb") as f:
                sites = [line.split(" ", 1) for line in f.read().decode("shift_jis").splitlines()]
            m.choose("自動巡回", command)
            dialog = m.window("ニュース")
            catalogue = g.find(dialog, pyatspi.ROLE_TABLE, caption)
            entries = g.find(dialog, pyatspi.ROLE_TABLE, "巡回リスト")
            self.assertEqual(g.list_items(catalogue), [name for name, _ in sites])
            shown = [u("/site/a/"), "  page2.html", "  ../../top.html", u("/other/")]
            self.assertEqual(g.list_items(entries), shown)
            # The second site goes into the patrol list by its address.
            g.click(g.find(catalogue, pyatspi.ROLE_TABLE_CELL, sites[1][0]))
            m.press(dialog, "追加")
            g.wait_for(lambda: g.list_items(entries) == shown + [sites[1][1]], timeout=5,
                       what="%s added" % sites[1][1])
            g.screenshot("patrol-catalogue-%s" % catalogue_file[:-4])
            m.press(dialog, "ｷｬﾝｾﾙ")
            m.no_window("ニュース")
            self.assertEqual(read(os.path.join(m.home, "Patrol.lst")), before)
        self.assertEqual(m.caption(), "Start - Mireva")

    def test_catalogue_patrol_button_saves_the_list_and_patrols(self):
        u = self.server.url
        # A catalogue of the user's own: the shipped one does not replace it.
        m = self.start({"Patrol.lst": self.patrol_list(),
                        "NewsTV.lst": "Top %s\r\nOther %s\r\n" % (u("/top.html"), u("/other/"))})
        m.choose("自動巡回", "ニュース(TV局)")
        dialog = m.window("ニュース")
        catalogue = g.find(dialog, pyatspi.ROLE_TABLE, "ニュース\u3000ソース")
        self.assertEqual(g.list_items(catalogue), ["Top", "Other"])
        g.click(g.find(catalogue, pyatspi.ROLE_TABLE_CELL, "Top"))
        m.press(dialog, "追加")
        m.press(dialog, "巡回")
        m.no_window("ニュース")
        self.watch(m, ["Start - Mireva", "A - Mireva", "A2 - Mireva", "Top - Mireva",
                       "Other - Mireva", "Top - Mireva"])
        # The sub-page block keeps its end: "/other/" stays an index entry.
        self.assertEqual(read(os.path.join(m.home, "Patrol.lst")), patrol_file(
            "index page;", u("/site/a/"), "sub page;", "page2.html", "../../top.html",
            "index page;", u("/other/"), u("/top.html")).encode())


if __name__ == "__main__":
    g.main()
