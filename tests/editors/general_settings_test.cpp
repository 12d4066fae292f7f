// The rules of the general category, without a screen.

#include "editors/general_settings.h"
#include "editors_fixture.h"

#include <climits>

namespace {

using namespace orv::editors;
using namespace Qt::StringLiterals;

TEST(GeneralPort, AcceptsOnlyPortsAndStoresTheNumber) {
  struct Case {
    const char* text;
    std::optional<int> port;
  };
  const Case cases[] = {
      {"0", std::nullopt}, {"65536", std::nullopt}, {"080", 80},           {"80.4", 80},
      {"1e3", 1000},       {" 8080", 8080},         {"65535", 65535},      {"1", 1},
      {"", std::nullopt},  {"abc", std::nullopt},   {"-80", std::nullopt}, {"99999999999", std::nullopt},
  };
  orv::core::tConfProtocol protocol;
  protocol.LOCAL_PORT = QStringLiteral("8000");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const QString text = QString::fromLatin1(c.text);
    EXPECT_EQ(fnctCheckLocalPort(text), c.port);
    EXPECT_EQ(fnctCheckedLocalPortText(text, protocol), c.port ? text : QStringLiteral("8000"));
    EXPECT_EQ(fnctLocalPortToStore(text, protocol), c.port ? QString::number(*c.port) : QStringLiteral("8000"));
  }
}

TEST(GeneralPort, ChangeIsComparedAsNumbers) {
  orv::core::tConfProtocol protocol;
  protocol.LOCAL_PORT = QStringLiteral("80");
  EXPECT_FALSE(isLocalPortChanged(QStringLiteral("080"), protocol));
  EXPECT_FALSE(isLocalPortChanged(QStringLiteral(" 80"), protocol));
  EXPECT_TRUE(isLocalPortChanged(QStringLiteral("81"), protocol));
  EXPECT_FALSE(isLocalPortChanged(QStringLiteral("0"), protocol));  // refused: nothing changes
  protocol.LOCAL_PORT = QStringLiteral("junk");
  EXPECT_TRUE(isLocalPortChanged(QStringLiteral("80"), protocol));
}

TEST(GeneralCacheSize, ShownRoundedAndPutBackExact) {
  EXPECT_EQ(fnctCacheSizeShownText(10000000), QStringLiteral("10"));
  EXPECT_EQ(fnctCacheSizeExactText(10000000), QStringLiteral("9.5367431640625"));
  EXPECT_EQ(fnctCacheSizeShownText(-1048576), QStringLiteral("-1"));
  EXPECT_EQ(fnctCacheSizeShownText(100), QStringLiteral("1"));      // 0 is shown as 1
  EXPECT_EQ(fnctCacheSizeShownText(1572864), QStringLiteral("2"));  // 1.5: halves to even
  EXPECT_EQ(fnctCacheSizeShownText(INT_MAX), QStringLiteral("2048"));
  EXPECT_EQ(fnctCacheSizeExactText(2146435072), QStringLiteral("2047"));
}

