#include "desktop/startup.h"

#include "content/mp3_reader.h"
#include "content/server_transform.h"
#include "content/thumbnail_cache.h"
#include "core/app_info.h"
#include "core/config_file.h"
#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/file_utils.h"
#include "core/history_store.h"
#include "core/language.h"
#include "core/local_paths.h"
#include "core/uploaded_store.h"
#include "desktop/frm_main.h"
#include "desktop/language_version.h"
#include "desktop/main_menus.h"
#include "desktop/message_box.h"
#include "net/send_complete_pump.h"
#include "server/server_engine.h"

#include <QtMath>

#include <utility>

namespace orv::desktop {
namespace {

using core::gAppFolder;
using core::gConfiguration;

// ---- Steps of subsystems that are not built yet ----
// Each keeps its place in the sequences below; the subsystem named fills it in.

// The file-system and shell scripting objects: std::filesystem, QDir and the autostart
// entry of the boot settings need no object to be created or released.
void createFileSystemObject() {}
void createShellObject() {}
void releasePlatformObjects() {}

// The send-complete message window of large transfers (socket layer).
void HookCustWinMsg() {
  net::modSubClsCustWinMsg::HookCustWinMsg();
}
void UnhookCustWinMsg() {
  net::modSubClsCustWinMsg::UnhookCustWinMsg();
}

// Font character sets: Qt fonts are Unicode, so applying the system's to the about box and
// the two transfer tooltips (desktop shell) has nothing to do.
void subApplyFontCharsetToHiddenForms() {}

// ---- Helpers ----

bool failStartUp(const char* text, const QString& title) {
  const QString message = QString::fromLatin1(text);
  core::subWriteConsoleLine(message);
  showMessageBox({message, title, MessageIcon::Critical, MessageButtons::Ok});
  return false;
}

QString appFile(const QString& name) {
  return gAppFolder + QLatin1Char('/') + name;
}

}  // namespace

QString commandLineText(const QStringList& arguments) {
  return arguments.mid(1).join(QLatin1Char(' '));
}

bool isDebugMode() {
#ifdef NDEBUG
  return false;
#else
  return true;
#endif
}

std::optional<qint16> fnctLanguageVersionNumber(const QString& text) {
  bool ok = false;
  const qint16 number = QString(text).remove(QLatin1Char('.')).trimmed().toShort(&ok);
  return ok ? std::optional<qint16>(number) : std::nullopt;
}

bool subStartUp(frmMain& window, const QString& executableFolder, const QString& commandLine) {
  const QString error = QStringLiteral("Error");
  createShellObject();

  // 1, 2. The file-system object and the application folder.
  createFileSystemObject();
  gAppFolder = core::fnctRemoveTrailingBackslash(executableFolder);

  // 3, 4. The installed language files; without any there is nothing to show.
  core::gLanguagesList = core::fnctGetLanguagesList(appFile(QStringLiteral("lang/")));
  if (core::gLanguagesList.colFileName.count() == 0) {
    return failStartUp(kNoFileLanguageFound, error);
  }

  // 5. The configuration.
  gConfiguration = core::fnctLoadConfiguration(appFile(QStringLiteral("config.xml")));

  // 6. The configured language, else English; the change of file name stays in memory
  // until the configuration is next saved.
  core::tLanguage language = core::fnctLoadLanguage(gConfiguration.Language.strLanguageFilePath);
  if (!language.blnLoaded) {
    const QString english = appFile(QStringLiteral("lang/english.xml"));
    if (core::fnctFileExists(english, false) != core::ExistenceCode::Usable) {
      return failStartUp(kNoLanguageFileFound, error);
    }
    gConfiguration.Language.FILENAME = QStringLiteral("english.xml");
    gConfiguration.Language.strLanguageFilePath = english;
    language = core::fnctLoadLanguage(english);
    if (!language.blnLoaded) {
      return failStartUp(kNoLanguageFileFound, error);
    }
  }
  core::gLanguage = std::move(language);

  // 7, 8, 9. The stores; the history reads MAX_ENTRY from the configuration.
  core::gUploadedLists = core::fnctLoadUploadedLists(appFile(QStringLiteral("uploaded.xml")));
  core::gHistoryLists = core::fnctLoadHistory(appFile(QStringLiteral("history.xml")));
  content::gMiniaturesCache = content::fnctLoadMiniaturesCache(appFile(QStringLiteral("cache/cache.xml")));

  // 10. The language file must know this version. A file that is not listed, or whose
  // version text is not a number, cannot say so and counts as out of date.
  const QString* maxAppVersion = core::gLanguagesList.colMaxAppVersion.find(gConfiguration.Language.FILENAME);
  // The numbers are compared one by one, as the General category's Save compares them.
  if (maxAppVersion == nullptr || !isLanguageVersionCompatible(*maxAppVersion)) {
    return failStartUp(kLanguageFileOutOfDate, {});
  }

  // 11. The sort and group stylesheets, and the page stylesheet when the server transforms.
  content::subBuildXslStylesheetDocuments();

  // 12, 13. The caption and the window texts.
  QString caption = core::applicationTitle() + QLatin1Char(' ') + core::displayVersion();
  if (isDebugMode()) {
    caption += QStringLiteral(" [Debug mode]");
  }
  window.setWindowTitle(caption);
  window.RefreshFormLang();

  // 14. The server; a port in use is not reported here.
  if (gConfiguration.Other.START_SERVER_ON_LOAD) {
    window.StartStopServer(false);
  }

  // 15. The send-complete message window.
  HookCustWinMsg();

  // 16. The design size, later the smallest size of the window.
  gConfiguration.AppDisplay.intMainFormWidth = window.width() * kTwipsPerPixel;
  gConfiguration.AppDisplay.intMainFormHeight = window.height() * kTwipsPerPixel;

  // 17. The MPEG bitrate tables.
  content::subInitBitrateTables();

  // 18. Both "Debug" items are always there.
  window.setTrayDebugItemVisible(true);
  subBuildSystemMenu(window, true);

  // 19. The window with its tool bar and last panel, or the tray icon alone. Without a tray
  // to show the icon, the window shows: a program with neither could only be killed.
  if (!window.startsInTray()) {
    window.ShowMenuAndLastChildForm();
    subSubClassMainForm(window, qRound(gConfiguration.AppDisplay.intMainFormWidth / double(kTwipsPerPixel)),
                        qRound(gConfiguration.AppDisplay.intMainFormHeight / double(kTwipsPerPixel)));
  } else {
    window.AddOrRefreshSystrayIcon();
  }

  // 20. Font character sets.
  subApplyFontCharsetToHiddenForms();

  // 21. "/debug" alone opens the debug window.
  if (commandLine.compare(QLatin1String("/debug"), Qt::CaseInsensitive) == 0) {
    window.showDebugForm();
  }
  return true;
}

void subShutDown(frmMain& window) {
  // 1. No connection may be alive when the stores are written: the listener and every
  // connection close through the per-connection clean-up, which records interrupted uploads.
  window.server().closeListenerAndConnections();

  // 2, 3, 4. The window procedure, the tray icon and the send-complete message window.
  if (!window.getIsIconIsVisible()) {
    subUnSubClassMainForm(window);
  }
  window.RemoveSystrayIcon();
  UnhookCustWinMsg();

  // 5 to 8. Each modified store; a save that fails reports itself and the others are
  // still written.
  const core::tAppState& state = gConfiguration.AppState;
  if (state.blnConfigModified) {
    core::subSaveConfiguration(appFile(QStringLiteral("config.xml")));
  }
  if (state.blnHistoryModified) {
    core::subSaveHistory(appFile(QStringLiteral("history.xml")), !gConfiguration.History.KEEP_HISTORY);
  }
  if (state.blnUploadedModified) {
    core::subSaveUploadedLists(appFile(QStringLiteral("uploaded.xml")));
  }
  if (state.blnCacheModified) {
    content::subSaveMiniaturesCache(appFile(QStringLiteral("cache/cache.xml")));
  }

  // 9, 10. The system menu and the platform objects.
  subResetSystemMenu(window);
  releasePlatformObjects();
}

}  // namespace orv::desktop
