#include "core/configuration.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using orv::core::fnctCheckConfiguration;
using orv::core::gAppFolder;
using orv::core::ShareEntry;
using orv::core::tConfiguration;

// An application folder with an English language file and the default page stylesheet.
class CheckConfiguration : public ::testing::Test {
 protected:
  void SetUp() override {
    previousAppFolder_ = gAppFolder;
    gAppFolder = app_.path();
    app_.write(QStringLiteral("lang/english.xml"), "<LANGUAGE/>");
    app_.write(QStringLiteral("resources/classic-full.xsl"), "<xsl/>");
  }
  void TearDown() override { gAppFolder = previousAppFolder_; }

  TempFolder app_;
  QString previousAppFolder_;
};

// Each row: a field's value before the check -> after it.
template <typename T>
struct Row {
  T before;
  T after;
};

TEST_F(CheckConfiguration, PortMustBeANumberFrom1To65535) {
  const Row<const char*> rows[] = {{"40000", "40000"}, {"1", "1"},    {"65535", "65535"}, {"65536", "80"}, {"0", "80"},
                                   {"-5", "80"},       {"abc", "80"}, {"", "80"},         {"0.4", "80"}};
  for (const auto& row : rows) {
    tConfiguration record;
    record.Protocol.LOCAL_PORT = QLatin1String(row.before);
    EXPECT_EQ(fnctCheckConfiguration(record).Protocol.LOCAL_PORT, QLatin1String(row.after)) << row.before;
  }
}

TEST_F(CheckConfiguration, NumbersOutOfTheirRangeTakeTheirDefault) {
  const Row<int> banDurations[] = {{86400, 86400}, {1, 1}, {86401, 240}, {0, 240}, {-3, 240}};
  const Row<int> identificationErrors[] = {{-1, -1}, {5, 5}, {-2, 20}, {0, 20}};
  const Row<int> maxEntries[] = {{-1, -1}, {1, 1}, {-2, 150}, {0, 150}};
  const Row<int> dimensions[] = {{9, 96}, {10, 10}, {-4, 96}};
  const Row<int> cacheSizes[] = {{0, 10000000}, {-5, -5}, {1, 1}};
  const Row<int> methods[] = {{1, 1}, {2, 2}, {0, 2}, {3, 2}};
  for (const auto& row : banDurations) {
    tConfiguration record;
    record.Protocol.BAN_DURATION = row.before;
    EXPECT_EQ(fnctCheckConfiguration(record).Protocol.BAN_DURATION, row.after) << row.before;
  }
  for (const auto& row : identificationErrors) {
    tConfiguration record;
    record.Protocol.MAX_IDENTIFICATION_ERROR = row.before;
    EXPECT_EQ(fnctCheckConfiguration(record).Protocol.MAX_IDENTIFICATION_ERROR, row.after) << row.before;
  }
  for (const auto& row : maxEntries) {
    tConfiguration record;
    record.History.MAX_ENTRY = row.before;
    EXPECT_EQ(fnctCheckConfiguration(record).History.MAX_ENTRY, row.after) << row.before;
  }
  for (const auto& row : dimensions) {
    tConfiguration record;
    record.HtmlDisplay.MINATURE_DIMENSION = row.before;
    EXPECT_EQ(fnctCheckConfiguration(record).HtmlDisplay.MINATURE_DIMENSION, row.after) << row.before;
  }
  for (const auto& row : cacheSizes) {
    tConfiguration record;
    record.Other.MINATURE_CACHE_SIZE_MAX = row.before;
    EXPECT_EQ(fnctCheckConfiguration(record).Other.MINATURE_CACHE_SIZE_MAX, row.after) << row.before;
  }
  for (const auto& row : methods) {
    tConfiguration record;
    record.Protocol.IDENTIFICATION_METHOD = row.before;
    EXPECT_EQ(fnctCheckConfiguration(record).Protocol.IDENTIFICATION_METHOD, row.after) << row.before;
  }
}

