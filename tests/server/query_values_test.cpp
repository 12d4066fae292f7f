#include "server/query_values.h"

#include "core/configuration.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::core::gConfiguration;
using orv::server::getParamValue;
using orv::server::isValidDisplayMode;
using orv::server::isValidItemType;
using orv::server::isValidShowGroup;
using orv::server::isValidSortOrder;
using orv::server::isValidSortValue;

QString text(const char* latin1) {
  return QString::fromLatin1(latin1);
}

TEST(ParamValue, ReadsTheValueOfTheKeyUpToTheTerminator) {
  struct Case {
    const char* text;
    const char* key;
    const char* terminator;
    const char* value;
  };
  const Case cases[] = {
      // Form bodies, cookies and queries.
      {"user=bob&savepwd=on", "user", "&", "bob"},
      {"user=bob&savepwd=on", "savepwd", "&", "on"},
      {"user=bob&savepwd=on", "password", "&", ""},
      {"user=bob; lang=fr", "user", ";", "bob"},
      {"user=bob; lang=fr", "lang", ";", "fr"},
      {"user=bob;password=cHc=", "password", ";", "cHc="},
      {"?section.xml=sound&x=1", "section.xml", "&", "sound"},
      {"?SECTION.XML=Sound", "section.xml", "&", "Sound"},
      {"?section.xml=music", "section.xml", "&", "music"},
      {"  user=bob", "user", "&", "bob"},
      // The key starts a parameter; it is never the tail of another name or of a value.
      {"otheruser=eve&user=bob", "user", "&", "bob"},
      {"otheruser=eve", "user", "&", ""},
      {"x=hello user=eve&user=bob", "user", "&", "bob"},
      {"pref=a&user=eve; user=bob", "user", ";", "bob"},
      {"?x=1&user=bob", "user", "&", "bob"},
      // Missing "=", empty and repeated values.
      {"user", "user", "&", ""},
      {"user&password=x", "user", "&", ""},
      {"user=", "user", "&", ""},
      {"user=&password=x", "user", "&", ""},
      {"user=bob&user=eve", "user", "&", "bob"},
      {"user=a=b&c", "user", "&", "a=b"},
      // Nothing is decoded.
      {"user=a%00b&c=d", "user", "&", "a%00b"},
      {"user=a+b", "user", "&", "a+b"},
      // An empty terminator or key yields nothing.
      {"user=bob", "user", "", ""},
      {"=x&y", "", "&", ""},
      {"", "user", "&", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getParamValue(text(c.text), text(c.key), text(c.terminator)), text(c.value))
        << c.text << " [" << c.key << "] up to " << c.terminator;
  }
}

TEST(ParamValue, KeepsEveryCharacterOfTheValueAsItStands) {
  const QString withNul = QStringLiteral("?section.xml=sound") + QChar(0) + QStringLiteral("x&y=1");
  EXPECT_EQ(getParamValue(withNul, text("section.xml"), text("&")), QStringLiteral("sound") + QChar(0) + text("x"));

  // What a query of invalid UTF-8 decodes to.
  const QString replaced = QStringLiteral("?section.xml=so\uFFFDnd&y=1");
  EXPECT_EQ(getParamValue(replaced, text("section.xml"), text("&")), QStringLiteral("so\uFFFDnd"));
}

TEST(ParamValue, HugeAndHostileTextsAreReadInOnePass) {
  const QString huge(100000, QLatin1Char('a'));
  EXPECT_EQ(getParamValue(text("user=") + huge, text("user"), text("&")), huge);

  // Thousands of near misses before the real key.
  const QString misses = text("xuser=").repeated(20000) + text("&user=bob");
  EXPECT_EQ(getParamValue(misses, text("user"), text("&")), text("bob"));
}

class DisplayOptionsTest : public testing::Test {
 protected:
  void TearDown() override { gConfiguration = {}; }
};

TEST_F(DisplayOptionsTest, DisplayModeAllowsMiniaturesOnlyWhenTheyAreOn) {
  struct Case {
    const char* value;
    bool withMiniatures;
    bool withoutMiniatures;
  };
  const Case cases[] = {
      {"list", true, true}, {"ICON", true, true},    {"MINI", true, false},   {"mini", true, false},
      {"", false, false},   {"lists", false, false}, {"list ", false, false},
  };
  for (const Case& c : cases) {
    gConfiguration.HtmlDisplay.ALLOW_MINIATURES = true;
    EXPECT_EQ(isValidDisplayMode(text(c.value)), c.withMiniatures) << c.value;
    gConfiguration.HtmlDisplay.ALLOW_MINIATURES = false;
    EXPECT_EQ(isValidDisplayMode(text(c.value)), c.withoutMiniatures) << c.value;
  }
}

TEST_F(DisplayOptionsTest, SortValueDependsOnTheTwoFlags) {
  struct Case {
    const char* value;
    bool noSizeAndType;
    bool mp3Sort;
    bool valid;
  };
  const Case cases[] = {
      {"name", true, false, true},     {"DATE", true, false, true},   {"size", true, true, false},
      {"size", false, false, true},    {"Type", false, false, true},  {"type", true, false, false},
      {"artist", false, false, false}, {"artist", false, true, true}, {"ALBUM", true, true, true},
      {"album", false, false, false},  {"", false, true, false},      {"names", false, true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isValidSortValue(text(c.value), c.noSizeAndType, c.mp3Sort), c.valid)
        << c.value << " no-size-and-type " << c.noSizeAndType << " mp3 " << c.mp3Sort;
  }
}

TEST_F(DisplayOptionsTest, SortOrderShowGroupAndItemType) {
  EXPECT_TRUE(isValidSortOrder(text("ascending")));
  EXPECT_TRUE(isValidSortOrder(text("DESCENDING")));
  EXPECT_FALSE(isValidSortOrder(text("asc")));
  EXPECT_FALSE(isValidSortOrder(QString()));

  struct GroupCase {
    const char* value;
    const char* sortValue;
    bool valid;
  };
  const GroupCase groups[] = {
      {"false", "album", false}, {"false", "ARTIST", false}, {"False", "name", true}, {"false", "", true},
      {"TRUE", "album", true},   {"true", "name", true},     {"yes", "name", false},  {"", "name", false},
  };
  for (const GroupCase& c : groups) {
    EXPECT_EQ(isValidShowGroup(text(c.value), text(c.sortValue)), c.valid) << c.value << " with " << c.sortValue;
  }

  for (const char* type : {"folder", "other", "sound", "image", "video", "VIDEO", "Sound"}) {
    EXPECT_TRUE(isValidItemType(text(type))) << type;
  }
  for (const char* type : {"", "music", "folders", "sound&x=1"}) {
    EXPECT_FALSE(isValidItemType(text(type))) << type;
  }
  EXPECT_FALSE(isValidItemType(QStringLiteral("sound") + QChar(0)));
}

}  // namespace
