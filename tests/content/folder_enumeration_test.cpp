#include "content/folder_enumeration.h"

#include "content/grouping.h"
#include "page_fixture.h"

#include <algorithm>
#include <functional>

namespace {

using namespace page_fixture;
using orv::content::BuildStatus;
using orv::xml::Document;
using orv::xml::Element;

// A folder of every kind of entry: two visible sub-folders and a hidden one, files of the
// four types with distinct sizes and dates, and a hidden file.
class FolderEnumeration : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    makeRawFolder(share_.path(), "beta", at(2006, 3, 1));
    makeRawFolder(share_.path(), "Alpha", at(2006, 3, 2));
    makeRawFolder(share_.path(), ".cache", at(2006, 3, 3));
    writeRaw(share_.path(), "notes.txt", "123456789", at(2006, 3, 7, 4, 5, 9));
    writeRaw(share_.path(), "README", "0123456789", at(2006, 3, 5));
    writeRaw(share_.path(), "Zebra.doc", "", at(2006, 3, 6));
    writeRaw(share_.path(), "b song.mp3", "b", at(2006, 1, 2));
    writeRaw(share_.path(), "a song.MP3", "a", at(2006, 1, 1));
    writeRaw(share_.path(), "c.wav", "c", at(2006, 1, 3));
    writeRaw(share_.path(), "photo 2.jpg", "p2", at(2005, 1, 1));
    writeRaw(share_.path(), "Photo 1.png", "p1", at(2005, 1, 2));
    writeRaw(share_.path(), "clip.avi", "v", at(2004, 1, 1));
    writeRaw(share_.path(), ".secret.txt", "s", at(2004, 1, 2));
  }

  Document build(const std::array<Display, 5>& displays = {}, const Share& share = {}) {
    auto builder = makeBuilder(share_.path(), s("/media/"), displays, share);
    EXPECT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
    return Document::fromBytes(builder->GetOutputDocument().toBytes());
  }
};

TEST_F(FolderEnumeration, AFixtureFolderGivesTheSectionsGroupsOrderAndLabelsOfThePage) {
  std::array<Display, 5> displays;
  displays[0].showby = s("icon");
  const auto builder = makeBuilder(share_.path(), s("/media/"), displays);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Document& page = builder->GetOutputDocument();

  struct Expected {
    const char* type;
    QStringList groups;
    const char* diskitems;
  };
  const Expected expected[] = {
      {"folder", {s("A: Alpha/"), s("B: beta/")}, "2"},
      {"other", {s("N: notes.txt"), s("R: README"), s("Z: Zebra.doc")}, "3"},
      {"sound", {s("A: a song.MP3"), s("B: b song.mp3"), s("C: c.wav")}, "3"},
      {"image", {s("P: Photo 1.png, photo 2.jpg")}, "2"},
      {"video", {s("C: clip.avi")}, "1"},
  };
  const auto sections = page.documentElement().childElements(s("section"));
  ASSERT_EQ(sections.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(sections[i].attribute(s("type")), s(expected[i].type));
    EXPECT_EQ(groupsOf(sections[i]), expected[i].groups) << expected[i].type;
    EXPECT_EQ(sections[i].attribute(s("diskitems")), s(expected[i].diskitems)) << expected[i].type;
  }
  // Attributes in the order of the grouped section.
  EXPECT_TRUE(
      sections[1].toBytes().startsWith("<section type=\"other\" showby=\"list\" sortby=\"name\" "
                                       "sortorder=\"ascending\" showgroup=\"true\" filter=\"\" "
                                       "diskitems=\"3\"><group name=\"N\"><item>"))
      << sections[1].toBytes().constData();
  EXPECT_EQ(sections[1].firstChildElement().firstChildElement().toBytes(),
            QByteArray("<item><img>/?res=itemicon_small_show_other.png</img><label>notes.txt</label>"
                       "<name>notes.txt</name><date>2006/03/07 04:05:09</date><size>9</size><type>txt</type>"
                       "<src>notes.txt</src></item>"));
  const Element alpha = sections[0].firstChildElement().firstChildElement();
  EXPECT_EQ(alpha.toBytes(), QByteArray("<item><img>/?res=itemicon_big_show_folder.png</img><label>Alpha</label>"
                                        "<name>Alpha/</name><date>2006/03/02 12:00:00</date>"
                                        "<src>Alpha/?showby_folder=icon</src></item>"));
}

