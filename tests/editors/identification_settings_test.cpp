// The checks and the Save of the identification category, through its logic.

#include "editors/identification_settings.h"
#include "editors/config_numbers.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace orv::editors;

struct Case {
  const char* text;
  std::optional<int> expected;  // nothing: refused, the stored value comes back
};

TEST(IdentificationSettings, TheLimitOfFailedIdentificationsTakesMinusOneOrOneAndAbove) {
  const std::vector<Case> cases = {
      {"2.5", 2},
      {"0.6", 1},
      {"0.4", std::nullopt},
      {"0", std::nullopt},
      {"-2", std::nullopt},
      {"-1", -1},
      {"1", 1},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {" 7 ", 7},
      {"1e3", 1000},
      {"2147483647", 2147483647},
      {"2147483648", std::nullopt},
      {"-1.4", -1},
      {"inf", std::nullopt},
      {"3.5", 4},
      {"86401", 86401},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(fnctCheckMaxIdentificationErrors(QLatin1String(c.text)), c.expected);
  }
}

TEST(IdentificationSettings, TheBanLastsOneSecondToOneDay) {
  const std::vector<Case> cases = {
      {"86400", 86400},
      {"86401", std::nullopt},
      {"0", std::nullopt},
      {"1", 1},
      {"0.6", 1},
      {"2.5", 2},
      {"-2", std::nullopt},
      {"abc", std::nullopt},
      {"99999999999", std::nullopt},
      {"86400.4", 86400},
      {"86400.6", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(fnctCheckBanDuration(QLatin1String(c.text)), c.expected);
  }
}

TEST(IdentificationSettings, ARefusedTextGivesTheStoredValueBack) {
  orv::core::tConfProtocol protocol;
  protocol.MAX_IDENTIFICATION_ERROR = 5;
  protocol.BAN_DURATION = 600;
  EXPECT_EQ(fnctCheckedMaxIdentificationErrorsText(QStringLiteral("0"), protocol), QStringLiteral("5"));
  EXPECT_EQ(fnctCheckedMaxIdentificationErrorsText(QStringLiteral("2.5"), protocol), QStringLiteral("2.5"));
  EXPECT_EQ(fnctCheckedBanDurationText(QStringLiteral("86401"), protocol), QStringLiteral("600"));
  EXPECT_EQ(fnctCheckedBanDurationText(QStringLiteral("abc"), protocol), QStringLiteral("600"));
}

TEST(IdentificationSettings, SaveChecksEveryBoxAgainAndStoresTheIntegerValues) {
  struct SaveCase {
    const char* what;
    IdentificationFields fields;
    int limit;
    int ban;
    int method;
  };
  const std::vector<SaveCase> cases = {
      {"accepted values", {QStringLiteral("2.5"), QStringLiteral("0.6"), false}, 2, 1, 1},
      {"never ban, the longest ban, the form", {QStringLiteral("-1"), QStringLiteral("86400"), true}, -1, 86400, 2},
      {"refused texts that never lost the focus keep the stored values",
       {QStringLiteral("0"), QStringLiteral("86401"), true},
       20,
       240,
       2},
      {"texts that are no numbers", {QStringLiteral("abc"), QStringLiteral(""), false}, 20, 240, 1},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.what);
    orv::core::tConfProtocol protocol;  // 20 failures, 240 s, the form
    subStoreIdentification(c.fields, protocol);
    EXPECT_EQ(protocol.MAX_IDENTIFICATION_ERROR, c.limit);
    EXPECT_EQ(protocol.BAN_DURATION, c.ban);
    EXPECT_EQ(protocol.IDENTIFICATION_METHOD, c.method);
  }
}

TEST(IdentificationSettings, TheFieldsShowTheStoredSettings) {
  orv::core::tConfProtocol protocol;
  protocol.MAX_IDENTIFICATION_ERROR = -1;
  protocol.BAN_DURATION = 86400;
  protocol.IDENTIFICATION_METHOD = 1;
  const IdentificationFields fields = fnctIdentificationFields(protocol);
  EXPECT_EQ(fields.maxIdentificationErrors, QStringLiteral("-1"));
  EXPECT_EQ(fields.banDuration, QStringLiteral("86400"));
  EXPECT_FALSE(fields.htmlForm);
}

}  // namespace
