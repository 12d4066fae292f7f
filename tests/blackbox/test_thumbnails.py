"""Thumbnails ("?miniature=") as a client gets them from the built program: bitmaps of the
pictures' shape made once and then taken from the cache folder, 304 for a thumbnail the
client holds, and hostile pictures answered with the icon that stands for them, never a
crash; after a clean stop, cache/cache.xml names each thumbnail made."""

import base64
import collections
import glob
import os
import struct
import time
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

import orvendale
from orvendale import Server, Share, parse_answer, request_bytes
from test_files import bmp_file, read_answer

# A 64 x 48 JPEG, quality 50.
JPEG = base64.b64decode(
    "/9j/4AAQSkZJRgABAQEAYABgAAD/2wBDABALDA4MChAODQ4SERATGCgaGBYWGDEjJR0oOjM9PDkzODdASFxOQERXRTc4UG1RV19iZ2hnPk1xeXBk"
    "eFxlZ2P/2wBDARESEhgVGC8aGi9jQjhCY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2NjY2P/wAARCAAwAEAD"
    "ASIAAhEBAxEB/8QAHwAAAQUBAQEBAQEAAAAAAAAAAAECAwQFBgcICQoL/8QAtRAAAgEDAwIEAwUFBAQAAAF9AQIDAAQRBRIhMUEGE1FhByJxFDKB"
    "kaEII0KxwRVS0fAkM2JyggkKFhcYGRolJicoKSo0NTY3ODk6Q0RFRkdISUpTVFVWV1hZWmNkZWZnaGlqc3R1dnd4eXqDhIWGh4iJipKTlJWWl5iZ"
    "mqKjpKWmp6ipqrKztLW2t7i5usLDxMXGx8jJytLT1NXW19jZ2uHi4+Tl5ufo6erx8vP09fb3+Pn6/8QAHwEAAwEBAQEBAQEBAQAAAAAAAAECAwQF"
    "BgcICQoL/8QAtREAAgECBAQDBAcFBAQAAQJ3AAECAxEEBSExBhJBUQdhcRMiMoEIFEKRobHBCSMzUvAVYnLRChYkNOEl8RcYGRomJygpKjU2Nzg5"
    "OkNERUZHSElKU1RVVldYWVpjZGVmZ2hpanN0dXZ3eHl6goOEhYaHiImKkpOUlZaXmJmaoqOkpaanqKmqsrO0tba3uLm6wsPExcbHyMnK0tPU1dbX"
    "2Nna4uPk5ebn6Onq8vP09fb3+Pn6/9oADAMBAAIRAxEAPwDjljqRY6nWOpVjr1nMyp1CBY6lWOp1jqVY6yczvp1CBY6kWOp1jqVY6yczvp1CBY6l"
    "WOp1jqVY6yczvp1DJWOpVjqdY6lWOqcz4KnUIFjqRY6nWOpVjrJzO+nUIFjqVY6nWOpVjrJzO+nUIFjqVY6mWOpVjrJzO+nUMlY6lWOp1jqVY6tz"
    "PgqdQgWOpVjqdY6lWOsnM76dQgWOpFjqdY6lWOsnM76dQgWOpVjqdY6lWOsnM76dQ//Z")

# The set of file-type icons that pictures belong to.
PICTURE_ICON = "filetype_48_show_jpg-*-png-*.png"


