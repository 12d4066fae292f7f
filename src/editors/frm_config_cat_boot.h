#pragma once

#include "editors/config_categories.h"

class QCheckBox;
class QGroupBox;

// The boot category: start with the session (the session's autostart entry), start hidden
// in the tray and start the server when the program starts. The boxes hold the working
// copy; Save writes or removes the autostart entry when its box changed, and writes
// config.xml.
namespace orv::editors {

class frmConfig_CatBoot : public ConfigCategoryForm {
  Q_OBJECT

 public:
  explicit frmConfig_CatBoot(QWidget* parent = nullptr);

  void cmdSaveConfig_Click();

 private:
  void RefreshFormLang();
  void Form_Load();

  QString programPath_;          // what the autostart entry starts
  bool startWinAtLoad_ = false;  // the box as loaded, or as last saved

  QGroupBox* fraBoot_ = nullptr;
  QCheckBox* chkStartWin_ = nullptr;
  QCheckBox* chkStartTray_ = nullptr;
  QCheckBox* chkStartServOnLoad_ = nullptr;
};

}  // namespace orv::editors
