"""The collectors under the menu ダウンロード as a person uses them, against the
loopback server standing in for the services: the weather satellite's series
made into an animation and shown; a map sheet collected, downloaded and joined
from its four quarters; sky-survey mosaic images listed and downloaded."""
import datetime
import os
import socket
import random
import struct
import time
import zlib

import pyatspi

import mireva_gui as g

DOWNLOAD = "ダウンロード"
MAP = "地形図(国土地理院)"
WEATHER = "ひまわり(気象協会)"
SKY = "Sloan Digital Sky Servey"


def page(title, body=""):
    return {"body": '<html><head><meta charset="utf-8"><title>%s</title></head><body>%s</body></html>'
            % (title, body or title)}


def make_gif(seed, width=64, height=64):
    """A GIF89a frame of the form the weather service sends: a 256-colour
    global table, a graphic control extension, one image of random pixels."""
    rnd = random.Random(seed)
    head = b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0)
    table = bytes(rnd.randrange(256) for _ in range(768))
    control = b"\x21\xF9\x04\x00\x00\x00\x00\x00"
    descriptor = b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    # LZW with 9-bit codes only: every pixel a literal, a clear code before
    # the table would grow to 10 bits.
    codes = [256]
    for n in range(width * height):
        if n and n % 250 == 0:
            codes.append(256)
        codes.append(rnd.randrange(256))
    codes.append(257)
    bits = 0
    for i, c in enumerate(codes):
        bits |= c << (9 * i)
    data = bits.to_bytes((9 * len(codes) + 7) // 8, "little")
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                      for i in range(0, len(data), 255))
    return head + table + control + descriptor + b"\x08" + blocks + b"\x00\x3B"


def gif_images(data):
    """(number of images, loop count of the NETSCAPE2.0 extension or None)."""
    pos = 13
    if data[10] & 0x80:
        pos += 3 << ((data[10] & 7) + 1)
    images, loop = 0, None
    while pos < len(data) and data[pos] != 0x3B:
        if data[pos] == 0x21:
            label, pos = data[pos + 1], pos + 2
            blocks = []
            while data[pos]:
                blocks.append(data[pos + 1:pos + 1 + data[pos]])
                pos += data[pos] + 1
            pos += 1
            if label == 0xFF and blocks[0] == b"NETSCAPE2.0":
                loop = struct.unpack("<H", blocks[1][1:3])[0]
        elif data[pos] == 0x2C:
            flags = data[pos + 9]
            pos += 10
            if flags & 0x80:
                pos += 3 << ((flags & 7) + 1)
            pos += 1  # the LZW minimum code size
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
            images += 1
        else:
            raise AssertionError("not a GIF block at %d" % pos)
    return images, loop


