"""An excluded folder as a client meets it in the built program: the exclusion that a folder
dropped on the local paths list makes (the folder's path with its "/", in double quotes)
refuses the folder's page and every file and folder below it on every route (files, pages,
sections, single items, thumbnails, playlists, a link that leads inside), while its siblings,
a folder whose name only begins alike, and the files of an exact file exclusion's folder are
served."""

import unittest

import orvendale
from orvendale import Server, Share
from test_playlists import mp3_bytes
from test_thumbnails import png


class ExcludedFolders(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        server = Server([Share("/", "pub")])
        server.exclusions = ('"' + server.root + '/pub/secret/"', '"' + server.root + '/pub/docs/one.txt"')
        server.write("pub/secret/a.txt", b"secret a")
        server.write("pub/secret/song.mp3", mp3_bytes("Hidden", "Someone", "Withheld"))
        server.write("pub/secret/pic.png", png(64, 48))
        server.write("pub/secret/sub/deep.txt", b"secret deep")
        server.write("pub/secret/sub/deeper/deepest.mp3", mp3_bytes("Deep", "Someone", "Withheld"))
        server.write("pub/secret-not/x.txt", b"not secret")
        server.write("pub/docs/one.txt", b"one")
        server.write("pub/docs/two.txt", b"two")
        server.write("pub/open/song.mp3", mp3_bytes("Open", "Someone", "Open"))
        server.link(server.root + "/pub/secret/sub", "pub/way-in")
        cls.server = server
        return [server]

    def test_the_folder_and_everything_below_it_are_refused_on_every_route(self):
        routes = (
            "/secret/a.txt", "/secret/", "/secret", "/secret/sub/", "/secret/sub/deep.txt",
            "/secret/sub/deeper/deepest.mp3", "/secret/sub/deeper/",
            "/secret/?section.xml=other", "/secret/sub/?section.xml=folder",
            "/secret/?item.xml=a.txt", "/?item.xml=secret", "/secret/?item.xml=sub",
            "/secret/?miniature=pic.png",
            "/secret/?folder.pls", "/secret/sub/deeper/?folder.pls", "/secret/?artist:Someone.pls",
            "/secret/?album:Withheld.pls",
            "/way-in/deep.txt", "/way-in/",
        )
        for url in routes:
            for method in ("GET", "HEAD"):
                with self.subTest(url=url, method=method):
                    answer = self.server.get(url, method=method)
                    self.assertStatus(answer, 403)
                    if method == "GET":
                        self.assertIn("Error 403 : Forbidden", answer.text())
                        self.assertNotIn(b"secret", answer.body)

    def test_an_audio_player_gets_no_playlist_of_the_folder(self):
        for url in ("/secret/", "/secret/sub/deeper/"):
            with self.subTest(url=url):
                self.assertStatus(self.server.get(url, (("User-Agent", "WinAmp/5.0"),)), 403)
        answer = self.server.get("/open/", (("User-Agent", "WinAmp/5.0"),))
        self.assertStatus(answer, 200)
        self.assertIn(b"/open/song.mp3", answer.body)

    def test_what_lies_beside_is_served(self):
        for url, body in (("/secret-not/x.txt", b"not secret"), ("/docs/two.txt", b"two")):
            with self.subTest(url=url):
                answer = self.server.get(url)
                self.assertStatus(answer, 200)
                self.assertEqual(answer.body, body)
        for url in ("/", "/secret-not/", "/docs/", "/docs/?item.xml=two.txt"):
            with self.subTest(url=url):
                self.assertStatus(self.server.get(url), 200)
        # An exact file exclusion still refuses that one file only.
        self.assertStatus(self.server.get("/docs/one.txt"), 403)


if __name__ == "__main__":
    orvendale.main()
