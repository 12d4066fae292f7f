"""Files as a client gets them from the built program: whole or from a range, 304 for a copy
the client holds, deflate, keep-alive for resources only, HEAD, large files block by block,
files that change while they are sent and clients that go away; and, after a clean stop, each
transfer recorded once in uploaded.xml and history.xml with the bytes really sent."""

import email.utils
import hashlib
import os
import socket
import time
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

import orvendale
from orvendale import Server, Share, parse_answer, read_to_end, request_bytes

MB = 1024 * 1024
# Larger than the file reader's block (40960 bytes), so it goes block by block.
LARGE = 3 * MB
# Large enough that the transfer is still going when the test acts on it, whatever the
# socket buffers hold.
HUGE = 16 * MB


def patterned(size):
    """Bytes in which no block repeats another, so a misplaced block shows."""
    blocks = (hashlib.sha256(index.to_bytes(4, "big")).digest() for index in range(size // 32 + 1))
    return b"".join(blocks)[:size]


def http_date(seconds):
    return email.utils.formatdate(seconds, usegmt=True)


def parsed_date(text):
    """The seconds since 1970 of an HTTP date."""
    return int(email.utils.parsedate_to_datetime(text).timestamp())


def read_answer(client, head_only=False):
    """One answer off a connection that may stay open: its head, then as many body bytes as
    its Content-Length says (fewer when the server closes first)."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = client.recv(65536)
        if not chunk:
            raise AssertionError(f"closed before a whole head: {data!r}")
        data += chunk
    end = data.index(b"\r\n\r\n") + 4
    answer = parse_answer(data[:end], head_only=True)
    length = 0 if head_only else int(answer.header("Content-Length") or 0)
    body = data[end:]
    while len(body) < length:
        chunk = client.recv(65536)
        if not chunk:
            break
        body += chunk
    answer.body = body
    answer.raw = data[:end] + body
    return answer


def is_closed(client):
    """True when the server has closed the connection (and sent nothing more)."""
    return client.recv(1) == b""


class Files(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        cls.server = Server([Share("/", "pub")], protocol={"ENABLE_COMPRESSION": "true"})
        cls.small = patterned(1000)
        cls.small_path = cls.server.write("pub/docs/a.bin", cls.small)
        cls.large = patterned(LARGE)
        cls.server.write("pub/large.bin", cls.large)
        return [cls.server]

    def get(self, url, headers=(), method="GET"):
        return self.server.get(url, headers, method)

    def test_a_file_comes_whole_or_from_the_first_byte_of_its_range(self):
        self.server.write("pub/one.bin", b"x")
        cases = (
            ("/docs/a.bin", None, 200, None, self.small),
            ("/docs/a.bin", "bytes=100-", 206, "bytes 100-999/1000", self.small[100:]),
            ("/docs/a.bin", "bytes=100-199", 206, "bytes 100-999/1000", self.small[100:]),
            ("/docs/a.bin", "bytes=999-", 206, "bytes 999-999/1000", self.small[999:]),
            ("/docs/a.bin", "bytes=0-", 200, None, self.small),
            ("/docs/a.bin", "bytes=1000-", 200, None, self.small),
            ("/docs/a.bin", "bytes=abc-", 200, None, self.small),
            ("/one.bin", "bytes=1-", 200, None, b"x"),
            ("/large.bin", f"bytes={LARGE - 5000}-", 206, f"bytes {LARGE - 5000}-{LARGE - 1}/{LARGE}",
             self.large[-5000:]),
        )
        for url, ranges, status, content_range, body in cases:
            with self.subTest(url=url, range=ranges):
                answer = self.get(url, (("Range", ranges),) if ranges else ())
                self.assertStatus(answer, status)
                self.assertEqual(answer.header("Content-Range"), content_range)
                self.assertEqual(int(answer.header("Content-Length")), len(body))
                self.assertEqual(answer.body, body)

    def test_every_file_answer_carries_its_validators_and_a_share_file_closes(self):
        with self.server.connect() as client:
            client.sendall(request_bytes("/docs/a.bin", (("Connection", "Keep-Alive"),), port=self.server.port))
            answer = read_answer(client)
            self.assertTrue(is_closed(client))
        self.assertStatus(answer, 200)
        self.assertEqual(answer.header("Accept-Ranges"), "bytes")
        etag = answer.header("ETag")
        self.assertTrue(len(etag) > 2 and etag.startswith('"') and etag.endswith('"'), etag)
        self.assertEqual(parsed_date(answer.header("Last-Modified")), int(os.stat(self.small_path).st_mtime))
        self.assertIsNotNone(answer.header("Date"))
        self.assertTrue(answer.header("Server").startswith("Orvendale "))
        self.assertEqual(answer.header("Connection"), "Close")
        self.assertIsNone(answer.header("Keep-Alive"))
        self.assertIsNone(answer.header("Expires"))
        self.assertEqual(answer.body, self.small)

    def test_if_modified_since_in_every_date_form(self):
        path = self.server.write("pub/dated.bin", self.small)
        # A file time with a fraction of a second, which an HTTP date cannot carry.
        written = 1709294400  # Fri, 01 Mar 2024 12:00:00 GMT
        os.utime(path, ns=(written * 10**9 + 700_000_000,) * 2)
        cases = (
            ("RFC 1123, the Last-Modified given", http_date(written), 304),
            ("RFC 1123, an hour later", http_date(written + 3600), 304),
            ("RFC 1123, a second earlier", http_date(written - 1), 200),
            ("RFC 850", time.strftime("%A, %d-%b-%y %H:%M:%S GMT", time.gmtime(written)), 200),
            ("asctime", time.asctime(time.gmtime(written)), 200),
            ("garbage", "the day before yesterday", 200),
        )
        for name, since, status in cases:
            with self.subTest(name):
                raw = self.server.exchange(request_bytes("/dated.bin", (("If-Modified-Since", since),),
                                                         port=self.server.port))
                answer = parse_answer(raw)
                self.assertStatus(answer, status)
                if status == 304:
                    self.assertTrue(raw.endswith(b"\r\n\r\n"), raw)
                    self.assertEqual(answer.header("Connection"), "Close")
                else:
                    self.assertEqual(answer.body, self.small)
                    self.assertEqual(parsed_date(answer.header("Last-Modified")), written)

    def test_resources_and_their_304_keep_the_connection_a_share_file_closes_it(self):
        css = os.path.join(self.server.app, "resources", "classic.css")
        with open(css, "rb") as source:
            stylesheet = source.read()
        keep = ("Connection", "keep-alive")
        with self.server.connect() as client:
            for served, ask in enumerate(("/?res=classic.css", "/?res=classic.css")):
                client.sendall(request_bytes(ask, (keep,), port=self.server.port))
                answer = read_answer(client)
                self.assertStatus(answer, 200)
                self.assertEqual(answer.header("Content-Type"), "text/css")
                self.assertEqual(answer.header("Connection"), "Keep-Alive")
                self.assertEqual(answer.header("Keep-Alive"), f"timeout=15, max={300 - served}")
                self.assertIsNotNone(answer.header("Expires"))
                self.assertEqual(answer.body, stylesheet)
            since = ("If-Modified-Since", answer.header("Last-Modified"))
            client.sendall(request_bytes("/?res=classic.css", (keep, since), port=self.server.port))
            answer = read_answer(client, head_only=True)
            self.assertStatus(answer, 304)
            self.assertEqual(answer.header("Keep-Alive"), "timeout=15, max=298")
            client.sendall(request_bytes("/docs/a.bin", (keep,), port=self.server.port))
            answer = read_answer(client)
            self.assertStatus(answer, 200)
            self.assertEqual(answer.header("Connection"), "Close")
            self.assertEqual(answer.body, self.small)
            self.assertTrue(is_closed(client))

    def test_a_small_file_is_deflated_when_asked_and_inflates_to_the_file(self):
        text = b"all work and no play makes a dull file\n" * 100
        self.server.write("pub/dull.txt", text)
        answer = self.get("/dull.txt", (("Accept-Encoding", "gzip, deflate"),))
        self.assertStatus(answer, 200)
        self.assertEqual(answer.header("Content-Encoding"), "deflate")
        self.assertEqual(answer.header("Vary"), "Accept-Encoding")
        self.assertEqual(int(answer.header("Content-Length")), len(answer.body))
        self.assertLess(len(answer.body), len(text))
        inflater = zlib.decompressobj(-zlib.MAX_WBITS)
        self.assertEqual(inflater.decompress(answer.body), text)
        # The zlib stream without its 2-byte header: the Adler-32 trailer stays.
        self.assertEqual(inflater.unused_data, zlib.adler32(text).to_bytes(4, "big"))

        plain = self.get("/dull.txt")
        self.assertIsNone(plain.header("Content-Encoding"))
        self.assertEqual(plain.body, text)
        # Block by block, a file goes as it is.
        large = self.get("/large.bin", (("Accept-Encoding", "deflate"),))
        self.assertIsNone(large.header("Content-Encoding"))
        self.assertEqual(large.body, self.large)

    def test_a_file_larger_than_a_block_arrives_intact(self):
        answer = self.get("/large.bin")
        self.assertStatus(answer, 200)
        self.assertEqual(int(answer.header("Content-Length")), LARGE)
        self.assertEqual(hashlib.sha256(answer.body).digest(), hashlib.sha256(self.large).digest())

    def test_head_gets_the_head_alone(self):
        for url, size in (("/docs/a.bin", 1000), ("/large.bin", LARGE)):
            with self.subTest(url):
                raw = self.server.exchange(request_bytes(url, method="HEAD", port=self.server.port))
                self.assertTrue(raw.endswith(b"\r\n\r\n"), raw[-200:])
                answer = parse_answer(raw, head_only=True)
                self.assertStatus(answer, 200)
                self.assertEqual(int(answer.header("Content-Length")), size)

    def slow_transfer(self, url):
        """A GET whose client reads little at a time: returns the socket, the head and the
        first body bytes, with the transfer still going."""
        client = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8192)
        client.settimeout(orvendale.ANSWER_TIMEOUT)
        client.connect(("127.0.0.1", self.server.port))
        client.sendall(request_bytes(url, port=self.server.port))
        data = b""
        while b"\r\n\r\n" not in data or len(data) < 64 * 1024:
            chunk = client.recv(8192)
            if not chunk:
                raise AssertionError("closed at the start")
            data += chunk
        end = data.index(b"\r\n\r\n") + 4
        return client, parse_answer(data[:end], head_only=True), data[end:]

    def test_a_file_changed_while_it_is_sent(self):
        content = patterned(HUGE)

        def truncate(path):
            os.truncate(path, 2 * MB)

        def grow(path):
            with open(path, "ab") as out:
                out.write(b"more" * MB)

        cases = (("truncated", truncate, False), ("grown", grow, True), ("deleted", os.unlink, True))
        for name, change, whole in cases:
            with self.subTest(name):
                path = self.server.write(f"pub/changing-{name}.bin", content)
                client, head, body = self.slow_transfer(f"/changing-{name}.bin")
                with client:
                    self.assertEqual(int(head.header("Content-Length")), HUGE)
                    change(path)
                    body += read_to_end(client)
                if whole:
                    self.assertEqual(len(body), HUGE)
                    self.assertTrue(body == content)
                else:
                    # What came is the file as it was, up to where it was cut, and no more.
                    self.assertLess(len(body), HUGE)
                    self.assertLessEqual(len(body), 2 * MB)
                    self.assertTrue(body == content[:len(body)])
        self.assertStatus(self.get("/docs/a.bin"), 200)

    def test_a_client_that_goes_away_in_the_middle_of_a_file_leaves_the_server_serving(self):
        self.server.write("pub/huge.bin", patterned(HUGE))
        for leave in ("close", "reset"):
            with self.subTest(leave):
                client, head, _ = self.slow_transfer("/huge.bin")
                self.assertEqual(int(head.header("Content-Length")), HUGE)
                if leave == "reset":
                    client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                client.close()
                answer = self.get("/docs/a.bin")
                self.assertStatus(answer, 200)
                self.assertEqual(answer.body, self.small)


class UploadRecords(unittest.TestCase):
    """Every file of a share sent for GET or POST is one upload, recorded at its end with
    the bytes that went out; HEAD, 304, resources and thumbnails never are."""

    def test_each_transfer_is_recorded_once_with_the_bytes_really_sent(self):
        server = Server([Share("/", "pub")], protocol={"ENABLE_COMPRESSION": "true"})
        small = patterned(1000)
        text = b"the same line again and again\n" * 200
        huge = patterned(HUGE)
        paths = {
            "a": server.write("pub/a.bin", small),
            "large": server.write("pub/large.bin", patterned(LARGE)),
            "huge": server.write("pub/huge.bin", huge),
            "text": server.write("pub/text.txt", text),
            "picture": server.write("pub/picture.bmp", bmp_file(40, 30)),
        }
        server.start()
        try:
            port = server.port
            self.assertStatus(server.get("/a.bin"), 200)
            self.assertStatus(server.get("/a.bin", (("Range", "bytes=100-"),)), 206)
            self.assertStatus(server.get("/large.bin"), 200)
            deflated = server.get("/text.txt", (("Accept-Encoding", "deflate"),))
            self.assertEqual(deflated.header("Content-Encoding"), "deflate")
            # No uploads.
            self.assertStatus(server.get("/a.bin", method="HEAD"), 200)
            since = (("If-Modified-Since", http_date(time.time() + 3600)),)
            self.assertStatus(server.get("/a.bin", since), 304)
            self.assertStatus(server.get("/?res=classic.css"), 200)
            self.assertStatus(server.get("/?miniature=picture.bmp"), 200)
            # An upload cut off: the client reads a little and goes.
            with server.connect() as client:
                client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8192)
                client.sendall(request_bytes("/huge.bin", port=port))
                received = 0
                while received < 256 * 1024:
                    received += len(client.recv(65536))
        finally:
            code = server.stop()
        try:
            self.assertEqual(code, 0, server.output())
            transfers = ElementTree.parse(os.path.join(server.app, "uploaded.xml")).getroot()
            rows = [row.attrib for row in transfers.iter("TRANSFER")]
            expected = [
                (paths["a"], "1000", "true", "true"),
                (paths["a"], "900", "false", "true"),
                (paths["large"], str(LARGE), "true", "true"),
                (paths["text"], deflated.header("Content-Length"), "true", "true"),
            ]
            finished = [(row["path"], row["transferred"], row["completeFile"], row["finished"]) for row in rows
                        if row["finished"] == "true"]
            self.assertEqual(finished, expected)
            cut = [row for row in rows if row["finished"] == "false"]
            self.assertEqual(len(cut), 1, rows)
            self.assertEqual(cut[0]["path"], paths["huge"])
            self.assertEqual(cut[0]["completeFile"], "true")
            self.assertGreaterEqual(int(cut[0]["transferred"]), 256 * 1024)
            self.assertLess(int(cut[0]["transferred"]), HUGE)
            for row in rows:
                self.assertEqual(row["clientInfos"], "127.0.0.1")
            files = {entry.attrib["path"]: entry.attrib for entry in transfers.iter("FILE")}
            self.assertEqual(files[paths["a"]]["nbFinished"], "2")
            self.assertEqual(files[paths["a"]]["sizeSent"], "1900")
            self.assertNotIn(paths["picture"], files)

            history = ElementTree.parse(os.path.join(server.app, "history.xml")).getroot()
            events = [(event.attrib["type"], event.attrib["text"]) for event in history.iter("EVENT")]
            uploads = [event for event in events if event[0] in ("1", "2", "3")]
            self.assertEqual(sorted(uploads), sorted([
                ("1", paths["a"]), ("3", paths["a"]), ("1", paths["a"]), ("3", paths["a"]),
                ("1", paths["large"]), ("3", paths["large"]), ("1", paths["text"]), ("3", paths["text"]),
                ("1", paths["huge"]), ("2", paths["huge"]),
            ]))
        finally:
            server.clean()

    def assertStatus(self, answer, status):
        self.assertEqual(answer.status, status, answer.raw[:600])


def bmp_file(width, height):
    """A 24-bit bitmap of a gradient."""
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += bytes((x * 255 // width, y * 255 // height, 128))
        pixels += row + b"\x00" * (stride - len(row))
    header = b"BM" + (54 + len(pixels)).to_bytes(4, "little") + b"\x00" * 4 + (54).to_bytes(4, "little")
    info = ((40).to_bytes(4, "little") + width.to_bytes(4, "little") + height.to_bytes(4, "little") +
            (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + b"\x00" * 24)
    return header + info + bytes(pixels)


if __name__ == "__main__":
    orvendale.main()
