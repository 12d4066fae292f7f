#include "server/http_dates.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <array>
#include <optional>

namespace orv::server {
namespace {

constexpr std::array<const char*, 7> kWeekDays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The value of a field of digits whose count is one of the allowed ones.
std::optional<int> digitsValue(QByteArrayView text, qsizetype minDigits, qsizetype maxDigits) {
  if (text.size() < minDigits || text.size() > maxDigits) {
    return std::nullopt;
  }
  int value = 0;
  for (const char c : text) {
    if (!isDigit(c)) {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<int> monthNumber(QByteArrayView name) {
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (name.compare(QByteArrayView(kMonths[i]), Qt::CaseInsensitive) == 0) {
      return static_cast<int>(i) + 1;
    }
  }
  return std::nullopt;
}

// Four digits are the year itself; two digits name a year from 1970 to 2069, the window
// that RFC 6265 section 5.1.1 uses for the two-digit years of old clients.
std::optional<int> yearValue(QByteArrayView text) {
  if (text.size() == 4) {
    return digitsValue(text, 4, 4);
  }
  const std::optional<int> shortYear = digitsValue(text, 2, 2);
  if (!shortYear) {
    return std::nullopt;
  }
  return *shortYear + (*shortYear >= 70 ? 1900 : 2000);
}

// The text split at every single blank: two blanks in a row give an empty part.
QList<QByteArrayView> splitAt(QByteArrayView text, char separator) {
  QList<QByteArrayView> parts;
  qsizetype start = 0;
  for (qsizetype i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      parts.append(text.sliced(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

QByteArray twoDigits(int value) {
  return QByteArray::number(value).rightJustified(2, '0');
}

qint64 floorDivision(qint64 value, qint64 divisor) {
  return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

struct CivilDate {
  qint64 year;
  int month;
  int day;
};

// The Gregorian date of a day counted from 1970-01-01 (H. Hinnant's days_from_civil
// inverted): every head carries a date or three, and asking QDate for each field of it
// converts the day again and again.
CivilDate civilDateOf(qint64 days) {
  days += 719468;
  const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
  const qint64 dayOfEra = days - era * 146097;
  const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Every head carries the date of the current second and the file's own date, most of them
// the same as those of the head before: the texts of the last few seconds asked for are
// kept, so that each is written once.
class RecentDateTexts {
 public:
  const QByteArray* find(qint64 seconds) const {
    for (const Entry& entry : entries_) {
      if (entry.seconds == seconds && !entry.text.isEmpty()) {
        return &entry.text;
      }
    }
    return nullptr;
  }
  void keep(qint64 seconds, const QByteArray& text) {
    entries_[next_] = {seconds, text};
    next_ = (next_ + 1) % entries_.size();
  }

 private:
  struct Entry {
    qint64 seconds = 0;
    QByteArray text;
  };
  std::array<Entry, 4> entries_;
  std::size_t next_ = 0;
};

QByteArray formatDate(qint64 seconds, const QDateTime& RFC1123DateFormat);

}  // namespace

QDateTime getGmtDate(const QDateTime& gmtDate) {
  return gmtDate.toUTC();
}

QByteArray getRFC1123DateFormat(const QDateTime& RFC1123DateFormat) {
  if (!RFC1123DateFormat.isValid()) {
    return {};
  }
  const qint64 seconds = floorDivision(RFC1123DateFormat.toMSecsSinceEpoch(), 1000);
  thread_local RecentDateTexts recent;
  if (const QByteArray* text = recent.find(seconds)) {
    return *text;
  }
  QByteArray text = formatDate(seconds, RFC1123DateFormat);
  recent.keep(seconds, text);
  return text;
}

namespace {

QByteArray formatDate(qint64 seconds, const QDateTime& RFC1123DateFormat) {
  const qint64 days = floorDivision(seconds, 86400);
  const CivilDate civil = civilDateOf(days);
  // Years from 1 to 9999, those of every file and clock: written into place, with the same
  // digits as below. The others (QDate has no year 0) go through QDate.
  if (civil.year >= 1 && civil.year <= 9999) {
    const int year = static_cast<int>(civil.year);
    const int month = civil.month;
    const int day = civil.day;
    const int secondOfDay = static_cast<int>(seconds - days * 86400);
    char text[32];
    char* out = text;
    const auto put = [&out](const char* part, qsizetype length) {
      std::copy(part, part + length, out);
      out += length;
    };
    const auto digits = [&out](int value, int width) {
      for (int place = width - 1; place >= 0; --place) {
        out[place] = static_cast<char>('0' + value % 10);
        value /= 10;
      }
      out += width;
    };
    // 1970-01-01 was a Thursday.
    put(kWeekDays[static_cast<std::size_t>((days % 7 + 7 + 4) % 7)], 3);
    put(", ", 2);
    digits(day, day < 10 ? 1 : 2);
    *out++ = ' ';
    put(kMonths[static_cast<std::size_t>(month - 1)], 3);
    *out++ = ' ';
    digits(year, 4);
    *out++ = ' ';
    digits(secondOfDay / 3600, 2);
    *out++ = ':';
    digits(secondOfDay / 60 % 60, 2);
    *out++ = ':';
    digits(secondOfDay % 60, 2);
    put(" GMT", 4);
    return QByteArray(text, out - text);
  }
  const QDateTime utc = RFC1123DateFormat.toUTC();
  const QDate date = utc.date();
  const QTime time = utc.time();
  QByteArray text;
  text += kWeekDays[static_cast<std::size_t>(date.dayOfWeek() % 7)];
  text += ", ";
  text += QByteArray::number(date.day());
  text += ' ';
  text += kMonths[static_cast<std::size_t>(date.month() - 1)];
  text += ' ';
  text += QByteArray::number(date.year()).rightJustified(4, '0');
  text += ' ';
  text += twoDigits(time.hour()) + ':' + twoDigits(time.minute()) + ':' + twoDigits(time.second());
  text += " GMT";
  return text;
}

}  // namespace

QDateTime getStandardDateFormat(QByteArrayView StandardDateFormat) {
  // Most requests carry none of the four date headers.
  if (StandardDateFormat.isEmpty()) {
    return {};
  }
  const QList<QByteArrayView> parts = splitAt(StandardDateFormat, ' ');
  if (parts.size() != 6) {
    return {};
  }
  const QList<QByteArrayView> clock = splitAt(parts[4], ':');
  if (clock.size() != 3) {
    return {};
  }
  const std::optional<int> day = digitsValue(parts[1], 1, 2);
  const std::optional<int> month = monthNumber(parts[2]);
  const std::optional<int> year = yearValue(parts[3]);
  const std::optional<int> hour = digitsValue(clock[0], 1, 2);
  const std::optional<int> minute = digitsValue(clock[1], 1, 2);
  const std::optional<int> second = digitsValue(clock[2], 1, 2);
  if (!day || !month || !year || !hour || !minute || !second) {
    return {};
  }
  const QDate date(*year, *month, *day);
  const QTime time(*hour, *minute, *second);
  if (!date.isValid() || !time.isValid()) {
    return {};
  }
  return QDateTime(date, time, Qt::UTC);
}

}  // namespace orv::server
