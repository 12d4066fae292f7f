#pragma once

#include "server/request_context.h"

#include <QDateTime>
#include <QString>

// The step of dispatch for every request whose target is a file: a path, a resource, a
// thumbnail (after subServeThumbnail) or a section or folder URL that names a file.
namespace orv::server {

class ServerEngine;

// The extension a file is served with: what follows the last "." of its name, "" when the
// name has none. A "." in a folder of the path does not count.
QString getResponseExtension(const QString& localPath);

// True when If-Modified-Since names a date (the request object holds a null one for an absent
// or unreadable header) and the file's last write, in UTC, is not later than it. Whole seconds
// are compared: an HTTP date has none of the fractions a file time may carry, so the
// Last-Modified the client got back must match the file it came from.
bool isNotModifiedSince(const QDateTime& ifModifiedSince, const QDateTime& lastWriteGmt);

// Answers the request for the file context.localPath on its connection:
// - not modified since If-Modified-Since: 304 with the head only, sent here;
// - otherwise the connection's file reader sends it (usrFileReader::SendData), whole or
//   from the first byte of the Range (206), deflated when the client accepts it and
//   ENABLE_COMPRESSION is on, one piece or block by block.
// Only resources and thumbnails keep their connection (when the client asks for it and the
// connection has served fewer than HTTP_KEEP_ALIVE_MAX requests); every other file closes it
// after its answer. Those other files are uploads for GET and POST: the reader records them
// in the history and the store of sent files, and shows them in the uploads window.
//
// The extension is context.responseExtension for a thumbnail, else getResponseExtension. The
// answer may close the connection inside the call.
void subServeFile(ServerEngine& server, RequestContext& context);

}  // namespace orv::server
