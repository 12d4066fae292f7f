#pragma once

#include <QString>

// The check of a login and password against the user accounts (gConfiguration.Users).
namespace orv::server {

// The id of the first account, in the order of the accounts, whose login equals login and
// whose password equals password (both ignoring case) and whose login is one of the share
// users (the share's logins joined by ":", compared ignoring case); "-1" when there is none.
// An empty login, or an empty share-users text, matches no account.
QString getUserFromLogin(const QString& login, const QString& password, const QString& shareUsers);

}  // namespace orv::server
