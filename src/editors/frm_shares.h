#pragma once

#include "desktop/child_panel.h"
#include "editors/share_editing.h"

#include <QIcon>
#include <QPoint>
#include <QString>

#include <array>
#include <functional>

class QAction;
class QActionGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QToolButton;

namespace orv::desktop {
class frmMain;
}
namespace orv::net {
class usrSocket;
}

namespace orv::editors {

// What the shares window reads of the listening socket.
struct ListenerView {
  int state = 0;         // the socket state; 2 and 3 count as a running server
  QString boundAddress;  // dotted; "0.0.0.0" when it listens on every address
  int port = 0;
};
ListenerView listenerViewOf(const net::usrSocket& listener);

// The links of the shares window to the main window, given when the panel is made.
struct SharesWindowLinks {
  std::function<ListenerView()> listener;  // empty: no server
  // Leads to the configuration panel open at its users category.
  std::function<void()> showUsersConfig;
};

// The maker of the panel for the main window: its links lead to that window's listener.
desktop::ChildPanelMaker sharesPanelMaker(desktop::frmMain& mainWindow);

// The child panel "Shares": the list of shares and the editor through which they are
// defined. What changes the store lives in share_editing; this window shows it and asks.
class frmShares : public desktop::ChildPanel {
  Q_OBJECT

 public:
  explicit frmShares(SharesWindowLinks links, QWidget* parent = nullptr);

  void RefreshFormLang();
  // The share list and the users list are filled again from the stores.
  void FillSharesList();
  void FillUsersList();
  void ResetShareEditor();

  // The pop-up menu of the share list, shown at a point of the screen.
  void showShareListMenu(const QPoint& globalPosition);
  QMenu* shareListMenu() const { return mnuShareList_; }

 private:
  void buildControls();
  void connectControls();
  void applyButtons();
  void refreshUsersList();
  ShareEditorInput editorInput() const;
  void loadShare(const QString& key);
  void showRefusal(const ShareRefusal& refusal);
  QStringList selectedKeys() const;

  void lvwSharesList_SelectionChanged();
  void lvwSharesList_ItemClick(QListWidgetItem* item);
  void openSelectedFolder();
  void lvwSharesList_OLEDragDrop(const QList<QUrl>& urls);
  void txtLocalPath_OLEDragDrop(const QList<QUrl>& urls);
  void txtServerPath_Change();
  void UpdateShareButtonsOnEdit();
  void FocusDefaultShareButton();
  void lvwUsers_ItemClick(int index);
  void cmdGetValidServerPath_Click();
  void cmdSelectShareFolder_Click();
  void cmdAddShare_Click();
  void cmdModifyShare_Click();
  void cmdRemoveShare_Click();
  void cmdGoToUsersConfig_Click();
  void cmdShowWebShares_Click();
  void setDisplayOption(int& option, int value);

  SharesWindowLinks links_;
  UsersCheckList users_;
  ShareEditorButtons buttons_;
  bool filling_ = false;  // the window itself sets the fields: no edit handler runs
  std::array<QIcon, 3> shareIcons_;

  QGroupBox* fraSharesList_ = nullptr;
  QListWidget* lvwSharesList_ = nullptr;
  QPushButton* cmdShowWebShares_ = nullptr;
  QGroupBox* fraShareConfig_ = nullptr;
  QLabel* lblServerPath_ = nullptr;
  QLineEdit* txtServerPath_ = nullptr;
  QToolButton* cmdGetValidServerPath_ = nullptr;
  QLabel* lblLocalPath_ = nullptr;
  QLineEdit* txtLocalPath_ = nullptr;
  QToolButton* cmdSelectShareFolder_ = nullptr;
  QLabel* lblUsers_ = nullptr;
  QListWidget* lvwUsers_ = nullptr;
  QToolButton* cmdGoToUsersConfig_ = nullptr;
  QCheckBox* chkShareFolder_ = nullptr;
  QCheckBox* chkShareOther_ = nullptr;
  QCheckBox* chkShareSound_ = nullptr;
  QCheckBox* chkShareImage_ = nullptr;
  QCheckBox* chkShareVideo_ = nullptr;
  QPushButton* cmdAddShare_ = nullptr;
  QPushButton* cmdModifyShare_ = nullptr;
  QPushButton* cmdRemoveShare_ = nullptr;

  QMenu* mnuShareList_ = nullptr;
  QAction* mnuShareList_OpenFolder_ = nullptr;
  QAction* separator1_ = nullptr;
  QMenu* mnuShareList_ShowBy_ = nullptr;
  QAction* mnuShareList_ShowBy_Icon_ = nullptr;
  QAction* mnuShareList_ShowBy_List_ = nullptr;
  QMenu* mnuShareList_SortBy_ = nullptr;
  QAction* mnuShareList_SortBy_Name_ = nullptr;
  QAction* mnuShareList_SortBy_AddDate_ = nullptr;
  QMenu* mnuShareList_ItemsText_ = nullptr;
  QAction* mnuShareList_ItemsText_FolderName_ = nullptr;
  QAction* mnuShareList_ItemsText_ServerPath_ = nullptr;
  QAction* mnuShareList_ItemsText_LocalPath_ = nullptr;
  QAction* separator2_ = nullptr;
  QAction* mnuShareList_Delete_ = nullptr;
};

}  // namespace orv::editors
