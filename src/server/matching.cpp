#include "server/matching.h"

#include "core/configuration.h"

#include <QDir>

namespace orv::server {
namespace {

constexpr QChar kQuote = QLatin1Char('"');
constexpr QChar kSeparator = QLatin1Char('/');

// The path with "//", "." and ".." resolved as text. A trailing "/" is kept, so that a pattern
// written with one ("/cache/") still finds the folder that the path names.
QString plainPath(const QString& path) {
  QString plain = QDir::cleanPath(path);
  if (path.endsWith(kSeparator) && !plain.endsWith(kSeparator)) {
    plain += kSeparator;
  }
  return plain;
}

bool isQuotedPattern(const QString& pattern) {
  return pattern.size() >= 3 && pattern.startsWith(kQuote) && pattern.endsWith(kQuote);
}

}  // namespace

bool isTextContainingListItem(const QStringList& list, const QString& text) {
  for (const QString& keyword : list) {
    if (!keyword.isEmpty() && text.contains(keyword, Qt::CaseInsensitive)) {
      return true;
    }
  }
  return false;
}

bool isPathMatchingPattern(const QString& path, const QString& pattern) {
  QString p = pattern;
  p.replace(QStringLiteral("{folder:app}"), core::gAppFolder, Qt::CaseInsensitive);
  if (isQuotedPattern(pattern)) {
    const QString named = QDir::cleanPath(p.mid(1, p.size() - 2));
    const QString plain = QDir::cleanPath(path);
    if (plain.compare(named, Qt::CaseInsensitive) == 0) {
      return true;
    }
    // Excluding a folder excludes what it holds. A file has nothing below it, so the rule
    // needs no look at the disk, and it keeps holding when a file is replaced by a folder.
    const QString below = named.endsWith(kSeparator) ? named : named + kSeparator;
    return plain.startsWith(below, Qt::CaseInsensitive);
  }
  return !p.isEmpty() && plainPath(path).contains(p, Qt::CaseInsensitive);
}

}  // namespace orv::server
