#include "server/http_request.h"

#include "server/http_dates.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::server::clsHttpRequest;
using orv::server::getRFC1123DateFormat;
using orv::server::parseHttpRequest;
using orv::server::RequestParseStatus;

QDateTime utc(int year, int month, int day, int hour, int minute, int second) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

using TextAccessor = QByteArray (clsHttpRequest::*)() const;

// Every text header of a request, each with a value of its own.
TEST(HttpRequest, EachAccessorReadsItsOwnHeader) {
  struct Case {
    const char* name;
    TextAccessor accessor;
  };
  const Case cases[] = {
      {"Accept", &clsHttpRequest::getClientAccept},
      {"Accept-Charset", &clsHttpRequest::getClientAcceptCharset},
      {"Accept-Encoding", &clsHttpRequest::getClientAcceptEncoding},
      {"Accept-Language", &clsHttpRequest::getClientAcceptLanguage},
      {"Allow", &clsHttpRequest::getClientAllow},
      {"Authorization", &clsHttpRequest::getClientAuthorization},
      {"Connection", &clsHttpRequest::getClientConnection},
      {"Cache-Control", &clsHttpRequest::getClientCacheControl},
      {"Content-Encoding", &clsHttpRequest::getClientContentEncoding},
      {"Content-Language", &clsHttpRequest::getClientContentLanguage},
      {"Content-Type", &clsHttpRequest::getClientContentType},
      {"Cookie", &clsHttpRequest::getClientCookie},
      {"From", &clsHttpRequest::getClientFrom},
      {"If-None-Match", &clsHttpRequest::getClientIfNoneMatch},
      {"Keep-Alive", &clsHttpRequest::getClientKeepAlive},
      {"Host", &clsHttpRequest::getClientHost},
      {"Referer", &clsHttpRequest::getClientReferer},
      {"User-Agent", &clsHttpRequest::getClientUserAgent},
      {"Expect", &clsHttpRequest::getClientExpect},
      {"Expires", &clsHttpRequest::getClientExpires},
      {"If-Match", &clsHttpRequest::getClientIfMatch},
      {"If-Range", &clsHttpRequest::getClientIfRange},
      {"Max-Forwards", &clsHttpRequest::getClientMaxForwards},
      {"Pragma", &clsHttpRequest::getClientPragma},
      {"Proxy-Authorization", &clsHttpRequest::getClientProxyAuthorization},
      {"Retry-After", &clsHttpRequest::getClientRetryAfter},
      {"TE", &clsHttpRequest::getClientTE},
      {"Transfer-Encoding", &clsHttpRequest::getClientTransferEncoding},
      {"Vary", &clsHttpRequest::getClientVary},
      {"Content-Location", &clsHttpRequest::getClientContentLocation},
      {"Content-MD5", &clsHttpRequest::getClientContentMD5},
      {"Content-Range", &clsHttpRequest::getClientContentRange},
      {"Trailer", &clsHttpRequest::getClientTrailer},
      {"Upgrade", &clsHttpRequest::getClientUpgrade},
      {"Via", &clsHttpRequest::getClientVia},
      {"Warning", &clsHttpRequest::getClientWarning},
  };
  // Transfer-Encoding must be "identity" to be read at all; the others carry their name.
  QByteArray text = "GET /all HTTP/1.1\r\n";
  for (const Case& c : cases) {
    const QByteArray name(c.name);
    text += name + ": " + (name == "Transfer-Encoding" ? QByteArray("identity") : "value of " + name) + "\r\n";
  }
  text +=
      "Content-Length: 4\r\n"
      "Range: bytes=10-20\r\n"
      "Date: Mon, 1 Jan 2007 00:00:05 GMT\r\n"
      "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
      "If-Unmodified-Since: Sat, 16 Dec 2023 12:00:00 GMT\r\n"
      "Last-Modified: Thu, 29 Feb 2024 23:59:59 GMT\r\n"
      "\r\n"
      "body";

  clsHttpRequest request;
  ASSERT_EQ(request.initClientRequestValues(text), RequestParseStatus::Ok);
  for (const Case& c : cases) {
    const QByteArray name(c.name);
    const QByteArray expected = name == "Transfer-Encoding" ? QByteArray("identity") : "value of " + name;
    EXPECT_EQ((request.*c.accessor)(), expected) << c.name;
  }
  EXPECT_EQ(request.getClientMethod(), "GET");
  EXPECT_EQ(request.getClientUrl(), "/all");
  EXPECT_EQ(request.getClientHttpVersion(), "1.1");
  EXPECT_EQ(request.getClientContentLength(), 4);
  EXPECT_EQ(request.getClientRange(), 10);
  EXPECT_EQ(request.getClientDate(), utc(2007, 1, 1, 0, 0, 5));
  EXPECT_EQ(request.getClientIfModifiedSince(), utc(1994, 11, 6, 8, 49, 37));
  EXPECT_EQ(request.getClientIfUnmodifiedSince(), utc(2023, 12, 16, 12, 0, 0));
  EXPECT_EQ(request.getClientLastModified(), utc(2024, 2, 29, 23, 59, 59));
  EXPECT_EQ(request.getClientBodyData(), "body");
}

