#include "content/thumbnail_cache.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/file_utils.h"
#include "platform/file_system.h"
#include "platform/xml.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <optional>

namespace orv::content {

tMiniaturesCache gMiniaturesCache;

namespace {

const QString kCache = QStringLiteral("CACHE");
const QString kMiniature = QStringLiteral("MINIATURE");
const QString kPath = QStringLiteral("path");
const QString kId = QStringLiteral("id");
const QString kEtag = QStringLiteral("etag");

// Deletes a thumbnail file of the cache folder; any other path is left alone.
void deleteMiniatureFile(const QString& thumbnailPath) {
  if (isMiniatureFile(thumbnailPath)) {
    QFile::remove(thumbnailPath);
  }
}

// Deletes the thumbnail files of the cache folder that the index does not name.
void removeUnindexedMiniatures(const tMiniaturesCache& cache) {
  const QString folder = getMiniaturesCacheFolder();
  if (core::fnctFolderExists(folder, true) != core::ExistenceCode::Usable) {
    return;
  }
  QSet<QString> named;
  for (const auto& entry : cache.colMiniatureFiles) {
    named.insert(entry.value);
  }
  const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
  for (const QString& name : names) {
    const QString path = getMiniatureFilePath(name);
    if (isMiniatureId(name) && !named.contains(path)) {
      deleteMiniatureFile(path);
    }
  }
}

platform::WriteResult reportFailure(platform::WriteResult result) {
  if (!result.ok) {
    const QString message = QStringLiteral("Unable to save the miniatures cache: ") + result.error;
    core::subAddDebugEvent(message, core::DebugEventCategory::Always);
    core::subWriteConsoleLine(message);
  }
  return result;
}

}  // namespace

bool tMiniaturesCache::add(const QString& sourcePath, const QString& thumbnailPath, const QString& etag) {
  if (sourcePath.isEmpty() || colMiniatureFiles.contains(sourcePath)) {
    return false;
  }
  colMiniatureFiles.add(thumbnailPath, sourcePath);
  colMiniatureEtags.add(etag, sourcePath);
  colMiniatureSources.add(sourcePath, sourcePath);
  return true;
}

bool tMiniaturesCache::remove(const QString& sourcePath) {
  if (!colMiniatureFiles.remove(sourcePath)) {
    return false;
  }
  colMiniatureEtags.remove(sourcePath);
  colMiniatureSources.remove(sourcePath);
  return true;
}

void tMiniaturesCache::removeFirst() {
  colMiniatureFiles.removeAt(1);
  colMiniatureEtags.removeAt(1);
  colMiniatureSources.removeAt(1);
}

QString getMiniaturesCacheFolder() {
  return core::gAppFolder + QStringLiteral("/cache");
}

QString getMiniatureFilePath(const QString& id) {
  return getMiniaturesCacheFolder() + QLatin1Char('/') + id;
}

bool isMiniatureId(const QString& text) {
  if (text.isEmpty() || text.size() > 7) {
    return false;
  }
  for (const QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
      return false;
    }
  }
  return true;
}

QString getMiniatureIdOfPath(const QString& thumbnailPath) {
  const qsizetype slash = thumbnailPath.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) {
    return {};
  }
  // The file system is case-sensitive: a folder that differs only in case is another one.
  const QString id = thumbnailPath.mid(slash + 1);
  return isMiniatureId(id) && thumbnailPath.left(slash) == getMiniaturesCacheFolder() ? id : QString();
}

bool isMiniatureFile(const QString& thumbnailPath) {
  if (getMiniatureIdOfPath(thumbnailPath).isEmpty()) {
    return false;
  }
  const std::optional<platform::PathStatus> status = platform::statPathNoFollow(thumbnailPath);
  return status && status->isRegularFile && !status->isSymbolicLink;
}

bool fnctCreateCacheFolder() {
  const QString folder = getMiniaturesCacheFolder();
  if (platform::statPathNoFollow(folder)) {
    return false;
  }
  return QDir().mkpath(folder);
}

bool isValidCacheEntry(const QString& sourcePath, const QString& id, const QString& etag) {
  return isMiniatureId(id) && isMiniatureFile(getMiniatureFilePath(id)) &&
         etag.compare(core::getFileEtag(sourcePath), Qt::CaseInsensitive) == 0;
}

qint64 getMiniaturesCacheSize() {
  const QString folder = getMiniaturesCacheFolder();
  if (core::fnctFolderExists(folder, true) != core::ExistenceCode::Usable) {
    return 0;
  }
  qint64 total = 0;
  // Without FollowSymlinks, a link to a folder elsewhere is not walked into.
  QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    const QFileInfo info = it.fileInfo();
    if (!info.isSymLink() && info.isFile()) {
      total += info.size();
    }
  }
  return total;
}

bool isMiniaturesCacheFull() {
  if (core::fnctFolderExists(getMiniaturesCacheFolder(), true) != core::ExistenceCode::Usable) {
    return false;
  }
  return getMiniaturesCacheSize() > static_cast<qint64>(core::gConfiguration.Other.MINATURE_CACHE_SIZE_MAX);
}

