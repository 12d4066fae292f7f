// The resources folder: the page stylesheets read every page document the server builds
// and give HTML that names every item and links where the pages send the visitor; every
// file the pages name is there; the file-type icon sets follow the lookup rule.

#include "content/folder_page_document.h"
#include "content/xsl_stylesheets.h"
#include "core/configuration.h"
#include "core/language.h"
#include "core/resource_icons.h"
#include "html_shape.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using html_shape::htmlShapeFault;
using namespace orv::content;
using orv::xml::Document;
using orv::xml::Element;
using orv::xml::Stylesheet;

QString s(const char* text) {
  return QString::fromUtf8(text);
}

QString resourcesFolder() {
  return QStringLiteral(ORV_SOURCE_DIR "/resources");
}

QStringList stylesheetNames() {
  return QDir(resourcesFolder()).entryList({s("*.xsl")}, QDir::Files, QDir::Name);
}

const QDateTime kDate(QDate(2021, 6, 14), QTime(18, 30, 5));

// ---- reading the output ----

void forEachElement(const Element& element, const std::function<void(const Element&)>& visit) {
  visit(element);
  for (const Element& child : element.childElements()) {
    forEachElement(child, visit);
  }
}

std::vector<Element> elementsNamed(const Document& doc, const QString& name) {
  std::vector<Element> found;
  forEachElement(doc.documentElement(), [&](const Element& e) {
    if (e.name() == name) {
      found.push_back(e);
    }
  });
  return found;
}

QStringList attributeValues(const Document& doc, const QString& element, const QString& attribute) {
  QStringList values;
  for (const Element& e : elementsNamed(doc, element)) {
    if (e.hasAttribute(attribute)) {
      values << e.attribute(attribute);
    }
  }
  return values;
}

// The text of the link whose href is exactly that, or a null string when there is none.
QString linkText(const Document& doc, const QString& href) {
  for (const Element& a : elementsNamed(doc, s("a"))) {
    if (a.attribute(s("href")) == href) {
      return a.textContent().simplified();
    }
  }
  return {};
}

// What a display option's form asks for when its button is pressed: the form's fields,
// its button last, as "key=value" joined by "&", "#" and the form's action, as written
// (the browser encodes them); with the button's text.
struct OptionForm {
  QString request;
  QString text;
};

std::vector<OptionForm> optionForms(const Document& doc) {
  std::vector<OptionForm> forms;
  for (const Element& form : elementsNamed(doc, s("form"))) {
    if (form.attribute(s("class")) != s("opt")) {
      continue;
    }
    EXPECT_EQ(form.attribute(s("method")), s("get"));
    QStringList fields;
    QString text;
    forEachElement(form, [&](const Element& e) {
      if (e.name() == s("input") || e.name() == s("button")) {
        fields << e.attribute(s("name")) + QLatin1Char('=') + e.attribute(s("value"));
      }
      if (e.name() == s("button")) {
        text = e.textContent().simplified();
      }
    });
    forms.push_back({QLatin1Char('?') + fields.join(QLatin1Char('&')) + form.attribute(s("action")), text});
  }
  return forms;
}

// The texts of the option buttons whose forms ask for exactly that.
QStringList optionTexts(const std::vector<OptionForm>& forms, const QString& request) {
  QStringList texts;
  for (const OptionForm& form : forms) {
    if (form.request == request) {
      texts << form.text;
    }
  }
  return texts;
}

QStringList optionRequests(const std::vector<OptionForm>& forms) {
  QStringList requests;
  for (const OptionForm& form : forms) {
    requests << form.request;
  }
  return requests;
}

bool hasClass(const Element& e, const char* name) {
  return e.attribute(s("class")).split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(s(name));
}

// ---- the pages ----

// The page as the server sends it: its text with the label line breaks made markup again.
Document asSent(const Document& page) {
  QString text = QString::fromUtf8(page.toBytes());
  text.replace(s("&lt;br /&gt;"), s("<br />"), Qt::CaseInsensitive);
  return Document::fromBytes(text.toUtf8());
}

std::array<SectionDisplay, 5> listDisplays() {
  std::array<SectionDisplay, 5> all;
  for (SectionDisplay& display : all) {
    display = {s("list"), s("name"), s("ascending"), s("false"), {}};
  }
  return all;
}

PageLocation location(const char* serverPath, const char* tag) {
  return {QStringLiteral(ORV_SOURCE_DIR "/demo/"), s(serverPath), s(tag), {}, {}};
}

FileItemData file(const QString& mode, const QString& name, const char* type, qint64 size, bool hidden = false) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return {mode,
          hidden,
          name,
          dot > 0 ? name.mid(dot + 1) : QString(),
          QString::number(size),
          kDate,
          DefaultItemIcons::forType(s(type)),
          std::nullopt};
}

