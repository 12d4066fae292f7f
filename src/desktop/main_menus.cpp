#include "desktop/main_menus.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/language.h"
#include "desktop/frm_main.h"
#include "desktop/usr_systray.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>

namespace orv::desktop {
namespace {

struct TrayItem {
  const char* objectName;
  const char16_t* captionKey;  // nullptr: a separator; u"" the fixed "Debug"
  void (frmMain::*command)();
};

constexpr TrayItem kTrayItems[] = {
    {"mnuTrayIcon_StartStopServer", u"START_SERVER", &frmMain::mnuTrayIcon_StartStopServer_Click},
    {"mnuTrayIcon_separator1", nullptr, nullptr},
    {"mnuTrayIcon_ViewMyShares", u"VIEW_MY_SHARES", &frmMain::mnuSystemMenu_ShowMyShares},
    {"mnuTrayIcon_AboutApp", u"ABOUT_APP", &frmMain::mnuSystemMenu_AboutApp},
    {"mnuTrayIcon_Help", u"HELP", &frmMain::mnuSystemMenu_Help},
    {"mnuTrayIcon_VerifNewVersion", u"VERIF_NEW_VERSION", &frmMain::mnuSystemMenu_VerifNewVersion},
    {"mnuTrayIcon_WebSite", u"WEB_SITE", &frmMain::mnuSystemMenu_WebSite},
    {"mnuTrayIcon_Debug", u"", &frmMain::mnuSystemMenu_ShowDebugForm},
    {"mnuTrayIcon_separator2", nullptr, nullptr},
    {"mnuTrayIcon_ExitApp", u"EXIT_APP", &frmMain::mnuTrayIcon_ExitApp_Click},
};

struct WindowItem {
  SystemMenuCommand id;
  const char* objectName;
  const char16_t* captionKey;  // u"" the fixed "Debug"
  void (frmMain::*command)();
};

constexpr WindowItem kWindowItems[] = {
    {SystemMenuCommand::ViewMyShares, "mnuSystemMenu_ShowMyShares", u"VIEW_MY_SHARES",
     &frmMain::mnuSystemMenu_ShowMyShares},
    {SystemMenuCommand::AboutApp, "mnuSystemMenu_AboutApp", u"ABOUT_APP", &frmMain::mnuSystemMenu_AboutApp},
    {SystemMenuCommand::Help, "mnuSystemMenu_Help", u"HELP", &frmMain::mnuSystemMenu_Help},
    {SystemMenuCommand::VerifNewVersion, "mnuSystemMenu_VerifNewVersion", u"VERIF_NEW_VERSION",
     &frmMain::mnuSystemMenu_VerifNewVersion},
    {SystemMenuCommand::WebSite, "mnuSystemMenu_WebSite", u"WEB_SITE", &frmMain::mnuSystemMenu_WebSite},
    {SystemMenuCommand::Debug, "mnuSystemMenu_ShowDebugForm", u"", &frmMain::mnuSystemMenu_ShowDebugForm},
};

constexpr char kWindowMenuName[] = "mnuSystemMenu";
constexpr char kCommandProperty[] = "systemMenuCommand";

QString captionOf(const char16_t* key) {
  const QStringView view(key);
  return view.isEmpty() ? QStringLiteral("Debug") : systemMenuText(view);
}

void setCaption(QAction* action, const QString& caption) {
  // Captions come from a language file: an "&" there is a letter, not a mnemonic.
  action->setText(QString(caption).replace(QLatin1Char('&'), QStringLiteral("&&")));
}

}  // namespace

// ---- The tray icon ----

QString systemMenuText(QStringView key) {
  const QString text = core::gLanguage.text(QString(QStringLiteral("SYSTEM_MENU/") + key.toString()));
  return text.isEmpty() ? key.toString() : text;
}

SystrayState fnctSystrayState(bool serverStarted, const server::tUploadsInProgressTotals& totals, bool debugMode) {
  QString title = core::applicationTitle();
  if (debugMode) {
    title += QStringLiteral(" [debug mode]");
  }
  if (!serverStarted) {
    return {kTrayIconServerStopped, title + QStringLiteral(" - ") + systemMenuText(u"STOPPED_SERVER")};
  }
  const QString running = title + QStringLiteral(" - ") + systemMenuText(u"STARTED_SERVER");
  if (totals.nbUploads != 0) {
    // A tip's lines are broken with a line feed on this desktop.
    return {kTrayIconUploading, running + QLatin1Char('\n') + server::fnctSystrayTooltipText(totals)};
  }
  return {kTrayIconServerRunning, running};
}

QString fnctViewMySharesAddress(const QString& listenerAddress, int port) {
  if (port <= 0) {
    return {};
  }
  const QString address = listenerAddress.isEmpty() || listenerAddress == QLatin1String("0.0.0.0")
                              ? QStringLiteral("127.0.0.1")
                              : listenerAddress;
  return QStringLiteral("http://") + address + QLatin1Char(':') + QString::number(port) + QLatin1Char('/');
}

// ---- The tray menu ----

QMenu* buildTrayMenu(frmMain& window) {
  auto* menu = new QMenu(&window);
  menu->setObjectName(QStringLiteral("mnuTrayIcon"));
  for (const TrayItem& item : kTrayItems) {
    QAction* action = item.captionKey == nullptr ? menu->addSeparator() : menu->addAction(QString());
    action->setObjectName(QLatin1String(item.objectName));
    if (item.command != nullptr) {
      const auto command = item.command;
      QObject::connect(action, &QAction::triggered, &window, [&window, command] { (window.*command)(); });
    }
  }
  // Drawn in bold: the command the icon is there for.
  menu->setDefaultAction(menu->findChild<QAction*>(QStringLiteral("mnuTrayIcon_StartStopServer")));
  refreshTrayMenu(*menu, false);
  return menu;
}

void refreshTrayMenu(QMenu& menu, bool serverStarted) {
  for (const TrayItem& item : kTrayItems) {
    if (item.captionKey == nullptr) {
      continue;
    }
    auto* action = menu.findChild<QAction*>(QLatin1String(item.objectName));
    if (action == nullptr) {
      continue;
    }
    const QStringView key(item.captionKey);
    if (key == u"START_SERVER") {
      setCaption(action, systemMenuText(serverStarted ? u"STOP_SERVER" : u"START_SERVER"));
    } else {
      setCaption(action, captionOf(item.captionKey));
    }
    if (key == u"VIEW_MY_SHARES") {
      action->setEnabled(serverStarted);
    }
  }
}

// ---- The window menu ----

QMenu* windowMenu(QMenuBar& bar) {
  if (auto* menu = bar.findChild<QMenu*>(QLatin1String(kWindowMenuName))) {
    return menu;
  }
  auto* menu = new QMenu(QLatin1Char('&') + core::applicationTitle(), &bar);
  menu->setObjectName(QLatin1String(kWindowMenuName));
  bar.addMenu(menu);
  // Each opening shows view my shares as the server is now, whatever the last start or
  // stop said.
  QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
    for (QAction* action : menu->actions()) {
      if (action->property(kCommandProperty).toInt() == static_cast<int>(SystemMenuCommand::ViewMyShares)) {
        action->setEnabled(core::gConfiguration.AppState.blnServerStarted);
      }
    }
  });
  return menu;
}

