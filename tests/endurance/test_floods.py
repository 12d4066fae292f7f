"""Floods of connections. First the limits exactly: an address holding its 50 connections
is refused a 51st, and with 100 open in all a third address is refused, until one closes.
Then thousands of connection attempts a second from several addresses (connections closed
at once, reset, left open, sent garbage or a request) while clients admitted before the
flood go on asking on their kept connections: every one of their answers comes, right;
the program never holds more connections than its limits allow, and once the flood is
over every slot and descriptor is free again."""

import multiprocessing
import random
import selectors
import socket
import threading
import time
import unittest

import endurance
from endurance import Server, connect, is_closed_without_answer, read_answer, read_to_end, request_bytes
from orvendale import Share, parse_answer

HOLDER_A, HOLDER_B, LATECOMER = "127.0.5.1", "127.0.5.2", "127.0.5.3"
FLOODERS = ("127.0.6.1", "127.0.6.2", "127.0.6.3", "127.0.6.4")
KEPT = "127.0.0.1"
KEPT_CLIENTS = 8
SHORT = {"seconds": 6, "processes_per_address": 1}
LONG = {"seconds": 90, "processes_per_address": 2}
SMALL = b"a small file for everyone\n"
ANSWER_TIMEOUT = endurance.orvendale.ANSWER_TIMEOUT


class HeldConnections:
    """Connections that hold a slot for as long as the test wants: each sends a head that
    never ends, one more byte every two seconds, which restarts the program's idle timer;
    finish() ends the heads and takes the answers."""

    def __init__(self, server):
        self.server = server
        self.clients = []
        self.stopping = threading.Event()
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self._keep, daemon=True)
        self.thread.start()

    def open(self, source):
        client = connect(self.server, source)
        client.sendall(b"GET /a HTTP/1.1\r\nX-Wait: ")
        with self.lock:
            self.clients.append(client)
        return client

    def close_one(self):
        with self.lock:
            self.clients.pop().close()

    def _keep(self):
        while not self.stopping.wait(2):
            with self.lock:
                for client in self.clients:
                    client.sendall(b"w")

    def finish(self):
        """Ends every head; each is answered with the file."""
        self.stopping.set()
        self.thread.join()
        answers = []
        for client in self.clients:
            with client:
                client.sendall(b"\r\n\r\n")
                answers.append(parse_answer(read_to_end(client)))
        self.clients = []
        return answers


def open_batch(port, source, size):
    """Starts size connections at once without waiting on each; returns those that were
    made and the count of those that were not."""
    pending = []
    for _ in range(size):
        client = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        client.setsockopt(socket.SOL_IP, socket.IP_BIND_ADDRESS_NO_PORT, 1)
        client.bind((source, 0))
        client.setblocking(False)
        client.connect_ex(("127.0.0.1", port))
        pending.append(client)
    made, failed = [], 0
    with selectors.DefaultSelector() as selector:
        for client in pending:
            selector.register(client, selectors.EVENT_WRITE)
        end = time.monotonic() + 5
        while len(selector.get_map()) and time.monotonic() < end:
            for key, _ in selector.select(timeout=1):
                selector.unregister(key.fileobj)
                if key.fileobj.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == 0:
                    made.append(key.fileobj)
                else:
                    failed += 1
                    key.fileobj.close()
        for key in list(selector.get_map().values()):
            failed += 1
            key.fileobj.close()
    return made, failed


def flood(port, source, seconds, seed, results):
    """One flooding process: connection attempts from the source address, fifty at a time
    and as fast as it can, each ended one of several ways; puts its counts in results."""
    dice = random.Random(seed)
    counts = {"attempts": 0, "answered": 0, "refused": 0, "not connected": 0, "held": 0, "wrong": 0}
    held = []
    request = request_bytes("/a", port=port)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        made, failed = open_batch(port, source, 50)
        counts["attempts"] += len(made) + failed
        counts["not connected"] += failed
        for client in made:
            way = dice.random()
            try:
                client.setblocking(True)
                client.settimeout(ANSWER_TIMEOUT)
                if way < 0.70:
                    pass  # closed at once
                elif way < 0.85:
                    client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                elif way < 0.92:
                    client.sendall(b"\x16\x03\x01 garbage \x00\xff" * 8)
                elif way < 0.995:
                    client.sendall(request)
                    data = read_to_end(client)
                    if not data:
                        counts["refused"] += 1
                    elif parse_answer(data).body == SMALL:
                        counts["answered"] += 1
                    else:
                        counts["wrong"] += 1
                elif len(held) < 80:
                    held.append(client)
                    counts["held"] += 1
                    continue
            except OSError:
                counts["refused"] += 1
            except AssertionError:
                counts["wrong"] += 1
            client.close()
    for client in held:
        client.close()
    results.put(counts)


