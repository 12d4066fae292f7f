#pragma once

#include <QWidget>

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QListView;
class QMenu;
class QPushButton;
class QShowEvent;
class QTimer;

// The debug window: the live lines of the debug event log, newest on top in the colour of
// their category, with the switches of the three categories and a clear command; below
// them the value grid of the live counters and the tuning parameters. It is loaded when
// shown and unloaded when closed: while it is loaded the log records (blnDebugFormLoaded)
// and the counters are refreshed every 200 ms; its lines go with it, so the next opening
// starts empty. Its texts are fixed English texts.
namespace orv::desktop {

class DebugLogModel;
class DebugValuesGrid;

class frmDebug : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kCounterIntervalMs = 200;

  explicit frmDebug(QWidget* parent = nullptr);
  ~frmDebug() override;

  frmDebug(const frmDebug&) = delete;
  frmDebug& operator=(const frmDebug&) = delete;

  // The lines shown, newest first.
  QStringList shownLines() const;

  DebugValuesGrid* valuesGrid() const { return flexDebugValues_; }
  QMenu* eventListMenu() const { return mnuDebugEvList_; }

  // Empties the log (cmdClearDebug and its popup item).
  void cmdClearDebug_Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();
  void Timer1_Timer();
  void showEventListMenu(const QPoint& position);
  void followLog();

  bool loaded_ = false;
  QGroupBox* fraEvents_ = nullptr;
  QListView* flexDebugEvList_ = nullptr;
  DebugLogModel* eventListModel_ = nullptr;
  QCheckBox* chkShowAppEv_ = nullptr;
  QCheckBox* chkShowHttpEv_ = nullptr;
  QCheckBox* chkShowSktEv_ = nullptr;
  QPushButton* cmdClearDebug_ = nullptr;
  QGroupBox* fraDataInfo_ = nullptr;
  DebugValuesGrid* flexDebugValues_ = nullptr;
  QTimer* Timer1_ = nullptr;
  QMenu* mnuDebugEvList_ = nullptr;
  QAction* mnuDebugEvList_Clear_ = nullptr;
};

}  // namespace orv::desktop
