#pragma once

#include <QByteArray>

struct _xmlDoc;
struct _xsltStylesheet;

namespace orv::xml {

// Writes the result of a transform whose output method is html with exactly the bytes
// libxslt's saver gives into a buffer without an encoder, for the trees the page stylesheet
// makes. Like the saver, it first names the output encoding in the head's meta element.
// Answers false, leaving out untouched, for any tree or output setting it is not sure to
// write the same: the caller then hands the result to libxslt.
bool writeHtmlResult(_xmlDoc* result, const _xsltStylesheet* style, QByteArray* out);

}  // namespace orv::xml
