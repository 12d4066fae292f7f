"""The corpus of hostile raw requests: malformed request lines and headers, encodings,
ranges, credentials and ways out of the shares, each table crossed with the forms that
matter, and seeded mutations of good requests. Every entry says whether the program must
answer it (a request that is complete by the road's own rules) or may also wait for the
rest and close it silently when its idle timer runs out."""

import base64
import random

ANSWER = "answer"  # complete: an answer must come
ANY = "answer or silent close"

# The fixture's names: the test makes these files.
FILE = "/docs/a.txt"
LARGE = "/docs/large.bin"
MEMBERS = "/members/m.txt"


def is_complete(data, max_request_size=3000):
    """Whether the road answers the bytes as they are: a head ended by a blank line whose
    body is all there (a Content-Length that is no number counts as none), or more bytes
    than a request may have."""
    if len(data) > max_request_size:
        return True
    start = 0
    while data.startswith(b"\r\n", start):
        start += 2
    end = data.find(b"\r\n\r\n", start)
    if end < 0:
        return False
    length = 0
    for line in data[start:end].split(b"\r\n")[1:]:
        if line.lower().startswith(b"content-length:"):
            value = line.split(b":", 1)[1].strip(b" ")
            length = int(value) if value.isdigit() else 0
            break
    if end + 4 + length > max_request_size:
        return True
    return len(data) - end - 4 >= length


def request(line, headers=(b"Host: localhost",), body=b""):
    return line + b"\r\n" + b"".join(header + b"\r\n" for header in headers) + b"\r\n" + body


def get(target, headers=(b"Host: localhost",), method=b"GET"):
    return request(method + b" " + target + b" HTTP/1.1", headers)


def basic(text):
    return b"Authorization: Basic " + base64.b64encode(text)


def request_lines():
    methods = (b"GET", b"get", b"HEAD", b"POST", b"PUT", b"DELETE", b"TRACE", b"CONNECT", b"OPTIONS", b"PATCH",
               b"", b"G ET", b"GET\x00", b"\xc4GET", b"GET" * 300, b"\x16\x03\x01\x02\x00", b"-", b"GET\t")
    targets = (b"/", FILE.encode(), b"docs/a.txt", b"*", b"http://localhost/docs/a.txt", b"//docs/a.txt",
               b"/docs/a.txt?", b"/?", b"/%", b"/%2", b"/%zz", b"/%00", b"/\x00", b"/ docs/a.txt", b"/docs/a\ttxt",
               "/é".encode(), b"/\xff\xfe", b"/" + b"a" * 1999, b"/" + b"a" * 2000, b"/" + b"%41" * 700,
               b"/docs/a.txt#fragment", b"/docs/a.txt;param", b"/..", b"/.", b"/docs/.", b"/docs/./a.txt",
               b"/docs//a.txt", b"/docs", b"/docs/?showby_other=nonsense&sortby_other=\xff&sortorder_other=",
               b"/docs/?filter_other=true&filter_image=false&showgroup_other=maybe&showplayers=2",
               b"/docs/?section.xml=", b"/docs/?section.xml=nothing", b"/docs/?item.xml=", b"/docs/?item.xml=missing",
               b"/?miniature=", b"/?res=", b"/?res=?res=classic.css", b"/docs/?folder.pls", b"/docs/?artist:.pls",
               b"/docs/?album:" + b"x" * 500 + b".pls", b"/?&&&==&", b"/docs/a.txt?" + b"q" * 1990)
    versions = (b"HTTP/1.1", b"HTTP/1.0", b"HTTP/0.9", b"HTTP/2.0", b"HTTP/1.1 extra", b"http/1.1", b"", b"HTTP/",
                b"HTTP/1.10", b"HTTP/1.1\x00", b"HTTP/1.1\t", b"FTP/1.0")
    for method in methods:
        yield "method", request(method + b" " + FILE.encode() + b" HTTP/1.1")
    for target in targets:
        yield "target", get(target)
        yield "target (HEAD)", get(target, method=b"HEAD")
    for version in versions:
        yield "version", request(b"GET " + FILE.encode() + b" " + version)
    line = b"GET " + FILE.encode() + b" HTTP/1.1"
    for name, data in (("LF only", line + b"\nHost: localhost\n\n"),
                       ("CR only", line + b"\rHost: localhost\r\r"),
                       ("LF then CR LF", line + b"\nHost: localhost\n\r\n\r\n"),
                       ("blank lines first", b"\r\n\r\n" + request(line)),
                       ("only blank lines", b"\r\n" * 20),
                       ("spaces", b"GET  " + FILE.encode() + b"  HTTP/1.1\r\n\r\n"),
                       ("no version", b"GET " + FILE.encode() + b"\r\n\r\n"),
                       ("nothing", b"\r\n\r\n"),
                       ("one word", b"GET\r\n\r\n"),
                       ("binary", bytes(range(256)) + b"\r\n\r\n"),
                       ("NULs", b"\x00" * 64 + b"\r\n\r\n"),
                       ("two requests", request(line) + request(line)),
                       ("a request and a half", request(line) + b"GET /docs/a.t"),
                       ("a request and garbage", request(line) + b"\x00\xff garbage\r\n\r\n")):
        yield name, data


