#include "editors/general_settings.h"

#include "core/lists.h"
#include "editors/config_numbers.h"

#include <cmath>

namespace orv::editors {

using desktop::applicationVersion;
using desktop::isLanguageVersionCompatible;

std::optional<int> fnctCheckLocalPort(const QString& text) {
  const std::optional<int> value = fnctReadLong(text);
  if (!value || *value < 1 || *value > 65535) {
    return std::nullopt;
  }
  return value;
}

QString fnctCheckedLocalPortText(const QString& text, const core::tConfProtocol& protocol) {
  return fnctCheckLocalPort(text) ? text : protocol.LOCAL_PORT;
}

QString fnctLocalPortToStore(const QString& text, const core::tConfProtocol& protocol) {
  const std::optional<int> port = fnctCheckLocalPort(text);
  return port ? QString::number(*port) : protocol.LOCAL_PORT;
}

bool isLocalPortChanged(const QString& text, const core::tConfProtocol& protocol) {
  const std::optional<int> port = fnctCheckLocalPort(text);
  if (!port) {
    return false;
  }
  // A stored text that is no port (a hand-edited file) is replaced by any valid one.
  return fnctReadLong(protocol.LOCAL_PORT) != port;
}

QString fnctCacheSizeShownText(int storedBytes) {
  const double megabytes = std::nearbyint(double(storedBytes) / double(kBytesPerMegabyte));
  return megabytes == 0 ? QStringLiteral("1") : QString::number(qint64(megabytes));
}

QString fnctCacheSizeExactText(int storedBytes) {
  // A quotient by a power of two is exact in a double; 'g' with 17 digits writes it whole
  // without trailing zeros (10000000 bytes: 9.5367431640625).
  return QString::number(double(storedBytes) / double(kBytesPerMegabyte), 'g', 17);
}

std::optional<int> fnctCheckCacheSizeMegabytes(const QString& text) {
  const std::optional<int> value = fnctReadLong(text);
  if (!value || *value == 0 || *value < -1 || *value > kLargestCacheSizeMegabytes) {
    return std::nullopt;
  }
  return value;
}

QString fnctCheckedCacheSizeText(const QString& text, int storedBytes) {
  return fnctCheckCacheSizeMegabytes(text) ? text : fnctCacheSizeShownText(storedBytes);
}

int fnctCacheSizeBytesToStore(const QString& text, int storedBytes) {
  if (text == fnctCacheSizeShownText(storedBytes) || text == fnctCacheSizeExactText(storedBytes)) {
    return storedBytes;
  }
  const std::optional<int> megabytes = fnctCheckCacheSizeMegabytes(text);
  if (!megabytes) {
    return storedBytes;
  }
  // At most 2047 MB, so the product fits in 32 bits.
  return static_cast<int>(qint64(*megabytes) * kBytesPerMegabyte);
}

QString fnctNormalizeListText(const QString& text) {
  return fnctArrayToListText(fnctListTextToArray(text));
}

QStringList fnctListTextToArray(const QString& text) {
  QStringList items;
  for (const QString& item : text.split(QLatin1Char(';'))) {
    const QString trimmed = item.trimmed();
    if (!trimmed.isEmpty()) {
      items.append(trimmed);
    }
  }
  if (!items.isEmpty()) {
    items.append(QString());
  }
  return items;
}

QString fnctArrayToListText(const QStringList& array) {
  return core::fnctJoinList(array, QStringLiteral(";"));
}

bool isDomainsChoiceRefused(bool allowOnlyDomains, const QString& domainsText) {
  return allowOnlyDomains && fnctListTextToArray(domainsText).isEmpty();
}

int fnctLanguageIndex(const core::tLanguagesList& list, const QString& fileName) {
  for (qsizetype position = 1; position <= list.colFileName.count(); ++position) {
    if (list.colFileName.at(position).compare(fileName, Qt::CaseInsensitive) == 0) {
      return static_cast<int>(position - 1);
    }
  }
  return -1;
}

LanguageChoice fnctChooseLanguage(const core::tLanguagesList& list, int index, const QString& currentFileName,
                                  core::tLanguage* loaded) {
  if (index < 0 || index >= list.colFileName.count()) {
    return LanguageChoice::Unchanged;
  }
  const qsizetype position = index + 1;
  if (list.colFileName.at(position).compare(currentFileName, Qt::CaseInsensitive) == 0) {
    return LanguageChoice::Unchanged;
  }
  if (!isLanguageVersionCompatible(list.colMaxAppVersion.at(position), applicationVersion())) {
    return LanguageChoice::OutOfDate;
  }
  core::tLanguage language = core::fnctLoadLanguage(list.colPath.at(position));
  if (!language.blnLoaded) {
    return LanguageChoice::NotLoaded;
  }
  if (loaded != nullptr) {
    *loaded = std::move(language);
  }
  return LanguageChoice::Changed;
}

}  // namespace orv::editors
