"""The repository's demo folder as a newcomer first sees it, built both ways: its sound folder
shows the MP3 tag columns, a Greek artist read from a UTF-16 tag as itself in the rows, the
groups and the playlist links, and the playlists play the files. Screenshots of the sound
folder land among the test artifacts."""

import os
import urllib.parse

import pages
from pages import METHODS, item_name
from orvendale import Share

DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo")
BAND = "Orvendale Demo Band"
GREEK = "Χορωδία Δοκιμής"
# artist, title, album, year, track, length, bit rate column
SOUNDS = {
    "01 Morning Bell.mp3": (BAND, "Morning Bell", "Demo Tones", "2024", "01"),
    "02 Evening Chime.mp3": (BAND, "Evening Chime", "Demo Tones", "2024", "02"),
    "03 Θάλασσα.mp3": (GREEK, "Θάλασσα", "Δοκιμαστικοί Τόνοι", "2025", "03"),
}


class Demo(pages.BrowserTestCase):
    @classmethod
    def make_servers(cls):
        cls.by_method = {method: pages.Server([Share("/", os.path.abspath(DEMO))], html={"PAGE_BUILD_METHOD": method})
                         for method in METHODS}
        return list(cls.by_method.values())

    def url(self, method, path="/", **options):
        return pages.page_url(self.by_method[method], path, **options)

    def test_the_sound_folder_shows_its_tags_in_the_rows_the_groups_and_the_playlists(self):
        for method in METHODS:
            with self.subTest(method=method):
                root = self.open(self.url(method))
                self.screenshot(f"demo-root-{method}.png")
                self.assertEqual(pages.section_names(root, "folder"), ["documents/", "pictures/", "sounds/"])

                page = self.open(self.url(method, "/sounds/"))
                self.screenshot(f"demo-sounds-{method}.png")
                self.assertEqual(pages.section_names(page, "sound"), list(SOUNDS))

                page = self.open(self.url(method, "/sounds/", sortby_sound="artist"))
                self.screenshot(f"demo-sounds-by-artist-{method}.png")
                sound = page["sections"]["sound"]
                self.assertEqual(sound["groups"], [BAND, GREEK])
                for item in sound["items"]:
                    cells = item["cells"]
                    expected = SOUNDS[item_name(item)]
                    self.assertEqual((cells["artist"], cells["title"], cells["album"], cells["year"], cells["track"]),
                                     expected)
                    self.assertEqual(cells["bitrate"], "32 kbit/s")
                    self.assertEqual(cells["length"], "00:02")  # a second and a half, rounded
                    self.assertEqual(item["group"], expected[0])

                playlists = self.browser.call("""() => [...document.querySelectorAll("#sec-sound .group-head .listen")]
                    .map((link) => link.getAttribute("href"))""")
                self.assertEqual(playlists, [f"?artist:{urllib.parse.quote(name.lower())}.pls" for name in (BAND, GREEK)])
                status, kind, data = self.browser.fetch(playlists[1])
                self.assertEqual(status, 200)
                text = data.decode("utf-8")
                self.assertIn("NumberOfEntries=1", text)
                self.assertIn(urllib.parse.quote("03 Θάλασσα.mp3"), text)
                status, _, data = self.browser.fetch(playlists[0])
                self.assertIn("NumberOfEntries=2", data.decode("utf-8"))


if __name__ == "__main__":
    pages.main()
