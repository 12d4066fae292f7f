// The users category driven as a user drives it: accounts added, changed and removed, the
// icons by picker and by drop, Save with config.xml read back.

#include "editors/frm_config_cat_users.h"
#include "config_form_fixture.h"

#include <QCheckBox>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;

class UsersForm : public ConfigFormTest<frmConfig_CatUsers> {
 protected:
  void SetUp() override {
    ConfigFormTest::SetUp();
    gConfiguration.Users.add({QStringLiteral("id1"), QStringLiteral("amy"), QStringLiteral("a"), {}, {}});
    gConfiguration.Users.add(
        {QStringLiteral("id2"), QStringLiteral("bob"), QStringLiteral("b"), QStringLiteral("face.png"), {}});
    gConfiguration.Users.add(
        {QStringLiteral("id3"), QStringLiteral("cat"), QStringLiteral("c"), {}, QStringLiteral("tab.ico")});
    open();
  }

  void open() {
    ASSERT_NO_FATAL_FAILURE(showForm(640, 440));
    list_ = child<QListWidget>("lvwUsers");
    login_ = child<QLineEdit>("txtLogin");
    password_ = child<QLineEdit>("txtPassword");
    pageIconBox_ = child<QCheckBox>("chkPageIcon");
    pageIcon_ = child<QLineEdit>("txtPageIcon");
    urlIconBox_ = child<QCheckBox>("chkUrlIcon");
    urlIcon_ = child<QLineEdit>("txtUrlIcon");
    add_ = child<QPushButton>("cmdAddUser");
    modify_ = child<QPushButton>("cmdModifyUser");
    remove_ = child<QPushButton>("cmdRemoveUser");
    save_ = child<QPushButton>("cmdSaveConfig");
  }

  QStringList shownLogins() const { return listTexts(*list_); }
  void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { clickListRow(list_, row, modifiers); }

  QListWidget* list_ = nullptr;
  QLineEdit* login_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* pageIconBox_ = nullptr;
  QLineEdit* pageIcon_ = nullptr;
  QCheckBox* urlIconBox_ = nullptr;
  QLineEdit* urlIcon_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* modify_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* save_ = nullptr;
};

TEST_F(UsersForm, LoadsTheAccountsWithEveryButtonDisabled) {
  EXPECT_EQ(shownLogins(), (QStringList{QStringLiteral("amy"), QStringLiteral("bob"), QStringLiteral("cat")}));
  for (const QPushButton* button : {add_, modify_, remove_, save_}) {
    EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
  }
  EXPECT_FALSE(pageIconBox_->isChecked());
  EXPECT_FALSE(pageIcon_->isEnabled());
  EXPECT_FALSE(child<QPushButton>("cmdSelectPageIcon")->isEnabled());
  EXPECT_EQ(password_->echoMode(), QLineEdit::Password);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 6);
  EXPECT_EQ(add_->text(), text(u"CONFIG_FORM/BUTTONS/ADD"));
  EXPECT_EQ(login_->accessibleName(), text(u"CONFIG_FORM/LABELS/LOGIN"));
}

TEST_F(UsersForm, AClickedAccountShowsItsFieldsAndEditingItEnablesModify) {
  clickRow(1);
  EXPECT_EQ(login_->text(), QStringLiteral("bob"));
  EXPECT_EQ(password_->text(), QStringLiteral("b"));
  EXPECT_TRUE(pageIconBox_->isChecked());
  EXPECT_TRUE(pageIcon_->isEnabled());
  EXPECT_EQ(pageIcon_->text(), QStringLiteral("face.png"));
  EXPECT_FALSE(urlIconBox_->isChecked());
  EXPECT_FALSE(add_->isEnabled());
  EXPECT_FALSE(modify_->isEnabled());
  EXPECT_TRUE(remove_->isEnabled());

  typeInto(password_, QStringLiteral("new"));
  EXPECT_TRUE(modify_->isEnabled());
  saveArtifact(*form_, QStringLiteral("config-users"));
  QTest::keyClick(password_, Qt::Key_Return);
  EXPECT_TRUE(modify_->hasFocus());  // Enter moves there without pressing it
  EXPECT_EQ(form_->workLists().find(QStringLiteral("id2"))->password, QStringLiteral("b"));
  QTest::mouseClick(modify_, Qt::LeftButton);
  EXPECT_EQ(form_->workLists().find(QStringLiteral("id2"))->password, QStringLiteral("new"));
  EXPECT_EQ(shownLogins(), (QStringList{QStringLiteral("amy"), QStringLiteral("bob"), QStringLiteral("cat")}));
  EXPECT_TRUE(save_->isEnabled());
  EXPECT_TRUE(save_->hasFocus());
  EXPECT_TRUE(login_->text().isEmpty());
}

