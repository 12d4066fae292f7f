#pragma once

#include "editors/config_categories.h"

#include <QString>

#include <optional>

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

// The IP filters category: the client addresses and whether the list names the only
// clients refused or the only clients admitted. The list and the options hold the working
// copy; the configuration record changes only on Save.
namespace orv::editors {

class ConfigListEditor;

class frmConfig_CatIpFilters : public ConfigCategoryForm {
  Q_OBJECT

 public:
  explicit frmConfig_CatIpFilters(QWidget* parent = nullptr);

  void cmdSaveConfig_Click();

 private:
  void RefreshFormLang();
  void Form_Load();
  std::optional<QString> acceptedAddress(const QString& text);

  QGroupBox* fraIpAddress_ = nullptr;
  QListWidget* lvwIpAddressList_ = nullptr;
  QLineEdit* txtIpAddress_ = nullptr;
  QPushButton* cmdAddIpAddress_ = nullptr;
  QPushButton* cmdRemoveIpAddress_ = nullptr;
  QGroupBox* fraMethod_ = nullptr;
  QRadioButton* optAllowExcept_ = nullptr;
  QRadioButton* optDenyExcept_ = nullptr;
  ConfigListEditor* list_ = nullptr;
};

}  // namespace orv::editors
