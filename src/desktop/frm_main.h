#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

class QCloseEvent;

namespace orv::server {
class ServerEngine;
enum class StartStopResult;
}  // namespace orv::server

namespace orv::desktop {

class frmDebug;

// The line that tells why a start of the server left nothing listening on the port.
QString startFailureText(server::StartStopResult result, const QString& port);

// 15 twips to the pixel: the window sizes of the configuration record are in twips.
inline constexpr int kTwipsPerPixel = 15;

// The main window. Its load runs the start-up sequence and its close the shut-down
// sequence; the close is never refused, and the program ends after it.
class frmMain : public QMainWindow {
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

  // The parts of the desktop shell that start-up and shut-down call. The tool bar, the
  // child panels, the tray icon and its menu arrive with the desktop shell; until then
  // these do nothing and the tray icon is never shown.
  void RefreshFormLang();
  void ShowMenuAndLastChildForm();
  void AddOrRefreshSystrayIcon();
  void RemoveSystrayIcon();
  bool getIsIconIsVisible() const;
  void setTrayDebugItemVisible(bool visible);

  // Starts the listener on LOCAL_PORT, or stops it and every connection when it runs. A
  // port held by another program is reported in a message box only when asked.
  void StartStopServer(bool reportPortInUse);
  // The HTTP server engine: the listener and the connection slots.
  server::ServerEngine& server() const { return *server_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void MDIForm_Unload();

  QString appFolder_;
  QString commandLine_;
  bool loaded_ = false;
  bool unloaded_ = false;
  QPointer<frmDebug> debugForm_;
  std::unique_ptr<server::ServerEngine> server_;
};

}  // namespace orv::desktop
