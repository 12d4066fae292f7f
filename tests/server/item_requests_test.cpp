#include "server/item_requests.h"

#include "road_engine_fixture.h"

#include "content/thumbnail_cache.h"
#include "core/resource_icons.h"
#include "net/send_complete_pump.h"
#include "server/ip_counters.h"
#include "server/request_dispatch.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <zlib.h>

#include <cstdio>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using enginetest::ComponentArray;
using enginetest::gConfiguration;
using enginetest::HttpAnswer;
using enginetest::parseAnswers;
using orv::content::gMiniaturesCache;
using orv::server::getCounterValue;
using orv::server::RequestContext;
using orv::server::ServerEngine;

QByteArray encode(const QImage& image, const char* format) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
  return buffer.data();
}

QImage picture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, qRgb((x * 255) / width, (y * 255) / height, ((x / 8 + y / 8) % 2) * 200));
    }
  }
  return image;
}

// The width and height a BMP file's header gives (BITMAPINFOHEADER; a negative height is a
// top-down bitmap).
QSize bitmapSize(const QByteArray& bmp) {
  if (bmp.size() < 26 || !bmp.startsWith("BM")) {
    return {};
  }
  const auto width = qFromLittleEndian<qint32>(bmp.constData() + 18);
  const auto height = qFromLittleEndian<qint32>(bmp.constData() + 22);
  return {width, height < 0 ? -height : height};
}

// A PNG of nothing but its signature and a header that claims the given size.
QByteArray pngClaiming(quint32 width, quint32 height) {
  QByteArray header("IHDR");
  char numbers[8];
  qToBigEndian(width, numbers);
  qToBigEndian(height, numbers + 4);
  header.append(numbers, 8);
  header.append("\x08\x02\x00\x00\x00", 5);
  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  char length[4];
  qToBigEndian<quint32>(13, length);
  png.append(length, 4);
  png.append(header);
  char crc[4];
  qToBigEndian<quint32>(
      static_cast<quint32>(::crc32(0, reinterpret_cast<const unsigned char*>(header.constData()), header.size())), crc);
  png.append(crc, 4);
  return png;
}

class ItemRequests : public enginetest::RoadEngineTest {
 protected:
  void SetUp() override {
    RoadEngineTest::SetUp();
    orv::net::modSubClsCustWinMsg::HookCustWinMsg();
    gMiniaturesCache = {};
    gConfiguration.HtmlDisplay.ALLOW_MINIATURES = true;
    gConfiguration.HtmlDisplay.MINATURE_DIMENSION = 96;
    gConfiguration.ShellExtension.strResourcesIconsList.clear();
    gConfiguration.AppState.blnCacheModified = false;
    errorIcon = encode(picture(48, 48), "PNG");
    tmp.write(u"app/resources/itemicon_big_error.png"_s, errorIcon);
    widePath = tmp.write(u"pub/photos/wide.png"_s, encode(picture(400, 300), "PNG"));
  }
  void TearDown() override {
    RoadEngineTest::TearDown();
    orv::net::modSubClsCustWinMsg::UnhookCustWinMsg();
    gMiniaturesCache = {};
  }

  HttpAnswer get(const QByteArray& request) {
    const TcpPeer& peer = exchange({request});
    const QList<HttpAnswer> answers = parseAnswers(peer.received);
    EXPECT_EQ(answers.size(), 1) << peer.received.left(400).constData();
    return answers.isEmpty() ? HttpAnswer{} : answers.first();
  }

  HttpAnswer ask(TcpPeer& peer, const QByteArray& request) {
    const qsizetype before = peer.received.size();
    EXPECT_EQ(peer.send(request), request.size());
    EXPECT_TRUE(processEventsUntil([&] { return enginetest::completeAnswers(peer.received.mid(before)) == 1; }));
    const QList<HttpAnswer> answers = parseAnswers(peer.received.mid(before));
    return answers.isEmpty() ? HttpAnswer{} : answers.first();
  }

  QStringList cacheFiles() const {
    return QDir(tmp.file(u"app/cache"_s)).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
  }