tMp3Summary mp3(const char* artist, const char* title, const char* album, int bitrate) {
  tMp3Summary data;
  data.tag = {false, s(title), s(artist), s(album), s("1979"), s("04")};
  data.mpeg = {true, bitrate, s("03:45")};
  return data;
}

Element group(Element section, const QString& name) {
  Element g = section.appendElement(s("group"));
  if (!name.isNull()) {
    g.setAttribute(s("name"), name);
  }
  return g;
}

// The language, settings and icon list of a running server, read from the repository's
// own files, restored after each test.
class Resources : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLanguage_ = orv::core::gLanguage;
    savedConfiguration_ = orv::core::gConfiguration;
    savedAppFolder_ = orv::core::gAppFolder;
    savedLanguages_ = orv::core::gLanguagesList;
    orv::core::gAppFolder = QStringLiteral(ORV_SOURCE_DIR);
    orv::core::gLanguage = orv::core::fnctLoadLanguage(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_TRUE(orv::core::gLanguage.blnLoaded);
    orv::core::gLanguagesList = orv::core::fnctGetLanguagesList(QStringLiteral(ORV_SOURCE_DIR "/lang/"));
    orv::core::gConfiguration = orv::core::tConfiguration();
    orv::core::gConfiguration.Language.FILENAME = s("english.xml");
    orv::core::gConfiguration.ShellExtension.strResourcesIconsList =
        orv::core::getResourcesIconsList(resourcesFolder());

    QString error;
    const Document source = Document::fromFile(resourcesFolder() + s("/classic-full.xsl"), &error);
    ASSERT_FALSE(source.isNull()) << error.toStdString();
    style_ = Stylesheet::fromDocument(source, &error);
    ASSERT_FALSE(style_.isNull()) << error.toStdString();
  }

  void TearDown() override {
    orv::core::gLanguage = savedLanguage_;
    orv::core::gConfiguration = savedConfiguration_;
    orv::core::gAppFolder = savedAppFolder_;
    orv::core::gLanguagesList = savedLanguages_;
  }

  // Transforms the document; checks that the HTML text is well-formed and returns the
  // result tree. With ORV_PAGE_SAMPLES naming a folder, the page and its HTML are written
  // there too, to look at in a browser.
  Document render(const Document& doc, const char* sampleName) {
    QString error;
    const QByteArray html = style_.transformToBytes(doc, {}, &error);
    EXPECT_FALSE(html.isEmpty()) << error.toStdString();
    const QString fault = htmlShapeFault(html);
    EXPECT_TRUE(fault.isEmpty()) << sampleName << ": " << fault.toStdString() << "\n" << html.constData();
    EXPECT_TRUE(html.startsWith("<!DOCTYPE html")) << sampleName;
    const QByteArray folder = qgetenv("ORV_PAGE_SAMPLES");
    if (!folder.isEmpty()) {
      QFile xmlFile(QString::fromLocal8Bit(folder) + QLatin1Char('/') + s(sampleName) + s(".xml"));
      if (xmlFile.open(QIODevice::WriteOnly)) {
        xmlFile.write(doc.toBytes());
      }
      QFile htmlFile(QString::fromLocal8Bit(folder) + QLatin1Char('/') + s(sampleName) + s(".html"));
      if (htmlFile.open(QIODevice::WriteOnly)) {
        htmlFile.write(html);
      }
    }
    Document tree = style_.transform(doc, {}, &error);
    EXPECT_FALSE(tree.isNull()) << error.toStdString();
    return tree;
  }

  Stylesheet style_;

 private:
  orv::core::tLanguage savedLanguage_;
  orv::core::tConfiguration savedConfiguration_;
  QString savedAppFolder_;
  orv::core::tLanguagesList savedLanguages_;
};