void subResetSystemMenu(frmMain& window) {
  QMenu* menu = windowMenu(*window.menuBar());
  // The menu owns its items: clearing it deletes them.
  menu->clear();
}

void subBuildSystemMenu(frmMain& window, bool withDebugItem) {
  subResetSystemMenu(window);
  QMenu* menu = windowMenu(*window.menuBar());
  for (const WindowItem& item : kWindowItems) {
    if (item.id == SystemMenuCommand::Debug && !withDebugItem) {
      continue;
    }
    auto* action = new QAction(menu);
    action->setObjectName(QLatin1String(item.objectName));
    action->setProperty(kCommandProperty, static_cast<int>(item.id));
    setCaption(action, captionOf(item.captionKey));
    const auto command = item.command;
    QObject::connect(action, &QAction::triggered, &window, [&window, command] { (window.*command)(); });
    menu->addAction(action);
  }
  subSetSystemMenuItemState(window, core::gConfiguration.AppState.blnServerStarted, SystemMenuCommand::ViewMyShares);
}

QAction* systemMenuItem(frmMain& window, SystemMenuCommand id) {
  for (QAction* action : windowMenu(*window.menuBar())->actions()) {
    if (action->property(kCommandProperty).toInt() == static_cast<int>(id)) {
      return action;
    }
  }
  return nullptr;
}

void subSetSystemMenuItemState(frmMain& window, bool enabled, SystemMenuCommand id) {
  if (QAction* action = systemMenuItem(window, id)) {
    action->setEnabled(enabled);
  }
}

void subSubClassMainForm(frmMain& window, int minimumWidth, int minimumHeight) {
  window.setMinimumSize(minimumWidth, minimumHeight);
  // The screen as it is now: the whole of it, as a maximised window takes it.
  const QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QSize size = screen->size();
    window.setMaximumSize(std::max(size.width(), minimumWidth), std::max(size.height(), minimumHeight));
  }
}

void subUnSubClassMainForm(frmMain& window) {
  window.setMinimumSize(0, 0);
  window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

}  // namespace orv::desktop
