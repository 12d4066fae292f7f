#include "core/file_utils.h"

#include "platform/file_system.h"
#include "support/file_permissions.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace orv::core;

bool runsAsRoot() {
  return ::geteuid() == 0;
}

void setMode(const QString& path, mode_t mode) {
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

void setLastWrite(const QString& path, const QDateTime& moment) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(moment, QFileDevice::FileModificationTime));
}

QString withDoubleSeparator(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  return path.first(slash) + QLatin1Char('/') + path.sliced(slash);
}

class FileUtils : public ::testing::Test {
 protected:
  void TearDown() override {
    // Leave nothing locked so the folder can be removed.
    for (const QString& path : locked_) {
      ::chmod(QFile::encodeName(path).constData(), 0700);
    }
  }

  QString lockedCopy(const QString& path, mode_t mode) {
    locked_.append(path);
    setMode(path, mode);
    return path;
  }

  TempFolder temp_;
  QStringList locked_;
};

TEST_F(FileUtils, FolderExistsTellsAbsentFromUsable) {
  const QString folder = temp_.makeFolder(QStringLiteral("music"));
  const QString file = temp_.write(QStringLiteral("song.mp3"), "x");
  const QString link = temp_.file(QStringLiteral("link-to-music"));
  const QString dangling = temp_.file(QStringLiteral("dangling"));
  ASSERT_TRUE(QFile::link(folder, link));
  ASSERT_TRUE(QFile::link(temp_.file(QStringLiteral("gone")), dangling));

  const struct {
    QString path;
    ExistenceCode expected;
  } cases[] = {
      {QString(), ExistenceCode::Absent},
      {QStringLiteral("//server/share"), ExistenceCode::Absent},
      {withDoubleSeparator(folder), ExistenceCode::Absent},  // there, but refused
      {temp_.file(QStringLiteral("missing")), ExistenceCode::Absent},
      {file, ExistenceCode::Absent},
      {dangling, ExistenceCode::Absent},
      {folder, ExistenceCode::Usable},
      {folder + QLatin1Char('/'), ExistenceCode::Usable},
      {link, ExistenceCode::Usable},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctFolderExists(row.path, false), row.expected) << row.path.toStdString();
    EXPECT_EQ(fnctFolderExists(row.path, true), row.expected) << row.path.toStdString();
  }
}

TEST_F(FileUtils, AFolderThatCannotBeEnteredOrListedIsNotUsable) {
  const ObeyFilePermissions obey;
  ASSERT_TRUE(obey.binding());
  const QString before = QDir::currentPath();
  const QString closed = lockedCopy(temp_.makeFolder(QStringLiteral("closed")), 0000);
  const QString enterOnly = lockedCopy(temp_.makeFolder(QStringLiteral("enter-only")), 0100);
  const QString listOnly = lockedCopy(temp_.makeFolder(QStringLiteral("list-only")), 0400);
  for (const QString& folder : {closed, enterOnly, listOnly}) {
    EXPECT_EQ(fnctFolderExists(folder, false), ExistenceCode::NotUsable) << folder.toStdString();
    EXPECT_EQ(fnctFolderExists(folder, true), ExistenceCode::Usable) << folder.toStdString();
  }
  EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(FileUtils, FolderExistsPutsTheCurrentDirectoryBack) {
  const QString before = QDir::currentPath();
  EXPECT_EQ(fnctFolderExists(temp_.makeFolder(QStringLiteral("sub")), false), ExistenceCode::Usable);
  EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(FileUtils, FileExistsCountsOnlyRegularFiles) {
  const QString file = temp_.write(QStringLiteral("song.mp3"), "x");
  const QString folder = temp_.makeFolder(QStringLiteral("music"));
  const QString link = temp_.file(QStringLiteral("link-to-song"));
  const QString dangling = temp_.file(QStringLiteral("dangling"));
  const QString pipe = temp_.file(QStringLiteral("pipe"));
  ASSERT_TRUE(QFile::link(file, link));
  ASSERT_TRUE(QFile::link(temp_.file(QStringLiteral("gone")), dangling));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

  const struct {
    QString path;
    ExistenceCode expected;
  } cases[] = {
      {QString(), ExistenceCode::Absent},
      {withDoubleSeparator(file), ExistenceCode::Absent},
      {temp_.file(QStringLiteral("missing")), ExistenceCode::Absent},
      {folder, ExistenceCode::Absent},
      {dangling, ExistenceCode::Absent},
      {pipe, ExistenceCode::Absent},
      {QStringLiteral("/dev/zero"), ExistenceCode::Absent},
      {file, ExistenceCode::Usable},
      {link, ExistenceCode::Usable},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctFileExists(row.path, false), row.expected) << row.path.toStdString();
    EXPECT_EQ(fnctFileExists(row.path, true), row.expected) << row.path.toStdString();
  }
}

TEST_F(FileUtils, AFileThatCannotBeOpenedIsNotUsable) {
  const ObeyFilePermissions obey;
  ASSERT_TRUE(obey.binding());
  const QString locked = lockedCopy(temp_.write(QStringLiteral("locked.txt"), "secret"), 0000);
  EXPECT_EQ(fnctFileExists(locked, false), ExistenceCode::NotUsable);
  EXPECT_EQ(fnctFileExists(locked, true), ExistenceCode::Usable);
  EXPECT_EQ(fnctOpenFileForRead(locked), orv::platform::kInvalidFileHandle);
  EXPECT_EQ(getFileSizeByPath(locked), -1);
  EXPECT_EQ(getFileLastWriteDate(locked), QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1)));
}

