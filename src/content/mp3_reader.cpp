#include "content/mp3_reader.h"

#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/formats.h"
#include "core/language.h"
#include "platform/codepage.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

namespace orv::content {

std::array<BitrateTable, 6> gBitrateTables{};

namespace {

constexpr std::array<BitrateTable, 6> kBitrateTables = {{
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 999},      // MPEG-1 Layer III
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 999},          // MPEG-2/2.5 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 999},     // MPEG-1 Layer II
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 999},          // MPEG-2/2.5 Layer II
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 999},  // MPEG-1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 999},     // MPEG-2/2.5 Layer I
}};

// A text frame longer than this is read only this far: no title needs more, and the
// frame's declared size must not decide how much is allocated.
constexpr qint64 kMaxTextFrameBytes = 64 * 1024;

// How far the search for the first frame header goes. The search stops after this many
// bytes instead of at the end of the file, so that a large file of zeros (a sparse or
// foreign file named .mp3) does not hold the one thread of the server for seconds.
constexpr qint64 kMaxSyncSearchBytes = 1024 * 1024;

// The bitrate is a 16-bit integer: a Xing frame count that gives more is not believed.
constexpr qint64 kMaxBitrate = 32767;

constexpr qint64 kWindowBytes = 64 * 1024;
constexpr qint64 kSmallReadBytes = 64;

// Reads the source through a window, so that walks byte by byte or frame by frame do not
// call the file layer each time. Bytes outside the data, and bytes lost to a failed or
// short read, read as 0, as they would in the zero-filled buffer of a short read.
class ByteReader {
 public:
  explicit ByteReader(const Mp3ByteSource& source) : source_(source), size_(std::max<qint64>(source.size(), 0)) {}

  qint64 size() const { return size_; }

  int at(qint64 offset) {
    if (offset < 0 || offset >= size_) {
      return 0;
    }
    return static_cast<unsigned char>(*windowAt(offset));
  }

  // Exactly count bytes from offset into buffer, for a few bytes.
  void copy(qint64 offset, char* buffer, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      buffer[i] = static_cast<char>(at(offset + static_cast<qint64>(i)));
    }
  }

  // Exactly count bytes from offset; the caller bounds count.
  QByteArray bytes(qint64 offset, qint64 count) {
    QByteArray result(count, '\0');
    if (count <= kSmallReadBytes) {
      for (qint64 i = 0; i < count; ++i) {
        result[i] = static_cast<char>(at(offset + i));
      }
      return result;
    }
    const qint64 first = std::max<qint64>(offset, 0);
    const qint64 end = std::min(offset + count, size_);
    if (first < end) {
      source_.read(first, result.data() + (first - offset), end - first);
    }
    return result;
  }

  // The first offset in [from, end) whose byte is the value, or -1.
  qint64 find(qint64 from, qint64 end, char value) {
    end = std::min(end, size_);
    for (qint64 offset = std::max<qint64>(from, 0); offset < end;) {
      const char* bytes = windowAt(offset);
      const qint64 chunk = std::min(end, windowStart_ + window_.size()) - offset;
      if (const void* hit = std::memchr(bytes, value, static_cast<std::size_t>(chunk))) {
        return offset + (static_cast<const char*>(hit) - bytes);
      }
      offset += chunk;
    }
    return -1;
  }

  // The first offset in [from, end) whose byte is not 0, or -1.
  qint64 findNonZero(qint64 from, qint64 end) {
    static const char kZeros[4096] = {};
    end = std::min(end, size_);
    for (qint64 offset = std::max<qint64>(from, 0); offset < end;) {
      const char* bytes = windowAt(offset);
      const qint64 chunk = std::min({end, windowStart_ + window_.size(), offset + qint64{sizeof kZeros}}) - offset;
      if (std::memcmp(bytes, kZeros, static_cast<std::size_t>(chunk)) != 0) {
        for (qint64 i = 0; i < chunk; ++i) {
          if (bytes[i] != 0) {
            return offset + i;
          }
        }
      }
      offset += chunk;
    }
    return -1;
  }

 private:
  // The window byte of an offset within the data, loading the window that holds it.
  const char* windowAt(qint64 offset) {
    if (offset < windowStart_ || offset >= windowStart_ + window_.size()) {
      windowStart_ = offset - offset % kWindowBytes;
      const qint64 length = std::min(kWindowBytes, size_ - windowStart_);
      window_.fill('\0', length);
      source_.read(windowStart_, window_.data(), length);
    }
    return window_.constData() + (offset - windowStart_);
  }

  const Mp3ByteSource& source_;
  qint64 size_;
  qint64 windowStart_ = 0;
  QByteArray window_;
};

