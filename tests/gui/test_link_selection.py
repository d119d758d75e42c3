"""The link-selection window as a person uses it: a page of 40 links of four
kinds, a dozen of them added by script after the page loaded; the window opened
from the menu, *.zip typed into 絞り込み, a renaming mask and a destination set,
the chosen files downloaded and found on disk under their new names with the
served bytes; a second run that skips existing names asks the server nothing;
the window opened again by Ctrl+Shift+D keeps the mask and the destination."""
import os
import time

import pyatspi

import mireva_gui as g

KINDS = [("z", "zip", "application/zip"), ("i", "jpg", "image/jpeg"),
         ("d", "pdf", "application/pdf"), ("s", "mp3", "audio/mpeg")]


def file_path(prefix, n, ext):
    return "/files/%s%02d.%s" % (prefix, n, ext)


def body(prefix, n):
    return "%s-%02d-served-bytes" % (prefix.upper(), n)


def page_and_routes():
    static, scripted = [], []
    routes = {}
    for prefix, ext, ctype in KINDS:
        for n in range(1, 11):
            path = file_path(prefix, n, ext)
            routes[path] = {"body": body(prefix, n), "content_type": ctype}
            (scripted if n > 7 else static).append((prefix, n, path))
    static.sort(key=lambda t: (t[1], t[0]))
    scripted.sort(key=lambda t: (t[1], t[0]))
    tags = "".join('<p><a href="%s">%s%02d</a></p>' % (p, pre, n) for pre, n, p in static)
    adds = ",".join('"%s"' % p for _, _, p in scripted)
    html = ("<html><head><title>Links</title></head><body>%s<script>"
            "window.addEventListener('load', function () { setTimeout(function () {"
            " [%s].forEach(function (p) { var a = document.createElement('a'); a.href = p;"
            " a.textContent = p; document.body.appendChild(a); });"
            " document.title = 'Links ready'; }, 300); });"
            "</script></body></html>") % (tags, adds)
    routes["/links.html"] = {"body": html}
    return routes


class LinkSelection(g.GuiTest):
    routes = {"routes": page_and_routes()}

    def field(self, window, name):
        return g.find(window, name=name, pred=lambda a: a.getRole() in (
            pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY))

    def label_text(self, window, start):
        labels = g.find_all(window, pyatspi.ROLE_LABEL, pred=lambda a: (a.name or "").startswith(start))
        return labels[0].name if labels else ""

    def zip_requests(self):
        return [p for p in self.server.requested_paths() if p.endswith(".zip")]

    def test_chooses_renames_downloads_and_skips_existing_names(self):
        out = os.path.join(self.folder, "chosen")
        m = self.launch(self.server.url("/links.html"))
        m.wait_caption("Links ready - Mireva")

        m.choose("ダウンロード", "リンクを選んでダウンロード...")
        w = m.window("リンクの選択", timeout=20)
        g.wait_for(lambda: self.label_text(w, "選択:"), what="the count")
        g.fill(self.field(w, "絞り込み"), "*.zip")
        g.wait_for(lambda: self.label_text(w, "選択:") == "選択: 10 / 40 件", timeout=10,
                   what="10 of 40 links chosen, got %r" % self.label_text(w, "選択:"))
        g.fill(self.field(w, "名前の付け方"), "*num*-*name*.*ext*")
        g.fill(self.field(w, "保存先"), out)
        time.sleep(0.5)
        g.screenshot("link-selection")
        m.press(w, "ダウンロード")
        g.wait_for(lambda: self.label_text(w, "保存 10、"), timeout=60, what="the end of the download")

        expected = {"%02d-z%02d.zip" % (n, n): body("z", n) for n in range(1, 11)}
        found = {}
        for name in sorted(os.listdir(out)):
            with open(os.path.join(out, name), encoding="utf-8") as f:
                found[name] = f.read()
        self.assertEqual(found, expected)
        self.assertEqual(len(self.zip_requests()), 10)

        g.click(g.find(w, pyatspi.ROLE_RADIO_BUTTON, "飛ばす"))
        m.press(w, "ダウンロード")
        g.wait_for(lambda: self.label_text(w, "保存 0、飛ばした 10"), timeout=60,
                   what="the second run skipping every file")
        self.assertEqual(len(self.zip_requests()), 10, "the second run asked for files again")
        self.assertEqual(sorted(os.listdir(out)), sorted(expected))
        g.screenshot("link-selection-skipped")

        # Closed and opened again by its keys: the mask and the destination are kept.
        m.press(w, "閉じる")
        m.no_window("リンクの選択")
        m.activate_window()
        g.key("ctrl+shift+d")
        w = m.window("リンクの選択", timeout=20)
        for name, text in (("名前の付け方", "*num*-*name*.*ext*"), ("保存先", out)):
            field = self.field(w, name)
            self.assertEqual(field.queryText().getText(0, -1), text, name)


if __name__ == "__main__":
    g.main()