TEST_F(FileUtils, OpeningAPipeOrADeviceIsRefusedWithoutWaiting) {
  const QString pipe = temp_.file(QStringLiteral("pipe"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  EXPECT_EQ(fnctOpenFileForRead(pipe), orv::platform::kInvalidFileHandle);
  EXPECT_EQ(fnctOpenFileForRead(QStringLiteral("/dev/zero")), orv::platform::kInvalidFileHandle);
  EXPECT_EQ(fnctOpenFileForRead(QString()), orv::platform::kInvalidFileHandle);
}

TEST_F(FileUtils, ReadsAtThePositionAndAShortReadIsNotSuccess) {
  const ScopedFileHandle handle(fnctOpenFileForRead(temp_.write(QStringLiteral("digits"), "0123456789")));
  ASSERT_TRUE(handle.isValid());
  EXPECT_EQ(getFileSizeByHandle(handle.get()), 10);

  QByteArray bytes;
  EXPECT_TRUE(fnctReadFileBytes(handle.get(), 4, bytes));
  EXPECT_EQ(bytes, QByteArray("0123"));
  EXPECT_TRUE(fnctReadFileBytes(handle.get(), 2, bytes));
  EXPECT_EQ(bytes, QByteArray("45"));

  EXPECT_EQ(fnctSetFilePosition(handle.get(), 8), 8);
  EXPECT_FALSE(fnctReadFileBytes(handle.get(), 4, bytes));  // only two bytes are left
  EXPECT_EQ(bytes, QByteArray("89"));
  EXPECT_FALSE(fnctReadFileBytes(handle.get(), 1, bytes));  // at the end
  EXPECT_TRUE(bytes.isEmpty());

  EXPECT_EQ(fnctSetFilePosition(handle.get(), 0), 0);
  EXPECT_FALSE(fnctReadFileBytes(handle.get(), 0, bytes));
  EXPECT_FALSE(fnctReadFileBytes(handle.get(), -3, bytes));
  // A count from a damaged file header must not allocate beyond what the file holds.
  EXPECT_FALSE(fnctReadFileBytes(handle.get(), qint64(1) << 50, bytes));
  EXPECT_EQ(bytes, QByteArray("0123456789"));
  EXPECT_EQ(fnctSetFilePosition(handle.get(), -1), -1);
}

TEST_F(FileUtils, TheInvalidHandleAnswersFailureEverywhere) {
  constexpr int invalid = orv::platform::kInvalidFileHandle;
  QByteArray bytes("stale");
  EXPECT_FALSE(fnctReadFileBytes(invalid, 4, bytes));
  EXPECT_TRUE(bytes.isEmpty());
  EXPECT_EQ(getFileSizeByHandle(invalid), -1);
  EXPECT_EQ(fnctSetFilePosition(invalid, 0), -1);
  EXPECT_FALSE(fnctCloseFileHandle(invalid));
}

TEST_F(FileUtils, CloseAnswersWhetherTheHandleWasOpen) {
  const int handle = fnctOpenFileForRead(temp_.write(QStringLiteral("a"), "a"));
  ASSERT_NE(handle, orv::platform::kInvalidFileHandle);
  EXPECT_TRUE(fnctCloseFileHandle(handle));
  EXPECT_FALSE(fnctCloseFileHandle(handle));
}

TEST_F(FileUtils, ReadsValuesAsTheirMemoryImage) {
  const QByteArray content("\x34\x12\x78\x56\x34\x12\xE9\x61\x62", 9);
  const ScopedFileHandle handle(fnctOpenFileForRead(temp_.write(QStringLiteral("values"), content)));
  ASSERT_TRUE(handle.isValid());

  qint16 small = 0;
  EXPECT_TRUE(fnctReadFileValue(handle.get(), 2, small));
  EXPECT_EQ(small, 0x1234);
  qint32 large = 0;
  EXPECT_TRUE(fnctReadFileValue(handle.get(), 4, large));
  EXPECT_EQ(large, 0x12345678);
  QString text;
  EXPECT_TRUE(fnctReadFileValue(handle.get(), 3, text));
  EXPECT_EQ(text, QStringLiteral("éab"));  // one character per byte, through the code page

  fnctSetFilePosition(handle.get(), 0);
  qint32 partial = -1;
  EXPECT_TRUE(fnctReadFileValue(handle.get(), 1, partial));
  EXPECT_EQ(partial, 0x34);

  fnctSetFilePosition(handle.get(), 0);
  qint16 tooWide = 7;
  EXPECT_FALSE(fnctReadFileValue(handle.get(), 4, tooWide));
  EXPECT_EQ(tooWide, 7);

  fnctSetFilePosition(handle.get(), 7);
  qint32 shortRead = 7;
  EXPECT_FALSE(fnctReadFileValue(handle.get(), 4, shortRead));
  EXPECT_EQ(shortRead, 7);
  QString shortText = QStringLiteral("kept");
  fnctSetFilePosition(handle.get(), 7);
  EXPECT_FALSE(fnctReadFileValue(handle.get(), 5, shortText));
  EXPECT_EQ(shortText, QStringLiteral("kept"));
}

TEST_F(FileUtils, SizesComeFromTheFile) {
  EXPECT_EQ(getFileSizeByPath(temp_.write(QStringLiteral("five"), "12345")), 5);
  EXPECT_EQ(getFileSizeByPath(temp_.write(QStringLiteral("empty"), "")), 0);
  EXPECT_EQ(getFileSizeByPath(temp_.file(QStringLiteral("missing"))), -1);
}

TEST_F(FileUtils, LastWriteDateIsLocalTimeToTheSecond) {
  const QString file = temp_.write(QStringLiteral("dated"), "x");
  setLastWrite(file, QDateTime(QDate(2006, 3, 7), QTime(14, 5, 9, 750)));
  const QDateTime written = getFileLastWriteDate(file);
  EXPECT_EQ(written, QDateTime(QDate(2006, 3, 7), QTime(14, 5, 9)));
  EXPECT_EQ(written.timeSpec(), Qt::LocalTime);

  // A folder opens too, so it has its own date rather than the one of a failure.
  EXPECT_NE(getFileLastWriteDate(temp_.makeFolder(QStringLiteral("folder"))),
            QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1)));

  EXPECT_EQ(getFileLastWriteDate(temp_.file(QStringLiteral("missing"))), QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1)));
}

