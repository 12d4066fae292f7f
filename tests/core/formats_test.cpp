#include "core/formats.h"

#include "core/language.h"
#include "support/qt_printers.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace orv::core;

// Unit words of our own and a fixed locale, so no answer depends on the machine.
class FormatSize : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = gLanguage;
    gLanguage.setText(u"HTLM/OTHER/BYTE", QStringLiteral("byte"));
    gLanguage.setText(u"HTLM/OTHER/BYTES", QStringLiteral("bytes"));
    gLanguage.setText(u"HTLM/OTHER/KILOBYTE", QStringLiteral("KB"));
    gLanguage.setText(u"HTLM/OTHER/MEGABYTE", QStringLiteral("MB"));
    gLanguage.setText(u"HTLM/OTHER/GIGABYTE", QStringLiteral("GB"));
    gLanguage.setText(u"HTLM/OTHER/TERABYTE", QStringLiteral("TB"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  }
  void TearDown() override {
    gLanguage = saved_;
    QLocale::setDefault(QLocale::system());
  }

  tLanguage saved_;
};

TEST_F(FormatSize, ChoosesTheUnitAndRoundsHalvesToEven) {
  const struct {
    double size;
    const char* expected;
  } cases[] = {
      {0, "0 byte"},
      {1, "1 byte"},
      {2, "2 bytes"},
      {1023, "1023 bytes"},  // no group separator
      {1024, "1 KB"},
      {1536, "2 KB"},
      {2560, "2 KB"},  // 2.5 goes to the even 2
      {3584, "4 KB"},  // 3.5 goes to the even 4
      {1048576, "1 MB"},
      {1572864, "1.5 MB"},
      {1179648, "1.12 MB"},  // 1.125
      {1441792, "1.38 MB"},  // 1.375
      {1073741824, "1 GB"},
      {1099511627776, "1 TB"},
      {1125899906842619, "1024 TB"},
      {1125899906842620, ""},
      {1e300, ""},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctFormatSize(row.size), QLatin1String(row.expected)) << row.size;
  }
}

TEST_F(FormatSize, WritesTheNumberInTheLocale) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(fnctFormatSize(1572864), QStringLiteral("1,5 MB"));
  EXPECT_EQ(fnctFormatSize(1023), QStringLiteral("1023 bytes"));
  QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
  EXPECT_EQ(fnctFormatSize(1023), QStringLiteral("1023 bytes"));
  EXPECT_EQ(fnctFormatSize(1179648), QStringLiteral("1,12 MB"));
}

TEST(FormatDate, WritesTwoDigitFieldsAndTheWholeYear) {
  EXPECT_EQ(fnctFormatDate(QDateTime(QDate(2006, 3, 7), QTime(4, 5, 9))), QStringLiteral("2006/03/07 04:05:09"));
  EXPECT_EQ(fnctFormatDate(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999))),
            QStringLiteral("2024/12/31 23:59:59"));
  EXPECT_EQ(fnctFormatDate(QDateTime(QDate(987, 1, 2), QTime(0, 0), Qt::UTC)), QStringLiteral("987/01/02 00:00:00"));
  EXPECT_EQ(fnctFormatDate(QDateTime(QDate(12345, 6, 7), QTime(8, 9, 10), Qt::UTC)),
            QStringLiteral("12345/06/07 08:09:10"));
  EXPECT_EQ(fnctFormatDate(QDateTime(QDate(-44, 3, 15), QTime(12, 0), Qt::UTC)), QStringLiteral("-44/03/15 12:00:00"));
}

// The text of the last second written is handed out again: the same second gives the same
// text, whatever its milliseconds, and any other moment its own.
TEST(FormatDate, WritesEachMomentOfTheSameOrAnotherSecond) {
  const QDateTime moment(QDate(2026, 12, 11), QTime(5, 30, 7, 120));
  const struct {
    QDateTime moment;
    const char* expected;
  } cases[] = {
      {moment, "2026/12/11 05:30:07"},
      {moment.addMSecs(800), "2026/12/11 05:30:07"},
      {moment.addMSecs(880), "2026/12/11 05:30:08"},
      {moment.addDays(1), "2026/12/12 05:30:07"},
      {moment, "2026/12/11 05:30:07"},
      {QDateTime(QDate(2026, 12, 11), QTime(5, 30, 7), Qt::UTC), "2026/12/11 05:30:07"},
      {moment.addYears(-1000), "1026/12/11 05:30:07"},
      {moment, "2026/12/11 05:30:07"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fnctFormatDate(c.moment), QLatin1String(c.expected));
  }
}

