#include "server/matching.h"

#include "core/configuration.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::server::isPathMatchingPattern;
using orv::server::isTextContainingListItem;

QStringList split(const char* text) {
  return QString::fromLatin1(text).split(QLatin1Char(';'));
}

TEST(KeywordMatching, TriesEveryKeywordButNeverAnEmptyOne) {
  struct Case {
    QStringList list;
    const char* text;
    bool found;
  };
  const Case cases[] = {
      {split("winamp;nsplayer;"), "WinAmp/5.0", true},
      {split("winamp;nsplayer;"), "NSPlayer/9.0.0.2980", true},
      {split("winamp;nsplayer;"), "Mozilla/5.0 (X11; Linux x86_64)", false},
      {split("winamp;nsplayer;"), "", false},
      // A list of one keyword without the empty tail of a split.
      {{QStringLiteral("bot")}, "Googlebot/2.1", true},
      {{QStringLiteral("bot")}, "Mozilla/5.0", false},
      // The empty elements of ";bot;" and of "" match nothing.
      {split(";bot;"), "Mozilla/5.0", false},
      {split(";bot;"), "xBOTx", true},
      {split(""), "Mozilla/5.0", false},
      {split(""), "", false},
      {{}, "Mozilla/5.0", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isTextContainingListItem(c.list, QString::fromLatin1(c.text)), c.found)
        << c.list.join(QLatin1Char('|')).toStdString() << " in " << c.text;
  }
}

class PathMatchingTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = orv::core::gAppFolder;
    orv::core::gAppFolder = QStringLiteral("/opt/orvendale");
  }
  void TearDown() override { orv::core::gAppFolder = saved_; }

 private:
  QString saved_;
};

TEST_F(PathMatchingTest, ContainedAndQuotedPatterns) {
  struct Case {
    const char* path;
    const char* pattern;
    bool excluded;
  };
  const Case cases[] = {
      // Contained text, with the application folder put in.
      {"/opt/orvendale/cache/a.bmp", "{folder:app}/cache", true},
      {"/OPT/Orvendale/CACHE/a.bmp", "{FOLDER:App}/cache", true},
      {"/opt/orvendale/cachefiles", "{folder:app}/cache", true},
      {"/srv/pub/cache/a.bmp", "{folder:app}/cache", false},
      {"/srv/pub/Private/notes.txt", "private", true},
      {"/srv/pub/notes.txt", "private", false},
      {"/opt/orvendale/cache/", "/cache/", true},
      // A path written with "." or "//" is read in its plain form.
      {"/opt/orvendale/./cache/a.bmp", "{folder:app}/cache", true},
      {"/opt/orvendale//cache/a.bmp", "{folder:app}/cache", true},
      {"/srv/pub/private/../notes.txt", "private", false},
      // One path, in any letter case, and everything below it.
      {"/srv/pub/private", "\"/srv/pub/Private\"", true},
      {"/SRV/PUB/PRIVATE", "\"/srv/pub/private\"", true},
      {"/srv/pub/private/a.txt", "\"/srv/pub/private\"", true},
      {"/srv/pub/Private/Sub/Deeper/b.txt", "\"/srv/pub/private\"", true},
      {"/srv/pub/private/sub/", "\"/srv/pub/private/\"", true},
      {"/srv/pub/private/a.txt", "\"/srv/pub/private/\"", true},
      {"/srv/pub/private2", "\"/srv/pub/private\"", false},
      {"/srv/pub/private2/a.txt", "\"/srv/pub/private/\"", false},
      {"/srv/pub/private.txt", "\"/srv/pub/private\"", false},
      {"/srv/pub", "\"/srv/pub/private\"", false},
      {"/srv/pub/a.txt", "\"/srv/pub/a.txt\"", true},
      {"/srv/pub/a.txt2", "\"/srv/pub/a.txt\"", false},
      {"/opt/orvendale/cache/1.bmp", "\"{folder:app}/cache/\"", true},
      {"/srv/pub/x/../private/a.txt", "\"/srv/pub/private\"", true},
      {"/srv/pub/private/../a.txt", "\"/srv/pub/private\"", false},
      // The root names every path; a relative text names none.
      {"/srv/pub/a.txt", "\"/\"", true},
      {"/", "\"/\"", true},
      {"/srv/pub/private/a.txt", "\"private\"", false},
      {"/opt/orvendale/config.xml", "\"{folder:app}/config.xml\"", true},
      // The folder as a folder request names it, with its "/", and in other spellings.
      {"/srv/pub/private/", "\"/srv/pub/private\"", true},
      {"/srv/pub/./private", "\"/srv/pub/private\"", true},
      {"/srv/pub//private", "\"/srv/pub/private\"", true},
      {"/srv/pub/x/../private", "\"/srv/pub/private\"", true},
      {"/srv/pub/private", "\"/srv/pub/private/\"", true},
      // Two double quotes alone, or a quote at one end only, are contained text.
      {"/srv/a\"\"b", "\"\"", true},
      {"/srv/pub", "\"\"", false},
      {"/srv/\"x/b", "\"x", true},
      {"/srv/x", "\"x", false},
      {"/srv/pub", "\"\"\"", false},
      // An empty pattern excludes nothing.
      {"/srv/pub", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isPathMatchingPattern(QString::fromLatin1(c.path), QString::fromLatin1(c.pattern)), c.excluded)
        << c.path << " against " << c.pattern;
  }
}

}  // namespace