TEST(HttpRequest, ARequestThatCannotBeReadLeavesTheFieldsAsTheyWere) {
  clsHttpRequest request;
  EXPECT_EQ(request.getClientMethod(), "");
  EXPECT_EQ(request.getClientContentLength(), 0);
  EXPECT_FALSE(request.getClientIfModifiedSince().isValid());

  EXPECT_EQ(request.initClientRequestValues("GET /first HTTP/1.1\r\nHost: pc\r\n\r\n"), RequestParseStatus::Ok);
  EXPECT_EQ(request.initClientRequestValues("GET /second HTTP/1.1\nHost: other\n\n"), RequestParseStatus::Bad);
  EXPECT_EQ(request.initClientRequestValues("GET /third HTTP/1.1\r\n"), RequestParseStatus::Incomplete);
  EXPECT_EQ(request.getClientUrl(), "/first");
  EXPECT_EQ(request.getClientHost(), "pc");
}

TEST(HttpRequest, TakesARequestParsedByTheConnection) {
  auto parsed = parseHttpRequest("HEAD /x HTTP/1.0\r\nUser-Agent: probe\r\n\r\n");
  ASSERT_EQ(parsed.status, RequestParseStatus::Ok);
  const clsHttpRequest request(std::move(parsed.request));
  EXPECT_EQ(request.getClientMethod(), "HEAD");
  EXPECT_EQ(request.getClientHttpVersion(), "1.0");
  EXPECT_EQ(request.getClientUserAgent(), "probe");
}

