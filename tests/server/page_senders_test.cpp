#include "server/page_senders.h"

#include "road_engine_fixture.h"

#include "platform/xml.h"
#include "server/file_reader.h"

#include <zlib.h>

#include <functional>
#include <memory>

namespace {

using namespace Qt::StringLiterals;
using enginetest::ComponentArray;
using enginetest::gConfiguration;
using enginetest::HttpAnswer;
using enginetest::parseAnswers;
using orv::server::RequestContext;
using orv::server::ServerEngine;

QByteArray inflateRaw(const QByteArray& data) {
  z_stream stream{};
  inflateInit2(&stream, -MAX_WBITS);
  QByteArray out(1 << 20, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  inflate(&stream, Z_FINISH);
  out.resize(static_cast<qsizetype>(stream.total_out));
  inflateEnd(&stream);
  return out;
}

// Each request of the road ends with the page sender the test chooses.
class PageSenders : public enginetest::RoadEngineTest {
 protected:
  void SetUp() override {
    RoadEngineTest::SetUp();
    server->setDataArrivalHandler(
        orv::server::fnctRequestRoad([this](ServerEngine& engine, RequestContext& context) { send(engine, context); }));
    tmp.write(u"pub/a.txt"_s, "hello");
  }

  std::function<void(ServerEngine&, RequestContext&)> send = [](ServerEngine& engine, RequestContext& context) {
    orv::server::subSendMessageToClient(engine, context.connectionIndex, 404, context.deflate, u"Error"_s,
                                        u"Error 404 : Not Found"_s, context.request, false);
  };

  HttpAnswer only(const TcpPeer& peer, int headOnly = 0) {
    const QList<HttpAnswer> answers = parseAnswers(peer.received, headOnly);
    EXPECT_EQ(answers.size(), 1) << peer.received.constData();
    return answers.isEmpty() ? HttpAnswer{} : answers.first();
  }
};

TEST_F(PageSenders, AMessagePageCarriesItsHeadAndClosesTheConnection) {
  const TcpPeer& peer = exchange({"GET /a.txt HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n"});
  const HttpAnswer answer = only(peer);
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(answer.header("Server"), "Orvendale 1.02");
  EXPECT_EQ(answer.header("Connection"), "Close");
  EXPECT_EQ(answer.header("Accept-Ranges"), "bytes");
  EXPECT_EQ(answer.header("Content-Type"), "application/xml; charset=UTF-8");
  EXPECT_TRUE(answer.hasHeader("Date"));
  EXPECT_FALSE(answer.hasHeader("Keep-Alive"));
  EXPECT_FALSE(answer.hasHeader("Content-Encoding"));
  EXPECT_EQ(answer.header("Content-Length").toLongLong(), answer.body.size());
  EXPECT_TRUE(answer.body.contains("<label>Error 404 : Not Found</label>")) << answer.body.constData();
  EXPECT_TRUE(waitForSlots(0));
  EXPECT_EQ(logCount(u"Load usrBuildXmlPage(1) by subSendMessageToClient"_s), 1);
  EXPECT_EQ(logCount(u"Unload usrBuildXmlPage(1) by subSendMessageToClient"_s), 1);
}

TEST_F(PageSenders, TheServerTransformGivesAnHtmlPage) {
  gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 2;
  gConfiguration.AppState.objXslTransformDocument =
      std::make_shared<const orv::xml::Document>(orv::xml::Document::fromBytes(
          "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
          "<xsl:output method=\"html\" encoding=\"UTF-8\"/><xsl:template match=\"/\">"
          "<p><xsl:value-of select=\"//label\"/></p></xsl:template></xsl:stylesheet>"));
  const HttpAnswer answer = only(exchange({"GET /a.txt HTTP/1.1\r\n\r\n"}));
  EXPECT_EQ(answer.header("Content-Type"), "text/html; charset=UTF-8");
  EXPECT_EQ(answer.body, "<p>Error 404 : Not Found</p>\n");
}

TEST_F(PageSenders, DeflateNeedsBothTheClientAndTheSetting) {
  struct Case {
    const char* name;
    bool compression;
    QByteArray acceptEncoding;
    bool deflated;
  };
  const Case cases[] = {
      {"both", true, "gzip, DEFLATE", true},
      {"setting off", false, "deflate", false},
      {"client without deflate", true, "gzip", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gConfiguration.Protocol.ENABLE_COMPRESSION = c.compression;
    const HttpAnswer answer =
        only(exchange({"GET /a.txt HTTP/1.1\r\nAccept-Encoding: " + c.acceptEncoding + "\r\n\r\n"}));
    EXPECT_EQ(answer.header("Content-Length").toLongLong(), answer.body.size());
    EXPECT_EQ(answer.hasHeader("Content-Encoding"), c.deflated);
    const QByteArray page = c.deflated ? inflateRaw(answer.body) : answer.body;
    EXPECT_TRUE(page.startsWith("<?xml")) << page.constData();
    EXPECT_TRUE(page.contains("Error 404 : Not Found"));
    ASSERT_TRUE(waitForSlots(0));
  }
}

// The head alone, with the length of the body a GET gets, and the connection still closes:
// it must not wait for a body that never comes.
TEST_F(PageSenders, AHeadRequestGetsTheWholeHeadAndNoBodyAndIsClosed) {
  const HttpAnswer get = only(exchange({"GET /a.txt HTTP/1.1\r\n\r\n"}));
  ASSERT_TRUE(waitForSlots(0));
  const TcpPeer& peer = exchange({"HEAD /a.txt HTTP/1.1\r\n\r\n"});
  EXPECT_TRUE(peer.received.endsWith("\r\n\r\n"));
  const HttpAnswer head = only(peer, 1);
  EXPECT_EQ(head.statusLine, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(head.header("Content-Length"), get.header("Content-Length"));
  EXPECT_TRUE(head.body.isEmpty());
  EXPECT_TRUE(waitForSlots(0));
}

// The headers the road set go with the request object; the cookies of a form login go with
// every page, so that a login is remembered whatever the request finally gets.
TEST_F(PageSenders, TheHeadersTheRoadSetGoOnlyWithTheRequestObjectItsCookiesAlways) {
  for (const bool pass : {true, false}) {
    SCOPED_TRACE(pass);
    send = [pass](ServerEngine& engine, RequestContext& context) {
      context.request.setServerWWWAuthenticate("Basic realm=\"Members\"");
      context.request.addServerCookie("user", "amy");
      orv::server::subSendMessageToClient(engine, context.connectionIndex, 401, false, u"Error"_s, u"401"_s,
                                          context.request, pass);
    };
    const HttpAnswer answer = only(exchange({"GET /a.txt HTTP/1.1\r\n\r\n"}));
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(answer.hasHeader("WWW-Authenticate"), pass);
    EXPECT_EQ(answer.header("Set-Cookie"), "user=amy");
    ASSERT_TRUE(waitForSlots(0));
  }
}

TEST_F(PageSenders, TheLoginPageIsA401PageThatCloses) {
  send = [](ServerEngine& engine, RequestContext& context) {
    orv::server::subSendIdentificationRQToClient(engine, context.connectionIndex, 401, false, u"Login"_s,
                                                 context.request, false);
  };
  const HttpAnswer answer = only(exchange({"GET /a.txt HTTP/1.1\r\nConnection: keep-alive\r\n\r\n"}));
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(answer.header("Connection"), "Close");
  EXPECT_TRUE(answer.body.contains("<title>Login</title>")) << answer.body.constData();
  EXPECT_TRUE(answer.body.contains("identification"));
  EXPECT_EQ(logCount(u"Load usrBuildXmlPage(1) by subSendIdentificationRQToClient"_s), 1);
}

// A builder that an earlier request left in the slot goes before the page's own is made.
TEST_F(PageSenders, ABuilderLeftInTheSlotIsRemovedFirst) {
  send = [](ServerEngine& engine, RequestContext& context) {
    engine.slots().loadPageBuilder(context.connectionIndex, u"test"_s);
    orv::server::subSendMessageToClient(engine, context.connectionIndex, 404, false, u"Error"_s, u"x"_s,
                                        context.request, false);
  };
  exchange({"GET /a.txt HTTP/1.1\r\n\r\n"});
  const QStringList log = logMessages();
  const qsizetype left = log.indexOf(u"Unload usrBuildXmlPage(1) by subSendMessageToClient"_s);
  const qsizetype made = log.indexOf(u"Load usrBuildXmlPage(1) by subSendMessageToClient"_s);
  EXPECT_GE(left, 0);
  EXPECT_LT(left, made);
}

// ---- The single item ----

class SingleItems : public PageSenders {
 protected:
  void SetUp() override {
    PageSenders::SetUp();
    send = [](ServerEngine& engine, RequestContext& context) {
      orv::server::subSendSingleItemToClient(engine, context.connectionIndex, context.deflate, context.localPath,
                                             orv::content::SingleItemType::File, context.request);
    };
  }
};

TEST_F(SingleItems, AKeptItemStaysOpenAndEveryItemGetsAFreshBuilder) {
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  const QByteArray request = "GET /a.txt HTTP/1.1\r\nConnection: kEEp-aLIVE\r\n\r\n";
  for (const QByteArray max : {"max=300", "max=299"}) {
    const qsizetype before = peer.received.size();
    peer.send(request);
    ASSERT_TRUE(processEventsUntil([&] { return enginetest::completeAnswers(peer.received.mid(before)) == 1; }));
    const HttpAnswer answer = parseAnswers(peer.received.mid(before)).first();
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.header("Connection"), "Keep-Alive");
    EXPECT_EQ(answer.header("Keep-Alive"), "timeout=15, " + max);
    EXPECT_EQ(answer.header("Content-Type"), "application/xml; charset=UTF-8");
    EXPECT_TRUE(answer.body.contains("<name>a.txt</name>")) << answer.body.constData();
    processPendingEvents();
    EXPECT_EQ(server->slots().count(), 1);
    EXPECT_FALSE(server->isControlArrayItemLoaded(ComponentArray::usrBuildXmlPage, 1));
    EXPECT_TRUE(server->slots().usrFileReader(1)->getIsKeepConnection());
    EXPECT_TRUE(server->slots().usrSocket(1)->Tag().isEmpty());
    EXPECT_TRUE(server->slots().usrSocket(1)->isConnectionTimeoutTimerActive());
  }
  EXPECT_EQ(logCount(u"Load usrBuildXmlPage(1) by subSendSingleItemToClient"_s), 2);
  EXPECT_EQ(logCount(u"Unload usrBuildXmlPage(1) by subSendSingleItemToClient"_s), 2);
}

TEST_F(SingleItems, TheRequestAfterTheLastKeptOneAndAnUnaskedOneClose) {
  struct Case {
    const char* name;
    double keepAliveMax;
    QByteArray connection;
  };
  const Case cases[] = {
      {"over HTTP_KEEP_ALIVE_MAX", 0, "Keep-Alive"},
      {"not asked, HTTP/1.1", 300, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_MAX = c.keepAliveMax;
    const QByteArray connection = c.connection.isEmpty() ? QByteArray() : "Connection: " + c.connection + "\r\n";
    const HttpAnswer answer = only(exchange({"GET /a.txt HTTP/1.1\r\n" + connection + "\r\n"}));
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.header("Connection"), "Close");
    EXPECT_FALSE(answer.hasHeader("Keep-Alive"));
    ASSERT_TRUE(waitForSlots(0));
  }
}

TEST_F(SingleItems, AHeadRequestGetsTheHeadOnly) {
  const TcpPeer& peer = exchange({"HEAD /a.txt HTTP/1.0\r\n\r\n"});
  const HttpAnswer answer = only(peer, 1);
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
  EXPECT_GT(answer.header("Content-Length").toInt(), 0);
  EXPECT_TRUE(peer.received.endsWith("\r\n\r\n"));
}

}  // namespace
