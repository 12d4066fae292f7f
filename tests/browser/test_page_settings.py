"""The same folder page as a browser shows it before and after a change of the page
stylesheet and of the build method, as the HTML display settings store them in config.xml:
the program's own stylesheet, then another one of the resources folder applied by the
server, then the same one applied by the browser."""

import os

import pages
from orvendale import Server, Share

MARKER_XSL = b"""<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="UTF-8"/>
<xsl:template match="/">
<html><head><title>marker</title></head>
<body><h1 id="marker">Marker stylesheet</h1><p id="count"><xsl:value-of select="count(//*)"/></p></body></html>
</xsl:template>
</xsl:stylesheet>
"""


def add_marker(app):
    with open(os.path.join(app, "resources", "marker.xsl"), "wb") as out:
        out.write(MARKER_XSL)


class PageSettings(pages.BrowserTestCase):
    @classmethod
    def make_servers(cls):
        cls.server = Server([Share("/", "pub")], html={"PAGE_BUILD_METHOD": pages.SERVER}, prepare=add_marker)
        cls.server.write("pub/song.txt", b"la")
        cls.server.folder("pub/albums")
        return [cls.server]

    def restart(self, **html):
        self.assertEqual(self.server.stop(), 0, self.server.output())
        self.server.html.update(html)
        self.server.start()

    def marker(self):
        return self.browser.evaluate("(document.getElementById('marker') || {}).textContent || ''")

    def test_a_new_stylesheet_and_a_new_method_reach_the_page(self):
        url = lambda: pages.page_url(self.server)  # noqa: E731 (the port changes at each start)
        page = self.open(url())
        self.screenshot("settings-before.png")
        self.assertEqual(page["heading"], "Orvendale")
        self.assertEqual(self.marker(), "")
        self.assertTrue(self.server.get("/").header("Content-Type").startswith("text/html"))

        self.restart(XSL_FILE="marker.xsl")
        self.browser.navigate(url())
        self.screenshot("settings-stylesheet-by-server.png")
        self.assertEqual(self.marker(), "Marker stylesheet")
        answer = self.server.get("/")
        self.assertTrue(answer.header("Content-Type").startswith("text/html"), answer.raw[:300])
        self.assertIn(b"Marker stylesheet", answer.body)

        self.restart(PAGE_BUILD_METHOD=pages.CLIENT)
        self.browser.navigate(url())
        self.screenshot("settings-stylesheet-by-browser.png")
        self.assertEqual(self.marker(), "Marker stylesheet")
        answer = self.server.get("/")
        self.assertTrue(answer.header("Content-Type").startswith("application/xml"), answer.raw[:300])
        self.assertNotIn(b"Marker stylesheet", answer.body)
        self.assertIn(b"marker.xsl", answer.body)


if __name__ == "__main__":
    pages.main()
