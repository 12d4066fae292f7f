// The boot category driven as a user drives it: the autostart entry under a temporary
// XDG_CONFIG_HOME, the two settings with config.xml read back.

#include "editors/frm_config_cat_boot.h"

#include "config_form_fixture.h"
#include "editors/boot_settings.h"
#include "platform/autostart_entry.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;

class BootForm : public ConfigFormTest<frmConfig_CatBoot> {
 protected:
  void SetUp() override {
    ConfigFormTest::SetUp();
    saved_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", session_.path().toLocal8Bit());
    gConfiguration.Other.START_SERVER_ON_LOAD = true;
  }
  void TearDown() override {
    form_.reset();
    qputenv("XDG_CONFIG_HOME", saved_);
    ConfigFormTest::TearDown();
  }

  void open() {
    ASSERT_NO_FATAL_FAILURE(showForm(560, 300));
    win_ = child<QCheckBox>("chkStartWin");
    tray_ = child<QCheckBox>("chkStartTray");
    server_ = child<QCheckBox>("chkStartServOnLoad");
    save_ = child<QPushButton>("cmdSaveConfig");
  }

  // A click on the box's mark, where a user clicks it.
  static void tick(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); }

  QString entryPath() const { return session_.file(QStringLiteral("autostart/orvendale.desktop")); }
  static QString program() { return QCoreApplication::applicationFilePath(); }
  QByteArray entry() const {
    QFile file(entryPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  TempFolder session_;
  QByteArray saved_;
  QCheckBox* win_ = nullptr;
  QCheckBox* tray_ = nullptr;
  QCheckBox* server_ = nullptr;
  QPushButton* save_ = nullptr;
};

TEST_F(BootForm, ShowsTheSettingsAndTheEntryWithSaveDisabled) {
  open();
  EXPECT_FALSE(win_->isChecked());
  EXPECT_FALSE(tray_->isChecked());
  EXPECT_TRUE(server_->isChecked());
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 3);
  EXPECT_EQ(child<QGroupBox>("fraBoot")->title(), text(u"CONFIG_FORM/FRAMES/BOOT"));
  EXPECT_EQ(win_->text(), text(u"CONFIG_FORM/CHECKBOX/WIN_START"));
  EXPECT_EQ(save_->text(), text(u"CONFIG_FORM/BUTTONS/SAVE"));

  ASSERT_TRUE(orv::platform::writeAutostartEntry(fnctAutostartEntryText(program())).ok);
  open();
  EXPECT_TRUE(win_->isChecked());
  EXPECT_FALSE(save_->isEnabled());
}

TEST_F(BootForm, TickingWritesTheEntryAndTheSettingsAndUntickingRemovesIt) {
  open();
  tick(win_);
  tick(tray_);
  tick(server_);
  ASSERT_TRUE(save_->isEnabled());
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join(QLatin1Char('|')).toStdString();
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_TRUE(isAutostartEntryStarting(entry(), program())) << entry().toStdString();
  EXPECT_TRUE(entry().contains("Exec=\"" + program().toUtf8() + "\"\n"));
  const orv::core::tConfiguration reloaded = reload();
  EXPECT_TRUE(reloaded.Other.START_IN_TRAY);
  EXPECT_FALSE(reloaded.Other.START_SERVER_ON_LOAD);
  saveArtifact(*form_, QStringLiteral("config-boot"));

  win_->toggle();  // as an assistive tool does
  ASSERT_TRUE(save_->isEnabled());
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_FALSE(QFile::exists(entryPath()));
  EXPECT_FALSE(save_->isEnabled());
}

TEST_F(BootForm, ASaveThatLeavesTheBoxAsItWasTouchesNoEntry) {
  // Another copy of the program wrote an entry of the same name: the box shows unticked and
  // a Save of the other settings leaves that entry alone.
  const QByteArray foreign = fnctAutostartEntryText(QStringLiteral("/opt/another/orvendale"));
  ASSERT_TRUE(orv::platform::writeAutostartEntry(foreign).ok);
  open();
  EXPECT_FALSE(win_->isChecked());
  tick(win_);
  tick(win_);  // and back: Save stays enabled
  tick(tray_);
  ASSERT_TRUE(save_->isEnabled());
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_EQ(entry(), foreign);
  EXPECT_TRUE(reload().Other.START_IN_TRAY);

  // Ticked, it replaces the other copy's entry with this program's.
  tick(win_);
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_TRUE(isAutostartEntryStarting(entry(), program()));
}

TEST_F(BootForm, AnAutostartFolderThatIsAFileOrReadOnlySaysSoAndKeepsSaveEnabled) {
  session_.write(QStringLiteral("autostart"), "not a folder");
  open();
  tick(win_);
  tick(tray_);
  QTest::mouseClick(save_, Qt::LeftButton);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("The start with the session could not be set up: ")))
      << messages_[0].toStdString();
  EXPECT_EQ(icons_[0], orv::desktop::MessageIcon::Critical);
  EXPECT_TRUE(save_->isEnabled());
  EXPECT_TRUE(reload().Other.START_IN_TRAY);  // config.xml is still written

  // The folder mended but read-only: a removal fails the same way.
  ASSERT_TRUE(QFile::remove(session_.file(QStringLiteral("autostart"))));
  ASSERT_TRUE(orv::platform::writeAutostartEntry(fnctAutostartEntryText(program())).ok);
  open();
  ASSERT_TRUE(win_->isChecked());
  tick(win_);
  ASSERT_NO_FATAL_FAILURE(clickWithFolderReadOnly(save_, session_.file(QStringLiteral("autostart"))));
  ASSERT_EQ(messages_.size(), 2);
  EXPECT_TRUE(messages_[1].startsWith(QStringLiteral("The start with the session could not be switched off: ")))
      << messages_[1].toStdString();
  EXPECT_TRUE(save_->isEnabled());
  EXPECT_TRUE(QFile::exists(entryPath()));

  QTest::mouseClick(save_, Qt::LeftButton);  // writable again: the removal goes through
  EXPECT_EQ(messages_.size(), 2);
  EXPECT_FALSE(QFile::exists(entryPath()));
  EXPECT_FALSE(save_->isEnabled());
}

}  // namespace
