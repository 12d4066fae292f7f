#include "content/build_xml_page.h"

#include "page_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>

#include <linux/capability.h>
#include <sys/syscall.h>

#include <functional>

namespace {

using namespace page_fixture;
using orv::content::BuildStatus;
using orv::content::usrBuildXmlPage;
using orv::xml::Document;
using orv::xml::Element;

// Counts the yields of a build: an event posted before the build is delivered by its
// first yield and posts itself again, so it runs once per yield; at the chosen yield it
// does what the test wants done while the build waits (stop, destroy, delete files).
class YieldProbe : public QObject {
 public:
  YieldProbe(int actAt, std::function<void()> action) : actAt_(actAt), action_(std::move(action)) { post(); }
  int yields() const { return yields_; }

 protected:
  void customEvent(QEvent*) override {
    ++yields_;
    if (yields_ == actAt_) {
      action_();
    }
    post();
  }

 private:
  void post() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }
  int actAt_;
  std::function<void()> action_;
  int yields_ = 0;
};

// Drops the capabilities that let root ignore file permissions, for as long as it lives,
// so that a folder made unreadable is unreadable to the test too.
class WithoutFileCapabilities {
 public:
  WithoutFileCapabilities() {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    ::syscall(SYS_capget, &header_, saved_);
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    ::syscall(SYS_capset, &header_, lowered);
  }
  ~WithoutFileCapabilities() { ::syscall(SYS_capset, &header_, saved_); }
  WithoutFileCapabilities(const WithoutFileCapabilities&) = delete;
  WithoutFileCapabilities& operator=(const WithoutFileCapabilities&) = delete;

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
};

class PageBuilder : public PageTest {
 protected:
  // A folder of count files "file-0000.txt" ... and, when asked, as many sub-folders.
  void fill(int count, bool withFolders = false) {
    for (int i = 0; i < count; ++i) {
      writeRaw(share_.path(), QStringLiteral("file-%1.txt").arg(i, 4, 10, QLatin1Char('0')).toUtf8());
      if (withFolders) {
        makeRawFolder(share_.path(), QStringLiteral("folder-%1").arg(i, 4, 10, QLatin1Char('0')).toUtf8());
      }
    }
  }
};

TEST_F(PageBuilder, StopLoopsBeforeTheBuildLeavesTheTopOfThePageOnly) {
  fill(3, true);
  auto builder = makeBuilder(share_.path(), s("/"));
  builder->StopLoops();
  EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Document& page = builder->GetOutputDocument();
  const QByteArray bytes = page.toBytes();
  EXPECT_TRUE(
      bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<?xml-stylesheet type=\"text/xsl\" "
                       "href=\"/?res=classic-full.xsl\"?>\n<page><server>"))
      << bytes.constData();
  QStringList children;
  for (const Element& child : page.documentElement().childElements()) {
    children << child.name();
  }
  EXPECT_EQ(children, words("server document section section section section section"));
  for (const Element& section : page.documentElement().childElements(s("section"))) {
    EXPECT_TRUE(section.firstChildElement().isNull());
    EXPECT_FALSE(section.hasAttribute(s("diskitems")));
    EXPECT_TRUE(section.hasAttribute(s("filter")));
  }
}

TEST_F(PageBuilder, AStopDuringTheFileLoopEndsTheBuildAtTheNextEntry) {
  fill(10);
  for (const int stopAt : {1, 4, 9}) {
    auto builder = makeBuilder(share_.path(), s("/"));
    usrBuildXmlPage* target = builder.get();
    const YieldProbe probe(stopAt, [target] { target->StopLoops(); });
    EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
    const Element other = sectionOf(builder->GetOutputDocument(), "other");
    // Each entry yields after its item: the entries before the stop are listed, no more,
    // and the build ends there (no count, no groups).
    EXPECT_EQ(other.childElements(s("item")).size(), static_cast<std::size_t>(stopAt)) << stopAt;
    EXPECT_EQ(probe.yields(), stopAt);
    EXPECT_FALSE(other.hasAttribute(s("diskitems")));
  }
  // A stop at the last entry finds no next entry: the page is counted and grouped.
  auto builder = makeBuilder(share_.path(), s("/"));
  usrBuildXmlPage* target = builder.get();
  const YieldProbe probe(10, [target] { target->StopLoops(); });
  EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Element other = sectionOf(builder->GetOutputDocument(), "other");
  EXPECT_EQ(itemNamesOf(other).size(), 10);
  EXPECT_EQ(other.attribute(s("diskitems")), s("10"));
}

TEST_F(PageBuilder, AStopDuringTheFolderLoopStillCountsAndGroupsAPageWithoutFiles) {
  for (int i = 0; i < 5; ++i) {
    makeRawFolder(share_.path(), QStringLiteral("folder-%1").arg(i).toUtf8());
  }
  auto builder = makeBuilder(share_.path(), s("/"));
  usrBuildXmlPage* target = builder.get();
  const YieldProbe probe(2, [target] { target->StopLoops(); });
  EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Element folders = sectionOf(builder->GetOutputDocument(), "folder");
  EXPECT_EQ(groupsOf(folders), (QStringList{s("F: folder-0/, folder-1/")}));
  EXPECT_EQ(folders.attribute(s("diskitems")), s("2"));
}

