// The rules of the user accounts, through the logic of the users category.

#include "editors/users_editing.h"
#include "editors/config_category_save.h"
#include "editors_fixture.h"
#include "support/file_permissions.h"

#include <QUrl>

#include <vector>

namespace {

using namespace orv::editors;
using orv::core::gConfiguration;
using orv::core::tConfUsers;
using orv::core::UserAccount;

UserFields account(const QString& login, const QString& password = QStringLiteral("pw")) {
  return {login, password, false, {}, false, {}};
}

tConfUsers threeAccounts() {
  tConfUsers users;
  users.add({QStringLiteral("id1"), QStringLiteral("amy"), QStringLiteral("a"), QString(), QString()});
  users.add({QStringLiteral("id2"), QStringLiteral("bob"), QStringLiteral("b"), QStringLiteral("face.png"), QString()});
  users.add({QStringLiteral("id3"), QStringLiteral("cat"), QStringLiteral("c"), QString(), QStringLiteral("tab.ico")});
  return users;
}

QStringList logins(const UsersWorkLists& work) {
  QStringList found;
  for (const UserAccount& a : work.accounts()) {
    found.append(a.id + QLatin1Char('=') + a.login);
  }
  return found;
}

class UsersEditing : public EditorsTest {};

TEST_F(UsersEditing, FieldsAreCheckedInOrderAndTheFirstFailureNamesItsField) {
  struct Case {
    const char* what;
    UserFields fields;
    const char16_t* expectedText;  // nullptr: accepted
    UserField field;
  };
  const QString r = QStringLiteral("face.png");
  const std::vector<Case> cases = {
      {"an empty login", account(QString(), QString()), u"MSGBOX/ERRORS/EMPTY_LOGIN", UserField::Login},
      {"a login with a colon", account(QStringLiteral("a:b")), u"MSGBOX/ERRORS/INVALID_LOGIN", UserField::Login},
      {"a lone colon as login", account(QStringLiteral(":")), u"MSGBOX/ERRORS/INVALID_LOGIN", UserField::Login},
      {"an empty password", account(QStringLiteral("amy"), QString()), u"MSGBOX/ERRORS/EMPTY_PASSWORD",
       UserField::Password},
      {"a password with a colon", account(QStringLiteral("amy"), QStringLiteral("p:w")),
       u"MSGBOX/ERRORS/INVALID_PASSWORD", UserField::Password},
      {"a login of blanks", account(QStringLiteral("   ")), nullptr, UserField::Login},
      {"a login with blanks around and inside", account(QStringLiteral(" amy lee ")), nullptr, UserField::Login},
      {"a login of 1,000 characters", account(QString(1000, QLatin1Char('l'))), nullptr, UserField::Login},
      {"a password of one blank", account(QStringLiteral("amy"), QStringLiteral(" ")), nullptr, UserField::Login},
      {"a password of the code page", account(QStringLiteral("amy"), QStringLiteral("é€ß")), nullptr, UserField::Login},
      {"a ticked page icon without a name",
       {QStringLiteral("amy"), QStringLiteral("pw"), true, {}, false, {}},
       u"MSGBOX/ERRORS/PAGES_ICON_NOT_FOUND",
       UserField::PageIcon},
      {"a page icon of the resources",
       {QStringLiteral("amy"), QStringLiteral("pw"), true, r, false, {}},
       nullptr,
       UserField::Login},
      {"a page icon climbing out",
       {QStringLiteral("amy"), QStringLiteral("pw"), true, QStringLiteral("../config.xml"), false, {}},
       u"MSGBOX/ERRORS/PAGES_ICON_NOT_FOUND",
       UserField::PageIcon},
      {"a page icon by absolute path",
       {QStringLiteral("amy"), QStringLiteral("pw"), true, QStringLiteral("/etc/passwd"), false, {}},
       u"MSGBOX/ERRORS/PAGES_ICON_NOT_FOUND",
       UserField::PageIcon},
      {"a page icon in a sub-folder",
       {QStringLiteral("amy"), QStringLiteral("pw"), true, QStringLiteral("sub/deep.png"), false, {}},
       u"MSGBOX/ERRORS/PAGES_ICON_NOT_FOUND",
       UserField::PageIcon},
      {"the folder above as page icon",
       {QStringLiteral("amy"), QStringLiteral("pw"), true, QStringLiteral(".."), false, {}},
       u"MSGBOX/ERRORS/PAGES_ICON_NOT_FOUND",
       UserField::PageIcon},
      {"a sub-folder as page icon",
       {QStringLiteral("amy"), QStringLiteral("pw"), true, QStringLiteral("sub"), false, {}},
       u"MSGBOX/ERRORS/PAGES_ICON_NOT_FOUND",
       UserField::PageIcon},
      {"an unticked page icon is not tested",
       {QStringLiteral("amy"), QStringLiteral("pw"), false, QStringLiteral("/etc/passwd"), false, {}},
       nullptr,
       UserField::Login},
      {"a URL icon climbing out and back",
       {QStringLiteral("amy"), QStringLiteral("pw"), true, r, true, QStringLiteral("x/../../y")},
       u"MSGBOX/ERRORS/URLS_ICON_NOT_FOUND",
       UserField::UrlIcon},
      {"a URL icon with a backslash",
       {QStringLiteral("amy"), QStringLiteral("pw"), false, {}, true, QStringLiteral("..\\config.xml")},
       u"MSGBOX/ERRORS/URLS_ICON_NOT_FOUND",
       UserField::UrlIcon},
      {"a URL icon that is missing",
       {QStringLiteral("amy"), QStringLiteral("pw"), false, {}, true, QStringLiteral("gone.ico")},
       u"MSGBOX/ERRORS/URLS_ICON_NOT_FOUND",
       UserField::UrlIcon},
      {"a URL icon of the resources",
       {QStringLiteral("amy"), QStringLiteral("pw"), false, {}, true, QStringLiteral("tab.ico")},
       nullptr,
       UserField::Login},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<UserRefusal> refused = ValidateUserFields(c.fields, resources());
    if (c.expectedText == nullptr) {
      EXPECT_FALSE(refused.has_value());
      continue;
    }
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->text, text(c.expectedText));
    EXPECT_EQ(refused->field, c.field);
  }
}

