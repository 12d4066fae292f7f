#include "platform/file_system.h"

#include "platform/surrogate_escape.h"

#include <QDir>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <cerrno>
#include <utility>

namespace orv::platform {
namespace {

QDateTime utcOf(const struct stat& info) {
  const qint64 msecs = static_cast<qint64>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
  return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

// The fields one status call gives: the kind, the size and the last write.
PathStatus quickStatusOf(const struct stat& info) {
  PathStatus status;
  status.isDirectory = S_ISDIR(info.st_mode);
  status.isRegularFile = S_ISREG(info.st_mode);
  status.isSymbolicLink = S_ISLNK(info.st_mode);
  status.size = info.st_size;
  status.lastWriteUtc = utcOf(info);
  return status;
}

bool hasLeadingDot(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const QStringView name = QStringView(path).mid(slash + 1);
  return name.startsWith(QLatin1Char('.')) && name != QLatin1String(".") && name != QLatin1String("..");
}

PathStatus statusOf(const QString& path, const struct stat& info, bool isLink) {
  PathStatus status;
  status.isDirectory = S_ISDIR(info.st_mode);
  status.isRegularFile = S_ISREG(info.st_mode);
  status.isSymbolicLink = isLink;
  status.isHidden = hasLeadingDot(path);
  status.size = info.st_size;
  status.lastWriteUtc = utcOf(info);
  status.isReadOnly = ::access(nativePath(path).constData(), W_OK) != 0;
  return status;
}

}  // namespace

QByteArray nativePath(QStringView path) {
  return encodeUtf8Escaped(path);
}

QString pathFromNative(const QByteArray& bytes) {
  return decodeUtf8Escaped(bytes);
}

std::optional<PathStatus> statPath(const QString& path) {
  struct stat info {};
  if (path.isEmpty() || ::stat(nativePath(path).constData(), &info) != 0) {
    return std::nullopt;
  }
  struct stat linkInfo {};
  const bool isLink = ::lstat(nativePath(path).constData(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode);
  return statusOf(path, info, isLink);
}

std::optional<PathStatus> statPathQuick(const QString& path, bool followLinks) {
  struct stat info {};
  const QByteArray native = nativePath(path);
  if (path.isEmpty() || (followLinks ? ::stat(native.constData(), &info) : ::lstat(native.constData(), &info)) != 0) {
    return std::nullopt;
  }
  return quickStatusOf(info);
}

std::optional<PathStatus> statPathNoFollow(const QString& path) {
  struct stat info {};
  if (path.isEmpty() || ::lstat(nativePath(path).constData(), &info) != 0) {
    return std::nullopt;
  }
  return statusOf(path, info, S_ISLNK(info.st_mode));
}

bool isPathReadable(const QString& path) {
  const QByteArray native = nativePath(path);
  struct stat info {};
  if (::stat(native.constData(), &info) != 0) {
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    DIR* folder = ::opendir(native.constData());
    if (folder == nullptr) {
      return false;
    }
    ::closedir(folder);
    return true;
  }
  const int handle = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (handle < 0) {
    return false;
  }
  ::close(handle);
  return true;
}

QString canonicalPath(const QString& path) {
  char* resolved = ::realpath(nativePath(path).constData(), nullptr);
  if (resolved == nullptr) {
    return {};
  }
  const QString result = decodeUtf8Escaped(resolved);
  ::free(resolved);
  return result;
}

int openFileForRead(const QString& path) {
  if (path.isEmpty()) {
    return kInvalidFileHandle;
  }
  int handle;
  do {
    handle = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
  } while (handle < 0 && errno == EINTR);
  return handle < 0 ? kInvalidFileHandle : handle;
}

int openRegularFileForRead(const QString& path, qint64& size, bool followLinks) {
  size = 0;
  if (path.isEmpty()) {
    return kInvalidFileHandle;
  }
  int handle;
  do {
    handle = ::open(nativePath(path).constData(),
                    O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW));
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) {
    return kInvalidFileHandle;
  }
  struct stat info {};
  if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(handle);
    return kInvalidFileHandle;
  }
  size = info.st_size;
  return handle;
}

qint64 readFileAt(int handle, qint64 offset, char* buffer, qint64 size) {
  ssize_t got;
  do {
    got = ::pread(handle, buffer, static_cast<size_t>(size), offset);
  } while (got < 0 && errno == EINTR);
  return got;
}

qint64 readFile(int handle, char* buffer, qint64 size) {
  ssize_t got;
  do {
    got = ::read(handle, buffer, static_cast<size_t>(size));
  } while (got < 0 && errno == EINTR);
  return got;
}

qint64 seekFile(int handle, qint64 offset, int whence) {
  return ::lseek(handle, offset, whence);
}

qint64 fileSizeOf(int handle) {
  struct stat info {};
  return ::fstat(handle, &info) == 0 ? static_cast<qint64>(info.st_size) : -1;
}

QDateTime lastWriteOf(int handle) {
  struct stat info {};
  return ::fstat(handle, &info) == 0 ? utcOf(info) : QDateTime();
}

std::optional<PathStatus> statusOfHandle(int handle) {
  struct stat info {};
  if (::fstat(handle, &info) != 0) {
    return std::nullopt;
  }
  return quickStatusOf(info);
}

bool closeFile(int handle) {
  return handle >= 0 && ::close(handle) == 0;
}

int openFolderHandle(const QString& path) {
  if (path.isEmpty()) {
    return kInvalidFileHandle;
  }
  int handle;
  do {
    handle = ::open(nativePath(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  } while (handle < 0 && errno == EINTR);
  return handle < 0 ? kInvalidFileHandle : handle;
}

OpenedFile::~OpenedFile() {
  if (handle_ != kInvalidFileHandle) {
    ::close(handle_);
  }
}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kInvalidFileHandle) {
      ::close(handle_);
    }
    handle_ = other.takeHandle();
    status_ = other.status_;
  }
  return *this;
}

