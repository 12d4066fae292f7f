#include "editors/frm_shares.h"

#include "desktop/desktop_utils.h"
#include "desktop/frm_main.h"
#include "desktop/frm_menu.h"
#include "server/server_engine.h"

#include "editors/shares_fixture.h"
#include "editors/widget_input.h"
#include "support/event_loop.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>

#include <memory>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::desktop::MessageAnswer;
using orv::desktop::MessageButtons;
using orv::desktop::MessageIcon;
using orv::editors::frmShares;

class SharesWindow : public SharesFixture {
 protected:
  void SetUp() override {
    SharesFixture::SetUp();
    gConfiguration.Users.add({u"id1"_s, u"amy"_s, u"a"_s, {}, {}});
    gConfiguration.Users.add({u"id2"_s, u"bob"_s, u"b"_s, {}, {}});
    orv::desktop::setShellOpener([this](const QUrl& url) { opened_ << url; });
    orv::desktop::setFolderPicker([this](const orv::desktop::FolderPickerRequest& request) {
      pickerTitles_ << request.title;
      return picked_;
    });
  }

  void TearDown() override {
    window_.reset();
    orv::desktop::setShellOpener({});
    orv::desktop::setFolderPicker({});
    SharesFixture::TearDown();
  }

  frmShares& open() {
    orv::editors::SharesWindowLinks links;
    links.listener = [this] { return listener_; };
    links.showUsersConfig = [this] { ++usersConfigShown_; };
    window_ = std::make_unique<frmShares>(std::move(links));
    window_->resize(760, 420);
    window_->show();
    return *window_;
  }

  template <typename T>
  T* control(const char* name) const {
    T* found = window_->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QListWidget* shareList() const { return control<QListWidget>("lvwSharesList"); }
  QListWidget* usersList() const { return control<QListWidget>("lvwUsers"); }
  QLineEdit* serverPath() const { return control<QLineEdit>("txtServerPath"); }
  QLineEdit* localPath() const { return control<QLineEdit>("txtLocalPath"); }
  QPushButton* button(const char* name) const { return control<QPushButton>(name); }
  QList<QCheckBox*> kindBoxes() const {
    return {control<QCheckBox>("chkShareFolder"), control<QCheckBox>("chkShareOther"),
            control<QCheckBox>("chkShareSound"), control<QCheckBox>("chkShareImage"),
            control<QCheckBox>("chkShareVideo")};
  }

  struct Buttons {
    bool add, modify, remove;
    bool operator==(const Buttons&) const = default;
  };
  Buttons buttons() const {
    return {button("cmdAddShare")->isEnabled(), button("cmdModifyShare")->isEnabled(),
            button("cmdRemoveShare")->isEnabled()};
  }

  QStringList listKeys() const {
    QStringList keys;
    for (int row = 0; row < shareList()->count(); ++row) {
      keys << shareList()->item(row)->data(Qt::UserRole).toString();
    }
    return keys;
  }
  QListWidgetItem* itemOf(const QString& key) const {
    for (int row = 0; row < shareList()->count(); ++row) {
      if (shareList()->item(row)->data(Qt::UserRole).toString() == key) {
        return shareList()->item(row);
      }
    }
    ADD_FAILURE() << "no item " << key.toStdString();
    return nullptr;
  }
  void clickItem(QListWidget* list, QListWidgetItem* item, Qt::KeyboardModifiers modifiers = {}) const {
    const QRect rect = list->visualItemRect(item);
    widget_input::mouseClick(list->viewport(), rect.center(), modifiers);
  }
  QList<bool> userTicks() const {
    QList<bool> ticks;
    for (int row = 0; row < usersList()->count(); ++row) {
      ticks << (usersList()->item(row)->checkState() == Qt::Checked);
    }
    return ticks;
  }

  static void typeInto(QLineEdit* box, const QString& text) {
    box->selectAll();
    widget_input::keyClicks(box, text);
  }

  // Drops addresses on a widget as the file manager does.
  static void drop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(target->width() / 2, target->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
  }

  orv::editors::ListenerView listener_{2, u"0.0.0.0"_s, 8123};
  std::unique_ptr<frmShares> window_;
  QList<QUrl> opened_;
  QStringList pickerTitles_;
  QString picked_;
  int usersConfigShown_ = 0;
};

TEST_F(SharesWindow, OpensWithTheStoresShownAndAResetEditor) {
  addStoredShare(u"id1"_s, u"/music/"_s, folder(u"music"_s));
  addStoredShare(u"id2"_s, u"/photos/"_s, folder(u"photos"_s));
  open();
  EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, 1);
  EXPECT_EQ(listKeys(), (QStringList{u"id0"_s, u"id1"_s, u"id2"_s}));
  EXPECT_EQ(shareList()->item(0)->text(), text(u"SHARES_FORM/LISTVIEW/ROOT_SHARE"));
  EXPECT_EQ(shareList()->item(1)->text(), u"music"_s);
  ASSERT_EQ(usersList()->count(), 3);
  EXPECT_EQ(usersList()->item(0)->text(), text(u"SHARES_FORM/TREEVIEW/ALL_USERS"));
  EXPECT_EQ(usersList()->item(2)->text(), u"bob"_s);
  EXPECT_EQ(userTicks(), (QList<bool>{false, false, false}));
  for (QCheckBox* box : kindBoxes()) {
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  }
  EXPECT_TRUE(serverPath()->text().isEmpty());
  EXPECT_TRUE(localPath()->text().isEmpty());
  EXPECT_EQ(buttons(), (Buttons{false, false, false}));
  EXPECT_EQ(control<QLabel>("lblServerPath")->text(), text(u"SHARES_FORM/LABELS/SERVER_PATH") + u" :"_s);
  EXPECT_EQ(button("cmdShowWebShares")->text(), text(u"SHARES_FORM/BUTTONS/SHOW_WEBSHARES"));
  EXPECT_EQ(serverPath()->accessibleName(), text(u"SHARES_FORM/LABELS/SERVER_PATH"));
}

