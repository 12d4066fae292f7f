#pragma once

#include "core/configuration.h"

#include <QString>
#include <QStringList>

#include <optional>

// The rules of the HTML display category without a screen: the thumbnail size, the list
// of page stylesheets, the marking of one, and the check that a stylesheet loads.
namespace orv::editors {

// The thumbnail size in pixels, its largest side. Below 10 a thumbnail shows nothing; above
// 1024 one thumbnail would take more than 4 MB of memory while it is made (1024 x 1024
// pixels of 4 bytes) for an image no page shows larger than a screen's fraction.
inline constexpr int kSmallestMiniatureDimension = 10;
inline constexpr int kLargestMiniatureDimension = 1024;
std::optional<int> fnctCheckMiniatureDimension(const QString& text);
QString fnctCheckedMiniatureDimensionText(const QString& text, const core::tConfHtmlDisplay& html);

// One stylesheet of the resources folder as the list shows it.
struct XslFileItem {
  QString key;   // the file name with its extension
  QString text;  // the file name without its extension
};
// The stylesheets of the folder: files whose extension is "xsl" (case ignored) and whose
// name has more than the extension, sorted by name (case ignored) so the list does not
// follow the file system's order.
QList<XslFileItem> fnctXslFiles(const QString& resourcesFolder);
// The position (from 1) of XSL_FILE in the list, 0 when it names none.
int fnctMarkedXslIndex(const QList<XslFileItem>& items, const QString& xslFile);

// A click on a stylesheet marks it when it is not the stored one, or when Save is enabled
// already. A list where nothing is marked (the stored file is gone) takes any click, so
// another stylesheet can be chosen again.
bool isXslClickMarking(const QString& clickedKey, const QString& xslFile, int markedIndex, bool saveEnabled);

// Why the stylesheet file of the resources folder cannot render pages: empty when it reads
// as XML and parses as an XSLT stylesheet.
QString fnctXslFileProblem(const QString& resourcesFolder, const QString& fileName);
// The fixed English text that refuses a stylesheet at Save (the language files have none).
QString fnctXslRefusedText(const QString& fileName, const QString& problem);

// What the form's controls hold at Save.
struct HtmlFields {
  bool viewHiddenDiskItems = false;
  bool allowMiniatures = false;
  bool allowMp3Tags = false;
  bool hideExtensions = false;
  QString miniatureDimension;
  QString markedXslKey;  // empty when nothing is marked
  int pageBuildMethod = 2;
};

// What Save changes of the page stylesheet: the stylesheet and the method.
struct HtmlSaveEffects {
  bool stylesheetChanged = false;
  bool methodChanged = false;
};
// Stores the fields (a refused thumbnail size keeps the stored one).
HtmlSaveEffects subStoreHtml(const HtmlFields& fields, core::tConfHtmlDisplay& html);

}  // namespace orv::editors
