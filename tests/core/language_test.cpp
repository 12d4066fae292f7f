#include "core/language.h"

#include "core/app_info.h"

#include "support/file_permissions.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::fnctGetLanguagesList;
using orv::core::fnctLoadLanguage;
using orv::core::kLanguageTextCount;
using orv::core::kLanguageTextNames;
using orv::core::languageTextIndex;
using orv::core::tLanguage;
using orv::core::tLanguagesList;

QString nameAt(std::size_t i) {
  return QStringView(kLanguageTextNames[i].data(), static_cast<qsizetype>(kLanguageTextNames[i].size())).toString();
}

QString escaped(const QString& text) {
  return text.toHtmlEscaped();
}

// ---- A language file written from the record's table, with the knobs the cases need ----

struct LanguageFileSpec {
  // The text of each name; nothing leaves the element out.
  std::function<std::optional<QString>(const QString& name)> text = [](const QString& name) {
    return std::optional<QString>(u"text of "_s + name);
  };
  bool debugForm = true;
  bool sectionsTitlesBeforeOther = false;
  QString rootName = u"LANGUAGE_FILE"_s;
  // Header elements in order; a missing value leaves the element out.
  std::vector<std::pair<QString, std::optional<QString>>> header = {
      {u"LANGUAGE"_s, u"Testish"_s},
      {u"ABBREVIATION"_s, u"tt"_s},
      {u"EMAIL"_s, u"t@example.org"_s},
      {u"FILE_VERSION"_s, u"1.0"_s},
      {u"MAX_APP_VERSION_COMPATIBLILITY"_s, u"1.02"_s},
      {u"DATE"_s, u"2006-11-02"_s},
      {u"AUTHOR"_s, u"Tester"_s},
      {u"HELP_FILE"_s, u"test.html"_s},
      {u"COMPLETE"_s, u"true"_s},
  };
};

void setHeader(LanguageFileSpec& spec, const QString& element, std::optional<QString> value) {
  for (auto& [name, text] : spec.header) {
    if (name == element) {
      text = std::move(value);
    }
  }
}

QByteArray languageFile(const LanguageFileSpec& spec) {
  // Sections, then groups, then keys, in the order of the table.
  std::vector<std::pair<QString, std::vector<std::pair<QString, std::vector<QString>>>>> sections;
  for (std::size_t i = 0; i < kLanguageTextCount; ++i) {
    const QString name = nameAt(i);
    const QStringList parts = name.split(u'/');
    const QString group = parts.size() == 3 ? parts.at(1) : QString();
    if (sections.empty() || sections.back().first != parts.first()) {
      sections.push_back({parts.first(), {}});
    }
    auto& groups = sections.back().second;
    if (groups.empty() || groups.back().first != group) {
      groups.push_back({group, {}});
    }
    groups.back().second.push_back(name);
  }

  QString xml = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<"_s + spec.rootName + u">\n<HEADER>"_s;
  for (const auto& [element, value] : spec.header) {
    if (value) {
      xml += u'<' + element + u'>' + escaped(*value) + u"</"_s + element + u'>';
    }
  }
  xml += u"</HEADER>\n<CONTENT>\n"_s;
  for (auto& [section, groups] : sections) {
    if (section == u"ABOUT"_s && spec.debugForm) {
      xml += u"<DEBUG_FORM><LABELS><ANYTHING>not read</ANYTHING></LABELS></DEBUG_FORM>\n"_s;
    }
    if (section == u"HTLM"_s && spec.sectionsTitlesBeforeOther) {
      std::swap(groups[0], groups[2]);  // OTHER, FILTER, SECTIONS_TITLES
    }
    xml += u'<' + section + u'>';
    for (const auto& [group, names] : groups) {
      if (!group.isEmpty()) {
        xml += u'<' + group + u'>';
      }
      for (const QString& name : names) {
        const QString key = name.section(u'/', -1);
        if (const std::optional<QString> text = spec.text(name)) {
          xml += u'<' + key + u'>' + escaped(*text) + u"</"_s + key + u'>';
        }
      }
      if (!group.isEmpty()) {
        xml += u"</"_s + group + u'>';
      }
    }
    xml += u"</"_s + section + u">\n"_s;
  }
  xml += u"</CONTENT>\n</"_s + spec.rootName + u">\n"_s;
  return xml.toUtf8();
}

