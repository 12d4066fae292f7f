#include "editors/frm_shares.h"

#include "core/configuration.h"
#include "core/language.h"
#include "desktop/desktop_utils.h"
#include "desktop/frm_main.h"
#include "desktop/frm_menu.h"
#include "desktop/message_box.h"
#include "net/usr_socket.h"
#include "platform/async_socket.h"
#include "server/server_engine.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace orv::editors {
namespace {

using core::gConfiguration;
using core::gLanguage;

constexpr int kKeyRole = Qt::UserRole;
constexpr int kIconRole = Qt::UserRole + 1;

QString languageText(QStringView name) {
  return gLanguage.text(name);
}

// Runs a function on the events of one object; the function says whether it took the
// event.
class EventHook : public QObject {
 public:
  EventHook(QObject* watched, std::function<bool(QEvent*)> handler) : QObject(watched), handler_(std::move(handler)) {
    watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    static_cast<void>(watched);
    return handler_(event);
  }

 private:
  std::function<bool(QEvent*)> handler_;
};

// Takes the drags that carry addresses (files and folders from the file manager) and hands
// their drop to the function.
void acceptUrlDrops(QWidget* target, std::function<void(const QList<QUrl>&)> dropped) {
  target->setAcceptDrops(true);
  new EventHook(target, [dropped = std::move(dropped)](QEvent* event) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (!drag->mimeData()->hasUrls()) {
          return false;
        }
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData()->hasUrls()) {
          return false;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        dropped(drop->mimeData()->urls());
        return true;
      }
      default:
        return false;
    }
  });
}

// The folder of the share list with what distinguishes a restricted share (a padlock) and a
// missing folder (a red cross) painted on it.
std::array<QIcon, 3> makeShareIcons(const QStyle* style) {
  constexpr int kSize = 32;
  const QPixmap folder = style->standardIcon(QStyle::SP_DirIcon).pixmap(kSize, kSize);
  QPixmap restricted = folder;
  {
    QPainter painter(&restricted);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x60, 0x40, 0x10), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRect(17, 12, 10, 12), 0, 180 * 16);
    painter.setBrush(QColor(0xE0, 0xA0, 0x20));
    painter.drawRect(QRect(15, 18, 14, 11));
  }
  QPixmap missing = folder;
  {
    QPainter painter(&missing);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xD0, 0x20, 0x20), 4));
    painter.drawLine(14, 14, 29, 29);
    painter.drawLine(29, 14, 14, 29);
  }
  return {QIcon(folder), QIcon(restricted), QIcon(missing)};
}

QAction* checkableAction(QMenu* menu, QActionGroup* group, const char* name) {
  QAction* action = menu->addAction(QString());
  action->setObjectName(QLatin1String(name));
  action->setCheckable(true);
  group->addAction(action);
  return action;
}

}  // namespace

ListenerView listenerViewOf(const net::usrSocket& listener) {
  ListenerView view;
  view.state = static_cast<int>(listener.State());
  quint32 address = 0;
  int port = 0;
  if (listener.SocketHandle() != -1 && platform::socketLocalEndpoint(listener.SocketHandle(), &address, &port) == 0) {
    view.boundAddress = platform::inetDottedText(address);
    view.port = port;
  }
  return view;
}

desktop::ChildPanelMaker sharesPanelMaker(desktop::frmMain& mainWindow) {
  return [&mainWindow](QWidget* parent) {
    SharesWindowLinks links;
    links.listener = [&mainWindow] { return listenerViewOf(mainWindow.server().listener()); };
    links.showUsersConfig = [] {
      // The switch destroys this panel, whose button is still in its click: it runs from
      // the event loop once the click is over.
      QMetaObject::invokeMethod(
          qApp,
          [] {
            if (desktop::gMenuForm) {
              desktop::gMenuForm->setPanelButtonPressed(desktop::MainPanel::Config);
            }
            desktop::subShowChildForm(QStringLiteral("Config"), false, true, QStringLiteral("users"));
          },
          Qt::QueuedConnection);
    };
    return new frmShares(std::move(links), parent);
  };
}

