"""The favorites and bookmark menus as a person uses them: the favorites menu
built from a folder of .url shortcuts, its sub-folders as submenus, an item
that opens its page; the bookmarks menu's edit command, which opens the Opera
hotlist's working copy in the text editor and fills the menu from it; the
settings dialog that picks the sources, whose menus are there at every start. The
Netscape bookmark commands are issued by no menu item, so no person reaches
them; tests/bookmarks/commands_test.cpp covers them."""
import os
import shutil
import stat
import tempfile
import time

import pyatspi

import mireva_gui as g


def page(title):
    return {"body": "<html><head><title>%s</title></head><body>%s</body></html>" % (title, title)}


def write(path, text, encoding="utf-8"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding=encoding, newline="") as f:
        f.write(text)


def shortcut(path, url):
    write(path, "[InternetShortcut]\r\nURL=%s\r\n" % url)


def close_menu(menu):
    """Closes an open top-level menu by clicking its title again (not at
    once: the toolkit takes a click right after the menu opened as part of
    the click that opened it)."""
    time.sleep(0.6)
    g.click(menu)
    g.wait_for(lambda: not any(g.on_screen(n) for n in g.walk(menu, 1) if n is not menu),
               timeout=5, what="menu %r closed" % menu.name)


def captions(menu):
    """The captions of a menu's own items, in order (separators left out)."""
    return [n.name for n in g.walk(menu, max_depth=1)
            if n is not menu and n.getRole() != pyatspi.ROLE_SEPARATOR]


