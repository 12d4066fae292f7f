#include "platform/xml.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using orv::xml::Document;
using orv::xml::Element;
using orv::xml::Stylesheet;

TEST(Xml, BuildsInCreationOrderAndEscapesTexts) {
  Document doc;
  doc.appendProcessingInstruction(QStringLiteral("xml-stylesheet"), QStringLiteral("type=\"text/xsl\" href=\"a.xsl\""));
  Element root = doc.createDocumentElement(QStringLiteral("page"));
  root.appendTextElement(QStringLiteral("name"), QStringLiteral("Tom & Jerry <1>"));
  root.appendElement(QStringLiteral("empty")).setAttribute(QStringLiteral("v"), QStringLiteral("a\"b"));
  const QByteArray bytes = doc.toBytes();
  EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<?xml-stylesheet")) << bytes.constData();
  EXPECT_TRUE(bytes.contains("<name>Tom &amp; Jerry &lt;1&gt;</name><empty v=\"a&quot;b\"/>")) << bytes.constData();
  const Document again = Document::fromBytes(bytes);
  ASSERT_FALSE(again.isNull());
  EXPECT_EQ(again.documentElement().firstChildElement(QStringLiteral("name")).text(),
            QStringLiteral("Tom & Jerry <1>"));
}

TEST(Xml, CharactersXmlCannotHoldBecomeReplacementCharacters) {
  Document doc;
  Element root = doc.createDocumentElement(QStringLiteral("r"));
  QString hostile = QStringLiteral("a");
  hostile += QChar(0x01);
  hostile += QChar(0xD800);  // lone surrogate
  hostile += QChar(0xFFFE);
  hostile += QStringLiteral("\tb");
  root.appendTextElement(QStringLiteral("t"), hostile);
  root.setAttribute(QStringLiteral("a"), hostile);
  const Document again = Document::fromBytes(doc.toBytes());
  ASSERT_FALSE(again.isNull()) << doc.toBytes().constData();
  const QString expected = QStringLiteral("a") + QChar(0xFFFD) + QChar(0xFFFD) + QChar(0xFFFD) + QStringLiteral("\tb");
  EXPECT_EQ(again.documentElement().firstChildElement().text(), expected);
}

// Texts reach libxml2 through one reused buffer: every kind of code unit, every length, a
// very long text and then a short one, in texts, attributes and instructions, come back
// as toXmlSafeText makes them.
TEST(Xml, EveryCodeUnitReachesTheTreeAsTheSafeTextHasIt) {
  QString units;
  for (char32_t unit = 1; unit < 0x10000; unit += unit < 0x900 ? 1 : 97) {
    units += QChar(static_cast<char16_t>(unit));
  }
  units += QChar(0xFFFE);
  units += QChar(0xFFFF);
  units += QChar(0xDC00);                               // lone low surrogate
  units += QString::fromUcs4(U"\U0001F600\U0010FFFF");  // pairs
  units += QChar(0xD83D);                               // high surrogate at the end
  const QString cases[] = {QString(),
                           QStringLiteral("a"),
                           units,
                           QString(300000, QChar(0xE9)) + units,
                           QStringLiteral("short again"),
                           QStringLiteral("\r\n\t")};
  for (const QString& text : cases) {
    Document doc;
    Element root = doc.createDocumentElement(QStringLiteral("r"));
    root.appendTextElement("t", text);
    root.setAttribute(QStringLiteral("a"), text);
    root.appendElement("u").appendText(text);
    const Document again = Document::fromBytes(doc.toBytes());
    ASSERT_FALSE(again.isNull()) << text.size();
    const QString safe = orv::xml::toXmlSafeText(text);
    EXPECT_EQ(again.documentElement().firstChildElement(QStringLiteral("t")).text(), safe) << text.size();
    EXPECT_EQ(again.documentElement().attribute(QStringLiteral("a")), safe) << text.size();
    EXPECT_EQ(again.documentElement().firstChildElement(QStringLiteral("u")).text(), safe) << text.size();
  }
}

TEST(Xml, RefusesWhatIsNotADocument) {
  const QByteArray cases[] = {"", "not xml", "<a><b></a>", "<?xml version=\"1.0\"?>", "<a>"};
  for (const QByteArray& bytes : cases) {
    QString error;
    EXPECT_TRUE(Document::fromBytes(bytes, &error).isNull()) << bytes.constData();
    EXPECT_FALSE(error.isEmpty());
  }
}

