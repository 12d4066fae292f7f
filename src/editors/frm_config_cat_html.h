#pragma once

#include "editors/config_categories.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QRadioButton;

// The HTML display category: what folder pages list and offer (hidden items, thumbnails,
// MP3 tags, extensions), the thumbnail size, the page stylesheet of the resources folder
// and whether the browser or the server applies it. Its Save loads the stylesheet again
// when it or the method changes, so the next page served follows the new settings.
namespace orv::editors {

class NumberBoxKeys;

class frmConfig_CatHtml : public ConfigCategoryForm {
  Q_OBJECT

 public:
  explicit frmConfig_CatHtml(QWidget* parent = nullptr);

  // Save: refuses a stylesheet that does not load, stores the fields, loads the page
  // stylesheet again when it or the method changed, and writes config.xml.
  void cmdSaveConfig_Click();

  // The position (from 1) of the marked stylesheet, 0 when none is.
  int lngMarkedXslIndex() const { return lngMarkedXslIndex_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RefreshFormLang();
  void Form_Load();
  void InitXslFilesListview();
  void lvwXslFiles_ItemClick(QListWidgetItem* item);

  QGroupBox* fraHtmlDisplay_ = nullptr;
  QCheckBox* chkViewHiddenDiskItems_ = nullptr;
  QCheckBox* chkAllowHtmlMiniatures_ = nullptr;
  QCheckBox* chkAllowHtmlMp3Tags_ = nullptr;
  QCheckBox* chkHideExtensions_ = nullptr;
  QLabel* labMiniatureDimension_ = nullptr;
  QLineEdit* txtMiniatureDimension_ = nullptr;
  QLabel* labMiniatureDimension_Unit_ = nullptr;
  QGroupBox* fraXslFiles_ = nullptr;
  QListWidget* lvwXslFiles_ = nullptr;
  QGroupBox* fraBuildMethod_ = nullptr;
  QRadioButton* optByServer_ = nullptr;
  QRadioButton* optByClient_ = nullptr;
  NumberBoxKeys* dimensionKeys_ = nullptr;
  int lngMarkedXslIndex_ = 0;
};

}  // namespace orv::editors
