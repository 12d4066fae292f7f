"""The program killed (SIGKILL) while it saves its stores at a stop: history.xml,
uploaded.xml and cache/cache.xml, large enough that each save takes a while, are written
one after the other once SIGTERM has asked for the stop. The kill comes as soon as the
folder shows a store's temporary file, or as soon as it has been renamed over the store.
Each store is then the old file byte for byte or the whole new one, never a truncated file;
the next start loads it, and the stores of the last, clean run hold everything that every
run before it saved. (config.xml is written only by the settings editors; the in-process
test store_crash_test.cpp kills its save, and the others', at finer points.)"""

import os
import signal
import unittest
import xml.etree.ElementTree as ElementTree

import endurance
from endurance import Server
from orvendale import Share
from test_thumbnails import png

# The sizes of the stores the first run finds, in the short form and in the long one.
HISTORY_EVENTS, TRANSFERS, THUMBNAILS = (40000, 40000, 4000) if endurance.long_form() else (4000, 4000, 600)
# What every run adds: one file sent (two events, one transfer) and one new thumbnail.
ADDED = {"history.xml": 2, "uploaded.xml": 1, "cache/cache.xml": 1}
ORDER = ("history.xml", "uploaded.xml", "cache/cache.xml")
ATTEMPTS = 6


def count_of(name, root):
    return len(root.findall({"history.xml": "EVENT", "uploaded.xml": "TRANSFERS/TRANSFER",
                             "cache/cache.xml": "MINIATURE"}[name]))


