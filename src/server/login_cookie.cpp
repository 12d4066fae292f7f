#include "server/login_cookie.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/lists.h"
#include "platform/atomic_file.h"
#include "platform/file_system.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QStringList>

#include <array>

namespace orv::server {
namespace {

constexpr qint64 kKeySize = 32;

struct KeyCache {
  QString appFolder;
  QByteArray key;
};

KeyCache& keyCache() {
  static KeyCache cache;
  return cache;
}

QByteArray randomKey() {
  std::array<quint32, kKeySize / 4> words{};
  QRandomGenerator::system()->fillRange(words.data(), words.size());
  return QByteArray(reinterpret_cast<const char*>(words.data()), kKeySize);
}

// The key the file holds; empty when it holds none (missing, a link, too short, unreadable).
QByteArray readKeyFile(const QString& path) {
  qint64 size = 0;
  const int handle = platform::openRegularFileForRead(path, size, false);
  if (handle == platform::kInvalidFileHandle) {
    return {};
  }
  QByteArray key(kKeySize, '\0');
  const qint64 read = size >= kKeySize ? platform::readFileAt(handle, 0, key.data(), kKeySize) : -1;
  platform::closeFile(handle);
  return read == kKeySize ? key : QByteArray();
}

QByteArray loadOrMakeKey(const QString& appFolder) {
  const QString path = appFolder + QLatin1Char('/') + QLatin1String(kLoginKeyFileName);
  QByteArray key = readKeyFile(path);
  if (!key.isEmpty()) {
    return key;
  }
  key = randomKey();
  const platform::WriteResult written = platform::writeFileAtomically(path, key, 0600);
  if (!written.ok) {
    core::subAddDebugEvent(
        QStringLiteral("Login key not saved, remembered logins end with this run : ") + written.error,
        core::DebugEventCategory::Application);
  }
  return key;
}

}  // namespace

QByteArray getLoginCookieKey() {
  KeyCache& cache = keyCache();
  if (cache.key.isEmpty() || cache.appFolder != core::gAppFolder) {
    cache.appFolder = core::gAppFolder;
    cache.key = core::gAppFolder.isEmpty() ? randomKey() : loadOrMakeKey(core::gAppFolder);
  }
  return cache.key;
}

void subForgetLoginCookieKey() {
  keyCache() = {};
}

QByteArray fnctLoginCookieValue(const QString& login, const QString& password) {
  // A NUL between the two: a login never holds one, so no other pair gives the same text.
  const QByteArray message = login.toUtf8() + '\0' + password.toUtf8();
  return QMessageAuthenticationCode::hash(message, getLoginCookieKey(), QCryptographicHash::Sha256).toHex();
}

QString getUserFromLoginCookie(const QString& login, const QString& value, const QString& shareUsers) {
  const QString noAccount = QStringLiteral("-1");
  if (login.isEmpty() || value.isEmpty() || shareUsers.isEmpty()) {
    return noAccount;
  }
  const QStringList users = shareUsers.split(QLatin1Char(':'));
  const QByteArray given = value.toLatin1();
  const core::tConfUsers& accounts = core::gConfiguration.Users;
  for (qsizetype k = 1; k <= accounts.count(); ++k) {
    const QString& accountLogin = accounts.login.at(k);
    if (accountLogin.compare(login, Qt::CaseInsensitive) != 0 || !core::isValueInArray(users, accountLogin)) {
      continue;
    }
    const QByteArray expected = fnctLoginCookieValue(accountLogin, accounts.password.at(k));
    if (given.size() != expected.size()) {
      continue;
    }
    char difference = 0;
    for (qsizetype i = 0; i < expected.size(); ++i) {
      difference = static_cast<char>(difference | (given[i] ^ expected[i]));
    }
    if (difference == 0) {
      return accounts.ids.at(k);
    }
  }
  return noAccount;
}

}  // namespace orv::server
