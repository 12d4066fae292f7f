#include "server/http_dates.h"

#include "support/qt_printers.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using orv::server::getGmtDate;
using orv::server::getRFC1123DateFormat;
using orv::server::getStandardDateFormat;

QDateTime utc(int year, int month, int day, int hour, int minute, int second) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

TEST(HttpDates, ReadsRfc1123DatesAndRefusesEveryOtherShape) {
  struct Case {
    const char* text;
    QDateTime expected;  // null: the zero date
  };
  const QDateTime nov6 = utc(1994, 11, 6, 8, 49, 37);
  const Case cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", nov6},
      {"sun, 6 nov 1994 8:49:37 gmt", nov6},
      {"Mon, 06 NOV 1994 08:49:37 UTC", nov6},  // week day and zone are not looked at
      {"Tue, 29 Feb 2000 23:59:59 GMT", utc(2000, 2, 29, 23, 59, 59)},
      {"Sun, 06 Nov 94 08:49:37 GMT", nov6},  // two-digit years: 1970 to 2069
      {"Thu, 06 Nov 69 08:49:37 GMT", utc(2069, 11, 6, 8, 49, 37)},
      {"Thu, 01 Jan 70 00:00:00 GMT", utc(1970, 1, 1, 0, 0, 0)},
      {"Sunday, 06-Nov-94 08:49:37 GMT", {}},  // RFC 850: five parts
      {"Sun Nov  6 08:49:37 1994", {}},        // asctime: the month in the day's place
      {"Sun,  06 Nov 1994 08:49:37 GMT", {}},  // two blanks
      {"Sun, 06 Nov 1994 08:49:37  GMT", {}},
      {" Sun, 06 Nov 1994 08:49:37", {}},
      {"Sun, 06 Foo 1994 08:49:37 GMT", {}},
      {"Sun, 06 November 1994 08:49:37 GMT", {}},
      {"Sun, 06 Nov 1994 08:49 GMT", {}},
      {"Sun, 06 Nov 1994 08:49:37:00 GMT", {}},
      {"Sun, 31 Feb 1994 08:49:37 GMT", {}},
      {"Sun, 00 Nov 1994 08:49:37 GMT", {}},
      {"Sun, 123 Nov 1994 08:49:37 GMT", {}},
      {"Sun, 06 Nov 994 08:49:37 GMT", {}},
      {"Sun, 06 Nov 19945 08:49:37 GMT", {}},
      {"Sun, 06 Nov 0000 08:49:37 GMT", {}},
      {"Sun, 06 Nov 1994 24:00:00 GMT", {}},
      {"Sun, 06 Nov 1994 08:60:00 GMT", {}},
      {"Sun, 06 Nov 1994 08:49:60 GMT", {}},
      {"Sun, 06 Nov 1994 -8:49:37 GMT", {}},
      {"Sun, +6 Nov 1994 08:49:37 GMT", {}},
      {"Sun, 06 Nov 1994 08:4 9:37 GMT", {}},
      {"", {}},
      {"     ", {}},
  };
  for (const Case& c : cases) {
    const QDateTime read = getStandardDateFormat(c.text);
    EXPECT_EQ(read, c.expected) << c.text << " read as " << read.toString(Qt::ISODate).toStdString();
    if (read.isValid()) {
      EXPECT_EQ(read.timeSpec(), Qt::UTC) << c.text;
    }
  }
}

TEST(HttpDates, WritesRfc1123Dates) {
  struct Case {
    QDateTime moment;
    const char* text;
  };
  const Case cases[] = {
      {utc(1994, 11, 6, 8, 49, 37), "Sun, 6 Nov 1994 08:49:37 GMT"},
      {utc(2007, 1, 1, 0, 0, 5), "Mon, 1 Jan 2007 00:00:05 GMT"},
      {utc(2024, 2, 29, 23, 59, 59), "Thu, 29 Feb 2024 23:59:59 GMT"},
      {utc(2023, 12, 16, 12, 0, 0), "Sat, 16 Dec 2023 12:00:00 GMT"},
      {utc(2023, 5, 31, 7, 8, 9), "Wed, 31 May 2023 07:08:09 GMT"},
      {utc(997, 11, 6, 8, 49, 37), "Mon, 6 Nov 0997 08:49:37 GMT"},  // reads back as the same year
      // The text always shows the UTC time, whatever zone the value carries.
      {QDateTime(QDate(2023, 7, 1), QTime(12, 0), QTimeZone("Europe/Paris")), "Sat, 1 Jul 2023 10:00:00 GMT"},
      // Days and years of every width.
      {utc(2023, 6, 9, 23, 59, 59), "Fri, 9 Jun 2023 23:59:59 GMT"},
      {utc(2023, 6, 10, 0, 0, 0), "Sat, 10 Jun 2023 00:00:00 GMT"},
      {utc(1970, 1, 1, 0, 0, 0), "Thu, 1 Jan 1970 00:00:00 GMT"},
      {utc(1, 1, 1, 1, 2, 3), "Mon, 1 Jan 0001 01:02:03 GMT"},
      {utc(9999, 12, 31, 23, 59, 59), "Fri, 31 Dec 9999 23:59:59 GMT"},
      {utc(10000, 1, 1, 0, 0, 0), "Sat, 1 Jan 10000 00:00:00 GMT"},
      {QDateTime(), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getRFC1123DateFormat(c.moment), QByteArray(c.text));
  }
}

