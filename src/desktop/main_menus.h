#pragma once

#include "server/upload_details.h"

#include <QString>

class QAction;
class QMenu;
class QMenuBar;

// The tray icon's state and the two menus of the main window: the tray menu, popped up on
// the icon, and the window's own menu in its menu bar. Both run the same commands of the
// main window; what they show is decided here, without a screen.
namespace orv::desktop {

class frmMain;

// ---- The tray icon ----

struct SystrayState {
  int iconNumber = 0;
  QString tip;
};

// The picture and tip for the server state: stopped, running, or running while files are
// sent (a second line then sums up the uploads). debugMode marks the title.
SystrayState fnctSystrayState(bool serverStarted, const server::tUploadsInProgressTotals& totals, bool debugMode);

// A text of the section SYSTEM_MENU; a record without it shows the key rather than nothing.
QString systemMenuText(QStringView key);

// The address of the server's own root page: the listener's address, or 127.0.0.1 for a
// listener on every address ("0.0.0.0" or empty), which always reaches this machine
// without a name look-up. Empty when nothing listens (port 0).
QString fnctViewMySharesAddress(const QString& listenerAddress, int port);

// ---- The tray menu ----

// Builds mnuTrayIcon with its items in order: start/stop (the default item), a separator,
// view my shares, about, help, check for a new version, web site, "Debug", a separator,
// exit. Each item runs its command on the window.
QMenu* buildTrayMenu(frmMain& window);

// The captions from the language record, the start/stop item's for the server state, and
// view my shares enabled only while the server runs.
void refreshTrayMenu(QMenu& menu, bool serverStarted);

// ---- The window menu ----

// The identifiers of the window menu's commands, in their order.
enum class SystemMenuCommand {
  ViewMyShares = 101,
  AboutApp = 102,
  Help = 103,
  VerifNewVersion = 104,
  WebSite = 105,
  Debug = 106,
};

// The window's own menu in its menu bar (the program's menu, titled by its name): made
// empty the first time, found again later.
QMenu* windowMenu(QMenuBar& bar);

// Fills the window menu anew with the commands (the "Debug" item when asked): what was in
// it goes first, so that no item is ever there twice. View my shares follows the server
// state, and is brought in line again each time the menu opens.
void subBuildSystemMenu(frmMain& window, bool withDebugItem);
// Empties the window menu.
void subResetSystemMenu(frmMain& window);
// Enables or disables one command of the window menu.
void subSetSystemMenuItemState(frmMain& window, bool enabled, SystemMenuCommand id);
// The item of a command, or null.
QAction* systemMenuItem(frmMain& window, SystemMenuCommand id);

// Keeps the window between its start-up size (the minimum, in pixels) and the screen's
// size; subUnSubClassMainForm lifts both limits while the window is in the tray.
void subSubClassMainForm(frmMain& window, int minimumWidth, int minimumHeight);
void subUnSubClassMainForm(frmMain& window);

}  // namespace orv::desktop
