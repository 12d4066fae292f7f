#include "platform/xml.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::xml::Document;
using orv::xml::Stylesheet;

Stylesheet stylesheetOf(const char* templates) {
  const QByteArray text = QByteArray(
                              "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                              "<xsl:output method=\"xml\" encoding=\"UTF-8\"/>") +
                          templates + "</xsl:stylesheet>";
  return Stylesheet::fromDocument(Document::fromBytes(text));
}

constexpr const char* kInput =
    "<section type=\"t\"><item><name>a &amp; b</name></item><item><name>&lt;c&gt;</name></item>"
    "<item><name>d&#13;e</name></item></section>";

// Group tags written as text around copied items, as the group stylesheet writes them:
// the read-back tree must be what writing the result out and reading it back gives.
TEST(XmlReadBack, UnescapedTextBecomesTheMarkupItSpells) {
  struct Case {
    const char* what;
    const char* templates;
    bool copiesItems = true;
  };
  const Case cases[] = {
      {"one group per item, named from the item's text",
       "<xsl:template match=\"/\"><section><xsl:copy-of select=\"section/@*\"/>"
       "<xsl:for-each select=\"section/item\">"
       "<xsl:text disable-output-escaping=\"yes\">&lt;group name=\"</xsl:text><xsl:value-of select=\"name\"/>"
       "<xsl:text disable-output-escaping=\"yes\">\"&gt;</xsl:text><xsl:copy-of select=\".\"/>"
       "<xsl:text disable-output-escaping=\"yes\">&lt;/group&gt;</xsl:text>"
       "</xsl:for-each></section></xsl:template>"},
      {"plain text between groups and a literal element",
       "<xsl:template match=\"/\"><section>x &amp; y<xsl:text disable-output-escaping=\"yes\">&lt;g&gt;</xsl:text>"
       "<lit a=\"1\">z</lit><xsl:copy-of select=\"section/item\"/>"
       "<xsl:text disable-output-escaping=\"yes\">&lt;/g&gt;&lt;empty/&gt;</xsl:text></section></xsl:template>"},
      {"no unescaped text at all",
       "<xsl:template match=\"/\"><section><group><xsl:copy-of select=\"section/item\"/></group></section>"
       "</xsl:template>"},
      {"unescaped text deeper down",
       "<xsl:template match=\"/\"><section><group><xsl:text disable-output-escaping=\"yes\">&lt;b&gt;1&lt;/b&gt;"
       "</xsl:text></group></section></xsl:template>",
       false},
  };
  const Document input = Document::fromBytes(kInput);
  ASSERT_FALSE(input.isNull());
  for (const Case& c : cases) {
    const Stylesheet stylesheet = stylesheetOf(c.templates);
    ASSERT_FALSE(stylesheet.isNull()) << c.what;
    const Document written = Document::fromBytes(stylesheet.transformToBytes(input));
    const Document readBack = stylesheet.transformReadBack(input);
    ASSERT_FALSE(written.isNull()) << c.what;
    ASSERT_FALSE(readBack.isNull()) << c.what;
    EXPECT_EQ(readBack.toBytes(), written.toBytes()) << c.what;
    if (c.copiesItems) {
      EXPECT_TRUE(readBack.toBytes().contains("d&#13;e")) << c.what << readBack.toBytes().constData();
    }
  }
}

TEST(XmlReadBack, UnescapedTextThatIsNotWellFormedGivesNothing) {
  // A quote in a name ends the attribute that the text spells: written out, the result
  // would not read back either.
  const Stylesheet quoted = stylesheetOf(
      "<xsl:template match=\"/\"><section><xsl:text disable-output-escaping=\"yes\">&lt;g name=\"</xsl:text>"
      "<xsl:value-of select=\"'a&quot;b'\"/><xsl:text disable-output-escaping=\"yes\">\"&gt;&lt;/g&gt;</xsl:text>"
      "</section></xsl:template>");
  ASSERT_FALSE(quoted.isNull());
  EXPECT_TRUE(Document::fromBytes(quoted.transformToBytes(Document::fromBytes(kInput))).isNull());
  EXPECT_TRUE(quoted.transformReadBack(Document::fromBytes(kInput)).isNull());

  const Stylesheet stylesheet = stylesheetOf(
      "<xsl:template match=\"/\"><section><xsl:text disable-output-escaping=\"yes\">&lt;open&gt;</xsl:text>"
      "<xsl:copy-of select=\"section/item\"/></section></xsl:template>");
  QString error;
  EXPECT_TRUE(stylesheet.transformReadBack(Document::fromBytes(kInput), {}, &error).isNull());
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(stylesheet.transformReadBack(Document::null()).isNull());
}

}  // namespace
