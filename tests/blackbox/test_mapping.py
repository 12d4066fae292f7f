"""Routing and share mapping as a client sees them, through the answers the road gives now:
"Not yet served : " and what the request was taken for once it reaches dispatch, 403 for an
excluded path (exclusions also tell here which folder a URL was mapped to), 404 where nothing
may be served. No URL, however it is written, reaches the secret files beside the shares."""

import os

import orvendale
from orvendale import Server, Share, parse_answer

SECRET = b"SECRET-BYTES-7f3a"
SECRET_NAMES = (b"secret-beside", b"inner-secret")


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
        only = server.write("pub/docs/only-this.txt")
        server.exclusions = ("private", "fab-excl", "r-excl", f'"{only}"')
        server.write("secret-beside.txt", SECRET)
        server.write("secretdir/inner-secret.txt", SECRET)
        for name in ("pub/docs/a.txt", "pub/docs/pic.png", "pub/docs/only-this.txt.bak", "pub/private/p.txt",
                     "pub/r/q.txt", "mp3/a.mp3", "fa/b/c.txt", "fa/b/d.txt", "fab-excl/c.txt", "r-excl/q.txt",
                     "r-excl/only.txt", "xy/y.txt", "xz/z.txt", "vw/w.txt"):
            server.write(name)
        for name in ("pub/a b", "pub/sub"):
            server.folder(name)
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
        if isinstance(url, str):
            url = url.encode("latin-1")
        answer = parse_answer(self.server.exchange(b"GET " + url + b" HTTP/1.1\r\nHost: localhost\r\n\r\n"))
        self.assertNotIn(SECRET, answer.raw)
        for name in SECRET_NAMES:
            self.assertNotIn(name, answer.raw)
        return answer

    def test_urls_map_to_the_root_share_first_then_to_the_longest_share(self):
        cases = (
            ("/docs/a.txt", 503, "Not yet served : file"),
            ("/docs/", 503, "Not yet served : folder"),
            ("/", 503, "Not yet served : folder"),
            ("/inner-link", 503, "Not yet served : file"),
            ("/docs%2fa.txt", 503, "Not yet served : file"),
            # A blank written either way.
            ("/a%20b/", 503, "Not yet served : folder"),
            ("/a+b/", 503, "Not yet served : folder"),
            ("/music/a.mp3", 503, "Not yet served : file"),
            # Only a parent of the share's server path.
            ("/music", 503, "Not yet served : virtual folder"),
            # The root share's folder first, even under a share's server path (the share's
            # folder is excluded, so its files answer 403).
            ("/r/q.txt", 503, "Not yet served : file"),
            ("/r/only.txt", 403, "Error 403 : Forbidden"),
            # The longest share that holds the file, else a shorter one.
            ("/a/b/c.txt", 403, "Error 403 : Forbidden"),
            ("/a/b/d.txt", 503, "Not yet served : file"),
            # A virtual folder with an open share below it is open; with only a restricted
            # one it asks for identification.
            ("/x/", 503, "Not yet served : virtual folder"),
            ("/v/", 401, "identification"),
            ("/nothing", 404, "Error 404 : Not Found"),
        )
        for url, status, text in cases:
            with self.subTest(url=url):
                self.assertStatus(self.get(url), status, text)

    def test_query_keys_choose_the_request_kind(self):
        cases = (
            ("/?res=classic.css", "resource"),
            ("/sub/?res=classic.css", "folder"),
            ("/?res=nothing.css", "folder"),
            ("/docs/?miniature=pic.png", "thumbnail"),
            ("/docs/?MINIATURE=pic.png", "thumbnail"),
            ("/docs/?miniature=", "folder"),
            ("/docs/?item.xml=a.txt", "single item"),
            ("/?item.xml=docs", "single item"),
            ("/docs/?section.xml=music", "folder"),
            ("/docs/?section.xml=sound&x=1", "section"),
        )
        for url, kind in cases:
            with self.subTest(url=url):
                self.assertStatus(self.get(url), 503, "Not yet served : " + kind)

    def test_excluded_paths_are_403(self):
        for url in ("/private/p.txt", "/private/", "/PRIVATE/p.txt", "/docs/only-this.txt", "/docs/?item.xml=only-this.txt"):
            with self.subTest(url=url):
                self.assertStatus(self.get(url), 403, "Error 403 : Forbidden")
        self.assertStatus(self.get("/docs/only-this.txt.bak"), 503)

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

    # A resource name that leaves the resources folder names no resource: the request is
    # then one for "/" (the root page), never for the file.
    def test_no_resource_name_leaves_the_resources_folder(self):
        for url in (b"/?res=../../secret-beside.txt", b"/?res=%2e%2e/%2e%2e/secret-beside.txt",
                    b"/?res=..%2f..%2fsecret-beside.txt", b"/?res=out-link", b"/?res=../config.xml",
                    b"/?res=%2e%2e%5c%2e%2e%5csecret-beside.txt"):
            with self.subTest(url=url):
                answer = self.get(url)
                if answer.status != 404 and answer.status != 400:
                    self.assertStatus(answer, 503, "Not yet served : folder")
        self.assertStatus(self.get(b"/?res=%00"), 400)


if __name__ == "__main__":
    orvendale.main()
