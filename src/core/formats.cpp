#include "core/formats.h"

#include "core/language.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <utility>

namespace orv::core {
namespace {

// Rounds to the given number of decimals, halves to the even neighbour.
double roundHalfEven(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::nearbyint(value * scale) / scale;
}

QString localNumber(double value) {
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
  return locale.toString(value, 'f', QLocale::FloatingPointShortest);
}

QString withUnit(double value, QStringView unitName) {
  return localNumber(value) + QLatin1Char(' ') + gLanguage.text(unitName);
}

// A page writes one date per item: this runs tens of thousands of times a page, where
// QString::arg would parse its pattern each time.
QString twoDigits(qint64 value) {
  if (value >= 0 && value < 100) {
    const char16_t digits[2] = {static_cast<char16_t>(u'0' + value / 10), static_cast<char16_t>(u'0' + value % 10)};
    return QString(reinterpret_cast<const QChar*>(digits), 2);
  }
  return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QStringView trimBlanks(QStringView text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text.at(first) == QLatin1Char(' ')) {
    ++first;
  }
  while (last > first && text.at(last - 1) == QLatin1Char(' ')) {
    --last;
  }
  return text.sliced(first, last - first);
}

constexpr double kKilobyte = 1024.0;
constexpr double kMegabyte = kKilobyte * 1024.0;
constexpr double kGigabyte = kMegabyte * 1024.0;
constexpr double kTerabyte = kGigabyte * 1024.0;
// Where the sizes stop being shown; just below 1024^5.
constexpr double kLargestShownSize = 1125899906842620.0;

}  // namespace

QString fnctFormatSize(double size) {
  if (size < kKilobyte) {
    return withUnit(size, size <= 1 ? u"HTLM/OTHER/BYTE" : u"HTLM/OTHER/BYTES");
  }
  if (size < kMegabyte) {
    return withUnit(roundHalfEven(size / kKilobyte, 0), u"HTLM/OTHER/KILOBYTE");
  }
  if (size < kGigabyte) {
    return withUnit(roundHalfEven(size / kMegabyte, 2), u"HTLM/OTHER/MEGABYTE");
  }
  if (size < kTerabyte) {
    return withUnit(roundHalfEven(size / kGigabyte, 2), u"HTLM/OTHER/GIGABYTE");
  }
  if (size < kLargestShownSize) {
    return withUnit(roundHalfEven(size / kTerabyte, 2), u"HTLM/OTHER/TERABYTE");
  }
  return {};
}

QString fnctFormatDate(const QDateTime& moment) {
  const QDate date = moment.date();
  const QTime time = moment.time();
  // The history and the upload lists note two or three events of each file sent, nearly
  // always in the same second: the text of the last second written is handed out again.
  struct LastText {
    qint64 day = 0;
    int second = -1;
    QString text;
  };
  thread_local LastText last;
  const qint64 day = date.toJulianDay();
  const int second = time.isValid() ? time.msecsSinceStartOfDay() / 1000 : -1;
  if (date.isValid() && second >= 0 && day == last.day && second == last.second) {
    return last.text;
  }
  // Written into place: a page formats one date per item, every file sent two or three.
  char year[16];
  const char* const yearEnd = std::to_chars(year, year + sizeof year, date.year()).ptr;
  const qsizetype yearSize = yearEnd - year;
  QString text(yearSize + 15, Qt::Uninitialized);
  char16_t* out = reinterpret_cast<char16_t*>(text.data());
  out = std::copy(static_cast<const char*>(year), yearEnd, out);
  for (const auto& [separator, value] :
       {std::pair{u'/', date.month()}, std::pair{u'/', date.day()}, std::pair{u' ', time.hour()},
        std::pair{u':', time.minute()}, std::pair{u':', time.second()}}) {
    *out++ = separator;
    *out++ = static_cast<char16_t>(u'0' + value / 10);
    *out++ = static_cast<char16_t>(u'0' + value % 10);
  }
  if (date.isValid() && second >= 0) {
    last = {day, second, text};
  }
  return text;
}

QString fnctFormatDuration(double seconds) {
  // Rounding the whole duration first lets 59.6 seconds carry into the minutes.
  constexpr double kLongest = 1e15;
  const double rounded = std::isfinite(seconds) && seconds > 0 ? std::nearbyint(std::min(seconds, kLongest)) : 0.0;
  const auto total = static_cast<qint64>(rounded);
  const qint64 hours = total / 3600;
  const qint64 minutes = total % 3600 / 60;
  const qint64 rest = total % 60;
  QString text;
  if (hours > 0) {
    text = twoDigits(hours) + QLatin1Char(':');
  }
  return text + twoDigits(minutes) + QLatin1Char(':') + twoDigits(rest);
}

QString fnctWrapText(const QString& text, int maxLineLength, int maxLines, const QString& separator) {
  const qsizetype lineLength = std::max(maxLineLength, 0);
  if (text.size() <= lineLength) {
    return trimBlanks(text).toString();
  }
  const QChar ellipsis(0x2026);
  const QStringView all(text);
  QString wrapped;
  qsizetype p = 0;
  for (int line = 1; line <= maxLines; ++line) {
    const QStringView piece = all.mid(p, lineLength + 1);
    const qsizetype blank = piece.lastIndexOf(QLatin1Char(' '));
    QStringView current;
    if (blank >= 0) {
      current = trimBlanks(piece.first(blank + 1));
      p += blank + 1;
    } else {
      const QStringView rest = all.mid(p);
      if (rest.size() > lineLength) {
        return wrapped + rest.first(lineLength).toString() + ellipsis;
      }
      current = trimBlanks(rest);
      p = text.size();
    }
    if (current.size() > lineLength) {
      return wrapped + current.first(lineLength).toString() + ellipsis;
    }
    wrapped += current;
    if (p < text.size()) {
      if (line < maxLines) {
        wrapped += separator;
      } else {
        wrapped += ellipsis;
      }
    }
  }
  return wrapped;
}

QString fnctBoolToString(bool value) {
  return value ? QStringLiteral("true") : QStringLiteral("false");
}

bool isValidBoolString(const QString& text) {
  return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
         text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
}

std::optional<quint32> ipAddressValue(QStringView text) {
  // Every connection is checked against the address filter: read in one pass, no list.
  quint32 address = 0;
  int parts = 0;
  qsizetype i = 0;
  for (;;) {
    const qsizetype start = i;
    uint value = 0;
    while (i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
      value = std::min<uint>(value * 10 + (text[i].unicode() - u'0'), 256);
      ++i;
    }
    if (i == start || value > 255) {
      return std::nullopt;
    }
    address = (address << 8) | value;
    ++parts;
    if (i == text.size()) {
      break;
    }
    if (text[i] != QLatin1Char('.') || parts == 4) {
      return std::nullopt;
    }
    ++i;
  }
  return parts == 4 ? std::optional<quint32>(address) : std::nullopt;
}

bool isValidIpAddress(const QString& text) {
  return ipAddressValue(text).has_value();
}

}  // namespace orv::core
