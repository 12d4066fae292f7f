#include "server/request_intake.h"

#include "road_engine_fixture.h"
#include "road_fixture.h"

#include "platform/deadline.h"
#include "platform/monotonic_clock.h"
#include "server/file_reader.h"
#include "server/ip_counters.h"
#include "server/page_senders.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

#include <stdexcept>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using enginetest::gConfiguration;
using enginetest::HttpAnswer;
using enginetest::parseAnswers;
using orv::server::fnctAssembleRequest;
using orv::server::HttpMethodCode;
using orv::server::RequestAssemblyStatus;
using orv::server::RequestContext;
using orv::server::RoadAnswer;
using orv::server::ServerEngine;

// ---- Assembling a request from what has come ----

struct AssemblyCase {
  const char* name;
  QByteArray text;
  RequestAssemblyStatus status;
  qsizetype bytesUsed;  // Complete: the request's part of the text
};

TEST(RequestAssembly, TakesOneRequestUpToItsBlankLineAndBody) {
  const QByteArray get = "GET / HTTP/1.1\r\nHost: a\r\n\r\n";
  const QByteArray post = "POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\n";
  const QByteArray lengthAbc = "POST / HTTP/1.1\r\nContent-Length: abc\r\n\r\n";
  const QByteArray lengthNegative = "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n";
  const QByteArray lengthZero = "POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n";
  const QByteArray withPadding = "GET / HTTP/1.1\r\nX: " + QByteArray(3000 - 23, 'x') + "\r\n\r\n";
  const std::vector<AssemblyCase> cases = {
      {"a head", get, RequestAssemblyStatus::Complete, get.size()},
      {"no blank line yet", "GET / HTTP/1.1\r\nHost: a\r\n", RequestAssemblyStatus::Incomplete, 0},
      {"a body not all there", post + "abc", RequestAssemblyStatus::Incomplete, 0},
      {"a body all there", post + "abcde", RequestAssemblyStatus::Complete, post.size() + 5},
      {"a length that is no number", lengthAbc + "xyz", RequestAssemblyStatus::Complete, lengthAbc.size()},
      {"a negative length", lengthNegative + "xyz", RequestAssemblyStatus::Complete, lengthNegative.size()},
      {"a length of 0", lengthZero + "xyz", RequestAssemblyStatus::Complete, lengthZero.size()},
      {"a length smaller than the body: the rest is the next request", post + "abcdeGET / HTTP/1.1\r\n\r\n",
       RequestAssemblyStatus::Complete, post.size() + 5},
      {"two requests in one piece", get + get, RequestAssemblyStatus::Complete, get.size()},
      {"a request of exactly the limit", withPadding, RequestAssemblyStatus::Complete, 3000},
      {"a request one byte over the limit", withPadding.chopped(4) + "x\r\n\r\n", RequestAssemblyStatus::TooLarge, 0},
      {"3001 bytes without a request", QByteArray(3001, 'a'), RequestAssemblyStatus::TooLarge, 0},
      {"a huge length, refused before its body comes", "POST / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n",
       RequestAssemblyStatus::TooLarge, 0},
      {"a length past 64 bits", "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
       RequestAssemblyStatus::TooLarge, 0},
      {"a length that fits the limit waits", "POST / HTTP/1.1\r\nContent-Length: 2900\r\n\r\n",
       RequestAssemblyStatus::Incomplete, 0},
      {"a small request after 3001 bytes of another", get + QByteArray(3001, 'a'), RequestAssemblyStatus::Complete,
       get.size()},
      {"no request line", "hello\r\n\r\n", RequestAssemblyStatus::Bad, 0},
      {"a NUL byte", QByteArray("GET /\0 HTTP/1.1\r\n\r\n", 20), RequestAssemblyStatus::Bad, 0},
      {"two lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", RequestAssemblyStatus::Bad,
       0},
      {"a chunked body", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", RequestAssemblyStatus::Bad, 0},
      {"too large comes before unreadable", QByteArray(3001, '\n'), RequestAssemblyStatus::TooLarge, 0},
  };
  for (const AssemblyCase& c : cases) {
    SCOPED_TRACE(c.name);
    const orv::server::RequestAssembly assembly = fnctAssembleRequest(c.text, 3000);
    EXPECT_EQ(assembly.status, c.status);
    if (c.status == RequestAssemblyStatus::Complete) {
      EXPECT_EQ(assembly.bytesUsed, c.bytesUsed);
    }
  }
}

// ---- The checks of a parsed request ----

struct CheckCase {
  const char* name;
  QByteArray requestLine;  // without its CR LF
  QByteArray headerLines;  // each ended by CR LF
  int status;              // 0: the request goes on
  const char* message;     // of the error page; empty for the standard one
};

class RequestChecks : public RoadFixture {
 protected:
  static orv::server::RoadDecision check(const CheckCase& c, RequestContext& context) {
    context.request.initClientRequestValues(c.requestLine + "\r\n" + c.headerLines + "\r\n");
    return orv::server::fnctCheckRequest(context);
  }
};

TEST_F(RequestChecks, RunInTheirOrderAndAnswerTheFirstThatFails) {
  gConfiguration.Protocol.ALLOW_ONLY_DOMAINS = true;
  gConfiguration.Protocol.DOMAINS_LIST = {u"a.org"_s, u"b.org"_s, QString()};
  gConfiguration.AppsNameManagement.BANNED_CLIENTS_KEYWORDS = {u"wget"_s, QString()};
  const QByteArray host = "Host: a.org\r\n";
  const QByteArray longest = "/" + QByteArray(1999, 'u');
  const std::vector<CheckCase> cases = {
      {"GET", "GET / HTTP/1.1", host, 0, ""},
      {"a method in other letter case", "gEt /x HTTP/1.1", host, 0, ""},
      {"HEAD and POST", "HEAD / HTTP/1.0", host, 0, ""},
      {"a method outside the seven", "OPTIONS / HTTP/1.1", host, 400, ""},
      {"a URL without its leading slash", "GET x/y HTTP/1.1", host, 400, ""},
      {"an absolute URL", "GET http://a.org/ HTTP/1.1", host, 400, ""},
      {"a domain in other case, with a port", "GET / HTTP/1.1", "Host: B.ORG:8080\r\n", 0, ""},
      {"a domain not listed", "GET / HTTP/1.1", "Host: c.org\r\n", 403, "Domain disallowed : c.org"},
      {"no Host", "GET / HTTP/1.1", "", 403, "Domain disallowed : "},
      {"an empty Host", "GET / HTTP/1.1", "Host: :80\r\n", 403, "Domain disallowed : "},
      {"a URL of exactly the limit", "GET " + longest + " HTTP/1.1", host, 0, ""},
      {"a URL one character over", "GET " + longest + "u HTTP/1.1", host, 414, ""},
      {"a banned agent", "GET / HTTP/1.1", host + "User-Agent: Wget/1.21\r\n", 403, "Banned client (Wget/1.21)"},
      {"PUT from a banned agent: the agent comes first", "PUT / HTTP/1.1", host + "User-Agent: wget\r\n", 403,
       "Banned client (wget)"},
      {"PUT", "PUT / HTTP/1.1", host, 405, ""},
      {"DELETE", "DELETE / HTTP/1.1", host, 405, ""},
      {"TRACE on a disallowed domain: the domain comes first", "TRACE / HTTP/1.1", "Host: c.org\r\n", 403,
       "Domain disallowed : c.org"},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    RequestContext context;
    const orv::server::RoadDecision decision = check(c, context);
    if (c.status == 0) {
      EXPECT_TRUE(decision.goesOn());
      continue;
    }
    ASSERT_EQ(decision.answer, RoadAnswer::MessagePage);
    EXPECT_EQ(decision.status, c.status);
    EXPECT_EQ(decision.title, u"Error"_s);
    if (*c.message != '\0') {
      EXPECT_EQ(decision.message, QString::fromLatin1(c.message));
    } else {
      EXPECT_TRUE(decision.message.startsWith(u"Error "_s + QString::number(c.status) + u" : "_s));
    }
    EXPECT_EQ(decision.passRequestObject, c.status == 405);
  }
}

TEST_F(RequestChecks, FillTheContextFromTheRequest) {
  RequestContext context;
  const CheckCase c{"", "get /a%20b?x=1 HTTP/1.1", "Host: Example.org:8080\r\nAccept-Encoding: gzip, DEFLATE\r\n", 0,
                    ""};
  ASSERT_TRUE(check(c, context).goesOn());
  EXPECT_EQ(context.host, u"Example.org"_s);
  EXPECT_EQ(context.methodCode, HttpMethodCode::GET);
  EXPECT_EQ(context.url, u"/a%20b?x=1"_s);
  EXPECT_TRUE(context.deflate);
}

TEST_F(RequestChecks, The405PageCarriesTheAllowHeaderAndTheDeflateFlag) {
  RequestContext context;
  const CheckCase c{"", "PUT / HTTP/1.1", "Accept-Encoding: deflate\r\n", 405, ""};
  check(c, context);
  context.request.setServerStatusNb("405");
  context.request.setServerHttpVersion("1.1");
  context.request.buildServerRequest();
  EXPECT_TRUE(context.request.getServerFullRequest().contains("\r\nAllow: GET, HEAD, POST\r\n"));
  EXPECT_TRUE(context.deflate);
  RequestContext bad;
  check({"", "OPTIONS / HTTP/1.1", "Accept-Encoding: deflate\r\n", 400, ""}, bad);
  EXPECT_FALSE(bad.deflate) << "the 400 page goes without deflate";
}

// ---- The road on a running server ----

// Every request that reaches dispatch is answered as the test says; by default with the
// single item of its local path, which keeps the connection when asked.
class RoadIntake : public enginetest::RoadEngineTest {
 protected:
  void SetUp() override {
    RoadEngineTest::SetUp();
    server->setDataArrivalHandler(orv::server::fnctRequestRoad(
        [this](ServerEngine& engine, RequestContext& context) { dispatch(engine, context); }));
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
      tmp.write(u"pub/"_s + QLatin1String(name), "text");
    }
  }

  std::function<void(ServerEngine&, RequestContext&)> dispatch = [](ServerEngine& engine, RequestContext& context) {
    orv::server::subSendSingleItemToClient(engine, context.connectionIndex, false, context.localPath,
                                           orv::content::SingleItemType::File, context.request);
  };

  static QByteArray kept(const QByteArray& requestLine) { return requestLine + "\r\nConnection: Keep-Alive\r\n\r\n"; }
};

