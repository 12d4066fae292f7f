"""A mixed soak: many clients at once ask for folder pages, files whole and in ranges,
deflated text, thumbnails, playlists, resources on kept connections, files behind a login,
wrong logins until their address is banned, and bad requests; some go away in the middle
of a file. Every answer is checked as it comes. Meanwhile the program's descriptors and
resident size are sampled: the descriptors come back to their count once the clients are
gone, and the resident size grows no more than the history and sent-files stores that the
run fills. After a clean stop, history.xml and uploaded.xml hold exactly what the clients
did. The short form runs for seconds, the long form for ten minutes."""

import base64
import os
import random
import threading
import time
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

import endurance
from endurance import Ledger, Server, connect, read_answer, read_to_end, request_bytes
from orvendale import Share
from test_files import patterned
from test_playlists import mp3_bytes
from test_thumbnails import bitmap_size, png

SHORT = {"clients": 10, "attackers": 2, "seconds": 20, "pause": 0.0}
LONG = {"clients": 24, "attackers": 2, "seconds": 600, "pause": 0.12}

MEMBERS = "/members/m.txt"
MEMBERS_TEXT = b"for members only\n"
SECRET = b"SECRET-BESIDE-THE-SHARE-5d1e"
MAX_IDENTIFICATION_ERROR = 3
BAN_DURATION = "86400"
HUGE = 16 * 1024 * 1024
# The growth of the resident size allowed for each event and transfer the stores hold,
# and once for the whole run (the allocator keeps what it was given).
BYTES_PER_STORED_ROW = 2048
RESIDENT_SLACK_KIB = 24 * 1024


def cookie_of(login, password):
    return f"user={login}; password={base64.b64encode(password.encode()).decode()}"