// A folder page with items in every section, grouped as the page builder groups them.
Document fullFolderPage() {
  std::array<SectionDisplay, 5> displays;
  displays[0] = {s("list"), s("name"), s("ascending"), s("false"), {}};
  displays[1] = {s("list"), s("size"), s("descending"), s("true"), {}};
  displays[2] = {s("list"), s("artist"), s("ascending"), s("false"), s("a")};
  displays[3] = {s("mini"), s("name"), s("ascending"), s("false"), {}};
  displays[4] = {s("icon"), s("date"), s("ascending"), s("false"), {}};
  FolderPage page = BuildFolderPageTop({QStringLiteral(ORV_SOURCE_DIR "/demo/"),
                                        s("/music/rock/"),
                                        s("?showby_image=mini&sortby_sound=artist&.pls"),
                                        {},
                                        {}},
                                       displays, true, s("true"));
  const QString tag = s("?showby_image=mini&sortby_sound=artist&.pls");

  Element folders = group(page.sections[0], {});
  BuildFolderItem(folders, s("list"), false, s("Live"), kDate, tag);
  BuildFolderItem(folders, s("list"), true, s(".stash"), kDate, tag);

  Element big = group(page.sections[1], orv::core::gLanguage.text(u"HTLM/GROUP/AVERAGE_CAPACITY"));
  BuildFileItem(big, file(s("list"), s("tour poster.pdf"), "other", 4200000));
  Element small = group(page.sections[1], orv::core::gLanguage.text(u"HTLM/GROUP/SMALL_CAPACITY"));
  BuildFileItem(small, file(s("list"), s("notes.txt"), "other", 1536));
  BuildFileItem(small, file(s("list"), s("README"), "other", 1));
  BuildFileItem(small, file(s("list"), s("backup.zip"), "other", 900, true));

  Element abba = group(page.sections[2], s("ABBA"));
  abba.setAttribute(s("img"), s("/?res=groupdetails_artist.png"));
  abba.setAttribute(s("playlist"), s("?artist:abba.pls"));
  abba.setAttribute(s("website"), s("http://search.example/?q=ABBA"));
  FileItemData song = file(s("list"), s("01 Chiquitita.mp3"), "sound", 5300000);
  song.mp3 = mp3("ABBA", "Chiquitita", "Voulez-Vous", 192);
  BuildFileItem(abba, song);
  Element unknown = group(page.sections[2], orv::core::gLanguage.text(u"HTLM/GROUP/UNKNOW_ARTIST"));
  unknown.setAttribute(s("img"), s("/?res=groupdetails_artist.png"));
  unknown.setAttribute(s("playlist"), s("?artist:unknown%20artist.pls"));
  FileItemData demo = file(s("list"), s("demo take.mod"), "sound", 80000);
  demo.mp3 = mp3("", "", "", 0);
  BuildFileItem(unknown, demo);

  Element images = group(page.sections[3], {});
  BuildFileItem(images, file(s("mini"), s("cat.jpg"), "image", 250000));
  BuildFileItem(images, file(s("mini"), s("holiday pictures 2019.png"), "image", 1250000));

  Element videos = group(page.sections[4], s("2021/06/14"));
  BuildFileItem(videos, file(s("icon"), s("concert.mkv"), "video", 700000000));

  const char* counts[] = {"2", "4", "2", "2", "1"};
  for (std::size_t i = 0; i < 5; ++i) {
    page.sections[i].setAttribute(s("diskitems"), s(counts[i]));
  }
  return asSent(page.document);
}

TEST_F(Resources, EveryStylesheetOfTheFolderParses) {
  const QStringList names = stylesheetNames();
  ASSERT_TRUE(names.contains(s("classic-full.xsl"))) << names.join(s(" ")).toStdString();
  for (const QString& name : names) {
    QString error;
    const Document source = Document::fromFile(resourcesFolder() + QLatin1Char('/') + name, &error);
    ASSERT_FALSE(source.isNull()) << name.toStdString() << ": " << error.toStdString();
    EXPECT_FALSE(Stylesheet::fromDocument(source, &error).isNull())
        << name.toStdString() << ": " << error.toStdString();
  }
}

