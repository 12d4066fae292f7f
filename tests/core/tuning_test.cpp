#include "core/tuning.h"

#include "core/debug_log.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::core::debugEventLog;
using orv::core::gConfiguration;
using orv::core::setAdvParamValue;
using orv::core::tAdvancedParameters;

class Tuning : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    debugEventLog().clear();
    gConfiguration.AppState.blnDebugFormLoaded = true;
  }
  void TearDown() override {
    debugEventLog().clear();
    gConfiguration = {};
  }

  static QString newestLogMessage() {
    if (debugEventLog().count() == 0) {
      return {};
    }
    const QString& text = debugEventLog().line(0).text;
    return text.mid(text.indexOf(QStringLiteral("] ")) + 2);
  }

  const tAdvancedParameters& parameters() const { return gConfiguration.AdvancedParameters; }
};

TEST_F(Tuning, DefaultsAreTheBuiltInValues) {
  const tAdvancedParameters& p = parameters();
  EXPECT_TRUE(p.APP_DEBUG);
  EXPECT_EQ(p.APP_MAX_SEND_TO_SOCKET_SIZE, 8192);
  EXPECT_EQ(p.APP_FILE_READER_BLOCK_SIZE, 40960);
  EXPECT_EQ(p.APP_MAX_MINIATURE_SOURCE_FILE_SIZE, 10000000);
  EXPECT_EQ(p.APP_MAX_TOTAL_FOLDER_IN_CREATION, 5);
  EXPECT_EQ(p.APP_MAX_CLIENT_FOLDER_IN_CREATION, 2);
  EXPECT_EQ(p.APP_MAX_TOTAL_MINIATURE_IN_CREATION, 20);
  EXPECT_EQ(p.APP_MAX_CLIENT_MINIATURE_IN_CREATION, 10);
  EXPECT_FALSE(p.SKT_DEBUG);
  EXPECT_EQ(p.SKT_SNDBUF, 32768);
  EXPECT_EQ(p.SKT_RCVBUF, -1);
  EXPECT_EQ(p.SKT_SNDLOWAT, -1);
  EXPECT_EQ(p.SKT_RCVLOWAT, -1);
  EXPECT_EQ(p.SKT_KEEPALIVE, -1);
  EXPECT_EQ(p.SKT_DONTROUTE, -1);
  EXPECT_EQ(p.SKT_TCP_NODELAY, -1);
  EXPECT_TRUE(p.HTTP_DEBUG);
  EXPECT_EQ(p.HTTP_MAX_REQUEST_SIZE, 3000);
  EXPECT_EQ(p.HTTP_MAX_URL_SIZE, 2000);
  EXPECT_EQ(p.HTTP_KEEP_ALIVE_TIMEOUT, 15);
  EXPECT_EQ(p.HTTP_KEEP_ALIVE_MAX, 300);
  EXPECT_EQ(p.TCP_MAX_OPEN_CONNECTION_TOTAL, 100);
  EXPECT_EQ(p.TCP_MAX_OPEN_CONNECTION_CLIENT, 50);
}

TEST_F(Tuning, StoredValueIsLoggedWithTheNameInUpperCase) {
  EXPECT_TRUE(setAdvParamValue(QStringLiteral("skt_sndbuf"), QStringLiteral("65536"), QStringLiteral("local")));
  EXPECT_EQ(parameters().SKT_SNDBUF, 65536);
  EXPECT_EQ(newestLogMessage(), QStringLiteral("Set 'SKT_SNDBUF' to '65536' by 'local'"));
}

TEST_F(Tuning, CurrentValueIsAcceptedWithoutALogLine) {
  EXPECT_TRUE(setAdvParamValue(QStringLiteral("SKT_SNDBUF"), QStringLiteral("32768"), QStringLiteral("local")));
  EXPECT_TRUE(setAdvParamValue(QStringLiteral("HTTP_DEBUG"), QStringLiteral("1"), QStringLiteral("local")));
  EXPECT_TRUE(
      setAdvParamValue(QStringLiteral("APP_FILE_READER_BLOCK_SIZE"), QStringLiteral("40960"), QStringLiteral("local")));
  EXPECT_EQ(debugEventLog().count(), 0);
}

