#include "platform/xml.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
using orv::xml::Document;

TEST(XmlDescendants, FirstMatchIsInDocumentOrderNotByDepth) {
  const Document doc = Document::fromBytes("<r><a><deep><b id='1'/></deep></a><b id='2'/><c><b id='3'/></c></r>");
  ASSERT_FALSE(doc.isNull());
  const auto root = doc.documentElement();
  EXPECT_EQ(root.firstDescendantElement(u"b"_s).attribute(u"id"_s), u"1"_s);
  EXPECT_EQ(root.firstDescendantElement(u"c"_s).firstDescendantElement(u"b"_s).attribute(u"id"_s), u"3"_s);
  EXPECT_TRUE(root.firstDescendantElement(u"missing"_s).isNull());
  // An element is not its own descendant; the document's search includes its root.
  EXPECT_TRUE(root.firstDescendantElement(u"r"_s).isNull());
  EXPECT_EQ(doc.firstDescendantElement(u"r"_s).name(), u"r"_s);
  EXPECT_EQ(doc.firstDescendantElement(u"deep"_s).name(), u"deep"_s);
  EXPECT_TRUE(Document::null().firstDescendantElement(u"r"_s).isNull());
}

TEST(XmlDescendants, DeepDocumentsAreWalkedWithoutRecursion) {
  const int depth = 250;  // close to what the parser accepts
  const QByteArray bytes = QByteArray("<n>").repeated(depth) + "<leaf>x</leaf>" + QByteArray("</n>").repeated(depth);
  const Document doc = Document::fromBytes(bytes);
  ASSERT_FALSE(doc.isNull());
  EXPECT_EQ(doc.firstDescendantElement(u"leaf"_s).textContent(), u"x"_s);
  EXPECT_EQ(doc.documentElement().textContent(), u"x"_s);
}

TEST(XmlDescendants, TextContentJoinsTextAndCdataBelowTheElement) {
  const Document doc = Document::fromBytes("<r>a<!-- c --><?pi data?><b>b<![CDATA[<c>]]></b>&amp;d<e/></r>");
  ASSERT_FALSE(doc.isNull());
  EXPECT_EQ(doc.documentElement().textContent(), u"ab<c>&d"_s);
  EXPECT_EQ(doc.firstDescendantElement(u"e"_s).textContent(), QString());
}

}  // namespace
