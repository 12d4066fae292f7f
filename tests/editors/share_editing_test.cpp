#include "editors/share_editing.h"

#include "core/server_paths.h"
#include "core/text_encoding.h"
#include "platform/surrogate_escape.h"

#include "editors/shares_fixture.h"
#include "support/file_permissions.h"

#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gAppFolder;
using orv::core::gConfiguration;
using orv::editors::EditorField;
using orv::editors::ShareEditorInput;
using orv::editors::ShareRefusal;

const QString kInvalidServerPath = u"MSGBOX/ERRORS/INVALID_SHARE_SERVER_PATH"_s;
const QString kInvalidLocalPath = u"MSGBOX/ERRORS/INVALID_SHARE_LOCAL_PATH"_s;
const QString kAlreadyUsed = u"MSGBOX/ERRORS/SERVER_PATH_ALREADY_USED"_s;

class ShareEditing : public SharesFixture {
 protected:
  ShareEditorInput input(const QString& serverPath, const QString& localPath) const {
    ShareEditorInput in;
    in.serverPath = serverPath;
    in.localPath = localPath;
    return in;
  }

  static QUrl urlOf(const QString& path) { return QUrl::fromLocalFile(path); }

  // A folder whose last name is the given bytes, which need not be UTF-8; its path as the
  // program holds it.
  // The temporary folder cannot remove such a name itself: it goes at the end of the test.
  QString rawFolder(const QByteArray& name) {
    const QByteArray path = shared_.path().toUtf8() + '/' + name;
    EXPECT_EQ(::mkdir(path.constData(), 0700), 0);
    rawFolders_.push_back(path);
    return orv::platform::decodeUtf8Escaped(path);
  }
  void TearDown() override {
    for (const QByteArray& path : rawFolders_) {
      ::rmdir(path.constData());
    }
    SharesFixture::TearDown();
  }
  static QUrl rawUrl(const QString& path) {
    return QUrl(u"file://"_s + QString::fromLatin1(orv::platform::encodeUtf8Escaped(path).toPercentEncoding("/")));
  }

  std::vector<QByteArray> rawFolders_;
};

orv::core::ShareEntry numberedShare(int n) {
  orv::core::ShareEntry entry;
  entry.id = u"id"_s + QString::number(n);
  entry.serverPath = u"/p"_s + QString::number(n) + u"/"_s;
  entry.localPath = u"/tmp"_s;
  return entry;
}

// ---- Adding ----

TEST_F(ShareEditing, AddStoresTheTypedServerPathNormalisedAndEncoded) {
  struct Case {
    QString typed;
    QString stored;
  };
  const std::vector<Case> cases = {
      {u"music"_s, u"/music/"_s},
      {u"/my files"_s, u"/my%20files/"_s},
      {u"  trimmed  "_s, u"/trimmed/"_s},
      {u"/été/"_s, u"/%C3%A9t%C3%A9/"_s},
      {u"/a/b"_s, u"/a/b/"_s},
      {u"/.../"_s, u"/.../"_s},
      {u"/"_s + QString(1990, u'a') + u"/"_s, u"/"_s + QString(1990, u'a') + u"/"_s},
  };
  const QString local = folder(u"music"_s);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.left(40).toStdString());
    gConfiguration.Shared = {};
    gConfiguration.AppState.blnConfigModified = false;
    const auto outcome = orv::editors::cmdAddShare(gConfiguration.Shared, input(c.typed, local));
    ASSERT_FALSE(outcome.refusal.has_value()) << outcome.refusal->textName.toStdString();
    EXPECT_TRUE(outcome.changed);
    EXPECT_EQ(outcome.key, u"id1"_s);
    EXPECT_EQ(gConfiguration.Shared.serverPath.value(u"id1"_s), c.stored);
    EXPECT_EQ(orv::editors::fnctShownServerPath(c.stored), orv::core::fnctNormalizeServerPath(c.typed));
    EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  }
}

