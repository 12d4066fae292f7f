#include "core/server_paths.h"

#include "core/lists.h"
#include "core/text_encoding.h"

#include <array>
#include <limits>

namespace orv::core {
namespace {

bool isDecimalNumber(const QString& text) {
  if (text.isEmpty()) {
    return false;
  }
  for (const QChar character : text) {
    if (character < QLatin1Char('0') || character > QLatin1Char('9')) {
      return false;
    }
  }
  return true;
}

}  // namespace

QString fnctNormalizeServerPath(const QString& path) {
  if (path.isEmpty()) {
    return {};
  }
  QString normalized = path.trimmed();
  if (!path.startsWith(QLatin1Char('/'))) {
    normalized.prepend(QLatin1Char('/'));
  }
  if (!path.endsWith(QLatin1Char('/'))) {
    normalized.append(QLatin1Char('/'));
  }
  return normalized;
}

bool isValidServerPath(const QString& path) {
  if (path.trimmed().isEmpty()) {
    return false;
  }
  static const std::array<QString, 11> kRefused = {
      QStringLiteral("/ "), QStringLiteral(" /"), QStringLiteral("//"), QStringLiteral("|"),
      QStringLiteral(">"),  QStringLiteral("<"),  QStringLiteral("\""), QStringLiteral("?"),
      QStringLiteral("*"),  QStringLiteral(":"),  QStringLiteral("\\"),
  };
  for (const QString& refused : kRefused) {
    if (path.contains(refused)) {
      return false;
    }
  }
  return true;
}

QString fnctIncrementServerPathSuffix(const QString& serverPath) {
  const qsizetype underscore = serverPath.lastIndexOf(QLatin1Char('_'));
  if (underscore >= 0) {
    const QString suffix = serverPath.sliced(underscore + 1).remove(QLatin1Char('/'));
    if (isDecimalNumber(suffix)) {
      bool converted = false;
      const uint number = suffix.toUInt(&converted);
      if (converted && number < static_cast<uint>(std::numeric_limits<qint16>::max())) {
        return serverPath.first(underscore + 1) + QString::number(number + 1) + QLatin1Char('/');
      }
    }
  }
  QString stem = serverPath;
  if (stem.endsWith(QLatin1Char('/'))) {
    stem.chop(1);
  }
  return stem + QStringLiteral("_2/");
}

bool isServerPathUsed(const QString& path, const tShares& shares) {
  const QString wanted = fnctUrlEncode(fnctNormalizeServerPath(path));
  if (wanted == QLatin1String("/")) {
    return true;
  }
  for (const auto& entry : shares.serverPath) {
    if (entry.value.compare(wanted, Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

QString fnctFilterUsersList(const QString& users, const QStringList& knownLogins) {
  QStringList kept;
  for (const QString& login : users.split(QLatin1Char(':'))) {
    if (!login.isEmpty() && isValueInArray(knownLogins, login)) {
      kept.append(login);
    }
  }
  return kept.join(QLatin1Char(':'));
}

QStringList getUsersUsedByShares(const tShares& shares) {
  QStringList used;
  const auto collect = [&used](const QString& users) {
    for (const QString& login : users.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
      if (!isValueInArray(used, login)) {
        used.append(login);
      }
    }
  };
  collect(shares.RootShare.users);
  for (const auto& entry : shares.users) {
    collect(entry.value);
  }
  return used;
}

}  // namespace orv::core
