#include "content/folder_page_document.h"

#include "content/xsl_stylesheets.h"
#include "core/configuration.h"
#include "core/language.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace orv::content;
using orv::xml::Document;
using orv::xml::Element;

QString s(const char* text) {
  return QString::fromUtf8(text);
}

// The names of an element's children, in order.
QStringList childNames(const Element& element) {
  QStringList names;
  for (const Element& child : element.childElements()) {
    names << child.name();
  }
  return names;
}

QStringList words(const char* text) {
  return s(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

const QDateTime kDate(QDate(2006, 3, 7), QTime(4, 5, 9));

// Global state the page reads, set for each test and restored after it.
class FolderPageDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLanguage_ = orv::core::gLanguage;
    savedConfiguration_ = orv::core::gConfiguration;
    savedAppFolder_ = orv::core::gAppFolder;
    savedLanguages_ = orv::core::gLanguagesList;
    // Every text is its own name, so each element shows which text it holds.
    for (const std::u16string_view name : orv::core::kLanguageTextNames) {
      orv::core::gLanguage.setText(name, QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size())));
    }
    orv::core::gAppFolder = app_.path();
    app_.makeFolder(s("resources"));
    orv::core::gConfiguration = orv::core::tConfiguration();
    orv::core::gConfiguration.Language.FILENAME = s("english.xml");
    orv::core::gConfiguration.ShellExtension.strResourcesIconsList = s(".mp3:mp3-wav.png;.wav:mp3-wav.png;");
    orv::core::gLanguagesList = orv::core::tLanguagesList();
    orv::core::gLanguagesList.colAbbreviation.add(s("en"), s("english.xml"));
  }
  void TearDown() override {
    orv::core::gLanguage = savedLanguage_;
    orv::core::gConfiguration = savedConfiguration_;
    orv::core::gAppFolder = savedAppFolder_;
    orv::core::gLanguagesList = savedLanguages_;
  }

  PageLocation location(const QString& serverPath = s("/")) const {
    return {share_.path() + QLatin1Char('/'), serverPath, s("?showby_folder=list"), {}, {}};
  }

  static std::array<SectionDisplay, 5> displays() {
    std::array<SectionDisplay, 5> all;
    for (SectionDisplay& display : all) {
      display = {s("list"), s("name"), s("ascending"), s("true"), {}};
    }
    return all;
  }

  TempFolder app_;
  TempFolder share_;

 private:
  orv::core::tLanguage savedLanguage_;
  orv::core::tConfiguration savedConfiguration_;
  QString savedAppFolder_;
  orv::core::tLanguagesList savedLanguages_;
};