struct VariationCase {
  const char* what;
  std::function<void(std::array<Display, 5>&, Share&)> change;
  const char* type;
  QStringList groups;
  const char* diskitems;
};

TEST_F(FolderEnumeration, DisplaySettingsChooseTheGroupsAndTheirOrder) {
  const VariationCase cases[] = {
      {"sizes sort as numbers into the fixed size groups",
       [](auto& d, auto&) { d[1].sortby = s("size"); },
       "other",
       {s("HTLM/GROUP/NULL_CAPACITY: Zebra.doc"), s("HTLM/GROUP/SMALL_CAPACITY: notes.txt, README")},
       "3"},
      {"descending sizes put the big groups first",
       [](auto& d, auto&) {
         d[1].sortby = s("size");
         d[1].sortorder = s("descending");
       },
       "other",
       {s("HTLM/GROUP/SMALL_CAPACITY: README, notes.txt"), s("HTLM/GROUP/NULL_CAPACITY: Zebra.doc")},
       "3"},
      {"types group under the FILES text and the upper-cased type",
       [](auto& d, auto&) { d[1].sortby = s("type"); },
       "other",
       {s("HTLM/GROUP/FILES : README"), s("HTLM/GROUP/FILES DOC: Zebra.doc"), s("HTLM/GROUP/FILES TXT: notes.txt")},
       "3"},
      {"dates ascending come newest first, named in the locale's short date",
       [](auto& d, auto&) { d[1].sortby = s("date"); },
       "other",
       {s("3/7/2006: notes.txt"), s("3/6/2006: Zebra.doc"), s("3/5/2006: README")},
       "3"},
      {"without groups one nameless group holds every item",
       [](auto& d, auto&) { d[1].showgroup = s("false"); },
       "other",
       {s("-: notes.txt, README, Zebra.doc")},
       "3"},
      {"a date section without groups keeps its nameless group",
       [](auto& d, auto&) {
         d[1].sortby = s("date");
         d[1].showgroup = s("false");
       },
       "other",
       {s("-: notes.txt, Zebra.doc, README")},
       "3"},
      {"names descending",
       [](auto& d, auto&) { d[1].sortorder = s("descending"); },
       "other",
       {s("Z: Zebra.doc"), s("R: README"), s("N: notes.txt")},
       "3"},
      {"display words in capitals work as in lower case",
       [](auto& d, auto&) {
         d[1].showgroup = s("TRUE");
         d[1].sortorder = s("Descending");
       },
       "other",
       {s("Z: Zebra.doc"), s("R: README"), s("N: notes.txt")},
       "3"},
      {"a filter keeps matching names, case ignored, and counts every file",
       [](auto& d, auto&) { d[1].filter = s("TXT"); },
       "other",
       {s("N: notes.txt")},
       "3"},
      {"a sound filter matching nothing lists all sounds",
       [](auto& d, auto&) { d[2].filter = s("nothing"); },
       "sound",
       {s("A: a song.MP3"), s("B: b song.mp3"), s("C: c.wav")},
       "3"},
      {"a folder filter keeps matching folders",
       [](auto& d, auto&) { d[0].filter = s("alp"); },
       "folder",
       {s("A: Alpha/")},
       "2"},
      {"a folder filter matching nothing lists all folders",
       [](auto& d, auto&) { d[0].filter = s("zzz"); },
       "folder",
       {s("A: Alpha/"), s("B: beta/")},
       "2"},
      {"folders by date ascending come newest first",
       [](auto& d, auto&) {
         d[0].sortby = s("date");
         d[0].showgroup = s("false");
       },
       "folder",
       {s("-: Alpha/, beta/")},
       "2"},
      {"a share without sounds lists none and counts none",
       [](auto&, auto& share) { share.sound = false; },
       "sound",
       {},
       "0"},
      {"a share without folders lists no folder",
       [](auto&, auto& share) {
         share.physicalFolder = false;
         share.virtualFolder = false;
       },
       "folder",
       {},
       "0"},
  };
  for (const VariationCase& c : cases) {
    std::array<Display, 5> displays;
    Share share;
    c.change(displays, share);
    const Document page = build(displays, share);
    const Element section = sectionOf(page, c.type);
    EXPECT_EQ(groupsOf(section), c.groups) << c.what;
    EXPECT_EQ(section.attribute(s("diskitems")), s(c.diskitems)) << c.what;
  }
}