frmShares::frmShares(SharesWindowLinks links, QWidget* parent) : ChildPanel(parent), links_(std::move(links)) {
  setObjectName(QStringLiteral("frmShares"));
  shareIcons_ = makeShareIcons(style());
  buildControls();
  connectControls();
  // Form_Load
  RefreshFormLang();
  FillUsersList();
  FillSharesList();
  ResetShareEditor();
  gConfiguration.AppDisplay.gShownMainPanel = static_cast<int>(desktop::MainPanel::Shares);
  const int state = links_.listener ? links_.listener().state : 0;
  cmdShowWebShares_->setEnabled(state == 2 || state == 3);
}

void frmShares::buildControls() {
  const auto named = [](QWidget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
  };
  fraSharesList_ = new QGroupBox(this);
  named(fraSharesList_, "fraSharesList");
  lvwSharesList_ = new QListWidget(fraSharesList_);
  named(lvwSharesList_, "lvwSharesList");
  lvwSharesList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvwSharesList_->setContextMenuPolicy(Qt::CustomContextMenu);
  lvwSharesList_->setResizeMode(QListView::Adjust);
  lvwSharesList_->setMovement(QListView::Static);
  lvwSharesList_->setWordWrap(true);
  cmdShowWebShares_ = new QPushButton(fraSharesList_);
  named(cmdShowWebShares_, "cmdShowWebShares");
  auto* listLayout = new QVBoxLayout(fraSharesList_);
  listLayout->addWidget(lvwSharesList_, 1);
  auto* webRow = new QHBoxLayout;
  webRow->addStretch(1);
  webRow->addWidget(cmdShowWebShares_);
  listLayout->addLayout(webRow);

  fraShareConfig_ = new QGroupBox(this);
  named(fraShareConfig_, "fraShareConfig");
  lblServerPath_ = new QLabel(fraShareConfig_);
  named(lblServerPath_, "lblServerPath");
  txtServerPath_ = new QLineEdit(fraShareConfig_);
  named(txtServerPath_, "txtServerPath");
  cmdGetValidServerPath_ = new QToolButton(fraShareConfig_);
  named(cmdGetValidServerPath_, "cmdGetValidServerPath");
  cmdGetValidServerPath_->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  lblLocalPath_ = new QLabel(fraShareConfig_);
  named(lblLocalPath_, "lblLocalPath");
  txtLocalPath_ = new QLineEdit(fraShareConfig_);
  named(txtLocalPath_, "txtLocalPath");
  cmdSelectShareFolder_ = new QToolButton(fraShareConfig_);
  named(cmdSelectShareFolder_, "cmdSelectShareFolder");
  cmdSelectShareFolder_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  lblUsers_ = new QLabel(fraShareConfig_);
  named(lblUsers_, "lblUsers");
  lvwUsers_ = new QListWidget(fraShareConfig_);
  named(lvwUsers_, "lvwUsers");
  lvwUsers_->setSelectionMode(QAbstractItemView::SingleSelection);
  cmdGoToUsersConfig_ = new QToolButton(fraShareConfig_);
  named(cmdGoToUsersConfig_, "cmdGoToUsersConfig");
  cmdGoToUsersConfig_->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  lblServerPath_->setBuddy(txtServerPath_);
  lblLocalPath_->setBuddy(txtLocalPath_);
  lblUsers_->setBuddy(lvwUsers_);

  chkShareFolder_ = new QCheckBox(fraShareConfig_);
  chkShareOther_ = new QCheckBox(fraShareConfig_);
  chkShareSound_ = new QCheckBox(fraShareConfig_);
  chkShareImage_ = new QCheckBox(fraShareConfig_);
  chkShareVideo_ = new QCheckBox(fraShareConfig_);
  named(chkShareFolder_, "chkShareFolder");
  named(chkShareOther_, "chkShareOther");
  named(chkShareSound_, "chkShareSound");
  named(chkShareImage_, "chkShareImage");
  named(chkShareVideo_, "chkShareVideo");
  cmdAddShare_ = new QPushButton(fraShareConfig_);
  cmdModifyShare_ = new QPushButton(fraShareConfig_);
  cmdRemoveShare_ = new QPushButton(fraShareConfig_);
  named(cmdAddShare_, "cmdAddShare");
  named(cmdModifyShare_, "cmdModifyShare");
  named(cmdRemoveShare_, "cmdRemoveShare");

  auto* grid = new QGridLayout(fraShareConfig_);
  grid->addWidget(lblServerPath_, 0, 0);
  grid->addWidget(txtServerPath_, 0, 1);
  grid->addWidget(cmdGetValidServerPath_, 0, 2);
  grid->addWidget(lblLocalPath_, 1, 0);
  grid->addWidget(txtLocalPath_, 1, 1);
  grid->addWidget(cmdSelectShareFolder_, 1, 2);
  grid->addWidget(lblUsers_, 2, 0, Qt::AlignTop);
  grid->addWidget(lvwUsers_, 2, 1);
  grid->addWidget(cmdGoToUsersConfig_, 2, 2, Qt::AlignTop);
  auto* kinds = new QVBoxLayout;
  for (QCheckBox* box : {chkShareFolder_, chkShareOther_, chkShareSound_, chkShareImage_, chkShareVideo_}) {
    kinds->addWidget(box);
  }
  grid->addLayout(kinds, 3, 1);
  auto* buttonsRow = new QHBoxLayout;
  buttonsRow->addStretch(1);
  buttonsRow->addWidget(cmdAddShare_);
  buttonsRow->addWidget(cmdModifyShare_);
  buttonsRow->addWidget(cmdRemoveShare_);
  grid->addLayout(buttonsRow, 4, 0, 1, 3);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(1, 1);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(fraSharesList_, 3);
  layout->addWidget(fraShareConfig_, 2);

  mnuShareList_ = new QMenu(this);
  mnuShareList_->setObjectName(QStringLiteral("mnuShareList"));
  mnuShareList_OpenFolder_ = mnuShareList_->addAction(QString());
  mnuShareList_OpenFolder_->setObjectName(QStringLiteral("mnuShareList_OpenFolder"));
  separator1_ = mnuShareList_->addSeparator();
  separator1_->setObjectName(QStringLiteral("separator1"));
  mnuShareList_ShowBy_ = mnuShareList_->addMenu(QString());
  mnuShareList_ShowBy_->setObjectName(QStringLiteral("mnuShareList_ShowBy"));
  auto* showBy = new QActionGroup(this);
  mnuShareList_ShowBy_Icon_ = checkableAction(mnuShareList_ShowBy_, showBy, "mnuShareList_ShowBy_Icon");
  mnuShareList_ShowBy_List_ = checkableAction(mnuShareList_ShowBy_, showBy, "mnuShareList_ShowBy_List");
  mnuShareList_SortBy_ = mnuShareList_->addMenu(QString());
  mnuShareList_SortBy_->setObjectName(QStringLiteral("mnuShareList_SortBy"));
  auto* sortBy = new QActionGroup(this);
  mnuShareList_SortBy_Name_ = checkableAction(mnuShareList_SortBy_, sortBy, "mnuShareList_SortBy_Name");
  mnuShareList_SortBy_AddDate_ = checkableAction(mnuShareList_SortBy_, sortBy, "mnuShareList_SortBy_AddDate");
  mnuShareList_ItemsText_ = mnuShareList_->addMenu(QString());
  mnuShareList_ItemsText_->setObjectName(QStringLiteral("mnuShareList_ItemsText"));
  auto* itemsText = new QActionGroup(this);
  mnuShareList_ItemsText_FolderName_ =
      checkableAction(mnuShareList_ItemsText_, itemsText, "mnuShareList_ItemsText_FolderName");
  mnuShareList_ItemsText_ServerPath_ =
      checkableAction(mnuShareList_ItemsText_, itemsText, "mnuShareList_ItemsText_ServerPath");
  mnuShareList_ItemsText_LocalPath_ =
      checkableAction(mnuShareList_ItemsText_, itemsText, "mnuShareList_ItemsText_LocalPath");
  separator2_ = mnuShareList_->addSeparator();
  separator2_->setObjectName(QStringLiteral("separator2"));
  mnuShareList_Delete_ = mnuShareList_->addAction(QString());
  mnuShareList_Delete_->setObjectName(QStringLiteral("mnuShareList_Delete"));

  setTabOrder(lvwSharesList_, cmdShowWebShares_);
  setTabOrder(cmdShowWebShares_, txtServerPath_);
  setTabOrder(txtServerPath_, cmdGetValidServerPath_);
  setTabOrder(cmdGetValidServerPath_, txtLocalPath_);
  setTabOrder(txtLocalPath_, cmdSelectShareFolder_);
  setTabOrder(cmdSelectShareFolder_, lvwUsers_);
  setTabOrder(lvwUsers_, cmdGoToUsersConfig_);
  setTabOrder(cmdGoToUsersConfig_, chkShareFolder_);
  setTabOrder(chkShareFolder_, chkShareOther_);
  setTabOrder(chkShareOther_, chkShareSound_);
  setTabOrder(chkShareSound_, chkShareImage_);
  setTabOrder(chkShareImage_, chkShareVideo_);
  setTabOrder(chkShareVideo_, cmdAddShare_);
  setTabOrder(cmdAddShare_, cmdModifyShare_);
  setTabOrder(cmdModifyShare_, cmdRemoveShare_);
}

