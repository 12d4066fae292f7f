"""Routing and share mapping as a client sees them: which share's file, folder page, section
or single item answers a URL (every file holds its own path, every page names its folder and
lists its items), 403 for an excluded path (exclusions also tell which folder a URL was
mapped to), 404 where nothing may be served. No URL, however it is written, reaches the
secret files beside the shares: no answer holds their bytes, and no page lists them."""

import os
import xml.etree.ElementTree as ElementTree

import orvendale
from orvendale import Server, Share, parse_answer
from test_thumbnails import bitmap_size, png

SECRET = b"SECRET-BYTES-7f3a"
SECRET_NAMES = ("secret-beside", "inner-secret")

# The root share's page: its disk folders, the virtual folders of the shares below it (/r/
# stands for its disk folder) and the one file; the links that lead out of the share are
# not listed.
ROOT_NAMES = {"a b/", "docs/", "private/", "r/", "sub/", "a/", "music/", "v/", "x/", "inner-link"}
DOCS_NAMES = {"a.txt", "only-this.txt", "only-this.txt.bak", "pic.png"}


# What a URL is expected to answer, one form per kind of answer.
def served_file(path):
    return ("file", path)


def page(levels, names):
    return ("page", levels, names)


def section(kind, names):
    return ("section", kind, names)


def single_item(name):
    return ("item", name)


def generated_document(answer):
    """The root of a folder page, section or single item; None for any other answer."""
    if answer.status != 200 or not (answer.header("Content-Type") or "").startswith("application/xml"):
        return None
    root = ElementTree.fromstring(answer.body)
    if root.tag == "page" and root.find("document").get("type") != "folder":
        return None
    return root if root.tag in ("page", "section", "item") else None


def listed_items(root):
    return [root] if root.tag == "item" else list(root.iter("item"))


def listed_names(root):
    return {item.findtext("name") for item in listed_items(root)}


def crumbs(root):
    return [level.get("label") for level in root.find("document/url").iter("folder")]


