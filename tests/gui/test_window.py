"""The main window as a person uses it: every menu opened by a click, an address
typed and entered, the address-bar and toolbar buttons, the About dialog, Stop
and Esc, and the window manager's close."""
import os
import re
import time

import pyatspi

import mireva_gui as g

PAGE = ('<html><head><meta charset="utf-8"><title>\u30c6\u30b9\u30c8</title></head>'
        '<body><h1>Mireva</h1><a href="/two.html">two</a></body></html>')


def table_menus():
    """The menus of the program's command table, read from its source: a list of
    (caption, [items]) where an item is (id, caption) or (caption, [items])."""
    with open(os.path.join(g.SOURCE_DIR, "core", "command_table.cpp"), encoding="utf-8") as f:
        text = f.read()
    body = text[text.index("MainMenu() {"):text.index("return menu;")]
    tokens = re.findall(r'Menu\("([^"]*)"|Item\((\d+), "([^"]*)"|(\}\))', body)
    root = ("", [])
    stack = [root]
    for menu, item_id, item_caption, close in tokens:
        if menu:
            node = (menu, [])
            stack[-1][1].append(node)
            stack.append(node)
        elif item_id:
            stack[-1][1].append((int(item_id), item_caption))
        elif close and len(stack) > 1:
            stack.pop()
    return root[1]


def shown(caption):
    """A caption as the toolkit shows it: the mnemonic marker is not drawn."""
    return caption.replace("&", "")


# Commands greyed in a new working folder: printer setup and the bookmark "add"
# command have no handler, the map download needs a download list first and
# the sky patrol list a sky page chosen first.
GREYED = {57606, 3111, 703, 725}


