#include "content/build_xml_page.h"

#include "core/file_utils.h"
#include "core/text_encoding.h"
#include "page_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

using namespace page_fixture;
using orv::content::BuildStatus;
using orv::xml::Document;
using orv::xml::Element;

using HostileFolders = PageTest;

// No control character and no lone surrogate: what a page may show.
bool isShowable(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c.unicode() < 0x20) {
      return false;
    }
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      ++i;
    } else if (c.isSurrogate()) {
      return false;
    }
  }
  return true;
}

QByteArray rawName(const QString& name) {
  return orv::platform::nativePath(name);
}

// Every byte a name may hold, alone and in company: control characters, markup, invalid
// UTF-8 of every kind, the byte-order mark, U+FFFD itself and the longest name.
std::vector<QByteArray> hostileNames() {
  std::vector<QByteArray> names;
  for (int byte = 1; byte < 256; ++byte) {
    if (byte != '/') {
      names.push_back(QByteArray("n") + static_cast<char>(byte));
    }
  }
  const QByteArray more[] = {
      "tab\tline\nfeed\rcr",
      "Tom & Jerry <1> \"q\" 'a'",
      "]]>",
      "&amp;",
      "\xC0\xAE\xC0\xAE",
      "\xED\xA0\x80 surrogate",
      "\xF4\x90\x80\x80",
      "\xEF\xBB\xBF"
      "bom",
      "\xEF\xBF\xBD replacement",
      "caf\xE9",
      "caf\xC3\xA9",
      "%41%2F%00",
      "+plus+",
      "a?b=c&d",
      QByteArray(255, 'L'),
      QByteArray(255, '\xFF'),
      QByteArray(85, 'x') + QByteArray("\xE2\x82\xAC").repeated(56) + "yy",
  };
  names.insert(names.end(), std::begin(more), std::end(more));
  return names;
}

TEST_F(HostileFolders, NamesWithEveryByteGiveAWellFormedPageWhoseLinksFindTheFiles) {
  const std::vector<QByteArray> names = hostileNames();
  for (const QByteArray& name : names) {
    writeRaw(share_.path(), name, name);
  }
  makeRawFolder(share_.path(), "sub\x01\xFF<&>");
  std::array<Display, 5> displays;
  displays[0].showby = s("icon");
  displays[1].showby = s("mini");
  auto builder = makeBuilder(share_.path(), s("/"), displays);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);

  const QString text = builder->GetOutputResult();
  QString error;
  const Document page = Document::fromBytes(text.toUtf8(), &error);
  ASSERT_FALSE(page.isNull()) << error.toStdString();

  // "n." is a file without extension and ".": both are "other"; every name is listed once.
  const Element other = sectionOf(page, "other");
  QSet<QByteArray> found;
  for (const Element& group : other.childElements(s("group"))) {
    for (const Element& item : group.childElements(s("item"))) {
      // What a browser sends back for src: the request engine decodes it to the same text
      // and so to the same bytes.
      const QString src = item.firstChildElement(s("src")).text();
      const QString decoded = orv::core::fnctUrlDecode(src, false);
      const QByteArray bytes = rawName(decoded);
      EXPECT_EQ(orv::core::fnctFileExists(share_.path() + QLatin1Char('/') + decoded, false),
                orv::core::ExistenceCode::Usable)
          << bytes.toHex().constData();
      found.insert(bytes);
      const QString shown = item.firstChildElement(s("name")).text();
      EXPECT_TRUE(isShowable(shown)) << bytes.toHex().constData();
      EXPECT_EQ(shown.size(), orv::xml::toXmlSafeText(orv::core::fnctReplaceControlChars(decoded)).size())
          << bytes.toHex().constData() << " " << shown.toStdString();
      EXPECT_EQ(item.firstChildElement(s("size")).text().toLongLong(), bytes.size());
    }
  }
  EXPECT_EQ(found.size(), static_cast<qsizetype>(names.size()));
  for (const QByteArray& name : names) {
    EXPECT_TRUE(found.contains(name)) << name.toHex().constData();
  }
  EXPECT_EQ(other.attribute(s("diskitems")), QString::number(names.size()));

  const Element folder = sectionOf(page, "folder").firstDescendantElement(s("item"));
  EXPECT_EQ(folder.firstChildElement(s("src")).text(), s("sub%01%FF%3C&%3E/?showby_folder=icon"));
  const QString folderName = orv::core::fnctUrlDecode(s("sub%01%FF%3C&%3E"), false);
  EXPECT_EQ(orv::core::fnctFolderExists(share_.path() + QLatin1Char('/') + folderName, false),
            orv::core::ExistenceCode::Usable);
  EXPECT_EQ(folder.firstChildElement(s("name")).text(), s("sub \xEF\xBF\xBD<&>/"));
}

