#pragma once

#include "core/history_store.h"
#include "desktop/child_panel.h"
#include "desktop/history_list_model.h"

#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;

// The history panel of the main window: the event history newest first, kept current while
// the panel is shown, with a menu to open the file or folder an event names and to clear
// the history, and the settings KEEP_HISTORY and MAX_ENTRY. Loaded when created and
// unloaded when destroyed, as the main window switches panels.
namespace orv::desktop {

class frmHistory : public ChildPanel, public core::HistoryWindowView {
  Q_OBJECT

 public:
  explicit frmHistory(QWidget* parent = nullptr);
  ~frmHistory() override;

  frmHistory(const frmHistory&) = delete;
  frmHistory& operator=(const frmHistory&) = delete;

  void AddEntryInHistoryList(core::HistoryEventType type, const QString& ipAddress, const QDateTime& date,
                             const QString& text, bool isNew) override;

  const HistoryListModel& historyList() const { return model_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();
  void buildControls();

  void showHistoryMenu(const QPoint& position);
  void openEvent(const HistoryRow& row);
  void mnuHistoryList_OpenFolder_Click();
  void mnuHistoryList_Clear_Click();

  void validateMaxHistoryEntry();
  void cmdSaveHistoryParam_Click();

  bool loaded_ = false;
  HistoryListModel model_;
  // The event the menu was opened on: events added while it is shown move the rows, not it.
  std::optional<HistoryRow> menuRow_;

  QGroupBox* fraContent_ = nullptr;
  QTableView* flexHistoryList_ = nullptr;
  QGroupBox* fraParam_ = nullptr;
  QCheckBox* chkKeepHistory_ = nullptr;
  QLabel* lblMaxHistoryEntry_ = nullptr;
  QLineEdit* txtMaxHistoryEntry_ = nullptr;
  QPushButton* cmdSaveHistoryParam_ = nullptr;
  QMenu* mnuHistoryList_ = nullptr;
  QAction* mnuHistoryList_OpenFile_ = nullptr;
  QAction* mnuHistoryList_OpenFolder_ = nullptr;
  QAction* separator1_ = nullptr;
  QAction* mnuHistoryList_Clear_ = nullptr;
};

}  // namespace orv::desktop