class Mp3FileSource final : public Mp3ByteSource {
 public:
  explicit Mp3FileSource(int handle) : handle_(handle) {}

  qint64 size() const override { return core::getFileSizeByHandle(handle_); }

  qint64 read(qint64 offset, char* buffer, qint64 count) const override {
    if (core::fnctSetFilePosition(handle_, offset) != offset) {
      return 0;
    }
    QByteArray bytes;
    core::fnctReadFileBytes(handle_, count, bytes);
    const qint64 got = std::min<qint64>(bytes.size(), count);
    std::memcpy(buffer, bytes.constData(), static_cast<std::size_t>(got));
    return got;
  }

 private:
  int handle_;
};

// Only the blank is trimmed, not other white space.
QString trimBlanks(const QString& text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text.at(first) == QLatin1Char(' ')) {
    ++first;
  }
  while (last > first && text.at(last - 1) == QLatin1Char(' ')) {
    --last;
  }
  return text.mid(first, last - first);
}

QString withoutNul(QString text) {
  return text.remove(QChar(0));
}

// The system's one test of whether a text reads as a number.
bool readsAsNumber(const QString& text) {
  return core::parseConfigNumber(text).has_value();
}

quint32 bigEndian(QByteArrayView bytes) {
  quint32 value = 0;
  for (const char byte : bytes) {
    value = (value << 8) | static_cast<unsigned char>(byte);
  }
  return value;
}

QString* textFieldOf(tId3Tag& tag, QByteArrayView id) {
  if (id == "TIT2") {
    return &tag.title;
  }
  if (id == "TPE1") {
    return &tag.artist;
  }
  if (id == "TALB") {
    return &tag.album;
  }
  if (id == "TYER") {
    return &tag.year;
  }
  if (id == "TRCK") {
    return &tag.track;
  }
  return nullptr;
}

// UTF-16 code units from bytes, in the byte order of the mark when one leads them. Without a
// mark the order is guessed from where the zero bytes of Latin characters stand, little-endian
// when nothing tells, since that is what writers that drop the mark mostly write.
QString fromUtf16(QByteArrayView bytes, bool bigEndianByDefault) {
  bool bigEndianOrder = bigEndianByDefault;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    bigEndianOrder = false;
    bytes = bytes.sliced(2);
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    bigEndianOrder = true;
    bytes = bytes.sliced(2);
  } else if (!bigEndianByDefault && bytes.size() >= 2 && bytes[0] == 0 && bytes[1] != 0) {
    bigEndianOrder = true;
  }
  QString text(bytes.size() / 2, Qt::Uninitialized);
  for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    text[i / 2] = QChar(static_cast<char16_t>(bigEndianOrder ? (first << 8) | second : (second << 8) | first));
  }
  return text;
}

// The text of a frame whose encoding byte stands at the 0-based offset, read in the
// encoding that byte names: 0 one character per byte, 1 UTF-16 after a byte-order mark,
// 2 UTF-16 big-endian, 3 UTF-8. NUL characters (terminators), byte-order marks left
// inside the text and the blanks around it are dropped. An unknown encoding byte reads
// one character per byte, as the oldest writers meant.
QString frameText(ByteReader& reader, qint64 encodingOffset, quint32 frameSize) {
  const qint64 available = std::max<qint64>(reader.size() - (encodingOffset + 1), 0);
  const qint64 count = std::min({static_cast<qint64>(frameSize) - 1, kMaxTextFrameBytes, available});
  if (count <= 0) {
    return {};
  }
  const QByteArray data = reader.bytes(encodingOffset + 1, count);
  QString text;
  switch (reader.at(encodingOffset)) {
    case 1:
      text = fromUtf16(data, false);
      break;
    case 2:
      text = fromUtf16(data, true);
      break;
    case 3:
      text = QString::fromUtf8(data);
      break;
    default:
      text = platform::fromAnsi(data).remove(platform::fromAnsi(QByteArray("\xFF\xFE")));
      break;
  }
  return trimBlanks(withoutNul(text).remove(QChar(0xFEFF)));
}

