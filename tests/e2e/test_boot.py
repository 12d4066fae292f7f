"""The boot category in the real window, with the session's configuration folder in a
temporary XDG_CONFIG_HOME: ticking "start when I log in" and saving writes the autostart
entry, whose Exec line quotes the program's path; unticking and saving removes it; the tray
setting reaches config.xml."""

import os
import shutil
import tempfile
import unittest

import desktop
from desktop import orvendale

TITLE = desktop.TITLE


class BootCategory(unittest.TestCase):
    def setUp(self):
        self.session = desktop.Session()
        self.addCleanup(self.session.close)
        self.session.start()
        self.config_home = tempfile.mkdtemp(prefix="orv xdg ")
        self.addCleanup(shutil.rmtree, self.config_home, True)
        environment = dict(self.session.program_environment(), XDG_CONFIG_HOME=self.config_home)
        self.server = orvendale.Server([orvendale.Share("/", "pub")], environment=environment)
        self.addCleanup(self.server.clean)
        self.addCleanup(desktop.stop_program, self.server)
        self.server.folder("pub")

    def press_when_enabled(self, frame, text):
        button = desktop.wait_for(
            lambda: next((b for b in self.session.find_all(frame, self.session.button_roles(), text)
                          if b.queryAction().nActions > 0), None), f"the button {text!r} enabled")
        self.session.press(button)

    def test_the_autostart_entry_is_written_and_removed(self):
        session, server = self.session, self.server
        p = session.pyatspi
        server.start()
        pid = server.process.pid
        frame = session.find(session.application(pid), (p.ROLE_FRAME,), TITLE, what="the main window")
        title = frame.name
        session.press(session.button(frame, "Settings"))
        session.press(session.find(frame, (p.ROLE_LIST_ITEM,), "Start-up", what="the category Start-up"))

        entry = os.path.join(self.config_home, "autostart", "orvendale.desktop")
        start_with_session = session.button(frame, "Start Orvendale when I log in")
        self.assertFalse(session.is_checked(start_with_session))
        session.press(start_with_session)
        session.press(session.button(frame, "Start hidden in the notification area"))
        self.press_when_enabled(frame, "Save")
        desktop.wait_for(lambda: os.path.exists(entry), "the autostart entry")
        with open(entry, encoding="utf-8") as source:
            text = source.read()
        program = os.path.join(server.app, "orvendale")
        self.assertIn(f'\nExec="{program}"\n', text)
        self.assertTrue(text.startswith("[Desktop Entry]\n"), text)
        config = os.path.join(server.app, "config.xml")
        desktop.wait_for(lambda: "<START_IN_TRAY>true<" in open(config, encoding="utf-8").read(),
                         "the tray setting in config.xml")

        session.press(start_with_session)
        self.press_when_enabled(frame, "Save")
        desktop.wait_for(lambda: not os.path.exists(entry), "the autostart entry removed")

        session.close_window(pid, title)
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())


if __name__ == "__main__":
    desktop.main()