TEST(ResponseHead, AMinimalHeadHasTheStatusLineAndItsOneHeader) {
  clsHttpRequest response;
  response.setServerStatusNb("404");
  response.setServerHttpVersion("1.1");
  response.setServerContentLength("0");
  EXPECT_EQ(response.getServerFullRequest(), "");
  response.buildServerRequest();
  EXPECT_EQ(response.getServerFullRequest(), "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
}

TEST(ResponseHead, StatusLines) {
  struct Case {
    const char* version;
    const char* status;
    const char* line;
  };
  const Case cases[] = {
      {"1.1", "200", "HTTP/1.1 200 OK\r\n\r\n"},
      {"1.1", "299", "HTTP/1.1 299 Unknow method\r\n\r\n"},
      {"", "200", "HTTP/ 200 OK\r\n\r\n"},
      {"1.1", "", "HTTP/1.1  Unknow method\r\n\r\n"},
  };
  for (const Case& c : cases) {
    clsHttpRequest response;
    response.setServerHttpVersion(c.version);
    response.setServerStatusNb(c.status);
    response.buildServerRequest();
    EXPECT_EQ(response.getServerFullRequest(), QByteArray(c.line)) << c.status;
  }
}

// Every setter called, in the reverse of the order of the lines: the head still comes in its
// fixed order.
TEST(ResponseHead, WritesEveryLineInItsFixedOrder) {
  clsHttpRequest response;
  response.addServerCookie("user", "alice");
  response.setServerVary("Accept-Encoding");
  response.setServerContentWarning("199 warning");
  response.setServerContentVia("1.1 proxy");
  response.setServerContentUpgrade("websocket");
  response.setServerContentTrailer("Expires");
  response.setServerContentRange("bytes 100-999/1000");
  response.setServerContentMD5("Q2hlY2sgSW50ZWdyaXR5IQ==");
  response.setServerContentLocation("/a.txt");
  response.setServerWWWAuthenticate("Basic realm=\"Private\"");
  response.setServerAge("5");
  response.setServerAllow("GET, HEAD, POST");
  response.setServerLocation("http://pc:8080/music/");
  response.setServerExpires("Sun, 7 Jan 2007 00:00:05 GMT");
  response.setServerContentType("audio/mpeg");
  response.setServerContentLength("900");
  response.setServerContentLanguage("en");
  response.setServerContentEncoding("deflate");
  response.setServerAcceptRange("bytes");
  response.setServerTransferEncoding("identity");
  response.setServerConnection("Keep-Alive");
  response.setServerKeepAlive("timeout=15, max=99");
  response.setServerEtag("\"3E8-1C9\"");
  response.setServerLastModified(utc(1994, 11, 6, 8, 49, 37));
  response.setServerServer("Orvendale 1.02");
  response.setServerDate(utc(2007, 1, 1, 0, 0, 5));
  response.setServerHttpVersion("1.1");
  response.setServerStatusNb("206");
  response.buildServerRequest();
  EXPECT_EQ(response.getServerFullRequest(),
            "HTTP/1.1 206 Partial Content\r\n"
            "Date: Mon, 1 Jan 2007 00:00:05 GMT\r\n"
            "Server: Orvendale 1.02\r\n"
            "Last-Modified: Sun, 6 Nov 1994 08:49:37 GMT\r\n"
            "Etag: \"3E8-1C9\"\r\n"
            "Keep-Alive: timeout=15, max=99\r\n"
            "Connection: Keep-Alive\r\n"
            "Transfer-Encoding: identity\r\n"
            "Accept-Ranges: bytes\r\n"
            "Content-Encoding: deflate\r\n"
            "Content-Language: en\r\n"
            "Content-Length: 900\r\n"
            "Content-Type: audio/mpeg\r\n"
            "Expires: Sun, 7 Jan 2007 00:00:05 GMT\r\n"
            "Location: http://pc:8080/music/\r\n"
            "Allow: GET, HEAD, POST\r\n"
            "Age: 5\r\n"
            "WWW-Authenticate: Basic realm=\"Private\"\r\n"
            "Content-Location: /a.txt\r\n"
            "Content-MD5: Q2hlY2sgSW50ZWdyaXR5IQ==\r\n"
            "Content-Range: bytes 100-999/1000\r\n"
            "Trailer: Expires\r\n"
            "Upgrade: websocket\r\n"
            "Via: 1.1 proxy\r\n"
            "Warning: 199 warning\r\n"
            "Vary: Accept-Encoding\r\n"
            "Set-Cookie: user=alice\r\n"
            "\r\n");
}

TEST(ResponseHead, ALaterSetterCallReplacesTheValue) {
  clsHttpRequest response;
  response.setServerStatusNb("200");
  response.setServerHttpVersion("1.1");
  response.setServerConnection("Keep-Alive");
  response.setServerConnection("Close");
  response.setServerContentType("text/html");
  response.setServerContentType("");
  response.buildServerRequest();
  EXPECT_EQ(response.getServerFullRequest(), "HTTP/1.1 200 OK\r\nConnection: Close\r\n\r\n");
}

TEST(ResponseHead, DatesAreWrittenOnlyWhenValid) {
  clsHttpRequest response;
  response.setServerStatusNb("200");
  response.setServerHttpVersion("1.1");
  response.setServerContentType("text/plain");
  response.setServerDate(QDateTime());
  response.setServerLastModified(QDateTime(QDate(1994, 11, 31), QTime(0, 0), Qt::UTC));
  response.buildServerRequest();
  EXPECT_EQ(response.getServerFullRequest(), "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");

  response.setServerDate(utc(1994, 11, 6, 0, 0, 0));
  response.buildServerRequest();
  EXPECT_EQ(response.getServerFullRequest(),
            "HTTP/1.1 200 OK\r\nDate: Sun, 6 Nov 1994 00:00:00 GMT\r\nContent-Type: text/plain\r\n\r\n");
}

TEST(ResponseHead, CookiesFollowEveryHeaderAndLeaveWithOneBuildOnly) {
  clsHttpRequest response;
  response.setServerStatusNb("200");
  response.setServerHttpVersion("1.1");
  response.addServerCookie("a", "1", "", "", "");
  response.addServerCookie("b", "2", "Mon, 6 Nov 1995 08:49:37 GMT", "", "");
  response.addServerCookie("c", "3", "Mon, 6 Nov 1995 08:49:37 GMT", "/music/", "pc.local");
  response.addServerCookie("d", "", "", "/", "");
  response.addServerCookie("a", "again", "", "", "example.org");
  response.setServerContentLength("12");
  response.buildServerRequest();
  EXPECT_EQ(response.getServerFullRequest(),
            "HTTP/1.1 200 OK\r\n"
            "Content-Length: 12\r\n"
            "Set-Cookie: a=1\r\n"
            "Set-Cookie: b=2; expires=Mon, 6 Nov 1995 08:49:37 GMT\r\n"
            "Set-Cookie: c=3; expires=Mon, 6 Nov 1995 08:49:37 GMT; path=/music/; domain=pc.local\r\n"
            "Set-Cookie: d=; path=/\r\n"
            "Set-Cookie: a=again; domain=example.org\r\n"
            "\r\n");
  response.buildServerRequest();
  EXPECT_EQ(response.getServerFullRequest(), "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n");
}

// A value holding CR or LF would end its line early and start one of its own: the head
// of a redirect must not grow a header from a Host, and a long Base64 cookie must not be
// cut in two.
TEST(ResponseHead, LineBreaksInsideValuesNeverSplitTheHead) {
  clsHttpRequest response;
  response.setServerStatusNb("301\r\nX-Status: 1");
  response.setServerHttpVersion("1.1");
  response.setServerLocation("http://evil/\r\nSet-Cookie: session=stolen\r\n\r\n<html>");
  response.setServerServer(QByteArrayLiteral("Orvendale\0 1.02"));
  response.addServerCookie("password",
                           "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0NTY3\r\n"
                           "ODk=");
  response.buildServerRequest();
  EXPECT_EQ(
      response.getServerFullRequest(),
      "HTTP/1.1 301X-Status: 1 Unknow method\r\n"
      "Server: Orvendale 1.02\r\n"
      "Location: http://evil/Set-Cookie: session=stolen<html>\r\n"
      "Set-Cookie: password=QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0NTY3ODk=\r\n"
      "\r\n");
}

TEST(ResponseHead, ADateFromTheRequestSideIsWrittenBackUnchanged) {
  clsHttpRequest exchange;
  ASSERT_EQ(
      exchange.initClientRequestValues("GET / HTTP/1.1\r\nIf-Modified-Since: Tue, 29 Feb 2000 23:59:59 GMT\r\n\r\n"),
      RequestParseStatus::Ok);
  exchange.setServerStatusNb("304");
  exchange.setServerHttpVersion("1.1");
  exchange.setServerLastModified(exchange.getClientIfModifiedSince());
  exchange.buildServerRequest();
  EXPECT_EQ(exchange.getServerFullRequest(),
            "HTTP/1.1 304 Not Modified\r\nLast-Modified: Tue, 29 Feb 2000 23:59:59 GMT\r\n\r\n");
  EXPECT_EQ(getRFC1123DateFormat(exchange.getClientIfModifiedSince()), "Tue, 29 Feb 2000 23:59:59 GMT");
}

}  // namespace
