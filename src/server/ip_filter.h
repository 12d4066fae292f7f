#pragma once

#include <QString>

// The IP filter that new connections pass before they are accepted (gConfiguration.IpFilters).
namespace orv::server {

// Method 1 lets only the listed addresses in, method 2 every address but the listed ones, any
// other method every address. An address is listed when an entry names the same IPv4 address:
// "192.168.000.002" in the list names 192.168.0.2, as the address editor reads its four
// decimal numbers; a text that is no IPv4 address is compared as text, ignoring case.
bool isIpAllowed(const QString& ip);

}  // namespace orv::server
