// The session's autostart entry: where it lives, and writing, reading and removing it.

#include "platform/autostart_entry.h"

#include "support/file_permissions.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace orv::platform;

class AutostartEntryTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = qgetenv("XDG_CONFIG_HOME");
    hadValue_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config().toLocal8Bit());
  }
  void TearDown() override {
    if (hadValue_) {
      qputenv("XDG_CONFIG_HOME", saved_);
    } else {
      qunsetenv("XDG_CONFIG_HOME");
    }
  }

  QString config() const { return home_.file(QStringLiteral("config home")); }
  QString entry() const { return config() + QStringLiteral("/autostart/orvendale.desktop"); }

  TempFolder home_;
  QByteArray saved_;
  bool hadValue_ = false;
};

TEST_F(AutostartEntryTest, TheFolderComesFromXdgConfigHomeOrElseTheHomeFolder) {
  EXPECT_EQ(autostartEntryPath(), entry());
  const QString fallback = QDir::homePath() + QStringLiteral("/.config/autostart");
  for (const char* value : {"", "relative/config"}) {
    SCOPED_TRACE(value);
    qputenv("XDG_CONFIG_HOME", value);
    EXPECT_EQ(autostartFolder(), fallback);
  }
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(autostartFolder(), fallback);
}

TEST_F(AutostartEntryTest, WriteCreatesTheFoldersReadGivesTheBytesAndRemoveTakesItAway) {
  EXPECT_FALSE(readAutostartEntry().has_value());
  const WriteResult written = writeAutostartEntry("[Desktop Entry]\n");
  ASSERT_TRUE(written.ok) << written.error.toStdString();
  EXPECT_EQ(readAutostartEntry(), std::optional<QByteArray>("[Desktop Entry]\n"));
  EXPECT_EQ(QFile::permissions(entry()) & (QFileDevice::WriteGroup | QFileDevice::WriteOther), 0);
  ASSERT_TRUE(writeAutostartEntry("second").ok);
  EXPECT_EQ(readAutostartEntry(), std::optional<QByteArray>("second"));
  EXPECT_TRUE(removeAutostartEntry().ok);
  EXPECT_FALSE(QFile::exists(entry()));
  EXPECT_TRUE(removeAutostartEntry().ok);  // nothing left to remove is no error
}

TEST_F(AutostartEntryTest, AnAutostartPathThatIsAFileCannotHoldTheEntry) {
  home_.write(QStringLiteral("config home/autostart"), "a file");
  const WriteResult written = writeAutostartEntry("x");
  EXPECT_FALSE(written.ok);
  EXPECT_TRUE(written.error.contains(QStringLiteral("is not a folder"))) << written.error.toStdString();
  EXPECT_FALSE(readAutostartEntry().has_value());
  EXPECT_TRUE(removeAutostartEntry().ok);  // there is no entry to remove
}

TEST_F(AutostartEntryTest, AReadOnlyAutostartFolderRefusesTheWriteAndTheRemovalAndSaysWhy) {
  ASSERT_TRUE(writeAutostartEntry("kept").ok);
  const QString folder = config() + QStringLiteral("/autostart");
  ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  WriteResult written;
  WriteResult removed;
  {
    const ObeyFilePermissions obey;
    ASSERT_TRUE(obey.binding());
    written = writeAutostartEntry("new");
    removed = removeAutostartEntry();
  }
  ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
  EXPECT_FALSE(written.ok);
  EXPECT_FALSE(removed.ok);
  EXPECT_TRUE(removed.error.contains(QStringLiteral("Permission denied"))) << removed.error.toStdString();
  EXPECT_EQ(readAutostartEntry(), std::optional<QByteArray>("kept"));
}

}  // namespace