// What used to get the placeholder answer now travels the road: each complete request is
// answered once, and the connection closes after the answer that does not keep it.
TEST_F(RoadIntake, EveryCompleteRequestIsAnsweredAndTheConnectionClosed) {
  struct Case {
    const char* name;
    std::vector<QByteArray> pieces;
    QByteArray status;
  };
  const std::vector<Case> cases = {
      {"HTTP/1.1 GET", {"GET /a.txt HTTP/1.1\r\nHost: a\r\n\r\n"}, "200"},
      {"in three pieces", {"GET /a.t", "xt HTTP/1.1\r\nHost: a\r\n", "\r\n"}, "200"},
      {"HTTP/1.0", {"GET /a.txt HTTP/1.0\r\n\r\n"}, "200"},
      {"nothing there", {"GET /none.txt HTTP/1.1\r\n\r\n"}, "404"},
      {"not HTTP at all", {"hello\r\n\r\n"}, "400"},
      {"too long without an end", {QByteArray(3001, 'a')}, "413"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TcpPeer& peer = exchange(c.pieces);
    const QList<HttpAnswer> answers = parseAnswers(peer.received);
    ASSERT_EQ(answers.size(), 1) << peer.received.constData();
    EXPECT_EQ(answers[0].status(), c.status);
    EXPECT_EQ(answers[0].header("Connection"), "Close");
    ASSERT_TRUE(waitForSlots(0));
  }
}

// Heads no client should send, each on a connection of its own: one error answer, or for a
// head that is merely odd the usual one, then the close; a long head is sent for as long as
// the server reads it.
TEST_F(RoadIntake, HostileHeadsGetOneAnswerAndTheirConnectionCloses) {
  QByteArray manyHeaders = "GET /a.txt HTTP/1.1\r\n";
  for (int i = 0; i < 10000; ++i) {
    manyHeaders += "X: " + QByteArray::number(i % 10) + "\r\n";
  }
  manyHeaders += "\r\n";
  struct Case {
    const char* name;
    QByteArray text;
    QByteArray status;
  };
  const Case cases[] = {
      {"a NUL in the request line", QByteArrayLiteral("GET /a\0.txt HTTP/1.1\r\nHost: a\r\n\r\n"), "400"},
      {"a NUL in a header", QByteArrayLiteral("GET /a.txt HTTP/1.1\r\nHost: a\0b\r\n\r\n"), "400"},
      {"an encoded NUL", "GET /a.txt%00.b HTTP/1.1\r\nHost: a\r\n\r\n", "400"},
      {"lines ended by line feeds only", "GET /a.txt HTTP/1.1\nHost: a\n\n", "400"},
      {"a bare line feed inside a header", "GET /a.txt HTTP/1.1\r\nHost: a\nX: b\r\n\r\n", "400"},
      {"no version", "GET /a.txt\r\nHost: a\r\n\r\n", "400"},
      {"no blank", "GET\r\nHost: a\r\n\r\n", "400"},
      {"ten thousand headers", manyHeaders, "413"},
      {"an overlong value", "GET /a.txt HTTP/1.1\r\nUser-Agent: " + QByteArray(5000, 'u') + "\r\n\r\n", "413"},
      {"repeated headers: the first counts", "GET /a.txt HTTP/1.1\r\nHost: a\r\nUser-Agent: b\r\nUser-Agent: c\r\n\r\n",
       "200"},
      // Which site is asked for is in doubt.
      {"two Host headers", "GET /a.txt HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", "400"},
      {"two Host headers of the same value", "GET /a.txt HTTP/1.1\r\nhost: a\r\nHOST: a\r\n\r\n", "400"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(admitted("127.0.0.2"));
    TcpPeer& peer = *peers.back();
    qsizetype sent = 0;
    processEventsUntil([&] {
      if (sent < c.text.size() && !peer.endOfStream) {
        const qint64 now = peer.send(c.text.sliced(sent));
        sent += now > 0 ? now : 0;
      }
      return peer.endOfStream || peer.readError != 0;
    });
    const QList<HttpAnswer> answers = parseAnswers(peer.received);
    ASSERT_EQ(answers.size(), 1) << peer.received.left(300).constData();
    EXPECT_EQ(answers[0].status(), c.status);
    EXPECT_EQ(answers[0].header("Connection"), "Close");
    ASSERT_TRUE(waitForSlots(0));
    peers.clear();
  }
}

TEST_F(RoadIntake, APartOfARequestWaitsInTheBufferWithTheIdleTimerRunning) {
  QList<QByteArray> buffersAtDispatch;
  QList<bool> timerAtDispatch;
  dispatch = [&, single = dispatch](ServerEngine& engine, RequestContext& context) {
    buffersAtDispatch << engine.slots().usrSocket(context.connectionIndex)->HttpReceiverBuffer();
    timerAtDispatch << engine.slots().usrSocket(context.connectionIndex)->isConnectionTimeoutTimerActive();
    single(engine, context);
  };
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  const QByteArray request = "GET /a.txt HTTP/1.1\r\nHost: a\r\n\r\n";
  QByteArray sent;
  for (const char c : request.chopped(1)) {
    peer.send(QByteArray(1, c));
    sent += c;
    processPendingEvents(1);
  }
  ASSERT_TRUE(processEventsUntil([&] { return server->slots().usrSocket(1)->HttpReceiverBuffer() == sent; }));
  EXPECT_TRUE(server->slots().usrSocket(1)->isConnectionTimeoutTimerActive());
  EXPECT_TRUE(peer.received.isEmpty());
  peer.send("\n");
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
  EXPECT_EQ(parseAnswers(peer.received).first().status(), "200");
  EXPECT_EQ(buffersAtDispatch, QList<QByteArray>{QByteArray()});
  EXPECT_EQ(timerAtDispatch, QList<bool>{false});
}

TEST_F(RoadIntake, ABodyShorterThanItsLengthWaitsUntilTheIdleTimerCloses) {
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT = 0.2;
  const TcpPeer& peer = exchange({"POST /a.txt HTTP/1.1\r\nContent-Length: 100\r\n\r\nuser=amy"});
  EXPECT_TRUE(peer.received.isEmpty());
  EXPECT_EQ(logCount(u"Unload usrSocket(1) by usrSocket_CloseSck"_s), 1);
}

// However often its bytes come, each well within the idle interval, a request that is not
// complete two idle intervals after its first bytes loses its connection, unanswered.
TEST_F(RoadIntake, ARequestTrickledWithinTheIdleIntervalLosesItsConnectionAtItsDeadline) {
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT = 0.2;
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  QTimer trickle;
  trickle.setInterval(40);
  QObject::connect(&trickle, &QTimer::timeout, [&peer] { peer.send("a"); });
  const std::int64_t started = orv::platform::monotonicNanoseconds();
  peer.send("GET /a.txt HTTP/1.1\r\nX-Padding: ");
  trickle.start();
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream || peer.readError != 0; }));
  trickle.stop();
  EXPECT_GE(orv::platform::monotonicNanoseconds() - started, std::int64_t{400'000'000});
  EXPECT_TRUE(peer.received.isEmpty()) << peer.received.constData();
  EXPECT_EQ(logCount(u"Request not complete in time : usrSocket(1) closed"_s), 1);
  ASSERT_TRUE(waitForSlots(0));
}

