"""A mirror tool sees the share: wget's recursive fetch of a folder gets each of its files and
sub-folders once, whole, and no page for every combination of display options, which the
pages offer as forms, not links. A missing wget is not a reason to skip: scripts/setup
installs it."""

import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

import orvendale
from orvendale import Server, Share


def png(width, height, rgb):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    row = b"\0" + bytes(rgb) * width
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


def mp3(artist):
    """An ID3v2.3 tag with the artist, then MPEG-1 Layer III frames at 128 kbit/s."""
    data = b"\0" + artist.encode("cp1252")
    frames = b"TPE1" + struct.pack(">I", len(data)) + b"\0\0" + data
    size = bytes((len(frames) >> shift) & 0x7F for shift in (21, 14, 7, 0))
    return b"ID3\x03\x00\x00" + size + frames + (b"\xFF\xFB\x90\x00" + bytes(413)) * 40


# The mirrored folder, by path inside it; it lies in the share beside a file it must not reach.
FIXTURE = {
    "notes & plans.txt": b"plans",
    "Ünïcødé.txt": "Ünïcødé".encode("utf-8"),
    "big.bin": bytes(range(256)) * 12000,  # sent block by block
    "empty.dat": b"",
    "song.mp3": mp3("Band"),
    "picture.png": png(40, 30, (200, 40, 40)),
    "sub folder/inner.txt": b"inner",
    "sub folder/deeper/deep.txt": b"deep",
}
FOLDERS = ("", "sub folder/", "sub folder/deeper/")


class Mirror(unittest.TestCase):
    def setUp(self):
        self.wget = shutil.which("wget")
        self.assertIsNotNone(self.wget, "wget is missing: scripts/setup installs it")
        self.server = Server([Share("/", "pub")], html={"PAGE_BUILD_METHOD": "server"})
        for name, data in FIXTURE.items():
            self.server.write(f"pub/mirror/{name}", data)
        self.server.write("pub/outside.txt", b"not in the mirrored folder")
        self.server.start()
        self.out = tempfile.mkdtemp(prefix="orv-mirror-")

    def tearDown(self):
        code = self.server.stop()
        self.server.clean()
        shutil.rmtree(self.out, ignore_errors=True)
        self.assertIn(code, (0, None), self.server.output())

    def test_a_recursive_fetch_gets_each_file_and_folder_once_and_whole(self):
        done = subprocess.run(
            [self.wget, "-r", "--no-parent", "-e", "robots=off", "-nv", "-nH", "--restrict-file-names=nocontrol",
             "-P", self.out, f"http://127.0.0.1:{self.server.port}/mirror/"],
            capture_output=True, timeout=300)
        log = done.stderr.decode("utf-8", "replace")
        self.assertEqual(done.returncode, 0, log)

        saved = {}
        root = os.path.join(self.out, "mirror")
        for folder, _, names in os.walk(self.out):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as data:
                    saved[os.path.relpath(path, root)] = data.read()
        # Every file of the fixture, each whole.
        for name, data in FIXTURE.items():
            self.assertIn(name, saved, sorted(saved))
            self.assertEqual(saved[name], data, name)
        # Besides them only the page of each folder (one address each: the links to folders
        # and back up carry no query while no option is chosen), the folder's playlist and the
        # thumbnail of the picture: nothing outside the folder, and no page per display option.
        pages = {folder + "index.html" for folder in FOLDERS}
        derived = pages | {"index.html?folder.pls", "index.html?miniature=picture.png"}
        self.assertEqual(set(saved) - set(FIXTURE), derived)
        # Each once: as many fetches as files.
        fetches = re.findall(r"^\S+ \S+ URL:(\S+) ", log, re.MULTILINE)
        self.assertEqual(len(fetches), len(saved), log)
        self.assertEqual(len(set(fetches)), len(fetches), log)


if __name__ == "__main__":
    orvendale.main()
