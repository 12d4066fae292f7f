// The rules of the local path exclusions category without a screen: what Add, an edit in
// place and a drop make of a text or a path, and that a dropped folder's pattern covers
// what lies inside it.

#include "editors/exclusion_patterns.h"

#include "core/configuration.h"
#include "server/matching.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QUrl>

#include <gtest/gtest.h>

namespace {

using namespace orv::editors;

class ExclusionPatterns : public testing::Test {
 protected:
  void SetUp() override { orv::core::gAppFolder = QStringLiteral("/opt/orvendale"); }
  void TearDown() override { orv::core::gAppFolder.clear(); }
};

TEST_F(ExclusionPatterns, AddTrimsPutsThePlaceholderAndQuotesAnExactPathOnce) {
  const QString long4000 = QStringLiteral("/srv/") + QString(3995, QLatin1Char('x'));
  struct Case {
    QString typed;
    bool exact;
    std::optional<QString> stored;
  };
  const Case cases[] = {
      {QStringLiteral("  private  "), false, QStringLiteral("private")},
      {QStringLiteral("\tprivate\n"), true, QStringLiteral("\"private\"")},
      {QStringLiteral("/opt/orvendale/private"), true, QStringLiteral("\"{folder:app}/private\"")},
      {QStringLiteral("/opt/orvendale/private"), false, QStringLiteral("{folder:app}/private")},
      {QStringLiteral("/opt/orvendale/cache/"), false, QStringLiteral("{folder:app}/cache/")},
      {QStringLiteral("/opt/orvendale"), true, QStringLiteral("\"{folder:app}\"")},
      // Letter for letter, as the file system compares, and only a whole folder name.
      {QStringLiteral("/opt/Orvendale/private"), true, QStringLiteral("\"/opt/Orvendale/private\"")},
      {QStringLiteral("/opt/orvendale-data/x"), false, QStringLiteral("/opt/orvendale-data/x")},
      // Already quoted: kept, in either form, the placeholder put inside.
      {QStringLiteral("\"/srv/pub/x\""), true, QStringLiteral("\"/srv/pub/x\"")},
      {QStringLiteral("\"/srv/pub/x\""), false, QStringLiteral("\"/srv/pub/x\"")},
      {QStringLiteral("  \"/srv/a b \"  "), true, QStringLiteral("\"/srv/a b \"")},
      {QStringLiteral("\"/opt/orvendale/x/\""), true, QStringLiteral("\"{folder:app}/x/\"")},
      {QStringLiteral("\"\""), true, QStringLiteral("\"\"\"\"")},
      // The root: every path lies below it, and every path contains it.
      {QStringLiteral("/"), false, QStringLiteral("/")},
      {QStringLiteral(" / "), true, QStringLiteral("\"/\"")},
      {QString(), true, std::nullopt},
      {QStringLiteral("   "), false, std::nullopt},
      {long4000, false, long4000},
      {long4000, true, QLatin1Char('"') + long4000 + QLatin1Char('"')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.left(60).toStdString() + (c.exact ? " (exact)" : " (contained)"));
    EXPECT_EQ(fnctTypedExclusion(c.typed, c.exact), c.stored);
  }
}

TEST_F(ExclusionPatterns, AnEditInPlaceIsTrimmedAndOtherwiseKeptAsTyped) {
  EXPECT_EQ(fnctEditedExclusion(QStringLiteral("  x  ")), std::optional<QString>(QStringLiteral("x")));
  EXPECT_EQ(fnctEditedExclusion(QStringLiteral("/opt/orvendale/x")),
            std::optional<QString>(QStringLiteral("/opt/orvendale/x")));
  EXPECT_EQ(fnctEditedExclusion(QStringLiteral("\"/a\"")), std::optional<QString>(QStringLiteral("\"/a\"")));
  EXPECT_FALSE(fnctEditedExclusion(QString()).has_value());
  EXPECT_FALSE(fnctEditedExclusion(QStringLiteral(" \t ")).has_value());
}

class DroppedExclusions : public testing::Test {
 protected:
  void SetUp() override {
    orv::core::gAppFolder = tmp_.makeFolder(QStringLiteral("app"));
    tmp_.write(QStringLiteral("app/cache/1.bmp"), "b");
    tmp_.write(QStringLiteral("pub/secret/sub/deep.txt"), "d");
    tmp_.write(QStringLiteral("pub/notes.txt"), "n");
  }
  void TearDown() override { orv::core::gAppFolder.clear(); }

