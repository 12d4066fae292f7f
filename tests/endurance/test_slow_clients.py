"""Slow clients hold connection slots only as long as the program lets them: heads sent one
byte a second (each piece restarts the idle timer, so they are served at their end), heads
that stop half-way and bodies never sent (closed by the idle timer without an answer), and
readers that stop reading in the middle of a file (closed once a whole interval moves no
data, their upload recorded as cut off). One address holding its 50 slots is refused a
51st, while other clients are served all along; once the slow ones are gone every slot is
free again. The long form runs the same round several times."""

import threading
import time
import unittest

import endurance
from endurance import Ledger, Server, connect, is_closed_without_answer, read_answer, read_to_end, request_bytes
from orvendale import Share, parse_answer
from test_files import patterned

TRICKLER, STALLER, SILENT_BODY, STOPPED_READER, SERVED = "127.0.3.1", "127.0.3.2", "127.0.3.3", "127.0.3.4", "127.0.0.1"
TRICKLERS = 20
SILENT_BODIES = 10
STOPPED_READERS = 10
HUGE = 16 * 1024 * 1024
SMALL = patterned(700)


class SlowClients(unittest.TestCase):
    def setUp(self):
        self.server = Server([Share("/", "pub")], history={"KEEP_HISTORY": "true", "MAX_ENTRY": "-1"})
        self.server.write("pub/a", SMALL)
        for number in range(30):
            self.server.write(f"pub/docs/{number:02}.txt", f"{number}")
        self.huge_path = self.server.write("pub/huge.bin", patterned(65536) * (HUGE // 65536))
        self.small_path = self.server.root + "/pub/a"
        self.server.start()
        self.ledger = Ledger()

    def tearDown(self):
        self.server.stop()
        self.server.clean()

    def served(self, address):
        """One GET of the small file, checked, from the address."""
        with connect(self.server, address) as client:
            client.sendall(request_bytes("/a", port=self.server.port))
            answer = read_answer(client)
        self.assertEqual((answer.status, answer.body), (200, SMALL), answer.raw[:300])
        self.ledger.upload(self.small_path, address, len(SMALL))

    def test_slow_clients_hold_their_slots_only_until_the_idle_timer_or_their_answer(self):
        pid = self.server.process.pid
        self.served(SERVED)
        endurance.wait_until(self.server, lambda: not endurance.connections(self.server), "the first connection to close")
        baseline = endurance.descriptors(pid)
        for round_number in range(4 if endurance.long_form() else 1):
            with self.subTest(round=round_number):
                self.one_round()
                endurance.wait_until(self.server, lambda: endurance.descriptors(pid) <= baseline,
                                     f"the descriptors to come back to {baseline}")
        endurance.assert_clean_stop(self, self.server)
        endurance.assert_stores_hold(self, self.server, self.ledger)

    def one_round(self):
        server = self.server
        # A request must be whole within two idle intervals (30 s) of its first byte: the
        # trickled heads, a byte a second, stay within that.
        head = b"GET /a HTTP/1.0\r\n\r\n"
        if endurance.long_form():
            head = b"GET /a HTTP/1.1\r\nHost: slow.example\r\n\r\n"
        held = []
        try:
            # An address at its limit: fifty heads that stop half-way.
            for _ in range(endurance.MAX_CONNECTIONS_CLIENT):
                client = connect(server, STALLER)
                held.append(client)
                client.sendall(b"GET /a HT")
            endurance.wait_until(server, lambda: endurance.connections(server)[STALLER] == 50,
                                 "fifty connections of one address")
            # Its next connection is refused without a word.
            with connect(server, STALLER) as refused:
                try:
                    refused.sendall(request_bytes("/a", port=server.port))
                except OSError:
                    pass
                self.assertTrue(is_closed_without_answer(refused))
            stalled = list(held)

            silent_bodies = []
            for _ in range(SILENT_BODIES):
                client = connect(server, SILENT_BODY)
                held.append(client)
                client.sendall(b"POST /a HTTP/1.1\r\nContent-Length: 100\r\n\r\nabc")
                silent_bodies.append(client)

            for _ in range(STOPPED_READERS):
                client = connect(server, STOPPED_READER, receive_buffer=8192)
                held.append(client)
                client.sendall(request_bytes("/huge.bin", port=server.port))
                received = 0
                while received < 64 * 1024:
                    received += len(client.recv(16384))
                # It reads no more.
                self.ledger.cut_upload(self.huge_path, STOPPED_READER)

            answers = []
            tricklers = [threading.Thread(target=self.trickle, args=(head, answers)) for _ in range(TRICKLERS)]
            for thread in tricklers:
                thread.start()

            # Everyone else is served while the slow clients hold their slots.
            served = 0
            while any(thread.is_alive() for thread in tricklers) or served == 0:
                self.served(SERVED)
                served += 1
                time.sleep(0.1)
            for thread in tricklers:
                thread.join()
            self.assertEqual(answers, [(200, SMALL)] * TRICKLERS)
            endurance.report(f"slow clients: {served} requests of other clients served while the slots were held")

            # Heads that stop and bodies never sent: closed by the idle timer, without an
            # answer.
            for client in stalled + silent_bodies:
                self.assertEqual(read_to_end(client), b"")
            # Readers that stopped: closed once an interval passes without data moving.
            endurance.wait_until(server, lambda: endurance.connections(server)[STOPPED_READER] == 0,
                                 "the readers that stopped to be closed")
        finally:
            for client in held:
                client.close()
        endurance.wait_until(server, lambda: not endurance.connections(server), "every slot to be free")

        # The address that was at its limit has all its slots again.
        clients = [connect(server, STALLER) for _ in range(endurance.MAX_CONNECTIONS_CLIENT)]
        try:
            for client in clients:
                client.sendall(request_bytes("/a", port=server.port))
            for client in clients:
                answer = parse_answer(read_to_end(client))
                self.assertEqual((answer.status, answer.body), (200, SMALL))
                self.ledger.upload(self.small_path, STALLER, len(SMALL))
        finally:
            for client in clients:
                client.close()

    def trickle(self, head, answers):
        """Sends the head one byte a second, then takes the answer."""
        try:
            with connect(self.server, TRICKLER) as client:
                for index in range(len(head)):
                    if index:
                        time.sleep(1)
                    client.sendall(head[index:index + 1])
                answer = parse_answer(read_to_end(client))
            answers.append((answer.status, answer.body))
            if answer.status == 200:
                self.ledger.upload(self.small_path, TRICKLER, len(answer.body))
        except (OSError, AssertionError) as failure:
            answers.append(repr(failure))


if __name__ == "__main__":
    endurance.main()
