#include "editors/html_settings.h"

#include "core/file_utils.h"
#include "editors/config_numbers.h"
#include "platform/xml.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace orv::editors {

std::optional<int> fnctCheckMiniatureDimension(const QString& text) {
  const std::optional<int> value = fnctReadLong(text);
  if (!value || *value < kSmallestMiniatureDimension || *value > kLargestMiniatureDimension) {
    return std::nullopt;
  }
  return value;
}

QString fnctCheckedMiniatureDimensionText(const QString& text, const core::tConfHtmlDisplay& html) {
  return fnctCheckMiniatureDimension(text) ? text : QString::number(html.MINATURE_DIMENSION);
}

QList<XslFileItem> fnctXslFiles(const QString& resourcesFolder) {
  QStringList names = QDir(resourcesFolder).entryList(QDir::Files | QDir::Hidden);
  std::sort(names.begin(), names.end(),
            [](const QString& left, const QString& right) { return left.compare(right, Qt::CaseInsensitive) < 0; });
  QList<XslFileItem> items;
  for (const QString& name : names) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || name.mid(dot + 1).compare(QLatin1String("xsl"), Qt::CaseInsensitive) != 0) {
      continue;
    }
    items.append({name, name.left(dot)});
  }
  return items;
}

int fnctMarkedXslIndex(const QList<XslFileItem>& items, const QString& xslFile) {
  for (qsizetype index = 0; index < items.size(); ++index) {
    if (items[index].key.compare(xslFile, Qt::CaseInsensitive) == 0) {
      return static_cast<int>(index + 1);
    }
  }
  return 0;
}

bool isXslClickMarking(const QString& clickedKey, const QString& xslFile, int markedIndex, bool saveEnabled) {
  if (saveEnabled) {
    return true;
  }
  return clickedKey.compare(xslFile, Qt::CaseInsensitive) != 0 || markedIndex == 0;
}

QString fnctXslFileProblem(const QString& resourcesFolder, const QString& fileName) {
  const QString path = QDir(resourcesFolder).filePath(fileName);
  if (!QFileInfo(path).isFile()) {
    return QStringLiteral("the file is missing");
  }
  QString error;
  const xml::Document document = xml::Document::fromFile(path, &error);
  if (document.isNull()) {
    return error.isEmpty() ? QStringLiteral("the file is not XML") : error;
  }
  const xml::Stylesheet stylesheet = xml::Stylesheet::fromDocument(document, &error);
  if (stylesheet.isNull()) {
    return error.isEmpty() ? QStringLiteral("the file is not an XSLT stylesheet") : error;
  }
  return {};
}

QString fnctXslRefusedText(const QString& fileName, const QString& problem) {
  return QStringLiteral("The page stylesheet \"") + fileName + QStringLiteral("\" cannot be used: ") +
         problem.trimmed() + QStringLiteral(". The pages keep the stylesheet they have.");
}

HtmlSaveEffects subStoreHtml(const HtmlFields& fields, core::tConfHtmlDisplay& html) {
  html.VIEW_HIDDEN_DISK_ITEMS = fields.viewHiddenDiskItems;
  html.ALLOW_MINIATURES = fields.allowMiniatures;
  html.ALLOW_MP3_TAGS = fields.allowMp3Tags;
  html.HIDE_EXTENSIONS = fields.hideExtensions;
  if (const std::optional<int> dimension = fnctCheckMiniatureDimension(fields.miniatureDimension)) {
    html.MINATURE_DIMENSION = *dimension;
  }
  HtmlSaveEffects effects;
  if (!fields.markedXslKey.isEmpty() && fields.markedXslKey.compare(html.XSL_FILE, Qt::CaseInsensitive) != 0) {
    html.XSL_FILE = fields.markedXslKey;
    effects.stylesheetChanged = true;
  }
  if (fields.pageBuildMethod != html.PAGE_BUILD_METHOD) {
    html.PAGE_BUILD_METHOD = fields.pageBuildMethod;
    effects.methodChanged = true;
  }
  return effects;
}

}  // namespace orv::editors
