#include "server/share_boundary.h"

#include "core/configuration.h"
#include "core/ignoring_case.h"
#include "platform/file_system.h"
#include "server/login_cookie.h"

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

}  // namespace

bool hasDotSegment(const QString& path) {
  const QStringView text(path);
  qsizetype start = 0;
  for (;;) {
    const qsizetype end = text.indexOf(kSeparator, start);
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

bool hasHiddenSegment(const QString& path) {
  const QStringView text(path);
  qsizetype start = 0;
  for (;;) {
    if (start < text.size() && text[start] == QLatin1Char('.')) {
      return true;
    }
    const qsizetype end = text.indexOf(kSeparator, start);
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
  const QString resolvedFolder = folder.isEmpty() ? QString() : platform::canonicalPath(folder);
  return !resolvedPath.isEmpty() && !resolvedFolder.isEmpty() && isSameOrBelow(resolvedPath, resolvedFolder);
}

QString getResolvedPathInside(const QString& path, const QString& folder) {
  if (path.isEmpty() || folder.isEmpty()) {
    return {};
  }
  const QString resolvedFolder = platform::canonicalPath(folder);
  const QString resolved = platform::canonicalPath(path);
  if (resolvedFolder.isEmpty() || resolved.isEmpty() || !isSameOrBelow(resolved, resolvedFolder)) {
    return {};
  }
  return resolved;
}

bool isApplicationOwnFile(const QString& resolvedPath) {
  const QString appFolder = platform::canonicalPath(core::gAppFolder);
  if (appFolder.isEmpty() || resolvedPath.isEmpty()) {
    return false;
  }
  // Names are compared ignoring case, as everywhere else: refusing "Config.xml" as well
  // costs nothing.
  if (isSameOrBelowIgnoringCase(resolvedPath, appFolder + QStringLiteral("/cache"))) {
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