void frmShares::connectControls() {
  connect(lvwSharesList_, &QListWidget::itemSelectionChanged, this, &frmShares::lvwSharesList_SelectionChanged);
  connect(lvwSharesList_, &QListWidget::itemClicked, this, &frmShares::lvwSharesList_ItemClick);
  connect(lvwSharesList_, &QListWidget::itemDoubleClicked, this, &frmShares::openSelectedFolder);
  connect(lvwSharesList_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { showShareListMenu(lvwSharesList_->viewport()->mapToGlobal(at)); });
  acceptUrlDrops(lvwSharesList_->viewport(), [this](const QList<QUrl>& urls) { lvwSharesList_OLEDragDrop(urls); });
  acceptUrlDrops(txtLocalPath_, [this](const QList<QUrl>& urls) { txtLocalPath_OLEDragDrop(urls); });
  new EventHook(lvwSharesList_, [this](QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
      cmdRemoveShare_Click();
      return true;
    }
    return false;
  });

  connect(txtServerPath_, &QLineEdit::textChanged, this, &frmShares::txtServerPath_Change);
  connect(txtLocalPath_, &QLineEdit::textChanged, this, &frmShares::UpdateShareButtonsOnEdit);
  for (QCheckBox* box : {chkShareFolder_, chkShareOther_, chkShareSound_, chkShareImage_, chkShareVideo_}) {
    connect(box, &QCheckBox::toggled, this, &frmShares::UpdateShareButtonsOnEdit);
  }
  connect(txtServerPath_, &QLineEdit::returnPressed, this, &frmShares::FocusDefaultShareButton);
  connect(txtLocalPath_, &QLineEdit::returnPressed, this, &frmShares::FocusDefaultShareButton);

  connect(lvwUsers_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { lvwUsers_ItemClick(lvwUsers_->row(item)); });
  new EventHook(lvwUsers_, [this](QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
        lvwUsers_->currentRow() >= 0) {
      lvwUsers_ItemClick(lvwUsers_->currentRow());
      return true;
    }
    return false;
  });

  connect(cmdGetValidServerPath_, &QToolButton::clicked, this, &frmShares::cmdGetValidServerPath_Click);
  connect(cmdSelectShareFolder_, &QToolButton::clicked, this, &frmShares::cmdSelectShareFolder_Click);
  connect(cmdGoToUsersConfig_, &QToolButton::clicked, this, &frmShares::cmdGoToUsersConfig_Click);
  connect(cmdAddShare_, &QPushButton::clicked, this, &frmShares::cmdAddShare_Click);
  connect(cmdModifyShare_, &QPushButton::clicked, this, &frmShares::cmdModifyShare_Click);
  connect(cmdRemoveShare_, &QPushButton::clicked, this, &frmShares::cmdRemoveShare_Click);
  connect(cmdShowWebShares_, &QPushButton::clicked, this, &frmShares::cmdShowWebShares_Click);

  core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  connect(mnuShareList_OpenFolder_, &QAction::triggered, this, &frmShares::openSelectedFolder);
  connect(mnuShareList_Delete_, &QAction::triggered, this, &frmShares::cmdRemoveShare_Click);
  const auto option = [this](QAction* action, int& field, int value) {
    connect(action, &QAction::triggered, this, [this, &field, value] { setDisplayOption(field, value); });
  };
  option(mnuShareList_ShowBy_Icon_, display.SHARES_LIST_SHOW_BY, 1);
  option(mnuShareList_ShowBy_List_, display.SHARES_LIST_SHOW_BY, 2);
  option(mnuShareList_SortBy_Name_, display.SHARES_LIST_SORT_BY, 1);
  option(mnuShareList_SortBy_AddDate_, display.SHARES_LIST_SORT_BY, 2);
  option(mnuShareList_ItemsText_FolderName_, display.SHARES_LIST_ITEMS_TEXT, 1);
  option(mnuShareList_ItemsText_LocalPath_, display.SHARES_LIST_ITEMS_TEXT, 2);
  option(mnuShareList_ItemsText_ServerPath_, display.SHARES_LIST_ITEMS_TEXT, 3);
}

