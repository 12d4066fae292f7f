#pragma once

#include "core/configuration.h"

#include <QString>
#include <QStringList>

#include <optional>

// The settings of the IP filters category: the list of client addresses and the method
// that admits or refuses them.
namespace orv::editors {

// The address in the form the server compares it with a client's: four parts of 1 to 3
// decimal digits (0 to 9 only) from 0 to 255, joined by "." and written without leading
// zeros ("010.0.0.001" gives "10.0.0.1"). Nothing for any other text: a blank anywhere, a
// sign, an exponent, an empty part, a host name, an IPv6 address.
std::optional<QString> fnctCanonicalIpAddress(const QString& text);

// What the category's list and options hold.
struct IpFilterFields {
  QStringList addresses;    // in list order
  bool allowExcept = true;  // optAllowExcept selected; otherwise optDenyExcept
};

// The fields as the form shows the stored filter, each address in its canonical form
// where it has one.
IpFilterFields fnctIpFilterFields(const core::tConfIpFilters& filters);

// True when the filter would refuse every client, this machine included: "Deny" with an
// empty list. Save asks before it stores such a filter.
bool isRefusingEveryone(const IpFilterFields& fields);

// The question Save asks then; the option's own text names the method.
QString fnctRefuseEveryoneQuestion();

// Save: the method (2 for "Allow", 1 for "Deny") and the addresses, in list order.
void subStoreIpFilters(const IpFilterFields& fields, core::tConfIpFilters& filters);

}  // namespace orv::editors