TEST_F(ShareEditing, BadServerPathsAreRefusedAndLeaveTheStoreAsItWas) {
  struct Case {
    QString typed;
    QString refusal;
  };
  const std::vector<Case> cases = {
      {u""_s, kInvalidServerPath},
      {u"   "_s, kInvalidServerPath},
      {u"/ music/"_s, kInvalidServerPath},
      {u"/music /"_s, kInvalidServerPath},
      {u"/a:b/"_s, kInvalidServerPath},
      {u"/a\\b/"_s, kInvalidServerPath},
      {u"/a//b/"_s, kInvalidServerPath},
      {u"/a?b/"_s, kInvalidServerPath},
      {u"/a*b/"_s, kInvalidServerPath},
      {u"/a|b/"_s, kInvalidServerPath},
      {u"/a<b>/"_s, kInvalidServerPath},
      {u"/a\"b/"_s, kInvalidServerPath},
      {u"."_s, kInvalidServerPath},
      {u".."_s, kInvalidServerPath},
      {u"/./"_s, kInvalidServerPath},
      {u"/../"_s, kInvalidServerPath},
      {u"/a/../b/"_s, kInvalidServerPath},
      {u"/a/./"_s, kInvalidServerPath},
      {u"/100%/"_s, kInvalidServerPath},
      {u"/my%20files/"_s, kInvalidServerPath},
      {u"/a#b/"_s, kInvalidServerPath},
      {u"/a\tb/"_s, kInvalidServerPath},
      {u"/a\nb/"_s, kInvalidServerPath},
      {u"/a\u007Fb/"_s, kInvalidServerPath},
      {QString(2000, u'a'), kInvalidServerPath},
      {u"/"_s, kAlreadyUsed},
      {u"/Music/"_s, kAlreadyUsed},
      {u"music"_s, kAlreadyUsed},
  };
  addStoredShare(u"id1"_s, u"/music/"_s, folder(u"music"_s));
  const QByteArray before = storeBytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.left(40).toStdString());
    gConfiguration.AppState.blnConfigModified = false;
    const auto outcome = orv::editors::cmdAddShare(gConfiguration.Shared, input(c.typed, folder(u"other"_s)));
    ASSERT_TRUE(outcome.refusal.has_value());
    EXPECT_EQ(*outcome.refusal, (ShareRefusal{c.refusal, EditorField::ServerPath}));
    EXPECT_FALSE(outcome.changed);
    EXPECT_EQ(storeBytes(), before);
    EXPECT_FALSE(gConfiguration.AppState.blnConfigModified);
  }
}

TEST_F(ShareEditing, AnUsedServerPathPutsTheTrimmedTextBackIntoTheBox) {
  addStoredShare(u"id1"_s, u"/music/"_s, folder(u"music"_s));
  const auto outcome = orv::editors::cmdAddShare(gConfiguration.Shared, input(u"  MUSIC  "_s, folder(u"b"_s)));
  EXPECT_EQ(outcome.serverPathText, u"MUSIC"_s);
}

TEST_F(ShareEditing, LocalPathsAreCheckedAndStoredAsTheLoaderStoresThem) {
  const ObeyFilePermissions obey;
  ASSERT_TRUE(obey.binding());
  const QString music = folder(u"music"_s);
  const QString inApp = app_.makeFolder(u"inside"_s);
  const QString file = shared_.write(u"notes.txt"_s, "text");
  const QString listless = folder(u"listless"_s);
  ::chmod(listless.toUtf8().constData(), 0300);
  const QString closed = folder(u"closed"_s);
  ::chmod(closed.toUtf8().constData(), 0600);
  struct Case {
    QString typed;
    std::optional<QString> stored;  // nothing: refused
  };
  const std::vector<Case> cases = {
      {music, music},
      {music + u"/"_s, music},
      {u"{folder:app}/inside"_s, inApp},
      {u"{FOLDER:App}/inside/"_s, inApp},
      {u"{folder:app}"_s, gAppFolder},
      {u"/"_s, u"/"_s},
      {u""_s, std::nullopt},
      {music + u"/missing"_s, std::nullopt},
      {file, std::nullopt},
      {listless, std::nullopt},
      {closed, std::nullopt},
      {u"music"_s, std::nullopt},
      {u" "_s + music, std::nullopt},
      {shared_.path() + u"//music"_s, std::nullopt},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    const QByteArray before = storeBytes();
    const QString path = u"/share"_s + QString::number(++number) + u"/"_s;
    const auto outcome = orv::editors::cmdAddShare(gConfiguration.Shared, input(path, c.typed));
    if (c.stored) {
      ASSERT_FALSE(outcome.refusal.has_value());
      EXPECT_EQ(gConfiguration.Shared.localPath.value(outcome.key), *c.stored);
    } else {
      ASSERT_TRUE(outcome.refusal.has_value());
      EXPECT_EQ(*outcome.refusal, (ShareRefusal{kInvalidLocalPath, EditorField::LocalPath}));
      EXPECT_EQ(storeBytes(), before);
    }
  }
  ::chmod(listless.toUtf8().constData(), 0700);
  ::chmod(closed.toUtf8().constData(), 0700);
}

