"""The built program run as a black box: an application folder of its own, a config.xml,
and a client that speaks HTTP over plain sockets, byte for byte."""

import argparse
import base64
import os
import selectors
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from xml.sax.saxutils import quoteattr

_arguments = argparse.Namespace(program=None, source=None)

START_TIMEOUT = 60.0
START_ATTEMPTS = 3
STOP_TIMEOUT = 60.0
ANSWER_TIMEOUT = 30.0


def main():
    """Runs the tests of the calling script: --program and --source name the built program
    and the source tree; the other arguments go to unittest."""
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--program", required=True)
    parser.add_argument("--source", required=True)
    known, rest = parser.parse_known_args()
    _arguments.program = known.program
    _arguments.source = known.source
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


def free_port():
    """A port that was free a moment ago: the system picks it, then it is released."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def stored_password(password):
    return "pwd:" + base64.b64encode(password.encode("cp1252")).decode("ascii")


class Share:
    def __init__(self, server_path, folder, users="", kinds=True):
        self.server_path = server_path
        self.folder = folder
        self.users = users
        self.kinds = kinds

    def xml(self, root):
        flag = "true" if self.kinds else "false"
        kinds = "".join(
            f' {name}="{flag}"'
            for name in ("sharePhysicalFolder", "shareVirtualFolder", "shareOther", "shareSound", "shareImage",
                         "shareVideo"))
        local = os.path.join(root, self.folder)
        return (f"<SHARE serverPath={quoteattr(self.server_path)} localPath={quoteattr(local)} "
                f"users={quoteattr(self.users)}{kinds}/>")


class Server:
    """One run of the program in a temporary folder: the application folder "app" (the
    program, lang/english.xml, resources/ and config.xml) beside the shared folders that the
    test makes. Started with the stop signals blocked until the program takes them over, so
    that a SIGTERM is always a clean shut-down; stopped with SIGTERM."""

    def __init__(self, shares, users=None, exclusions=(), protocol=None, html=None, names=None, prepare=None,
                 environment=None, history=None):
        self.temp = tempfile.mkdtemp(prefix="orv-blackbox-")
        self.root = self.temp
        self.app = os.path.join(self.temp, "app")
        self.shares = shares
        self.users = users or {}
        self.exclusions = exclusions
        self.protocol = protocol or {}
        self.html = html or {}
        self.names = names or {}
        self.history = history or {}
        # Called with the application folder once it is laid, before each launch: for files
        # the program finds there at start-up (a cache index, say).
        self.prepare = prepare
        # Added to the program's environment: a test with a display of its own sets
        # QT_QPA_PLATFORM and DISPLAY here.
        self.environment = environment or {}
        self.port = None
        self.process = None
        self._output = None

    # ---- The folders ----

    def write(self, name, data=b"text"):
        path = os.path.join(self.root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data if isinstance(data, bytes) else data.encode("utf-8"))
        return path

    def folder(self, name):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        return path

    def link(self, target, name):
        os.symlink(target, os.path.join(self.root, name))

    # ---- Running ----

    def _config(self):
        shares = "".join(share.xml(self.root) for share in self.shares)
        users = "".join(
            f'<USER login={quoteattr(login)} password={quoteattr(stored_password(password))} pagesicon="" '
            f'urlsicon=""/>' for login, password in self.users.items())
        exclusions = "".join(f"<EXCLUSION path={quoteattr(path)}/>" for path in self.exclusions)
        protocol = {"LOCAL_PORT": str(self.port), **self.protocol}
        html = {"PAGE_BUILD_METHOD": "client", "XSL_FILE": "classic-full.xsl", **self.html}
        names = {"AUDIO_PLAYERS_KEYWORDS": "winamp;vlc;", "BANNED_CLIENTS_KEYWORDS": "", **self.names}

        def elements(values):
            return "".join(f"<{key}>{value}</{key}>" for key, value in values.items())

        return ('<?xml version="1.0" encoding="UTF-8"?>\n<CONFIGURATION version="102">'
                f"<SHARED>{shares}</SHARED><LOCAL_PATHS>{exclusions}</LOCAL_PATHS>"
                f"<PROTOCOL>{elements(protocol)}</PROTOCOL>"
                "<LANGUAGE><FILENAME>english.xml</FILENAME></LANGUAGE>"
                "<OTHER><START_SERVER_ON_LOAD>true</START_SERVER_ON_LOAD></OTHER>"
                f"<HTML_DISPLAY>{elements(html)}</HTML_DISPLAY><HISTORY>{elements(self.history)}</HISTORY>"
                f"<APPLICATIONS_NAME_MANAGEMENT>{elements(names)}</APPLICATIONS_NAME_MANAGEMENT>"
                f"<USERS>{users}</USERS></CONFIGURATION>")

    def start(self):
        """Starts the program and returns once it listens. The port was free when it was
        picked, but another connection may take it as its own local port before the program
        binds it: a run that ends at start-up, whose port another socket holds, or that does
        not listen in time is stopped and started afresh on a new port, up to START_ATTEMPTS
        runs in all."""
        failures = []
        for attempt in range(START_ATTEMPTS):
            self._prepare_application_folder()
            self.port = free_port()
            with open(os.path.join(self.app, "config.xml"), "w", encoding="utf-8") as out:
                out.write(self._config())
            self._launch()
            failure = self._wait_until_listening()
            if failure is None:
                return
            output = self._abandon_run()
            failures.append(f"run {attempt + 1} on port {self.port}: {failure}; its output: {output!r}")
            # Told, so that a run given up shows in the log of a test that passes.
            print(f"start given up: {failures[-1]}", file=sys.stderr)
        raise RuntimeError("the program never listened: " + " | ".join(failures))

    def restart(self):
        """Stops the program cleanly and starts it again in the same application folder
        (its stores and its other files kept), with a config.xml written afresh from the
        shares and accounts as they are now, on a new port."""
        code = self.stop()
        if code != 0:
            raise AssertionError(f"exit code {code} at the restart: {self.output()}")
        failures = []
        for attempt in range(START_ATTEMPTS):
            self.port = free_port()
            with open(os.path.join(self.app, "config.xml"), "w", encoding="utf-8") as out:
                out.write(self._config())
            self._launch()
            failure = self._wait_until_listening()
            if failure is None:
                return
            failures.append(f"run {attempt + 1} on port {self.port}: {failure}; its output: {self._abandon_run()!r}")
        raise RuntimeError("the program never listened again: " + " | ".join(failures))

    def _prepare_application_folder(self):
        """A fresh application folder, so that a run given up leaves no stores behind."""
        shutil.rmtree(self.app, ignore_errors=True)
        os.makedirs(os.path.join(self.app, "lang"))
        shutil.copy2(_arguments.program, os.path.join(self.app, "orvendale"))
        shutil.copy2(os.path.join(_arguments.source, "lang", "english.xml"), os.path.join(self.app, "lang"))
        shutil.copytree(os.path.join(_arguments.source, "resources"), os.path.join(self.app, "resources"))
        if self.prepare is not None:
            self.prepare(self.app)

    def _launch(self):
        environment = {**os.environ, "QT_QPA_PLATFORM": "offscreen", **self.environment}
        self._output = open(os.path.join(self.temp, "output.txt"), "wb")
        self.process = subprocess.Popen(
            [os.path.join(self.app, "orvendale")], cwd=self.app, env=environment, stdin=subprocess.DEVNULL,
            stdout=self._output, stderr=subprocess.STDOUT,
            preexec_fn=lambda: signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT}))

    def _wait_until_listening(self):
        """None once the program listens on its port, else why this run is given up."""
        deadline = time.monotonic() + START_TIMEOUT
        while True:
            if self.process.poll() is not None:
                return f"the program ended at start-up ({self.process.returncode})"
            state = _listening_state(self.port, self.process.pid)
            if state == "listening":
                return None
            if state == "taken":
                return "another socket holds the port"
            if time.monotonic() > deadline:
                return f"nothing listens after {START_TIMEOUT:.0f} s"
            # Between two looks, wait on the program itself, which also notices at once
            # when it ends.
            _yield_to(self.process, 0.05)

    def _abandon_run(self):
        """Stops a run that does not serve (killed when it does not stop) and returns its output."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._output.close()
        output = self.output()
        self.process = None
        return output

    def stop(self):
        """Stops the program with SIGTERM; returns its exit code."""
        if self.process is None:
            return None
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(timeout=STOP_TIMEOUT)
        finally:
            self._output.close()
        return code

    def output(self):
        try:
            with open(os.path.join(self.temp, "output.txt"), "rb") as out:
                return out.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def clean(self):
        shutil.rmtree(self.temp, ignore_errors=True)

    # ---- Talking to it ----

    def exchange(self, data, source="127.0.0.1", pieces=None, keep_open=False):
        """Sends the request bytes (or the given pieces, one send each) and reads until the
        server closes the connection; returns everything it sent."""
        with self.connect(source) as client:
            for piece in pieces if pieces is not None else [data]:
                client.sendall(piece)
            return read_to_end(client)

    def connect(self, source="127.0.0.1"):
        client = socket.create_connection(("127.0.0.1", self.port), timeout=ANSWER_TIMEOUT,
                                          source_address=(source, 0))
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return client

    def get(self, url, headers=(), method="GET", body=b"", source="127.0.0.1"):
        """One request and its answer; the Host header is the server's address unless given."""
        return parse_answer(self.exchange(request_bytes(url, headers, method, body, self.port), source),
                            head_only=method == "HEAD")


