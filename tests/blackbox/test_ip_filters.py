"""The IP filter as clients meet it in the built program, from two loopback addresses: the
filtered one is dropped without a word (and the refusal is in history.xml after a clean
stop), the admitted one is served; under "Deny" the list names the only clients admitted,
under "Allow" the only clients refused."""

import os
import unittest
import xml.etree.ElementTree as ElementTree
from xml.sax.saxutils import quoteattr

import orvendale
from orvendale import Server, Share, parse_answer, request_bytes

ADMITTED = "127.0.0.2"
FILTERED = "127.0.0.3"
FILTERS_REJECT = "11"


class FilteredServer(Server):
    """A server whose config.xml holds an IP filter."""

    def __init__(self, shares, method, addresses):
        super().__init__(shares)
        self.method = method
        self.addresses = addresses

    def _config(self):
        addresses = "".join(f"<ADDRESS ip={quoteattr(address)}/>" for address in self.addresses)
        filters = f'<IP_FILTERS method="{self.method}">{addresses}</IP_FILTERS>'
        return super()._config().replace("</CONFIGURATION>", filters + "</CONFIGURATION>")


class IpFilters(unittest.TestCase):
    def run_server(self, method, addresses):
        server = FilteredServer([Share("/", "pub")], method, addresses)
        self.addCleanup(server.clean)
        server.write("pub/a.txt", b"served")
        server.start()
        self.addCleanup(server.stop)
        return server

    def get_from(self, server, source):
        return server.exchange(request_bytes("/a.txt", port=server.port), source=source)

    def check(self, server):
        answer = parse_answer(self.get_from(server, ADMITTED))
        self.assertEqual((answer.status, answer.body), (200, b"served"), answer.raw[:400])
        self.assertEqual(self.get_from(server, FILTERED), b"")
        self.assertEqual(server.stop(), 0, server.output())
        history = ElementTree.parse(os.path.join(server.app, "history.xml")).getroot()
        rejected = [event.attrib["ipAddress"] for event in history.iter("EVENT")
                    if event.attrib["type"] == FILTERS_REJECT]
        self.assertEqual(rejected, [FILTERED])

    def test_deny_admits_only_the_listed_address(self):
        self.check(self.run_server("Deny", [ADMITTED]))

    def test_allow_refuses_only_the_listed_address(self):
        self.check(self.run_server("Allow", [FILTERED]))


if __name__ == "__main__":
    orvendale.main()