TEST_F(FileUtils, EtagJoinsTheLocalDateAndTheSizeInHexadecimal) {
  const QString file = temp_.write(QStringLiteral("tagged"), QByteArray(5000, 'x'));
  setLastWrite(file, QDateTime(QDate(2006, 3, 7), QTime(14, 5, 9)));
  EXPECT_EQ(getFileEtag(file), QStringLiteral("7D637E591388"));
  EXPECT_EQ(getFileEtag(file, 5000), QStringLiteral("7D637E591388"));
  EXPECT_EQ(getFileEtag(file, 6442450944), QStringLiteral("7D637E59180000000"));

  EXPECT_EQ(getFileEtag(temp_.file(QStringLiteral("missing"))), QStringLiteral("-1"));
  EXPECT_EQ(getFileEtag(temp_.makeFolder(QStringLiteral("folder"))), QStringLiteral("-1"));
  EXPECT_EQ(getFileEtag(withDoubleSeparator(file)), QStringLiteral("-1"));
}

TEST_F(FileUtils, AnOpenFileStampHoldsTheValuesOfItsPath) {
  const QString file = temp_.write(QStringLiteral("stamped"), QByteArray(5000, 'x'));
  setLastWrite(file, QDateTime(QDate(2006, 3, 7), QTime(14, 5, 9, 750)));
  const ScopedFileHandle handle(fnctOpenFileForRead(file));
  ASSERT_TRUE(handle.isValid());
  const OpenFileStamp stamp = getOpenFileStamp(file, handle.get(), 5000);
  EXPECT_EQ(stamp.lastWriteUtc, getFileLastWriteDate(file).toUTC());
  EXPECT_EQ(stamp.lastWriteUtc.timeSpec(), Qt::UTC);
  EXPECT_EQ(stamp.etag, getFileEtag(file, 5000));
  EXPECT_EQ(stamp.etag, QStringLiteral("7D637E591388"));
  EXPECT_EQ(getOpenFileStamp(file, handle.get(), 6442450944).etag, getFileEtag(file, 6442450944));
  // What getFileEtag refuses, the stamp refuses too.
  EXPECT_EQ(getOpenFileStamp(withDoubleSeparator(file), handle.get(), 5000).etag, QStringLiteral("-1"));
  const QString folder = temp_.makeFolder(QStringLiteral("folder"));
  const ScopedFileHandle folderHandle(fnctOpenFileForRead(folder));
  ASSERT_TRUE(folderHandle.isValid());
  EXPECT_EQ(getOpenFileStamp(folder, folderHandle.get(), 0).etag, QStringLiteral("-1"));
  EXPECT_EQ(getOpenFileStamp(folder, folderHandle.get(), 0).lastWriteUtc, getFileLastWriteDate(folder).toUTC());
  const OpenFileStamp none = getOpenFileStamp(file, orv::platform::kInvalidFileHandle, 5000);
  EXPECT_EQ(none.etag, QStringLiteral("-1"));
  EXPECT_EQ(none.lastWriteUtc, QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1)).toUTC());
}

