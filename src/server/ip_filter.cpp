#include "server/ip_filter.h"

#include "core/configuration.h"
#include "core/formats.h"

#include <QStringList>

#include <optional>

namespace orv::server {
namespace {

// The 32 bits of a dotted IPv4 address of four decimal numbers, or nothing.
std::optional<quint32> ipv4Value(const QString& text) {
  if (!core::isValidIpAddress(text)) {
    return std::nullopt;
  }
  quint32 value = 0;
  for (const QString& part : text.split(QLatin1Char('.'))) {
    value = (value << 8) | part.toUInt();
  }
  return value;
}

bool isSameAddress(const QString& listed, const QString& ip, std::optional<quint32> ipValue) {
  if (listed.isEmpty()) {
    return false;
  }
  if (ipValue) {
    if (const std::optional<quint32> listedValue = ipv4Value(listed)) {
      return *listedValue == *ipValue;
    }
  }
  return listed.compare(ip, Qt::CaseInsensitive) == 0;
}

bool isListed(const QString& ip) {
  const std::optional<quint32> ipValue = ipv4Value(ip);
  for (const auto& entry : core::gConfiguration.IpFilters.colAddresses) {
    if (isSameAddress(entry.value, ip, ipValue)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool isIpAllowed(const QString& ip) {
  switch (core::gConfiguration.IpFilters.bytMethod) {
    case 1:
      return isListed(ip);
    case 2:
      return !isListed(ip);
    default:
      return true;
  }
}

}  // namespace orv::server
