#include "server/request_routing.h"

#include "road_fixture.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

using orv::core::gConfiguration;
using orv::server::fnctRouteRequest;
using orv::server::PathState;
using orv::server::RequestContext;
using orv::server::RequestKind;
using orv::server::RoadAnswer;

constexpr PathState kAbsent = PathState::Absent;
constexpr PathState kUsable = PathState::Usable;
constexpr PathState kVirtual = PathState::VirtualFolder;

// A share of a test: "/" stands for the root share, whose folder is "pub" unless given.
struct TestShare {
  const char* serverPath;
  const char* folder;  // under the temporary folder
  const char* users;
  bool restricted;
};

using Shares = std::vector<TestShare>;

const Shares kNoShares = {};
const Shares kMusic = {{"/music/", "mp3", "ann", true}};
const Shares kSongs = {{"/songs/", "mp3", "ann", true}};
const Shares kNested = {{"/a/", "a", "amy", false}, {"/a/b/", "ab", "abe", false}};
const Shares kSameServerPath = {{"/t/", "a", "amy", false}, {"/t/", "ab", "abe", false}};
const Shares kXRestrictedAndOpen = {{"/x/y/", "y", "bob", true}, {"/x/z/", "z", "", false}};
const Shares kXRestrictedOnly = {{"/x/y/", "y", "bob", true}};
const Shares kXRestrictedRootUsers = {{"/", "pub", "root", false}, {"/x/y/", "y", "bob", true}};

struct MappingCase {
  const char* url;
  const Shares* shares;
  RequestKind kind;
  const char* localPath;  // under the temporary folder
  PathState fileState;
  PathState folderState;
  bool restricted;    // of the share that serves the request
  const char* users;  // of the share that serves the request
  const char* sectionName;
};

void PrintTo(const MappingCase& row, std::ostream* out) {
  *out << row.url;
}

