#include "content/thumbnail_maker.h"

#include "content/thumbnail_cache.h"
#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/local_paths.h"
#include "core/resource_icons.h"
#include "platform/file_system.h"
#include "platform/message_loop.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>
#include <optional>

namespace orv::content {
namespace {

// Thumbnail names are drawn from 0 to 9999998.
constexpr quint32 kMiniatureNameCount = 9999999;
constexpr int kMaxNameDraws = 1000;

bool swapsAxes(QImageIOHandler::Transformations transformation) {
  return transformation.testFlag(QImageIOHandler::TransformationRotate90);
}

// Flattens transparency onto white: a bitmap has no alpha, and the browser shows the page's
// white behind a transparent picture.
QImage toOpaque(const QImage& image) {
  if (!image.hasAlphaChannel()) {
    return image;
  }
  QImage opaque(image.size(), QImage::Format_RGB32);
  opaque.fill(Qt::white);
  QPainter painter(&opaque);
  painter.drawImage(0, 0, image);
  painter.end();
  return opaque;
}

// Writes the bitmap as a new file: the name is removed first and then created exclusively,
// so a link planted under the name is replaced rather than written through.
bool writeBitmap(const QImage& image, const QString& path) {
  if (platform::statPathNoFollow(path)) {
    QFile::remove(path);
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    return false;
  }
  const bool written = image.save(&file, "BMP") && file.flush();
  file.close();
  if (!written || file.error() != QFileDevice::NoError) {
    QFile::remove(path);
    return false;
  }
  return true;
}

QString fileNameOf(const QString& path) {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// True when the open file, as the system names it now, is the folder's or lies below it
// (both with every link resolved).
bool isOpenFileInFolder(int handle, const QString& folder) {
  const QString opened = platform::canonicalPath(QStringLiteral("/proc/self/fd/") + QString::number(handle));
  const QString resolvedFolder = platform::canonicalPath(folder);
  if (opened.isEmpty() || resolvedFolder.isEmpty()) {
    return false;
  }
  if (resolvedFolder == QStringLiteral("/")) {
    return opened.startsWith(QLatin1Char('/'));
  }
  return opened.startsWith(resolvedFolder) && opened.size() > resolvedFolder.size() &&
         opened.at(resolvedFolder.size()) == QLatin1Char('/');
}

}  // namespace

QSize getMiniatureSize(QSize sourceSize, int maxSide) {
  const int width = sourceSize.width();
  const int height = sourceSize.height();
  if (width < 1 || height < 1 || maxSide < 1) {
    return {};
  }
  // nearbyint rounds ties to even in the default rounding mode.
  if (width > height) {
    const int side = std::min(maxSide, width);
    const double shortSide = std::nearbyint(static_cast<double>(height) / width * side);
    return {side, std::max(1, static_cast<int>(shortSide))};
  }
  const int side = std::min(maxSide, height);
  const double shortSide = std::nearbyint(static_cast<double>(width) / height * side);
  return {std::max(1, static_cast<int>(shortSide)), side};
}

QImage fnctReadMiniatureImage(const QString& sourcePath, int maxSide) {
  if (maxSide < 1 || core::fnctFileExists(sourcePath, true) != core::ExistenceCode::Usable) {
    return {};
  }
  // Decoding from the handle of the file checked above: a pipe or a device never reaches
  // the reader, and the format comes from the content, not from the name.
  qint64 size = 0;
  const int handle = platform::openRegularFileForRead(sourcePath, size);
  if (handle == platform::kInvalidFileHandle) {
    return {};
  }
  QImage image = fnctReadMiniatureImage(handle, maxSide);
  platform::closeFile(handle);
  return image;
}

QImage fnctReadMiniatureImage(int handle, int maxSide) {
  if (maxSide < 1 || handle == platform::kInvalidFileHandle || platform::seekFile(handle, 0, SEEK_SET) != 0) {
    return {};
  }
  QFile file;
  if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
    return {};
  }
  QImageReader::setAllocationLimit(kMiniatureAllocationLimitMb);
  QImageReader reader(&file);
  reader.setAutoTransform(true);