TEST_F(SharesWindow, TheRootPageButtonIsOnAtLoadOnlyWhileTheServerListens) {
  struct Case {
    int state;
    bool enabled;
  };
  for (const Case c : {Case{0, false}, Case{2, true}, Case{3, true}, Case{9, false}}) {
    listener_.state = c.state;
    open();
    EXPECT_EQ(button("cmdShowWebShares")->isEnabled(), c.enabled) << c.state;
  }
}

TEST_F(SharesWindow, TheRootPageOpensAtTheListenersAddress) {
  struct Case {
    QString bound;
    int port;
    QString opened;
  };
  const std::vector<Case> cases = {{u"0.0.0.0"_s, 8123, u"http://127.0.0.1:8123/"_s},
                                   {u"192.168.7.9"_s, 80, u"http://192.168.7.9:80/"_s}};
  for (const Case& c : cases) {
    opened_.clear();
    listener_ = {2, c.bound, c.port};
    open();
    widget_input::mouseClick(button("cmdShowWebShares"));
    EXPECT_EQ(opened_, QList<QUrl>{QUrl(c.opened)});
  }
}

TEST_F(SharesWindow, TheRootPageOfARunningServerIsItsOwnPortOnThisMachine) {
  gConfiguration.Protocol.LOCAL_PORT = u"0"_s;
  orv::server::ServerEngine engine;
  ASSERT_EQ(engine.StartStopServer(), orv::server::StartStopResult::Started);
  orv::editors::SharesWindowLinks links;
  links.listener = [&engine] { return orv::editors::listenerViewOf(engine.listener()); };
  frmShares panel(std::move(links));
  auto* web = panel.findChild<QPushButton*>(u"cmdShowWebShares"_s);
  ASSERT_TRUE(web->isEnabled());
  widget_input::mouseClick(web);
  EXPECT_EQ(opened_, QList<QUrl>{QUrl(u"http://127.0.0.1:"_s + QString::number(engine.listeningPort()) + u"/"_s)});
  EXPECT_GT(engine.listeningPort(), 0);
}

