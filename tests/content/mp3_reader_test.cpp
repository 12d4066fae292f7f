#include "content/mp3_reader.h"

#include "core/language.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

using namespace orv::content;

QString s(const char* text) {
  return QString::fromUtf8(text);
}

QByteArray b(const char* text) {
  return QByteArray(text);
}

// Bytes that may hold NUL.
template <std::size_t N>
QByteArray raw(const char (&text)[N]) {
  return QByteArray(text, N - 1);
}

QByteArray bigEndian32(quint32 value) {
  QByteArray bytes;
  for (int shift = 24; shift >= 0; shift -= 8) {
    bytes += static_cast<char>((value >> shift) & 0xFF);
  }
  return bytes;
}

QByteArray syncsafe(quint32 value) {
  QByteArray bytes;
  for (int shift = 21; shift >= 0; shift -= 7) {
    bytes += static_cast<char>((value >> shift) & 0x7F);
  }
  return bytes;
}

// A frame of an ID3v2.3 tag: ID, big-endian size, two flag bytes, then the data (which
// holds the encoding byte for text frames).
QByteArray frame(const char* id, const QByteArray& data) {
  return QByteArray(id, 4) + bigEndian32(static_cast<quint32>(data.size())) + QByteArray(2, '\0') + data;
}

QByteArray textFrame(const char* id, const QByteArray& text) {
  return frame(id, QByteArray(1, '\0') + text);
}

// "Song" as 16-bit little-endian Unicode with its byte-order mark.
QByteArray unicodeText(const char* text) {
  QByteArray bytes("\xFF\xFE");
  for (const char* c = text; *c != '\0'; ++c) {
    bytes += *c;
    bytes += '\0';
  }
  return bytes;
}

QByteArray id3v2(const QByteArray& frames, int padding = 0, char majorVersion = 3) {
  const QByteArray body = frames + QByteArray(padding, '\0');
  return b("ID3") + majorVersion + QByteArray(2, '\0') + syncsafe(static_cast<quint32>(body.size())) + body;
}

QByteArray fixed(const QByteArray& text, int width) {
  return (text + QByteArray(width, '\0')).left(width);
}

// 128 bytes: "TAG", title, artist, album, year, 28 comment bytes, a zero and the track
// (ID3v1.1 when the track is not 0), the genre.
QByteArray id3v1(const QByteArray& title, const QByteArray& artist, const QByteArray& album, const QByteArray& year,
                 int track = 0, const char* marker = "TAG") {
  return QByteArray(marker) + fixed(title, 30) + fixed(artist, 30) + fixed(album, 30) + fixed(year, 4) +
         fixed(b("comment"), 28) + '\0' + static_cast<char>(track) + '\x0C';
}

// An MPEG-1 Layer III frame at 128 kbit/s, 417 bytes long.
QByteArray mpegFrame(unsigned char versionAndLayer = 0xFB, unsigned char bitrateByte = 0x90) {
  QByteArray bytes(417, '\0');
  bytes[0] = '\xFF';
  bytes[1] = static_cast<char>(versionAndLayer);
  bytes[2] = static_cast<char>(bitrateByte);
  return bytes;
}

QByteArray xingFrame(quint32 frameCount) {
  QByteArray bytes = mpegFrame();
  bytes.replace(36, 4, "Xing");
  bytes.replace(40, 4, bigEndian32(0x0F));
  bytes.replace(44, 4, bigEndian32(frameCount));
  return bytes;
}

QByteArray padTo(QByteArray bytes, qsizetype size) {
  bytes.resize(size, '\0');
  return bytes;
}

struct Expected {
  const char* title = "";
  const char* artist = "Unknown artist";
  const char* album = "Unknown album";
  const char* year = "";
  const char* track = "";
  bool audio = false;
  int bitrate = 0;
  const char* length = "-";
};

