"""The login form of a restricted share as a visitor uses it, under both build methods: the
form asks for the login and the password, a wrong password brings the form back, and the
right one opens the folder page, whose file links then give the files."""

import pages
from pages import METHODS
from orvendale import Server, Share

MEMBERS_TEXT = b"for members only"


def make_server(method):
    server = Server([Share("/", "pub"), Share("/members/", "members", users="amy")], users={"amy": "secret"},
                    protocol={"IDENTIFICATION_METHOD": "2", "MAX_IDENTIFICATION_ERROR": "10"},
                    html={"PAGE_BUILD_METHOD": method})
    server.write("pub/open.txt", "open to all")
    server.write("members/m.txt", MEMBERS_TEXT)
    return server


READ_FORM = """() => {
    const form = document.querySelector("form");
    if (!form) return null;
    return {
        method: form.method,
        fields: [...form.querySelectorAll("input")].map((input) => [input.name, input.type]),
        labels: [...form.querySelectorAll("label")].map((label) => label.innerText.trim()),
        button: form.querySelector("button[type=submit]").innerText.trim(),
    };
}"""

FILL = """(user, password) => {
    document.querySelector("input[name=user]").value = user;
    document.querySelector("input[name=password]").value = password;
    return true;
}"""


class Login(pages.BrowserTestCase):
    @classmethod
    def make_servers(cls):
        cls.by_method = {method: make_server(method) for method in METHODS}
        return list(cls.by_method.values())

    def test_the_form_refuses_a_wrong_password_and_opens_the_share_with_the_right_one(self):
        shown = {}
        for method, server in self.by_method.items():
            with self.subTest(method=method):
                # Cookies do not tell ports apart: the other server's login must not open this one.
                self.browser.command("Network.clearBrowserCookies", session=True)
                members = f"http://127.0.0.1:{server.port}/members/"
                page = self.open(members)
                self.assertEqual(self.browser.fetch(members)[0], 401)
                self.screenshot(f"login-{method}.png")
                self.assertEqual(page["heading"], page["title"])
                form = self.browser.call(READ_FORM)
                self.assertEqual(form["method"], "post")
                self.assertEqual(form["fields"], [["user", "text"], ["password", "password"], ["savepwd", "checkbox"]])
                self.assertEqual(len(form["labels"]), 3)
                self.assertTrue(all(form["labels"]), form)
                self.assertTrue(form["button"])
                shown[method] = (page["text"], form)

                self.browser.call(FILL, "amy", "wrong")
                self.browser.click("button[type=submit]")
                self.assertEqual(self.browser.call(READ_FORM), form)
                self.assertNotIn("m.txt", pages.read_page(self.browser)["text"])

                self.browser.call(FILL, "amy", "secret")
                self.browser.click("button[type=submit]")
                page = pages.read_page(self.browser)
                self.screenshot(f"login-opened-{method}.png")
                self.assertEqual(page["url"], members)
                self.assertEqual(pages.section_names(page, "other"), ["m.txt"])
                # The cookies the form set open the file too.
                link = page["sections"]["other"]["items"][0]["url"]
                self.assertEqual(self.browser.fetch(link)[::2], (200, MEMBERS_TEXT))
        # The same form whoever builds it.
        self.assertEqual(shown[pages.CLIENT], shown[pages.SERVER])


if __name__ == "__main__":
    pages.main()
