#include "server/file_responses.h"

#include "road_engine_fixture.h"

#include "core/file_utils.h"
#include "net/send_complete_pump.h"
#include "server/file_reader.h"
#include "server/http_dates.h"
#include "server/response_values.h"

#include <QFile>
#include <QTimer>

#include <zlib.h>

#include <vector>

namespace {

using namespace Qt::StringLiterals;
using enginetest::gConfiguration;
using enginetest::HttpAnswer;
using enginetest::parseAnswers;
using orv::core::gUploadedLists;
using orv::server::getResponseExtension;
using orv::server::isNotModifiedSince;

QByteArray patterned(qsizetype size) {
  QByteArray bytes(size, '\0');
  for (qsizetype i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
  }
  return bytes;
}

QByteArray inflateRaw(const QByteArray& data, qsizetype expected) {
  z_stream stream{};
  inflateInit2(&stream, -MAX_WBITS);
  QByteArray out(expected + 1024, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  inflate(&stream, Z_FINISH);
  out.resize(static_cast<qsizetype>(stream.total_out));
  inflateEnd(&stream);
  return out;
}

void setModified(const QString& path, const QDateTime& utc) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(utc, QFileDevice::FileModificationTime));
}

// ---- The values of a file response ----

TEST(FileResponseValues, TheExtensionIsThatOfTheFileName) {
  const struct {
    const char* path;
    const char* extension;
  } cases[] = {
      {"/pub/a.txt", "txt"},
      {"/pub/archive.tar.gz", "gz"},
      {"/pub/README", ""},
      {"/pub/v1.2/README", ""},
      {"/pub/name.", ""},
      {"/pub/.profile", "profile"},
      {"/pub/v1.2/Photo.JPG", "JPG"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(getResponseExtension(QString::fromLatin1(c.path)), QString::fromLatin1(c.extension)) << c.path;
  }
}

TEST(FileResponseValues, NotModifiedComparesWholeSeconds) {
  const QDateTime since(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC);
  const struct {
    const char* name;
    QDateTime since;
    QDateTime lastWrite;
    bool notModified;
  } cases[] = {
      {"written in the same second", since, since, true},
      {"written later in the same second", since, since.addMSecs(700), true},
      {"written a second later", since, since.addSecs(1), false},
      {"written before", since, since.addSecs(-3600), true},
      {"no date asked", QDateTime(), since, false},
      {"a date before 1970, later in its second", QDateTime(QDate(1960, 1, 1), QTime(0, 0, 0), Qt::UTC),
       QDateTime(QDate(1960, 1, 1), QTime(0, 0, 0, 300), Qt::UTC), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isNotModifiedSince(c.since, c.lastWrite), c.notModified) << c.name;
  }
}

// ---- Files through the request road ----

class FileResponses : public enginetest::RoadEngineTest {
 protected:
  void SetUp() override {
    RoadEngineTest::SetUp();
    orv::net::modSubClsCustWinMsg::HookCustWinMsg();
    content = patterned(1000);
    filePath = tmp.write(u"pub/docs/a.txt"_s, content);
    resourcePath = tmp.write(u"app/resources/page.css"_s, "body { color: black }");
  }
  void TearDown() override {
    RoadEngineTest::TearDown();
    orv::net::modSubClsCustWinMsg::UnhookCustWinMsg();
  }

  HttpAnswer only(const TcpPeer& peer, int headOnly = 0) {
    const QList<HttpAnswer> answers = parseAnswers(peer.received, headOnly);
    EXPECT_EQ(answers.size(), 1) << peer.received.left(400).constData();
    return answers.isEmpty() ? HttpAnswer{} : answers.first();
  }
  HttpAnswer get(const QByteArray& request, int headOnly = 0) { return only(exchange({request}), headOnly); }

  // Sends one request on a connection that stays open and waits for its whole answer.
  HttpAnswer ask(TcpPeer& peer, const QByteArray& request) {
    const qsizetype before = peer.received.size();
    EXPECT_EQ(peer.send(request), request.size());
    EXPECT_TRUE(processEventsUntil([&] { return enginetest::completeAnswers(peer.received.mid(before)) == 1; }));
    const QList<HttpAnswer> answers = parseAnswers(peer.received.mid(before));
    return answers.isEmpty() ? HttpAnswer{} : answers.first();
  }

  // The connection of slot 1 is open, waiting for its next request.
  void expectKept() {
    processPendingEvents();
    ASSERT_EQ(server->slots().count(), 1);
    EXPECT_TRUE(server->slots().usrSocket(1)->Tag().isEmpty());
    EXPECT_TRUE(server->slots().usrFileReader(1)->getIsKeepConnection());
    EXPECT_TRUE(server->slots().usrSocket(1)->isConnectionTimeoutTimerActive());
  }

  QByteArray content;
  QString filePath;
  QString resourcePath;
};

TEST_F(FileResponses, AFileGoesWholeOrFromTheFirstByteOfItsRange) {
  tmp.write(u"pub/one.txt"_s, "x");
  const struct {
    const char* name;
    QByteArray request;
    QByteArray status;
    QByteArray contentRange;
    qsizetype from;
    qsizetype length;
  } cases[] = {
      {"the whole file", "GET /docs/a.txt HTTP/1.1\r\n\r\n", "200", "", 0, 1000},
      {"from byte 100", "GET /docs/a.txt HTTP/1.1\r\nRange: bytes=100-\r\n\r\n", "206", "bytes 100-999/1000", 100, 900},
      {"the last byte", "GET /docs/a.txt HTTP/1.1\r\nRange: bytes=999-\r\n\r\n", "206", "bytes 999-999/1000", 999, 1},
      {"a range at the end is dropped", "GET /docs/a.txt HTTP/1.1\r\nRange: bytes=1000-\r\n\r\n", "200", "", 0, 1000},
      {"a range of a 1-byte file is dropped", "GET /one.txt HTTP/1.1\r\nRange: bytes=1-\r\n\r\n", "200", "", 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HttpAnswer answer = get(c.request);
    EXPECT_EQ(answer.status(), c.status);
    EXPECT_EQ(answer.header("Content-Range"), c.contentRange);
    EXPECT_EQ(answer.header("Content-Length"), QByteArray::number(c.length));
    const QByteArray expected = c.length == 1 && c.from == 0 ? QByteArray("x") : content.mid(c.from, c.length);
    EXPECT_EQ(answer.body, expected);
    ASSERT_TRUE(waitForSlots(0));
  }
}

TEST_F(FileResponses, EveryFileAnswerCarriesItsValidatorsAndAShareFileCloses) {
  const HttpAnswer answer = get("GET /docs/a.txt HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n");
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(answer.header("Content-Type"), "text/plain");
  EXPECT_EQ(answer.header("Accept-Ranges"), "bytes");
  EXPECT_EQ(answer.header("ETag"), '"' + orv::core::getFileEtag(filePath).toLatin1() + '"');
  EXPECT_EQ(answer.header("Last-Modified"),
            orv::server::getRFC1123DateFormat(orv::server::getGmtDate(orv::core::getFileLastWriteDate(filePath))));
  EXPECT_TRUE(answer.hasHeader("Date"));
  EXPECT_EQ(answer.header("Server"), orv::server::fnctServerHeaderValue());
  EXPECT_EQ(answer.header("Connection"), "Close");
  EXPECT_FALSE(answer.hasHeader("Keep-Alive"));
  EXPECT_FALSE(answer.hasHeader("Expires"));
  EXPECT_FALSE(answer.hasHeader("Content-Encoding"));

  tmp.write(u"pub/v1.2/README"_s, "read me");
  EXPECT_EQ(get("GET /v1.2/README HTTP/1.0\r\n\r\n").header("Content-Type"), "application/octet-stream");
}

TEST_F(FileResponses, IfModifiedSinceIsComparedInWholeSecondsAndOnlyInRfc1123Form) {
  // A file time with a fraction of a second, which the Last-Modified text cannot carry.
  setModified(filePath, QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0, 700), Qt::UTC));
  const struct {
    const char* since;
    QByteArray status;
  } cases[] = {
      {"Fri, 01 Mar 2024 12:00:00 GMT", "304"},  // what Last-Modified said
      {"Fri, 01 Mar 2024 13:30:00 GMT", "304"},
      {"Fri, 01 Mar 2024 11:59:59 GMT", "200"},
      {"Friday, 01-Mar-24 12:00:00 GMT", "200"},  // RFC 850 form
      {"Fri Mar  1 12:00:00 2024", "200"},        // asctime form
      {"yesterday", "200"},
      {"", "200"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.since);
    const QByteArray header = *c.since == '\0' ? QByteArray() : "If-Modified-Since: " + QByteArray(c.since) + "\r\n";
    const TcpPeer& peer = exchange({"GET /docs/a.txt HTTP/1.1\r\n" + header + "\r\n"});
    const HttpAnswer answer = only(peer);
    EXPECT_EQ(answer.status(), c.status);
    if (c.status == "304") {
      EXPECT_EQ(answer.statusLine, "HTTP/1.1 304 Not Modified");
      EXPECT_TRUE(peer.received.endsWith("\r\n\r\n")) << "no body";
      EXPECT_EQ(answer.header("Server"), orv::server::fnctServerHeaderValue());
      EXPECT_TRUE(answer.hasHeader("Date"));
      EXPECT_EQ(answer.header("Connection"), "Close");
    } else {
      EXPECT_EQ(answer.body, content);
    }
    ASSERT_TRUE(waitForSlots(0));
  }
  EXPECT_EQ(logCount(u"File already cached by client on usrSocket(1)"_s), 2);
  // Only the answers that sent the file are uploads.
  EXPECT_EQ(gUploadedLists.transfers.size(), 5U);
}