void expectSummary(const tMp3Summary& summary, const Expected& e, const char* what) {
  EXPECT_EQ(summary.tag.title, s(e.title)) << what;
  EXPECT_EQ(summary.tag.artist, s(e.artist)) << what;
  EXPECT_EQ(summary.tag.album, s(e.album)) << what;
  EXPECT_EQ(summary.tag.year, s(e.year)) << what;
  EXPECT_EQ(summary.tag.track, s(e.track)) << what;
  EXPECT_FALSE(summary.tag.blnFound) << what;
  EXPECT_EQ(summary.mpeg.blnFound, e.audio) << what;
  EXPECT_EQ(summary.mpeg.bitrate, e.bitrate) << what;
  EXPECT_EQ(summary.mpeg.length, s(e.length)) << what;
}

class Mp3Reader : public ::testing::Test {
 protected:
  void SetUp() override {
    subInitBitrateTables();
    savedLanguage_ = orv::core::gLanguage;
    orv::core::gLanguage.setText(u"HTLM/GROUP/UNKNOW_ARTIST", s("Unknown artist"));
    orv::core::gLanguage.setText(u"HTLM/GROUP/UNKNOW_ALBUM", s("Unknown album"));
  }
  void TearDown() override { orv::core::gLanguage = savedLanguage_; }

  tMp3Summary summaryOf(const QByteArray& bytes) {
    const QString path = folder_.write(QStringLiteral("song.mp3"), bytes);
    const tMp3Summary summary = fnctGetMp3Infos(path);
    EXPECT_EQ(summary.path, path);
    return summary;
  }

  TempFolder folder_;

 private:
  orv::core::tLanguage savedLanguage_;
};

TEST_F(Mp3Reader, ReadsTagsBitrateAndLengthOfSmallFiles) {
  struct Case {
    const char* what;
    QByteArray bytes;
    Expected expected;
  };
  const QByteArray tagged =
      id3v2(textFrame("TIT2", b("Title two")) + textFrame("TPE1", b("Other")) + textFrame("TALB", b("Album two")) +
            textFrame("TYER", b("1999")) + textFrame("TRCK", b("3/12")));
  const Case cases[] = {
      {"an ID3v2.3 tag and a 128 kbit/s frame",
       tagged + mpegFrame() + QByteArray(4000, '\x55'),
       {"Title two", "Other", "Album two", "1999", "03", true, 128, "00:00"}},
      {"ID3v1 wins over ID3v2",
       tagged + mpegFrame() + id3v1(b("One"), b("Artist"), b("Album one"), b("2004"), 7),
       {"One", "Artist", "Album one", "2004", "07", true, 128, "00:00"}},
      {"a year that is no number gives way",
       tagged + mpegFrame() + id3v1(b("One"), b(""), b(""), b("n/a")),
       {"One", "Other", "Album two", "1999", "03", true, 128, "00:00"}},
      {"a lower-case marker is an ID3v1 tag",
       mpegFrame() + id3v1(b("x"), b("y"), b("z"), b("1"), 0, "tag"),
       {"x", "y", "z", "1", "", true, 128, "00:00"}},
      {"a title field that starts with NUL is empty",
       mpegFrame() + id3v1(QByteArray("\0later", 6), b("Band  "), b("  "), b("")),
       {"", "Band", "Unknown album", "", "", true, 128, "00:00"}},
      {"a Unicode frame reads as Unicode",
       id3v2(frame("TIT2", QByteArray(1, '\1') + unicodeText("Song"))) + mpegFrame(),
       {"Song", "Unknown artist", "Unknown album", "", "", true, 128, "00:00"}},
      {"a Xing frame count of 3800 gives 99 seconds",
       xingFrame(3800) + QByteArray(400000, '\x55'),
       {"", "Unknown artist", "Unknown album", "", "", true, 32, "01:39"}},
      {"frames from the Part's table: MPEG-2 Layer III index 14",
       mpegFrame(0xF3, 0xE0),
       {"", "Unknown artist", "Unknown album", "", "", true, 160, "00:00"}},
      {"MPEG-1 Layer I index 13",
       mpegFrame(0xFF, 0xD0),
       {"", "Unknown artist", "Unknown album", "", "", true, 416, "00:00"}},
      {"MPEG-2.5 Layer II index 3",
       mpegFrame(0xE5, 0x30),
       {"", "Unknown artist", "Unknown album", "", "", true, 24, "00:00"}},
      {"the reserved version has bitrate 999",
       padTo(mpegFrame(0xEB, 0x90), 999000 / 8 * 60 + 1),
       {"", "Unknown artist", "Unknown album", "", "", true, 999, "01:00"}},
      {"the bad index 15 has bitrate 999",
       mpegFrame(0xFB, 0xF0),
       {"", "Unknown artist", "Unknown album", "", "", true, 999, "00:00"}},
      {"the free index 0 gives no audio", mpegFrame(0xFB, 0x00), {}},
      {"layer bits 0 give no audio", mpegFrame(0xF9, 0x90), {}},
  };
  for (const Case& c : cases) {
    expectSummary(summaryOf(c.bytes), c.expected, c.what);
  }
}

