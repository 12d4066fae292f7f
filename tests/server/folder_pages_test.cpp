// Folder pages and sections on the request road: the display options of the query, the XML
// page for the browser's transform and the HTML page of the server's, sections, deflate,
// HEAD, keep-alive, the history, a build that fails and a connection that closes while the
// page is being built.

#include "server/folder_pages.h"

#include "folder_road_fixture.h"

#include "content/server_transform.h"
#include "platform/xml.h"
#include "server/file_reader.h"

#include <QFile>

#include <zlib.h>

namespace {

using namespace Qt::StringLiterals;
using enginetest::ComponentArray;
using enginetest::gConfiguration;
using enginetest::HttpAnswer;
using enginetest::parseAnswers;
using orv::core::HistoryEventType;
using orv::server::fnctFolderSectionUrlTag;
using orv::server::fnctReadDisplayOptions;
using orv::server::fnctServedSectionName;
using orv::server::FolderDisplayOptions;
using orv::server::RequestContext;
using orv::server::RequestKind;

QByteArray inflateRaw(const QByteArray& data) {
  z_stream stream{};
  inflateInit2(&stream, -MAX_WBITS);
  QByteArray out(1 << 22, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  inflate(&stream, Z_FINISH);
  out.resize(static_cast<qsizetype>(stream.total_out));
  inflateEnd(&stream);
  return out;
}

// ---- The display options of the query ----

// The option of that key ("showby_image", "showplayers") as read from the options.
QString optionOf(const FolderDisplayOptions& options, const QString& key) {
  if (key == u"showplayers"_s) {
    return options.showplayers;
  }
  const QStringList types = {u"folder"_s, u"other"_s, u"sound"_s, u"image"_s, u"video"_s};
  const QString group = key.section(QLatin1Char('_'), 0, 0);
  const auto type = static_cast<std::size_t>(types.indexOf(key.section(QLatin1Char('_'), 1)));
  if (group == u"showby"_s) {
    return options.showby.at(type);
  }
  if (group == u"sortby"_s) {
    return options.sortby.at(type);
  }
  if (group == u"sortorder"_s) {
    return options.sortorder.at(type);
  }
  if (group == u"showgroup"_s) {
    return options.showgroup.at(type);
  }
  return options.filter.at(type);
}

class DisplayOptions : public testing::Test {
 protected:
  void SetUp() override { saved_ = gConfiguration.HtmlDisplay; }
  void TearDown() override { gConfiguration.HtmlDisplay = saved_; }

 private:
  orv::core::tConfHtmlDisplay saved_;
};

// Each row: the decoded query and the two settings -> the value the builder gets.
TEST_F(DisplayOptions, ValidValuesPassUnchangedAndOthersAreReplaced) {
  struct Case {
    const char* query;
    bool miniatures;
    bool mp3Tags;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      // Nothing asked.
      {"", true, true, "showby_folder", "list"},
      {"", true, true, "showby_image", "mini"},
      {"", false, true, "showby_image", "list"},
      {"", true, true, "sortby_sound", "name"},
      {"", true, true, "sortorder_video", "ascending"},
      {"", true, true, "showgroup_other", "false"},
      {"", true, true, "filter_sound", ""},
      {"", true, true, "showplayers", "false"},
      // Display modes.
      {"?showby_folder=icon", true, true, "showby_folder", "icon"},
      {"?showby_folder=MINI", true, true, "showby_folder", "MINI"},
      {"?showby_video=mini", false, true, "showby_video", "list"},
      {"?showby_image=mini", false, true, "showby_image", "list"},
      {"?showby_image=icon", false, true, "showby_image", "icon"},
      {"?showby_other=<script>", true, true, "showby_other", "list"},
      // Sorts: no size or type for folders, artist and album for sounds with MP3 tags.
      {"?sortby_folder=size", true, true, "sortby_folder", "name"},
      {"?sortby_folder=Date", true, true, "sortby_folder", "Date"},
      {"?sortby_other=size", true, true, "sortby_other", "size"},
      {"?sortby_sound=artist", true, true, "sortby_sound", "artist"},
      {"?sortby_sound=ALBUM", true, true, "sortby_sound", "ALBUM"},
      {"?sortby_sound=artist", true, false, "sortby_sound", "name"},
      {"?sortby_image=artist", true, true, "sortby_image", "name"},
      {"?sortby_video=", true, true, "sortby_video", "name"},
      {"?sortorder_sound=descending", true, true, "sortorder_sound", "descending"},
      {"?sortorder_sound=sideways", true, true, "sortorder_sound", "ascending"},
      // Groups: "false" only where the sort allows it.
      {"?showgroup_image=TRUE", true, true, "showgroup_image", "TRUE"},
      {"?showgroup_other=false", true, true, "showgroup_other", "false"},
      {"?sortby_sound=artist&showgroup_sound=false", true, true, "showgroup_sound", "false"},
      {"?sortby_sound=artist&showgroup_sound=true", true, true, "showgroup_sound", "true"},
      {"?sortby_sound=artist&showgroup_sound=maybe", true, true, "showgroup_sound", "false"},
      // Filters are any text.
      {"?filter_sound=a<b>\"c", true, true, "filter_sound", "a<b>\"c"},
      {"?filter_other=x&filter_video=y", true, true, "filter_video", "y"},
      {"?showplayers=TRUE", true, true, "showplayers", "TRUE"},
      {"?showplayers=yes", true, true, "showplayers", "false"},
      // A key is found only where a parameter starts.
      {"?filter_folder=showby_folder=icon", true, true, "showby_folder", "list"},
      {"?xshowplayers=true", true, true, "showplayers", "false"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.query) + " " + c.key);
    gConfiguration.HtmlDisplay.ALLOW_MINIATURES = c.miniatures;
    gConfiguration.HtmlDisplay.ALLOW_MP3_TAGS = c.mp3Tags;
    EXPECT_EQ(optionOf(fnctReadDisplayOptions(QString::fromUtf8(c.query)), QString::fromLatin1(c.key)),
              QString::fromUtf8(c.expected));
  }
}

// Each row: the request's section and what the share shares -> the section it is served as
// ("" for the whole page).
TEST(FolderSections, ASectionOfATypeTheShareDoesNotShareIsTheWholePage) {
  struct Case {
    const char* section;
    bool physical;
    bool virtualFolders;
    bool image;
    const char* served;
  };
  const Case cases[] = {
      {"image", true, true, true, "image"},     {"image", true, true, false, ""},
      {"folder", true, false, false, "folder"}, {"folder", false, true, false, "folder"},
      {"folder", false, false, true, ""},       {"other", true, true, true, "other"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    RequestContext context;
    context.kind = RequestKind::Section;
    context.sectionName = QString::fromLatin1(c.section);
    context.share.sharePhysicalFolder = c.physical;
    context.share.shareVirtualFolder = c.virtualFolders;
    context.share.shareImage = c.image;
    context.share.shareOther = true;
    EXPECT_EQ(fnctServedSectionName(context), QString::fromLatin1(c.served));
  }
  RequestContext page;
  page.sectionName = u"image"_s;
  page.share.shareImage = true;
  EXPECT_EQ(fnctServedSectionName(page), QString());
}

// The folder links of a folder section open the sub-folders' pages.
TEST(FolderSections, TheFolderSectionsLinksDropTheSectionRequest) {
  const std::pair<const char*, const char*> cases[] = {
      {"?section.xml=folder", "?.pls"},
      {"?section.xml=folder&showby_folder=icon", "?showby_folder=icon&.pls"},
      {"?showby_folder=icon&SECTION.XML=Folder", "?showby_folder=icon&.pls"},
      {"?section.xml=folder&.pls", "?.pls"},
  };
  for (const auto& [query, tag] : cases) {
    EXPECT_EQ(fnctFolderSectionUrlTag(QString::fromLatin1(query)), QString::fromLatin1(tag)) << query;
  }
}

// ---- Pages on the road ----

class FolderPages : public enginetest::FolderRoadTest {
 protected:
  void SetUp() override {
    FolderRoadTest::SetUp();
    tmp.write(u"pub/docs/a.txt"_s, "hello");
    tmp.write(u"pub/docs/notes & more.txt"_s, "0123456789");
    tmp.write(u"pub/docs/song.mp3"_s, "mp3");
    tmp.write(u"pub/docs/pic.png"_s, "png");
    tmp.makeFolder(u"pub/docs/sub"_s);
    orv::core::ShareEntry share;
    share.id = u"id1"_s;
    share.serverPath = u"/plain/"_s;
    share.localPath = tmp.makeFolder(u"plain"_s);
    share.sharePhysicalFolder = true;
    share.shareOther = true;
    gConfiguration.Shared.add(share);
    tmp.write(u"plain/p.txt"_s, "p");
    tmp.write(u"plain/q.png"_s, "q");
    share.id = u"id2"_s;
    share.serverPath = u"/v/w/"_s;
    share.localPath = tmp.makeFolder(u"vw"_s);
    gConfiguration.Shared.add(share);
  }

  // The server transforms pages with the page stylesheet of the resources folder.
  void transformOnTheServer() {
    QFile source(QStringLiteral(ORV_SOURCE_DIR "/resources/classic-full.xsl"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    tmp.write(u"app/resources/classic-full.xsl"_s, source.readAll());
    gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 2;
    gConfiguration.HtmlDisplay.XSL_FILE = u"classic-full.xsl"_s;
    orv::content::subReloadXslStylesheetDocument();
  }

  // The answers of requests sent one after the other on one connection, while it stays
  // open; the connection is then left as it is.
  QList<HttpAnswer> onOneConnection(const QList<QByteArray>& requests) {
    EXPECT_TRUE(admitted("127.0.0.2"));
    TcpPeer& peer = *peers.back();
    for (const QByteArray& request : requests) {
      const int before = enginetest::completeAnswers(peer.received);
      peer.send(request);
      EXPECT_TRUE(
          processEventsUntil([&] { return peer.endOfStream || enginetest::completeAnswers(peer.received) > before; }));
    }
    return parseAnswers(peer.received);
  }
};

TEST_F(FolderPages, AnXmlPageListsTheFolderForTheBrowsersTransform) {
  const HttpAnswer answer = answerTo("GET /docs/?showby_folder=ICON&sortby_other=size HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(answer.header("Content-Type"), "application/xml; charset=UTF-8");
  EXPECT_EQ(answer.header("Content-Length").toLongLong(), answer.body.size());
  EXPECT_EQ(answer.header("Server"), "Orvendale 1.02");
  EXPECT_EQ(answer.header("Accept-Ranges"), "bytes");
  EXPECT_TRUE(answer.hasHeader("Date"));
  EXPECT_EQ(answer.header("Connection"), "Close");
  EXPECT_TRUE(
      answer.body.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<?xml-stylesheet type=\"text/xsl\" href=\"/?res=classic-full.xsl\"?>"));
  const orv::xml::Document page = orv::xml::Document::fromBytes(answer.body);
  ASSERT_FALSE(page.isNull()) << answer.body.left(400).constData();
  const QByteArray& body = answer.body;
  // The query goes into every folder link, with the playlist marker last.
  EXPECT_TRUE(body.contains("tag=\"?showby_folder=ICON&amp;sortby_other=size&amp;.pls\""));
  EXPECT_TRUE(body.contains("<section type=\"folder\" showby=\"icon\""));
  EXPECT_TRUE(body.contains("<section type=\"other\" showby=\"list\" sortby=\"size\""));
  EXPECT_TRUE(body.contains("<name>sub/</name>"));
  EXPECT_TRUE(body.contains("<src>sub/?showby_folder=ICON&amp;sortby_other=size&amp;.pls</src>"));
  EXPECT_TRUE(body.contains("<name>a.txt</name><date>"));
  EXPECT_TRUE(body.contains("<size>5</size><type>txt</type><src>a.txt</src>"));
  EXPECT_TRUE(body.contains("<name>notes &amp; more.txt</name>"));
  EXPECT_TRUE(body.contains("<size>10</size><type>txt</type><src>notes%20&amp;%20more.txt</src>"));
  EXPECT_TRUE(body.contains("<name>song.mp3</name>"));
  EXPECT_TRUE(body.contains("<name>pic.png</name>"));

  ASSERT_EQ(orv::core::gHistoryLists.count(), 1);
  const orv::core::tHistoryEvent& event = orv::core::gHistoryLists.events.back();
  EXPECT_EQ(event.type, HistoryEventType::PHYSICAL_FOLDER_NAVIGATION);
  EXPECT_EQ(event.ipAddress, u"127.0.0.2"_s);
  EXPECT_EQ(event.text, tmp.file(u"pub/docs/"_s));
  const QStringList log = logMessages();
  const qsizetype load = log.indexOf(u"Load usrBuildXmlPage(1) by usrSocket_DataArrival"_s);
  const qsizetype start = log.indexOf(u"Start XML creation"_s);
  const qsizetype end = log.indexOf(u"XML creation finished"_s);
  const qsizetype unload = log.indexOf(u"Unload usrBuildXmlPage(1) by usrSocket_DataArrival"_s);
  EXPECT_TRUE(load >= 0 && load < start && start < end && end < unload) << log.join(u'\n').toStdString();
}

TEST_F(FolderPages, TheServerTransformGivesAnHtmlPageWithTheNamesSizesAndLinks) {
  transformOnTheServer();
  const HttpAnswer answer = answerTo("GET /docs/ HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(answer.header("Content-Type"), "text/html; charset=UTF-8");
  const QByteArray& body = answer.body;
  EXPECT_TRUE(body.startsWith("<!DOCTYPE html")) << body.left(200).constData();
  EXPECT_FALSE(body.contains("<?xml"));
  EXPECT_TRUE(body.contains("href=\"a.txt\"")) << body.constData();
  EXPECT_TRUE(body.contains("href=\"notes%20&amp;%20more.txt\""))
      << body.mid(body.indexOf("notes%20"), 200).constData();
  EXPECT_TRUE(body.contains("href=\"sub/\""));  // no query while the page has no option
  EXPECT_TRUE(body.contains(">notes &amp; more.txt<"));
  EXPECT_TRUE(body.contains(">song.mp3<"));
}

// Each row: the build method, the request and the share -> how it is served.
TEST_F(FolderPages, ASectionIsAnXmlFragmentUnlessItsTypeIsNotShared) {
  struct Case {
    const char* name;
    int method;
    QByteArray url;
    QByteArray contentType;
    QByteArray start;
    QByteArray holds;
    QByteArray lacks;
  };
  const Case cases[] = {
      {"other, client", 1, "/docs/?section.xml=other", "application/xml; charset=UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<section type=\"other\"", "<name>a.txt</name>", "sub/"},
      {"other, server", 2, "/docs/?section.xml=other", "application/xml; charset=UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<section type=\"other\"", "<name>a.txt</name>", "<html"},
      {"sound with options", 1, "/docs/?section.xml=sound&showby_sound=icon", "application/xml; charset=UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<section type=\"sound\" showby=\"icon\"", "<name>song.mp3</name>",
       "a.txt"},
      {"folder", 1, "/docs/?section.xml=folder&showby_folder=icon", "application/xml; charset=UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<section type=\"folder\"",
       "<src>sub/?showby_folder=icon&amp;.pls</src>", "section.xml"},
      {"image not shared, server", 2, "/plain/?section.xml=image", "text/html; charset=UTF-8", "<!DOCTYPE html",
       "p.txt", "<?xml"},
      {"image not shared, client", 1, "/plain/?section.xml=image", "application/xml; charset=UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<?xml-stylesheet", "<name>p.txt</name>", "<name>q.png</name>"},
  };
  transformOnTheServer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = c.method;
    const HttpAnswer answer = answerTo("GET " + c.url + " HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(answer.status(), "200");
    EXPECT_EQ(answer.header("Content-Type"), c.contentType);
    EXPECT_TRUE(answer.body.startsWith(c.start)) << answer.body.left(300).constData();
    EXPECT_TRUE(answer.body.contains(c.holds));
    EXPECT_FALSE(answer.body.contains(c.lacks));
  }
  // A section request is not recorded, not even when it gets the whole page.
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
}

TEST_F(FolderPages, DeflateNeedsBothTheClientAndTheSettingAndInflatesToThePage) {
  const QByteArray page = answerTo("GET /docs/ HTTP/1.1\r\nHost: h\r\n\r\n").body;
  struct Case {
    const char* name;
    bool compression;
    QByteArray acceptEncoding;
    QByteArray url;
    bool deflated;
  };
  const Case cases[] = {
      {"both", true, "gzip, DEFLATE", "/docs/", true},
      {"setting off", false, "deflate", "/docs/", false},
      {"client without deflate", true, "gzip", "/docs/", false},
      {"a section", true, "deflate", "/docs/?section.xml=other", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gConfiguration.Protocol.ENABLE_COMPRESSION = c.compression;
    const HttpAnswer answer =
        answerTo("GET " + c.url + " HTTP/1.1\r\nHost: h\r\nAccept-Encoding: " + c.acceptEncoding + "\r\n\r\n");
    EXPECT_EQ(answer.header("Content-Length").toLongLong(), answer.body.size());
    EXPECT_EQ(answer.header("Content-Encoding"), c.deflated ? "deflate" : "");
    const QByteArray body = c.deflated ? inflateRaw(answer.body) : answer.body;
    if (c.url == "/docs/") {
      EXPECT_EQ(body, page);
    } else {
      EXPECT_TRUE(body.contains("<section type=\"other\""));
    }
  }
}

TEST_F(FolderPages, AHeadRequestGetsTheHeadOfThePageAndIsNotRecorded) {
  gConfiguration.Protocol.ENABLE_COMPRESSION = true;
  for (const QByteArray& encoding : {QByteArray(), QByteArray("Accept-Encoding: deflate\r\n")}) {
    const HttpAnswer get = answerTo("GET /docs/ HTTP/1.1\r\nHost: h\r\n" + encoding + "\r\n");
    orv::core::gHistoryLists = {};
    ASSERT_TRUE(admitted("127.0.0.2"));
    TcpPeer& peer = *peers.back();
    peer.send("HEAD /docs/ HTTP/1.1\r\nHost: h\r\n" + encoding + "\r\n");
    ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
    EXPECT_TRUE(peer.received.endsWith("\r\n\r\n"));
    const HttpAnswer head = parseAnswers(peer.received, 1).first();
    EXPECT_EQ(head.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(head.header("Content-Length"), get.header("Content-Length"));
    EXPECT_EQ(head.header("Content-Encoding"), get.header("Content-Encoding"));
    EXPECT_EQ(head.header("Content-Type"), get.header("Content-Type"));
    EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
    ASSERT_TRUE(waitForSlots(0));
    peers.clear();
  }
}

TEST_F(FolderPages, AKeptPageConnectionServesTheNextRequestUntilTheMaximum) {
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_MAX = 3;
  const QByteArray keep = "Connection: keep-alive\r\n";
  const QList<HttpAnswer> answers = onOneConnection({"GET /docs/ HTTP/1.1\r\n" + keep + "\r\n",
                                                     "GET /docs/?section.xml=other HTTP/1.1\r\n" + keep + "\r\n",
                                                     "GET /docs/ HTTP/1.1\r\n" + keep + "\r\n"});
  ASSERT_EQ(answers.size(), 3);
  EXPECT_EQ(answers[0].header("Connection"), "Keep-Alive");
  EXPECT_EQ(answers[0].header("Keep-Alive"), "timeout=15, max=3");
  EXPECT_EQ(answers[1].header("Connection"), "Keep-Alive");
  EXPECT_EQ(answers[1].header("Keep-Alive"), "timeout=15, max=2");
  EXPECT_EQ(answers[2].header("Keep-Alive"), "timeout=15, max=1");
  ASSERT_EQ(server->slots().count(), 1);
  EXPECT_TRUE(server->slots().usrSocket(1)->Tag().isEmpty());
  EXPECT_TRUE(server->slots().usrFileReader(1)->getIsKeepConnection());
  EXPECT_TRUE(server->slots().usrSocket(1)->isConnectionTimeoutTimerActive());
  EXPECT_FALSE(server->isControlArrayItemLoaded(ComponentArray::usrBuildXmlPage, 1));

  // The request after the last kept one closes the connection.
  TcpPeer& peer = *peers.back();
  peer.send("GET /docs/ HTTP/1.1\r\n" + keep + "\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
  const QList<HttpAnswer> all = parseAnswers(peer.received);
  ASSERT_EQ(all.size(), 4);
  EXPECT_EQ(all[3].header("Connection"), "Close");
  EXPECT_FALSE(all[3].hasHeader("Keep-Alive"));
  EXPECT_TRUE(waitForSlots(0));
}

// Each row: what the client asks -> the Connection header; the connection then closes.
TEST_F(FolderPages, APageNotKeptClosesWithCloseForHttp11AndNothingForHttp10) {
  struct Case {
    QByteArray request;
    QByteArray connection;
  };
  const Case cases[] = {
      {"GET /docs/ HTTP/1.1\r\n\r\n", "Close"},
      {"GET /docs/ HTTP/1.1\r\nConnection: close\r\n\r\n", "Close"},
      {"GET /docs/ HTTP/1.0\r\n\r\n", ""},
      {"GET /docs/?section.xml=other HTTP/1.0\r\n\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.constData());
    const HttpAnswer answer = answerTo(c.request);
    EXPECT_EQ(answer.status(), "200");
    EXPECT_EQ(answer.header("Connection"), c.connection);
    EXPECT_EQ(answer.hasHeader("Connection"), !c.connection.isEmpty());
    EXPECT_FALSE(answer.hasHeader("Keep-Alive"));
  }
}

// A virtual folder lists the shares below it, and its visit is recorded with its URL path.
TEST_F(FolderPages, AVirtualFolderPageListsTheSharesBelowIt) {
  const HttpAnswer answer = answerTo("GET /v/ HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(answer.status(), "200");
  EXPECT_TRUE(answer.body.contains("<name>w/</name>")) << answer.body.right(1200).constData();
  ASSERT_EQ(orv::core::gHistoryLists.count(), 1);
  const orv::core::tHistoryEvent& event = orv::core::gHistoryLists.events.back();
  EXPECT_EQ(event.type, HistoryEventType::VIRTUAL_FOLDER_NAVIGATION);
  EXPECT_EQ(event.ipAddress, u"127.0.0.2"_s);
  EXPECT_EQ(event.text, u"/v/"_s);
  // A section of it, or its head, records nothing.
  orv::core::gHistoryLists.events.clear();
  EXPECT_EQ(answerTo("HEAD /v/ HTTP/1.1\r\nHost: h\r\n\r\n").status(), "200");
  EXPECT_EQ(answerTo("GET /v/?section.xml=folder HTTP/1.1\r\nHost: h\r\n\r\n").status(), "200");
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
}

// The page stylesheet does not load: the client gets an error page rather than an empty
// page passed off as a folder with nothing in it.
TEST_F(FolderPages, AServerTransformThatFailsIsAnErrorNotAnEmptyPage) {
  gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 2;
  gConfiguration.AppState.objXslTransformDocument = std::make_shared<const orv::xml::Document>();
  const HttpAnswer answer = answerTo("GET /docs/ HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n");
  EXPECT_EQ(answer.statusLine, "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(answer.header("Connection"), "Close");
  EXPECT_FALSE(server->isControlArrayItemLoaded(ComponentArray::usrBuildXmlPage, 1));
}

// The connection closes while its page is built: the clean-up destroys the builder in the
// middle of its listing, and nothing touches it or sends anything afterwards (ASan checks).
TEST_F(FolderPages, AConnectionThatClosesDuringTheBuildEndsTheRequest) {
  largeFolder(u"big"_s, 500);
  struct Case {
    const char* name;
    QByteArray request;
  };
  const Case cases[] = {
      {"page", "GET /big/ HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n"},
      {"section", "GET /big/?section.xml=other HTTP/1.1\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    orv::core::debugEventLog().clear();
    int inCreation = 0;
    duringTheNextAnswer([&](int index) {
      inCreation = pagesInCreation();
      server->usrSocket_CloseSck(index);
    });
    ASSERT_TRUE(admitted("127.0.0.2"));
    TcpPeer& peer = *peers.back();
    peer.send(c.request);
    ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
    ASSERT_TRUE(waitForSlots(0));
    EXPECT_EQ(inCreation, 1);
    EXPECT_TRUE(peer.received.isEmpty());
    EXPECT_EQ(pagesInCreation(), 0);
    EXPECT_EQ(logCount(u"Start XML creation"_s), 1);
    EXPECT_EQ(logCount(u"XML creation finished"_s), 0);
    EXPECT_EQ(logCount(u"Unload usrBuildXmlPage(1) by usrSocket_CloseSck"_s), 1);
    peers.clear();
  }
  // The client itself going away, as a browser would.
  ASSERT_TRUE(admitted("127.0.0.2"));
  peers.back()->send("GET /big/ HTTP/1.1\r\n\r\n");
  peers.back()->reset();
  EXPECT_TRUE(waitForSlots(0));
  EXPECT_EQ(answerTo("GET /big/ HTTP/1.1\r\n\r\n").body.count("<item>"), 500);
}

}  // namespace