TEST_F(FolderEnumeration, HiddenItemsAreListedAndCountedOnlyWhenShown) {
  const Document hidden = build();
  EXPECT_EQ(itemNamesOf(sectionOf(hidden, "folder")), words("Alpha/ beta/"));
  EXPECT_EQ(sectionOf(hidden, "other").attribute(s("diskitems")), s("3"));

  orv::core::gConfiguration.HtmlDisplay.VIEW_HIDDEN_DISK_ITEMS = true;
  const Document shown = build();
  EXPECT_EQ(itemNamesOf(sectionOf(shown, "folder")), words(".cache/ Alpha/ beta/"));
  EXPECT_EQ(sectionOf(shown, "folder").attribute(s("diskitems")), s("3"));
  EXPECT_EQ(itemNamesOf(sectionOf(shown, "other")), words(".secret.txt notes.txt README Zebra.doc"));
  EXPECT_EQ(sectionOf(shown, "other").attribute(s("diskitems")), s("4"));
  const Element secret = sectionOf(shown, "other").firstChildElement().firstChildElement();
  EXPECT_EQ(secret.firstChildElement(s("img")).text(), s("/?res=itemicon_small_hide_other.png"));
}

TEST_F(FolderEnumeration, VirtualFoldersLeadToDeeperShares) {
  const TempFolder rock;
  const TempFolder jazz;
  const TempFolder classic;
  ::utimensat(
      AT_FDCWD, orv::platform::nativePath(rock.path()).constData(),
      std::array<timespec, 2>{{{at(2001, 2, 3).toSecsSinceEpoch(), 0}, {at(2001, 2, 3).toSecsSinceEpoch(), 0}}}.data(),
      0);
  struct Case {
    const char* what;
    QStringList serverPaths;
    QStringList localPaths;
    const char* filter;
    QStringList folderItems;
    const char* diskitems;
  };
  const Case cases[] = {
      {"two shares below one name give one virtual folder dated after the first",
       {s("/media/music/rock/"), s("/media/music/jazz/")},
       {rock.path(), jazz.path()},
       "",
       {s("Alpha/"), s("beta/"), s("music/ 2001/02/03 12:00:00")},
       "3"},
      {"a share of exactly that path gives the entry",
       {s("/media/music/rock/"), s("/media/music/")},
       {rock.path(), classic.path()},
       "",
       {s("Alpha/"), s("beta/"), s("music/")},
       "3"},
      {"a disk folder of the name stands for the virtual one",
       {s("/media/Alpha/deeper/")},
       {rock.path()},
       "",
       {s("Alpha/"), s("beta/")},
       "2"},
      {"shares elsewhere and the page's own share give nothing",
       {s("/other/x/"), s("/media/")},
       {rock.path(), jazz.path()},
       "",
       {s("Alpha/"), s("beta/")},
       "2"},
      {"an encoded name is decoded",
       {s("/media/caf%C3%A9/x/")},
       {rock.path()},
       "",
       {s("Alpha/"), s("beta/"), s("café/ 2001/02/03 12:00:00")},
       "3"},
      {"a filter that rejects a folder reached twice counts it twice and lists it not at all",
       {s("/media/music/rock/"), s("/media/music/jazz/")},
       {rock.path(), jazz.path()},
       "alp",
       {s("Alpha/")},
       "4"},
      {"a filter that rejects every folder lists them all again",
       {s("/media/music/rock/"), s("/media/music/jazz/")},
       {rock.path(), jazz.path()},
       "zzz",
       {s("Alpha/"), s("beta/"), s("music/ 2001/02/03 12:00:00")},
       "3"},
  };
  for (const Case& c : cases) {
    orv::core::gConfiguration.Shared = orv::core::tShares();
    for (qsizetype i = 0; i < c.serverPaths.size(); ++i) {
      addShare(c.serverPaths.at(i), c.localPaths.at(i));
    }
    std::array<Display, 5> displays;
    displays[0].filter = s(c.filter);
    displays[0].showgroup = s("false");
    const Document page = build(displays);
    const Element folders = sectionOf(page, "folder");
    QStringList items;
    for (const Element& item : folders.firstChildElement().childElements(s("item"))) {
      const QString name = item.firstChildElement(s("name")).text();
      const QString date = item.firstChildElement(s("date")).text();
      items << (date == s("2001/02/03 12:00:00") ? name + s(" ") + date : name);
    }
    EXPECT_EQ(items, c.folderItems) << c.what;
    EXPECT_EQ(folders.attribute(s("diskitems")), s(c.diskitems)) << c.what;
  }
}

