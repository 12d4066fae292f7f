#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>
#include <vector>

// Thin stand-ins for the platform's file calls. Paths are native absolute paths with
// "/"; every call works on the path's bytes as the file system stores them. Paths and
// names travel as text through the surrogate-escape mapping (platform/surrogate_escape.h),
// so any name the system can hold (invalid UTF-8 included) is read and reached again
// exactly. QFile and QDir do not know that mapping: a path holding escaped bytes must go
// through these calls.
namespace orv::platform {

inline constexpr int kInvalidFileHandle = -1;

struct PathStatus {
  bool isDirectory = false;
  bool isRegularFile = false;
  bool isReadOnly = false;  // no write permission for this process
  bool isHidden = false;    // the last name begins with "."
  bool isSymbolicLink = false;
  qint64 size = 0;
  QDateTime lastWriteUtc;
};

// The status of what the path names, following symbolic links; nothing for a path that
// does not exist or cannot be reached.
std::optional<PathStatus> statPath(const QString& path);

// The same with one call, for listings that look at many entries: only isDirectory,
// isRegularFile, isSymbolicLink, size and lastWriteUtc are filled. Without followLinks a
// symbolic link answers for itself.
std::optional<PathStatus> statPathQuick(const QString& path, bool followLinks = true);

// The status of the link itself when the path is a symbolic link.
std::optional<PathStatus> statPathNoFollow(const QString& path);

// True when the process may open the file for reading or the folder for listing.
bool isPathReadable(const QString& path);

// The path with every symbolic link, "." and ".." resolved; empty when it does not exist.
QString canonicalPath(const QString& path);

// A read-only handle, or kInvalidFileHandle. The handle is not inherited by children.
int openFileForRead(const QString& path);

// A read-only handle of a regular file, never waiting on what opens slowly (a pipe that
// took the file's place is refused, not waited for); its size in size. kInvalidFileHandle
// for anything but a regular file, and without followLinks for a symbolic link.
int openRegularFileForRead(const QString& path, qint64& size, bool followLinks = true);

// Reads up to size bytes at offset without moving the file position; -1 on failure.
qint64 readFileAt(int handle, qint64 offset, char* buffer, qint64 size);

// Reads up to size bytes from the current position; -1 on failure.
qint64 readFile(int handle, char* buffer, qint64 size);

// Moves the file position (whence as lseek) and returns the new one, or -1.
qint64 seekFile(int handle, qint64 offset, int whence);

// Size of the open file, or -1.
qint64 fileSizeOf(int handle);

// Last write time of the open file (UTC), or an invalid date.
QDateTime lastWriteOf(int handle);

// The status of the open file with one call: isDirectory, isRegularFile, size and
// lastWriteUtc are filled; nothing when the handle cannot be read.
std::optional<PathStatus> statusOfHandle(int handle);

bool closeFile(int handle);

// A handle that names a folder for opens below it (no read or listing right is needed, and
// it follows the folder wherever it is moved); kInvalidFileHandle when the folder cannot be
// reached. Close it with closeFile.
int openFolderHandle(const QString& path);

// A regular file opened for reading below a folder handle, with its status (isRegularFile,
// size and lastWriteUtc). The handle is closed with the object unless taken first.
class OpenedFile {
 public:
  OpenedFile() = default;
  OpenedFile(int handle, const PathStatus& status) : handle_(handle), status_(status) {}
  ~OpenedFile();
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  OpenedFile(OpenedFile&& other) noexcept : handle_(other.takeHandle()), status_(other.status_) {}
  OpenedFile& operator=(OpenedFile&& other) noexcept;

  bool isValid() const { return handle_ != kInvalidFileHandle; }
  int handle() const { return handle_; }
  const PathStatus& status() const { return status_; }
  // Hands the handle over to a new owner; the object no longer closes it.
  int takeHandle();

 private:
  int handle_ = kInvalidFileHandle;
  PathStatus status_;
};

enum class BeneathOpenResult {
  Opened,       // a regular file below the folder, reached without any link
  NotPlain,     // anything else: no such name, a link on the way, a folder, a pipe, no right
  Unsupported,  // left to the full road (for tests)
};

// Opens the file at the relative path (names joined by single "/", none "." or "..", no
// leading "/") below the folder handle, for reading, refusing a symbolic link anywhere on
// the way and any way out of the folder, and never waiting on what opens slowly: in one call
// where the kernel has openat2, else a name at a time. Only a regular file counts as opened:
// opened then holds it.
BeneathOpenResult openRegularFileBeneath(int folderHandle, const QByteArray& relativePath, OpenedFile& opened);

// For tests: behave as a kernel without the opening below a folder handle (true) or as the
// kernel is (false).
void setBeneathOpenUnsupportedForTest(bool unsupported);
// For tests: open below a folder handle a name at a time, as on a kernel without openat2
// (true), or as the kernel allows (false).
void setBeneathOpenByNamesForTest(bool byNames);

// Number of descriptors the process holds open (for tests that look for leaks).
int openDescriptorCount();

// The native bytes of a path, as the file system receives them: its UTF-8 form, each
// escaped byte (U+DC80..U+DCFF) as that byte.
QByteArray nativePath(QStringView path);

// The text of native path bytes, each byte that is not part of valid UTF-8 escaped.
QString pathFromNative(const QByteArray& bytes);

// What a folder entry is, as the listing reports it (symbolic links not followed).
enum class EntryType { File, Folder, SymbolicLink, Other };

// The process's current directory, and changing it; true on success.
QString currentFolder();
bool setCurrentFolder(const QString& path);

}  // namespace orv::platform
