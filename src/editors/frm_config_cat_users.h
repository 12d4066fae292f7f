#pragma once

#include "editors/config_categories.h"
#include "editors/users_editing.h"

#include <QString>

class QCheckBox;
class QIcon;
class QPalette;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The users category: the accounts to which shares can be restricted. The form edits
// working copies of the accounts; Add, Modify and Remove change only those, and Save puts
// them into the configuration record in place of its accounts and writes config.xml.
namespace orv::editors {

// The picture of an account, a head and shoulders, in the colours of the palette; size
// pixels square.
QIcon fnctAccountIcon(const QPalette& palette, int size = 16);

class frmConfig_CatUsers : public ConfigCategoryForm {
  Q_OBJECT

 public:
  explicit frmConfig_CatUsers(QWidget* parent = nullptr);

  const UsersWorkLists& workLists() const { return work_; }

  void cmdAddUser_Click();
  void cmdModifyUser_Click();
  void cmdRemoveUser_Click();
  void cmdSaveConfig_Click();
  void cmdSelectPageIcon_Click();
  void cmdSelectUrlIcon_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RefreshFormLang();
  void Form_Load();
  void InitUsersListview();
  void showAccount(const QString& id);
  void lvwUsers_SelectionChanged();
  void RefreshUserButtons();
  void ClearUserFields();
  void FocusAddOrModify();
  void chkIcon_Toggled();
  void txtLogin_Change();
  UserFields fields() const;
  void showRefusal(const UserRefusal& refusal);
  void acceptIconChoice(QLineEdit* box, const IconChoice& choice);
  void selectIcon(QLineEdit* box, const QString& filterName, const QString& filterPattern);
  void afterListChange();
  int selectedCount() const;

  UsersWorkLists work_;
  QString shownId_;  // the account whose fields are shown; empty for none

  QGroupBox* fraConfigUsersList_ = nullptr;
  QListWidget* lvwUsers_ = nullptr;
  QLabel* labLogin_ = nullptr;
  QLineEdit* txtLogin_ = nullptr;
  QLabel* labPassword_ = nullptr;
  QLineEdit* txtPassword_ = nullptr;
  QCheckBox* chkPageIcon_ = nullptr;
  QLineEdit* txtPageIcon_ = nullptr;
  QPushButton* cmdSelectPageIcon_ = nullptr;
  QCheckBox* chkUrlIcon_ = nullptr;
  QLineEdit* txtUrlIcon_ = nullptr;
  QPushButton* cmdSelectUrlIcon_ = nullptr;
  QPushButton* cmdAddUser_ = nullptr;
  QPushButton* cmdModifyUser_ = nullptr;
  QPushButton* cmdRemoveUser_ = nullptr;
};

}  // namespace orv::editors
