// The rules of the HTML display category, without a screen.

#include "editors/html_settings.h"
#include "editors_fixture.h"

namespace {

using namespace orv::editors;
using namespace Qt::StringLiterals;

constexpr char kGoodXsl[] =
    "<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
    "<xsl:template match=\"/\"><html><body>good</body></html></xsl:template></xsl:stylesheet>";

TEST(HtmlMiniatureDimension, BoundedBelowAndAbove) {
  struct Case {
    const char* text;
    std::optional<int> pixels;
  };
  const Case cases[] = {
      {"9", std::nullopt},
      {"10", 10},
      {"96", 96},
      {"1024", 1024},
      {"1025", std::nullopt},
      {"32767", std::nullopt},
      {"40000", std::nullopt},
      {"abc", std::nullopt},
      {" 200 ", 200},
      {"99.5", 100},
  };
  orv::core::tConfHtmlDisplay html;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const QString text = QString::fromLatin1(c.text);
    EXPECT_EQ(fnctCheckMiniatureDimension(text), c.pixels);
    EXPECT_EQ(fnctCheckedMiniatureDimensionText(text, html), c.pixels ? text : u"96"_s);
  }
}

TEST(HtmlMarking, ClicksThatMark) {
  // The stored stylesheet again while Save is disabled: nothing.
  EXPECT_FALSE(isXslClickMarking(u"classic.xsl"_s, u"CLASSIC.xsl"_s, 1, false));
  EXPECT_TRUE(isXslClickMarking(u"other.xsl"_s, u"classic.xsl"_s, 1, false));
  EXPECT_TRUE(isXslClickMarking(u"classic.xsl"_s, u"classic.xsl"_s, 2, true));
  // The stored file is gone: nothing is marked, and a click marks again.
  EXPECT_TRUE(isXslClickMarking(u"other.xsl"_s, u"gone.xsl"_s, 0, false));
}

class HtmlFiles : public EditorsTest {};

TEST_F(HtmlFiles, ListsStylesheetsSortedWhateverTheCase) {
  app_.write(u"resources/zeta.xsl"_s, kGoodXsl);
  app_.write(u"resources/Alpha.XSL"_s, kGoodXsl);
  app_.write(u"resources/xsl"_s, kGoodXsl);
  app_.write(u"resources/.xsl"_s, kGoodXsl);
  app_.write(u"resources/page.xslt"_s, kGoodXsl);
  app_.write(u"resources/two.dots.xsl"_s, kGoodXsl);
  const QList<XslFileItem> items = fnctXslFiles(resources());
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0].key, u"Alpha.XSL"_s);
  EXPECT_EQ(items[0].text, u"Alpha"_s);
  EXPECT_EQ(items[1].key, u"two.dots.xsl"_s);
  EXPECT_EQ(items[1].text, u"two.dots"_s);
  EXPECT_EQ(items[2].key, u"zeta.xsl"_s);
  EXPECT_EQ(fnctMarkedXslIndex(items, u"ZETA.xsl"_s), 3);
  EXPECT_EQ(fnctMarkedXslIndex(items, u"gone.xsl"_s), 0);
}

TEST_F(HtmlFiles, OnlyAStylesheetThatLoadsPasses) {
  app_.write(u"resources/good.xsl"_s, kGoodXsl);
  app_.write(u"resources/text.xsl"_s, "this is not XML <");
  app_.write(u"resources/plain.xsl"_s, "<?xml version=\"1.0\"?><html><body/></html>");
  app_.write(u"resources/empty.xsl"_s, "");
  EXPECT_TRUE(fnctXslFileProblem(resources(), u"good.xsl"_s).isEmpty());
  for (const QString& name : {u"text.xsl"_s, u"plain.xsl"_s, u"empty.xsl"_s, u"missing.xsl"_s}) {
    SCOPED_TRACE(name.toStdString());
    const QString problem = fnctXslFileProblem(resources(), name);
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_TRUE(fnctXslRefusedText(name, problem).contains(name));
  }
}

TEST(HtmlStore, StoresFieldsAndSaysWhatChanged) {
  orv::core::tConfHtmlDisplay html;
  HtmlFields fields{true, false, false, true, u"200"_s, u"classic-full.xsl"_s, 2};
  HtmlSaveEffects effects = subStoreHtml(fields, html);
  EXPECT_FALSE(effects.stylesheetChanged);
  EXPECT_FALSE(effects.methodChanged);
  EXPECT_TRUE(html.VIEW_HIDDEN_DISK_ITEMS);
  EXPECT_FALSE(html.ALLOW_MINIATURES);
  EXPECT_FALSE(html.ALLOW_MP3_TAGS);
  EXPECT_TRUE(html.HIDE_EXTENSIONS);
  EXPECT_EQ(html.MINATURE_DIMENSION, 200);

  fields = HtmlFields{false, true, true, false, u"5000"_s, u"other.xsl"_s, 1};
  effects = subStoreHtml(fields, html);
  EXPECT_TRUE(effects.stylesheetChanged);
  EXPECT_TRUE(effects.methodChanged);
  EXPECT_EQ(html.MINATURE_DIMENSION, 200);  // refused: kept
  EXPECT_EQ(html.XSL_FILE, u"other.xsl"_s);
  EXPECT_EQ(html.PAGE_BUILD_METHOD, 1);

  fields.markedXslKey.clear();  // nothing marked: the stored file stays
  effects = subStoreHtml(fields, html);
  EXPECT_FALSE(effects.stylesheetChanged);
  EXPECT_EQ(html.XSL_FILE, u"other.xsl"_s);
}

}  // namespace
