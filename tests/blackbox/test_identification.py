"""Identification on restricted shares as a client sees it: HTTP Basic and the login form
with its cookies, credentials that are no credentials, and the ban of an address that fails
too often, which applies to that address only."""

import base64
import email.utils
import os

import orvendale
from orvendale import Server, Share, parse_answer, request_bytes
from test_files import http_date, parsed_date
from test_thumbnails import bitmap_size, png

MEMBERS = "/members/m.txt"
MEMBERS_FOLDER = "/members/"
MEMBERS_TEXT = b"for members only"
OPEN_TEXT = b"open to all"
SECRET = b"SECRET-BYTES-7f3a"
REALM = 'Basic realm="Please enter your login and password"'


def basic(text):
    return ("Authorization", "Basic " + base64.b64encode(text.encode("latin-1")).decode("ascii"))


def make(method):
    server = Server([Share("/", "pub"), Share("/members/", "members", users="amy")],
                    users={"amy": "secret", "bob": "pw"}, exclusions=("withheld",),
                    protocol={"IDENTIFICATION_METHOD": str(method), "MAX_IDENTIFICATION_ERROR": "3",
                              "BAN_DURATION": "600", "ENABLE_COMPRESSION": "false"},
                    html={"ALLOW_MINIATURES": "true"})
    server.write("pub/open.txt", OPEN_TEXT)
    server.write("members/m.txt", MEMBERS_TEXT)
    server.write("members/pic.png", png(64, 48))
    server.write("members/song.mp3")
    server.write("members/withheld.txt", MEMBERS_TEXT)
    server.folder("members/sub")
    return server


class Identification(orvendale.ServerTestCase):
    def assertServed(self, answer, text=MEMBERS_TEXT):
        """The answer is the file, whole."""
        self.assertStatus(answer, 200)
        self.assertEqual((answer.header("Content-Type"), answer.body), ("text/plain", text))

    def assertPageServed(self, answer):
        """The answer is the page of the members' folder."""
        self.assertStatus(answer, 200, "<name>m.txt</name>")
        self.assertEqual(answer.header("Content-Type"), "application/xml; charset=UTF-8")

    def assertRefused(self, answer, status, message=None):
        self.assertStatus(answer, status, message)
        self.assertNotIn(MEMBERS_TEXT, answer.raw)


