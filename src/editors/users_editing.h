#pragma once

#include "core/configuration.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

// The editing of the user accounts behind the users category: working copies of the
// accounts that Add, Modify and Remove change, and that Save puts into the configuration
// record in place of its accounts.
namespace orv::editors {

// What the account fields of the form hold.
struct UserFields {
  QString login;
  QString password;
  bool pageIconTicked = false;
  QString pageIcon;  // a file name of the folder "resources"
  bool urlIconTicked = false;
  QString urlIcon;
};

enum class UserField { Login, Password, PageIcon, UrlIcon };

// Why the fields were refused: the message text and the field that gets the focus.
struct UserRefusal {
  QString text;
  UserField field;
};

// The application folder's "resources", where the account icons live.
QString fnctResourcesFolder();

// The checks of Add and Modify, in order: a login (not empty, no ":"), a password (not
// empty, no ":", every character one the code page of the stored passwords can hold), and
// each ticked icon a readable file directly in the resources folder, named without any
// folder. The first failing check is the answer; nothing when every check passes.
std::optional<UserRefusal> ValidateUserFields(const UserFields& fields, const QString& resourcesFolder);

class UsersWorkLists {
 public:
  // CopyUsersToWorkLists: the accounts of the record, in order, under their ids.
  explicit UsersWorkLists(const core::tConfUsers& accounts);

  const std::vector<core::UserAccount>& accounts() const { return accounts_; }
  // The account of an id, or nullptr.
  const core::UserAccount* find(const QString& id) const;

  // The smallest n from 1 whose id "id" & n is not used.
  int GetFreeUserId() const;

  // Appends a new account under the first free id: refused when a check fails or the login
  // is already used (case ignored). An unticked icon is stored empty.
  std::optional<UserRefusal> fnctAddUser(const UserFields& fields, const QString& resourcesFolder);

  // Changes the password and icons of the account of the id, which keeps its place, its id
  // and its login. Refused when a check fails; an id of no account changes nothing and is
  // refused without a text.
  std::optional<UserRefusal> fnctModifyUser(const QString& id, const UserFields& fields,
                                            const QString& resourcesFolder);

  // Removes the accounts of the ids, unless a share names any of their logins (usedLogins,
  // case ignored): then none is removed and the answer is the message that lists those
  // logins in the order of the accounts.
  std::optional<QString> fnctRemoveUsers(const QStringList& ids, const QStringList& usedLogins);

  // Save: the record's accounts become the working accounts, in order and under the same
  // ids.
  void subStoreUsers(core::tConfUsers& accounts) const;

 private:
  std::vector<core::UserAccount> accounts_;
};

// The icon name for a file chosen with the picker: its bare name when it lies directly in
// the resources folder; nothing for a cancel (an empty path). notInResources is set for any
// other file.
struct IconChoice {
  std::optional<QString> name;
  bool notInResources = false;
};
IconChoice fnctPickedIcon(const QString& file, const QString& resourcesFolder);

// The same for files dropped on an icon box: only the first counts; a file directly in the
// resources folder gives its name, a file elsewhere notInResources, and a folder, a
// missing file, an address that is no local file or no file at all nothing.
IconChoice fnctDroppedIcon(const QList<QUrl>& urls, const QString& resourcesFolder);

}  // namespace orv::editors
