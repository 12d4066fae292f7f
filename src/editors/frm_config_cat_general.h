#pragma once

#include "editors/config_categories.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

// The general category: the listening port, the language, the thumbnail cache size, the
// keyword lists of audio players and banned clients, the allowed domains, two displays of
// the uploads window and compression. Its Save is where the language changes (every open
// window is refreshed at once) and where a new port restarts a running server.
namespace orv::editors {

class NumberBoxKeys;

class frmConfig_CatGeneral : public ConfigCategoryForm {
  Q_OBJECT

 public:
  explicit frmConfig_CatGeneral(QWidget* parent = nullptr);

  // Save: checks the boxes again, refuses what cannot be kept, changes the language and
  // the port, stores the rest and writes config.xml.
  void cmdSaveConfig_Click();

  // The refreshes of a language change name themselves here, in the order they run
  // ("general", "about", "menu", "main" with the tray menu, "categories", "window
  // menu", "group stylesheet"); for tests.
  static void setLanguageRefreshTracer(std::function<void(const QString& step)> tracer);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RefreshFormLang();
  void Form_Load();
  void normalizeList(QLineEdit* box);
  void refreshOpenWindowsLanguage();
  void restartServer();

  QGroupBox* fraGeneral_ = nullptr;
  QLabel* lblLocalPort_ = nullptr;
  QLineEdit* txtLocalPort_ = nullptr;
  QLabel* lblLang_ = nullptr;
  QComboBox* cboLangFiles_ = nullptr;
  QLabel* labMiniaturesCacheSizeMax_ = nullptr;
  QLineEdit* txtMiniaturesCacheSizeMax_ = nullptr;
  QLabel* labMiniaturesCacheSizeMax_Unit_ = nullptr;
  QGroupBox* fraClientApplications_ = nullptr;
  QLabel* labAudioPlayers_ = nullptr;
  QLineEdit* txtAudioPlayers_ = nullptr;
  QLabel* labBannedClients_ = nullptr;
  QLineEdit* txtBannedClients_ = nullptr;
  QGroupBox* fraDomains_ = nullptr;
  QCheckBox* chkAllowOnlyDomains_ = nullptr;
  QLabel* lblDomainsList_ = nullptr;
  QLineEdit* txtDomainsList_ = nullptr;
  QCheckBox* chkShowTransfersToolTips_ = nullptr;
  QCheckBox* chkShowTransfersListsInfos_ = nullptr;
  QCheckBox* chkEnableCompression_ = nullptr;
  NumberBoxKeys* portKeys_ = nullptr;
  NumberBoxKeys* cacheKeys_ = nullptr;
};

}  // namespace orv::editors
