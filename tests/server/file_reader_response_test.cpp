#include "file_transfer_host.h"

#include "core/file_utils.h"
#include "platform/clock.h"
#include "server/deflate.h"
#include "server/http_request.h"

#include <QFile>

#include <zlib.h>

#include <cmath>
#include <limits>
#include <vector>

namespace transfertest {
namespace {

using orv::core::gHistoryLists;
using orv::core::gUploadedLists;

// The raw deflate data of a body, as a browser reads Content-Encoding "deflate"; the
// Adler-32 trailer after the data's end is left over.
QByteArray inflateRaw(const QByteArray& body) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
  QByteArray out;
  std::vector<char> chunk(65536);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()));
  stream.avail_in = static_cast<uInt>(body.size());
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
    stream.avail_out = static_cast<uInt>(chunk.size());
    status = inflate(&stream, Z_NO_FLUSH);
    out.append(chunk.data(), static_cast<qsizetype>(chunk.size() - stream.avail_out));
  }
  EXPECT_EQ(status, Z_STREAM_END);
  EXPECT_EQ(stream.avail_in, 4u) << "the Adler-32 trailer follows the deflate data";
  inflateEnd(&stream);
  return out;
}

// Tue, 5 Mar 2024 14:05:09 GMT is "now"; the files were last written a day earlier.
class FileResponseTest : public FileTransferTest {
 protected:
  void SetUp() override {
    FileTransferTest::SetUp();
    orv::platform::setFixedDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 5, 9), Qt::UTC).toLocalTime());
  }
  void TearDown() override {
    orv::platform::clearFixedDateTime();
    FileTransferTest::TearDown();
  }

  QString writeFile(const QString& name, const QByteArray& content) {
    const QString path = folder.write(name, content);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadWrite));
    EXPECT_TRUE(
        file.setFileTime(QDateTime(QDate(2024, 3, 4), QTime(10, 0, 0), Qt::UTC), QFileDevice::FileModificationTime));
    return path;
  }

  // Serves the file once on a fresh connection; the reader is set up by the caller first.
  QByteArray serve(TransferHost& host, const std::function<void(usrFileReader&)>& setUp) {
    TcpPeer& peer = host.connect();
    setUp(*host.reader);
    host.reader->SendData();
    EXPECT_TRUE(processEventsUntil([&] { return !host.socket || !host.reader->getIsActiveUpload(); }));
    // A kept connection stays open: wait for the whole response.
    processEventsUntil([&] {
      const Response response = Response::of(peer.received);
      return peer.endOfStream ||
             (!response.head.isEmpty() && response.header("Content-Length").toLongLong() == response.body.size());
    });
    return peer.received;
  }
};

// ---- Response heads, byte for byte ----

struct HeadCase {
  const char* name;
  const char* fileName;
  qint64 fileSize;
  double range;
  bool invisible;
  bool keep;
  int requestNumber;
  double keepAliveMax;
  const char* httpVersion;
  bool deflate;
  const char* expectedHead;  // {ETAG} and {LENGTH} (the deflated length) stand for their values
  qint64 bodyStart;          // the body is the file's bytes from here (inflated when deflated)
};

constexpr char kDatesAndServer[] =
    "Date: Tue, 5 Mar 2024 14:05:09 GMT\r\nServer: Orvendale 1.02\r\nLast-Modified: Mon, 4 Mar 2024 10:00:00 "
    "GMT\r\nEtag: \"{ETAG}\"\r\n";

