"""Playlists as audio players get them: the .pls text of a folder byte for byte, of one artist
or album in it, of any folder an audio player asks for, the empty playlist of a virtual
folder, shares without sound, and players that go away while a long folder is read."""

import socket
import struct
import time

import orvendale
from orvendale import Server, Share, request_bytes

LONG_FOLDER_FILES = 1500


def mp3_bytes(title, artist, album):
    """A little MPEG frame and an ID3v1.1 tag: a file with an artist, an album and a title."""
    def fixed(text, width):
        return (text.encode("cp1252") + bytes(width))[:width]

    frame = b"\xff\xfb\x90" + bytes(414)
    return (frame + b"TAG" + fixed(title, 30) + fixed(artist, 30) + fixed(album, 30) + b"2004" +
            fixed("comment", 28) + b"\x00\x03\x0c")


def titles(answer):
    return sorted(line.split(b"=", 1)[1].decode("utf-8") for line in answer.body.split(b"\r\n")
                  if line.startswith(b"Title"))


class Playlists(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        server = Server([Share("/", "pub"), Share("/v/w/", "vw"), Share("/quiet/", "quiet", kinds=False)])
        server.write("pub/music/b.mp3")
        server.write("pub/music/a.txt")
        server.write("pub/jazz/blue.mp3", mp3_bytes("So What", "Miles", "Kind of Blue"))
        server.write("pub/jazz/train.mp3", mp3_bytes("Giant Steps", "Coltrane", "Giant Steps"))
        server.write("pub/jazz/two words.mp3", mp3_bytes("Naima", "Coltrane", "Giant Steps"))
        server.write("pub/jazz/notes.txt")
        for n in range(LONG_FOLDER_FILES):
            server.write(f"pub/long/track-{n:05}.mp3", mp3_bytes(f"T{n}", "Someone", "Long"))
        server.folder("vw")
        server.write("quiet/q.mp3")
        cls.server = server
        return [server]

    def test_a_folder_playlist_byte_for_byte(self):
        answer = self.server.get("/music/?folder.pls",
                                 (("Host", "192.168.0.2"), ("Connection", "Keep-Alive"), ("Accept-Encoding", "deflate")))
        expected = (b"[playlist]\r\n"
                    b"File1=http://192.168.0.2:" + str(self.server.port).encode() + b"/music/b.mp3\r\n"
                    b"Title1=b.mp3\r\n"
                    b"Length1=-1\r\n"
                    b"NumberOfEntries=1\r\n"
                    b"Version=2\r\n")
        self.assertStatus(answer, 200)
        self.assertEqual(answer.body, expected)
        self.assertEqual(answer.header("Content-Type"), "audio/scpls")
        self.assertEqual(answer.header("Content-Length"), str(len(expected)))
        self.assertEqual(answer.header("Connection"), "Close")
        self.assertIsNone(answer.header("Keep-Alive"))
        self.assertIsNone(answer.header("Content-Encoding"))
        # HTTP/1.0 players are told too.
        raw = self.server.exchange(b"GET /music/?folder.pls HTTP/1.0\r\n\r\n")
        self.assertIn(b"\r\nConnection: Close\r\n", raw)

    def test_artist_album_and_audio_players(self):
        cases = (
            ("/jazz/?folder.pls", (), ["blue.mp3", "train.mp3", "two words.mp3"]),
            ("/jazz/?artist:Coltrane.pls", (), ["train.mp3", "two words.mp3"]),
            ("/jazz/?ARTIST:miles.PLS", (), ["blue.mp3"]),
            ("/jazz/?album:Kind%20of%20Blue.pls", (), ["blue.mp3"]),
            ("/jazz/?artist:Nobody.pls", (), []),
            ("/jazz/", (("User-Agent", "Winamp/5.9"),), ["blue.mp3", "train.mp3", "two words.mp3"]),
            ("/jazz/?showby_sound=icon", (("User-Agent", "VLC/3.0"),), ["blue.mp3", "train.mp3", "two words.mp3"]),
        )
        for url, headers, expected in cases:
            with self.subTest(url=url, headers=headers):
                answer = self.server.get(url, headers)
                self.assertStatus(answer, 200)
                self.assertEqual(answer.header("Content-Type"), "audio/scpls")
                self.assertEqual(titles(answer), expected)
        # A file's URL in the list leads to the file's own name.
        answer = self.server.get("/jazz/?artist:Coltrane.pls")
        self.assertIn(f"File2=http://127.0.0.1:{self.server.port}/jazz/two%20words.mp3".encode(), answer.body)
        # Anything else ending in ".pls" is a page, not a playlist.
        self.assertEqual(self.server.get("/jazz/?list.pls").header("Content-Type"), "application/xml; charset=UTF-8")

    def test_a_virtual_folder_gets_the_empty_playlist(self):
        for headers, url in (((), "/v/?folder.pls"), ((("User-Agent", "winamp"),), "/v/")):
            with self.subTest(url=url):
                answer = self.server.get(url, headers)
                self.assertStatus(answer, 200)
                self.assertEqual(answer.body, b"[playlist]\r\nNumberOfEntries=0\r\nVersion=2\r\n")
                self.assertEqual(answer.header("Content-Length"), "42")

    def test_a_share_without_sound_refuses_playlists(self):
        for url, headers in (("/quiet/?folder.pls", ()), ("/quiet/", (("User-Agent", "winamp"),))):
            with self.subTest(url=url):
                self.assertStatus(self.server.get(url, headers), 403, "Error 403 : Forbidden")

    def test_a_head_request_gets_the_head_of_the_playlist(self):
        get = self.server.get("/jazz/?folder.pls")
        head = self.server.get("/jazz/?folder.pls", method="HEAD")
        self.assertStatus(head, 200)
        self.assertEqual(head.header("Content-Length"), get.header("Content-Length"))
        self.assertTrue(head.raw.endswith(b"\r\n\r\n"))

    def test_players_that_go_away_while_a_long_folder_is_read(self):
        for n in range(20):
            client = self.server.connect()
            client.sendall(request_bytes("/long/?artist:Someone.pls", port=self.server.port))
            if n % 2:
                client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            client.close()
        # A playlist of a player that went away is counted as in the making until the
        # server sees the close, which may be after the next request: the count must come
        # down, so a request soon gets its playlist.
        deadline = time.monotonic() + 30
        answer = self.server.get("/long/?artist:Someone.pls")
        while answer.status == 503 and time.monotonic() < deadline:
            answer = self.server.get("/long/?artist:Someone.pls")
        self.assertStatus(answer, 200)
        self.assertIn(f"NumberOfEntries={LONG_FOLDER_FILES}\r\n".encode(), answer.body)


if __name__ == "__main__":
    orvendale.main()
