"""Headless Chromium driven over its DevTools protocol, with Python's standard library only.

The browser talks on a pair of pipes (--remote-debugging-pipe: it reads commands on its
descriptor 3 and writes answers and events on 4, each message JSON ended by a NUL byte), so
there is no port to find and nothing to poll. Every wait reads the pipe with a deadline."""

import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time

LAUNCH_TIMEOUT = 30.0
COMMAND_TIMEOUT = 30.0
WIDTH, HEIGHT = 1280, 900

# The switches that keep a headless run quiet and alike from one run to the next: no
# network of its own (no host name resolves, so nothing but the loopback address of the
# server under test can be reached), no updates, no first-run pages, one fixed window and
# scale.
SWITCHES = (
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--disable-domain-reliability",
    "--disable-client-side-phishing-detection",
    "--disable-features=MediaRouter,OptimizationHints,Translate",
    "--no-proxy-server",
    "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
    "--disable-extensions",
    "--disable-default-apps",
    "--no-first-run",
    "--no-default-browser-check",
    "--mute-audio",
    "--hide-scrollbars",
    "--force-device-scale-factor=1",
    "--lang=en-US",
    f"--window-size={WIDTH},{HEIGHT}",
)


class BrowserError(AssertionError):
    pass


def find_program(name=None):
    """The browser program: the one named, or chromium on the PATH."""
    for candidate in ([name] if name else []) + ["chromium", "chromium-browser"]:
        path = shutil.which(candidate) if candidate else None
        if path:
            return path
    raise BrowserError("no chromium program found: scripts/setup installs the chromium package")


def _high_descriptor(fd):
    """A copy of fd numbered 10 or above, so that moving it to 3 or 4 in the child cannot
    overwrite the other end."""
    copy = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
    os.close(fd)
    return copy


