#include "platform/set_aside.h"

#include "platform/file_system.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orv::platform {
namespace {

constexpr int kMostNames = 1000;

// rename(2) would replace a file of the new name; renameat2 refuses instead. A file system
// that cannot refuse (EINVAL) gets a hard link and an unlink, which refuse as well.
int renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
  if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return errno;
  }
  if (::link(from.constData(), to.constData()) != 0) {
    return errno;
  }
  ::unlink(from.constData());
  return 0;
}

}  // namespace

QString setFileAside(const QString& path, const QString& suffix, QString* error) {
  const QByteArray from = nativePath(path);
  int failure = 0;
  for (int number = 1; number <= kMostNames; ++number) {
    const QString target = number == 1 ? path + suffix : path + suffix + QLatin1Char('-') + QString::number(number);
    failure = renameWithoutReplacing(from, nativePath(target));
    if (failure == 0) {
      return target;
    }
    if (failure != EEXIST) {
      break;
    }
  }
  if (error != nullptr) {
    *error = QString::fromLocal8Bit(std::strerror(failure));
  }
  return {};
}

}  // namespace orv::platform
