"""Thumbnails ("?miniature=") as a client gets them from the built program: bitmaps of the
pictures' shape made once and then taken from the cache folder, 304 for a thumbnail the
client holds, and hostile pictures answered with the icon that stands for them, never a
crash; after a clean stop, cache/cache.xml names each thumbnail made."""

import base64
import glob
import os
import struct
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

import orvendale
from orvendale import Server, Share, request_bytes
from test_files import read_answer

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
                 ("photo.jpg", (64, 48)))
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


if __name__ == "__main__":
    orvendale.main()
