// The Save that every configuration category shares: the whole record written, private
// and atomic, and a failed write that leaves memory as the disk has it.

#include "editors/config_category_save.h"
#include "editors_fixture.h"
#include "support/file_permissions.h"

#include <sys/stat.h>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;

class CategorySave : public EditorsTest {
 protected:
  void addShareEditedSinceTheLastWrite() {
    gConfiguration.Shared.add({QStringLiteral("id1"), QStringLiteral("/films/"),
                               app_.makeFolder(QStringLiteral("films")), QStringLiteral("amy"), true, true, true, true,
                               true, true, true});
    gConfiguration.Users.add({QStringLiteral("id1"), QStringLiteral("amy"), QStringLiteral("pw"), {}, {}});
    gConfiguration.AppState.blnConfigModified = true;
  }
};

TEST_F(CategorySave, WritesTheWholeRecordPrivatelyAndClearsTheModifiedFlag) {
  addShareEditedSinceTheLastWrite();
  ASSERT_TRUE(subSaveCategory([](orv::core::tConfiguration& record) { record.Protocol.BAN_DURATION = 77; }));
  EXPECT_TRUE(messages_.isEmpty());
  EXPECT_FALSE(gConfiguration.AppState.blnConfigModified);
  struct stat status {};
  ASSERT_EQ(::stat(configPath().toLocal8Bit().constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  const orv::core::tConfiguration reloaded = reload();
  EXPECT_EQ(reloaded.Protocol.BAN_DURATION, 77);
  ASSERT_EQ(reloaded.Shared.count(), 1);
  EXPECT_EQ(reloaded.Shared.entryAt(1).serverPath, QStringLiteral("/films/"));
  EXPECT_EQ(reloaded.Shared.entryAt(1).users, QStringLiteral("amy"));
}

TEST_F(CategorySave, AFailedWriteSaysSoAndPutsTheRecordBackAsTheDiskHasIt) {
  const QByteArray before = configBytes();
  gConfiguration.Protocol.BAN_DURATION = 300;
  gConfiguration.AppState.colIpIdentificationErrors.add(2, QStringLiteral("10.0.0.9"));
  ASSERT_TRUE(QFile::setPermissions(app_.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  {
    const ObeyFilePermissions obey;
    ASSERT_TRUE(obey.binding());
    EXPECT_FALSE(subSaveCategory([](orv::core::tConfiguration& record) {
      record.Protocol.BAN_DURATION = 77;
      record.Users.add({QStringLiteral("id1"), QStringLiteral("amy"), QStringLiteral("pw"), {}, {}});
    }));
  }
  ASSERT_TRUE(
      QFile::setPermissions(app_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("The configuration could not be saved: ")))
      << messages_[0].toStdString();
  EXPECT_TRUE(messages_[0].contains(app_.path())) << messages_[0].toStdString();
  EXPECT_EQ(icons_[0], orv::desktop::MessageIcon::Critical);
  EXPECT_EQ(gConfiguration.Protocol.BAN_DURATION, 300);
  EXPECT_EQ(gConfiguration.Users.count(), 0);
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  EXPECT_EQ(gConfiguration.AppState.colIpIdentificationErrors.value(QStringLiteral("10.0.0.9")), 2);
  EXPECT_EQ(configBytes(), before);
  EXPECT_EQ(QDir(app_.path()).entryList(QDir::Files), QStringList{QStringLiteral("config.xml")});
}

TEST_F(CategorySave, TheFileIsTheApplicationFoldersConfig) {
  EXPECT_EQ(fnctConfigFilePath(), app_.path() + QStringLiteral("/config.xml"));
}

}  // namespace
