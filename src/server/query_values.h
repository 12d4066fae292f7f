#pragma once

#include <QString>

// Named values of query texts, form bodies and cookies, and the checks of the display options
// that a folder page's query asks for. Every comparison ignores case.
namespace orv::server {

// The value written after key and "=" in text, up to the first terminator after it (or to the
// end); the empty text when key followed by "=" does not start a parameter of the text. A
// parameter starts at the beginning of the text, after its leading "?" or after the
// terminator, blanks skipped: with the terminator "&", "user" is found in "?user=bob" and
// "a=1&user=bob"; with ";", in "x=1; user=bob"; never inside "otheruser=eve", so another
// application's cookie cannot stand in for ours. A key given twice yields its first value. The value is returned
// as it stands: nothing is decoded, and a NUL or any other character stays in it. An empty
// key, or an empty terminator, yields the empty text.
QString getParamValue(const QString& text, const QString& key, const QString& terminator);

// "icon" and "list"; "mini" only while ALLOW_MINIATURES is set.
bool isValidDisplayMode(const QString& value);

// "name" and "date"; "size" and "type" only without the no-size-and-type flag; "artist" and
// "album" only with the MP3-sort flag.
bool isValidSortValue(const QString& value, bool noSizeAndType, bool mp3Sort);

// "ascending" and "descending".
bool isValidSortOrder(const QString& value);

// "true"; "false" only when the sort value is neither "artist" nor "album".
bool isValidShowGroup(const QString& value, const QString& sortValue);

// "folder", "other", "sound", "image" and "video".
bool isValidItemType(const QString& value);

}  // namespace orv::server
