"""The corpus of hostile raw requests (bad_requests.py), replayed against the program from
many addresses at once: every answer is one of the statuses the server knows, a request
that is complete is answered, one that is not may only be closed without a word once the
idle timer runs out, and no answer holds a byte from outside the shares: not the secret
file beside them, not config.xml, not the system's files, not the members' file without
their login. Run in the sanitized build, the program must report nothing either."""

import collections
import os
import queue
import threading
import unittest
import xml.etree.ElementTree as ElementTree

import bad_requests
import endurance
from endurance import Server, connect, read_to_end
from orvendale import Share
from test_files import patterned
from test_playlists import mp3_bytes

SECRET = b"SECRET-OUTSIDE-THE-SHARES-91c4"
MEMBERS_TEXT = b"MEMBERS-ONLY-TEXT-0b7e"
FORBIDDEN_BYTES = (SECRET, b"<CONFIGURATION", b"pwd:", b"root:x:0:0")
# amy's password in the forms a request can carry it: Basic, the password cookie, the form.
RIGHT_LOGINS = (b"YW15OnNlY3JldA", b"YW15Ong6c2VjcmV0", b"password=c2VjcmV0", b"password=secret")
WORKERS = 90


def answers_of(data, head_only):
    """The answers in the bytes, one after the other: (status, head, body) each; raises
    on bytes that are no answer."""
    answers = []
    while data:
        end = data.find(b"\r\n\r\n")
        if end < 0:
            raise AssertionError(f"bytes that are no answer: {data[:200]!r}")
        lines = data[:end].split(b"\r\n")
        version, status = (lines[0].split(b" ", 2) + [b""])[:2]
        if version != b"HTTP/1.1" or not status.isdigit():
            raise AssertionError(f"status line {lines[0]!r}")
        length = 0
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            if name.lower() == b"content-length":
                length = int(value.strip())
        rest = len(data) - end - 4
        # The answer to a HEAD request that could not be read (400, 413) cannot know it
        # was one: it may come with its body.
        if status == b"304" or (head_only and not (status in (b"400", b"413") and rest >= length)):
            length = 0
        answers.append((int(status), data[:end], data[end + 4:end + 4 + length]))
        data = data[end + 4 + length:]
    return answers


class BadInput(unittest.TestCase):
    def setUp(self):
        server = Server([Share("/", "pub"), Share("/members/", "members", users="amy")], users={"amy": "secret"},
                        protocol={"IDENTIFICATION_METHOD": "1", "MAX_IDENTIFICATION_ERROR": "-1",
                                  "ENABLE_COMPRESSION": "true"},
                        html={"ALLOW_MINIATURES": "true"})
        server.write("pub/docs/a.txt", patterned(1000))
        server.write("pub/docs/large.bin", patterned(3 * endurance.FILE_BLOCK_SIZE))
        server.write("pub/music/x.mp3", mp3_bytes("Title", "Artist", "Album"))
        server.write("members/m.txt", MEMBERS_TEXT)
        server.write("secret.txt", SECRET)
        server.write("secretdir/secret.txt", SECRET)
        server.link("../../secret.txt", "pub/docs/out-link")
        server.link(os.path.join(server.root, "secret.txt"), "pub/docs/abs-link")
        server.link("../../secretdir", "pub/docs/out-dir")
        server.start()
        self.server = server

    def tearDown(self):
        self.server.stop()
        self.server.clean()

    def test_every_hostile_request_gets_a_known_status_and_nothing_from_outside(self):
        corpus = bad_requests.corpus(mutated=3000 if endurance.long_form() else 160)
        self.assertGreaterEqual(len(corpus), 500)
        # Those that may wait for the idle timer first, all at once.
        work = queue.Queue()
        for entry in sorted(corpus, key=lambda entry: entry[2] == bad_requests.ANSWER):
            work.put(entry)
        failures, statuses, silent = [], collections.Counter(), collections.Counter()
        lock = threading.Lock()

        def replay(number):
            source = f"127.0.7.{number + 1}"
            while True:
                try:
                    kind, data, expected = work.get_nowait()
                except queue.Empty:
                    return
                try:
                    got = self.replay_one(source, data, expected)
                    with lock:
                        if got:
                            statuses.update(got)
                        else:
                            silent[kind.split(" ")[0]] += 1
                except Exception as failure:  # every entry is told, with its bytes
                    with lock:
                        failures.append(f"{kind} {data[:160]!r}: {failure}")

        workers = [threading.Thread(target=replay, args=(number,)) for number in range(WORKERS)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        endurance.report(f"bad input: {len(corpus)} requests; statuses {dict(sorted(statuses.items()))}; "
                         f"closed without an answer: {dict(silent)}")
        self.assertEqual(failures[:30], [], f"{len(failures)} failures:\n" + "\n".join(failures[:30]))
        self.assertIsNone(self.server.process.poll(), "the program ended")
        # Still serving.
        answer = endurance.parse_answer(self.server.exchange(bad_requests.get(b"/docs/a.txt")))
        self.assertEqual((answer.status, answer.body), (200, patterned(1000)))
        endurance.assert_clean_stop(self, self.server)

    def replay_one(self, source, data, expected):
        """Sends the request and reads until the program closes; returns the statuses of
        the answers (none for a silent close)."""
        with connect(self.server, source, timeout=4 * endurance.IDLE_TIMEOUT) as client:
            try:
                client.sendall(data)
            except (BrokenPipeError, ConnectionResetError):
                pass  # answered and closed before the whole request was in
            try:
                received = read_to_end(client)
            except ConnectionResetError:
                received = b""
        answers = answers_of(received, head_only=data.lstrip(b"\r\n").upper().startswith(b"HEAD "))
        if not answers and expected == bad_requests.ANSWER:
            raise AssertionError("a complete request closed without an answer")
        for status, head, body in answers:
            if status not in endurance.STATUSES:
                raise AssertionError(f"status {status}")
            for forbidden in FORBIDDEN_BYTES:
                if forbidden in head + body:
                    raise AssertionError(f"{forbidden!r} in the answer {head[:200]!r}")
            if MEMBERS_TEXT in body and not any(login in data for login in RIGHT_LOGINS):
                raise AssertionError("the members' file without the members' login")
            if status == 200 and b"application/xml" in head and body:
                names = {item.findtext("name") for item in ElementTree.fromstring(body).iter("item")}
                if names & {"secret.txt", "config.xml"}:
                    raise AssertionError(f"a page lists {names}")
        return [status for status, _, _ in answers]


if __name__ == "__main__":
    endurance.main()