const HeadCase kHeadCases[] = {
    {"WholeFileForHttp11Closes", "page.txt", 1000, 0, false, false, 1, 300, "1.1", false,
     "HTTP/1.1 200 OK\r\n{DATES}Connection: Close\r\nAccept-Ranges: bytes\r\nContent-Length: 1000\r\n"
     "Content-Type: text/plain\r\n\r\n",
     0},
    {"RangeGets206WithContentRange", "page.txt", 1000, 100, false, false, 1, 300, "1.1", false,
     "HTTP/1.1 206 Partial Content\r\n{DATES}Connection: Close\r\nAccept-Ranges: bytes\r\nContent-Length: 900\r\n"
     "Content-Type: text/plain\r\nContent-Range: bytes 100-999/1000\r\n\r\n",
     100},
    {"Http10GetsNoConnectionHeader", "page.txt", 1000, 0, false, false, 1, 300, "1.0", false,
     "HTTP/1.1 200 OK\r\n{DATES}Accept-Ranges: bytes\r\nContent-Length: 1000\r\nContent-Type: text/plain\r\n\r\n", 0},
    {"KeptResourceWithExpires", "style.css", 700, 0, true, true, 1, 300, "1.1", false,
     "HTTP/1.1 200 OK\r\n{DATES}Keep-Alive: timeout=15, max=300\r\nConnection: Keep-Alive\r\nAccept-Ranges: "
     "bytes\r\nContent-Length: 700\r\nContent-Type: text/css\r\nExpires: Wed, 6 Mar 2024 14:05:09 GMT\r\n\r\n",
     0},
    {"LastRequestAllowedKeepsWithMaxOne", "style.css", 700, 0, true, true, 100, 100, "1.1", false,
     "HTTP/1.1 200 OK\r\n{DATES}Keep-Alive: timeout=15, max=1\r\nConnection: Keep-Alive\r\nAccept-Ranges: "
     "bytes\r\nContent-Length: 700\r\nContent-Type: text/css\r\nExpires: Wed, 6 Mar 2024 14:05:09 GMT\r\n\r\n",
     0},
    {"RequestBeyondTheMaxCloses", "style.css", 700, 0, true, true, 101, 100, "1.1", false,
     "HTTP/1.1 200 OK\r\n{DATES}Connection: Close\r\nAccept-Ranges: bytes\r\nContent-Length: 700\r\n"
     "Content-Type: text/css\r\nExpires: Wed, 6 Mar 2024 14:05:09 GMT\r\n\r\n",
     0},
    {"DeflatedBody", "page.txt", 30000, 0, false, false, 1, 300, "1.1", true,
     "HTTP/1.1 200 OK\r\n{DATES}Connection: Close\r\nAccept-Ranges: bytes\r\nContent-Encoding: deflate\r\n"
     "Content-Length: {LENGTH}\r\nContent-Type: text/plain\r\nVary: Accept-Encoding\r\n\r\n",
     0},
    // A part of a file goes as it is: its Content-Range counts the file's own bytes.
    {"RangeIsNeverDeflated", "page.txt", 30000, 29000, false, false, 1, 300, "1.1", true,
     "HTTP/1.1 206 Partial Content\r\n{DATES}Connection: Close\r\nAccept-Ranges: bytes\r\nContent-Length: 1000\r\n"
     "Content-Type: text/plain\r\nContent-Range: bytes 29000-29999/30000\r\n\r\n",
     29000},
};

class ResponseHeadTest : public FileResponseTest, public ::testing::WithParamInterface<HeadCase> {};

TEST_P(ResponseHeadTest, HeadAndBodyAreExact) {
  const HeadCase& row = GetParam();
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_MAX = row.keepAliveMax;
  // Text that compresses, so that a deflated body is visibly smaller.
  QByteArray content;
  while (content.size() < row.fileSize) {
    content += "line " + QByteArray::number(content.size()) + " of a page\n";
  }
  content.truncate(row.fileSize);
  const QString path = writeFile(QString::fromLatin1(row.fileName), content);
  TransferHost host;
  const Response response = Response::of(serve(host, [&](usrFileReader& reader) {
    host.handOff(path);
    reader.setBitRange(row.range);
    reader.setIsInvibleTransfer(row.invisible);
    reader.setIsKeepConnection(row.keep);
    reader.setNbConnectionRequest(row.requestNumber);
    reader.setClientHttpVersion(row.httpVersion);
    reader.setIsDeflateCompression(row.deflate);
  }));

  QByteArray expected = QByteArray(row.expectedHead).replace("{DATES}", kDatesAndServer);
  expected.replace("{ETAG}", orv::core::getFileEtag(path).toLatin1());
  expected.replace("{LENGTH}", QByteArray::number(orv::server::fnctCompressBytes(content)->size()));
  EXPECT_EQ(response.head, expected);
  const QByteArray body = row.deflate && row.bodyStart == 0 ? inflateRaw(response.body) : response.body;
  EXPECT_TRUE(body == content.sliced(row.bodyStart)) << "body of " << body.size() << " bytes differs";
}

