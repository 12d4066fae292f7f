// The gate of folder requests: a folder URL without its final "/" is redirected, and pages
// in creation are limited in total and per client address, for pages, sections and
// playlists alike, however many clients ask at once.

#include "server/folder_requests.h"

#include "folder_road_fixture.h"

#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using enginetest::gConfiguration;
using enginetest::HttpAnswer;
using enginetest::parseAnswers;
using orv::server::getCounterValue;
using orv::server::subUpdateCounter;

class FolderRequests : public enginetest::FolderRoadTest {
 protected:
  void SetUp() override {
    FolderRoadTest::SetUp();
    tmp.write(u"pub/docs/a.txt"_s, "hello");
    tmp.makeFolder(u"pub/a b"_s);
    orv::core::ShareEntry share;
    share.id = u"id1"_s;
    share.serverPath = u"/music/sub/"_s;
    share.localPath = tmp.makeFolder(u"sub"_s);
    share.shareSound = true;
    gConfiguration.Shared.add(share);
  }

  // Pages said to be in creation before the request, per address.
  static void preset(const std::vector<std::pair<QString, int>>& counts) {
    gConfiguration.AppState.colIpFoldersInCreation.clear();
    for (const auto& [ip, count] : counts) {
      subUpdateCounter(gConfiguration.AppState.colIpFoldersInCreation, ip, count);
    }
  }
};

