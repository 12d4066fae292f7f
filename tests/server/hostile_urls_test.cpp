#include "server/request_routing.h"

#include "road_fixture.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using orv::core::gConfiguration;
using orv::server::fnctRouteRequest;
using orv::server::PathState;
using orv::server::RequestContext;
using orv::server::RequestKind;

enum class Outcome {
  Refused,     // nothing found: answered 404 further on the road
  Inside,      // found inside the folder that serves it, at the expected local path
  BadRequest,  // answered 400 at once
};

struct HostileCase {
  const char* url;
  Outcome outcome;
  RequestKind kind;
  const char* localPath;  // under the temporary folder, for Inside
};

void PrintTo(const HostileCase& row, std::ostream* out) {
  *out << row.url;
}

// Beside the shares lie secret.txt and secretdir/inner.txt; the root share is pub, the share
// /music/ is mp3. Links: pub/link-file and pub/relative-out to secret.txt, pub/link-dir to
// secretdir, pub/inner-link to pub/docs/a.txt, mp3/out to secret.txt, mp3/to-pub to pub,
// resources/out-link to secret.txt.
const HostileCase kHostileCases[] = {
    {"/docs/a.txt", Outcome::Inside, RequestKind::Path, "pub/docs/a.txt"},
    {"/../secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/docs/../../secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/docs/../a.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/./docs/a.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/..", Outcome::Refused, RequestKind::Path, ""},
    {"/%2e%2e/secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/%2E%2e%2fsecret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/..%2fsecret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/docs%2f..%2f..%2fsecret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/%252e%252e/secret.txt", Outcome::Refused, RequestKind::Path, ""},
    // "%2f" inside a name is a separator once decoded, and stays inside.
    {"/docs%2fa.txt", Outcome::Inside, RequestKind::Path, "pub/docs/a.txt"},
    {"//secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/docs//a.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/%2f%2e%2e/secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/%00", Outcome::BadRequest, RequestKind::Path, ""},
    {"/docs/a.txt%00.jpg", Outcome::BadRequest, RequestKind::Path, ""},
    // Overlong UTF-8 forms of "." and "/" are no dots and no separators.
    {"/%C0%AE%C0%AE/secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/%C0%AE%C0%AE%C0%AFsecret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/docs%C0%AF..%C0%AF..%C0%AFsecret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/%E0%80%AE%E0%80%AE/secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/%C0%AE%C0%AE%2f%C0%AE%C0%AE%2fsecret.txt", Outcome::Refused, RequestKind::Path, ""},
    // A backslash is part of a name here, never a separator.
    {"/..\\secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/..%5csecret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/docs\\..\\..\\secret.txt", Outcome::Refused, RequestKind::Path, ""},
    // Links that point out are refused; a link that stays inside is served.
    {"/link-file", Outcome::Refused, RequestKind::Path, ""},
    {"/relative-out", Outcome::Refused, RequestKind::Path, ""},
    {"/link-dir/", Outcome::Refused, RequestKind::Path, ""},
    {"/link-dir/inner.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/inner-link", Outcome::Inside, RequestKind::Path, "pub/inner-link"},
    // The same in a share, whose folder is its boundary (the root folder is not its own).
    {"/music/a.mp3", Outcome::Inside, RequestKind::Path, "mp3/a.mp3"},
    {"/music/out", Outcome::Refused, RequestKind::Path, ""},
    {"/music/to-pub/docs/a.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/music/../secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/music/%2e%2e/secret.txt", Outcome::Refused, RequestKind::Path, ""},
    {"/music/..%2f..%2fsecret.txt", Outcome::Refused, RequestKind::Path, ""},
    // A resource that would leave the resources folder is no resource: the URL "/" remains.
    {"/?res=style.css", Outcome::Inside, RequestKind::Resource, "app/resources/style.css"},
    {"/?res=../../secret.txt", Outcome::Inside, RequestKind::Path, "pub/"},
    {"/?res=%2e%2e%2f%2e%2e%2fsecret.txt", Outcome::Inside, RequestKind::Path, "pub/"},
    {"/?res=..%2fconfig.xml", Outcome::Inside, RequestKind::Path, "pub/"},
    {"/?res=%C0%AE%C0%AE%C0%AFconfig.xml", Outcome::Inside, RequestKind::Path, "pub/"},
    {"/?res=out-link", Outcome::Inside, RequestKind::Path, "pub/"},
    {"/?res=/etc/passwd", Outcome::Inside, RequestKind::Path, "pub/"},
    {"/?res=style.css%00", Outcome::BadRequest, RequestKind::Path, ""},
    // Thumbnails, single items and sections address a path like any other.
    {"/?miniature=../secret.txt", Outcome::Refused, RequestKind::Thumbnail, ""},
    {"/?miniature=%2e%2e/secret.txt", Outcome::Refused, RequestKind::Thumbnail, ""},
    {"/?miniature=..%2fsecret.txt", Outcome::Refused, RequestKind::Thumbnail, ""},
    {"/?miniature=link-file", Outcome::Refused, RequestKind::Thumbnail, ""},
    {"/?miniature=/../secret.txt", Outcome::Refused, RequestKind::Thumbnail, ""},
    {"/music/?miniature=out", Outcome::Refused, RequestKind::Thumbnail, ""},
    {"/photos/?miniature=cat.jpg", Outcome::Inside, RequestKind::Thumbnail, "pub/photos/cat.jpg"},
    {"/docs/?item.xml=..%2f..%2fsecret.txt", Outcome::Refused, RequestKind::SingleItem, ""},
    {"/?item.xml=%2e%2e", Outcome::Refused, RequestKind::SingleItem, ""},
    {"/?item.xml=link-dir", Outcome::Refused, RequestKind::SingleItem, ""},
    {"/?item.xml=link-dir/inner.txt", Outcome::Refused, RequestKind::SingleItem, ""},
    {"/?item.xml=inner-link", Outcome::Inside, RequestKind::SingleItem, "pub/inner-link"},
    {"/link-dir/?section.xml=folder", Outcome::Refused, RequestKind::Section, ""},
    {"/../?section.xml=folder", Outcome::Refused, RequestKind::Section, ""},
    {"/%2e%2e/?section.xml=other", Outcome::Refused, RequestKind::Section, ""},
    {"/docs/?section.xml=other", Outcome::Inside, RequestKind::Section, "pub/docs/"},
};

