"""Which answers keep their connection, as a client sees it: a kept answer says so and the
next request on the connection is answered; an answer that is not kept says "Close" to an
HTTP/1.1 client and nothing to an HTTP/1.0 one, and the connection closes after it. Pages,
sections and single items are kept when asked, files and their 304 only for resources and
thumbnails, playlists and message pages never; a connection is kept for 300 requests."""

import email.utils

import orvendale
from orvendale import Server, Share, request_bytes
from test_files import is_closed, read_answer
from test_thumbnails import png

KEEP = ("Connection", "Keep-Alive")
LATER = ("If-Modified-Since", email.utils.formatdate(4102444800, usegmt=True))  # 2100


def raw_request(url, version="1.1", headers=(), method="GET"):
    lines = [f"{method} {url} HTTP/{version}"] + [f"{name}: {value}" for name, value in headers]
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")


class KeepAlive(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        cls.server = Server([Share("/", "pub")])
        cls.server.write("pub/docs/a.txt", "hello")
        cls.server.write("pub/docs/song.mp3", "mp3")
        cls.server.write("pub/docs/picture.png", png(40, 30))
        return [cls.server]

    def test_which_answers_keep_their_connection(self):
        kept, closed = True, False
        cases = (
            ("a page", "/docs/", (KEEP,), 200, kept),
            ("a page, keep-alive in other letters", "/docs/", (("Connection", "keep-ALIVE"),), 200, kept),
            ("a page's head", "/docs/", (KEEP,), 200, kept, "HEAD"),
            ("a section", "/docs/?section.xml=other", (KEEP,), 200, kept),
            ("a single item", "/docs/?item.xml=a.txt", (KEEP,), 200, kept),
            ("a resource", "/?res=classic.css", (KEEP,), 200, kept),
            ("a resource's 304", "/?res=classic.css", (KEEP, LATER), 304, kept),
            ("a thumbnail", "/docs/?miniature=picture.png", (KEEP,), 200, kept),
            ("a page not asked to be kept", "/docs/", (), 200, closed),
            ("a file", "/docs/a.txt", (KEEP,), 200, closed),
            ("a file's 304", "/docs/a.txt", (KEEP, LATER), 304, closed),
            ("a playlist", "/docs/?folder.pls", (KEEP,), 200, closed),
            ("a message page", "/docs/none.txt", (KEEP,), 404, closed),
            ("a redirect", "/docs", (KEEP,), 301, closed),
        )
        for name, url, headers, status, keeps, *method in cases:
            method = method[0] if method else "GET"
            for version in ("1.1", "1.0"):
                with self.subTest(name, version=version), self.server.connect() as client:
                    client.sendall(raw_request(url, version, (("Host", "127.0.0.1"),) + headers, method))
                    answer = read_answer(client, head_only=method == "HEAD" or status == 304)
                    self.assertStatus(answer, status)
                    if keeps:
                        self.assertEqual(answer.header("Connection"), "Keep-Alive")
                        self.assertEqual(answer.header("Keep-Alive"), "timeout=15, max=300")
                        client.sendall(raw_request("/?res=favicon.ico", version, (KEEP,)))
                        self.assertStatus(read_answer(client), 200)
                    else:
                        # Playlists and message pages say "Close" to every client.
                        always = status in (301, 404) or url.endswith(".pls")
                        self.assertEqual(answer.header("Connection"),
                                         "Close" if version == "1.1" or always else None)
                        self.assertIsNone(answer.header("Keep-Alive"))
                        self.assertTrue(is_closed(client))

    def test_a_connection_is_kept_for_three_hundred_requests(self):
        with self.server.connect() as client:
            for served in range(301):
                client.sendall(request_bytes("/?res=favicon.ico" if served % 2 else "/docs/?section.xml=sound",
                                             (KEEP,), port=self.server.port))
                answer = read_answer(client)
                self.assertStatus(answer, 200)
                if served < 300:
                    self.assertEqual(answer.header("Keep-Alive"), f"timeout=15, max={300 - served}")
            self.assertEqual(answer.header("Connection"), "Close")
            self.assertIsNone(answer.header("Keep-Alive"))
            self.assertTrue(is_closed(client))


if __name__ == "__main__":
    orvendale.main()
