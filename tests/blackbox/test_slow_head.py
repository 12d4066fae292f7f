"""Item 8 of the hardening: a head sent one byte at a time keeps its connection for a bounded
time only. The deadline is two idle intervals (2 x HTTP_KEEP_ALIVE_TIMEOUT, 30 s with the
built-in 15 s) from the first byte of the request, however often bytes arrive. Before, each
byte restarted the idle timer and such a client kept its slot for as long as it liked."""

import select
import time

import orvendale
from orvendale import Server, Share

IDLE = 15
DEADLINE = 2 * IDLE


class SlowHeads(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        cls.server = Server([Share("/", "pub")])
        cls.server.write("pub/a.txt", b"text")
        return [cls.server]

    def test_a_head_trickled_a_byte_every_five_seconds_loses_its_connection_at_the_deadline(self):
        head = b"GET /a.txt HTTP/1.1\r\nX-Padding: " + b"a" * 200
        with self.server.connect() as client:
            started = time.monotonic()
            closed_after = None
            # The pace of the bytes is the attack: one every five seconds, well within the
            # idle interval, for up to three deadlines.
            for byte in head:
                try:
                    client.sendall(bytes([byte]))
                except OSError:
                    closed_after = time.monotonic() - started
                    break
                readable, _, _ = select.select([client], [], [], 5)
                if readable:
                    try:
                        data = client.recv(4096)
                    except OSError:
                        data = b""
                    self.assertEqual(data, b"", "no answer is sent to a request never complete")
                    closed_after = time.monotonic() - started
                    break
                if time.monotonic() - started > 3 * DEADLINE:
                    break
        self.assertIsNotNone(closed_after, "the connection was still open after three deadlines")
        self.assertLess(closed_after, DEADLINE + IDLE)
        # Other clients are served as ever.
        self.assertEqual(self.server.get("/a.txt").body, b"text")


if __name__ == "__main__":
    orvendale.main()