TEST_F(CheckConfiguration, ZeroMethodsBecomeTwoAndOthersStay) {
  tConfiguration record;
  record.IpFilters.bytMethod = 0;
  record.HtmlDisplay.PAGE_BUILD_METHOD = 0;
  tConfiguration checked = fnctCheckConfiguration(record);
  EXPECT_EQ(checked.IpFilters.bytMethod, 2);
  EXPECT_EQ(checked.HtmlDisplay.PAGE_BUILD_METHOD, 2);
  record.IpFilters.bytMethod = 1;
  record.HtmlDisplay.PAGE_BUILD_METHOD = 1;
  checked = fnctCheckConfiguration(record);
  EXPECT_EQ(checked.IpFilters.bytMethod, 1);
  EXPECT_EQ(checked.HtmlDisplay.PAGE_BUILD_METHOD, 1);
}

TEST_F(CheckConfiguration, ShareListDisplayCodesOutsideTheirChoicesTakeTheirDefault) {
  tConfiguration record;
  record.AppDisplay.SHARES_LIST_SHOW_BY = 3;
  record.AppDisplay.SHARES_LIST_SORT_BY = 0;
  record.AppDisplay.SHARES_LIST_ITEMS_TEXT = 4;
  tConfiguration checked = fnctCheckConfiguration(record);
  EXPECT_EQ(checked.AppDisplay.SHARES_LIST_SHOW_BY, 1);
  EXPECT_EQ(checked.AppDisplay.SHARES_LIST_SORT_BY, 2);
  EXPECT_EQ(checked.AppDisplay.SHARES_LIST_ITEMS_TEXT, 1);
  record.AppDisplay.SHARES_LIST_SHOW_BY = 2;
  record.AppDisplay.SHARES_LIST_SORT_BY = 1;
  record.AppDisplay.SHARES_LIST_ITEMS_TEXT = 3;
  checked = fnctCheckConfiguration(record);
  EXPECT_EQ(checked.AppDisplay.SHARES_LIST_SHOW_BY, 2);
  EXPECT_EQ(checked.AppDisplay.SHARES_LIST_SORT_BY, 1);
  EXPECT_EQ(checked.AppDisplay.SHARES_LIST_ITEMS_TEXT, 3);
}

TEST_F(CheckConfiguration, ExtensionTextWithoutSemicolonOrDotIsReplacedByTheBuiltInList) {
  const Row<const char*> rows[] = {
      {".mp3;", ".mp3;"}, {"mp3", nullptr}, {".mp3", nullptr}, {"mp3;", nullptr}, {"", nullptr}};
  for (const auto& row : rows) {
    tConfiguration record;
    record.ShellExtension.SOUND = QLatin1String(row.before);
    record.ShellExtension.IMAGE = QLatin1String(row.before);
    record.ShellExtension.VIDEO = QLatin1String(row.before);
    const tConfiguration checked = fnctCheckConfiguration(record);
    const bool kept = row.after != nullptr;
    EXPECT_EQ(checked.ShellExtension.SOUND, kept ? QLatin1String(row.after) : orv::core::defaultSoundExtensions());
    EXPECT_EQ(checked.ShellExtension.IMAGE, kept ? QLatin1String(row.after) : orv::core::defaultImageExtensions());
    EXPECT_EQ(checked.ShellExtension.VIDEO, kept ? QLatin1String(row.after) : orv::core::defaultVideoExtensions());
  }
  EXPECT_TRUE(orv::core::defaultSoundExtensions().startsWith(QLatin1String(".pls;.m3u;")));
  EXPECT_TRUE(orv::core::defaultVideoExtensions().endsWith(QLatin1String(".ogm;.m4v;")));
}