TEST_F(FolderEnumeration, AVirtualPageListsOnlyVirtualFolders) {
  const TempFolder rock;
  addShare(s("/music/rock/"), rock.path());
  addShare(s("/music/jazz/"), rock.path());
  auto builder = makeBuilder({}, s("/music/"), {}, {}, true);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Document& page = builder->GetOutputDocument();
  EXPECT_EQ(groupsOf(sectionOf(page, "folder")), (QStringList{s("J: jazz/"), s("R: rock/")}));
  for (const char* type : {"other", "sound", "image", "video"}) {
    EXPECT_EQ(sectionOf(page, type).attribute(s("diskitems")), s("0")) << type;
    EXPECT_TRUE(sectionOf(page, type).firstChildElement().isNull()) << type;
  }
  // Listed after the disk folders, so the folder section was sorted.
  EXPECT_EQ(
      sectionOf(page, "folder").firstChildElement().firstChildElement(s("item")).firstChildElement(s("src")).text(),
      s("jazz/?showby_folder=icon"));
}

TEST_F(FolderEnumeration, ArtistAndAlbumGroupsCarryTheirPictureTheirPlaylistAndASearch) {
  const TempFolder music;
  writeRaw(music.path(), "one.mp3", mp3Bytes("One", "Abba", "Gold"));
  writeRaw(music.path(), "two.mp3", mp3Bytes("Two", "abba", "Arrival"));
  writeRaw(music.path(), "three.mp3", mp3Bytes("Three", "Zed & co", "Gold"));
  writeRaw(music.path(), "four.mp3", QByteArray(600, '\0'));  // no tag: the unknown artist
  writeRaw(music.path(), "Gold.jpg", "picture");
  writeRaw(music.path(), "Zed & co.png", "picture");

  std::array<Display, 5> displays;
  displays[2].sortby = s("artist");
  displays[2].showgroup = s("false");  // artist sorting groups anyway
  auto builder = makeBuilder(music.path(), s("/music/"), displays);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Element sound = sectionOf(builder->GetOutputDocument(), "sound");
  EXPECT_EQ(groupsOf(sound), (QStringList{s("Abba: one.mp3, two.mp3"), s("HTLM/GROUP/UNKNOW_ARTIST: four.mp3"),
                                          s("Zed & co: three.mp3")}));
  const auto groups = sound.childElements(s("group"));
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].toBytes().left(groups[0].toBytes().indexOf('>') + 1),
            QByteArray("<group name=\"Abba\" img=\"/?res=groupdetails_artist.png\" playlist=\"?artist:abba.pls\" "
                       "website=\"https://duckduckgo.com/?q=Abba&amp;ia=web\">"));
  EXPECT_FALSE(groups[1].hasAttribute(s("website")));
  EXPECT_EQ(groups[1].attribute(s("playlist")), s("?artist:htlm/group/unknow_artist.pls"));
  EXPECT_EQ(groups[2].attribute(s("img")), s("Zed%20&%20co.png"));
  // The name is one query value: its "&" must not end it.
  EXPECT_EQ(groups[2].attribute(s("website")), s("https://duckduckgo.com/?q=Zed%20%26%20co&ia=web"));
  // Every sound item carries its MP3 data.
  const Element first = groups[0].firstChildElement(s("item"));
  EXPECT_EQ(first.firstChildElement(s("title")).text(), s("One"));
  EXPECT_EQ(first.firstChildElement(s("bitrate")).text(), s("128"));

  displays[2].sortby = s("album");
  builder = makeBuilder(music.path(), s("/music/"), displays);
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  const Element albums = sectionOf(builder->GetOutputDocument(), "sound");
  EXPECT_EQ(groupsOf(albums), (QStringList{s("Arrival: two.mp3"), s("Gold: one.mp3, three.mp3"),
                                           s("HTLM/GROUP/UNKNOW_ALBUM: four.mp3")}));
  const auto albumGroups = albums.childElements(s("group"));
  EXPECT_EQ(albumGroups[1].attribute(s("img")), s("Gold.jpg"));
  EXPECT_EQ(albumGroups[0].attribute(s("img")), s("/?res=groupdetails_album.png"));
  EXPECT_EQ(albumGroups[0].attribute(s("playlist")), s("?album:arrival.pls"));
  EXPECT_FALSE(albumGroups[0].hasAttribute(s("website")));

  // Sorted by name, the MP3 data are not read.
  builder = makeBuilder(music.path(), s("/music/"));
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  EXPECT_TRUE(sectionOf(builder->GetOutputDocument(), "sound").firstDescendantElement(s("artist")).isNull());
}