def header_lines():
    line = b"GET " + FILE.encode() + b" HTTP/1.1"
    headers = (
        (), (b"Host:",), (b"Host: localhost", b"Host: other"), (b"Host: " + b"h" * 2800,), (b"Host: local\x00host",),
        ("Host: höst".encode("utf-8"),), (b"Host: \xff\xfe",), (b"garbage",), (b": value",), (b"Name : value",),
        (b"Host: localhost", b" folded continuation"), (b"\tHost: localhost",), (b"X-A: 1",) * 200,
        (b"X-Padding: " + b"p" * 2900,), (b"Connection: keep-alive",), (b"Connection: close, keep-alive, \xff",),
        (b"Connection: Keep-Alive", b"Keep-Alive: timeout=-1, max=99999999999"), (b"Expect: 100-continue",),
        (b"Accept-Encoding: deflate;q=0, \x00",), (b"Accept-Encoding: " + b"deflate," * 300,),
        (b"User-Agent: " + b"u" * 2900,), (b"User-Agent: vlc\x00",), (b"Cookie: " + b";" * 500,),
        (b"Cookie: user=\xff; password=\x00",), (b"If-Modified-Since: " + b"9" * 100,),
        (b"If-Modified-Since: Mon, 32 Foo 99999 25:61:61 GMT",), (b"If-Modified-Since: Thu, 01 Jan 1970 00:00:00 GMT",),
        (b"If-Modified-Since: Sat, 31 Dec 9999 23:59:59 GMT",), (b"Content-Type: multipart/form-data; boundary=",),
        (b"Transfer-Encoding: chunked",), (b"Transfer-Encoding: gzip, chunked",), (b"Content-Length: abc",),
        (b"Content-Length: -1",), (b"Content-Length: 0",), (b"Content-Length: +5",), (b"Content-Length: 0x10",),
        (b"Content-Length: 1e3",), (b"Content-Length: 99999999999999999999",), (b"Content-Length:    ",),
        (b"Content-Length: 1", b"Content-Length: 2"), (b"CONTENT-LENGTH: 3",), (b"Content-Length : 3",),
        (b"Content-Length: 3",), (b"Content-Length: 5000",),
    )
    for values in headers:
        yield "headers", request(line, values)
    for values in headers[-8:]:
        yield "headers and a body", request(b"POST " + FILE.encode() + b" HTTP/1.1", values, b"abc")
    yield "body of its length", request(b"POST " + FILE.encode() + b" HTTP/1.1", (b"Content-Length: 5",), b"hello")
    yield "body longer than its length", request(b"POST " + FILE.encode() + b" HTTP/1.1", (b"Content-Length: 2",),
                                                  b"hello")


