"""Common ground of the endurance tests: the black-box harness of tests/blackbox, the short
and the long form, a look at the running program (its descriptors and resident size) and
clients that keep count of what they did, so that the stores written at a clean stop can
be checked against it.

The short form runs under scripts/test and asserts nothing about time; the long form
(--long, run by scripts/soak) runs the same tests for longer and with more clients."""

import collections
import xml.etree.ElementTree as ElementTree
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "blackbox"))

import orvendale  # noqa: E402  (found through the path above)
from orvendale import parse_answer, read_to_end, request_bytes  # noqa: E402,F401
from test_files import read_answer  # noqa: E402,F401  (one answer off a kept connection)

# Read when this module is first imported, before the scripts' own constants.
_LONG = "--long" in sys.argv

# How long a condition that must come (descriptors back to their count, a slot freed) may
# take before the test fails: never a measure of speed, only the end of waiting.
CONDITION_DEADLINE = 120.0

# The program's limits and timer at their built-in values: tuning parameters are never
# read from config.xml, so every run has them.
IDLE_TIMEOUT = 15
MAX_CONNECTIONS_TOTAL = 100
MAX_CONNECTIONS_CLIENT = 50
MAX_REQUEST_SIZE = 3000
MAX_URL_SIZE = 2000
FILE_BLOCK_SIZE = 40960
# Every status the server may answer with.
STATUSES = {200, 206, 301, 304, 400, 401, 403, 404, 405, 413, 414, 503}


def main():
    """Runs the tests of the calling script; --long selects the long form, the other
    arguments are those of the black-box harness."""
    if "--long" in sys.argv:
        sys.argv.remove("--long")
    orvendale.main()


def long_form():
    return _LONG


def report(text):
    """A figure for the log of the run (standard error, beside unittest's own lines)."""
    print(text, file=sys.stderr, flush=True)


class Server(orvendale.Server):
    """The harness's program run, with a history setting and, when asked, the stores of an
    earlier run kept across a start (the harness starts from a fresh application folder)."""

    STORES = ("history.xml", "uploaded.xml", "config.xml", "cache")

    def __init__(self, shares, history=None, **kwargs):
        super().__init__(shares, **kwargs)
        self.history = history or {}
        self.keep_stores = False

    def _config(self):
        config = super()._config()
        if not self.history:
            return config
        settings = "".join(f"<{key}>{value}</{key}>" for key, value in self.history.items())
        return config.replace("</CONFIGURATION>", f"<HISTORY>{settings}</HISTORY></CONFIGURATION>")

    def _prepare_application_folder(self):
        if not (self.keep_stores and os.path.isdir(self.app)):
            super()._prepare_application_folder()
            return
        kept = self.app + ".kept"
        os.rename(self.app, kept)
        super()._prepare_application_folder()
        for name in os.listdir(kept):
            if name in self.STORES or ".tmp-" in name:
                os.rename(os.path.join(kept, name), os.path.join(self.app, name))
        orvendale.shutil.rmtree(kept, ignore_errors=True)

    def restart(self):
        """Starts the program again on the stores the last run left."""
        self.keep_stores = True
        try:
            self.start()
        finally:
            self.keep_stores = False

    def app_file(self, name):
        return os.path.join(self.app, name)


# ---- The running program ----


def descriptors(pid):
    """The number of open descriptors of the process."""
    return len(os.listdir(f"/proc/{pid}/fd"))


_TCP_ESTABLISHED = 1
_TCP_CLOSE_WAIT = 8


def connections(server, slots_only=False):
    """The program's open connections on its port (every socket of its own there but the
    listener) by peer address, as the system's socket table has them. With slots_only,
    only those that hold a connection slot: connected, or closed by the peer and not yet
    seen to be (a connection the program closes lingers a moment, shut down for sending)."""
    own = orvendale._socket_inodes(server.process.pid)
    states = (_TCP_ESTABLISHED, _TCP_CLOSE_WAIT) if slots_only else None
    return collections.Counter(peer for state, inode, peer in orvendale._tcp_sockets_on(server.port, peers=True)
                               if inode in own and state != orvendale._TCP_LISTEN and
                               (states is None or state in states))


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS")


def is_sanitized(pid):
    """True when the program runs with AddressSanitizer, whose shadow memory and
    quarantine make its resident size no measure of the program's own."""
    with open(f"/proc/{pid}/maps") as maps:
        return "asan" in maps.read()


