// Playlists: the .pls text of a folder, its filters by artist and album, the recognition of
// playlist requests, hostile file names, and a long folder whose connection closes while it
// is read.

#include "server/playlists.h"

#include "content/page_fixture.h"  // files with chosen bytes and MP3 tags
#include "platform/file_system.h"
#include "road_fixture.h"
#include "server/request_routing.h"

#include "support/qt_printers.h"

#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

using orv::core::gConfiguration;
using orv::server::fnctAddPlaylistParam;
using orv::server::fnctCreateVirtualPlaylist;
using orv::server::fnctEmptyPlaylist;
using orv::server::fnctGetPlaylistFilter;
using orv::server::isPlaylistRequest;
using page_fixture::mp3Bytes;
using page_fixture::writeRaw;

QString s(const char* text) {
  return QString::fromUtf8(text);
}

// The titles of a playlist, in order.
QStringList titlesOf(const QByteArray& playlist) {
  QStringList titles;
  for (const QByteArray& line : playlist.split('\n')) {
    if (line.startsWith("Title")) {
      titles << QString::fromUtf8(line.mid(line.indexOf('=') + 1).chopped(1));
    }
  }
  return titles;
}

class Playlists : public RoadFixture {
 protected:
  void SetUp() override {
    RoadFixture::SetUp();
    gConfiguration.ShellExtension.SOUND = s(".mp3;.wav;");
    orv::core::gLanguage.setText(u"HTLM/GROUP/UNKNOW_ARTIST", s("Unknown artist"));
    orv::core::gLanguage.setText(u"HTLM/GROUP/UNKNOW_ALBUM", s("Unknown album"));
    music_ = tmp.makeFolder(s("pub/music"));
  }

  QByteArray playlistOf(const QString& tag = {}, const QString& value = {}) const {
    const std::optional<QByteArray> text =
        fnctCreateVirtualPlaylist(music_, s("/music/"), s("192.168.0.2:80"), tag, value, tmp.file(s("pub")));
    EXPECT_TRUE(text.has_value());
    return text.value_or(QByteArray());
  }

  QString music_;
};

TEST_F(Playlists, AFolderGivesItsSoundFilesByteForByte) {
  writeRaw(music_, "b.mp3");
  writeRaw(music_, "a.txt");
  EXPECT_EQ(playlistOf(), QByteArray("[playlist]\r\n"
                                     "File1=http://192.168.0.2:80/music/b.mp3\r\n"
                                     "Title1=b.mp3\r\n"
                                     "Length1=-1\r\n"
                                     "NumberOfEntries=1\r\n"
                                     "Version=2\r\n"));
}

TEST_F(Playlists, SoundFilesAreThoseOfTheSoundListInPageOrder) {
  for (const char* name : {"B.MP3", "mp3", "a.txt", ".hidden.mp3", "x.wav", "x.mp3.txt", "song.Mp3", "a.", "c.mp3"}) {
    writeRaw(music_, name);
  }
  page_fixture::makeRawFolder(music_, "sub.mp3");
  writeRaw(music_ + s("/sub.mp3"), "inner.mp3");
  EXPECT_EQ(titlesOf(playlistOf()), (QStringList{s(".hidden.mp3"), s("B.MP3"), s("c.mp3"), s("song.Mp3"), s("x.wav")}));
}

TEST_F(Playlists, ABlankIsEncodedInTheUrlAndKeptInTheTitle) {
  writeRaw(music_, "my song.mp3");
  const QByteArray text = playlistOf();
  EXPECT_TRUE(text.contains("File1=http://192.168.0.2:80/music/my%20song.mp3\r\n")) << text.constData();
  EXPECT_TRUE(text.contains("Title1=my song.mp3\r\n")) << text.constData();
}

