"""Connections that never complete a request are closed by the idle timer
(HTTP_KEEP_ALIVE_TIMEOUT, 15 seconds by default) without an answer."""

import time

import orvendale
from orvendale import Server, Share, read_to_end


class IdleConnections(orvendale.ServerTestCase):
    @classmethod
    def make_servers(cls):
        cls.server = Server([Share("/", "pub")])
        cls.server.write("pub/a.txt")
        return [cls.server]

    def test_incomplete_requests_wait_then_close_without_an_answer(self):
        partial = {
            "silent": b"",
            "half a head": b"GET /a.txt HTTP/1.1\r\nHost: local",
            "a body shorter than its length": b"POST /a.txt HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc",
        }
        clients = {}
        started = time.monotonic()
        for name, data in partial.items():
            client = self.server.connect()
            client.sendall(data)
            clients[name] = client
        for name, client in clients.items():
            with self.subTest(name=name):
                with client:
                    self.assertEqual(read_to_end(client), b"")
        # Closed by the idle timer, not at once.
        self.assertGreater(time.monotonic() - started, 10)


if __name__ == "__main__":
    orvendale.main()