def make_png(width, height, rgb):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def weather_stamps(now):
    """The 20 stamps of the infrared series the program asks for at `now`:
    the hour of ten hours ago, then back in half hours."""
    t = time.localtime(now - 36000)
    first = datetime.datetime(t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour)
    return [(first - datetime.timedelta(minutes=30 * k)).strftime("%Y%m%d%H%M00.gif")
            for k in range(20)]


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Collectors(g.GuiTest):
    routes = {"routes": {
        "/": page("Index"),
        "/mapsearch.html": page("Map search", '<a href="/area/kanto.html">Kanto</a>'),
        "/area/kanto.html": page("Kanto", '<a href="/map/sheet1.html">sheet 1</a>'
                                          ' <a href="/mapsearch.html">search</a>'
                                          ' <a href="/help.html">help</a>'),
        "/map/sheet1.html": page("Sheet 1", "".join(
            '<img src="/map/img/sheet%s.png">' % q for q in ("50", "55", "00", "05"))
            + '<img src="/img/common/logo50.png">'),
        "/jp/tools/scroll/": page("Scrolling sky"),
        "/jp/tools/getimg/mosaic.asp": page(
            "Mosaic", '<a href="mosaic_view.asp?id=1">one</a> <a href="/jp/help.html">help</a>'),
        "/jp/tools/getimg/mosaic_view.asp": page("Mosaic 1", '<img src="mosaic_1.jpg">'),
        "/jp/tools/getimg/mosaic_1.jpg": {"body_hex": "ffd8ffe000104a46494600" + "00" * 40 + "ffd9",
                                          "content_type": "image/jpeg"},
    }}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        routes = dict(cls.routes["routes"])
        # Four quarters of one map sheet, each its own colour.
        for q, colour in (("50", (255, 0, 0)), ("55", (0, 255, 0)), ("00", (0, 0, 255)),
                          ("05", (255, 255, 0))):
            path = os.path.join(cls.folder, "sheet%s.png" % q)
            with open(path, "wb") as f:
                f.write(make_png(16, 12, colour))
            routes["/map/img/sheet%s.png" % q] = {"body_file": path, "content_type": "image/png"}
        # The infrared series of now and of a few minutes later, should the
        # hour turn while the program starts.
        frames = os.path.join(cls.folder, "frames")
        os.makedirs(frames)
        now = time.time()
        for seed, stamp in enumerate(sorted(set(weather_stamps(now) + weather_stamps(now + 300)))):
            name = "136400-440001-0000-" + stamp
            with open(os.path.join(frames, name), "wb") as f:
                f.write(make_gif(seed))
            routes["/img/him/ni/" + name] = {"body_file": os.path.join(frames, name),
                                            "content_type": "image/gif"}
        cls.server.set_routes({"routes": routes})

    def launch_collector(self):
        host = "127.0.0.1:%d" % self.server.port
        m = self.launch(self.server.url("/"), env={
            "MIREVA_WEATHER_HOST": host, "MIREVA_MAP_HOST": host, "MIREVA_SKY_HOST": host})
        m.wait_caption("Index - Mireva")
        return m

    def sensitive(self, m, *path):
        """Whether a menu item is enabled, as a person sees it in the open menu."""
        return m.sensitivity(path[0], tuple(path[1:]))[0]

    def no_message_box(self, m):
        time.sleep(0.5)
        alerts = [w for w in m.windows() if w is not None and w.getRole() == pyatspi.ROLE_ALERT
                  and g.is_showing(w)]
        self.assertEqual(alerts, [], [" ".join(n.name for n in g.walk(a) if n.name) for a in alerts])

    def answer(self, m, text, button):
        box, shown = m.message_box(timeout=30)
        self.assertEqual(shown, text)
        m.press(box, button)
        g.wait_for(lambda: not g.is_showing(box), timeout=10, what="the message box to close")

    def test_infrared_animation_is_collected_and_shown(self):
        m = self.launch_collector()
        m.choose(DOWNLOAD, WEATHER, "ひまわり\u3000赤外\u3000動画")
        m.wait_caption("ひまわり 赤外 動画 - Mireva", timeout=90)
        m.wait_address("file://%s/Himawari3.html" % m.home)
        self.no_message_box(m)
        g.screenshot("weather-animation")

        # The list named the 20 images of the series and the engine fetched them.
        listed = read(os.path.join(m.home, "Download.lst")).decode("ascii").split("\r\n")
        self.assertEqual(listed[:4], ["start download;", "index page;",
                                      self.server.url("/"), "himawari"])
        self.assertEqual(len([line for line in listed if line.startswith("/img/him/ni/")]), 20)
        fetched = [p for p in self.server.requested_paths() if p.startswith("/img/him/ni/")]
        self.assertEqual(len(fetched), 20)
        weather = os.path.join(m.home, "DownLoad", "Weather")
        # Frame 1 is the newest image, frame 20 the oldest.
        newest = max(p.rsplit("/", 1)[1] for p in fetched)
        self.assertEqual(read(os.path.join(weather, "1.gif")), read(os.path.join(weather, newest)))
        for k in range(2, 21):
            self.assertTrue(os.path.exists(os.path.join(weather, "%d.gif" % k)), k)
        # 20 frames and the first one again, looping for ever.
        self.assertEqual(gif_images(read(os.path.join(weather, "Himawari.gif"))), (21, 0))

    def test_animation_without_the_server_says_so_once_and_leaves_no_empty_gif(self):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        dead = "127.0.0.1:%d" % s.getsockname()[1]
        s.close()
        m = self.launch(self.server.url("/"), env={"MIREVA_WEATHER_HOST": dead})
        m.wait_caption("Index - Mireva")
        m.choose(DOWNLOAD, WEATHER, "ひまわり\u3000赤外\u3000動画")
        box, shown = m.message_box(timeout=60)
        g.screenshot("weather-unreached")
        self.assertIn("画像 20 枚のうち 20 枚を %s から取得できませんでした。" % dead, shown)
        m.press(box, "OK")
        m.wait_address("file://%s/Himawari5.html" % m.home)
        self.no_message_box(m)
        self.assertFalse(os.path.exists(os.path.join(m.home, "DownLoad", "Weather", "Himawari.gif")))

    def test_map_sheet_is_listed_downloaded_and_joined(self):
        m = self.launch_collector()
        self.assertFalse(self.sensitive(m, DOWNLOAD, MAP, "ダウンロード実行"))

        # Asked for the download list before any page was analysed: nothing
        # to list, and the program offers the map page.
        m.choose(DOWNLOAD, MAP, "ロードリスト作成")
        self.answer(m, "地形閲覧のページを表示しますか。", "はい")
        m.wait_caption("Map search - Mireva")
        self.assertFalse(os.path.exists(os.path.join(m.home, "Download.lst")))

        # The search page is no area page: the program says so and shows it.
        searched = self.server.requested_paths().count("/mapsearch.html")
        m.choose(DOWNLOAD, MAP, "リンク解析(20万分1)")
        self.answer(m, "地形図閲覧のページではありません。閲覧のページを表示します。", "OK")
        g.wait_for(lambda: self.server.requested_paths().count("/mapsearch.html") > searched,
                   what="the map search page opened again")
        self.assertFalse(os.path.exists(os.path.join(m.home, "Patrol.lst")))

        # On an area page the links to its sheets are listed, then the images
        # of the sheets, which the download brings home.
        m.open_address(self.server.url("/area/kanto.html"))
        m.wait_caption("Kanto - Mireva")
        m.choose(DOWNLOAD, MAP, "リンク解析(20万分1)")
        patrol = os.path.join(m.home, "Patrol.lst")
        g.wait_for(lambda: os.path.exists(patrol), what="Patrol.lst")
        self.assertIn(self.server.url("/map/sheet1.html"), read(patrol).decode())
        self.assertNotIn("mapsearch", read(patrol).decode())
        m.choose(DOWNLOAD, MAP, "ロードリスト作成")
        listed = os.path.join(m.home, "Download.lst")
        g.wait_for(lambda: os.path.exists(listed), what="Download.lst")
        self.no_message_box(m)
        self.assertEqual(sorted(line for line in read(listed).decode().split("\r\n")
                                if line.endswith(".png")),
                         ["/map/img/sheet00.png", "/map/img/sheet05.png",
                          "/map/img/sheet50.png", "/map/img/sheet55.png"])
        m.choose(DOWNLOAD, MAP, "ダウンロード実行")
        folder = os.path.join(m.home, "DownLoad", "JapanMap")
        for q in ("50", "55", "00", "05"):
            path = os.path.join(folder, "sheet%s.png" % q)
            g.wait_for(lambda: os.path.exists(path), what=path)
            self.assertEqual(read(path), read(os.path.join(self.folder, "sheet%s.png" % q)))
        self.assertEqual(sorted(os.listdir(folder)),
                         ["sheet00.png", "sheet05.png", "sheet50.png", "sheet55.png"])

        # Joining: any quarter chosen in the file dialog gives the whole sheet.
        m.choose(DOWNLOAD, MAP, "地図の合成(25000)")
        chooser = m.window(role=pyatspi.ROLE_FILE_CHOOSER, timeout=20)
        g.screenshot("map-join-chooser")
        g.key("ctrl+l")
        g.type_text(os.path.join(folder, "sheet05.png"))
        m.press(chooser, "開く")
        g.wait_for(lambda: not g.is_showing(chooser), timeout=10, what="the file dialog to close")
        joined = os.path.join(folder, "sheet.png")
        g.wait_for(lambda: os.path.exists(joined), what="the joined sheet")
        data = read(joined)
        self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", data[16:24]), (32, 24))
        g.wait_for(lambda: m.address().endswith("/DownLoad/JapanMap/sheet.png"),
                   what="the joined sheet shown (address %r)" % m.address())
        self.no_message_box(m)
        g.screenshot("map-joined")

    def test_sky_mosaic_images_are_listed_and_downloaded(self):
        m = self.launch_collector()
        patrol_list = (DOWNLOAD, SKY, "巡回リスト作成")
        self.assertFalse(self.sensitive(m, *patrol_list))

        # The scrolling sky collects the mosaic images the page leaves in the
        # cache, and by itself offers no list to make.
        m.choose(DOWNLOAD, SKY, "流れる夜空")
        m.wait_caption("Scrolling sky - Mireva")
        cached = os.path.join(m.home, "Cache", "mosaic9.jpg")
        with open(cached, "wb") as f:
            f.write(b"\xff\xd8\xff\xd9")
        moved = os.path.join(m.home, "DownLoad", "mosaic9.jpg")
        # The program looks when it falls idle, after the pointer moves, say.
        g.wait_for(lambda: os.path.exists(moved) or g.xdotool("mousemove_relative", "--", 1, 1),
                   what="the mosaic image moved out of the cache")
        self.assertFalse(os.path.exists(cached))
        self.assertFalse(self.sensitive(m, *patrol_list))

        # The mosaic page: its mosaic pages are listed, then their images,
        # which the download brings home.
        m.choose(DOWNLOAD, SKY, "画像モザイク")
        m.wait_caption("Mosaic - Mireva")
        m.choose(*patrol_list)
        patrol = os.path.join(m.home, "Patrol.lst")
        g.wait_for(lambda: os.path.exists(patrol), what="Patrol.lst")
        self.assertIn("/jp/tools/getimg/mosaic_view.asp?id=1", read(patrol).decode())
        self.assertNotIn("help", read(patrol).decode())
        m.choose(DOWNLOAD, SKY, "ロードリスト作成")
        listed = os.path.join(m.home, "Download.lst")
        g.wait_for(lambda: os.path.exists(listed), what="Download.lst")
        self.assertIn("/jp/tools/getimg/mosaic_1.jpg", read(listed).decode().split("\r\n"))
        m.choose(DOWNLOAD, SKY, "ダウンロード実行")
        image = os.path.join(m.home, "DownLoad", "Sdss", "mosaic_1.jpg")
        g.wait_for(lambda: os.path.exists(image), what=image)
        self.assertEqual(read(image)[:4], b"\xff\xd8\xff\xe0")
        self.no_message_box(m)


if __name__ == "__main__":
    g.main()
