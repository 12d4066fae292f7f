#include "core/resource_icons.h"

#include "core/configuration.h"
#include "core/lookup_cache.h"

#include <QDir>
#include <QFileInfo>
#include <QStringBuilder>

#include <optional>

namespace orv::core {
namespace {

const QString kShowSmall = QStringLiteral("filetype_16_show_");

bool isFile(const QString& path) {
  return QFileInfo(path).isFile();
}

// The rest name of the set that serves an extension, searched in the lookup text.
std::optional<QString> searchIconSet(const QString& iconsList, const QString& extension) {
  const QString needle = QLatin1Char('.') + extension + QLatin1Char(':');
  const qsizetype found = iconsList.indexOf(needle, 0, Qt::CaseInsensitive);
  if (found < 0) {
    return std::nullopt;
  }
  const qsizetype start = found + needle.size();
  const qsizetype end = iconsList.indexOf(QLatin1Char(';'), start);
  return iconsList.mid(start, end < 0 ? -1 : end - start);
}

}  // namespace

QString getResourcesIconsList(const QString& resourcesFolder) {
  const QDir folder(resourcesFolder);
  const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
  QString list;
  for (const QString& name : names) {
    if (!name.startsWith(kShowSmall, Qt::CaseInsensitive) || name.size() <= kShowSmall.size()) {
      continue;
    }
    const QString rest = name.mid(kShowSmall.size());
    const qsizetype dot = rest.lastIndexOf(QLatin1Char('.'));
    // A name without "." names no image type; skipping it keeps the rest of the list.
    if (dot < 0 || dot == rest.size() - 1) {
      continue;
    }
    if (!isFile(folder.filePath(QStringLiteral("filetype_16_hide_") + rest)) ||
        !isFile(folder.filePath(QStringLiteral("filetype_48_show_") + rest)) ||
        !isFile(folder.filePath(QStringLiteral("filetype_48_hide_") + rest))) {
      continue;
    }
    const QString extensions = rest.left(dot);
    // An empty part ("a-.png") is no extension; kept, it would answer for files without one.
    for (const QString& extension : extensions.split(QLatin1Char('-'), Qt::SkipEmptyParts)) {
      list += QLatin1Char('.') + extension + QLatin1Char(':') + rest + QLatin1Char(';');
    }
  }
  return list;
}

QString getResourcesIconsList() {
  return getResourcesIconsList(gAppFolder + QStringLiteral("/resources"));
}

QString getFileTypeIconName(const QString& iconsList, const QString& extension, int visibility, int size,
                            const QString& defaultName) {
  static LookupCache<1, std::optional<QString>> cache;
  const std::optional<QString> rest =
      cache.find({&iconsList}, extension, [&iconsList](const QString& key) { return searchIconSet(iconsList, key); });
  if (!rest) {
    return defaultName;
  }
  const QString word = visibility == 0 ? QStringLiteral("show") : visibility == 1 ? QStringLiteral("hide") : QString();
  // Built in one allocation: this runs for every file of a folder page.
  return QStringLiteral("filetype_") % QString::number(size) % QLatin1Char('_') % word % QLatin1Char('_') % *rest;
}

QString getFileTypeIconName(const QString& extension, int visibility, int size, const QString& defaultName) {
  return getFileTypeIconName(gConfiguration.ShellExtension.strResourcesIconsList, extension, visibility, size,
                             defaultName);
}

}  // namespace orv::core
