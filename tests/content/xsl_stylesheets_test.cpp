#include "content/xsl_stylesheets.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using orv::content::fnctTransformSection;
using orv::content::getXslGroupStylesheet;
using orv::content::getXslGroupStylesheetText;
using orv::content::getXslSortStylesheet;
using orv::content::getXslSortStylesheetText;
using orv::content::XslGroupTexts;
using orv::xml::Document;
using orv::xml::Element;
using orv::xml::Stylesheet;

QString s(const char* text) {
  return QString::fromUtf8(text);
}

struct Item {
  Item(QString name_, QString size_ = s("1"), QString type_ = s("mp3"), QString date_ = s("2006/01/01 00:00:00"),
       QString artist_ = {})
      : name(name_), size(size_), type(type_), date(date_), artist(artist_) {}
  QString name;
  QString size;
  QString type;
  QString date;
  QString artist;
};

struct SectionSpec {
  QString sortby = s("name");
  QString sortorder = s("ascending");
  QString showgroup = s("true");
  std::vector<Item> items;
};

Document makeSection(const SectionSpec& spec) {
  Document doc;
  Element section = doc.createDocumentElement(s("section"));
  section.setAttribute(s("type"), s("sound"));
  section.setAttribute(s("showby"), s("list"));
  section.setAttribute(s("sortby"), spec.sortby);
  section.setAttribute(s("sortorder"), spec.sortorder);
  section.setAttribute(s("showgroup"), spec.showgroup);
  section.setAttribute(s("filter"), s("f"));
  section.setAttribute(s("diskitems"), QString::number(spec.items.size()));
  for (const Item& item : spec.items) {
    Element element = section.appendElement(s("item"));
    element.appendTextElement(s("artist"), item.artist);
    element.appendTextElement(s("name"), item.name);
    element.appendTextElement(s("date"), item.date);
    element.appendTextElement(s("size"), item.size);
    element.appendTextElement(s("type"), item.type);
  }
  return doc;
}

XslGroupTexts englishTexts() {
  return {s("Empty"), s("Small"), s("Average"), s("Big"), s("Files")};
}

Stylesheet groupStylesheet(const XslGroupTexts& texts = englishTexts()) {
  QString error;
  Stylesheet style = Stylesheet::fromDocument(getXslGroupStylesheet(texts), &error);
  EXPECT_FALSE(style.isNull()) << error.toStdString();
  return style;
}

Stylesheet sortStylesheet() {
  QString error;
  Stylesheet style = Stylesheet::fromDocument(getXslSortStylesheet(), &error);
  EXPECT_FALSE(style.isNull()) << error.toStdString();
  return style;
}

// "name:item,item|name:item" for the groups of a section, items by name.
QString describeGroups(const Document& doc) {
  QStringList groups;
  for (const Element& group : doc.documentElement().childElements(s("group"))) {
    QStringList names;
    for (const Element& item : group.childElements(s("item"))) {
      names << item.firstChildElement(s("name")).text();
    }
    const QString label = group.hasAttribute(s("name")) ? group.attribute(s("name")) : s("(none)");
    groups << label + s(":") + names.join(s(","));
  }
  return groups.join(s("|"));
}

QStringList itemNames(const Document& doc) {
  QStringList names;
  for (const Element& item : doc.documentElement().childElements(s("item"))) {
    names << item.firstChildElement(s("name")).text();
  }
  return names;
}

std::vector<Item> named(std::initializer_list<const char*> names) {
  std::vector<Item> items;
  for (const char* name : names) {
    items.emplace_back(s(name));
  }
  return items;
}

TEST(XslStylesheets, TextsStartWithTheDeclarationAndJoinTheirLinesWithoutBreaks) {
  for (const QString& text : {getXslSortStylesheetText(), getXslGroupStylesheetText(englishTexts())}) {
    EXPECT_TRUE(
        text.startsWith(s("<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" "
                          "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                          "<xsl:output method=\"xml\" version=\"1.0\" encoding=\"UTF-8\" "
                          "omit-xml-declaration=\"no\" indent=\"no\"/>")));
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
  }
}