// Connections that come, are answered and go leave no deadline and no timer of the loop
// behind once their peers have gone too.
TEST_F(RoadIntake, ClosedConnectionsLeaveNoTimerBehind) {
  const std::size_t armedBefore = orv::platform::Deadline::armedCount();
  const qsizetype timersBefore = QAbstractEventDispatcher::instance()->children().size();
  for (int round = 0; round < 20; ++round) {
    const TcpPeer& peer = exchange({"GET /a.txt HTTP/1.1\r\nHost: a\r\n\r\n"});
    EXPECT_EQ(parseAnswers(peer.received).value(0).status(), "200");
    ASSERT_TRUE(waitForSlots(0));
    peers.clear();
  }
  EXPECT_TRUE(processEventsUntil([&] { return orv::platform::Deadline::armedCount() == armedBefore; }));
  processPendingEvents();
  EXPECT_LE(QAbstractEventDispatcher::instance()->children().size(), timersBefore);
}

TEST_F(RoadIntake, PipelinedRequestsAreEachAnsweredInTheirOrder) {
  struct Case {
    const char* name;
    QByteArray bytes;
  };
  const Case cases[] = {
      {"three in one piece", kept("GET /a.txt HTTP/1.1") + kept("GET /b.txt HTTP/1.1") + kept("GET /c.txt HTTP/1.1")},
      {"a length smaller than the body: the rest is the next request",
       "POST /a.txt HTTP/1.1\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nab" + kept("GET /b.txt HTTP/1.1") +
           kept("GET /c.txt HTTP/1.1")},
      {"a negative length: complete at the blank line",
       "POST /a.txt HTTP/1.1\r\nConnection: Keep-Alive\r\nContent-Length: -3\r\n\r\n" + kept("GET /b.txt HTTP/1.1") +
           kept("GET /c.txt HTTP/1.1")},
  };
  int client = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = "127.0.0." + std::to_string(client++);
    ASSERT_TRUE(admitted(source.c_str()));
    TcpPeer& peer = *peers.back();
    peer.send(c.bytes);
    ASSERT_TRUE(processEventsUntil([&] { return enginetest::completeAnswers(peer.received) == 3; }))
        << peer.received.constData();
    const QList<HttpAnswer> answers = parseAnswers(peer.received);
    EXPECT_TRUE(answers[0].body.contains("<name>a.txt</name>"));
    EXPECT_TRUE(answers[1].body.contains("<name>b.txt</name>"));
    EXPECT_TRUE(answers[2].body.contains("<name>c.txt</name>"));
    EXPECT_EQ(answers[2].header("Keep-Alive"), "timeout=15, max=298");
    processPendingEvents();
    EXPECT_FALSE(peer.endOfStream);
    EXPECT_EQ(server->slots().usrFileReader(server->slots().indexes().back())->getNbConnectionRequest(), 3);
  }
}

