"""The main window under a real display: its title, the tool bar found by its texts, the
server started and stopped from it, each panel shown, and a close that saves the stores."""

import os
import unittest

import desktop
from desktop import orvendale

class MainWindow(unittest.TestCase):
    def setUp(self):
        self.session, self.server = desktop.session_with_program(self, [orvendale.Share("/music/", "music")])
        self.server.folder("music")
        self.server.write("music/song.txt", "la la la")

    def test_the_tool_bar_runs_the_server_shows_each_panel_and_a_close_saves(self):
        session, server = self.session, self.server
        server.start()  # it starts the server on load
        pid = server.process.pid
        frame = desktop.main_window(session, server)
        title = frame.name

        for text in ("Server on", "Shares", "Uploads", "History", "Settings"):
            self.assertIsNotNone(session.button(frame, text))
        self.assertTrue(session.is_checked(session.button(frame, "Shares")))

        session.press(session.button(frame, "Server on"))
        desktop.wait_for(lambda: not orvendale._connects(server.port), "the server to stop listening")
        stopped = session.button(frame, "Server off")
        self.assertFalse(session.is_checked(stopped))
        session.press(stopped)
        desktop.wait_for(lambda: orvendale._connects(server.port), "the server to listen again")
        self.assertTrue(session.is_checked(session.button(frame, "Server on")))

        for label in ("Uploads", "History", "Settings", "Shares"):
            session.press(session.button(frame, label))
            desktop.wait_for(lambda: session.is_checked(session.button(frame, label)), f"{label} to be pressed")
            others = [other for other in ("Shares", "Uploads", "History", "Settings") if other != label]
            for other in others:
                self.assertFalse(session.is_checked(session.button(frame, other)), other)

        # Something for the stores to keep: a folder page (history) and a file sent.
        self.assertEqual(server.get("/music/").status, 200)
        self.assertEqual(server.get("/music/song.txt").body, b"la la la")

        session.close_window(pid, title)
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())
        for store in ("history.xml", "uploaded.xml"):
            path = os.path.join(server.app, store)
            self.assertTrue(os.path.isfile(path), store)
        with open(os.path.join(server.app, "uploaded.xml"), encoding="utf-8") as uploaded:
            self.assertIn("song.txt", uploaded.read())


if __name__ == "__main__":
    desktop.main()
