"""The event history as it reaches history.xml: what the running program records for a file
that is not there, a folder, a failed login and a virtual folder, read back after a clean stop; the events of
an earlier run kept beside a damaged one; and the file written when the history is not kept."""

import base64
import datetime
import os
import unittest
import xml.etree.ElementTree as ElementTree

import orvendale
from orvendale import Server, Share

OLD_EVENTS = (
    '<?xml version="1.0" encoding="UTF-8"?>\n<HISTORY>'
    '<EVENT type="3" ipAddress="10.0.0.5 (amy)" date="2006/03/07 04:05:09" text="/srv/old.txt"/>'
    '<EVENT type="12" ipAddress="10.0.0.5" date="2006/03/07 04:05:10" text="unknown type"/>'
    '<EVENT type="7" ipAddress="" date="2006/03/07 04:05:11" text="no address"/>'
    '<EVENT type="7" ipAddress="10.0.0.5" date="not a date" text="no date"/>'
    '<EVENT type="7" ipAddress="10.0.0.5" date="2006/03/07 04:05:12"/>'
    '<EVENT type="9" ipAddress="10.0.0.6" date="2006/03/07 04:05:13" text=""/>'
    "</HISTORY>")


def basic(login, password):
    return ("Authorization", "Basic " + base64.b64encode(f"{login}:{password}".encode("latin-1")).decode("ascii"))


def make(history=None, prepare=None):
    server = Server([Share("/", "pub"), Share("/members/", "members", users="amy"), Share("/music/jazz/", "jazz")],
                    users={"amy": "secret"},
                    protocol={"IDENTIFICATION_METHOD": "1", "ENABLE_COMPRESSION": "false"}, history=history,
                    prepare=prepare)
    server.write("pub/open.txt", "open to all")
    server.folder("pub/sub")
    server.write("members/m.txt", "for members only")
    server.folder("jazz")
    return server


def write_old_events(app):
    with open(os.path.join(app, "history.xml"), "w", encoding="utf-8") as out:
        out.write(OLD_EVENTS)


class History(unittest.TestCase):
    """Each test runs a server of its own, since what it checks is left at the stop."""

    def assertStatus(self, answer, status):
        self.assertEqual(answer.status, status, answer.raw[:600])

    def run_server(self, server, requests):
        """Starts the server, asks it the requests, stops it cleanly and returns the root of
        the history.xml it left."""
        try:
            server.start()
            for url, headers, status in requests:
                self.assertStatus(server.get(url, headers), status)
        finally:
            code = server.stop()
        self.assertEqual(code, 0, server.output())
        return ElementTree.parse(os.path.join(server.app, "history.xml")).getroot()

    def assertDate(self, text):
        moment = datetime.datetime.strptime(text, "%Y/%m/%d %H:%M:%S")
        self.assertLess(abs((datetime.datetime.now() - moment).total_seconds()), 600, text)

    def test_missing_file_folder_and_failed_login_are_read_back(self):
        server = make()
        try:
            history = self.run_server(server, [
                ("/missing.txt", (), 404),
                ("/sub/", (), 200),
                ("/members/", (basic("amy", "wrong"),), 401),
                ("/music/", (), 200),
            ])
            self.assertEqual(history.tag, "HISTORY")
            events = [event.attrib for event in history.iter("EVENT")]
            self.assertEqual([(e["type"], e["ipAddress"]) for e in events],
                             [("7", "127.0.0.1"), ("4", "127.0.0.1"), ("9", "127.0.0.1"), ("5", "127.0.0.1")],
                             events)
            self.assertEqual(events[0]["text"], os.path.join(server.root, "pub", "missing.txt"))
            self.assertEqual(os.path.normpath(events[1]["text"]), os.path.join(server.root, "pub", "sub"))
            self.assertEqual(events[2]["text"], "")
            self.assertEqual(events[3]["text"], "/music/")  # a virtual folder has only its URL path
            for event in events:
                self.assertEqual(list(event), ["type", "ipAddress", "date", "text"])
                self.assertDate(event["date"])
        finally:
            server.clean()

    def test_earlier_events_stay_beside_a_damaged_one(self):
        server = make(prepare=write_old_events)
        try:
            history = self.run_server(server, [("/missing.txt", (), 404)])
            events = [(e.attrib["type"], e.attrib["ipAddress"], e.attrib["date"], e.attrib["text"])
                      for e in history.iter("EVENT")]
            self.assertEqual(events[:2], [("3", "10.0.0.5 (amy)", "2006/03/07 04:05:09", "/srv/old.txt"),
                                          ("9", "10.0.0.6", "2006/03/07 04:05:13", "")])
            self.assertEqual([event[:2] for event in events[2:]], [("7", "127.0.0.1")])
        finally:
            server.clean()

    def test_history_not_kept_is_written_without_events(self):
        server = make(history={"KEEP_HISTORY": "false"}, prepare=write_old_events)
        try:
            history = self.run_server(server, [("/missing.txt", (), 404)])
            self.assertEqual(history.tag, "HISTORY")
            self.assertEqual(list(history), [])
        finally:
            server.clean()


if __name__ == "__main__":
    orvendale.main()
