#include "platform/atomic_file.h"

#include "platform/file_system.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace orv::platform {
namespace {

QString describe(const char* step, const QString& path) {
  return QStringLiteral("%1 '%2' failed: %3")
      .arg(QLatin1String(step), path, QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int handle, const QByteArray& bytes) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(handle, data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}

void syncFolderOf(const QString& path) {
  const int folder = ::open(nativePath(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace

WriteResult writeFileAtomically(const QString& path, const QByteArray& bytes, unsigned permissions) {
  QByteArray pattern = nativePath(path) + ".tmp-XXXXXX";
  const int handle = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (handle < 0) {
    return {false, describe("Creating a temporary file beside", path)};
  }
  const QString temporary = QFile::decodeName(pattern);
  const bool written =
      ::fchmod(handle, static_cast<mode_t>(permissions)) == 0 && writeAll(handle, bytes) && ::fsync(handle) == 0;
  const QString writeError = written ? QString() : describe("Writing", temporary);
  if (::close(handle) != 0 && written) {
    ::unlink(pattern.constData());
    return {false, describe("Closing", temporary)};
  }
  if (!written) {
    ::unlink(pattern.constData());
    return {false, writeError};
  }
  if (::rename(pattern.constData(), nativePath(path).constData()) != 0) {
    const QString error = describe("Replacing", path);
    ::unlink(pattern.constData());
    return {false, error};
  }
  syncFolderOf(path);
  return {true, {}};
}

}  // namespace orv::platform
