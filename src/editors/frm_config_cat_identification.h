#pragma once

#include "editors/config_categories.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The identification category: the limit of failed identifications after which a client
// address is banned, the length of the ban, and how clients identify themselves for the
// restricted shares (the login form or HTTP Basic). The boxes and options hold the working
// copy; the configuration record changes only on Save.
namespace orv::editors {

class NumberBoxKeys;

class frmConfig_CatIdentification : public ConfigCategoryForm {
  Q_OBJECT

 public:
  explicit frmConfig_CatIdentification(QWidget* parent = nullptr);

  // Save: checks both boxes again, stores what changed and writes config.xml.
  void cmdSaveConfig_Click();

 private:
  void RefreshFormLang();
  void Form_Load();

  QGroupBox* fraIdentificationConfig_ = nullptr;
  QGroupBox* fraIdentificationMethod_ = nullptr;
  QLabel* lblMaxIdentificationErrors_ = nullptr;
  QLabel* lblBanDuration_ = nullptr;
  QLabel* lblBanDuration_Unit_ = nullptr;
  QLineEdit* txtMaxIdentificationErrors_ = nullptr;
  QLineEdit* txtBanDuration_ = nullptr;
  QRadioButton* optHtml_ = nullptr;
  QRadioButton* optHttp_ = nullptr;
  NumberBoxKeys* maxErrorsKeys_ = nullptr;
  NumberBoxKeys* banDurationKeys_ = nullptr;
};

}  // namespace orv::editors
