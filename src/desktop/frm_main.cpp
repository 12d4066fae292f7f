#include "desktop/frm_main.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/language.h"
#include "desktop/frm_debug.h"
#include "desktop/message_box.h"
#include "desktop/startup.h"
#include "server/request_intake.h"
#include "server/server_engine.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <utility>

using namespace Qt::StringLiterals;

namespace orv::desktop {
namespace {

// The window's design size, in pixels; start-up keeps it as the smallest size.
constexpr int kDesignWidth = 780;
constexpr int kDesignHeight = 540;

}  // namespace

QString startFailureText(server::StartStopResult result, const QString& port) {
  const QString title = core::applicationTitle();
  if (result == server::StartStopResult::PortInUse) {
    return title + u": the server is not started: port "_s + port + u" is already used by another program."_s;
  }
  return title + u": the server is not started: it could not listen on port "_s + port +
         u" (a port below 1024 needs privileges)."_s;
}

frmMain::frmMain(QString appFolder, QString commandLine, QWidget* parent)
    : QMainWindow(parent),
      appFolder_(std::move(appFolder)),
      commandLine_(std::move(commandLine)),
      server_(std::make_unique<server::ServerEngine>()) {
  // Every request of every connection travels the request road.
  server_->setDataArrivalHandler(&server::usrSocket_DataArrival);
  resize(kDesignWidth, kDesignHeight);
}

frmMain::~frmMain() = default;

bool frmMain::MDIForm_Load() {
  // The program ends with this window, not with the last window closed: the debug window
  // may be the last one shown while this one waits in the tray.
  if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    application->setQuitOnLastWindowClosed(false);
  }
  if (!subStartUp(*this, appFolder_, commandLine_)) {
    return false;
  }
  loaded_ = true;
  if (!core::gConfiguration.Other.START_IN_TRAY) {
    if (const QScreen* screen = this->screen()) {
      move(screen->availableGeometry().center() - rect().center());
    }
    show();
  }
  return true;
}

void frmMain::closeEvent(QCloseEvent* event) {
  MDIForm_Unload();
  event->accept();
  QCoreApplication::exit(0);
}

void frmMain::MDIForm_Unload() {
  if (!loaded_ || unloaded_) {
    return;
  }
  unloaded_ = true;
  subShutDown(*this);
}

void frmMain::showDebugForm() {
  if (debugForm_.isNull()) {
    debugForm_ = new frmDebug(this);
  }
  debugForm_->show();
  debugForm_->raise();
  debugForm_->activateWindow();
}

frmDebug* frmMain::debugForm() const {
  return debugForm_.data();
}

void frmMain::RefreshFormLang() {}

void frmMain::ShowMenuAndLastChildForm() {}

void frmMain::AddOrRefreshSystrayIcon() {}

void frmMain::RemoveSystrayIcon() {}

bool frmMain::getIsIconIsVisible() const {
  return false;
}

void frmMain::setTrayDebugItemVisible(bool) {}

void frmMain::StartStopServer(bool reportPortInUse) {
  const server::StartStopResult result = server_->StartStopServer();
  if (result == server::StartStopResult::PortInUse && reportPortInUse) {
    showMessageBox({core::gLanguage.text(u"MSGBOX/ERRORS/PORT_ALREADY_OPEN"), core::applicationTitle(),
                    MessageIcon::Critical, MessageButtons::Ok});
  } else if (result == server::StartStopResult::PortInUse || result == server::StartStopResult::Failed) {
    // A start that asks for no box (the start on load) still tells why nothing listens,
    // for the terminal or the log of a run without a screen.
    core::subWriteConsoleLine(startFailureText(result, core::gConfiguration.Protocol.LOCAL_PORT));
  }
  // The start/stop item offers the other action, and the shares can be viewed only while
  // the server runs.
  if (result != server::StartStopResult::Failed) {
    RefreshFormLang();
  }
}

}  // namespace orv::desktop