def encodings():
    forms = (b"%2e%2e/", b"%2E%2E%2F", b"..%2f", b"%252e%252e%252f", b"%c0%ae%c0%ae/", b"%e0%80%ae%e0%80%ae/",
             b"..%5c", b"%5c..%5c", b"..\\", b"%u002e%u002e/", b"%00/", b"%ff/", b"+/", b"%", b"%%", b"%2", b"%g0",
             b"\xc3\xa9/", b"e\xcc\x81/", b"%C3%A9/", b"%e9/", b"\xc0\xaf", b"%c0%af", b"%ef%bc%8f", b"%e2%80%ae")
    for form in forms:
        yield "encoding", get(b"/docs/" + form + b"a.txt")
        yield "encoding in a query", get(b"/docs/?item.xml=" + form + b"a.txt")


def ranges():
    values = (b"0-", b"-5", b"5-1", b"999-", b"1000-", b"99999999999999999999-", b"-", b"", b"0-0,5-6", b" 5-",
              b"5 -", b"-0", b"0x10-", "１-".encode("utf-8"), b"18446744073709551616-", b"-9223372036854775808",
              b"5-\x00", b"abc", b"5-10-15", b"=5-", b"1-2-", b"00000000000000000000001-")
    for target in (FILE, LARGE):
        for value in values:
            yield "range", get(target.encode(), (b"Host: localhost", b"Range: bytes=" + value))
    for header in (b"Range: items=0-1", b"Range: bytes=1-\r\nRange: bytes=2-", b"Range:bytes=5-", b"range: bytes=5-",
                   b"Range: bytes =5-"):
        yield "range header", get(FILE.encode(), (b"Host: localhost", header))
    yield "range with a date", get(FILE.encode(), (b"Range: bytes=5-", b"If-Modified-Since: Sat, 31 Dec 9999 23:59:59 GMT"))
    yield "range on HEAD", get(LARGE.encode(), (b"Range: bytes=100-",), method=b"HEAD")


def credentials():
    for text in (b"amy:secret", b"amy:wrong", b"amysecret", b"a:", b":secret", b":", b"amy:x:secret", b"amy:secret\x00",
                 b"amy\x00:secret", "amy:sécret".encode("cp1252"), "amy:sécret".encode("utf-8"), b"\xff\xfe:\x00\x01",
                 b"amy:" + b"s" * 2000, b"a" * 1500 + b":b"):
        yield "basic", get(MEMBERS.encode(), (b"Host: localhost", basic(text)))
    for header in (b"Authorization: Basic", b"Authorization: Basic ", b"Authorization: basic YW15OnNlY3JldA==",
                   b"Authorization: Basic !!!not-base64!!!", b"Authorization: Basic YW15OnNlY3JldA",
                   b"Authorization: Basic YW15OnNlY3JldA===", b"Authorization: Basic YW15O\nnNlY3JldA==",
                   b"Authorization: Digest username=amy", b"Authorization: " + b"A" * 2900,
                   b"Authorization: Basic \x00\xff"):
        yield "authorization", get(MEMBERS.encode(), (b"Host: localhost", header))
    password = base64.b64encode(b"secret")
    for cookie in (b"user=amy; password=" + password, b"user=amy; password=wrong", b"user=amy", b"password=" + password,
                   b"user=; password=", b"user=amy%00; password=" + password, b"user=%ZZ; password=%ZZ",
                   b"user=amy; password=!!", b"user=amy;password=" + password + b";user=bob",
                   b"user=" + b"u" * 2000, b"user=\xff\xfe; password=\x80"):
        yield "cookie", get(MEMBERS.encode(), (b"Host: localhost", b"Cookie: " + cookie))
    for body in (b"user=amy&password=secret", b"user=amy&password=secret&savepwd=on", b"user=amy&password=wrong",
                 b"user=amy", b"password=secret", b"user=%ZZ&password=%", b"user=amy%00&password=secret",
                 b"user=amy&password=secret%00", b"&&&===", b"user=" + b"x" * 2500, b"user=amy&password=sec\xffret",
                 b"user=amy&user=bob&password=secret"):
        yield "login form", request(b"POST " + MEMBERS.encode() + b" HTTP/1.1",
                                    (b"Host: localhost", b"Content-Type: application/x-www-form-urlencoded",
                                     b"Content-Length: " + str(len(body)).encode()), body)


