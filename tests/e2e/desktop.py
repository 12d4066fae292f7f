"""The built program driven through its windows, as a person or a screen reader would: a
private X display (Xvfb), a private D-Bus session bus with the accessibility bus, the
program run there by the black-box helper in an application folder of its own, and its
widgets found and pressed through the accessibility interface (pyatspi).

Run by /usr/bin/python3, whose Debian packages hold pyatspi and python3-xlib. Every wait has
a deadline, and every process started here is stopped (killed when it does not stop) when
the session closes, also after a failure or a SIGTERM.

A test of another window follows test_shell.py:

    session, server = desktop.session_with_program(self, shares)   # stopped at the test's end
    server.start()
    frame = desktop.main_window(session, server)
    session.press(session.button(frame, "Uploads"))
    session.close_window(server.process.pid, frame.name)
    desktop.wait_for_exit(server)                  # 0 after a clean shut-down

Each script test_*.py of this folder is registered as the test e2e.<name>."""

import ctypes
import importlib
import os
import re
import select
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "blackbox"))
import orvendale  # noqa: E402  (the black-box helper lays out the application folder)

# The main window's title; a debug build says so in it.
TITLE = re.compile(r"Orvendale \d+\.\d+( \[Debug mode\])?")

STEP_TIMEOUT = 30.0
STOP_TIMEOUT = 30.0
AT_SPI_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

main = orvendale.main


class TimedOut(AssertionError):
    pass


def wait_for(condition, what, timeout=STEP_TIMEOUT):
    """The first true value of condition(), looked at until the deadline; a look that raises
    (an accessible object that went away meanwhile) counts as not yet."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except Exception:  # noqa: BLE001  (the accessibility bus raises many kinds)
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimedOut(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(0.05)


def _die_with_parent():
    """In the child: killed when the test's own process dies, however it dies."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def _read_line(stream_fd, what, timeout=STEP_TIMEOUT):
    deadline = time.monotonic() + timeout
    data = b""
    while b"\n" not in data:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise TimedOut(f"timed out waiting for {what}")
        ready, _, _ = select.select([stream_fd], [], [], remaining)
        if ready:
            chunk = os.read(stream_fd, 4096)
            if not chunk:
                raise RuntimeError(f"{what}: the process ended first")
            data += chunk
    return data.split(b"\n", 1)[0].decode("utf-8").strip()