TEST(HttpDates, WritesEveryDayFromYearOneTo9999AsQDateCountsIt) {
  const char* const weekDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const qint64 first = QDate(1, 1, 1).toJulianDay();
  const qint64 last = QDate(9999, 12, 31).toJulianDay();
  int step = 0;
  for (qint64 day = first; day <= last; day += 97, ++step) {
    // Times across the day, with milliseconds that the text drops.
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>((step * 7919L * 1000 + step) % 86400000));
    const QDateTime moment(QDate::fromJulianDay(day), time, Qt::UTC);
    const QByteArray text = getRFC1123DateFormat(moment);
    ASSERT_EQ(getStandardDateFormat(text), moment.addMSecs(-time.msec())) << text.constData();
    ASSERT_TRUE(text.startsWith(weekDays[moment.date().dayOfWeek() % 7])) << text.constData();
  }
  EXPECT_EQ(getRFC1123DateFormat(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)),
            QByteArray("Fri, 31 Dec 9999 23:59:59 GMT"));
  EXPECT_EQ(getRFC1123DateFormat(QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)),
            QByteArray("Wed, 31 Dec 1969 23:59:59 GMT"));
}

// The texts of recent seconds are kept: asked again, in any order, among more seconds than
// are kept, and with other milliseconds or zones of the same second, each date still gets
// its own text.
TEST(HttpDates, WritesTheSameTextForASecondAskedAgain) {
  const QDateTime base = utc(2026, 12, 11, 23, 59, 58);
  const QByteArray expected[] = {"Fri, 11 Dec 2026 23:59:58 GMT", "Fri, 11 Dec 2026 23:59:59 GMT",
                                 "Sat, 12 Dec 2026 00:00:00 GMT", "Sat, 12 Dec 2026 00:00:01 GMT",
                                 "Sat, 12 Dec 2026 00:00:02 GMT", "Sat, 12 Dec 2026 00:00:03 GMT"};
  for (const int order : {0, 1, 0, 2, 3, 4, 5, 0, 5, 1, 1, 4, 2, 0}) {
    const QDateTime moment = base.addSecs(order).addMSecs(order * 137 % 1000);
    EXPECT_EQ(getRFC1123DateFormat(moment), expected[order]);
    EXPECT_EQ(getRFC1123DateFormat(moment.toOffsetFromUtc(3600)), expected[order]);
  }
  EXPECT_EQ(getRFC1123DateFormat(QDateTime()), QByteArray());
  EXPECT_EQ(getRFC1123DateFormat(QDateTime::fromSecsSinceEpoch(0, Qt::UTC)),
            QByteArray("Thu, 1 Jan 1970 00:00:00 GMT"));
}

TEST(HttpDates, AWrittenDateReadsBackAsTheSameMoment) {
  const QDateTime moment = utc(2031, 3, 9, 4, 5, 6);
  EXPECT_EQ(getStandardDateFormat(getRFC1123DateFormat(moment)), moment);
}

TEST(HttpDates, ConvertsLocalTimeWithTheOffsetOfItsOwnDate) {
  const QTimeZone paris("Europe/Paris");
  ASSERT_TRUE(paris.isValid());
  // Summer time (UTC+2) and winter time (UTC+1), whatever the season of the conversion.
  EXPECT_EQ(getGmtDate(QDateTime(QDate(2023, 7, 1), QTime(12, 0), paris)), utc(2023, 7, 1, 10, 0, 0));
  EXPECT_EQ(getGmtDate(QDateTime(QDate(2023, 1, 15), QTime(12, 0), paris)), utc(2023, 1, 15, 11, 0, 0));
  EXPECT_EQ(getGmtDate(QDateTime(QDate(2023, 1, 15), QTime(0, 30), paris)), utc(2023, 1, 14, 23, 30, 0));
  EXPECT_EQ(getGmtDate(utc(2023, 7, 1, 12, 0, 0)), utc(2023, 7, 1, 12, 0, 0));
  EXPECT_EQ(getGmtDate(utc(2023, 7, 1, 12, 0, 0)).timeSpec(), Qt::UTC);
  EXPECT_FALSE(getGmtDate(QDateTime()).isValid());
}

}  // namespace