TEST(Xml, NeverReadsExternalEntities) {
  TempFolder folder;
  const QString secret = folder.write(QStringLiteral("secret.txt"), "TOP-SECRET");
  const QByteArray bytes =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret.toUtf8() + "\">]><r>&x;</r>";
  const Document doc = Document::fromBytes(bytes);
  if (!doc.isNull()) {
    EXPECT_FALSE(doc.documentElement().text().contains(QStringLiteral("TOP-SECRET")));
    EXPECT_FALSE(doc.toBytes().contains("TOP-SECRET"));
  }
}

TEST(Xml, InternalEntitiesAreNotExpandedIntoTexts) {
  const QByteArray bytes =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]><r>&b;</r>";
  const Document doc = Document::fromBytes(bytes);
  ASSERT_FALSE(doc.isNull());
  EXPECT_EQ(doc.documentElement().text(), QString());
}

TEST(Xml, WalksChildElementsByName) {
  const Document doc = Document::fromBytes("<r><a i=\"1\"/><b/>text<a i=\"2\"/></r>");
  const auto all = doc.documentElement().childElements();
  ASSERT_EQ(all.size(), 3u);
  const auto as = doc.documentElement().childElements(QStringLiteral("a"));
  ASSERT_EQ(as.size(), 2u);
  EXPECT_EQ(as[1].attribute(QStringLiteral("i")), QStringLiteral("2"));
  EXPECT_FALSE(as[0].hasAttribute(QStringLiteral("j")));
  EXPECT_TRUE(doc.documentElement().firstChildElement(QStringLiteral("zz")).isNull());
}

TEST(Xml, SavesAndLoadsAFile) {
  TempFolder folder;
  Document doc;
  doc.createDocumentElement(QStringLiteral("CONFIGURATION"))
      .setAttribute(QStringLiteral("version"), QStringLiteral("102"));
  ASSERT_TRUE(doc.saveFile(folder.file(QStringLiteral("c.xml")), 0600).ok);
  const Document loaded = Document::fromFile(folder.file(QStringLiteral("c.xml")));
  ASSERT_FALSE(loaded.isNull());
  EXPECT_EQ(loaded.documentElement().attribute(QStringLiteral("version")), QStringLiteral("102"));
  QString error;
  EXPECT_TRUE(Document::fromFile(folder.file(QStringLiteral("missing.xml")), &error).isNull());
  EXPECT_FALSE(error.isEmpty());
}

TEST(Xml, OnlyARegularFileIsLoadedAndNothingElseIsWaitedFor) {
  TempFolder folder;
  const QString pipe = folder.file(QStringLiteral("pipe.xml"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);  // no writer: opening it would wait
  const QString link = folder.file(QStringLiteral("link.xml"));
  ASSERT_TRUE(QFile::link(folder.write(QStringLiteral("real.xml"), "<a/>"), link));
  for (const QString& path :
       {pipe, folder.makeFolder(QStringLiteral("folder.xml")), QStringLiteral("/dev/zero"), QString()}) {
    QString error;
    EXPECT_TRUE(Document::fromFile(path, &error).isNull()) << path.toStdString();
    EXPECT_FALSE(error.isEmpty()) << path.toStdString();
  }
  EXPECT_EQ(Document::fromFile(link).documentElement().name(), QStringLiteral("a"));
}

TEST(Xml, TransformsWithAStylesheetAndParameters) {
  const Document styleDoc = Document::fromBytes(
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
      "<xsl:output method=\"html\"/><xsl:param name=\"who\"/>"
      "<xsl:template match=\"/\"><p><xsl:value-of select=\"$who\"/>:<xsl:value-of select=\"r/a\"/></p></xsl:template>"
      "</xsl:stylesheet>");
  const Stylesheet style = Stylesheet::fromDocument(styleDoc);
  ASSERT_FALSE(style.isNull());
  const Document input = Document::fromBytes("<r><a>x &amp; y</a></r>");
  const QByteArray html = style.transformToBytes(input, {{QStringLiteral("who"), QStringLiteral("it's \"me\"")}});
  EXPECT_EQ(html.trimmed(), QByteArray("<p>it's \"me\":x &amp; y</p>"));
  const Document tree = style.transform(input);
  ASSERT_FALSE(tree.isNull());
  EXPECT_EQ(tree.documentElement().name(), QStringLiteral("p"));
}

TEST(Xml, ABrokenStylesheetIsNull) {
  QString error;
  EXPECT_TRUE(Stylesheet::fromDocument(Document::fromBytes("<notxsl/>"), &error).isNull());
  EXPECT_TRUE(Stylesheet::fromDocument(Document::null(), &error).isNull());
}

}  // namespace
