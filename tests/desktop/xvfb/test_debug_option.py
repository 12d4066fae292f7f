"""The built program on an X server (Xvfb): "/debug" on the command line opens the debug
window beside the main window, and closing the main window the way a window manager does
(WM_DELETE_WINDOW) ends the program cleanly. Run under xvfb-run by /usr/bin/python3, which
has python3-xlib."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from Xlib import X, Xatom, display
from Xlib.protocol import event

_arguments = argparse.Namespace(program=None, source=None)

WAIT_SECONDS = 60.0
DEBUG_CAPTION = " /!\\ DEBUG /!\\"
MAIN_CAPTION = "Orvendale 1.02"  # followed by " [Debug mode]" in a debug build
CONFIG = ('<?xml version="1.0" encoding="UTF-8"?>\n<CONFIGURATION version="102">'
          "<OTHER><START_SERVER_ON_LOAD>false</START_SERVER_ON_LOAD></OTHER></CONFIGURATION>")


def window_names(screen_display):
    """The title of every top-level window, by window."""
    names = {}
    net_name = screen_display.intern_atom("_NET_WM_NAME")
    utf8 = screen_display.intern_atom("UTF8_STRING")
    for window in screen_display.screen().root.query_tree().children:
        try:
            title = window.get_full_property(net_name, utf8)
            name = title.value.decode("utf-8") if title else window.get_wm_name()
            if name is not None:
                names[window] = name if isinstance(name, str) else name.decode("latin-1")
        except Exception:  # a window that went away while it was listed
            continue
    return names


def wait_for(condition, timeout=WAIT_SECONDS):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.05)
    return None


class DebugOption(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.mkdtemp(prefix="orv-xvfb-")
        shutil.copy2(_arguments.program, os.path.join(self.temp, "orvendale"))
        for folder in ("lang", "resources", "help"):
            shutil.copytree(os.path.join(_arguments.source, folder), os.path.join(self.temp, folder))
        with open(os.path.join(self.temp, "config.xml"), "w", encoding="utf-8") as config:
            config.write(CONFIG)
        self.display = display.Display()
        self.process = None

    def tearDown(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.display.close()
        shutil.rmtree(self.temp, ignore_errors=True)

    def start(self, *arguments):
        environment = dict(os.environ, QT_QPA_PLATFORM="xcb")
        # The X keyboard library reads past the end of a string it is handed, which the strict
        # string checks of a sanitized build would stop at the first connection to the display.
        sanitizer = os.environ.get("ASAN_OPTIONS")
        if sanitizer:
            environment["ASAN_OPTIONS"] = sanitizer.replace("strict_string_checks=1", "strict_string_checks=0")
        self.process = subprocess.Popen([os.path.join(self.temp, "orvendale"), *arguments], cwd=self.temp,
                                        env=environment)

    def titled(self, caption, whole=True):
        """A finder of the shown window with that title (whole=False: whose title begins so)."""
        def find():
            for window, name in window_names(self.display).items():
                attributes = window.get_attributes()
                matches = name == caption if whole else name.startswith(caption)
                if matches and attributes.map_state == X.IsViewable:
                    return window
            return None

        return find

    def close_window(self, window):
        protocols = self.display.intern_atom("WM_PROTOCOLS")
        delete = self.display.intern_atom("WM_DELETE_WINDOW")
        message = event.ClientMessage(window=window, client_type=protocols,
                                      data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(message, event_mask=X.NoEventMask)
        self.display.flush()

    def test_debug_argument_opens_the_debug_window(self):
        self.start("/debug")
        debug = wait_for(self.titled(DEBUG_CAPTION))
        self.assertIsNotNone(debug, "no debug window: %r" % sorted(window_names(self.display).values()))
        main = wait_for(self.titled(MAIN_CAPTION, whole=False))
        self.assertIsNotNone(main)
        geometry = debug.get_geometry()
        self.assertGreater(geometry.width, 300)
        self.assertGreater(geometry.height, 200)
        self.close_window(main)
        self.assertEqual(self.process.wait(timeout=WAIT_SECONDS), 0)

    def test_without_the_argument_there_is_no_debug_window(self):
        self.start()
        self.assertIsNotNone(wait_for(self.titled(MAIN_CAPTION, whole=False)))
        self.assertIsNone(self.titled(DEBUG_CAPTION)())
        self.close_window(self.titled(MAIN_CAPTION, whole=False)())
        self.assertEqual(self.process.wait(timeout=WAIT_SECONDS), 0)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--program", required=True)
    parser.add_argument("--source", required=True)
    known, rest = parser.parse_known_args()
    _arguments.program = known.program
    _arguments.source = known.source
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