class FormIdentification(Identification):
    @classmethod
    def make_servers(cls):
        cls.server = make(2)
        return [cls.server]

    def post(self, body, source="127.0.0.1", headers=(), url=MEMBERS_FOLDER):
        return self.server.get(url, (("Content-Type", "application/x-www-form-urlencoded"),) + headers,
                               method="POST", body=body, source=source)

    def assertCookies(self, answer, lasting):
        """The two login cookies: the login, and the server's keyed hash in place of the
        password; both kept from scripts and from other sites' requests."""
        cookies = answer.all("Set-Cookie")
        self.assertEqual(len(cookies), 2, answer.raw)
        self.assertTrue(cookies[0].startswith("user=amy;"), cookies)
        self.assertRegex(cookies[1], r"^password=[0-9a-f]{64};")
        for cookie in cookies:
            self.assertTrue(cookie.endswith("; HttpOnly; SameSite=Lax"), cookie)
        if not lasting:
            self.assertEqual([cookie.split(";", 1)[0] for cookie in cookies][0], "user=amy")
            self.assertFalse(any("expires=" in cookie for cookie in cookies), cookies)
            return
        sent = email.utils.parsedate_to_datetime(answer.header("Date"))
        for cookie in cookies:
            expires = email.utils.parsedate_to_datetime(cookie.split("; expires=", 1)[1].split(";", 1)[0])
            self.assertEqual(expires.year, sent.year + 1, cookie)
            self.assertEqual((expires.month, expires.day), (sent.month, sent.day), cookie)
            self.assertLess(abs((expires.replace(year=sent.year) - sent).total_seconds()), 5, cookie)

    def test_without_credentials_the_login_page_is_sent(self):
        answer = self.server.get(MEMBERS)
        self.assertRefused(answer, 401, "identification")
        self.assertIsNone(answer.header("WWW-Authenticate"))
        self.assertEqual(answer.header("Connection"), "Close")
        self.assertServed(self.server.get("/open.txt"), OPEN_TEXT)

    def test_a_form_login_with_savepwd_sets_cookies_for_a_year(self):
        answer = self.post(b"user=amy&password=secret&savepwd=on")
        self.assertPageServed(answer)
        self.assertCookies(answer, lasting=True)

    def test_a_form_login_without_savepwd_sets_session_cookies(self):
        for body in (b"user=amy&password=secret", b"user=amy&password=secret&savepwd=off"):
            with self.subTest(body=body):
                answer = self.post(body)
                self.assertPageServed(answer)
                self.assertCookies(answer, lasting=False)

    def test_a_form_login_on_a_file_gets_the_file_and_the_cookies(self):
        answer = self.post(b"user=amy&password=secret&savepwd=on", url=MEMBERS)
        self.assertServed(answer)
        self.assertCookies(answer, lasting=True)

    # Whatever answer a form login finally gets, the two cookies go with it: pages,
    # sections, single items, thumbnails, playlists, files, 304, the redirect of a folder
    # without its final "/" and the refusal of an excluded file.
    def test_the_cookies_leave_with_every_kind_of_answer(self):
        later = (("If-Modified-Since", http_date(parsed_date(self.server.get("/open.txt").header("Date")) + 86400)),)
        cases = (
            (MEMBERS_FOLDER, (), 200, "application/xml; charset=UTF-8", b"<name>m.txt</name>"),
            ("/members/?section.xml=other", (), 200, "application/xml; charset=UTF-8", b"<name>m.txt</name>"),
            ("/members/?item.xml=m.txt", (), 200, "application/xml; charset=UTF-8", b"<name>m.txt</name>"),
            ("/members/?miniature=pic.png", (), 200, "image/bmp", None),
            ("/members/?folder.pls", (), 200, "audio/scpls", b"/members/song.mp3"),
            (MEMBERS, (), 200, "text/plain", MEMBERS_TEXT),
            (MEMBERS, later, 304, None, None),
            ("/members/sub", (), 301, "application/xml; charset=UTF-8", b"Resource location : "),
            ("/members/withheld.txt", (), 403, "application/xml; charset=UTF-8", b"Error 403 : Forbidden"),
        )
        for url, headers, status, content_type, text in cases:
            with self.subTest(url=url, status=status):
                answer = self.post(b"user=amy&password=secret&savepwd=on", url=url, headers=headers)
                self.assertStatus(answer, status)
                self.assertEqual(answer.header("Content-Type"), content_type)
                if text is not None:
                    self.assertIn(text, answer.body)
                if content_type == "image/bmp":
                    self.assertEqual(bitmap_size(answer.body), (64, 48))
                self.assertCookies(answer, lasting=True)
                if status == 403:
                    self.assertNotIn(MEMBERS_TEXT, answer.raw)

    def test_the_body_is_waited_for_and_ends_at_its_length(self):
        # Announced whole, sent in two parts: the server waits for the second.
        body = b"user=amy&password=secret&savepwd=on"
        data = request_bytes(MEMBERS_FOLDER, method="POST", body=body, port=self.server.port)
        split = len(data) - len(body) + 10
        answer = parse_answer(self.server.exchange(None, pieces=[data[:split], data[split:]]))
        self.assertPageServed(answer)
        self.assertCookies(answer, lasting=True)
        # What follows the announced length is not part of the body.
        short = request_bytes(MEMBERS_FOLDER, (("Content-Length", "24"),), method="POST",
                              body=b"user=amy&password=secret&savepwd=on", port=self.server.port)
        answer = parse_answer(self.server.exchange(short))
        self.assertPageServed(answer)
        self.assertCookies(answer, lasting=False)

    def test_the_login_cookies_identify_without_new_cookies(self):
        login = self.post(b"user=amy&password=secret&savepwd=on")
        cookie = "; ".join(line.split(";", 1)[0] for line in login.all("Set-Cookie"))
        answer = self.server.get(MEMBERS, (("Cookie", cookie),))
        self.assertServed(answer)
        self.assertEqual(answer.all("Set-Cookie"), [])

    def test_a_wrong_password_gets_the_login_page_again(self):
        answer = self.post(b"user=amy&password=wrong", source="127.0.0.20", url=MEMBERS)
        self.assertRefused(answer, 401, "identification")
        self.assertEqual(answer.all("Set-Cookie"), [])

    def test_an_audio_player_always_gets_the_basic_challenge(self):
        answer = self.server.get(MEMBERS, (("User-Agent", "VLC/3.0.18 LibVLC/3.0.18"),))
        self.assertRefused(answer, 401, "Error 401 : Unauthorized")
        self.assertEqual(answer.header("WWW-Authenticate"), REALM)
        self.assertServed(self.server.get(MEMBERS, (("User-Agent", "VLC/3.0"), basic("amy:secret"))))

    # A password cookie that is no Base64 decodes to whatever bytes it gives: a wrong
    # password (401), or one that holds a NUL byte, which is refused (400).
    def test_odd_cookies_and_fields_get_an_answer(self):
        cases = (
            (b"user=\x01\xfe; password=d3Jvbmc=", (401,)),
            (b";;;=;", (401,)),
            (b"user=\xff\x7f", (401,)),
            (b"user=%00; password=c2VjcmV0", (400,)),
            (b"user=amy; password=\x80\x81", (400, 401)),
            (b"user=amy; password=!!not base64!!", (400, 401)),
            (b"user=amy; password=" + b"A" * 2000, (400, 401)),
        )
        for number, (cookie, statuses) in enumerate(cases):
            with self.subTest(cookie=cookie):
                answer = self.server.get(MEMBERS, (("Cookie", cookie),), source=f"127.0.0.{30 + number}")
                self.assertIn(answer.status, statuses, answer.raw[:300])
                self.assertNotIn(MEMBERS_TEXT, answer.raw)
        self.assertRefused(self.post(b"user=amy%00&password=secret", source="127.0.0.40", url=MEMBERS), 400)