TEST_F(CheckConfiguration, MissingLanguageFileFallsBackToEnglishThenToNothing) {
  app_.write(QStringLiteral("lang/french.xml"), "<LANGUAGE/>");
  app_.write(QStringLiteral("outside.xml"), "<LANGUAGE/>");
  struct Case {
    const char* fileName;
    const char* expected;
  };
  const Case cases[] = {
      {"french.xml", "french.xml"},
      {"german.xml", "english.xml"},
      {"", "english.xml"},
      {"../outside.xml", "english.xml"},  // names only files of the folder "lang"
  };
  for (const Case& c : cases) {
    tConfiguration record;
    record.Language.FILENAME = QLatin1String(c.fileName);
    record.Language.strLanguageFilePath = gAppFolder + QStringLiteral("/lang/") + record.Language.FILENAME;
    const tConfiguration checked = fnctCheckConfiguration(record);
    EXPECT_EQ(checked.Language.FILENAME, QLatin1String(c.expected)) << c.fileName;
    EXPECT_EQ(checked.Language.strLanguageFilePath, gAppFolder + QStringLiteral("/lang/") + QLatin1String(c.expected));
  }
  QFile::remove(app_.file(QStringLiteral("lang/english.xml")));
  tConfiguration record;
  record.Language.FILENAME = QStringLiteral("german.xml");
  const tConfiguration checked = fnctCheckConfiguration(record);
  EXPECT_EQ(checked.Language.FILENAME, QString());
  EXPECT_EQ(checked.Language.strLanguageFilePath, QString());
}

TEST_F(CheckConfiguration, RootShareOfAMissingFolderComesBackShowingEveryKind) {
  ShareEntry root;
  root.localPath = app_.file(QStringLiteral("deleted"));
  root.users = QStringLiteral("amy");
  root.restricted = true;
  tConfiguration record;
  record.Shared.RootShare = root;

  ShareEntry checked = fnctCheckConfiguration(record).Shared.RootShare;
  EXPECT_EQ(checked.localPath, gAppFolder);
  EXPECT_TRUE(checked.sharePhysicalFolder && checked.shareVirtualFolder && checked.shareOther && checked.shareSound &&
              checked.shareImage && checked.shareVideo);
  EXPECT_EQ(checked.users, QStringLiteral("amy"));
  EXPECT_TRUE(checked.restricted);

  app_.makeFolder(QStringLiteral("my shared folder"));
  EXPECT_EQ(fnctCheckConfiguration(record).Shared.RootShare.localPath,
            gAppFolder + QStringLiteral("/my shared folder"));
}

TEST_F(CheckConfiguration, RootShareOfAnExistingFolderKeepsItsKinds) {
  ShareEntry root;
  root.localPath = app_.makeFolder(QStringLiteral("public"));
  root.shareImage = true;
  tConfiguration record;
  record.Shared.RootShare = root;
  const ShareEntry checked = fnctCheckConfiguration(record).Shared.RootShare;
  EXPECT_EQ(checked.localPath, root.localPath);
  EXPECT_FALSE(checked.sharePhysicalFolder);
  EXPECT_TRUE(checked.shareImage);
}

TEST_F(CheckConfiguration, PageStylesheetMustBeAFileOfTheResourcesFolder) {
  app_.write(QStringLiteral("resources/mine.xsl"), "<xsl/>");
  const Row<const char*> rows[] = {
      {"mine.xsl", "mine.xsl"}, {"gone.xsl", "classic-full.xsl"}, {"", "classic-full.xsl"}};
  for (const auto& row : rows) {
    tConfiguration record;
    record.HtmlDisplay.XSL_FILE = QLatin1String(row.before);
    EXPECT_EQ(fnctCheckConfiguration(record).HtmlDisplay.XSL_FILE, QLatin1String(row.after)) << row.before;
  }
}