// Each row: URL and shares -> kind, local path, states and the serving share's values.
const MappingCase kMappingCases[] = {
    // A share serves what the root folder lacks; the root folder wins when it has the file.
    {"/music/a.mp3", &kMusic, RequestKind::Path, "mp3/a.mp3", kUsable, kAbsent, true, "ann", ""},
    {"/music/both.mp3", &kMusic, RequestKind::Path, "pub/music/both.mp3", kUsable, kAbsent, false, "", ""},
    {"/MUSIC/a.mp3", &kMusic, RequestKind::Path, "mp3/a.mp3", kUsable, kAbsent, true, "ann", ""},
    {"/music/", &kMusic, RequestKind::Path, "pub/music/", kAbsent, kUsable, false, "", ""},
    // The longest server path under which the file exists serves it; a tie keeps the first.
    {"/a/b/c.txt", &kNested, RequestKind::Path, "ab/c.txt", kUsable, kAbsent, false, "abe", ""},
    {"/a/b/only-a.txt", &kNested, RequestKind::Path, "a/b/only-a.txt", kUsable, kAbsent, false, "amy", ""},
    {"/a/b/", &kNested, RequestKind::Path, "ab/", kAbsent, kUsable, false, "abe", ""},
    {"/t/c.txt", &kSameServerPath, RequestKind::Path, "a/c.txt", kUsable, kAbsent, false, "amy", ""},
    // Nothing anywhere: absent, with the values of the share whose server path is the
    // longest prefix, so that a restricted one asks for a login whether a name is there
    // or not; without such a share, the root-based path with the root share's values.
    {"/a/b/none.txt", &kNested, RequestKind::Path, "ab/none.txt", kAbsent, kAbsent, false, "abe", ""},
    {"/nothing.txt", &kNoShares, RequestKind::Path, "pub/nothing.txt", kAbsent, kAbsent, false, "", ""},
    // Virtual folders: restricted unless some share below is open; users collected.
    {"/x/", &kXRestrictedAndOpen, RequestKind::Path, "pub/x/", kAbsent, kVirtual, false, "bob", ""},
    {"/x/", &kXRestrictedOnly, RequestKind::Path, "pub/x/", kAbsent, kVirtual, true, "bob", ""},
    {"/x/", &kXRestrictedRootUsers, RequestKind::Path, "pub/x/", kAbsent, kVirtual, true, "root:bob", ""},
    {"/x", &kXRestrictedOnly, RequestKind::Path, "pub/x", kAbsent, kVirtual, true, "bob", ""},
    {"/songs", &kSongs, RequestKind::Path, "pub/songs", kAbsent, kVirtual, true, "ann", ""},
    {"/x/y/in-y.txt", &kXRestrictedAndOpen, RequestKind::Path, "y/in-y.txt", kUsable, kAbsent, true, "bob", ""},
    // Resources: only for the URL "/", and only when the resource exists.
    {"/?res=style.css", &kNoShares, RequestKind::Resource, "app/resources/style.css", kUsable, kAbsent, false, "", ""},
    {"/?RES=icons/folder.png", &kNoShares, RequestKind::Resource, "app/resources/icons/folder.png", kUsable, kAbsent,
     false, "", ""},
    {"/sub/?res=style.css", &kNoShares, RequestKind::Path, "pub/sub/", kAbsent, kUsable, false, "", ""},
    {"/?res=missing.css", &kNoShares, RequestKind::Path, "pub/", kAbsent, kUsable, false, "", ""},
    {"/?res=", &kNoShares, RequestKind::Path, "pub/", kAbsent, kUsable, false, "", ""},
    {"/?res=icons", &kNoShares, RequestKind::Path, "pub/", kAbsent, kUsable, false, "", ""},
    // Every occurrence of the key leaves the query, in any case.
    {"/?res=sty?RES=le.css", &kNoShares, RequestKind::Resource, "app/resources/style.css", kUsable, kAbsent, false, "",
     ""},
    // Thumbnails and single items address the file the query's value names, decoded once.
    {"/photos/?miniature=", &kNoShares, RequestKind::Path, "pub/photos/", kAbsent, kUsable, false, "", ""},
    {"/photos/?miniature=cat.jpg", &kNoShares, RequestKind::Thumbnail, "pub/photos/cat.jpg", kUsable, kAbsent, false,
     "", ""},
    {"/photos/?MINIATURE=cat.jpg", &kNoShares, RequestKind::Thumbnail, "pub/photos/cat.jpg", kUsable, kAbsent, false,
     "", ""},
    {"/photos/?miniature=c?Miniature=at.jpg", &kNoShares, RequestKind::Thumbnail, "pub/photos/cat.jpg", kUsable,
     kAbsent, false, "", ""},
    {"/music/?miniature=cover.jpg", &kMusic, RequestKind::Thumbnail, "mp3/cover.jpg", kUsable, kAbsent, true, "ann",
     ""},
    {"/docs/?item.xml=a%20b.txt", &kNoShares, RequestKind::SingleItem, "pub/docs/a b.txt", kUsable, kAbsent, false, "",
     ""},
    {"/docs/?item.xml=", &kNoShares, RequestKind::Path, "pub/docs/", kAbsent, kUsable, false, "", ""},
    {"/?item.xml=x", &kXRestrictedOnly, RequestKind::SingleItem, "pub/x", kAbsent, kVirtual, true, "bob", ""},
    // Sections: only the five item types.
    {"/docs/?section.xml=music", &kNoShares, RequestKind::Path, "pub/docs/", kAbsent, kUsable, false, "", ""},
    {"/docs/?section.xml=sound&x=1", &kNoShares, RequestKind::Section, "pub/docs/", kAbsent, kUsable, false, "",
     "sound"},
    // A blank written as "%20" or "+" is the same name.
    {"/a%20b/", &kNoShares, RequestKind::Path, "pub/a b/", kAbsent, kUsable, false, "", ""},
    {"/a+b/", &kNoShares, RequestKind::Path, "pub/a b/", kAbsent, kUsable, false, "", ""},
    {"/caf%C3%A9.txt", &kNoShares, RequestKind::Path, "pub/café.txt", kUsable, kAbsent, false, "", ""},
};

