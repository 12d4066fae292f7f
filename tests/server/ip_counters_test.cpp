#include "server/ip_counters.h"

#include "core/configuration.h"
#include "platform/clock.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::core::gConfiguration;
using orv::core::KeyedList;
using orv::server::getCounterValue;
using orv::server::isIpBanned;
using orv::server::kMaxCounterValue;
using orv::server::subIncrementIpCounter;
using orv::server::subUpdateCounter;

const QDateTime kStart(QDate(2024, 3, 1), QTime(12, 0, 0));

class IpCountersTest : public testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    orv::platform::setFixedDateTime(kStart);
  }
  void TearDown() override {
    gConfiguration = {};
    orv::platform::clearFixedDateTime();
  }

  static void at(qint64 secondsAfterStart) { orv::platform::setFixedDateTime(kStart.addSecs(secondsAfterStart)); }

  // Counts failures of the address, one per given moment.
  static void failAt(const QString& ip, std::initializer_list<qint64> moments) {
    for (const qint64 moment : moments) {
      at(moment);
      subIncrementIpCounter(ip);
    }
  }

  static KeyedList<int>& errors() { return gConfiguration.AppState.colIpIdentificationErrors; }
  static KeyedList<QDateTime>& banStarts() { return gConfiguration.AppState.colIpBanStartDates; }
};

const QString kClient = QStringLiteral("10.0.0.5");
const QString kOther = QStringLiteral("10.0.0.6");

TEST_F(IpCountersTest, FailuresCountAndTheBanStartsAtTheLastOne) {
  failAt(kClient, {0, 30, 75});
  EXPECT_EQ(getCounterValue(errors(), kClient), 3);
  EXPECT_EQ(banStarts().value(kClient), kStart.addSecs(75));
  EXPECT_EQ(getCounterValue(errors(), kOther), -1);
}

TEST_F(IpCountersTest, AFailureMovesTheAddressToTheEndOfBothLists) {
  failAt(kClient, {0});
  failAt(kOther, {1});
  failAt(kClient, {2});
  ASSERT_EQ(errors().count(), 2);
  EXPECT_EQ(errors().keyAt(2), kClient);
  EXPECT_EQ(banStarts().keyAt(2), kClient);
  EXPECT_EQ(banStarts().keyAt(1), kOther);
}

TEST_F(IpCountersTest, FailureCountStopsAtTheLargestValueAndStillMovesTheBanStart) {
  errors().add(kMaxCounterValue, kClient);
  banStarts().add(kStart, kClient);
  failAt(kClient, {9});
  EXPECT_EQ(getCounterValue(errors(), kClient), kMaxCounterValue);
  EXPECT_EQ(banStarts().value(kClient), kStart.addSecs(9));
}

TEST_F(IpCountersTest, AnEmptyAddressIsNeverCounted) {
  subIncrementIpCounter(QString());
  EXPECT_TRUE(errors().isEmpty());
  EXPECT_TRUE(banStarts().isEmpty());
}

TEST_F(IpCountersTest, UpdateAddsTheDeltaAndKeepsOnlyPositiveEntries) {
  constexpr int kNone = -1;
  struct Case {
    int before;  // kNone: no entry
    int delta;
    int after;  // kNone: no entry
  };
  const Case cases[] = {
      {kNone, -1, kNone},
      {kNone, 0, kNone},
      {kNone, 1, 1},
      {kNone, 3, 3},
      {1, -1, kNone},
      {2, -1, 1},
      {1, -5, kNone},
      {3, -100000, kNone},
      {5, 0, 5},
      {4, 2, 6},
      {kMaxCounterValue, 1, kMaxCounterValue},
      {kNone, 40000, kMaxCounterValue},
  };
  for (const Case& c : cases) {
    KeyedList<int> counter;
    if (c.before != kNone) {
      counter.add(c.before, kClient);
    }
    subUpdateCounter(counter, kClient, c.delta);
    EXPECT_EQ(getCounterValue(counter, kClient), c.after) << c.before << " + " << c.delta;
    EXPECT_EQ(counter.count(), c.after == kNone ? 0 : 1) << c.before << " + " << c.delta;
  }
}

TEST_F(IpCountersTest, UpdatedEntryMovesToTheEnd) {
  KeyedList<int> counter;
  subUpdateCounter(counter, kClient, 1);
  subUpdateCounter(counter, kOther, 1);
  subUpdateCounter(counter, kClient, 1);
  ASSERT_EQ(counter.count(), 2);
  EXPECT_EQ(counter.keyAt(1), kOther);
  EXPECT_EQ(counter.keyAt(2), kClient);
}

TEST_F(IpCountersTest, TheEmptyKeyReadsTheTotalAndIsNeverStored) {
  KeyedList<int> counter;
  EXPECT_EQ(getCounterValue(counter, QString()), 0);
  counter.add(2, kClient);
  counter.add(3, kOther);
  EXPECT_EQ(getCounterValue(counter, QString()), 5);

  subUpdateCounter(counter, QString(), 1);
  EXPECT_EQ(counter.count(), 2);
  EXPECT_EQ(getCounterValue(counter, QString()), 5);

  counter.add(kMaxCounterValue, QStringLiteral("10.0.0.7"));
  EXPECT_EQ(getCounterValue(counter, QString()), kMaxCounterValue);
}