class Floods(unittest.TestCase):
    def setUp(self):
        self.server = Server([Share("/", "pub")])
        self.server.write("pub/a", SMALL)
        self.server.start()

    def tearDown(self):
        self.server.stop()
        self.server.clean()

    def slots(self):
        return endurance.connections(self.server, slots_only=True)

    def served(self, source):
        with connect(self.server, source) as client:
            client.sendall(request_bytes("/a", port=self.server.port))
            answer = parse_answer(read_to_end(client))
        self.assertEqual((answer.status, answer.body), (200, SMALL))

    def test_admission_refuses_what_the_limits_say(self):
        server = self.server
        held = HeldConnections(server)
        try:
            for _ in range(endurance.MAX_CONNECTIONS_CLIENT):
                held.open(HOLDER_A)
            endurance.wait_until(server, lambda: self.slots()[HOLDER_A] == 50, "fifty slots of one address")
            # The address is at its limit; another one is not.
            with connect(server, HOLDER_A) as refused:
                refused.sendall(request_bytes("/a", port=server.port))
                self.assertTrue(is_closed_without_answer(refused))
            self.served(LATECOMER)
            for _ in range(endurance.MAX_CONNECTIONS_CLIENT):
                held.open(HOLDER_B)
            endurance.wait_until(server, lambda: sum(self.slots().values()) == 100, "a hundred slots in all")
            # All slots taken: any address is refused.
            for source in (LATECOMER, KEPT):
                with connect(server, source) as refused:
                    refused.sendall(request_bytes("/a", port=server.port))
                    self.assertTrue(is_closed_without_answer(refused))
            # One slot given back is one slot to take.
            held.close_one()
            endurance.wait_until(server, lambda: sum(self.slots().values()) == 99, "one slot to be free")
            self.served(LATECOMER)
        finally:
            answers = held.finish()
        self.assertEqual([(answer.status, answer.body) for answer in answers], [(200, SMALL)] * 99)
        endurance.assert_clean_stop(self, server)

    def test_a_flood_leaves_the_admitted_clients_served(self):
        server = self.server
        form = LONG if endurance.long_form() else SHORT
        pid = server.process.pid
        self.served(KEPT)
        endurance.wait_until(server, lambda: not endurance.connections(server), "the first connection to close")
        baseline = endurance.descriptors(pid)

        # Clients admitted before the flood, each on its kept connection.
        kept = [connect(server, KEPT) for _ in range(KEPT_CLIENTS)]
        stylesheet_request = request_bytes("/?res=classic.css", (("Connection", "Keep-Alive"),), port=server.port)
        failures, served = [], [0] * KEPT_CLIENTS
        stop = threading.Event()

        def ask(number):
            client = kept[number]
            try:
                while not stop.is_set() and served[number] < 250:
                    client.sendall(stylesheet_request)
                    answer = read_answer(client)
                    if answer.status != 200 or answer.header("Connection") != "Keep-Alive" or not answer.body:
                        failures.append(answer.raw[:300])
                        return
                    served[number] += 1
                    stop.wait(0.2)
            except (OSError, AssertionError) as failure:
                failures.append(repr(failure))

        askers = [threading.Thread(target=ask, args=(number,)) for number in range(KEPT_CLIENTS)]
        for thread in askers:
            thread.start()

        # The flood, watched: never more slots than the limits allow. A connection being
        # refused is open for a moment, between its accept and its close.
        samples = []
        watching = threading.Event()

        def watch():
            while not watching.wait(0.1):
                samples.append(self.slots())

        watcher = threading.Thread(target=watch)
        watcher.start()
        context = multiprocessing.get_context("fork")
        results = context.Queue()
        processes = [context.Process(target=flood, args=(server.port, source, form["seconds"], seed, results))
                     for seed, source in enumerate(FLOODERS * form["processes_per_address"])]
        started = time.monotonic()
        for process in processes:
            process.start()
        counts = [results.get() for _ in processes]
        elapsed = time.monotonic() - started
        for process in processes:
            process.join()
        watching.set()
        watcher.join()
        stop.set()
        for thread in askers:
            thread.join()

        total = {key: sum(count[key] for count in counts) for key in counts[0]}
        endurance.report(f"flood: {total['attempts']} connection attempts in {elapsed:.1f} s "
                         f"({total['attempts'] / elapsed:.0f}/s) from {len(FLOODERS)} addresses: {total}; "
                         f"kept clients served {sum(served)} requests; at most {max(map(len, samples), default=0)} "
                         f"addresses and {max((sum(sample.values()) for sample in samples), default=0)} slots seen")
        self.assertEqual(failures, [])
        self.assertEqual(total["wrong"], 0)
        self.assertTrue(all(count > 0 for count in served), served)
        for sample in samples:
            self.assertLessEqual(sum(sample.values()), endurance.MAX_CONNECTIONS_TOTAL + 1, sample)
            self.assertLessEqual(max(sample.values(), default=0), endurance.MAX_CONNECTIONS_CLIENT + 1, sample)

        for client in kept:
            client.close()
        endurance.wait_until(server, lambda: not endurance.connections(server), "every connection to close")
        endurance.wait_until(server, lambda: endurance.descriptors(pid) <= baseline,
                             f"the descriptors to come back to {baseline}")
        for source in FLOODERS + (KEPT,):
            self.served(source)
        endurance.assert_clean_stop(self, server)


if __name__ == "__main__":
    endurance.main()
