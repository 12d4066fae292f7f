"""Accounts as the users category saves them in config.xml: a share restricted to one of
them, the program restarted on the same application folder, and the account logging in
with HTTP Basic and with the login form. The password is long (its Base64 is longer than
one line of 76 characters, and is stored on one line) and holds letters of the code page
beyond ASCII; the login holds blanks."""

import base64
import os
import re
import urllib.parse
import unittest

import orvendale
from orvendale import Server, Share

LOGIN = "Amy Lee"
PASSWORD = "é€ long secret " + "x" * 285  # 300 bytes in the code page
MEMBERS = "/members/m.txt"
MEMBERS_TEXT = b"for members only"


def basic(login, password):
    credentials = f"{login}:{password}".encode("cp1252")
    return ("Authorization", "Basic " + base64.b64encode(credentials).decode("ascii"))


def form_body(login, password):
    return urllib.parse.urlencode({"user": login, "password": password}, encoding="utf-8").encode("ascii")


class AccountsAcrossARestart(unittest.TestCase):
    def setUp(self):
        self.server = Server([Share("/", "pub"), Share("/members/", "members", users=LOGIN)],
                             users={LOGIN: PASSWORD, "bob": "pw"},
                             protocol={"IDENTIFICATION_METHOD": "1", "MAX_IDENTIFICATION_ERROR": "-1"})
        self.server.write("pub/open.txt", b"open")
        self.server.write("members/m.txt", MEMBERS_TEXT)

    def tearDown(self):
        self.assertEqual(self.server.stop(), 0, self.server.output())
        self.server.clean()

    def config_path(self):
        return os.path.join(self.server.app, "config.xml")

    def restart_with_method(self, method):
        """Stops the program and starts it again on the same application folder, with the
        method changed in the config.xml the first run left, and a new port: the closed
        connections of the first run still hold the old one for a while."""
        self.assertEqual(self.server.stop(), 0, self.server.output())
        with open(self.config_path(), encoding="utf-8") as source:
            config = source.read()
        config = re.sub(r"<IDENTIFICATION_METHOD>\d</IDENTIFICATION_METHOD>",
                        f"<IDENTIFICATION_METHOD>{method}</IDENTIFICATION_METHOD>", config)
        self.server.port = orvendale.free_port()
        config = re.sub(r"<LOCAL_PORT>\d+</LOCAL_PORT>", f"<LOCAL_PORT>{self.server.port}</LOCAL_PORT>", config)
        with open(self.config_path(), "w", encoding="utf-8") as out:
            out.write(config)
        self.server._launch()
        failure = self.server._wait_until_listening()
        self.assertIsNone(failure, self.server.output())

    def assertServed(self, answer):
        self.assertEqual(answer.status, 200, answer.raw[:400])
        self.assertEqual(answer.body, MEMBERS_TEXT)

    def test_the_account_logs_in_with_both_methods_after_a_restart(self):
        self.server.start()
        with open(self.config_path(), encoding="utf-8") as source:
            stored = source.read()
        self.assertNotIn("&#10;", stored)
        self.assertNotIn("&#13;", stored)

        self.restart_with_method(1)
        self.assertEqual(self.server.get(MEMBERS).status, 401)
        self.assertServed(self.server.get(MEMBERS, (basic(LOGIN, PASSWORD),)))
        self.assertServed(self.server.get(MEMBERS, (basic(LOGIN.upper(), PASSWORD),)))
        self.assertEqual(self.server.get(MEMBERS, (basic(LOGIN, PASSWORD[:-1]),)).status, 401)
        self.assertEqual(self.server.get(MEMBERS, (basic("bob", "pw"),)).status, 401)  # not one of the share's

        self.restart_with_method(2)
        form = (("Content-Type", "application/x-www-form-urlencoded"),)
        answer = self.server.get(MEMBERS, form, method="POST", body=form_body(LOGIN, PASSWORD))
        self.assertServed(answer)
        cookies = "; ".join(cookie.split(";", 1)[0] for cookie in answer.all("Set-Cookie"))
        self.assertIn("user=", cookies)
        self.assertServed(self.server.get(MEMBERS, (("Cookie", cookies),)))
        refused = self.server.get(MEMBERS, form, method="POST", body=form_body(LOGIN, PASSWORD + "y"))
        self.assertEqual(refused.status, 401)
        self.assertNotIn(MEMBERS_TEXT, refused.raw)


if __name__ == "__main__":
    orvendale.main()