TEST_F(UsersEditing, APasswordWithACharacterTheCodePageLacksIsRefusedNamingIt) {
  const std::optional<UserRefusal> refused =
      ValidateUserFields(account(QStringLiteral("amy"), QString::fromUtf8("zł€ł中")), resources());
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->field, UserField::Password);
  EXPECT_EQ(refused->text, text(u"MSGBOX/ERRORS/INVALID_PASSWORD") + QString::fromUtf8(" (ł中)"));
}

TEST_F(UsersEditing, AnIconThatCannotBeReadIsRefused) {
  const QString locked = app_.write(QStringLiteral("resources/locked.png"), "png");
  ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
  const ObeyFilePermissions guard;
  if (!guard.binding()) {
    GTEST_SKIP() << "file permissions cannot be made binding";
  }
  const std::optional<UserRefusal> refused = ValidateUserFields(
      {QStringLiteral("amy"), QStringLiteral("pw"), true, QStringLiteral("locked.png"), false, {}}, resources());
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->field, UserField::PageIcon);
}

TEST_F(UsersEditing, AddTakesTheSmallestFreeIdAndRefusesALoginDifferingOnlyInCase) {
  UsersWorkLists work(threeAccounts());
  ASSERT_FALSE(work.fnctRemoveUsers({QStringLiteral("id2")}, {}).has_value());
  EXPECT_EQ(work.GetFreeUserId(), 2);
  ASSERT_FALSE(work.fnctAddUser(account(QStringLiteral("dan")), resources()).has_value());
  EXPECT_EQ(logins(work),
            (QStringList{QStringLiteral("id1=amy"), QStringLiteral("id3=cat"), QStringLiteral("id2=dan")}));
  EXPECT_EQ(work.GetFreeUserId(), 4);

  const std::optional<UserRefusal> refused = work.fnctAddUser(account(QStringLiteral("AMY")), resources());
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->text, text(u"MSGBOX/ERRORS/LOGIN_ALREADY_EXIST"));
  EXPECT_EQ(refused->field, UserField::Login);
  EXPECT_EQ(work.accounts().size(), 3u);
}