TEST_F(FolderRequests, AFolderUrlWithoutItsSlashIsRedirectedWithoutItsQuery) {
  struct Case {
    QByteArray request;
    QByteArray location;
  };
  const QByteArray here = "http://127.0.0.1:" + QByteArray::number(port);
  const Case cases[] = {
      {"GET /docs HTTP/1.1\r\nHost: example:8080\r\n\r\n", "http://example:8080/docs/"},
      {"GET /docs?showby_folder=icon&sortby_other=size HTTP/1.1\r\nHost: example\r\n\r\n", "http://example/docs/"},
      {"GET /docs?folder.pls HTTP/1.1\r\nHost: example\r\n\r\n", "http://example/docs/"},
      {"GET /docs?section.xml=other HTTP/1.1\r\nHost: example\r\n\r\n", "http://example/docs/"},
      // The URL as the client wrote it, encoded or not.
      {"GET /a%20b HTTP/1.1\r\nHost: h\r\n\r\n", "http://h/a%20b/"},
      {"GET /a+b HTTP/1.1\r\nHost: h\r\n\r\n", "http://h/a+b/"},
      // A virtual folder.
      {"GET /music HTTP/1.1\r\nHost: h\r\nConnection: Keep-Alive\r\n\r\n", "http://h/music/"},
      // Without a Host header, the address the connection came in on.
      {"GET /docs HTTP/1.0\r\n\r\n", here + "/docs/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.constData());
    const HttpAnswer answer = answerTo(c.request);
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 301 Moved Permanently");
    EXPECT_EQ(answer.header("Location"), c.location);
    EXPECT_EQ(answer.header("Connection"), "Close");
    EXPECT_TRUE(answer.body.contains("<title>Redirection</title>")) << answer.body.constData();
    EXPECT_TRUE(answer.body.contains("<label>Resource location : " + c.location + "</label>"));
    EXPECT_EQ(pagesInCreation(), 0);
  }
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
}

// Should dispatch ever send anything but a folder here, it is answered, not left waiting.
TEST_F(FolderRequests, WhatIsNoFolderIsAnswered404) {
  orv::server::RequestContext context;
  context.path = u"/docs/"_s;
  for (const auto state : {orv::server::PathState::Absent, orv::server::PathState::NotUsable}) {
    context.folderState = state;
    const orv::server::RoadDecision decision = orv::server::fnctCheckFolderRequest(context, "127.0.0.1:80");
    EXPECT_EQ(decision.status, 404);
    EXPECT_EQ(decision.message, u"Error 404 : Not Found"_s);
  }
}

// Each row: the pages in creation before the request, what it asks for and from where ->
// the answer. The gate itself counts nothing: the counters are as they were afterwards.
TEST_F(FolderRequests, ThePageLimitsAnswer503InTotalAndPerAddress) {
  struct Case {
    const char* name;
    std::vector<std::pair<QString, int>> inCreation;
    QByteArray url;
    QByteArray status;
    QByteArray message;
  };
  const Case cases[] = {
      {"nothing in creation", {}, "/docs/", "200", ""},
      {"one of the client's", {{u"127.0.0.2"_s, 1}}, "/docs/", "200", ""},
      {"two of the client's", {{u"127.0.0.2"_s, 2}}, "/docs/", "503", "Too many folder requests from this IP"},
      {"four of others", {{u"127.0.0.3"_s, 2}, {u"127.0.0.4"_s, 2}}, "/docs/", "200", ""},
      {"five of others",
       {{u"127.0.0.3"_s, 2}, {u"127.0.0.4"_s, 2}, {u"127.0.0.5"_s, 1}},
       "/docs/",
       "503",
       "Too many folder requests"},
      {"a section", {{u"127.0.0.2"_s, 2}}, "/docs/?section.xml=other", "503", "Too many folder requests from this IP"},
      {"a playlist", {{u"127.0.0.2"_s, 2}}, "/docs/?folder.pls", "503", "Too many folder requests from this IP"},
      {"a virtual folder's playlist", {{u"127.0.0.3"_s, 5}}, "/music/?folder.pls", "503", "Too many folder requests"},
      {"a virtual folder", {{u"127.0.0.2"_s, 2}}, "/music/", "503", "Too many folder requests from this IP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    preset(c.inCreation);
    const orv::core::KeyedList<int> before = gConfiguration.AppState.colIpFoldersInCreation;
    const HttpAnswer answer = answerTo("GET " + c.url + " HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(answer.status(), c.status);
    if (!c.message.isEmpty()) {
      EXPECT_TRUE(answer.body.contains("<label>" + c.message + "</label>")) << answer.body.constData();
      EXPECT_TRUE(answer.body.contains("<title>Error</title>"));
      EXPECT_EQ(answer.header("Connection"), "Close");
    }
    for (const auto& [ip, count] : c.inCreation) {
      EXPECT_EQ(getCounterValue(gConfiguration.AppState.colIpFoldersInCreation, ip), count) << ip.toStdString();
    }
    EXPECT_EQ(gConfiguration.AppState.colIpFoldersInCreation.count(), before.count());
  }
  preset({});
}

// A second client whose request comes in while the first page is being built finds the
// limit reached.
TEST_F(FolderRequests, APageInCreationCountsAgainstTheNextRequest) {
  struct Case {
    const char* name;
    double total;
    double perClient;
    const char* second;
    QByteArray message;
  };
  const Case cases[] = {
      {"total", 1, 2, "127.0.0.3", "Too many folder requests"},
      {"per address", 5, 1, "127.0.0.2", "Too many folder requests from this IP"},
  };
  largeFolder(u"big"_s, 300);
  const QByteArray request = "GET /big/ HTTP/1.1\r\nHost: h\r\n\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gConfiguration.AdvancedParameters.APP_MAX_TOTAL_FOLDER_IN_CREATION = c.total;
    gConfiguration.AdvancedParameters.APP_MAX_CLIENT_FOLDER_IN_CREATION = c.perClient;
    ASSERT_TRUE(admitted("127.0.0.2"));
    TcpPeer& first = *peers.back();
    ASSERT_TRUE(admitted(c.second));
    TcpPeer& second = *peers.back();
    int inCreation = 0;
    duringTheNextAnswer([&](int) {
      inCreation = pagesInCreation();
      second.send(request);
    });
    first.send(request);
    ASSERT_TRUE(processEventsUntil([&] { return first.endOfStream && second.endOfStream; }));
    EXPECT_EQ(inCreation, 1);
    const QList<HttpAnswer> firstAnswers = parseAnswers(first.received);
    const QList<HttpAnswer> secondAnswers = parseAnswers(second.received);
    ASSERT_EQ(firstAnswers.size(), 1);
    ASSERT_EQ(secondAnswers.size(), 1);
    EXPECT_EQ(firstAnswers.first().status(), "200");
    EXPECT_EQ(firstAnswers.first().body.count("<item>"), 300);
    EXPECT_EQ(secondAnswers.first().status(), "503");
    EXPECT_TRUE(secondAnswers.first().body.contains("<label>" + c.message + "</label>"));
    EXPECT_EQ(pagesInCreation(), 0);
    ASSERT_TRUE(waitForSlots(0));
    peers.clear();
  }
}

// Many clients from several addresses ask for the same large folder while its page is
// being built: each gets the page or a 503 of the limits, every page is whole, and nothing
// stays counted or loaded.
TEST_F(FolderRequests, ManyClientsAtOnceGetPagesOr503AndTheCountersComeBackToZero) {
  largeFolder(u"big"_s, 300);
  const char* sources[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5",
                           "127.0.0.6", "127.0.0.7", "127.0.0.8", "127.0.0.9"};
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(admitted(sources[i % 8]));
  }
  const QByteArray request = "GET /big/ HTTP/1.1\r\nHost: h\r\n\r\n";
  // One more client's request at each turn of the event loop, as they would come from a
  // network, the first turns being the yields of the first page's build.
  QTimer arrivals;
  std::size_t next = 1;
  QObject::connect(&arrivals, &QTimer::timeout, [&] {
    peers[next++]->send(request);
    if (next == peers.size()) {
      arrivals.stop();
    }
  });
  duringTheNextAnswer([&](int) { arrivals.start(0); });
  peers.front()->send(request);
  ASSERT_TRUE(processEventsUntil(
      [&] { return std::all_of(peers.begin(), peers.end(), [](const auto& peer) { return peer->endOfStream; }); }));
  int pages = 0;
  int refused = 0;
  for (const auto& peer : peers) {
    const QList<HttpAnswer> answers = parseAnswers(peer->received);
    ASSERT_EQ(answers.size(), 1) << peer->received.left(300).constData();
    const HttpAnswer& answer = answers.first();
    if (answer.status() == "200") {
      ++pages;
      EXPECT_EQ(answer.body.count("<item>"), 300);
      EXPECT_TRUE(answer.body.trimmed().endsWith("</page>"));
    } else {
      ++refused;
      EXPECT_EQ(answer.status(), "503");
      EXPECT_TRUE(answer.body.contains("<label>Too many folder requests</label>") ||
                  answer.body.contains("<label>Too many folder requests from this IP</label>"));
    }
  }
  EXPECT_GE(pages, 5);
  EXPECT_GT(refused, 0);
  EXPECT_EQ(pagesInCreation(), 0);
  EXPECT_EQ(gConfiguration.AppState.colIpFoldersInCreation.count(), 0);
  EXPECT_TRUE(waitForSlots(0));
  // And the next clients are served as usual.
  peers.clear();
  for (const char* source : {"127.0.0.2", "127.0.0.9"}) {
    EXPECT_EQ(answerTo(request, source).status(), "200");
  }
}

}  // namespace
