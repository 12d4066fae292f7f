#include "platform/clock.h"

namespace orv::platform {
namespace {

std::optional<QDateTime>& fixedMoment() {
  static std::optional<QDateTime> moment;
  return moment;
}

}  // namespace

QDateTime currentDateTime() {
  return fixedMoment() ? *fixedMoment() : QDateTime::currentDateTime();
}

QDateTime currentDateTimeUtc() {
  return fixedMoment() ? fixedMoment()->toUTC() : QDateTime::currentDateTimeUtc();
}

void setFixedDateTime(const QDateTime& moment) {
  fixedMoment() = moment;
}

void clearFixedDateTime() {
  fixedMoment().reset();
}

}  // namespace orv::platform
