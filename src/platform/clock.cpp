#include "platform/clock.h"

#include <ctime>
#include <limits>

namespace orv::platform {
namespace {

std::optional<QDateTime>& fixedMoment() {
  static std::optional<QDateTime> moment;
  return moment;
}

qint64 floorDivision(qint64 value, qint64 divisor) {
  return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

// The offset of local time from UTC at the moment, by the zone as last read.
int localOffsetAt(qint64 secondsSinceEpoch) {
  const std::time_t moment = static_cast<std::time_t>(secondsSinceEpoch);
  struct tm local {};
  // localtime_r, unlike localtime, does not look at the time-zone file again.
  if (::localtime_r(&moment, &local) == nullptr) {
    return 0;
  }
  return static_cast<int>(local.tm_gmtoff);
}

// The second the zone was last read in, and the offset of local time in that second.
struct ZoneReading {
  qint64 second = std::numeric_limits<qint64>::min();
  int offset = 0;
};

ZoneReading& zoneReading() {
  static ZoneReading reading;
  return reading;
}

// The offset of local time now (second: the current second since 1970), reading the zone
// again when the second is another than at the last reading.
int currentOffset(qint64 second) {
  ZoneReading& reading = zoneReading();
  if (reading.second != second) {
    // Takes in a changed TZ variable or time-zone file.
    ::tzset();
    reading.offset = localOffsetAt(second);
    reading.second = second;
  }
  return reading.offset;
}

QDateTime withOffset(qint64 msecsSinceEpoch, int offset) {
  return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::OffsetFromUTC, offset);
}

}  // namespace

QDateTime currentDateTime() {
  if (fixedMoment()) {
    return *fixedMoment();
  }
  const qint64 msecs = QDateTime::currentMSecsSinceEpoch();
  return withOffset(msecs, currentOffset(floorDivision(msecs, 1000)));
}

QDateTime currentDateTimeUtc() {
  return fixedMoment() ? fixedMoment()->toUTC() : QDateTime::currentDateTimeUtc();
}

QDateTime localDateTimeFromSecs(qint64 secondsSinceEpoch) {
  // The zone is read at most once a second, whichever moment is converted.
  currentOffset(floorDivision(QDateTime::currentMSecsSinceEpoch(), 1000));
  return withOffset(secondsSinceEpoch * 1000, localOffsetAt(secondsSinceEpoch));
}

QDateTime toLocalDateTime(const QDateTime& moment) {
  if (!moment.isValid()) {
    return moment;
  }
  const qint64 msecs = moment.toMSecsSinceEpoch();
  currentOffset(floorDivision(QDateTime::currentMSecsSinceEpoch(), 1000));
  return withOffset(msecs, localOffsetAt(floorDivision(msecs, 1000)));
}

void setFixedDateTime(const QDateTime& moment) {
  fixedMoment() = moment;
}

void clearFixedDateTime() {
  fixedMoment().reset();
}

}  // namespace orv::platform