class BasicIdentification(Identification):
    @classmethod
    def make_servers(cls):
        cls.server = make(1)
        return [cls.server]

    def get(self, *headers, source="127.0.0.1", url=MEMBERS):
        return self.server.get(url, headers, source=source)

    def test_the_challenge_and_a_right_login(self):
        answer = self.get()
        self.assertRefused(answer, 401, "Error 401 : Unauthorized")
        self.assertEqual(answer.header("WWW-Authenticate"), REALM)
        answer = self.get(basic("amy:secret"))
        self.assertServed(answer)
        self.assertEqual(answer.all("Set-Cookie"), [])
        # The password is all that follows the first ":", itself holding ":" or not.
        self.assertRefused(self.get(basic("amy:x:secret"), source="127.0.0.51"), 401)
        # Another account than the share's.
        self.assertRefused(self.get(basic("bob:pw"), source="127.0.0.50"), 401)

    def test_credentials_that_are_none_are_challenged_and_not_counted(self):
        source = "127.0.0.8"
        for header in (("Authorization", "Basic !!!not-base64!!!"), basic("amysecret"), basic("a:"),
                       ("Authorization", "Basic YQ=="), ("Authorization", "Basic"), ("Authorization", "Digest x"),
                       ("Authorization", "Basic " + "A" * 2500)):
            with self.subTest(header=header):
                self.assertRefused(self.get(header, source=source), 401)
        # Seven refusals, none of them counted: the address is not banned.
        self.assertServed(self.get(basic("amy:secret"), source=source))

    def test_the_failure_that_reaches_the_limit_bans_that_address_only(self):
        banned, other = "127.0.0.2", "127.0.0.3"
        self.assertRefused(self.get(basic("amy:wrong"), source=banned), 401)
        self.assertRefused(self.get(basic("amy:wrong"), source=banned), 401)
        self.assertRefused(self.get(basic("amy:wrong"), source=banned), 403,
                           "Too many identification errors : IP banned for 600 seconds")
        self.assertRefused(self.get(basic("amy:secret"), source=banned), 403, "IP banned")
        self.assertRefused(self.get(source=banned), 403, "IP banned")
        # Shares that are not restricted stay open to the banned address.
        self.assertServed(self.get(source=banned, url="/open.txt"), OPEN_TEXT)
        self.assertServed(self.get(basic("amy:secret"), source=other))
        self.assertServed(self.get(basic("amy:secret")))

    # Only header lines are headers: credentials written in the body are not read.
    def test_an_authorization_line_in_the_body_is_no_header(self):
        body = b"x=1\r\nAuthorization: Basic " + base64.b64encode(b"amy:secret") + b"\r\n\r\n"
        answer = self.server.get(MEMBERS, method="POST", body=body, source="127.0.0.70")
        self.assertRefused(answer, 401, "Error 401 : Unauthorized")
        self.assertEqual(answer.header("WWW-Authenticate"), REALM)

    def test_failures_are_counted_per_address(self):
        sources = ("127.0.0.4", "127.0.0.5")
        for source in sources:
            for _ in range(2):
                self.assertRefused(self.get(basic("amy:wrong"), source=source), 401)
        for source in sources:
            self.assertServed(self.get(basic("amy:secret"), source=source))