class RequestRoutingTest : public RoadFixture, public testing::WithParamInterface<MappingCase> {
 protected:
  void SetUp() override {
    RoadFixture::SetUp();
    for (const char* file : {"pub/music/both.mp3", "pub/photos/cat.jpg", "pub/docs/a b.txt", "pub/café.txt",
                             "mp3/a.mp3", "mp3/both.mp3", "mp3/cover.jpg", "a/c.txt", "a/b/only-a.txt", "ab/c.txt",
                             "y/in-y.txt", "app/resources/style.css", "app/resources/icons/folder.png"}) {
      tmp.write(QString::fromUtf8(file), "data");
    }
    for (const char* folder : {"pub/sub", "pub/a b", "z"}) {
      tmp.makeFolder(QString::fromUtf8(folder));
    }
  }

  void useShares(const Shares& shares) const {
    int number = 0;
    for (const TestShare& given : shares) {
      orv::core::ShareEntry entry;
      entry.serverPath = QString::fromUtf8(given.serverPath);
      entry.localPath = tmp.file(QString::fromUtf8(given.folder));
      entry.users = QString::fromUtf8(given.users);
      entry.restricted = given.restricted;
      if (entry.serverPath == QStringLiteral("/")) {
        orv::core::ShareEntry& root = gConfiguration.Shared.RootShare;
        root.localPath = entry.localPath;
        root.users = entry.users;
        root.restricted = entry.restricted;
        continue;
      }
      entry.id = QStringLiteral("id%1").arg(++number);
      ASSERT_TRUE(gConfiguration.Shared.add(entry));
    }
  }
};

TEST_P(RequestRoutingTest, MapsTheUrl) {
  const MappingCase& row = GetParam();
  useShares(*row.shares);
  RequestContext context = contextFor(QString::fromUtf8(row.url));
  EXPECT_TRUE(fnctRouteRequest(context).goesOn());
  EXPECT_EQ(context.kind, row.kind);
  EXPECT_EQ(context.localPath, tmp.file(QString::fromUtf8(row.localPath)));
  EXPECT_EQ(context.fileState, row.fileState);
  EXPECT_EQ(context.folderState, row.folderState);
  EXPECT_EQ(context.share.restricted, row.restricted);
  EXPECT_EQ(context.share.users, QString::fromUtf8(row.users));
  EXPECT_EQ(context.sectionName, QString::fromUtf8(row.sectionName));
}

INSTANTIATE_TEST_SUITE_P(Mapping, RequestRoutingTest, testing::ValuesIn(kMappingCases));

TEST_F(RoadFixture, RoutingSplitsTheQueryAndDecodesEachPartOnce) {
  RequestContext context = contextFor(QStringLiteral("/a%2520b/?filter_other=x%2526y&showby_image=list"));
  ASSERT_TRUE(fnctRouteRequest(context).goesOn());
  EXPECT_EQ(context.url, QStringLiteral("/a%2520b/"));
  EXPECT_EQ(context.path, QStringLiteral("/a%20b/"));
  EXPECT_EQ(context.rawQuery, QStringLiteral("?filter_other=x%2526y&showby_image=list"));
  EXPECT_EQ(context.decodedQuery, QStringLiteral("?filter_other=x%26y&showby_image=list"));
}

