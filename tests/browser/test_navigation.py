"""Using a folder page with the mouse, under both build methods: the section menus sort and
switch views through the page's own option buttons (small forms, which work without
scripts), folder links lead down and the parent link and the crumbs back up, file links give
the files' bytes and thumbnails are pictures."""

import urllib.parse

import pages
from pages import METHODS, entries, item_name, name_key, section_names

OTHER = "#sec-other .menu button"


def query(page):
    """The options in the page's address. Folder links carry the page's url tag, which ends
    with the playlist marker ".pls"; every other part must be an option. An option form
    sends its fields only."""
    parts = [part for part in urllib.parse.urlsplit(page["url"]).query.split("&") if part]
    if parts and parts[-1] == ".pls":
        parts.pop()
    return dict(urllib.parse.parse_qsl("&".join(parts), keep_blank_values=True, strict_parsing=True)) if parts else {}


def decoded_path(url):
    return urllib.parse.unquote(urllib.parse.urlsplit(url).path, encoding="utf-8", errors="strict")


def names_by(key, reverse=False):
    return [entry.name for entry in sorted(entries("other"), key=key, reverse=reverse)]


BY_NAME = names_by(lambda entry: name_key(entry.name))
BY_SIZE = names_by(lambda entry: entry.size)
NEWEST_FIRST = names_by(lambda entry: entry.when, reverse=True)