int OpenedFile::takeHandle() {
  return std::exchange(handle_, kInvalidFileHandle);
}

namespace {

bool& beneathOpenUnsupported() {
  static bool unsupported = false;
  return unsupported;
}

bool& beneathOpenByNames() {
  static bool byNames = false;
  return byNames;
}

int retryingOpenAt(int folder, const char* name, int flags) {
  int handle;
  do {
    handle = ::openat(folder, name, flags);
  } while (handle < 0 && errno == EINTR);
  return handle;
}

// The same refusals as openat2 below, a name at a time, for a kernel without openat2 (older
// than 5.6, or a sandbox that refuses the call): every folder on the way and the file itself
// are opened without following a link. Only folders the path passes need search permission,
// as they would for openat2: they are opened as paths, not for reading.
long openBeneathByNames(int folderHandle, const QByteArray& relativePath) {
  int folder = folderHandle;
  const auto leave = [&folder, folderHandle] {
    if (folder != folderHandle) {
      ::close(folder);
    }
  };
  qsizetype start = 0;
  for (;;) {
    const qsizetype slash = relativePath.indexOf('/', start);
    const QByteArray name = relativePath.mid(start, slash < 0 ? -1 : slash - start);
    if (name.isEmpty() || name == "..") {
      leave();
      errno = ENOENT;
      return -1;
    }
    const int flags = slash < 0 ? O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW
                                : O_PATH | O_CLOEXEC | O_DIRECTORY | O_NOFOLLOW;
    const int next = retryingOpenAt(folder, name.constData(), flags);
    leave();
    if (next < 0 || slash < 0) {
      return next;
    }
    folder = next;
    start = slash + 1;
  }
}

long openBeneath(int folderHandle, const QByteArray& relativePath) {
  static bool kernelLacksIt = false;
  if (!kernelLacksIt && !beneathOpenByNames()) {
    struct open_how how {};
    how.flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long handle;
    do {
      handle = ::syscall(SYS_openat2, folderHandle, relativePath.constData(), &how, sizeof how);
    } while (handle < 0 && errno == EINTR);
    if (handle >= 0 || errno != ENOSYS) {
      return handle;
    }
    kernelLacksIt = true;
  }
  return openBeneathByNames(folderHandle, relativePath);
}

}  // namespace

void setBeneathOpenUnsupportedForTest(bool unsupported) {
  beneathOpenUnsupported() = unsupported;
}

void setBeneathOpenByNamesForTest(bool byNames) {
  beneathOpenByNames() = byNames;
}

BeneathOpenResult openRegularFileBeneath(int folderHandle, const QByteArray& relativePath, OpenedFile& opened) {
  if (beneathOpenUnsupported()) {
    return BeneathOpenResult::Unsupported;
  }
  // A NUL would end the name early and open another file than the one asked for.
  if (folderHandle < 0 || relativePath.isEmpty() || relativePath.startsWith('/') || relativePath.contains('\0')) {
    return BeneathOpenResult::NotPlain;
  }
  const long handle = openBeneath(folderHandle, relativePath);
  if (handle < 0) {
    return BeneathOpenResult::NotPlain;
  }
  struct stat info {};
  if (::fstat(static_cast<int>(handle), &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(static_cast<int>(handle));
    return BeneathOpenResult::NotPlain;
  }
  opened = OpenedFile(static_cast<int>(handle), quickStatusOf(info));
  return BeneathOpenResult::Opened;
}

QString currentFolder() {
  char* folder = ::getcwd(nullptr, 0);
  if (folder == nullptr) {
    return {};
  }
  const QString result = decodeUtf8Escaped(folder);
  ::free(folder);
  return result;
}

bool setCurrentFolder(const QString& path) {
  return !path.isEmpty() && ::chdir(nativePath(path).constData()) == 0;
}

int openDescriptorCount() {
  return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                              .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                              .size()) -
         1;
}

}  // namespace orv::platform
