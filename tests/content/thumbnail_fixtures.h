#pragma once

// Shared by the thumbnail tests: an application folder of its own per test, and pictures
// made on the spot.

#include "content/thumbnail_cache.h"
#include "core/configuration.h"
#include "core/file_utils.h"

#include "support/temp_folder.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

namespace thumbnail_test {

// A picture with detail in it, so that JPEG files have a realistic size; written a line at
// a time so that even 12-megapixel fixtures are quick in sanitized builds.
inline QImage makePicture(int width, int height, QImage::Format format = QImage::Format_RGB32) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      line[x] = qRgb((x * 255) / width, (y * 255) / height, ((x / 8 + y / 8) % 2) * 200);
    }
  }
  return format == QImage::Format_RGB32 ? image : image.convertToFormat(format);
}

inline QByteArray encode(const QImage& image, const char* format,
                         QImageIOHandler::Transformations transformation = {}) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setTransformation(transformation);
  EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
  return buffer.data();
}

inline QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void setWriteTime(const QString& path, const QDateTime& time) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
}

// Moves the file's last write time, which changes its entity tag.
inline void touch(const QString& path, int seconds) {
  setWriteTime(path, QFileInfo(path).lastModified().addSecs(seconds));
}

class ThumbnailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetGlobals();
    orv::core::gAppFolder = app_.path();
  }
  void TearDown() override { resetGlobals(); }

  static void resetGlobals() {
    orv::core::gConfiguration = {};
    orv::core::gAppFolder.clear();
    orv::content::gMiniaturesCache = {};
  }

  QString cacheFolder() const { return app_.file(QStringLiteral("cache")); }
  QString cacheFile(const QString& id) const { return app_.file(QStringLiteral("cache/") + id); }
  QString writeCacheFile(const QString& id, const QByteArray& bytes) const {
    return app_.write(QStringLiteral("cache/") + id, bytes);
  }
  QString writeCacheXml(const QByteArray& entries) const {
    return app_.write(QStringLiteral("cache/cache.xml"),
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CACHE>" + entries + "</CACHE>");
  }
  static QByteArray entry(const QString& path, const QString& id, const QString& etag) {
    return "<MINIATURE path=\"" + path.toUtf8() + "\" id=\"" + id.toUtf8() + "\" etag=\"" + etag.toUtf8() + "\"/>";
  }

  // Files outside the application folder, which the cache must never read or delete.
  QString writeSource(const QString& name, const QByteArray& bytes) const { return sources_.write(name, bytes); }

  QStringList cacheEntries() const {
    return QDir(cacheFolder())
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
  }

  static QStringList indexedSources() {
    QStringList sources;
    const auto& list = orv::content::gMiniaturesCache.colMiniatureSources;
    for (qsizetype k = 1; k <= list.count(); ++k) {
      sources << list.at(k);
    }
    return sources;
  }

  TempFolder app_;
  TempFolder sources_;
};

}  // namespace thumbnail_test
