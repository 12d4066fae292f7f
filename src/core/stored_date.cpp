#include "core/stored_date.h"

#include <QLocale>

namespace orv::core {

QDateTime parseStoredDate(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) {
    return {};
  }
  QDateTime date = QDateTime::fromString(trimmed, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
  if (date.isValid()) {
    return date;
  }
  date = QDateTime::fromString(trimmed, Qt::ISODate);
  if (date.isValid()) {
    return date.toLocalTime();
  }
  const QLocale locale = QLocale::system();
  for (const QLocale::FormatType format : {QLocale::ShortFormat, QLocale::LongFormat}) {
    date = locale.toDateTime(trimmed, format);
    if (date.isValid()) {
      return date;
    }
  }
  return {};
}

}  // namespace orv::core