class Mapping(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        shares = [
            Share("/", "pub"),
            Share("/music/", "mp3"),
            Share("/a/", "fa"),
            Share("/a/b/", "fab-excl"),
            Share("/r/", "r-excl"),
            Share("/x/y/", "xy", users="bob"),
            Share("/x/z/", "xz"),
            Share("/v/w/", "vw", users="bob"),
        ]
        server = Server(shares, users={"bob": "pw"}, protocol={"IDENTIFICATION_METHOD": "2"},
                        html={"ALLOW_MINIATURES": "true"})
        # A word excludes every path that holds it; a quoted path only that path.
        only = os.path.join(server.root, "pub/docs/only-this.txt")
        server.exclusions = ("private", "fab-excl", "r-excl", f'"{only}"')
        server.write("secret-beside.txt", SECRET)
        server.write("secretdir/inner-secret.txt", SECRET)
        # Each file holds its own path: the bytes that come back tell which share answered.
        for name in ("pub/docs/a.txt", "pub/docs/only-this.txt", "pub/docs/only-this.txt.bak", "pub/private/p.txt",
                     "pub/r/q.txt", "pub/a b/blank.txt", "pub/sub/s.txt", "mp3/a.mp3", "fa/b/c.txt", "fa/b/d.txt",
                     "fab-excl/c.txt", "r-excl/q.txt", "r-excl/only.txt", "xy/y.txt", "xz/z.txt", "vw/w.txt"):
            server.write(name, name)
        server.write("pub/docs/pic.png", png(64, 48))
        server.link("../secret-beside.txt", "pub/link-file")
        server.link(os.path.join(server.root, "secret-beside.txt"), "pub/abs-link")
        server.link("../secretdir", "pub/link-dir")
        server.link("docs/a.txt", "pub/inner-link")
        server.link("../secret-beside.txt", "mp3/out")
        server.link("../pub", "mp3/to-pub")
        cls.server = server
        return [server]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # A link inside the resources folder that points out of it.
        os.symlink(os.path.join(cls.server.root, "secret-beside.txt"),
                   os.path.join(cls.server.app, "resources", "out-link"))

    def get(self, url):
        """The answer to a GET of the URL, which holds nothing of the secret files: not their
        bytes, and not their names among the items of a page. A page echoes its own URL (its
        crumbs, and the query that its folder links carry), so there the names are looked
        for in the name and label of each listed item, and in the whole of any other answer."""
        if isinstance(url, str):
            url = url.encode("latin-1")
        answer = parse_answer(self.server.exchange(b"GET " + url + b" HTTP/1.1\r\nHost: localhost\r\n\r\n"))
        self.assertNotIn(SECRET, answer.raw)
        root = generated_document(answer)
        for name in SECRET_NAMES:
            if root is None:
                self.assertNotIn(name.encode("ascii"), answer.raw)
                continue
            for item in listed_items(root):
                for field in ("name", "label"):
                    self.assertNotIn(name, "".join(item.find(field).itertext()), url)
        return answer

    def assertServes(self, url, expected):
        """The URL answers 200 with what expected says: a file's bytes (its path), a folder
        page's crumbs and listed names, a section's type and names, or a single item."""
        answer = self.get(url)
        self.assertStatus(answer, 200)
        kind = expected[0]
        if kind == "file":
            self.assertEqual(answer.body, expected[1].encode("utf-8"))
            return
        root = generated_document(answer)
        self.assertIsNotNone(root, answer.raw[:600])
        if kind == "page":
            self.assertEqual((root.tag, crumbs(root), listed_names(root)), ("page", expected[1], expected[2]))
        elif kind == "section":
            self.assertEqual((root.tag, root.get("type"), listed_names(root)), ("section", expected[1], expected[2]))
        else:
            self.assertEqual((root.tag, root.findtext("name")), ("item", expected[1]))

    def test_urls_map_to_the_root_share_first_then_to_the_longest_share(self):
        cases = (
            ("/docs/a.txt", served_file("pub/docs/a.txt")),
            ("/docs/", page(["docs"], DOCS_NAMES)),
            ("/", page([], ROOT_NAMES)),
            ("/inner-link", served_file("pub/docs/a.txt")),
            ("/docs%2fa.txt", served_file("pub/docs/a.txt")),
            # A blank written either way.
            ("/a%20b/", page(["a b"], {"blank.txt"})),
            ("/a+b/", page(["a b"], {"blank.txt"})),
            ("/music/a.mp3", served_file("mp3/a.mp3")),
            ("/music/", page(["music"], {"a.mp3"})),
            # The root share's folder first, even under a share's server path.
            ("/r/q.txt", served_file("pub/r/q.txt")),
            ("/r/", page(["r"], {"q.txt"})),
            # The longest share that holds the file, else a shorter one.
            ("/a/b/d.txt", served_file("fa/b/d.txt")),
            ("/a/", page(["a"], {"b/"})),
            # A virtual folder with an open share below it is open.
            ("/x/", page(["x"], {"y/", "z/"})),
            ("/x/z/z.txt", served_file("xz/z.txt")),
        )
        for url, expected in cases:
            with self.subTest(url=url):
                self.assertServes(url, expected)

    def test_urls_that_are_refused_or_sent_elsewhere(self):
        # The last column is the file that the URL names, whose bytes must not come.
        cases = (
            # The share's folder is excluded, so its files answer 403 (the root share's
            # folder would have served them).
            ("/r/only.txt", 403, "Error 403 : Forbidden", "r-excl/only.txt"),
            # The longest share holds the file and is excluded, though a shorter one holds
            # a file of that name too.
            ("/a/b/c.txt", 403, "Error 403 : Forbidden", "c.txt"),
            ("/a/b/", 403, "Error 403 : Forbidden", None),
            # A virtual folder with only a restricted share below it asks for identification.
            ("/v/", 401, "identification", None),
            ("/x/y/y.txt", 401, "identification", "xy/y.txt"),
            ("/nothing", 404, "Error 404 : Not Found", None),
        )
        for url, status, text, withheld in cases:
            with self.subTest(url=url):
                answer = self.get(url)
                self.assertStatus(answer, status, text)
                if withheld is not None:
                    self.assertNotIn(withheld.encode("ascii"), answer.body)
        # The users of a virtual folder are those of the restricted shares below it.
        answer = parse_answer(self.server.exchange(
            b"POST /v/ HTTP/1.1\r\nHost: localhost\r\nContent-Length: 20\r\n\r\nuser=bob&password=pw"))
        self.assertStatus(answer, 200)
        root = generated_document(answer)
        self.assertEqual((crumbs(root), listed_names(root)), (["v"], {"w/"}))
        # A restricted share's server path without its final "/" asks for identification
        # before it is redirected.
        self.assertStatus(self.get("/v/w"), 401, "identification")
        answer = parse_answer(self.server.exchange(
            b"POST /v/w HTTP/1.1\r\nHost: localhost\r\nContent-Length: 20\r\n\r\nuser=bob&password=pw"))
        self.assertStatus(answer, 301)
        self.assertEqual(answer.header("Location"), "http://localhost/v/w/")
        # Only a parent of the share's server path, without its final "/".
        answer = self.get("/music")
        self.assertStatus(answer, 301)
        self.assertEqual(answer.header("Location"), "http://localhost/music/")

    def test_query_keys_choose_the_request_kind(self):
        cases = (
            ("/sub/?res=classic.css", page(["sub"], {"s.txt"})),
            ("/?res=nothing.css", page([], ROOT_NAMES)),
            ("/docs/?miniature=", page(["docs"], DOCS_NAMES)),
            ("/docs/?item.xml=a.txt", single_item("a.txt")),
            ("/?item.xml=docs", single_item("docs/")),
            ("/docs/?section.xml=music", page(["docs"], DOCS_NAMES)),
            ("/docs/?section.xml=sound&x=1", section("sound", set())),
            ("/docs/?section.xml=other", section("other", DOCS_NAMES - {"pic.png"})),
        )
        for url, expected in cases:
            with self.subTest(url=url):
                self.assertServes(url, expected)
        with open(os.path.join(orvendale._arguments.source, "resources", "classic.css"), "rb") as css:
            resource = css.read()
        answer = self.get("/?res=classic.css")
        self.assertStatus(answer, 200)
        self.assertEqual((answer.header("Content-Type"), answer.body), ("text/css", resource))
        for url in ("/docs/?miniature=pic.png", "/docs/?MINIATURE=pic.png"):
            with self.subTest(url=url):
                answer = self.get(url)
                self.assertStatus(answer, 200)
                self.assertEqual((answer.header("Content-Type"), bitmap_size(answer.body)), ("image/bmp", (64, 48)))

    def test_excluded_paths_are_403(self):
        for url in ("/private/p.txt", "/private/", "/PRIVATE/p.txt", "/docs/only-this.txt", "/docs/?item.xml=only-this.txt"):
            with self.subTest(url=url):
                self.assertStatus(self.get(url), 403, "Error 403 : Forbidden")
        self.assertServes("/docs/only-this.txt.bak", served_file("pub/docs/only-this.txt.bak"))

    def test_no_url_leaves_its_share(self):
        hostile = (
            b"/../secret-beside.txt",
            b"/docs/../../secret-beside.txt",
            b"/docs/../a.txt",
            b"/./docs/a.txt",
            b"/..",
            b"/%2e%2e/secret-beside.txt",
            b"/%2E%2e%2fsecret-beside.txt",
            b"/..%2fsecret-beside.txt",
            b"/docs%2f..%2f..%2fsecret-beside.txt",
            b"/%252e%252e/secret-beside.txt",
            b"//secret-beside.txt",
            b"/docs//a.txt",
            b"/%2f%2e%2e/secret-beside.txt",
            b"/%00",
            b"/docs/a.txt%00.jpg",
            b"/%C0%AE%C0%AE/secret-beside.txt",
            b"/%C0%AE%C0%AE%C0%AFsecret-beside.txt",
            b"/docs%C0%AF..%C0%AF..%C0%AFsecret-beside.txt",
            b"/%E0%80%AE%E0%80%AE/secret-beside.txt",
            b"/%C0%AE%C0%AE%2f%C0%AE%C0%AE%2fsecret-beside.txt",
            b"/..\\secret-beside.txt",
            b"/..%5csecret-beside.txt",
            b"/docs\\..\\..\\secret-beside.txt",
            b"/link-file",
            b"/abs-link",
            b"/link-dir/",
            b"/link-dir/inner-secret.txt",
            b"/music/out",
            b"/music/to-pub/docs/a.txt",
            b"/music/../secret-beside.txt",
            b"/music/%2e%2e/secret-beside.txt",
            b"/../app/config.xml",
            b"/?miniature=../secret-beside.txt",
            b"/docs/?miniature=%2e%2e%2f%2e%2e%2fsecret-beside.txt",
            b"/?miniature=..%2fsecret-beside.txt",
            b"/?miniature=link-file",
            b"/?miniature=%C0%AE%C0%AE/secret-beside.txt",
            b"/?item.xml=../secret-beside.txt",
            b"/?item.xml=%2e%2e/secret-beside.txt",
            b"/?item.xml=link-file",
            b"/?item.xml=link-dir",
            b"/music/?item.xml=out",
            b"/?item.xml=%00",
            b"/?item.xml=..%5csecret-beside.txt",
        )
        for url in hostile:
            with self.subTest(url=url):
                self.assertIn(self.get(url).status, (400, 404))

    # Every way of writing a climb out of the folder, with every way of writing a
    # separator, one and two levels up (two and three for resources, whose folder lies one
    # deeper), towards a file and a folder beside the shares, as a path and as the value of
    # each query key. A path, thumbnail or single item finds nothing (404) or is refused
    # (400); a resource is none, and the request gets the root page.
    def test_no_climb_however_written_leaves_its_folder(self):
        climbs = (b"..", b"%2e%2e", b"%2E%2e", b".%2E", b"%C0%AE%C0%AE", b"%E0%80%AE%E0%80%AE")
        separators = (b"/", b"%2f", b"%2F", b"\\", b"%5c", b"%C0%AF", b"%E0%80%AF", b"//")
        carriers = ((b"/", (1, 2)), (b"/?miniature=", (1, 2)), (b"/?item.xml=", (1, 2)), (b"/?res=", (2, 3)))
        for carrier, depths in carriers:
            for climb in climbs:
                for separator in separators:
                    for depth in depths:
                        for target in (b"secret-beside.txt", b"secretdir" + separator):
                            url = carrier + (climb + separator) * depth + target
                            with self.subTest(url=url):
                                self.assertRefusedOrRoot(url, carrier)

    # The other forms of the table, each as a path and as the value of every query key:
    # absolute paths, "%2f" inside names, "//", NUL, links that point out.
    def test_no_other_hostile_form_leaves_its_folder(self):
        secret = os.path.join(self.server.root, "secret-beside.txt").encode("utf-8")
        forms = (secret, b"/" + secret, b"docs%2f..%2f..%2fsecret-beside.txt", b"%2fsecret-beside.txt",
                 b"/secret-beside.txt", b"docs//..//..//secret-beside.txt", b"%00", b"docs/a.txt%00.png",
                 b"link-file", b"abs-link", b"link-dir", b"link-dir/", b"link-dir/inner-secret.txt",
                 b"link-dir%2finner-secret.txt", b"out-link", b"../app/config.xml", b"..%2fconfig.xml")
        for carrier in (b"/", b"/?miniature=", b"/?item.xml=", b"/?res=", b"/music/", b"/music/?item.xml=",
                        b"/music/?miniature="):
            for form in forms:
                url = carrier + form
                with self.subTest(url=url):
                    self.assertRefusedOrRoot(url, carrier)

    def assertRefusedOrRoot(self, url, carrier):
        answer = self.get(url)
        if carrier == b"/?res=" and answer.status != 400:
            self.assertServes(url, page([], ROOT_NAMES))
        else:
            self.assertIn(answer.status, (400, 404), answer.raw[:300])

    # A resource name that leaves the resources folder names no resource: the request is
    # then one for "/" (the root page, whose links carry the query), never for the file.
    def test_no_resource_name_leaves_the_resources_folder(self):
        for url in (b"/?res=../../secret-beside.txt", b"/?res=%2e%2e/%2e%2e/secret-beside.txt",
                    b"/?res=..%2f..%2fsecret-beside.txt", b"/?res=out-link", b"/?res=../config.xml",
                    b"/?res=%2e%2e%5c%2e%2e%5csecret-beside.txt"):
            with self.subTest(url=url):
                self.assertServes(url, page([], ROOT_NAMES))
        self.assertStatus(self.get(b"/?res=%00"), 400)

if __name__ == "__main__":
    orvendale.main()
