#include "core/language.h"

#include "core/file_utils.h"
#include "core/local_paths.h"
#include "platform/xml.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace orv::core {

tLanguage gLanguage;
tLanguagesList gLanguagesList;

namespace {

// Each name is a section, a group (not for SYSTEM_MENU) and a key joined by "/"; none is
// empty and none repeats.
constexpr bool isWellFormedTable() {
  for (std::size_t i = 0; i < kLanguageTextCount; ++i) {
    const std::u16string_view name = kLanguageTextNames[i];
    const auto slashes = std::count(name.begin(), name.end(), u'/');
    const bool systemMenu = name.starts_with(u"SYSTEM_MENU/");
    if (name.empty() || name.front() == u'/' || name.back() == u'/' || name.find(u"//") != name.npos ||
        slashes != (systemMenu ? 1 : 2)) {
      return false;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (kLanguageTextNames[j] == name) {
        return false;
      }
    }
  }
  return true;
}
static_assert(isWellFormedTable());

constexpr std::size_t countInSection(std::u16string_view section) {
  std::size_t count = 0;
  for (const std::u16string_view name : kLanguageTextNames) {
    if (name.size() > section.size() && name.starts_with(section) && name[section.size()] == u'/') {
      ++count;
    }
  }
  return count;
}
static_assert(countInSection(u"SYSTEM_MENU") == 13 && countInSection(u"TOP_MENU_FORM") == 12 &&
              countInSection(u"SHARES_FORM") == 30 && countInSection(u"UPLOADS_FORM") == 36 &&
              countInSection(u"CONFIG_FORM") == 59 && countInSection(u"HISTORY_FORM") == 19 &&
              countInSection(u"ABOUT") == 10 && countInSection(u"MSGBOX") == 24 && countInSection(u"HTLM") == 59);

QStringView toView(std::u16string_view name) {
  return QStringView(name.data(), static_cast<qsizetype>(name.size()));
}

// The positions of the names sorted by name, for a lookup without allocation.
constexpr std::array<int, kLanguageTextCount> kSortedPositions = [] {
  std::array<int, kLanguageTextCount> result{};
  for (std::size_t i = 0; i < kLanguageTextCount; ++i) {
    result[i] = static_cast<int>(i);
  }
  std::sort(result.begin(), result.end(), [](int a, int b) {
    return kLanguageTextNames[static_cast<std::size_t>(a)] < kLanguageTextNames[static_cast<std::size_t>(b)];
  });
  return result;
}();

}  // namespace

int languageTextIndex(QStringView name) {
  const std::u16string_view wanted(name.utf16(), static_cast<std::size_t>(name.size()));
  const auto found = std::lower_bound(kSortedPositions.begin(), kSortedPositions.end(), wanted,
                                      [](int position, std::u16string_view value) {
                                        return kLanguageTextNames[static_cast<std::size_t>(position)] < value;
                                      });
  if (found == kSortedPositions.end() || kLanguageTextNames[static_cast<std::size_t>(*found)] != wanted) {
    return -1;
  }
  return *found;
}

QString tLanguage::text(QStringView name) const {
  const int index = languageTextIndex(name);
  Q_ASSERT_X(index >= 0, "tLanguage::text", qPrintable(QStringLiteral("no language text named ") + name.toString()));
  return index < 0 ? QString() : texts[static_cast<std::size_t>(index)];
}

void tLanguage::setText(QStringView name, const QString& value) {
  const int index = languageTextIndex(name);
  Q_ASSERT_X(index >= 0, "tLanguage::setText", qPrintable(QStringLiteral("no language text named ") + name.toString()));
  if (index >= 0) {
    texts[static_cast<std::size_t>(index)] = value;
  }
}