class HostileUrlTest : public RoadFixture, public testing::WithParamInterface<HostileCase> {
 protected:
  void SetUp() override {
    RoadFixture::SetUp();
    tmp.write(QStringLiteral("secret.txt"), "SECRET");
    tmp.write(QStringLiteral("secretdir/inner.txt"), "SECRET");
    tmp.write(QStringLiteral("pub/docs/a.txt"), "a");
    tmp.write(QStringLiteral("pub/photos/cat.jpg"), "cat");
    tmp.write(QStringLiteral("mp3/a.mp3"), "mp3");
    tmp.write(QStringLiteral("app/resources/style.css"), "css");
    tmp.write(QStringLiteral("app/config.xml"), "<config/>");
    link(tmp.file(QStringLiteral("secret.txt")), QStringLiteral("pub/link-file"));
    link(QStringLiteral("../secret.txt"), QStringLiteral("pub/relative-out"));
    link(tmp.file(QStringLiteral("secretdir")), QStringLiteral("pub/link-dir"));
    link(tmp.file(QStringLiteral("pub/docs/a.txt")), QStringLiteral("pub/inner-link"));
    link(tmp.file(QStringLiteral("secret.txt")), QStringLiteral("mp3/out"));
    link(tmp.file(QStringLiteral("pub")), QStringLiteral("mp3/to-pub"));
    link(tmp.file(QStringLiteral("secret.txt")), QStringLiteral("app/resources/out-link"));
    ASSERT_TRUE(addShare(QStringLiteral("id1"), QStringLiteral("/music/"), tmp.file(QStringLiteral("mp3"))));
  }

  // True when the resolved path lies in one of the folders a request may be served from.
  void checkRow(const HostileCase& row);

  bool isServable(const QString& path) const {
    const QString resolved = orv::platform::canonicalPath(path);
    if (resolved.isEmpty()) {
      return false;
    }
    for (const char* folder : {"pub", "mp3", "app/resources"}) {
      const QString base = orv::platform::canonicalPath(tmp.file(QString::fromUtf8(folder)));
      if (resolved == base || resolved.startsWith(base + QLatin1Char('/'))) {
        return true;
      }
    }
    return false;
  }
};

// Each row is routed twice: on the plain road of one open where it applies, and on the full
// road of path tests alone, as on a kernel without the open below a folder handle.
TEST_P(HostileUrlTest, NeverMapsOutsideTheShares) {
  for (const bool fullRoadOnly : {false, true}) {
    SCOPED_TRACE(fullRoadOnly ? "full road only" : "plain road first");
    orv::platform::setBeneathOpenUnsupportedForTest(fullRoadOnly);
    checkRow(GetParam());
  }
}

void HostileUrlTest::checkRow(const HostileCase& row) {
  RequestContext context = contextFor(QString::fromUtf8(row.url));
  const orv::server::RoadDecision decision = fnctRouteRequest(context);
  if (row.outcome == Outcome::BadRequest) {
    EXPECT_EQ(decision.status, 400);
    return;
  }
  ASSERT_TRUE(decision.goesOn());
  EXPECT_EQ(context.kind, row.kind);
  const bool found = context.fileState != PathState::Absent || context.folderState != PathState::Absent;
  if (found) {
    EXPECT_TRUE(isServable(context.localPath)) << context.localPath.toStdString();
    EXPECT_EQ(context.resolvedPath, orv::platform::canonicalPath(context.localPath));
    // A handle from routing is of that very file.
    if (context.openedFile) {
      EXPECT_EQ(orv::platform::canonicalPath(QStringLiteral("/proc/self/fd/") +
                                             QString::number(context.openedFile->handle())),
                context.resolvedPath);
    }
  }
  if (row.outcome == Outcome::Refused) {
    EXPECT_FALSE(found) << context.localPath.toStdString();
  } else {
    EXPECT_TRUE(found);
    EXPECT_EQ(context.localPath, tmp.file(QString::fromUtf8(row.localPath)));
  }
}

