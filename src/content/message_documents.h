#pragma once

#include "platform/xml.h"

#include <QString>

// The three small documents of the page senders: a message page (an error or notice
// shown with an HTTP status), the login page of form identification and the single item
// that answers "?item.xml=".
namespace orv::content {

// The item kinds of a single-item page.
enum class SingleItemType { DiskFolder = 0, VirtualFolder = 1, File = 2 };

// The two processing instructions, then `page` with `document` (type "message") and
// `message` holding `title` and `label`. No `server` element.
xml::Document fnctBuildMessageDocument(const QString& title, const QString& label, const QString& urlTagEncoded);

// The two processing instructions, then `page` with `server` (the texts of the login
// form), `document` (type "identification") and `identification` holding `title`.
xml::Document fnctBuildIdentificationDocument(const QString& title, const QString& urlTagEncoded);

// The XML declaration and one `item` in "list" mode for the file or folder at the local
// path (a trailing "/" is not part of its name): a file with its size, type and, for a
// sound file, always its MP3 data; a folder, or a virtual folder dated 1980/01/01
// 00:00:01. Any other type gives the declaration alone.
xml::Document fnctBuildSingleItemDocument(const QString& localPath, int itemType, const QString& urlTagEncoded);

}  // namespace orv::content