TEST(XslStylesheets, GroupsAsTheSectionAsks) {
  struct Case {
    const char* what;
    SectionSpec section;
    const char* groups;
  };
  const Case cases[] = {
      {"first letters ignoring case",
       {s("name"), s("ascending"), s("true"), named({"apple", "Avocado", "banana"})},
       "A:apple,Avocado|B:banana"},
      {"accented letters fold together",
       {s("name"), s("ascending"), s("true"), named({"\xC3\xA9t\xC3\xA9", "\xC3\x89t\xC3\xA9", "1st", "2nd"})},
       "\xC3\x89:\xC3\xA9t\xC3\xA9,\xC3\x89t\xC3\xA9|1:1st|2:2nd"},
      {"unsorted names repeat their group",
       {s("name"), s("ascending"), s("true"), named({"b1", "a1", "b2"})},
       "B:b1|A:a1|B:b2"},
      {"types",
       {s("type"), s("ascending"), s("true"), {{s("x"), s("1"), s("mp3")}, {s("y"), s("1"), s("Mp3")}}},
       "Files MP3:x,y"},
      {"dates by day",
       {s("date"),
        s("ascending"),
        s("true"),
        {{s("x"), s("1"), s("a"), s("2006/03/07 10:00:00")},
         {s("y"), s("1"), s("a"), s("2006/03/07 23:59:59")},
         {s("z"), s("1"), s("a"), s("2006/03/06 10:00:00")}}},
       "2006/03/07:x,y|2006/03/06:z"},
      {"artist even when groups are off",
       {s("artist"),
        s("ascending"),
        s("false"),
        {{s("x"), s("1"), s("a"), s("d"), s("Abba")},
         {s("y"), s("1"), s("a"), s("d"), s("ABBA")},
         {s("z"), s("1"), s("a"), s("d"), s("Queen")}}},
       "Abba:x,y|Queen:z"},
      {"no groups gives one nameless group", {s("date"), s("ascending"), s("false"), named({"x", "y"})}, "(none):x,y"},
      {"sizes ascending",
       {s("size"),
        s("ascending"),
        s("true"),
        {{s("zero"), s("0")},
         {s("one"), s("1")},
         {s("limit"), s("3500000")},
         {s("above"), s("3500001")},
         {s("hundred"), s("100000000")},
         {s("huge"), s("100000001")}}},
       "Empty:zero|Small:one,limit|Average:above,hundred|Big:huge"},
      {"sizes descending",
       {s("size"), s("descending"), s("true"), {{s("one"), s("1")}, {s("huge"), s("200000000")}}},
       "Big:huge|Small:one"},
      {"sizes in another order give nothing", {s("size"), s("other"), s("true"), {{s("one"), s("1")}}}, ""},
      {"a switch that is neither true nor false", {s("name"), s("ascending"), s("TRUE"), named({"x"})}, ""},
  };
  const Stylesheet style = groupStylesheet();
  for (const Case& c : cases) {
    const Document result = fnctTransformSection(style, makeSection(c.section));
    ASSERT_FALSE(result.isNull()) << c.what;
    EXPECT_EQ(describeGroups(result), s(c.groups)) << c.what;
  }
}

TEST(XslStylesheets, AnEmptySectionKeepsItsSevenAttributesInOrder) {
  SectionSpec spec;
  for (const char* sortby : {"name", "size", "artist"}) {
    spec.sortby = s(sortby);
    const Document result = fnctTransformSection(groupStylesheet(), makeSection(spec));
    ASSERT_FALSE(result.isNull());
    EXPECT_EQ(result.documentElement().toBytes(),
              QByteArray("<section type=\"sound\" showby=\"list\" sortby=\"") + sortby +
                  "\" sortorder=\"ascending\" showgroup=\"true\" filter=\"f\" diskitems=\"0\"/>");
  }
}

