#pragma once

#include "platform/xml.h"

#include <QByteArray>
#include <QString>

// The server's side of PAGE_BUILD_METHOD: with 1 the browser applies the page stylesheet that
// a page's xml-stylesheet instruction names; with 2 the server applies it and sends HTML.
// The page stylesheet is the file XSL_FILE of the resources folder, loaded into
// objXslTransformDocument at start-up and again when the html settings are saved, and
// parsed once for every document loaded, however many pages it transforms.
namespace orv::content {

// The page stylesheet document. With PAGE_BUILD_METHOD 2, the file XSL_FILE of the resources
// folder of the application folder as loaded: a null document when the file is missing or
// not XML, which transforms nothing. With any other method an empty document.
xml::Document getXslStylesheetDocument();

// The three stylesheet documents of the application state, in this order: the generated
// sort and group stylesheets and the page stylesheet.
void subBuildXslStylesheetDocuments();

// Loads the page stylesheet again (the html settings were saved): the next page is
// transformed with the file as it is now. A file changed in between is not seen before.
void subReloadXslStylesheetDocument();

// The page text transformed by the page stylesheet of the application state, as text
// (written in UTF-8 whatever encoding the stylesheet's output names, since the page is sent
// as UTF-8). Empty when the text is not XML, no stylesheet is loaded or the file is no
// stylesheet, or the transform fails.
QString fnctTransformPageText(const QByteArray& pageText);
// The same output as the bytes of the transform, not yet read as text.
QByteArray fnctTransformPageBytes(const QByteArray& pageText);
// The same for a page already built as a tree: no text written and read back.
QByteArray fnctTransformPageDocument(const xml::Document& page);

}  // namespace orv::content