INSTANTIATE_TEST_SUITE_P(Heads, ResponseHeadTest, ::testing::ValuesIn(kHeadCases),
                         [](const ::testing::TestParamInfo<HeadCase>& param) { return std::string(param.param.name); });

// The cookies a form login earned travel with the file's head, after every other header, and
// with that response only: the next response of the same reader carries none.
TEST_F(FileResponseTest, LoginCookiesGoWithTheFilesHeadOnce) {
  const QString path = writeFile(QStringLiteral("style.css"), QByteArray(700, 'c'));
  TransferHost host;
  TcpPeer& peer = host.connect();
  host.handOff(path);
  host.reader->setIsInvibleTransfer(true);
  host.reader->setIsKeepConnection(true);
  host.reader->setServerCookies({"user=alice; expires=Wed, 6 Mar 2024 14:05:09 GMT; path=/",
                                 "password=c2VjcmV0; expires=Wed, 6 Mar 2024 14:05:09 GMT; path=/"});
  QByteArray expected = QByteArray("HTTP/1.1 200 OK\r\n") + kDatesAndServer +
                        "Keep-Alive: timeout=15, max=300\r\nConnection: Keep-Alive\r\nAccept-Ranges: bytes\r\n"
                        "Content-Length: 700\r\nContent-Type: text/css\r\nExpires: Wed, 6 Mar 2024 14:05:09 GMT\r\n"
                        "Set-Cookie: user=alice; expires=Wed, 6 Mar 2024 14:05:09 GMT; path=/\r\n"
                        "Set-Cookie: password=c2VjcmV0; expires=Wed, 6 Mar 2024 14:05:09 GMT; path=/\r\n\r\n";
  expected.replace("{ETAG}", orv::core::getFileEtag(path).toLatin1());
  const QByteArray body(700, 'c');

  host.reader->SendData();
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == expected.size() + body.size(); }));
  EXPECT_EQ(peer.received, expected + body);

  peer.received.clear();
  host.reader->SendData();
  QByteArray withoutCookies = expected;
  withoutCookies.truncate(withoutCookies.indexOf("Set-Cookie: "));
  withoutCookies += "\r\n";
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == withoutCookies.size() + body.size(); }));
  EXPECT_EQ(peer.received, withoutCookies + body);
}

// ---- Hostile ranges ----

// The Range header as the client sends it, through the request object as the engine reads
// it, against a file of 1000 bytes: what comes back.
struct RangeCase {
  const char* range;  // nullptr: no Range header
  const char* status;
  qint64 firstByte;
};

const RangeCase kRangeCases[] = {
    {nullptr, "200", 0},
    {"bytes=100-", "206", 100},
    {"bytes=100-199", "206", 100},  // the end is not honoured: the rest of the file follows
    {"bytes=999-", "206", 999},
    {"bytes=1000-", "200", 0},  // past the end: the whole file
    {"bytes=5000-", "200", 0},
    {"bytes=-500", "200", 0},       // a suffix range is not read: the whole file
    {"bytes=500-100", "206", 500},  // reversed: the first offset is what is read
    {"bytes=abc-", "200", 0},
    {"bytes=+100-", "200", 0},
    {"bytes= 100 -", "206", 100},
    {"bytes=99999999999999999999999999-", "200", 0},  // beyond 64 bits
    {"bytes=9223372036854775807-", "200", 0},
    {"bytes=0-99,200-299", "200", 0},
    {"bytes=0-", "200", 0},
    {"items=100-", "200", 0},
};