TEST_F(SharesWindow, AddingThroughTheFieldsStoresTheShareAndResetsTheEditor) {
  const QString music = app_.makeFolder(u"music"_s);
  open();
  typeInto(serverPath(), u"my music"_s);
  EXPECT_EQ(buttons(), (Buttons{false, false, false}));
  typeInto(localPath(), u"{folder:app}/music"_s);
  EXPECT_EQ(buttons(), (Buttons{true, false, false}));
  widget_input::mouseClick(kindBoxes().at(2));
  widget_input::mouseClick(usersList()->viewport(), usersList()->visualItemRect(usersList()->item(1)).center());
  EXPECT_EQ(userTicks(), (QList<bool>{false, true, false}));
  widget_input::mouseClick(button("cmdAddShare"));

  ASSERT_EQ(gConfiguration.Shared.count(), 1);
  const orv::core::ShareEntry share = gConfiguration.Shared.entryAt(1);
  EXPECT_EQ(share.serverPath, u"/my%20music/"_s);
  EXPECT_EQ(share.localPath, music);
  EXPECT_EQ(share.users, u"amy"_s);
  EXPECT_TRUE(share.restricted);
  EXPECT_FALSE(share.shareSound);
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  EXPECT_EQ(listKeys(), (QStringList{u"id0"_s, u"id1"_s}));
  EXPECT_EQ(itemOf(u"id1"_s)->data(Qt::UserRole + 1).toInt(), 2);
  EXPECT_TRUE(serverPath()->text().isEmpty());
  EXPECT_EQ(userTicks(), (QList<bool>{false, false, false}));
  EXPECT_EQ(buttons(), (Buttons{false, false, false}));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(SharesWindow, BadInputIsRefusedWithItsMessageAndTheFocusOnItsBox) {
  struct Case {
    QString serverPath;
    QString localPath;
    QString message;
    const char* focused;
  };
  const QString music = folder(u"music"_s);
  const std::vector<Case> cases = {
      {u"/a:b/"_s, music, u"MSGBOX/ERRORS/INVALID_SHARE_SERVER_PATH"_s, "txtServerPath"},
      {u"/../"_s, music, u"MSGBOX/ERRORS/INVALID_SHARE_SERVER_PATH"_s, "txtServerPath"},
      {u"/x/"_s, music + u"/missing"_s, u"MSGBOX/ERRORS/INVALID_SHARE_LOCAL_PATH"_s, "txtLocalPath"},
      {u" / "_s, music, u"MSGBOX/ERRORS/INVALID_SHARE_SERVER_PATH"_s, "txtServerPath"},
      {u"/"_s, music, u"MSGBOX/ERRORS/SERVER_PATH_ALREADY_USED"_s, "txtServerPath"},
  };
  open();
  const QByteArray before = storeBytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serverPath.toStdString());
    boxes_.clear();
    typeInto(localPath(), c.localPath);
    typeInto(serverPath(), c.serverPath);
    widget_input::mouseClick(button("cmdAddShare"));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_.front().text, text(c.message));
    EXPECT_EQ(boxes_.front().icon, MessageIcon::Critical);
    EXPECT_EQ(boxes_.front().buttons, MessageButtons::Ok);
    EXPECT_EQ(window_->focusWidget()->objectName(), QLatin1String(c.focused));
    EXPECT_EQ(storeBytes(), before);
  }
}

TEST_F(SharesWindow, AClickedShareIsLoadedAndModifiedInPlace) {
  addStoredShare(u"id1"_s, u"/one/"_s, folder(u"one"_s));
  addStoredShare(u"id2"_s, u"/my%20two/"_s, folder(u"two"_s));
  addStoredShare(u"id3"_s, u"/three/"_s, folder(u"three"_s));
  *gConfiguration.Shared.restricted.find(u"id2"_s) = true;
  *gConfiguration.Shared.users.find(u"id2"_s) = u"BOB"_s;
  *gConfiguration.Shared.shareImage.find(u"id2"_s) = false;
  open();
  clickItem(shareList(), itemOf(u"id2"_s));
  EXPECT_EQ(serverPath()->text(), u"/my two/"_s);
  EXPECT_EQ(localPath()->text(), folder(u"two"_s));
  EXPECT_EQ(userTicks(), (QList<bool>{false, false, true}));
  EXPECT_FALSE(kindBoxes().at(3)->isChecked());
  EXPECT_EQ(buttons(), (Buttons{false, false, true}));

  widget_input::mouseClick(kindBoxes().at(4));
  EXPECT_EQ(buttons(), (Buttons{false, true, true}));
  typeInto(serverPath(), u"/renamed/"_s);
  EXPECT_EQ(buttons(), (Buttons{true, true, false}));
  widget_input::mouseClick(kindBoxes().at(1));
  EXPECT_EQ(buttons(), (Buttons{true, true, false}));  // Modify stays on while the share is loaded
  widget_input::mouseClick(button("cmdModifyShare"));

  EXPECT_EQ(gConfiguration.Shared.ids.positionOf(u"id2"_s), 2);
  EXPECT_EQ(gConfiguration.Shared.serverPath.value(u"id2"_s), u"/renamed/"_s);
  EXPECT_FALSE(gConfiguration.Shared.shareVideo.value(u"id2"_s));
  EXPECT_FALSE(gConfiguration.Shared.shareOther.value(u"id2"_s));
  EXPECT_EQ(gConfiguration.Shared.users.value(u"id2"_s), u"bob"_s);
  EXPECT_EQ(buttons(), (Buttons{false, false, false}));
  EXPECT_TRUE(serverPath()->text().isEmpty());
}

