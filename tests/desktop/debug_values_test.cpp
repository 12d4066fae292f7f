#include "desktop/debug_values.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "server/ip_counters.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::debugEventLog;
using orv::core::gConfiguration;
using orv::core::tAdvancedParameters;
using namespace orv::desktop;

class DebugValues : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    debugEventLog().clear();
    gConfiguration.AppState.blnDebugFormLoaded = true;
  }
  void TearDown() override {
    debugEventLog().clear();
    gConfiguration = {};
    orv::core::setLoadedObjectsCounter({});
  }

  static QString newestLogMessage() {
    if (debugEventLog().count() == 0) {
      return {};
    }
    const QString& text = debugEventLog().line(0).text;
    return text.mid(text.indexOf(u"] "_s) + 2);
  }
};

TEST_F(DebugValues, RowsNameTheCountersThenTheTwentyParameters) {
  EXPECT_EQ(debugValuesRowCaption(0), u"APP_LOADED_CONTROL_SOCKET"_s);
  EXPECT_EQ(debugValuesRowCaption(5), u"APP_TOTAL_MINIATURE_IN_CREATION"_s);
  EXPECT_EQ(debugValuesRowCaption(6), u"APP_MAX_SEND_TO_SOCKET_SIZE"_s);
  EXPECT_EQ(debugValuesRowCaption(13), u"SKT_SNDBUF (OS default: -1)"_s);
  EXPECT_EQ(debugValuesRowCaption(25), u"TCP_MAX_OPEN_CONNECTION_CLIENT"_s);
  EXPECT_EQ(debugValuesRowCaption(26), QString());
  EXPECT_EQ(debugValuesRowCaption(-1), QString());
}

TEST_F(DebugValues, CaptionsNameTheirParameterWithoutTheSuffix) {
  struct Case {
    QString caption;
    QString parameter;
  };
  const std::vector<Case> cases = {
      {u"APP_MAX_SEND_TO_SOCKET_SIZE"_s, u"APP_MAX_SEND_TO_SOCKET_SIZE"_s},
      {u"http_keep_alive_timeout"_s, u"HTTP_KEEP_ALIVE_TIMEOUT"_s},
      {u"SKT_KEEPALIVE (OS default: -1)"_s, u"SKT_KEEPALIVE"_s},
      {u"SKT_KEEPALIVE"_s, QString()},  // the socket rows are named with their suffix
      {u"APP_LOADED_CONTROL_SOCKET"_s, QString()},
      {u"APP_DEBUG"_s, QString()},  // a switch, not a row of the grid
      {QString(), QString()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tuningParameterOfCaption(c.caption), c.parameter) << c.caption.toStdString();
  }
}

TEST_F(DebugValues, DefaultValuesAreWrittenAsSinglePrecisionNumbers) {
  const tAdvancedParameters defaults;
  const std::vector<std::pair<int, QString>> cases = {
      {6, u"8192"_s}, {7, u"40960"_s},  {8, u"1E+07"_s}, {9, u"5"_s},   {10, u"2"_s},    {11, u"20"_s},
      {12, u"10"_s},  {13, u"32768"_s}, {14, u"-1"_s},   {19, u"-1"_s}, {20, u"3000"_s}, {21, u"2000"_s},
      {22, u"15"_s},  {23, u"300"_s},   {24, u"100"_s},  {25, u"50"_s}, {0, QString()},  {26, QString()},
  };
  for (const auto& [row, text] : cases) {
    EXPECT_EQ(tuningValueText(defaults, row), text) << "row " << row;
  }
}

TEST_F(DebugValues, LargeAndFractionalValuesKeepSevenDigits) {
  tAdvancedParameters parameters;
  parameters.HTTP_MAX_REQUEST_SIZE = 1234567;
  parameters.HTTP_MAX_URL_SIZE = 12345678;
  parameters.HTTP_KEEP_ALIVE_TIMEOUT = 2.5;
  parameters.TCP_MAX_OPEN_CONNECTION_TOTAL = std::ldexp(1.0, 40);
  EXPECT_EQ(tuningValueText(parameters, 20), u"1234567"_s);
  EXPECT_EQ(tuningValueText(parameters, 21), u"1.234568E+07"_s);
  EXPECT_EQ(tuningValueText(parameters, 22), QLocale::system().toString(2.5));
  EXPECT_EQ(tuningValueText(parameters, 24), u"1.099512E+12"_s);
}

TEST_F(DebugValues, RestoreSetsTheTwentyDefaultsSilentlyAndKeepsTheSwitches) {
  tAdvancedParameters& parameters = gConfiguration.AdvancedParameters;
  parameters.APP_DEBUG = false;
  parameters.SKT_DEBUG = true;
  parameters.APP_MAX_SEND_TO_SOCKET_SIZE = 1;
  parameters.SKT_TCP_NODELAY = 1;
  parameters.HTTP_KEEP_ALIVE_TIMEOUT = 60;
  parameters.TCP_MAX_OPEN_CONNECTION_CLIENT = 3;
  RestoreDebugDefaultValues(parameters);
  const tAdvancedParameters defaults;
  for (int row = kDebugCounterCount; row < kDebugValuesRowCount; ++row) {
    EXPECT_EQ(tuningValueText(parameters, row), tuningValueText(defaults, row)) << "row " << row;
  }
  EXPECT_FALSE(parameters.APP_DEBUG);
  EXPECT_TRUE(parameters.SKT_DEBUG);
  EXPECT_TRUE(parameters.HTTP_DEBUG);
  EXPECT_EQ(debugEventLog().count(), 0);
}