void frmShares::RefreshFormLang() {
  const auto labelled = [](QLabel* label, QStringView name) {
    label->setText(languageText(name) + QStringLiteral(" :"));
  };
  fraSharesList_->setTitle(languageText(u"SHARES_FORM/FRAMES/LIST"));
  fraShareConfig_->setTitle(languageText(u"SHARES_FORM/FRAMES/CONFIG"));
  labelled(lblServerPath_, u"SHARES_FORM/LABELS/SERVER_PATH");
  labelled(lblLocalPath_, u"SHARES_FORM/LABELS/LOCAL_PATH");
  labelled(lblUsers_, u"SHARES_FORM/LABELS/USERS");
  chkShareFolder_->setText(languageText(u"SHARES_FORM/CHECKBOX/SHOW_FOLDER"));
  chkShareOther_->setText(languageText(u"SHARES_FORM/CHECKBOX/SHOW_OTHER"));
  chkShareSound_->setText(languageText(u"SHARES_FORM/CHECKBOX/SHOW_SOUND"));
  chkShareImage_->setText(languageText(u"SHARES_FORM/CHECKBOX/SHOW_IMAGE"));
  chkShareVideo_->setText(languageText(u"SHARES_FORM/CHECKBOX/SHOW_VIDEO"));
  cmdAddShare_->setText(languageText(u"SHARES_FORM/BUTTONS/ADD"));
  cmdModifyShare_->setText(languageText(u"SHARES_FORM/BUTTONS/MODIFY"));
  cmdRemoveShare_->setText(languageText(u"SHARES_FORM/BUTTONS/REMOVE"));
  cmdShowWebShares_->setText(languageText(u"SHARES_FORM/BUTTONS/SHOW_WEBSHARES"));
  mnuShareList_ShowBy_->setTitle(languageText(u"SHARES_FORM/MENUS/SHOW_BY"));
  mnuShareList_ShowBy_Icon_->setText(languageText(u"SHARES_FORM/MENUS/SHOW_BY_ICON"));
  mnuShareList_ShowBy_List_->setText(languageText(u"SHARES_FORM/MENUS/SHOW_BY_LIST"));
  mnuShareList_SortBy_->setTitle(languageText(u"SHARES_FORM/MENUS/SORT_BY"));
  mnuShareList_SortBy_Name_->setText(languageText(u"SHARES_FORM/MENUS/SORT_BY_NAME"));
  mnuShareList_SortBy_AddDate_->setText(languageText(u"SHARES_FORM/MENUS/SORT_BY_DATE_ADD"));
  mnuShareList_ItemsText_->setTitle(languageText(u"SHARES_FORM/MENUS/ITEMS_TEXT"));
  mnuShareList_ItemsText_FolderName_->setText(languageText(u"SHARES_FORM/MENUS/ITEMS_TEXT_FOLDER_NAME"));
  mnuShareList_ItemsText_LocalPath_->setText(languageText(u"SHARES_FORM/MENUS/ITEMS_TEXT_LOCAL_PATH"));
  mnuShareList_ItemsText_ServerPath_->setText(languageText(u"SHARES_FORM/MENUS/ITEMS_TEXT_SERVER_PATH"));
  mnuShareList_OpenFolder_->setText(languageText(u"SHARES_FORM/MENUS/OPEN_FOLDER"));
  mnuShareList_Delete_->setText(languageText(u"SHARES_FORM/MENUS/DELETE_SHARE"));

  // The boxes and lists are named by their labels; the buttons without a caption by what
  // they lead to.
  lvwSharesList_->setAccessibleName(fraSharesList_->title());
  txtServerPath_->setAccessibleName(languageText(u"SHARES_FORM/LABELS/SERVER_PATH"));
  txtLocalPath_->setAccessibleName(languageText(u"SHARES_FORM/LABELS/LOCAL_PATH"));
  lvwUsers_->setAccessibleName(languageText(u"SHARES_FORM/LABELS/USERS"));
  cmdGetValidServerPath_->setAccessibleName(languageText(u"SHARES_FORM/LABELS/SERVER_PATH"));
  cmdGetValidServerPath_->setToolTip(languageText(u"SHARES_FORM/LABELS/SERVER_PATH"));
  cmdSelectShareFolder_->setAccessibleName(languageText(u"MSGBOX/INSTRUCTIONS/SELECT_FOLDER_TO_SHARE"));
  cmdSelectShareFolder_->setToolTip(languageText(u"MSGBOX/INSTRUCTIONS/SELECT_FOLDER_TO_SHARE"));
  cmdGoToUsersConfig_->setAccessibleName(languageText(u"SHARES_FORM/LABELS/USERS"));
  cmdGoToUsersConfig_->setToolTip(languageText(u"SHARES_FORM/LABELS/USERS"));
}

