// A transform written in UTF-8 whatever encoding the stylesheet's output names.

#include "platform/xml.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::xml::Document;
using orv::xml::Stylesheet;

Stylesheet stylesheetWithOutput(const QByteArray& output) {
  return Stylesheet::fromDocument(Document::fromBytes(
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">" + output +
      "<xsl:template match=\"/\"><p><xsl:value-of select=\"/t\"/></p></xsl:template>"
      "</xsl:stylesheet>"));
}

TEST(XmlTransformUtf8, EveryOutputEncodingComesOutAsUtf8) {
  const Document input = Document::fromBytes("<t>caf\xC3\xA9 \xE2\x82\xAC &lt;</t>");
  struct Case {
    QByteArray output;
    QByteArray expected;
  };
  const Case cases[] = {
      {"<xsl:output method=\"html\" encoding=\"UTF-8\"/>", "<p>caf\xC3\xA9 \xE2\x82\xAC &lt;</p>\n"},
      {"<xsl:output method=\"html\" encoding=\"ISO-8859-1\"/>", "<p>caf\xC3\xA9 \xE2\x82\xAC &lt;</p>\n"},
      {"<xsl:output method=\"html\"/>", "<p>caf\xC3\xA9 \xE2\x82\xAC &lt;</p>\n"},
      {"<xsl:output method=\"xml\" encoding=\"ISO-8859-1\" omit-xml-declaration=\"yes\"/>",
       "<p>caf\xC3\xA9 \xE2\x82\xAC &lt;</p>\n"},
      {"<xsl:output method=\"text\" encoding=\"windows-1252\"/>", "caf\xC3\xA9 \xE2\x82\xAC <"},
  };
  for (const Case& c : cases) {
    const Stylesheet style = stylesheetWithOutput(c.output);
    ASSERT_FALSE(style.isNull()) << c.output.constData();
    EXPECT_EQ(style.transformToUtf8(input), c.expected) << c.output.constData();
  }
}

TEST(XmlTransformUtf8, AFailedTransformGivesNothing) {
  QString error;
  const Stylesheet stops = Stylesheet::fromDocument(
      Document::fromBytes("<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                          "<xsl:template match=\"/\"><xsl:message terminate=\"yes\">stop</xsl:message>"
                          "</xsl:template></xsl:stylesheet>"));
  EXPECT_EQ(stops.transformToUtf8(Document::fromBytes("<t/>"), {}, &error), QByteArray());
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(Stylesheet().transformToUtf8(Document::fromBytes("<t/>")), QByteArray());
}

}  // namespace