def png(width, height, claimed=None):
    """A PNG of a gradient; with claimed (width, height), only the signature and a header
    that claims that size."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = claimed or (width, height)
    header = chunk(b"IHDR", struct.pack(">IIBBBBB", size[0], size[1], 8, 2, 0, 0, 0))
    signature = b"\x89PNG\r\n\x1a\n"
    if claimed:
        return signature + header
    rows = b"".join(b"\x00" + bytes(value for x in range(width)
                                    for value in (x * 255 // width, y * 255 // height, 128)) for y in range(height))
    return signature + header + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def gif_bomb(width, height, pixels=None):
    """A GIF of one colour whose few kilobytes of LZW data decode to width x height pixels
    (or only the first pixels of them): the dictionary grows runs of the colour until it is
    full, then its longest run repeats."""
    clear, end = 4, 5
    out = bytearray()
    acc = 0
    filled = 0

    def put(code, size):
        nonlocal acc, filled
        acc |= code << filled
        filled += size
        while filled >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            filled -= 8

    size = 3
    put(clear, size)
    longest = 1          # the longest run of the colour the dictionary holds
    following = 6        # the next free code
    left = width * height if pixels is None else pixels
    while left > 0:
        run = min(longest, left)
        put(0 if run == 1 else run + 4, size)
        left -= run
        if following < 4096:
            following += 1
            longest += 1
            if following > (1 << size) and size < 12:
                size += 1
    put(end, size)
    if filled:
        out.append(acc & 0xFF)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + bytes(out[i:i + 255]) for i in range(0, len(out), 255))
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80, 0, 0) + b"\x00\x00\x00\xff\xff\xff" +
            b"," + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x02" + blocks + b"\x00;")


def large_png(width, height):
    """A PNG of stripes, quick to make however large: slow to decode and scale."""
    row = b"\x00" + bytes(value % 251 for value in range(width * 3))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(row * height, 1)) +
            chunk(b"IEND", b""))


def file_etag(path):
    """The entity tag the program gives a file: its local write time's year, month, day,
    hour, minute and second, then its size, each in upper-case hexadecimal."""
    info = os.stat(path)
    when = time.localtime(info.st_mtime)
    fields = (when.tm_year, when.tm_mon, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec)
    return "".join(f"{field:X}" for field in fields) + f"{info.st_size:X}"


def bitmap_size(data):
    """The width and height in a BMP file's header (a negative height is a top-down bitmap)."""
    if not data.startswith(b"BM") or len(data) < 26:
        return None
    width, height = struct.unpack_from("<ii", data, 18)
    return width, abs(height)


