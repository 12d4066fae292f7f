#pragma once

#include "platform/file_system.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstring>
#include <type_traits>

// The file layer of the system: existence tests with a usability check, the handle layer
// over the platform's file calls (open for reading, read, seek, size, close), last-write
// dates, attributes and entity tags. No call reports a failure other than through its
// answer.
namespace orv::core {

enum class ExistenceCode {
  Absent = 0,     // no such file or folder, or a path that is refused
  Usable = 1,     // present and usable
  NotUsable = 2,  // present but it cannot be opened, entered or listed
};

// The attribute bits that hasFileAttribute tests.
inline constexpr quint32 kFileAttributeReadOnly = 0x01;  // no write permission for this process
inline constexpr quint32 kFileAttributeHidden = 0x02;    // the last name begins with "."
inline constexpr quint32 kFileAttributeDirectory = 0x10;

// The platform rule that refuses network paths: two separators in a row.
bool holdsDoubleSeparator(QStringView path);

// A folder (symbolic links followed). Absent for an empty path, a path holding "//" and a
// path that names no folder. Usable, without blnNoAccessTest, only when the folder can be
// both entered and listed.
ExistenceCode fnctFolderExists(const QString& path, bool blnNoAccessTest);

// A regular file (symbolic links followed): a folder, a device, a pipe or a socket counts as
// absent, as does a path holding "//". Usable, without blnNoOpenTest, only when it opens
// for reading.
ExistenceCode fnctFileExists(const QString& path, bool blnNoOpenTest);

// Makes the folder the process's current directory; true on success.
bool fnctSetCurrentDirectory(const QString& path);

// A read-only handle of a file or a folder, or platform::kInvalidFileHandle. Devices,
// pipes and sockets are refused, so opening never waits for a writer.
int fnctOpenFileForRead(const QString& path);

// Reads count bytes from the current position into bytes. True only when all count bytes
// were read: a read that stops short (the end of the file comes first) is a failure, and
// bytes then holds what was read. A count of 0 or less, or an invalid handle, answers false
// with bytes empty. No more is ever allocated than the file has left to read.
bool fnctReadFileBytes(int handle, qint64 count, QByteArray& bytes);

// Reads count bytes as the value's memory image (the machine's byte order); count may not
// exceed the value's size, and bytes the count leaves out are zero. The value changes only
// when the read succeeds.
template <typename T>
requires(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>) bool fnctReadFileValue(int handle, qint64 count,
                                                                                     T& value) {
  if (count > static_cast<qint64>(sizeof(T))) {
    return false;
  }
  QByteArray bytes;
  if (!fnctReadFileBytes(handle, count, bytes)) {
    return false;
  }
  T image{};
  std::memcpy(&image, bytes.constData(), static_cast<std::size_t>(count));
  value = image;
  return true;
}

// Reads count bytes as a text of one character per byte through the system code page.
bool fnctReadFileValue(int handle, qint64 count, QString& value);

// The size of the open file; -1 for an invalid handle.
qint64 getFileSizeByHandle(int handle);

// Moves the position to the offset from the start of the file; the new position, or -1.
qint64 fnctSetFilePosition(int handle, qint64 position);

// True when the handle was open and is now closed.
bool fnctCloseFileHandle(int handle);

// The size of the file (open, size, close); -1 when it does not open.
qint64 getFileSizeByPath(const QString& path);

// The last write of the file or folder in local time, to the whole second; 1 January 1980,
// 00:00:01 local time when it does not open.
QDateTime getFileLastWriteDate(const QString& path);

// True when the path exists and has at least one of the attribute bits of mask.
bool hasFileAttribute(const QString& path, quint32 mask);

// The entity tag of a file: year, month, day, hour, minute and second of its local
// last-write date, each in upper-case hexadecimal without leading zeros, then
// fnctSizeToHex of the size (read from the file when size is -1). "-1" when the file is not
// there. A file of 5,000 bytes written on 2006-03-07 at 14:05:09 has "7D637E591388". The
// thumbnail cache index stores this exact form.
QString getFileEtag(const QString& path, qint64 size = -1);

// What a response says of a file it has open, read from the handle with one call: its last
// write in UTC, to the whole second, and its entity tag. They are the values that
// getFileLastWriteDate and getFileEtag give for the path of that file, without opening it
// again for each of them.
struct OpenFileStamp {
  QDateTime lastWriteUtc;
  QString etag;
};
OpenFileStamp getOpenFileStamp(const QString& path, int handle, qint64 size);
// The same from the status the open already gave (nothing for one that could not be read).
OpenFileStamp getOpenFileStamp(const QString& path, const std::optional<platform::PathStatus>& status, qint64 size);

// The upper 32 bits of the size in upper-case hexadecimal without leading zeros, left out
// when they are zero, then the lower 32 bits the same way: 5,000 gives "1388",
// 4,294,967,296 gives "10", 0 gives "0".
QString fnctSizeToHex(qint64 size);

// Whether a library the system can use is present. zlib is linked into the program, so
// "zlib.dll" (in any letter case) is always found; no other library is.
bool isDllAvailable(const QString& fileName);

// Owns a handle of the handle layer and closes it when it goes.
class ScopedFileHandle {
 public:
  explicit ScopedFileHandle(int handle = platform::kInvalidFileHandle) : handle_(handle) {}
  ~ScopedFileHandle() { reset(); }
  ScopedFileHandle(ScopedFileHandle&& other) noexcept : handle_(other.release()) {}
  ScopedFileHandle& operator=(ScopedFileHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  ScopedFileHandle(const ScopedFileHandle&) = delete;
  ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;

  int get() const { return handle_; }
  bool isValid() const { return handle_ != platform::kInvalidFileHandle; }
  int release() {
    const int handle = handle_;
    handle_ = platform::kInvalidFileHandle;
    return handle;
  }
  void reset(int handle = platform::kInvalidFileHandle) {
    if (isValid()) {
      fnctCloseFileHandle(handle_);
    }
    handle_ = handle;
  }

 private:
  int handle_;
};

}  // namespace orv::core
