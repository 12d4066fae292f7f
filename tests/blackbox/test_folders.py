"""Folder pages as a browser gets them: the redirect of a folder URL without its final "/",
the XML page for the browser's transform and the HTML page the server transforms, sections,
display options with garbage or capitals, deflate, keep-alive, clients that go away in the
middle of a page, and two hundred clients asking for the same large folder at once."""

import html.parser
import socket
import struct
import xml.etree.ElementTree as ElementTree
import zlib

import orvendale
from orvendale import Server, Share, parse_answer, request_bytes

BIG_FOLDER_FILES = 1500
SOURCES = [f"127.0.0.{n}" for n in range(2, 10)]


def fill_fixture(server):
    server.write("pub/docs/a.txt", "hello")
    server.write("pub/docs/notes & more.txt", "0123456789")
    server.write("pub/docs/\u00e9t\u00e9.txt", "abc")
    server.write("pub/docs/song.mp3", "mp3")
    server.folder("pub/docs/sub")
    server.folder("pub/a b")
    for n in range(BIG_FOLDER_FILES):
        server.write(f"pub/big/file-{n:05}.txt", "x")


class PageParser(html.parser.HTMLParser):
    """The links and the texts of an HTML page."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []
        self.texts = []
        self.doctype = None

    def handle_decl(self, decl):
        self.doctype = decl

    def handle_starttag(self, tag, attrs):
        if tag == "a":
            self.links.append(dict(attrs).get("href"))

    def handle_data(self, data):
        if data.strip():
            self.texts.append(data.strip())


def read_answer(client, head_only=False):
    """One answer from a connection that may stay open: its head and Content-Length bytes."""
    received = b""
    while b"\r\n\r\n" not in received:
        chunk = client.recv(65536)
        if not chunk:
            raise AssertionError(f"closed before a whole head: {received!r}")
        received += chunk
    end = received.index(b"\r\n\r\n") + 4
    answer = parse_answer(received, head_only=True)
    length = 0 if head_only else int(answer.header("Content-Length") or 0)
    while len(received) < end + length:
        chunk = client.recv(65536)
        if not chunk:
            raise AssertionError("closed in the middle of a body")
        received += chunk
    return parse_answer(received[:end + length], head_only=head_only)


def closed_by_server(client):
    client.settimeout(orvendale.ANSWER_TIMEOUT)
    try:
        return client.recv(1) == b""
    except ConnectionResetError:
        return True


class Folders(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        cls.client = Server([Share("/", "pub"), Share("/v/w/", "vw")],
                            protocol={"ENABLE_COMPRESSION": "true"}, html={"PAGE_BUILD_METHOD": "client"})
        cls.transforming = Server([Share("/", "pub")], html={"PAGE_BUILD_METHOD": "server"})
        for server in (cls.client, cls.transforming):
            fill_fixture(server)
        cls.client.folder("vw")
        return [cls.client, cls.transforming]

    # ---- The redirect ----

    def test_a_folder_url_without_its_slash_is_redirected_without_its_query(self):
        here = f"127.0.0.1:{self.client.port}"
        cases = (
            ("/docs", (), f"http://{here}/docs/"),
            ("/docs?showby_folder=icon", (("Host", "example.org:8080"),), "http://example.org:8080/docs/"),
            ("/a%20b", (), f"http://{here}/a%20b/"),
            ("/v", (), f"http://{here}/v/"),
        )
        for url, headers, location in cases:
            with self.subTest(url=url):
                answer = self.client.get(url, headers)
                self.assertStatus(answer, 301, "Resource location : " + location)
                self.assertEqual(answer.header("Location"), location)
                self.assertEqual(answer.header("Connection"), "Close")
                self.assertIn("<title>Redirection</title>", answer.text())
        # The browser's next step lands on the page.
        self.assertEqual(self.client.get("/docs/").status, 200)

    # ---- The pages ----

    def test_the_xml_page_lists_names_sizes_and_links_for_the_browser(self):
        answer = self.client.get("/docs/")
        self.assertStatus(answer, 200)
        self.assertEqual(answer.header("Content-Type"), "application/xml; charset=UTF-8")
        self.assertEqual(int(answer.header("Content-Length")), len(answer.body))
        self.assertIn(b'<?xml-stylesheet type="text/xsl" href="/?res=classic-full.xsl"?>', answer.body)
        page = ElementTree.fromstring(answer.body)
        items = {item.findtext("name"): item for item in page.iter("item")}
        self.assertEqual(set(items), {"sub/", "a.txt", "notes & more.txt", "\u00e9t\u00e9.txt", "song.mp3"})
        self.assertEqual(items["a.txt"].findtext("size"), "5")
        self.assertEqual(items["notes & more.txt"].findtext("size"), "10")
        self.assertEqual(items["\u00e9t\u00e9.txt"].findtext("src"), "%C3%A9t%C3%A9.txt")
        self.assertEqual(items["sub/"].findtext("src"), "sub/?.pls")
        sections = {section.get("type"): section for section in page.iter("section")}
        self.assertEqual(sections["other"].get("diskitems"), "3")
        self.assertEqual(page.find("document/url").get("tag"), "?.pls")
        # Each link reaches what it names.
        self.assertEqual(self.client.get("/docs/sub/").status, 200)

    def test_the_server_transform_gives_an_html_page_with_names_sizes_and_links(self):
        answer = self.transforming.get("/docs/")
        self.assertStatus(answer, 200)
        self.assertEqual(answer.header("Content-Type"), "text/html; charset=UTF-8")
        parser = PageParser()
        parser.feed(answer.body.decode("utf-8"))
        parser.close()
        self.assertIsNotNone(parser.doctype)
        for name in ("a.txt", "notes & more.txt", "\u00e9t\u00e9.txt", "song.mp3", "5 bytes", "10 bytes"):
            self.assertIn(name, parser.texts)
        # A folder link carries no query while the page has no option.
        for link in ("a.txt", "notes%20&%20more.txt", "%C3%A9t%C3%A9.txt", "sub/"):
            self.assertIn(link, parser.links)
        self.assertNotIn(b"<?xml", answer.body)

    def test_a_section_is_an_xml_fragment_with_either_build_method(self):
        for server in (self.client, self.transforming):
            with self.subTest(port=server.port):
                answer = server.get("/docs/?section.xml=other&sortby_other=size&sortorder_other=descending")
                self.assertStatus(answer, 200)
                self.assertEqual(answer.header("Content-Type"), "application/xml; charset=UTF-8")
                section = ElementTree.fromstring(answer.body)
                self.assertEqual(section.tag, "section")
                self.assertEqual(section.get("type"), "other")
                names = [item.findtext("name") for item in section.iter("item")]
                self.assertEqual(names, ["notes & more.txt", "a.txt", "\u00e9t\u00e9.txt"])

    def test_display_options_with_garbage_or_capitals(self):
        query = ("?showby_folder=ICON&sortby_other=GARBAGE&sortorder_other=DESCENDING&showgroup_image=TRUE"
                 "&showby_sound=%3Cscript%3E&showplayers=maybe&filter_other=NOTES&sortby_folder=size")
        answer = self.client.get("/docs/" + query)
        self.assertStatus(answer, 200)
        page = ElementTree.fromstring(answer.body)
        sections = {section.get("type"): section for section in page.iter("section")}
        self.assertEqual(sections["folder"].get("showby"), "icon")
        self.assertEqual(sections["folder"].get("sortby"), "name")
        self.assertEqual(sections["other"].get("sortby"), "name")
        self.assertEqual(sections["other"].get("sortorder"), "descending")
        self.assertEqual(sections["image"].get("showgroup"), "true")
        self.assertEqual(sections["sound"].get("showby"), "list")
        self.assertEqual(page.findtext("server/config/showplayers"), "false")
        self.assertEqual([item.findtext("name") for item in sections["other"].iter("item")], ["notes & more.txt"])
        # The same through the server's transform: a page, whatever the options say.
        answer = self.transforming.get("/docs/" + query)
        self.assertStatus(answer, 200)
        self.assertIn(b"notes &amp; more.txt", answer.body)

    def test_a_deflated_page_inflates_to_the_page(self):
        plain = self.client.get("/docs/")
        deflated = self.client.get("/docs/", (("Accept-Encoding", "gzip, deflate"),))
        self.assertEqual(deflated.header("Content-Encoding"), "deflate")
        self.assertEqual(int(deflated.header("Content-Length")), len(deflated.body))
        inflated = zlib.decompressobj(-zlib.MAX_WBITS)
        self.assertEqual(inflated.decompress(deflated.body), plain.body)
        # What follows the deflate data is the Adler-32 of the page.
        self.assertEqual(inflated.unused_data, struct.pack(">I", zlib.adler32(plain.body)))
        self.assertIsNone(plain.header("Content-Encoding"))

    def test_a_head_request_gets_the_head_of_the_page(self):
        get = self.client.get("/docs/")
        head = self.client.get("/docs/", method="HEAD")
        self.assertStatus(head, 200)
        self.assertEqual(head.header("Content-Length"), get.header("Content-Length"))
        self.assertTrue(head.raw.endswith(b"\r\n\r\n"))

    # ---- Keep-alive ----

    def test_pages_and_sections_keep_the_connection_when_asked(self):
        keep = (("Connection", "Keep-Alive"),)
        with self.client.connect() as client:
            for url, left in (("/docs/", "300"), ("/docs/?section.xml=other", "299"), ("/big/", "298")):
                client.sendall(request_bytes(url, keep, port=self.client.port))
                answer = read_answer(client)
                self.assertStatus(answer, 200)
                self.assertEqual(answer.header("Connection"), "Keep-Alive")
                self.assertEqual(answer.header("Keep-Alive"), "timeout=15, max=" + left)
            # A playlist never keeps it.
            client.sendall(request_bytes("/docs/?folder.pls", keep, port=self.client.port))
            answer = read_answer(client)
            self.assertEqual(answer.header("Content-Type"), "audio/scpls")
            self.assertEqual(answer.header("Connection"), "Close")
            self.assertTrue(closed_by_server(client))

    def test_a_page_not_kept_closes_its_connection(self):
        cases = ((b"GET /docs/ HTTP/1.1\r\n\r\n", "Close"), (b"GET /docs/ HTTP/1.0\r\n\r\n", None),
                 (b"GET /docs/ HTTP/1.1\r\nConnection: close\r\n\r\n", "Close"))
        for request, connection in cases:
            with self.subTest(request=request):
                with self.client.connect() as client:
                    client.sendall(request)
                    answer = read_answer(client)
                    self.assertStatus(answer, 200)
                    self.assertEqual(answer.header("Connection"), connection)
                    self.assertIsNone(answer.header("Keep-Alive"))
                    self.assertTrue(closed_by_server(client))

    # ---- Clients that go away, clients that come all at once ----

    def test_clients_that_go_away_in_the_middle_of_a_page(self):
        for n in range(30):
            client = self.client.connect(SOURCES[n % len(SOURCES)])
            client.sendall(request_bytes("/big/", port=self.client.port))
            if n % 2:
                client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            client.close()
        # Others go once the page is on its way: after its head and a first piece of it.
        for n in range(8):
            client = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            client.settimeout(orvendale.ANSWER_TIMEOUT)
            client.connect(("127.0.0.1", self.client.port))
            client.sendall(request_bytes("/big/", port=self.client.port))
            received = b""
            while b"\r\n\r\n" not in received:
                chunk = client.recv(4096)
                self.assertTrue(chunk, "closed before the head")
                received += chunk
            if n % 2:
                client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            client.close()
        for source in SOURCES:
            answer = self.client.get("/big/", source=source)
            self.assertStatus(answer, 200)
            self.assertEqual(answer.body.count(b"<item>"), BIG_FOLDER_FILES)

    def test_two_hundred_clients_asking_for_the_same_large_folder_at_once(self):
        sources = [SOURCES[n % len(SOURCES)] for n in range(200)]
        answers = orvendale.answers_at_once(self.client, sources, request_bytes("/big/", port=self.client.port))
        counts = {200: 0, 503: 0, "refused": 0}
        for raw in answers:
            if not raw:
                counts["refused"] += 1
                continue
            answer = parse_answer(raw)
            self.assertIn(answer.status, (200, 503), raw[:300])
            counts[answer.status] += 1
            if answer.status == 200:
                self.assertEqual(answer.body.count(b"<item>"), BIG_FOLDER_FILES)
                self.assertEqual(int(answer.header("Content-Length")), len(answer.body))
            else:
                self.assertRegex(answer.text(), "<label>Too many folder requests( from this IP)?</label>")
        print(f"\n200 clients at once: {counts}")
        self.assertGreater(counts[200], 0)
        self.assertGreater(counts[503], 0)
        # Nothing stays counted: every address gets its page again.
        for source in SOURCES:
            self.assertEqual(self.client.get("/big/", source=source).status, 200)


if __name__ == "__main__":
    orvendale.main()