TEST(XslStylesheets, GroupNamesReadBackUnchangedWhateverTheyHold) {
  const char* hostile[] = {"Tom & \"Jerry\" <live>", "a\tb\nc\rd", "{x}", "]]>", "'\"'\"'\"", "&amp;"};
  SectionSpec spec;
  spec.sortby = s("artist");
  for (const char* artist : hostile) {
    spec.items.push_back({s("n"), s("1"), s("mp3"), s("d"), s(artist)});
  }
  QString many;
  for (int i = 0; i < 20000; ++i) {
    many += QLatin1Char('"');
  }
  spec.items.push_back({s("n"), s("1"), s("mp3"), s("d"), many});
  const Document result = fnctTransformSection(groupStylesheet(), makeSection(spec));
  ASSERT_FALSE(result.isNull());
  const auto groups = result.documentElement().childElements(s("group"));
  ASSERT_EQ(groups.size(), std::size(hostile) + 1);
  for (std::size_t i = 0; i < std::size(hostile); ++i) {
    EXPECT_EQ(groups[i].attribute(s("name")), s(hostile[i]));
  }
  EXPECT_EQ(groups.back().attribute(s("name")), many);
}

TEST(XslStylesheets, AnyLanguageTextGivesAStylesheetThatLoads) {
  const XslGroupTexts texts = {s("Vide & \"rien\""), s("<petit>"), s("{moyen}"), s("  "), s("Fichiers ' & \"")};
  const Stylesheet style = groupStylesheet(texts);
  ASSERT_FALSE(style.isNull());
  SectionSpec spec;
  spec.sortby = s("size");
  spec.items = {{s("a"), s("0")}, {s("b"), s("5")}, {s("c"), s("4000000")}, {s("d"), s("200000000")}};
  const Document sizes = fnctTransformSection(style, makeSection(spec));
  EXPECT_EQ(describeGroups(sizes), s("Vide & \"rien\":a|<petit>:b|{moyen}:c|  :d"));
  spec.sortby = s("type");
  const Document types = fnctTransformSection(style, makeSection(spec));
  EXPECT_EQ(describeGroups(types), s("Fichiers ' & \" MP3:a,b,c,d"));
}

TEST(XslStylesheets, SortsByTheChildTheSectionNames) {
  struct Case {
    const char* what;
    SectionSpec section;
    QStringList order;
  };
  const Case cases[] = {
      {"sizes as numbers",
       {s("size"), s("ascending"), s("true"), {{s("ten"), s("10")}, {s("nine"), s("9")}, {s("big"), s("100")}}},
       {s("nine"), s("ten"), s("big")}},
      {"sizes descending",
       {s("size"), s("descending"), s("true"), {{s("nine"), s("9")}, {s("big"), s("100")}, {s("ten"), s("10")}}},
       {s("big"), s("ten"), s("nine")}},
      {"dates ascending list the newest first",
       {s("date"),
        s("ascending"),
        s("true"),
        {{s("old"), s("1"), s("a"), s("2001/01/01 00:00:00")},
         {s("new"), s("1"), s("a"), s("2006/05/01 00:00:00")},
         {s("mid"), s("1"), s("a"), s("2004/01/01 00:00:00")}}},
       {s("new"), s("mid"), s("old")}},
      {"dates descending list the oldest first",
       {s("date"),
        s("descending"),
        s("true"),
        {{s("new"), s("1"), s("a"), s("2006/05/01 00:00:00")}, {s("old"), s("1"), s("a"), s("2001/01/01 00:00:00")}}},
       {s("old"), s("new")}},
      {"names ignore case",
       {s("name"), s("ascending"), s("true"), named({"b", "A2", "a1", "C"})},
       {s("a1"), s("A2"), s("b"), s("C")}},
      {"names descending",
       {s("name"), s("descending"), s("true"), named({"b", "A2", "a1", "C"})},
       {s("C"), s("b"), s("A2"), s("a1")}},
  };
  const Stylesheet style = sortStylesheet();
  for (const Case& c : cases) {
    const Document result = style.transform(makeSection(c.section));
    ASSERT_FALSE(result.isNull()) << c.what;
    EXPECT_EQ(itemNames(result), c.order) << c.what;
  }
}