TEST_F(Playlists, AnEmptyOrUnreadableFolderGivesTheEmptyPlaylist) {
  const QByteArray empty("[playlist]\r\nNumberOfEntries=0\r\nVersion=2\r\n");
  EXPECT_EQ(fnctEmptyPlaylist(), empty);
  EXPECT_EQ(fnctEmptyPlaylist().size(), 42);
  EXPECT_EQ(playlistOf(), empty);
  writeRaw(music_, "notes.txt");
  EXPECT_EQ(playlistOf(s("artist"), s("Miles")), empty);
  EXPECT_EQ(fnctCreateVirtualPlaylist(tmp.file(s("pub/gone")), s("/gone/"), s("h:80"), {}, {}), empty);
}

TEST_F(Playlists, FiltersKeepTheFilesOfOneArtistOrAlbum) {
  writeRaw(music_, "a.mp3", mp3Bytes("So What", "Miles", "Kind of Blue"));
  writeRaw(music_, "b.mp3", mp3Bytes("Other", "miles", "Other Album"));
  writeRaw(music_, "c.mp3", mp3Bytes("No artist", "", ""));
  writeRaw(music_, "d.wav", "RIFF");
  writeRaw(music_, "e.txt", mp3Bytes("Not sound", "Miles", "Kind of Blue"));
  struct Case {
    const char* tag;
    const char* value;
    QStringList titles;
  };
  const Case cases[] = {
      {"artist", "Miles", {s("a.mp3"), s("b.mp3")}},
      {"ARTIST", "MILES", {s("a.mp3"), s("b.mp3")}},
      {"album", "kind of blue", {s("a.mp3")}},
      {"artist", "?", {s("c.mp3"), s("d.wav")}},
      {"artist", "unknown ARTIST", {s("c.mp3"), s("d.wav")}},
      {"album", "?", {s("c.mp3"), s("d.wav")}},
      {"artist", "", {}},
      {"artist", "Mil", {}},
      {"", "", {s("a.mp3"), s("b.mp3"), s("c.mp3"), s("d.wav")}},
      {"genre", "Jazz", {s("a.mp3"), s("b.mp3"), s("c.mp3"), s("d.wav")}},
  };
  for (const Case& c : cases) {
    const QByteArray text = playlistOf(s(c.tag), s(c.value));
    EXPECT_EQ(titlesOf(text), c.titles) << c.tag << " " << c.value;
    EXPECT_TRUE(text.endsWith("NumberOfEntries=" + QByteArray::number(c.titles.size()) + "\r\nVersion=2\r\n"));
  }
}

TEST_F(Playlists, TheQueryNamesTheFilterWithoutEverANegativeLength) {
  struct Case {
    const char* query;
    const char* tag;
    const char* value;
  };
  const Case cases[] = {
      {"?artist:Miles.pls", "artist", "Miles"},
      {"?album:Kind of Blue.pls", "album", "Kind of Blue"},
      {"?ARTIST:Miles.PLS", "artist", "Miles"},
      {"?artist:?.pls", "artist", "?"},
      {"?folder.pls", "", ""},
      {"?showby_folder=list&artist:x.pls", "", ""},
      // Nine characters or fewer: no filter.
      {"?artist:M", "", ""},
      {"?album:ab", "", ""},
      // Too short to hold a name and ".pls": an empty name, never a negative length.
      {"?artist:ab", "artist", ""},
      {"?artist:abc", "artist", ""},
      {"?album:abc", "album", ""},
      {"?album:.pls", "album", ""},
      // An audio player's query without ".pls" still loses its last four characters.
      {"?artist:Miles Davis", "artist", "Miles D"},
  };
  for (const Case& c : cases) {
    const orv::server::PlaylistFilter filter = fnctGetPlaylistFilter(s(c.query));
    EXPECT_EQ(filter.tag, s(c.tag)) << c.query;
    EXPECT_EQ(filter.value, s(c.value)) << c.query;
  }
}

