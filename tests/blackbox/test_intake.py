"""The intake of the request road, as a client sees it: the checks of every request and their
answers, requests in pieces, sizes and lengths that lie."""

import zlib

import orvendale
from orvendale import Server, Share, request_bytes, parse_answer


class Intake(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        xml = Server([Share("/", "pub")],
                     protocol={"ALLOW_ONLY_DOMAINS": "true", "DOMAINS_LIST": "localhost;127.0.0.1;",
                               "ENABLE_COMPRESSION": "false"},
                     names={"BANNED_CLIENTS_KEYWORDS": "badbot;"})
        xml.write("pub/docs/a.txt", "hello")
        xml.folder("pub/sub")
        compressing = Server([Share("/", "pub")], protocol={"ENABLE_COMPRESSION": "true"})
        compressing.folder("pub")
        cls.xml, cls.compressing = xml, compressing
        return [xml, compressing]

    def answer(self, data, server=None, **kwargs):
        return parse_answer((server or self.xml).exchange(data, **kwargs))

    def assertServed(self, answer):
        """The answer is the file /docs/a.txt, whole."""
        self.assertStatus(answer, 200)
        self.assertEqual(answer.body, b"hello")

    def test_a_request_that_passes_every_check_is_served(self):
        answer = self.xml.get("/docs/a.txt")
        self.assertServed(answer)
        self.assertEqual(answer.header("Server"), "Orvendale 1.02")
        self.assertEqual(answer.header("Connection"), "Close")
        self.assertEqual(answer.header("Content-Type"), "text/plain")
        self.assertEqual(int(answer.header("Content-Length")), len(answer.body))
        self.assertIsNotNone(answer.header("Date"))
        self.assertIsNotNone(answer.header("Last-Modified"))
        self.assertEqual(answer.header("Accept-Ranges"), "bytes")
        self.assertTrue(answer.raw.endswith(b"\r\n\r\nhello"), answer.raw)

    def test_a_bad_method_or_url_is_400(self):
        for request in (b"OPTIONS / HTTP/1.1\r\nHost: localhost\r\n\r\n",
                        b"GET docs/a.txt HTTP/1.1\r\nHost: localhost\r\n\r\n",
                        b"GET http://localhost/ HTTP/1.1\r\nHost: localhost\r\n\r\n",
                        b"hello\r\n\r\n",
                        b"GET /docs/a.txt%00.jpg HTTP/1.1\r\nHost: localhost\r\n\r\n",
                        b"GET /\x00 HTTP/1.1\r\n\r\n",
                        b"GET / HTTP/1.1\nHost: localhost\n\n\r\n\r\n"):
            with self.subTest(request=request):
                self.assertStatus(self.answer(request), 400, "Error 400 : Bad Request")

    def test_a_method_in_other_letter_case_is_that_method(self):
        self.assertServed(self.xml.get("/docs/a.txt", method="gEt"))

    def test_only_the_allowed_domains_are_served(self):
        cases = (
            ((("Host", "evil.example"),), 403, "Domain disallowed : evil.example"),
            ((("Host", "LOCALHOST:8080"),), 200, "hello"),
            ((("Host", ":8080"),), 403, "<label>Domain disallowed : </label>"),
        )
        for headers, status, text in cases:
            with self.subTest(headers=headers):
                answer = self.xml.get("/docs/a.txt", headers)
                self.assertStatus(answer, status, text)
                if status != 200:
                    self.assertNotIn(b"hello", answer.body)
        self.assertStatus(self.answer(b"GET /docs/a.txt HTTP/1.1\r\n\r\n"), 403, "<label>Domain disallowed : </label>")
        self.assertStatus(self.answer(b"GET /docs/a.txt HTTP/1.0\r\n\r\n"), 403, "<label>Domain disallowed : </label>")
        # A Host line in the body is no header.
        body = b"x\r\nHost: localhost\r\n\r\n"
        data = b"POST /docs/a.txt HTTP/1.1\r\nContent-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body
        self.assertStatus(self.answer(data), 403, "<label>Domain disallowed : </label>")

    def test_a_url_over_the_limit_is_414(self):
        longest = "/" + "u" * 1999
        self.assertStatus(self.xml.get(longest), 404)
        self.assertStatus(self.xml.get(longest + "u"), 414, "Error 414 : Request-URI Too Long")
        self.assertStatus(self.xml.get("/docs/a.txt?" + "q" * 1990), 414)

    def test_a_banned_user_agent_is_403_before_its_method_is_looked_at(self):
        self.assertStatus(self.xml.get("/docs/a.txt", (("User-Agent", "Mozilla/5.0 BadBot/2.0"),)), 403,
                          "Banned client (Mozilla/5.0 BadBot/2.0)")
        self.assertStatus(self.xml.get("/docs/a.txt", (("User-Agent", "badbot"),), method="PUT"), 403,
                          "Banned client (badbot)")

    def test_methods_the_server_does_not_serve_are_405_with_allow(self):
        for method in ("PUT", "DELETE", "TRACE", "CONNECT", "put"):
            with self.subTest(method=method):
                answer = self.xml.get("/docs/a.txt", method=method)
                self.assertStatus(answer, 405, "Error 405 : Method Not Allowed")
                self.assertEqual(answer.header("Allow"), "GET, HEAD, POST")

    def test_a_request_over_the_size_limit_is_413(self):
        padding = ("X-Padding", "p" * 3000)
        self.assertStatus(self.xml.get("/docs/a.txt", (padding,)), 413, "Error 413 : Request Entity Too Large")
        fits = request_bytes("/docs/a.txt", (("X-Padding", "p" * 2900),), port=self.xml.port)
        self.assertLessEqual(len(fits), 3000)
        self.assertServed(self.answer(fits))
        # 2950 bytes wait for their end; the next 100 make the request too large.
        first = b"GET /docs/a.txt HTTP/1.1\r\nHost: localhost\r\nX-Padding: " + b"p" * 2900
        self.assertStatus(self.answer(None, pieces=[first, b"p" * 100 + b"\r\n\r\n"]), 413)
        # A huge length is refused at once, without waiting for its body.
        huge = b"POST /docs/a.txt HTTP/1.1\r\nHost: localhost\r\nContent-Length: 99999999999\r\n\r\nabc"
        self.assertStatus(self.answer(huge), 413)
        self.assertStatus(self.answer(b"a" * 3001), 413)

    # Each row fails the check of its status and every later one: the first that fails
    # answers.
    def test_the_first_check_that_fails_answers(self):
        long_url = b"/" + b"u" * 2000
        too_large = b"X-Padding: " + b"p" * 3000
        cases = (
            (b"PUT docs HTTP/1.1", (b"Host: evil.example", b"User-Agent: badbot", too_large), 413,
             "Error 413 : Request Entity Too Large"),
            (b"PUT docs HTTP/1.1", (b"Host: evil.example", b"User-Agent: badbot"), 400, "Error 400 : Bad Request"),
            (b"PUT " + long_url + b" HTTP/1.1", (b"Host: evil.example", b"User-Agent: badbot"), 403,
             "<label>Domain disallowed : evil.example</label>"),
            (b"PUT " + long_url + b" HTTP/1.1", (b"Host: localhost", b"User-Agent: badbot"), 414,
             "Error 414 : Request-URI Too Long"),
            (b"PUT /docs/a.txt HTTP/1.1", (b"Host: localhost", b"User-Agent: badbot"), 403,
             "<label>Banned client (badbot)</label>"),
            (b"PUT /docs/a.txt HTTP/1.1", (b"Host: localhost",), 405, "Error 405 : Method Not Allowed"),
        )
        for line, headers, status, text in cases:
            with self.subTest(status=status, line=line[:40]):
                answer = self.answer(b"\r\n".join((line,) + headers) + b"\r\n\r\n")
                self.assertStatus(answer, status, text)
                self.assertEqual(answer.header("Allow"), "GET, HEAD, POST" if status == 405 else None)
                self.assertEqual(answer.header("Connection"), "Close")
                self.assertNotIn(b"hello", answer.body)

    # Requests sent together on a kept connection are each answered, in their order, and
    # the bytes of one never go to another: the resource, the single item and the folder page
    # keep the connection, the share's file closes it.
    def test_pipelined_requests_on_a_kept_connection_are_each_answered_in_turn(self):
        keep = (("Connection", "Keep-Alive"),)
        urls = ("/?res=classic.css", "/docs/?item.xml=a.txt", "/docs/", "/docs/a.txt")
        data = b"".join(request_bytes(url, keep, port=self.xml.port) for url in urls)
        for pieces in ([data], [data[i:i + 7] for i in range(0, len(data), 7)]):
            with self.subTest(pieces=len(pieces)):
                raw = self.xml.exchange(None, pieces=pieces)
                answers = []
                while raw:
                    answer = parse_answer(raw)
                    answers.append(answer)
                    raw = raw[raw.index(b"\r\n\r\n") + 4 + len(answer.body):]
                self.assertEqual([answer.status for answer in answers], [200, 200, 200, 200])
                self.assertEqual([answer.header("Connection") for answer in answers],
                                 ["Keep-Alive", "Keep-Alive", "Keep-Alive", "Close"])
                self.assertEqual(answers[0].header("Content-Type"), "text/css")
                self.assertIn(b"<name>a.txt</name>", answers[1].body)
                self.assertTrue(answers[1].body.startswith(b"<?xml"), answers[1].body[:80])
                self.assertIn(b"<name>a.txt</name>", answers[2].body)
                self.assertEqual(answers[3].body, b"hello")

    def test_a_request_in_one_byte_pieces_is_one_request(self):
        data = request_bytes("/docs/a.txt", port=self.xml.port)
        answer = parse_answer(self.xml.exchange(None, pieces=[data[i:i + 1] for i in range(len(data))]))
        self.assertServed(answer)

    def test_a_length_that_is_no_number_or_negative_ends_the_request_at_its_blank_line(self):
        for length in (b"abc", b"-5", b"0"):
            with self.subTest(length=length):
                data = (b"POST /docs/a.txt HTTP/1.1\r\nHost: localhost\r\nContent-Length: " + length +
                        b"\r\n\r\n")
                self.assertServed(self.answer(data))

    # Blanks around the length are no part of it: the body ends where it says, and the
    # request after it on a kept connection is read from its first byte.
    def test_blanks_around_a_length_leave_the_next_request_whole(self):
        first = (b"POST /?res=classic.css HTTP/1.1\r\nHost: localhost\r\nConnection: Keep-Alive\r\n"
                 b"Content-Length: \t5 \r\n\r\nhello")
        raw = self.xml.exchange(first + request_bytes("/docs/a.txt", port=self.xml.port))
        css = parse_answer(raw)
        self.assertStatus(css, 200)
        self.assertEqual(css.header("Content-Type"), "text/css")
        self.assertServed(parse_answer(raw[raw.index(b"\r\n\r\n") + 4 + len(css.body):]))

    def test_two_lengths_or_a_chunked_body_are_refused(self):
        for header in (b"Content-Length: 1\r\nContent-Length: 2", b"Transfer-Encoding: chunked"):
            with self.subTest(header=header):
                data = b"POST /docs/a.txt HTTP/1.1\r\nHost: localhost\r\n" + header + b"\r\n\r\nab"
                self.assertStatus(self.answer(data), 400)

    # The head alone, with the length of the body that GET gets, and the connection closes.
    def test_head_gets_the_head_only_and_the_connection_closes(self):
        get = self.xml.get("/docs/a.txt")
        raw = self.xml.exchange(request_bytes("/docs/a.txt", method="HEAD", port=self.xml.port))
        head = parse_answer(raw, head_only=True)
        self.assertStatus(head, 200)
        self.assertTrue(raw.endswith(b"\r\n\r\n"), raw)
        self.assertEqual(head.header("Content-Length"), get.header("Content-Length"))
        self.assertEqual(head.header("Content-Length"), "5")
        self.assertEqual(head.header("Content-Type"), get.header("Content-Type"))
        self.assertEqual(head.header("Connection"), "Close")
        self.assertStatus(self.xml.get("/nothing", method="HEAD"), 404)

    # Error pages never keep their connection, and neither does a share's file.
    def test_error_pages_and_files_close_a_connection_that_asked_to_be_kept(self):
        cases = (
            ("/nothing", (), 404),
            ("/docs/a.txt", (("Host", "evil.example"),), 403),
            ("/docs/a.txt", (), 200),
        )
        for url, headers, status in cases:
            with self.subTest(url=url, headers=headers):
                answer = self.xml.get(url, (("Connection", "Keep-Alive"),) + headers)
                self.assertStatus(answer, status)
                self.assertEqual(answer.header("Connection"), "Close")
                self.assertIsNone(answer.header("Keep-Alive"))

    def test_pipelined_requests_after_an_answer_that_closes_are_not_answered(self):
        one = request_bytes("/nothing", (("Connection", "Keep-Alive"),), port=self.xml.port)
        raw = self.xml.exchange(one + one)
        self.assertEqual(raw.count(b"HTTP/1.1 404"), 1, raw)

    def test_error_pages_are_deflated_when_the_client_and_the_setting_allow_it(self):
        answer = self.compressing.get("/nothing", (("Accept-Encoding", "gzip, Deflate"),))
        self.assertStatus(answer, 404)
        self.assertEqual(answer.header("Content-Encoding"), "deflate")
        self.assertEqual(int(answer.header("Content-Length")), len(answer.body))
        page = zlib.decompressobj(-zlib.MAX_WBITS).decompress(answer.body).decode("utf-8")
        self.assertIn("Error 404 : Not Found", page)
        for server, headers in ((self.compressing, ()), (self.xml, (("Accept-Encoding", "deflate"),))):
            with self.subTest(port=server.port, headers=headers):
                plain = server.get("/nothing", headers)
                self.assertIsNone(plain.header("Content-Encoding"))
                self.assertIn("Error 404 : Not Found", plain.text())
        # The 400 page goes uncompressed whatever the client accepts.
        bad = parse_answer(self.compressing.exchange(b"OPTIONS / HTTP/1.1\r\nAccept-Encoding: deflate\r\n\r\n"))
        self.assertStatus(bad, 400, "Error 400")
        self.assertIsNone(bad.header("Content-Encoding"))


if __name__ == "__main__":
    orvendale.main()