class Bookmarks(g.GuiTest):
    routes = {"routes": {
        "/start.html": page("Start"),
        # Slow, so that the address field can be seen before the page arrives.
        "/favorite.html": dict(page("Favorite"), delay_ms=3000),
        "/deep.html": page("Deep"),
        "/opera.html": page("Opera"),
        "/travel.html": page("Travel"),
        "/added.html": page("Added"),
    }}

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="mireva-gui-bookmarks-")
        self.addCleanup(shutil.rmtree, self.scratch, True)

    def test_favorites_menu_lists_the_folder_and_opens_a_favorite(self):
        fav = os.path.join(self.scratch, "Favorites")
        shortcut(os.path.join(fav, "page.url"), self.server.url("/favorite.html"))
        shortcut(os.path.join(fav, "b.url"), self.server.url("/start.html"))
        shortcut(os.path.join(fav, "A.url"), self.server.url("/start.html"))
        shortcut(os.path.join(fav, "Sub", "Inner", "deep.url"), self.server.url("/deep.html"))
        shortcut(os.path.join(fav, "shouted.URL"), self.server.url("/start.html"))
        shortcut(os.path.join(fav, ".hidden.url"), self.server.url("/start.html"))
        write(os.path.join(fav, "readme.txt"), "not a shortcut")
        os.makedirs(os.path.join(fav, "Empty", "Emptier"))
        m = self.launch(self.server.url("/start.html"), env={"MIREVA_FAVORITES": fav})
        m.wait_caption("Start - Mireva")

        # Sub-folders first, then the shortcuts by name; nothing else.
        m.activate_window()
        menu = m.open_menu("お気に入り")
        self.assertEqual(captions(menu), ["Sub", "A", "b", "page"])
        g.screenshot("favorites-menu")

        # A favorite shows its address at once and then opens its page.
        g.click(m.menu_item(menu, "page"))
        m.wait_address(self.server.url("/favorite.html"), timeout=2)
        self.assertEqual(m.caption(), "Start - Mireva")
        m.wait_caption("Favorite - Mireva")

        # A shortcut two folders down is reached through its chain of submenus.
        m.choose("お気に入り", "Sub", "Inner", "deep")
        m.wait_caption("Deep - Mireva")
        m.wait_address(self.server.url("/deep.html"))

    def test_edit_command_fills_the_bookmarks_menu_from_the_hotlist(self):
        hotlist = os.path.join(self.scratch, "hot.adr")
        arguments = os.path.join(self.scratch, "editor-arguments.txt")
        # The "editor" records what it was given, takes its time and adds one
        # bookmark to the file, as a person who adds an entry and saves would.
        editor = os.path.join(self.scratch, "editor.sh")
        ended = os.path.join(self.scratch, "editor-ended")
        write(editor, "#!/bin/sh\n"
                      "printf '%%s\\n' \"$1\" >> '%s'\n"
                      "sleep 4\n"
                      "[ -f \"$1\" ] && printf '#URL\\n\\tNAME=Added\\n\\tURL=%s\\n\\n' >> \"$1\"\n"
                      "touch '%s'\n"
                      "exit 0\n" % (arguments, self.server.url("/added.html"), ended))
        os.chmod(editor, stat.S_IRWXU)
        home = os.path.join(self.scratch, "user")
        os.makedirs(home)
        m = self.launch(self.server.url("/start.html"), env={
            "VISUAL": editor, "MIREVA_OPERA_HOTLIST": hotlist, "HOME": home})
        m.wait_caption("Start - Mireva")

        m.activate_window()
        menu = m.open_menu("oブックマーク")
        self.assertEqual(captions(menu), ["登録", "編集"])
        self.assertFalse(g.is_sensitive(m.menu_item(menu, "登録")))

        # No hotlist anywhere yet: the edit says the file cannot be found.
        # While the editor is open, the window goes on answering.
        g.click(m.menu_item(menu, "編集"))
        g.wait_for(lambda: os.path.exists(arguments), what="the editor to start")
        m.open_address(self.server.url("/travel.html"))
        m.wait_caption("Travel - Mireva", timeout=3)
        self.assertFalse(os.path.exists(ended), "the window waited for the editor")
        box, text = m.message_box(timeout=20)
        self.assertEqual(text, "Opera ブックマーク\u3000ファイルが見つかりません")
        m.press(box, "OK")
        g.wait_for(lambda: not g.is_showing(box), timeout=10, what="the message box to close")
        working_copy = os.path.join(m.home, "operabook.txt")
        self.assertEqual(read_text(arguments).splitlines(), [working_copy])

        write(hotlist, "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n"
                       "#FOLDER\n\tID=2\n\tNAME=旅行\n\n"
                       "#URL\n\tID=3\n\tNAME=宿\n\tURL=%s\n\n-\n\n"
                       "#URL\n\tID=1\n\tNAME=Opera\n\tURL=%s\n\n"
                       % (self.server.url("/travel.html"), self.server.url("/opera.html")))
        original = read_text(hotlist)
        for _ in range(2):  # a second edit replaces the entries rather than adding them again
            if os.path.exists(ended):
                os.remove(ended)
            m.choose("oブックマーク", "編集")
            g.wait_for(lambda: os.path.exists(ended), what="the editor to end")
            m.activate_window()
            menu = m.open_menu("oブックマーク")
            g.wait_for(lambda: captions(menu) == ["登録", "編集", "旅行", "Opera", "Added"],
                       timeout=10, what="the hotlist's entries in the menu")
            close_menu(menu)
        g.screenshot("bookmarks-menu")
        self.assertEqual(read_text(arguments).splitlines(), [working_copy] * 3)
        # The editor worked on the copy; the browser's own hotlist is as it was.
        self.assertEqual(read_text(hotlist), original)

        m.choose("oブックマーク", "Opera")
        m.wait_caption("Opera - Mireva")
        m.choose("oブックマーク", "旅行", "宿")
        m.wait_caption("Travel - Mireva")
        m.choose("oブックマーク", "Added")
        m.wait_caption("Added - Mireva")
        m.wait_address(self.server.url("/added.html"))

    def test_settings_pick_the_sources_and_their_menus_are_there_at_the_next_start(self):
        user = os.path.join(self.scratch, "user")
        os.makedirs(user)
        netscape = os.path.join(self.scratch, "exported.html")
        write(netscape, '<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n'
                        '<DT><A HREF="%s">Travel</A>\n</DL><p>\n' % self.server.url("/travel.html"))
        hotlist = os.path.join(self.scratch, "hot.adr")
        write(hotlist, "Opera Hotlist version 2.0\n\n#URL\n\tNAME=Opera\n\tURL=%s\n\n"
                       % self.server.url("/opera.html"))
        work = os.path.join(self.scratch, "work")
        m = self.launch(self.server.url("/start.html"), home=work, env={"HOME": user})
        m.wait_caption("Start - Mireva")
        m.choose("オプション", "ブックマークの設定...")
        dialog = m.window("ブックマークの設定")
        fields = g.find_all(dialog, pyatspi.ROLE_TEXT)
        self.assertEqual(len(fields), 4)
        g.fill(fields[0], netscape)
        g.fill(fields[3], hotlist)
        g.screenshot("bookmark-settings")
        m.press(dialog, "OK")
        m.no_window("ブックマークの設定")
        for start in range(2):
            m.activate_window()
            menu = m.open_menu("oブックマーク")
            g.wait_for(lambda: captions(menu) == ["登録", "編集", "Opera", "Travel"],
                       timeout=10, what="the chosen sources in the menu (%r)" % captions(menu))
            close_menu(menu)
            m.choose("oブックマーク", "Travel")
            m.wait_caption("Travel - Mireva")
            if start == 0:  # the next start fills the menus by itself
                m.close_by_window_manager("Mireva")
                self.assertEqual(m.wait_exit(), 0)
                m = self.launch(self.server.url("/start.html"), home=work, env={"HOME": user})
                m.wait_caption("Start - Mireva")


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


if __name__ == "__main__":
    g.main()
