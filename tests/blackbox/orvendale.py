"""The built program run as a black box: an application folder of its own, a config.xml,
and a client that speaks HTTP over plain sockets, byte for byte."""

import argparse
import base64
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from xml.sax.saxutils import quoteattr

_arguments = argparse.Namespace(program=None, source=None)

START_TIMEOUT = 60.0
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

    def __init__(self, shares, users=None, exclusions=(), protocol=None, html=None, names=None):
        self.temp = tempfile.mkdtemp(prefix="orv-blackbox-")
        self.root = self.temp
        self.app = os.path.join(self.temp, "app")
        self.shares = shares
        self.users = users or {}
        self.exclusions = exclusions
        self.protocol = protocol or {}
        self.html = html or {}
        self.names = names or {}
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
                f"<HTML_DISPLAY>{elements(html)}</HTML_DISPLAY>"
                f"<APPLICATIONS_NAME_MANAGEMENT>{elements(names)}</APPLICATIONS_NAME_MANAGEMENT>"
                f"<USERS>{users}</USERS></CONFIGURATION>")

    def start(self):
        os.makedirs(os.path.join(self.app, "lang"), exist_ok=True)
        program = os.path.join(self.app, "orvendale")
        shutil.copy2(_arguments.program, program)
        shutil.copy2(os.path.join(_arguments.source, "lang", "english.xml"), os.path.join(self.app, "lang"))
        shutil.copytree(os.path.join(_arguments.source, "resources"), os.path.join(self.app, "resources"))
        self.port = free_port()
        with open(os.path.join(self.app, "config.xml"), "w", encoding="utf-8") as out:
            out.write(self._config())
        environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self._output = open(os.path.join(self.temp, "output.txt"), "wb")
        self.process = subprocess.Popen(
            [program], cwd=self.app, env=environment, stdin=subprocess.DEVNULL, stdout=self._output,
            stderr=subprocess.STDOUT,
            preexec_fn=lambda: signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT}))
        self._wait_until_listening()

    def _wait_until_listening(self):
        deadline = time.monotonic() + START_TIMEOUT
        while True:
            if self.process.poll() is not None:
                raise RuntimeError(f"the program ended at start-up ({self.process.returncode}): {self.output()}")
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return
            except OSError:
                if time.monotonic() > deadline:
                    raise RuntimeError("the program does not listen: " + self.output())
                # A refused connect returns at once: between two tries, wait on the program
                # itself, which also notices at once when it ends.
                _yield_to(self.process, 0.05)

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


def _yield_to(process, seconds):
    """Waits on the program itself: returns when it ends or when the time is up."""
    try:
        process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        pass


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
