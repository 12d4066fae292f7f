// The server-side transform: the page stylesheet of the resources folder turns the pages the
// builder makes into HTML, is parsed once per loaded document, and a missing or broken file
// gives empty pages until it is mended and loaded again.

#include "content/server_transform.h"

#include "content/build_xml_page.h"
#include "content/grouping.h"
#include "core/configuration.h"
#include "core/file_utils.h"
#include "core/text_encoding.h"
#include "html_shape.h"
#include "page_fixture.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

namespace {

using namespace page_fixture;
using html_shape::htmlLinks;
using html_shape::htmlShapeFault;
using orv::content::BuildStatus;
using orv::content::fnctParsedStylesheet;
using orv::content::getXslStylesheetDocument;
using orv::content::subReloadXslStylesheetDocument;
using orv::content::usrBuildXmlPage;
using orv::core::gConfiguration;

QByteArray readSource(const char* relativePath) {
  QFile file(QStringLiteral(ORV_SOURCE_DIR "/") + QString::fromLatin1(relativePath));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A stylesheet that writes each item's name, in the given output encoding.
QByteArray namesStylesheet(const char* encoding) {
  return QByteArray(
             "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
             "<xsl:output method=\"html\" encoding=\"") +
         encoding +
         "\"/><xsl:template match=\"/\"><html><body><xsl:for-each select=\"//item\">"
         "<p><xsl:value-of select=\"name\"/></p></xsl:for-each></body></html></xsl:template></xsl:stylesheet>";
}

// The server transforms pages with the resources folder's page stylesheet.
class ServerTransform : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 2;
    gConfiguration.HtmlDisplay.XSL_FILE = s("classic-full.xsl");
    const QByteArray stylesheet = readSource("resources/classic-full.xsl");
    ASSERT_FALSE(stylesheet.isEmpty());
    writeStylesheet("classic-full.xsl", stylesheet);
    subReloadXslStylesheetDocument();
  }

  void writeStylesheet(const char* name, const QByteArray& bytes) const {
    app_.write(s("resources/") + s(name), bytes);
  }

  // The folder page of the share's folder as the server sends it.
  QString folderPage(const std::array<Display, 5>& displays = {}) const {
    auto builder = makeBuilder(share_.path(), s("/music/"), displays);
    EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
    return builder->GetOutputResult();
  }

  // The files of the share's folder that the page's links lead to, by their names' bytes,
  // as the request engine finds them after decoding the links.
  QSet<QByteArray> linkedFiles(const QString& html) const {
    QSet<QByteArray> files;
    for (const html_shape::HtmlLink& link : htmlLinks(html.toUtf8())) {
      const QString decoded = orv::core::fnctUrlDecode(link.href, false);
      if (!decoded.isEmpty() && !decoded.contains(QLatin1Char('/')) &&
          orv::core::fnctFileExists(share_.path() + QLatin1Char('/') + decoded, false) ==
              orv::core::ExistenceCode::Usable) {
        files.insert(orv::platform::nativePath(decoded));
      }
    }
    return files;
  }
};

TEST_F(ServerTransform, AFolderPageBecomesHtmlThatNamesAndLinksEveryItem) {
  writeRaw(share_.path(), "holiday pictures.txt");
  writeRaw(share_.path(), "Tom & Jerry.mp3", mp3Bytes("Chase", "Tom", "Cartoons"));
  writeRaw(share_.path(), "what?.txt");
  makeRawFolder(share_.path(), "Live");

  const QString html = folderPage();
  ASSERT_TRUE(html.startsWith(s("<!DOCTYPE html"))) << html.left(200).toStdString();
  EXPECT_EQ(htmlShapeFault(html.toUtf8()), QString());

  struct Expected {
    const char* title;
    const char* href;
  };
  const Expected expected[] = {
      {"holiday pictures.txt", "holiday%20pictures.txt"},
      {"Tom & Jerry.mp3", "Tom%20&%20Jerry.mp3"},
      // A "?" in a link would start its query: the page writes it encoded.
      {"what?.txt", "what%3F.txt"},
      {"Live/", "Live/?showby_folder=icon"},
  };
  const std::vector<html_shape::HtmlLink> links = htmlLinks(html.toUtf8());
  for (const Expected& item : expected) {
    bool found = false;
    for (const html_shape::HtmlLink& link : links) {
      if (link.title == s(item.title)) {
        EXPECT_EQ(link.href, s(item.href)) << item.title;
        found = true;
      }
    }
    EXPECT_TRUE(found) << item.title;
  }
  EXPECT_EQ(linkedFiles(html), (QSet<QByteArray>{"holiday pictures.txt", "Tom & Jerry.mp3", "what?.txt"}));
}

