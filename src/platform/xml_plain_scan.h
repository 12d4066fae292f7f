#pragma once

#include "platform/xml_stream.h"

#include <QtGlobal>

namespace orv::xml {

enum class PlainScan {
  Complete,  // a well-formed document, read to its end
  Cut,       // the file ends inside the document element: what it told is all there is
  Outside,   // something outside the plain form, or a fault: the file is for libxml2
};

// Reads the open file (of size bytes, from its start) through the handler while it is a
// document in the plain form the program writes: an optional XML declaration of version
// 1.0 in UTF-8; then only elements with ASCII names and quoted attributes, white space
// between them, XML's five named entities in the values, and UTF-8 that XML allows. After
// Outside the handler may have been told part of the file; libxml2 reads it all again and
// tells what a fault is. After Cut the handler has been told every element before the cut,
// as libxml2 would, but for a last start tag cut after its name, which is no sound element.
PlainScan scanPlainElements(int handle, qint64 size, StreamHandler& handler);

}  // namespace orv::xml