TEST_F(Resources, AFolderPageShowsEverySectionItsItemsAndTheirLinks) {
  const Document html = render(fullFolderPage(), "folder");
  ASSERT_FALSE(html.isNull());
  const QString text = html.documentElement().textContent();

  // Every section with its title, every item by its name or label.
  for (const char* shown : {"Folders", "Other files", "Sound", "Images", "Videos", "Live", ".stash", "tour poster.pdf",
                            "notes.txt", "README", "backup.zip", "01 Chiquitita.mp3", "demo take.mod", "concert.mkv"}) {
    EXPECT_TRUE(text.contains(s(shown))) << shown;
  }
  // Items link to themselves; folders carry the url tag.
  const struct {
    const char* href;
    const char* text;
  } links[] = {
      {"Live/?showby_image=mini&sortby_sound=artist&.pls", "Live"},
      {"tour%20poster.pdf", "tour poster.pdf"},
      {"README", "README"},
      {"01%20Chiquitita.mp3", "01 Chiquitita.mp3"},
      {"cat.jpg", "cat.jpg"},
      {"concert.mkv", "concert.mkv"},
      // The path and the way up.
      {"/music/?showby_image=mini&sortby_sound=artist&.pls", "music"},
      {"/?showby_image=mini&sortby_sound=artist&.pls", ""},
      // Playlists.
      {"?folder.pls", "Listen to all"},
      {"?artist:abba.pls", "Listen"},
      {"http://search.example/?q=ABBA", "Search the web"},
  };
  for (const auto& link : links) {
    EXPECT_EQ(linkText(html, s(link.href)), s(link.text)) << link.href;
  }
  EXPECT_EQ(linkText(html, s("?artist:unknown%20artist.pls")), s("Listen"));
  EXPECT_TRUE(linkText(html, s("http://search.example/?q=Unknown%20artist")).isNull());

  // The menus are forms, not links: each changes one option and keeps the others of the
  // url tag. No link of the page sets an option.
  const std::vector<OptionForm> forms = optionForms(html);
  const struct {
    const char* request;
    const char* text;
  } menus[] = {
      {"?sortby_sound=artist&showby_image=mini&showby_folder=icon#sec-folder", "Icons"},
      {"?sortby_sound=artist&showby_image=mini&sortby_folder=date#sec-folder", "Date"},
      {"?sortby_sound=artist&showby_image=mini&sortorder_folder=descending#sec-folder", "Name"},
      {"?sortby_sound=artist&showby_image=mini&sortorder_folder=descending#sec-folder", "↑"},
      {"?sortby_sound=artist&showby_image=mini&showgroup_folder=true#sec-folder", "Groups"},
      {"?sortby_sound=artist&showby_image=mini&sortorder_other=ascending#sec-other", "Size"},
      {"?sortby_sound=artist&showby_image=mini&sortorder_other=ascending#sec-other", "↓"},
      {"?sortby_sound=artist&showby_image=mini&showgroup_other=false#sec-other", "Groups"},
      {"?showby_image=mini&sortby_sound=album#sec-sound", "Album"},
      {"?sortby_sound=artist&showby_image=mini&showplayers=false#sec-sound", "Players"},
      {"?sortby_sound=artist&showby_image=list#sec-image", "List"},
      {"?sortby_sound=artist&showby_image=mini&sortby_video=name#sec-video", "Name"},
      // Dates are sorted newest first for "ascending": the arrow shows them falling.
      {"?sortby_sound=artist&showby_image=mini&sortorder_video=descending#sec-video", "↓"},
  };
  for (const auto& menu : menus) {
    EXPECT_TRUE(optionTexts(forms, s(menu.request)).contains(s(menu.text)))
        << menu.request << ": " << optionTexts(forms, s(menu.request)).join(s(" ")).toStdString();
  }
  const QStringList requests = optionRequests(forms);
  // Thumbnails only where the image section offers them; folders sort by name and date only.
  EXPECT_EQ(optionTexts(forms, s("?sortby_sound=artist&showby_image=mini#sec-image")), QStringList{s("Thumbnails")});
  EXPECT_TRUE(requests.filter(s("showby_folder=mini")).isEmpty());
  EXPECT_TRUE(requests.filter(s("showby_sound=mini")).isEmpty());
  EXPECT_TRUE(requests.filter(s("sortby_folder=size")).isEmpty());
  EXPECT_TRUE(requests.filter(s("sortby_image=artist")).isEmpty());
  // Grouping cannot be switched off while the sound section is sorted by artist.
  EXPECT_TRUE(requests.filter(s("showgroup_sound")).isEmpty());
  // Links to folders carry the options the page has, and no link any other.
  for (const QString& href : attributeValues(html, s("a"), s("href"))) {
    for (const char* option : {"showby_", "sortby_", "sortorder_", "showgroup_", "showplayers"}) {
      if (href.contains(s(option))) {
        EXPECT_TRUE(href.endsWith(s("/?showby_image=mini&sortby_sound=artist&.pls"))) << href.toStdString();
      }
    }
  }
  // The column heads sort as well; the sorted one tells the order the values run in.
  for (const Element& th : elementsNamed(html, s("th"))) {
    if (th.attribute(s("class")) == s("c-size num") && th.hasAttribute(s("aria-sort"))) {
      EXPECT_EQ(th.attribute(s("aria-sort")), s("descending"));
    }
  }

  // The MP3 columns of the sound section.
  for (const char* shown : {"Artist", "Title", "Album", "Year", "Track", "Length", "Bit rate", "Chiquitita",
                            "Voulez-Vous", "1979", "03:45", "192 kbit/s"}) {
    EXPECT_TRUE(text.contains(s(shown))) << shown;
  }
  // Sizes in the page's units.
  for (const char* shown : {"4 MB", "1.5 KB", "1 byte", "900 bytes"}) {
    EXPECT_TRUE(text.contains(s(shown))) << shown;
  }
  // Tiles tell size and date in their tooltip.
  EXPECT_EQ(
      attributeValues(html, s("a"), s("title")).filter(s("concert.mkv\nSize: 667.6 MB\nDate: 2021/06/14 18:30")).size(),
      1);

  // Thumbnails for the images, icons for the videos, players for the sounds.
  const QStringList images = attributeValues(html, s("img"), s("src"));
  EXPECT_TRUE(images.contains(s("?miniature=cat.jpg")));
  EXPECT_TRUE(images.contains(s("?miniature=holiday%20pictures%202019.png")));
  EXPECT_TRUE(images.filter(s("/?res=filetype_48_show_avi-")).size() == 1) << images.join(s(" ")).toStdString();
  EXPECT_TRUE(images.contains(s("/?res=groupdetails_artist.png")));
  EXPECT_EQ(attributeValues(html, s("audio"), s("src")), (QStringList{s("01%20Chiquitita.mp3"), s("demo%20take.mod")}));

  // Hidden items are marked, the others not.
  int hidden = 0;
  for (const Element& row : elementsNamed(html, s("tr"))) {
    if (hasClass(row, "is-hidden")) {
      ++hidden;
      EXPECT_TRUE(row.textContent().contains(s(".stash")) || row.textContent().contains(s("backup.zip")));
    }
  }
  EXPECT_EQ(hidden, 2);

  // The filter of the sound section is open with its word; its form keeps the options.
  bool soundFilter = false;
  for (const Element& form : elementsNamed(html, s("form"))) {
    if (form.attribute(s("action")) != s("#sec-sound") || form.attribute(s("class")) == s("opt")) {
      continue;
    }
    soundFilter = true;
    QStringList fields;
    forEachElement(form, [&](const Element& e) {
      if (e.name() == s("input")) {
        fields << e.attribute(s("name")) + QLatin1Char('=') + e.attribute(s("value"));
      }
    });
    EXPECT_EQ(fields, (QStringList{s("sortby_sound=artist"), s("showby_image=mini"), s("filter_sound=a")}));
  }
  EXPECT_TRUE(soundFilter);
}

