#include "core/debug_log.h"

#include "core/configuration.h"
#include "platform/clock.h"
#include "support/qt_printers.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

using orv::core::DebugEventCategory;
using orv::core::debugEventLog;
using orv::core::gConfiguration;
using orv::core::RgbColour;
using orv::core::subAddDebugEvent;

class DebugLog : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    debugEventLog().clear();
    gConfiguration.AppState.blnDebugFormLoaded = true;
    orv::platform::setFixedDateTime(QDateTime(QDate(2006, 3, 7), QTime(14, 5, 9)));
  }
  void TearDown() override {
    orv::platform::clearFixedDateTime();
    debugEventLog().clear();
    gConfiguration = {};
  }

  static void setSwitches(bool socket, bool http, bool application) {
    gConfiguration.AdvancedParameters.SKT_DEBUG = socket;
    gConfiguration.AdvancedParameters.HTTP_DEBUG = http;
    gConfiguration.AdvancedParameters.APP_DEBUG = application;
  }
};

TEST_F(DebugLog, NothingIsWrittenWhileTheWindowIsClosed) {
  gConfiguration.AppState.blnDebugFormLoaded = false;
  setSwitches(true, true, true);
  for (int code = 0; code <= 5; ++code) {
    subAddDebugEvent(QStringLiteral("line"), static_cast<DebugEventCategory>(code));
  }
  EXPECT_EQ(debugEventLog().count(), 0);
}

TEST_F(DebugLog, EachCategoryFollowsItsSwitchAndHasItsColour) {
  struct Case {
    int code;
    bool socket, http, application;
    bool written;
    RgbColour colour;
  };
  const Case cases[] = {
      {0, false, false, false, true, {255, 255, 255}},  // always shown, all switches off
      {1, true, false, false, true, {255, 128, 128}},
      {1, false, true, true, false, {}},
      {2, false, true, false, true, {192, 192, 192}},
      {2, true, false, true, false, {}},
      {3, false, false, true, true, {0, 255, 0}},
      {3, true, true, false, false, {}},
      {5, true, true, true, false, {}},  // not a category
      {-1, true, true, true, false, {}},
  };
  for (const Case& c : cases) {
    debugEventLog().clear();
    setSwitches(c.socket, c.http, c.application);
    subAddDebugEvent(QStringLiteral("message"), static_cast<DebugEventCategory>(c.code));
    ASSERT_EQ(debugEventLog().count(), c.written ? 1 : 0) << "category " << c.code;
    if (c.written) {
      EXPECT_EQ(debugEventLog().line(0).colour, c.colour) << "category " << c.code;
    }
  }
}

TEST_F(DebugLog, TellsWhetherACategoryIsWrittenNow) {
  // Whatever the window and the switches, the answer is whether a line would be written.
  for (const bool windowOpen : {false, true}) {
    for (int switches = 0; switches < 8; ++switches) {
      gConfiguration.AppState.blnDebugFormLoaded = windowOpen;
      setSwitches((switches & 1) != 0, (switches & 2) != 0, (switches & 4) != 0);
      for (int code = -1; code <= 5; ++code) {
        const auto category = static_cast<DebugEventCategory>(code);
        debugEventLog().clear();
        subAddDebugEvent(QStringLiteral("message"), category);
        EXPECT_EQ(isDebugEventShown(category), debugEventLog().count() == 1)
            << "window " << windowOpen << " switches " << switches << " category " << code;
      }
    }
  }
}

TEST_F(DebugLog, LineIsTheDateAndTimeInBracketsThenTheMessageUnchanged) {
  subAddDebugEvent(QStringLiteral("first\r\nsecond"), DebugEventCategory::Always);
  ASSERT_EQ(debugEventLog().count(), 1);
  const QString expected = QStringLiteral("[") + QLocale::system().toString(QDate(2006, 3, 7), QLocale::ShortFormat) +
                           QStringLiteral(" 14:05:09] first\r\nsecond");
  EXPECT_EQ(debugEventLog().line(0).text, expected);
}

TEST_F(DebugLog, KeepsTheNewest500LinesNewestFirst) {
  for (int i = 0; i < 600; ++i) {
    subAddDebugEvent(QStringLiteral("event %1").arg(i), DebugEventCategory::Always);
  }
  ASSERT_EQ(debugEventLog().count(), 500);
  EXPECT_TRUE(debugEventLog().line(0).text.endsWith(QStringLiteral("] event 599")));
  EXPECT_TRUE(debugEventLog().line(499).text.endsWith(QStringLiteral("] event 100")));
}

TEST_F(DebugLog, TellsTheWindowOfEveryLineAndOfClearing) {
  int changes = 0;
  const auto connection = QObject::connect(&debugEventLog(), &orv::core::DebugEventLog::changed, [&] { ++changes; });
  subAddDebugEvent(QStringLiteral("one"), DebugEventCategory::Always);
  subAddDebugEvent(QStringLiteral("dropped"), static_cast<DebugEventCategory>(7));
  debugEventLog().clear();
  QObject::disconnect(connection);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(debugEventLog().count(), 0);
}

QStringList gCapturedWarnings;

void captureWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtWarningMsg) {
    gCapturedWarnings.append(message);
  }
}

TEST_F(DebugLog, ConsoleLineGoesThroughTheMessageHandlerAsWritten) {
  gCapturedWarnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
  orv::core::subWriteConsoleLine(QStringLiteral("Saving \"config.xml\" failed"));
  qInstallMessageHandler(previous);
  EXPECT_EQ(gCapturedWarnings, QStringList{QStringLiteral("Saving \"config.xml\" failed")});
}

TEST_F(DebugLog, LoadedObjectsCountIsZeroUntilTheServerRegistersItsCounter) {
  using orv::core::getLoadedObjectsCount;
  EXPECT_EQ(getLoadedObjectsCount().usrSocket, 0);
  orv::core::setLoadedObjectsCounter([] { return orv::core::LoadedObjectsCount{3, 2, 1, 4}; });
  const auto counts = getLoadedObjectsCount();
  EXPECT_EQ(counts.usrSocket, 3);
  EXPECT_EQ(counts.usrFileReader, 2);
  EXPECT_EQ(counts.usrBuildXmlPage, 1);
  EXPECT_EQ(counts.usrMinature, 4);
  orv::core::setLoadedObjectsCounter({});
  EXPECT_EQ(getLoadedObjectsCount().usrMinature, 0);
}

}  // namespace
