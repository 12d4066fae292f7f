#include "server/response_values.h"

#include "core/app_info.h"
#include "core/configuration.h"

#include <charconv>
#include <cmath>

namespace orv::server {
namespace {

// Whole numbers without a fraction, others with their decimals ("15", "0.5").
void appendDecimal(QByteArray& text, double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, static_cast<qint64>(value)).ptr;
    text.append(digits, end - digits);
    return;
  }
  text.append(QByteArray::number(value, 'g', 15));
}

}  // namespace

QByteArray fnctServerHeaderValue() {
  // The title and the version are fixed for the run: the text is made once.
  static const QByteArray value = (core::applicationTitle() + QLatin1Char(' ') + core::displayVersion()).toUtf8();
  return value;
}

bool isKeepAliveGranted(const clsHttpRequest& request, int servedRequestCount) {
  return request.getClientConnection().compare("Keep-Alive", Qt::CaseInsensitive) == 0 &&
         core::gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_MAX > servedRequestCount;
}

QByteArray fnctKeepAliveValue(int servedRequestCount) {
  const core::tAdvancedParameters& tuning = core::gConfiguration.AdvancedParameters;
  // Every kept response carries it: built in one buffer.
  QByteArray value;
  value.reserve(40);
  value.append("timeout=");
  appendDecimal(value, tuning.HTTP_KEEP_ALIVE_TIMEOUT);
  value.append(", max=");
  appendDecimal(value, tuning.HTTP_KEEP_ALIVE_MAX - servedRequestCount);
  return value;
}

}  // namespace orv::server
