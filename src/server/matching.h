#pragma once

#include <QString>
#include <QStringList>

// The keyword test on a client's User-Agent and the exclusion test on local paths.
namespace orv::server {

// True when an element of the keyword list occurs in the text, ignoring case; the elements
// are tried in order. Empty elements are skipped: they are what splitting a ";"-list leaves
// after its last ";" (or before a leading one), and an empty keyword would be found in every
// text. A list of one keyword without its empty tail ({"bot"}) tries that keyword.
bool isTextContainingListItem(const QStringList& list, const QString& text);

// True when the local path is excluded by the pattern, ignoring case. "{folder:app}" in the
// pattern stands for the application folder. A pattern of at least 3 characters enclosed in
// double quotes names one path: the path must equal it without the quotes, or lie below it
// (a folder's exclusion covers every file and folder inside it, at any depth; "/pub/doc"
// does not cover "/pub/docs"). Any other pattern must occur somewhere in the path; an empty
// one excludes nothing. The path is compared in its plain form ("//", "." and ".." resolved as
// text, a trailing "/" ignored for the exact form), so "/pub/docs/./" cannot slip past an
// exclusion of "/pub/docs". Symbolic links are not followed: the caller passes the path it
// serves.
bool isPathMatchingPattern(const QString& path, const QString& pattern);

}  // namespace orv::server