class MainWindow(g.GuiTest):
    routes = {"routes": {
        "/page.html": {"body": PAGE},
        "/two.html": {"body": "<html><head><title>Two</title></head><body>second</body></html>"},
        "/three.html": {"body": "<html><head><title>Three</title></head><body>third</body></html>"},
        "/slow.html": {"body": "<html><head><title>Slow</title></head><body>slow</body></html>",
                       "delay_ms": 15000},
    }}

    def test_every_menu_opens_by_click_and_its_items_are_sensitive(self):
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("\u30c6\u30b9\u30c8 - Mireva")
        time.sleep(1.5)  # the page painted, for the screenshots of the menus
        self.assertTrue(g.is_sensitive(m.frame))
        self.assertTrue(g.is_sensitive(m.address_field()))
        menus = table_menus()
        self.assertEqual(len(menus), 9)
        for index, (caption, items) in enumerate(menus):
            m.activate_window()
            menu = m.open_menu(shown(caption))
            self.assertTrue(g.is_sensitive(menu), caption)
            g.screenshot("menu-%d" % (index + 1))
            if caption == "お気に入り":  # filled from the favorites folder
                g.key("Escape")
                continue
            self.check_items(m, menu, items, lambda c=caption: m.open_menu(shown(c)))
            g.key("Escape", "Escape", "Escape")
            time.sleep(0.2)

    def check_items(self, m, menu, items, reopen):
        for item in items:
            if isinstance(item[1], list):  # a submenu: hover it open, then its items
                sub = m.menu_item(menu, item[0])
                self.assertTrue(g.is_sensitive(sub), item[0])
                m.open_submenu(sub)
                self.check_items(m, sub, item[1], None)
                # Closed and opened again, so the next submenu opens afresh.
                g.key("Escape", "Escape", "Escape")
                time.sleep(0.2)
                reopen()
                continue
            command, caption = item
            node = m.menu_item(menu, shown(caption))
            g.wait_for(lambda: g.on_screen(node), timeout=5, what="%r on screen" % caption)
            if command in GREYED:
                self.assertFalse(g.is_sensitive(node), "%s should be greyed" % caption)
            else:
                self.assertTrue(g.is_sensitive(node), "%s (%d) is greyed" % (caption, command))

    def test_typed_address_opens_and_buttons_navigate(self):
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("\u30c6\u30b9\u30c8 - Mireva")
        m.open_address(self.server.url("/two.html"))
        m.wait_caption("Two - Mireva")
        m.wait_address(self.server.url("/two.html"))
        # OK opens what the field says.
        field = m.address_field()
        g.click(field)
        g.key("ctrl+a")
        g.type_text(self.server.url("/three.html"))
        g.click(m.button(m.frame, "OK"))
        m.wait_caption("Three - Mireva")
        g.click(m.tool_button("Go back"))
        m.wait_caption("Two - Mireva")
        g.click(m.tool_button("Go forward"))
        m.wait_caption("Three - Mireva")
        m.wait_address(self.server.url("/three.html"))
        # A typed address without a scheme is a web address.
        m.open_address("127.0.0.1:%d/two.html" % self.server.port)
        m.wait_caption("Two - Mireva")
        g.screenshot("main-window")

    def test_paste_button_puts_the_clipboard_into_the_field_without_navigating(self):
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("\u30c6\u30b9\u30c8 - Mireva")
        copied = self.server.url("/two.html")
        field = m.address_field()
        g.click(field)
        g.key("ctrl+a")
        g.type_text(copied)
        g.key("ctrl+a", "ctrl+c")
        g.key("ctrl+a", "BackSpace")
        m.wait_address("")
        g.click(m.button(m.frame, "アドレスの貼り付け"))
        m.wait_address(copied)
        time.sleep(1)
        self.assertEqual(m.caption(), "\u30c6\u30b9\u30c8 - Mireva")
        self.assertNotIn("/two.html", self.server.requested_paths())

    def test_stop_and_esc_end_a_slow_load(self):
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("\u30c6\u30b9\u30c8 - Mireva")
        m.open_address(self.server.url("/slow.html"))
        time.sleep(1)
        g.click(m.tool_button("Stop"))
        time.sleep(1)
        m.open_address(self.server.url("/two.html"))
        m.wait_caption("Two - Mireva", timeout=10)

    def test_about_dialog_opens_from_its_menu_and_closes_by_ok(self):
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("\u30c6\u30b9\u30c8 - Mireva")
        m.choose("ヘルプ", "バージョン情報")
        about = m.window("About Mireva")
        self.assertTrue(any("3.1.2" in (n.name or "") for n in g.walk(about)))
        g.screenshot("about")
        m.press(about, "OK")
        m.no_window("About Mireva")

    def test_window_managers_close_ends_the_program(self):
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("\u30c6\u30b9\u30c8 - Mireva")
        m.close_by_window_manager("Mireva")
        self.assertEqual(m.wait_exit(), 0)

    def test_exit_from_the_file_menu_ends_the_program(self):
        m = self.launch(self.server.url("/page.html"))
        m.wait_caption("\u30c6\u30b9\u30c8 - Mireva")
        m.choose("ファィル(F)", "(x)終了")
        self.assertEqual(m.wait_exit(), 0)


class CommandLine(g.GuiTest):
    routes = {"routes": {
        "/a.html": {"body": "<html><head><title>A</title></head><body>a</body></html>"},
    }}

    def test_without_an_address_the_home_page_opens_and_the_folder_is_seeded(self):
        m = self.launch()
        g.wait_for(lambda: "/home.html" in m.address(), timeout=30, what="the home page")
        self.assertTrue(os.path.exists(os.path.join(m.home, "home.html")))
        self.assertTrue(os.path.isdir(os.path.join(m.home, "DownLoad", "Weather")))

    def test_a_command_given_on_the_command_line_runs_once_the_window_is_up(self):
        m = self.launch("--command", "3000", self.server.url("/a.html"))
        g.wait_for(lambda: "Mireva" in m.caption() and m.caption() != "Mireva", timeout=30,
                   what="the release page")


if __name__ == "__main__":
    g.main()
