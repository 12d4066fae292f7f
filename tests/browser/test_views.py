"""A folder page as a browser shows it, built both ways (the browser applying the page
stylesheet to the XML page, or the server sending the stylesheet's HTML), in each view:
the items with their names (hostile ones included), sizes, dates, types and links, the MP3
columns, the groups, and the same page from both build methods."""

import urllib.parse

import pages
from pages import (CLIENT, SERVER, METHODS, VIEWS, entries, item_name, name_key, section_names, shown_date,
                   shown_size)


def expected_names(section):
    names = [entry.name + ("/" if entry.data is None else "") for entry in entries(section)]
    return sorted(names, key=name_key)


def decoded_path(url):
    return urllib.parse.unquote(urllib.parse.urlsplit(url).path, encoding="utf-8", errors="strict")


class Views(pages.BrowserTestCase):
    @classmethod
    def make_servers(cls):
        cls.by_method = {method: pages.make_server(method) for method in METHODS}
        return list(cls.by_method.values())

    def url(self, method, path="/", **options):
        return pages.page_url(self.by_method[method], path, **options)

    def test_each_view_lists_every_item_with_its_name_size_date_and_link(self):
        for method in METHODS:
            for view in VIEWS:
                with self.subTest(method=method, view=view):
                    page = self.open(self.url(method, **pages.every_view(view)))
                    self.screenshot(f"root-{method}-{view}.png")
                    self.assertEqual(page["heading"], "Orvendale")
                    self.assertEqual(page["summary"], f"{len(pages.ROOT)} items")
                    self.assertIsNone(page["up"])
                    self.assertEqual(list(page["sections"]), list(pages.TYPES))
                    for section, shown in page["sections"].items():
                        self.check_section(section, shown, view)

    def check_section(self, section, shown, view):
        count = len(entries(section))
        self.assertEqual(shown["view"], view, section)
        # The menu marks the view shown (thumbnails only pictures have: the others show
        # icons) and the sort by name.
        shown_as = {"list": "List", "icon": "Icons", "mini": "Thumbnails" if section == "image" else "Icons"}[view]
        self.assertEqual(shown["lit"], [shown_as, "Name"], section)
        self.assertEqual(shown["count"], f"{count} item" + ("s" if count != 1 else ""), section)
        self.assertEqual([item_name(item) for item in shown["items"]], expected_names(section), section)
        by_name = {entry.name: entry for entry in entries(section)}
        for item in shown["items"]:
            entry = by_name[item_name(item).rstrip("/")]
            folder = entry.data is None
            self.assertEqual(item["folder"], folder, entry.name)
            # The link leads to the entry itself, its name encoded so that the browser
            # reads it back unchanged; a folder's link ends with "/".
            self.assertEqual(decoded_path(item["url"]), "/" + entry.name + ("/" if folder else ""), item)
            if view == "list":
                self.assertEqual(item["label"], entry.name, item)
                self.assertEqual(item["cells"]["date"], shown_date(entry.when), item)
                if not folder:
                    self.assertEqual(item["cells"]["size"], shown_size(entry.size), item)
                    self.assertEqual(item["cells"]["type"], entry.name.rsplit(".", 1)[1], item)
            else:
                # Under an icon the label is the name, wrapped (and cut) into two lines.
                label = item["label"].replace("|", " ").rstrip("…")
                self.assertTrue(entry.name.startswith(label.split(" ")[0]), item)
                if len(entry.name) <= 14:
                    self.assertEqual(item["label"], entry.name, item)
            thumbnail = view == "mini" and section == "image"
            self.assertEqual(item["thumb"] is not None, thumbnail, item)
            if thumbnail:
                self.assertEqual(decoded_path(item["thumb"]), "/", item)
                self.assertEqual(urllib.parse.unquote(urllib.parse.urlsplit(item["thumb"]).query),
                                 "miniature=" + entry.name, item)
            else:
                self.assertIn("/?res=", item["icon"], item)

    def test_the_hidden_file_is_not_listed(self):
        for method in METHODS:
            with self.subTest(method=method):
                page = self.open(self.url(method))
                self.assertNotIn(pages.HIDDEN.name, page["text"])
                self.assertNotIn(pages.HIDDEN.name, section_names(page, "other"))

    def test_the_server_transform_gives_the_page_the_browser_makes(self):
        variants = [pages.every_view(view) for view in VIEWS] + [
            {"sortby_sound": "artist"},
            {"sortby_other": "size", "sortorder_other": "descending", "showgroup_other": "true"},
            {"showgroup_folder": "true", "filter_other": "a", "showplayers": "true"},
        ]
        # The same page, sent as XML to transform or as HTML.
        for method, kind in ((CLIENT, "application/xml; charset=UTF-8"), (SERVER, "text/html; charset=UTF-8")):
            self.open(self.url(method))
            self.assertEqual(self.browser.fetch(self.url(method))[:2], (200, kind))
        for options in variants:
            with self.subTest(options=options):
                client = self.open(self.url(CLIENT, **options))
                server = self.open(self.url(SERVER, **options))
                self.assertEqual(server["banners"], 0)
                self.assertEqual(client["title"], server["title"])
                self.assertEqual(client["text"], server["text"])
                self.assertEqual(client["body"].strip(), server["body"].strip())

    def test_sounds_sorted_by_artist_or_album_show_their_mp3_columns_in_groups(self):
        cases = (
            ("artist", ["ABBA", "Björk"], 0),
            ("album", ["Début", "Waterloo"], 2),
        )
        for method in METHODS:
            for sort, groups, column in cases:
                with self.subTest(method=method, sort=sort):
                    page = self.open(self.url(method, sortby_sound=sort))
                    self.screenshot(f"sound-by-{sort}-{method}.png")
                    sound = page["sections"]["sound"]
                    self.assertEqual(sound["groups"], groups)
                    for item in sound["items"]:
                        columns = pages.MP3_COLUMNS[item_name(item)]
                        cells = item["cells"]
                        self.assertEqual((cells["artist"], cells["title"], cells["album"], cells["year"],
                                          cells["track"], cells["length"], cells["bitrate"]), columns)
                        self.assertEqual(item["group"], columns[column])
                    # Each group offers its playlist, an artist group a web search too.
                    links = self.browser.call("""() => [...document.querySelectorAll("#sec-sound .group-head")]
                        .map((head) => [head.querySelector(".listen").getAttribute("href"),
                                        head.querySelector(".web") !== null])""")
                    self.assertEqual(links, [[f"?{sort}:{urllib.parse.quote(name.lower())}.pls", sort == "artist"]
                                             for name in groups])

    def test_sounds_sorted_otherwise_show_no_mp3_columns(self):
        page = self.open(self.url(SERVER, sortby_sound="size"))
        for item in page["sections"]["sound"]["items"]:
            self.assertNotIn("artist", item["cells"])

    def test_groups_follow_the_sort_key(self):
        other = sorted(entries("other"), key=lambda entry: name_key(entry.name))
        by_letter = sorted({entry.name[0].upper() for entry in other}, key=name_key)
        by_type = sorted({"Files of type " + entry.name.rsplit(".", 1)[1].upper() for entry in other})
        cases = (
            ({"showgroup_other": "true"}, by_letter),
            ({"showgroup_other": "true", "sortby_other": "size"}, ["Empty files", "Small files"]),
            ({"showgroup_other": "true", "sortby_other": "type"}, by_type),
            ({"showgroup_other": "false", "sortby_other": "type"}, []),
        )
        for method in METHODS:
            for view in ("list", "icon"):
                for options, groups in cases:
                    with self.subTest(method=method, view=view, options=options):
                        page = self.open(self.url(method, showby_other=view, **options))
                        shown = page["sections"]["other"]
                        self.assertEqual(shown["groups"], groups)
                        for item in shown["items"]:
                            name = item_name(item)
                            if not groups:
                                self.assertIsNone(item["group"])
                            elif "sortby_other" not in options:
                                self.assertEqual(item["group"], name[0].upper())
                            elif options["sortby_other"] == "type":
                                self.assertEqual(item["group"], "Files of type " + name.rsplit(".", 1)[1].upper())
                        if groups == by_letter and view == "list":
                            self.screenshot(f"groups-{method}.png")

    def test_a_message_page_shows_the_same_both_ways(self):
        shown = {}
        for method in METHODS:
            self.browser.navigate(self.url(method, "/no such file.txt"))
            shown[method] = pages.read_page(self.browser)
            self.screenshot(f"not-found-{method}.png")
        self.assertEqual(shown[SERVER]["heading"], "Error")
        self.assertIn("Error 404 : Not Found", shown[SERVER]["text"])
        self.assertEqual(shown[CLIENT]["text"], shown[SERVER]["text"])
        self.assertEqual(shown[CLIENT]["body"].strip(), shown[SERVER]["body"].strip())


if __name__ == "__main__":
    pages.main()
