#include "core/local_paths.h"

#include "core/language.h"

namespace orv::core {

QString getFileExtension(const QString& fileName) {
  return fileName.sliced(fileName.lastIndexOf(QLatin1Char('.')) + 1);
}

QString fnctRemoveFileExtension(const QString& name, bool blnClassIdOnly) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot <= 0) {
    return name;
  }
  if (!blnClassIdOnly) {
    return name.first(dot);
  }
  constexpr qsizetype kClassIdLength = 38;
  const QStringView extension = QStringView(name).sliced(dot + 1);
  const bool isClassId = extension.size() == kClassIdLength && extension.startsWith(QLatin1Char('{')) &&
                         extension.endsWith(QLatin1Char('}'));
  return isClassId ? name.first(dot) : name;
}

QString getDefaultShareName(const QString& folderPath) {
  const QString path = fnctRemoveTrailingBackslash(folderPath);
  const QString name = path.sliced(path.lastIndexOf(QLatin1Char('/')) + 1);
  return name.isEmpty() ? gLanguage.text(u"SHARES_FORM/LISTVIEW/DRIVE") : name;
}

QString fnctRemoveTrailingBackslash(const QString& path) {
  if (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
    return path.first(path.size() - 1);
  }
  return path;
}

bool isFileDirectlyInFolder(const QString& filePath, const QString& folderPath) {
  const qsizetype lastSlash = filePath.lastIndexOf(QLatin1Char('/'));
  if (filePath.size() < 2 || folderPath.size() < 2 || lastSlash < 0) {
    return false;
  }
  const QString folder = fnctRemoveTrailingBackslash(folderPath) + QLatin1Char('/');
  return QStringView(filePath).first(lastSlash + 1).compare(folder, Qt::CaseInsensitive) == 0;
}

}  // namespace orv::core