TEST_F(FolderEnumeration, AGroupNamedLikeAPathFindsNoPictureOutsideTheFolder) {
  // root/share is the share, root/share/music the page, root/outside what it must not show.
  const TempFolder root;
  const QString music = root.makeFolder(s("share/music"));
  root.write(s("outside/secret.jpg"), "picture");
  writeRaw(music, "one.mp3", mp3Bytes("One", "../../outside/secret", "Album"));
  ASSERT_EQ(::symlink("../../outside/secret.jpg", orv::platform::nativePath(music + s("/Album.jpg")).constData()), 0);
  std::array<Display, 5> displays;
  displays[2].sortby = s("artist");
  auto builder = makeBuilder(music, s("/music/"), displays);
  builder->SetShareLocalFolderPath(root.file(s("share")));
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  EXPECT_EQ(sectionOf(builder->GetOutputDocument(), "sound").firstChildElement().attribute(s("img")),
            s("/?res=groupdetails_artist.png"));
  displays[2].sortby = s("album");
  builder = makeBuilder(music, s("/music/"), displays);
  builder->SetShareLocalFolderPath(root.file(s("share")));
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  EXPECT_EQ(sectionOf(builder->GetOutputDocument(), "sound").firstChildElement().attribute(s("img")),
            s("/?res=groupdetails_album.png"));
  // Inside the share the same picture is shown.
  root.write(s("share/inside.jpg"), "picture");
  ::unlink(orv::platform::nativePath(music + s("/Album.jpg")).constData());
  ASSERT_EQ(::symlink("../inside.jpg", orv::platform::nativePath(music + s("/Album.jpg")).constData()), 0);
  builder = makeBuilder(music, s("/music/"), displays);
  builder->SetShareLocalFolderPath(root.file(s("share")));
  ASSERT_EQ(builder->BuildDocumentFolder(), BuildStatus::Completed);
  EXPECT_EQ(sectionOf(builder->GetOutputDocument(), "sound").firstChildElement().attribute(s("img")), s("Album.jpg"));
}

