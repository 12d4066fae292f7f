"""The uploads window under a real display: shown from the tool bar, it lists a file sent
while it is open under the frame of sent files, and keeps listing it when it is opened
again."""

import re
import unittest

import desktop
from desktop import orvendale

class UploadsWindow(unittest.TestCase):
    def setUp(self):
        self.session, self.server = desktop.session_with_program(self, [orvendale.Share("/music/", "music")])
        self.server.folder("music")
        self.server.write("music/song.txt", "la la la")

    def test_a_file_sent_while_the_window_is_open_is_listed(self):
        session, server = self.session, self.server
        server.start()
        pid = server.process.pid
        frame = desktop.main_window(session, server)
        title = frame.name
        session.press(session.button(frame, "Uploads"))
        sent = session.find(frame, None, "Files sent", what="the list of sent files")
        session.find(frame, None, "Uploads in progress", what="the list of uploads in progress")

        self.assertEqual(server.get("/music/song.txt").body, b"la la la")
        session.find(sent, None, "song.txt", what="the sent file's row")

        # Shown again, the window fills its list from the store.
        session.press(session.button(frame, "History"))
        session.press(session.button(frame, "Uploads"))
        sent = session.find(frame, None, "Files sent", what="the list of sent files again")
        session.find(sent, None, "song.txt", what="the sent file's row again")

        session.close_window(pid, title)
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())


if __name__ == "__main__":
    desktop.main()
