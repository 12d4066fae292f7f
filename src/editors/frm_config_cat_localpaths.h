#pragma once

#include "editors/config_categories.h"

#include <QList>
#include <QUrl>

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

// The local path exclusions category: patterns of local paths that the server never
// serves, typed (a contained text or an exact path) or made by dropping files and folders.
// The list holds the working copy; the configuration record changes only on Save.
namespace orv::editors {

class ConfigListEditor;

class frmConfig_CatLocalPaths : public ConfigCategoryForm {
  Q_OBJECT

 public:
  explicit frmConfig_CatLocalPaths(QWidget* parent = nullptr);

  void cmdSaveConfig_Click();
  // What a drop of these addresses on the list or on the text box does.
  void lvwExclusions_Drop(const QList<QUrl>& urls);
  void txtExclusion_Drop(const QList<QUrl>& urls);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RefreshFormLang();
  void Form_Load();

  QGroupBox* fraConfigExclusionsList_ = nullptr;
  QListWidget* lvwExclusions_ = nullptr;
  QLineEdit* txtExclusion_ = nullptr;
  QPushButton* cmdAddExclusion_ = nullptr;
  QPushButton* cmdRemoveExclusion_ = nullptr;
  QGroupBox* fraExclusionMethod_ = nullptr;
  QRadioButton* optLocalPathContains_ = nullptr;
  QRadioButton* optLocalPathIs_ = nullptr;
  ConfigListEditor* list_ = nullptr;
};

}  // namespace orv::editors
