#include "desktop/language_version.h"

#include "core/app_info.h"

#include <QStringList>

namespace orv::desktop {
namespace {

bool isDigits(const QString& text) {
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

std::optional<int> readDigits(const QString& text) {
  if (!isDigits(text) || text.size() > 9) {
    return std::nullopt;
  }
  return text.toInt();
}

}  // namespace

std::optional<AppVersion> fnctParseAppVersion(const QString& text) {
  const QStringList parts = text.trimmed().split(QLatin1Char('.'));
  for (const QString& part : parts) {
    if (!isDigits(part)) {
      return std::nullopt;
    }
  }
  if (parts.size() == 3) {
    const auto first = readDigits(parts[0]);
    const auto second = readDigits(parts[1]);
    const auto third = readDigits(parts[2]);
    if (!first || !second || !third) {
      return std::nullopt;
    }
    return AppVersion{*first, *second, *third};
  }
  // The forms written with fewer dots: the last digit is the revision and the digits
  // before it, up to the dot, the minor ("1.02", "1.12"); without a dot the first digit
  // is the major ("102").
  QString majorText;
  QString rest;
  if (parts.size() == 2) {
    majorText = parts[0];
    rest = parts[1];
  } else if (parts.size() == 1 && parts[0].size() >= 3) {
    majorText = parts[0].left(1);
    rest = parts[0].mid(1);
  } else {
    return std::nullopt;
  }
  const auto majorNumber = readDigits(majorText);
  const auto minorNumber = rest.size() == 1 ? std::optional<int>(0) : readDigits(rest.left(rest.size() - 1));
  const auto revisionNumber = readDigits(rest.right(1));
  if (!majorNumber || !minorNumber || !revisionNumber) {
    return std::nullopt;
  }
  return AppVersion{*majorNumber, *minorNumber, *revisionNumber};
}

AppVersion applicationVersion() {
  return AppVersion{core::kVersionMajor, core::kVersionMinor, core::kVersionRevision};
}

bool isLanguageVersionCompatible(const QString& maxAppVersion, const AppVersion& application) {
  const std::optional<AppVersion> version = fnctParseAppVersion(maxAppVersion);
  return version && *version >= application;
}

}  // namespace orv::desktop
