#include "desktop/frm_main.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/language.h"
#include "desktop/about_box.h"
#include "desktop/child_panel.h"
#include "desktop/desktop_utils.h"
#include "desktop/frm_about.h"
#include "desktop/frm_debug.h"
#include "desktop/frm_menu.h"
#include "desktop/main_menus.h"
#include "desktop/message_box.h"
#include "desktop/startup.h"
#include "desktop/usr_systray.h"
#include "server/request_intake.h"
#include "server/server_engine.h"
#include "server/upload_details.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace orv::desktop {
namespace {

// The window's design size, in pixels; start-up keeps it as the smallest size.
constexpr int kDesignWidth = 780;
constexpr int kDesignHeight = 540;

using core::gConfiguration;

// The client area of the window, where the tool bar form and the panel are placed by hand:
// the panel's width follows the window only when its kind asks for it.
class ClientArea : public QWidget {
 public:
  explicit ClientArea(frmMain* owner) : QWidget(owner), window_(owner) {}

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    window_->MDIForm_Resize();
  }

 private:
  frmMain* window_;
};

struct PanelKind {
  MainPanel panel;
  const char16_t* name;         // as subShowChildForm takes it
  const char* windowName;       // the objectName of a panel that has none of its own
  const char16_t* captionText;  // its button's text, the accessible name of an empty panel
};

constexpr PanelKind kPanelKinds[] = {
    {MainPanel::Shares, u"Shares", "frmShares", u"TOP_MENU_FORM/TOOLBAR/SHARES_LABEL"},
    {MainPanel::Config, u"Config", "frmConfig_MainList", u"TOP_MENU_FORM/TOOLBAR/CONFIG_LABEL"},
    {MainPanel::Uploads, u"Uploads", "frmUploads", u"TOP_MENU_FORM/TOOLBAR/UPLOADS_LABEL"},
    {MainPanel::History, u"History", "frmHistory", u"TOP_MENU_FORM/TOOLBAR/HISTORY_LABEL"},
};

const PanelKind* panelKindNamed(const QString& name) {
  for (const PanelKind& kind : kPanelKinds) {
    if (name.compare(QStringView(kind.name), Qt::CaseInsensitive) == 0) {
      return &kind;
    }
  }
  return nullptr;
}

// The ConfigCategory codes, by their keys.
constexpr const char16_t* kConfigCategoryKeys[] = {u"general",   u"html",  u"boot",          u"localpaths",
                                                   u"ipfilters", u"users", u"identification"};

int configCategoryCode(const QString& key) {
  for (int i = 0; i < 7; ++i) {
    if (key.compare(QStringView(kConfigCategoryKeys[i]), Qt::CaseInsensitive) == 0) {
      return i + 1;
    }
  }
  return 0;
}

QString startFailureText(server::StartStopResult result, const QString& port, const QString& reason) {
  const QString title = core::applicationTitle();
  if (result == server::StartStopResult::PortInUse) {
    return title + u": the server is not started: port "_s + port + u" is already used by another program."_s;
  }
  return title + u": the server is not started: it could not listen on port "_s + port + u": "_s + reason;
}

}  // namespace

frmMain* gMainForm = nullptr;
QPointer<frmMenu> gMenuForm;
QPointer<ChildPanel> gCurrentChildForm;

void subShowChildForm(const QString& panelName, bool followWidth, bool followHeight, const QString& categoryKey) {
  if (gMainForm != nullptr) {
    gMainForm->subShowChildForm(panelName, followWidth, followHeight, categoryKey);
  }
}

frmMain::frmMain(QString appFolder, QString commandLine, QWidget* parent)
    : QMainWindow(parent),
      appFolder_(std::move(appFolder)),
      commandLine_(std::move(commandLine)),
      clientArea_(new ClientArea(this)),
      server_(std::make_unique<server::ServerEngine>()),
      usrSystray_(new usrSystray(this)) {
  setObjectName(QStringLiteral("frmMain"));
  clientArea_->setObjectName(QStringLiteral("frmMainClientArea"));
  setCentralWidget(clientArea_);
  gMainForm = this;
  mnuTrayIcon_ = buildTrayMenu(*this);
  usrSystray_->setContextMenu(mnuTrayIcon_);
  connect(usrSystray_, &usrSystray::DblClickLeft, this, &frmMain::restoreFromTray);
  windowMenu(*menuBar());
  server::setTrayIconView(this);
  // Every request of every connection travels the request road.
  server_->setDataArrivalHandler(&server::usrSocket_DataArrival);
  resize(kDesignWidth, kDesignHeight);
}