// A text as UTF-16 code units in either byte order, with or without a byte-order mark.
QByteArray utf16(const char* utf8, bool bigEndianOrder, bool mark) {
  QByteArray bytes;
  if (mark) {
    bytes += bigEndianOrder ? b("\xFE\xFF") : b("\xFF\xFE");
  }
  for (const QChar character : QString::fromUtf8(utf8)) {
    const char16_t unit = character.unicode();
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndianOrder ? high : low;
    bytes += bigEndianOrder ? low : high;
  }
  return bytes;
}

TEST_F(Mp3Reader, TextFramesAreReadInTheEncodingTheirFirstByteNames) {
  struct Case {
    const char* what;
    char encoding;
    QByteArray text;
    const char* expected;
  };
  const Case cases[] = {
      {"UTF-16 little-endian after its mark", '\1', utf16("Μίκης Θεοδωράκης", false, true), "Μίκης Θεοδωράκης"},
      {"UTF-16 big-endian after its mark", '\1', utf16("坂本龍一", true, true), "坂本龍一"},
      {"UTF-16 little-endian without a mark", '\1', utf16("Ελληνικά", false, false), "Ελληνικά"},
      {"UTF-16 big-endian without a mark, Latin", '\1', utf16("Band", true, false), "Band"},
      {"UTF-16 big-endian without a mark, as encoding 2 stores it", '\2', utf16("東京事変", true, false), "東京事変"},
      {"encoding 2 with a mark all the same", '\2', utf16("Ωmega", false, true), "Ωmega"},
      {"a character beyond the first plane", '\1', utf16("Clef 𝄞", false, true), "Clef 𝄞"},
      {"a terminator and blanks are dropped", '\1', utf16("  Song ", false, true) + raw("\0\0"), "Song"},
      {"an odd last byte is dropped", '\1', utf16("Odd", false, true) + b("x"), "Odd"},
      {"two strings each with its mark", '\1', utf16("A", false, true) + raw("\0\0") + utf16("B", false, true), "AB"},
      {"only a mark", '\1', b("\xFF\xFE"), ""},
      {"UTF-8", '\3', b("Björk Guðmundsdóttir"), "Björk Guðmundsdóttir"},
      {"one byte per character", '\0', b("Caf\xE9"), "Café"},
  };
  for (const Case& c : cases) {
    const tMp3Summary summary = summaryOf(
        id3v2(frame("TPE1", QByteArray(1, c.encoding) + c.text) + frame("TALB", QByteArray(1, c.encoding) + c.text)) +
        mpegFrame());
    EXPECT_EQ(summary.tag.artist, s(c.expected[0] != '\0' ? c.expected : "Unknown artist")) << c.what;
    EXPECT_EQ(summary.tag.album, s(c.expected[0] != '\0' ? c.expected : "Unknown album")) << c.what;
  }
}

