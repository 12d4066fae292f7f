#include "editors/config_numbers.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace orv::editors {

std::optional<double> fnctReadNumber(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) {
    return std::nullopt;
  }
  for (const QLocale& locale : {QLocale::system(), QLocale::c()}) {
    bool ok = false;
    const double value = locale.toDouble(trimmed, &ok);
    if (ok) {
      if (!std::isfinite(value)) {
        return std::nullopt;
      }
      return value;
    }
  }
  return std::nullopt;
}

std::optional<int> fnctReadLong(const QString& text) {
  const std::optional<double> number = fnctReadNumber(text);
  if (!number) {
    return std::nullopt;
  }
  const double whole = std::nearbyint(*number);
  if (whole < std::numeric_limits<qint32>::min() || whole > std::numeric_limits<qint32>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(whole);
}

}  // namespace orv::editors