// The connection closes while its page is built: the clean-up stops the builder and
// destroys it from inside the yield. The build must end without touching it (ASan).
TEST_F(PageBuilder, ABuilderDestroyedDuringAYieldEndsItsBuildCleanly) {
  fill(6, true);
  struct Case {
    const char* what;
    int destroyAt;
    std::array<Display, 5> displays;
  };
  std::array<Display, 5> refill;
  refill[1].filter = s("nothing matches");
  const Case cases[] = {
      {"in the sub-folder loop", 3, {}},
      {"in the file loop", 9, {}},
      {"at the last entry", 12, {}},
      {"in the refill of a section", 15, refill},
  };
  for (const Case& c : cases) {
    std::unique_ptr<usrBuildXmlPage> builder = makeBuilder(share_.path(), s("/"), c.displays);
    usrBuildXmlPage* raw = builder.get();
    const YieldProbe probe(c.destroyAt, [&builder] {
      builder->StopLoops();
      builder.reset();
    });
    EXPECT_EQ(raw->BuildDocumentFolder(), BuildStatus::Destroyed) << c.what;
    EXPECT_EQ(builder, nullptr) << c.what;
    EXPECT_EQ(probe.yields(), c.destroyAt) << c.what;
  }
}

TEST_F(PageBuilder, AFolderThatVanishesDuringTheListingGivesTheEntriesSeenBefore) {
  const QString folder = share_.makeFolder(s("going"));
  for (int i = 0; i < 8; ++i) {
    writeRaw(folder, QStringLiteral("file-%1.mp3").arg(i).toUtf8(), mp3Bytes("t", "a", "b"));
  }
  std::array<Display, 5> displays;
  displays[2].sortby = s("artist");
  auto builder = makeBuilder(folder, s("/going/"), displays);
  const YieldProbe probe(3, [folder] { ASSERT_TRUE(QDir(folder).removeRecursively()); });
  EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Document again = Document::fromBytes(builder->GetOutputDocument().toBytes());
  ASSERT_FALSE(again.isNull());
  const Element sound = sectionOf(again, "sound");
  EXPECT_EQ(itemNamesOf(sound), words("file-0.mp3 file-1.mp3 file-2.mp3"));
  EXPECT_EQ(sound.attribute(s("diskitems")), s("3"));

  // Gone before the build: the build fails and says so.
  auto late = makeBuilder(folder, s("/going/"));
  EXPECT_EQ(late->BuildDocumentFolder(), BuildStatus::Failed);
}

TEST_F(PageBuilder, AFolderThatLosesItsPermissionsDuringTheListingGivesTheEntriesSeenBefore) {
  const QString folder = share_.makeFolder(s("locked"));
  for (int i = 0; i < 6; ++i) {
    writeRaw(folder, QStringLiteral("file-%1.txt").arg(i).toUtf8());
  }
  const WithoutFileCapabilities asUser;
  auto builder = makeBuilder(folder, s("/locked/"));
  const QByteArray native = orv::platform::nativePath(folder);
  const YieldProbe probe(2, [native] { ASSERT_EQ(::chmod(native.constData(), 0), 0); });
  EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Element other = sectionOf(builder->GetOutputDocument(), "other");
  EXPECT_EQ(itemNamesOf(other), words("file-0.txt file-1.txt"));

  auto refused = makeBuilder(folder, s("/locked/"));
  EXPECT_EQ(refused->BuildDocumentFolder(), BuildStatus::Failed);
  ASSERT_EQ(::chmod(native.constData(), 0755), 0);
}

TEST_F(PageBuilder, ABuildStartedAgainFromInsideItsOwnYieldIsRefused) {
  fill(3);
  auto builder = makeBuilder(share_.path(), s("/"));
  usrBuildXmlPage* target = builder.get();
  BuildStatus nested = BuildStatus::Completed;
  const YieldProbe probe(1, [target, &nested] { nested = target->BuildDocumentFolder(); });
  EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  EXPECT_EQ(nested, BuildStatus::Failed);
  EXPECT_EQ(itemNamesOf(sectionOf(builder->GetOutputDocument(), "other")),
            words("file-0000.txt file-0001.txt file-0002.txt"));
}

TEST_F(PageBuilder, ASmallPageAskedForDuringAYieldLeavesTheFolderBuildAlone) {
  fill(3);
  auto builder = makeBuilder(share_.path(), s("/"));
  usrBuildXmlPage* target = builder.get();
  const YieldProbe probe(2, [target] {
    target->SetMessageTitle(s("Title"));
    target->BuildDocumentMessage();
    target->BuildDocumentIdentification();
    target->BuildDocumentSingleItem();
  });
  EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  EXPECT_EQ(builder->GetOutputDocument().documentElement().name(), s("page"));
  EXPECT_EQ(itemNamesOf(sectionOf(builder->GetOutputDocument(), "other")).size(), 3);
}

