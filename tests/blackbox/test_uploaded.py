"""The store of sent files as the built program keeps it: a file of a share fetched whole and
from a byte range is two transfers of the bytes really sent and one file whose counters
match, after a clean stop; the totals carry on at the next run; two paths that differ only
in case are two files; and an uploaded.xml that cannot be read whole is kept aside."""

import glob
import os
import unittest
import xml.etree.ElementTree as ElementTree

import orvendale
from orvendale import Server, Share


def records(server):
    root = ElementTree.parse(os.path.join(server.app, "uploaded.xml")).getroot()
    rows = [row.attrib for row in root.iter("TRANSFER")]
    files = [entry.attrib for entry in root.iter("FILE")]
    return rows, files


class SentFiles(unittest.TestCase):
    def run_server(self, server, fetch):
        server.start()
        try:
            fetch(server)
        finally:
            code = server.stop()
        self.assertEqual(code, 0, server.output())

    def test_a_file_whole_and_in_part_is_two_transfers_of_one_file(self):
        data = bytes(range(256)) * 20  # 5120 bytes
        kept = {}

        def keep_store(app):
            # The second run starts from the store the first one wrote.
            if "store" in kept:
                with open(os.path.join(app, "uploaded.xml"), "wb") as out:
                    out.write(kept["store"])

        server = Server([Share("/", "pub")], prepare=keep_store)
        try:
            path = server.write("pub/docs/data.bin", data)

            def fetch(running):
                whole = running.get("/docs/data.bin")
                self.assertEqual(whole.status, 200)
                self.assertEqual(whole.body, data)
                part = running.get("/docs/data.bin", (("Range", "bytes=1000-"),))
                self.assertEqual(part.status, 206)
                self.assertEqual(part.body, data[1000:])

            self.run_server(server, fetch)
            rows, files = records(server)
            self.assertEqual([(row["path"], row["transferred"], row["completeFile"], row["finished"],
                               row["clientInfos"]) for row in rows],
                             [(path, "5120", "true", "true", "127.0.0.1"),
                              (path, "4120", "false", "true", "127.0.0.1")])
            self.assertEqual(files, [{"path": path, "nbFinished": "2", "sizeSent": "9240"}])
            for row in rows:
                self.assertRegex(row["date"], r"^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d$")

            # The next run reads them back and adds to the same file.
            with open(os.path.join(server.app, "uploaded.xml"), "rb") as stored:
                kept["store"] = stored.read()
            self.run_server(server, lambda running: self.assertEqual(running.get("/docs/data.bin").status, 200))
            rows, files = records(server)
            self.assertEqual([row["transferred"] for row in rows], ["5120", "4120", "5120"])
            self.assertEqual(files, [{"path": path, "nbFinished": "3", "sizeSent": "14360"}])
        finally:
            server.clean()

    def test_paths_that_differ_only_in_case_are_two_files(self):
        server = Server([Share("/", "pub")])
        try:
            lower = server.write("pub/song.mp3", b"l" * 100)
            upper = server.write("pub/SONG.mp3", b"U" * 300)

            def fetch(running):
                self.assertEqual(running.get("/song.mp3").body, b"l" * 100)
                self.assertEqual(running.get("/SONG.mp3").body, b"U" * 300)

            self.run_server(server, fetch)
            _, files = records(server)
            self.assertEqual(files, [{"path": lower, "nbFinished": "1", "sizeSent": "100"},
                                     {"path": upper, "nbFinished": "1", "sizeSent": "300"}])
        finally:
            server.clean()

    def test_a_store_that_cannot_be_read_whole_is_kept_aside(self):
        broken = (b'<?xml version="1.0" encoding="UTF-8"?>\n<UPLOADED><TRANSFERS>'
                  b'<TRANSFER path="/old/file" date="2006/03/07 04:05:09" clientInfos="10.0.0.1" transferred="7" '
                  b'completeFile="true" finished="true"/><TRANSF')

        def lay_broken_store(app):
            with open(os.path.join(app, "uploaded.xml"), "wb") as out:
                out.write(broken)

        server = Server([Share("/", "pub")], prepare=lay_broken_store)
        try:
            path = server.write("pub/a.txt", b"a" * 10)
            self.run_server(server, lambda running: self.assertEqual(running.get("/a.txt").status, 200))
            aside = glob.glob(os.path.join(server.app, "uploaded.xml.bad-*"))
            self.assertEqual(len(aside), 1, os.listdir(server.app))
            with open(aside[0], "rb") as kept:
                self.assertEqual(kept.read(), broken)
            rows, files = records(server)
            self.assertEqual([(row["path"], row["transferred"]) for row in rows], [("/old/file", "7"), (path, "10")])
            self.assertEqual(files, [{"path": path, "nbFinished": "1", "sizeSent": "10"}])
        finally:
            server.clean()


if __name__ == "__main__":
    orvendale.main()