TEST_F(Mp3Reader, PlayLengthComesFromTheSizeAfterTheFrame) {
  // (4000001 - 1) * 8 / 1000 = 32000 kbit, divided by 128: 250 seconds.
  const QString path = folder_.write(QStringLiteral("long.mp3"), mpegFrame());
  QFile file(path);
  ASSERT_TRUE(file.resize(4000001));
  expectSummary(fnctGetMp3Infos(path), {"", "Unknown artist", "Unknown album", "", "", true, 128, "04:10"}, "long");
}

TEST_F(Mp3Reader, TracksAreTwoDigitNumbers) {
  struct Case {
    const char* track;
    const char* expected;
  };
  const Case cases[] = {{"3/12", "03"}, {"5/", ""}, {"A1", ""}, {"5", "05"}, {"12", "12"}, {"123", "23"}, {"/4", ""}};
  for (const Case& c : cases) {
    tMp3Infos infos;
    infos.id3v2.track = s(c.track);
    EXPECT_EQ(fnctMergeMp3Infos(infos, {}).tag.track, s(c.expected)) << c.track;
  }
}

TEST_F(Mp3Reader, OtherTagVersionsAreNotReadAndTheScanStartsAtTheFirstByte) {
  for (const char version : {'\2', '\4'}) {
    const QByteArray bytes = id3v2(textFrame("TIT2", b("Hidden")), 0, version) + mpegFrame();
    const tMp3Infos infos = fnctReadMp3Data(Mp3MemorySource(bytes));
    EXPECT_FALSE(infos.id3v2.blnFound);
    EXPECT_EQ(infos.id3v2.title, QString());
    EXPECT_TRUE(infos.mpeg.blnFound);
  }
  // A frame header inside the ignored tag is the one taken.
  const QByteArray decoy = id3v2(frame("PRIV", b("\xFF\xF3\x10\x00")), 0, '\4') + mpegFrame();
  EXPECT_EQ(fnctReadMp3Data(Mp3MemorySource(decoy)).mpeg.bitrate, 8);
}

TEST_F(Mp3Reader, TagSizeIsSyncsafe) {
  // Size bytes 00 00 10 00: 2048. A decoy header in the padding, at bytes the walk never
  // looks at, is found only when the tag is taken shorter.
  QByteArray tag = id3v2(textFrame("TIT2", b("Walked")), 2048 - 17);
  ASSERT_EQ(tag.mid(6, 4), QByteArray("\x00\x00\x10\x00", 4));
  tag.replace(1011, 3, "\xFF\xF3\x10");
  const tMp3Infos infos = fnctReadMp3Data(Mp3MemorySource(tag + mpegFrame()));
  EXPECT_TRUE(infos.id3v2.blnFound);
  EXPECT_EQ(infos.id3v2.title, s("Walked"));
  EXPECT_EQ(infos.mpeg.bitrate, 128);
  EXPECT_EQ(fnctBinaryToNumber(fnctNumberToBinary(0x10, 7) + fnctNumberToBinary(0, 7)), 2048u);
  EXPECT_EQ(fnctNumberToBinary(0xFF, 7), s("1111111"));
  EXPECT_EQ(fnctNumberToBinary(5, 4), s("0101"));
}

TEST_F(Mp3Reader, PaddingIsWalkedTenBytesAtATime) {
  // TIT2 ends at byte 22, where the padding steps begin: 22, 32, 42, 52...
  struct Case {
    qsizetype offset;
    const char* album;
  };
  const Case cases[] = {{52, "B"}, {22, "B"}, {4002, "B"}, {55, ""}, {4005, ""}};
  for (const Case& c : cases) {
    QByteArray tag = id3v2(textFrame("TIT2", b("A")), 8000);
    tag.replace(c.offset, 12, textFrame("TALB", b("B")));
    const tMp3Infos infos = fnctReadMp3Data(Mp3MemorySource(tag + mpegFrame()));
    EXPECT_EQ(infos.id3v2.title, s("A")) << c.offset;
    EXPECT_EQ(infos.id3v2.album, s(c.album)) << c.offset;
  }
}

