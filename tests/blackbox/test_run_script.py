"""scripts/run as a newcomer uses it, with the built program in place of a release build: it
shares the folder it is given on the port it is given, says where it serves once the server
listens, and when the port is taken says why and ends with a failure instead of waiting."""

import os
import re
import selectors
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import urllib.request

import orvendale

RUN_TIMEOUT = 120.0


class RunScript:
    """One run of scripts/run in an application folder of its own."""

    def __init__(self, temp, name, folder, port):
        self.app = os.path.join(temp, name)
        os.makedirs(os.path.join(self.app, "lang"))
        shutil.copy2(orvendale._arguments.program, os.path.join(self.app, "orvendale"))
        source = orvendale._arguments.source
        shutil.copy2(os.path.join(source, "lang", "english.xml"), os.path.join(self.app, "lang"))
        shutil.copytree(os.path.join(source, "resources"), os.path.join(self.app, "resources"))
        environment = dict(os.environ, ORV_APP=self.app, ORV_RUN_WAIT=str(int(RUN_TIMEOUT)))
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            environment.pop(name, None)
        self.port = port
        self.process = subprocess.Popen(
            [os.path.join(source, "scripts", "run"), folder, str(port)], cwd=temp, env=environment,
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        self.stdout = b""
        self.stderr = b""

    def read_until(self, text):
        """Reads the script's output until its standard output holds text or the script
        ends; returns the output so far."""
        deadline = time.monotonic() + RUN_TIMEOUT
        with selectors.DefaultSelector() as selector:
            selector.register(self.process.stdout, selectors.EVENT_READ, "stdout")
            selector.register(self.process.stderr, selectors.EVENT_READ, "stderr")
            while text.encode() not in self.stdout and selector.get_map():
                if time.monotonic() > deadline:
                    raise AssertionError(f"no {text!r} in time: {self.stdout!r} {self.stderr!r}")
                for key, _ in selector.select(timeout=1):
                    data = os.read(key.fileobj.fileno(), 65536)
                    if not data:
                        selector.unregister(key.fileobj)
                    elif key.data == "stdout":
                        self.stdout += data
                    else:
                        self.stderr += data
        return self.stdout.decode(), self.stderr.decode()

    def finish(self):
        """The script's exit status once it ended, with the rest of its output."""
        out, err = self.process.communicate(timeout=RUN_TIMEOUT)
        self.stdout += out
        self.stderr += err
        return self.process.returncode

    def interrupt(self):
        """Ctrl+C in the terminal: SIGINT to the script and the program alike."""
        os.killpg(self.process.pid, signal.SIGINT)

    def kill(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()


class Run(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.mkdtemp(prefix="orv-run-")
        self.shared = os.path.join(self.temp, "my music & films")
        os.makedirs(self.shared)
        with open(os.path.join(self.shared, "hello.txt"), "w") as out:
            out.write("hello")
        self.runs = []

    def tearDown(self):
        for run in self.runs:
            run.kill()
        shutil.rmtree(self.temp, ignore_errors=True)

    def start(self, name, port):
        run = RunScript(self.temp, name, self.shared, port)
        self.runs.append(run)
        return run

    def test_it_says_where_it_serves_and_a_second_start_on_its_port_says_why_it_cannot(self):
        # A port that was free a moment ago may be taken before the program binds it: then
        # the run is tried again on another.
        for attempt in range(3):
            first = self.start(f"first-{attempt}", orvendale.free_port())
            out, err = first.read_until("Stop it with Ctrl+C")
            if "Orvendale serves" in out or "is already used" not in err:
                break
        self.assertIn(f"Orvendale serves {self.shared}\n", out)
        addresses = re.findall(r"^  http://([0-9.]+):([0-9]+)/$", out, re.MULTILINE)
        self.assertTrue(addresses, out)
        self.assertEqual(addresses[0][0], "127.0.0.1")
        port = int(addresses[0][1])
        self.assertEqual(port, int(first.port))
        for address, shown_port in addresses:
            self.assertEqual(int(shown_port), port, out)
            self.assertTrue(all(0 <= int(part) <= 255 for part in address.split(".")), out)
        self.assertEqual(len({address for address, _ in addresses}), len(addresses), out)
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/hello.txt", timeout=30) as answer:
            self.assertEqual(answer.read(), b"hello")
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/", timeout=30) as answer:
            self.assertIn(b"hello.txt", answer.read())

        second = self.start("second", port)
        code = second.finish()
        self.assertEqual(code, 1, (second.stdout, second.stderr))
        message = second.stderr.decode()
        self.assertIn(f"Orvendale does not listen on port {port}: port {port} is already used by another program.",
                      message)
        self.assertNotIn(b"Orvendale serves", second.stdout)

        # The first goes on serving, and Ctrl+C stops it cleanly.
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/hello.txt", timeout=30) as answer:
            self.assertEqual(answer.read(), b"hello")
        first.interrupt()
        self.assertEqual(first.finish(), 0, (first.stdout, first.stderr))

    def test_it_refuses_what_is_no_folder_or_no_port(self):
        for arguments, message in (([os.path.join(self.temp, "absent")], "is not a folder"),
                                   ([self.shared, "http"], "the port must be a number from 1 to 65535"),
                                   ([self.shared, "0"], "the port must be a number from 1 to 65535"),
                                   ([self.shared, "70000"], "the port must be a number from 1 to 65535")):
            with self.subTest(arguments=arguments):
                environment = dict(os.environ, ORV_APP=os.path.join(self.temp, "unused"))
                done = subprocess.run([os.path.join(orvendale._arguments.source, "scripts", "run"), *arguments],
                                      env=environment, capture_output=True, timeout=RUN_TIMEOUT)
                self.assertEqual(done.returncode, 2)
                self.assertIn(message, done.stderr.decode())


if __name__ == "__main__":
    orvendale.main()