TEST_F(FolderEnumeration, NamesAreListedInTheOrderTheSortStylesheetGivesThem) {
  const char* names[] = {"b", "B", "a2", "A1", "é", "É", "e", "Z", "10", "9", " space", "_under", "~tilde", "日本", "😀",
                         "\xEF\xBF\xBD", "ä b", "Ä a", "ab", "a b", "a.b", "a-b", "Ğ", "ğ", "ı", "I", "i",
                         // Long shared starts, told apart past the first units.
                         "same start 😀", "same start \xEE\x80\x80", "same start z", "same start Z1", "same start é",
                         "same starting", "same start"};
  std::vector<orv::content::ListedEntry> entries;
  Document doc;
  Element section = doc.createDocumentElement(s("section"));
  section.setAttribute(s("sortby"), s("name"));
  section.setAttribute(s("sortorder"), s("ascending"));
  for (const char* name : names) {
    entries.push_back({s(name), false, {}});
    section.appendElement(s("item")).appendTextElement(s("name"), s(name));
  }
  // The escaped bytes of a name that is not UTF-8 show as U+FFFD, as the page writes them.
  entries.push_back({orv::platform::pathFromNative("\xE9t\xE9"), false, {}});
  section.appendElement(s("item")).appendTextElement(s("name"), orv::platform::pathFromNative("\xE9t\xE9"));
  std::reverse(entries.begin(), entries.end());
  orv::content::subSortAsPage(entries, false);

  const auto sort = orv::xml::Stylesheet::fromDocument(orv::content::getXslSortStylesheet());
  const Document sorted = sort.transform(doc);
  QStringList byStylesheet;
  for (const Element& item : sorted.documentElement().childElements(s("item"))) {
    byStylesheet << item.firstChildElement(s("name")).text();
  }
  QStringList bySort;
  for (const auto& entry : entries) {
    bySort << orv::xml::toXmlSafeText(entry.name);
  }
  EXPECT_EQ(bySort, byStylesheet);
}

TEST_F(FolderEnumeration, FileTypesComeFromTheExtensionLists) {
  struct Case {
    const char* name;
    orv::content::SectionIndex section;
  };
  const Case cases[] = {
      {"song.mp3", orv::content::kSoundSection},  {"SONG.Mp3", orv::content::kSoundSection},
      {"pic.JPEG", orv::content::kImageSection},  {"film.mkv", orv::content::kVideoSection},
      {"README", orv::content::kOtherSection},    {"archive.tar.gz", orv::content::kOtherSection},
      {"odd.mp3;x", orv::content::kOtherSection}, {"name.", orv::content::kOtherSection},
      {".ogg", orv::content::kSoundSection},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orv::content::getFileSectionOf(orv::content::getNameExtension(s(c.name))), c.section) << c.name;
  }
  EXPECT_EQ(orv::content::getNameExtension(s("README")), QString());
  EXPECT_EQ(orv::content::getNameExtension(s("a.tar.gz")), s("gz"));
}

TEST_F(FolderEnumeration, FileTypesFollowTheListsOfTheMoment) {
  // A changed setting changes the answer at once, for an extension asked before too.
  EXPECT_EQ(orv::content::getFileSectionOf(s("mp3")), orv::content::kSoundSection);
  orv::core::tConfShellExtension& lists = orv::core::gConfiguration.ShellExtension;
  const orv::core::tConfShellExtension saved = lists;
  lists.SOUND = s(".wav;");
  lists.IMAGE = s(".mp3;");
  const orv::content::SectionIndex moved = orv::content::getFileSectionOf(s("mp3"));
  lists.IMAGE += s(".PNG;");
  const orv::content::SectionIndex added = orv::content::getFileSectionOf(s("png"));
  lists = saved;
  EXPECT_EQ(moved, orv::content::kImageSection);
  EXPECT_EQ(added, orv::content::kImageSection);
  EXPECT_EQ(orv::content::getFileSectionOf(s("mp3")), orv::content::kSoundSection);
}

}  // namespace