# Resources are never identified, even under a restricted root share; a "?res=" name that
# leaves the resources folder names no resource, and the request, one for the root page,
# asks for identification like any other.
class RestrictedRoot(Identification):
    @classmethod
    def make_servers(cls):
        cls.server = Server([Share("/", "pub", users="amy"), Share("/members/", "members", users="amy")],
                            users={"amy": "secret"}, protocol={"IDENTIFICATION_METHOD": "1"})
        cls.server.write("pub/root.txt", OPEN_TEXT)
        cls.server.write("members/m.txt", MEMBERS_TEXT)
        cls.server.write("secret-beside.txt", SECRET)
        return [cls.server]

    def test_a_resource_is_served_without_identification(self):
        with open(os.path.join(orvendale._arguments.source, "resources", "classic.css"), "rb") as css:
            resource = css.read()
        for headers in ((), (basic("amy:wrong"),)):
            with self.subTest(headers=headers):
                answer = self.server.get("/?res=classic.css", headers, source="127.0.0.60")
                self.assertStatus(answer, 200)
                self.assertEqual((answer.header("Content-Type"), answer.body), ("text/css", resource))
        self.assertRefused(self.server.get("/root.txt"), 401)

    def test_a_resource_name_that_leaves_the_resources_folder_is_identified_and_reveals_nothing(self):
        names = (b"../../secret-beside.txt", b"%2e%2e/%2e%2e/secret-beside.txt", b"..%2f..%2fmembers%2fm.txt",
                 b"../../pub/root.txt", b"../../members/m.txt",
                 b"%C0%AE%C0%AE%C0%AF%C0%AE%C0%AE%C0%AFsecret-beside.txt",
                 b"..%5c..%5csecret-beside.txt", b"nothing.css")
        for name in names:
            with self.subTest(name=name):
                answer = self.server.get(b"/?res=" + name)
                self.assertRefused(answer, 401, "Error 401 : Unauthorized")
                self.assertEqual(answer.header("WWW-Authenticate"), REALM)
                self.assertNotIn(SECRET, answer.raw)
                self.assertNotIn(OPEN_TEXT, answer.raw)
                # Identified, the request gets the root page, never the file.
                answer = self.server.get(b"/?res=" + name, (basic("amy:secret"),))
                self.assertStatus(answer, 200, "<name>root.txt</name>")
                for withheld in (SECRET, OPEN_TEXT, MEMBERS_TEXT):
                    self.assertNotIn(withheld, answer.raw)
        # A "?res=" on any other URL is no resource either.
        self.assertRefused(self.server.get("/members/?res=classic.css"), 401)


if __name__ == "__main__":
    orvendale.main()