def wait_until(server, condition, what, deadline=CONDITION_DEADLINE):
    """Waits, looking again every 50 ms, until condition() is true; fails when the program
    ends meanwhile or the deadline passes."""
    end = time.monotonic() + deadline
    while not condition():
        if server.process.poll() is not None:
            raise AssertionError(f"the program ended ({server.process.returncode}) while waiting for {what}")
        if time.monotonic() > end:
            raise AssertionError(f"still waiting for {what} after {deadline:.0f} s")
        orvendale._yield_to(server.process, 0.05)


def assert_clean_stop(test, server):
    """Stops the program; it must end with 0 and no sanitizer report."""
    code = server.stop()
    output = server.output()
    test.assertEqual(code, 0, output[-3000:])
    for mark in ("Sanitizer", "runtime error:", "LeakSanitizer"):
        test.assertNotIn(mark, output, output[-3000:])


# ---- Clients ----


def connect(server, source="127.0.0.1", receive_buffer=None, timeout=orvendale.ANSWER_TIMEOUT):
    """A connection from the source address; the local port is picked at connect time, so
    that many addresses share the port range."""
    client = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        client.setsockopt(socket.SOL_IP, socket.IP_BIND_ADDRESS_NO_PORT, 1)
        client.bind((source, 0))
        if receive_buffer:
            client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        client.settimeout(timeout)
        client.connect(("127.0.0.1", server.port))
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    except BaseException:
        client.close()
        raise
    return client


def is_closed_without_answer(client):
    """True when the server closes the connection (or resets it) without a byte."""
    try:
        return client.recv(1) == b""
    except ConnectionResetError:
        return True


class Ledger:
    """What the clients did that the stores must show: history events (type, address,
    text) and transfers (path, client, bytes, whole file, finished), and what they asked
    and got, for the figures. Shared by every client thread."""

    def __init__(self):
        self._lock = threading.Lock()
        self.events = collections.Counter()
        self.transfers = collections.Counter()
        # (path, client) of each transfer cut off by its client: its bytes are what went out.
        self.cut = collections.Counter()
        self.kinds = collections.Counter()
        self.failures = []

    def event(self, kind, address, text=""):
        with self._lock:
            self.events[(str(kind), address, text)] += 1

    def upload(self, path, client, transferred, whole=True):
        with self._lock:
            self.events[("1", client, path)] += 1
            self.events[("3", client, path)] += 1
            self.transfers[(path, client, str(transferred), whole)] += 1

    def cut_upload(self, path, client):
        with self._lock:
            self.events[("1", client, path)] += 1
            self.events[("2", client, path)] += 1
            self.cut[(path, client)] += 1

    def did(self, kind):
        with self._lock:
            self.kinds[kind] += 1

    def fail(self, text):
        with self._lock:
            self.failures.append(text)

    def requests(self):
        with self._lock:
            return sum(self.kinds.values())


def assert_stores_hold(test, server, ledger):
    """history.xml and uploaded.xml, written at the clean stop, hold what the ledger says:
    every event, every finished transfer with its bytes, every transfer cut off, and the
    totals of each file."""
    history = ElementTree.parse(server.app_file("history.xml")).getroot()
    events = collections.Counter(
        (event.get("type"), event.get("ipAddress"), event.get("text")) for event in history.iter("EVENT"))
    missing, extra = ledger.events - events, events - ledger.events
    test.assertEqual((dict(missing), dict(extra)), ({}, {}))
    test.assertEqual(sum(events.values()), sum(ledger.events.values()))

    uploaded = ElementTree.parse(server.app_file("uploaded.xml")).getroot()
    finished = collections.Counter()
    cut = collections.Counter()
    sent = collections.Counter()
    for row in uploaded.iter("TRANSFER"):
        path, client, transferred = row.get("path"), row.get("clientInfos"), row.get("transferred")
        sent[path] += float(transferred)
        if row.get("finished") == "true":
            finished[(path, client, transferred, row.get("completeFile") == "true")] += 1
        else:
            test.assertEqual(row.get("completeFile"), "true")
            test.assertLess(float(transferred), os.path.getsize(path))
            cut[(path, client)] += 1
    test.assertEqual(dict(finished), dict(ledger.transfers))
    test.assertEqual(dict(cut), dict(ledger.cut))
    files = {entry.get("path"): entry for entry in uploaded.iter("FILE")}
    finished_per_path = collections.Counter()
    for (path, _, _, _), count in ledger.transfers.items():
        finished_per_path[path] += count
    for path in set(finished_per_path) | {path for path, _ in ledger.cut}:
        with test.subTest(path=path):
            test.assertEqual(int(files[path].get("nbFinished")), finished_per_path[path])
            test.assertEqual(float(files[path].get("sizeSent")), sent[path])