// A test name made of the case's words.
std::string caseName(const char* what) {
  std::string name;
  for (const char* c = what; *c != '\0'; ++c) {
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  }
  return name;
}

bool isEmptyRecord(const tLanguage& language) {
  return !language.blnLoaded &&
         std::all_of(language.texts.begin(), language.texts.end(), [](const QString& t) { return t.isEmpty(); });
}

std::size_t listCount(const tLanguagesList& list) {
  const qsizetype count = list.colPath.count();
  // The eleven lists are filled together: one key finds one file in every list.
  EXPECT_EQ(list.colFileName.count(), count);
  EXPECT_EQ(list.colFileVersion.count(), count);
  EXPECT_EQ(list.colLanguage.count(), count);
  EXPECT_EQ(list.colAbbreviation.count(), count);
  EXPECT_EQ(list.colDate.count(), count);
  EXPECT_EQ(list.colAuthor.count(), count);
  EXPECT_EQ(list.colEmail.count(), count);
  EXPECT_EQ(list.colMaxAppVersion.count(), count);
  EXPECT_EQ(list.colHelpFile.count(), count);
  EXPECT_EQ(list.colComplete.count(), count);
  return static_cast<std::size_t>(count);
}

// ---- The names of the record ----

TEST(LanguageNames, EveryNameFindsItsOwnPositionAndNothingElseMatches) {
  for (std::size_t i = 0; i < kLanguageTextCount; ++i) {
    EXPECT_EQ(languageTextIndex(nameAt(i)), static_cast<int>(i)) << nameAt(i).toStdString();
  }
  const QString unknown[] = {u""_s,
                             u"HTLM"_s,
                             u"HTLM/OTHER"_s,
                             u"htlm/other/byte"_s,
                             u"HTLM/OTHER/BYTE/"_s,
                             u"HTLM/OTHER/BYTEZ"_s,
                             u"SYSTEM_MENU/TOOLBAR/START_SERVER"_s,
                             u"/HTLM/OTHER/BYTE"_s};
  for (const QString& name : unknown) {
    EXPECT_EQ(languageTextIndex(name), -1) << name.toStdString();
  }
}

TEST(LanguageNames, RecordOrderStartsAndEndsAsTheFileLayoutSays) {
  EXPECT_EQ(nameAt(0), u"SYSTEM_MENU/STARTED_SERVER"_s);
  EXPECT_EQ(nameAt(13), u"TOP_MENU_FORM/TOOLBAR/STARTED_SERVER_LABEL"_s);
  EXPECT_EQ(nameAt(kLanguageTextCount - 1), u"HTLM/IDENTIFICATION/SUBMIT"_s);
  // HTLM holds a key twice under different groups.
  EXPECT_NE(languageTextIndex(u"HTLM/TOOLTIPS/TITLE"), languageTextIndex(u"HTLM/IDENTIFICATION/TITLE"));
}

TEST(LanguageNames, TextsAreSetAndReadByName) {
  tLanguage language;
  EXPECT_EQ(language.text(u"HTLM/OTHER/BYTE"), QString());
  language.setText(u"HTLM/OTHER/BYTE", u"byte"_s);
  language.setText(u"HTLM/TOOLTIPS/TITLE", u"Title"_s);
  EXPECT_EQ(language.text(u"HTLM/OTHER/BYTE"), u"byte"_s);
  EXPECT_EQ(language.text(u"HTLM/TOOLTIPS/TITLE"), u"Title"_s);
  EXPECT_EQ(language.text(u"HTLM/IDENTIFICATION/TITLE"), QString());
}

TEST(LanguageNamesDeathTest, AnUnknownNameIsCaughtInDebugBuilds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  tLanguage language;
#ifndef QT_NO_DEBUG
  EXPECT_DEATH(static_cast<void>(language.text(u"HTLM/OTHER/BYTEZ")), "no language text named HTLM/OTHER/BYTEZ");
#else
  EXPECT_EQ(language.text(u"HTLM/OTHER/BYTEZ"), QString());
#endif
}

// ---- The English file shipped with the program ----

QString sourceLangFolder() {
  return QStringLiteral(ORV_SOURCE_DIR "/lang/");
}

