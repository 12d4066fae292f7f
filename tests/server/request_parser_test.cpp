#include "server/request_parser.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using orv::server::ClientHeader;
using orv::server::getRequestValue;
using orv::server::ParsedRequest;
using orv::server::parseHttpRequest;
using orv::server::RequestParseResult;
using orv::server::RequestParseStatus;

QDateTime utc(int year, int month, int day, int hour, int minute, int second) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

RequestParseResult parseOk(const QByteArray& text) {
  RequestParseResult result = parseHttpRequest(text);
  EXPECT_EQ(result.status, RequestParseStatus::Ok) << result.error.toStdString();
  return result;
}

// Request texts as real clients send them.
struct RealRequest {
  const char* client;
  QByteArray text;
  QByteArray method;
  QByteArray url;
  QByteArray version;
  QByteArray host;
  QByteArray userAgent;
  QByteArray connection;
  QByteArray acceptEncoding;
  QByteArray cookie;
  QByteArray authorization;
  qint64 range;
  QDateTime ifModifiedSince;
  QByteArray body;
};

TEST(RequestParser, ReadsTheRequestsOfRealClients) {
  const RealRequest cases[] = {
      {"curl",
       "GET /music/ HTTP/1.1\r\n"
       "Host: 127.0.0.1:8080\r\n"
       "User-Agent: curl/7.88.1\r\n"
       "Accept: */*\r\n"
       "\r\n",
       "GET",
       "/music/",
       "1.1",
       "127.0.0.1:8080",
       "curl/7.88.1",
       "",
       "",
       "",
       "",
       0,
       {},
       ""},
      {"curl with Basic credentials and a range",
       "GET /docs/report.pdf HTTP/1.1\r\n"
       "Host: pc:8080\r\n"
       "Range: bytes=1048576-\r\n"
       "Authorization: Basic YWxpY2U6c2VjcmV0\r\n"
       "User-Agent: curl/7.88.1\r\n"
       "Accept: */*\r\n"
       "\r\n",
       "GET",
       "/docs/report.pdf",
       "1.1",
       "pc:8080",
       "curl/7.88.1",
       "",
       "",
       "",
       "Basic YWxpY2U6c2VjcmV0",
       1048576,
       {},
       ""},
      {"a browser fetching a folder page",
       "GET /photos/2023/?sortby_image=date&showby_image=mini HTTP/1.1\r\n"
       "Host: pc.local:8080\r\n"
       "User-Agent: Mozilla/5.0 (X11; Linux x86_64; rv:109.0) Gecko/20100101 Firefox/115.0\r\n"
       "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,*/*;q=0.8\r\n"
       "Accept-Language: en-US,en;q=0.5\r\n"
       "Accept-Encoding: gzip, deflate\r\n"
       "Connection: keep-alive\r\n"
       "Referer: http://pc.local:8080/photos/\r\n"
       "Cookie: user=alice; password=c2VjcmV0\r\n"
       "Upgrade-Insecure-Requests: 1\r\n"
       "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
       "Cache-Control: max-age=0\r\n"
       "\r\n",
       "GET", "/photos/2023/?sortby_image=date&showby_image=mini", "1.1", "pc.local:8080",
       "Mozilla/5.0 (X11; Linux x86_64; rv:109.0) Gecko/20100101 Firefox/115.0", "keep-alive", "gzip, deflate",
       "user=alice; password=c2VjcmV0", "", 0, utc(1994, 11, 6, 8, 49, 37), ""},
      {"a browser sending the login form",
       "POST /private/ HTTP/1.1\r\n"
       "Host: 192.168.0.2\r\n"
       "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
       "Chrome/120.0.0.0 Safari/537.36\r\n"
       "Content-Type: application/x-www-form-urlencoded\r\n"
       "Content-Length: 37\r\n"
       "Origin: http://192.168.0.2\r\n"
       "Connection: keep-alive\r\n"
       "Accept-Encoding: gzip, deflate, br\r\n"
       "\r\n"
       "user=alice&password=secret&savepwd=on",
       "POST",
       "/private/",
       "1.1",
       "192.168.0.2",
       "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
       "Safari/537.36",
       "keep-alive",
       "gzip, deflate, br",
       "",
       "",
       0,
       {},
       "user=alice&password=secret&savepwd=on"},
      {"an audio player resuming a song",
       "GET /music/Some%20Artist/01%20-%20Intro.mp3 HTTP/1.1\r\n"
       "Host: 192.168.0.2:80\r\n"
       "Accept: */*\r\n"
       "Accept-Language: en_US\r\n"
       "User-Agent: VLC/3.0.18 LibVLC/3.0.18\r\n"
       "Range: bytes=500-\r\n"
       "Icy-MetaData: 1\r\n"
       "\r\n",
       "GET",
       "/music/Some%20Artist/01%20-%20Intro.mp3",
       "1.1",
       "192.168.0.2:80",
       "VLC/3.0.18 LibVLC/3.0.18",
       "",
       "",
       "",
       "",
       500,
       {},
       ""},
      {"an HTTP/1.0 audio player",
       "GET /music/ HTTP/1.0\r\n"
       "Host: 192.168.0.2\r\n"
       "User-Agent: WinampMPEG/5.66, Ultravox/2.1\r\n"
       "Ultravox-transport-type: TCP\r\n"
       "Accept: */*\r\n"
       "Icy-MetaData:1\r\n"
       "Connection: close\r\n"
       "\r\n",
       "GET",
       "/music/",
       "1.0",
       "192.168.0.2",
       "WinampMPEG/5.66, Ultravox/2.1",
       "close",
       "",
       "",
       "",
       0,
       {},
       ""},
  };
  for (const RealRequest& c : cases) {
    SCOPED_TRACE(c.client);
    const RequestParseResult result = parseOk(c.text);
    const ParsedRequest& request = result.request;
    EXPECT_EQ(request.method, c.method);
    EXPECT_EQ(request.url, c.url);
    EXPECT_EQ(request.httpVersion, c.version);
    EXPECT_EQ(request.header(ClientHeader::Host), c.host);
    EXPECT_EQ(request.header(ClientHeader::UserAgent), c.userAgent);
    EXPECT_EQ(request.header(ClientHeader::Connection), c.connection);
    EXPECT_EQ(request.header(ClientHeader::AcceptEncoding), c.acceptEncoding);
    EXPECT_EQ(request.header(ClientHeader::Cookie), c.cookie);
    EXPECT_EQ(request.header(ClientHeader::Authorization), c.authorization);
    EXPECT_EQ(request.rangeStart, c.range);
    EXPECT_EQ(request.ifModifiedSince, c.ifModifiedSince);
    EXPECT_EQ(request.body, c.body);
    EXPECT_EQ(request.contentLength, c.body.size());
    EXPECT_EQ(result.bytesUsed, c.text.size());
  }
}