class Session:
    """One X display and one session bus with accessibility, for the life of a test."""

    def __init__(self):
        self._processes = []
        self.display = None
        self.bus_address = None
        self._pyatspi = None
        self._xlib = None
        self._previous_sigterm = None

    # ---- Starting and stopping ----

    def start(self):
        # A SIGTERM (a test runner's time-out) still runs the clean-up.
        self._previous_sigterm = signal.signal(signal.SIGTERM, _raise_exit)
        try:
            self._start_display()
            self._start_buses()
        except BaseException:
            self.close()
            raise
        return self

    def _spawn(self, arguments, **options):
        process = subprocess.Popen(arguments, stdin=subprocess.DEVNULL, start_new_session=True,
                                   preexec_fn=_die_with_parent, **options)
        self._processes.append(process)
        return process

    def _start_display(self):
        # Xvfb picks a free display itself and writes its number.
        read_end, write_end = os.pipe()
        try:
            self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                         "-noreset"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = None
            self.display = ":" + _read_line(read_end, "the display number of Xvfb")
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def _start_buses(self):
        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
        self.bus_address = _read_line(bus.stdout.fileno(), "the address of the session bus")
        environment = self.environment()
        # The accessibility bus and its registry, started at once rather than when first
        # asked for, so that both end with this session.
        self._spawn([AT_SPI_BUS_LAUNCHER, "--launch-immediately"], env=environment, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
        os.environ.update({"DISPLAY": self.display, "DBUS_SESSION_BUS_ADDRESS": self.bus_address})

    def spawn(self, arguments):
        """Starts a helper program on this display and bus (a tray host, say); it is stopped
        with the session."""
        return self._spawn(arguments, env=self.environment(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def environment(self):
        """The environment of a process that belongs to this session."""
        return dict(os.environ, DISPLAY=self.display, DBUS_SESSION_BUS_ADDRESS=self.bus_address)

    def program_environment(self):
        """What the program needs beyond the black-box environment to show its windows here
        and offer them to the accessibility bus."""
        environment = {"DISPLAY": self.display, "DBUS_SESSION_BUS_ADDRESS": self.bus_address,
                       "QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1"}
        # The X keyboard library copies atom names with strndup from buffers that are not
        # NUL-terminated but long enough: legal, yet the strict string checks of a
        # sanitized build stop the program at its first connection to the display.
        sanitizer = os.environ.get("ASAN_OPTIONS")
        if sanitizer:
            environment["ASAN_OPTIONS"] = sanitizer.replace("strict_string_checks=1", "strict_string_checks=0")
        return environment

    def close(self):
        """Stops every process of the session, the last started first; kills what does not
        stop in time."""
        for process in reversed(self._processes):
            _stop_group(process)
        self._processes.clear()
        if self._xlib is not None:
            try:
                self._xlib.close()
            except Exception:  # noqa: BLE001  (the display may be gone already)
                pass
            self._xlib = None
        if self._previous_sigterm is not None:
            signal.signal(signal.SIGTERM, self._previous_sigterm)
            self._previous_sigterm = None

    # ---- Accessibility ----

    @property
    def pyatspi(self):
        # Imported once the session bus exists: the library finds the accessibility bus
        # through it.
        if self._pyatspi is None:
            self._pyatspi = importlib.import_module("pyatspi")
        return self._pyatspi

    def application(self, pid):
        """The accessible application of the process, once it has registered."""

        def look():
            desktop = self.pyatspi.Registry.getDesktop(0)
            for index in range(desktop.childCount):
                application = desktop.getChildAtIndex(index)
                if application is not None and application.get_process_id() == pid:
                    return application
            return None

        return wait_for(look, f"the accessible application of process {pid}")

    def find_all(self, root, roles=None, name=None, depth=40):
        """Every accessible below root whose role is one of roles and whose name equals name
        (a text) or matches it (a compiled pattern); either may be None for any."""
        found = []

        def matches(accessible):
            if roles is not None and accessible.getRole() not in roles:
                return False
            if name is None:
                return True
            if isinstance(name, re.Pattern):
                return name.fullmatch(accessible.name or "") is not None
            return accessible.name == name

        def walk(accessible, level):
            if accessible is None or level > depth:
                return
            if matches(accessible):
                found.append(accessible)
            for index in range(accessible.childCount):
                walk(accessible.getChildAtIndex(index), level + 1)

        walk(root, 0)
        return found

    def find(self, root, roles=None, name=None, what=None):
        """The first such accessible, waited for."""
        described = what or f"{name!r} with a role in {roles}"
        return wait_for(lambda: (self.find_all(root, roles, name) or [None])[0], described)

    def button_roles(self):
        p = self.pyatspi
        return (p.ROLE_PUSH_BUTTON, p.ROLE_TOGGLE_BUTTON, p.ROLE_CHECK_BOX)

    def button(self, root, text):
        return self.find(root, self.button_roles(), text, what=f"the button {text!r}")

    def press(self, accessible):
        """Runs the accessible's first action (press, or toggle for a button that stays down)."""
        action = accessible.queryAction()
        if action.nActions < 1:
            raise AssertionError(f"{accessible.name!r} has no action")
        if not action.doAction(0):
            raise AssertionError(f"{accessible.name!r} refused its action {action.getName(0)!r}")

    def is_checked(self, accessible):
        return accessible.getState().contains(self.pyatspi.STATE_CHECKED)

    # ---- X ----

    @property
    def xlib(self):
        if self._xlib is None:
            from Xlib import display as xdisplay  # only here: the harness registers without it
            self._xlib = xdisplay.Display(self.display)
        return self._xlib

    def top_level_windows(self, pid):
        """The top-level X windows of the process, with their titles."""
        from Xlib import X
        connection = self.xlib
        pid_atom = connection.intern_atom("_NET_WM_PID")
        name_atom = connection.intern_atom("_NET_WM_NAME")
        windows = []
        for window in connection.screen().root.query_tree().children:
            try:
                owner = window.get_full_property(pid_atom, X.AnyPropertyType)
                if owner is None or owner.value[0] != pid:
                    continue
                title = window.get_full_property(name_atom, 0)
                text = title.value.decode("utf-8", "replace") if title is not None else (window.get_wm_name() or "")
                windows.append((window, text if isinstance(text, str) else text.decode("latin-1")))
            except Exception:  # noqa: BLE001  (a window destroyed meanwhile)
                continue
        return windows

    def close_window(self, pid, title):
        """Asks the window of that title to close, as a window manager's close button does
        (WM_DELETE_WINDOW): the program then runs its own shut-down."""
        from Xlib import X
        from Xlib.protocol import event
        window = wait_for(lambda: next((w for w, text in self.top_level_windows(pid) if text == title), None),
                          f"the X window titled {title!r}")
        connection = self.xlib
        protocols = connection.intern_atom("WM_PROTOCOLS")
        delete = connection.intern_atom("WM_DELETE_WINDOW")
        message = event.ClientMessage(window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(message, event_mask=X.NoEventMask)
        connection.flush()


def session_with_program(test, shares):
    """A started session and a program laid out with these shares, not yet started: both are
    stopped and removed when the test ends, whatever its outcome."""
    session = Session()
    test.addCleanup(session.close)
    session.start()
    server = orvendale.Server(shares, environment=session.program_environment())
    test.addCleanup(server.clean)
    test.addCleanup(stop_program, server)
    return session, server


def main_window(session, server):
    """The started program's main window."""
    return session.find(session.application(server.process.pid), (session.pyatspi.ROLE_FRAME,), TITLE,
                        what="the main window")


def wait_for_exit(server, timeout=STOP_TIMEOUT):
    """The exit code of the black-box server's program once it has ended by itself."""
    try:
        code = server.process.wait(timeout=timeout)
    except subprocess.TimeoutExpired as expired:
        raise TimedOut(f"the program did not end within {timeout:.0f} s") from expired
    server._output.close()
    return code


def stop_program(server):
    """Ends the program of a black-box server if it still runs (SIGTERM, then SIGKILL)."""
    process = server.process
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=STOP_TIMEOUT)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def _stop_group(process):
    if process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
    # Whatever the leader left behind in its group (the accessibility bus of the launcher).
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    if process.poll() is None:
        process.wait()
    for stream in (process.stdout, process.stderr):
        if stream is not None:
            stream.close()


def _raise_exit(signum, frame):
    raise SystemExit(128 + signum)