void frmShares::FillUsersList() {
  users_.fill(gConfiguration.Users);
  refreshUsersList();
}

void frmShares::refreshUsersList() {
  const bool rebuild = lvwUsers_->count() != users_.items().size();
  if (rebuild) {
    lvwUsers_->clear();
  }
  for (qsizetype i = 0; i < users_.items().size(); ++i) {
    const UsersCheckList::Item& entry = users_.items().at(i);
    QListWidgetItem* item = rebuild ? new QListWidgetItem(entry.text, lvwUsers_) : lvwUsers_->item(static_cast<int>(i));
    item->setData(kKeyRole, entry.key);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(entry.ticked ? Qt::Checked : Qt::Unchecked);
  }
}

void frmShares::FillSharesList() {
  const core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  const bool sortByName = display.SHARES_LIST_SORT_BY == 1;
  mnuShareList_SortBy_Name_->setChecked(sortByName);
  mnuShareList_SortBy_AddDate_->setChecked(!sortByName);
  mnuShareList_ItemsText_FolderName_->setChecked(display.SHARES_LIST_ITEMS_TEXT == 1);
  mnuShareList_ItemsText_LocalPath_->setChecked(display.SHARES_LIST_ITEMS_TEXT == 2);
  mnuShareList_ItemsText_ServerPath_->setChecked(display.SHARES_LIST_ITEMS_TEXT == 3);
  {
    const QSignalBlocker blocker(lvwSharesList_);
    lvwSharesList_->clear();
    for (const ShareListItem& share : fnctShareListItems(gConfiguration.Shared, display)) {
      auto* item = new QListWidgetItem(shareIcons_.at(static_cast<std::size_t>(share.icon) - 1), share.text);
      item->setData(kKeyRole, share.key);
      item->setData(kIconRole, static_cast<int>(share.icon));
      item->setToolTip(share.text);
      lvwSharesList_->addItem(item);
    }
  }
  const bool icons = display.SHARES_LIST_SHOW_BY == 1;
  lvwSharesList_->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
  lvwSharesList_->setIconSize(icons ? QSize(32, 32) : QSize(16, 16));
  lvwSharesList_->setGridSize(icons ? QSize(110, 72) : QSize());
  lvwSharesList_->setFlow(icons ? QListView::LeftToRight : QListView::TopToBottom);
  lvwSharesList_->setWrapping(icons);
  mnuShareList_ShowBy_Icon_->setChecked(icons);
  mnuShareList_ShowBy_List_->setChecked(!icons);
}

