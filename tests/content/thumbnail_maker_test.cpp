#include "content/thumbnail_maker.h"

#include "content/thumbnail_cache.h"
#include "core/configuration.h"
#include "core/file_utils.h"

#include "support/qt_printers.h"
#include "thumbnail_fixtures.h"

#include <QFile>
#include <QImageReader>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;
using orv::content::getMiniatureSize;
using orv::content::gMiniaturesCache;
using orv::content::usrMinature;
using orv::core::gConfiguration;
using orv::core::getFileEtag;
using thumbnail_test::encode;
using thumbnail_test::makePicture;
using thumbnail_test::readBytes;

quint32 crc32(const QByteArray& bytes) {
  quint32 crc = 0xFFFFFFFFu;
  for (const char byte : bytes) {
    crc ^= static_cast<quint8>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

QByteArray bigEndian32(quint32 value) {
  QByteArray bytes;
  for (const int shift : {24, 16, 8, 0}) {
    bytes.append(static_cast<char>((value >> shift) & 0xFF));
  }
  return bytes;
}

QByteArray littleEndian16(int value) {
  QByteArray bytes;
  bytes.append(static_cast<char>(value & 0xFF));
  bytes.append(static_cast<char>((value >> 8) & 0xFF));
  return bytes;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
  return bigEndian32(static_cast<quint32>(data.size())) + type + data + bigEndian32(crc32(type + data));
}

// A well-formed PNG header claiming the size, with a few bytes of pixel data.
QByteArray pngClaiming(quint32 width, quint32 height) {
  const QByteArray header = bigEndian32(width) + bigEndian32(height) + QByteArray("\x08\x06\x00\x00\x00", 5);
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
         pngChunk("IDAT", qCompress(QByteArray(64, '\0')).mid(4)) + pngChunk("IEND", {});
}

// A GIF whose logical screen and single frame claim the size, with a little LZW data.
QByteArray gifClaiming(int width, int height) {
  return "GIF89a" + littleEndian16(width) + littleEndian16(height) + QByteArray("\x80\x00\x00", 3) +
         QByteArray("\x00\x00\x00\xff\xff\xff", 6) + ',' + littleEndian16(0) + littleEndian16(0) +
         littleEndian16(width) + littleEndian16(height) + QByteArray("\x00\x02", 2) + char(100) +
         QByteArray(100, '\x55') + QByteArray("\x00;", 2);
}

// A real JPEG whose frame header is rewritten to claim the size.
QByteArray jpegClaiming(int width, int height) {
  QByteArray jpeg = encode(makePicture(64, 48), "JPEG");
  const qsizetype frame = jpeg.indexOf("\xFF\xC0");
  EXPECT_GT(frame, 0);
  jpeg[frame + 5] = char(height >> 8);
  jpeg[frame + 6] = char(height & 0xFF);
  jpeg[frame + 7] = char(width >> 8);
  jpeg[frame + 8] = char(width & 0xFF);
  return jpeg;
}

class ThumbnailMaker : public thumbnail_test::ThumbnailTest {
 protected:
  void SetUp() override {
    ThumbnailTest::SetUp();
    gConfiguration.ShellExtension.strResourcesIconsList = u".jpg:jpg-png.png;.png:jpg-png.png;"_s;
  }

  // Makes the thumbnail of the source as the request engine does.
  bool make(const QString& source, const QString& maxSize = u"96"_s, int visibility = 0) {
    usrMinature maker;
    maker.setHtmlIconVisibility(visibility);
    maker.setImagePathFullSize(source);
    maker.setMaxSize(maxSize);
    const bool made = maker.CreateMiniature();
    path_ = maker.getImagePathMini();
    return made;
  }

  QString icon(const QString& name) const { return app_.file(u"resources/"_s + name); }
  QString errorIcon() const { return icon(u"itemicon_big_error.png"_s); }

  QStringList thumbnailFiles() const {
    QStringList files = cacheEntries();
    files.removeAll(u"cache.xml"_s);
    return files;
  }

  QString path_;  // getImagePathMini of the last make
};

TEST(ThumbnailSize, LargestSideBecomesTheMaximumWithoutEnlarging) {
  const struct {
    QSize source;
    int maxSide;
    QSize expected;
  } rows[] = {
      {{4000, 3000}, 96, {96, 72}},
      {{3000, 4000}, 96, {72, 96}},
      {{500, 500}, 96, {96, 96}},
      {{50, 40}, 96, {50, 40}},
      {{40, 50}, 96, {40, 50}},
      {{96, 10}, 96, {96, 10}},
      {{16, 5}, 8, {8, 2}},  // 2.5 rounds to even
      {{16, 7}, 8, {8, 4}},  // 3.5 rounds to even
      {{5, 16}, 8, {2, 8}},
      {{10000, 1}, 96, {96, 1}},  // never less than a pixel
      {{0, 10}, 96, {}},
      {{10, 10}, 0, {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(getMiniatureSize(row.source, row.maxSide), row.expected)
        << row.source.width() << "x" << row.source.height() << " / " << row.maxSide;
  }
}

TEST(ThumbnailSize, MaxSizeTextIsRoundedToEvenAndChecked) {
  const struct {
    const char* text;
    int expected;
  } rows[] = {
      {"96", 96}, {"95.5", 96}, {"96.5", 96}, {" 40 ", 40}, {"1", 1}, {"32767", 32767},
      {"0", 0},   {"-5", 0},    {"40000", 0}, {"abc", 0},   {"", 0},  {"0.4", 0},
  };
  for (const auto& row : rows) {
    usrMinature maker;
    maker.setMaxSize(QString::fromLatin1(row.text));
    EXPECT_EQ(maker.getMaxSize(), row.expected) << row.text;
  }
}

TEST_F(ThumbnailMaker, MakesASmoothBitmapInTheCacheFolder) {
  const struct {
    const char* name;
    QSize size;
    const char* format;
    QSize expected;
  } rows[] = {
      {"landscape.jpg", {4000, 3000}, "JPEG", {96, 72}},
      {"portrait.jpeg", {300, 400}, "JPEG", {72, 96}},
      {"square.png", {500, 500}, "PNG", {96, 96}},
      {"small.bmp", {50, 40}, "BMP", {50, 40}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QString source = writeSource(QString::fromLatin1(row.name),
                                       encode(makePicture(row.size.width(), row.size.height()), row.format));
    gConfiguration.AppState.blnCacheModified = false;
    ASSERT_TRUE(make(source));
    const QString id = path_.mid(path_.lastIndexOf(u'/') + 1);
    EXPECT_EQ(path_, cacheFile(id));
    EXPECT_TRUE(orv::content::isMiniatureId(id));
    EXPECT_TRUE(readBytes(path_).startsWith("BM"));
    QImageReader reader(path_);
    EXPECT_EQ(reader.format(), "bmp");
    const QImage thumbnail = reader.read();
    EXPECT_EQ(thumbnail.size(), row.expected);
    EXPECT_EQ(gMiniaturesCache.colMiniatureFiles.value(source), path_);
    EXPECT_EQ(gMiniaturesCache.colMiniatureEtags.value(source), getFileEtag(source));
    EXPECT_TRUE(gConfiguration.AppState.blnCacheModified);
  }
  EXPECT_EQ(thumbnailFiles().size(), 4);
}

TEST_F(ThumbnailMaker, ScalingAveragesRatherThanPicks) {
  QImage checkerboard(960, 720, QImage::Format_RGB32);
  for (int y = 0; y < checkerboard.height(); ++y) {
    for (int x = 0; x < checkerboard.width(); ++x) {
      checkerboard.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    }
  }
  for (const char* format : {"PNG", "JPEG"}) {
    SCOPED_TRACE(format);
    const QString source = writeSource(u"board."_s + QString::fromLatin1(format), encode(checkerboard, format));
    ASSERT_TRUE(make(source));
    const QImage thumbnail(path_);
    ASSERT_EQ(thumbnail.size(), QSize(96, 72));
    for (const QPoint point : {QPoint(0, 0), QPoint(47, 35), QPoint(95, 71), QPoint(13, 60)}) {
      EXPECT_NEAR(qGray(thumbnail.pixel(point)), 128, 30) << point.x() << "," << point.y();
    }
  }
}

TEST_F(ThumbnailMaker, AnUnchangedImageIsScaledOnce) {
  const QString source = writeSource(u"a.jpg"_s, encode(makePicture(400, 300), "JPEG"));
  ASSERT_TRUE(make(source));
  const QString first = path_;
  // Anything decoded again would overwrite this.
  {
    QFile file(first);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("marker");
  }
  ASSERT_TRUE(make(source));
  EXPECT_EQ(path_, first);
  EXPECT_EQ(readBytes(first), "marker");
  EXPECT_EQ(gMiniaturesCache.count(), 1);
}

TEST_F(ThumbnailMaker, AChangedImageGetsANewThumbnailAtTheEnd) {
  const QString a = writeSource(u"a.jpg"_s, encode(makePicture(400, 300), "JPEG"));
  const QString b = writeSource(u"b.jpg"_s, encode(makePicture(300, 400), "JPEG"));
  ASSERT_TRUE(make(a));
  const QString old = path_;
  ASSERT_TRUE(make(b));
  thumbnail_test::touch(a, 10);
  ASSERT_TRUE(make(a));
  EXPECT_NE(path_, old);
  EXPECT_EQ(indexedSources(), (QStringList{b, a}));
  EXPECT_EQ(gMiniaturesCache.colMiniatureEtags.value(a), getFileEtag(a));
  EXPECT_FALSE(QFile::exists(old));  // the stale thumbnail does not linger in the folder
  EXPECT_EQ(thumbnailFiles().size(), 2);
}

TEST_F(ThumbnailMaker, ASourceOverTheSizeLimitGetsItsFileTypeIcon) {
  const QByteArray bytes = encode(makePicture(400, 300), "JPEG");
  const QString jpg = writeSource(u"a.jpg"_s, bytes);
  const QString other = writeSource(u"a.tif"_s, bytes);
  const double size = static_cast<double>(bytes.size());
  const struct {
    QString source;
    double limit;
    int visibility;
    bool expected;
    QString file;  // empty: a thumbnail
  } rows[] = {
      {jpg, size - 1, 0, false, icon(u"filetype_48_show_jpg-png.png"_s)},
      {jpg, size - 1, 1, false, icon(u"filetype_48_hide_jpg-png.png"_s)},
      {other, size - 1, 0, false, errorIcon()},
      {jpg, size, 0, true, {}},  // exactly at the limit is thumbnailed
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file.toStdString());
    gConfiguration.AdvancedParameters.APP_MAX_MINIATURE_SOURCE_FILE_SIZE = row.limit;
    EXPECT_EQ(make(row.source, u"96"_s, row.visibility), row.expected);
    if (row.file.isEmpty()) {
      EXPECT_EQ(path_, gMiniaturesCache.colMiniatureFiles.value(row.source));
    } else {
      EXPECT_EQ(path_, row.file);
    }
  }
}

TEST_F(ThumbnailMaker, AFullCacheReusesTheOldestThumbnailName) {
  const QString oldest = writeSource(u"old.jpg"_s, "o");
  const QString kept = writeSource(u"kept.jpg"_s, "k");
  gMiniaturesCache.add(oldest, writeCacheFile(u"41"_s, QByteArray(5000, 'o')), getFileEtag(oldest));
  gMiniaturesCache.add(kept, writeCacheFile(u"42"_s, QByteArray(5000, 'k')), getFileEtag(kept));
  gConfiguration.Other.MINATURE_CACHE_SIZE_MAX = 9000;
  const QString source = writeSource(u"new.jpg"_s, encode(makePicture(400, 300), "JPEG"));
  ASSERT_TRUE(make(source));
  EXPECT_EQ(path_, cacheFile(u"41"_s));
  EXPECT_TRUE(readBytes(path_).startsWith("BM"));
  EXPECT_EQ(indexedSources(), (QStringList{kept, source}));
  EXPECT_EQ(thumbnailFiles(), (QStringList{u"41"_s, u"42"_s}));
}

TEST_F(ThumbnailMaker, AFullCacheWithAnEmptyIndexCannotMakeThumbnails) {
  writeCacheFile(u"7"_s, QByteArray(5000, 'x'));
  gConfiguration.Other.MINATURE_CACHE_SIZE_MAX = 1000;
  const QString source = writeSource(u"a.jpg"_s, encode(makePicture(400, 300), "JPEG"));
  EXPECT_FALSE(make(source));
  EXPECT_EQ(path_, icon(u"filetype_48_show_jpg-png.png"_s));
  EXPECT_EQ(thumbnailFiles(), QStringList{u"7"_s});
  EXPECT_EQ(gMiniaturesCache.count(), 0);
}

// A link planted under the oldest thumbnail's name must not be written through.
TEST_F(ThumbnailMaker, AFullCacheNeverWritesThroughALink) {
  const QString outside = writeSource(u"precious"_s, "precious");
  const QString oldest = writeSource(u"old.jpg"_s, "o");
  ASSERT_TRUE(QDir().mkpath(cacheFolder()));
  ASSERT_TRUE(QFile::link(outside, cacheFile(u"41"_s)));
  gMiniaturesCache.add(oldest, cacheFile(u"41"_s), getFileEtag(oldest));
  writeCacheFile(u"cache.xml"_s, QByteArray(5000, ' '));
  gConfiguration.Other.MINATURE_CACHE_SIZE_MAX = 1000;
  const QString source = writeSource(u"new.jpg"_s, encode(makePicture(400, 300), "JPEG"));
  ASSERT_TRUE(make(source));
  EXPECT_NE(path_, cacheFile(u"41"_s));
  EXPECT_EQ(readBytes(outside), "precious");
  EXPECT_EQ(indexedSources(), QStringList{source});
}

// Pictures are untrusted: every one of these ends in the icon, quickly, with nothing
// written to the cache.
TEST_F(ThumbnailMaker, HostilePicturesGiveTheIcon) {
  const QByteArray jpeg = encode(makePicture(400, 300), "JPEG");
  const QByteArray png = encode(makePicture(400, 300), "PNG");
  const struct {
    const char* name;
    QByteArray bytes;
  } rows[] = {
      {"text.jpg", "this is not a picture, whatever its name says"},
      {"empty.jpg", ""},
      {"header-only.jpg", jpeg.left(200)},
      {"png-claiming-100000x100000.png", pngClaiming(100000, 100000)},
      {"png-claiming-30000x30000.png", pngClaiming(30000, 30000)},
      {"png-claiming-0x10.png", pngClaiming(0, 10)},
      {"png-over-the-allocation-limit.png", pngClaiming(12000, 12000)},
      {"gif-claiming-65535x65535.gif", gifClaiming(65535, 65535)},
      {"jpeg-claiming-65000x65000.jpg", jpegClaiming(65000, 65000)},
      {"jpeg-claiming-20000x20000.jpg", jpegClaiming(20000, 20000)},
      {"truncated.png", png.left(png.size() / 2)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QString source = writeSource(QString::fromLatin1(row.name), row.bytes);
    EXPECT_FALSE(make(source));
    EXPECT_TRUE(path_.startsWith(app_.file(u"resources/"_s))) << path_.toStdString();
    EXPECT_EQ(gMiniaturesCache.count(), 0);
  }
  EXPECT_TRUE(thumbnailFiles().isEmpty());
}

TEST_F(ThumbnailMaker, WhatIsNotARegularFileGivesTheIconWithoutWaiting) {
  const QString fifo = sources_.file(u"pipe.jpg"_s);
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString folder = sources_.makeFolder(u"folder.jpg"_s);
  for (const QString& source : {fifo, folder, sources_.file(u"missing.jpg"_s), QString()}) {
    SCOPED_TRACE(source.toStdString());
    EXPECT_FALSE(make(source));
    EXPECT_TRUE(path_.startsWith(app_.file(u"resources/"_s)));
  }
  EXPECT_EQ(gMiniaturesCache.count(), 0);
}

TEST_F(ThumbnailMaker, ATruncatedJpegShowsWhatItHolds) {
  const QByteArray jpeg = encode(makePicture(400, 300), "JPEG");
  const QString source = writeSource(u"cut.jpg"_s, jpeg.left(jpeg.size() / 2));
  ASSERT_TRUE(make(source));
  EXPECT_EQ(QImage(path_).size(), QSize(96, 72));
}

TEST_F(ThumbnailMaker, AnInvalidMaxSizeGivesTheIcon) {
  const QString source = writeSource(u"a.jpg"_s, encode(makePicture(400, 300), "JPEG"));
  EXPECT_FALSE(make(source, u"zero"_s));
  EXPECT_EQ(path_, icon(u"filetype_48_show_jpg-png.png"_s));
  EXPECT_TRUE(thumbnailFiles().isEmpty());
}

TEST_F(ThumbnailMaker, TheOrientationTagIsApplied) {
  QImageWriter probe(u"x.jpg"_s, "jpeg");
  if (!probe.supportsOption(QImageIOHandler::ImageTransformation)) {
    GTEST_SKIP() << "the JPEG writer cannot write an orientation tag";
  }
  const QString source =
      writeSource(u"turned.jpg"_s, encode(makePicture(400, 300), "JPEG", QImageIOHandler::TransformationRotate90));
  ASSERT_TRUE(make(source));
  EXPECT_EQ(QImage(path_).size(), QSize(72, 96));
}

TEST_F(ThumbnailMaker, TransparencyIsLaidOnWhite) {
  QImage picture(200, 100, QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  const QString source = writeSource(u"clear.png"_s, encode(picture, "PNG"));
  ASSERT_TRUE(make(source));
  const QImage thumbnail(path_);
  ASSERT_EQ(thumbnail.size(), QSize(96, 48));
  EXPECT_EQ(thumbnail.pixel(10, 10), qRgb(255, 255, 255));
}

// The maker yields once; its connection may close meanwhile and destroy it.
TEST_F(ThumbnailMaker, DestroyedDuringItsYieldItStopsAtOnce) {
  const QString source = writeSource(u"a.jpg"_s, encode(makePicture(400, 300), "JPEG"));
  auto maker = std::make_unique<usrMinature>();
  maker->setImagePathFullSize(source);
  maker->setMaxSize(u"96"_s);
  QTimer::singleShot(0, [&maker] { maker.reset(); });
  usrMinature* const running = maker.get();
  EXPECT_FALSE(running->CreateMiniature());
  EXPECT_EQ(maker, nullptr);
  EXPECT_EQ(gMiniaturesCache.count(), 0);
  EXPECT_TRUE(thumbnailFiles().isEmpty());
}

TEST_F(ThumbnailMaker, AThumbnailMadeDuringTheYieldIsReused) {
  const QString source = writeSource(u"a.jpg"_s, encode(makePicture(400, 300), "JPEG"));
  QString other;
  QTimer::singleShot(0, [&] {
    usrMinature maker;
    maker.setImagePathFullSize(source);
    maker.setMaxSize(u"96"_s);
    maker.CreateMiniature();
    other = maker.getImagePathMini();
  });
  ASSERT_TRUE(make(source));
  EXPECT_EQ(path_, other);
  EXPECT_EQ(thumbnailFiles().size(), 1);
  EXPECT_EQ(gMiniaturesCache.count(), 1);
}

}  // namespace