class Navigation(pages.BrowserTestCase):
    @classmethod
    def make_servers(cls):
        cls.by_method = {method: pages.make_server(method) for method in METHODS}
        return list(cls.by_method.values())

    def url(self, method, path="/", **options):
        return pages.page_url(self.by_method[method], path, **options)

    def click(self, selector, text=None, index=0):
        self.browser.click(selector, text, index)
        page = pages.read_page(self.browser)
        self.assertEqual(page["brokenImages"], [], page["url"])
        return page

    def test_the_sort_menu_orders_a_section_and_leaves_the_others(self):
        # Choosing the key in use turns its order round. Dates sort newest first for
        # "ascending", the order a sort by date starts with. The arrow and the column head
        # show how the values run down the list: a list newest first falls.
        steps = (
            ("Size", {"sortby_other": "size"}, BY_SIZE, "↑"),
            ("Size", {"sortby_other": "size", "sortorder_other": "descending"}, BY_SIZE[::-1], "↓"),
            ("Date", {"sortby_other": "date", "sortorder_other": "descending"}, NEWEST_FIRST[::-1], "↑"),
            ("Date", {"sortby_other": "date", "sortorder_other": "ascending"}, NEWEST_FIRST, "↓"),
            ("Name", {"sortby_other": "name", "sortorder_other": "ascending"}, BY_NAME, "↑"),
            ("Name", {"sortby_other": "name", "sortorder_other": "descending"}, BY_NAME[::-1], "↓"),
        )
        heads = {"Size": "Size", "Date": "Date", "Name": "Name"}
        falling = {"↑": "ascending", "↓": "descending"}
        for method in METHODS:
            with self.subTest(method=method):
                start = self.open(self.url(method, showby_image="icon"))
                self.assertEqual(section_names(start, "other"), BY_NAME)
                for text, options, order, arrow in steps:
                    page = self.click(OTHER, text)
                    self.assertEqual(query(page), {"showby_image": "icon", **options}, text)
                    self.assertEqual(section_names(page, "other"), order, (text, options))
                    self.assertEqual(page["sections"]["other"]["arrow"], arrow, (text, options))
                    self.assertEqual(page["sections"]["other"]["sorted"], [[heads[text], falling[arrow]]],
                                     (text, options))
                    self.assertEqual(urllib.parse.urlsplit(page["url"]).fragment, "sec-other")
                    for section in ("folder", "sound", "image", "video"):
                        self.assertEqual(section_names(page, section), section_names(start, section), section)
                        self.assertEqual(page["sections"][section]["view"], start["sections"][section]["view"])
                self.screenshot(f"sorted-{method}.png")

    def test_the_column_heads_sort_too(self):
        for method in METHODS:
            with self.subTest(method=method):
                self.open(self.url(method))
                page = self.click("#sec-other th button", "Size")
                self.assertEqual(section_names(page, "other"), BY_SIZE)
                page = self.click("#sec-other th button", "Size")
                self.assertEqual(section_names(page, "other"), BY_SIZE[::-1])
                page = self.click("#sec-folder th button", "Date")
                folders = [entry.name + "/" for entry in sorted(entries("folder"), key=lambda entry: -entry.when)]
                self.assertEqual(section_names(page, "folder"), folders)

    def test_the_view_menu_switches_one_section(self):
        # Pictures show as thumbnails unless asked otherwise, everything else as a list.
        views = {"folder": "list", "other": "list", "sound": "list", "image": "mini", "video": "list"}
        steps = (
            (OTHER, "Icons", {"other": "icon"}, {"showby_other": "icon"}),
            ("#sec-image .menu button", "List", {"image": "list"}, {"showby_image": "list"}),
            ("#sec-folder .menu button", "Icons", {"folder": "icon"}, {"showby_folder": "icon"}),
            ("#sec-image .menu button", "Thumbnails", {"image": "mini"}, {"showby_image": "mini"}),
            (OTHER, "List", {"other": "list"}, {"showby_other": "list"}),
        )
        for method in METHODS:
            with self.subTest(method=method):
                page = self.open(self.url(method))
                expected, options = dict(views), {}
                self.assertEqual({section: shown["view"] for section, shown in page["sections"].items()}, expected)
                for selector, text, change, option in steps:
                    page = self.click(selector, text)
                    expected.update(change)
                    options.update(option)
                    self.assertEqual({section: shown["view"] for section, shown in page["sections"].items()},
                                     expected, text)
                    self.assertEqual(query(page), options, text)
                    if text == "Thumbnails":
                        self.screenshot(f"views-{method}.png")

    def test_an_option_chosen_stays_through_a_reload_a_further_choice_and_a_way_down(self):
        for method in METHODS:
            for scripts in (True, False):
                with self.subTest(method=method, scripts=scripts):
                    self.browser.command("Emulation.setScriptExecutionDisabled", {"value": not scripts}, session=True)
                    try:
                        self.open(self.url(method))
                        page = self.click(OTHER, "Size")
                        self.assertEqual(section_names(page, "other"), BY_SIZE)
                        # Loaded again from its address, the page keeps the option.
                        self.browser.reload()
                        page = pages.read_page(self.browser)
                        self.assertEqual(query(page), {"sortby_other": "size"})
                        self.assertEqual(section_names(page, "other"), BY_SIZE)
                        self.assertEqual(page["sections"]["other"]["lit"], ["List", "Size"])
                        # A choice in another section keeps it too.
                        page = self.click("#sec-folder .menu button", "Icons")
                        self.assertEqual(query(page), {"sortby_other": "size", "showby_folder": "icon"})
                        self.assertEqual(section_names(page, "other"), BY_SIZE)
                        self.assertEqual(page["sections"]["folder"]["view"], "icon")
                        if not scripts:
                            self.screenshot(f"options-without-scripts-{method}.png")
                        # And so does the way down and up again.
                        self.click("#sec-folder a", pages.SUB)
                        page = self.click("a.up")
                        self.assertEqual(query(page), {"sortby_other": "size", "showby_folder": "icon"})
                        self.assertEqual(section_names(page, "other"), BY_SIZE)
                    finally:
                        self.browser.command("Emulation.setScriptExecutionDisabled", {"value": False}, session=True)

    def test_no_link_of_the_page_sets_a_display_option(self):
        for method in METHODS:
            with self.subTest(method=method):
                self.open(self.url(method, sortby_other="size", showby_folder="icon"))
                hrefs = self.browser.call("() => [...document.links].map((a) => a.getAttribute('href'))")
                for href in hrefs:
                    options = [key for key in urllib.parse.parse_qs(urllib.parse.urlsplit(href).query)
                               if key.split("_")[0] in ("showby", "sortby", "sortorder", "showgroup", "showplayers")]
                    # Folder links and the way up carry the options the page has, no other.
                    self.assertIn(sorted(options), ([], ["showby_folder", "sortby_other"]), href)

    def test_folder_links_lead_down_and_the_parent_link_and_crumbs_up(self):
        for method in METHODS:
            with self.subTest(method=method):
                self.open(self.url(method, showby_folder="icon"))
                sub = self.click("#sec-folder a", pages.SUB)
                self.screenshot(f"sub-folder-{method}.png")
                self.assertEqual(decoded_path(sub["url"]), f"/{pages.SUB}/")
                # The display options go along.
                self.assertEqual(query(sub), {"showby_folder": "icon"})
                self.assertEqual(sub["heading"], pages.SUB)
                self.assertEqual(sub["crumbs"], ["", pages.SUB])
                self.assertEqual(section_names(sub, "folder"), [pages.DEEPER + "/"])
                self.assertEqual(section_names(sub, "other"), [pages.SUB_FILE.name])
                self.assertEqual(list(sub["sections"]), ["folder", "other"])

                deeper = self.click("#sec-folder a", pages.DEEPER)
                self.assertEqual(decoded_path(deeper["url"]), f"/{pages.SUB}/{pages.DEEPER}/")
                self.assertEqual(deeper["heading"], pages.DEEPER)
                self.assertEqual(deeper["crumbs"], ["", pages.SUB, pages.DEEPER])
                self.assertEqual(section_names(deeper, "other"), [pages.DEEPER_FILE.name])

                up = self.click("a.up")
                self.assertEqual(decoded_path(up["url"]), f"/{pages.SUB}/")
                self.assertEqual(query(up), {"showby_folder": "icon"})
                deeper = self.click("#sec-folder a", pages.DEEPER)
                crumb = self.click(".crumbs a.crumb", pages.SUB)
                self.assertEqual(decoded_path(crumb["url"]), f"/{pages.SUB}/")
                root = self.click("a.up")
                self.assertEqual(decoded_path(root["url"]), "/")
                self.assertEqual(section_names(root, "other"), BY_NAME)
                self.assertEqual(query(root), {"showby_folder": "icon"})
                self.assertIsNone(root["up"])

                self.click("#sec-folder a", pages.SUB)
                home = self.click(".crumbs a.home")
                self.assertEqual(decoded_path(home["url"]), "/")

    def test_a_clicked_file_link_shows_the_file(self):
        for method in METHODS:
            with self.subTest(method=method):
                self.open(self.url(method, f"/{urllib.parse.quote(pages.SUB)}/"))
                self.browser.click("#sec-other a", pages.SUB_FILE.name)
                self.assertEqual(decoded_path(self.browser.url()), f"/{pages.SUB}/{pages.SUB_FILE.name}")
                self.assertEqual(self.browser.evaluate("document.body.innerText"), pages.SUB_FILE.data.decode())

    def test_every_file_link_gives_the_file_bytes(self):
        files = {entry.name: entry for entry in pages.ROOT if entry.data is not None}
        for method in METHODS:
            for view in ("list", "icon"):
                page = self.open(self.url(method, **pages.every_view(view)))
                links = {item_name(item): item["url"] for shown in page["sections"].values()
                         for item in shown["items"] if not item["folder"]}
                self.assertEqual(sorted(links), sorted(files))
                for name, url in links.items():
                    with self.subTest(method=method, view=view, name=name):
                        status, _, data = self.browser.fetch(url)
                        self.assertEqual(status, 200)
                        self.assertEqual(data, files[name].data)

    def test_thumbnails_are_pictures_no_larger_than_the_set_side(self):
        sizes = {"wide picture.png": [96, 48], "tall & thin.png": [38, 96]}
        for method in METHODS:
            with self.subTest(method=method):
                page = self.open(self.url(method, showby_image="mini"))
                thumbnails = {item_name(item): item["thumb"] for item in page["sections"]["image"]["items"]}
                self.assertEqual(sorted(thumbnails), sorted(sizes))
                for name, url in thumbnails.items():
                    self.assertEqual(self.browser.image_size(url), sizes[name], name)
                    status, kind, _ = self.browser.fetch(url)
                    self.assertEqual((status, kind), (200, "image/bmp"), name)


if __name__ == "__main__":
    pages.main()