TEST_F(RoadFixture, ThumbnailAndItemUrlsCarryTheQueryValueAsReceived) {
  tmp.write(QStringLiteral("pub/photos/a b.jpg"), "data");
  RequestContext thumbnail = contextFor(QStringLiteral("/photos/?miniature=a%20b.jpg"));
  ASSERT_TRUE(fnctRouteRequest(thumbnail).goesOn());
  EXPECT_EQ(thumbnail.url, QStringLiteral("/photos/a%20b.jpg"));
  EXPECT_EQ(thumbnail.path, QStringLiteral("/photos/a b.jpg"));
  EXPECT_EQ(thumbnail.rawQuery, QStringLiteral("?miniature=a%20b.jpg"));
}

TEST_F(RoadFixture, ThumbnailsNeedTheirSwitch) {
  tmp.write(QStringLiteral("pub/photos/cat.jpg"), "data");
  gConfiguration.HtmlDisplay.ALLOW_MINIATURES = false;
  RequestContext context = contextFor(QStringLiteral("/photos/?miniature=cat.jpg"));
  ASSERT_TRUE(fnctRouteRequest(context).goesOn());
  EXPECT_EQ(context.kind, RequestKind::Path);
  EXPECT_EQ(context.localPath, tmp.file(QStringLiteral("pub/photos/")));
}

TEST_F(RoadFixture, AudioPlayersAreRecognisedExceptForResourcesAndThumbnails) {
  tmp.write(QStringLiteral("app/resources/style.css"), "data");
  tmp.write(QStringLiteral("pub/cat.jpg"), "data");
  gConfiguration.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS = QStringLiteral("winamp;nsplayer;").split(u';');
  const struct {
    const char* url;
    bool audioPlayer;
  } rows[] = {
      {"/", true},
      {"/?item.xml=cat.jpg", true},
      {"/?section.xml=sound", true},
      {"/?res=style.css", false},
      {"/?miniature=cat.jpg", false},
  };
  for (const auto& row : rows) {
    RequestContext context = contextFor(QString::fromUtf8(row.url), "User-Agent: WinAmp/5.0\r\n");
    ASSERT_TRUE(fnctRouteRequest(context).goesOn());
    EXPECT_EQ(context.audioPlayer, row.audioPlayer) << row.url;
  }
  RequestContext browser = contextFor(QStringLiteral("/"), "User-Agent: Mozilla/5.0\r\n");
  ASSERT_TRUE(fnctRouteRequest(browser).goesOn());
  EXPECT_FALSE(browser.audioPlayer);
}

TEST_F(RoadFixture, TheRootShareOfTheWholeFileSystemDoesNotDoubleItsSeparator) {
  gConfiguration.Shared.RootShare.localPath = QStringLiteral("/");
  RequestContext context = contextFor(tmp.file(QStringLiteral("pub/")));
  ASSERT_TRUE(fnctRouteRequest(context).goesOn());
  EXPECT_EQ(context.localPath, tmp.file(QStringLiteral("pub/")));
  EXPECT_EQ(context.folderState, kUsable);
}

TEST_F(RoadFixture, ARootShareWithoutFolderServesNothing) {
  gConfiguration.Shared.RootShare.localPath.clear();
  RequestContext context = contextFor(tmp.file(QStringLiteral("pub/")));
  ASSERT_TRUE(fnctRouteRequest(context).goesOn());
  EXPECT_EQ(context.fileState, kAbsent);
  EXPECT_EQ(context.folderState, kAbsent);
}

TEST_F(RoadFixture, ANulCharacterInThePathOrQueryIsABadRequest) {
  for (const char* url : {"/a%00b.txt", "/?res=%00", "/?showby_image=%00", "/docs/?item.xml=a.txt%00.jpg"}) {
    RequestContext context = contextFor(QString::fromUtf8(url));
    const orv::server::RoadDecision decision = fnctRouteRequest(context);
    EXPECT_EQ(decision.answer, RoadAnswer::MessagePage) << url;
    EXPECT_EQ(decision.status, 400) << url;
    EXPECT_EQ(decision.message, QStringLiteral("Error 400 : Bad Request")) << url;
  }
}

}  // namespace