TEST_F(SharesWindow, ModifyIsOffWithSeveralSharesSelectedAndRefusesAnotherSharesPath) {
  addStoredShare(u"id1"_s, u"/one/"_s, folder(u"one"_s));
  addStoredShare(u"id2"_s, u"/two/"_s, folder(u"two"_s));
  open();
  clickItem(shareList(), itemOf(u"id1"_s));
  widget_input::mouseClick(kindBoxes().at(0));
  EXPECT_TRUE(buttons().modify);
  clickItem(shareList(), itemOf(u"id2"_s), Qt::ControlModifier);
  EXPECT_EQ(buttons(), (Buttons{false, false, true}));
  clickItem(shareList(), itemOf(u"id2"_s));
  typeInto(serverPath(), u"/ONE/"_s);
  const QByteArray before = storeBytes();
  widget_input::mouseClick(button("cmdModifyShare"));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_.front().text, text(u"MSGBOX/ERRORS/SERVER_PATH_ALREADY_USED"));
  EXPECT_EQ(storeBytes(), before);
}

TEST_F(SharesWindow, TickingAUserOfALoadedShareEnablesModifyAndFocusesIt) {
  addStoredShare(u"id1"_s, u"/one/"_s, folder(u"one"_s));
  open();
  clickItem(shareList(), itemOf(u"id1"_s));
  EXPECT_EQ(userTicks(), (QList<bool>{true, false, false}));
  clickItem(usersList(), usersList()->item(2));
  EXPECT_EQ(userTicks(), (QList<bool>{false, false, true}));
  EXPECT_EQ(buttons(), (Buttons{false, true, true}));
  EXPECT_EQ(window_->focusWidget(), button("cmdModifyShare"));
  usersList()->setCurrentRow(0);
  widget_input::keyClick(usersList(), Qt::Key_Space, u" "_s);
  EXPECT_EQ(userTicks(), (QList<bool>{true, false, false}));
  widget_input::mouseClick(button("cmdModifyShare"));
  EXPECT_FALSE(gConfiguration.Shared.restricted.value(u"id1"_s));
  EXPECT_TRUE(gConfiguration.Shared.users.value(u"id1"_s).isEmpty());
}

TEST_F(SharesWindow, TheRootSharesPathEditEnablesOnlyAdd) {
  open();
  clickItem(shareList(), itemOf(u"id0"_s));
  EXPECT_EQ(serverPath()->text(), u"/"_s);
  EXPECT_EQ(buttons(), (Buttons{false, false, true}));
  typeInto(serverPath(), u"/copy/"_s);
  EXPECT_EQ(buttons(), (Buttons{true, false, false}));
}

TEST_F(SharesWindow, RemoveAsksAndRemovesOnlyOnYes) {
  addStoredShare(u"id1"_s, u"/one/"_s, folder(u"one"_s));
  addStoredShare(u"id2"_s, u"/two/"_s, folder(u"two"_s));
  addStoredShare(u"id3"_s, u"/three/"_s, folder(u"three"_s));
  open();
  clickItem(shareList(), itemOf(u"id1"_s));
  clickItem(shareList(), itemOf(u"id3"_s), Qt::ControlModifier);
  clickItem(shareList(), itemOf(u"id0"_s), Qt::ControlModifier);
  answer_ = MessageAnswer::No;
  const QByteArray before = storeBytes();
  widget_input::mouseClick(button("cmdRemoveShare"));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_.front().icon, MessageIcon::Question);
  EXPECT_EQ(boxes_.front().buttons, MessageButtons::YesNo);
  EXPECT_EQ(boxes_.front().text, text(u"MSGBOX/QUESTIONS/SHARES_DELETE_CONFIRMATION") + u"\n\n- "_s + folder(u"one"_s) +
                                     u"\n- "_s + folder(u"three"_s));
  EXPECT_EQ(storeBytes(), before);

  answer_ = MessageAnswer::Yes;
  shareList()->setFocus();
  widget_input::keyClick(shareList(), Qt::Key_Delete);
  EXPECT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(listKeys(), (QStringList{u"id0"_s, u"id2"_s}));
  EXPECT_EQ(gConfiguration.Shared.count(), 1);
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
}