TEST_F(FolderPageDocument, TheTopOfAFolderPageStandsInItsOrder) {
  std::array<SectionDisplay, 5> shown = displays();
  shown[2] = {s("icon"), s("artist"), s("descending"), s("false"), s("Tom & <Jerry>")};
  FolderPage page = BuildFolderPageTop(location(), shown, true, s("players"));
  const QByteArray bytes = page.document.toBytes();
  EXPECT_TRUE(
      bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<?xml-stylesheet type=\"text/xsl\" href=\"/?res=classic-full.xsl\"?>\n"
                       "<page><server><language type=\"en\">"))
      << bytes.constData();
  EXPECT_EQ(bytes.count("<?xml "), 1);

  const Document again = Document::fromBytes(bytes);
  ASSERT_FALSE(again.isNull());
  const Element root = again.documentElement();
  EXPECT_EQ(childNames(root), words("server document section section section section section"));
  const Element server = root.firstChildElement(s("server"));
  EXPECT_EQ(childNames(server), words("language config version"));
  const Element language = server.firstChildElement(s("language"));
  EXPECT_EQ(childNames(language), words("units sections menus filters tooltips"));

  struct Group {
    const char* parent;
    const char* children;
    const char* keys;
  };
  const Group groups[] = {
      {"units", "object objects byte bytes kilobyte megabyte gigabyte terabyte",
       "OTHER/OBJECT OTHER/OBJECTS OTHER/BYTE OTHER/BYTES OTHER/KILOBYTE OTHER/MEGABYTE OTHER/GIGABYTE "
       "OTHER/TERABYTE"},
      {"sections", "pfolder folder other sound image video containing listen_group website",
       "OTHER/PARENT_FOLDER SECTIONS_TITLES/FOLDER SECTIONS_TITLES/OTHER SECTIONS_TITLES/SOUND "
       "SECTIONS_TITLES/IMAGE SECTIONS_TITLES/VIDEO OTHER/CONTAINING GROUP/LINK_LISTEN_TITLE GROUP/LINK_WEB_SITE"},
      {"menus",
       "showby sortby showbylist showbyicon showbymini sortbyartist sortbyalbum sortbyname sortbysize sortbytype "
       "sortbydate listen_section showgroup filter showplayers",
       "SECTIONS_MENUS/SHOW_BY SECTIONS_MENUS/SORT_BY SECTIONS_MENUS/SHOW_BY_LIST SECTIONS_MENUS/SHOW_BY_ICONS "
       "SECTIONS_MENUS/SHOW_BY_MINIATURES SECTIONS_MENUS/SORT_BY_ARTIST SECTIONS_MENUS/SORT_BY_ALBUM "
       "SECTIONS_MENUS/SORT_BY_NAME SECTIONS_MENUS/SORT_BY_SIZE SECTIONS_MENUS/SORT_BY_TYPE "
       "SECTIONS_MENUS/SORT_BY_DATE SECTIONS_MENUS/LISTEN SECTIONS_MENUS/SHOW_GROUP SECTIONS_MENUS/FILTERS "
       "SECTIONS_MENUS/SHOW_PLAYERS"},
      {"filters", "label validate hide", "FILTER/FILTER FILTER/VALIDATE FILTER/HIDE"},
      {"tooltips", "name size date artist title album year track length bitrate",
       "TOOLTIPS/NAME TOOLTIPS/SIZE TOOLTIPS/DATE TOOLTIPS/ARTIST TOOLTIPS/TITLE TOOLTIPS/ALBUM TOOLTIPS/YEAR "
       "TOOLTIPS/TRACK TOOLTIPS/LENGTH TOOLTIPS/RATE"},
  };
  for (const Group& group : groups) {
    const Element parent = language.firstChildElement(s(group.parent));
    EXPECT_EQ(childNames(parent), words(group.children)) << group.parent;
    QStringList texts;
    for (const Element& child : parent.childElements()) {
      texts << child.text().mid(5);  // without "HTLM/"
    }
    EXPECT_EQ(texts, words(group.keys)) << group.parent;
  }
  EXPECT_EQ(server.firstChildElement(s("config")).toBytes(),
            QByteArray("<config><minidimention>96</minidimention><allowmini>true</allowmini>"
                       "<allowmedia>true</allowmedia><showfolder>true</showfolder>"
                       "<showplayers>players</showplayers></config>"));
  EXPECT_EQ(server.firstChildElement(s("version")).toBytes(),
            QByteArray("<version><name>Orvendale</name><num>1.02</num><build>Nov 02 2006 03:00 AM</build></version>"));

  const auto sections = root.childElements(s("section"));
  ASSERT_EQ(sections.size(), 5u);
  EXPECT_EQ(sections[0].toBytes(), QByteArray("<section type=\"folder\" showby=\"list\" sortby=\"name\" "
                                              "sortorder=\"ascending\" showgroup=\"true\" filter=\"\"/>"));
  EXPECT_EQ(sections[2].toBytes(), QByteArray("<section type=\"sound\" showby=\"icon\" sortby=\"artist\" "
                                              "sortorder=\"descending\" showgroup=\"false\" "
                                              "filter=\"Tom &amp; &lt;Jerry&gt;\"/>"));
  EXPECT_EQ(sections[4].attribute(s("type")), s("video"));
}