void frmShares::ResetShareEditor() {
  filling_ = true;
  txtServerPath_->clear();
  txtLocalPath_->clear();
  for (QCheckBox* box : {chkShareFolder_, chkShareOther_, chkShareSound_, chkShareImage_, chkShareVideo_}) {
    box->setChecked(true);
  }
  users_.untickAll();
  refreshUsersList();
  filling_ = false;
  buttons_.reset();
  applyButtons();
}

void frmShares::applyButtons() {
  cmdAddShare_->setEnabled(buttons_.add());
  cmdModifyShare_->setEnabled(buttons_.modify());
  cmdRemoveShare_->setEnabled(buttons_.remove());
}

ShareEditorInput frmShares::editorInput() const {
  ShareEditorInput input;
  input.serverPath = txtServerPath_->text();
  input.localPath = txtLocalPath_->text();
  input.users = users_.checkedUsers();
  input.folder = chkShareFolder_->isChecked();
  input.other = chkShareOther_->isChecked();
  input.sound = chkShareSound_->isChecked();
  input.image = chkShareImage_->isChecked();
  input.video = chkShareVideo_->isChecked();
  return input;
}

void frmShares::loadShare(const QString& key) {
  const std::optional<ShareEditorInput> input = fnctEditorInputOf(gConfiguration.Shared, key);
  if (!input) {
    return;
  }
  filling_ = true;
  const core::ShareEntry* root = key == QLatin1String(core::kRootShareId) ? &gConfiguration.Shared.RootShare : nullptr;
  users_.tickFromShare(root ? root->restricted : gConfiguration.Shared.restricted.value(key), input->users);
  refreshUsersList();
  txtServerPath_->setText(input->serverPath);
  txtLocalPath_->setText(input->localPath);
  chkShareFolder_->setChecked(input->folder);
  chkShareOther_->setChecked(input->other);
  chkShareSound_->setChecked(input->sound);
  chkShareImage_->setChecked(input->image);
  chkShareVideo_->setChecked(input->video);
  filling_ = false;
  buttons_.loaded(key);
  applyButtons();
}

