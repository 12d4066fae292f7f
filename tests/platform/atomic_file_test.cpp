#include "platform/atomic_file.h"

#include "support/file_permissions.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(AtomicFile, ReplacesTheFileAndLeavesNoTemporary) {
  TempFolder folder;
  const QString path = folder.write(QStringLiteral("store.xml"), "old");
  const auto result = orv::platform::writeFileAtomically(path, "new contents", 0600);
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  EXPECT_EQ(readAll(path), QByteArray("new contents"));
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("store.xml")});
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AtomicFile, AFailedWriteKeepsTheOldFile) {
  const ObeyFilePermissions obey;
  ASSERT_TRUE(obey.binding());
  TempFolder folder;
  const QString path = folder.write(QStringLiteral("sub/store.xml"), "old");
  ASSERT_EQ(::chmod(QFile::encodeName(folder.file(QStringLiteral("sub"))).constData(), 0500), 0);
  const auto result = orv::platform::writeFileAtomically(path, "new");
  ::chmod(QFile::encodeName(folder.file(QStringLiteral("sub"))).constData(), 0700);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.isEmpty());
  EXPECT_EQ(readAll(path), QByteArray("old"));
}

TEST(AtomicFile, AMissingFolderIsAnError) {
  TempFolder folder;
  const auto result = orv::platform::writeFileAtomically(folder.file(QStringLiteral("none/x.xml")), "x");
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.error.contains(QStringLiteral("none/x.xml")));
}

}  // namespace