TEST_F(Playlists, PlaylistRequestsAreRecognised) {
  struct Case {
    const char* query;
    bool audioPlayer;
    bool playlist;
  };
  const Case cases[] = {
      {"?artist:Miles.pls", false, true},
      {"?album:Kind of Blue.pls", false, true},
      {"?folder.pls", false, true},
      {"?showby_folder=list&FOLDER.PLS", false, true},
      {"?sortby_sound=artist&.pls", false, false},
      {"?x.pls", false, false},
      {"?artist:Miles", false, false},
      {"", false, false},
      {"", true, true},
      {"?showby_folder=icon", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isPlaylistRequest(s(c.query), c.audioPlayer), c.playlist) << c.query << " " << c.audioPlayer;
  }
}

TEST_F(Playlists, APageQueryGetsItsPlaylistParameterLast) {
  struct Case {
    const char* query;
    const char* result;
  };
  const Case cases[] = {
      {"", "?.pls"},
      {"?showby_folder=list", "?showby_folder=list&.pls"},
      {"?.pls&sortby_folder=name", "?sortby_folder=name&.pls"},
      {"?sortby_folder=name&.PLS", "?sortby_folder=name&.pls"},
      {"?.pls", "?.pls"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fnctAddPlaylistParam(s(c.query), s(".pls")), s(c.result)) << c.query;
  }
}

TEST_F(Playlists, HostileNamesGiveOneEntryEachWhoseUrlLeadsToTheFile) {
  QList<QByteArray> names = {
      "x\r\nFile2=http:evil\r\nTitle2=evil\r\n.mp3",
      "Tom & Jerry <1> \"q\" 'a'.mp3",
      "a?b=c&d.mp3",
      "#hash.mp3",
      "caf\xE9.mp3",
      "\xC0\xAE\xC0\xAE.mp3",
      "\xEF\xBB\xBF"
      "bom.mp3",
      "%41%2F%00.mp3",
      "+plus+.mp3",
      "[playlist].mp3",
      "NumberOfEntries=9.mp3",
  };
  for (int byte = 1; byte < 256; ++byte) {
    if (byte != '/') {
      names << QByteArray("n") + static_cast<char>(byte) + ".mp3";
    }
  }
  const QString folder = page_fixture::makeRawFolder(tmp.file(s("pub")), "dir ?#&\xFF");
  for (const QByteArray& name : names) {
    writeRaw(folder, name);
  }
  const std::optional<QByteArray> text = fnctCreateVirtualPlaylist(
      folder, orv::platform::pathFromNative("/dir ?#&\xFF/"), s("127.0.0.1:8080"), {}, {}, tmp.file(s("pub")));
  ASSERT_TRUE(text.has_value());

  const QList<QByteArray> lines = text->split('\n');
  ASSERT_EQ(lines.size(), 3 * names.size() + 4);  // the last split is the empty rest
  EXPECT_EQ(lines.first(), "[playlist]\r");
  EXPECT_EQ(lines.at(lines.size() - 3), "NumberOfEntries=" + QByteArray::number(names.size()) + '\r');
  QSet<QByteArray> reached;
  for (qsizetype n = 1; n <= names.size(); ++n) {
    const QByteArray number = QByteArray::number(n);
    const QByteArray file = lines.at(3 * n - 2);
    const QByteArray title = lines.at(3 * n - 1);
    ASSERT_TRUE(file.startsWith("File" + number + "=http://127.0.0.1:8080/")) << file.constData();
    ASSERT_TRUE(title.startsWith("Title" + number + '=')) << title.constData();
    EXPECT_EQ(lines.at(3 * n), "Length" + number + "=-1\r");
    // Every line ends with its CR LF alone; a title is UTF-8 without control characters.
    ASSERT_TRUE(file.endsWith('\r') && title.endsWith('\r'));
    const QByteArray shown = title.chopped(1);
    EXPECT_EQ(QString::fromUtf8(shown).toUtf8(), shown) << shown.toHex().constData();
    for (const char c : shown) {
      EXPECT_GE(static_cast<unsigned char>(c), 32) << shown.toHex().constData();
    }
    // The URL path is plain ASCII with no query or fragment of its own, and the engine
    // maps it to the very file.
    const QByteArray path = file.mid(file.indexOf("8080/") + 4).chopped(1);
    for (const char c : path) {
      EXPECT_TRUE(c > ' ' && c < 127 && c != '?' && c != '#') << path.constData();
    }
    orv::server::RequestContext context = contextFor(QString::fromLatin1(path));
    ASSERT_TRUE(orv::server::fnctRouteRequest(context).goesOn()) << path.constData();
    EXPECT_EQ(context.fileState, orv::server::PathState::Usable) << path.constData();
    const QByteArray local = orv::platform::nativePath(context.localPath);
    const QByteArray base = orv::platform::nativePath(folder) + '/';
    EXPECT_TRUE(local.startsWith(base)) << local.constData();
    reached.insert(local.mid(base.size()));
  }
  EXPECT_EQ(reached, QSet<QByteArray>(names.begin(), names.end()));
}