frmMain::~frmMain() {
  // The engine's last clean-ups must not reach a window that is going.
  server::setTrayIconView(nullptr);
  UnloadMenuAndChildForm();
  if (gMainForm == this) {
    gMainForm = nullptr;
  }
}

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
  if (!startsInTray()) {
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

void frmMain::showAboutForm() {
  orv::desktop::showAboutForm(this);
}

void frmMain::RefreshFormLang() {
  refreshTrayMenu(*mnuTrayIcon_, server_->isServerRunning());
}

void frmMain::ShowMenuAndLastChildForm() {
  delete gMenuForm.data();
  auto* menu = new frmMenu(clientArea_);
  gMenuForm = menu;
  menu->setGeometry(0, 0, clientArea_->width(), menu->height());
  menu->show();

  // The last panel: none yet is Shares, and so is a code or a category out of range, so
  // that the window is never left empty.
  const core::tConfAppDisplay& display = gConfiguration.AppDisplay;
  const int category = display.gShownConfigCategory;
  switch (display.gShownMainPanel) {
    case 2:
      subShowChildForm(QStringLiteral("Uploads"), true, true, QString());
      menu->setPanelButtonPressed(MainPanel::Uploads);
      return;
    case 3:
      subShowChildForm(QStringLiteral("History"), true, true, QString());
      menu->setPanelButtonPressed(MainPanel::History);
      return;
    case 4:
      if (category >= 1 && category <= 7) {
        subShowChildForm(QStringLiteral("Config"), false, true, QString::fromUtf16(kConfigCategoryKeys[category - 1]));
        menu->setPanelButtonPressed(MainPanel::Config);
        return;
      }
      break;
    default:
      break;
  }
  subShowChildForm(QStringLiteral("Shares"), true, true, QString());
  menu->setPanelButtonPressed(MainPanel::Shares);
}

void frmMain::UnloadMenuAndChildForm() {
  delete gMenuForm.data();
  delete gCurrentChildForm.data();
  gMenuForm = nullptr;
  gCurrentChildForm = nullptr;
}

void frmMain::subShowChildForm(const QString& panelName, bool followWidth, bool followHeight,
                               const QString& categoryKey) {
  // The panel's unload runs first and clears its own window-open flag.
  delete gCurrentChildForm.data();
  gCurrentChildForm = nullptr;

  const PanelKind* kind = panelKindNamed(panelName);
  if (kind == nullptr) {
    return;
  }
  ChildPanel* panel = createChildPanel(kind->panel, clientArea_);
  gCurrentChildForm = panel;
  if (panel->objectName().isEmpty()) {
    panel->setObjectName(QLatin1String(kind->windowName));
  }
  if (panel->accessibleName().isEmpty()) {
    panel->setAccessibleName(core::gLanguage.text(kind->captionText));
  }
  subApplyFontCharset(panel);

  panel->blnRedimActivate = false;
  const int menuHeight = gMenuForm.isNull() ? 0 : gMenuForm->height();
  const int width = followWidth ? clientArea_->width() : panel->width();
  const int height = followHeight ? std::max(0, clientArea_->height() - menuHeight) : panel->height();
  panel->setGeometry(0, menuHeight, width, height);
  // Every panel's load writes its kind; one still empty cannot.
  gConfiguration.AppDisplay.gShownMainPanel = static_cast<int>(kind->panel);
  if (kind->panel == MainPanel::Config) {
    const QString key = categoryKey.isEmpty() ? QStringLiteral("general") : categoryKey;
    if (const int code = configCategoryCode(key)) {
      gConfiguration.AppDisplay.gShownConfigCategory = code;
    }
    panel->LoadConfigCatForm(key);
  }
  panel->blnRedimActivate = true;
  panel->blnEnableFormRedimX = followWidth;
  panel->blnEnableFormRedimY = followHeight;
  MDIForm_Resize();
  panel->show();
}

void frmMain::MDIForm_Resize() {
  if (isMinimized()) {
    return;
  }
  gConfiguration.AppDisplay.bytMainFormState = isMaximized() ? 2 : 0;
  // The client area, not the outer size: the frame and the title bar are not the window's
  // to fill.
  const int width = std::max(0, clientArea_->width());
  const int height = std::max(0, clientArea_->height());
  const int menuHeight = gMenuForm.isNull() ? 0 : gMenuForm->height();
  if (!gMenuForm.isNull()) {
    gMenuForm->setGeometry(0, 0, width, menuHeight);
  }
  ChildPanel* panel = gCurrentChildForm.data();
  if (panel == nullptr) {
    return;
  }
  const int panelHeight = std::max(0, height - menuHeight);
  panel->setGeometry(0, menuHeight, panel->blnEnableFormRedimX ? width : panel->width(),
                     panel->blnEnableFormRedimY ? panelHeight : panel->height());
  if (gConfiguration.AppDisplay.gShownMainPanel == static_cast<int>(MainPanel::Config)) {
    if (QWidget* category = panel->frmConfigCatForm()) {
      category->resize(std::max(0, width - panel->width()), panelHeight);
    }
  }
}

void frmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) {
    return;
  }
  if (!isMinimized()) {
    gConfiguration.AppDisplay.bytMainFormState = isMaximized() ? 2 : 0;
    return;
  }
  if (!canHideInTray()) {
    return;  // minimised as any window: the tool bar and the panel stay
  }
  // Once the change is over: whoever minimised may still be showing the window (as
  // showMinimized does after the state has changed).
  QMetaObject::invokeMethod(this, &frmMain::hideInTray, Qt::QueuedConnection);
}

