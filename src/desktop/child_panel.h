#pragma once

#include <QString>
#include <QWidget>

#include <functional>

// The contract of every panel the main window shows below its tool bar (shares, uploads,
// history, configuration): the main window creates one by name, places it and sets these
// three members; the panel lays out its controls on a resize only while blnRedimActivate
// is set. A panel is destroyed when another is shown, and everything unsaved in it with it.
namespace orv::desktop {

// The codes of gShownMainPanel; 0 (none yet) counts as Shares.
enum class MainPanel { Shares = 1, Uploads = 2, History = 3, Config = 4 };

class ChildPanel : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  // The configuration panel shows the category form of a key ("general", "users", ...);
  // the other panels have no categories.
  virtual void LoadConfigCatForm(const QString& categoryKey) { static_cast<void>(categoryKey); }
  // The category form shown beside the configuration panel's list, or nullptr.
  virtual QWidget* frmConfigCatForm() const { return nullptr; }

  bool blnRedimActivate = false;
  bool blnEnableFormRedimX = false;
  bool blnEnableFormRedimY = false;
};

// Makes a new panel of one kind. The panels of the editors live in a library above this
// one, so the program registers their makers at start; a kind without a maker gets an
// empty panel.
using ChildPanelMaker = std::function<ChildPanel*(QWidget* parent)>;
void setChildPanelMaker(MainPanel panel, ChildPanelMaker maker);
ChildPanel* createChildPanel(MainPanel panel, QWidget* parent);

}  // namespace orv::desktop
