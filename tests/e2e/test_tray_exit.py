"""The tray menu's exit item ends the program that waits in the tray, with the shut-down
of a close: the stores are written and the program ends with 0."""

import os

import desktop
import test_tray


class TrayExit(test_tray.TrayTestCase):
    def test_the_exit_item_ends_the_program_and_saves(self):
        server = self.server
        self.start_tray_host()
        desktop.wait_for(lambda: self.tray_owner() != 0, "the tray host to own the notification area")
        server.write("music/song.txt", "la la la")
        server.start()
        pid = server.process.pid
        icon = desktop.wait_for(lambda: self.docked_icon(pid), "the program's icon in the tray")
        self.assertEqual(server.get("/music/song.txt").body, b"la la la")

        x, y = self.centre_on_root(icon)
        self.click(x, y, 3)
        desktop.wait_for(lambda: self.popup_window(pid), "the tray menu to pop up")
        # The last item, from the top going up.
        self.key("Up")
        self.key("Return")
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())
        with open(os.path.join(server.app, "uploaded.xml"), encoding="utf-8") as uploaded:
            self.assertIn("song.txt", uploaded.read())


if __name__ == "__main__":
    desktop.main()
