// Playlist requests on the request road: which folder requests get a playlist, its bytes and
// head, the empty playlist of a virtual folder, shares without sound, the history event,
// HEAD, and a connection that closes while the folder is read.

#include "server/playlist_requests.h"

#include "folder_road_fixture.h"

#include "content/page_fixture.h"  // MP3 files with tags

#include <filesystem>

namespace {

using namespace Qt::StringLiterals;
using enginetest::gConfiguration;
using enginetest::HttpAnswer;
using orv::core::HistoryEventType;

class PlaylistRequests : public enginetest::FolderRoadTest {
 protected:
  void SetUp() override {
    FolderRoadTest::SetUp();
    music_ = tmp.makeFolder(u"pub/music"_s);
    page_fixture::writeRaw(music_, "b.mp3", page_fixture::mp3Bytes("Blue", "Miles", "Kind of Blue"));
    page_fixture::writeRaw(music_, "c.mp3", page_fixture::mp3Bytes("Train", "Coltrane", "Giant Steps"));
    page_fixture::writeRaw(music_, "a.txt");
    addShare(u"id1"_s, u"/v/w/"_s, u"vw"_s, false);
    addShare(u"id2"_s, u"/quiet/"_s, u"quiet"_s, false);
    tmp.write(u"quiet/q.mp3"_s, "q");
  }

  void addShare(const QString& id, const QString& serverPath, const QString& folder, bool sound) {
    orv::core::ShareEntry share;
    share.id = id;
    share.serverPath = serverPath;
    share.localPath = tmp.makeFolder(folder);
    share.sharePhysicalFolder = true;
    share.shareOther = true;
    share.shareSound = sound;
    gConfiguration.Shared.add(share);
  }

  static QStringList titlesOf(const QByteArray& playlist) {
    QStringList titles;
    for (const QByteArray& line : playlist.split('\n')) {
      if (line.startsWith("Title")) {
        titles << QString::fromUtf8(line.mid(line.indexOf('=') + 1).trimmed());
      }
    }
    titles.sort();
    return titles;
  }

  QString music_;
};

// The folder's sound files, byte for byte, whatever the client asked for the connection and
// the encoding: a playlist goes as it is and closes its connection.
TEST_F(PlaylistRequests, AFolderPlaylistIsSentByteForByteAndClosesTheConnection) {
  std::filesystem::remove(std::filesystem::path(music_.toStdString()) / "c.mp3");
  gConfiguration.Protocol.ENABLE_COMPRESSION = true;
  const HttpAnswer answer = answerTo(
      "GET /music/?folder.pls HTTP/1.1\r\nHost: 192.168.0.2:8080\r\nConnection: Keep-Alive\r\n"
      "Accept-Encoding: deflate\r\n\r\n");
  const QByteArray expected = "[playlist]\r\nFile1=http://192.168.0.2:" + QByteArray::number(port) +
                              "/music/b.mp3\r\nTitle1=b.mp3\r\nLength1=-1\r\nNumberOfEntries=1\r\nVersion=2\r\n";
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(answer.body, expected);
  EXPECT_EQ(answer.header("Content-Length"), QByteArray::number(expected.size()));
  EXPECT_EQ(answer.header("Content-Type"), "audio/scpls");
  EXPECT_EQ(answer.header("Connection"), "Close");
  EXPECT_EQ(answer.header("Accept-Ranges"), "bytes");
  EXPECT_EQ(answer.header("Server"), "Orvendale 1.02");
  EXPECT_TRUE(answer.hasHeader("Date"));
  EXPECT_FALSE(answer.hasHeader("Keep-Alive"));
  EXPECT_FALSE(answer.hasHeader("Content-Encoding"));
  // Without a Host header the URLs name the address the connection came in on.
  const HttpAnswer withoutHost = answerTo("GET /music/?folder.pls HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(withoutHost.body.contains("\r\nFile1=http://127.0.0.1:" + QByteArray::number(port) + "/music/b.mp3\r\n"))
      << withoutHost.body.constData();
  EXPECT_EQ(withoutHost.header("Connection"), "Close");
  ASSERT_EQ(orv::core::gHistoryLists.count(), 2);
  const orv::core::tHistoryEvent& event = orv::core::gHistoryLists.events.front();
  EXPECT_EQ(event.type, HistoryEventType::AUDIO_FOLDER_NAVIGATION);
  EXPECT_EQ(event.ipAddress, u"127.0.0.2"_s);
  EXPECT_EQ(event.text, tmp.file(u"pub/music/"_s));
}

// Each row: the query and the client -> a playlist with these titles, or the folder page.
TEST_F(PlaylistRequests, TheQueryOrAnAudioPlayerMakesAPlaylistAndItsFilter) {
  struct Case {
    QByteArray query;
    QByteArray agent;
    bool playlist;
    QStringList titles;
  };
  const Case cases[] = {
      {"?folder.pls", "", true, {u"b.mp3"_s, u"c.mp3"_s}},
      {"?FOLDER.PLS", "", true, {u"b.mp3"_s, u"c.mp3"_s}},
      {"?artist:Miles.pls", "", true, {u"b.mp3"_s}},
      {"?artist:miles.PLS", "", true, {u"b.mp3"_s}},
      {"?album:Kind%20of%20Blue.pls", "", true, {u"b.mp3"_s}},
      {"?album:Giant+Steps.pls", "", true, {u"c.mp3"_s}},
      {"?artist:Nobody.pls", "", true, {}},
      {"?artist:.pls", "", true, {}},
      // An audio player's query too short to hold a name and ".pls": the whole folder.
      {"?artist:M", "winamp", true, {u"b.mp3"_s, u"c.mp3"_s}},
      {"?other.pls", "", false, {}},
      {"?showby_folder=list", "", false, {}},
      {"", "Mozilla/5.0", false, {}},
      {"", "WinAmp/5.0", true, {u"b.mp3"_s, u"c.mp3"_s}},
      {"?showby_sound=icon&sortby_sound=artist", "winamp", true, {u"b.mp3"_s, u"c.mp3"_s}},
      {"?section.xml=sound", "winamp", true, {u"b.mp3"_s, u"c.mp3"_s}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.query + " " + c.agent).constData());
    const QByteArray agent = c.agent.isEmpty() ? QByteArray() : "User-Agent: " + c.agent + "\r\n";
    const HttpAnswer answer = answerTo("GET /music/" + c.query + " HTTP/1.1\r\nHost: h\r\n" + agent + "\r\n");
    EXPECT_EQ(answer.status(), "200");
    if (c.playlist) {
      EXPECT_EQ(answer.header("Content-Type"), "audio/scpls");
      EXPECT_TRUE(answer.body.startsWith("[playlist]\r\n"));
      EXPECT_EQ(titlesOf(answer.body), c.titles);
    } else {
      EXPECT_EQ(answer.header("Content-Type"), "application/xml; charset=UTF-8");
    }
  }
}

// A virtual folder has no files: its playlist has its three lines, and no share's sound
// setting refuses it.
TEST_F(PlaylistRequests, AVirtualFolderGetsTheEmptyPlaylistAndIsNotRecorded) {
  for (const QByteArray& agent : {QByteArray(), QByteArray("User-Agent: winamp\r\n")}) {
    const HttpAnswer answer =
        answerTo("GET /v/" + QByteArray(agent.isEmpty() ? "?folder.pls" : "") + " HTTP/1.0\r\n" + agent + "\r\n");
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.body, "[playlist]\r\nNumberOfEntries=0\r\nVersion=2\r\n");
    EXPECT_EQ(answer.header("Content-Length"), "42");
    EXPECT_EQ(answer.header("Connection"), "Close");
  }
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
}

