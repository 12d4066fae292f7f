#pragma once

#include <QDateTime>

#include <optional>

// The one source of "now" for the system, so that tests of dates, ban lengths and cache
// staleness set the time instead of waiting for it.
//
// Local times carry the offset from UTC of their moment rather than a pointer to the time
// zone: reading the zone costs a look at the time-zone file, and the server asks for local
// time several times per request. The zone is read at most once a second, so a change of
// zone or of daylight-saving time shows within about a second.
namespace orv::platform {

QDateTime currentDateTime();  // local time
// The same moment in UTC, without the look at the time zone that local time costs.
QDateTime currentDateTimeUtc();

// The moment (whole seconds since 1970 in UTC, or a date-time of any kind) in local time,
// by the zone as it was read within the last second.
QDateTime localDateTimeFromSecs(qint64 secondsSinceEpoch);
QDateTime toLocalDateTime(const QDateTime& moment);

// Fixes the clock at the given moment until clearFixedDateTime is called.
void setFixedDateTime(const QDateTime& moment);
void clearFixedDateTime();

}  // namespace orv::platform