// Each row: parameter, value -> accepted, and what the field then reads.
struct SetCase {
  const char* name;
  const char* value;
  bool accepted;
  double stored;  // the field's value afterwards (its default when refused)
};

void PrintTo(const SetCase& c, std::ostream* out) {
  *out << c.name << " = '" << c.value << "'";
}

class TuningRules : public Tuning, public ::testing::WithParamInterface<SetCase> {};

double fieldValue(const tAdvancedParameters& p, const QString& name) {
  const struct {
    const char* name;
    double value;
  } fields[] = {
      {"APP_DEBUG", p.APP_DEBUG ? 1.0 : 0.0},
      {"SKT_DEBUG", p.SKT_DEBUG ? 1.0 : 0.0},
      {"APP_MAX_SEND_TO_SOCKET_SIZE", double(p.APP_MAX_SEND_TO_SOCKET_SIZE)},
      {"APP_FILE_READER_BLOCK_SIZE", p.APP_FILE_READER_BLOCK_SIZE},
      {"APP_MAX_CLIENT_FOLDER_IN_CREATION", p.APP_MAX_CLIENT_FOLDER_IN_CREATION},
      {"SKT_RCVBUF", double(p.SKT_RCVBUF)},
      {"SKT_KEEPALIVE", double(p.SKT_KEEPALIVE)},
      {"HTTP_KEEP_ALIVE_TIMEOUT", p.HTTP_KEEP_ALIVE_TIMEOUT},
      {"HTTP_MAX_REQUEST_SIZE", p.HTTP_MAX_REQUEST_SIZE},
      {"TCP_MAX_OPEN_CONNECTION_TOTAL", p.TCP_MAX_OPEN_CONNECTION_TOTAL},
  };
  for (const auto& field : fields) {
    if (name == QLatin1String(field.name)) {
      return field.value;
    }
  }
  ADD_FAILURE() << "no field " << name.toStdString();
  return 0;
}