tMiniaturesCache fnctLoadMiniaturesCache(const QString& path) {
  tMiniaturesCache cache;
  const xml::Document document = xml::Document::fromFile(path);
  const xml::Element root = document.firstDescendantElement(kCache);
  if (!root.isNull()) {
    QSet<QString> ids;
    for (const xml::Element& element : root.childElements(kMiniature)) {
      if (cache.count() >= kMaxMiniaturesCacheEntries) {
        break;
      }
      // One bad or repeated entry costs only itself: dropping the whole index would leave
      // every thumbnail of the folder unreachable.
      if (!element.hasAttribute(kPath) || !element.hasAttribute(kId) || !element.hasAttribute(kEtag)) {
        continue;
      }
      const QString source = element.attribute(kPath);
      const QString id = element.attribute(kId);
      const QString etag = element.attribute(kEtag);
      if (ids.contains(id) || cache.colMiniatureFiles.contains(source) || !isValidCacheEntry(source, id, etag)) {
        continue;
      }
      ids.insert(id);
      cache.add(source, getMiniatureFilePath(id), etag);
    }
  }
  removeUnindexedMiniatures(cache);
  return cache;
}

platform::WriteResult subSaveMiniaturesCache(const QString& path) {
  fnctCreateCacheFolder();
  xml::Document document;
  xml::Element root = document.createDocumentElement(kCache);
  const tMiniaturesCache& cache = gMiniaturesCache;
  for (qsizetype k = 1; k <= cache.count(); ++k) {
    const QString source = cache.colMiniatureSources.at(k);
    const QString file = cache.colMiniatureFiles.at(k);
    const QString id = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
    const QString etag = cache.colMiniatureEtags.at(k);
    if (getMiniatureIdOfPath(file).isEmpty() || !isValidCacheEntry(source, id, etag)) {
      continue;
    }
    xml::Element element = root.appendElement(kMiniature);
    element.setAttribute(kPath, source);
    element.setAttribute(kId, id);
    element.setAttribute(kEtag, etag);
  }
  platform::WriteResult result = reportFailure(platform::writeFileAtomically(path, document.toBytes(false)));
  if (result.ok) {
    core::gConfiguration.AppState.blnCacheModified = false;
  }
  return result;
}

void subTrimMiniaturesCache() {
  if (core::fnctFolderExists(getMiniaturesCacheFolder(), true) != core::ExistenceCode::Usable) {
    return;
  }
  // Measured once and then kept up to date: walking the folder again before each removal
  // gives the same answer, but costs a walk of every file per thumbnail deleted.
  const auto limit = static_cast<qint64>(core::gConfiguration.Other.MINATURE_CACHE_SIZE_MAX);
  qint64 size = getMiniaturesCacheSize();
  while (gMiniaturesCache.count() >= 2 && size > limit) {
    const QString file = gMiniaturesCache.colMiniatureFiles.at(1);
    const std::optional<platform::PathStatus> status = platform::statPathNoFollow(file);
    if (status && isMiniatureFile(file) && QFile::remove(file)) {
      size -= status->size;
    }
    gMiniaturesCache.removeFirst();
    core::gConfiguration.AppState.blnCacheModified = true;
  }
}

bool FindMiniatureInCache(const QString& sourcePath) {
  const QString* file = gMiniaturesCache.colMiniatureFiles.find(sourcePath);
  if (file == nullptr || !isMiniatureFile(*file)) {
    return false;
  }
  return gMiniaturesCache.colMiniatureEtags.value(sourcePath) == core::getFileEtag(sourcePath);
}

bool FindMiniatureInCache(const QString& sourcePath, const QString& currentEtag) {
  const QString* file = gMiniaturesCache.colMiniatureFiles.find(sourcePath);
  if (file == nullptr || !isMiniatureFile(*file)) {
    return false;
  }
  return gMiniaturesCache.colMiniatureEtags.value(sourcePath) == currentEtag;
}

bool isFailedMiniatureSource(const QString& sourcePath, const QString& etag) {
  const QString* failed = gMiniaturesCache.colFailedSourceEtags.find(sourcePath);
  // "-1" is the tag of what is no readable regular file: nothing to tell two states apart.
  return failed != nullptr && etag != QStringLiteral("-1") && *failed == etag;
}

void subAddFailedMiniatureSource(const QString& sourcePath, const QString& etag) {
  core::KeyedList<QString>& failed = gMiniaturesCache.colFailedSourceEtags;
  if (sourcePath.isEmpty() || etag == QStringLiteral("-1")) {
    return;
  }
  failed.remove(sourcePath);
  if (failed.count() >= kMaxFailedMiniatureSources) {
    const qsizetype excess = failed.count() - kMaxFailedMiniatureSources + 1;
    qsizetype position = 0;
    failed.removeIf([&](const auto&) { return ++position <= excess; });
  }
  failed.add(etag, sourcePath);
}

void subAddMiniatureInCache(const QString& sourcePath, const QString& thumbnailPath, const QString& etag) {
  gMiniaturesCache.colFailedSourceEtags.remove(sourcePath);
  // A replaced thumbnail would otherwise stay in the folder, counted but never found.
  if (const QString* former = gMiniaturesCache.colMiniatureFiles.find(sourcePath)) {
    if (*former != thumbnailPath) {
      deleteMiniatureFile(*former);
    }
    gMiniaturesCache.remove(sourcePath);
  }
  while (gMiniaturesCache.count() >= kMaxMiniaturesCacheEntries) {
    if (gMiniaturesCache.colMiniatureFiles.at(1) != thumbnailPath) {
      deleteMiniatureFile(gMiniaturesCache.colMiniatureFiles.at(1));
    }
    gMiniaturesCache.removeFirst();
  }
  gMiniaturesCache.add(sourcePath, thumbnailPath, etag);
  core::gConfiguration.AppState.blnCacheModified = true;
}

}  // namespace orv::content