TEST_F(CheckConfiguration, KeywordAndDomainLists) {
  tConfiguration record;
  record.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS.clear();
  record.Protocol.ALLOW_ONLY_DOMAINS = true;
  tConfiguration checked = fnctCheckConfiguration(record);
  EXPECT_EQ(checked.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS,
            (QStringList{QStringLiteral("winamp"), QStringLiteral("nsplayer"), QStringLiteral("foobar"),
                         QStringLiteral("itunes"), QString()}));
  EXPECT_TRUE(checked.AppsNameManagement.BANNED_CLIENTS_KEYWORDS.isEmpty());
  EXPECT_FALSE(checked.Protocol.ALLOW_ONLY_DOMAINS);

  record.Protocol.DOMAINS_LIST = QStringList{QStringLiteral("a.org"), QString()};
  record.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS = QStringList{QStringLiteral("vlc"), QString()};
  checked = fnctCheckConfiguration(record);
  EXPECT_TRUE(checked.Protocol.ALLOW_ONLY_DOMAINS);
  EXPECT_EQ(checked.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS, record.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS);
}

TEST(ShareStore, ElevenListsStayInStep) {
  orv::core::tShares shares;
  ShareEntry music{QStringLiteral("id1"),
                   QStringLiteral("/music/"),
                   QStringLiteral("/srv/music"),
                   QString(),
                   false,
                   true,
                   true,
                   false,
                   true,
                   false,
                   false};
  ShareEntry photos{QStringLiteral("id2"),
                    QStringLiteral("/photos/"),
                    QStringLiteral("/srv/photos"),
                    QStringLiteral("amy"),
                    true,
                    false,
                    false,
                    false,
                    false,
                    true,
                    false};
  EXPECT_TRUE(shares.add(music));
  EXPECT_TRUE(shares.add(photos));
  ShareEntry sameKey = photos;
  sameKey.id = QStringLiteral("ID1");
  EXPECT_FALSE(shares.add(sameKey));
  EXPECT_FALSE(shares.add(ShareEntry{}));
  ASSERT_EQ(shares.count(), 2);
  EXPECT_EQ(shares.ids.value(QStringLiteral("id2")), QStringLiteral("id2"));
  EXPECT_EQ(shares.users.value(QStringLiteral("id2")), QStringLiteral("amy"));
  EXPECT_EQ(shares.entryAt(2).serverPath, QStringLiteral("/photos/"));

  EXPECT_TRUE(shares.remove(QStringLiteral("id1")));
  EXPECT_FALSE(shares.remove(QStringLiteral("id1")));
  ASSERT_EQ(shares.count(), 1);
  for (qsizetype count : {shares.serverPath.count(), shares.localPath.count(), shares.restricted.count(),
                          shares.shareVideo.count(), shares.sharePhysicalFolder.count()}) {
    EXPECT_EQ(count, 1);
  }
  const ShareEntry left = shares.entryAt(1);
  EXPECT_EQ(left.id, QStringLiteral("id2"));
  EXPECT_TRUE(left.restricted);
  EXPECT_TRUE(left.shareImage);
  EXPECT_EQ(shares.RootShare.id, QStringLiteral("id0"));
  EXPECT_EQ(shares.RootShare.serverPath, QStringLiteral("/"));
}

TEST(UserAccounts, FiveListsStayInStep) {
  orv::core::tConfUsers users;
  EXPECT_TRUE(users.add(
      {QStringLiteral("id1"), QStringLiteral("amy"), QStringLiteral("pw"), QStringLiteral("a.png"), QString()}));
  EXPECT_TRUE(users.add(
      {QStringLiteral("id2"), QStringLiteral("bob"), QStringLiteral("pw2"), QString(), QStringLiteral("b.gif")}));
  orv::core::UserAccount sameKey;
  sameKey.id = QStringLiteral("Id2");
  EXPECT_FALSE(users.add(sameKey));
  EXPECT_TRUE(users.remove(QStringLiteral("id1")));
  ASSERT_EQ(users.count(), 1);
  EXPECT_EQ(users.login.count(), 1);
  EXPECT_EQ(users.urlsicon.count(), 1);
  EXPECT_EQ(users.accountAt(1).login, QStringLiteral("bob"));
  EXPECT_EQ(users.accountAt(1).urlsicon, QStringLiteral("b.gif"));
}

}  // namespace