TEST_F(UsersForm, TypingALoginMakesANewAccount) {
  clickRow(0);
  typeInto(login_, QStringLiteral("dan"));
  EXPECT_TRUE(add_->isEnabled());
  EXPECT_FALSE(modify_->isEnabled());
  EXPECT_FALSE(remove_->isEnabled());
  typeInto(password_, QStringLiteral("pw"));
  QTest::keyClick(password_, Qt::Key_Return);
  EXPECT_TRUE(add_->hasFocus());
  QTest::keyClick(add_, Qt::Key_Space);
  EXPECT_EQ(shownLogins().last(), QStringLiteral("dan"));
  EXPECT_EQ(form_->workLists().accounts().back().id, QStringLiteral("id4"));
  EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(UsersForm, ARefusedAddSaysWhyAndFocusesTheField) {
  struct Case {
    const char* login;
    const char* password;
    const char16_t* message;
    const char* focused;
  };
  const std::vector<Case> cases = {
      {"AMY", "pw", u"MSGBOX/ERRORS/LOGIN_ALREADY_EXIST", "txtLogin"},
      {"a:b", "pw", u"MSGBOX/ERRORS/INVALID_LOGIN", "txtLogin"},
      {"dan", "", u"MSGBOX/ERRORS/EMPTY_PASSWORD", "txtPassword"},
      {"dan", "p:w", u"MSGBOX/ERRORS/INVALID_PASSWORD", "txtPassword"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.login);
    messages_.clear();
    typeInto(login_, QString::fromUtf8(c.login));
    typeInto(password_, QString::fromUtf8(c.password));
    QTest::mouseClick(add_, Qt::LeftButton);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_[0], text(c.message));
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QLatin1String(c.focused));
    EXPECT_EQ(form_->workLists().accounts().size(), 3u);
  }
}

TEST_F(UsersForm, AnIconNameTypedToClimbOutOfTheResourcesIsRefused) {
  typeInto(login_, QStringLiteral("dan"));
  typeInto(password_, QStringLiteral("pw"));
  pageIconBox_->click();
  ASSERT_TRUE(pageIcon_->isEnabled());
  for (const char* name : {"../config.xml", "/etc/passwd", "x/../../y", ""}) {
    SCOPED_TRACE(name);
    messages_.clear();
    typeInto(pageIcon_, QLatin1String(name));
    QTest::mouseClick(add_, Qt::LeftButton);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_[0], text(u"MSGBOX/ERRORS/PAGES_ICON_NOT_FOUND"));
    EXPECT_TRUE(pageIcon_->hasFocus());
  }
  EXPECT_EQ(form_->workLists().accounts().size(), 3u);
}

TEST_F(UsersForm, ThePickersStartInTheResourcesAndKeepOnlyTheirFiles) {
  typeInto(login_, QStringLiteral("dan"));
  typeInto(password_, QStringLiteral("pw"));
  pageIconBox_->click();
  urlIconBox_->click();

  pickedFile_ = resources() + QStringLiteral("/sub/deep.png");
  form_->cmdSelectPageIcon_Click();
  ASSERT_EQ(pickerRequests_.size(), 1);
  EXPECT_EQ(pickerRequests_[0].filterName, QStringLiteral("Image 48x48"));
  EXPECT_EQ(pickerRequests_[0].filterPattern, QStringLiteral("*.bmp;*.jpg;*.jpeg;*.png;"));
  EXPECT_EQ(pickerRequests_[0].initialFolder, resources());
  EXPECT_EQ(messages_, QStringList{text(u"MSGBOX/ERRORS/FILE_NOT_IN_RES_DIR")});
  EXPECT_TRUE(pageIcon_->text().isEmpty());

  pickedFile_ = resources() + QStringLiteral("/face.png");
  form_->cmdSelectPageIcon_Click();
  EXPECT_EQ(pageIcon_->text(), QStringLiteral("face.png"));

  pickedFile_.clear();  // a cancel
  form_->cmdSelectUrlIcon_Click();
  EXPECT_EQ(pickerRequests_.last().filterName, QStringLiteral("Icon 16x16"));
  EXPECT_EQ(pickerRequests_.last().filterPattern, QStringLiteral("*.ico;"));
  EXPECT_EQ(messages_.size(), 1);

  dropUrls(urlIcon_, {QUrl::fromLocalFile(resources() + QStringLiteral("/tab.ico")),
                      QUrl::fromLocalFile(resources() + QStringLiteral("/face.png"))});
  EXPECT_EQ(urlIcon_->text(), QStringLiteral("tab.ico"));
  dropUrls(urlIcon_, {QUrl::fromLocalFile(resources() + QStringLiteral("/sub"))});
  EXPECT_EQ(urlIcon_->text(), QStringLiteral("tab.ico"));
  EXPECT_EQ(messages_.size(), 1);
  dropUrls(urlIcon_, {QUrl::fromLocalFile(app_.file(QStringLiteral("config.xml")))});
  EXPECT_EQ(messages_.size(), 2);
  EXPECT_EQ(urlIcon_->text(), QStringLiteral("tab.ico"));

  QTest::mouseClick(add_, Qt::LeftButton);
  ASSERT_EQ(form_->workLists().accounts().size(), 4u);
  EXPECT_EQ(form_->workLists().accounts().back().pagesicon, QStringLiteral("face.png"));
  EXPECT_EQ(form_->workLists().accounts().back().urlsicon, QStringLiteral("tab.ico"));
  // The box stays ticked with an empty name, so the next Add asks for a name.
  EXPECT_TRUE(pageIconBox_->isChecked());
  EXPECT_TRUE(pageIcon_->text().isEmpty());
}