TEST_F(SharesWindow, TheRootShareAloneCannotBeRemoved) {
  open();
  clickItem(shareList(), itemOf(u"id0"_s));
  widget_input::mouseClick(button("cmdRemoveShare"));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_.front().text, text(u"MSGBOX/ERRORS/DELETE_ROOT_SHARE"));
  EXPECT_FALSE(gConfiguration.AppState.blnConfigModified);
}

TEST_F(SharesWindow, FoldersDroppedOnTheListBecomeSharesAfterTheQuestion) {
  const QString music = folder(u"music"_s);
  const QString odd = folder(u"what? *"_s);
  const QString file = shared_.write(u"a.txt"_s, "a");
  open();
  typeInto(serverPath(), u"/kept/"_s);
  answer_ = MessageAnswer::No;
  drop(shareList()->viewport(), {QUrl::fromLocalFile(music), QUrl::fromLocalFile(file), QUrl::fromLocalFile(odd)});
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_.front().text,
            text(u"MSGBOX/QUESTIONS/SHARE_LIST_DROP_FOLDERS") + u"\n\n- "_s + music + u"\n- "_s + odd);
  EXPECT_EQ(gConfiguration.Shared.count(), 0);

  answer_ = MessageAnswer::Yes;
  drop(shareList()->viewport(), {QUrl::fromLocalFile(music), QUrl::fromLocalFile(file), QUrl::fromLocalFile(odd)});
  ASSERT_EQ(gConfiguration.Shared.count(), 2);
  EXPECT_EQ(gConfiguration.Shared.serverPath.value(u"id1"_s), u"/music/"_s);
  EXPECT_EQ(orv::editors::fnctShownServerPath(gConfiguration.Shared.serverPath.value(u"id2"_s)), u"/what%3F %2A/"_s);
  EXPECT_EQ(listKeys(), (QStringList{u"id0"_s, u"id1"_s, u"id2"_s}));
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  EXPECT_EQ(serverPath()->text(), u"/kept/"_s);  // the editor is left as it was

  boxes_.clear();
  drop(shareList()->viewport(), {QUrl::fromLocalFile(file), QUrl(u"https://example.com/"_s)});
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(gConfiguration.Shared.count(), 2);
}

TEST_F(SharesWindow, TheLocalPathBoxTakesAPickedOrDroppedFolder) {
  const QString inApp = app_.makeFolder(u"inside"_s);
  const QString music = folder(u"music"_s);
  const QString file = shared_.write(u"a.txt"_s, "a");
  open();
  picked_ = inApp;
  widget_input::mouseClick(control<QToolButton>("cmdSelectShareFolder"));
  EXPECT_EQ(pickerTitles_, QStringList{text(u"MSGBOX/INSTRUCTIONS/SELECT_FOLDER_TO_SHARE")});
  EXPECT_EQ(localPath()->text(), u"{folder:app}/inside"_s);
  picked_.clear();
  widget_input::mouseClick(control<QToolButton>("cmdSelectShareFolder"));
  EXPECT_EQ(localPath()->text(), u"{folder:app}/inside"_s);
  drop(localPath(), {QUrl::fromLocalFile(file)});
  EXPECT_EQ(localPath()->text(), u"{folder:app}/inside"_s);
  drop(localPath(), {QUrl::fromLocalFile(music), QUrl::fromLocalFile(inApp)});
  EXPECT_EQ(localPath()->text(), music);
  EXPECT_EQ(buttons(), (Buttons{true, false, false}));
}

TEST_F(SharesWindow, TheProposalFillsTheServerPathBox) {
  addStoredShare(u"id1"_s, u"/new%20location/"_s, folder(u"a"_s));
  open();
  widget_input::mouseClick(control<QToolButton>("cmdGetValidServerPath"));
  EXPECT_EQ(serverPath()->text(), u"/new location_2/"_s);
  EXPECT_EQ(gConfiguration.Shared.count(), 1);
}

