#pragma once

#include <QString>

// Texts of local paths and file names. Local paths are absolute and use "/"; comparisons
// ignore case.
namespace orv::core {

// The part after the last ".": "archive.tar.gz" gives "gz", "name." gives "", and a name
// without "." is its own extension ("README" gives "README").
QString getFileExtension(const QString& fileName);

// The name without its extension. A name whose only "." is its first character, or that has
// none, is returned whole. With blnClassIdOnly the name is cut only when what follows its
// last "." is a 38-character class identifier in braces ("Archive.{12345678-1234-1234-1234-
// 123456789ABC}"); any other name is returned whole.
QString fnctRemoveFileExtension(const QString& name, bool blnClassIdOnly);

// The proposed name of a new share of the folder: its last name ("/home/amy/Music" gives
// "Music"). The root of the file system, which has no name, gives the language record's
// SHARES_FORM/LISTVIEW/DRIVE text.
QString getDefaultShareName(const QString& folderPath);

// The path without one trailing "/". The root "/" stays as it is: it has no shorter form.
QString fnctRemoveTrailingBackslash(const QString& path);

// True when the file lies directly in the folder (not in a folder below it), comparing
// ignoring case; both texts need at least two characters.
bool isFileDirectlyInFolder(const QString& filePath, const QString& folderPath);

}  // namespace orv::core