  // The header's claim is checked before a single pixel is decoded.
  const QSize claimed = reader.size();
  if (claimed.isValid()) {
    if (claimed.isEmpty() || qint64(claimed.width()) * claimed.height() > kMaxMiniatureSourcePixels) {
      return {};
    }
    // JPEG decodes at 1/2, 1/4 or 1/8 scale when asked for a small size, which is most of
    // the speed of a first thumbnail of a photo.
    if (reader.format() == "jpeg" && reader.supportsOption(QImageIOHandler::ScaledSize)) {
      reader.setScaledSize(getMiniatureSize(claimed, maxSide));
    }
  }
  const bool transposed = swapsAxes(reader.transformation());

  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    return {};
  }
  QSize fullSize = claimed.isValid() ? (transposed ? claimed.transposed() : claimed) : image.size();
  if (!claimed.isValid() && qint64(fullSize.width()) * fullSize.height() > kMaxMiniatureSourcePixels) {
    return {};
  }
  const QSize size = getMiniatureSize(fullSize, maxSide);
  if (!size.isValid()) {
    return {};
  }
  if (image.size() != size) {
    image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  return toOpaque(image);
}

usrMinature::usrMinature() = default;

usrMinature::~usrMinature() {
  *alive_ = false;
  closeSource();
}

void usrMinature::closeSource() {
  if (sourceHandle_ != platform::kInvalidFileHandle) {
    platform::closeFile(sourceHandle_);
    sourceHandle_ = platform::kInvalidFileHandle;
  }
}

bool usrMinature::openSource() {
  closeSource();
  sourceHandle_ = platform::openRegularFileForRead(imagePathFullSize_, sourceSize_);
  if (sourceHandle_ == platform::kInvalidFileHandle) {
    return false;
  }
  if (!imageFolder_.isEmpty() && !isOpenFileInFolder(sourceHandle_, imageFolder_)) {
    closeSource();
    return false;
  }
  return true;
}

void usrMinature::setMaxSize(const QString& size) {
  const std::optional<double> number = core::parseConfigNumber(size);
  maxSize_ = 0;
  if (number && std::isfinite(*number)) {
    const double side = std::nearbyint(*number);
    if (side >= 1 && side <= 32767) {
      maxSize_ = static_cast<int>(side);
    }
  }
}

bool usrMinature::CreateMiniature() {
  imagePathMini_.clear();
  // The source is opened, and checked to lie in its folder, before the yield, and all that
  // follows reads that open file: a name of the folder swapped meanwhile for a link to a
  // picture elsewhere is never followed.
  if (!openSource()) {
    return fail();
  }
  const double sizeLimit = core::gConfiguration.AdvancedParameters.APP_MAX_MINIATURE_SOURCE_FILE_SIZE;
  if (static_cast<double>(sourceSize_) > sizeLimit) {
    closeSource();
    return fail();
  }

  // Other events run here; among them the connection may close and destroy this maker.
  const std::shared_ptr<const bool> alive = alive_;
  platform::yieldToMessageLoop();
  if (!*alive) {
    return false;
  }
  const bool made = createAfterYield();
  closeSource();
  return made;
}

bool usrMinature::createAfterYield() {
  // The tag is taken before decoding, so a source changed meanwhile makes the entry stale
  // rather than wrongly fresh.
  const QString etag = core::getOpenFileStamp(imagePathFullSize_, sourceHandle_, sourceSize_).etag;
  if (FindMiniatureInCache(imagePathFullSize_, etag)) {
    imagePathMini_ = gMiniaturesCache.colMiniatureFiles.value(imagePathFullSize_);
    return true;
  }
  // A picture that could not be read once is not read again until it changes: a broken
  // one can cost seconds and hundreds of megabytes per attempt.
  if (isFailedMiniatureSource(imagePathFullSize_, etag)) {
    return fail();
  }
  const QImage miniature = fnctReadMiniatureImage(sourceHandle_, maxSize_);
  if (miniature.isNull()) {
    subAddFailedMiniatureSource(imagePathFullSize_, etag);
    return fail();
  }
  fnctCreateCacheFolder();
  const QString path = chooseMiniatureFile();
  if (path.isEmpty() || !writeBitmap(miniature, path)) {
    return fail();
  }
  imagePathMini_ = path;
  subAddMiniatureInCache(imagePathFullSize_, path, etag);
  return true;
}

QString usrMinature::chooseMiniatureFile() {
  QString id;
  if (!isMiniaturesCacheFull()) {
    id = GetNewMiniatureFileName();
  } else if (gMiniaturesCache.count() > 0) {
    // The oldest entry gives way; its file is overwritten when it is a thumbnail file.
    id = GetOldestMiniatureId();
    gMiniaturesCache.removeFirst();
    core::gConfiguration.AppState.blnCacheModified = true;
    if (id.isEmpty()) {
      id = GetNewMiniatureFileName();
    }
  }
  return id.isEmpty() ? QString() : getMiniatureFilePath(id);
}

bool usrMinature::fail() {
  const QString extension = core::getFileExtension(fileNameOf(imagePathFullSize_));
  const QString icon =
      core::getFileTypeIconName(extension, htmlIconVisibility_, 48, QLatin1String(kMiniatureErrorIcon));
  imagePathMini_ = core::gAppFolder + QStringLiteral("/resources/") + icon;
  return false;
}

QString GetNewMiniatureFileName() {
  for (int draw = 0; draw < kMaxNameDraws; ++draw) {
    const QString id = QString::number(QRandomGenerator::global()->bounded(kMiniatureNameCount));
    if (!platform::statPathNoFollow(getMiniatureFilePath(id))) {
      return id;
    }
  }
  return {};
}

QString GetOldestMiniatureId() {
  if (gMiniaturesCache.count() == 0) {
    return {};
  }
  const QString& file = gMiniaturesCache.colMiniatureFiles.at(1);
  return isMiniatureFile(file) ? getMiniatureIdOfPath(file) : QString();
}

}  // namespace orv::content