void frmShares::showRefusal(const ShareRefusal& refusal) {
  desktop::showMessageBox(
      {languageText(refusal.textName), {}, desktop::MessageIcon::Critical, desktop::MessageButtons::Ok});
  if (refusal.field == EditorField::ServerPath) {
    txtServerPath_->setFocus();
  } else if (refusal.field == EditorField::LocalPath) {
    txtLocalPath_->setFocus();
  }
}

QStringList frmShares::selectedKeys() const {
  QStringList keys;
  for (int row = 0; row < lvwSharesList_->count(); ++row) {
    const QListWidgetItem* item = lvwSharesList_->item(row);
    if (item->isSelected()) {
      keys.append(item->data(kKeyRole).toString());
    }
  }
  return keys;
}

// ---- The share list ----

void frmShares::lvwSharesList_SelectionChanged() {
  const int selected = desktop::isListViewItemSelected(*lvwSharesList_);
  if (selected == 0) {
    ResetShareEditor();
    return;
  }
  if (selected == 1) {
    const QStringList keys = selectedKeys();
    if (keys.first() != buttons_.loadedKey()) {
      loadShare(keys.first());
    }
  }
  buttons_.selectionChanged(selected);
  applyButtons();
}

void frmShares::lvwSharesList_ItemClick(QListWidgetItem* item) {
  if (item != nullptr && item->isSelected() && desktop::isListViewItemSelected(*lvwSharesList_) == 1) {
    loadShare(item->data(kKeyRole).toString());
  }
}

void frmShares::openSelectedFolder() {
  const QListWidgetItem* current = lvwSharesList_->currentItem();
  if (current == nullptr || !current->isSelected()) {
    return;
  }
  const QString key = current->data(kKeyRole).toString();
  const core::tShares& shares = gConfiguration.Shared;
  desktop::subShellOpen(key == QLatin1String(core::kRootShareId) ? shares.RootShare.localPath
                                                                 : shares.localPath.value(key));
}

void frmShares::showShareListMenu(const QPoint& globalPosition) {
  const bool any = desktop::isListViewItemSelected(*lvwSharesList_) > 0;
  for (QAction* action : {mnuShareList_OpenFolder_, separator1_, separator2_, mnuShareList_Delete_}) {
    action->setVisible(any);
  }
  mnuShareList_->setDefaultAction(any ? mnuShareList_OpenFolder_ : nullptr);
  mnuShareList_->popup(globalPosition);
}

void frmShares::setDisplayOption(int& option, int value) {
  if (option == value) {
    return;
  }
  option = value;
  gConfiguration.AppState.blnConfigModified = true;
  FillSharesList();
}

