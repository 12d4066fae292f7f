#include "server/exclusions.h"

#include "server/request_routing.h"

#include "road_fixture.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::core::gConfiguration;
using orv::core::HistoryEventType;
using orv::server::fnctAdmitToDispatch;
using orv::server::fnctCheckLocalPath;
using orv::server::fnctRouteRequest;
using orv::server::PathState;
using orv::server::RequestContext;
using orv::server::RequestKind;
using orv::server::RoadDecision;

class ExclusionsTest : public RoadFixture {
 protected:
  void SetUp() override {
    RoadFixture::SetUp();
    tmp.write(QStringLiteral("pub/Private/notes.txt"), "n");
    tmp.write(QStringLiteral("pub/docs/a.txt"), "a");
    tmp.write(QStringLiteral("pub/docs/sub/b.txt"), "b");
    tmp.write(QStringLiteral("pub/hidden/report.txt"), "r");
    tmp.write(QStringLiteral("app/resources/private.css"), "css");
    link(tmp.file(QStringLiteral("pub/hidden/report.txt")), QStringLiteral("pub/shortcut"));
  }

  static void exclude(const QString& pattern) { gConfiguration.LocalPaths.colExclusions.add(pattern); }

  // The request as routing leaves it and what the exclusions make of it.
  static RoadDecision check(RequestContext& context) {
    EXPECT_TRUE(fnctRouteRequest(context).goesOn());
    context.clientInfos = QStringLiteral("10.0.0.5 (alice)");
    return fnctCheckLocalPath(context);
  }
};

TEST_F(ExclusionsTest, AWordRefusesEveryPathThatHoldsItInAnyCase) {
  exclude(QStringLiteral("private"));
  RequestContext context = contextFor(QStringLiteral("/Private/notes.txt"));
  const RoadDecision decision = check(context);
  EXPECT_EQ(decision.status, 403);
  EXPECT_EQ(decision.message, QStringLiteral("Error 403 : Forbidden"));
  EXPECT_EQ(context.fileState, PathState::NotUsable);
  EXPECT_EQ(context.folderState, PathState::NotUsable);
  EXPECT_EQ(lastEvent().type, HistoryEventType::FORBIDDEN);
  EXPECT_EQ(lastEvent().ipAddress, QStringLiteral("10.0.0.5 (alice)"));
  EXPECT_EQ(lastEvent().text, tmp.file(QStringLiteral("pub/Private/notes.txt")));

  RequestContext other = contextFor(QStringLiteral("/docs/a.txt"));
  EXPECT_TRUE(check(other).goesOn());
}

TEST_F(ExclusionsTest, AQuotedFolderRefusesTheFolderAndEverythingInIt) {
  exclude(QLatin1Char('"') + tmp.file(QStringLiteral("pub/docs")) + QStringLiteral("/\""));
  for (const QString& url : {QStringLiteral("/docs"), QStringLiteral("/docs/"), QStringLiteral("/docs/a.txt"),
                             QStringLiteral("/docs/sub/"), QStringLiteral("/docs/sub/b.txt")}) {
    SCOPED_TRACE(url.toStdString());
    RequestContext context = contextFor(url);
    EXPECT_EQ(check(context).status, 403);
  }
  RequestContext other = contextFor(QStringLiteral("/Private/notes.txt"));
  EXPECT_TRUE(check(other).goesOn());
}

TEST_F(ExclusionsTest, AQuotedFileRefusesThatFileOnly) {
  exclude(QLatin1Char('"') + tmp.file(QStringLiteral("pub/docs/a.txt")) + QLatin1Char('"'));
  RequestContext file = contextFor(QStringLiteral("/docs/a.txt"));
  EXPECT_EQ(check(file).status, 403);
  RequestContext sibling = contextFor(QStringLiteral("/docs/sub/b.txt"));
  EXPECT_TRUE(check(sibling).goesOn());
  RequestContext folder = contextFor(QStringLiteral("/docs/"));
  EXPECT_TRUE(check(folder).goesOn());
}

TEST_F(ExclusionsTest, ALinkDoesNotCarryAPathPastAnExclusion) {
  exclude(QStringLiteral("hidden"));
  RequestContext context = contextFor(QStringLiteral("/shortcut"));
  EXPECT_EQ(check(context).status, 403);
}

TEST_F(ExclusionsTest, EveryPatternIsTried) {
  exclude(QStringLiteral("nothing-matches"));
  exclude(QStringLiteral("docs"));
  RequestContext context = contextFor(QStringLiteral("/docs/a.txt"));
  EXPECT_EQ(check(context).status, 403);
}

TEST_F(ExclusionsTest, AResourceIsNeverExcluded) {
  exclude(QStringLiteral("private"));
  exclude(QStringLiteral("{folder:app}"));
  RequestContext context = contextFor(QStringLiteral("/?res=private.css"));
  ASSERT_TRUE(check(context).goesOn());
  EXPECT_EQ(context.kind, RequestKind::Resource);
}

TEST_F(ExclusionsTest, TheApplicationFolderPatternRefusesWhatLiesInIt) {
  gConfiguration.Shared.RootShare.localPath = orv::core::gAppFolder;
  exclude(QStringLiteral("{folder:app}/resources"));
  RequestContext context = contextFor(QStringLiteral("/resources/private.css"));
  EXPECT_EQ(check(context).status, 403);
}

struct AdmissionCase {
  PathState fileState;
  PathState folderState;
  int status;  // 0: the request goes on
  HistoryEventType event;
};

// Each row: the two states -> the answer and the history event of a refusal.
const AdmissionCase kAdmissionCases[] = {
    {PathState::Usable, PathState::Absent, 0, HistoryEventType::NOT_FOUND},
    {PathState::Absent, PathState::Usable, 0, HistoryEventType::NOT_FOUND},
    {PathState::Absent, PathState::VirtualFolder, 0, HistoryEventType::NOT_FOUND},
    {PathState::Absent, PathState::Absent, 404, HistoryEventType::NOT_FOUND},
    {PathState::NotUsable, PathState::Absent, 403, HistoryEventType::FORBIDDEN},
    {PathState::Absent, PathState::NotUsable, 403, HistoryEventType::NOT_FOUND},
    {PathState::NotUsable, PathState::NotUsable, 403, HistoryEventType::FORBIDDEN},
};

class AdmissionTest : public RoadFixture, public testing::WithParamInterface<AdmissionCase> {};

TEST_P(AdmissionTest, AnswersByTheStates) {
  const AdmissionCase& row = GetParam();
  RequestContext context = contextFor(QStringLiteral("/x"));
  context.localPath = QStringLiteral("/srv/pub/x");
  context.clientInfos = QStringLiteral("10.0.0.5");
  context.fileState = row.fileState;
  context.folderState = row.folderState;
  const RoadDecision decision = fnctAdmitToDispatch(context);
  if (row.status == 0) {
    EXPECT_TRUE(decision.goesOn());
    EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
    return;
  }
  EXPECT_EQ(decision.status, row.status);
  EXPECT_FALSE(decision.passRequestObject);
  ASSERT_EQ(orv::core::gHistoryLists.count(), 1);
  EXPECT_EQ(lastEvent().type, row.event);
  EXPECT_EQ(lastEvent().ipAddress, QStringLiteral("10.0.0.5"));
  EXPECT_EQ(lastEvent().text, QStringLiteral("/srv/pub/x"));
}

INSTANTIATE_TEST_SUITE_P(States, AdmissionTest, testing::ValuesIn(kAdmissionCases));

}  // namespace