TEST(RequestParser, ReadsTheRequestLine) {
  struct Case {
    QByteArray requestLine;
    QByteArray method;
    QByteArray url;
    QByteArray version;
  };
  const Case cases[] = {
      {"GET /a%20b/ HTTP/1.1", "GET", "/a%20b/", "1.1"},
      {"get / HTTP/1.0", "get", "/", "1.0"},  // a known method keeps its case
      {"HeAd /x HTTP/0.9", "HeAd", "/x", "0.9"},
      {"POST /login HTTP/1.1", "POST", "/login", "1.1"},
      {"PUT /f HTTP/1.1", "PUT", "/f", "1.1"},
      {"DELETE /f HTTP/1.1", "DELETE", "/f", "1.1"},
      {"TRACE / HTTP/1.1", "TRACE", "/", "1.1"},
      {"CONNECT host:443 HTTP/1.1", "CONNECT", "host:443", "1.1"},
      {"PATCH / HTTP/1.1", "", "/", "1.1"},  // unknown methods are left empty
      {"OPTIONS * HTTP/1.1", "", "*", "1.1"},
      {"GET / HTTP/2.0", "GET", "/", "1.1"},  // no known version: 1.1
      {"GET / HTTP/1.1 ", "GET", "/", "1.1"},
      {"GET / HTTP/1.0x", "GET", "/", "1.1"},
      {"GET /a b HTTP/1.1", "GET", "/a b", "1.1"},
      {"GET    /spaced    HTTP/1.1", "GET", "/spaced", "1.1"},
      {"GET /a HTTP/b HTTP/1.1", "GET", "/a HTTP/b", "1.1"},  // up to the last " HTTP/"
      {"GET /x http/1.0", "GET", "/x", "1.0"},
      {"GET /noversion HTTP", "GET", "", "1.1"},  // no " HTTP/": no URL
      {"GET HTTP/1.1", "GET", "", "1.1"},
      {"GET  HTTP/1.1", "GET", "", "1.1"},
      {"GET relative HTTP/1.1", "GET", "relative", "1.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requestLine.toStdString());
    const ParsedRequest request = parseOk(c.requestLine + "\r\nHost: pc\r\n\r\n").request;
    EXPECT_EQ(request.method, c.method);
    EXPECT_EQ(request.url, c.url);
    EXPECT_EQ(request.httpVersion, c.version);
  }
}

TEST(RequestParser, ReadsHeaderValuesAsTheyStand) {
  const ParsedRequest request = parseOk(
                                    "GET / HTTP/1.1\r\n"
                                    "content-length: 0\r\n"
                                    "HOST:pc\r\n"
                                    "Connection: close  \r\n"
                                    "User-Agent:    spaced\tagent\r\n"
                                    "Accept:\r\n"
                                    "Accept: second\r\n"
                                    "Cookie: a=1\r\n"
                                    "Cookie: b=2\r\n"
                                    "Referer: http://x/?a:b\r\n"
                                    "\r\n")
                                    .request;
  EXPECT_EQ(request.header(ClientHeader::Host), "pc");
  EXPECT_EQ(request.header(ClientHeader::Connection), "close  ");  // blanks at the end stay
  EXPECT_EQ(request.header(ClientHeader::UserAgent), "spaced\tagent");
  EXPECT_EQ(request.header(ClientHeader::Accept), "");  // the first line of a name counts
  EXPECT_EQ(request.header(ClientHeader::Cookie), "a=1");
  EXPECT_EQ(request.header(ClientHeader::Referer), "http://x/?a:b");
  EXPECT_EQ(request.header(ClientHeader::AcceptEncoding), "");
}

// A header counts only at the start of a header line: not inside another header's name, not
// in the request line, not in the body.
TEST(RequestParser, FindsHeadersOnlyAtTheStartOfHeaderLines) {
  const ParsedRequest request = parseOk(
                                    "POST /Host:evil/Cookie:x HTTP/1.1\r\n"
                                    "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                    "Proxy-Authorization: Basic cHJveHk6cHJveHk=\r\n"
                                    "Content-Range: bytes 0-99/100\r\n"
                                    "X-Forwarded-Host: other\r\n"
                                    "X-Range: bytes=700-\r\n"
                                    "Content-Length: 60\r\n"
                                    "\r\n"
                                    "a=1\r\nAuthorization: Basic Ym9keTpib2R5\r\nUser-Agent: body\r\n\r\n")
                                    .request;
  EXPECT_EQ(request.header(ClientHeader::TE), "");
  EXPECT_EQ(request.header(ClientHeader::Authorization), "");
  EXPECT_EQ(request.header(ClientHeader::ProxyAuthorization), "Basic cHJveHk6cHJveHk=");
  EXPECT_EQ(request.header(ClientHeader::Host), "");
  EXPECT_EQ(request.header(ClientHeader::Cookie), "");
  EXPECT_EQ(request.header(ClientHeader::UserAgent), "");
  EXPECT_EQ(request.header(ClientHeader::ContentRange), "bytes 0-99/100");
  EXPECT_EQ(request.rangeStart, 0);
  EXPECT_EQ(request.date, utc(1994, 11, 6, 8, 49, 37));
  EXPECT_EQ(request.body.size(), 60);
}

TEST(RequestParser, ReadsTheFirstOffsetOfARange) {
  constexpr qint64 kLargest = std::numeric_limits<qint64>::max();
  struct Case {
    QByteArray line;  // empty: no Range header
    qint64 first;
  };
  const Case cases[] = {
      {"Range: bytes=500-999", 500},
      {"Range: bytes=500-", 500},
      {"range: BYTES=42-43", 42},
      {"Range: bytes= 7 -9", 7},
      {"Range: bytes=-500", 0},
      {"Range: bytes=0-99,200-299", 0},  // the text before the last "-" is no number
      {"Range: bytes=500", 0},
      {"Range: bytes=abc-", 0},
      {"Range: bytes=+5-", 0},
      {"Range: bytes=5.5-", 0},
      {"Range: bytes=1e3-", 0},
      {"Range: bytes=--5", 0},
      {"Range: bytes=-", 0},
      {"Range: items=5-", 0},
      {"Range:bytes=5-", 0},  // not the server's search text
      {"Range: bytes=99999999999999999999999999-", kLargest},
      {"Range: bytes=9223372036854775807-", kLargest},
      {"Range: bytes=9223372036854775806-", kLargest - 1},
      {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.toStdString());
    const QByteArray text = "GET /f HTTP/1.1\r\n" + (c.line.isEmpty() ? QByteArray() : c.line + "\r\n") + "\r\n";
    EXPECT_EQ(parseOk(text).request.rangeStart, c.first);
  }
}

TEST(RequestParser, ReadsContentLengthAndWaitsForTheBody) {
  struct Case {
    QByteArray value;
    QByteArray received;  // after the blank line
    RequestParseStatus status;
    QByteArray body;
  };
  const Case cases[] = {
      {"5", "hello", RequestParseStatus::Ok, "hello"},
      {"5", "hell", RequestParseStatus::Incomplete, ""},
      {"0", "", RequestParseStatus::Ok, ""},
      {"abc", "xyz", RequestParseStatus::Ok, ""},
      {"-5", "xyz", RequestParseStatus::Ok, ""},
      {"+5", "hello", RequestParseStatus::Ok, ""},
      {"5 ", "hello", RequestParseStatus::Ok, "hello"},
      {" 5\t ", "hello", RequestParseStatus::Ok, "hello"},
      {"5 5", "hello", RequestParseStatus::Ok, ""},
      {"99999999999999999999999", "x", RequestParseStatus::Incomplete, ""},
      {"12", "a\r\n\r\nb\r\n\r\n\r\n", RequestParseStatus::Ok, "a\r\n\r\nb\r\n\r\n\r\n"},
      {"3", QByteArray("a\0b", 3), RequestParseStatus::Ok, QByteArray("a\0b", 3)},  // a body may hold any byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.toStdString());
    const QByteArray head = "POST /login HTTP/1.1\r\nContent-Length: " + c.value + "\r\n\r\n";
    const RequestParseResult result = parseHttpRequest(head + c.received);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.request.body, c.body);
    if (c.status == RequestParseStatus::Ok) {
      EXPECT_EQ(result.bytesUsed, head.size() + c.body.size());
    }
  }
}