TEST_F(FileResponses, A304KeepsItsConnectionOnlyForAResource) {
  setModified(filePath, QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC));
  setModified(resourcePath, QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC));
  const QByteArray since = "If-Modified-Since: Fri, 01 Mar 2024 12:00:00 GMT\r\n";

  HttpAnswer answer = get("GET /docs/a.txt HTTP/1.1\r\nConnection: Keep-Alive\r\n" + since + "\r\n");
  EXPECT_EQ(answer.status(), "304");
  EXPECT_EQ(answer.header("Connection"), "Close");
  ASSERT_TRUE(waitForSlots(0));

  answer = get("GET /docs/a.txt HTTP/1.0\r\nConnection: Keep-Alive\r\n" + since + "\r\n");
  EXPECT_EQ(answer.status(), "304");
  EXPECT_FALSE(answer.hasHeader("Connection"));
  ASSERT_TRUE(waitForSlots(0));

  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  answer = ask(peer, "GET /?res=page.css HTTP/1.1\r\nConnection: keep-alive\r\n" + since + "\r\n");
  EXPECT_EQ(answer.status(), "304");
  EXPECT_EQ(answer.header("Connection"), "Keep-Alive");
  EXPECT_EQ(answer.header("Keep-Alive"), "timeout=15, max=300");
  expectKept();
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
  EXPECT_TRUE(gUploadedLists.transfers.empty());
}