class HostileRangeTest : public FileResponseTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(HostileRangeTest, GetsTheRangeOrTheWholeFile) {
  const RangeCase& row = GetParam();
  const QByteArray content = patterned(1000);
  const QString path = writeFile(QStringLiteral("data.bin"), content);
  QByteArray requestText = "GET /data.bin HTTP/1.1\r\nHost: here\r\n";
  if (row.range != nullptr) {
    requestText += QByteArray("Range: ") + row.range + "\r\n";
  }
  requestText += "\r\n";
  orv::server::clsHttpRequest request;
  ASSERT_EQ(request.initClientRequestValues(requestText), orv::server::RequestParseStatus::Ok);
  TransferHost host;
  const Response response = Response::of(serve(host, [&](usrFileReader& reader) {
    host.handOff(path);
    reader.setBitRange(static_cast<double>(request.getClientRange()));
  }));
  EXPECT_TRUE(response.statusLine().startsWith(QByteArray("HTTP/1.1 ") + row.status))
      << response.statusLine().toStdString();
  EXPECT_EQ(response.header("Content-Length"), QByteArray::number(1000 - row.firstByte));
  EXPECT_TRUE(response.body == content.sliced(row.firstByte)) << "body of " << response.body.size() << " bytes";
  if (row.firstByte > 0) {
    EXPECT_EQ(response.header("Content-Range"), "bytes " + QByteArray::number(row.firstByte) + "-999/1000");
  } else {
    EXPECT_TRUE(response.header("Content-Range").isEmpty());
  }
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  EXPECT_EQ(gUploadedLists.transfers[0].completeFile, row.firstByte == 0);
  EXPECT_EQ(gUploadedLists.transfers[0].transferred, static_cast<double>(1000 - row.firstByte));
}

INSTANTIATE_TEST_SUITE_P(Ranges, HostileRangeTest, ::testing::ValuesIn(kRangeCases));

// Range starts that no request object gives, handed to the reader directly.
TEST_F(FileResponseTest, RangeStartsThatAreNoOffsetInTheFileGetTheWholeFile) {
  const QByteArray content = patterned(1000);
  const QString path = writeFile(QStringLiteral("data.bin"), content);
  const double starts[] = {-5,
                           -0.0,
                           1.5,
                           999.999,
                           std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           1e300};
  for (const double start : starts) {
    SCOPED_TRACE(start);
    TransferHost host;
    const Response response = Response::of(serve(host, [&](usrFileReader& reader) {
      host.handOff(path);
      reader.setBitRange(start);
    }));
    EXPECT_EQ(response.statusLine(), "HTTP/1.1 200 OK");
    EXPECT_TRUE(response.body == content);
  }
}

TEST_F(FileResponseTest, RangeOnAOneByteFileGetsTheWholeFile) {
  const QString path = writeFile(QStringLiteral("one.bin"), "x");
  TransferHost host;
  const Response response = Response::of(serve(host, [&](usrFileReader& reader) {
    host.handOff(path);
    reader.setBitRange(1);
  }));
  EXPECT_EQ(response.statusLine(), "HTTP/1.1 200 OK");
  EXPECT_EQ(response.body, "x");
}

// ---- Empty files ----

TEST_F(FileResponseTest, EmptyFileSendsTheHeadAloneAndEndsAsAFinishedUpload) {
  const QString path = writeFile(QStringLiteral("empty.txt"), {});
  TransferHost host;
  const Response response = Response::of(serve(host, [&](usrFileReader&) { host.handOff(path); }));
  EXPECT_EQ(response.statusLine(), "HTTP/1.1 200 OK");
  EXPECT_EQ(response.header("Content-Length"), "0");
  EXPECT_TRUE(response.body.isEmpty());
  EXPECT_EQ(host.dataArrivals, 0);
  EXPECT_EQ(host.readerCompletions, 1);
  EXPECT_EQ(host.uploadEnds, 1);
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  EXPECT_TRUE(gUploadedLists.transfers[0].finished);
  EXPECT_EQ(gUploadedLists.transfers[0].transferred, 0.0);
}

}  // namespace
}  // namespace transfertest