// The ID3v2.3 tag; answers the 1-based position where the frame walk stopped, or 1 when
// there was none.
qint64 readId3v2(ByteReader& reader, tId3Tag& tag) {
  if (reader.bytes(0, 3) != "ID3") {
    return 1;
  }
  const QByteArray header = reader.bytes(2, 8);
  if (header.at(1) != 3) {
    return 1;
  }
  QString sizeBits;
  for (qint64 offset = 6; offset <= 9; ++offset) {
    sizeBits += fnctNumberToBinary(static_cast<quint64>(reader.at(offset)), 7);
  }
  const qint64 tagSize = static_cast<qint64>(fnctBinaryToNumber(sizeBits));
  qint64 position = 11;  // 1-based, the first byte after the 10-byte header
  // The first step at or after the end of the tag, where a walk through padding stops.
  const auto endOfWalkFrom = [tagSize](qint64 step) { return step + 10 * ((tagSize - step + 9) / 10); };
  while (position < tagSize) {
    // A tag of tiny frames holds millions of them: the header is read without allocating.
    std::array<char, 8> frameHeader{};
    reader.copy(position - 1, frameHeader.data(), frameHeader.size());
    const QByteArrayView id(frameHeader.data(), 4);
    const quint32 frameSize = bigEndian(QByteArrayView(frameHeader.data() + 4, 4));
    if (id == QByteArrayView("\0\0\0\0", 4)) {
      // Padding is walked 10 bytes at a time: the walk goes on at the first step whose ID
      // holds a byte that is not 0. Skipping the zeros at once keeps a tag that claims
      // hundreds of megabytes of padding from taking millions of steps.
      const qint64 nonZero = reader.findNonZero(position + 9, tagSize + 2);
      const qint64 end = endOfWalkFrom(position);
      if (nonZero < 0) {
        position = end;
      } else {
        const qint64 steps = std::max<qint64>(1, (nonZero - 2 - position + 9) / 10);
        position = std::min(position + 10 * steps, end);
      }
      continue;
    }
    position += 10;
    if (QString* field = textFieldOf(tag, id)) {
      *field = frameText(reader, position - 1, frameSize);
    }
    position += frameSize;
  }
  tag.blnFound = true;
  return position;
}

// The first frame header from the 1-based position on.
void readMpegFrame(ByteReader& reader, qint64 start, tMpegInfo& info) {
  const qint64 size = reader.size();
  const qint64 last = std::min(size - 1, start + kMaxSyncSearchBytes);
  qint64 frame = 0;  // 1-based
  for (qint64 from = std::max<qint64>(start, 1) - 1; from < last;) {
    const qint64 sync = reader.find(from, last, '\xFF');
    if (sync < 0) {
      break;
    }
    if (reader.at(sync + 1) != 0) {
      frame = sync + 1;
      break;
    }
    from = sync + 1;
  }
  if (frame == 0) {
    return;
  }
  const int versionAndLayer = reader.at(frame);
  const int bitrateIndex = reader.at(frame + 1) >> 4;
  const int versionBits = versionAndLayer & 0x18;
  const int layerBits = versionAndLayer & 0x06;
  if (versionBits == 0x08) {
    info.bitrate = 999;  // the reserved version has no table
  } else {
    const int versionCode = versionBits == 0x18 ? 1 : 2;
    if (layerBits == 0) {
      return;
    }
    info.bitrate =
        gBitrateTables[static_cast<std::size_t>(layerBits + versionCode - 3)][static_cast<std::size_t>(bitrateIndex)];
  }
  if (info.bitrate == 0) {
    return;
  }
  const qint64 kilobits = (size - frame) * 8 / 1000;
  info.length = core::fnctFormatDuration(static_cast<double>(kilobits) / info.bitrate);

  const qint64 frameOffset = frame - 1;
  if (reader.bytes(frameOffset + 36, 4) == "Xing") {
    const qint64 frames =
        (reader.at(frameOffset + 45) << 16) | (reader.at(frameOffset + 46) << 8) | reader.at(frameOffset + 47);
    const qint64 seconds = frames / 38 - 1;
    info.length = core::fnctFormatDuration(static_cast<double>(seconds));
    // Fewer than 76 frames give no usable length (and below 38 a negative one).
    if (seconds <= 0) {
      return;
    }
    const qint64 bitrate = kilobits / seconds;
    if (bitrate > kMaxBitrate) {
      return;
    }
    info.bitrate = static_cast<int>(bitrate);
  }
  info.blnFound = true;
}

