#pragma once

#include "desktop/child_panel.h"

#include <QWidget>

#include <optional>

class QToolBar;
class QToolButton;

namespace orv::desktop {

// The tool bar form docked across the top of the main window: button 1 starts and stops
// the server, button 2 is a separator, buttons 3 to 6 choose the panel shown below it.
class frmMenu : public QWidget {
  Q_OBJECT

 public:
  // The indexes of the buttons of tlbMenu.
  static constexpr int kStartStop = 1;
  static constexpr int kShares = 3;
  static constexpr int kUploads = 4;
  static constexpr int kHistory = 5;
  static constexpr int kConfig = 6;

  // Its load: the texts first, then button 1 from the server state.
  explicit frmMenu(QWidget* parent = nullptr);

  // The captions and tips of buttons 1 and 3 to 6 from the language record; button 1's
  // follow its pressed state. Called again after a change of language.
  void RefreshFormLang();
  // Brings button 1 in line with the server state, and the shares panel's button that
  // shows the server's own pages.
  void SetStartStopButtonState();

  // Presses the button of a panel and releases the others; nullopt releases all four.
  void setPanelButtonPressed(std::optional<MainPanel> panel);
  // What a click on the button of that index does.
  void tlbMenu_ButtonClick(int index);

  QToolBar* tlbMenu() const { return tlbMenu_; }
  // The button of an index (1, 3 to 6), or nullptr.
  QToolButton* button(int index) const;

 private:
  // Presses or releases a button without it counting as a click.
  void setPressed(int index, bool pressed);

  QToolBar* tlbMenu_;
  QToolButton* buttons_[7] = {};
  bool settingState_ = false;
};

}  // namespace orv::desktop
