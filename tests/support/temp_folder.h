#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Empties a folder whatever its names hold, making its folders writable on the way (QDir
// lists no name that is not UTF-8, and cannot enter a folder a test made unreadable).
void removeContents(const QString& folder);

// A fresh folder for one test, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const QString& path() const { return path_; }
  QString file(const QString& name) const { return path_ + QLatin1Char('/') + name; }

  // Writes a file (creating its folders) and returns its full path.
  QString write(const QString& name, const QByteArray& bytes) const;
  QString makeFolder(const QString& name) const;

 private:
  QTemporaryDir dir_;
  QString path_;
};