TEST(SizeToHex, WritesTheUpperHalfOnlyWhenItIsNotZero) {
  const struct {
    qint64 size;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {255, "FF"},
      {5000, "1388"},
      {4294967295, "FFFFFFFF"},
      {4294967296, "10"},
      {6442450944, "180000000"},
      {4294967296 + 5000, "11388"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctSizeToHex(row.size), QLatin1String(row.expected)) << row.size;
  }
}

TEST_F(FileUtils, AttributesAreDirectoryReadOnlyAndHidden) {
  const QString hidden = temp_.write(QStringLiteral(".hidden"), "x");
  const QString visible = temp_.write(QStringLiteral("visible"), "x");
  const QString folder = temp_.makeFolder(QStringLiteral("folder"));
  EXPECT_TRUE(hasFileAttribute(hidden, kFileAttributeHidden));
  EXPECT_FALSE(hasFileAttribute(visible, kFileAttributeHidden));
  EXPECT_TRUE(hasFileAttribute(folder, kFileAttributeDirectory));
  EXPECT_FALSE(hasFileAttribute(visible, kFileAttributeDirectory));
  EXPECT_TRUE(hasFileAttribute(folder, kFileAttributeDirectory | kFileAttributeHidden));
  EXPECT_FALSE(hasFileAttribute(visible, kFileAttributeReadOnly));
  EXPECT_FALSE(hasFileAttribute(temp_.file(QStringLiteral("missing")), 0xFFFFFFFF));
  if (!runsAsRoot()) {
    EXPECT_TRUE(hasFileAttribute(lockedCopy(visible, 0444), kFileAttributeReadOnly));
  }
}

TEST_F(FileUtils, NoCallLeavesADescriptorOpen) {
  const QString file = temp_.write(QStringLiteral("file"), "content");
  const QString folder = temp_.makeFolder(QStringLiteral("folder"));
  const int before = orv::platform::openDescriptorCount();
  fnctFileExists(file, false);
  fnctFolderExists(folder, false);
  getFileSizeByPath(file);
  getFileLastWriteDate(file);
  getFileLastWriteDate(folder);
  getFileEtag(file);
  {
    const ScopedFileHandle handle(fnctOpenFileForRead(file));
    EXPECT_TRUE(handle.isValid());
  }
  EXPECT_EQ(orv::platform::openDescriptorCount(), before);
}

TEST_F(FileUtils, SetCurrentDirectoryAnswersWhetherItMoved) {
  const QString before = QDir::currentPath();
  EXPECT_TRUE(fnctSetCurrentDirectory(temp_.path()));
  EXPECT_EQ(QDir::currentPath(), QDir(temp_.path()).canonicalPath());
  EXPECT_TRUE(fnctSetCurrentDirectory(before));
  EXPECT_FALSE(fnctSetCurrentDirectory(temp_.file(QStringLiteral("missing"))));
  EXPECT_FALSE(fnctSetCurrentDirectory(QString()));
  EXPECT_EQ(QDir::currentPath(), before);
}

TEST(IsDllAvailable, FindsTheLinkedInZlibOnly) {
  EXPECT_TRUE(isDllAvailable(QStringLiteral("zlib.dll")));
  EXPECT_TRUE(isDllAvailable(QStringLiteral("ZLIB.DLL")));
  EXPECT_FALSE(isDllAvailable(QStringLiteral("other.dll")));
}

}  // namespace