TEST_F(UsersForm, ModifyIsOffWithSeveralSelectedAndRemoveIsRefusedForALoginAShareNames) {
  gConfiguration.Shared.RootShare.users = QStringLiteral("Cat");
  clickRow(0);
  clickRow(2, Qt::ControlModifier);
  ASSERT_EQ(list_->selectedItems().size(), 2);
  typeInto(password_, QStringLiteral("changed"));
  EXPECT_FALSE(modify_->isEnabled());
  EXPECT_TRUE(remove_->isEnabled());
  QTest::mouseClick(remove_, Qt::LeftButton);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_EQ(messages_[0], text(u"MSGBOX/ERRORS/USERS_USED_BY_SHARE") + QStringLiteral(" :\n\n - cat"));
  EXPECT_EQ(shownLogins().size(), 3);
  EXPECT_FALSE(save_->isEnabled());
}

TEST_F(UsersForm, TheDeleteKeyRemovesTheSelectedAccountsEvenWithRemoveDisabled) {
  list_->setFocus();
  list_->item(0)->setSelected(true);
  list_->item(1)->setSelected(true);
  remove_->setEnabled(false);
  QTest::keyClick(list_, Qt::Key_Delete);
  EXPECT_EQ(shownLogins(), QStringList{QStringLiteral("cat")});
  EXPECT_TRUE(save_->isEnabled());
}

TEST_F(UsersForm, SaveWritesTheAccountsAndLeavingWithoutSaveDropsThem) {
  typeInto(login_, QStringLiteral("dan"));
  typeInto(password_, QString(300, QLatin1Char('p')));
  QTest::mouseClick(add_, Qt::LeftButton);
  open();  // the category chosen again: the edits were dropped
  EXPECT_EQ(shownLogins().size(), 3);

  typeInto(login_, QStringLiteral("dan"));
  typeInto(password_, QString(300, QLatin1Char('p')));
  QTest::mouseClick(add_, Qt::LeftButton);
  clickRow(0);
  QTest::keyClick(list_, Qt::Key_Delete);
  gConfiguration.AppState.blnConfigModified = true;  // a share edited meanwhile
  QTest::mouseClick(save_, Qt::LeftButton);
  EXPECT_TRUE(messages_.isEmpty());
  EXPECT_FALSE(save_->isEnabled());
  EXPECT_FALSE(gConfiguration.AppState.blnConfigModified);
  const orv::core::tConfiguration reloaded = reload();
  ASSERT_EQ(reloaded.Users.count(), 3);
  EXPECT_EQ(reloaded.Users.accountAt(1).login, QStringLiteral("bob"));
  EXPECT_EQ(reloaded.Users.accountAt(1).pagesicon, QStringLiteral("face.png"));
  EXPECT_EQ(reloaded.Users.accountAt(3).login, QStringLiteral("dan"));
  EXPECT_EQ(reloaded.Users.accountAt(3).password, QString(300, QLatin1Char('p')));
}

TEST_F(UsersForm, ASaveIntoAReadOnlyFolderKeepsTheAccountsTheDiskHas) {
  typeInto(login_, QStringLiteral("dan"));
  typeInto(password_, QStringLiteral("pw"));
  QTest::mouseClick(add_, Qt::LeftButton);
  ASSERT_NO_FATAL_FAILURE(clickWithFolderReadOnly(save_, app_.path()));
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("The configuration could not be saved")));
  EXPECT_TRUE(save_->isEnabled());
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  EXPECT_EQ(gConfiguration.Users.count(), 3);  // the new account is not claimed in memory
  EXPECT_EQ(shownLogins().size(), 4);          // but waits in the form for another Save
  EXPECT_EQ(reload().Users.count(), 0);
}

}  // namespace