// A link is listed as what it leads to only when that lies inside the share; nothing
// outside the share is listed, read or looked into.
TEST_F(HostileFolders, SymbolicLinksAreListedOnlyWhenTheyStayInsideTheShare) {
  const TempFolder root;
  const QString shareFolder = root.makeFolder(s("share"));
  const QString page = root.makeFolder(s("share/page"));
  root.makeFolder(s("share/sibling"));
  root.write(s("share/sibling/inside.mp3"), mp3Bytes("In", "Inside", "A"));
  root.write(s("share/page/real.txt"), "12345");
  root.makeFolder(s("outside/folder"));
  root.write(s("outside/folder/secret.txt"), "secret");
  root.write(s("outside/outside.mp3"), mp3Bytes("Out", "Outside", "B"));
  const QByteArray at = orv::platform::nativePath(page) + '/';
  const struct {
    const char* target;
    const char* name;
  } links[] = {
      {"real.txt", "to file.txt"},
      {"../sibling", "to sibling"},
      {"../sibling/inside.mp3", "to inside.mp3"},
      {"..", "to share"},
      {"../../outside/outside.mp3", "to outside.mp3"},
      {"../../outside/folder", "to outside folder"},
      {"../../outside", "to outside"},
      {"/", "to root"},
      {"missing.txt", "dangling.txt"},
      {"loop b", "loop a"},
      {"loop a", "loop b"},
      {"self", "self"},
      {"../page/../../outside/folder", "winding"},
  };
  for (const auto& link : links) {
    ASSERT_EQ(::symlink(link.target, (at + link.name).constData()), 0) << link.name;
  }
  ASSERT_EQ(::mkfifo((at + "pipe.txt").constData(), 0644), 0);

  std::array<Display, 5> displays;
  displays[2].sortby = s("artist");
  auto builder = makeBuilder(page, s("/page/"), displays);
  builder->SetShareLocalFolderPath(shareFolder);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Document& built = builder->GetOutputDocument();
  EXPECT_EQ(itemNamesOf(sectionOf(built, "folder")), (QStringList{s("to share/"), s("to sibling/")}));
  EXPECT_EQ(itemNamesOf(sectionOf(built, "other")), (QStringList{s("real.txt"), s("to file.txt")}));
  EXPECT_EQ(itemNamesOf(sectionOf(built, "sound")), (QStringList{s("to inside.mp3")}));
  EXPECT_EQ(sectionOf(built, "sound").firstDescendantElement(s("artist")).text(), s("Inside"));
  const QByteArray bytes = built.toBytes();
  EXPECT_FALSE(bytes.contains("Outside"));
  EXPECT_FALSE(bytes.contains("secret"));
  EXPECT_FALSE(bytes.contains("pipe"));
  // A link to a file is listed with the size of what it leads to.
  const Element linked = sectionOf(built, "other").childElements(s("group")).back().firstChildElement(s("item"));
  EXPECT_EQ(linked.firstChildElement(s("size")).text(), s("5"));

  // Without the share's folder the page's own folder is the limit.
  auto narrow = makeBuilder(page, s("/page/"));
  ASSERT_EQ(narrow->BuildDocumentFolder(), BuildStatus::Completed);
  EXPECT_EQ(itemNamesOf(sectionOf(narrow->GetOutputDocument(), "folder")), QStringList());
  EXPECT_EQ(itemNamesOf(sectionOf(narrow->GetOutputDocument(), "other")),
            (QStringList{s("real.txt"), s("to file.txt")}));

  // A page folder that leads out of the share is not listed at all.
  auto escaped = makeBuilder(page + s("/to outside folder"), s("/page/x/"));
  escaped->SetShareLocalFolderPath(shareFolder);
  EXPECT_EQ(escaped->BuildDocumentFolder(), BuildStatus::Failed);
  EXPECT_FALSE(escaped->GetOutputDocument().toBytes().contains("secret"));
}