void frmShares::lvwSharesList_OLEDragDrop(const QList<QUrl>& urls) {
  const DropPlan plan = planFolderDrop(urls);
  if (plan.folders.isEmpty()) {
    return;
  }
  if (desktop::showMessageBox({plan.question, {}, desktop::MessageIcon::Question, desktop::MessageButtons::YesNo}) !=
      desktop::MessageAnswer::Yes) {
    return;
  }
  desktop::subSetForegroundWindow(window());
  if (!addDroppedFolders(gConfiguration.Shared, plan.folders).keys.isEmpty()) {
    FillSharesList();
  }
}

// ---- The editor ----

void frmShares::txtLocalPath_OLEDragDrop(const QList<QUrl>& urls) {
  if (const std::optional<QString> text = fnctDroppedLocalPathText(urls)) {
    txtLocalPath_->setText(*text);
  }
}

void frmShares::txtServerPath_Change() {
  if (filling_) {
    return;
  }
  buttons_.serverPathEdited();
  applyButtons();
}

void frmShares::UpdateShareButtonsOnEdit() {
  if (filling_) {
    return;
  }
  buttons_.otherEdited();
  applyButtons();
}

void frmShares::FocusDefaultShareButton() {
  if (cmdModifyShare_->isEnabled()) {
    cmdModifyShare_->setFocus();
  } else if (cmdAddShare_->isEnabled()) {
    cmdAddShare_->setFocus();
  }
}

void frmShares::lvwUsers_ItemClick(int index) {
  users_.toggle(index);
  refreshUsersList();
  buttons_.otherEdited();
  applyButtons();
  if (cmdModifyShare_->isEnabled()) {
    cmdModifyShare_->setFocus();
  } else if (cmdAddShare_->isEnabled()) {
    cmdAddShare_->setFocus();
  }
}

void frmShares::cmdGetValidServerPath_Click() {
  txtServerPath_->setText(fnctProposeServerPath(txtServerPath_->text(), gConfiguration.Shared));
}

void frmShares::cmdSelectShareFolder_Click() {
  const QString folder = desktop::fnctBrowseForFolder(languageText(u"MSGBOX/INSTRUCTIONS/SELECT_FOLDER_TO_SHARE"));
  if (!folder.isEmpty()) {
    txtLocalPath_->setText(fnctShownLocalPath(folder));
  }
}

void frmShares::cmdAddShare_Click() {
  const ShareEditOutcome outcome = cmdAddShare(gConfiguration.Shared, editorInput());
  if (outcome.serverPathText) {
    txtServerPath_->setText(*outcome.serverPathText);
  }
  if (outcome.refusal) {
    showRefusal(*outcome.refusal);
    return;
  }
  if (outcome.changed) {
    FillSharesList();
    ResetShareEditor();
  }
}

void frmShares::cmdModifyShare_Click() {
  if (!buttons_.modify()) {
    return;
  }
  const ShareEditOutcome outcome = cmdModifyShare(gConfiguration.Shared, buttons_.loadedKey(), editorInput());
  if (outcome.serverPathText) {
    txtServerPath_->setText(*outcome.serverPathText);
  }
  if (outcome.refusal) {
    showRefusal(*outcome.refusal);
    return;
  }
  if (outcome.changed) {
    FillSharesList();
    ResetShareEditor();
  }
}

void frmShares::cmdRemoveShare_Click() {
  const QListWidgetItem* current = lvwSharesList_->currentItem();
  const RemovalPlan plan =
      planShareRemoval(gConfiguration.Shared, selectedKeys(), current != nullptr && current->isSelected());
  if (plan.refusal) {
    showRefusal(*plan.refusal);
    return;
  }
  if (plan.keys.isEmpty()) {
    return;
  }
  if (desktop::showMessageBox({plan.question, {}, desktop::MessageIcon::Question, desktop::MessageButtons::YesNo}) !=
      desktop::MessageAnswer::Yes) {
    return;
  }
  if (removeShares(gConfiguration.Shared, plan.keys)) {
    FillSharesList();
    ResetShareEditor();
  }
}

void frmShares::cmdGoToUsersConfig_Click() {
  if (links_.showUsersConfig) {
    links_.showUsersConfig();
  }
}

void frmShares::cmdShowWebShares_Click() {
  if (!links_.listener) {
    return;
  }
  const ListenerView listener = links_.listener();
  desktop::subShellOpen(fnctWebSharesAddress(listener.boundAddress, listener.port));
}

}  // namespace orv::editors