_SOCK_DIAG_BY_FAMILY = 20
_NETLINK_SOCK_DIAG = 4
_NLMSG_ERROR = 2
_NLMSG_DONE = 3
_INET_DIAG_REQ_BYTECODE = 1
_INET_DIAG_BC_S_GE = 2
_INET_DIAG_BC_S_LE = 3
_TCP_LISTEN = 10


def _tcp_sockets_on(port, peers=False):
    """(state, inode) of every IPv4 TCP socket whose local port is the port, in any state
    (TIME_WAIT too: a client's keeps the program from binding), asked of the system's
    socket table over netlink; with peers, (state, inode, peer address). The table picks
    them itself: under load it holds tens of thousands of sockets."""
    # Filter: local port >= port, then <= port; a jump past the end refuses the socket.
    program = struct.pack("=BBHBBHBBHBBH", _INET_DIAG_BC_S_GE, 8, 20, 0, 0, port, _INET_DIAG_BC_S_LE, 8, 12, 0, 0,
                          port)
    attribute = struct.pack("=HH", 4 + len(program), _INET_DIAG_REQ_BYTECODE) + program
    request = struct.pack("=BBBxI", socket.AF_INET, socket.IPPROTO_TCP, 0, 0xFFFFFFFF) + bytes(48) + attribute
    header = struct.pack("=IHHII", 16 + len(request), _SOCK_DIAG_BY_FAMILY, 0x1 | 0x300, 1, 0)
    found = []
    with socket.socket(socket.AF_NETLINK, socket.SOCK_RAW, _NETLINK_SOCK_DIAG) as table:
        table.sendto(header + request, (0, 0))
        while True:
            data = table.recv(65536)
            offset = 0
            while offset + 16 <= len(data):
                length, kind = struct.unpack_from("=IH", data, offset)
                if kind == _NLMSG_DONE:
                    return found
                if kind == _NLMSG_ERROR or length < 16:
                    raise OSError("the socket table cannot be read")
                # The message: family, state, timer, retransmits, then the ports (network
                # order), ..., and the inode at 68.
                state = data[offset + 17]
                local_port = struct.unpack_from(">H", data, offset + 20)[0]
                inode = struct.unpack_from("=I", data, offset + 16 + 68)[0]
                if local_port == port:
                    # The peer's address, at 24 (after the local one).
                    found.append((state, inode, socket.inet_ntoa(data[offset + 40:offset + 44])) if peers else
                                 (state, inode))
                offset += (length + 3) & ~3