class Fixture:
    """The shares and what every URL answers."""

    def __init__(self):
        self.server = Server(
            [Share("/", "pub"), Share("/members/", "members", users="amy"), Share("/v/w/", "vw")],
            users={"amy": "secret"},
            protocol={"IDENTIFICATION_METHOD": "2", "MAX_IDENTIFICATION_ERROR": str(MAX_IDENTIFICATION_ERROR),
                      "BAN_DURATION": BAN_DURATION, "ENABLE_COMPRESSION": "true"},
            html={"ALLOW_MINIATURES": "true", "MINATURE_DIMENSION": "64"},
            history={"KEEP_HISTORY": "true", "MAX_ENTRY": "-1"})
        server = self.server
        self.files = {
            "/docs/a.bin": patterned(1000),
            "/docs/text.txt": b"every line alike, every line compressed\n" * 150,
            "/big/large.bin": patterned(5 * endurance.FILE_BLOCK_SIZE + 123),
        }
        for url, data in self.files.items():
            server.write("pub" + url, data)
        self.huge_path = server.write("pub/big/huge.bin", patterned(65536) * (HUGE // 65536))
        for number in range(60):
            server.write(f"pub/docs/many-{number:03}.txt", f"file {number}")
        self.pictures = {"wide.png": (64, 48), "tall.png": (48, 64), "square.png": (64, 64)}
        server.write("pub/photos/wide.png", png(200, 150))
        server.write("pub/photos/tall.png", png(150, 200))
        server.write("pub/photos/square.png", png(100, 100))
        server.write("pub/music/one.mp3", mp3_bytes("One", "Artist", "Album"))
        server.write("pub/music/two.mp3", mp3_bytes("Two", "Artist", "Album"))
        self.members_path = server.write("members/m.txt", MEMBERS_TEXT)
        server.folder("vw")
        server.write("secret.txt", SECRET)
        server.link("../../secret.txt", "pub/docs/out-link")
        self.stylesheet = None

    def start(self):
        self.server.start()
        with open(self.server.app_file("resources/classic.css"), "rb") as css:
            self.stylesheet = css.read()

    def local(self, url):
        return os.path.join(self.server.root, "pub") + url


class Busy(Exception):
    """The limit on pages or thumbnails in creation was reached: the 503 that says so."""


class Client(threading.Thread):
    """One client address that runs actions chosen by its own seeded dice until the end,
    checking each answer and writing down what the stores must show."""

    def __init__(self, fixture, ledger, number, end, pause, attacker=False):
        super().__init__(daemon=True)
        self.fixture = fixture
        self.server = fixture.server
        self.ledger = ledger
        self.address = f"127.0.{2 if attacker else 1}.{number + 1}"
        self.dice = random.Random(number * 7919 + (1 if attacker else 0))
        self.end = end
        self.pause = pause
        self.attacker = attacker
        self.login_failures = 0
        self.serial = 0
        actions = [
            (self.page, 6), (self.virtual_page, 2), (self.section, 2), (self.single_item, 2), (self.small_file, 8),
            (self.large_file, 3), (self.range, 5), (self.deflated, 3), (self.head, 3), (self.not_modified, 3),
            (self.thumbnail, 5), (self.resources_kept, 3), (self.playlist, 3), (self.audio_player, 1),
            (self.login_form, 3), (self.login_cookie, 3), (self.no_credentials, 2), (self.not_found, 3),
            (self.bad_request, 2), (self.not_allowed, 2), (self.too_long_url, 1), (self.too_large, 1),
            (self.traversal, 2), (self.leaves_mid_file, 1)]
        if attacker:
            actions.append((self.wrong_login, 12))
        self.actions = [action for action, weight in actions for _ in range(weight)]

    # ---- Running ----

    def run(self):
        while time.monotonic() < self.end:
            self.act(self.dice.choice(self.actions))
            if self.pause:
                time.sleep(self.pause)

    def act(self, action):
        self.ledger.did(action.__name__)
        try:
            action()
        except Busy:
            self.ledger.did("busy (503)")
        except Exception as failure:  # every fault is told at the end, with its client
            self.ledger.fail(f"{action.__name__} from {self.address}: {failure!r}")

    def get(self, url, headers=(), method="GET", body=b""):
        with connect(self.server, self.address) as client:
            client.sendall(request_bytes(url, headers, method, body, self.server.port))
            return read_answer(client, head_only=method == "HEAD")

    def expect(self, answer, status, content_type=None):
        if answer.status == 503 and status != 503 and (b"Too many folder requests" in answer.body or
                                                       b"Too many miniature requests" in answer.body):
            raise Busy()
        if answer.status != status:
            raise AssertionError(f"status {answer.status}, not {status}: {answer.raw[:300]!r}")
        if content_type is not None and answer.header("Content-Type") != content_type:
            raise AssertionError(f"type {answer.header('Content-Type')!r}: {answer.raw[:300]!r}")
        if SECRET in answer.raw:
            raise AssertionError("the secret file leaked")

    def expect_body(self, answer, body):
        if answer.body != body:
            raise AssertionError(f"body of {len(answer.body)} bytes is not the expected {len(body)}")

    def page_names(self, answer):
        self.expect(answer, 200, "application/xml; charset=UTF-8")
        root = ElementTree.fromstring(answer.body)
        return {item.findtext("name") for item in root.iter("item")}

    # ---- Actions ----

    def page(self):
        options = self.dice.choice(("", "?showby_other=list&sortby_other=size&sortorder_other=descending",
                                    "?showgroup_other=true&filter_other=true", "?showby_image=mini"))
        names = self.page_names(self.get("/docs/" + options))
        if not {"a.bin", "text.txt", "many-000.txt", "many-059.txt"} <= names or "out-link" in names:
            raise AssertionError(f"the page lists {sorted(names)[:8]}...")
        self.ledger.event(4, self.address, self.fixture.local("/docs/"))

    def virtual_page(self):
        if "w/" not in self.page_names(self.get("/v/")):
            raise AssertionError("the virtual folder does not list its share")
        self.ledger.event(5, self.address, "/v/")

    def section(self):
        answer = self.get("/docs/?section.xml=other&sortby_other=name")
        self.expect(answer, 200, "application/xml; charset=UTF-8")
        root = ElementTree.fromstring(answer.body)
        if root.tag != "section" or len(list(root.iter("item"))) != 62:
            raise AssertionError(f"section {root.tag} of {len(list(root.iter('item')))} items")

    def single_item(self):
        answer = self.get("/docs/?item.xml=a.bin")
        self.expect(answer, 200, "application/xml; charset=UTF-8")
        if ElementTree.fromstring(answer.body).findtext("name") != "a.bin":
            raise AssertionError("another single item")

    def file(self, url, headers=(), expected_status=200):
        answer = self.get(url, headers)
        self.expect(answer, expected_status)
        return answer

    def small_file(self):
        answer = self.file("/docs/a.bin")
        self.expect_body(answer, self.fixture.files["/docs/a.bin"])
        self.ledger.upload(self.fixture.local("/docs/a.bin"), self.address, 1000)

    def large_file(self):
        data = self.fixture.files["/big/large.bin"]
        answer = self.file("/big/large.bin")
        self.expect_body(answer, data)
        self.ledger.upload(self.fixture.local("/big/large.bin"), self.address, len(data))

    def range(self):
        url = self.dice.choice(("/docs/a.bin", "/big/large.bin"))
        data = self.fixture.files[url]
        first = self.dice.randrange(1, len(data))
        answer = self.file(url, (("Range", f"bytes={first}-"),), 206)
        if answer.header("Content-Range") != f"bytes {first}-{len(data) - 1}/{len(data)}":
            raise AssertionError(f"Content-Range {answer.header('Content-Range')}")
        self.expect_body(answer, data[first:])
        self.ledger.upload(self.fixture.local(url), self.address, len(data) - first, whole=False)

    def deflated(self):
        text = self.fixture.files["/docs/text.txt"]
        answer = self.file("/docs/text.txt", (("Accept-Encoding", "gzip, deflate"),))
        if answer.header("Content-Encoding") != "deflate":
            raise AssertionError("not deflated")
        if zlib.decompressobj(-zlib.MAX_WBITS).decompress(answer.body) != text:
            raise AssertionError("the deflated body does not inflate to the file")
        self.ledger.upload(self.fixture.local("/docs/text.txt"), self.address, len(answer.body))

    def head(self):
        answer = self.get("/big/large.bin", method="HEAD")
        self.expect(answer, 200)
        if int(answer.header("Content-Length")) != len(self.fixture.files["/big/large.bin"]) or answer.body:
            raise AssertionError("the head of HEAD")

    def not_modified(self):
        since = time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(time.time() + 86400))
        answer = self.get("/docs/a.bin", (("If-Modified-Since", since),))
        self.expect(answer, 304)

    def thumbnail(self):
        name = self.dice.choice(sorted(self.fixture.pictures))
        answer = self.get("/photos/?miniature=" + name)
        self.expect(answer, 200, "image/bmp")
        if bitmap_size(answer.body) != self.fixture.pictures[name]:
            raise AssertionError(f"thumbnail of {name} is {bitmap_size(answer.body)}")

    def resources_kept(self):
        keep = (("Connection", "Keep-Alive"),)
        with connect(self.server, self.address) as client:
            for _ in range(self.dice.randrange(2, 6)):
                client.sendall(request_bytes("/?res=classic.css", keep, port=self.server.port))
                answer = read_answer(client)
                self.expect(answer, 200, "text/css")
                self.expect_body(answer, self.fixture.stylesheet)
                if answer.header("Connection") != "Keep-Alive":
                    raise AssertionError("a resource did not keep its connection")

    def playlist(self):
        answer = self.get("/music/?folder.pls", (("Host", "music.example"),))
        self.expect(answer, 200, "audio/scpls")
        port = self.server.port
        expected = (f"[playlist]\r\nFile1=http://music.example:{port}/music/one.mp3\r\nTitle1=one.mp3\r\n"
                    f"Length1=-1\r\nFile2=http://music.example:{port}/music/two.mp3\r\nTitle2=two.mp3\r\n"
                    "Length2=-1\r\nNumberOfEntries=2\r\nVersion=2\r\n").encode()
        self.expect_body(answer, expected)
        self.ledger.event(6, self.address, self.fixture.local("/music/"))

    def audio_player(self):
        answer = self.get("/music/", (("User-Agent", "VLC/3.0"),))
        self.expect(answer, 200, "audio/scpls")
        self.ledger.event(6, self.address, self.fixture.local("/music/"))

    def banned(self):
        return self.login_failures >= MAX_IDENTIFICATION_ERROR

    def expect_members(self, answer):
        if self.banned():
            self.expect(answer, 403)
            if b"IP banned" not in answer.body or MEMBERS_TEXT in answer.raw:
                raise AssertionError("a banned address got more than 403")
            return False
        self.expect(answer, 200, "text/plain")
        self.expect_body(answer, MEMBERS_TEXT)
        self.ledger.upload(self.fixture.members_path, self.address + " (amy)", len(MEMBERS_TEXT))
        return True

    def login_form(self):
        answer = self.get(MEMBERS, (("Content-Type", "application/x-www-form-urlencoded"),), "POST",
                          b"user=amy&password=secret&savepwd=on")
        if self.expect_members(answer) and not answer.all("Set-Cookie")[0].startswith("user=amy"):
            raise AssertionError("no login cookies")

    def login_cookie(self):
        # The password cookie is the server's keyed hash, taken from a form login.
        if getattr(self, "remembered", None) is None:
            answer = self.get(MEMBERS, (("Content-Type", "application/x-www-form-urlencoded"),), "POST",
                              b"user=amy&password=secret&savepwd=on")
            if not self.expect_members(answer):
                return
            self.remembered = "; ".join(cookie.split(";", 1)[0] for cookie in answer.all("Set-Cookie"))
        self.expect_members(self.get(MEMBERS, (("Cookie", self.remembered),)))

    def no_credentials(self):
        answer = self.get(MEMBERS)
        if self.banned():
            self.expect(answer, 403)
        else:
            self.expect(answer, 401)
        if MEMBERS_TEXT in answer.raw:
            raise AssertionError("the members' file without a login")

    def wrong_login(self):
        self.serial += 1
        if self.dice.random() < 0.5:
            answer = self.get(MEMBERS, (("Cookie", cookie_of("amy", f"wrong{self.serial}")),))
        else:
            answer = self.get(MEMBERS, (("Content-Type", "application/x-www-form-urlencoded"),), "POST",
                              f"user=amy&password=wrong{self.serial}".encode())
        if MEMBERS_TEXT in answer.raw:
            raise AssertionError("the members' file for a wrong login")
        if self.banned():
            self.expect(answer, 403)
            return
        self.login_failures += 1
        self.ledger.event(9, self.address)
        if self.login_failures < MAX_IDENTIFICATION_ERROR:
            self.expect(answer, 401)
            return
        self.expect(answer, 403)
        if b"Too many identification errors" not in answer.body:
            raise AssertionError("the failure that bans is not told")
        self.ledger.event(10, self.address, BAN_DURATION)

    def not_found(self):
        self.serial += 1
        url = f"/missing-{self.address}-{self.serial}.txt"
        self.expect(self.get(url), 404)
        self.ledger.event(7, self.address, self.fixture.local(url))

    def raw(self, data):
        with connect(self.server, self.address) as client:
            client.sendall(data)
            return endurance.parse_answer(read_to_end(client))

    def bad_request(self):
        data = self.dice.choice((b"hello\r\n\r\n", b"GET docs/a.bin HTTP/1.1\r\n\r\n", b"OPTIONS / HTTP/1.1\r\n\r\n",
                                 b"GET /docs/a.bin%00.txt HTTP/1.1\r\n\r\n"))
        self.expect(self.raw(data), 400)

    def not_allowed(self):
        answer = self.get("/docs/a.bin", method=self.dice.choice(("PUT", "DELETE", "TRACE")))
        self.expect(answer, 405)
        if answer.header("Allow") != "GET, HEAD, POST":
            raise AssertionError("no Allow")

    def too_long_url(self):
        self.expect(self.get("/" + "u" * endurance.MAX_URL_SIZE), 414)

    def too_large(self):
        self.expect(self.get("/docs/a.bin", (("X-Padding", "p" * endurance.MAX_REQUEST_SIZE),)), 413)

    # Ways out of the share: the URL, its answer, and the local path of its history event.
    TRAVERSALS = (
        ("/../secret.txt", 404, "/../secret.txt"),
        ("/docs/../../secret.txt", 404, "/docs/../../secret.txt"),
        ("/%2e%2e/secret.txt", 404, "/../secret.txt"),
        ("/docs/%2e%2e%2f%2e%2e%2fsecret.txt", 404, "/docs/../../secret.txt"),
        ("/docs/out-link", 404, "/docs/out-link"),
        # No such resource: the root page.
        ("/?res=../../secret.txt", 200, "/"),
    )

    def traversal(self):
        url, status, local = self.dice.choice(self.TRAVERSALS)
        answer = self.raw(b"GET " + url.encode() + b" HTTP/1.1\r\nHost: localhost\r\n\r\n")
        self.expect(answer, status)
        self.ledger.event(7 if status == 404 else 4, self.address, self.fixture.local(local))

    def leaves_mid_file(self):
        with connect(self.server, self.address, receive_buffer=8192) as client:
            client.sendall(request_bytes("/big/huge.bin", port=self.server.port))
            received = 0
            while received < 128 * 1024:
                chunk = client.recv(65536)
                if not chunk:
                    raise AssertionError("closed at the start of the file")
                received += len(chunk)
        self.ledger.cut_upload(self.fixture.huge_path, self.address)


class Monitor(threading.Thread):
    """Samples the program's descriptors and resident size every half second."""

    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid = pid
        self.samples = []
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.wait(0.5):
            try:
                self.samples.append((time.monotonic(), endurance.descriptors(self.pid),
                                     endurance.resident_kib(self.pid)))
            except (OSError, AssertionError):
                # The program is gone or ending: nothing more to sample.
                return


class Soak(unittest.TestCase):
    def setUp(self):
        self.form = LONG if endurance.long_form() else SHORT
        self.fixture = Fixture()
        self.server = self.fixture.server
        self.fixture.start()

    def tearDown(self):
        self.server.stop()
        self.server.clean()

    def run_clients(self, ledger, seconds, pause, clients, attackers, first=0):
        end = time.monotonic() + seconds
        threads = [Client(self.fixture, ledger, first + number, end, pause) for number in range(clients)]
        threads += [Client(self.fixture, ledger, first + number, end, pause, attacker=True)
                    for number in range(attackers)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    def test_many_clients_for_a_while(self):
        server, ledger = self.server, Ledger()
        pid = server.process.pid
        # Warm-up: every action once, so that what the program opens for good is open.
        warm = Client(self.fixture, ledger, 200, 0, 0)
        for action in sorted(set(warm.actions), key=lambda action: action.__name__):
            warm.act(action)
        self.assertEqual(ledger.failures, [])
        endurance.wait_until(server, lambda: not endurance.connections(server), "the warm-up's connections to close")
        baseline_descriptors = endurance.descriptors(pid)
        baseline_resident = endurance.resident_kib(pid)
        rows_before = sum(ledger.events.values()) + sum(ledger.transfers.values()) + sum(ledger.cut.values())

        monitor = Monitor(pid)
        monitor.start()
        started = time.monotonic()
        self.run_clients(ledger, self.form["seconds"], self.form["pause"], self.form["clients"],
                         self.form["attackers"])
        elapsed = time.monotonic() - started
        self.assertEqual(ledger.failures[:20], [], f"{len(ledger.failures)} failures")
        self.assertIsNone(server.process.poll(), "the program ended")

        # Every connection closed: the descriptors come back to what they were. Fewer is no
        # leak: one still closing when the baseline was taken may be gone by now.
        endurance.wait_until(server, lambda: endurance.descriptors(pid) <= baseline_descriptors,
                             f"the descriptors to come back to {baseline_descriptors} "
                             f"(now {endurance.descriptors(pid)})")
        monitor.stopping.set()
        monitor.join()
        resident = endurance.resident_kib(pid)
        rows = sum(ledger.events.values()) + sum(ledger.transfers.values()) + sum(ledger.cut.values()) - rows_before
        allowed = baseline_resident + RESIDENT_SLACK_KIB + rows * BYTES_PER_STORED_ROW // 1024
        samples = monitor.samples or [(0, baseline_descriptors, baseline_resident)]
        endurance.report(
            f"soak: {ledger.requests()} actions in {elapsed:.0f} s ({ledger.requests() / elapsed:.0f}/s) by "
            f"{self.form['clients'] + self.form['attackers']} clients; descriptors {baseline_descriptors} at rest, "
            f"{max(sample[1] for sample in samples)} at most; resident {baseline_resident} KiB after the warm-up, "
            f"{max(sample[2] for sample in samples)} KiB at most, {resident} KiB at the end, "
            f"{rows} store rows added (allowed {allowed} KiB)")
        quarters = [samples[min(len(samples) - 1, len(samples) * quarter // 4)] for quarter in range(5)]
        endurance.report("soak: descriptors and resident KiB at each quarter of the run: " +
                         ", ".join(f"{sample[1]} / {sample[2]}" for sample in quarters))
        endurance.report("soak actions: " + ", ".join(f"{kind} {count}" for kind, count in sorted(ledger.kinds.items())))
        if not endurance.is_sanitized(pid):
            self.assertLessEqual(resident, allowed)

        endurance.assert_clean_stop(self, server)
        endurance.assert_stores_hold(self, server, ledger)


if __name__ == "__main__":
    endurance.main()
