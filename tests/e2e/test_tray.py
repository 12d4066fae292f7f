"""The program that starts in the tray under a real display with a notification area
(trayer): its icon is docked there, a right click pops up the tray menu, whose start/stop
item stops the server, a double click brings the window back, and its close ends the
program cleanly. Pictures of the tray and of the menu are saved beside the other window
pictures."""

import os
import struct
import time
import unittest
import zlib

import desktop
from desktop import orvendale

TITLE = desktop.TITLE


class TrayServer(orvendale.Server):
    """A run that starts in the tray with the server listening."""

    def _config(self):
        return super()._config().replace(
            "<OTHER><START_SERVER_ON_LOAD>true</START_SERVER_ON_LOAD></OTHER>",
            "<OTHER><START_IN_TRAY>true</START_IN_TRAY><START_SERVER_ON_LOAD>true</START_SERVER_ON_LOAD></OTHER>")


def artifacts_folder():
    program = orvendale._arguments.program
    return os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(program))), "ui-artifacts")


def save_png(path, width, height, bgrx):
    """A picture of 32-bit X pixels (blue, green, red, unused) as a PNG file."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        line = bgrx[y * width * 4:(y + 1) * width * 4]
        for x in range(width):
            blue, green, red = line[x * 4], line[x * 4 + 1], line[x * 4 + 2]
            rows += bytes((red, green, blue))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(rows))))
        out.write(chunk(b"IEND", b""))


class TrayTestCase(unittest.TestCase):
    """A session and a run that starts in the tray, with the X look-ups of the tray."""

    def setUp(self):
        self.session = desktop.Session()
        self.addCleanup(self.session.close)
        self.session.start()
        self.server = TrayServer([orvendale.Share("/music/", "music")],
                                 environment=self.session.program_environment())
        self.addCleanup(self.server.clean)
        self.addCleanup(desktop.stop_program, self.server)
        self.server.folder("music")

    # ---- X helpers ----

    def tray_owner(self):
        xlib = self.session.xlib
        screen = xlib.get_default_screen()
        return xlib.get_selection_owner(xlib.intern_atom(f"_NET_SYSTEM_TRAY_S{screen}"))

    def docked_icon(self, pid):
        """The program's window that the tray host has taken in: one of its windows whose
        parent is not the root window."""
        from Xlib import X
        xlib = self.session.xlib
        root = xlib.screen().root
        pid_atom = xlib.intern_atom("_NET_WM_PID")

        def walk(window, depth):
            if depth > 6:
                return None
            for child in window.query_tree().children:
                owner = child.get_full_property(pid_atom, X.AnyPropertyType)
                if window != root and owner is not None and owner.value[0] == pid:
                    if child.get_attributes().map_state == X.IsViewable:
                        return child
                found = walk(child, depth + 1)
                if found is not None:
                    return found
            return None

        return walk(root, 0)

    def centre_on_root(self, window):
        geometry = window.get_geometry()
        position = window.translate_coords(self.session.xlib.screen().root, 0, 0)
        return -position.x + geometry.width // 2, -position.y + geometry.height // 2

    def popup_window(self, pid):
        """The program's top-level window shown without the window manager: its menu."""
        from Xlib import X
        for window, _ in self.session.top_level_windows(pid):
            attributes = window.get_attributes()
            if attributes.override_redirect and attributes.map_state == X.IsViewable:
                return window
        return None

    def key(self, name):
        from Xlib import X, XK
        from Xlib.ext import xtest
        xlib = self.session.xlib
        code = xlib.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(xlib, X.KeyPress, code)
        xtest.fake_input(xlib, X.KeyRelease, code)
        xlib.sync()

    def click(self, x, y, button, times=1):
        from Xlib import X
        from Xlib.ext import xtest
        xlib = self.session.xlib
        xtest.fake_input(xlib, X.MotionNotify, x=x, y=y)
        for _ in range(times):
            xtest.fake_input(xlib, X.ButtonPress, button)
            xtest.fake_input(xlib, X.ButtonRelease, button)
        xlib.sync()

    def save_area(self, name, x, y, width, height):
        from Xlib import X
        root = self.session.xlib.screen().root
        image = root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF)
        save_png(os.path.join(artifacts_folder(), name + ".png"), width, height, image.data)

    def start_tray_host(self):
        self.session.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                            "--heighttype", "pixel", "--height", "32", "--SetDockType", "false", "--transparent",
                            "false", "--tint", "0xd0d0d0"])

    def showing_frame(self, application):
        pyatspi = self.session.pyatspi
        return next((frame for frame in self.session.find_all(application, (pyatspi.ROLE_FRAME,), TITLE)
                     if frame.getState().contains(pyatspi.STATE_SHOWING)), None)


# One test per script: the accessibility library keeps the bus of the first session.
class TrayIcon(TrayTestCase):
    def test_the_icon_is_docked_its_menu_stops_the_server_and_a_double_click_restores(self):
        session, server = self.session, self.server
        self.start_tray_host()
        desktop.wait_for(lambda: self.tray_owner() != 0, "the tray host to own the notification area")
        server.start()
        pid = server.process.pid
        icon = desktop.wait_for(lambda: self.docked_icon(pid), "the program's icon in the tray")
        application = session.application(pid)
        frames = session.find_all(application, (session.pyatspi.ROLE_FRAME,), TITLE)
        self.assertFalse(any(frame.getState().contains(session.pyatspi.STATE_SHOWING) for frame in frames),
                         "the window starts hidden")
        screen = session.xlib.screen()
        self.save_area("tray-xvfb-icon", screen.width_in_pixels - 160, 0, 160, 40)

        # The right button pops up the tray menu. Popups are not in the accessible tree of
        # the application, so the menu is found as the program's popup window, and its
        # first item, the start/stop item, is chosen with the keyboard.
        x, y = self.centre_on_root(icon)
        self.click(x, y, 3)
        menu = desktop.wait_for(lambda: self.popup_window(pid), "the tray menu to pop up")
        geometry = menu.get_geometry()
        position = menu.translate_coords(screen.root, 0, 0)
        self.assertGreater(geometry.height, 80, "a menu of ten items")
        time.sleep(0.2)  # only for the picture: the menu's first paint
        self.save_area("tray-xvfb-menu", -position.x, -position.y, geometry.width, geometry.height)
        self.key("Down")
        self.key("Return")
        desktop.wait_for(lambda: not orvendale._connects(server.port), "the server to stop listening")

        # A double click brings the window back.
        icon = desktop.wait_for(lambda: self.docked_icon(pid), "the icon still in the tray")
        x, y = self.centre_on_root(icon)
        self.click(x, y, 1, times=2)
        frame = desktop.wait_for(lambda: self.showing_frame(application), "the main window to show")
        desktop.wait_for(lambda: self.docked_icon(pid) is None, "the icon to leave the tray")
        self.assertIsNotNone(session.button(frame, "Server off"))
        session.close_window(pid, frame.name)
        self.assertEqual(desktop.wait_for_exit(server), 0, server.output())


if __name__ == "__main__":
    desktop.main()
