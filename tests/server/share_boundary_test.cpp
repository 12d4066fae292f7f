#include "server/share_boundary.h"

#include "road_fixture.h"

#include "server/request_routing.h"
#include "support/file_permissions.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using orv::core::gConfiguration;
using orv::server::fnctRouteRequest;
using orv::server::forgetResolvedFolders;
using orv::server::getResolvedFolder;
using orv::server::openPlainFileInside;
using orv::server::PathState;
using orv::server::RequestContext;

class PlainRoad : public RoadFixture {
 protected:
  void SetUp() override {
    RoadFixture::SetUp();
    tmp.write(QStringLiteral("pub/docs/a.txt"), "12345");
    tmp.write(QStringLiteral("pub/.hidden/b.txt"), "b");
    tmp.write(QStringLiteral("pub/.dot.txt"), "d");
    tmp.write(QStringLiteral("secret.txt"), "SECRET");
    tmp.write(QStringLiteral("app/resources/style.css"), "css");
    tmp.write(QStringLiteral("mp3/song.mp3"), "mp3");
    tmp.write(QStringLiteral("pub/private/inner.txt"), "private");
    link(tmp.file(QStringLiteral("pub/docs/a.txt")), QStringLiteral("pub/inner-link"));
    link(tmp.file(QStringLiteral("pub/docs")), QStringLiteral("pub/docs-link"));
    link(tmp.file(QStringLiteral("secret.txt")), QStringLiteral("pub/out"));
    link(tmp.file(QStringLiteral("pub/.hidden/b.txt")), QStringLiteral("pub/to-hidden"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(tmp.file(QStringLiteral("pub/pipe"))).constData(), 0600), 0);
    ASSERT_TRUE(addShare(QStringLiteral("id1"), QStringLiteral("/music/"), tmp.file(QStringLiteral("mp3"))));
    // A restricted share whose folder lies inside the root share's.
    ASSERT_TRUE(addShare(QStringLiteral("id2"), QStringLiteral("/closed/"), tmp.file(QStringLiteral("pub/private")),
                         QStringLiteral("amy")));
  }

  static RequestContext route(const char* url, bool fullRoadOnly) {
    orv::platform::setBeneathOpenUnsupportedForTest(fullRoadOnly);
    RequestContext context = contextFor(QString::fromUtf8(url));
    EXPECT_TRUE(fnctRouteRequest(context).goesOn());
    orv::platform::setBeneathOpenUnsupportedForTest(false);
    return context;
  }
};

// Every URL gets the same states, paths and share values on both roads; only a plain file
// carries the handle of its one open.
TEST_F(PlainRoad, BothRoadsAgreeAndOnlyThePlainCaseKeepsItsHandle) {
  const struct {
    const char* url;
    bool plain;
  } cases[] = {
      {"/docs/a.txt", true},
      {"/music/song.mp3", true},
      {"/?res=style.css", true},
      {"/private/inner.txt", true},
      {"/closed/inner.txt", true},
      {"/inner-link", false},
      {"/docs-link/a.txt", false},
      {"/out", false},
      {"/to-hidden", false},
      {"/.hidden/b.txt", false},
      {"/docs/", false},
      {"/docs", false},
      {"/pipe", false},
      {"/missing.txt", false},
      {"/music/missing.mp3", false},
      {"/docs%2f%2fa.txt", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const RequestContext plain = route(c.url, false);
    const RequestContext full = route(c.url, true);
    EXPECT_EQ(plain.kind, full.kind);
    EXPECT_EQ(plain.localPath, full.localPath);
    EXPECT_EQ(plain.resolvedPath, full.resolvedPath);
    EXPECT_EQ(plain.fileState, full.fileState);
    EXPECT_EQ(plain.folderState, full.folderState);
    EXPECT_EQ(plain.share.restricted, full.share.restricted);
    EXPECT_EQ(plain.share.users, full.share.users);
    EXPECT_FALSE(full.openedFile);
    ASSERT_EQ(plain.openedFile != nullptr, c.plain);
    if (c.plain) {
      EXPECT_EQ(plain.fileState, PathState::Usable);
      EXPECT_EQ(plain.openedFile->status().size, QFileInfo(plain.localPath).size());
    }
  }
  // The restricted share inside the root share's folder still restricts the file, whichever
  // road found it.
  EXPECT_TRUE(route("/private/inner.txt", false).share.restricted);
}

TEST_F(PlainRoad, WithHiddenItemsShownAHiddenNameIsPlainToo) {
  gConfiguration.HtmlDisplay.VIEW_HIDDEN_DISK_ITEMS = true;
  for (const char* url : {"/.dot.txt", "/.hidden/b.txt"}) {
    SCOPED_TRACE(url);
    const RequestContext plain = route(url, false);
    const RequestContext full = route(url, true);
    ASSERT_TRUE(plain.openedFile);
    EXPECT_EQ(plain.resolvedPath, full.resolvedPath);
    EXPECT_EQ(plain.fileState, full.fileState);
  }
}

TEST_F(PlainRoad, AnUnreadableFileTakesTheFullRoadAndIsNotUsable) {
  const QString file = tmp.write(QStringLiteral("pub/locked.txt"), "x");
  ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::WriteOwner));
  const ObeyFilePermissions obey;
  if (!obey.binding()) {
    GTEST_SKIP() << "permissions cannot be made binding here";
  }
  const RequestContext context = route("/locked.txt", false);
  EXPECT_FALSE(context.openedFile);
  EXPECT_EQ(context.fileState, PathState::NotUsable);
}