  QUrl url(const char* name) const { return QUrl::fromLocalFile(tmp_.file(QLatin1String(name))); }
  QString quoted(const char* name) const {
    return QLatin1Char('"') + tmp_.file(QLatin1String(name)) + QLatin1Char('"');
  }

  TempFolder tmp_;
};

TEST_F(DroppedExclusions, AFolderGetsItsSlashAFileNoneAndBothTheirQuotes) {
  EXPECT_EQ(fnctDroppedExclusion(tmp_.file(QStringLiteral("pub/secret"))), quoted("pub/secret/"));
  EXPECT_EQ(fnctDroppedExclusion(tmp_.file(QStringLiteral("pub/notes.txt"))), quoted("pub/notes.txt"));
  EXPECT_EQ(fnctDroppedExclusion(tmp_.file(QStringLiteral("pub/gone"))), quoted("pub/gone"));
  EXPECT_EQ(fnctDroppedExclusion(tmp_.file(QStringLiteral("app/cache"))), QStringLiteral("\"{folder:app}/cache/\""));
  EXPECT_EQ(fnctDroppedExclusion(QStringLiteral("/")), QStringLiteral("\"/\""));
}

TEST_F(DroppedExclusions, ADropOnTheListKeepsItsOrderAndPassesOverOtherAddresses) {
  const QList<QUrl> urls = {url("pub/notes.txt"), QUrl(QStringLiteral("https://example.com/x")), url("pub/secret"),
                            url("pub/secret")};
  EXPECT_EQ(fnctDroppedExclusions(urls),
            (QStringList{quoted("pub/notes.txt"), quoted("pub/secret/"), quoted("pub/secret/")}));
  EXPECT_TRUE(fnctDroppedExclusions({}).isEmpty());
}

TEST_F(DroppedExclusions, ADropOnTheTextBoxGivesTheFirstPathPlain) {
  EXPECT_EQ(fnctDroppedExclusionText({url("app/cache"), url("pub/notes.txt")}),
            std::optional<QString>(QStringLiteral("{folder:app}/cache")));
  EXPECT_EQ(fnctDroppedExclusionText({url("pub/secret")}),
            std::optional<QString>(tmp_.file(QStringLiteral("pub/secret"))));
  EXPECT_FALSE(fnctDroppedExclusionText({QUrl(QStringLiteral("https://example.com/")), url("pub/notes.txt")}));
  EXPECT_FALSE(fnctDroppedExclusionText({}));
}

TEST_F(DroppedExclusions, TheDroppedFolderCoversEverythingInsideItAndNothingBeside) {
  const QString pattern = fnctDroppedExclusion(tmp_.file(QStringLiteral("pub/secret")));
  for (const char* inside : {"pub/secret", "pub/secret/", "pub/secret/sub/deep.txt", "pub/secret/sub/"}) {
    SCOPED_TRACE(inside);
    EXPECT_TRUE(orv::server::isPathMatchingPattern(tmp_.file(QLatin1String(inside)), pattern));
  }
  for (const char* beside : {"pub/secret2/a.txt", "pub/notes.txt", "pub"}) {
    SCOPED_TRACE(beside);
    EXPECT_FALSE(orv::server::isPathMatchingPattern(tmp_.file(QLatin1String(beside)), pattern));
  }
  const QString cache = fnctDroppedExclusion(tmp_.file(QStringLiteral("app/cache")));
  EXPECT_TRUE(orv::server::isPathMatchingPattern(tmp_.file(QStringLiteral("app/cache/1.bmp")), cache));
}

}  // namespace
