#include "editors/exclusion_patterns.h"

#include "core/file_utils.h"
#include "core/local_paths.h"
#include "editors/share_editing.h"

namespace orv::editors {
namespace {

constexpr QChar kQuote = QLatin1Char('"');
constexpr QChar kSeparator = QLatin1Char('/');

QString quoted(const QString& text) {
  return kQuote + text + kQuote;
}

// One path with the placeholder put in, keeping its trailing "/".
QString pathWithPlaceholder(const QString& path) {
  const QString shown = fnctShownLocalPath(path);
  return path.endsWith(kSeparator) && !shown.endsWith(kSeparator) ? shown + kSeparator : shown;
}

}  // namespace

bool isExactPattern(const QString& pattern) {
  return pattern.size() >= 3 && pattern.startsWith(kQuote) && pattern.endsWith(kQuote);
}

QString fnctPatternWithPlaceholder(const QString& text) {
  if (isExactPattern(text)) {
    return quoted(pathWithPlaceholder(text.mid(1, text.size() - 2)));
  }
  return pathWithPlaceholder(text);
}

std::optional<QString> fnctTypedExclusion(const QString& typed, bool exactPath) {
  const QString text = typed.trimmed();
  if (text.isEmpty()) {
    return std::nullopt;
  }
  const QString pattern = fnctPatternWithPlaceholder(text);
  return exactPath && !isExactPattern(pattern) ? quoted(pattern) : pattern;
}

std::optional<QString> fnctEditedExclusion(const QString& edited) {
  const QString text = edited.trimmed();
  if (text.isEmpty()) {
    return std::nullopt;
  }
  return text;
}

QString fnctDroppedExclusion(const QString& localPath) {
  QString path = localPath;
  if (!path.endsWith(kSeparator) && core::fnctFolderExists(path, false) == core::ExistenceCode::Usable) {
    path += kSeparator;
  }
  return quoted(pathWithPlaceholder(path));
}

QStringList fnctDroppedExclusions(const QList<QUrl>& urls) {
  QStringList exclusions;
  for (const QUrl& url : urls) {
    if (const std::optional<QString> path = fnctDroppedLocalPath(url)) {
      exclusions.append(fnctDroppedExclusion(*path));
    }
  }
  return exclusions;
}

std::optional<QString> fnctDroppedExclusionText(const QList<QUrl>& urls) {
  if (urls.isEmpty()) {
    return std::nullopt;
  }
  const std::optional<QString> path = fnctDroppedLocalPath(urls.first());
  if (!path) {
    return std::nullopt;
  }
  return fnctShownLocalPath(*path);
}

}  // namespace orv::editors
