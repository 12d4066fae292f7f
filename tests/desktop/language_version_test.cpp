#include "desktop/language_version.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

using orv::desktop::AppVersion;
using orv::desktop::fnctParseAppVersion;
using orv::desktop::isLanguageVersionCompatible;

TEST(LanguageVersion, ReadsEachWrittenForm) {
  struct Case {
    const char* text;
    std::optional<AppVersion> version;
  };
  const Case cases[] = {
      {"1.0.2", AppVersion{1, 0, 2}},
      {"1.02", AppVersion{1, 0, 2}},
      {"102", AppVersion{1, 0, 2}},
      {"1.12", AppVersion{1, 1, 2}},
      {"2.0", AppVersion{2, 0, 0}},
      {"9.99.99", AppVersion{9, 99, 99}},
      {" 1.0.2 ", AppVersion{1, 0, 2}},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"1..2", std::nullopt},
      {"1.0.2.3", std::nullopt},
      {"-1.0.2", std::nullopt},
      {"10", std::nullopt},
      {"1.0.99999999999", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(fnctParseAppVersion(QString::fromLatin1(c.text)), c.version);
  }
}

TEST(LanguageVersion, ComparesNumberByNumber) {
  const AppVersion application{1, 0, 2};
  struct Case {
    const char* text;
    bool compatible;
  };
  // The files that passed when the digits were read together still pass, and those that
  // failed still fail; only numbers past one digit are read rightly now (1.0.10 > 1.0.2).
  const Case cases[] = {
      {"1.02", true}, {"1.01", false},  {"1.0", false},   {"1.2.0", true},   {"2.00", true},   {"102", true},
      {"101", false}, {"1.0.10", true}, {"0.9.9", false}, {"9.99.99", true}, {"1.0.1", false}, {"broken", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(isLanguageVersionCompatible(QString::fromLatin1(c.text), application), c.compatible);
  }
  EXPECT_TRUE(isLanguageVersionCompatible(QStringLiteral("1.02")));  // this application
  EXPECT_TRUE(isLanguageVersionCompatible(QStringLiteral("1.10.0"), AppVersion{1, 9, 9}));
}

}  // namespace