// A request that comes while the answer of the one before is still being made (a page build
// yields to the event loop) waits for it, and is answered after it.
TEST_F(RoadIntake, ARequestArrivingWhileAnAnswerIsMadeWaitsItsTurn) {
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  dispatch = [&, single = dispatch](ServerEngine& engine, RequestContext& context) {
    if (context.localPath.endsWith(u"a.txt"_s)) {
      peer.send(kept("GET /b.txt HTTP/1.1"));
      EXPECT_TRUE(processEventsUntil(
          [&] { return !engine.slots().usrSocket(context.connectionIndex)->HttpReceiverBuffer().isEmpty(); }));
    }
    single(engine, context);
  };
  peer.send(kept("GET /a.txt HTTP/1.1"));
  ASSERT_TRUE(processEventsUntil([&] { return enginetest::completeAnswers(peer.received) == 2; }));
  const QList<HttpAnswer> answers = parseAnswers(peer.received);
  EXPECT_TRUE(answers[0].body.contains("<name>a.txt</name>"));
  EXPECT_TRUE(answers[1].body.contains("<name>b.txt</name>"));
}

// What comes while an answer is made is held only as far as requests the connection would
// still answer can reach: the requests in it are answered, the flood after them is dropped.
TEST_F(RoadIntake, BytesThatComeWhileAnAnswerIsMadeAreHeldOnlyAsFarAsTheyCanBeAnswered) {
  gConfiguration.AdvancedParameters.HTTP_MAX_REQUEST_SIZE = 100;
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_MAX = 2;
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  qsizetype held = 0;
  dispatch = [&, single = dispatch](ServerEngine& engine, RequestContext& context) {
    if (context.localPath.endsWith(u"a.txt"_s)) {
      const QByteArray flood(20000, 'x');
      peer.send(kept("GET /b.txt HTTP/1.1") + kept("GET /c.txt HTTP/1.1") + flood);
      const orv::net::usrSocket& socket = *engine.slots().usrSocket(context.connectionIndex);
      EXPECT_TRUE(processEventsUntil([&] { return socket.HttpReceiverBuffer().size() >= 300; }));
      processPendingEvents();
      held = socket.HttpReceiverBuffer().size();
    }
    single(engine, context);
  };
  peer.send(kept("GET /a.txt HTTP/1.1"));
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
  EXPECT_EQ(held, 300);
  const QList<HttpAnswer> answers = parseAnswers(peer.received);
  ASSERT_EQ(answers.size(), 3) << peer.received.constData();
  EXPECT_TRUE(answers[0].body.contains("<name>a.txt</name>"));
  EXPECT_TRUE(answers[1].body.contains("<name>b.txt</name>"));
  EXPECT_TRUE(answers[2].body.contains("<name>c.txt</name>"));
  EXPECT_EQ(answers[2].header("Connection"), "Close");
}