tLanguage fnctLoadLanguage(const QString& path) {
  if (fnctFileExists(path, false) != ExistenceCode::Usable) {
    return {};
  }
  const xml::Document document = xml::Document::fromFile(path);
  if (document.isNull()) {
    return {};
  }
  const xml::Element content = document.firstDescendantElement(QStringLiteral("CONTENT"));
  if (content.isNull()) {
    return {};
  }

  // Every lookup takes the first element of its name below its parent, so a group must come
  // before any key of the same name in its section (HTLM/OTHER before HTLM/SECTIONS_TITLES).
  // The table holds each section's and each group's names together, so each section and
  // group is looked up once. DEBUG_FORM may stand among the sections; nothing in it is read.
  tLanguage language;
  QString sectionName;
  QString groupName;
  xml::Element section;
  xml::Element group;
  for (std::size_t i = 0; i < kLanguageTextCount; ++i) {
    const QStringList parts = toView(kLanguageTextNames[i]).toString().split(QLatin1Char('/'));
    if (parts.first() != sectionName) {
      sectionName = parts.first();
      section = content.firstDescendantElement(sectionName);
      groupName.clear();
    }
    xml::Element parent = section;
    if (parts.size() == 3) {
      if (parts.at(1) != groupName) {
        groupName = parts.at(1);
        group = section.firstDescendantElement(groupName);
      }
      parent = group;
    }
    const xml::Element key = parent.firstDescendantElement(parts.last());
    if (key.isNull()) {
      return {};
    }
    language.texts[i] = key.textContent();
  }
  language.blnLoaded = true;
  return language;
}

tLanguagesList fnctGetLanguagesList(const QString& folder) {
  tLanguagesList list;
  if (fnctFolderExists(folder, false) != ExistenceCode::Usable) {
    return list;
  }
  const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');

  // Regular files only (FIFOs and devices would block a read), hidden ones included. The file
  // system lists in no useful order: sort by name, ignoring case, so the language chooser
  // and the choice between two names that differ only in case are the same on every run.
  QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::NoSort);
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
  });

  static const QString kHeaderNames[] = {
      QStringLiteral("LANGUAGE"),
      QStringLiteral("ABBREVIATION"),
      QStringLiteral("EMAIL"),
      QStringLiteral("FILE_VERSION"),
      QStringLiteral("MAX_APP_VERSION_COMPATIBLILITY"),
      QStringLiteral("DATE"),
      QStringLiteral("AUTHOR"),
      QStringLiteral("HELP_FILE"),
      QStringLiteral("COMPLETE"),
  };
  enum { kLanguage, kAbbreviation, kEmail, kFileVersion, kMaxAppVersion, kDate, kAuthor, kHelpFile, kComplete };

  for (const QString& name : names) {
    if (getFileExtension(name).compare(QLatin1String("xml"), Qt::CaseInsensitive) != 0 ||
        list.colFileName.contains(name)) {
      continue;
    }
    const QString path = base + name;
    const xml::Document document = xml::Document::fromFile(path);
    const xml::Element header = document.firstDescendantElement(QStringLiteral("HEADER"));
    if (header.isNull()) {
      continue;
    }
    QString values[std::size(kHeaderNames)];
    bool allPresent = true;
    for (std::size_t i = 0; i < std::size(kHeaderNames) && allPresent; ++i) {
      const xml::Element element = header.firstDescendantElement(kHeaderNames[i]);
      allPresent = !element.isNull();
      values[i] = element.textContent();
    }
    if (!allPresent || values[kLanguage].isEmpty() || values[kAbbreviation].isEmpty() ||
        values[kFileVersion].isEmpty() || values[kMaxAppVersion].isEmpty()) {
      continue;
    }
    list.colPath.add(path, name);
    list.colFileName.add(name, name);
    list.colFileVersion.add(values[kFileVersion], name);
    list.colLanguage.add(values[kLanguage], name);
    list.colAbbreviation.add(values[kAbbreviation], name);
    list.colDate.add(values[kDate], name);
    list.colAuthor.add(values[kAuthor], name);
    list.colEmail.add(values[kEmail], name);
    list.colMaxAppVersion.add(values[kMaxAppVersion], name);
    list.colHelpFile.add(values[kHelpFile], name);
    list.colComplete.add(values[kComplete].compare(QLatin1String("true"), Qt::CaseInsensitive) == 0, name);
  }
  return list;
}

}  // namespace orv::core