TEST_F(FolderPageDocument, TheHeaderNamesTheLevelsAndIconsOfThePage) {
  struct Case {
    const char* what;
    const char* serverPath;
    QStringList localFiles;
    QStringList resourceFiles;
    QString userPageIcon;
    QString userUrlIcon;
    const char* expected;
  };
  const Case cases[] = {
      {"the root page",
       "/",
       {},
       {},
       {},
       {},
       "<document type=\"folder\"><url icon=\"/?res=favicon.ico\" tag=\"?showby_folder=list\"/>"
       "<icon src=\"/?res=itemicon_big_show_folder.png\"/></document>"},
      {"two levels",
       "/music/rock/",
       {},
       {},
       {},
       {},
       "<document type=\"folder\"><url icon=\"/?res=favicon.ico\" tag=\"?showby_folder=list\">"
       "<folder src=\"/music/?showby_folder=list\" label=\"music\"/>"
       "<folder src=\"/music/rock/?showby_folder=list\" label=\"rock\"/></url>"
       "<icon src=\"/?res=itemicon_big_show_folder.png\"/></document>"},
      {"an encoded level keeps its form in src and is decoded in label",
       "/caf%C3%A9%20bar/a%01b/",
       {},
       {},
       {},
       {},
       "<document type=\"folder\"><url icon=\"/?res=favicon.ico\" tag=\"?showby_folder=list\">"
       "<folder src=\"/caf%C3%A9%20bar/?showby_folder=list\" label=\"caf&#xE9; bar\"/>"
       "<folder src=\"/caf%C3%A9%20bar/a%01b/?showby_folder=list\" label=\"a b\"/></url>"
       "<icon src=\"/?res=itemicon_big_show_folder.png\"/></document>"},
      {"the folder's own pictures win",
       "/",
       {s("folder.ico"), s("folder.png"), s("folder.jpg")},
       {s("me.png"), s("me.ico")},
       s("me.png"),
       s("me.ico"),
       "<document type=\"folder\"><url icon=\"folder.ico\" tag=\"?showby_folder=list\"/>"
       "<icon src=\"folder.jpg\"/></document>"},
      {"then the user's icons",
       "/",
       {},
       {s("my page.png"), s("my url.ico")},
       s("my page.png"),
       s("my url.ico"),
       "<document type=\"folder\"><url icon=\"/?res=my%20url.ico\" tag=\"?showby_folder=list\"/>"
       "<icon src=\"/?res=my%20page.png\"/></document>"},
      {"user icons that are missing give the defaults",
       "/",
       {},
       {},
       s("gone.png"),
       s("gone.ico"),
       "<document type=\"folder\"><url icon=\"/?res=favicon.ico\" tag=\"?showby_folder=list\"/>"
       "<icon src=\"/?res=itemicon_big_show_folder.png\"/></document>"},
  };
  for (const Case& c : cases) {
    const TempFolder local;
    const TempFolder app;
    orv::core::gAppFolder = app.path();
    for (const QString& name : c.localFiles) {
      local.write(name, "x");
    }
    for (const QString& name : c.resourceFiles) {
      app.write(s("resources/") + name, "x");
    }
    const PageLocation where = {local.path() + QLatin1Char('/'), s(c.serverPath), s("?showby_folder=list"),
                                c.userPageIcon, c.userUrlIcon};
    Document doc;
    Element root = doc.createDocumentElement(s("page"));
    EXPECT_EQ(BuildDocumentHeader(root, s("folder"), where).toBytes(), QByteArray(c.expected)) << c.what;
    Element message = BuildDocumentHeader(root, s("message"), where);
    EXPECT_EQ(message.toBytes(), QByteArray("<document type=\"message\"><url icon=\"/?res=favicon.ico\" "
                                            "tag=\"?showby_folder=list\"/></document>"))
        << c.what;
  }
}

