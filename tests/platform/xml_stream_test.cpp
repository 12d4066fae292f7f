#include "platform/xml_stream.h"
#include "platform/set_aside.h"

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
  std::vector<std::string> lines;
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
