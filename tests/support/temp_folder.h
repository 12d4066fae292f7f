#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh folder for one test, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();

  const QString& path() const { return path_; }
  QString file(const QString& name) const { return path_ + QLatin1Char('/') + name; }

  // Writes a file (creating its folders) and returns its full path.
  QString write(const QString& name, const QByteArray& bytes) const;
  QString makeFolder(const QString& name) const;

 private:
  QTemporaryDir dir_;
  QString path_;
};
