#include "support/temp_folder.h"

#include "platform/folder_reading.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

void removeContents(const QString& folder) {
  const auto entries = orv::platform::OpenFolder(folder).entries();
  if (!entries) {
    return;
  }
  for (const orv::platform::ReadFolderEntry& entry : *entries) {
    const QString path = folder + QLatin1Char('/') + entry.name;
    const QByteArray native = orv::platform::nativePath(path);
    if (entry.type == orv::platform::EntryType::Folder) {
      ::chmod(native.constData(), 0755);
      removeContents(path);
      ::rmdir(native.constData());
    } else {
      ::unlink(native.constData());
    }
  }
}

TempFolder::TempFolder() : path_(dir_.path()) {
  if (!dir_.isValid()) {
    throw std::runtime_error("cannot create a temporary folder");
  }
}

TempFolder::~TempFolder() {
  removeContents(path_);
}

QString TempFolder::write(const QString& name, const QByteArray& bytes) const {
  const QString full = file(name);
  QDir().mkpath(QFileInfo(full).absolutePath());
  QFile out(full);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size()) {
    throw std::runtime_error("cannot write a test file");
  }
  return full;
}

QString TempFolder::makeFolder(const QString& name) const {
  const QString full = file(name);
  QDir().mkpath(full);
  return full;
}