TEST(HeldBytes, KeepEverythingUpToTheLargestRequestsALimitedConnectionAnswers) {
  orv::core::tAdvancedParameters& tuning = gConfiguration.AdvancedParameters;
  const orv::core::tAdvancedParameters saved = tuning;
  tuning.HTTP_MAX_REQUEST_SIZE = 3000;
  tuning.HTTP_KEEP_ALIVE_MAX = 300;
  EXPECT_EQ(orv::server::fnctHeldBytes(QByteArray(903000, 'a')).size(), 903000);
  EXPECT_EQ(orv::server::fnctHeldBytes(QByteArray(903001, 'a')).size(), 903000);
  EXPECT_EQ(orv::server::fnctHeldBytes("GET"), "GET");
  tuning.HTTP_KEEP_ALIVE_MAX = 0;
  EXPECT_EQ(orv::server::fnctHeldBytes(QByteArray(4000, 'a')).size(), 3000);
  tuning = saved;
}

// Once an answer has marked its connection to close, what comes after is not read, and
// cannot keep the connection open.
TEST_F(RoadIntake, NothingIsReadAfterAnAnswerThatCloses) {
  const TcpPeer& peer = exchange({kept("GET /none.txt HTTP/1.1") + kept("GET /a.txt HTTP/1.1")});
  const QList<HttpAnswer> answers = parseAnswers(peer.received);
  ASSERT_EQ(answers.size(), 1);
  EXPECT_EQ(answers[0].status(), "404");
}

