#pragma once

// Shared set-up of the page builder tests: the global records a page reads, files with
// chosen bytes and dates, and readers that turn a built section into short texts.

#include "content/build_xml_page.h"
#include "content/mp3_reader.h"
#include "content/xsl_stylesheets.h"
#include "core/configuration.h"
#include "core/language.h"
#include "platform/file_system.h"
#include "platform/xml.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <memory>

namespace page_fixture {

inline QString s(const char* text) {
  return QString::fromUtf8(text);
}

inline QStringList words(const char* text) {
  return s(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The bytes of a 128-byte ID3v1.1 tag after a little MPEG frame: an MP3 file the reader
// gets an artist, an album and a title from.
inline QByteArray mp3Bytes(const QByteArray& title, const QByteArray& artist, const QByteArray& album) {
  const auto fixed = [](const QByteArray& text, int width) { return (text + QByteArray(width, '\0')).left(width); };
  QByteArray frame(417, '\0');
  frame[0] = '\xFF';
  frame[1] = '\xFB';
  frame[2] = '\x90';
  return frame + "TAG" + fixed(title, 30) + fixed(artist, 30) + fixed(album, 30) + fixed("2004", 4) +
         fixed("comment", 28) + '\0' + '\x03' + '\x0C';
}

// A file whose name is the given bytes, written with the given bytes and a last write at
// the given local time (whole seconds).
inline QString writeRaw(const QString& folder, const QByteArray& name, const QByteArray& bytes = "data",
                        const QDateTime& written = {}) {
  const QByteArray path = orv::platform::nativePath(folder) + '/' + name;
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  EXPECT_GE(fd, 0) << path.constData();
  if (fd >= 0) {
    EXPECT_EQ(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
    if (written.isValid()) {
      const struct timespec times[2] = {{written.toSecsSinceEpoch(), 0}, {written.toSecsSinceEpoch(), 0}};
      EXPECT_EQ(::futimens(fd, times), 0);
    }
    ::close(fd);
  }
  return orv::platform::pathFromNative(path);
}

inline QString makeRawFolder(const QString& folder, const QByteArray& name, const QDateTime& written = {}) {
  const QByteArray path = orv::platform::nativePath(folder) + '/' + name;
  EXPECT_EQ(::mkdir(path.constData(), 0755), 0) << path.constData();
  if (written.isValid()) {
    const struct timespec times[2] = {{written.toSecsSinceEpoch(), 0}, {written.toSecsSinceEpoch(), 0}};
    EXPECT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
  }
  return orv::platform::pathFromNative(path);
}

inline QDateTime at(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

// "group name: item name, item name" for each group of the section, in order; a group
// without a name shows as "-".
inline QStringList groupsOf(const orv::xml::Element& section) {
  QStringList groups;
  for (const orv::xml::Element& group : section.childElements(s("group"))) {
    QStringList names;
    for (const orv::xml::Element& item : group.childElements(s("item"))) {
      names << item.firstChildElement(s("name")).text();
    }
    const QString name = group.hasAttribute(s("name")) ? group.attribute(s("name")) : s("-");
    groups << name + s(": ") + names.join(s(", "));
  }
  return groups;
}

// The names of every item of the section, in document order, groups or not.
inline QStringList itemNamesOf(const orv::xml::Element& section) {
  QStringList names;
  for (orv::xml::Element child = section.firstChildElement(); child; child = child.nextSiblingElement()) {
    if (child.name() == s("item")) {
      names << child.firstChildElement(s("name")).text();
    } else {
      for (const orv::xml::Element& item : child.childElements(s("item"))) {
        names << item.firstChildElement(s("name")).text();
      }
    }
  }
  return names;
}

// The sections of a page document (or the one section of a fragment), by type.
inline orv::xml::Element sectionOf(const orv::xml::Document& document, const char* type) {
  const orv::xml::Element root = document.documentElement();
  if (root.name() == s("section")) {
    return root.attribute(s("type")) == s(type) ? root : orv::xml::Element();
  }
  for (const orv::xml::Element& section : root.childElements(s("section"))) {
    if (section.attribute(s("type")) == s(type)) {
      return section;
    }
  }
  return {};
}

// One section's display values for a builder: showby, sortby, sortorder, showgroup, filter.
struct Display {
  QString showby = s("list");
  QString sortby = s("name");
  QString sortorder = s("ascending");
  QString showgroup = s("true");
  QString filter;
};

struct Share {
  bool physicalFolder = true;
  bool virtualFolder = true;
  bool other = true;
  bool sound = true;
  bool image = true;
  bool video = true;
};

// A builder with its properties set in the order the request engine sets them.
inline std::unique_ptr<orv::content::usrBuildXmlPage> makeBuilder(const QString& localFolder, const QString& serverPath,
                                                                  const std::array<Display, 5>& displays = {},
                                                                  const Share& share = {}, bool isVirtual = false) {
  auto builder = std::make_unique<orv::content::usrBuildXmlPage>();
  builder->SetLocalFolderPath(localFolder);
  builder->SetServerFolderPath(serverPath);
  builder->SetUrlTag(s("?showby_folder=icon"));
  builder->SetIsVirtualFolder(isVirtual);
  builder->SetUserDefaultPageIcon({});
  builder->SetUserDefaultUrlIcon({});
  builder->SetSharePhysicalFolder(share.physicalFolder);
  builder->SetShareVirtualFolder(share.virtualFolder);
  builder->SetShareOther(share.other);
  builder->SetShareSound(share.sound);
  builder->SetShareImage(share.image);
  builder->SetShareVideo(share.video);
  builder->SetDisplayModeFolder(displays[0].showby);
  builder->SetDisplayModeOther(displays[1].showby);
  builder->SetDisplayModeSound(displays[2].showby);
  builder->SetDisplayModeImage(displays[3].showby);
  builder->SetDisplayModeVideo(displays[4].showby);
  builder->SetSortValueFolder(displays[0].sortby);
  builder->SetSortValueOther(displays[1].sortby);
  builder->SetSortValueSound(displays[2].sortby);
  builder->SetSortValueImage(displays[3].sortby);
  builder->SetSortValueVideo(displays[4].sortby);
  builder->SetSortOrderFolder(displays[0].sortorder);
  builder->SetSortOrderOther(displays[1].sortorder);
  builder->SetSortOrderSound(displays[2].sortorder);
  builder->SetSortOrderImage(displays[3].sortorder);
  builder->SetSortOrderVideo(displays[4].sortorder);
  builder->SetShowGroupFolder(displays[0].showgroup);
  builder->SetShowGroupOther(displays[1].showgroup);
  builder->SetShowGroupSound(displays[2].showgroup);
  builder->SetShowGroupImage(displays[3].showgroup);
  builder->SetShowGroupVideo(displays[4].showgroup);
  builder->SetFilterFolder(displays[0].filter);
  builder->SetFilterOther(displays[1].filter);
  builder->SetFilterSound(displays[2].filter);
  builder->SetFilterImage(displays[3].filter);
  builder->SetFilterVideo(displays[4].filter);
  builder->SetShowPlayers(s("false"));
  return builder;
}

// Global records a page reads, set for each test and restored after it: every language
// text is its own name, so each element shows which text it holds; the configuration has
// its defaults and the two stylesheets are built.
class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLanguage_ = orv::core::gLanguage;
    savedConfiguration_ = orv::core::gConfiguration;
    savedAppFolder_ = orv::core::gAppFolder;
    savedLanguages_ = orv::core::gLanguagesList;
    for (const std::u16string_view name : orv::core::kLanguageTextNames) {
      orv::core::gLanguage.setText(name, QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size())));
    }
    orv::content::subInitBitrateTables();
    orv::core::gAppFolder = app_.path();
    app_.makeFolder(s("resources"));
    orv::core::gConfiguration = orv::core::tConfiguration();
    orv::core::gConfiguration.Language.FILENAME = s("english.xml");
    orv::core::gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 1;
    orv::core::gLanguagesList = orv::core::tLanguagesList();
    orv::core::gLanguagesList.colAbbreviation.add(s("en"), s("english.xml"));
    orv::core::gConfiguration.AppState.objXslSortDocument =
        std::make_shared<const orv::xml::Document>(orv::content::getXslSortStylesheet());
    orv::core::gConfiguration.AppState.objXslGroupDocument =
        std::make_shared<const orv::xml::Document>(orv::content::getXslGroupStylesheet());
  }
  void TearDown() override {
    orv::core::gLanguage = savedLanguage_;
    orv::core::gConfiguration = savedConfiguration_;
    orv::core::gAppFolder = savedAppFolder_;
    orv::core::gLanguagesList = savedLanguages_;
    QLocale::setDefault(QLocale::system());
  }

  // Adds a share to the store, in store order.
  static void addShare(const QString& serverPath, const QString& localPath) {
    orv::core::ShareEntry entry;
    entry.id = s("id") + QString::number(orv::core::gConfiguration.Shared.count() + 1);
    entry.serverPath = serverPath;
    entry.localPath = localPath;
    orv::core::gConfiguration.Shared.add(entry);
  }

  TempFolder app_;
  TempFolder share_;

 private:
  orv::core::tLanguage savedLanguage_;
  orv::core::tConfiguration savedConfiguration_;
  QString savedAppFolder_;
  orv::core::tLanguagesList savedLanguages_;
};

}  // namespace page_fixture
