"""The configuration panel in the real window: an account made in the users category and
saved, the identification method chosen in its category and saved, a share restricted to
the account in config.xml, the program started again on the same application folder, and
the account logging in with the method saved."""

import base64
import os
import re
import unittest

import desktop
from desktop import orvendale

TITLE = desktop.TITLE
LOGIN = "dan"
PASSWORD = "é secret " + "x" * 60  # longer than one line of Base64
MEMBERS_TEXT = b"for members only"


class ConfigurationPanel(unittest.TestCase):
    def setUp(self):
        self.session = desktop.Session()
        self.addCleanup(self.session.close)
        self.session.start()
        self.server = orvendale.Server([orvendale.Share("/", "pub"), orvendale.Share("/members/", "members")],
                                       environment=self.session.program_environment())
        self.addCleanup(self.server.clean)
        self.addCleanup(desktop.stop_program, self.server)
        self.server.write("pub/open.txt", b"open")
        self.server.write("members/m.txt", MEMBERS_TEXT)

    def category(self, frame, name):
        """Chooses a category in the list of the configuration panel."""
        p = self.session.pyatspi
        item = self.session.find(frame, (p.ROLE_LIST_ITEM,), name, what=f"the category {name!r}")
        # The item's one action selects it, as a click does.
        self.session.press(item)

    def press_when_enabled(self, frame, text):
        """Presses the button once it is enabled: a disabled button offers no action."""
        button = desktop.wait_for(
            lambda: next((b for b in self.session.find_all(frame, self.session.button_roles(), text)
                          if b.queryAction().nActions > 0), None), f"the button {text!r} enabled")
        self.session.press(button)

    def type_into(self, frame, roles, name, text):
        box = self.session.find(frame, roles, name, what=f"the box {name!r}")
        box.queryEditableText().setTextContents(text)

    def test_an_account_and_a_method_saved_in_the_window_log_in_after_a_restart(self):
        session, server = self.session, self.server
        p = session.pyatspi
        server.start()
        pid = server.process.pid
        frame = session.find(session.application(pid), (p.ROLE_FRAME,), TITLE, what="the main window")
        title = frame.name
        session.press(session.button(frame, "Settings"))

        self.category(frame, "Users")
        self.type_into(frame, (p.ROLE_TEXT, p.ROLE_ENTRY), "Login", LOGIN)
        self.type_into(frame, (p.ROLE_PASSWORD_TEXT, p.ROLE_TEXT, p.ROLE_ENTRY), "Password", PASSWORD)
        self.press_when_enabled(frame, "Add")
        desktop.wait_for(lambda: session.find_all(frame, (p.ROLE_LIST_ITEM,), LOGIN), "the account in the list")
        self.press_when_enabled(frame, "Save")
        config = os.path.join(server.app, "config.xml")
        desktop.wait_for(lambda: LOGIN in open(config, encoding="utf-8").read(), "the account in config.xml")

        self.category(frame, "Identification")
        basic = session.find(frame, (p.ROLE_RADIO_BUTTON,), "HTTP authentication, asked by the browser")
        session.press(basic)
        self.press_when_enabled(frame, "Save")
        desktop.wait_for(lambda: "<IDENTIFICATION_METHOD>1<" in open(config, encoding="utf-8").read(),
                         "the method in config.xml")

        session.close_window(pid, title)
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())
        with open(config, encoding="utf-8") as source:
            stored = source.read()
        self.assertNotIn("&#10;", stored)
        self.assertEqual(os.stat(config).st_mode & 0o777, 0o600)

        # The share restricted to the new account, and a run on a new port.
        server.port = orvendale.free_port()
        stored = re.sub(r"<LOCAL_PORT>\d*</LOCAL_PORT>", f"<LOCAL_PORT>{server.port}</LOCAL_PORT>", stored)
        stored = re.sub(r'(serverPath="/members/"[^>]*users=")[^"]*"', rf'\g<1>{LOGIN}"', stored)
        with open(config, "w", encoding="utf-8") as out:
            out.write(stored)
        server._launch()
        self.assertIsNone(server._wait_until_listening(), server.output())

        self.assertEqual(server.get("/members/m.txt").status, 401)
        credentials = base64.b64encode(f"{LOGIN}:{PASSWORD}".encode("cp1252")).decode("ascii")
        answer = server.get("/members/m.txt", (("Authorization", "Basic " + credentials),))
        self.assertEqual((answer.status, answer.body), (200, MEMBERS_TEXT), answer.raw[:400])
        pid = server.process.pid
        frame = session.find(session.application(pid), (p.ROLE_FRAME,), TITLE, what="the main window")
        session.close_window(pid, frame.name)
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())


if __name__ == "__main__":
    desktop.main()
