#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <utility>

// Reads the title, artist, album, year, track, bitrate and play length of an MP3 file
// straight from its bytes: an ID3v2.3 tag at the start, the first MPEG audio frame header
// after it (with the frame count of a Xing header) and an ID3v1 or ID3v1.1 tag in the last
// 128 bytes. Every size and offset the file declares is bounded by what the file holds, so
// truncated, oversized or foreign files give the "not found" answers and never make the
// reader read or allocate what they claim.
namespace orv::content {

struct tId3Tag {
  bool blnFound = false;
  QString title;
  QString artist;
  QString album;
  QString year;
  QString track;
};

struct tMpegInfo {
  bool blnFound = false;
  int bitrate = 0;  // kbit/s; 999 for a header whose bitrate index or version is unusable
  QString length;   // as fnctFormatDuration writes it
};

// The three parts as read, each with its own found flag.
struct tMp3Infos {
  tId3Tag id3v1;
  tId3Tag id3v2;
  tMpegInfo mpeg;
};

// The merged data of one file. The tag's found flag is never set.
struct tMp3Summary {
  tId3Tag tag;
  tMpegInfo mpeg;
  QString path;
};

// Bitrates in kbit/s by the 4-bit bitrate index of a frame header (ISO/IEC 11172-3 and
// 13818-3): 0 for index 0 ("free"), 999 for index 15 ("bad"). Tables 0 to 5: MPEG-1
// Layer III, MPEG-2/2.5 Layer III, MPEG-1 Layer II, MPEG-2/2.5 Layer II, MPEG-1 Layer I,
// MPEG-2/2.5 Layer I. Empty until subInitBitrateTables has run.
using BitrateTable = std::array<int, 16>;
extern std::array<BitrateTable, 6> gBitrateTables;

// Fills gBitrateTables; start-up calls it once before any page is built.
void subInitBitrateTables();

// Random access to the bytes of one file.
class Mp3ByteSource {
 public:
  virtual ~Mp3ByteSource() = default;
  virtual qint64 size() const = 0;
  // Copies up to count bytes from offset into buffer and answers how many it copied;
  // fewer at the end of the data or on a read failure.
  virtual qint64 read(qint64 offset, char* buffer, qint64 count) const = 0;
};

// Bytes held in memory.
class Mp3MemorySource final : public Mp3ByteSource {
 public:
  explicit Mp3MemorySource(QByteArray bytes) : bytes_(std::move(bytes)) {}
  qint64 size() const override { return bytes_.size(); }
  qint64 read(qint64 offset, char* buffer, qint64 count) const override;

 private:
  QByteArray bytes_;
};

// The three parts of the data; a part that is not there keeps its found flag false.
tMp3Infos fnctReadMp3Data(const Mp3ByteSource& source);

// The same for a file; a file that does not open gives three parts not found.
tMp3Infos fnctReadMp3File(const QString& path);

// The parts merged with fallbacks: ID3v1 before ID3v2, the UNKNOW_ARTIST and UNKNOW_ALBUM
// texts of the language record for a missing artist or album, a year and a track only when
// they read as numbers (the track as two digits), and "-" for a missing length.
tMp3Summary fnctMergeMp3Infos(const tMp3Infos& infos, const QString& path);
tMp3Summary fnctGetMp3Infos(const QString& path);

// Sets field to the first width characters of text without NUL characters and trimmed of
// blanks, unless text begins with a NUL (field is then left as it is); answers the rest of
// the text after those width characters.
QString fnctCutFixedField(const QString& text, int width, QString& field);

// The low digits bits of a non-negative number as binary digits, most significant first.
QString fnctNumberToBinary(quint64 number, int digits);

// The number that a text of binary digits (most significant first) stands for.
quint64 fnctBinaryToNumber(const QString& text);

}  // namespace orv::content
