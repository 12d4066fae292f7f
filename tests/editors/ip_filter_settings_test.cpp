// The rules of the IP filters category without a screen: the canonical form of an address,
// the filter that refuses everyone, and Save.

#include "editors/ip_filter_settings.h"

#include "core/language.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using namespace orv::editors;

TEST(CanonicalIpAddress, KeepsFourNumbersWithoutLeadingZerosAndRefusesEverythingElse) {
  struct Case {
    const char* typed;
    const char* stored;  // nullptr: refused
  };
  const Case cases[] = {
      {"192.168.0.1", "192.168.0.1"},
      {"0.0.0.0", "0.0.0.0"},
      {"255.255.255.255", "255.255.255.255"},
      {"127.0.0.2", "127.0.0.2"},
      {"010.0.0.1", "10.0.0.1"},
      {"000.001.010.100", "0.1.10.100"},
      {"256.1.1.1", nullptr},
      {"1.2.3", nullptr},
      {"1.2.3.4.5", nullptr},
      {"1..2.3", nullptr},
      {".1.2.3", nullptr},
      {"1.2.3.", nullptr},
      {" 1.2.3.4", nullptr},
      {"1.2.3.4 ", nullptr},
      {"1. 2.3.4", nullptr},
      {"1e2.0.0.1", nullptr},
      {"+1.2.3.4", nullptr},
      {"-1.2.3.4", nullptr},
      {"0010.0.0.1", nullptr},
      {"0x7f.0.0.1", nullptr},
      {"::1", nullptr},
      {"::ffff:127.0.0.1", nullptr},
      {"localhost", nullptr},
      {"", nullptr},
      {"\xd9\xa1.2.3.4", nullptr},  // an Arabic-Indic digit one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const std::optional<QString> stored = fnctCanonicalIpAddress(QString::fromUtf8(c.typed));
    if (c.stored == nullptr) {
      EXPECT_FALSE(stored.has_value()) << stored->toStdString();
    } else {
      EXPECT_EQ(stored, std::optional<QString>(QString::fromLatin1(c.stored)));
    }
  }
}

TEST(RefuseEveryone, OnlyDenyWithAnEmptyListRefusesEveryone) {
  EXPECT_TRUE(isRefusingEveryone({{}, false}));
  EXPECT_FALSE(isRefusingEveryone({{QStringLiteral("127.0.0.1")}, false}));
  EXPECT_FALSE(isRefusingEveryone({{}, true}));
  orv::core::gLanguage = orv::core::fnctLoadLanguage(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
  const QString question = fnctRefuseEveryoneQuestion();
  orv::core::gLanguage = {};
  EXPECT_TRUE(question.contains(QStringLiteral("\"Refuse every address except those listed\"")))
      << question.toStdString();
  EXPECT_TRUE(question.contains(QStringLiteral("this computer included"))) << question.toStdString();
}

TEST(IpFiltersStore, SaveReplacesTheListInOrderAndWritesTheMethod) {
  orv::core::tConfIpFilters filters;
  filters.colAddresses.add(QStringLiteral("1.1.1.1"));
  filters.colAddresses.add(QStringLiteral("010.000.0.01"));  // as an older file may hold it
  filters.bytMethod = 1;
  IpFilterFields fields = fnctIpFilterFields(filters);
  EXPECT_EQ(fields.addresses, (QStringList{QStringLiteral("1.1.1.1"), QStringLiteral("10.0.0.1")}));
  EXPECT_FALSE(fields.allowExcept);
  subStoreIpFilters({{QStringLiteral("9.9.9.9"), QStringLiteral("2.2.2.2"), QStringLiteral("9.9.9.9")}, true}, filters);
  EXPECT_EQ(filters.bytMethod, 2);
  ASSERT_EQ(filters.colAddresses.count(), 3);
  EXPECT_EQ(filters.colAddresses.at(1), QStringLiteral("9.9.9.9"));
  EXPECT_EQ(filters.colAddresses.at(2), QStringLiteral("2.2.2.2"));
  EXPECT_EQ(filters.colAddresses.at(3), QStringLiteral("9.9.9.9"));
  fields = fnctIpFilterFields(filters);
  EXPECT_TRUE(fields.allowExcept);
}

}  // namespace