TEST_F(Mp3Reader, CutsFixedFields) {
  QString field = s("kept");
  EXPECT_EQ(fnctCutFixedField(QString(QChar(0)) + s("abc"), 2, field), s("bc"));
  EXPECT_EQ(field, s("kept"));
  EXPECT_EQ(fnctCutFixedField(s(" a") + QChar(0) + s("b rest"), 5, field), s("rest"));
  EXPECT_EQ(field, s("ab"));
}

// Records every read so that a test can see none goes past the data or asks for more
// than the reader bounds itself to.
class WatchedSource final : public Mp3ByteSource {
 public:
  explicit WatchedSource(QByteArray bytes) : inner_(bytes), size_(bytes.size()) {}
  qint64 size() const override { return size_; }
  qint64 read(qint64 offset, char* buffer, qint64 count) const override {
    EXPECT_GE(offset, 0);
    EXPECT_LE(offset + count, size_);
    largestRead_ = std::max(largestRead_, count);
    return inner_.read(offset, buffer, count);
  }
  qint64 largestRead() const { return largestRead_; }

 private:
  Mp3MemorySource inner_;
  qint64 size_;
  mutable qint64 largestRead_ = 0;
};

TEST_F(Mp3Reader, HostileFilesGiveNotFoundAndStayInBounds) {
  struct Case {
    const char* what;
    QByteArray bytes;
    bool id3v2Found;
    const char* title;
    bool audioFound;
  };
  QByteArray huge = b("ID3\x03") + QByteArray(2, '\0') + b("\x7F\x7F\x7F\x7F");
  const Case cases[] = {
      {"an empty file", {}, false, "", false},
      {"one byte", b("\xFF"), false, "", false},
      {"a sync byte at the very end", QByteArray(200, 'x') + '\xFF', false, "", false},
      {"a text that is no MP3", QByteArray(5000, 'a'), false, "", false},
      {"a header only", b("ID3\x03"), true, "", false},
      {"a tag that claims 256 MiB in a few bytes", huge + textFrame("TIT2", b("Cut")), true, "Cut", false},
      {"a frame that claims 4 GiB", raw("ID3\x03\0\0\0\0\0\x64TIT2\xFF\xFF\xFF\xFF\0\0\0Rest of file"), true,
       "Rest of file", false},
      {"a frame size past the end", raw("ID3\x03\0\0\0\0\x02\0TPE1\x00\x10\x00\x00\0\0\0Short") + mpegFrame(), true, "",
       false},
      {"an ID3v1 block only", id3v1(b("t"), b("a"), b("l"), b("y")).left(127), false, "", false},
      {"a Xing count below 76 frames", xingFrame(75), false, "", false},
      {"a Xing count below 38 frames", xingFrame(37), false, "", false},
      {"a Xing count that gives a bitrate over 16 bits", padTo(xingFrame(76), 5000000), false, "", false},
      {"zero frame sizes", id3v2(frame("TIT2", {}) + frame("TPE1", {}) + textFrame("TALB", b("After")), 40), true, "",
       false},
  };
  for (const Case& c : cases) {
    const WatchedSource source(c.bytes);
    const tMp3Infos infos = fnctReadMp3Data(source);
    EXPECT_EQ(infos.id3v2.blnFound, c.id3v2Found) << c.what;
    EXPECT_EQ(infos.id3v2.title, s(c.title)) << c.what;
    EXPECT_EQ(infos.mpeg.blnFound, c.audioFound) << c.what;
    EXPECT_FALSE(infos.id3v1.blnFound) << c.what;
    EXPECT_LE(source.largestRead(), 64 * 1024) << c.what;
  }
}

// A file the file layer cannot read: every read fails.
class FailingSource final : public Mp3ByteSource {
 public:
  qint64 size() const override { return 100 * 1024 * 1024; }
  qint64 read(qint64, char*, qint64) const override {
    ++reads_;
    return 0;
  }
  int reads() const { return reads_; }