TEST(EnglishLanguageFile, LoadsWithEveryTextPresentAndNotEmpty) {
  for (const QString& folder : {sourceLangFolder(), QStringLiteral(ORV_APP_DIR "/lang/")}) {
    const tLanguage english = fnctLoadLanguage(folder + u"english.xml"_s);
    ASSERT_TRUE(english.blnLoaded) << folder.toStdString();
    for (std::size_t i = 0; i < kLanguageTextCount; ++i) {
      EXPECT_FALSE(english.texts[i].trimmed().isEmpty()) << nameAt(i).toStdString();
    }
    // The key that shares its name with a group is read from its own group.
    EXPECT_EQ(english.text(u"HTLM/SECTIONS_TITLES/OTHER"), u"Other files"_s);
    EXPECT_EQ(english.text(u"HTLM/OTHER/BYTES"), u"bytes"_s);
  }
}

TEST(EnglishLanguageFile, IsListedWithItsHeaderAndAHelpFileThatExists) {
  const tLanguagesList list = fnctGetLanguagesList(sourceLangFolder());
  const QString key = u"english.xml"_s;
  ASSERT_TRUE(list.colFileName.contains(key));
  EXPECT_EQ(list.colPath.value(key), sourceLangFolder() + key);
  EXPECT_EQ(list.colLanguage.value(key), u"English"_s);
  EXPECT_EQ(list.colAbbreviation.value(key), u"en"_s);
  EXPECT_EQ(list.colAuthor.value(key), u"Orvendale developers"_s);
  EXPECT_FALSE(list.colEmail.value(key).isEmpty());
  EXPECT_FALSE(list.colFileVersion.value(key).isEmpty());
  EXPECT_FALSE(list.colDate.value(key).isEmpty());
  EXPECT_TRUE(list.colComplete.value(key));
  const QString help = list.colHelpFile.value(key);
  EXPECT_TRUE(QFileInfo(QStringLiteral(ORV_SOURCE_DIR "/help/") + help).isFile()) << help.toStdString();
  EXPECT_TRUE(QFileInfo(QStringLiteral(ORV_APP_DIR "/help/") + help).isFile()) << help.toStdString();

  // The start-up check removes the dots and compares with the compact version.
  EXPECT_EQ(list.colMaxAppVersion.value(key), u"1.02"_s);
  EXPECT_GE(QString(list.colMaxAppVersion.value(key)).remove(u'.').toShort(), orv::core::compactVersion());
}

TEST(EnglishLanguageFile, TextsJoinedIntoOtherTextsStayUsableThere) {
  const tLanguage english = fnctLoadLanguage(sourceLangFolder() + u"english.xml"_s);
  ASSERT_TRUE(english.blnLoaded);
  // The group stylesheet holds these inside double-quoted attribute values, unescaped.
  for (const auto name : {u"HTLM/GROUP/NULL_CAPACITY", u"HTLM/GROUP/SMALL_CAPACITY", u"HTLM/GROUP/AVERAGE_CAPACITY",
                          u"HTLM/GROUP/BIG_CAPACITY", u"HTLM/GROUP/FILES"}) {
    const QString text = english.text(name);
    EXPECT_FALSE(text.contains(u'"') || text.contains(u'<') || text.contains(u'&')) << text.toStdString();
  }
  // The Basic challenge puts INFO between double quotes as its realm.
  EXPECT_FALSE(english.text(u"HTLM/IDENTIFICATION/INFO").contains(u'"'));
  // Menu captions and labels: a "&" would become a keyboard accelerator.
  for (std::size_t i = 0; i < kLanguageTextCount; ++i) {
    EXPECT_FALSE(english.texts[i].contains(u'&')) << nameAt(i).toStdString();
    EXPECT_EQ(english.texts[i], english.texts[i].trimmed()) << nameAt(i).toStdString();
  }
}

// ---- Loading: the cases of a language file ----

struct LoadCase {
  const char* what;
  std::function<void(LanguageFileSpec&)> change;
  bool loads;
};

class LanguageLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LanguageLoad, LoadsOnlyWhenEveryTextIsThere) {
  LanguageFileSpec spec;
  GetParam().change(spec);
  TempFolder folder;
  const tLanguage language = fnctLoadLanguage(folder.write(u"test.xml"_s, languageFile(spec)));
  if (!GetParam().loads) {
    EXPECT_TRUE(isEmptyRecord(language));
    return;
  }
  ASSERT_TRUE(language.blnLoaded);
  for (std::size_t i = 0; i < kLanguageTextCount; ++i) {
    EXPECT_EQ(language.texts[i], spec.text(nameAt(i)).value_or(u"?"_s)) << nameAt(i).toStdString();
  }
}