def _socket_inodes(pid):
    inodes = set()
    try:
        descriptors = os.listdir(f"/proc/{pid}/fd")
    except OSError:
        return inodes
    for descriptor in descriptors:
        try:
            target = os.readlink(f"/proc/{pid}/fd/{descriptor}")
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(int(target[len("socket:["):-1]))
    return inodes


def _listening_state(port, pid):
    """"listening" when the program's own socket listens on the port, "taken" when a
    socket of someone else holds it, else "waiting". Read from the socket table rather
    than by connecting: a connect to a port that nothing listens on may get that very port
    as its own local port and so take it from the program. Without the table, a connect it
    is, from a local port that is not the program's."""
    try:
        sockets = _tcp_sockets_on(port)
    except OSError:
        return "listening" if _connects(port) else "waiting"
    own = _socket_inodes(pid)
    if any(state == _TCP_LISTEN and inode in own for state, inode in sockets):
        return "listening"
    if any(inode not in own for _, inode in sockets):
        return "taken"
    return "waiting"


def _connects(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        if probe.getsockname()[1] == port:
            return False
        probe.settimeout(1)
        try:
            probe.connect(("127.0.0.1", port))
            return True
        except OSError:
            return False


def _yield_to(process, seconds):
    """Waits on the program itself: returns when it ends or when the time is up."""
    try:
        process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        pass


def answers_at_once(server, sources, request, timeout=120):
    """Connects one client from each address of sources (repeats allowed), then sends the
    request on every connection at once and reads each until the server closes it. Returns
    what each client received, in the order of sources: b"" for a connection refused at the
    connection limits (closed without a word)."""
    selector = selectors.DefaultSelector()
    clients = []
    answers = {}
    for source in sources:
        client = server.connect(source)
        client.setblocking(False)
        clients.append(client)
        answers[client] = b""
        selector.register(client, selectors.EVENT_READ)
    for client in clients:
        try:
            client.send(request)
        except OSError:
            pass  # refused at the connection limits
    deadline = time.monotonic() + timeout
    while selector.get_map() and time.monotonic() < deadline:
        for key, _ in selector.select(timeout=1):
            client = key.fileobj
            try:
                chunk = client.recv(262144)
            except BlockingIOError:
                continue
            except OSError:
                chunk = b""
            if chunk:
                answers[client] += chunk
            else:
                selector.unregister(client)
                client.close()
    if selector.get_map():
        raise AssertionError(f"{len(selector.get_map())} clients got no end of their answer")
    return [answers[client] for client in clients]


def request_bytes(url, headers=(), method="GET", body=b"", port=None):
    if isinstance(url, str):
        url = url.encode("latin-1")
    lines = [method.encode("ascii") + b" " + url + b" HTTP/1.1"]
    names = [name.lower() for name, _ in headers]
    if "host" not in names and port is not None:
        lines.append(b"Host: 127.0.0.1:" + str(port).encode("ascii"))
    for name, value in headers:
        if isinstance(value, str):
            value = value.encode("latin-1")
        lines.append(name.encode("ascii") + b": " + value)
    if body and "content-length" not in names:
        lines.append(b"Content-Length: " + str(len(body)).encode("ascii"))
    return b"\r\n".join(lines) + b"\r\n\r\n" + body


def read_to_end(client):
    received = b""
    while True:
        chunk = client.recv(65536)
        if not chunk:
            return received
        received += chunk


class Answer:
    def __init__(self, status, reason, headers, body, raw):
        self.status = status
        self.reason = reason
        self.headers = headers
        self.body = body
        self.raw = raw

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def all(self, name):
        return [value for key, value in self.headers if key.lower() == name.lower()]

    def text(self):
        return self.body.decode("utf-8", "replace")


def parse_answer(raw, head_only=False):
    """The first answer of the bytes; raises when they hold no whole head."""
    end = raw.find(b"\r\n\r\n")
    if end < 0:
        raise AssertionError(f"no answer: {raw!r}")
    lines = raw[:end].decode("latin-1").split("\r\n")
    version, status, reason = (lines[0].split(" ", 2) + [""])[:3]
    headers = [tuple(part.strip() for part in line.split(":", 1)) for line in lines[1:]]
    answer = Answer(int(status), reason, headers, b"", raw)
    length = 0 if head_only else int(answer.header("Content-Length") or 0)
    answer.body = raw[end + 4:end + 4 + length]
    if version != "HTTP/1.1":
        raise AssertionError(f"status line {lines[0]!r}")
    return answer


class ServerTestCase(unittest.TestCase):
    """Starts the servers of the class before its tests and stops them after, expecting a
    clean shut-down."""

    servers = ()

    @classmethod
    def make_servers(cls):
        raise NotImplementedError

    @classmethod
    def setUpClass(cls):
        cls.servers = cls.make_servers()
        try:
            for server in cls.servers:
                server.start()
        except Exception:
            cls._stop_all(check=False)
            raise

    @classmethod
    def tearDownClass(cls):
        cls._stop_all(check=True)

    @classmethod
    def _stop_all(cls, check):
        failures = []
        for server in cls.servers:
            code = server.stop()
            if check and code != 0:
                failures.append(f"exit code {code}: {server.output()}")
            server.clean()
        if failures:
            raise AssertionError("; ".join(failures))

    def assertStatus(self, answer, status, message=None):
        self.assertEqual(answer.status, status, answer.raw[:600])
        if message is not None:
            self.assertIn(message, answer.text())
