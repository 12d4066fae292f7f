#include "server/account_check.h"

#include "core/configuration.h"
#include "core/lists.h"

#include <QStringList>

namespace orv::server {

QString getUserFromLogin(const QString& login, const QString& password, const QString& shareUsers) {
  const QString noAccount = QStringLiteral("-1");
  if (login.isEmpty() || shareUsers.isEmpty()) {
    return noAccount;
  }
  const QStringList users = shareUsers.split(QLatin1Char(':'));
  const core::tConfUsers& accounts = core::gConfiguration.Users;
  for (qsizetype k = 1; k <= accounts.count(); ++k) {
    const QString& accountLogin = accounts.login.at(k);
    if (accountLogin.compare(login, Qt::CaseInsensitive) == 0 &&
        accounts.password.at(k).compare(password, Qt::CaseInsensitive) == 0 &&
        core::isValueInArray(users, accountLogin)) {
      return accounts.ids.at(k);
    }
  }
  return noAccount;
}

}  // namespace orv::server
