#pragma once

#include "server/upload_views.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

class QCloseEvent;
class QEvent;
class QMenu;

namespace orv::server {
class ServerEngine;
enum class StartStopResult;
}  // namespace orv::server

namespace orv::desktop {

class ChildPanel;
class frmDebug;
class frmMain;
class frmMenu;
class usrSystray;

// The one main window while it exists, the tool bar form docked in it while it is shown,
// and the panel shown below the tool bar; each is null when there is none.
extern frmMain* gMainForm;
extern QPointer<frmMenu> gMenuForm;
extern QPointer<ChildPanel> gCurrentChildForm;

// Replaces the shown panel by a new one of the name "Shares", "Uploads", "History" or
// "Config" (case ignored), on the main window: see frmMain::subShowChildForm.
void subShowChildForm(const QString& panelName, bool followWidth, bool followHeight, const QString& categoryKey);

// The line that tells why a start of the server left nothing listening on the port.
QString startFailureText(server::StartStopResult result, const QString& port);

// 15 twips to the pixel: the window sizes of the configuration record are in twips.
inline constexpr int kTwipsPerPixel = 15;

// The main window. Its load runs the start-up sequence and its close the shut-down
// sequence; the close is never refused, and the program ends after it. The engine refreshes
// its tray icon through the tray icon view while the icon is shown.
class frmMain : public QMainWindow, public server::TrayIconView {
  Q_OBJECT

 public:
  // appFolder: the executable's folder, where the program keeps its files (a test gives
  // its own); commandLine: the whole command-line argument text (commandLineText).
  frmMain(QString appFolder, QString commandLine, QWidget* parent = nullptr);
  ~frmMain() override;

  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  // Runs start-up, then shows the window centred unless it starts in the tray. False when
  // start-up ended on a failure: the program then ends with kStartupFailureExitCode.
  bool MDIForm_Load();
  bool isLoaded() const { return loaded_; }

  // Shows the debug window, creating it when it is not open, and brings it forward.
  void showDebugForm();
  frmDebug* debugForm() const;  // null until first shown
  // Shows the about box, making it when it is not open, and brings it forward.
  void showAboutForm();

  // The captions of the tray menu, its start/stop item's for the server state, and view my
  // shares enabled only while the server runs.
  void RefreshFormLang();

  // Creates the tool bar form and the panel shown last (gShownMainPanel; none yet is
  // Shares, and so is a code or configuration category out of range), and presses its
  // button.
  void ShowMenuAndLastChildForm();
  // Destroys the tool bar form and the panel; both references become null.
  void UnloadMenuAndChildForm();

  // Unloads the shown panel (everything unsaved in it is dropped), then creates the panel
  // of the name through the maker registered for its kind, places it below the tool bar,
  // sizes it from the client area as the two flags ask, opens the configuration panel on
  // categoryKey ("general" when empty) and shows it. An unknown name shows no panel. The
  // shown panel is never reused: the same name rebuilds it.
  void subShowChildForm(const QString& panelName, bool followWidth, bool followHeight, const QString& categoryKey);

  // Lays the tool bar form and the panel out in the client area; sizes never go below 0.
  void MDIForm_Resize();

  // ---- The tray ----
  // Minimising hides the window into the tray only when canHideInTray() says a tray can
  // show the icon; otherwise the window minimises as any window does, so a person is never
  // left with neither a window nor an icon. Start in tray shows the window for the same
  // reason.
  bool canHideInTray() const;
  bool startsInTray() const;
  // Shows the tray icon, or refreshes it, with the picture and tip of the server state.
  void AddOrRefreshSystrayIcon() override;
  void RemoveSystrayIcon();
  bool getIsIconIsVisible() const override;
  void setTrayDebugItemVisible(bool visible);
  // Brings the window back from the tray (the icon's double click) in its last state, with
  // its tool bar and the panel shown last, in front; an open about box closes first.
  void restoreFromTray();
  usrSystray& systray() const { return *usrSystray_; }
  QMenu& trayMenu() const { return *mnuTrayIcon_; }

  // ---- The commands of the tray menu and of the window menu ----
  void mnuSystemMenu_AboutApp();
  void mnuSystemMenu_Help();
  void mnuSystemMenu_WebSite();
  void mnuSystemMenu_VerifNewVersion();
  // Opens the server's own root page; nothing while the server is stopped.
  void mnuSystemMenu_ShowMyShares();
  void mnuSystemMenu_ShowDebugForm();
  // The tray menu's own: start or stop the server and refresh the icon; end the program.
  void mnuTrayIcon_StartStopServer_Click();
  void mnuTrayIcon_ExitApp_Click();

  // Starts the listener on LOCAL_PORT, or stops it and every connection when it runs. A
  // start that fails is reported in a message box only when asked: PORT_ALREADY_OPEN for a
  // port held by another program, the system's own text for any other failure.
  void StartStopServer(bool reportPortInUse);
  // The HTTP server engine: the listener and the connection slots.
  server::ServerEngine& server() const { return *server_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void MDIForm_Unload();
  // Minimised: the window hides and the tray icon stands in for it.
  void hideInTray();

  QString appFolder_;
  QString commandLine_;
  bool loaded_ = false;
  bool unloaded_ = false;
  QWidget* clientArea_;
  QPointer<frmDebug> debugForm_;
  std::unique_ptr<server::ServerEngine> server_;
  usrSystray* usrSystray_;
  QMenu* mnuTrayIcon_ = nullptr;
};

}  // namespace orv::desktop
