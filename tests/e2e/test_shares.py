"""The shares window of the real program: a share added through its fields serves a file at
once, and is in config.xml after the window is closed."""

import os
import re
import unittest
import xml.etree.ElementTree as ElementTree

import desktop
from desktop import orvendale

class SharesWindow(unittest.TestCase):
    def setUp(self):
        self.session, self.server = desktop.session_with_program(self, [orvendale.Share("/music/", "music")])
        self.server.folder("music")
        self.books = self.server.folder("my books")
        self.server.write("my books/chapter one.txt", "It was a dark and stormy night.")

    def set_text(self, accessible, text):
        accessible.queryEditableText().setTextContents(text)
        desktop.wait_for(lambda: accessible.queryText().getText(0, -1) == text, f"the text {text!r}")

    def test_a_share_added_in_the_window_serves_its_files_and_is_saved_at_shut_down(self):
        session, server = self.session, self.server
        server.start()
        pid = server.process.pid
        frame = desktop.main_window(session, server)
        title = frame.name
        self.assertEqual(server.get("/books/chapter%20one.txt").status, 404)

        text_roles = (session.pyatspi.ROLE_TEXT, session.pyatspi.ROLE_ENTRY)
        self.set_text(session.find(frame, text_roles, "Server path", what="the server path box"), "/books/")
        self.set_text(session.find(frame, text_roles, "Local folder", what="the local folder box"), self.books)
        add = session.button(frame, "Add")
        desktop.wait_for(lambda: add.getState().contains(session.pyatspi.STATE_ENABLED), "Add to be enabled")
        session.press(add)
        session.find(frame, (session.pyatspi.ROLE_LIST_ITEM,), "my books", what="the new share in the list")

        answer = desktop.wait_for(lambda: (lambda a: a if a.status == 200 else None)(
            server.get("/books/chapter%20one.txt")), "the file of the new share")
        self.assertEqual(answer.body, b"It was a dark and stormy night.")

        session.close_window(pid, title)
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())
        shares = ElementTree.parse(os.path.join(server.app, "config.xml")).getroot().iter("SHARE")
        saved = {share.get("serverPath"): share.get("localPath") for share in shares}
        self.assertEqual(saved.get("/books/"), self.books)
        self.assertIn("/music/", saved)


if __name__ == "__main__":
    desktop.main()
