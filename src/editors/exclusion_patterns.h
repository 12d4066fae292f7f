#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The patterns of the local path exclusions category. A pattern enclosed in double quotes
// (at least 3 characters) names one path and everything below it; any other pattern refuses
// every path that contains it (server/matching.h). "{folder:app}" stands for the
// application folder, as in the shares editor.
namespace orv::editors {

// True for the exact form: at least 3 characters, a double quote at each end.
bool isExactPattern(const QString& pattern);

// The text with the application folder written as "{folder:app}" where it opens a path
// (the folder itself or something inside it, compared letter for letter as this file
// system does); a trailing "/" stays, and inside double quotes the path is read alike.
QString fnctPatternWithPlaceholder(const QString& text);

// What Add makes of the typed text: blanks around it dropped, the application folder
// replaced, and for an exact path the whole put in double quotes, unless the text is
// quoted already (it then acts as an exact path in either form). Nothing for a text that
// is empty once trimmed.
std::optional<QString> fnctTypedExclusion(const QString& typed, bool exactPath);

// What an edit in place makes of the new text: blanks around it dropped, otherwise kept as
// typed; nothing for a text that is empty once trimmed (the item keeps its old text).
std::optional<QString> fnctEditedExclusion(const QString& edited);

// The exclusion of a dropped file or folder: the application folder replaced, a "/" after
// a folder that can be entered, the whole in double quotes, so that the folder and every
// file and folder below it are refused.
QString fnctDroppedExclusion(const QString& localPath);

// The exclusions of a drop on the list, in the order of the drop: one per local file
// address; other addresses are passed over.
QStringList fnctDroppedExclusions(const QList<QUrl>& urls);

// A drop on the text box: the first address's path, application folder replaced, without
// quotes and without a trailing "/"; nothing when the first address is no local path.
std::optional<QString> fnctDroppedExclusionText(const QList<QUrl>& urls);

}  // namespace orv::editors