TEST_F(ShareEditing, TheServerPathIsCheckedBeforeTheLocalPath) {
  const auto outcome = orv::editors::cmdAddShare(gConfiguration.Shared, input(u"/a:b/"_s, u"/missing"_s));
  EXPECT_EQ(outcome.refusal->field, EditorField::ServerPath);
}

TEST_F(ShareEditing, AddTakesTheSmallestFreeKeyAndTheEditorsValues) {
  addStoredShare(u"id1"_s, u"/one/"_s, folder(u"one"_s));
  addStoredShare(u"id3"_s, u"/three/"_s, folder(u"three"_s));
  gConfiguration.Users.add({u"id1"_s, u"amy"_s, u"pw"_s, {}, {}});
  ShareEditorInput in = input(u"/two/"_s, folder(u"two"_s));
  in.users = u"amy"_s;
  in.folder = false;
  in.sound = false;
  const auto outcome = orv::editors::cmdAddShare(gConfiguration.Shared, in);
  ASSERT_EQ(outcome.key, u"id2"_s);
  const orv::core::ShareEntry added = gConfiguration.Shared.entryAt(3);
  EXPECT_EQ(added.id, u"id2"_s);
  EXPECT_EQ(added.users, u"amy"_s);
  EXPECT_TRUE(added.restricted);
  EXPECT_FALSE(added.sharePhysicalFolder);
  EXPECT_FALSE(added.shareVirtualFolder);
  EXPECT_FALSE(added.shareSound);
  EXPECT_TRUE(added.shareOther && added.shareImage && added.shareVideo);

  const orv::core::tShares reloaded = savedAndReloadedShares();
  ASSERT_EQ(reloaded.count(), 3);
  EXPECT_EQ(reloaded.entryAt(3).serverPath, u"/two/"_s);
  EXPECT_EQ(reloaded.entryAt(3).users, u"amy"_s);
}

TEST_F(ShareEditing, FreeShareNumbers) {
  struct Case {
    std::vector<int> taken;
    int free;
  };
  const std::vector<Case> cases = {{{}, 1}, {{1}, 2}, {{1, 3}, 2}, {{2, 3}, 1}, {{1, 2, 3}, 4}};
  for (const Case& c : cases) {
    orv::core::tShares shares;
    for (const int n : c.taken) {
      shares.add(numberedShare(n));
    }
    EXPECT_EQ(orv::editors::GetFreeShareId(shares), c.free);
  }
  orv::core::tShares full;
  for (int n = 1; n <= orv::editors::kLastShareNumber; ++n) {
    full.add(numberedShare(n));
  }
  EXPECT_EQ(orv::editors::GetFreeShareId(full), 0);
}

// ---- Modifying ----

TEST_F(ShareEditing, ModifyKeepsTheKeyAndThePlaceInTheOrderOfAdding) {
  for (const QString& key : {u"id2"_s, u"id3"_s}) {
    SCOPED_TRACE(key.toStdString());
    gConfiguration.Shared = {};
    addStoredShare(u"id1"_s, u"/one/"_s, folder(u"one"_s));
    addStoredShare(u"id2"_s, u"/two/"_s, folder(u"two"_s));
    addStoredShare(u"id3"_s, u"/three/"_s, folder(u"three"_s));
    const qsizetype position = gConfiguration.Shared.ids.positionOf(key);
    gConfiguration.AppState.blnConfigModified = false;
    const auto outcome =
        orv::editors::cmdModifyShare(gConfiguration.Shared, key, input(u"/renamed"_s, folder(u"renamed"_s)));
    ASSERT_TRUE(outcome.changed);
    EXPECT_EQ(gConfiguration.Shared.count(), 3);
    EXPECT_EQ(gConfiguration.Shared.ids.positionOf(key), position);
    EXPECT_EQ(gConfiguration.Shared.serverPath.value(key), u"/renamed/"_s);
    EXPECT_EQ(gConfiguration.Shared.localPath.value(key), folder(u"renamed"_s));
    EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
    const orv::core::tShares reloaded = savedAndReloadedShares();
    EXPECT_EQ(reloaded.entryAt(position).serverPath, u"/renamed/"_s);
  }
}