TEST_F(FolderPageDocument, OtherPageTypesGetTheirOwnServerContent) {
  Document doc;
  Element root = doc.createDocumentElement(s("page"));
  EXPECT_EQ(BuildServerConfigNode(root, s("identification")).toBytes(),
            QByteArray("<server><language type=\"en\"><info>HTLM/IDENTIFICATION/INFO</info>"
                       "<user>HTLM/IDENTIFICATION/USER</user><password>HTLM/IDENTIFICATION/PASSWORD</password>"
                       "<savepwd>HTLM/IDENTIFICATION/SAVE_PWD</savepwd><submit>HTLM/IDENTIFICATION/SUBMIT</submit>"
                       "</language></server>"));
  EXPECT_EQ(BuildServerConfigNode(root, s("message")).toBytes(),
            QByteArray("<server><language type=\"en\"/></server>"));
}

FileItemData soundFile(const QString& name) {
  return {s("list"), false, name, s("mp3"), s("5000"), kDate, DefaultItemIcons::forType(s("sound")), std::nullopt};
}

TEST_F(FolderPageDocument, FileItemsHoldTheirChildrenInOrder) {
  Document doc;
  Element section = doc.createDocumentElement(s("section"));
  FileItemData plain = soundFile(s("a b.mp3"));
  EXPECT_EQ(BuildFileItem(section, plain).toBytes(),
            QByteArray("<item><img>/?res=filetype_16_show_mp3-wav.png</img><label>a b.mp3</label><name>a b.mp3</name>"
                       "<date>2006/03/07 04:05:09</date><size>5000</size><type>mp3</type><src>a%20b.mp3</src></item>"));

  FileItemData tagged = soundFile(s("\xC3\xA9t\xC3\xA9.mp3"));
  tagged.displayMode = s("icon");
  tagged.hidden = true;
  tMp3Summary mp3;
  mp3.tag = {false, s("Ti\x01tle"), s("Tom & Jerry"), s("<Album>"), s("2004"), s("03")};
  mp3.mpeg = {true, 128, s("04:10")};
  tagged.mp3 = mp3;
  EXPECT_EQ(BuildFileItem(section, tagged).toBytes(),
            QByteArray("<item><img>/?res=filetype_48_hide_mp3-wav.png</img><artist>Tom &amp; Jerry</artist>"
                       "<title>Ti tle</title><album>&lt;Album&gt;</album><year>2004</year><track>03</track>"
                       "<length>04:10</length><bitrate>128</bitrate><label>\xC3\xA9t\xC3\xA9.mp3</label>"
                       "<name>\xC3\xA9t\xC3\xA9.mp3</name><date>2006/03/07 04:05:09</date><size>5000</size>"
                       "<type>mp3</type><src>%C3%A9t%C3%A9.mp3</src></item>"));

  const FileItemData bare = {s("mini"),   false, s("README"), {}, s("0"), kDate, DefaultItemIcons::forType(s("other")),
                             std::nullopt};
  EXPECT_EQ(BuildFileItem(section, bare).toBytes(),
            QByteArray("<item><img>/?res=itemicon_big_show_other.png</img><label>README</label><name>README</name>"
                       "<date>2006/03/07 04:05:09</date><size>0</size><type></type><src>README</src></item>"));

  FileItemData unknownMode = soundFile(s("x.mp3"));
  unknownMode.displayMode = s("tiles");
  EXPECT_EQ(BuildFileItem(section, unknownMode).firstChildElement().toBytes(), QByteArray("<img></img>"));
  EXPECT_EQ(BuildFileItem(section, unknownMode).firstChildElement(s("label")).toBytes(), QByteArray("<label></label>"));
}

TEST_F(FolderPageDocument, FolderItemsHoldTheirChildrenInOrder) {
  Document doc;
  Element section = doc.createDocumentElement(s("section"));
  EXPECT_EQ(BuildFolderItem(section, s("list"), false, s("My Music"), kDate, s("?sortby_sound=artist")).toBytes(),
            QByteArray("<item><img>/?res=itemicon_small_show_folder.png</img><label>My Music</label>"
                       "<name>My Music/</name><date>2006/03/07 04:05:09</date>"
                       "<src>My%20Music/?sortby_sound=artist</src></item>"));
  EXPECT_EQ(BuildFolderItem(section, s("ICON"), true, s(".cache"), kDate, {}).firstChildElement().toBytes(),
            QByteArray("<img>/?res=itemicon_big_hide_folder.png</img>"));
}