TEST(XslStylesheets, SortOutputCopiesTheSectionAttributesInItsOrder) {
  SectionSpec spec;
  spec.items = named({"x"});
  const Document result = sortStylesheet().transform(makeSection(spec));
  ASSERT_FALSE(result.isNull());
  EXPECT_TRUE(result.documentElement().toBytes().startsWith(
      "<section type=\"sound\" showby=\"list\" sortby=\"name\" sortorder=\"ascending\" showgroup=\"true\" "
      "diskitems=\"1\" filter=\"f\"><item>"));
}

TEST(XslStylesheets, SortThenGroupMakesOneGroupPerLetter) {
  SectionSpec spec;
  spec.sortorder = s("descending");
  spec.items = named({"A1", "B", "a2", "b2"});
  const Document sorted = fnctTransformSection(sortStylesheet(), makeSection(spec));
  ASSERT_FALSE(sorted.isNull());
  EXPECT_EQ(describeGroups(fnctTransformSection(groupStylesheet(), sorted)), s("B:b2,B|A:a2,A1"));
}

// The previous item found through the parent by position, the form that libxslt
// answers in quadratic time.
Stylesheet positionalGroupStylesheet() {
  QString text = getXslGroupStylesheetText(englishTexts());
  const QString sibling = s("<xsl:variable name=\"previous\" select=\"preceding-sibling::item[1]\"/>");
  const QString positional =
      s("<xsl:variable name=\"previousposition\" select=\"position()-1\"/>"
        "<xsl:variable name=\"previous\" select=\"../item[$previousposition]\"/>");
  EXPECT_EQ(text.count(sibling), 6);
  text.replace(sibling, positional);
  return Stylesheet::fromDocument(Document::fromBytes(text.toUtf8()));
}

TEST(XslStylesheets, SiblingLookupGroupsLikeThePositionalOne) {
  const char* firsts[] = {"a", "A", "b", "\xC3\xA9", "\xC3\x89", "1", "z"};
  const char* types[] = {"mp3", "MP3", "ogg", "", "wav"};
  const char* dates[] = {"2006/01/01 10:00:00", "2006/01/01 11:00:00", "2005/12/31 00:00:00"};
  const char* artists[] = {"Abba", "abba", "Queen", "", "Tom & \"Jerry\""};
  SectionSpec spec;
  for (int i = 0; i < 120; ++i) {
    const int k = (i * 7 + i / 5) % 11;
    spec.items.push_back({s(firsts[k % std::size(firsts)]) + QString::number(i), QString::number(k * 1000000),
                          s(types[k % std::size(types)]), s(dates[k % std::size(dates)]),
                          s(artists[k % std::size(artists)])});
  }
  const Stylesheet mine = groupStylesheet();
  const Stylesheet positional = positionalGroupStylesheet();
  ASSERT_FALSE(positional.isNull());
  for (const char* sortby : {"name", "type", "date", "artist", "album", "size"}) {
    spec.sortby = s(sortby);
    const Document input = makeSection(spec);
    const QByteArray expected = positional.transformToBytes(input);
    ASSERT_FALSE(expected.isEmpty()) << sortby;
    EXPECT_EQ(mine.transformToBytes(input), expected) << sortby;
  }
}

TEST(XslStylesheets, GroupsSixteenThousandItems) {
  SectionSpec spec;
  for (int i = 0; i < 16000; ++i) {
    spec.items.push_back({QChar(u'a' + i / 1000 % 26) + QString::number(i)});
  }
  const Document result = fnctTransformSection(groupStylesheet(), makeSection(spec));
  ASSERT_FALSE(result.isNull());
  const auto groups = result.documentElement().childElements(s("group"));
  ASSERT_EQ(groups.size(), 16u);
  EXPECT_EQ(groups.front().attribute(s("name")), s("A"));
  EXPECT_EQ(groups.back().childElements(s("item")).size(), 1000u);
}

}  // namespace