TEST_F(PlainRoad, TheApplicationsOwnFilesAreLeftToTheFullRoad) {
  const QString config = tmp.write(QStringLiteral("app/config.xml"), "<config/>");
  EXPECT_FALSE(openPlainFileInside(config, orv::core::gAppFolder));
  EXPECT_FALSE(openPlainFileInside(tmp.write(QStringLiteral("app/cache/x.bmp"), "x"), orv::core::gAppFolder));
  EXPECT_FALSE(openPlainFileInside(tmp.write(QStringLiteral("app/Cache/y.bmp"), "x"), orv::core::gAppFolder));
  EXPECT_TRUE(openPlainFileInside(tmp.write(QStringLiteral("app/lang/english.xml"), "x"), orv::core::gAppFolder));
  EXPECT_TRUE(openPlainFileInside(tmp.write(QStringLiteral("app/cached/x.bmp"), "x"), orv::core::gAppFolder));
}

TEST_F(PlainRoad, OnlyPlainPathsBelowTheFolderAreTried) {
  const QString folder = tmp.file(QStringLiteral("pub"));
  for (const char* relative :
       {"", "/", "//docs/a.txt", "/docs//a.txt", "/./docs/a.txt", "/docs/../docs/a.txt", "/docs/a.txt/", "/docs/."}) {
    SCOPED_TRACE(relative);
    EXPECT_FALSE(openPlainFileInside(folder + QString::fromUtf8(relative), folder));
  }
  // A folder written with "//" in it: the full road finds nothing there.
  const QString doubled = tmp.file(QStringLiteral("/pub"));
  ASSERT_TRUE(doubled.contains(QStringLiteral("//")));
  EXPECT_FALSE(openPlainFileInside(doubled + QStringLiteral("/docs/a.txt"), doubled));
  EXPECT_TRUE(openPlainFileInside(folder + QStringLiteral("/docs/a.txt"), folder));
  // Not below the folder at all, or below another folder of a longer name.
  EXPECT_FALSE(openPlainFileInside(tmp.file(QStringLiteral("secret.txt")), folder));
  EXPECT_FALSE(openPlainFileInside(tmp.file(QStringLiteral("pub2/a.txt")), folder));
  const std::optional<orv::server::PlainFile> plain =
      openPlainFileInside(folder + QStringLiteral("/docs/a.txt"), folder + QLatin1Char('/'));
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->resolvedPath, orv::platform::canonicalPath(folder + QStringLiteral("/docs/a.txt")));
}

TEST_F(PlainRoad, AShareReachedThroughALinkIsResolvedToItsRealFolder) {
  link(tmp.file(QStringLiteral("pub")), QStringLiteral("pub-link"));
  gConfiguration.Shared.RootShare.localPath = tmp.file(QStringLiteral("pub-link"));
  const RequestContext context = route("/docs/a.txt", false);
  ASSERT_TRUE(context.openedFile);
  EXPECT_EQ(context.localPath, tmp.file(QStringLiteral("pub-link/docs/a.txt")));
  EXPECT_EQ(context.resolvedPath, orv::platform::canonicalPath(tmp.file(QStringLiteral("pub/docs/a.txt"))));
}

TEST_F(PlainRoad, AFolderIsResolvedOnceUntilTheFoldersAreForgotten) {
  const int before = orv::platform::openDescriptorCount();
  const QString folder = tmp.file(QStringLiteral("pub"));
  const orv::server::ResolvedFolder first = getResolvedFolder(folder);
  EXPECT_EQ(first.path, orv::platform::canonicalPath(folder));
  EXPECT_EQ(getResolvedFolder(folder).handle, first.handle);
  EXPECT_EQ(orv::platform::openDescriptorCount(), before + 1);
  // A folder that does not exist is not remembered: it may appear later.
  const QString later = tmp.file(QStringLiteral("later"));
  EXPECT_TRUE(getResolvedFolder(later).path.isEmpty());
  tmp.makeFolder(QStringLiteral("later"));
  EXPECT_EQ(getResolvedFolder(later).path, orv::platform::canonicalPath(later));
  forgetResolvedFolders();
  EXPECT_EQ(orv::platform::openDescriptorCount(), before);
}

}  // namespace
