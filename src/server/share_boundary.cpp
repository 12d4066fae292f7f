#include "server/share_boundary.h"

#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/ignoring_case.h"
#include "platform/file_system.h"
#include "server/login_cookie.h"

#include <QHash>
#include <QStringBuilder>

#include <algorithm>
#include <array>

namespace orv::server {
namespace {

constexpr QChar kSeparator = QLatin1Char('/');

bool isSameOrBelow(const QString& path, const QString& folder) {
  if (folder == QStringLiteral("/")) {
    return path.startsWith(kSeparator);
  }
  return path == folder || (path.startsWith(folder) && path.at(folder.size()) == kSeparator);
}

bool isSameOrBelowIgnoringCase(QStringView path, QStringView folder) {
  return core::equalsIgnoringCase(path, folder) ||
         (core::startsWithIgnoringCase(path, folder) && path.size() > folder.size() &&
          path.at(folder.size()) == kSeparator);
}

// Folders resolved since the server started, by the text the configuration gives them.
QHash<QString, ResolvedFolder>& resolvedFolders() {
  static QHash<QString, ResolvedFolder> folders;
  return folders;
}

// Editing shares while the server runs adds texts; a bound keeps stale ones from piling up.
constexpr qsizetype kMaxResolvedFolders = 256;

// The next separator from a place, or -1. Segments are short: a plain scan costs less than
// the general search a view's indexOf goes through.
qsizetype nextSeparator(QStringView text, qsizetype from) {
  const auto found = std::find(text.begin() + from, text.end(), kSeparator);
  return found == text.end() ? -1 : found - text.begin();
}

// The names below the folder, when they are names joined by single "/" and none is "." or
// "..": what a path must be for its resolved form to be the folder's followed by them.
bool isPlainRelativePath(QStringView relative) {
  if (relative.isEmpty()) {
    return false;
  }
  qsizetype start = 0;
  for (;;) {
    const qsizetype end = nextSeparator(relative, start);
    const QStringView segment = relative.sliced(start, (end < 0 ? relative.size() : end) - start);
    if (segment.isEmpty() || segment == QLatin1StringView(".") || segment == QLatin1StringView("..") ||
        segment.contains(QChar(u'\0'))) {
      return false;
    }
    if (end < 0) {
      return true;
    }
    start = end + 1;
  }
}

}  // namespace

ResolvedFolder getResolvedFolder(const QString& folder) {
  if (folder.isEmpty()) {
    return {};
  }
  QHash<QString, ResolvedFolder>& folders = resolvedFolders();
  const auto found = folders.constFind(folder);
  if (found != folders.constEnd()) {
    return *found;
  }
  ResolvedFolder resolved;
  resolved.handle = platform::openFolderHandle(folder);
  if (resolved.handle == platform::kInvalidFileHandle) {
    return {};
  }
  // The path is read back from the handle, so the two name the same folder even when the
  // folder is replaced between the two looks.
  resolved.path = platform::canonicalPath(QStringLiteral("/proc/self/fd/") + QString::number(resolved.handle));
  if (resolved.path.isEmpty()) {
    platform::closeFile(resolved.handle);
    return {};
  }
  if (folders.size() >= kMaxResolvedFolders) {
    forgetResolvedFolders();
  }
  folders.insert(folder, resolved);
  return resolved;
}

void forgetResolvedFolders() {
  QHash<QString, ResolvedFolder>& folders = resolvedFolders();
  for (const ResolvedFolder& folder : std::as_const(folders)) {
    platform::closeFile(folder.handle);
  }
  folders.clear();
}

std::optional<PlainFile> openPlainFileInside(const QString& localPath, const QString& folder) {
  const qsizetype folderLength = folder.endsWith(kSeparator) ? folder.size() - 1 : folder.size();
  if (folder.isEmpty() || localPath.size() <= folderLength + 1 || localPath.at(folderLength) != kSeparator ||
      !QStringView(localPath).startsWith(QStringView(folder).left(folderLength))) {
    return std::nullopt;
  }
  // The full road finds nothing at a path holding "//" anywhere, the folder's part included.
  if (core::holdsDoubleSeparator(QStringView(localPath).left(folderLength + 1))) {
    return std::nullopt;
  }
  const QStringView relative = QStringView(localPath).sliced(folderLength + 1);
  if (!isPlainRelativePath(relative)) {
    return std::nullopt;
  }
  const ResolvedFolder resolvedFolder = getResolvedFolder(folder);
  if (resolvedFolder.handle == platform::kInvalidFileHandle) {
    return std::nullopt;
  }
  auto file = std::make_shared<platform::OpenedFile>();
  if (platform::openRegularFileBeneath(resolvedFolder.handle, platform::nativePath(relative), *file) !=
      platform::BeneathOpenResult::Opened) {
    return std::nullopt;
  }
  PlainFile plain;
  const QStringView resolvedBase =
      resolvedFolder.path == QStringLiteral("/") ? QStringView() : QStringView(resolvedFolder.path);
  plain.resolvedPath = resolvedBase % kSeparator % relative;
  if (isApplicationOwnFile(plain.resolvedPath)) {
    return std::nullopt;
  }
  plain.file = std::move(file);
  return plain;
}

bool hasDotSegment(QStringView text) {
  qsizetype start = 0;
  for (;;) {
    const qsizetype end = nextSeparator(text, start);
    const QStringView segment = text.sliced(start, (end < 0 ? text.size() : end) - start);
    if (segment == QLatin1StringView(".") || segment == QLatin1StringView("..")) {
      return true;
    }
    if (end < 0) {
      return false;
    }
    start = end + 1;
  }
}

bool hasHiddenSegment(QStringView text) {
  qsizetype start = 0;
  for (;;) {
    if (start < text.size() && text[start] == QLatin1Char('.')) {
      return true;
    }
    const qsizetype end = nextSeparator(text, start);
    if (end < 0) {
      return false;
    }
    start = end + 1;
  }
}

QString getResolvedAccessPath(const QString& path) {
  QString rest;
  QString existing = path;
  while (!existing.isEmpty()) {
    const QString resolved = platform::canonicalPath(existing);
    if (!resolved.isEmpty()) {
      return rest.isEmpty() ? resolved : (resolved.endsWith(kSeparator) ? resolved.chopped(1) : resolved) + rest;
    }
    const qsizetype slash = existing.lastIndexOf(kSeparator);
    if (slash < 0) {
      return {};
    }
    rest = existing.mid(slash) + rest;
    existing = slash == 0 ? QStringLiteral("/") : existing.left(slash);
  }
  return {};
}

bool isResolvedPathInFolder(const QString& resolvedPath, const QString& folder) {
  const QString resolvedFolder = getResolvedFolder(folder).path;
  return !resolvedPath.isEmpty() && !resolvedFolder.isEmpty() && isSameOrBelow(resolvedPath, resolvedFolder);
}

QString getResolvedPathInside(const QString& path, const QString& folder) {
  if (path.isEmpty() || folder.isEmpty()) {
    return {};
  }
  const QString resolvedFolder = getResolvedFolder(folder).path;
  if (resolvedFolder.isEmpty()) {
    return {};
  }
  const QString resolved = platform::canonicalPath(path);
  if (resolvedFolder.isEmpty() || resolved.isEmpty() || !isSameOrBelow(resolved, resolvedFolder)) {
    return {};
  }
  return resolved;
}

bool isApplicationOwnFile(const QString& resolvedPath) {
  const QString appFolder = getResolvedFolder(core::gAppFolder).path;
  if (appFolder.isEmpty() || resolvedPath.isEmpty()) {
    return false;
  }
  // Names are compared ignoring case, as everywhere else: refusing "Config.xml" as well
  // costs nothing.
  const QStringView path(resolvedPath);
  if (core::startsWithIgnoringCase(path, appFolder) &&
      isSameOrBelowIgnoringCase(path.sliced(appFolder.size()), QStringView(u"/cache"))) {
    return true;
  }
  const qsizetype slash = resolvedPath.lastIndexOf(kSeparator);
  if (!core::equalsIgnoringCase(QStringView(resolvedPath).left(slash), appFolder)) {
    return false;
  }
  const QStringView name = QStringView(resolvedPath).mid(slash + 1);
  const std::array<QLatin1StringView, 4> kOwnFiles = {
      QLatin1StringView("config.xml"), QLatin1StringView("uploaded.xml"), QLatin1StringView("history.xml"),
      QLatin1StringView(kLoginKeyFileName)};
  for (const QLatin1StringView ownFile : kOwnFiles) {
    // A saving writes "<name>.tmp-XXXXXX" beside the file before it renames it.
    if (core::startsWithIgnoringCase(name, ownFile)) {
      return true;
    }
  }
  return false;
}

}  // namespace orv::server