TEST_F(SharesWindow, EnterInAPathBoxMovesTheFocusToTheDefaultButtonWithoutAdding) {
  const QString music = folder(u"music"_s);
  open();
  typeInto(localPath(), music);
  typeInto(serverPath(), u"/music/"_s);
  widget_input::keyClick(serverPath(), Qt::Key_Return);
  EXPECT_EQ(window_->focusWidget(), button("cmdAddShare"));
  EXPECT_EQ(gConfiguration.Shared.count(), 0);
}

TEST_F(SharesWindow, TheUsersButtonLeadsToTheUsersCategory) {
  open();
  widget_input::mouseClick(control<QToolButton>("cmdGoToUsersConfig"));
  EXPECT_EQ(usersConfigShown_, 1);
}

TEST_F(SharesWindow, ThePopupMenuAndTheDisplayOptions) {
  addStoredShare(u"id1"_s, u"/zz/"_s, folder(u"zz"_s));
  addStoredShare(u"id2"_s, u"/aa/"_s, folder(u"aa"_s));
  open();
  QMenu* menu = window_->shareListMenu();
  const auto visible = [menu](const char* name) {
    return menu->findChild<QAction*>(QLatin1String(name)) != nullptr &&
           menu->findChild<QAction*>(QLatin1String(name))->isVisible();
  };
  window_->showShareListMenu(QPoint(10, 10));
  EXPECT_FALSE(visible("mnuShareList_OpenFolder"));
  EXPECT_FALSE(visible("mnuShareList_Delete"));
  EXPECT_EQ(menu->defaultAction(), nullptr);
  menu->close();
  clickItem(shareList(), itemOf(u"id1"_s));
  window_->showShareListMenu(QPoint(10, 10));
  EXPECT_TRUE(visible("mnuShareList_OpenFolder"));
  EXPECT_TRUE(visible("mnuShareList_Delete"));
  EXPECT_EQ(menu->defaultAction()->objectName(), u"mnuShareList_OpenFolder"_s);
  menu->close();
  menu->findChild<QAction*>(u"mnuShareList_OpenFolder"_s)->trigger();
  EXPECT_EQ(opened_, QList<QUrl>{orv::desktop::shellOpenUrl(folder(u"zz"_s))});

  const auto byName = [](QStringList texts) {
    texts.sort(Qt::CaseInsensitive);
    return texts;
  };
  struct Case {
    const char* action;
    bool modified;
    QStringList texts;
  };
  const std::vector<Case> cases = {
      {"mnuShareList_ItemsText_FolderName", false, {text(u"SHARES_FORM/LISTVIEW/ROOT_SHARE"), u"zz"_s, u"aa"_s}},
      {"mnuShareList_ItemsText_ServerPath", true, {u"/"_s, u"/zz/"_s, u"/aa/"_s}},
      {"mnuShareList_SortBy_Name", true, {u"/"_s, u"/aa/"_s, u"/zz/"_s}},
      {"mnuShareList_SortBy_Name", false, {u"/"_s, u"/aa/"_s, u"/zz/"_s}},
      {"mnuShareList_ItemsText_LocalPath", true,
       byName({gConfiguration.Shared.RootShare.localPath, folder(u"aa"_s), folder(u"zz"_s)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    gConfiguration.AppState.blnConfigModified = false;
    QAction* action = menu->findChild<QAction*>(QLatin1String(c.action));
    ASSERT_NE(action, nullptr);
    action->trigger();
    EXPECT_TRUE(action->isChecked());
    EXPECT_EQ(gConfiguration.AppState.blnConfigModified, c.modified);
    QStringList texts;
    for (int row = 0; row < shareList()->count(); ++row) {
      texts << shareList()->item(row)->text();
    }
    EXPECT_EQ(texts, c.texts);
  }
  menu->findChild<QAction*>(u"mnuShareList_ShowBy_List"_s)->trigger();
  EXPECT_EQ(shareList()->viewMode(), QListView::ListMode);
  EXPECT_EQ(gConfiguration.AppDisplay.SHARES_LIST_SHOW_BY, 2);
}

TEST_F(SharesWindow, APictureWithSeveralShares) {
  gConfiguration.Shared.RootShare.localPath = app_.makeFolder(u"my shared folder"_s);
  addStoredShare(u"id1"_s, u"/music/"_s, folder(u"Music"_s));
  addStoredShare(u"id2"_s, u"/photos/"_s, folder(u"Photos 2025"_s));
  addStoredShare(u"id3"_s, u"/films/"_s, folder(u"Films"_s));
  addStoredShare(u"id4"_s, u"/old/"_s, shared_.file(u"Old backups"_s));
  *gConfiguration.Shared.restricted.find(u"id2"_s) = true;
  *gConfiguration.Shared.users.find(u"id2"_s) = u"amy"_s;
  open();
  clickItem(shareList(), itemOf(u"id2"_s));
  processPendingEvents();
  const QString folderPath = QStringLiteral(ORV_APP_DIR "/../ui-artifacts");
  ASSERT_TRUE(QDir().mkpath(folderPath));
  EXPECT_TRUE(window_->grab().save(folderPath + u"/shares.png"_s));
  EXPECT_EQ(itemOf(u"id4"_s)->data(Qt::UserRole + 1).toInt(), 3);
}

// The real start and shut-down: the main window shows this panel; a share added in it is
// in config.xml afterwards, and its users button leads to the users category.
class SharesInTheMainWindow : public SharesWindow {
 protected:
  void SetUp() override {
    SharesWindow::SetUp();
    program_.write(u"lang/english.xml"_s, readFile(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml")));
    program_.write(u"config.xml"_s,
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\"><PROTOCOL>"
                   "<LOCAL_PORT>0</LOCAL_PORT></PROTOCOL></CONFIGURATION>");
    resetGlobals();
    main_ = std::make_unique<orv::desktop::frmMain>(program_.path(), QString());
    orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Shares, orv::editors::sharesPanelMaker(*main_));
    ASSERT_TRUE(main_->MDIForm_Load());
    panel_ = qobject_cast<frmShares*>(orv::desktop::gCurrentChildForm.data());
    ASSERT_NE(panel_, nullptr);
  }

  void TearDown() override {
    main_.reset();
    orv::desktop::setChildPanelMaker(orv::desktop::MainPanel::Shares, {});
    SharesWindow::TearDown();
  }

  template <typename T>
  T* inPanel(const char* name) const {
    return panel_->findChild<T*>(QLatin1String(name));
  }

  TempFolder program_;
  std::unique_ptr<orv::desktop::frmMain> main_;
  frmShares* panel_ = nullptr;
};

TEST_F(SharesInTheMainWindow, AShareAddedInThePanelIsInConfigXmlAfterShutDown) {
  const QString music = folder(u"Music été"_s);
  typeInto(inPanel<QLineEdit>("txtServerPath"), u"/music été/"_s);
  typeInto(inPanel<QLineEdit>("txtLocalPath"), music);
  widget_input::mouseClick(inPanel<QPushButton>("cmdAddShare"));
  ASSERT_EQ(gConfiguration.Shared.count(), 1);
  main_->close();
  main_.reset();

  const orv::core::tShares saved = orv::core::fnctLoadConfiguration(program_.file(u"config.xml"_s)).Shared;
  ASSERT_EQ(saved.count(), 1);
  EXPECT_EQ(saved.entryAt(1).serverPath, u"/music%20%C3%A9t%C3%A9/"_s);
  EXPECT_EQ(saved.entryAt(1).localPath, music);
}

TEST_F(SharesInTheMainWindow, TheUsersButtonShowsTheConfigurationPanelAtItsUsersCategory) {
  ASSERT_TRUE(orv::desktop::gMenuForm);
  widget_input::mouseClick(inPanel<QToolButton>("cmdGoToUsersConfig"));
  processEventsUntil([] { return gConfiguration.AppDisplay.gShownMainPanel == 4; });
  EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, 4);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 6);
  EXPECT_EQ(qobject_cast<frmShares*>(orv::desktop::gCurrentChildForm.data()), nullptr);
  EXPECT_TRUE(orv::desktop::gMenuForm->button(orv::desktop::frmMenu::kConfig)->isChecked());
  EXPECT_FALSE(orv::desktop::gMenuForm->button(orv::desktop::frmMenu::kShares)->isChecked());
}

}  // namespace
