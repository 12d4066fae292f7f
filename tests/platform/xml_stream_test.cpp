#include "platform/xml_stream.h"
#include "platform/file_system.h"
#include "platform/set_aside.h"
#include "platform/xml.h"
#include "platform/xml_plain_scan.h"

#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <string>
#include <vector>

namespace {

using namespace Qt::StringLiterals;

// Every start and end tag as "depth name" or "depth /name", and the value of "v" where a
// start tag has one.
class Recorder : public orv::xml::StreamHandler {
 public:
  void startElement(int depth, std::string_view name, const orv::xml::StreamAttributes& attributes) override {
    std::string line = std::to_string(depth) + " " + std::string(name);
    if (const auto value = attributes.value("v")) {
      line += " v=" + std::string(*value);
    }
    lines.push_back(line);
  }
  void endElement(int depth, std::string_view name) override {
    lines.push_back(std::to_string(depth) + " /" + std::string(name));
  }
  void restart() override {
    lines.clear();
    ++restarts;
  }
  std::vector<std::string> lines;
  int restarts = 0;
};

TEST(XmlStream, ElementsComeInOrderWithTheirDepthAndDecodedValues) {
  const TempFolder folder;
  const QString path =
      folder.write(u"a.xml"_s,
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<A><B v=\"&amp;&lt;&gt;&quot;&apos;&#233;\xc3\xa9\" "
                   "w=\"x\"/><!-- note --><C><D/></C></A>");
  Recorder recorder;
  const orv::xml::StreamResult result = orv::xml::streamElements(path, recorder);
  EXPECT_TRUE(result.opened);
  EXPECT_TRUE(result.wellFormed) << result.error.toStdString();
  EXPECT_EQ(recorder.lines, (std::vector<std::string>{"0 A", "1 B v=&<>\"'\xc3\xa9\xc3\xa9", "1 /B", "1 C", "2 D",
                                                      "2 /D", "1 /C", "0 /A"}));
}

TEST(XmlStream, AFaultEndsTheElementsAndSaysWhy) {
  struct Case {
    const char* name;
    QByteArray bytes;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"cut short in a value", "<A><B/><C v=\"1", {"0 A", "1 B", "1 /B"}},
      {"not XML", "\x01\x02", {}},
      {"empty", "", {}},
      {"an undeclared entity", "<A><B v=\"&x;\"/></A>", {"0 A"}},
      {"a document type", "<!DOCTYPE A [<!ENTITY x \"y\">]><A v=\"&x;\"/>", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TempFolder folder;
    Recorder recorder;
    const orv::xml::StreamResult result = orv::xml::streamElements(folder.write(u"a.xml"_s, c.bytes), recorder);
    EXPECT_TRUE(result.opened);
    EXPECT_FALSE(result.wellFormed);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(recorder.lines, c.lines);
  }
  Recorder recorder;
  const orv::xml::StreamResult missing = orv::xml::streamElements(u"/nonexistent/a.xml"_s, recorder);
  EXPECT_FALSE(missing.opened);
  EXPECT_FALSE(missing.error.isEmpty());
}

TEST(SetAside, AFileIsRenamedAndNoOtherFileIsReplaced) {
  const TempFolder folder;
  const QString path = folder.write(u"store.xml"_s, "first");
  EXPECT_EQ(orv::platform::setFileAside(path, u".bad"_s), path + u".bad"_s);
  folder.write(u"store.xml"_s, "second");
  EXPECT_EQ(orv::platform::setFileAside(path, u".bad"_s), path + u".bad-2"_s);
  folder.write(u"store.xml"_s, "third");
  EXPECT_EQ(orv::platform::setFileAside(path, u".bad"_s), path + u".bad-3"_s);
  QFile first(path + u".bad"_s);
  ASSERT_TRUE(first.open(QIODevice::ReadOnly));
  EXPECT_EQ(first.readAll(), "first");
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
            QStringList({u"store.xml.bad"_s, u"store.xml.bad-2"_s, u"store.xml.bad-3"_s}));
  QString error;
  EXPECT_TRUE(orv::platform::setFileAside(path, u".bad"_s, &error).isEmpty()) << "it is gone";
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace

namespace {

// The same lines from libxml2's document of the bytes: the reference the scanner of the
// plain form must agree with.
void documentLines(const orv::xml::Element& element, int depth, std::vector<std::string>& lines) {
  std::string line = std::to_string(depth) + " " + element.name().toStdString();
  if (element.hasAttribute(u"v"_s)) {
    line += " v=" + element.attribute(u"v"_s).toStdString();
  }
  lines.push_back(line);
  for (const orv::xml::Element& child : element.childElements()) {
    documentLines(child, depth + 1, lines);
  }
  lines.push_back(std::to_string(depth) + " /" + element.name().toStdString());
}

using orv::xml::PlainScan;

struct PlainCase {
  const char* name;
  QByteArray bytes;
  PlainScan scan;  // what the scanner of the plain form makes of it
};

TEST(XmlStream, ThePlainFormReadsAsLibxml2ReadsItAndAnythingElseGoesToLibxml2) {
  const std::vector<PlainCase> cases = {
      {"the program's form", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<A>\n  <B v=\"1\" w=\"2\"/>\n</A>\n",
       PlainScan::Complete},
      {"single quotes", "<?xml version='1.0' encoding='UTF-8'?><A v='x \"y\"'><B v=\"it's\"/></A>",
       PlainScan::Complete},
      {"no declaration", "<A><B v=\"1\"></B></A>", PlainScan::Complete},
      {"white space in tags", "<A  v = \"1\" ><B\nv=\"2\"\n/></A >", PlainScan::Complete},
      {"the five entities", "<A v=\"&amp;&lt;&gt;&quot;&apos;&amp;amp;\"/>", PlainScan::Complete},
      {"a > in a value", "<A v=\"a>b\"/>", PlainScan::Complete},
      {"UTF-8", "<A v=\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"/>", PlainScan::Complete},
      {"names of every kind", "<_a.b-c9 v=\"1\"><Z/></_a.b-c9>", PlainScan::Complete},
      {"a character reference", "<A v=\"&#233;&#x41;\"/>", PlainScan::Outside},
      {"a tab in a value", "<A v=\"a\tb\"/>", PlainScan::Outside},
      {"a line feed in a value", "<A v=\"a\nb\"/>", PlainScan::Outside},
      {"a comment", "<A><!-- c --><B/></A>", PlainScan::Outside},
      {"text", "<A>text<B/></A>", PlainScan::Outside},
      {"CDATA", "<A><![CDATA[x]]></A>", PlainScan::Outside},
      {"a processing instruction", "<?xml version=\"1.0\"?><?style x?><A/>", PlainScan::Outside},
      {"another encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><A v=\"\xe9\"/>", PlainScan::Outside},
      {"a byte order mark", "\xef\xbb\xbf<A/>", PlainScan::Outside},
      {"a namespace prefix", "<x:A xmlns:x=\"u\"/>", PlainScan::Outside},
      {"white space before the declaration", " <?xml version=\"1.0\"?><A/>", PlainScan::Outside},
      {"white space after the root", "<A/>\n\n", PlainScan::Complete},
      // Not well-formed: the scanner refuses, libxml2 says why.
      {"invalid UTF-8", "<A v=\"\xc3\x28\"/>", PlainScan::Outside},
      {"an overlong form", "<A v=\"\xc0\xaf\"/>", PlainScan::Outside},
      {"U+FFFE", "<A v=\"\xef\xbf\xbe\"/>", PlainScan::Outside},
      {"a control character", "<A v=\"\x01\"/>", PlainScan::Outside},
      {"an unknown entity", "<A v=\"&nbsp;\"/>", PlainScan::Outside},
      {"a bare ampersand", "<A v=\"a & b\"/>", PlainScan::Outside},
      {"a < in a value", "<A v=\"a<b\"/>", PlainScan::Outside},
      {"the same attribute twice", "<A v=\"1\" v=\"2\"/>", PlainScan::Outside},
      {"attributes not apart", "<A v=\"1\"w=\"2\"/>", PlainScan::Outside},
      {"an attribute without a value", "<A v/>", PlainScan::Outside},
      {"an unquoted value", "<A v=1/>", PlainScan::Outside},
      {"a wrong end tag", "<A><B></A></B>", PlainScan::Outside},
      {"an open element at the end", "<A><B/>", PlainScan::Cut},
      {"cut in a tag", "<A><B/><C v=\"1\"", PlainScan::Cut},
      {"cut after a name", "<A><B/><C", PlainScan::Cut},
      {"cut before the root", "<A", PlainScan::Outside},
      {"two roots", "<A/><B/>", PlainScan::Outside},
      {"text after the root", "<A/>x", PlainScan::Outside},
      {"nothing", "", PlainScan::Outside},
      {"only white space", "  \n", PlainScan::Outside},
      {"a name that begins with a digit", "<1A/>", PlainScan::Outside},
      {"a space after <", "< A/>", PlainScan::Outside},
  };
  for (const PlainCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TempFolder folder;
    const QString path = folder.write(u"a.xml"_s, c.bytes);
    qint64 size = 0;
    const int handle = orv::platform::openRegularFileForRead(path, size);
    ASSERT_NE(handle, orv::platform::kInvalidFileHandle);
    Recorder plain;
    const PlainScan scan = orv::xml::scanPlainElements(handle, size, plain);
    orv::platform::closeFile(handle);
    EXPECT_EQ(scan, c.scan);

    std::vector<std::string> expected;
    const orv::xml::Document document = orv::xml::Document::fromBytes(c.bytes);
    if (!document.isNull()) {
      documentLines(document.documentElement(), 0, expected);
    }
    if (scan == PlainScan::Complete) {
      EXPECT_EQ(plain.lines, expected);
    }
    Recorder streamed;
    const orv::xml::StreamResult result = orv::xml::streamElements(path, streamed);
    EXPECT_EQ(result.wellFormed, !document.isNull()) << result.error.toStdString();
    EXPECT_EQ(streamed.restarts, scan == PlainScan::Outside ? 1 : 0);
    if (result.wellFormed) {
      EXPECT_EQ(streamed.lines, expected);
    }
    if (scan == PlainScan::Cut) {
      EXPECT_EQ(streamed.lines, plain.lines);
      EXPECT_FALSE(result.error.isEmpty());
    }
  }
}

// A file larger than one read of the scanner: tags cut at the end of a read are read whole.
TEST(XmlStream, TagsAcrossTheScannersReadsStayWhole) {
  QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<A>";
  std::vector<std::string> expected = {"0 A"};
  for (int i = 0; i < 60000; ++i) {
    const std::string value = "row &amp; " + std::to_string(i) + " \xc3\xa9";
    bytes += "<B v=\"" + QByteArray::fromStdString(value) + "\"/>\n";
    expected.push_back("1 B v=row & " + std::to_string(i) + " \xc3\xa9");
    expected.push_back("1 /B");
  }
  bytes += "</A>";
  expected.push_back("0 /A");
  const TempFolder folder;
  Recorder recorder;
  const orv::xml::StreamResult result = orv::xml::streamElements(folder.write(u"a.xml"_s, bytes), recorder);
  EXPECT_TRUE(result.wellFormed);
  EXPECT_EQ(recorder.restarts, 0);
  EXPECT_EQ(recorder.lines, expected);
}

}  // namespace