def traversals():
    ups = (b"..", b"%2e%2e", b"%2E%2e", b".%2e", b"%2e.", b"%252e%252e", b"..%00", b"...", b"..%c0%af..")
    separators = (b"/", b"%2f", b"%5c", b"\\", b"%2F")
    targets = (b"secret.txt", b"app/config.xml", b"members/m.txt", b"etc/passwd")
    for prefix in (b"/", b"/docs/", b"/members/"):
        for up in ups:
            for separator in separators[:3]:
                path = prefix + (up + separator) * 3
                for target in targets[:2]:
                    yield "traversal", get(path + target)
            yield "traversal", get(prefix + up + separators[3] + up + separators[4] + targets[2])
    for key in (b"?res=", b"?miniature=", b"?item.xml=", b"?section.xml=", b"?RES=", b"?res=?res="):
        for value in (b"../secret.txt", b"../../secret.txt", b"..%2f..%2fsecret.txt", b"/etc/passwd",
                      b"%2e%2e/%2e%2e/app/config.xml", b"..\\..\\secret.txt", b"out-link", b"out-dir/"):
            yield "query traversal", get(b"/docs/" + key + value)
            yield "query traversal", get(b"/" + key + value)
    for target in (b"/docs/out-link", b"/docs/out-dir/", b"/docs/out-dir/secret.txt", b"/docs/out-dir/?item.xml=secret.txt",
                   b"/docs/?item.xml=out-link", b"/docs/?miniature=out-link", b"/docs/abs-link", b"/docs/out-dir"):
        yield "link out of the share", get(target)


def mutations(seed=13, count=160):
    """Good requests with bytes flipped, inserted, deleted, repeated or cut off."""
    dice = random.Random(seed)
    good = [get(FILE.encode()), get(b"/docs/"), get(LARGE.encode(), (b"Host: localhost", b"Range: bytes=100-")),
            get(MEMBERS.encode(), (b"Host: localhost", basic(b"amy:secret"))), get(b"/?res=classic.css"),
            get(b"/docs/?section.xml=other&sortby_other=size"), get(b"/docs/?item.xml=a.txt"), get(b"/music/?folder.pls"),
            request(b"POST " + MEMBERS.encode() + b" HTTP/1.1",
                    (b"Content-Type: application/x-www-form-urlencoded", b"Content-Length: 24"), b"user=amy&password=secret")]
    for number in range(count):
        data = bytearray(dice.choice(good))
        for _ in range(dice.randrange(1, 6)):
            if len(data) < 2:
                break
            where = dice.randrange(len(data))
            kind = dice.randrange(6)
            if kind == 0:
                data[where] ^= 1 << dice.randrange(8)
            elif kind == 1:
                data[where:where] = bytes(dice.randrange(256) for _ in range(dice.randrange(1, 8)))
            elif kind == 2:
                del data[where:where + dice.randrange(1, 8)]
            elif kind == 3:
                data[where:where] = dice.choice((b"%", b"%00", b"..", b"/", b"\r\n", b":", b"\x00", b"%2e%2e/", b"\xff"))
            elif kind == 4:
                data[where:where] = data[:dice.randrange(1, len(data))]
            else:
                data = data[:max(1, where)]
        yield f"mutation {number}", bytes(data)


def corpus(mutated=160):
    """Every entry: (kind, bytes, what must come back); mutated is the number of mutations
    of good requests among them."""
    entries = []
    for source in (request_lines, header_lines, encodings, ranges, credentials, traversals,
                   lambda: mutations(count=mutated)):
        for kind, data in source():
            entries.append((kind, data, ANSWER if is_complete(data) else ANY))
    return entries
