// The program writes documents itself instead of through libxml2's serializer: every byte
// must stay what libxml2 writes, whatever the tree holds.
#include "platform/xml.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <gtest/gtest.h>

namespace {

using orv::xml::Document;
using orv::xml::Element;

QByteArray libraryBytes(const Document& document, bool indent = false) {
  xmlChar* chars = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(document.handle(), &chars, &size, "UTF-8", indent ? 1 : 0);
  const QByteArray bytes(reinterpret_cast<const char*>(chars), size);
  xmlFree(chars);
  return bytes;
}

void expectLibraryBytes(const Document& document) {
  ASSERT_FALSE(document.isNull());
  EXPECT_EQ(document.toBytes(), libraryBytes(document));
  EXPECT_EQ(document.toBytes(true), libraryBytes(document, true));
}

TEST(XmlWriter, ParsedDocumentsAreWrittenAsLibxml2WritesThem) {
  // Plain shapes, and every shape the program leaves to libxml2 (comments, CDATA,
  // namespaces, a document type, entity references, a stand-alone declaration, other
  // encodings and versions).
  const QByteArray cases[] = {
      "<a/>",
      "<a></a>",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?xml-stylesheet type=\"text/xsl\" href=\"/?res=x.xsl\"?><page/>",
      "<?pi?><?pi2 data?><a b=\"1\" c=\"\"><d/>text<e f='\"'>x</e></a><?after?>",
      "<a t=\"&lt;&gt;&amp;&quot;'&#9;&#10;&#13; é 😀\">&lt;&gt;&amp;\"' &#13;&#9;&#10; é 😀 ]]&gt;</a>",
      "<a>\n  <b>  </b>\n</a>",
      "<a><!-- comment --><b/></a>",
      "<a><![CDATA[<raw> & ]]></a>",
      "<a xmlns=\"urn:x\"><b/></a>",
      "<p:a xmlns:p=\"urn:p\" p:b=\"1\"/>",
      "<!DOCTYPE a [<!ENTITY e \"value\">]><a>&e; x</a>",
      "<!DOCTYPE a [<!ATTLIST a d CDATA \"default\">]><a/>",
      "<?xml version=\"1.0\" standalone=\"yes\"?><a/>",
      "<?xml version=\"1.0\" standalone=\"no\"?><a/>",
      "<?xml version=\"1.1\"?><a/>",
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a b=\"\xE9\">\xE9</a>",
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\x80\x99</a>",
      "<a xml:space=\"preserve\" xml:lang=\"fr\"> x </a>",
  };
  for (const QByteArray& bytes : cases) {
    SCOPED_TRACE(bytes.constData());
    expectLibraryBytes(Document::fromBytes(bytes));
  }
}

TEST(XmlWriter, BuiltDocumentsAreWrittenAsLibxml2WritesThem) {
  Document doc;
  doc.appendProcessingInstruction(QStringLiteral("xml-stylesheet"),
                                  QStringLiteral("type=\"text/xsl\" href=\"a%22.xsl\""));
  Element root = doc.createDocumentElement(QStringLiteral("page"));
  QString hostile = QStringLiteral("a<b>&c\"d'e\tf\ng\rh é ") + QChar(0x01) + QChar(0xD800) + QChar(0xFEFF);
  hostile += QString::fromUcs4(U"\U0001F600", 1);
  root.setAttribute(QStringLiteral("v"), hostile);
  root.setAttribute(QStringLiteral("empty"), QString());
  Element section = root.appendElement("section");
  for (int i = 0; i < 3; ++i) {
    Element item = section.appendElement("item");
    item.appendTextElement("name", hostile + QString::number(i));
    item.appendTextElement("empty", QString());
    item.appendTextElement(QStringLiteral("nom-é"), QStringLiteral("x"));
    item.appendText(QStringLiteral(" between "));
  }
  root.appendElement(QStringLiteral("last")).setText(QStringLiteral("]]>"));
  expectLibraryBytes(doc);
  expectLibraryBytes(Document::fromBytes(doc.toBytes()));

  // Text written as markup (as a transform's disable-output-escaping leaves it), an
  // attribute set on a moved element and an element nested deeper than any recursion allows.
  xmlNode* raw = xmlNewDocText(doc.handle(), reinterpret_cast<const xmlChar*>("<b>&amp;</b>"));
  raw->name = xmlStringTextNoenc;
  xmlAddChild(root.handle(), raw);
  Element deep = root;
  for (int i = 0; i < 20000; ++i) {
    deep = deep.appendElement("d");
  }
  deep.appendTextElement("t", QStringLiteral("bottom"));
  expectLibraryBytes(doc);

  Document other;
  Element moved = other.createDocumentElement(QStringLiteral("moved"));
  moved.setAttribute(QStringLiteral("a"), QStringLiteral("é\n"));
  moved.appendTextElement("t", QStringLiteral("é"));
  Document page;
  page.createDocumentElement(QStringLiteral("page")).appendElement("slot").replaceWithElementOf(other);
  expectLibraryBytes(page);
}

TEST(XmlWriter, ANullDocumentWritesNothing) {
  EXPECT_TRUE(Document::null().toBytes().isEmpty());
}

}  // namespace