TEST_P(TuningRules, ValueIsCheckedAgainstTheParameterRule) {
  const SetCase& c = GetParam();
  const QString name = QLatin1String(c.name);
  const QString value = QLatin1String(c.value);
  EXPECT_EQ(setAdvParamValue(name, value, QStringLiteral("local")), c.accepted);
  EXPECT_DOUBLE_EQ(fieldValue(parameters(), name), c.stored);
  const bool changed = c.stored != fieldValue(tAdvancedParameters{}, name);
  const QString line = QStringLiteral("' to '") + value + QStringLiteral("' by 'local'");
  if (!c.accepted) {
    EXPECT_EQ(newestLogMessage(), QStringLiteral("Unabled to set '") + name + line);
  } else if (changed) {
    EXPECT_EQ(newestLogMessage(), QStringLiteral("Set '") + name + line);
  } else {
    EXPECT_EQ(debugEventLog().count(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TuningRules,
    ::testing::Values(SetCase{"HTTP_KEEP_ALIVE_TIMEOUT", "60", true, 60},
                      SetCase{"HTTP_KEEP_ALIVE_TIMEOUT", "61", false, 15},
                      SetCase{"HTTP_KEEP_ALIVE_TIMEOUT", "0", false, 15},
                      SetCase{"HTTP_KEEP_ALIVE_TIMEOUT", "0.5", true, 0.5},  // seconds may be fractions
                      SetCase{"SKT_RCVBUF", "-1", true, -1}, SetCase{"SKT_RCVBUF", "4096", true, 4096},
                      SetCase{"SKT_RCVBUF", "0", false, -1}, SetCase{"SKT_RCVBUF", "-2", false, -1},
                      SetCase{"SKT_KEEPALIVE", "1", true, 1}, SetCase{"SKT_KEEPALIVE", "0", true, 0},
                      SetCase{"SKT_KEEPALIVE", "2", false, -1}, SetCase{"SKT_KEEPALIVE", "0.5", false, -1},
                      SetCase{"APP_MAX_CLIENT_FOLDER_IN_CREATION", "2.6", true, 3},
                      SetCase{"APP_MAX_CLIENT_FOLDER_IN_CREATION", "3.5", true, 4},  // halves to even
                      SetCase{"APP_MAX_CLIENT_FOLDER_IN_CREATION", "4.5", true, 4},
                      SetCase{"APP_DEBUG", "true", false, 1}, SetCase{"SKT_DEBUG", "1", true, 1},
                      SetCase{"APP_MAX_SEND_TO_SOCKET_SIZE", "abc", false, 8192},
                      SetCase{"APP_MAX_SEND_TO_SOCKET_SIZE", "1000.5", true, 1000},
                      SetCase{"APP_MAX_SEND_TO_SOCKET_SIZE", "-5", false, 8192},
                      SetCase{"APP_MAX_SEND_TO_SOCKET_SIZE", "1e12", false, 8192},  // beyond 32 bits
                      SetCase{"TCP_MAX_OPEN_CONNECTION_TOTAL", "250", true, 250},
                      SetCase{"HTTP_MAX_REQUEST_SIZE", "4000.25", true, 4000.25}));

// Sizes and counts that round to 0 would stall every transfer or refuse every request.
INSTANTIATE_TEST_SUITE_P(WholeNumbersOfZero, TuningRules,
                         ::testing::Values(SetCase{"APP_MAX_SEND_TO_SOCKET_SIZE", "0.4", false, 8192},
                                           SetCase{"APP_FILE_READER_BLOCK_SIZE", "0.5", false, 40960},
                                           SetCase{"APP_FILE_READER_BLOCK_SIZE", "0.6", true, 0.6},
                                           SetCase{"APP_MAX_CLIENT_FOLDER_IN_CREATION", "0.5", false, 2},
                                           SetCase{"SKT_RCVBUF", "0.3", false, -1},
                                           SetCase{"TCP_MAX_OPEN_CONNECTION_TOTAL", "0.2", false, 100},
                                           SetCase{"HTTP_MAX_REQUEST_SIZE", "0.4", false, 3000}));

// The line of a change is written after the change, so turning the application switch off
// is the one change that logs nothing.
TEST_F(Tuning, SwitchingApplicationLinesOffIsNotLogged) {
  EXPECT_TRUE(setAdvParamValue(QStringLiteral("app_debug"), QStringLiteral("0"), QStringLiteral("local")));
  EXPECT_FALSE(parameters().APP_DEBUG);
  EXPECT_EQ(debugEventLog().count(), 0);
  EXPECT_TRUE(setAdvParamValue(QStringLiteral("APP_DEBUG"), QStringLiteral("1"), QStringLiteral("local")));
  EXPECT_EQ(newestLogMessage(), QStringLiteral("Set 'APP_DEBUG' to '1' by 'local'"));
}

TEST_F(Tuning, EmptyValueUnknownNameAndMinusOneAreRefusedAndLogged) {
  EXPECT_FALSE(setAdvParamValue(QStringLiteral("SKT_SNDBUF"), QString(), QStringLiteral("local")));
  EXPECT_EQ(newestLogMessage(), QStringLiteral("Unabled to set 'SKT_SNDBUF' to '' by 'local'"));
  EXPECT_FALSE(setAdvParamValue(QStringLiteral("no_such"), QStringLiteral("1"), QStringLiteral("local")));
  EXPECT_EQ(newestLogMessage(), QStringLiteral("Unabled to set 'NO_SUCH' to '1' by 'local'"));
  EXPECT_FALSE(setAdvParamValue(QStringLiteral("-1"), QStringLiteral("1"), QStringLiteral("local")));
  EXPECT_EQ(parameters().SKT_SNDBUF, 32768);
}

TEST_F(Tuning, OtherParameterSetsAreLeftAlone) {
  tAdvancedParameters own;
  EXPECT_TRUE(setAdvParamValue(own, QStringLiteral("HTTP_MAX_URL_SIZE"), QStringLiteral("500"), QStringLiteral("x")));
  EXPECT_EQ(own.HTTP_MAX_URL_SIZE, 500);
  EXPECT_EQ(parameters().HTTP_MAX_URL_SIZE, 2000);
}

}  // namespace