TEST_F(UsersEditing, AnUntickedIconIsStoredEmpty) {
  UsersWorkLists work(tConfUsers{});
  ASSERT_FALSE(work.fnctAddUser({QStringLiteral("amy"), QStringLiteral("pw"), false, QStringLiteral("face.png"), true,
                                 QStringLiteral("tab.ico")},
                                resources())
                   .has_value());
  ASSERT_EQ(work.accounts().size(), 1u);
  EXPECT_EQ(work.accounts()[0].pagesicon, QString());
  EXPECT_EQ(work.accounts()[0].urlsicon, QStringLiteral("tab.ico"));
}

TEST_F(UsersEditing, ModifyKeepsThePlaceTheIdAndTheLoginOfTheAccountShown) {
  struct Case {
    const char* id;
    QStringList expectedOrder;
  };
  const std::vector<Case> cases = {
      {"id1", {QStringLiteral("id1=amy"), QStringLiteral("id2=bob"), QStringLiteral("id3=cat")}},
      {"id3", {QStringLiteral("id1=amy"), QStringLiteral("id2=bob"), QStringLiteral("id3=cat")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    UsersWorkLists work(threeAccounts());
    const QString id = QLatin1String(c.id);
    ASSERT_FALSE(work.fnctModifyUser(id,
                                     {QStringLiteral("someone else"), QStringLiteral("new"), true,
                                      QStringLiteral("face.png"), false, QStringLiteral("tab.ico")},
                                     resources())
                     .has_value());
    EXPECT_EQ(logins(work), c.expectedOrder);
    EXPECT_EQ(work.find(id)->password, QStringLiteral("new"));
    EXPECT_EQ(work.find(id)->pagesicon, QStringLiteral("face.png"));
    EXPECT_EQ(work.find(id)->urlsicon, QString());
  }
  UsersWorkLists work(threeAccounts());
  const std::optional<UserRefusal> unknown =
      work.fnctModifyUser(QStringLiteral("id9"), account(QStringLiteral("x")), resources());
  ASSERT_TRUE(unknown.has_value());
  EXPECT_TRUE(unknown->text.isEmpty());
  const std::optional<UserRefusal> refused =
      work.fnctModifyUser(QStringLiteral("id2"), account(QStringLiteral("bob"), QString()), resources());
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->text, text(u"MSGBOX/ERRORS/EMPTY_PASSWORD"));
  EXPECT_EQ(work.find(QStringLiteral("id2"))->password, QStringLiteral("b"));
}

TEST_F(UsersEditing, RemoveIsRefusedWholeWhenAShareNamesAnyOfTheLogins) {
  UsersWorkLists work(threeAccounts());
  const std::optional<QString> refused =
      work.fnctRemoveUsers({QStringLiteral("id3"), QStringLiteral("id1"), QStringLiteral("id2")},
                           {QStringLiteral("CAT"), QStringLiteral("amy")});
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(*refused, text(u"MSGBOX/ERRORS/USERS_USED_BY_SHARE") + QStringLiteral(" :\n\n - amy\n - cat"));
  EXPECT_EQ(work.accounts().size(), 3u);
}

TEST_F(UsersEditing, RemoveTakesEverySelectedAccountNoShareNames) {
  UsersWorkLists work(threeAccounts());
  EXPECT_FALSE(work.fnctRemoveUsers({QStringLiteral("ID1"), QStringLiteral("id3")}, {QStringLiteral("bob"), QString()})
                   .has_value());
  EXPECT_EQ(logins(work), QStringList{QStringLiteral("id2=bob")});
}

TEST_F(UsersEditing, ThePickerAndTheDropKeepOnlyFilesDirectlyInTheResources) {
  const QString outside = app_.write(QStringLiteral("elsewhere.png"), "png");
  struct Case {
    const char* what;
    QString file;
    std::optional<QString> name;
    bool notInResources;
  };
  const std::vector<Case> picked = {
      {"a cancel", QString(), std::nullopt, false},
      {"a file of the resources", resources() + QStringLiteral("/face.png"), QStringLiteral("face.png"), false},
      {"a file of a sub-folder", resources() + QStringLiteral("/sub/deep.png"), std::nullopt, true},
      {"a file elsewhere", outside, std::nullopt, true},
  };
  for (const Case& c : picked) {
    SCOPED_TRACE(c.what);
    const IconChoice choice = fnctPickedIcon(c.file, resources());
    EXPECT_EQ(choice.name, c.name);
    EXPECT_EQ(choice.notInResources, c.notInResources);
  }

  struct Drop {
    const char* what;
    QList<QUrl> urls;
    std::optional<QString> name;
    bool notInResources;
  };
  const std::vector<Drop> dropped = {
      {"no files", {}, std::nullopt, false},
      {"two files: the first counts",
       {QUrl::fromLocalFile(resources() + QStringLiteral("/tab.ico")),
        QUrl::fromLocalFile(resources() + QStringLiteral("/face.png"))},
       QStringLiteral("tab.ico"),
       false},
      {"a file elsewhere first",
       {QUrl::fromLocalFile(outside), QUrl::fromLocalFile(resources() + QStringLiteral("/tab.ico"))},
       std::nullopt,
       true},
      {"a folder", {QUrl::fromLocalFile(resources() + QStringLiteral("/sub"))}, std::nullopt, false},
      {"a missing file", {QUrl::fromLocalFile(resources() + QStringLiteral("/gone.png"))}, std::nullopt, false},
      {"a web address", {QUrl(QStringLiteral("https://example.org/face.png"))}, std::nullopt, false},
  };
  for (const Drop& d : dropped) {
    SCOPED_TRACE(d.what);
    const IconChoice choice = fnctDroppedIcon(d.urls, resources());
    EXPECT_EQ(choice.name, d.name);
    EXPECT_EQ(choice.notInResources, d.notInResources);
  }
}

TEST_F(UsersEditing, PasswordsKeepEveryCharacterAcrossASaveAndAReloadWhateverTheirLength) {
  struct Case {
    const char* what;
    QString password;
  };
  const std::vector<Case> cases = {
      {"57 bytes: one full line of Base64", QString(57, QLatin1Char('a'))},
      {"58 bytes: past one line", QString(58, QLatin1Char('b'))},
      {"300 bytes with blanks and the code page's own letters",
       QString::fromUtf8("é€ ß ") + QString(295, QLatin1Char('z'))},
      {"a single blank", QStringLiteral(" ")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gConfiguration = orv::core::tConfiguration();
    UsersWorkLists work(gConfiguration.Users);
    ASSERT_FALSE(work.fnctAddUser(account(QStringLiteral(" amy lee "), c.password), resources()).has_value());
    ASSERT_TRUE(subSaveCategory([&work](orv::core::tConfiguration& record) { work.subStoreUsers(record.Users); }));
    const QByteArray bytes = configBytes();
    EXPECT_FALSE(bytes.contains("&#13;") || bytes.contains("&#10;") || bytes.contains('\n' + QByteArray("pwd")));
    const orv::core::tConfiguration reloaded = reload();
    ASSERT_EQ(reloaded.Users.count(), 1);
    EXPECT_EQ(reloaded.Users.accountAt(1).login, QStringLiteral(" amy lee "));
    EXPECT_EQ(reloaded.Users.accountAt(1).password, c.password);
  }
}

TEST_F(UsersEditing, ALoginOfAThousandCharactersSurvivesASaveAndAReload) {
  UsersWorkLists work(gConfiguration.Users);
  const QString login = QString(999, QLatin1Char('l')) + QString::fromUtf8("é");
  ASSERT_FALSE(work.fnctAddUser(account(login), resources()).has_value());
  ASSERT_TRUE(subSaveCategory([&work](orv::core::tConfiguration& record) { work.subStoreUsers(record.Users); }));
  EXPECT_EQ(reload().Users.accountAt(1).login, login);
}

TEST_F(UsersEditing, StoreReplacesTheRecordsAccountsInOrderUnderTheSameIds) {
  gConfiguration.Users = threeAccounts();
  UsersWorkLists work(gConfiguration.Users);
  ASSERT_FALSE(work.fnctRemoveUsers({QStringLiteral("id1")}, {}).has_value());
  ASSERT_FALSE(work.fnctAddUser(account(QStringLiteral("eve")), resources()).has_value());
  work.subStoreUsers(gConfiguration.Users);
  ASSERT_EQ(gConfiguration.Users.count(), 3);
  EXPECT_EQ(gConfiguration.Users.accountAt(3).id, QStringLiteral("id1"));
  EXPECT_EQ(gConfiguration.Users.login.value(QStringLiteral("id1")), QStringLiteral("eve"));
  EXPECT_EQ(gConfiguration.Users.pagesicon.value(QStringLiteral("id2")), QStringLiteral("face.png"));
  EXPECT_EQ(gConfiguration.Users.ids.at(1), QStringLiteral("id2"));
}

}  // namespace