TEST_F(RoadIntake, TheServedCountIsReadAtIntakeAndTheRequestCountedAfterTheChecks) {
  QList<int> served;
  QList<int> counted;
  dispatch = [&, single = dispatch](ServerEngine& engine, RequestContext& context) {
    served << context.servedRequestCount;
    counted << engine.slots().usrFileReader(context.connectionIndex)->getNbConnectionRequest();
    single(engine, context);
  };
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  peer.send(kept("GET /a.txt HTTP/1.1"));
  ASSERT_TRUE(processEventsUntil([&] { return enginetest::completeAnswers(peer.received) == 1; }));
  peer.send(kept("PUT /a.txt HTTP/1.1"));
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
  EXPECT_EQ(served, (QList<int>{0}));
  EXPECT_EQ(counted, (QList<int>{1}));
  EXPECT_EQ(parseAnswers(peer.received).last().header("Allow"), "GET, HEAD, POST");
}

TEST_F(RoadIntake, AnAcceptedRequestIsLoggedWithItsRange) {
  exchange({"get /a.txt?x=1 HTTP/1.1\r\n\r\n"});
  exchange({"GET /b.txt HTTP/1.1\r\nRange: bytes=100-\r\n\r\n"});
  EXPECT_EQ(logCount(u"GET \"/a.txt?x=1\" on usrSocket(1)"_s), 1);
  EXPECT_EQ(logCount(u"GET \"/b.txt\" (byte range : 100) on usrSocket(1)"_s), 1);
}

