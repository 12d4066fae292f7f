#pragma once

#include <QWidget>

class QCloseEvent;
class QListWidget;
class QShowEvent;

// The debug window: the live lines of the debug event log, newest on top, in the colour of
// their category. It is loaded when shown and unloaded when closed: while it is loaded the
// log records (blnDebugFormLoaded), and its lines go with it, so the next opening starts
// empty. Its texts are fixed English texts.
namespace orv::desktop {

class frmDebug : public QWidget {
  Q_OBJECT

 public:
  explicit frmDebug(QWidget* parent = nullptr);
  ~frmDebug() override;

  frmDebug(const frmDebug&) = delete;
  frmDebug& operator=(const frmDebug&) = delete;

  // The lines shown, newest first.
  QStringList shownLines() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();
  void refreshEventList();

  bool loaded_ = false;
  QListWidget* flexDebugEvList_ = nullptr;
};

}  // namespace orv::desktop