void frmMain::hideInTray() {
  if (!isMinimized() || getIsIconIsVisible()) {
    return;
  }
  hide();
  UnloadMenuAndChildForm();
  subUnSubClassMainForm(*this);
  AddOrRefreshSystrayIcon();
}

bool frmMain::canHideInTray() const {
  return isTrayAvailable();
}

bool frmMain::startsInTray() const {
  return gConfiguration.Other.START_IN_TRAY && canHideInTray();
}

void frmMain::restoreFromTray() {
  if (gConfiguration.AppState.blnAboutFromTray) {
    closeAboutForm();
    gConfiguration.AppState.blnAboutFromTray = false;
  }
  RemoveSystrayIcon();
  setWindowState(gConfiguration.AppDisplay.bytMainFormState == 2 ? Qt::WindowMaximized : Qt::WindowNoState);
  ShowMenuAndLastChildForm();
  show();
  subSetForegroundWindow(this);
  subSubClassMainForm(*this, qRound(gConfiguration.AppDisplay.intMainFormWidth / double(kTwipsPerPixel)),
                      qRound(gConfiguration.AppDisplay.intMainFormHeight / double(kTwipsPerPixel)));
}

void frmMain::AddOrRefreshSystrayIcon() {
  const SystrayState state = fnctSystrayState(gConfiguration.AppState.blnServerStarted,
                                              server::getUploadsInProgressTotals(server_->slots()), isDebugMode());
  usrSystray_->Show(state.iconNumber, state.tip);
}

void frmMain::RemoveSystrayIcon() {
  usrSystray_->Hide();
}

bool frmMain::getIsIconIsVisible() const {
  return usrSystray_->getIsIconIsVisible();
}

void frmMain::setTrayDebugItemVisible(bool visible) {
  if (auto* debug = mnuTrayIcon_->findChild<QAction*>(QStringLiteral("mnuTrayIcon_Debug"))) {
    debug->setVisible(visible);
  }
}

void frmMain::mnuSystemMenu_AboutApp() {
  showAboutForm();
}

void frmMain::mnuSystemMenu_Help() {
  subOpenHelpFile();
}

void frmMain::mnuSystemMenu_WebSite() {
  subShellOpen(webSiteAddress(currentLanguageFile().abbreviation));
}

void frmMain::mnuSystemMenu_VerifNewVersion() {
  subShellOpen(newVersionAddress(currentLanguageFile().abbreviation));
}

void frmMain::mnuSystemMenu_ShowMyShares() {
  // The listener takes every address of the machine; its own name is never looked up, so
  // a machine whose name does not resolve still opens its pages.
  const QString address = fnctViewMySharesAddress(QString(), server_->listeningPort());
  if (!address.isEmpty()) {
    subShellOpen(address);
  }
}

void frmMain::mnuSystemMenu_ShowDebugForm() {
  showDebugForm();
}

void frmMain::mnuTrayIcon_StartStopServer_Click() {
  StartStopServer(true);
  AddOrRefreshSystrayIcon();
}

void frmMain::mnuTrayIcon_ExitApp_Click() {
  close();
}

void frmMain::StartStopServer(bool reportPortInUse) {
  const server::StartStopResult result = server_->StartStopServer();
  if (reportPortInUse && result == server::StartStopResult::PortInUse) {
    showMessageBox({core::gLanguage.text(u"MSGBOX/ERRORS/PORT_ALREADY_OPEN"), core::applicationTitle(),
                    MessageIcon::Critical, MessageButtons::Ok});
  } else if (reportPortInUse && result == server::StartStopResult::Failed) {
    // No text of the language says why, so the system's own does.
    showMessageBox({server_->lastStartError(), core::applicationTitle(), MessageIcon::Critical, MessageButtons::Ok});
  }
  if (result == server::StartStopResult::PortInUse || result == server::StartStopResult::Failed) {
    // A start that asks for no box (the start on load) still tells why nothing listens,
    // for the terminal or the log of a run without a screen.
    core::subWriteConsoleLine(
        startFailureText(result, core::gConfiguration.Protocol.LOCAL_PORT, server_->lastStartError()));
  }
  // The start/stop item offers the other action, and the shares can be viewed only while
  // the server runs.
  if (result != server::StartStopResult::Failed) {
    RefreshFormLang();
    subSetSystemMenuItemState(*this, gConfiguration.AppState.blnServerStarted, SystemMenuCommand::ViewMyShares);
  }
}

}  // namespace orv::desktop