TEST_F(Playlists, LinksLeadingOutOfTheShareAreLeftOut) {
  const QString outside = tmp.write(s("elsewhere/secret.mp3"), mp3Bytes("t", "Miles", "a"));
  writeRaw(music_, "inside.mp3", mp3Bytes("t", "Miles", "a"));
  link(outside, s("pub/music/out.mp3"));
  link(music_ + s("/inside.mp3"), s("pub/music/alias.mp3"));
  EXPECT_EQ(titlesOf(playlistOf()), (QStringList{s("alias.mp3"), s("inside.mp3")}));
  EXPECT_EQ(titlesOf(playlistOf(s("artist"), s("Miles"))), (QStringList{s("alias.mp3"), s("inside.mp3")}));
}

// A long folder yields once per file; what the caller gave may be gone after a yield, and
// a connection that closed meanwhile ends the build at once.
class LongPlaylist : public Playlists {
 protected:
  void SetUp() override {
    Playlists::SetUp();
    for (int i = 0; i < 20; ++i) {
      writeRaw(music_, QByteArray("track") + QByteArray::number(i + 10) + ".mp3", mp3Bytes("t", "Miles", "a"));
    }
    writeRaw(music_, "cover.jpg");
  }
};

TEST_F(LongPlaylist, ItYieldsOncePerFileAndSurvivesItsArgumentsGoingAway) {
  struct Arguments {
    QString folder, url, host, tag, value, share;
  };
  auto arguments = std::make_unique<Arguments>(
      Arguments{music_, s("/music/"), s("h:80"), s("artist"), s("miles"), tmp.file(s("pub"))});
  int yields = 0;
  // The first yield runs what is pending: the request's values go, and the settings change.
  QTimer::singleShot(0, [&] {
    arguments.reset();
    gConfiguration.ShellExtension.SOUND = s(".jpg;");
  });
  const Arguments& given = *arguments;
  const std::optional<QByteArray> text =
      fnctCreateVirtualPlaylist(given.folder, given.url, given.host, given.tag, given.value, given.share, [&] {
        ++yields;
        return true;
      });
  EXPECT_FALSE(arguments);
  EXPECT_EQ(yields, 21);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(titlesOf(*text).size(), 20);
  EXPECT_TRUE(text->contains("File20=http://h:80/music/track29.mp3\r\n")) << text->constData();
}

TEST_F(LongPlaylist, AConnectionClosedDuringAYieldEndsTheBuild) {
  int yields = 0;
  bool closed = false;
  QTimer::singleShot(0, [&] { closed = true; });
  const std::optional<QByteArray> text = fnctCreateVirtualPlaylist(music_, s("/music/"), s("h:80"), {}, {}, {}, [&] {
    ++yields;
    return !closed;
  });
  EXPECT_FALSE(text.has_value());
  EXPECT_EQ(yields, 1);
}

}  // namespace