TEST_F(ServerTransform, MessageAndLoginPagesBecomeHtmlToo) {
  usrBuildXmlPage message;
  message.SetMessageTitle(s("Error"));
  message.SetMessageLabel(s("Error 404 : Not Found"));
  message.BuildDocumentMessage();
  const QString messageHtml = message.GetOutputResult();
  EXPECT_TRUE(messageHtml.startsWith(s("<!DOCTYPE html")));
  EXPECT_EQ(htmlShapeFault(messageHtml.toUtf8()), QString());
  EXPECT_TRUE(messageHtml.contains(s("Error 404 : Not Found")));

  usrBuildXmlPage login;
  login.SetIdentificationTitle(s("Members <only>"));
  login.BuildDocumentIdentification();
  const QString loginHtml = login.GetOutputResult();
  EXPECT_EQ(htmlShapeFault(loginHtml.toUtf8()), QString());
  EXPECT_TRUE(loginHtml.contains(s("Members &lt;only&gt;")));
  EXPECT_TRUE(loginHtml.contains(s("name=\"password\"")));
}

TEST_F(ServerTransform, WhenTheBrowserTransformsNoStylesheetIsLoadedAndPagesStayXml) {
  writeRaw(share_.path(), "a.txt");
  gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 1;
  const orv::xml::Document document = getXslStylesheetDocument();
  EXPECT_FALSE(document.isNull());
  EXPECT_TRUE(document.documentElement().isNull());

  const QString page = folderPage();
  EXPECT_TRUE(page.startsWith(s("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<?xml-stylesheet"))) << page.toStdString();
  EXPECT_TRUE(page.contains(s("href=\"/?res=classic-full.xsl\"")));
}

TEST_F(ServerTransform, AMissingOrBrokenStylesheetGivesEmptyPagesUntilItIsMendedAndLoadedAgain) {
  writeRaw(share_.path(), "a.txt");
  struct Case {
    const char* what;
    const char* xslFile;
    QByteArray bytes;  // written as the file unless empty
  };
  const Case cases[] = {
      {"a file that is not there", "absent.xsl", {}},
      {"no file name", "", {}},
      {"text that is not XML", "broken.xsl", "<xsl:stylesheet version=\"1.0\""},
      {"XML that is no stylesheet", "page.xsl", "<page><item/></page>"},
      {"a stylesheet whose transform fails", "stops.xsl",
       "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
       "<xsl:template match=\"/\"><xsl:message terminate=\"yes\">stop</xsl:message></xsl:template>"
       "</xsl:stylesheet>"},
  };
  for (const Case& c : cases) {
    if (!c.bytes.isEmpty()) {
      writeStylesheet(c.xslFile, c.bytes);
    }
    gConfiguration.HtmlDisplay.XSL_FILE = s(c.xslFile);
    subReloadXslStylesheetDocument();
    EXPECT_EQ(folderPage(), QString()) << c.what;
    usrBuildXmlPage message;
    message.SetMessageTitle(s("Error"));
    message.BuildDocumentMessage();
    EXPECT_EQ(message.GetOutputResult(), QString()) << c.what;
  }

  // Mended, the file is not read before the settings are saved again.
  writeStylesheet("stops.xsl", namesStylesheet("UTF-8"));
  EXPECT_EQ(folderPage(), QString());
  subReloadXslStylesheetDocument();
  EXPECT_EQ(folderPage(), s("<html><body><p>a.txt</p></body></html>\n"));
}

TEST_F(ServerTransform, TheStylesheetIsParsedOnceForEachLoadedDocument) {
  writeRaw(share_.path(), "a.txt");
  writeStylesheet("names.xsl", namesStylesheet("UTF-8"));
  gConfiguration.HtmlDisplay.XSL_FILE = s("names.xsl");
  subReloadXslStylesheetDocument();
  const auto first = fnctParsedStylesheet(gConfiguration.AppState.objXslTransformDocument);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(folderPage().contains(s("<p>a.txt</p>")));
  EXPECT_TRUE(folderPage().contains(s("<p>a.txt</p>")));
  EXPECT_EQ(fnctParsedStylesheet(gConfiguration.AppState.objXslTransformDocument), first);

  // The file changed on disk is seen only once it is loaded again, and then parsed anew.
  writeStylesheet("names.xsl", QByteArray(namesStylesheet("UTF-8")).replace("<p>", "<li>").replace("</p>", "</li>"));
  EXPECT_TRUE(folderPage().contains(s("<p>a.txt</p>")));
  subReloadXslStylesheetDocument();
  EXPECT_NE(fnctParsedStylesheet(gConfiguration.AppState.objXslTransformDocument), first);
  EXPECT_TRUE(folderPage().contains(s("<li>a.txt</li>")));
}