TEST(RequestParser, ReadsTheFourDateHeaders) {
  const ParsedRequest request = parseOk(
                                    "GET / HTTP/1.1\r\n"
                                    "Date: Mon, 1 Jan 2007 00:00:05 GMT\r\n"
                                    "If-Modified-Since: Sunday, 06-Nov-94 08:49:37 GMT\r\n"
                                    "If-Unmodified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                    "Last-Modified: Sun Nov  6 08:49:37 1994\r\n"
                                    "\r\n")
                                    .request;
  EXPECT_EQ(request.date, utc(2007, 1, 1, 0, 0, 5));
  EXPECT_FALSE(request.ifModifiedSince.isValid());
  EXPECT_EQ(request.ifUnmodifiedSince, utc(1994, 11, 6, 8, 49, 37));
  EXPECT_FALSE(request.lastModified.isValid());
  EXPECT_FALSE(parseOk("GET / HTTP/1.1\r\n\r\n").request.ifModifiedSince.isValid());
}

TEST(RequestParser, WaitsForTheBlankLineThatEndsTheHead) {
  const QByteArray pieces[] = {
      "",
      "GET / HTTP/1.1",
      "GET / HTTP/1.1\r",
      "GET / HTTP/1.1\r\n",
      "GET / HTTP/1.1\r\nHost: pc\r\n",
      "GET / HTTP/1.1\r\nHost: pc\r\n\r",
      "\r\n",
      "\r\n\r\n",
  };
  for (const QByteArray& piece : pieces) {
    EXPECT_EQ(parseHttpRequest(piece).status, RequestParseStatus::Incomplete) << piece.toStdString();
  }
}