TEST_F(PlaylistRequests, AShareWithoutSoundRefusesEveryPlaylist) {
  for (const QByteArray& request : {QByteArray("GET /quiet/?folder.pls HTTP/1.1\r\n\r\n"),
                                    QByteArray("GET /quiet/?artist:Miles.pls HTTP/1.1\r\n\r\n"),
                                    QByteArray("GET /quiet/ HTTP/1.1\r\nUser-Agent: winamp\r\n\r\n")}) {
    SCOPED_TRACE(request.constData());
    const HttpAnswer answer = answerTo(request);
    EXPECT_EQ(answer.statusLine, "HTTP/1.1 403 Forbidden");
    EXPECT_TRUE(answer.body.contains("<label>Error 403 : Forbidden</label>"));
    EXPECT_EQ(answer.header("Connection"), "Close");
  }
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
}

// HEAD: the head a GET gets, without the text, and the visit is recorded all the same.
TEST_F(PlaylistRequests, AHeadRequestGetsTheHeadOfTheTextAndIsRecorded) {
  const HttpAnswer get = answerTo("GET /music/?folder.pls HTTP/1.1\r\nHost: h\r\n\r\n");
  TcpPeer* peer = nullptr;
  ASSERT_TRUE(admitted("127.0.0.2"));
  peer = peers.back().get();
  peer->send("HEAD /music/?folder.pls HTTP/1.1\r\nHost: h\r\n\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return peer->endOfStream; }));
  EXPECT_TRUE(peer->received.endsWith("\r\n\r\n"));
  const HttpAnswer head = enginetest::parseAnswers(peer->received, 1).first();
  EXPECT_EQ(head.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(head.header("Content-Length"), get.header("Content-Length"));
  EXPECT_EQ(head.header("Content-Type"), "audio/scpls");
  EXPECT_TRUE(head.body.isEmpty());
  EXPECT_EQ(orv::core::gHistoryLists.count(), 2);
}

// The connection closes while the folder is read: nothing is sent or recorded, and the
// page count comes back (the fixture checks it).
TEST_F(PlaylistRequests, AConnectionThatClosesWhileTheFolderIsReadEndsTheRequest) {
  for (int i = 0; i < 200; ++i) {
    page_fixture::writeRaw(music_, "song-" + QByteArray::number(i) + ".mp3");
  }
  int inCreation = 0;
  duringTheNextAnswer([&](int index) {
    inCreation = pagesInCreation();
    server->usrSocket_CloseSck(index);
  });
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  peer.send("GET /music/?artist:Miles.pls HTTP/1.1\r\nHost: h\r\n\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
  EXPECT_TRUE(waitForSlots(0));
  EXPECT_EQ(inCreation, 1);
  EXPECT_TRUE(peer.received.isEmpty()) << peer.received.constData();
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
  EXPECT_EQ(pagesInCreation(), 0);
}

}  // namespace