void readId3v1(ByteReader& reader, tId3Tag& tag) {
  const qint64 size = reader.size();
  if (size < 128) {
    return;
  }
  const QByteArray block = reader.bytes(size - 128, 127);
  if (qstrnicmp(block.constData(), "TAG", 3) != 0) {
    return;
  }
  QString rest = platform::fromAnsi(block);
  QString marker;
  rest = fnctCutFixedField(rest, 3, marker);
  rest = fnctCutFixedField(rest, 30, tag.title);
  rest = fnctCutFixedField(rest, 30, tag.artist);
  rest = fnctCutFixedField(rest, 30, tag.album);
  fnctCutFixedField(rest, 4, tag.year);
  const int beforeTrack = reader.at(size - 3);
  const int track = reader.at(size - 2);
  if (beforeTrack == 0 && track != 0) {
    tag.track = QString::number(track);
  }
  tag.blnFound = true;
}

QString firstNotEmpty(const QString& first, const QString& second, const QString& fallback = {}) {
  if (!first.isEmpty()) {
    return first;
  }
  return second.isEmpty() ? fallback : second;
}

QString mergedTrack(const tMp3Infos& infos) {
  QString track = firstNotEmpty(infos.id3v1.track, infos.id3v2.track);
  if (track.isEmpty()) {
    return track;
  }
  const qsizetype slash = track.indexOf(QLatin1Char('/'));
  if (slash >= 0 && slash != track.size() - 1) {
    track = track.left(slash);
  }
  if (!readsAsNumber(track)) {
    return {};
  }
  return (QStringLiteral("0000000000") + track).right(2);
}

}  // namespace

void subInitBitrateTables() {
  gBitrateTables = kBitrateTables;
}

qint64 Mp3MemorySource::read(qint64 offset, char* buffer, qint64 count) const {
  if (offset < 0 || offset >= bytes_.size() || count <= 0) {
    return 0;
  }
  const qint64 got = std::min(count, bytes_.size() - offset);
  std::memcpy(buffer, bytes_.constData() + offset, static_cast<std::size_t>(got));
  return got;
}

tMp3Infos fnctReadMp3Data(const Mp3ByteSource& source) {
  tMp3Infos infos;
  ByteReader reader(source);
  const qint64 audioStart = readId3v2(reader, infos.id3v2);
  readMpegFrame(reader, audioStart, infos.mpeg);
  readId3v1(reader, infos.id3v1);
  return infos;
}

tMp3Infos fnctReadMp3File(const QString& path) {
  const core::ScopedFileHandle handle(core::fnctOpenFileForRead(path));
  if (!handle.isValid()) {
    return {};
  }
  return fnctReadMp3Data(Mp3FileSource(handle.get()));
}

tMp3Summary fnctMergeMp3Infos(const tMp3Infos& infos, const QString& path) {
  tMp3Summary summary;
  summary.tag.title = firstNotEmpty(infos.id3v1.title, infos.id3v2.title);
  summary.tag.artist =
      firstNotEmpty(infos.id3v1.artist, infos.id3v2.artist, core::gLanguage.text(u"HTLM/GROUP/UNKNOW_ARTIST"));
  summary.tag.album =
      firstNotEmpty(infos.id3v1.album, infos.id3v2.album, core::gLanguage.text(u"HTLM/GROUP/UNKNOW_ALBUM"));
  if (readsAsNumber(infos.id3v1.year)) {
    summary.tag.year = infos.id3v1.year;
  } else if (readsAsNumber(infos.id3v2.year)) {
    summary.tag.year = infos.id3v2.year;
  }
  summary.tag.track = mergedTrack(infos);
  summary.mpeg.blnFound = infos.mpeg.blnFound;
  summary.mpeg.bitrate = infos.mpeg.bitrate;
  summary.mpeg.length = infos.mpeg.length.isEmpty() ? QStringLiteral("-") : infos.mpeg.length;
  summary.path = path;
  return summary;
}

tMp3Summary fnctGetMp3Infos(const QString& path) {
  return fnctMergeMp3Infos(fnctReadMp3File(path), path);
}

QString fnctCutFixedField(const QString& text, int width, QString& field) {
  if (text.isEmpty() || text.at(0) != QChar(0)) {
    field = trimBlanks(withoutNul(text.left(width)));
  }
  return text.mid(width);
}

QString fnctNumberToBinary(quint64 number, int digits) {
  QString text(digits, QLatin1Char('0'));
  for (int i = digits - 1; i >= 0 && number != 0; --i, number >>= 1) {
    if ((number & 1) != 0) {
      text[i] = QLatin1Char('1');
    }
  }
  return text;
}

quint64 fnctBinaryToNumber(const QString& text) {
  quint64 number = 0;
  for (const QChar digit : text) {
    number = (number << 1) | (digit == QLatin1Char('1') ? 1 : 0);
  }
  return number;
}

}  // namespace orv::content