TEST(RequestParser, RefusesHeadsItCannotReadSafely) {
  struct Case {
    const char* name;
    QByteArray text;
  };
  const Case cases[] = {
      {"NUL in the request line", QByteArrayLiteral("GET /a\0b HTTP/1.1\r\n\r\n")},
      {"NUL in a header", QByteArrayLiteral("GET / HTTP/1.1\r\nHost: p\0c\r\n\r\n")},
      {"NUL before the head is complete", QByteArrayLiteral("GET /\0")},
      {"encoded NUL in the path", "GET /a%00.txt HTTP/1.1\r\n\r\n"},
      {"encoded NUL in the query", "GET /?res=x%00y HTTP/1.1\r\n\r\n"},
      {"encoded NUL in the other case", "GET /?miniature=%00 HTTP/1.1\r\n\r\n"},
      {"head ended by line feeds only", "GET / HTTP/1.1\nHost: pc\n\n"},
      {"bare line feed inside a header", "GET / HTTP/1.1\r\nHost: pc\nLocation: x\r\n\r\n"},
      {"bare carriage return inside a header", "GET / HTTP/1.1\r\nHost: pc\rX: y\r\n\r\n"},
      {"bare line feed at the start", "\nGET / HTTP/1.1\r\n\r\n"},
      {"no blank in the request line", "GET\r\nHost: a b HTTP\r\n\r\n"},
      {"no version in the request line", "GET /\r\nReferer: http://x/\r\n\r\n"},
      {"the start of a TLS handshake", QByteArrayLiteral("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03")},
      {"two different lengths", "POST / HTTP/1.1\r\nContent-Length: 3\r\ncontent-length: 30\r\n\r\nabc"},
      {"chunked body", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"},
      {"other transfer coding", "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n"},
      {"chunked after identity",
       "POST / HTTP/1.1\r\nTransfer-Encoding: identity\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n"},
  };
  for (const Case& c : cases) {
    const RequestParseResult result = parseHttpRequest(c.text);
    EXPECT_EQ(result.status, RequestParseStatus::Bad) << c.name;
    EXPECT_FALSE(result.error.isEmpty()) << c.name;
    EXPECT_EQ(result.bytesUsed, 0) << c.name;
  }
}

TEST(RequestParser, AcceptsWhatRealClientsMaySendAroundAHead) {
  // An empty line before the request line, as some clients send after a body.
  const QByteArray afterABody = "\r\n\r\nGET /x HTTP/1.1\r\nHost: pc\r\n\r\n";
  const RequestParseResult result = parseOk(afterABody);
  EXPECT_EQ(result.request.url, "/x");
  EXPECT_EQ(result.bytesUsed, afterABody.size());
  // The same Content-Length twice, and an identity transfer coding.
  EXPECT_EQ(parseOk("POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length:  3\r\n\r\nabc").request.body, "abc");
  EXPECT_EQ(parseOk("POST / HTTP/1.1\r\nTransfer-Encoding: identity\r\nContent-Length: 1\r\n\r\nz").request.body, "z");
  // A continuation line is no header of its own.
  EXPECT_EQ(parseOk("GET / HTTP/1.1\r\nX-Long: a\r\n Host: evil\r\n\r\n").request.header(ClientHeader::Host), "");
}

// Two requests that arrive together are two requests: the second one stays in the buffer.
TEST(RequestParser, LeavesPipelinedRequestsForTheNextParse) {
  const QByteArray first = "POST /login HTTP/1.1\r\nHost: pc\r\nContent-Length: 9\r\n\r\nuser=anna";
  const QByteArray second = "GET /next HTTP/1.1\r\nHost: pc\r\n\r\n";
  const QByteArray third = "GET /partial HTTP/1.1\r\nHo";
  const QByteArray buffer = first + second + third;

  const RequestParseResult one = parseOk(buffer);
  EXPECT_EQ(one.request.url, "/login");
  EXPECT_EQ(one.request.body, "user=anna");
  ASSERT_EQ(one.bytesUsed, first.size());

  const RequestParseResult two = parseOk(buffer.mid(one.bytesUsed));
  EXPECT_EQ(two.request.url, "/next");
  EXPECT_EQ(two.request.body, "");
  ASSERT_EQ(two.bytesUsed, second.size());

  EXPECT_EQ(parseHttpRequest(buffer.mid(one.bytesUsed + two.bytesUsed)).status, RequestParseStatus::Incomplete);
}

TEST(RequestParser, HandlesHugeHeadsInOnePass) {
  QByteArray text = "GET /many HTTP/1.1\r\nHost: first\r\n";
  for (int i = 0; i < 10000; ++i) {
    text += "X-Header-" + QByteArray::number(i) + ": " + QByteArray::number(i) + "\r\n";
    text += "User-Agent: repeated\r\n";
  }
  const QByteArray longAgent(1 << 20, 'a');
  text += "Referer: " + longAgent + "\r\n\r\n";
  const RequestParseResult result = parseOk(text);
  EXPECT_EQ(result.request.header(ClientHeader::Host), "first");
  EXPECT_EQ(result.request.header(ClientHeader::UserAgent), "repeated");
  EXPECT_EQ(result.request.header(ClientHeader::Referer), longAgent);
  EXPECT_EQ(result.bytesUsed, text.size());
}

TEST(RequestParser, GetRequestValueSearchesHeaderLinesOnly) {
  const QByteArray request =
      "GET /Content-Length:9 HTTP/1.1\r\n"
      "Range: bytes=100-200\r\n"
      "Content-Length: 12\r\n"
      "\r\n"
      "Host: body\r\n";
  struct Case {
    const char* start;
    const char* end;
    const char* value;
  };
  const Case cases[] = {
      {"Content-Length:", "", "12"},
      {"content-LENGTH:", "", "12"},
      {"Range: bytes=", "-", "100"},
      {"Range: bytes=", "x", ""},
      {"Host:", "", ""},
      {"GET", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getRequestValue(request, c.start, c.end), QByteArray(c.value)) << c.start;
  }
  // A head not yet complete is searched up to the end of what has arrived.
  EXPECT_EQ(getRequestValue("POST / HTTP/1.1\r\nContent-Length: 40", "Content-Length:", ""), "40");
}

}  // namespace