INSTANTIATE_TEST_SUITE_P(Urls, HostileUrlTest, testing::ValuesIn(kHostileCases));

TEST_F(HostileUrlTest, ALinkThatLeavesItsShareWritesADebugLine) {
  showDebugLog();
  RequestContext context = contextFor(QStringLiteral("/link-file"));
  ASSERT_TRUE(fnctRouteRequest(context).goesOn());
  EXPECT_TRUE(debugLogHolds(QStringLiteral("Path outside its shared folder refused : ") +
                            tmp.file(QStringLiteral("pub/link-file"))));

  RequestContext climbing = contextFor(QStringLiteral("/%2e%2e/secret.txt"));
  ASSERT_TRUE(fnctRouteRequest(climbing).goesOn());
  EXPECT_TRUE(debugLogHolds(QStringLiteral("Path outside the shared folders refused : ")));
}

// The root share falls back to the application folder when its own folder is missing.
class ApplicationFolderShareTest : public RoadFixture, public testing::WithParamInterface<HostileCase> {
 protected:
  void SetUp() override {
    RoadFixture::SetUp();
    for (const char* file :
         {"app/config.xml", "app/history.xml", "app/uploaded.xml", "app/config.xml.tmp-Ab12Cd", "app/cache/cache.xml",
          "app/cache/thumb.bmp", "app/resources/style.css", "app/lang/english.xml"}) {
      tmp.write(QString::fromUtf8(file), "data");
    }
    gConfiguration.Shared.RootShare.localPath = orv::core::gAppFolder;
    ASSERT_TRUE(addShare(QStringLiteral("id1"), QStringLiteral("/appshare/"), orv::core::gAppFolder));
  }

  void checkRow(const HostileCase& row);
};

const HostileCase kApplicationFolderCases[] = {
    {"/config.xml", Outcome::Refused, RequestKind::Path, ""},
    {"/CONFIG.XML", Outcome::Refused, RequestKind::Path, ""},
    {"/history.xml", Outcome::Refused, RequestKind::Path, ""},
    {"/uploaded.xml", Outcome::Refused, RequestKind::Path, ""},
    {"/config.xml.tmp-Ab12Cd", Outcome::Refused, RequestKind::Path, ""},
    {"/cache", Outcome::Refused, RequestKind::Path, ""},
    {"/cache/", Outcome::Refused, RequestKind::Path, ""},
    {"/cache/cache.xml", Outcome::Refused, RequestKind::Path, ""},
    {"/cache/thumb.bmp", Outcome::Refused, RequestKind::Path, ""},
    {"/appshare/config.xml", Outcome::Refused, RequestKind::Path, ""},
    {"/appshare/cache/thumb.bmp", Outcome::Refused, RequestKind::Path, ""},
    {"/?item.xml=config.xml", Outcome::Refused, RequestKind::SingleItem, ""},
    {"/?miniature=cache/thumb.bmp", Outcome::Refused, RequestKind::Thumbnail, ""},
    {"/resources/style.css", Outcome::Inside, RequestKind::Path, "app/resources/style.css"},
    {"/lang/english.xml", Outcome::Inside, RequestKind::Path, "app/lang/english.xml"},
    {"/appshare/lang/english.xml", Outcome::Inside, RequestKind::Path, "app/lang/english.xml"},
};

TEST_P(ApplicationFolderShareTest, TheApplicationsOwnFilesAreNeverServed) {
  for (const bool fullRoadOnly : {false, true}) {
    SCOPED_TRACE(fullRoadOnly ? "full road only" : "plain road first");
    orv::platform::setBeneathOpenUnsupportedForTest(fullRoadOnly);
    checkRow(GetParam());
  }
}

void ApplicationFolderShareTest::checkRow(const HostileCase& row) {
  RequestContext context = contextFor(QString::fromUtf8(row.url));
  ASSERT_TRUE(fnctRouteRequest(context).goesOn());
  EXPECT_EQ(context.kind, row.kind);
  const bool found = context.fileState != PathState::Absent || context.folderState != PathState::Absent;
  if (row.outcome == Outcome::Refused) {
    EXPECT_FALSE(found) << context.localPath.toStdString();
  } else {
    EXPECT_TRUE(found);
    EXPECT_EQ(context.localPath, tmp.file(QString::fromUtf8(row.localPath)));
  }
}

INSTANTIATE_TEST_SUITE_P(Urls, ApplicationFolderShareTest, testing::ValuesIn(kApplicationFolderCases));

TEST_F(HostileUrlTest, ALinkToTheConfigurationIsRefusedFromAnyShare) {
  link(tmp.file(QStringLiteral("app/config.xml")), QStringLiteral("pub/settings"));
  gConfiguration.Shared.RootShare.localPath = tmp.path();
  RequestContext context = contextFor(QStringLiteral("/pub/settings"));
  ASSERT_TRUE(fnctRouteRequest(context).goesOn());
  EXPECT_EQ(context.fileState, PathState::Absent);
}

}  // namespace
