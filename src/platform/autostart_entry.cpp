#include "platform/autostart_entry.h"

#include "platform/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace orv::platform {
namespace {

QString lastError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

// Makes every missing folder of the path, as mkdir -p does, and says why it could not.
WriteResult makeFolders(const QString& folder) {
  QString made;
  for (const QString& part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    made += QLatin1Char('/') + part;
    const QByteArray native = nativePath(made);
    if (::mkdir(native.constData(), 0700) == 0 || errno == EEXIST) {
      struct stat info {};
      if (::stat(native.constData(), &info) != 0) {
        return {false, QStringLiteral("'%1': %2").arg(made, lastError())};
      }
      if (!S_ISDIR(info.st_mode)) {
        return {false, QStringLiteral("'%1' is not a folder").arg(made)};
      }
      continue;
    }
    return {false, QStringLiteral("Creating the folder '%1' failed: %2").arg(made, lastError())};
  }
  return {true, {}};
}

}  // namespace

QString autostartFolder() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
    base = QDir::homePath() + QStringLiteral("/.config");
  }
  return QDir::cleanPath(base + QStringLiteral("/autostart"));
}

QString autostartEntryPath() {
  return autostartFolder() + QStringLiteral("/orvendale.desktop");
}

std::optional<QByteArray> readAutostartEntry() {
  QFile entry(autostartEntryPath());
  if (!QFileInfo(entry).isFile() || !entry.open(QIODevice::ReadOnly)) {
    return std::nullopt;
  }
  return entry.readAll();
}

WriteResult writeAutostartEntry(const QByteArray& text) {
  if (const WriteResult folder = makeFolders(autostartFolder()); !folder.ok) {
    return folder;
  }
  return writeFileAtomically(autostartEntryPath(), text, 0644);
}

WriteResult removeAutostartEntry() {
  const QString path = autostartEntryPath();
  if (::unlink(nativePath(path).constData()) == 0 || errno == ENOENT || errno == ENOTDIR) {
    return {true, {}};
  }
  return {false, QStringLiteral("Removing '%1' failed: %2").arg(path, lastError())};
}

}  // namespace orv::platform
