#include "editors/ip_filter_settings.h"

#include "core/language.h"

namespace orv::editors {

std::optional<QString> fnctCanonicalIpAddress(const QString& text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  if (parts.size() != 4) {
    return std::nullopt;
  }
  QStringList canonical;
  for (const QString& part : parts) {
    if (part.isEmpty() || part.size() > 3) {
      return std::nullopt;
    }
    int value = 0;
    for (const QChar digit : part) {
      if (digit < QLatin1Char('0') || digit > QLatin1Char('9')) {
        return std::nullopt;
      }
      value = value * 10 + (digit.unicode() - u'0');
    }
    if (value > 255) {
      return std::nullopt;
    }
    canonical.append(QString::number(value));
  }
  return canonical.join(QLatin1Char('.'));
}

IpFilterFields fnctIpFilterFields(const core::tConfIpFilters& filters) {
  IpFilterFields fields;
  // An address that an older file holds with leading zeros is shown, and saved, as the
  // server reads it.
  for (const auto& entry : filters.colAddresses) {
    fields.addresses.append(fnctCanonicalIpAddress(entry.value).value_or(entry.value));
  }
  fields.allowExcept = filters.bytMethod == 2;
  return fields;
}

bool isRefusingEveryone(const IpFilterFields& fields) {
  return !fields.allowExcept && fields.addresses.isEmpty();
}

QString fnctRefuseEveryoneQuestion() {
  return QStringLiteral("With \"") + core::gLanguage.text(u"CONFIG_FORM/RADIO/IP_FILTERS_DENY_EXCEPT") +
         QStringLiteral(
             "\" and no address in the list, the server refuses every client, this computer "
             "included.\n\nSave this filter anyway?");
}

void subStoreIpFilters(const IpFilterFields& fields, core::tConfIpFilters& filters) {
  filters.bytMethod = fields.allowExcept ? 2 : 1;
  filters.colAddresses.clear();
  for (const QString& address : fields.addresses) {
    filters.colAddresses.add(address);
  }
}

}  // namespace orv::editors
