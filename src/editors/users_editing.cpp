#include "editors/users_editing.h"

#include "core/file_utils.h"
#include "core/language.h"
#include "core/lists.h"
#include "core/local_paths.h"
#include "platform/codepage.h"

#include <algorithm>

namespace orv::editors {
namespace {

const QString kLoginSeparator = QStringLiteral(":");

QString errorText(const char16_t* key) {
  return core::gLanguage.text(QStringLiteral("MSGBOX/ERRORS/") + QString::fromUtf16(key));
}

UserRefusal refusal(const char16_t* key, UserField field) {
  return {errorText(key), field};
}

// The characters of the text that the code page of the stored passwords lacks, each once.
QString charactersOutsideCodePage(const QString& text) {
  QString outside;
  for (const QChar character : text) {
    if (platform::ansiCodeOf(character) < 0 && !outside.contains(character)) {
      outside.append(character);
    }
  }
  return outside;
}

// A ticked icon names a readable file directly in the resources folder: a bare file name,
// without any folder, since the pages fetch it from there by that name.
bool isUsableIconName(const QString& name, const QString& resourcesFolder) {
  if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
      name == QLatin1String(".") || name == QLatin1String("..")) {
    return false;
  }
  return core::fnctFileExists(resourcesFolder + QLatin1Char('/') + name, false) == core::ExistenceCode::Usable;
}

QString storedIcon(bool ticked, const QString& name) {
  return ticked ? name : QString();
}

}  // namespace

QString fnctResourcesFolder() {
  return core::gAppFolder + QStringLiteral("/resources");
}

std::optional<UserRefusal> ValidateUserFields(const UserFields& fields, const QString& resourcesFolder) {
  if (fields.login.isEmpty()) {
    return refusal(u"EMPTY_LOGIN", UserField::Login);
  }
  if (fields.login.contains(kLoginSeparator)) {
    return refusal(u"INVALID_LOGIN", UserField::Login);
  }
  if (fields.password.isEmpty()) {
    return refusal(u"EMPTY_PASSWORD", UserField::Password);
  }
  if (fields.password.contains(kLoginSeparator)) {
    return refusal(u"INVALID_PASSWORD", UserField::Password);
  }
  // The stored password and the credentials of the clients go through the code page: a
  // character it lacks would come back as "?" and the account could never log in.
  if (const QString outside = charactersOutsideCodePage(fields.password); !outside.isEmpty()) {
    return UserRefusal{errorText(u"INVALID_PASSWORD") + QStringLiteral(" (") + outside + QLatin1Char(')'),
                       UserField::Password};
  }
  if (fields.pageIconTicked && !isUsableIconName(fields.pageIcon, resourcesFolder)) {
    return refusal(u"PAGES_ICON_NOT_FOUND", UserField::PageIcon);
  }
  if (fields.urlIconTicked && !isUsableIconName(fields.urlIcon, resourcesFolder)) {
    return refusal(u"URLS_ICON_NOT_FOUND", UserField::UrlIcon);
  }
  return std::nullopt;
}

UsersWorkLists::UsersWorkLists(const core::tConfUsers& accounts) {
  accounts_.reserve(static_cast<std::size_t>(accounts.count()));
  for (qsizetype position = 1; position <= accounts.count(); ++position) {
    accounts_.push_back(accounts.accountAt(position));
  }
}

const core::UserAccount* UsersWorkLists::find(const QString& id) const {
  const auto found = std::find_if(accounts_.begin(), accounts_.end(), [&id](const core::UserAccount& account) {
    return account.id.compare(id, Qt::CaseInsensitive) == 0;
  });
  return found == accounts_.end() ? nullptr : &*found;
}

int UsersWorkLists::GetFreeUserId() const {
  int n = 1;
  while (find(QStringLiteral("id") + QString::number(n)) != nullptr) {
    ++n;
  }
  return n;
}

std::optional<UserRefusal> UsersWorkLists::fnctAddUser(const UserFields& fields, const QString& resourcesFolder) {
  if (std::optional<UserRefusal> refused = ValidateUserFields(fields, resourcesFolder)) {
    return refused;
  }
  const bool used = std::any_of(accounts_.begin(), accounts_.end(), [&fields](const core::UserAccount& account) {
    return account.login.compare(fields.login, Qt::CaseInsensitive) == 0;
  });
  if (used) {
    return refusal(u"LOGIN_ALREADY_EXIST", UserField::Login);
  }
  accounts_.push_back({QStringLiteral("id") + QString::number(GetFreeUserId()), fields.login, fields.password,
                       storedIcon(fields.pageIconTicked, fields.pageIcon),
                       storedIcon(fields.urlIconTicked, fields.urlIcon)});
  return std::nullopt;
}

std::optional<UserRefusal> UsersWorkLists::fnctModifyUser(const QString& id, const UserFields& fields,
                                                          const QString& resourcesFolder) {
  const core::UserAccount* found = find(id);
  if (found == nullptr) {
    return UserRefusal{QString(), UserField::Login};
  }
  if (std::optional<UserRefusal> refused = ValidateUserFields(fields, resourcesFolder)) {
    return refused;
  }
  core::UserAccount& account = accounts_[static_cast<std::size_t>(found - accounts_.data())];
  account.password = fields.password;
  account.pagesicon = storedIcon(fields.pageIconTicked, fields.pageIcon);
  account.urlsicon = storedIcon(fields.urlIconTicked, fields.urlIcon);
  return std::nullopt;
}

std::optional<QString> UsersWorkLists::fnctRemoveUsers(const QStringList& ids, const QStringList& usedLogins) {
  const auto isChosen = [&ids](const core::UserAccount& account) {
    return ids.contains(account.id, Qt::CaseInsensitive);
  };
  QString refusedLines;
  for (const core::UserAccount& account : accounts_) {
    if (isChosen(account) && core::isValueInArray(usedLogins, account.login)) {
      refusedLines += QStringLiteral("\n - ") + account.login;
    }
  }
  if (!refusedLines.isEmpty()) {
    return errorText(u"USERS_USED_BY_SHARE") + QStringLiteral(" :\n") + refusedLines;
  }
  accounts_.erase(std::remove_if(accounts_.begin(), accounts_.end(), isChosen), accounts_.end());
  return std::nullopt;
}

void UsersWorkLists::subStoreUsers(core::tConfUsers& accounts) const {
  accounts = core::tConfUsers();
  for (const core::UserAccount& account : accounts_) {
    accounts.add(account);
  }
}

IconChoice fnctPickedIcon(const QString& file, const QString& resourcesFolder) {
  if (file.isEmpty()) {
    return {};
  }
  if (core::isFileDirectlyInFolder(file, resourcesFolder)) {
    return {file.mid(file.lastIndexOf(QLatin1Char('/')) + 1), false};
  }
  return {std::nullopt, true};
}

IconChoice fnctDroppedIcon(const QList<QUrl>& urls, const QString& resourcesFolder) {
  if (urls.isEmpty() || !urls.first().isLocalFile()) {
    return {};
  }
  const QString file = urls.first().toLocalFile();
  if (core::fnctFileExists(file, true) != core::ExistenceCode::Usable) {
    return {};
  }
  return fnctPickedIcon(file, resourcesFolder);
}

}  // namespace orv::editors
