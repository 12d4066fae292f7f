#include "server/mime_types.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::server::getMimeType;

TEST(MimeTypes, GivesTheTypeOfEachExtensionInAnyCase) {
  struct Case {
    const char16_t* extension;
    const char* type;
  };
  const Case cases[] = {
      {u"jpg", "image/jpeg"},
      {u"JPG", "image/jpeg"},
      {u"Jpeg", "image/jpeg"},
      {u"jpe", "image/jpeg"},
      {u"png", "image/png"},
      {u"svg", "image/svg+xml"},
      {u"mp3", "audio/mpeg"},
      {u"MP3", "audio/mpeg"},
      {u"mpga", "audio/mpeg"},
      {u"pls", "audio/scpls"},
      {u"m3u", "audio/x-mpegurl"},
      {u"wav", "audio/x-wav"},
      {u"ogg", "application/ogg"},
      {u"avi", "video/x-msvideo"},
      {u"mov", "video/quicktime"},
      {u"html", "text/html"},
      {u"htm", "text/html"},
      {u"txt", "text/plain"},
      {u"css", "text/css"},
      {u"xml", "application/xml"},
      {u"xsl", "application/xml"},
      {u"xslt", "application/xslt+xml"},
      {u"xhtml", "application/xhtml+xml"},
      {u"pdf", "application/pdf"},
      {u"zip", "application/zip"},
      {u"t", "application/x-troff"},
      {u"silo", "model/mesh"},
      {u"ice", "x-conference/x-cooltalk"},
      {u"js", "text/javascript"},
      {u"xyz", "chemical/x-xyz"},
      // The default, and extensions a row maps to the same type.
      {u"abc", "application/octet-stream"},
      {u"", "application/octet-stream"},
      {u"exe", "application/octet-stream"},
      {u"dll", "application/octet-stream"},
      {u"bin", "application/octet-stream"},
      // Whole extensions only.
      {u"mp", "application/octet-stream"},
      {u"mp33", "application/octet-stream"},
      {u".mp3", "application/octet-stream"},
      {u"texinfos", "application/octet-stream"},
      {u"TEXINFO", "application/x-texinfo"},
      {u"a-very-long-extension-of-no-file", "application/octet-stream"},
      // Case folding beyond ASCII: the long s folds to "s", the Kelvin sign to "k".
      {u"\u017Fh", "application/x-sh"},
      {u"\u212Aar", "audio/midi"},
      {u"\u00E9xe", "application/octet-stream"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getMimeType(c.extension), QByteArray(c.type)) << QString::fromUtf16(c.extension).toStdString();
  }
}

}  // namespace
