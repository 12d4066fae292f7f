#include "platform/file_system.h"

#include "support/file_permissions.h"
#include "support/temp_folder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using orv::platform::BeneathOpenResult;
using orv::platform::closeFile;
using orv::platform::kInvalidFileHandle;
using orv::platform::openDescriptorCount;
using orv::platform::OpenedFile;
using orv::platform::openFolderHandle;
using orv::platform::openRegularFileBeneath;

// Each case runs with openat2 and as on a kernel without it, a name at a time.
class BeneathOpen : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    orv::platform::setBeneathOpenByNamesForTest(GetParam());
    tmp.write(QStringLiteral("share/docs/a.txt"), "12345");
    tmp.write(QStringLiteral("outside.txt"), "SECRET");
    tmp.makeFolder(QStringLiteral("share/empty"));
    ASSERT_TRUE(QFile::link(tmp.file(QStringLiteral("share/docs/a.txt")), tmp.file(QStringLiteral("share/inner"))));
    ASSERT_TRUE(QFile::link(tmp.file(QStringLiteral("outside.txt")), tmp.file(QStringLiteral("share/out"))));
    ASSERT_TRUE(QFile::link(tmp.file(QStringLiteral("share/docs")), tmp.file(QStringLiteral("share/docs-link"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(tmp.file(QStringLiteral("share/pipe"))).constData(), 0600), 0);
    folder = openFolderHandle(tmp.file(QStringLiteral("share")));
    ASSERT_NE(folder, kInvalidFileHandle);
  }
  void TearDown() override {
    closeFile(folder);
    orv::platform::setBeneathOpenUnsupportedForTest(false);
    orv::platform::setBeneathOpenByNamesForTest(false);
  }

  TempFolder tmp;
  int folder = kInvalidFileHandle;
};

TEST_P(BeneathOpen, OnlyARegularFileReachedWithoutLinksBelowTheFolderOpens) {
  const struct {
    const char* relative;
    BeneathOpenResult result;
  } cases[] = {
      {"docs/a.txt", BeneathOpenResult::Opened},
      // Links are left to the full road, wherever they lead.
      {"inner", BeneathOpenResult::NotPlain},
      {"out", BeneathOpenResult::NotPlain},
      {"docs-link/a.txt", BeneathOpenResult::NotPlain},
      // No way out of the folder, whatever the spelling.
      {"../outside.txt", BeneathOpenResult::NotPlain},
      {"docs/../../outside.txt", BeneathOpenResult::NotPlain},
      {"/etc/passwd", BeneathOpenResult::NotPlain},
      // Anything but a regular file, and nothing at all; a pipe is not waited on.
      {"docs", BeneathOpenResult::NotPlain},
      {"empty", BeneathOpenResult::NotPlain},
      {"pipe", BeneathOpenResult::NotPlain},
      {"missing.txt", BeneathOpenResult::NotPlain},
      {"", BeneathOpenResult::NotPlain},
      {"docs/", BeneathOpenResult::NotPlain},
      {"docs/a.txt/", BeneathOpenResult::NotPlain},
      {"docs/./a.txt", BeneathOpenResult::Opened},
      {"docs/missing/a.txt", BeneathOpenResult::NotPlain},
      {"docs/a.txt/more", BeneathOpenResult::NotPlain},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.relative);
    const int before = openDescriptorCount();
    OpenedFile opened;
    EXPECT_EQ(openRegularFileBeneath(folder, QByteArray(c.relative), opened), c.result);
    EXPECT_EQ(opened.isValid(), c.result == BeneathOpenResult::Opened);
    EXPECT_EQ(openDescriptorCount(), before + (opened.isValid() ? 1 : 0)) << "a folder on the way stayed open";
  }
}

TEST_P(BeneathOpen, ANulInTheNameNeverOpensTheShorterName) {
  OpenedFile opened;
  EXPECT_EQ(openRegularFileBeneath(folder, QByteArray("docs/a.txt\0.jpg", 15), opened), BeneathOpenResult::NotPlain);
  EXPECT_FALSE(opened.isValid());
}

TEST_P(BeneathOpen, TheOpenedFileCarriesItsStatusAndClosesUnlessItsHandleIsTaken) {
  const int before = openDescriptorCount();
  {
    OpenedFile opened;
    ASSERT_EQ(openRegularFileBeneath(folder, "docs/a.txt", opened), BeneathOpenResult::Opened);
    EXPECT_TRUE(opened.status().isRegularFile);
    EXPECT_EQ(opened.status().size, 5);
    EXPECT_TRUE(opened.status().lastWriteUtc.isValid());
    EXPECT_EQ(openDescriptorCount(), before + 1);
    OpenedFile moved = std::move(opened);
    EXPECT_FALSE(opened.isValid());
    EXPECT_TRUE(moved.isValid());
  }
  EXPECT_EQ(openDescriptorCount(), before);

  OpenedFile opened;
  ASSERT_EQ(openRegularFileBeneath(folder, "docs/a.txt", opened), BeneathOpenResult::Opened);
  const int taken = opened.takeHandle();
  EXPECT_FALSE(opened.isValid());
  char bytes[8] = {};
  EXPECT_EQ(orv::platform::readFileAt(taken, 0, bytes, sizeof bytes), 5);
  EXPECT_TRUE(closeFile(taken));
  EXPECT_EQ(openDescriptorCount(), before);
}

TEST_P(BeneathOpen, AFileWithoutReadPermissionIsNotPlain) {
  const QString file = tmp.write(QStringLiteral("share/locked.txt"), "x");
  ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::WriteOwner));
  const ObeyFilePermissions obey;
  if (!obey.binding()) {
    GTEST_SKIP() << "permissions cannot be made binding here";
  }
  OpenedFile opened;
  EXPECT_EQ(openRegularFileBeneath(folder, "locked.txt", opened), BeneathOpenResult::NotPlain);
}

TEST_P(BeneathOpen, AKernelWithoutTheCallIsReportedSoTheFullRoadIsTaken) {
  orv::platform::setBeneathOpenUnsupportedForTest(true);
  OpenedFile opened;
  EXPECT_EQ(openRegularFileBeneath(folder, "docs/a.txt", opened), BeneathOpenResult::Unsupported);
  EXPECT_FALSE(opened.isValid());
}

TEST_P(BeneathOpen, AFolderHandleFollowsItsFolderWhenItIsMoved) {
  EXPECT_EQ(openFolderHandle(tmp.file(QStringLiteral("missing"))), kInvalidFileHandle);
  EXPECT_EQ(openFolderHandle(tmp.file(QStringLiteral("outside.txt"))), kInvalidFileHandle);
  ASSERT_TRUE(QFile::rename(tmp.file(QStringLiteral("share")), tmp.file(QStringLiteral("moved"))));
  OpenedFile opened;
  EXPECT_EQ(openRegularFileBeneath(folder, "docs/a.txt", opened), BeneathOpenResult::Opened);
}

INSTANTIATE_TEST_SUITE_P(Kernels, BeneathOpen, testing::Bool(), [](const testing::TestParamInfo<bool>& kernel) {
  return kernel.param ? "ByNames" : "Openat2";
});

}  // namespace