TEST_F(FolderPageDocument, LabelsFollowTheDisplayMode) {
  struct Case {
    const char* mode;
    const char* name;
    bool folder;
    bool hideExtensions;
    const char* label;
  };
  const Case cases[] = {
      {"list", "holiday pictures.jpg", false, false, "holiday pictures.jpg"},
      {"icon", "holiday pictures.jpg", false, false, "holiday<br />pictures.jpg"},
      {"mini", "a long name for a file.txt", false, false, "a long name for<br />a\u2026"},
      {"mini", "holiday pictures.jpg", false, false, "holiday<br />pictures.jpg"},
      {"other", "name.txt", false, false, ""},
      {"list", "archive.tar.gz", false, true, "archive.tar"},
      {"list", ".profile", false, true, ".profile"},
      {"list", "version.2", true, true, "version.2"},
      {"list", "Box.{12345678-1234-1234-1234-123456789ABC}", true, true, "Box"},
  };
  for (const Case& c : cases) {
    orv::core::gConfiguration.HtmlDisplay.HIDE_EXTENSIONS = c.hideExtensions;
    EXPECT_EQ(FormatItemLabel(s(c.mode), s(c.name), c.folder), s(c.label)) << c.mode << " " << c.name;
  }
}

// Creates a file whose name is the given bytes, as a Linux file system may hold it.
void createRawFile(const QString& folder, const QByteArray& name) {
  const QByteArray path = QFile::encodeName(folder) + '/' + name;
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0) << path.constData();
  ASSERT_EQ(::write(fd, "data", 4), 4);
  ::close(fd);
}

TEST_F(FolderPageDocument, AFixtureFolderGivesAWellFormedPageWhateverItsNamesHold) {
  const QByteArray names[] = {
      "plain.mp3",       "Tom & Jerry <1>.mp3", "quote\"apos'.txt", "]]> end.txt",
      "tab\there.txt",   "line\nfeed.txt",      "bell\x07.txt",     "del\x7F.txt",
      "caf\xC3\xA9.jpg", "bad \xE9 utf8.txt",   "\xEF\xBF\xBE.txt", QByteArray(240, 'n') + ".txt",
  };
  for (const QByteArray& name : names) {
    createRawFile(share_.path(), name);
  }
  // Qt lists no name that is not valid UTF-8 and so cannot remove it with the folder.
  struct RawCleanup {
    QByteArray path;
    ~RawCleanup() { ::unlink(path.constData()); }
  } cleanup{QFile::encodeName(share_.path()) + "/bad \xE9 utf8.txt"};
  QDir().mkdir(
      share_.file(s("sub\x01"
                    "folder")));

  orv::core::gConfiguration.HtmlDisplay.XSL_FILE = s("odd\"name?>%.xsl");
  FolderPage page = BuildFolderPageTop(location(s("/a%00b/")), displays(), true, {});
  const QDir folder(share_.path());
  for (const QFileInfo& entry : folder.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
    if (entry.isDir()) {
      BuildFolderItem(page.sections[0], s("icon"), false, entry.fileName(), entry.lastModified(), s("?x=1&y=2"));
    } else {
      FileItemData file = soundFile(entry.fileName());
      file.displayMode = s("mini");
      file.extension = entry.suffix();
      file.sizeText = QString::number(entry.size());
      tMp3Summary mp3;
      mp3.tag.artist = entry.fileName();
      file.mp3 = mp3;
      BuildFileItem(page.sections[1], file);
    }
  }
  // A name that no listing gives but a caller could: a lone surrogate.
  FileItemData lone = soundFile(s("lone ") + QChar(0xD800) + s(".txt"));
  lone.mp3 = tMp3Summary{{false, {}, lone.name, {}, {}, {}}, {}, {}};
  BuildFileItem(page.sections[1], lone);

  const QByteArray bytes = page.document.toBytes();
  QString error;
  const Document again = Document::fromBytes(bytes, &error);
  ASSERT_FALSE(again.isNull()) << error.toStdString();
  EXPECT_TRUE(bytes.contains("href=\"/?res=odd%22name?%3E%25.xsl\"")) << bytes.constData();

  const auto sections = again.documentElement().childElements(s("section"));
  ASSERT_EQ(sections.size(), 5u);
  const auto folders = sections[0].childElements(s("item"));
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(childNames(folders[0]), words("img label name date src"));
  EXPECT_EQ(folders[0].firstChildElement(s("name")).text(), s("sub folder/"));
  EXPECT_EQ(folders[0].firstChildElement(s("src")).text(), s("sub%01folder/?x=1&y=2"));

  QStringList shownNames;
  for (const Element& item : sections[1].childElements(s("item"))) {
    EXPECT_EQ(childNames(item),
              words("img artist title album year track length bitrate label name date size type src"));
    const QString name = item.firstChildElement(s("name")).text();
    shownNames << name;
    for (const QChar c : name) {
      EXPECT_GE(c.unicode(), 0x20) << name.toStdString();
    }
    EXPECT_EQ(item.firstChildElement(s("artist")).text(), name);
  }
  const QString replacement(QChar(0xFFFD));
  for (const QString& expected : {s("Tom & Jerry <1>.mp3"), s("quote\"apos'.txt"), s("]]> end.txt"), s("tab here.txt"),
                                  s("line feed.txt"), s("bell .txt"), s("del\x7F.txt"), s("caf\xC3\xA9.jpg"),
                                  replacement + s(".txt"), s("lone ") + replacement + s(".txt")}) {
    EXPECT_TRUE(shownNames.contains(expected)) << expected.toStdString();
  }
  // The URL carries the bytes of the name; decoding it gives the file back.
  for (const Element& item : sections[1].childElements(s("item"))) {
    const QString src = item.firstChildElement(s("src")).text();
    if (src.startsWith(s("tab"))) {
      EXPECT_EQ(src, s("tab%09here.txt"));
      EXPECT_TRUE(QFileInfo::exists(share_.file(QString::fromUtf8(QByteArray::fromPercentEncoding(src.toUtf8())))));
    }
    if (src.startsWith(s("Tom"))) {
      EXPECT_EQ(src, s("Tom%20&%20Jerry%20%3C1%3E.mp3"));
    }
  }
}

