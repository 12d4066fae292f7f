"""The uploads window under a real display: shown from the tool bar, it lists a file sent
while it is open under the frame of sent files, and keeps listing it when it is opened
again."""

import re
import unittest

import desktop
from desktop import orvendale

TITLE = re.compile(r"Orvendale \d+\.\d+( \[Debug mode\])?")


class UploadsWindow(unittest.TestCase):
    def setUp(self):
        self.session = desktop.Session()
        self.addCleanup(self.session.close)
        self.session.start()
        self.server = orvendale.Server([orvendale.Share("/music/", "music")],
                                       environment=self.session.program_environment())
        self.addCleanup(self.server.clean)
        self.addCleanup(desktop.stop_program, self.server)
        self.server.folder("music")
        self.server.write("music/song.txt", "la la la")

    def test_a_file_sent_while_the_window_is_open_is_listed(self):
        session, server = self.session, self.server
        server.start()
        pid = server.process.pid
        frame = session.find(session.application(pid), (session.pyatspi.ROLE_FRAME,), TITLE, what="the main window")
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