TEST_F(FileResponses, AResourceKeepsItsConnectionUntilTheLastAllowedRequestAndIsNoUpload) {
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_MAX = 2;
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  const QByteArray request = "GET /?res=page.css HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n";
  for (const QByteArray max : {"max=2", "max=1"}) {
    const HttpAnswer answer = ask(peer, request);
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.header("Content-Type"), "text/css");
    EXPECT_EQ(answer.body, "body { color: black }");
    EXPECT_EQ(answer.header("Connection"), "Keep-Alive");
    EXPECT_EQ(answer.header("Keep-Alive"), "timeout=15, " + max);
    EXPECT_TRUE(answer.hasHeader("Expires"));
    expectKept();
  }
  const HttpAnswer last = ask(peer, request);
  EXPECT_EQ(last.header("Connection"), "Close");
  EXPECT_FALSE(last.hasHeader("Keep-Alive"));
  ASSERT_TRUE(waitForSlots(0));
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
  EXPECT_TRUE(gUploadedLists.transfers.empty());
}

TEST_F(FileResponses, DeflateNeedsTheClientAndTheSettingAndLeavesRangesAlone) {
  const QByteArray text = QByteArray("all work and no play ").repeated(200);
  tmp.write(u"pub/dull.txt"_s, text);
  const struct {
    const char* name;
    bool enabled;
    QByteArray headers;
    bool deflated;
  } cases[] = {
      {"asked in capitals and on", true, "Accept-Encoding: gzip, DEFLATE\r\n", true},
      {"asked but off", false, "Accept-Encoding: deflate\r\n", false},
      {"not asked", true, "", false},
      {"a range goes as it is", true, "Accept-Encoding: deflate\r\nRange: bytes=10-\r\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    gConfiguration.Protocol.ENABLE_COMPRESSION = c.enabled;
    const HttpAnswer answer = get("GET /dull.txt HTTP/1.1\r\n" + c.headers + "\r\n");
    EXPECT_EQ(answer.header("Content-Length").toLongLong(), answer.body.size());
    if (c.deflated) {
      EXPECT_EQ(answer.header("Content-Encoding"), "deflate");
      EXPECT_EQ(answer.header("Vary"), "Accept-Encoding");
      EXPECT_LT(answer.body.size(), text.size());
      EXPECT_EQ(inflateRaw(answer.body, text.size()), text);
    } else {
      EXPECT_FALSE(answer.hasHeader("Content-Encoding"));
      EXPECT_TRUE(text.endsWith(answer.body));
    }
    ASSERT_TRUE(waitForSlots(0));
  }
}

TEST_F(FileResponses, AFileLargerThanABlockArrivesIntactAndIsOneFinishedUpload) {
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 4096;
  const QByteArray large = patterned(150000);
  const QString path = tmp.write(u"pub/large.bin"_s, large);
  const struct {
    const char* name;
    QByteArray range;
    qsizetype from;
    bool completeFile;
  } cases[] = {
      {"the whole file", "", 0, true},
      {"from byte 5000", "Range: bytes=5000-\r\n", 5000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    orv::core::gHistoryLists = {};
    gUploadedLists = {};
    const HttpAnswer answer = get("GET /large.bin HTTP/1.1\r\n" + c.range + "\r\n");
    EXPECT_EQ(answer.body.size(), large.size() - c.from);
    EXPECT_TRUE(answer.body == large.mid(c.from));
    ASSERT_TRUE(waitForSlots(0));
    EXPECT_EQ(historyEvents(), (QStringList{u"1 127.0.0.2 "_s + path, u"3 127.0.0.2 "_s + path}));
    ASSERT_EQ(gUploadedLists.transfers.size(), 1U);
    EXPECT_TRUE(gUploadedLists.transfers[0].finished);
    EXPECT_EQ(gUploadedLists.transfers[0].completeFile, c.completeFile);
    EXPECT_EQ(gUploadedLists.transfers[0].transferred, static_cast<double>(large.size() - c.from));
    EXPECT_EQ(gUploadedLists.file(path).nbFinishedTotal, 1);
  }
}

TEST_F(FileResponses, AHeadRequestGetsTheHeadAloneAndIsNoUpload) {
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 4096;
  tmp.write(u"pub/large.bin"_s, patterned(150000));
  for (const auto& [url, length] : {std::pair{"/docs/a.txt", "1000"}, std::pair{"/large.bin", "150000"}}) {
    SCOPED_TRACE(url);
    const TcpPeer& peer = exchange({"HEAD " + QByteArray(url) + " HTTP/1.1\r\n\r\n"});
    const HttpAnswer answer = only(peer, 1);
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.header("Content-Length"), length);
    EXPECT_TRUE(peer.received.endsWith("\r\n\r\n"));
    ASSERT_TRUE(waitForSlots(0));
  }
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
  EXPECT_TRUE(gUploadedLists.transfers.empty());
}

TEST_F(FileResponses, AClientGoneInTheMiddleOfAFileIsOneInterruptedUploadOfWhatWasSent) {
  const QByteArray large = patterned(4 * 1024 * 1024);
  const QString path = tmp.write(u"pub/large.bin"_s, large);
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  peer.pauseReading();
  peer.send("GET /large.bin HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return historyEvents().size() == 1; }));
  processPendingEvents();
  const double sent = server->slots().usrFileReader(1)->getBodyBytesSent();
  peer.close();
  ASSERT_TRUE(waitForSlots(0));
  EXPECT_EQ(historyEvents(), (QStringList{u"1 127.0.0.2 "_s + path, u"2 127.0.0.2 "_s + path}));
  ASSERT_EQ(gUploadedLists.transfers.size(), 1U);
  EXPECT_FALSE(gUploadedLists.transfers[0].finished);
  EXPECT_TRUE(gUploadedLists.transfers[0].completeFile);
  EXPECT_GE(gUploadedLists.transfers[0].transferred, sent);
  EXPECT_LT(gUploadedLists.transfers[0].transferred, static_cast<double>(large.size()));
}

// A client that stops reading in the middle of a file does not keep its slot and the file
// for ever: once a whole interval of the idle timer moves nothing, the connection is closed
// and the upload recorded as cut off. A client that reads slowly gets the whole file.
TEST_F(FileResponses, AReaderThatStopsIsClosedByTheIdleTimerAndASlowOneIsServed) {
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT = 0.5;
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 4096;
  gConfiguration.AdvancedParameters.SKT_SNDBUF = 8192;
  const QByteArray large = patterned(1024 * 1024);
  const QString path = tmp.write(u"pub/large.bin"_s, large);

  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& stopped = *peers.back();
  stopped.pauseReading();
  stopped.send("GET /large.bin HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(waitForSlots(0));
  EXPECT_EQ(historyEvents(), (QStringList{u"1 127.0.0.2 "_s + path, u"2 127.0.0.2 "_s + path}));
  ASSERT_EQ(gUploadedLists.transfers.size(), 1U);
  EXPECT_FALSE(gUploadedLists.transfers[0].finished);
  EXPECT_LT(gUploadedLists.transfers[0].transferred, static_cast<double>(large.size()));

  orv::core::gHistoryLists = {};
  gUploadedLists = {};
  // The slow reader moves every few milliseconds; a longer interval only keeps a loaded
  // machine's pauses from passing for a stop.
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT = 5;
  TcpPeer& slow = connectFrom("127.0.0.3");
  slow.setReadChunk(2048);
  slow.pauseReading();
  QTimer reader;
  QObject::connect(&reader, &QTimer::timeout, [&] { slow.readNow(); });
  reader.start(2);
  slow.send("GET /large.bin HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return slow.endOfStream; }, 120000));
  const QList<HttpAnswer> answers = parseAnswers(slow.received);
  ASSERT_EQ(answers.size(), 1);
  EXPECT_TRUE(answers.first().body == large);
  ASSERT_TRUE(waitForSlots(0));
  EXPECT_EQ(historyEvents(), (QStringList{u"1 127.0.0.3 "_s + path, u"3 127.0.0.3 "_s + path}));
}

}  // namespace