 private:
  mutable int reads_ = 0;
};

TEST_F(Mp3Reader, FailedReadsCountAsZerosAndAreNotRepeatedPerByte) {
  const FailingSource source;
  const tMp3Infos infos = fnctReadMp3Data(source);
  EXPECT_FALSE(infos.id3v2.blnFound);
  EXPECT_FALSE(infos.mpeg.blnFound);
  EXPECT_FALSE(infos.id3v1.blnFound);
  EXPECT_LT(source.reads(), 40);
}

TEST_F(Mp3Reader, FramesAfterAnEmptyFrameAreStillRead) {
  const QByteArray bytes = id3v2(frame("TIT2", {}) + textFrame("TALB", b("After")), 40) + mpegFrame();
  const tMp3Infos infos = fnctReadMp3Data(Mp3MemorySource(bytes));
  EXPECT_EQ(infos.id3v2.album, s("After"));
  EXPECT_EQ(infos.mpeg.bitrate, 128);
}

TEST_F(Mp3Reader, ATagOfManyEmptyFramesIsWalkedToItsLastFrame) {
  // Two hundred thousand frames of ten bytes each, then the album.
  const QByteArray empties = frame("TXXX", {}).repeated(200000) + frame("TIT2", {});
  const QByteArray bytes = id3v2(empties + textFrame("TALB", b("Last")), 10) + mpegFrame();
  const tMp3Infos infos = fnctReadMp3Data(Mp3MemorySource(bytes));
  EXPECT_TRUE(infos.id3v2.blnFound);
  EXPECT_EQ(infos.id3v2.album, s("Last"));
  EXPECT_EQ(infos.id3v2.title, QString());
  EXPECT_EQ(infos.mpeg.bitrate, 128);
}

TEST_F(Mp3Reader, AHugeTextFrameIsReadOnlyInPart) {
  const QByteArray title(200000, 'T');
  const QByteArray bytes = id3v2(textFrame("TIT2", title)) + mpegFrame();
  const WatchedSource source(bytes);
  const tMp3Infos infos = fnctReadMp3Data(source);
  EXPECT_EQ(infos.id3v2.title.size(), 64 * 1024);
  EXPECT_TRUE(infos.mpeg.blnFound);
  EXPECT_LE(source.largestRead(), 64 * 1024);
}

TEST_F(Mp3Reader, MissingAndUnreadableFilesGiveTheFallbacks) {
  const Expected nothing;
  expectSummary(fnctGetMp3Infos(folder_.file(QStringLiteral("missing.mp3"))), nothing, "missing");
  expectSummary(fnctGetMp3Infos(folder_.makeFolder(QStringLiteral("folder.mp3"))), nothing, "a folder");
  expectSummary(summaryOf({}), nothing, "empty");
}

QString sparseFile(const TempFolder& folder, const QByteArray& head, off_t size) {
  const QString path = folder.write(QStringLiteral("sparse.mp3"), head);
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
  return path;
}

TEST_F(Mp3Reader, TwoGibibyteSparseFiles) {
  constexpr off_t kSize = off_t{2} * 1024 * 1024 * 1024;
  expectSummary(fnctGetMp3Infos(sparseFile(folder_, {}, kSize)), {}, "zeros");
  // A tag claiming its largest size over zeros: walked as padding to its end.
  const QByteArray hugeTag = b("ID3\x03") + QByteArray(2, '\0') + b("\x7F\x7F\x7F\x7F");
  expectSummary(fnctGetMp3Infos(sparseFile(folder_, hugeTag, kSize)), {}, "a huge tag over zeros");
  // (2^31 - 1) * 8 / 1000 = 17179869 kbit at 128 kbit/s: 134217.7 seconds.
  expectSummary(fnctGetMp3Infos(sparseFile(folder_, mpegFrame(), kSize)),
                {"", "Unknown artist", "Unknown album", "", "", true, 128, "37:16:58"}, "a frame then zeros");
}

}  // namespace
