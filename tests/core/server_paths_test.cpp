#include "core/server_paths.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using namespace orv::core;

ShareEntry share(int number, const QString& serverPath, const QString& users = {}) {
  ShareEntry entry;
  entry.id = QStringLiteral("id%1").arg(number);
  entry.serverPath = serverPath;
  entry.localPath = QStringLiteral("/srv/share%1").arg(number);
  entry.users = users;
  return entry;
}

struct TextCase {
  const char* input;
  const char* expected;
};

TEST(ServerPaths, NormalizeMakesThePathBeginAndEndWithASlash) {
  const TextCase cases[] = {
      {"music", "/music/"},  {"/music/", "/music/"}, {"", ""},        {"/music", "/music/"},
      {"music/", "/music/"}, {" music ", "/music/"}, {" /a", "//a/"}, {"/", "/"},
  };
  for (const TextCase& row : cases) {
    EXPECT_EQ(fnctNormalizeServerPath(QLatin1String(row.input)), QLatin1String(row.expected)) << row.input;
  }
}

TEST(ServerPaths, ValidServerPaths) {
  const struct {
    const char* path;
    bool expected;
  } cases[] = {
      {"", false},       {"   ", false},    {"/a b /", false},    {"/ a/", false},  {"/a//b/", false}, {"/a:b/", false},
      {"/a\\b/", false}, {"/a|b/", false},  {"/a>b/", false},     {"/a<b/", false}, {"/a\"b/", false}, {"/a?b/", false},
      {"/a*b/", false},  {"/music/", true}, {"/my music/", true}, {"music", true},  {"/été/", true},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(isValidServerPath(QString::fromUtf8(row.path)), row.expected) << row.path;
  }
}

TEST(ServerPaths, IncrementSuffixProposesTheNextName) {
  const TextCase cases[] = {
      {"/music_2/", "/music_3/"},
      {"/a_9/", "/a_10/"},
      {"/music/", "/music_2/"},
      {"/my_music/", "/my_music_2/"},
      {"/a_b/", "/a_b_2/"},
      {"/a_007/", "/a_8/"},
      {"/a_32766/", "/a_32767/"},
      // The 16-bit number would overflow: a new suffix starts instead.
      {"/a_32767/", "/a_32767_2/"},
      {"/a_99999999999/", "/a_99999999999_2/"},
      {"/a_-3/", "/a_-3_2/"},
      {"/a_/", "/a__2/"},
      {"music", "music_2/"},
  };
  for (const TextCase& row : cases) {
    EXPECT_EQ(fnctIncrementServerPathSuffix(QLatin1String(row.input)), QLatin1String(row.expected)) << row.input;
  }
}

TEST(ServerPaths, ProposingNamesAgainAndAgainEnds) {
  QString path = QStringLiteral("/a_32700/");
  for (int step = 0; step < 200; ++step) {
    path = fnctIncrementServerPathSuffix(path);
  }
  EXPECT_TRUE(path.startsWith(QStringLiteral("/a_32767_"))) << path.toStdString();
}

TEST(ServerPaths, UsedPathsCompareEncodedAndIgnoringCase) {
  tShares shares;
  ASSERT_TRUE(shares.add(share(1, QStringLiteral("/music/"))));
  ASSERT_TRUE(shares.add(share(2, QStringLiteral("/my%20films/"))));
  ASSERT_TRUE(shares.add(share(3, QStringLiteral("/%C3%A9t%C3%A9/"))));
  const struct {
    const char* path;
    bool expected;
  } cases[] = {
      {"Music", true}, {"/MUSIC/", true},  {"my films", true}, {"/été/", true},
      {"/", true},     {"/films/", false}, {"", false},        {"/music/rock/", false},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(isServerPathUsed(QString::fromUtf8(row.path), shares), row.expected) << row.path;
  }
}

TEST(ServerPaths, TheRootPathIsAlwaysUsed) {
  EXPECT_TRUE(isServerPathUsed(QStringLiteral("/"), tShares()));
}

TEST(ServerPaths, UsedPathsReadTheConfigurationByDefault) {
  const tShares saved = gConfiguration.Shared;
  gConfiguration.Shared = tShares();
  ASSERT_TRUE(gConfiguration.Shared.add(share(1, QStringLiteral("/music/"))));
  EXPECT_TRUE(isServerPathUsed(QStringLiteral("music")));
  EXPECT_FALSE(isServerPathUsed(QStringLiteral("films")));
  gConfiguration.Shared = saved;
}

TEST(ShareUsers, FilterKeepsKnownLoginsInOrder) {
  const QStringList known = {QStringLiteral("amy"), QStringLiteral("BOB")};
  const TextCase cases[] = {
      {"bob:eve::amy", "bob:amy"}, {"eve", ""}, {"", ""}, {":", ""}, {"amy:amy", "amy:amy"}, {"AMY", "AMY"},
  };
  for (const TextCase& row : cases) {
    EXPECT_EQ(fnctFilterUsersList(QLatin1String(row.input), known), QLatin1String(row.expected)) << row.input;
  }
  EXPECT_EQ(fnctFilterUsersList(QStringLiteral("amy"), {}), QString());
}

TEST(ShareUsers, UsedLoginsAreDistinctInOrderOfFirstAppearance) {
  tShares shares;
  shares.RootShare.users = QStringLiteral("amy");
  ASSERT_TRUE(shares.add(share(1, QStringLiteral("/a/"), QStringLiteral("bob:AMY"))));
  ASSERT_TRUE(shares.add(share(2, QStringLiteral("/b/"))));
  ASSERT_TRUE(shares.add(share(3, QStringLiteral("/c/"), QStringLiteral("eve::bob"))));
  EXPECT_EQ(getUsersUsedByShares(shares),
            (QStringList{QStringLiteral("amy"), QStringLiteral("bob"), QStringLiteral("eve")}));
  EXPECT_EQ(getUsersUsedByShares(tShares()), QStringList());
}

}  // namespace