TEST_F(RoadIntake, AHugeLengthIsRefusedAtOnce) {
  const TcpPeer& peer = exchange({"POST /a.txt HTTP/1.1\r\nContent-Length: 1000000000\r\n\r\nuser=amy"});
  const QList<HttpAnswer> answers = parseAnswers(peer.received);
  ASSERT_EQ(answers.size(), 1);
  EXPECT_EQ(answers[0].statusLine, "HTTP/1.1 413 Request Entity Too Large");
  EXPECT_EQ(logCount(u"Request Entity Too Large (1000000052 bytes)"_s), 1);
}

// The road names the identified client in the connection's file reader, for the transfer
// lists and the history.
TEST_F(RoadIntake, TheIdentifiedClientIsNamedInTheFileReader) {
  gConfiguration.Shared.RootShare.users = u"amy"_s;
  gConfiguration.Shared.RootShare.restricted = true;
  gConfiguration.Protocol.IDENTIFICATION_METHOD = 1;
  gConfiguration.Users.add({u"id1"_s, u"amy"_s, u"secret"_s, {}, {}});
  QString named;
  dispatch = [&, single = dispatch](ServerEngine& engine, RequestContext& context) {
    named = engine.slots().usrFileReader(context.connectionIndex)->getClientInfos();
    single(engine, context);
  };
  const TcpPeer& refused = exchange({"GET /a.txt HTTP/1.1\r\n\r\n"});
  EXPECT_EQ(parseAnswers(refused.received).first().header("WWW-Authenticate"), "Basic realm=\"Members\"");
  ASSERT_TRUE(waitForSlots(0));
  exchange({"GET /a.txt HTTP/1.1\r\nAuthorization: Basic YW15OnNlY3JldA==\r\n\r\n"});
  EXPECT_EQ(named, u"127.0.0.2 (amy)"_s);
}

