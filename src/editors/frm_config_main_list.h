#pragma once

#include "desktop/child_panel.h"
#include "editors/config_categories.h"

#include <QPointer>

class QFrame;
class QListWidget;
class QHideEvent;
class QMoveEvent;
class QResizeEvent;
class QShowEvent;

// The configuration panel: a strip of fixed width with the list of the seven categories,
// and beside it the form of one category at a time. The category form is a sibling of the
// panel in the main window's panel area: it stands to the right of the strip, and the main
// window sizes it (frmConfigCatForm) to the width the strip leaves. Without a parent widget
// the form is the panel's own child, right of the strip.
namespace orv::editors {

class frmConfig_MainList : public desktop::ChildPanel {
  Q_OBJECT

 public:
  explicit frmConfig_MainList(QWidget* parent = nullptr);
  ~frmConfig_MainList() override;

  frmConfig_MainList(const frmConfig_MainList&) = delete;
  frmConfig_MainList& operator=(const frmConfig_MainList&) = delete;

  // The strip's width, in pixels.
  static constexpr int kStripWidth = 132;

  // Replaces the category form with a new one of the key (compared ignoring case); its
  // unsaved edits are dropped. A key of no category changes nothing.
  void LoadConfigCatForm(const QString& categoryKey) override;
  QWidget* frmConfigCatForm() const override;

  // Fills the category list with the texts of the language record.
  void InitConfigCatsListview();

  QListWidget* categoryList() const { return lvwConfig_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();
  void lvwConfig_ItemClick(int row);
  void placeCategoryForm();
  void selectShownCategory();

  QFrame* txtConfig_Outline_ = nullptr;
  QListWidget* lvwConfig_ = nullptr;
  QPointer<ConfigCategoryForm> frmConfigCatForm_;
};

}  // namespace orv::editors
