#pragma once

#include <QWidget>

// The contract of every panel the main window shows below its tool bar (shares, uploads,
// history, configuration): the main window creates one by name, places it and sets these
// three members; the panel lays out its controls on a resize only while blnRedimActivate
// is set. A panel is destroyed when another is shown, and everything unsaved in it with it.
namespace orv::desktop {

class ChildPanel : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  bool blnRedimActivate = false;
  bool blnEnableFormRedimX = false;
  bool blnEnableFormRedimY = false;
};

}  // namespace orv::desktop