TEST_F(FolderPageDocument, ASectionOfThePageSortsAndGroupsThroughTheStylesheets) {
  FolderPage page = BuildFolderPageTop(location(), displays(), false, {});
  const char* artists[] = {"Zed \"Z\" & co", "abba", "ABBA", "<none>"};
  for (const char* artist : artists) {
    FileItemData file = soundFile(s(artist) + s(".mp3"));
    tMp3Summary mp3;
    mp3.tag.artist = s(artist);
    file.mp3 = mp3;
    BuildFileItem(page.sections[2], file);
  }
  subSetSectionAttributes(page.sections[2], s("sound"), {s("list"), s("artist"), s("ascending"), s("false"), {}});
  page.sections[2].setAttribute(s("diskitems"), s("4"));

  const Document sectionDoc = Document::fromBytes(page.sections[2].toBytes());
  ASSERT_FALSE(sectionDoc.isNull());
  const auto sort = orv::xml::Stylesheet::fromDocument(getXslSortStylesheet());
  const auto group = orv::xml::Stylesheet::fromDocument(
      getXslGroupStylesheet({s("Empty"), s("Small"), s("Average"), s("Big"), s("Files")}));
  const Document grouped = fnctTransformSection(group, fnctTransformSection(sort, sectionDoc));
  ASSERT_FALSE(grouped.isNull());
  QStringList groups;
  for (const Element& g : grouped.documentElement().childElements(s("group"))) {
    groups << g.attribute(s("name")) + s("=") + QString::number(g.childElements(s("item")).size());
  }
  EXPECT_EQ(groups, (QStringList{s("<none>=1"), s("ABBA=2"), s("Zed \"Z\" & co=1")}));
}

}  // namespace