TEST(GeneralCacheSize, BadSizesAreRefusedWithoutOverflow) {
  struct Case {
    const char* text;
    std::optional<int> megabytes;
  };
  const Case cases[] = {
      {"-1", -1}, {"0", std::nullopt},  {"2048", std::nullopt}, {"99999999", std::nullopt}, {"2047", 2047},
      {"1", 1},   {"-2", std::nullopt}, {"x", std::nullopt},    {"0.4", std::nullopt},      {"9.5367431640625", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(fnctCheckCacheSizeMegabytes(QString::fromLatin1(c.text)), c.megabytes);
  }
  EXPECT_EQ(fnctCheckedCacheSizeText(QStringLiteral("2048"), 10000000), QStringLiteral("10"));
  EXPECT_EQ(fnctCheckedCacheSizeText(QStringLiteral("99999999"), 10000000), QStringLiteral("10"));
}

TEST(GeneralCacheSize, BytesAreRoundedOnlyWhenANewSizeIsTyped) {
  struct Case {
    const char* text;
    int stored;
    int toStore;
  };
  const Case cases[] = {
      {"10", 10000000, 10000000},               // as loaded: kept in bytes
      {"9.5367431640625", 10000000, 10000000},  // as Escape put it back: kept
      {"11", 10000000, 11534336},               // typed: whole megabytes
      {"-1", 10000000, -1048576},
      {"2047", 10000000, 2146435072},  // the largest, no overflow
      {"2048", 10000000, 10000000},    // refused: stored kept
      {"99999999", 10000000, 10000000},
      {"0", 10000000, 10000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(fnctCacheSizeBytesToStore(QString::fromLatin1(c.text), c.stored), c.toStore);
  }
}

TEST(GeneralLists, NormalisedAndSplitToTheStoredArray) {
  struct Case {
    const char* text;
    const char* normalized;
    QStringList array;
  };
  const Case cases[] = {
      {"winamp;foobar", "winamp;foobar;", {u"winamp"_s, u"foobar"_s, QString()}},
      {"winamp;;;foobar;", "winamp;foobar;", {u"winamp"_s, u"foobar"_s, QString()}},
      {";winamp;", "winamp;", {u"winamp"_s, QString()}},
      {" win amp ; foobar ;", "win amp;foobar;", {u"win amp"_s, u"foobar"_s, QString()}},
      {"", ";", {}},
      {";", ";", {}},
      {" ; ;", ";", {}},
      {"example.org", "example.org;", {u"example.org"_s, QString()}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const QString text = QString::fromLatin1(c.text);
    EXPECT_EQ(fnctNormalizeListText(text), QString::fromLatin1(c.normalized));
    EXPECT_EQ(fnctListTextToArray(text), c.array);
    EXPECT_EQ(fnctArrayToListText(c.array), QString::fromLatin1(c.normalized));
  }
}

TEST(GeneralDomains, OnlyDomainsNeedsOne) {
  EXPECT_TRUE(isDomainsChoiceRefused(true, QStringLiteral(";")));
  EXPECT_TRUE(isDomainsChoiceRefused(true, QStringLiteral(" ; ; ")));
  EXPECT_FALSE(isDomainsChoiceRefused(true, QStringLiteral("example.org")));
  EXPECT_FALSE(isDomainsChoiceRefused(false, QStringLiteral(";")));
}

class GeneralLanguage : public EditorsTest {
 protected:
  void SetUp() override {
    EditorsTest::SetUp();
    english_ = englishFile();
    ASSERT_FALSE(english_.isEmpty());
  }

  void writeLanguage(const QString& name, const QByteArray& version, const QByteArray& language) {
    app_.write(QStringLiteral("lang/") + name, languageFile(version, language));
  }

  QByteArray english_;
};

TEST_F(GeneralLanguage, ChoiceRefusesOlderBrokenAndMissingFiles) {
  writeLanguage(u"english.xml"_s, "1.02", "English");
  writeLanguage(u"newer.xml"_s, "1.0.10", "Newer");
  writeLanguage(u"older.xml"_s, "1.01", "Older");
  writeLanguage(u"gone.xml"_s, "1.02", "Gone");
  const orv::core::tLanguagesList list = orv::core::fnctGetLanguagesList(app_.file(u"lang/"_s));
  ASSERT_EQ(list.colFileName.count(), 4);
  // A file broken after it was listed, and one removed.
  app_.write(u"lang/newer.xml"_s, QByteArray(english_).left(english_.size() / 2));
  QFile::remove(app_.file(u"lang/gone.xml"_s));
  writeLanguage(u"okay.xml"_s, "1.02", "Okay");

  const QString current = u"english.xml"_s;
  orv::core::tLanguage loaded;
  EXPECT_EQ(fnctChooseLanguage(list, -1, current, &loaded), LanguageChoice::Unchanged);
  EXPECT_EQ(fnctChooseLanguage(list, fnctLanguageIndex(list, u"ENGLISH.xml"_s), current, &loaded),
            LanguageChoice::Unchanged);
  EXPECT_EQ(fnctChooseLanguage(list, fnctLanguageIndex(list, u"older.xml"_s), current, &loaded),
            LanguageChoice::OutOfDate);
  EXPECT_EQ(fnctChooseLanguage(list, fnctLanguageIndex(list, u"newer.xml"_s), current, &loaded),
            LanguageChoice::NotLoaded);
  EXPECT_EQ(fnctChooseLanguage(list, fnctLanguageIndex(list, u"gone.xml"_s), current, &loaded),
            LanguageChoice::NotLoaded);
  EXPECT_FALSE(loaded.blnLoaded);
  EXPECT_EQ(fnctLanguageIndex(list, u"nowhere.xml"_s), -1);
  EXPECT_EQ(fnctChooseLanguage(list, 99, current, &loaded), LanguageChoice::Unchanged);

  // Listed before it was written: a listed file that loads is taken.
  const orv::core::tLanguagesList again = orv::core::fnctGetLanguagesList(app_.file(u"lang/"_s));
  EXPECT_EQ(fnctChooseLanguage(again, fnctLanguageIndex(again, u"okay.xml"_s), current, &loaded),
            LanguageChoice::Changed);
  EXPECT_TRUE(loaded.blnLoaded);
}

}  // namespace