TEST_F(Resources, HostileNamesStayTextAndLinksStayLinks) {
  std::array<SectionDisplay, 5> displays = listDisplays();
  displays[1].filter = s("\"><script>alert(1)</script>");
  displays[3].showby = s("icon");
  FolderPage page =
      BuildFolderPageTop(location("/a%26b/%3Cc%3E/", "?filter_other=%22%3E&.pls"), displays, true, s("false"));
  const char* names[] = {"Tom & Jerry <1>.txt", "quote\"apos'.txt", "what?.txt", "100%.txt", "<b>bold</b>"};
  Element others = group(page.sections[1], s("<&\">"));
  for (const char* name : names) {
    BuildFileItem(others, file(s("list"), s(name), "other", 10));
  }
  Element images = group(page.sections[3], {});
  BuildFileItem(images, file(s("icon"), s("a long & winding <road> picture.jpg"), "image", 10));
  BuildFolderItem(group(page.sections[0], {}), s("list"), false, s("R&D <2>"), kDate, s("?filter_other=%22%3E&.pls"));
  const Document sent = asSent(page.document);
  ASSERT_FALSE(sent.isNull());

  const Document html = render(sent, "hostile");
  ASSERT_FALSE(html.isNull());
  const QString text = html.documentElement().textContent();
  for (const char* name : names) {
    EXPECT_TRUE(text.contains(s(name))) << name;
  }
  EXPECT_TRUE(text.contains(s("<&\">")));
  EXPECT_TRUE(text.contains(s("a&b")));
  EXPECT_TRUE(text.contains(s("<c>")));
  EXPECT_TRUE(elementsNamed(html, s("script")).empty());
  EXPECT_TRUE(elementsNamed(html, s("b")).empty());

  // A "?" in a name would end the path of its link: it is written %3F.
  EXPECT_EQ(linkText(html, s("what%3F.txt")), s("what?.txt"));
  EXPECT_EQ(linkText(html, s("Tom%20&%20Jerry%20%3C1%3E.txt")), s("Tom & Jerry <1>.txt"));
  EXPECT_EQ(linkText(html, s("quote%22apos%27.txt")), s("quote\"apos'.txt"));
  EXPECT_EQ(linkText(html, s("100%25.txt")), s("100%.txt"));
  EXPECT_EQ(linkText(html, s("R&D%20%3C2%3E/?filter_other=%22%3E&.pls")), s("R&D <2>"));
  // The icon label keeps its line break as an element.
  for (const Element& a : elementsNamed(html, s("a"))) {
    if (a.attribute(s("href")) == s("a%20long%20&%20winding%20%3Croad%3E%20picture.jpg")) {
      std::vector<Element> breaks;
      forEachElement(a, [&](const Element& e) {
        if (e.name() == s("br")) {
          breaks.push_back(e);
        }
      });
      EXPECT_EQ(breaks.size(), 1u);
    }
  }
  // The filter text stands only as the value of its field.
  bool found = false;
  for (const Element& input : elementsNamed(html, s("input"))) {
    if (input.attribute(s("name")) == s("filter_other") && input.attribute(s("type")) == s("search")) {
      EXPECT_EQ(input.attribute(s("value")), s("\"><script>alert(1)</script>"));
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(Resources, AQueryOfAThousandPartsStillGivesThePageAndKeepsThem) {
  // The longest URL the server takes: every menu form looks through the query for its keys.
  struct Case {
    const char* what;
    QString tag;
    QString expectedIconsLink;
  };
  QString parts;
  for (int i = 0; i < 600; ++i) {
    parts += s("k%1=v&").arg(i % 10);
  }
  // The forms keep the options of the url tag; parts that set no option are dropped.
  const Case cases[] = {
      {"empty parts", s("?") + QString(1990, QLatin1Char('&')) + s(".pls"), s("?showby_folder=icon#sec-folder")},
      {"many parts", s("?") + parts + s("showby_folder=list&sortby_other=size&.pls"),
       s("?sortby_other=name&showby_folder=icon#sec-folder")},
  };
  for (const Case& c : cases) {
    FolderPage page = BuildFolderPageTop({QStringLiteral(ORV_SOURCE_DIR "/demo/"), s("/"), c.tag, {}, {}},
                                         listDisplays(), true, s("false"));
    BuildFolderItem(group(page.sections[0], {}), s("list"), false, s("sub"), kDate, c.tag);
    const Document html = render(asSent(page.document), "long-query");
    ASSERT_FALSE(html.isNull()) << c.what;
    EXPECT_EQ(optionTexts(optionForms(html), c.expectedIconsLink), QStringList{s("Icons")}) << c.what;
  }
}

TEST_F(Resources, AnEmptyRootPageSaysSoAndHasNoWayUp) {
  FolderPage page = BuildFolderPageTop(location("/", "?.pls"), listDisplays(), true, s("false"));
  for (Element& section : page.sections) {
    section.setAttribute(s("diskitems"), s("0"));
  }
  const Document html = render(asSent(page.document), "empty");
  ASSERT_FALSE(html.isNull());
  EXPECT_TRUE(elementsNamed(html, s("section")).empty());
  EXPECT_TRUE(elementsNamed(html, s("table")).empty());
  EXPECT_TRUE(html.documentElement().textContent().contains(s("0 items")));
  const QStringList hrefs = attributeValues(html, s("a"), s("href"));
  EXPECT_EQ(hrefs, QStringList{s("/")});  // only the root of the path, without a bare playlist marker
  EXPECT_TRUE(attributeValues(html, s("link"), s("href")).contains(s("/?res=classic.css")));
  EXPECT_TRUE(attributeValues(html, s("link"), s("href")).contains(s("/?res=favicon.ico")));
}

TEST_F(Resources, MessagePagesShowTheirTitleAndText) {
  struct Case {
    const char* title;
    const char* label;
    const char* link;
  };
  const Case cases[] = {
      {"Error", "Error 404 : Not Found", nullptr},
      {"Error", "Too many folder requests from this IP", nullptr},
      {"Redirection", "Resource location : http://host:8080/music/", "http://host:8080/music/"},
      {"", "", nullptr},
      {"<&>", "a \"quoted\" <text> & more", nullptr},
  };
  for (const Case& c : cases) {
    Document doc;
    subAppendStylesheetInstruction(doc);
    Element root = doc.createDocumentElement(s("page"));
    BuildDocumentHeader(root, s("message"), location("/", ""));
    Element message = root.appendElement(s("message"));
    message.appendTextElement(s("title"), s(c.title));
    message.appendTextElement(s("label"), s(c.label));
    const Document html = render(doc, "message");
    ASSERT_FALSE(html.isNull()) << c.label;
    const QString text = html.documentElement().textContent();
    EXPECT_TRUE(text.contains(s(c.title))) << c.title;
    EXPECT_TRUE(text.contains(s(c.label))) << c.label;
    if (c.link != nullptr) {
      EXPECT_EQ(linkText(html, s(c.link)), s(c.link));
    }
    EXPECT_EQ(elementsNamed(html, s("title")).at(0).textContent(), s(c.title));
  }
}

TEST_F(Resources, TheLoginPagePostsUserPasswordAndSavepwd) {
  Document doc;
  subAppendStylesheetInstruction(doc);
  Element root = doc.createDocumentElement(s("page"));
  BuildServerConfigNode(root, s("identification"));
  BuildDocumentHeader(root, s("identification"), location("/", ""));
  root.appendElement(s("identification")).appendTextElement(s("title"), s("Identification required"));
  const Document html = render(doc, "login");
  ASSERT_FALSE(html.isNull());

  const std::vector<Element> forms = elementsNamed(html, s("form"));
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(forms[0].attribute(s("method")), s("post"));
  // No action: the form posts to the address that asked for identification.
  EXPECT_FALSE(forms[0].hasAttribute(s("action")));
  QStringList fields;
  forEachElement(forms[0], [&](const Element& e) {
    if (e.name() == s("input")) {
      fields << e.attribute(s("name")) + QLatin1Char(':') + e.attribute(s("type"));
    }
  });
  EXPECT_EQ(fields, (QStringList{s("user:text"), s("password:password"), s("savepwd:checkbox")}));
  const QString text = html.documentElement().textContent();
  for (const char* shown : {"Identification required", "Please enter your login and password", "Login", "Password",
                            "Remember me on this computer", "Log in"}) {
    EXPECT_TRUE(text.contains(s(shown))) << shown;
  }
}

TEST_F(Resources, SectionFragmentsAndSingleItemsAlsoTransform) {
  Document fragment;
  Element section = fragment.createDocumentElement(s("section"));
  subSetSectionAttributes(section, s("image"), {s("icon"), s("name"), s("ascending"), s("false"), {}});
  section.setAttribute(s("diskitems"), s("1"));
  // The fragment carries its label line breaks escaped.
  BuildFileItem(group(section, {}), file(s("icon"), s("a rather long picture name.jpg"), "image", 10));
  const Document fromFragment = render(fragment, "fragment");
  ASSERT_FALSE(fromFragment.isNull());
  EXPECT_TRUE(linkText(fromFragment, s("a%20rather%20long%20picture%20name.jpg")).startsWith(s("a rather")));
  EXPECT_EQ(elementsNamed(fromFragment, s("br")).size(), 1u);
  EXPECT_FALSE(fromFragment.documentElement().textContent().contains(s("<br")));

  Document single;
  Element item = single.createDocumentElement(s("item"));
  item.appendTextElement(s("img"), s("/?res=itemicon_small_show_other.png"));
  item.appendTextElement(s("label"), s("x & y.bin"));
  item.appendTextElement(s("name"), s("x & y.bin"));
  item.appendTextElement(s("date"), s("2021/06/14 18:30:05"));
  item.appendTextElement(s("size"), s("10"));
  item.appendTextElement(s("type"), s("bin"));
  item.appendTextElement(s("src"), s("x%20&%20y.bin"));
  const Document fromItem = render(single, "item");
  ASSERT_FALSE(fromItem.isNull());
  EXPECT_EQ(linkText(fromItem, s("x%20&%20y.bin")), s("x & y.bin"));
}

// ---- the files the pages name ----

QStringList referencedResources() {
  QStringList names;
  // "?res=" names in the stylesheets; a name ending with "_" is the start of a family.
  static const QRegularExpression reference(s("\\?res=([A-Za-z0-9_.{}$-]+)"));
  for (const QString& sheet : stylesheetNames()) {
    QFile file(resourcesFolder() + QLatin1Char('/') + sheet);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (auto match = reference.globalMatch(text); match.hasNext();) {
      const QString name = match.next().captured(1);
      if (name.contains(s("{$type}"))) {
        for (const char* type : kSectionTypes) {
          names << QString(name).replace(s("{$type}"), s(type));
        }
      } else {
        names << name;
      }
    }
  }
  // What the page documents name.
  names << s("favicon.ico") << s("itemicon_big_show_folder.png") << s("itemicon_big_error.png")
        << s("groupdetails_artist.png") << s("groupdetails_album.png");
  for (const char* type : {"other", "sound", "image", "video"}) {
    const DefaultItemIcons icons = DefaultItemIcons::forType(s(type));
    names << icons.smallShow << icons.smallHide << icons.bigShow << icons.bigHide;
  }
  for (const char* size : {"small", "big"}) {
    for (const char* word : {"show", "hide"}) {
      names << s("itemicon_%1_%2_folder.png").arg(s(size), s(word));
    }
  }
  return names;
}

TEST_F(Resources, EveryFileThePagesNameIsInTheFolder) {
  const QStringList present = QDir(resourcesFolder()).entryList(QDir::Files);
  const QStringList names = referencedResources();
  EXPECT_TRUE(names.contains(s("classic.css")));
  EXPECT_TRUE(names.contains(s("nav_listen.png")));
  for (const QString& name : names) {
    if (name.endsWith(QLatin1Char('_'))) {
      EXPECT_FALSE(present.filter(QRegularExpression(s("^") + QRegularExpression::escape(name))).isEmpty())
          << name.toStdString();
    } else {
      EXPECT_TRUE(present.contains(name)) << name.toStdString();
    }
  }

  // The icons the folder page shows, built by the page document code with the real list.
  Document doc;
  Element section = doc.createDocumentElement(s("section"));
  for (const char* mode : {"list", "icon", "mini"}) {
    for (const bool hidden : {false, true}) {
      for (const char* name : {"a.mp3", "b.JPG", "c.mkv", "d.pdf", "e.unknown", "f", "g.ogg", "h.flac"}) {
        const char* type = QString::fromLatin1(name).endsWith(s(".JPG")) ? "image" : "other";
        BuildFileItem(section, file(s(mode), s(name), type, 1, hidden));
      }
      BuildFolderItem(section, s(mode), hidden, s("x"), kDate, {});
    }
  }
  for (const Element& item : section.childElements()) {
    const QString img = item.firstChildElement(s("img")).text();
    ASSERT_TRUE(img.startsWith(s("/?res="))) << img.toStdString();
    EXPECT_TRUE(present.contains(img.mid(6))) << img.toStdString();
  }
}

QSize pngSize(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  const QByteArray head = file.read(24);
  if (head.size() < 24 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR") {
    return {};
  }
  return {static_cast<int>(qFromBigEndian<quint32>(head.constData() + 16)),
          static_cast<int>(qFromBigEndian<quint32>(head.constData() + 20))};
}

TEST_F(Resources, TheIconSetsFollowTheLookupRule) {
  const QString list = orv::core::getResourcesIconsList(resourcesFolder());
  ASSERT_FALSE(list.isEmpty());

  // Every file-type icon belongs to a complete set, and each set is scanned whole.
  const QStringList present = QDir(resourcesFolder()).entryList(QDir::Files);
  const QStringList icons = present.filter(QRegularExpression(s("^filetype_")));
  static const QRegularExpression name(s("^filetype_(16|48)_(show|hide)_(.+)$"));
  QSet<QString> sets;
  for (const QString& icon : icons) {
    const auto match = name.match(icon);
    ASSERT_TRUE(match.hasMatch()) << icon.toStdString();
    sets.insert(match.captured(3));
    EXPECT_EQ(pngSize(resourcesFolder() + QLatin1Char('/') + icon),
              QSize(match.captured(1).toInt(), match.captured(1).toInt()))
        << icon.toStdString();
  }
  EXPECT_EQ(icons.size(), sets.size() * 4);
  QStringList served;
  for (const QString& set : sets) {
    const QString extensions = set.left(set.lastIndexOf(QLatin1Char('.')));
    for (const QString& extension : extensions.split(QLatin1Char('-'))) {
      EXPECT_TRUE(list.contains(s(".") + extension + s(":") + set + s(";"))) << set.toStdString();
      served << extension.toLower();
    }
  }
  // No extension stands in two sets, so the folder's order never decides an icon.
  EXPECT_EQ(QSet<QString>(served.begin(), served.end()).size(), served.size());

  const struct {
    const char* extension;
    int visibility;
    int size;
    const char* starts;
  } lookups[] = {
      {"mp3", 0, 16, "filetype_16_show_mp3-"},
      {"FLAC", 1, 48, "filetype_48_hide_mp3-"},
      {"jpg", 0, 48, "filetype_48_show_jpg-"},
      {"png", 1, 16, "filetype_16_hide_jpg-"},
      {"mkv", 0, 16, "filetype_16_show_avi-"},
      {"pdf", 0, 48, "filetype_48_show_pdf-"},
      {"zip", 0, 16, "filetype_16_show_zip-"},
      {"cpp", 0, 16, "filetype_16_show_c-"},
      {"txt", 0, 16, "filetype_16_show_txt-"},
      {"pls", 0, 48, "filetype_48_show_pls-"},
      {"xyz", 0, 16, "default"},
      {"", 0, 16, "default"},
      {"p", 0, 16, "default"},
  };
  for (const auto& lookup : lookups) {
    const QString icon =
        orv::core::getFileTypeIconName(list, s(lookup.extension), lookup.visibility, lookup.size, s("default"));
    EXPECT_TRUE(icon.startsWith(s(lookup.starts))) << lookup.extension << " gave " << icon.toStdString();
    if (icon != s("default")) {
      EXPECT_TRUE(present.contains(icon)) << icon.toStdString();
    }
  }
}

TEST_F(Resources, TheOtherIconsHaveTheirSizes) {
  const struct {
    const char* pattern;
    int side;
  } families[] = {
      {"^itemicon_small_", 16}, {"^itemicon_big_", 48}, {"^nav_", 16}, {"^login\\.png$", 48}, {"^groupdetails_", 96},
  };
  const QStringList present = QDir(resourcesFolder()).entryList(QDir::Files);
  for (const auto& family : families) {
    const QStringList members = present.filter(QRegularExpression(s(family.pattern)));
    EXPECT_FALSE(members.isEmpty()) << family.pattern;
    for (const QString& member : members) {
      EXPECT_EQ(pngSize(resourcesFolder() + QLatin1Char('/') + member), QSize(family.side, family.side))
          << member.toStdString();
    }
  }

  // favicon.ico: an icon directory of PNG pictures of 16, 32 and 48 pixels.
  QFile favicon(resourcesFolder() + s("/favicon.ico"));
  ASSERT_TRUE(favicon.open(QIODevice::ReadOnly));
  const QByteArray bytes = favicon.readAll();
  ASSERT_GE(bytes.size(), 6);
  EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 2), 1);  // an icon, not a cursor
  const int count = qFromLittleEndian<quint16>(bytes.constData() + 4);
  ASSERT_EQ(count, 3);
  QList<int> sides;
  for (int i = 0; i < count; ++i) {
    const char* entry = bytes.constData() + 6 + 16 * i;
    const quint32 size = qFromLittleEndian<quint32>(entry + 8);
    const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
    ASSERT_LE(qsizetype(offset + size), bytes.size());
    EXPECT_TRUE(bytes.mid(offset, 8).startsWith("\x89PNG")) << i;
    sides << static_cast<unsigned char>(entry[0]);
    const QImage picture = QImage::fromData(bytes.mid(offset, size), "PNG");
    EXPECT_EQ(picture.size(), QSize(sides.last(), sides.last()));
  }
  EXPECT_EQ(sides, (QList<int>{16, 32, 48}));
}

}  // namespace