// An entry that turns into a link leading out of the share while the build waits is left
// out: its turn comes after the swap, and nothing of what it leads to is read.
TEST_F(HostileFolders, AFileSwappedForALinkOutOfTheShareDuringTheListingIsLeftOut) {
  const TempFolder outside;
  const QString secret = writeRaw(outside.path(), "secret.mp3", mp3Bytes("Secret", "Outsider", "Hidden"));
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
    writeRaw(share_.path(), name, mp3Bytes(name, "Insider", "Album"));
  }
  std::array<Display, 5> displays;
  displays[2].sortby = s("artist");
  auto builder = makeBuilder(share_.path(), s("/"), displays);
  const QByteArray swapped = orv::platform::nativePath(share_.file(s("c.mp3")));
  const QByteArray target = orv::platform::nativePath(secret);
  struct Swap : QObject {
    QByteArray path;
    QByteArray to;
    void customEvent(QEvent*) override {
      ::unlink(path.constData());
      EXPECT_EQ(::symlink(to.constData(), path.constData()), 0);
    }
  } swap;
  swap.path = swapped;
  swap.to = target;
  QCoreApplication::postEvent(&swap, new QEvent(QEvent::User));
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Element sound = sectionOf(builder->GetOutputDocument(), "sound");
  EXPECT_EQ(itemNamesOf(sound), words("a.mp3 b.mp3"));
  const QByteArray bytes = builder->GetOutputDocument().toBytes();
  EXPECT_FALSE(bytes.contains("Outsider"));
  EXPECT_FALSE(bytes.contains("Secret"));
}

// Sound files whose bytes are no good MP3, listed by artist: each item carries what the
// reader makes of it (the not-found values where nothing is there), the listing reads them
// through its own handle within their real size, and the page stays well-formed.
TEST_F(HostileFolders, HostileMp3FilesGiveTheirNotFoundValuesInAWellFormedPage) {
  QByteArray frame(417, '\0');
  frame[0] = '\xFF';
  frame[1] = '\xFB';
  frame[2] = '\x90';
  const auto fixed = [](const QByteArray& text, int width) { return (text + QByteArray(width, '\0')).left(width); };
  const QByteArray markupTag = "TAG" + fixed("\x1F]]>", 30) + fixed("Tom\x01& <Jerry>", 30) + fixed("", 30) +
                               fixed("", 4) + fixed("", 28) + '\0' + '\0' + '\x0C';
  struct Case {
    const char* name;
    QByteArray bytes;
    qint64 size;  // the file is made this long (sparse) when above its bytes
    const char* title;
    const char* artist;
    const char* length;
    const char* bitrate;
  };
  const char* unknown = "HTLM/GROUP/UNKNOW_ARTIST";
  const Case cases[] = {
      {"empty.mp3", {}, 0, "", unknown, "-", "0"},
      {"text.mp3", "This is no MP3 at all, only text.\n", 0, "", unknown, "-", "0"},
      // The tag says 2048 bytes and its title frame 256: the file ends after three.
      {"truncated.mp3", QByteArray("ID3\x03\0\0\0\0\x10\0TIT2\0\0\x01\0\0\0\0Cut", 24), 0, "Cut", unknown, "-", "0"},
      // The largest tag and a frame of nearly 4 GiB in 26 bytes.
      {"huge.mp3", QByteArray("ID3\x03\0\0\x7F\x7F\x7F\x7FTPE1\xFF\xFF\xFF\xF0\0\0\0Band", 25), 0, "", "Band", "-",
       "0"},
      // 2 GiB of zeros after one frame header: (2^31 - 1) * 8 / 1000 kbit at 128 kbit/s.
      {"sparse.mp3", frame, qint64{2} * 1024 * 1024 * 1024, "", unknown, "37:16:58", "128"},
      {"markup.mp3", frame + markupTag, 0, " ]]>", "Tom & <Jerry>", "00:00", "128"},
  };
  for (const Case& c : cases) {
    const QString path = writeRaw(share_.path(), c.name, c.bytes);
    if (c.size > c.bytes.size()) {
      ASSERT_EQ(::truncate(orv::platform::nativePath(path).constData(), c.size), 0);
    }
  }
  std::array<Display, 5> displays;
  displays[2].sortby = s("artist");
  auto builder = makeBuilder(share_.path(), s("/"), displays);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  QString error;
  const Document page = Document::fromBytes(builder->GetOutputResult().toUtf8(), &error);
  ASSERT_FALSE(page.isNull()) << error.toStdString();

  const Element sound = sectionOf(page, "sound");
  EXPECT_EQ(sound.attribute(s("diskitems")), QString::number(std::size(cases)));
  for (const Case& c : cases) {
    Element found;
    for (const Element& group : sound.childElements(s("group"))) {
      for (const Element& item : group.childElements(s("item"))) {
        if (item.firstChildElement(s("name")).text() == s(c.name)) {
          found = item;
        }
      }
    }
    ASSERT_FALSE(found.isNull()) << c.name;
    EXPECT_EQ(found.firstChildElement(s("title")).text(), s(c.title)) << c.name;
    EXPECT_EQ(found.firstChildElement(s("artist")).text(), s(c.artist)) << c.name;
    EXPECT_EQ(found.firstChildElement(s("length")).text(), s(c.length)) << c.name;
    EXPECT_EQ(found.firstChildElement(s("bitrate")).text(), s(c.bitrate)) << c.name;
  }
}