TEST(FormatDuration, WritesHoursOnlyWhenThereAreAny) {
  const struct {
    double seconds;
    const char* expected;
  } cases[] = {
      {3725, "01:02:05"},
      {65, "01:05"},
      {3600, "01:00:00"},
      {0, "00:00"},
      {59.4, "00:59"},
      {59.6, "01:00"},  // never "00:60"
      {59.5, "01:00"},  // 60 is the even neighbour
      {58.5, "00:58"},  // 58 is the even neighbour
      {3599.6, "01:00:00"},
      {360000, "100:00:00"},
      {-5, "00:00"},
      {std::numeric_limits<double>::quiet_NaN(), "00:00"},
      {std::numeric_limits<double>::infinity(), "00:00"},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctFormatDuration(row.seconds), QLatin1String(row.expected)) << row.seconds;
  }
}

TEST(FormatDuration, NoFieldEverReaches60) {
  for (int tenths = 0; tenths <= 72000; ++tenths) {
    const QStringList fields = fnctFormatDuration(tenths / 10.0).split(QLatin1Char(':'));
    ASSERT_GE(fields.size(), 2);
    EXPECT_LT(fields.at(fields.size() - 1).toInt(), 60) << tenths;
    EXPECT_LT(fields.at(fields.size() - 2).toInt(), 60) << tenths;
  }
}

TEST(WrapText, BreaksAtTheLastBlankAndMarksWhatIsCut) {
  const QString ellipsis(QChar(0x2026));
  const struct {
    const char* text;
    int length;
    int lines;
    const char* separator;
    QString expected;
  } cases[] = {
      {"alpha beta gamma", 8, 2, "|", QStringLiteral("alpha|beta") + ellipsis},
      {"alpha beta gamma", 8, 3, "|", QStringLiteral("alpha|beta|gamma")},
      {"abcdefghijk", 5, 2, "|", QStringLiteral("abcde") + ellipsis},
      {"  short  ", 14, 2, "|", QStringLiteral("short")},
      {"alpha beta", 5, 2, "<br />", QStringLiteral("alpha<br />beta")},
      {"alpha verylongword", 5, 3, "|", QStringLiteral("alpha|veryl") + ellipsis},
      {"/home/amy/music/a-very-long-folder-name/song.mp3", 36, 1, "",
       QStringLiteral("/home/amy/music/a-very-long-folder-n") + ellipsis},
      {"", 5, 2, "|", QString()},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(fnctWrapText(QLatin1String(row.text), row.length, row.lines, QLatin1String(row.separator)), row.expected)
        << row.text;
  }
}

TEST(Booleans, WriteAndCheckTheirTexts) {
  EXPECT_EQ(fnctBoolToString(true), QStringLiteral("true"));
  EXPECT_EQ(fnctBoolToString(false), QStringLiteral("false"));
  for (const char* text : {"true", "FALSE", "True"}) {
    EXPECT_TRUE(isValidBoolString(QLatin1String(text))) << text;
  }
  for (const char* text : {"", "yes", "1", "true "}) {
    EXPECT_FALSE(isValidBoolString(QLatin1String(text))) << text;
  }
}

TEST(IsValidIpAddress, AcceptsFourDecimalNumbersUpTo255) {
  const struct {
    const char* text;
    bool expected;
  } cases[] = {
      {"10.0.0.255", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"010.0.0.1", true},
      {"10.0.0", false},
      {"10.0.0.256", false},
      {"10.0.0.a", false},
      {"10..0.1", false},
      {"1.2.3.4.5", false},
      {"1.2.3.4.", false},
      {" 1.2.3.4", false},
      {"1.2.3.+4", false},
      {"1.2.3.-0", false},
      {"1e2.0.0.1", false},
      {"", false},
      {"99999999999.1.1.1", false},
      {"0000000000255.1.1.1", true},
      {".1.2.3", false},
      {"1.2.3.\xD9\xA3", false},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(isValidIpAddress(QString::fromUtf8(row.text)), row.expected) << row.text;
  }
}

TEST(IpAddressValue, PutsTheFirstNumberInTheHighestByte) {
  EXPECT_EQ(orv::core::ipAddressValue(u"192.168.1.20"), std::optional<quint32>(0xC0A80114u));
  EXPECT_EQ(orv::core::ipAddressValue(u"0.0.0.0"), std::optional<quint32>(0u));
  EXPECT_EQ(orv::core::ipAddressValue(u"255.255.255.255"), std::optional<quint32>(0xFFFFFFFFu));
  EXPECT_EQ(orv::core::ipAddressValue(u"1.2.3.256"), std::nullopt);
}

}  // namespace