class CrashSafety(unittest.TestCase):
    def setUp(self):
        server = Server([Share("/", "pub")], html={"ALLOW_MINIATURES": "true"},
                        history={"KEEP_HISTORY": "true", "MAX_ENTRY": "-1"})
        server.write("pub/a.txt", "the file every run sends")
        self.pictures = server.folder("pub/pictures")
        self.server = server
        self.runs = 0

    def tearDown(self):
        self.server.stop()
        self.server.clean()

    def seed_stores(self):
        """Stores as earlier runs would have left them, written before the first start."""
        server = self.server
        date = "2024/03/01 12:00:00"
        events = "".join(f'<EVENT type="3" ipAddress="192.168.0.{n % 250}" date="{date}" text="/srv/f{n}.mp3"/>'
                         for n in range(HISTORY_EVENTS))
        rows = "".join(f'<TRANSFER path="/srv/f{n % 700}.mp3" date="{date}" clientInfos="192.168.0.{n % 250}" '
                       f'transferred="{n}" completeFile="true" finished="true"/>' for n in range(TRANSFERS))
        files = "".join(f'<FILE path="/srv/f{n}.mp3" nbFinished="1" sizeSent="1"/>' for n in range(700))
        # Thumbnails of pictures alike in size and time, so that one entity tag fits them all.
        picture = png(4, 4)
        for n in range(THUMBNAILS):
            path = os.path.join(self.pictures, f"old-{n}.png")
            with open(path, "wb") as out:
                out.write(picture)
            os.utime(path, (1709294400, 1709294400))
        server.start()
        etag = server.get("/pictures/old-0.png").header("ETag").strip('"')
        server.stop()
        os.makedirs(server.app_file("cache"), exist_ok=True)
        entries = []
        for n in range(THUMBNAILS):
            with open(server.app_file(f"cache/{n + 1}"), "wb") as out:
                out.write(b"BM")
            source = os.path.join(self.pictures, f"old-{n}.png")
            entries.append(f'<MINIATURE path="{source}" id="{n + 1}" etag="{etag}"/>')
        for name, text in (("history.xml", f"<HISTORY>{events}</HISTORY>"),
                           ("uploaded.xml", f"<UPLOADED><TRANSFERS>{rows}</TRANSFERS><FILES>{files}</FILES></UPLOADED>"),
                           ("cache/cache.xml", f"<CACHE>{''.join(entries)}</CACHE>")):
            with open(server.app_file(name), "w", encoding="utf-8") as out:
                out.write('<?xml version="1.0" encoding="UTF-8"?>\n' + text)

    def run_once(self):
        """Starts the program on the stores there are and makes it change each of them."""
        server = self.server
        server.restart()
        self.runs += 1
        answer = server.get("/a.txt")
        self.assertEqual(answer.status, 200)
        server.write(f"pub/pictures/new-{self.runs}.png", png(30 + self.runs, 20))
        self.assertEqual(server.get(f"/pictures/?miniature=new-{self.runs}.png").status, 200)

    def read(self, name):
        with open(self.server.app_file(name), "rb") as store:
            return store.read()

    def stores(self):
        return {name: self.read(name) for name in ORDER}

    def kill_during_save(self, name, point):
        """Asks the program to stop and kills it at the point of the store's save; False
        when it ended cleanly before the point came."""
        server = self.server
        folder = os.path.dirname(server.app_file(name))
        prefix = os.path.basename(name) + ".tmp-"
        # What killed saves of earlier runs left is not this save.
        left = set(os.listdir(folder))
        server.process.send_signal(signal.SIGTERM)
        seen = False
        while server.process.poll() is None:
            present = any(entry.startswith(prefix) and entry not in left for entry in os.listdir(folder))
            if (present and point == "temporary file appears") or (seen and not present):
                server.process.send_signal(signal.SIGKILL)
                server.stop()
                return True
            seen = seen or present
        self.assertEqual(server.stop(), 0, server.output()[-2000:])
        return False

    def test_a_kill_during_a_save_leaves_each_store_old_or_new(self):
        self.seed_stores()
        counts = {name: count_of(name, ElementTree.fromstring(data)) for name, data in self.stores().items()}
        self.assertEqual(counts, {"history.xml": HISTORY_EVENTS, "uploaded.xml": TRANSFERS,
                                  "cache/cache.xml": THUMBNAILS})
        hits, misses, cut = [], 0, 0
        for killed in ORDER:
            for point in ("temporary file appears", "temporary file renamed"):
                with self.subTest(store=killed, point=point):
                    for _ in range(ATTEMPTS):
                        self.run_once()
                        before = self.stores()
                        left = len(self.temporary_files())
                        hit = self.kill_during_save(killed, point)
                        counts = self.check_stores(before, counts)
                        if hit:
                            # A temporary file left behind: the kill came before its rename.
                            cut += len(self.temporary_files()) - left
                            hits.append((killed, point))
                            break
                        misses += 1
                    self.assertIn((killed, point), hits, f"the save of {killed} was never caught")
        # A last run starts on what the kills left, and stops cleanly: its stores hold
        # what the earlier runs saved, so each start read them whole.
        leftovers = self.temporary_files()
        self.run_once()
        config = self.read("config.xml")
        endurance.assert_clean_stop(self, self.server)
        final = {name: count_of(name, ElementTree.fromstring(data)) for name, data in self.stores().items()}
        self.assertEqual(final, {name: counts[name] + ADDED[name] for name in ORDER})
        # config.xml is not the program's to write at a stop; the temporary files that
        # killed saves left are no store.
        self.assertEqual(self.read("config.xml"), config)
        self.assertEqual(sorted(self.temporary_files()), sorted(leftovers))
        endurance.report(f"crash safety: {len(hits)} kills during the saves at a stop, {cut} of them before the "
                         f"rename of a temporary file; {misses} stops ended before the point; stores at the end: "
                         f"{final}")

    def temporary_files(self):
        return [os.path.join(folder, entry) for folder in (self.server.app, self.server.app_file("cache"))
                for entry in os.listdir(folder) if ".tmp-" in entry]

    def check_stores(self, before, counts):
        """Each store is its old bytes, or a whole new file with what the run added.
        Returns the counts the next run starts from."""
        after = self.stores()
        updated = {}
        for name in ORDER:
            with self.subTest(store=name):
                if after[name] == before[name]:
                    updated[name] = counts[name]
                    continue
                root = ElementTree.fromstring(after[name])  # a truncated file fails here
                updated[name] = count_of(name, root)
                self.assertEqual(updated[name], counts[name] + ADDED[name])
        return updated


if __name__ == "__main__":
    endurance.main()