// Pages in creation for two clients, raised and released in an interleaved order, with one
// release too many: every count comes back to nothing and none goes below it.
TEST_F(IpCountersTest, CountersPerAddressAndInTotalComeBackToZero) {
  KeyedList<int>& pages = gConfiguration.AppState.colIpFoldersInCreation;
  struct Step {
    const QString& ip;
    int delta;
    int client;  // counter of ip afterwards
    int total;
  };
  const Step steps[] = {
      {kClient, +1, 1, 1}, {kOther, +1, 1, 2},   {kClient, +1, 2, 3},  {kClient, -1, 1, 2},
      {kOther, -1, -1, 1}, {kClient, -1, -1, 0}, {kClient, -1, -1, 0}, {kOther, -1, -1, 0},
  };
  int index = 0;
  for (const Step& step : steps) {
    subUpdateCounter(pages, step.ip, step.delta);
    EXPECT_EQ(getCounterValue(pages, step.ip), step.client) << "step " << index;
    EXPECT_EQ(getCounterValue(pages, QString()), step.total) << "step " << index;
    ++index;
  }
  EXPECT_TRUE(pages.isEmpty());
}

TEST_F(IpCountersTest, AddressKeysIgnoreCase) {
  KeyedList<int> counter;
  const QString upper = QStringLiteral("FE80::A");
  subUpdateCounter(counter, upper, 1);
  subUpdateCounter(counter, upper.toLower(), 1);
  EXPECT_EQ(getCounterValue(counter, upper.toLower()), 2);
}

class BanTest : public IpCountersTest {
 protected:
  void SetUp() override {
    IpCountersTest::SetUp();
    gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR = 3;
    gConfiguration.Protocol.BAN_DURATION = 240;
  }
};

TEST_F(BanTest, TheBanStartsAtTheFailureThatReachesTheLimitAndEndsByTheClock) {
  failAt(kClient, {0, 10});
  EXPECT_FALSE(isIpBanned(kClient));
  failAt(kClient, {20});
  EXPECT_TRUE(isIpBanned(kClient));

  struct Case {
    qint64 moment;
    bool banned;
  };
  const Case cases[] = {{21, true}, {100, true}, {20 + 239, true}};
  for (const Case& c : cases) {
    at(c.moment);
    EXPECT_EQ(isIpBanned(kClient), c.banned) << c.moment;
  }
  // Asking does not extend the ban: it still counts from the last failure.
  at(20 + 240);
  EXPECT_FALSE(isIpBanned(kClient));
  EXPECT_EQ(getCounterValue(errors(), kClient), -1);
  EXPECT_FALSE(banStarts().contains(kClient));

  // The count starts again from nothing.
  failAt(kClient, {300});
  EXPECT_EQ(getCounterValue(errors(), kClient), 1);
  EXPECT_FALSE(isIpBanned(kClient));
}

TEST_F(BanTest, AFailureDuringTheBanMovesItsEnd) {
  failAt(kClient, {0, 1, 2, 200});
  at(2 + 240);
  EXPECT_TRUE(isIpBanned(kClient));
  at(200 + 240);
  EXPECT_FALSE(isIpBanned(kClient));
}

TEST_F(BanTest, OnlyTheFailingAddressIsBanned) {
  failAt(kClient, {0, 1, 2});
  failAt(kOther, {3});
  EXPECT_TRUE(isIpBanned(kClient));
  EXPECT_FALSE(isIpBanned(kOther));
  // The empty key would read the total of all addresses: it never names a banned client.
  EXPECT_FALSE(isIpBanned(QString()));
  EXPECT_EQ(getCounterValue(errors(), kClient), 3);
}

TEST_F(BanTest, WithoutLimitNobodyIsBannedButFailuresStillCount) {
  gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR = -1;
  for (int failure = 0; failure < 50; ++failure) {
    subIncrementIpCounter(kClient);
  }
  EXPECT_FALSE(isIpBanned(kClient));
  EXPECT_EQ(getCounterValue(errors(), kClient), 50);
}

TEST_F(BanTest, ACountWithoutItsTimeIsLiftedRatherThanBannedForever) {
  errors().add(5, kClient);
  EXPECT_FALSE(isIpBanned(kClient));
  EXPECT_EQ(getCounterValue(errors(), kClient), -1);
}

// Forty thousand addresses with one wrong password each: once a ban's length has passed,
// the next failure sweeps them out of the table, and failures that old count no more.
TEST_F(BanTest, FailuresOlderThanTheBanDurationAreForgotten) {
  for (int n = 0; n < 40000; ++n) {
    subIncrementIpCounter(QStringLiteral("11.%1.%2.%3").arg(n / 65536).arg((n / 256) % 256).arg(n % 256));
  }
  failAt(kClient, {100, 101});
  EXPECT_EQ(errors().count(), 40001);
  failAt(kOther, {240 + 1});
  EXPECT_EQ(errors().count(), 2);
  EXPECT_EQ(banStarts().count(), 2);
  EXPECT_EQ(getCounterValue(errors(), kClient), 2);
  // The client's two failures are 240 seconds old at its third: it starts again from one.
  failAt(kClient, {101 + 240});
  EXPECT_EQ(getCounterValue(errors(), kClient), 1);
  EXPECT_FALSE(isIpBanned(kClient));
  EXPECT_EQ(errors().keyAt(errors().count()), kClient);
}

}  // namespace
