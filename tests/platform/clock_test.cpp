#include "platform/clock.h"

#include "support/event_loop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

using orv::platform::currentDateTime;

// Sets TZ for one test and puts the zone back afterwards, waiting until the clock has taken
// it back in too, so no later test sees the test's zone.
class LocalClock : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* zone = std::getenv("TZ")) {
      savedZone_ = zone;
    }
  }
  void TearDown() override {
    if (savedZone_) {
      ::setenv("TZ", savedZone_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
    orv::platform::clearFixedDateTime();
    const int offset = QDateTime::currentDateTime().offsetFromUtc();
    EXPECT_TRUE(processEventsUntil([&] { return currentDateTime().offsetFromUtc() == offset; }));
  }

  static void useZone(const char* zone) { ::setenv("TZ", zone, 1); }

  // True once the clock's local time is the given offset ahead of UTC.
  static bool followsOffset(int seconds) { return currentDateTime().offsetFromUtc() == seconds; }

 private:
  std::optional<std::string> savedZone_;
};

TEST_F(LocalClock, LocalTimeIsTheWallClockOfTheZone) {
  const QDateTime before = QDateTime::currentDateTime();
  const QDateTime now = currentDateTime();
  const QDateTime after = QDateTime::currentDateTime();
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
  // Within the second the zone was read in, the offset is the system's.
  EXPECT_TRUE(processEventsUntil(
      [] { return currentDateTime().offsetFromUtc() == QDateTime::currentDateTime().offsetFromUtc(); }));
  EXPECT_EQ(orv::platform::currentDateTimeUtc().timeSpec(), Qt::UTC);
}

TEST_F(LocalClock, AChangeOfZoneIsFollowedWithinAboutASecond) {
  useZone("UTC0");
  ASSERT_TRUE(processEventsUntil([] { return followsOffset(0); }, 5000));
  useZone("XYZ-9");
  EXPECT_TRUE(processEventsUntil([] { return followsOffset(9 * 3600); }, 5000));
  useZone("ABC+3");
  EXPECT_TRUE(processEventsUntil([] { return followsOffset(-3 * 3600); }, 5000));
}

TEST_F(LocalClock, AMomentIsConvertedWithTheOffsetItHadInTheZone) {
  // Central European time: +1 in winter, +2 in summer.
  useZone("CET-1CEST,M3.5.0,M10.5.0/3");
  ASSERT_TRUE(processEventsUntil([] { return currentDateTime().offsetFromUtc() >= 3600; }, 5000));
  const QDateTime winter(QDate(2024, 1, 15), QTime(12, 0, 0), Qt::UTC);
  const QDateTime summer(QDate(2024, 7, 15), QTime(12, 0, 0), Qt::UTC);
  EXPECT_EQ(orv::platform::toLocalDateTime(winter).time(), QTime(13, 0, 0));
  EXPECT_EQ(orv::platform::toLocalDateTime(summer).time(), QTime(14, 0, 0));
  EXPECT_EQ(orv::platform::toLocalDateTime(summer), summer);
  EXPECT_EQ(orv::platform::localDateTimeFromSecs(summer.toSecsSinceEpoch()).time(), QTime(14, 0, 0));
  EXPECT_EQ(orv::platform::localDateTimeFromSecs(summer.toSecsSinceEpoch()), summer);
  EXPECT_FALSE(orv::platform::toLocalDateTime(QDateTime()).isValid());
}

TEST_F(LocalClock, AFixedMomentStaysAsItWasGiven) {
  const QDateTime moment(QDate(2006, 3, 7), QTime(14, 5, 9));
  orv::platform::setFixedDateTime(moment);
  EXPECT_EQ(currentDateTime(), moment);
  EXPECT_EQ(currentDateTime().timeSpec(), Qt::LocalTime);
  EXPECT_EQ(orv::platform::currentDateTimeUtc(), moment.toUTC());
  orv::platform::clearFixedDateTime();
  EXPECT_NE(currentDateTime(), moment);
}

}  // namespace
