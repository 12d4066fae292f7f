#include "support/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

TempFolder::TempFolder() : path_(dir_.path()) {
  if (!dir_.isValid()) {
    throw std::runtime_error("cannot create a temporary folder");
  }
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
