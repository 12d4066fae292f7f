#pragma once

#include <QString>

// Standard Base64 (RFC 4648 alphabet, "=" padding) over the bytes of a text in the system
// code page (Windows-1252). The stored passwords of config.xml depend on that code page.
namespace orv::core {

class clsBase64 {
 public:
  // The Base64 form of the text, with CR LF after every 76 output characters but none after
  // the last line, as config.xml stores passwords. Characters the code page lacks become
  // "?". An empty text gives an empty result.
  QString fnctEncodeString(const QString& text) const;

  // The same Base64 form on one line, without any CR LF: the form for a header or a cookie
  // value, where a line break would end the header.
  QString fnctEncodeStringSingleLine(const QString& text) const;

  // Decodes leniently and never refuses: every CR LF pair and every "=" is removed first,
  // any other character outside the alphabet (a blank, a lone CR or LF) counts as "A", and
  // a lone last character is ignored. Fewer than two characters left give an empty text.
  QString fnctDecodeToString(const QString& text) const;
};

}  // namespace orv::core