std::function<std::optional<QString>(const QString&)> except(const QString& which, std::optional<QString> value) {
  return [which, value](const QString& name) {
    return name == which ? value : std::optional<QString>(u"text of "_s + name);
  };
}

const LoadCase kLoadCases[] = {
    {"a complete file", [](LanguageFileSpec&) {}, true},
    {"one key missing", [](LanguageFileSpec& s) { s.text = except(u"HTLM/IDENTIFICATION/SUBMIT"_s, std::nullopt); },
     false},
    {"the first key missing",
     [](LanguageFileSpec& s) { s.text = except(u"SYSTEM_MENU/STARTED_SERVER"_s, std::nullopt); }, false},
    {"one key present but empty", [](LanguageFileSpec& s) { s.text = except(u"HTLM/IDENTIFICATION/SUBMIT"_s, u""_s); },
     true},
    {"no DEBUG_FORM", [](LanguageFileSpec& s) { s.debugForm = false; }, true},
    {"SECTIONS_TITLES before the group OTHER", [](LanguageFileSpec& s) { s.sectionsTitlesBeforeOther = true; }, false},
    {"any root element name", [](LanguageFileSpec& s) { s.rootName = u"whatever"_s; }, true},
    {"no header at all", [](LanguageFileSpec& s) { s.header.clear(); }, true},
    {"texts kept without trimming, markup characters decoded",
     [](LanguageFileSpec& s) { s.text = except(u"MSGBOX/ERRORS/INVALID_IP"_s, u"  a < b & \"c\" \n line  "_s); }, true},
    {"non-ASCII texts",
     [](LanguageFileSpec& s) { s.text = except(u"HTLM/OTHER/BYTE"_s, u"octet \u00e9\u4e2d\U0001F600"_s); }, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, LanguageLoad, ::testing::ValuesIn(kLoadCases),
                         [](const ::testing::TestParamInfo<LoadCase>& row) { return caseName(row.param.what); });

// Edits the generated file's text directly, for layouts the generator does not make.
tLanguage loadEdited(const std::function<void(QString&)>& edit) {
  QString xml = QString::fromUtf8(languageFile({}));
  edit(xml);
  TempFolder folder;
  return fnctLoadLanguage(folder.write(u"edited.xml"_s, xml.toUtf8()));
}

TEST(LanguageLoadLayout, EachElementIsTheFirstOfItsNameAmongAllDescendants) {
  // A key wrapped in an extra element is still found below its group.
  tLanguage wrapped = loadEdited([](QString& xml) {
    xml.replace(u"<BYTE>text of HTLM/OTHER/BYTE</BYTE>"_s, u"<span><BYTE>wrapped</BYTE></span>"_s);
  });
  ASSERT_TRUE(wrapped.blnLoaded);
  EXPECT_EQ(wrapped.text(u"HTLM/OTHER/BYTE"), u"wrapped"_s);

  // Of two elements of a key's name, the first in document order wins.
  tLanguage twice = loadEdited([](QString& xml) { xml.replace(u"<OBJECTS>"_s, u"<BYTE>first</BYTE><OBJECTS>"_s); });
  ASSERT_TRUE(twice.blnLoaded);
  EXPECT_EQ(twice.text(u"HTLM/OTHER/BYTE"), u"first"_s);

  // A CONTENT inside the header comes first in the document and holds no section.
  tLanguage shadowed = loadEdited([](QString& xml) { xml.replace(u"<HEADER>"_s, u"<HEADER><CONTENT/>"_s); });
  EXPECT_TRUE(isEmptyRecord(shadowed));

  // Sections in another order still load.
  tLanguage reordered = loadEdited([](QString& xml) {
    const qsizetype start = xml.indexOf(u"<SYSTEM_MENU>"_s);
    const qsizetype end = xml.indexOf(u"</SYSTEM_MENU>"_s) + 14;
    const QString systemMenu = xml.mid(start, end - start);
    xml.remove(start, end - start);
    xml.replace(u"</CONTENT>"_s, systemMenu + u"</CONTENT>"_s);
  });
  EXPECT_TRUE(reordered.blnLoaded);

  // A key's text is every text and CDATA piece inside it; comments are not text.
  tLanguage mixed = loadEdited([](QString& xml) {
    xml.replace(u"<BYTE>text of HTLM/OTHER/BYTE</BYTE>"_s, u"<BYTE>by<!-- note --><![CDATA[<t>]]><i>e</i></BYTE>"_s);
  });
  ASSERT_TRUE(mixed.blnLoaded);
  EXPECT_EQ(mixed.text(u"HTLM/OTHER/BYTE"), u"by<t>e"_s);
}

TEST(LanguageLoadFailure, MissingUnreadableAndHostileFilesGiveTheEmptyRecord) {
  TempFolder folder;
  const QByteArray good = languageFile({});
  EXPECT_TRUE(fnctLoadLanguage(folder.write(u"good.xml"_s, good)).blnLoaded);

  const std::pair<const char*, QByteArray> cases[] = {
      {"empty file", QByteArray()},
      {"not XML", QByteArray("MZ\x90\x00\x03\x00\x00\x00\xff\xfe binary", 18)},
      {"plain text", "SYSTEM_MENU/STARTED_SERVER = Started\n"},
      {"truncated in the middle", good.left(good.size() / 2)},
      {"truncated before the last close tag", good.left(good.lastIndexOf("</"))},
      {"mismatched tags", QByteArray(good).replace("</CONTENT>", "</CONTENTS>")},
      {"a NUL byte inside", QByteArray(good).replace("text of HTLM/FILTER/VALIDATE", QByteArray("Ap\0ply", 6))},
      {"invalid UTF-8", QByteArray(good).replace("text of HTLM/OTHER/BYTE", "caf\xe9 \xff\xfe")},
      {"an unknown declared encoding", QByteArray(good).replace("encoding=\"UTF-8\"", "encoding=\"x-no-such\"")},
      {"nesting deeper than the parser allows",
       QByteArray("<r>").repeated(100000) + QByteArray("</r>").repeated(100000)},
  };
  for (const auto& [what, bytes] : cases) {
    ASSERT_NE(bytes, good) << what;
    EXPECT_TRUE(isEmptyRecord(fnctLoadLanguage(folder.write(u"bad.xml"_s, bytes)))) << what;
  }

  EXPECT_TRUE(isEmptyRecord(fnctLoadLanguage(folder.file(u"missing.xml"_s))));
  EXPECT_TRUE(isEmptyRecord(fnctLoadLanguage(QString())));
  EXPECT_TRUE(isEmptyRecord(fnctLoadLanguage(folder.makeFolder(u"folder.xml"_s))));
  // Two slashes in a row are refused as a path, whatever the disk holds.
  EXPECT_TRUE(isEmptyRecord(fnctLoadLanguage(folder.path() + u"//good.xml"_s)));

  const QString locked = folder.write(u"locked.xml"_s, good);
  QFile::setPermissions(locked, QFileDevice::WriteOwner);
  const ObeyFilePermissions obey;
  ASSERT_TRUE(obey.binding());
  EXPECT_TRUE(isEmptyRecord(fnctLoadLanguage(locked)));
}

TEST(LanguageLoadEncodings, TheFileIsDecodedFromTheEncodingItDeclares) {
  TempFolder folder;
  const QString english = QString::fromUtf8(languageFile({})).replace(u"text of HTLM/OTHER/BYTE"_s, u"caf\u00e9"_s);

  QString latin1 = english;
  latin1.replace(u"encoding=\"UTF-8\""_s, u"encoding=\"ISO-8859-1\""_s);
  const tLanguage fromLatin1 = fnctLoadLanguage(folder.write(u"latin1.xml"_s, latin1.toLatin1()));
  ASSERT_TRUE(fromLatin1.blnLoaded);
  EXPECT_EQ(fromLatin1.text(u"HTLM/OTHER/BYTE"), u"caf\u00e9"_s);

  QString utf16 = english;
  utf16.replace(u"encoding=\"UTF-8\""_s, u"encoding=\"UTF-16\""_s);
  QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
  const tLanguage fromUtf16 = fnctLoadLanguage(folder.write(u"utf16.xml"_s, encoder.encode(utf16)));
  ASSERT_TRUE(fromUtf16.blnLoaded);
  EXPECT_EQ(fromUtf16.text(u"HTLM/OTHER/BYTE"), u"caf\u00e9"_s);
}

TEST(LanguageLoadFailure, EntityReferencesAreNeverExpanded) {
  TempFolder folder;
  const QString secret = folder.write(u"secret.txt"_s, "TOP-SECRET");
  QByteArray bytes = languageFile({});
  // Exponential internal entities and an external one, used in a key.
  const QByteArray doctype =
      "<!DOCTYPE LANGUAGE_FILE [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">"
      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY x SYSTEM \"file://" +
      secret.toUtf8() + "\">]>\n";
  bytes.insert(bytes.indexOf("<LANGUAGE_FILE>"), doctype);
  bytes.replace("text of HTLM/OTHER/BYTE", "[&e;&e;&e;&e;&x;]");
  const tLanguage language = fnctLoadLanguage(folder.write(u"entities.xml"_s, bytes));
  const QString text = language.text(u"HTLM/OTHER/BYTE");
  EXPECT_LT(text.size(), 100);
  EXPECT_FALSE(text.contains(u"TOP-SECRET"_s));
}

// ---- The list of language files ----

TEST(LanguagesList, ListsXmlFilesByExtensionIgnoringCase) {
  TempFolder folder;
  const QByteArray good = languageFile({});
  folder.write(u"French.XML"_s, good);
  folder.write(u"fr.xml.bak"_s, good);
  folder.write(u"notes.txt"_s, good);
  folder.write(u"german.xml"_s, "not a language file at all");
  folder.makeFolder(u"sub.xml"_s);
  folder.write(u"sub.xml/inner.xml"_s, good);

  const QString base = folder.path() + u'/';
  const tLanguagesList list = fnctGetLanguagesList(base);
  ASSERT_EQ(listCount(list), 1u);
  EXPECT_EQ(list.colFileName.at(1), u"French.XML"_s);
  EXPECT_TRUE(list.colLanguage.contains(u"french.xml"_s));  // keys ignore case
  EXPECT_EQ(list.colPath.value(u"French.XML"_s), base + u"French.XML"_s);
  EXPECT_EQ(list.colLanguage.value(u"French.XML"_s), u"Testish"_s);
  EXPECT_EQ(list.colAbbreviation.value(u"French.XML"_s), u"tt"_s);
  EXPECT_EQ(list.colEmail.value(u"French.XML"_s), u"t@example.org"_s);
  EXPECT_EQ(list.colFileVersion.value(u"French.XML"_s), u"1.0"_s);
  EXPECT_EQ(list.colMaxAppVersion.value(u"French.XML"_s), u"1.02"_s);
  EXPECT_EQ(list.colDate.value(u"French.XML"_s), u"2006-11-02"_s);
  EXPECT_EQ(list.colAuthor.value(u"French.XML"_s), u"Tester"_s);
  EXPECT_EQ(list.colHelpFile.value(u"French.XML"_s), u"test.html"_s);
  EXPECT_TRUE(list.colComplete.value(u"French.XML"_s));
}

struct HeaderCase {
  const char* what;
  const char* element;
  std::optional<QString> value;
  bool listed;
};

class LanguagesListHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(LanguagesListHeader, NeedsEveryHeaderElementAndFourNonEmptyTexts) {
  LanguageFileSpec spec;
  setHeader(spec, QString::fromLatin1(GetParam().element), GetParam().value);
  TempFolder folder;
  folder.write(u"one.xml"_s, languageFile(spec));
  EXPECT_EQ(listCount(fnctGetLanguagesList(folder.path() + u'/')), GetParam().listed ? 1u : 0u);
}

const HeaderCase kHeaderCases[] = {
    {"EMAIL absent", "EMAIL", std::nullopt, false},
    {"EMAIL empty", "EMAIL", u""_s, true},
    {"DATE empty", "DATE", u""_s, true},
    {"AUTHOR empty", "AUTHOR", u""_s, true},
    {"HELP_FILE empty", "HELP_FILE", u""_s, true},
    {"COMPLETE empty", "COMPLETE", u""_s, true},
    {"COMPLETE absent", "COMPLETE", std::nullopt, false},
    {"HELP_FILE absent", "HELP_FILE", std::nullopt, false},
    {"LANGUAGE empty", "LANGUAGE", u""_s, false},
    {"ABBREVIATION empty", "ABBREVIATION", u""_s, false},
    {"FILE_VERSION empty", "FILE_VERSION", u""_s, false},
    {"MAX_APP_VERSION_COMPATIBLILITY empty", "MAX_APP_VERSION_COMPATIBLILITY", u""_s, false},
    {"LANGUAGE absent", "LANGUAGE", std::nullopt, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, LanguagesListHeader, ::testing::ValuesIn(kHeaderCases),
                         [](const ::testing::TestParamInfo<HeaderCase>& row) { return caseName(row.param.what); });

TEST(LanguagesList, CompleteIsTrueOnlyForTheWordTrue) {
  const std::pair<QString, bool> cases[] = {{u"true"_s, true},   {u"TRUE"_s, true}, {u"True"_s, true},
                                            {u"false"_s, false}, {u"yes"_s, false}, {u" true"_s, false}};
  for (const auto& [text, complete] : cases) {
    LanguageFileSpec spec;
    setHeader(spec, u"COMPLETE"_s, text);
    TempFolder folder;
    folder.write(u"one.xml"_s, languageFile(spec));
    const tLanguagesList list = fnctGetLanguagesList(folder.path() + u'/');
    ASSERT_EQ(listCount(list), 1u);
    EXPECT_EQ(list.colComplete.at(1), complete) << text.toStdString();
  }
}

TEST(LanguagesList, ReadsOnlyTheHeaderAndSkipsBadFilesOneByOne) {
  TempFolder folder;
  // A header alone is enough to be listed; loading is another matter.
  LanguageFileSpec headerOnly;
  headerOnly.text = [](const QString&) { return std::optional<QString>(); };
  folder.write(u"a.xml"_s, languageFile(headerOnly));
  folder.write(u"b.xml"_s, "<broken>");
  folder.write(u"c.xml"_s, QByteArray("\x00\x01\x02\xff", 4));
  folder.write(u"d.xml"_s, QByteArray());
  folder.write(u"e.xml"_s, languageFile({}));
  const tLanguagesList list = fnctGetLanguagesList(folder.path() + u'/');
  ASSERT_EQ(listCount(list), 2u);
  EXPECT_EQ(list.colFileName.at(1), u"a.xml"_s);
  EXPECT_EQ(list.colFileName.at(2), u"e.xml"_s);
  EXPECT_FALSE(fnctLoadLanguage(list.colPath.at(1)).blnLoaded);
  EXPECT_TRUE(fnctLoadLanguage(list.colPath.at(2)).blnLoaded);
}

TEST(LanguagesList, OrderIsByNameAndNamesDifferingInCaseGiveOneEntry) {
  TempFolder folder;
  const QByteArray good = languageFile({});
  for (const QString& name : {u"zulu.xml"_s, u"Beta.xml"_s, u"alpha.xml"_s, u"beta.xml"_s}) {
    folder.write(name, good);
  }
  const tLanguagesList list = fnctGetLanguagesList(folder.path() + u'/');
  ASSERT_EQ(listCount(list), 3u);
  EXPECT_EQ(list.colFileName.at(1), u"alpha.xml"_s);
  EXPECT_EQ(list.colFileName.at(2), u"Beta.xml"_s);
  EXPECT_EQ(list.colFileName.at(3), u"zulu.xml"_s);
  EXPECT_EQ(list.colPath.value(u"BETA.XML"_s), folder.path() + u"/Beta.xml"_s);
}

TEST(LanguagesList, MissingOrUnusableFoldersGiveAnEmptyList) {
  TempFolder folder;
  folder.write(u"one.xml"_s, languageFile({}));
  EXPECT_EQ(listCount(fnctGetLanguagesList(folder.file(u"missing/"_s))), 0u);
  EXPECT_EQ(listCount(fnctGetLanguagesList(QString())), 0u);
  EXPECT_EQ(listCount(fnctGetLanguagesList(folder.file(u"one.xml"_s))), 0u);  // a file, not a folder
  EXPECT_EQ(listCount(fnctGetLanguagesList(folder.path() + u"//"_s)), 0u);
  const QString empty = folder.makeFolder(u"empty"_s) + u'/';
  EXPECT_EQ(listCount(fnctGetLanguagesList(empty)), 0u);

  // Without its trailing "/" the folder still lists, and the paths come out whole.
  const tLanguagesList list = fnctGetLanguagesList(folder.path());
  ASSERT_EQ(listCount(list), 1u);
  EXPECT_EQ(list.colPath.at(1), folder.path() + u"/one.xml"_s);
}

}  // namespace
