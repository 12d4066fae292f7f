#include "core/file_utils.h"

#include "platform/clock.h"
#include "platform/codepage.h"

#include <algorithm>
#include <cstdio>

namespace orv::core {
namespace {

// Writes the value in upper-case hexadecimal without leading zeros ("0" for 0) and moves
// out past it; at most 16 characters.
void writeUpperHex(char*& out, quint64 value) {
  char digits[16];
  int count = 0;
  do {
    digits[count++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (count > 0) {
    *out++ = digits[--count];
  }
}

// The size as fnctSizeToHex writes it; at most 24 characters.
void writeSizeHex(char*& out, qint64 size) {
  const auto value = static_cast<quint64>(size);
  const quint64 upper = value >> 32;
  if (upper != 0) {
    writeUpperHex(out, upper);
  }
  writeUpperHex(out, value & 0xFFFFFFFFu);
}

// What a file that does not open counts as written at.
QDateTime unreadableFileDate() {
  return QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1));
}

// Year, month, day, hour, minute and second of the local last write, then the size.
QString etagOf(const QDateTime& writtenLocal, qint64 size) {
  const QDate date = writtenLocal.date();
  const QTime time = writtenLocal.time();
  int year = 0;
  int month = 0;
  int day = 0;
  date.getDate(&year, &month, &day);
  char text[6 * 16 + 24];
  char* out = text;
  for (const int field : {year, month, day, time.hour(), time.minute(), time.second()}) {
    writeUpperHex(out, static_cast<quint64>(field));
  }
  writeSizeHex(out, size);
  return QString::fromLatin1(text, out - text);
}

}  // namespace

// A plain scan: a served file passes here several times per request.
bool holdsDoubleSeparator(QStringView path) {
  for (qsizetype i = 1; i < path.size(); ++i) {
    if (path[i] == u'/' && path[i - 1] == u'/') {
      return true;
    }
  }
  return false;
}

ExistenceCode fnctFolderExists(const QString& path, bool blnNoAccessTest) {
  if (path.isEmpty() || holdsDoubleSeparator(path)) {
    return ExistenceCode::Absent;
  }
  // The kind alone is asked for: one call, not the full status with its link and access
  // checks (a served file passes here several times per request).
  const std::optional<platform::PathStatus> status = platform::statPathQuick(path);
  if (!status || !status->isDirectory) {
    return ExistenceCode::Absent;
  }
  if (blnNoAccessTest) {
    return ExistenceCode::Usable;
  }
  const QString previous = platform::currentFolder();
  if (!fnctSetCurrentDirectory(path)) {
    return ExistenceCode::NotUsable;
  }
  fnctSetCurrentDirectory(previous);
  // Entering is not enough for a folder that is served: its listing must open too.
  return platform::isPathReadable(path) ? ExistenceCode::Usable : ExistenceCode::NotUsable;
}

ExistenceCode fnctFileExists(const QString& path, bool blnNoOpenTest) {
  if (holdsDoubleSeparator(path)) {
    return ExistenceCode::Absent;
  }
  const std::optional<platform::PathStatus> status = platform::statPathQuick(path);
  if (!status || !status->isRegularFile) {
    return ExistenceCode::Absent;
  }
  if (blnNoOpenTest) {
    return ExistenceCode::Usable;
  }
  const ScopedFileHandle handle(fnctOpenFileForRead(path));
  return handle.isValid() ? ExistenceCode::Usable : ExistenceCode::NotUsable;
}

bool fnctSetCurrentDirectory(const QString& path) {
  // Through the platform call: QDir would turn the escaped bytes of a name into other ones.
  return platform::setCurrentFolder(path);
}

int fnctOpenFileForRead(const QString& path) {
  // Opening a pipe would wait for its writer, and a device could be read without end.
  const std::optional<platform::PathStatus> status = platform::statPathQuick(path);
  if (!status || !(status->isRegularFile || status->isDirectory)) {
    return platform::kInvalidFileHandle;
  }
  return platform::openFileForRead(path);
}

bool fnctReadFileBytes(int handle, qint64 count, QByteArray& bytes) {
  bytes.clear();
  if (handle == platform::kInvalidFileHandle || count <= 0) {
    return false;
  }
  qint64 wanted = count;
  const qint64 size = platform::fileSizeOf(handle);
  const qint64 position = platform::seekFile(handle, 0, SEEK_CUR);
  if (size >= 0 && position >= 0) {
    wanted = std::min(wanted, std::max<qint64>(size - position, 0));
  }
  bytes.resize(wanted);
  qint64 got = 0;
  while (got < wanted) {
    const qint64 read = platform::readFile(handle, bytes.data() + got, wanted - got);
    if (read <= 0) {
      break;
    }
    got += read;
  }
  bytes.resize(got);
  return got == count;
}

bool fnctReadFileValue(int handle, qint64 count, QString& value) {
  QByteArray bytes;
  if (!fnctReadFileBytes(handle, count, bytes)) {
    return false;
  }
  value = platform::fromAnsi(bytes);
  return true;
}

qint64 getFileSizeByHandle(int handle) {
  if (handle == platform::kInvalidFileHandle) {
    return -1;
  }
  return platform::fileSizeOf(handle);
}

qint64 fnctSetFilePosition(int handle, qint64 position) {
  if (handle == platform::kInvalidFileHandle || position < 0) {
    return -1;
  }
  return platform::seekFile(handle, position, SEEK_SET);
}

bool fnctCloseFileHandle(int handle) {
  return platform::closeFile(handle);
}

qint64 getFileSizeByPath(const QString& path) {
  const ScopedFileHandle handle(fnctOpenFileForRead(path));
  return getFileSizeByHandle(handle.get());
}

QDateTime getFileLastWriteDate(const QString& path) {
  const ScopedFileHandle handle(fnctOpenFileForRead(path));
  if (handle.isValid()) {
    const QDateTime written = platform::lastWriteOf(handle.get());
    if (written.isValid()) {
      return QDateTime::fromSecsSinceEpoch(written.toSecsSinceEpoch(), Qt::LocalTime);
    }
  }
  return unreadableFileDate();
}

bool hasFileAttribute(const QString& path, quint32 mask) {
  const std::optional<platform::PathStatus> status = platform::statPath(path);
  if (!status) {
    return false;
  }
  quint32 attributes = 0;
  if (status->isReadOnly) {
    attributes |= kFileAttributeReadOnly;
  }
  if (status->isHidden) {
    attributes |= kFileAttributeHidden;
  }
  if (status->isDirectory) {
    attributes |= kFileAttributeDirectory;
  }
  return (attributes & mask) != 0;
}

QString getFileEtag(const QString& path, qint64 size) {
  if (fnctFileExists(path, true) != ExistenceCode::Usable) {
    return QStringLiteral("-1");
  }
  return etagOf(getFileLastWriteDate(path), size == -1 ? getFileSizeByPath(path) : size);
}

OpenFileStamp getOpenFileStamp(const QString& path, int handle, qint64 size) {
  return getOpenFileStamp(
      path, handle == platform::kInvalidFileHandle ? std::nullopt : platform::statusOfHandle(handle), size);
}

OpenFileStamp getOpenFileStamp(const QString& path, const std::optional<platform::PathStatus>& status, qint64 size) {
  OpenFileStamp stamp;
  if (status && status->lastWriteUtc.isValid()) {
    stamp.lastWriteUtc = QDateTime::fromSecsSinceEpoch(status->lastWriteUtc.toSecsSinceEpoch(), Qt::UTC);
  } else {
    stamp.lastWriteUtc = unreadableFileDate().toUTC();
  }
  if (holdsDoubleSeparator(path) || !status || !status->isRegularFile) {
    stamp.etag = QStringLiteral("-1");
  } else {
    // The zone is not read again for every response.
    stamp.etag = etagOf(platform::toLocalDateTime(stamp.lastWriteUtc), size);
  }
  return stamp;
}

QString fnctSizeToHex(qint64 size) {
  char text[24];
  char* out = text;
  writeSizeHex(out, size);
  return QString::fromLatin1(text, out - text);
}

bool isDllAvailable(const QString& fileName) {
  return fileName.compare(QLatin1String("zlib.dll"), Qt::CaseInsensitive) == 0;
}

}  // namespace orv::core