  // Every thumbnail request of the test has given its count and its maker back.
  void expectNothingInCreation() {
    EXPECT_EQ(getCounterValue(gConfiguration.AppState.colIpMiniaturesInCreation, {}), 0);
    EXPECT_EQ(gConfiguration.AppState.colIpMiniaturesInCreation.count(), 0);
    EXPECT_FALSE(server->isControlArrayItemLoaded(ComponentArray::usrMinature, 1));
  }

  QByteArray errorIcon;
  QString widePath;
};

// ---- Single items ----

TEST_F(ItemRequests, ASingleItemNamesAFileAFolderOrAVirtualFolder) {
  tmp.write(u"pub/docs/a.txt"_s, "hello");
  orv::core::ShareEntry share;
  share.id = u"id1"_s;
  share.serverPath = u"/virtual/inner/"_s;
  share.localPath = tmp.makeFolder(u"inner"_s);
  share.shareVirtualFolder = true;
  ASSERT_TRUE(gConfiguration.Shared.add(share));
  const struct {
    const char* name;
    QByteArray url;
    QByteArray holds;
  } cases[] = {
      {"a file", "/docs/?item.xml=a.txt", "<name>a.txt</name>"},
      {"a disk folder", "/?item.xml=docs", "<name>docs/</name>"},
      {"a virtual folder", "/virtual?item.xml=/", "<date>1980/01/01 00:00:01</date>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HttpAnswer answer = get("GET " + c.url + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.header("Content-Type"), "application/xml; charset=UTF-8");
    EXPECT_TRUE(answer.body.contains(c.holds)) << answer.body.constData();
    ASSERT_TRUE(waitForSlots(0));
  }
}

// ---- Thumbnails ----

TEST_F(ItemRequests, AThumbnailIsMadeOnceThenServedFromTheCacheAsABitmapOnAKeptConnection) {
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  const QByteArray request = "GET /photos/?miniature=wide.png HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n";

  const HttpAnswer first = ask(peer, request);
  EXPECT_EQ(first.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(first.header("Content-Type"), "image/bmp");
  EXPECT_TRUE(first.hasHeader("Expires"));
  EXPECT_EQ(first.header("Keep-Alive"), "timeout=15, max=300");
  EXPECT_EQ(bitmapSize(first.body), QSize(96, 72));
  EXPECT_EQ(QImage::fromData(first.body, "BMP").size(), QSize(96, 72));
  const QStringList made = cacheFiles();
  ASSERT_EQ(made.size(), 1);
  ASSERT_EQ(gMiniaturesCache.count(), 1);
  EXPECT_EQ(gMiniaturesCache.colMiniatureFiles.value(widePath), tmp.file(u"app/cache/"_s + made.first()));
  EXPECT_TRUE(gConfiguration.AppState.blnCacheModified);
  const QDateTime madeAt = QFileInfo(tmp.file(u"app/cache/"_s + made.first())).lastModified();

  const HttpAnswer second = ask(peer, request);
  EXPECT_EQ(second.body, first.body);
  EXPECT_EQ(second.header("Keep-Alive"), "timeout=15, max=299");
  EXPECT_EQ(cacheFiles(), made);
  EXPECT_EQ(QFileInfo(tmp.file(u"app/cache/"_s + made.first())).lastModified(), madeAt);
  EXPECT_EQ(gMiniaturesCache.count(), 1);

  processPendingEvents();
  EXPECT_EQ(server->slots().count(), 1);
  expectNothingInCreation();
  EXPECT_EQ(logCount(u"Load usrMinature(1) by usrSocket_DataArrival"_s), 2);
  EXPECT_EQ(logCount(u"Unload usrMinature(1) by usrSocket_DataArrival"_s), 2);
  // Thumbnails are never uploads.
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
  EXPECT_TRUE(orv::core::gUploadedLists.transfers.empty());
}

TEST_F(ItemRequests, AThumbnailKeepsTheShapeOfItsPictureAndIsNeverLarger) {
  const struct {
    const char* name;
    QSize source;
    QSize thumbnail;
  } cases[] = {
      {"landscape", {400, 300}, {96, 72}},
      {"portrait", {300, 400}, {72, 96}},
      {"square", {200, 200}, {96, 96}},
      {"smaller than the largest side", {50, 40}, {50, 40}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tmp.write(u"pub/shape.png"_s, encode(picture(c.source.width(), c.source.height()), "PNG"));
    const HttpAnswer answer = get("GET /?miniature=shape.png HTTP/1.1\r\n\r\n");
    EXPECT_EQ(answer.status(), "200");
    EXPECT_EQ(bitmapSize(answer.body), c.thumbnail);
    ASSERT_TRUE(waitForSlots(0));
    // The source changes its size, not always its date: start afresh.
    gMiniaturesCache = {};
  }
  expectNothingInCreation();
}

TEST_F(ItemRequests, HostileImagesGetTheIconThatStandsForThemAndTheServerGoesOn) {
  const QByteArray jpeg = encode(picture(640, 480), "JPEG");
  const struct {
    const char* name;
    QString file;
    QByteArray bytes;
  } cases[] = {
      {"a truncated JPEG", u"cut.jpg"_s, jpeg.left(jpeg.size() / 3)},
      {"a JPEG of its first bytes only", u"stub.jpg"_s, jpeg.left(40)},
      {"a PNG claiming 100,000 x 100,000 pixels", u"huge.png"_s, pngClaiming(100000, 100000)},
      {"text with an image extension", u"fake.jpg"_s, "this is no picture at all"},
      {"an empty file", u"empty.png"_s, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tmp.write(u"pub/"_s + c.file, c.bytes);
    const HttpAnswer answer = get("GET /?miniature=" + c.file.toLatin1() + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.header("Content-Type"), "image/bmp");
    // What a reader makes of a cut JPEG is its own affair: a grey-filled thumbnail, or
    // nothing and then the icon.
    const bool thumbnail = bitmapSize(answer.body) == QSize(96, 72);
    EXPECT_TRUE(answer.body == errorIcon || (c.file == u"cut.jpg"_s && thumbnail)) << answer.body.size();
    ASSERT_TRUE(waitForSlots(0));
  }
  expectNothingInCreation();
  EXPECT_EQ(get("GET /photos/?miniature=wide.png HTTP/1.1\r\n\r\n").status(), "200");
}

TEST_F(ItemRequests, AHiddenPictureTooLargeToScaleGetsTheHiddenVariantOfItsIcon) {
  // Hidden files are served only while the pages show them.
  gConfiguration.HtmlDisplay.VIEW_HIDDEN_DISK_ITEMS = true;
  for (const char* variant : {"show", "hide"}) {
    for (const char* size : {"16", "48"}) {
      const QString name = u"filetype_%1_%2_png-jpg.png"_s.arg(QLatin1String(size), QLatin1String(variant));
      tmp.write(u"app/resources/"_s + name, name.toLatin1());
    }
  }
  gConfiguration.ShellExtension.strResourcesIconsList = orv::core::getResourcesIconsList(tmp.file(u"app/resources"_s));
  gConfiguration.AdvancedParameters.APP_MAX_MINIATURE_SOURCE_FILE_SIZE = 10;
  tmp.write(u"pub/photos/.secret.png"_s, encode(picture(40, 30), "PNG"));
  EXPECT_EQ(get("GET /photos/?miniature=wide.png HTTP/1.1\r\n\r\n").body, "filetype_48_show_png-jpg.png");
  ASSERT_TRUE(waitForSlots(0));
  const HttpAnswer hidden = get("GET /photos/?miniature=.secret.png HTTP/1.1\r\n\r\n");
  EXPECT_EQ(hidden.body, "filetype_48_hide_png-jpg.png");
  EXPECT_EQ(hidden.header("Content-Type"), "image/bmp");
  EXPECT_TRUE(cacheFiles().isEmpty());
}

TEST_F(ItemRequests, AThumbnailIsNotSentAgainWhileTheCachedFileIsUnchanged) {
  const HttpAnswer first = get("GET /photos/?miniature=wide.png HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(first.hasHeader("Last-Modified"));
  ASSERT_TRUE(waitForSlots(0));
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  const HttpAnswer again = ask(peer,
                               "GET /photos/?miniature=wide.png HTTP/1.1\r\nConnection: Keep-Alive\r\n"
                               "If-Modified-Since: " +
                                   first.header("Last-Modified") + "\r\n\r\n");
  EXPECT_EQ(again.statusLine, "HTTP/1.1 304 Not Modified");
  EXPECT_TRUE(again.body.isEmpty());
  EXPECT_EQ(again.header("Connection"), "Keep-Alive");
  processPendingEvents();
  EXPECT_EQ(server->slots().count(), 1);
  expectNothingInCreation();
}

TEST_F(ItemRequests, OverEitherLimitAThumbnailRequestGets503AndTheCountsStayAsTheyWere) {
  const struct {
    const char* name;
    double totalLimit;
    double clientLimit;
    int elsewhere;  // thumbnails in creation for 10.9.9.9
    int ownBefore;  // and for the client, 127.0.0.2
    QByteArray status;
    const char* message;
  } cases[] = {
      {"the total reached", 20, 10, 20, 0, "503", "Too many miniature requests"},
      {"the client's limit reached", 20, 10, 5, 10, "503", "Too many miniature requests from this IP"},
      {"one below the client's limit", 20, 10, 5, 9, "200", nullptr},
      {"one below the total", 20, 10, 19, 0, "200", nullptr},
      {"a client without an entry counts -1", 20, 1, 0, 0, "200", nullptr},
      {"a client with one in creation and a limit of 1", 20, 1, 0, 1, "503",
       "Too many miniature requests from this IP"},
  };
  auto& counter = gConfiguration.AppState.colIpMiniaturesInCreation;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    counter.clear();
    gConfiguration.AdvancedParameters.APP_MAX_TOTAL_MINIATURE_IN_CREATION = c.totalLimit;
    gConfiguration.AdvancedParameters.APP_MAX_CLIENT_MINIATURE_IN_CREATION = c.clientLimit;
    orv::server::subUpdateCounter(counter, u"10.9.9.9"_s, c.elsewhere);
    orv::server::subUpdateCounter(counter, u"127.0.0.2"_s, c.ownBefore);
    const HttpAnswer answer = get("GET /photos/?miniature=wide.png HTTP/1.1\r\n\r\n");
    EXPECT_EQ(answer.status(), c.status);
    if (c.message != nullptr) {
      EXPECT_TRUE(answer.body.contains("<label>" + QByteArray(c.message) + "</label>")) << answer.body.constData();
      EXPECT_EQ(answer.header("Connection"), "Close");
    } else {
      EXPECT_EQ(answer.header("Content-Type"), "image/bmp");
    }
    ASSERT_TRUE(waitForSlots(0));
    EXPECT_EQ(getCounterValue(counter, u"10.9.9.9"_s), c.elsewhere > 0 ? c.elsewhere : -1);
    EXPECT_EQ(getCounterValue(counter, u"127.0.0.2"_s), c.ownBefore > 0 ? c.ownBefore : -1);
  }
}

// The request road with a last step that has something happen as soon as the thumbnail
// maker yields. Being queued from inside the request's own event, it also has that one turn
// of the loop run the notifications already waiting for other connections: the Qt loop
// runs none of the events queued before the current one began unless a new one came since.
class DuringTheYield : public ItemRequests {
 protected:
  void whileTheMakerYields(std::function<void(ServerEngine&, int)> happening) {
    server->setDataArrivalHandler(
        orv::server::fnctRequestRoad([happening = std::move(happening)](ServerEngine& engine, RequestContext& context) {
          const int index = context.connectionIndex;
          QMetaObject::invokeMethod(
              QCoreApplication::instance(), [&engine, happening, index] { happening(engine, index); },
              Qt::QueuedConnection);
          orv::server::fnctDispatchRequest(engine, context);
        }));
  }
};

TEST_F(DuringTheYield, TheRequestEndsQuietlyAndTheCleanUpGivesTheCountBack) {
  whileTheMakerYields([](ServerEngine& engine, int index) {
    EXPECT_EQ(getCounterValue(gConfiguration.AppState.colIpMiniaturesInCreation, u"127.0.0.2"_s), 1);
    engine.usrSocket_CloseSck(index);
  });
  const TcpPeer& peer = exchange({"GET /photos/?miniature=wide.png HTTP/1.1\r\n\r\n"});
  EXPECT_TRUE(peer.received.isEmpty()) << peer.received.left(200).constData();
  expectNothingInCreation();
  EXPECT_EQ(logCount(u"Unload usrMinature(1) by usrSocket_CloseSck"_s), 1);
  EXPECT_EQ(logCount(u"Unload usrMinature(1) by usrSocket_DataArrival"_s), 0);
  EXPECT_EQ(gMiniaturesCache.count(), 0);
}

TEST_F(DuringTheYield, ANewConnectionInTheSameSlotIsLeftAlone) {
  quint64 newcomer = 0;
  whileTheMakerYields([&newcomer](ServerEngine& engine, int index) {
    engine.usrSocket_CloseSck(index);
    newcomer = engine.slots().loadSocket(index, u"test"_s).generation;
  });
  const TcpPeer& peer = exchange({"GET /photos/?miniature=wide.png HTTP/1.1\r\n\r\n"});
  EXPECT_TRUE(peer.received.isEmpty());
  ASSERT_NE(newcomer, 0U);
  const orv::server::ConnectionSlot* slot = server->slots().find(1);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->generation, newcomer);
  EXPECT_EQ(slot->miniature, nullptr);
  EXPECT_EQ(gConfiguration.AppState.colIpMiniaturesInCreation.count(), 0);
  server->slots().unloadSocket(1, u"test"_s);
}

TEST_F(DuringTheYield, AThumbnailAskedForWhileAnotherIsInCreationMeetsTheTotalLimit) {
  gConfiguration.AdvancedParameters.APP_MAX_TOTAL_MINIATURE_IN_CREATION = 1;
  std::vector<int> inCreation;
  whileTheMakerYields([&inCreation](ServerEngine&, int) {
    inCreation.push_back(getCounterValue(gConfiguration.AppState.colIpMiniaturesInCreation, {}));
  });
  ASSERT_TRUE(admitted("127.0.0.2"));
  ASSERT_TRUE(admitted("127.0.0.3"));
  // Both requests are there before the server reads either: the second one's turn comes
  // while the first one's maker yields.
  for (const auto& peer : peers) {
    peer->send("GET /photos/?miniature=wide.png HTTP/1.1\r\n\r\n");
  }
  ASSERT_TRUE(processEventsUntil([&] { return peers[0]->endOfStream && peers[1]->endOfStream; }));
  QStringList statuses;
  for (const auto& peer : peers) {
    statuses << QString::fromLatin1(parseAnswers(peer->received).value(0).status());
  }
  statuses.sort();
  EXPECT_EQ(statuses, (QStringList{u"200"_s, u"503"_s}));
  // The first maker's count was up while the second request met the limit.
  ASSERT_FALSE(inCreation.empty());
  EXPECT_EQ(inCreation.front(), 1);
  expectNothingInCreation();
}

}  // namespace

namespace {

// The picture of the share is swapped for a link to a picture outside every share while
// the maker yields: the thumbnail is still made of the file that was checked, never of the
// picture outside.
TEST_F(DuringTheYield, ASourceSwappedForALinkOutsideIsNeverFollowed) {
  const QString outside = tmp.write(u"outside/tall.png"_s, encode(picture(30, 90), "PNG"));
  bool swapped = false;
  whileTheMakerYields([&](ServerEngine&, int) {
    const QString link = widePath + u".link"_s;
    swapped = QFile::link(outside, link) &&
              ::rename(QFile::encodeName(link).constData(), QFile::encodeName(widePath).constData()) == 0;
  });
  const HttpAnswer answer = get("GET /photos/?miniature=wide.png HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(swapped);
  EXPECT_TRUE(QFileInfo(widePath).isSymLink());
  EXPECT_EQ(answer.status(), "200");
  EXPECT_EQ(bitmapSize(answer.body), QSize(96, 72));
  expectNothingInCreation();
}

}  // namespace
