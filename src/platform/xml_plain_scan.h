#pragma once

#include "platform/xml_stream.h"

#include <QtGlobal>

namespace orv::xml {

// Reads the open file (of size bytes, from its start) through the handler when the whole
// file is a well-formed document in the plain form the program writes: an optional XML
// declaration of version 1.0 in UTF-8; then only elements with ASCII names and quoted
// attributes, white space between them, XML's five named entities in the values, and UTF-8
// that XML allows. True when it was read to its end; false at the first thing outside that
// form or at a fault (the handler may have been told part of the file by then): the file
// is for libxml2, which reads it all and tells what a fault is.
bool scanPlainElements(int handle, qint64 size, StreamHandler& handler);

}  // namespace orv::xml
