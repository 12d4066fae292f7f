#include "platform/folder_reading.h"

#include "platform/surrogate_escape.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace orv::platform {

OpenFolder::OpenFolder(const QString& path) {
  if (!path.isEmpty()) {
    handle_ = ::open(nativePath(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
}

OpenFolder::~OpenFolder() {
  if (handle_ >= 0) {
    ::close(handle_);
  }
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) {
      ::close(handle_);
    }
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

std::optional<std::vector<ReadFolderEntry>> OpenFolder::entries() const {
  if (handle_ < 0) {
    return std::nullopt;
  }
  // The directory stream takes a handle of its own, so this one stays open for the looks
  // at each entry; both share one position, set back to the start first.
  const int own = ::fcntl(handle_, F_DUPFD_CLOEXEC, 0);
  if (own < 0) {
    return std::nullopt;
  }
  DIR* folder = ::fdopendir(own);
  if (folder == nullptr) {
    ::close(own);
    return std::nullopt;
  }
  ::rewinddir(folder);
  std::vector<ReadFolderEntry> entries;
  errno = 0;
  while (const struct dirent* entry = ::readdir(folder)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
      continue;
    }
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      struct stat info {};
      if (::fstatat(handle_, name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISREG(info.st_mode)   ? DT_REG
               : S_ISDIR(info.st_mode) ? DT_DIR
               : S_ISLNK(info.st_mode) ? DT_LNK
                                       : DT_FIFO;
      }
    }
    const EntryType kind = type == DT_REG   ? EntryType::File
                           : type == DT_DIR ? EntryType::Folder
                           : type == DT_LNK ? EntryType::SymbolicLink
                                            : EntryType::Other;
    QByteArray native(name);
    QString text = decodeUtf8Escaped(native);
    entries.push_back({std::move(text), std::move(native), kind});
    errno = 0;
  }
  // readdir answers null both at the end and on a failure; only errno tells them apart.
  const bool failed = errno != 0;
  ::closedir(folder);
  if (failed) {
    return std::nullopt;
  }
  return entries;
}

std::optional<EntryStatus> OpenFolder::statEntry(const QByteArray& native, bool followLinks) const {
  struct stat info {};
  if (handle_ < 0 || native.isEmpty() || native.contains('/') ||
      ::fstatat(handle_, native.constData(), &info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  EntryStatus status;
  status.isDirectory = S_ISDIR(info.st_mode);
  status.isRegularFile = S_ISREG(info.st_mode);
  status.size = info.st_size;
  // Whole seconds as a millisecond time gives them, so that a time before the epoch with
  // a fraction rounds as it does everywhere else.
  status.lastWriteSeconds = (static_cast<qint64>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000) / 1000;
  return status;
}

}  // namespace orv::platform