TEST_F(ServerTransform, AStylesheetWritingAnotherEncodingStillGivesThePageText) {
  writeRaw(share_.path(), "caf\xC3\xA9 \xC3\xBC\xE2\x82\xAC.txt");
  writeStylesheet("latin.xsl", namesStylesheet("ISO-8859-1"));
  gConfiguration.HtmlDisplay.XSL_FILE = s("latin.xsl");
  subReloadXslStylesheetDocument();
  // Written in ISO-8859-1 the name would lose its accents, and the euro sign has no byte
  // there at all: the page is the text, sent as UTF-8.
  EXPECT_EQ(folderPage(), s("<html><body><p>caf\xC3\xA9 \xC3\xBC\xE2\x82\xAC.txt</p></body></html>\n"));
}

TEST_F(ServerTransform, HostileNamesGiveWellFormedHtmlWhoseLinksFindTheFiles) {
  QList<QByteArray> names = {
      "tab\tline\nfeed\rcr.txt",
      "Tom & Jerry <1> \"q\" 'a'.mp3",
      "]]>",
      "&amp;",
      "<script>alert(1)<script>.txt",
      "\xC0\xAE\xC0\xAE",
      "\xED\xA0\x80 surrogate",
      "caf\xE9.jpg",
      "\xEF\xBB\xBF"
      "bom",
      "%41%2F%00",
      "+plus+",
      "a?b=c&d",
      "#hash",
      QByteArray(255, '\xFF'),
  };
  for (int byte = 1; byte < 32; ++byte) {
    names << QByteArray("n") + static_cast<char>(byte);
  }
  for (const QByteArray& name : names) {
    writeRaw(share_.path(), name, name);
  }
  std::array<Display, 5> displays;
  displays[1].showby = s("icon");
  displays[3].showby = s("mini");
  const QString html = folderPage(displays);
  ASSERT_FALSE(html.isEmpty());
  EXPECT_EQ(htmlShapeFault(html.toUtf8()), QString());
  EXPECT_FALSE(html.contains(s("<script>")));
  EXPECT_FALSE(html.contains(s("<1>")));
  EXPECT_FALSE(html.contains(QChar(0xFFFE)));
  EXPECT_TRUE(html.isValidUtf16());
  EXPECT_EQ(linkedFiles(html), QSet<QByteArray>(names.begin(), names.end()));
}

// The server transforms the tree it built, except where a label holds the text of a line
// break; the page's text, read back, must give the same HTML byte for byte.
TEST_F(ServerTransform, TheBuiltTreeGivesTheHtmlItsTextGives) {
  const QList<QByteArray> names = {
      "tab\tline\nfeed\rcr.txt",
      "Tom & Jerry <1> \"q\" 'a'.mp3",
      "]]>",
      "&amp;",
      "\xED\xA0\x80 surrogate",
      "caf\xE9.jpg",
      "\xEF\xBB\xBF"
      "bom",
      "a?b=c&d",
      "a name long enough to be wrapped on two lines or more in the icon view.txt",
      "n\x01",
  };
  for (const QByteArray& name : names) {
    writeRaw(share_.path(), name, name);
  }
  writeRaw(share_.path(), "Song.mp3", mp3Bytes("Title & <b>", "Artist\r\n", "Album \"1\""));
  const auto viewed = [](const char* showby) {
    std::array<Display, 5> displays;
    for (Display& display : displays) {
      display.showby = s(showby);
    }
    return displays;
  };
  const auto expectSameHtml = [&](const char* showby) {
    auto builder = makeBuilder(share_.path(), s("/music/"), viewed(showby));
    EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
    const QByteArray fromTree = builder->GetOutputBytes();
    gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 1;
    const QByteArray text = builder->GetOutputBytes();
    gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 2;
    EXPECT_TRUE(text.startsWith("<?xml")) << showby;
    EXPECT_FALSE(fromTree.isEmpty()) << showby;
    EXPECT_EQ(fromTree, orv::content::fnctTransformPageBytes(text)) << showby;
  };
  for (const char* showby : {"list", "icon", "mini"}) {
    expectSameHtml(showby);
  }
  // Names that start the text of a line break, in any case, take the road of the text.
  writeRaw(share_.path(), "a <br b.txt");
  writeRaw(share_.path(), "A <BR x.txt");
  expectSameHtml("list");
}

}  // namespace