class Thumbnails(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        cls.server = Server([Share("/", "pub")], html={"ALLOW_MINIATURES": "true", "MINATURE_DIMENSION": "96"})
        cls.server.write("pub/photos/wide.png", png(400, 300))
        cls.server.write("pub/photos/tall.png", png(300, 400))
        cls.server.write("pub/photos/square.png", png(200, 200))
        cls.server.write("pub/photos/small.png", png(50, 40))
        cls.server.write("pub/photos/photo.jpg", JPEG)
        # Twelve million pixels from a few kilobytes: a bomb the limits let through.
        cls.server.write("pub/photos/plain.gif", gif_bomb(4000, 3000))
        cls.server.write("pub/cached/again.png", png(120, 90))
        cls.server.write("pub/dated/dated.png", png(120, 90))
        return [cls.server]

    def cache_files(self):
        folder = os.path.join(self.server.app, "cache")
        return sorted(name for name in os.listdir(folder) if name.isdigit()) if os.path.isdir(folder) else []

    def picture_icon(self):
        icons = glob.glob(os.path.join(self.server.app, "resources", PICTURE_ICON))
        self.assertEqual(len(icons), 1, icons)
        with open(icons[0], "rb") as icon:
            return icon.read()

    def test_a_thumbnail_is_a_bitmap_of_its_pictures_shape_never_larger(self):
        cases = (("wide.png", (96, 72)), ("tall.png", (72, 96)), ("square.png", (96, 96)), ("small.png", (50, 40)),
                 ("photo.jpg", (64, 48)), ("plain.gif", (96, 72)))
        for name, size in cases:
            with self.subTest(name):
                answer = self.server.get("/photos/?miniature=" + name)
                self.assertStatus(answer, 200)
                self.assertEqual(answer.header("Content-Type"), "image/bmp")
                self.assertIsNotNone(answer.header("Expires"))
                self.assertEqual(bitmap_size(answer.body), size)
                self.assertEqual(int(answer.header("Content-Length")), len(answer.body))

    def test_the_second_request_is_served_from_the_cache_on_the_kept_connection(self):
        before = self.cache_files()
        with self.server.connect() as client:
            answers = []
            for served in range(2):
                client.sendall(request_bytes("/cached/?miniature=again.png", (("Connection", "Keep-Alive"),),
                                             port=self.server.port))
                answer = read_answer(client)
                self.assertStatus(answer, 200)
                self.assertEqual(answer.header("Keep-Alive"), f"timeout=15, max={300 - served}")
                answers.append(answer)
                if served == 0:
                    made = sorted(set(self.cache_files()) - set(before))
                    self.assertEqual(len(made), 1)
                    made_at = os.stat(os.path.join(self.server.app, "cache", made[0])).st_mtime_ns
        self.assertEqual(answers[0].body, answers[1].body)
        self.assertEqual(bitmap_size(answers[0].body), (96, 72))
        self.assertEqual(sorted(set(self.cache_files()) - set(before)), made)
        self.assertEqual(os.stat(os.path.join(self.server.app, "cache", made[0])).st_mtime_ns, made_at)

    def test_a_thumbnail_the_client_holds_is_304_and_keeps_the_connection(self):
        first = self.server.get("/dated/?miniature=dated.png")
        self.assertStatus(first, 200)
        with self.server.connect() as client:
            headers = (("Connection", "Keep-Alive"), ("If-Modified-Since", first.header("Last-Modified")))
            client.sendall(request_bytes("/dated/?miniature=dated.png", headers, port=self.server.port))
            answer = read_answer(client, head_only=True)
            self.assertStatus(answer, 304)
            self.assertEqual(answer.header("Connection"), "Keep-Alive")
            # Still open: the next request is answered on it.
            client.sendall(request_bytes("/dated/?miniature=dated.png", port=self.server.port))
            self.assertStatus(read_answer(client), 200)

    def test_hostile_pictures_get_the_icon_that_stands_for_them(self):
        icon = self.picture_icon()
        cases = (
            ("a truncated JPEG", "cut.jpg", JPEG[:len(JPEG) // 2], True),
            ("a JPEG of its header only", "stub.jpg", JPEG[:60], False),
            ("a PNG claiming 100,000 x 100,000 pixels", "huge.png", png(0, 0, claimed=(100000, 100000)), False),
            ("text with a picture's extension", "fake.jpg", b"this is not a picture at all", False),
            ("an empty file", "empty.png", b"", False),
            ("a GIF bomb: 100,000,000 pixels in 40 KB", "bomb.gif", gif_bomb(10000, 10000), False),
            ("a GIF claiming 65,535 x 65,535 pixels", "claim.gif", gif_bomb(65535, 65535, pixels=100000), False),
        )
        for name, file_name, data, may_decode in cases:
            with self.subTest(name):
                self.server.write("pub/hostile/" + file_name, data)
                answer = self.server.get("/hostile/?miniature=" + file_name)
                self.assertStatus(answer, 200)
                # Served as a bitmap whatever the icon's own format.
                self.assertEqual(answer.header("Content-Type"), "image/bmp")
                # A JPEG cut in its picture data may still decode, grey where it was cut.
                decoded = may_decode and bitmap_size(answer.body) == (64, 48)
                self.assertTrue(answer.body == icon or decoded, answer.raw[:200])
        self.assertStatus(self.server.get("/photos/?miniature=small.png"), 200)

    def test_a_source_changed_or_deleted_after_its_thumbnail_was_made(self):
        path = self.server.write("pub/changing/pic.png", png(120, 90))
        url = "/changing/?miniature=pic.png"
        self.assertEqual(bitmap_size(self.server.get(url).body), (96, 72))
        made = set(self.cache_files())
        # Turned on its side, with another date: a new thumbnail, and the old one gone.
        self.server.write("pub/changing/pic.png", png(90, 120))
        stamp = os.stat(path).st_mtime + 10
        os.utime(path, (stamp, stamp))
        self.assertEqual(bitmap_size(self.server.get(url).body), (72, 96))
        self.assertEqual(len(made - set(self.cache_files())), 1)
        # No longer a picture: the icon that stands for it.
        self.server.write("pub/changing/pic.png", b"no picture any more")
        os.utime(path, (stamp + 10, stamp + 10))
        answer = self.server.get(url)
        self.assertStatus(answer, 200)
        self.assertEqual(answer.body, self.picture_icon())
        # Gone: not found, and nothing of the cache stands in for it.
        os.unlink(path)
        answer = self.server.get(url)
        self.assertStatus(answer, 404)
        self.assertNotIn(b"BM", answer.body[:2])



class CacheIndex(unittest.TestCase):
    def test_a_clean_stop_writes_the_index_of_the_thumbnails_made(self):
        server = Server([Share("/", "pub")])
        sources = [server.write("pub/one.png", png(60, 40)), server.write("pub/two.png", png(40, 60))]
        server.write("pub/fake.png", b"not a picture")
        server.start()
        try:
            for name in ("one.png", "two.png", "one.png", "fake.png"):
                self.assertEqual(server.get("/?miniature=" + name).status, 200)
        finally:
            code = server.stop()
        try:
            self.assertEqual(code, 0, server.output())
            cache = os.path.join(server.app, "cache")
            index = ElementTree.parse(os.path.join(cache, "cache.xml")).getroot()
            entries = [entry.attrib for entry in index.iter("MINIATURE")]
            self.assertEqual([entry["path"] for entry in entries], sources)
            self.assertEqual(sorted(entry["id"] for entry in entries),
                             sorted(name for name in os.listdir(cache) if name.isdigit()))
            for entry in entries:
                self.assertTrue(entry["etag"])
        finally:
            server.clean()


class Limits(orvendale.ServerTestCase):
    """Thumbnails in creation are limited per address and over all addresses. The crowd's
    requests wait in their sockets while the program makes a large thumbnail for another
    client; then each one it takes up waits in its turn for the next, until the limit
    answers 503 to the rest. Nothing stays counted."""

    @classmethod
    def make_servers(cls):
        cls.server = Server([Share("/", "pub")])
        cls.server.write("pub/small.png", png(60, 40))
        return [cls.server]

    def crowd(self, sources):
        """What each client of sources gets for the thumbnail of crowd.png, asked while the
        program is busy making another: their connections are accepted first (the answer to
        a later connection shows it), and the requests sent while it works."""
        keep = (("Connection", "Keep-Alive"),)
        clients = [self.server.connect(source) for source in sources]
        try:
            with self.server.connect("127.0.0.200") as busy:
                busy.sendall(request_bytes("/?miniature=small.png", keep, port=self.server.port))
                self.assertStatus(read_answer(busy), 200)
                busy.sendall(request_bytes("/?miniature=busy.png", keep, port=self.server.port))
                for client in clients:
                    client.sendall(request_bytes("/?miniature=crowd.png", port=self.server.port))
                # Its request may also come in among the crowd's, and fare as they do.
                answer = read_answer(busy)
                if answer.status != 503:
                    self.assertEqual(bitmap_size(answer.body)[0], 96, answer.raw[:300])
            return [parse_answer(orvendale.read_to_end(client)) for client in clients]
        finally:
            for client in clients:
                client.close()

    def test_thumbnails_beyond_the_limits_get_503(self):
        eight = [f"127.0.0.{2 + n % 8}" for n in range(96)]
        cases = (
            ("one address", ["127.0.0.2"] * 40, 10, "Too many miniature requests from this IP"),
            ("eight addresses", eight, 20, "Too many miniature requests"),
        )
        for name, sources, limit, message in cases:
            with self.subTest(name):
                # Pictures not made yet: each case waits on a decoding of its own.
                for picture in ("busy", "crowd"):
                    self.server.write(f"pub/{picture}.png", large_png(4000, 3000 + len(sources)))
                statuses = collections.Counter()
                for answer in self.crowd(sources):
                    statuses[answer.status] += 1
                    if answer.status == 200:
                        self.assertEqual(bitmap_size(answer.body)[0], 96)
                    else:
                        self.assertStatus(answer, 503, f"<label>{message}</label>")
                        self.assertEqual(answer.header("Connection"), "Close")
                # The limit's worth are made or found (one place may be the busy client's); a late
                # one may come after the others ended.
                self.assertGreaterEqual(statuses[200], limit - 1, statuses)
                self.assertGreater(statuses[503], 0, statuses)
                self.assertEqual(statuses[200] + statuses[503], len(sources), statuses)
        for source in sorted(set(eight)):
            self.assertEqual(bitmap_size(self.server.get("/?miniature=small.png", source=source).body), (60, 40))


class HostileCacheIndex(unittest.TestCase):
    """A cache.xml that names thumbnails that are missing, links out of the cache folder,
    paths outside it or stale entries: the valid entry serves, every other picture gets a
    new thumbnail, and nothing outside the cache folder is read, served or deleted."""

    def test_a_hostile_cache_index(self):
        server = Server([Share("/", "pub")])
        names = ("kept", "linked", "stale", "missing", "climbing", "absolute")
        sources = {name: server.write(f"pub/{name}.png", png(40, 60)) for name in names}
        secret = bmp_file(5, 5)
        outside = {"secret.bmp": server.write("outside/secret.bmp", secret), "7": server.write("outside/7", secret)}
        planted = bmp_file(7, 7)

        def lay_cache(app):
            cache = os.path.join(app, "cache")
            os.makedirs(cache)
            for name, data in (("11", planted), ("13", planted)):
                with open(os.path.join(cache, name), "wb") as out:
                    out.write(data)
            os.symlink(outside["secret.bmp"], os.path.join(cache, "12"))
            rows = (
                ("kept", "11", file_etag(sources["kept"])),
                ("linked", "12", file_etag(sources["linked"])),
                ("stale", "13", "0"),
                ("missing", "99", file_etag(sources["missing"])),
                ("climbing", "../../outside/7", file_etag(sources["climbing"])),
                ("absolute", outside["secret.bmp"], file_etag(sources["absolute"])),
            )
            index = ElementTree.Element("CACHE")
            for name, identifier, etag in rows:
                ElementTree.SubElement(index, "MINIATURE", path=sources[name], id=identifier, etag=etag)
            ElementTree.ElementTree(index).write(os.path.join(cache, "cache.xml"), encoding="UTF-8",
                                                 xml_declaration=True)

        server.prepare = lay_cache
        server.start()
        try:
            answers = {name: server.get(f"/?miniature={name}.png") for name in names}
        finally:
            code = server.stop()
        try:
            self.assertEqual(code, 0, server.output())
            self.assertEqual(answers["kept"].body, planted)
            for name in names[1:]:
                with self.subTest(name):
                    self.assertEqual(answers[name].status, 200)
                    self.assertEqual(bitmap_size(answers[name].body), (40, 60))
            for path in outside.values():
                with open(path, "rb") as source:
                    self.assertEqual(source.read(), secret)
            cache = os.path.join(server.app, "cache")
            self.assertEqual(os.readlink(os.path.join(cache, "12")), outside["secret.bmp"])
            index = ElementTree.parse(os.path.join(cache, "cache.xml")).getroot()
            entries = {entry.get("path"): entry.get("id") for entry in index.iter("MINIATURE")}
            self.assertEqual(sorted(entries), sorted(sources.values()))
            self.assertEqual(entries[sources["kept"]], "11")
            for identifier in entries.values():
                self.assertTrue(identifier.isdigit(), identifier)
                self.assertTrue(os.path.isfile(os.path.join(cache, identifier)), identifier)
                self.assertFalse(os.path.islink(os.path.join(cache, identifier)), identifier)
        finally:
            server.clean()


if __name__ == "__main__":
    orvendale.main()