// The ban and its end over the wire, on the server's clock: the failure that reaches
// MAX_IDENTIFICATION_ERROR bans the address, which is refused even with the right password
// until BAN_DURATION seconds after that failure; then the right password is served and the
// failures count from nothing again.
TEST_F(RoadIntake, TheBanHoldsForItsDurationAndThenEnds) {
  struct ClockBack {
    ~ClockBack() { orv::platform::clearFixedDateTime(); }
  } clockBack;
  gConfiguration.Shared.RootShare.users = u"amy"_s;
  gConfiguration.Shared.RootShare.restricted = true;
  gConfiguration.Protocol.IDENTIFICATION_METHOD = 1;
  gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR = 3;
  gConfiguration.Protocol.BAN_DURATION = 240;
  gConfiguration.Users.add({u"id1"_s, u"amy"_s, u"secret"_s, {}, {}});
  const QDateTime start(QDate(2026, 3, 1), QTime(12, 0));
  struct Row {
    qint64 second;  // after the first failure
    QByteArray credentials;
    QByteArray status;
    QByteArray label;  // the message of an error page
  };
  const QByteArray tooMany = "Too many identification errors : IP banned for 240 seconds";
  const Row rows[] = {
      {0, "amy:wrong", "401", "Error 401 : Unauthorized"},
      {10, "amy:wrong", "401", "Error 401 : Unauthorized"},
      {20, "amy:wrong", "403", tooMany},
      {21, "amy:secret", "403", "IP banned"},
      {259, "amy:secret", "403", "IP banned"},
      {260, "amy:secret", "200", {}},
      {261, "amy:wrong", "401", "Error 401 : Unauthorized"},
      {262, "amy:wrong", "401", "Error 401 : Unauthorized"},
      {263, "amy:secret", "200", {}},
      {264, "amy:wrong", "403", tooMany},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.second);
    orv::platform::setFixedDateTime(start.addSecs(row.second));
    const TcpPeer& peer =
        exchange({"GET /a.txt HTTP/1.1\r\nAuthorization: Basic " + row.credentials.toBase64() + "\r\n\r\n"});
    const QList<HttpAnswer> answers = parseAnswers(peer.received);
    ASSERT_EQ(answers.size(), 1) << peer.received.constData();
    EXPECT_EQ(answers[0].status(), row.status);
    if (!row.label.isEmpty()) {
      EXPECT_TRUE(answers[0].body.contains("<label>" + row.label + "</label>")) << answers[0].body.constData();
    }
    ASSERT_TRUE(waitForSlots(0));
  }
  int bans = 0;
  for (const orv::core::tHistoryEvent& event : orv::core::gHistoryLists.events) {
    bans += event.type == orv::core::HistoryEventType::BANNED ? 1 : 0;
  }
  EXPECT_EQ(bans, 2);
}

// The common exit lowers the folder page counter that a step raised, also when the step
// fails half way; the connection of a request that failed is closed.
TEST_F(RoadIntake, TheCommonExitLowersTheFolderCounterEvenAfterAFailure) {
  auto& counter = gConfiguration.AppState.colIpFoldersInCreation;
  int duringStep = 0;
  dispatch = [&](ServerEngine&, RequestContext& context) {
    orv::server::subUpdateCounter(counter, context.clientIp, 1);
    context.folderCounterRaised = true;
    duringStep = orv::server::getCounterValue(counter, context.clientIp);
    throw std::runtime_error("the page could not be made");
  };
  const TcpPeer& peer = exchange({"GET /a.txt HTTP/1.1\r\n\r\n"});
  EXPECT_TRUE(peer.received.isEmpty());
  EXPECT_EQ(duringStep, 1);
  EXPECT_EQ(orv::server::getCounterValue(counter, u"127.0.0.2"_s), -1);
  EXPECT_EQ(logCount(u"Unload usrSocket(1) by usrSocket_DataArrival"_s), 1);
}

}  // namespace