TEST_F(PageBuilder, ASingleSectionListsItsTypeWhateverTheShareSays) {
  fill(2, true);
  writeRaw(share_.path(), "song.mp3");
  Share noSound;
  noSound.sound = false;
  struct Case {
    const char* type;
    const char* items;
  };
  const Case cases[] = {
      {"sound", "song.mp3"},
      {"SOUND", "song.mp3"},
      {"folder", "folder-0000/ folder-0001/"},
      {"other", "file-0000.txt file-0001.txt"},
      {"image", ""},
  };
  for (const Case& c : cases) {
    auto builder = makeBuilder(share_.path(), s("/"), {}, noSound);
    ASSERT_EQ(builder->BuildSingleSection(s(c.type)), BuildStatus::Completed) << c.type;
    const Document& fragment = builder->GetOutputDocument();
    const Element root = fragment.documentElement();
    EXPECT_EQ(root.name(), s("section"));
    EXPECT_EQ(root.attribute(s("type")), s(c.type).toLower());
    EXPECT_EQ(itemNamesOf(root), words(c.items)) << c.type;
    const QByteArray bytes = fragment.toBytes();
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<section type=")) << bytes.constData();
    EXPECT_FALSE(bytes.contains("xml-stylesheet"));
  }
  auto unknown = makeBuilder(share_.path(), s("/"));
  EXPECT_EQ(unknown->BuildSingleSection(s("pictures")), BuildStatus::Completed);
  EXPECT_EQ(unknown->GetOutputDocument().toBytes(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"));
}

TEST_F(PageBuilder, TheOutputTurnsWrappedLabelsIntoLineBreaksAndNothingElse) {
  writeRaw(share_.path(), "holiday pictures.txt");
  writeRaw(share_.path(), "song.mp3", mp3Bytes("<br />", "a<br />b", "x"));
  std::array<Display, 5> displays;
  displays[1].showby = s("icon");
  displays[2].sortby = s("artist");
  auto builder = makeBuilder(share_.path(), s("/"), displays);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);

  // The document keeps the joiner as text; the page text has it as an element.
  EXPECT_TRUE(builder->GetOutputDocument().toBytes().contains("<label>holiday&lt;br /&gt;pictures.txt</label>"));
  const QString page = builder->GetOutputResult();
  EXPECT_TRUE(page.contains(s("<label>holiday<br />pictures.txt</label>"))) << page.toStdString();
  EXPECT_TRUE(page.contains(s("<title>&lt;br /&gt;</title>"))) << page.toStdString();
  EXPECT_TRUE(page.contains(s("<artist>a&lt;br /&gt;b</artist>")));
  EXPECT_FALSE(Document::fromBytes(page.toUtf8()).isNull());

  auto message = std::make_unique<usrBuildXmlPage>();
  message->SetMessageTitle(s("Title"));
  message->SetMessageLabel(s("one<BR />two"));
  message->BuildDocumentMessage();
  EXPECT_TRUE(message->GetOutputResult().contains(s("<label>one<br />two</label>")));
}

TEST_F(PageBuilder, TheServerTransformsThePageWhenItBuildsHtml) {
  writeRaw(share_.path(), "holiday pictures.txt");
  const char* stylesheet =
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
      "<xsl:output method=\"html\" encoding=\"UTF-8\"/>"
      "<xsl:template match=\"/\"><html><body><xsl:for-each select=\"//item\">"
      "<p><xsl:value-of select=\"name\"/><xsl:text> </xsl:text><xsl:value-of select=\"count(label/br)\"/></p>"
      "</xsl:for-each></body></html></xsl:template></xsl:stylesheet>";
  std::array<Display, 5> displays;
  displays[1].showby = s("icon");
  auto builder = makeBuilder(share_.path(), s("/"), displays);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);

  orv::core::gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 2;
  EXPECT_EQ(builder->GetOutputResult(), QString()) << "no page stylesheet loaded";
  orv::core::gConfiguration.AppState.objXslTransformDocument =
      std::make_shared<const Document>(Document::fromBytes(stylesheet));
  EXPECT_EQ(builder->GetOutputResult(), s("<html><body><p>holiday pictures.txt 1</p></body></html>\n"));
  orv::core::gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD = 1;
  EXPECT_TRUE(builder->GetOutputResult().startsWith(s("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<?xml-stylesheet")));
}

TEST_F(PageBuilder, WithoutTheGroupStylesheetTheBuildFails) {
  fill(2);
  orv::core::gConfiguration.AppState.objXslGroupDocument.reset();
  auto builder = makeBuilder(share_.path(), s("/"));
  EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Failed);
  EXPECT_FALSE(builder->GetOutputDocument().toBytes().isEmpty());
}

TEST_F(PageBuilder, ABuilderWithoutABuildHasAnEmptyDocument) {
  const usrBuildXmlPage builder;
  EXPECT_EQ(builder.GetOutputDocument().toBytes(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"));
  EXPECT_TRUE(builder.GetOutputDocument().documentElement().isNull());
}

}  // namespace
