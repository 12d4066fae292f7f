"""What the browser tests share: the built program run by the black-box helpers (one server
per build method), a fixture folder of hostile names, sizes, dates, pictures and MP3 files,
one headless browser per test script, and a reading of a rendered folder page."""

import argparse
import os
import struct
import sys
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "blackbox"))

import orvendale  # noqa: E402
from orvendale import Server, Share  # noqa: E402

import chromium  # noqa: E402

_settings = argparse.Namespace(browser=None, artifacts=None)

# The two ways a page is built: the browser applies the stylesheet to the XML page, or the
# server sends the stylesheet's HTML.
CLIENT, SERVER = "client", "server"
METHODS = (CLIENT, SERVER)
VIEWS = ("list", "icon", "mini")
TYPES = ("folder", "other", "sound", "image", "video")


def main():
    """Runs the tests of the calling script. Besides the black-box arguments (--program,
    --source) it takes --browser (the chromium program) and --artifacts (the folder for
    screenshots)."""
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--browser")
    parser.add_argument("--artifacts", required=True)
    known, rest = parser.parse_known_args()
    _settings.browser = known.browser
    _settings.artifacts = known.artifacts
    sys.argv = [sys.argv[0]] + rest
    orvendale.main()


def artifact(name):
    return os.path.join(_settings.artifacts, name)


# ---- Files of the fixture ----


