#pragma once

#include "platform/xml.h"

#include <QString>

// The two generated XSLT 1.0 stylesheets that sort the items of a page section and wrap
// them in groups. Both read a document whose element is one `section` and produce a
// document whose element is a new `section`.
namespace orv::content {

// The five language texts that the group stylesheet writes as group names.
struct XslGroupTexts {
  QString nullCapacity;     // HTLM/GROUP/NULL_CAPACITY
  QString smallCapacity;    // HTLM/GROUP/SMALL_CAPACITY
  QString averageCapacity;  // HTLM/GROUP/AVERAGE_CAPACITY
  QString bigCapacity;      // HTLM/GROUP/BIG_CAPACITY
  QString files;            // HTLM/GROUP/FILES

  // The texts of the loaded language record.
  static XslGroupTexts fromLanguage();
};

// The stylesheet texts, as they are loaded. Any language text is accepted: it is escaped
// for the place it takes, so a translation holding "&", "<", a quote or a brace still
// gives a stylesheet that loads.
QString getXslSortStylesheetText();
QString getXslGroupStylesheetText(const XslGroupTexts& texts);

// The texts loaded into documents (a null document when a text does not load). The group
// stylesheet reads the current language record, so it is built again when the language
// changes.
xml::Document getXslSortStylesheet();
xml::Document getXslGroupStylesheet();
xml::Document getXslGroupStylesheet(const XslGroupTexts& texts);

// The text lower-cased as the stylesheets lower-case it: only A to Z and the 30 accented
// capitals of their letter lists change, everything else stays as it is. Code that orders
// items as the sort stylesheet would uses it.
QString fnctStylesheetLowerCase(const QString& text);

// Applies a sort or group stylesheet to a section document and returns the new section
// document, or a null document when the transform fails. The group stylesheet writes its
// group tags as unescaped text, so the result is read back as it would be once written
// out: only then do the groups become elements.
xml::Document fnctTransformSection(const xml::Stylesheet& stylesheet, const xml::Document& section);

}  // namespace orv::content
