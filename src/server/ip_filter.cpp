#include "server/ip_filter.h"

#include "core/configuration.h"
#include "core/formats.h"

#include <optional>

namespace orv::server {
namespace {

bool isSameAddress(const QString& listed, const QString& ip, std::optional<quint32> ipValue) {
  if (listed.isEmpty()) {
    return false;
  }
  if (ipValue) {
    if (const std::optional<quint32> listedValue = core::ipAddressValue(listed)) {
      return *listedValue == *ipValue;
    }
  }
  return listed.compare(ip, Qt::CaseInsensitive) == 0;
}

bool isListed(const QString& ip) {
  const std::optional<quint32> ipValue = core::ipAddressValue(ip);
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
