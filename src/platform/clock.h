#pragma once

#include <QDateTime>

#include <optional>

// The one source of "now" for the system, so that tests of dates, ban lengths and cache
// staleness set the time instead of waiting for it.
namespace orv::platform {

QDateTime currentDateTime();  // local time
// The same moment in UTC, without the look at the time zone that local time costs.
QDateTime currentDateTimeUtc();

// Fixes the clock at the given moment until clearFixedDateTime is called.
void setFixedDateTime(const QDateTime& moment);
void clearFixedDateTime();

}  // namespace orv::platform
