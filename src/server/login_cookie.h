#pragma once

#include <QByteArray>
#include <QString>

// The "password" cookie of a form login. It never carries the password: it carries a keyed
// hash (HMAC-SHA256) of the account's login and stored password, which the server can make
// again and compare, and which neither a script of the page nor a stolen cookie can turn
// back into the password. Changing the password changes the hash, so every remembered
// login of the account ends with it; the key stays, so remembered logins outlive a restart.
namespace orv::server {

// The file of the key, in the application folder.
inline constexpr char kLoginKeyFileName[] = "login.key";

// The key of the hashes: 32 random bytes kept in gAppFolder + "/login.key", made with mode
// 0600 the first time it is needed and read once (again only when gAppFolder changes). A
// file that cannot be read or made gives a key of this run alone, and remembered logins
// then end with the run.
QByteArray getLoginCookieKey();

// Forgets the key read, so that the next call reads the file again (tests).
void subForgetLoginCookieKey();

// The cookie value of an account: the hash of its login and its stored password, in lower
// case hexadecimal (64 characters, all of them allowed in a cookie).
QByteArray fnctLoginCookieValue(const QString& login, const QString& password);

// The id of the account whose login equals login (case ignored), which is one of the share
// users, and whose cookie value is value; "-1" when there is none. The comparison takes
// the same time wherever the values differ.
QString getUserFromLoginCookie(const QString& login, const QString& value, const QString& shareUsers);

}  // namespace orv::server
