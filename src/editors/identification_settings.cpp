#include "editors/identification_settings.h"

#include "editors/config_numbers.h"

namespace orv::editors {

namespace {

constexpr int kNeverBan = -1;
constexpr int kLongestBan = 86400;  // one day, in seconds

}  // namespace

IdentificationFields fnctIdentificationFields(const core::tConfProtocol& protocol) {
  return {QString::number(protocol.MAX_IDENTIFICATION_ERROR), QString::number(protocol.BAN_DURATION),
          protocol.IDENTIFICATION_METHOD == 2};
}

std::optional<int> fnctCheckMaxIdentificationErrors(const QString& text) {
  const std::optional<int> value = fnctReadLong(text);
  if (!value || (*value != kNeverBan && *value < 1)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> fnctCheckBanDuration(const QString& text) {
  const std::optional<int> value = fnctReadLong(text);
  if (!value || *value < 1 || *value > kLongestBan) {
    return std::nullopt;
  }
  return value;
}

QString fnctCheckedMaxIdentificationErrorsText(const QString& text, const core::tConfProtocol& protocol) {
  return fnctCheckMaxIdentificationErrors(text) ? text : QString::number(protocol.MAX_IDENTIFICATION_ERROR);
}

QString fnctCheckedBanDurationText(const QString& text, const core::tConfProtocol& protocol) {
  return fnctCheckBanDuration(text) ? text : QString::number(protocol.BAN_DURATION);
}

void subStoreIdentification(const IdentificationFields& fields, core::tConfProtocol& protocol) {
  if (const std::optional<int> limit = fnctCheckMaxIdentificationErrors(fields.maxIdentificationErrors)) {
    protocol.MAX_IDENTIFICATION_ERROR = *limit;
  }
  if (const std::optional<int> duration = fnctCheckBanDuration(fields.banDuration)) {
    protocol.BAN_DURATION = *duration;
  }
  protocol.IDENTIFICATION_METHOD = fields.htmlForm ? 2 : 1;
}

}  // namespace orv::editors