// Each edit as typed into a cell: whether the cell takes the text, the value stored after
// it, and the log line it writes (none for an unchanged value).
TEST_F(DebugValues, EditsGoThroughTheSetterWithTheirLogLines) {
  struct Case {
    QString caption;
    QString typed;
    bool kept;
    QString line;
  };
  const QString size = u"APP_MAX_SEND_TO_SOCKET_SIZE"_s;
  const QString timeout = u"HTTP_KEEP_ALIVE_TIMEOUT"_s;
  const std::vector<Case> cases = {
      {size, u"4096"_s, true, u"Set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '4096' by 'local'"_s},
      {size, u"0.4"_s, false, u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '0.4' by 'local'"_s},
      {size, u"-0"_s, false, u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '-0' by 'local'"_s},
      {size, u"1e3"_s, true, u"Set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '1e3' by 'local'"_s},
      {size, QString(), false, u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '' by 'local'"_s},
      {size, u"abc"_s, false, u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to 'abc' by 'local'"_s},
      {size, u"1099511627776"_s, false,
       u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '1099511627776' by 'local'"_s},
      {u"HTTP_MAX_REQUEST_SIZE"_s, u"1099511627776"_s, true,
       u"Set 'HTTP_MAX_REQUEST_SIZE' to '1099511627776' by 'local'"_s},
      {timeout, u"61"_s, false, u"Unabled to set 'HTTP_KEEP_ALIVE_TIMEOUT' to '61' by 'local'"_s},
      {timeout, u"0"_s, false, u"Unabled to set 'HTTP_KEEP_ALIVE_TIMEOUT' to '0' by 'local'"_s},
      {timeout, u"60"_s, true, u"Set 'HTTP_KEEP_ALIVE_TIMEOUT' to '60' by 'local'"_s},
      {timeout, u"60"_s, true, QString()},  // unchanged: no line
      {u"SKT_KEEPALIVE (OS default: -1)"_s, u"2"_s, false, u"Unabled to set 'SKT_KEEPALIVE' to '2' by 'local'"_s},
      {u"SKT_KEEPALIVE (OS default: -1)"_s, u"1"_s, true, u"Set 'SKT_KEEPALIVE' to '1' by 'local'"_s},
      {u"APP_MAX_CLIENT_FOLDER_IN_CREATION"_s, u"2.6"_s, true,
       u"Set 'APP_MAX_CLIENT_FOLDER_IN_CREATION' to '2.6' by 'local'"_s},
      {u"APP_LOADED_CONTROL_SOCKET"_s, u"3"_s, false, QString()},  // a counter takes no value
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption.toStdString() + " <- '" + c.typed.toStdString() + "'");
    const qsizetype linesBefore = debugEventLog().count();
    EXPECT_EQ(ApplyDebugValueEdit(c.caption, c.typed), c.kept);
    if (c.line.isEmpty()) {
      EXPECT_EQ(debugEventLog().count(), linesBefore);
    } else {
      EXPECT_EQ(newestLogMessage(), c.line);
    }
  }
  const tAdvancedParameters& stored = gConfiguration.AdvancedParameters;
  EXPECT_EQ(stored.APP_MAX_SEND_TO_SOCKET_SIZE, 1000);
  EXPECT_EQ(stored.HTTP_MAX_REQUEST_SIZE, std::ldexp(1.0, 40));
  EXPECT_EQ(stored.HTTP_KEEP_ALIVE_TIMEOUT, 60);
  EXPECT_EQ(stored.SKT_KEEPALIVE, 1);
  EXPECT_EQ(stored.APP_MAX_CLIENT_FOLDER_IN_CREATION, 3);
}

TEST_F(DebugValues, CountersReadTheServerAndThePerClientTotals) {
  EXPECT_EQ(getDebugCounterValues(), (std::array<int, 6>{0, 0, 0, 0, 0, 0}));
  orv::core::setLoadedObjectsCounter([] { return orv::core::LoadedObjectsCount{3, 2, 1, 4}; });
  orv::core::tAppState& state = gConfiguration.AppState;
  orv::server::subUpdateCounter(state.colIpFoldersInCreation, u"127.0.0.2"_s, 2);
  orv::server::subUpdateCounter(state.colIpFoldersInCreation, u"127.0.0.3"_s, 1);
  orv::server::subUpdateCounter(state.colIpMiniaturesInCreation, u"127.0.0.3"_s, 5);
  EXPECT_EQ(getDebugCounterValues(), (std::array<int, 6>{3, 2, 1, 4, 3, 5}));
}

}  // namespace