TEST_F(HostileFolders, AHundredThousandEntriesAreListedSortedAndGrouped) {
  constexpr int kEntries = 100000;
  // In memory where the system has a memory file system: making and removing a hundred
  // thousand files on a disk takes longer than listing them.
  QTemporaryDir memory(QDir(s("/dev/shm")).exists() ? s("/dev/shm/orv-page-XXXXXX")
                                                    : QDir::tempPath() + s("/orv-page-XXXXXX"));
  ASSERT_TRUE(memory.isValid());
  const QString folder = memory.path();
  const QByteArray base = orv::platform::nativePath(folder) + '/';
  // Made in reverse order, ten first letters: "a000000.txt", "b000001.txt" ...
  const auto nameOf = [](int i) {
    return QByteArray(1, static_cast<char>('a' + i % 10)) + QByteArray::number(i).rightJustified(6, '0') + ".txt";
  };
  for (int i = kEntries - 1; i >= 0; --i) {
    const int fd = ::open((base + nameOf(i)).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  auto builder = makeBuilder(folder, s("/"));
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const QString text = builder->GetOutputResult();
  const Document page = Document::fromBytes(text.toUtf8());
  ASSERT_FALSE(page.isNull());
  const Element other = sectionOf(page, "other");
  EXPECT_EQ(other.attribute(s("diskitems")), QString::number(kEntries));
  const auto groups = other.childElements(s("group"));
  ASSERT_EQ(groups.size(), 10u);
  EXPECT_EQ(groups.front().attribute(s("name")), s("A"));
  EXPECT_EQ(groups.back().attribute(s("name")), s("J"));
  const auto first = groups.front().childElements(s("item"));
  ASSERT_EQ(first.size(), 10000u);
  EXPECT_EQ(first.front().firstChildElement(s("name")).text(), s("a000000.txt"));
  EXPECT_EQ(first.at(1).firstChildElement(s("name")).text(), s("a000010.txt"));
  EXPECT_EQ(groups.back().childElements(s("item")).back().firstChildElement(s("name")).text(), s("j099999.txt"));
  removeContents(folder);  // QTemporaryDir cannot remove names that are not UTF-8
}

}  // namespace
