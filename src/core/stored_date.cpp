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

namespace {

// The number of the digits of text at [from, from + count), or -1 when one is no digit.
int digitsAt(QStringView text, qsizetype from, qsizetype count) {
  int value = 0;
  for (qsizetype i = from; i < from + count; ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') {
      return -1;
    }
    value = value * 10 + (c - u'0');
  }
  return value;
}

// "yyyy/MM/dd HH:mm:ss" read by position: the date and the time each valid on its own.
bool isOwnForm(QStringView text) {
  static constexpr QStringView kShape = u"0000/00/00 00:00:00";
  if (text.size() != kShape.size()) {
    return false;
  }
  for (qsizetype i = 0; i < kShape.size(); ++i) {
    if (kShape[i] != u'0' && text[i] != kShape[i]) {
      return false;
    }
  }
  const int year = digitsAt(text, 0, 4);
  const int month = digitsAt(text, 5, 2);
  const int day = digitsAt(text, 8, 2);
  const int hour = digitsAt(text, 11, 2);
  const int minute = digitsAt(text, 14, 2);
  const int second = digitsAt(text, 17, 2);
  return year >= 0 && month >= 0 && day >= 0 && QDate::isValid(year, month, day) &&
         QTime::isValid(hour, minute, second);
}

}  // namespace

bool isStoredDate(const QString& text) {
  const QString trimmed = text.trimmed();
  return isOwnForm(trimmed) || parseStoredDate(trimmed).isValid();
}

}  // namespace orv::core
