"""The program that starts in the tray on a display without a notification area: no icon
could stand in for its window, so the window shows, and its close ends the program."""

import desktop
import test_tray


class NoTray(test_tray.TrayTestCase):
    def test_without_a_tray_start_in_tray_shows_the_window(self):
        session, server = self.session, self.server
        server.start()
        pid = server.process.pid
        application = session.application(pid)
        frame = desktop.wait_for(lambda: self.showing_frame(application), "the main window to show")
        self.assertIsNone(self.docked_icon(pid))
        self.assertIsNotNone(session.button(frame, "Server on"))
        session.close_window(pid, frame.name)
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())


if __name__ == "__main__":
    desktop.main()