class Browser:
    """One browser process with one tab. Navigation and clicks return when the new page's
    load event has fired; script runs in the page and returns its value."""

    def __init__(self, program=None):
        self.program = find_program(program)
        self.profile = tempfile.mkdtemp(prefix="orv-chromium-")
        self.process = None
        self._to_browser = None
        self._from_browser = None
        self._buffer = b""
        self._next_id = 0
        self._events = []
        self.session = None
        self._log = None
        # How many deprecation banners the browser put on the last page loaded.
        self.banners = 0

    # ---- Process ----

    def start(self):
        commands_read, commands_write = os.pipe()
        answers_read, answers_write = os.pipe()
        child_commands = _high_descriptor(commands_read)
        child_answers = _high_descriptor(answers_write)
        self._to_browser = commands_write
        self._from_browser = answers_read

        def move_pipes():
            os.dup2(child_commands, 3)
            os.dup2(child_answers, 4)

        self._log = open(os.path.join(self.profile, "browser-output.txt"), "wb")
        try:
            self.process = subprocess.Popen(
                [self.program, *SWITCHES, "--remote-debugging-pipe", f"--user-data-dir={self.profile}",
                 "about:blank"],
                stdin=subprocess.DEVNULL, stdout=self._log, stderr=subprocess.STDOUT, pass_fds=(3, 4),
                preexec_fn=move_pipes)
        finally:
            os.close(child_commands)
            os.close(child_answers)
        # The first answer proves the browser is up; the tab comes next.
        self.command("Browser.getVersion", timeout=LAUNCH_TIMEOUT)
        target = self.command("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.command("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        self.command("Page.enable", session=True)
        self.command("Runtime.enable", session=True)
        self.command("Emulation.setDeviceMetricsOverride",
                     {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": False}, session=True)
        # A fixed light look, whatever the machine prefers.
        self.command("Emulation.setEmulatedMedia",
                     {"features": [{"name": "prefers-color-scheme", "value": "light"}]}, session=True)
        return self

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            try:
                self.command("Browser.close", timeout=5)
            except (BrowserError, OSError):
                pass
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for fd in (self._to_browser, self._from_browser):
            if fd is not None:
                os.close(fd)
        self._to_browser = self._from_browser = None
        if self._log:
            self._log.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def output(self):
        try:
            with open(os.path.join(self.profile, "browser-output.txt"), "rb") as log:
                return log.read().decode("utf-8", "replace")[-3000:]
        except OSError:
            return ""

    # ---- Protocol ----

    def _send(self, message):
        data = json.dumps(message).encode("utf-8") + b"\0"
        while data:
            written = os.write(self._to_browser, data)
            data = data[written:]

    def _receive(self, deadline):
        """The next message from the browser, waiting until the deadline."""
        while b"\0" not in self._buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise BrowserError("the browser did not answer in time; its output: " + self.output())
            ready, _, _ = select.select([self._from_browser], [], [], remaining)
            if not ready:
                continue
            chunk = os.read(self._from_browser, 1 << 20)
            if not chunk:
                raise BrowserError("the browser ended; its output: " + self.output())
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def command(self, method, params=None, session=False, timeout=COMMAND_TIMEOUT):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self.session
        self._send(message)
        deadline = time.monotonic() + timeout
        while True:
            answer = self._receive(deadline)
            if answer.get("id") == self._next_id:
                if "error" in answer:
                    raise BrowserError(f"{method}: {answer['error']}")
                return answer.get("result", {})
            if "method" in answer:
                self._events.append(answer)

    def _wait_for_event(self, method, timeout=COMMAND_TIMEOUT):
        deadline = time.monotonic() + timeout
        while True:
            for index, event in enumerate(self._events):
                if event["method"] == method and event.get("sessionId") == self.session:
                    del self._events[:index + 1]
                    return event.get("params", {})
            self._events.clear()
            message = self._receive(deadline)
            if "method" in message:
                self._events.append(message)

    # ---- Pages ----

    def navigate(self, url):
        """Opens the url and returns when its load event has fired."""
        self._events.clear()
        result = self.command("Page.navigate", {"url": url}, session=True)
        if result.get("errorText"):
            raise BrowserError(f"{url}: {result['errorText']}")
        self._wait_for_page()

    def reload(self):
        """Loads the page again from its address, as the reload button does."""
        self._events.clear()
        self.command("Page.reload", {"ignoreCache": True}, session=True)
        self._wait_for_page()

    # An XML document that names a stylesheet is replaced by the transform's result: a
    # second document that loads after the first, at once or a moment later (when the
    # stylesheet comes from the cache). The page is there when no such document remains and
    # the current one has loaded. The browser then lays its notice that XSLT is going away
    # over the top of the page: that notice is the browser's, not the page's, so it is
    # counted and taken away, as a visitor would close it.
    _SETTLED = """(() => {
        const pending = document instanceof XMLDocument && [...document.childNodes].some(
            (node) => node.nodeType === Node.PROCESSING_INSTRUCTION_NODE && node.target === "xml-stylesheet");
        if (pending || document.readyState !== "complete") return null;
        const banners = document.querySelectorAll("xslt-warning-banner");
        for (const banner of banners) banner.remove();
        return banners.length;
    })()"""

    def _wait_for_page(self):
        while True:
            self._wait_for_event("Page.loadEventFired")
            try:
                banners = self.evaluate(self._SETTLED)
                if banners is not None:
                    self.banners = banners
                    return
            except BrowserError as error:
                # The document was replaced while the script ran: its successor loads next.
                if "context" not in str(error).lower():
                    raise

    def evaluate(self, expression):
        """The value of a script expression in the page (a promise is awaited)."""
        result = self.command("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                   "awaitPromise": True}, session=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            raise BrowserError(f"script failed: {text}\n{expression}")
        return result["result"].get("value")

    def call(self, function, *arguments):
        """Calls a script function of the given source text with JSON arguments."""
        return self.evaluate(f"({function})(...{json.dumps(arguments)})")

    def click(self, selector, text=None, index=0):
        """Clicks, with the mouse, the middle of an element that the CSS selector finds (the
        index-th of those whose text is text, when given), and returns when the page it
        leads to has loaded."""
        box = self.call("""(selector, text, index) => {
            const found = [...document.querySelectorAll(selector)]
                .filter((e) => text === null || e.textContent.trim() === text);
            const element = found[index];
            if (!element) return null;
            element.scrollIntoView({block: "center", inline: "center"});
            const r = element.getBoundingClientRect();
            const x = r.left + r.width / 2, y = r.top + r.height / 2;
            const hit = document.elementFromPoint(x, y);
            return {x, y, reachable: hit === element || element.contains(hit)};
        }""", selector, text, index)
        where = f"{selector} {text!r} [{index}]"
        if box is None:
            raise BrowserError(f"nothing to click: {where} on {self.url()}")
        if not box["reachable"]:
            raise BrowserError(f"{where} is covered by another element on {self.url()}")
        self._events.clear()
        for kind in ("mousePressed", "mouseReleased"):
            self.command("Input.dispatchMouseEvent", {"type": kind, "x": box["x"], "y": box["y"], "button": "left",
                                                      "clickCount": 1}, session=True)
        self._wait_for_page()

    def url(self):
        return self.evaluate("location.href")

    def screenshot(self, path, full_page=True):
        """Saves the page as a PNG: the whole page (up to a bound) or the window."""
        params = {"format": "png"}
        # From the top, so that the bar that sticks to the top of the window stands there.
        self.evaluate("window.scrollTo(0, 0)")
        if full_page:
            size = self.command("Page.getLayoutMetrics", session=True)["cssContentSize"]
            params["captureBeyondViewport"] = True
            params["clip"] = {"x": 0, "y": 0, "width": WIDTH, "height": min(max(size["height"], HEIGHT), 4000),
                              "scale": 1}
        data = self.command("Page.captureScreenshot", params, session=True)["data"]
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(base64.b64decode(data))
        return path

    def fetch(self, url):
        """Fetches url from the page (so it is resolved against it) and returns the status,
        the content type and the bytes."""
        answer = self.call("""async (url) => {
            const response = await fetch(url, {cache: "no-store"});
            const bytes = new Uint8Array(await response.arrayBuffer());
            let text = "";
            for (let i = 0; i < bytes.length; i += 0x8000) {
                text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
            }
            return {status: response.status, type: response.headers.get("content-type"), data: btoa(text)};
        }""", url)
        return answer["status"], answer["type"], base64.b64decode(answer["data"])

    def image_size(self, url):
        """Loads url as a picture in the page; returns its width and height, or None when
        the browser cannot show it."""
        return self.call("""(url) => new Promise((resolve) => {
            const picture = new Image();
            picture.onload = () => resolve([picture.naturalWidth, picture.naturalHeight]);
            picture.onerror = () => resolve(null);
            picture.src = url;
        })""", url)