def png(width, height, rgb):
    """A PNG picture of one colour, made with zlib only."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    row = b"\0" + bytes(rgb) * width
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


def _syncsafe(value):
    return bytes((value >> shift) & 0x7F for shift in (21, 14, 7, 0))


def mp3(title, artist, album, year, track, audio_bytes=64000):
    """An MP3 file: an ID3v2.3 tag with the five text frames (Windows-1252 text), then
    MPEG-1 Layer III frames at 128 kbit/s (417 bytes each) filling audio_bytes. The play
    length is audio_bytes * 8 / 1000 / 128 seconds: 64000 bytes play 4 seconds."""
    frames = b""
    for frame_id, text in (("TIT2", title), ("TPE1", artist), ("TALB", album), ("TYER", year), ("TRCK", track)):
        data = b"\0" + text.encode("cp1252")
        frames += frame_id.encode("ascii") + struct.pack(">I", len(data)) + b"\0\0" + data
    tag = b"ID3\x03\x00\x00" + _syncsafe(len(frames)) + frames
    frame = b"\xFF\xFB\x90\x00" + bytes(413)
    audio = (frame * (audio_bytes // len(frame) + 1))[:audio_bytes]
    return tag + audio


class Entry:
    """One file or folder of the fixture: its name on disk, its bytes (None for a folder),
    its section and its modification time."""

    def __init__(self, name, data, section, when):
        self.name = name
        self.data = data
        self.section = section
        self.when = when

    @property
    def size(self):
        return len(self.data)


def _local(year, month, day, hour, minute, second):
    return time.mktime((year, month, day, hour, minute, second, 0, 0, -1))


# The root folder. Names hold every character that HTML, XML and URLs treat specially, and
# letters beyond ASCII; sizes and dates all differ, in orders unlike the names'.
ROOT = (
    Entry("a & b.txt", b"ampersand", "other", _local(2021, 3, 4, 10, 0, 0)),
    Entry("<tag>.txt", b"<not a tag/>", "other", _local(2020, 1, 2, 8, 30, 0)),
    Entry("quote \" 'single'.txt", b'"quoted"', "other", _local(2022, 7, 8, 9, 15, 30)),
    Entry("Ünïcødé ñ 日本.txt", "Ünïcødé ñ 日本".encode("utf-8"), "other", _local(2019, 5, 6, 7, 8, 9)),
    Entry("what?.txt", b"question mark", "other", _local(2021, 11, 12, 13, 14, 15)),
    Entry("hash#1.txt", b"#", "other", _local(2023, 2, 3, 4, 5, 6)),
    Entry("percent %41.txt", b"percent-forty-one", "other", _local(2018, 8, 9, 10, 11, 12)),
    Entry("Beta.txt", b"B" * 1536, "other", _local(2020, 6, 7, 8, 9, 10)),
    Entry("alpha.txt", b"a" * 1200000, "other", _local(2017, 4, 5, 6, 7, 8)),
    Entry("empty.dat", b"", "other", _local(2016, 9, 10, 11, 12, 13)),
    Entry("zeta.log", bytes(range(256)) * 20, "other", _local(2024, 12, 1, 2, 3, 4)),
    Entry("Björk - Début.mp3", mp3("Human & <Behaviour>", "Björk", "Début", "1993", "1/12"), "sound",
          _local(2015, 1, 1, 0, 0, 0)),
    Entry("abba.mp3", mp3("Waterloo", "ABBA", "Waterloo", "1974", "3", audio_bytes=128000), "sound",
          _local(2015, 2, 1, 0, 0, 0)),
    Entry("wide picture.png", png(200, 100, (200, 40, 40)), "image", _local(2014, 1, 1, 0, 0, 0)),
    Entry("tall & thin.png", png(60, 150, (40, 90, 200)), "image", _local(2014, 2, 1, 0, 0, 0)),
    Entry("clip.mp4", b"\0\0\0\x18ftypmp42" + bytes(100), "video", _local(2013, 1, 1, 0, 0, 0)),
    Entry("sub & <dir>", None, "folder", _local(2012, 1, 1, 0, 0, 0)),
    Entry("Ärger", None, "folder", _local(2012, 2, 1, 0, 0, 0)),
    Entry("why? #1", None, "folder", _local(2011, 6, 1, 0, 0, 0)),
)
SUB = "sub & <dir>"
SUB_FILE = Entry("inner 'file'.txt", b"inner bytes", "other", _local(2012, 3, 1, 0, 0, 0))
DEEPER = "deeper ü"
DEEPER_FILE = Entry("deep.txt", b"deep bytes", "other", _local(2012, 4, 1, 0, 0, 0))
HIDDEN = Entry(".hidden.txt", b"never listed", "other", _local(2012, 5, 1, 0, 0, 0))

# What the MP3 reader finds in the two sound files, by name: artist, title, album, year,
# track, length, bit rate column.
MP3_COLUMNS = {
    "Björk - Début.mp3": ("Björk", "Human & <Behaviour>", "Début", "1993", "01", "00:04", "128 kbit/s"),
    "abba.mp3": ("ABBA", "Waterloo", "Waterloo", "1974", "03", "00:08", "128 kbit/s"),
}

# The stylesheets' lower-casing: A to Z and thirty capitals beyond ASCII.
_UPPER = "ABCDEFGHIJKLMNOPQRSTUVWXYZ" + "".join(map(chr, [*range(0xC0, 0xD0), 0x11E, *range(0xD1, 0xD7),
                                                          *range(0xD8, 0xDD), 0x130, 0x15E]))
_LOWER = "abcdefghijklmnopqrstuvwxyz" + "".join(map(chr, [*range(0xE0, 0xF0), 0x11F, *range(0xF1, 0xF7),
                                                          *range(0xF8, 0xFD), 0x131, 0x15F]))
_LOWERING = str.maketrans(_UPPER, _LOWER)


def name_key(name):
    """Page order by name: letter case ignored first (as the stylesheets lower-case), then
    the names as they are, by code point."""
    return (name.translate(_LOWERING), name)


def entries(section):
    return [entry for entry in ROOT if entry.section == section]


def shown_size(size):
    """A size as the page stylesheet writes it in the English language file."""
    if size == 1:
        return "1 byte"
    if size < 1024:
        return f"{size} bytes"
    for limit, unit in ((1 << 20, "KB"), (1 << 30, "MB")):
        if size < limit:
            value = round(size / (limit >> 10), 1)
            return f"{value:g} {unit}"
    raise ValueError(size)


def shown_date(when):
    return time.strftime("%Y/%m/%d %H:%M", time.localtime(when))


def make_server(method, **html):
    """A server whose root share holds the fixture, building pages the given way."""
    server = Server([Share("/", "pub")], html={"PAGE_BUILD_METHOD": method, **html})
    for entry in ROOT + (HIDDEN,):
        place(server, "pub", entry)
    place(server, f"pub/{SUB}", SUB_FILE)
    place(server, f"pub/{SUB}/{DEEPER}", DEEPER_FILE)
    # Folder dates last: writing into a folder changes its date.
    os.utime(os.path.join(server.root, "pub", SUB, DEEPER), (DEEPER_FILE.when, DEEPER_FILE.when))
    for entry in entries("folder"):
        os.utime(os.path.join(server.root, "pub", entry.name), (entry.when, entry.when))
    return server


def place(server, folder, entry):
    path = os.path.join(server.root, folder, entry.name)
    if entry.data is None:
        os.makedirs(path, exist_ok=True)
    else:
        server.write(os.path.join(folder, entry.name), entry.data)
    os.utime(path, (entry.when, entry.when))


def page_url(server, path="/", **options):
    query = "&".join(f"{key}={value}" for key, value in options.items())
    return f"http://127.0.0.1:{server.port}{path}" + (f"?{query}" if query else "")


def every_view(view):
    return {f"showby_{kind}": view for kind in TYPES}


# ---- Reading a rendered page ----

# The page as the visitor gets it: title, heading, crumbs, the way up, and per section its
# view, its count, its groups and its items with what each row or tile shows.
READ_PAGE = r"""() => {
    const text = (element) => element ? element.textContent : null;
    const lines = (element) => element ? element.innerText.split("\n").map((s) => s.trim()).join("|") : null;
    const sections = {};
    for (const section of document.querySelectorAll("section.sec")) {
        const type = section.id.replace(/^sec-/, "");
        const items = [];
        for (const row of section.querySelectorAll("tr.item, li.tile")) {
            const link = row.querySelector("a");
            const group = row.closest("tbody, .group");
            const cells = {};
            for (const cell of row.querySelectorAll("td")) {
                cells[[...cell.classList].find((c) => c.startsWith("c-")).slice(2)] = cell.textContent;
            }
            const thumb = row.querySelector(".thumb img");
            const icon = row.querySelector(".c-icon img, .glyph img");
            items.push({
                label: lines(row.querySelector(".c-name a, .label")),
                tooltip: link.title,
                href: link.getAttribute("href"),
                url: link.href,
                folder: row.classList.contains("is-folder"),
                cells,
                icon: icon ? icon.src : null,
                thumb: thumb ? thumb.src : null,
                group: group ? text(group.querySelector(".group-name")) : null,
            });
        }
        sections[type] = {
            view: [...section.classList].find((c) => c.startsWith("view-")).slice(5),
            title: text(section.querySelector(".sec-title")),
            count: text(section.querySelector(".sec-count")),
            groups: [...section.querySelectorAll(".group-name")].map((g) => g.textContent),
            lit: [...section.querySelectorAll(".menu .on")].map((b) => b.textContent),
            arrow: text(section.querySelector(".menu button.order")),
            sorted: [...section.querySelectorAll("th[aria-sort]")].map((th) => [th.textContent, th.ariaSort]),
            items,
        };
    }
    const up = document.querySelector("a.up");
    return {
        url: location.href,
        title: document.title,
        heading: text(document.querySelector("h1")),
        crumbs: [...document.querySelectorAll(".crumbs .crumb")].map((c) => c.textContent),
        up: up ? up.href : null,
        summary: text(document.querySelector(".summary")),
        sections,
        text: document.body.innerText,
        body: document.body.innerHTML,
        brokenImages: [...document.images].filter((i) => i.loading !== "lazy" && !(i.complete && i.naturalWidth > 0))
                                          .map((i) => i.src),
    };
}"""


def read_page(browser):
    page = browser.call(READ_PAGE)
    page["banners"] = browser.banners
    return page


def item_name(item):
    """An item's name from the first line of its tooltip (the label under an icon may be
    cut); a folder's ends with "/"."""
    return item["tooltip"].split("\n")[0]


def section_names(page, section):
    return [item_name(item) for item in page["sections"][section]["items"]]


class BrowserTestCase(orvendale.ServerTestCase):
    """Starts the servers of the class and one browser, and stops them after."""

    browser = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            cls.browser = chromium.Browser(_settings.browser).start()
        except Exception:
            cls._stop_all(check=False)
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.browser is not None:
            cls.browser.stop()
        super().tearDownClass()

    def open(self, url):
        self.browser.navigate(url)
        page = read_page(self.browser)
        self.assertEqual(page["brokenImages"], [], page["url"])
        return page

    def screenshot(self, name):
        return self.browser.screenshot(artifact(name))
