#include "platform/xml.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::xml::Document;
using orv::xml::Element;

TEST(XmlCopy, AnElementBecomesTheElementOfANewDocument) {
  Document page;
  Element root = page.createDocumentElement(QStringLiteral("page"));
  Element section = root.appendElement(QStringLiteral("section"));
  section.setAttribute(QStringLiteral("type"), QStringLiteral("a & b"));
  section.appendTextElement(QStringLiteral("item"), QStringLiteral("<1>"));

  Document copy = Document::fromElement(section);
  ASSERT_FALSE(copy.isNull());
  EXPECT_EQ(copy.documentElement().toBytes(),
            QByteArray("<section type=\"a &amp; b\"><item>&lt;1&gt;</item></section>"));
  // A deep copy: changing it leaves the original alone.
  copy.documentElement().setAttribute(QStringLiteral("type"), QStringLiteral("changed"));
  EXPECT_EQ(section.attribute(QStringLiteral("type")), QStringLiteral("a & b"));
  EXPECT_TRUE(Document::fromElement(Element()).isNull());
}

TEST(XmlCopy, TheDocumentElementItselfCanBeReplaced) {
  Document fragment;
  fragment.createDocumentElement(QStringLiteral("section"));
  Document other;
  other.createDocumentElement(QStringLiteral("new")).appendTextElement(QStringLiteral("group"), QStringLiteral("x"));
  Element top = fragment.documentElement();
  EXPECT_FALSE(top.replaceWithElementOf(other).isNull());
  EXPECT_TRUE(top.isNull());
  EXPECT_EQ(fragment.toBytes(),
            QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<new><group>x</group></new>\n"));
}

TEST(XmlCopy, TheElementOfAParsedDocumentMovesIntoAnother) {
  Document page;
  Element root = page.createDocumentElement(QStringLiteral("page"));
  Element old = root.appendElement(QStringLiteral("section"));
  root.appendElement(QStringLiteral("after"));
  // A parsed document keeps its names in a dictionary of its own.
  Document parsed =
      Document::fromBytes("<section type=\"a\"><group name=\"x &amp; y\"><item>1</item></group></section>");
  ASSERT_FALSE(parsed.isNull());
  const Element moved = old.replaceWithElementOf(parsed);
  ASSERT_FALSE(moved.isNull());
  EXPECT_TRUE(parsed.documentElement().isNull());
  parsed = Document();  // the moved nodes no longer depend on it
  EXPECT_EQ(page.documentElement().toBytes(),
            QByteArray(
                "<page><section type=\"a\"><group name=\"x &amp; y\"><item>1</item></group></section><after/></page>"));
  EXPECT_EQ(page.documentElement().firstChildElement().firstChildElement().attribute(QStringLiteral("name")),
            QStringLiteral("x & y"));
  Document empty;
  EXPECT_TRUE(page.documentElement().firstChildElement(QStringLiteral("after")).replaceWithElementOf(empty).isNull());
}

}  // namespace
