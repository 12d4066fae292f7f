// The identification category driven as a user drives it, with config.xml read back.

#include "editors/frm_config_cat_identification.h"
#include "config_form_fixture.h"

#include <QLabel>
#include <QRadioButton>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;

class IdentificationForm : public ConfigFormTest<frmConfig_CatIdentification> {
 protected:
  void SetUp() override {
    ConfigFormTest::SetUp();
    gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR = 5;
    gConfiguration.Protocol.BAN_DURATION = 600;
    gConfiguration.Protocol.IDENTIFICATION_METHOD = 1;
    ASSERT_NO_FATAL_FAILURE(showForm(560, 420));
    limit_ = child<QLineEdit>("txtMaxIdentificationErrors");
    ban_ = child<QLineEdit>("txtBanDuration");
    save_ = child<QPushButton>("cmdSaveConfig");
    html_ = child<QRadioButton>("optHtml");
    http_ = child<QRadioButton>("optHttp");
  }

  QLineEdit* limit_ = nullptr;
  QLineEdit* ban_ = nullptr;
  QPushButton* save_ = nullptr;
  QRadioButton* html_ = nullptr;
  QRadioButton* http_ = nullptr;
};

TEST_F(IdentificationForm, ShowsTheStoredSettingsWithSaveDisabled) {
  EXPECT_EQ(limit_->text(), QStringLiteral("5"));
  EXPECT_EQ(ban_->text(), QStringLiteral("600"));
  EXPECT_TRUE(http_->isChecked());
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 7);
  EXPECT_EQ(child<QLabel>("lblBanDuration_Unit")->text(), QStringLiteral("s"));
  EXPECT_EQ(child<QLabel>("lblBanDuration")->text(), text(u"CONFIG_FORM/LABELS/BAN_DURATION") + QStringLiteral(" :"));
  EXPECT_EQ(save_->text(), text(u"CONFIG_FORM/BUTTONS/SAVE"));
  EXPECT_EQ(limit_->accessibleName(), text(u"CONFIG_FORM/LABELS/MAX_IDENTIFICATION_ERROR"));
}

TEST_F(IdentificationForm, LeavingABoxPutsTheStoredValueBackForARefusedText) {
  struct Case {
    const char* typed;
    const char* limitKept;
    const char* banKept;
  };
  const std::vector<Case> cases = {
      {"2.5", "2.5", "2.5"},     {"0.6", "0.6", "0.6"}, {"0", "5", "600"},   {"-2", "5", "600"},
      {"86401", "86401", "600"}, {"abc", "5", "600"},   {"-1", "-1", "600"}, {"86400", "86400", "86400"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    typeInto(limit_, QLatin1String(c.typed));
    typeInto(ban_, QLatin1String(c.typed));  // the limit box loses the focus
    html_->setFocus();                       // and now the ban box
    EXPECT_EQ(limit_->text(), QLatin1String(c.limitKept));
    EXPECT_EQ(ban_->text(), QLatin1String(c.banKept));
  }
  EXPECT_EQ(gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR, 5);
}

TEST_F(IdentificationForm, EnterMovesToSaveOnlyWhenSaveIsEnabledAndEscapeShowsTheStoredValue) {
  limit_->setFocus();
  QTest::keyClick(limit_, Qt::Key_Return);
  EXPECT_TRUE(limit_->hasFocus());  // Save is disabled

  typeInto(limit_, QStringLiteral("9"));
  typeInto(ban_, QStringLiteral("1234"));
  ASSERT_TRUE(save_->isEnabled());
  QTest::keyClick(ban_, Qt::Key_Escape);
  EXPECT_EQ(ban_->text(), QStringLiteral("600"));
  EXPECT_TRUE(save_->hasFocus());
  EXPECT_EQ(limit_->text(), QStringLiteral("9"));

  typeInto(limit_, QStringLiteral("0"));
  QTest::keyClick(limit_, Qt::Key_Enter);
  EXPECT_TRUE(save_->hasFocus());
  EXPECT_EQ(limit_->text(), QStringLiteral("5"));  // checked when it lost the focus
}

TEST_F(IdentificationForm, SaveChecksTheBoxThatStillHasTheFocusAndWritesConfig) {
  typeInto(limit_, QStringLiteral("2.5"));
  typeInto(ban_, QStringLiteral("86401"));  // never loses the focus
  html_->click();
  ASSERT_TRUE(ban_->hasFocus());
  form_->cmdSaveConfig_Click();
  EXPECT_TRUE(messages_.isEmpty());
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_EQ(ban_->text(), QStringLiteral("600"));
  const orv::core::tConfiguration reloaded = reload();
  EXPECT_EQ(reloaded.Protocol.MAX_IDENTIFICATION_ERROR, 2);
  EXPECT_EQ(reloaded.Protocol.BAN_DURATION, 600);
  EXPECT_EQ(reloaded.Protocol.IDENTIFICATION_METHOD, 2);
  EXPECT_EQ(gConfiguration.Protocol.IDENTIFICATION_METHOD, 2);
}

TEST_F(IdentificationForm, SwitchingTheMethodAndBackEnablesSaveWhichRewritesConfigUnchanged) {
  QFile::remove(configPath());
  html_->click();
  http_->click();
  ASSERT_TRUE(save_->isEnabled());
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_EQ(reload().Protocol.IDENTIFICATION_METHOD, 1);
  saveArtifact(*form_, QStringLiteral("config-identification"));
}

TEST_F(IdentificationForm, AnOptionToggledByAnAssistiveToolEnablesSave) {
  html_->toggle();
  EXPECT_TRUE(html_->isChecked());
  EXPECT_TRUE(save_->isEnabled());
}

TEST_F(IdentificationForm, ASaveIntoAReadOnlyFolderSaysSoAndKeepsSaveEnabled) {
  typeInto(limit_, QStringLiteral("3"));
  html_->click();
  ASSERT_NO_FATAL_FAILURE(clickWithFolderReadOnly(save_, app_.path()));
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("The configuration could not be saved")));
  EXPECT_TRUE(save_->isEnabled());
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  EXPECT_EQ(gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR, 5);
  EXPECT_EQ(gConfiguration.Protocol.IDENTIFICATION_METHOD, 1);
  EXPECT_EQ(limit_->text(), QStringLiteral("3"));
  EXPECT_EQ(reload().Protocol.MAX_IDENTIFICATION_ERROR, 20);  // the file as it was: no setting

  QTest::mouseClick(save_, Qt::LeftButton);  // the folder is writable again
  EXPECT_EQ(messages_.size(), 1);
  EXPECT_FALSE(gConfiguration.AppState.blnConfigModified);
  EXPECT_EQ(reload().Protocol.MAX_IDENTIFICATION_ERROR, 3);
}

}  // namespace