TEST_F(ShareEditing, ModifyChecksTheNewServerPathAsAddDoesWithoutItsOwnPath) {
  struct Case {
    QString typed;
    std::optional<QString> refusal;  // nothing: accepted
  };
  const std::vector<Case> cases = {
      {u"/two/"_s, std::nullopt},                                    // its own path
      {u"/TWO/"_s, std::nullopt},                                    // its own path in other letters
      {u"/new/"_s, std::nullopt},       {u"/one/"_s, kAlreadyUsed},  // another share's
      {u"/One"_s, kAlreadyUsed},        {u"/"_s, kAlreadyUsed},      // never a second root
      {u"/a:b/"_s, kInvalidServerPath}, {u"/../"_s, kInvalidServerPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    gConfiguration.Shared = {};
    addStoredShare(u"id1"_s, u"/one/"_s, folder(u"one"_s));
    addStoredShare(u"id2"_s, u"/two/"_s, folder(u"two"_s));
    const QByteArray before = storeBytes();
    const auto outcome =
        orv::editors::cmdModifyShare(gConfiguration.Shared, u"id2"_s, input(c.typed, folder(u"two"_s)));
    if (c.refusal) {
      ASSERT_TRUE(outcome.refusal.has_value());
      EXPECT_EQ(outcome.refusal->textName, *c.refusal);
      EXPECT_EQ(storeBytes(), before);
    } else {
      EXPECT_FALSE(outcome.refusal.has_value());
      EXPECT_EQ(gConfiguration.Shared.serverPath.value(u"id2"_s),
                orv::core::fnctUrlEncode(orv::core::fnctNormalizeServerPath(c.typed)));
    }
  }
}

TEST_F(ShareEditing, ModifyOfTheRootShareNeverChangesItsServerPath) {
  const QString other = folder(u"other"_s);
  ShareEditorInput in = input(u"/elsewhere/"_s, other);
  in.video = false;
  const auto outcome = orv::editors::cmdModifyShare(gConfiguration.Shared, u"id0"_s, in);
  ASSERT_TRUE(outcome.changed);
  EXPECT_EQ(gConfiguration.Shared.RootShare.serverPath, u"/"_s);
  EXPECT_EQ(gConfiguration.Shared.RootShare.localPath, other);
  EXPECT_FALSE(gConfiguration.Shared.RootShare.shareVideo);
  EXPECT_EQ(gConfiguration.Shared.count(), 0);
  const orv::core::tShares reloaded = savedAndReloadedShares();
  EXPECT_EQ(reloaded.RootShare.localPath, other);
  EXPECT_FALSE(reloaded.RootShare.shareVideo);
}

TEST_F(ShareEditing, ModifyKeepsTheEscapesOfADroppedFoldersServerPath) {
  const QString odd = folder(u"what?"_s);
  ASSERT_EQ(orv::editors::addDroppedFolders(gConfiguration.Shared, {odd}).keys, QStringList{u"id1"_s});
  const QString stored = gConfiguration.Shared.serverPath.value(u"id1"_s);
  ShareEditorInput in = *orv::editors::fnctEditorInputOf(gConfiguration.Shared, u"id1"_s);
  EXPECT_EQ(in.serverPath, u"/what%3F/"_s);
  in.image = false;
  const auto outcome = orv::editors::cmdModifyShare(gConfiguration.Shared, u"id1"_s, in);
  ASSERT_FALSE(outcome.refusal.has_value());
  EXPECT_EQ(gConfiguration.Shared.serverPath.value(u"id1"_s), stored);
  EXPECT_FALSE(gConfiguration.Shared.shareImage.value(u"id1"_s));
}

TEST_F(ShareEditing, ModifyOfAShareThatIsGoneChangesNothing) {
  const QByteArray before = storeBytes();
  const auto outcome = orv::editors::cmdModifyShare(gConfiguration.Shared, u"id7"_s, input(u"/x/"_s, folder(u"x"_s)));
  EXPECT_FALSE(outcome.changed);
  EXPECT_EQ(storeBytes(), before);
}

// ---- Removing ----

TEST_F(ShareEditing, RemovalAsksAboutTheSelectedSharesAndLeavesTheRootShareOut) {
  addStoredShare(u"id1"_s, u"/one/"_s, folder(u"one"_s));
  addStoredShare(u"id2"_s, u"/two/"_s, folder(u"two"_s));
  addStoredShare(u"id3"_s, u"/three/"_s, folder(u"three"_s));
  struct Case {
    QStringList selected;
    bool currentSelected;
    QStringList keys;
    QString question;  // the text name, or empty
    QString refusal;
  };
  const std::vector<Case> cases = {
      {{}, false, {}, {}, {}},
      {{u"id0"_s}, true, {}, {}, u"MSGBOX/ERRORS/DELETE_ROOT_SHARE"_s},
      {{u"id2"_s}, true, {u"id2"_s}, u"MSGBOX/QUESTIONS/SHARE_DELETE_CONFIRMATION"_s, {}},
      {{u"id0"_s, u"id2"_s}, true, {u"id2"_s}, u"MSGBOX/QUESTIONS/SHARE_DELETE_CONFIRMATION"_s, {}},
      {{u"id1"_s, u"id2"_s, u"id3"_s},
       true,
       {u"id1"_s, u"id2"_s, u"id3"_s},
       u"MSGBOX/QUESTIONS/SHARES_DELETE_CONFIRMATION"_s,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selected.join(u',').toStdString());
    const auto plan = orv::editors::planShareRemoval(gConfiguration.Shared, c.selected, c.currentSelected);
    EXPECT_EQ(plan.keys, c.keys);
    EXPECT_EQ(plan.refusal.has_value(), !c.refusal.isEmpty());
    if (plan.refusal) {
      EXPECT_EQ(plan.refusal->textName, c.refusal);
    }
    if (c.question.isEmpty()) {
      EXPECT_TRUE(plan.question.isEmpty());
      continue;
    }
    QString expected = text(c.question) + u"\n"_s;
    for (const QString& key : c.keys) {
      expected += u"\n- "_s + gConfiguration.Shared.localPath.value(key);
    }
    EXPECT_EQ(plan.question, expected);
  }
  EXPECT_EQ(gConfiguration.Shared.count(), 3);
  gConfiguration.AppState.blnConfigModified = false;
  EXPECT_TRUE(orv::editors::removeShares(gConfiguration.Shared, {u"id0"_s, u"id1"_s, u"id3"_s}));
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  const orv::core::tShares reloaded = savedAndReloadedShares();
  ASSERT_EQ(reloaded.count(), 1);
  EXPECT_EQ(reloaded.entryAt(1).serverPath, u"/two/"_s);
  EXPECT_FALSE(reloaded.RootShare.localPath.isEmpty());
}

// ---- Dropped folders ----

TEST_F(ShareEditing, DroppedFolderNamesGiveServerPathsThatSurviveTheNextStart) {
  struct Case {
    QString name;
    QString shown;  // the server path as the editor shows it
  };
  const std::vector<Case> cases = {
      {u"music"_s, u"/music/"_s},
      {u"my music"_s, u"/my music/"_s},
      {u" edges "_s, u"/%20edges%20/"_s},
      {u"été"_s, u"/été/"_s},
      {u"日本"_s, u"/日本/"_s},
      {u"what?"_s, u"/what%3F/"_s},
      {u"a:b"_s, u"/a%3Ab/"_s},
      {u"a*b|c"_s, u"/a%2Ab%7Cc/"_s},
      {u"<a>\"b\""_s, u"/%3Ca%3E%22b%22/"_s},
      {u"back\\slash"_s, u"/back%5Cslash/"_s},
      {u"100%"_s, u"/100%25/"_s},
      {u"#tag"_s, u"/%23tag/"_s},
      {u"line\nbreak"_s, u"/line%0Abreak/"_s},
      {u"C++"_s, u"/C++/"_s},
      {u"..."_s, u"/.../"_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    gConfiguration.Shared = {};
    gConfiguration.Shared.RootShare.localPath = app_.path();
    const QString path = folder(c.name);
    const auto plan = orv::editors::planFolderDrop({urlOf(path)});
    ASSERT_EQ(plan.folders, QStringList{path});
    const auto outcome = orv::editors::addDroppedFolders(gConfiguration.Shared, plan.folders);
    ASSERT_EQ(outcome.keys, QStringList{u"id1"_s});
    const QString stored = gConfiguration.Shared.serverPath.value(u"id1"_s);
    EXPECT_EQ(orv::editors::fnctShownServerPath(stored), c.shown);
    EXPECT_TRUE(orv::core::isValidServerPath(orv::core::fnctUrlDecode(stored, false)));
    const orv::core::tShares reloaded = savedAndReloadedShares();
    ASSERT_EQ(reloaded.count(), 1);
    EXPECT_EQ(reloaded.entryAt(1).serverPath, stored);
    EXPECT_EQ(reloaded.entryAt(1).localPath, path);
  }
}

TEST_F(ShareEditing, ANameThatIsNotUtf8KeepsItsBytes) {
  const QString path = rawFolder("caf\xE9\xFF");
  const auto plan = orv::editors::planFolderDrop({rawUrl(path)});
  ASSERT_EQ(plan.folders, QStringList{path});
  const auto outcome = orv::editors::addDroppedFolders(gConfiguration.Shared, plan.folders);
  ASSERT_EQ(outcome.keys.size(), 1);
  const QString stored = gConfiguration.Shared.serverPath.value(u"id1"_s);
  EXPECT_EQ(stored, u"/caf%E9%FF/"_s);
  EXPECT_TRUE(orv::core::isValidServerPath(orv::core::fnctUrlDecode(stored, false)));
  EXPECT_EQ(gConfiguration.Shared.localPath.value(u"id1"_s), path);
  // Shown and modified unchanged, it keeps the same bytes.
  ShareEditorInput in = *orv::editors::fnctEditorInputOf(gConfiguration.Shared, u"id1"_s);
  ASSERT_FALSE(orv::editors::cmdModifyShare(gConfiguration.Shared, u"id1"_s, in).refusal.has_value());
  EXPECT_EQ(gConfiguration.Shared.serverPath.value(u"id1"_s), stored);
  EXPECT_EQ(gConfiguration.Shared.localPath.value(u"id1"_s), path);
}

TEST_F(ShareEditing, DropsKeepOnlyFoldersThatCanBeEnteredEachOnce) {
  const QString music = folder(u"music"_s);
  const QString photos = folder(u"photos"_s);
  const QString file = shared_.write(u"song.mp3"_s, "ID3");
  const QString toFolder = shared_.file(u"to-photos"_s);
  ASSERT_EQ(::symlink(photos.toUtf8().constData(), toFolder.toUtf8().constData()), 0);
  const QString toFile = shared_.file(u"to-song"_s);
  ASSERT_EQ(::symlink(file.toUtf8().constData(), toFile.toUtf8().constData()), 0);
  const QString dangling = shared_.file(u"dangling"_s);
  ASSERT_EQ(::symlink("/nonexistent/place", dangling.toUtf8().constData()), 0);
  struct Case {
    const char* name;
    QList<QUrl> urls;
    QStringList folders;
  };
  const std::vector<Case> cases = {
      {"a folder", {urlOf(music)}, {music}},
      {"a folder with a trailing slash", {QUrl(urlOf(music).toString() + u"/"_s)}, {music}},
      {"a file", {urlOf(file)}, {}},
      {"a link to a file", {urlOf(toFile)}, {}},
      {"a dangling link", {urlOf(dangling)}, {}},
      {"a link to a folder", {urlOf(toFolder)}, {toFolder}},
      {"a missing folder", {urlOf(music + u"/gone"_s)}, {}},
      {"a web address", {QUrl(u"http://example.com/music/"_s)}, {}},
      {"a file of another machine", {QUrl(u"file://otherhost"_s + music)}, {}},
      {"the same folder twice", {urlOf(music), urlOf(music), urlOf(photos)}, {music, photos}},
      {"files and folders mixed", {urlOf(file), urlOf(photos), urlOf(music)}, {photos, music}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto plan = orv::editors::planFolderDrop(c.urls);
    EXPECT_EQ(plan.folders, c.folders);
    if (c.folders.isEmpty()) {
      EXPECT_TRUE(plan.question.isEmpty());
    } else {
      const QString question = c.folders.size() == 1 ? u"MSGBOX/QUESTIONS/SHARE_LIST_DROP_FOLDER"_s
                                                     : u"MSGBOX/QUESTIONS/SHARE_LIST_DROP_FOLDERS"_s;
      EXPECT_EQ(plan.question, text(question) + u"\n\n- "_s + c.folders.join(u"\n- "_s));
    }
  }
}

TEST_F(ShareEditing, DroppingTheSameFolderAgainGivesTheNextSuffix) {
  const QString music = folder(u"music"_s);
  addStoredShare(u"id1"_s, u"/other/"_s, folder(u"other"_s));
  const auto first = orv::editors::addDroppedFolders(gConfiguration.Shared, {music});
  const auto second = orv::editors::addDroppedFolders(gConfiguration.Shared, {music});
  const auto third = orv::editors::addDroppedFolders(gConfiguration.Shared, {music + u"/"_s});
  EXPECT_EQ(gConfiguration.Shared.serverPath.value(first.keys.value(0)), u"/music/"_s);
  EXPECT_EQ(gConfiguration.Shared.serverPath.value(second.keys.value(0)), u"/music_2/"_s);
  EXPECT_EQ(gConfiguration.Shared.serverPath.value(third.keys.value(0)), u"/music_3/"_s);
  EXPECT_EQ(gConfiguration.Shared.localPath.value(third.keys.value(0)), music);
  const orv::core::ShareEntry added = gConfiguration.Shared.entryAt(2);
  EXPECT_FALSE(added.restricted);
  EXPECT_TRUE(added.users.isEmpty());
  EXPECT_TRUE(added.sharePhysicalFolder && added.shareVirtualFolder && added.shareOther && added.shareSound &&
              added.shareImage && added.shareVideo);
}

TEST_F(ShareEditing, DroppingTheRootOfTheFileSystemKeepsItsPath) {
  const auto outcome = orv::editors::addDroppedFolders(gConfiguration.Shared, {u"/"_s});
  ASSERT_EQ(outcome.keys.size(), 1);
  EXPECT_EQ(gConfiguration.Shared.localPath.value(u"id1"_s), u"/"_s);
  EXPECT_EQ(gConfiguration.Shared.serverPath.value(u"id1"_s),
            orv::core::fnctUrlEncode(u"/"_s + text(u"SHARES_FORM/LISTVIEW/DRIVE") + u"/"_s));
  const orv::core::tShares reloaded = savedAndReloadedShares();
  EXPECT_EQ(reloaded.entryAt(1).localPath, u"/"_s);
}

TEST_F(ShareEditing, TwoHundredFoldersAtOnceAskWithAShortListAndAreAllAdded) {
  QList<QUrl> urls;
  QStringList folders;
  for (int i = 1; i <= 200; ++i) {
    folders << folder(u"f"_s + QString::number(i));
    urls << urlOf(folders.last());
  }
  const auto plan = orv::editors::planFolderDrop(urls);
  ASSERT_EQ(plan.folders.size(), 200);
  const QStringList lines = plan.question.split(u'\n');
  ASSERT_EQ(lines.size(), 2 + orv::editors::kMostQuestionLines + 1);
  EXPECT_EQ(lines.at(2), u"- "_s + folders.first());
  EXPECT_EQ(lines.last(), u"- \u2026"_s);
  const auto outcome = orv::editors::addDroppedFolders(gConfiguration.Shared, plan.folders);
  EXPECT_TRUE(outcome.complete);
  EXPECT_EQ(gConfiguration.Shared.count(), 200);
  EXPECT_EQ(savedAndReloadedShares().count(), 200);
}

TEST_F(ShareEditing, ADropThatFailsPartWayKeepsWhatItAddedAndMarksTheConfigurationModified) {
  for (int n = 2; n <= orv::editors::kLastShareNumber; ++n) {
    addStoredShare(u"id"_s + QString::number(n), u"/p"_s + QString::number(n) + u"/"_s, app_.path());
  }
  gConfiguration.AppState.blnConfigModified = false;
  const auto outcome =
      orv::editors::addDroppedFolders(gConfiguration.Shared, {folder(u"a"_s), folder(u"b"_s), folder(u"c"_s)});
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(outcome.keys, QStringList{u"id1"_s});
  EXPECT_EQ(gConfiguration.Shared.localPath.value(u"id1"_s), folder(u"a"_s));
  EXPECT_EQ(gConfiguration.Shared.count(), orv::editors::kLastShareNumber);
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
}

TEST_F(ShareEditing, TheLocalPathBoxTakesTheFirstDroppedFolderOnly) {
  const QString music = folder(u"music"_s);
  const QString photos = folder(u"photos"_s);
  const QString file = shared_.write(u"a.txt"_s, "a");
  const QString inApp = app_.makeFolder(u"inside"_s);
  EXPECT_EQ(orv::editors::fnctDroppedLocalPathText({urlOf(music), urlOf(photos)}), music);
  EXPECT_EQ(orv::editors::fnctDroppedLocalPathText({urlOf(inApp)}), u"{folder:app}/inside"_s);
  EXPECT_EQ(orv::editors::fnctDroppedLocalPathText({urlOf(file), urlOf(music)}), std::nullopt);
  EXPECT_EQ(orv::editors::fnctDroppedLocalPathText({}), std::nullopt);
}

// ---- Texts ----

TEST_F(ShareEditing, TheApplicationFolderIsShownAsItsPlaceholderOnlyWhereThePathNamesIt) {
  struct Case {
    QString stored;
    QString shown;
  };
  const QString app = gAppFolder;
  const std::vector<Case> cases = {
      {app, u"{folder:app}"_s},
      {app + u"/"_s, u"{folder:app}"_s},
      {app + u"/music"_s, u"{folder:app}/music"_s},
      {app + u"/a/b"_s, u"{folder:app}/a/b"_s},
      {app.toUpper(), app.toUpper()},
      {app + u"-data"_s, app + u"-data"_s},
      {app + u"data/x"_s, app + u"data/x"_s},
      {u"/elsewhere"_s + app, u"/elsewhere"_s + app},
      {u"/"_s, u"/"_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored.toStdString());
    EXPECT_EQ(orv::editors::fnctShownLocalPath(c.stored), c.shown);
  }
}

TEST_F(ShareEditing, ProposalsOfAFreeServerPath) {
  addStoredShare(u"id1"_s, u"/music/"_s, folder(u"a"_s));
  addStoredShare(u"id2"_s, u"/music_2/"_s, folder(u"b"_s));
  addStoredShare(u"id3"_s, u"/new%20location/"_s, folder(u"c"_s));
  struct Case {
    QString typed;
    QString proposed;
  };
  const std::vector<Case> cases = {
      {u""_s, u"/new location_2/"_s},  {u" / "_s, u"/new location_2/"_s}, {u"music"_s, u"/music_3/"_s},
      {u"/MUSIC/"_s, u"/MUSIC_3/"_s},  {u"video"_s, u"/video/"_s},        {u"/a_b/"_s, u"/a_b/"_s},
      {u"/music_2"_s, u"/music_3/"_s},
  };
  const QByteArray before = storeBytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    EXPECT_EQ(orv::editors::fnctProposeServerPath(c.typed, gConfiguration.Shared), c.proposed);
  }
  EXPECT_EQ(storeBytes(), before);
}

TEST_F(ShareEditing, ShareListItemsFollowTheDisplayOptions) {
  const QString zeta = folder(u"zeta"_s);
  const QString alpha = folder(u"Alpha"_s);
  const QString gone = folder(u"gone"_s);
  addStoredShare(u"id1"_s, u"/z%20z/"_s, zeta);
  addStoredShare(u"id2"_s, u"/a/"_s, alpha);
  addStoredShare(u"id3"_s, u"/g/"_s, gone);
  *gConfiguration.Shared.restricted.find(u"id2"_s) = true;
  *gConfiguration.Shared.users.find(u"id2"_s) = u"amy"_s;
  *gConfiguration.Shared.restricted.find(u"id3"_s) = true;
  QDir(gone).removeRecursively();
  using orv::editors::ShareIcon;
  struct Case {
    int itemsText;
    int sortBy;
    QStringList texts;
  };
  const QString root = text(u"SHARES_FORM/LISTVIEW/ROOT_SHARE");
  const QString rootPath = gConfiguration.Shared.RootShare.localPath;
  const std::vector<Case> cases = {
      {1, 2, {root, u"zeta"_s, u"Alpha"_s, u"gone"_s}}, {2, 2, {rootPath, zeta, alpha, gone}},
      {3, 2, {u"/"_s, u"/z z/"_s, u"/a/"_s, u"/g/"_s}}, {3, 1, {u"/"_s, u"/a/"_s, u"/g/"_s, u"/z z/"_s}},
      {1, 1, {u"Alpha"_s, u"gone"_s, root, u"zeta"_s}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.itemsText * 10 + c.sortBy);
    orv::core::tConfAppDisplay display;
    display.SHARES_LIST_ITEMS_TEXT = c.itemsText;
    display.SHARES_LIST_SORT_BY = c.sortBy;
    QStringList texts;
    for (const auto& item : orv::editors::fnctShareListItems(gConfiguration.Shared, display)) {
      texts << item.text;
    }
    EXPECT_EQ(texts, c.texts);
  }
  orv::core::tConfAppDisplay display;
  const auto items = orv::editors::fnctShareListItems(gConfiguration.Shared, display);
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0].icon, ShareIcon::Open);
  EXPECT_EQ(items[1].icon, ShareIcon::Open);
  EXPECT_EQ(items[2].icon, ShareIcon::Restricted);
  EXPECT_EQ(items[3].icon, ShareIcon::Missing);  // a missing folder wins over restricted
}

TEST_F(ShareEditing, TheRootPageAddress) {
  struct Case {
    QString bound;
    int port;
    QString address;
  };
  const std::vector<Case> cases = {
      {u"0.0.0.0"_s, 8080, u"http://127.0.0.1:8080/"_s},
      {u""_s, 80, u"http://127.0.0.1:80/"_s},
      {u"192.168.1.20"_s, 81, u"http://192.168.1.20:81/"_s},
      {u"127.0.0.1"_s, 65535, u"http://127.0.0.1:65535/"_s},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(orv::editors::fnctWebSharesAddress(c.bound, c.port), c.address);
  }
}

}  // namespace
