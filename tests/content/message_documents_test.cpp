#include "content/message_documents.h"

#include "page_fixture.h"

namespace {

using namespace page_fixture;
using orv::content::usrBuildXmlPage;
using orv::xml::Document;

constexpr const char* kTop =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<?xml-stylesheet type=\"text/xsl\" href=\"/?res=classic-full.xsl\"?>\n";

using MessageDocuments = PageTest;

TEST_F(MessageDocuments, AMessagePageHoldsItsTitleAndLabel) {
  struct Case {
    const char* title;
    const char* label;
    const char* tag;
    const char* expected;
  };
  const Case cases[] = {
      {"ERROR", "ERROR 404 : Not Found", "",
       "<page><document type=\"message\"><url icon=\"/?res=favicon.ico\" tag=\"\"/></document>"
       "<message><title>ERROR</title><label>ERROR 404 : Not Found</label></message></page>\n"},
      {"", "", "?a=b c",
       "<page><document type=\"message\"><url icon=\"/?res=favicon.ico\" tag=\"?a=b%20c\"/></document>"
       "<message><title></title><label></label></message></page>\n"},
      {"Tom & <Jerry>", "a\x01z", "",
       "<page><document type=\"message\"><url icon=\"/?res=favicon.ico\" tag=\"\"/></document>"
       "<message><title>Tom &amp; &lt;Jerry&gt;</title><label>a\xEF\xBF\xBDz</label></message></page>\n"},
  };
  // A folder.ico or a user icon never shows on a message page.
  writeRaw(app_.path() + s("/resources"), "me.ico");
  for (const Case& c : cases) {
    usrBuildXmlPage builder;
    builder.SetUrlTag(s(c.tag));
    builder.SetUserDefaultUrlIcon(s("me.ico"));
    builder.SetMessageTitle(s(c.title));
    builder.SetMessageLabel(s(c.label));
    builder.BuildDocumentMessage();
    EXPECT_EQ(builder.GetOutputDocument().toBytes(), QByteArray(kTop) + c.expected) << c.title;
  }
}

TEST_F(MessageDocuments, ALoginPageHoldsTheFormTextsAndItsTitle) {
  usrBuildXmlPage builder;
  builder.SetIdentificationTitle(s("HTLM/IDENTIFICATION/TITLE"));
  builder.BuildDocumentIdentification();
  EXPECT_EQ(builder.GetOutputDocument().toBytes(),
            QByteArray(kTop) +
                "<page><server><language type=\"en\"><info>HTLM/IDENTIFICATION/INFO</info>"
                "<user>HTLM/IDENTIFICATION/USER</user><password>HTLM/IDENTIFICATION/PASSWORD</password>"
                "<savepwd>HTLM/IDENTIFICATION/SAVE_PWD</savepwd><submit>HTLM/IDENTIFICATION/SUBMIT</submit>"
                "</language></server><document type=\"identification\"><url icon=\"/?res=favicon.ico\" tag=\"\"/>"
                "</document><identification><title>HTLM/IDENTIFICATION/TITLE</title></identification></page>\n");
}

TEST_F(MessageDocuments, ASingleItemDescribesOneFileOrFolder) {
  orv::core::gConfiguration.ShellExtension.strResourcesIconsList = s(".mp3:mp3-wav.png;");
  writeRaw(share_.path(), "song.mp3", mp3Bytes("Title", "Artist", "Album"), at(2006, 3, 7, 4, 5, 9));
  writeRaw(share_.path(), "untagged.mp3", "no tag here", at(2006, 3, 7, 4, 5, 9));
  writeRaw(share_.path(), ".notes.txt", "12345", at(2006, 3, 7, 4, 5, 9));
  makeRawFolder(share_.path(), "My Music", at(2005, 1, 2, 3, 4, 5));
  const QString xml = s("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  struct Case {
    const char* what;
    QString path;
    int type;
    QString expected;
  };
  const Case cases[] = {
      {"a sound file always carries its MP3 data", share_.file(s("song.mp3")), 2,
       xml + s("<item><img>/?res=filetype_16_show_mp3-wav.png</img><artist>Artist</artist><title>Title</title>"
               "<album>Album</album><year>2004</year><track>03</track><length>00:00</length>"
               "<bitrate>128</bitrate><label>song.mp3</label><name>song.mp3</name><date>2006/03/07 04:05:09</date>"
               "<size>545</size><type>mp3</type><src>song.mp3</src></item>\n")},
      {"a sound file without tags has the seven elements all the same", share_.file(s("untagged.mp3")), 2,
       xml + s("<item><img>/?res=filetype_16_show_mp3-wav.png</img><artist>HTLM/GROUP/UNKNOW_ARTIST</artist>"
               "<title></title><album>HTLM/GROUP/UNKNOW_ALBUM</album><year></year><track></track>"
               "<length>-</length><bitrate>0</bitrate><label>untagged.mp3</label><name>untagged.mp3</name>"
               "<date>2006/03/07 04:05:09</date><size>11</size><type>mp3</type><src>untagged.mp3</src></item>\n")},
      {"a hidden file of another type", share_.file(s(".notes.txt")), 2,
       xml + s("<item><img>/?res=itemicon_small_hide_other.png</img><label>.notes.txt</label>"
               "<name>.notes.txt</name><date>2006/03/07 04:05:09</date><size>5</size><type>txt</type>"
               "<src>.notes.txt</src></item>\n")},
      {"a disk folder, with or without its trailing slash", share_.file(s("My Music/")), 0,
       xml + s("<item><img>/?res=itemicon_small_show_folder.png</img><label>My Music</label>"
               "<name>My Music/</name><date>2005/01/02 03:04:05</date><src>My%20Music/</src></item>\n")},
      {"a virtual folder has the fixed date", share_.file(s("My Music")), 1,
       xml + s("<item><img>/?res=itemicon_small_show_folder.png</img><label>My Music</label>"
               "<name>My Music/</name><date>1980/01/01 00:00:01</date><src>My%20Music/</src></item>\n")},
      {"any other type gives the declaration only", share_.file(s("song.mp3")), 3, xml},
      {"a negative type too", share_.file(s("song.mp3")), -1, xml},
  };
  for (const Case& c : cases) {
    usrBuildXmlPage builder;
    builder.SetSingleItemLocalPath(c.path);
    builder.SetSingleItemType(c.type);
    builder.BuildDocumentSingleItem();
    EXPECT_EQ(QString::fromUtf8(builder.GetOutputDocument().toBytes()), c.expected) << c.what;
  }
}

TEST_F(MessageDocuments, ASingleItemOfANameThatIsNotUtf8LinksToItsBytes) {
  const QString path = writeRaw(share_.path(), "caf\xE9.txt", "x");
  const Document item = orv::content::fnctBuildSingleItemDocument(path, 2, {});
  EXPECT_EQ(item.documentElement().firstChildElement(s("src")).text(), s("caf%E9.txt"));
  EXPECT_EQ(item.documentElement().firstChildElement(s("name")).text(), s("caf\xEF\xBF\xBD.txt"));
  EXPECT_EQ(item.documentElement().firstChildElement(s("size")).text(), s("1"));
}

}  // namespace
