"""Starting the program for the other scripts: a port that was free when it was picked may be
taken before the program binds it, as another connection's local port; the run is then
started again on a fresh port, and given up with what every run said."""

import socket
import unittest
from unittest import mock

import orvendale
from orvendale import Server, Share


class TakenPort:
    """A port held as the local port of a connection, as a client of another server holds
    the ephemeral port that the system gave it."""

    def __enter__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.client = socket.create_connection(self.listener.getsockname())
        self.accepted, _ = self.listener.accept()
        self.port = self.client.getsockname()[1]
        return self

    def __exit__(self, *exception):
        for held in (self.accepted, self.client, self.listener):
            held.close()


class Start(unittest.TestCase):
    def setUp(self):
        self.server = Server([Share("/", "pub")])
        self.server.write("pub/a.txt", "hello")

    def tearDown(self):
        code = self.server.stop()
        self.server.clean()
        self.assertIn(code, (0, None), self.server.output())

    def test_a_port_taken_before_the_program_binds_it_is_replaced_by_a_fresh_one(self):
        free_port = orvendale.free_port
        with TakenPort() as taken:
            picks = iter([taken.port])
            with mock.patch.object(orvendale, "free_port", lambda: next(picks, None) or free_port()):
                self.server.start()
            self.assertNotEqual(self.server.port, taken.port)
            answer = self.server.get("/a.txt")
            self.assertEqual((answer.status, answer.body), (200, b"hello"))

    def test_a_program_that_never_listens_fails_with_every_run_told(self):
        with TakenPort() as taken:
            with mock.patch.object(orvendale, "free_port", lambda: taken.port):
                with self.assertRaises(RuntimeError) as failure:
                    self.server.start()
        message = str(failure.exception)
        for run in range(1, orvendale.START_ATTEMPTS + 1):
            self.assertIn(f"run {run} on port {taken.port}: another socket holds the port", message)
        self.assertIsNone(self.server.process)


if __name__ == "__main__":
    orvendale.main()
