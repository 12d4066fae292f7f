// The tray icon, its menu and the window menu of the main window, driven offscreen: there
// is no tray here, so the tests tell the window that one is there and read the icon's
// picture number and tip from the tray component.

#include "core/configuration.h"
#include "core/history_store.h"
#include "core/language.h"
#include "desktop/about_box.h"
#include "desktop/desktop_utils.h"
#include "desktop/frm_about.h"
#include "desktop/frm_debug.h"
#include "desktop/frm_main.h"
#include "desktop/main_menus.h"
#include "desktop/message_box.h"
#include "desktop/startup.h"
#include "desktop/usr_systray.h"
#include "server/server_engine.h"
#include "server/upload_details.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/tcp_peer.h"
#include "support/temp_folder.h"
#include "support/ui_artifacts.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::core::gLanguage;
using orv::desktop::frmMain;
using orv::desktop::SystemMenuCommand;

QByteArray englishFile() {
  QFile source(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
  return source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
}

// The English file with other texts in its tray and window menus.
QByteArray testLanguageFile() {
  return englishFile()
      .replace("<STARTED_SERVER>Server running<", "<STARTED_SERVER>Serveur en marche<")
      .replace("<STOPPED_SERVER>Server stopped<", "<STOPPED_SERVER>Serveur arrêté<")
      .replace("<NB_UPLOADS_IN_PROGRESS>Uploads in progress<", "<NB_UPLOADS_IN_PROGRESS>Envois en cours<")
      .replace("<RATE>Rate<", "<RATE>Débit<")
      .replace("<REMAINING>Remaining<", "<REMAINING>Restant<")
      .replace("<START_SERVER>Start the server<", "<START_SERVER>Démarrer le serveur<")
      .replace("<STOP_SERVER>Stop the server<", "<STOP_SERVER>Arrêter le serveur<")
      .replace("<ABOUT_APP>About Orvendale<", "<ABOUT_APP>À propos d'Orvendale<")
      .replace("<VIEW_MY_SHARES>View my shares<", "<VIEW_MY_SHARES>Voir mes partages<")
      .replace("<HELP>Help<", "<HELP>Aide<")
      .replace("<VERIF_NEW_VERSION>Check for a new version<", "<VERIF_NEW_VERSION>Nouvelle version ?<")
      .replace("<WEB_SITE>Orvendale web site<", "<WEB_SITE>Site &amp; forum<")
      .replace("<EXIT_APP>Exit<", "<EXIT_APP>Quitter<")
      .replace("<ABBREVIATION>en<", "<ABBREVIATION>fr<");
}

QString debugTitle() {
  return orv::desktop::isDebugMode() ? u"Orvendale [debug mode]"_s : u"Orvendale"_s;
}

class Tray : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.makeFolder(u"lang"_s);
    folder_.write(u"lang/english.xml"_s, englishFile());
    folder_.write(u"lang/test.xml"_s, testLanguageFile());
    folder_.makeFolder(u"files"_s);
    folder_.write(u"files/big.bin"_s, QByteArray(24 * 1024 * 1024, 'x'));
    orv::desktop::setTrayAvailability([this] { return trayAvailable_; });
    orv::desktop::setShellOpener([this](const QUrl& url) { opened_.push_back(url.toString()); });
    orv::desktop::setMessageBoxAnswerer([this](const orv::desktop::MessageBoxRequest& request) {
      boxes_.push_back(request.text);
      return orv::desktop::MessageAnswer::Ok;
    });
  }

  void TearDown() override {
    window_.reset();
    orv::desktop::setTrayAvailability({});
    orv::desktop::setShellOpener({});
    orv::desktop::setMessageBoxAnswerer({});
  }

  void writeConfig(const QByteArray& languageFile, bool startInTray = false, bool startServer = false) const {
    const QByteArray share = "<SHARE serverPath=\"/files/\" localPath=\"" + folder_.file(u"files"_s).toUtf8() +
                             "\" users=\"\" restricted=\"false\" sharePhysicalFolder=\"true\" "
                             "shareVirtualFolder=\"true\" shareOther=\"true\" shareSound=\"true\" "
                             "shareImage=\"true\" shareVideo=\"true\"/>";
    folder_.write(u"config.xml"_s,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\"><SHARED>" + share +
                      "</SHARED><PROTOCOL><LOCAL_PORT>0</LOCAL_PORT></PROTOCOL><LANGUAGE><FILENAME>" + languageFile +
                      "</FILENAME></LANGUAGE><OTHER><START_IN_TRAY>" + (startInTray ? "true" : "false") +
                      "</START_IN_TRAY><START_SERVER_ON_LOAD>" + (startServer ? "true" : "false") +
                      "</START_SERVER_ON_LOAD></OTHER></CONFIGURATION>");
  }

  frmMain& load(const QByteArray& languageFile = "test.xml", bool startInTray = false) {
    writeConfig(languageFile, startInTray);
    window_ = std::make_unique<frmMain>(folder_.path(), QString());
    EXPECT_TRUE(window_->MDIForm_Load());
    processPendingEvents();
    // The loader puts 80 for a port out of 1 to 65535; the engine takes 0 as any free port.
    gConfiguration.Protocol.LOCAL_PORT = u"0"_s;
    return *window_;
  }

  // What the user's minimise does.
  void minimise() {
    window_->showMinimized();
    processPendingEvents();
  }

  QAction* trayItem(const char* name) const { return window_->trayMenu().findChild<QAction*>(QLatin1String(name)); }

  void trigger(const char* name) {
    QAction* item = trayItem(name);
    ASSERT_NE(item, nullptr) << name;
    item->trigger();
    processPendingEvents();
  }

  int iconNumber() const { return window_->systray().iconNumber(); }
  QString tip() const { return window_->systray().tipText(); }

  // Opens a connection that asks for the big file and reads nothing, so that its upload
  // stays in progress.
  std::unique_ptr<TcpPeer> download() const {
    auto peer = std::make_unique<TcpPeer>(window_->server().listeningPort(), 4096);
    peer->pauseReading();
    processEventsUntil([&] { return peer->connected; });
    peer->send("GET /files/big.bin HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return peer;
  }

  int uploadsInProgress() const { return orv::server::getUploadsInProgressTotals(window_->server().slots()).nbUploads; }

  // Pictures of a menu popped up offscreen.
  static void saveMenu(QMenu& menu, const QString& name) {
    menu.popup(QPoint(10, 10));
    processPendingEvents();
    saveUiArtifact(menu, name);
    menu.hide();
  }

  TempFolder folder_;
  std::unique_ptr<frmMain> window_;
  bool trayAvailable_ = true;
  std::vector<QString> opened_;
  std::vector<QString> boxes_;
};

TEST(TrayTip, IsCutAtTheLimitWithoutBreakingACharacter) {
  using orv::desktop::fnctCutTrayTip;
  const QString face = u"\U0001F600"_s;   // two UTF-16 units
  const QString accented = u"e\u0301"_s;  // a letter and its combining accent
  struct Case {
    QString tip;
    int limit;
    QString expected;
  };
  const std::vector<Case> cases = {
      {u"short"_s, 127, u"short"_s},
      {QString(127, u'a'), 127, QString(127, u'a')},
      {QString(200, u'a'), 127, QString(127, u'a')},
      {QString(126, u'a') + face, 127, QString(126, u'a')},
      {QString(125, u'a') + face + u"b"_s, 127, QString(125, u'a') + face},
      {QString(126, u'a') + accented, 127, QString(126, u'a')},
      {QString(10, u'a') + u"\nline two"_s, 12, QString(10, u'a') + u"\nl"_s},
      {u"abc"_s, 0, QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tip.toStdString());
    const QString cut = fnctCutTrayTip(c.tip, c.limit);
    EXPECT_EQ(cut, c.expected);
    EXPECT_LE(cut.size(), std::max(0, c.limit));
    EXPECT_FALSE(!cut.isEmpty() && cut.back().isHighSurrogate()) << "half a pair is never left";
  }
}

TEST(TrayTip, TheSystrayStateOfEachServerState) {
  gLanguage = {};
  const orv::server::tUploadsInProgressTotals none;
  const auto stopped = orv::desktop::fnctSystrayState(false, none, true);
  EXPECT_EQ(stopped.iconNumber, 102);
  EXPECT_EQ(stopped.tip, u"Orvendale [debug mode] - STOPPED_SERVER"_s) << "a missing text shows its key";
  const auto running = orv::desktop::fnctSystrayState(true, none, false);
  EXPECT_EQ(running.iconNumber, 101);
  EXPECT_EQ(running.tip, u"Orvendale - STARTED_SERVER"_s);
}

TEST(ViewMyShares, TheAddressNeedsNoNameLookUp) {
  using orv::desktop::fnctViewMySharesAddress;
  EXPECT_EQ(fnctViewMySharesAddress(QString(), 8080), u"http://127.0.0.1:8080/"_s);
  EXPECT_EQ(fnctViewMySharesAddress(u"0.0.0.0"_s, 80), u"http://127.0.0.1:80/"_s);
  EXPECT_EQ(fnctViewMySharesAddress(u"192.168.1.5"_s, 8080), u"http://192.168.1.5:8080/"_s);
  EXPECT_EQ(fnctViewMySharesAddress(QString(), 0), QString()) << "nothing listens";
}

TEST(TrayIcon, EachPictureIsDrawnAndSaved) {
  for (const int number : {101, 102, 103}) {
    const QIcon icon = orv::desktop::trayIconPicture(number);
    ASSERT_FALSE(icon.isNull()) << number;
    EXPECT_FALSE(icon.availableSizes().isEmpty());
    QLabel label;
    label.setPixmap(icon.pixmap(48, 48));
    label.resize(48, 48);
    saveUiArtifact(label, u"tray-icon-"_s + QString::number(number));
  }
  EXPECT_TRUE(orv::desktop::trayIconPicture(104).isNull());
  EXPECT_NE(orv::desktop::trayIconPicture(101).pixmap(16, 16).toImage(),
            orv::desktop::trayIconPicture(103).pixmap(16, 16).toImage());
}

TEST(TrayIcon, ShowAddsOnceAndChangesInPlaceAndHideRemoves) {
  orv::desktop::usrSystray tray;
  EXPECT_FALSE(tray.getIsIconIsVisible());
  tray.Show(102, u"first"_s);
  EXPECT_TRUE(tray.getIsIconIsVisible());
  tray.Show(101, QString(300, u'x'));
  EXPECT_EQ(tray.iconNumber(), 101);
  EXPECT_EQ(tray.tipText().size(), orv::desktop::kTrayTipMaxLength);
  EXPECT_EQ(tray.trayIcon()->toolTip(), tray.tipText());
  tray.Hide();
  EXPECT_FALSE(tray.getIsIconIsVisible());
  tray.Hide();
  EXPECT_FALSE(tray.getIsIconIsVisible());

  std::vector<int> events;
  QObject::connect(&tray, &orv::desktop::usrSystray::DblClickLeft, [&] { events.push_back(515); });
  QObject::connect(&tray, &orv::desktop::usrSystray::ClickRightMouseUp, [&] { events.push_back(517); });
  QObject::connect(&tray, &orv::desktop::usrSystray::ClickLeftMouseDown, [&] { events.push_back(513); });
  for (const int message : {512, 513, 515, 517, 519}) {
    tray.usrSystray_MouseMessage(message);
  }
  Q_EMIT tray.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(events, (std::vector<int>{513, 515, 517, 515}));
}

TEST_F(Tray, TheIconAndTipFollowTheServerStoppedRunningAndSending) {
  frmMain& window = load();
  minimise();
  ASSERT_TRUE(window.getIsIconIsVisible());
  EXPECT_FALSE(window.isVisible()) << "the window went into the tray";
  EXPECT_EQ(iconNumber(), 102);
  EXPECT_EQ(tip(), debugTitle() + u" - Serveur arrêté"_s);
  saveMenu(window.trayMenu(), u"tray-menu-stopped"_s);

  trigger("mnuTrayIcon_StartStopServer");
  ASSERT_TRUE(window.server().isServerRunning());
  EXPECT_EQ(iconNumber(), 101);
  EXPECT_EQ(tip(), debugTitle() + u" - Serveur en marche"_s);

  const auto first = download();
  const auto second = download();
  ASSERT_TRUE(processEventsUntil([&] { return uploadsInProgress() == 2; }));
  ASSERT_TRUE(processEventsUntil([&] { return iconNumber() == 103 && tip().contains(u":2,"_s); }))
      << tip().toStdString();
  const QStringList lines = tip().split(u'\n');
  ASSERT_EQ(lines.size(), 2) << tip().toStdString();
  EXPECT_EQ(lines[0], debugTitle() + u" - Serveur en marche"_s);
  EXPECT_TRUE(lines[1].startsWith(u"Envois en cours :2, Débit : "_s)) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains(u"/s, Restant :"_s)) << lines[1].toStdString();
  EXPECT_EQ(window.systray().trayIcon()->toolTip(), tip());
  saveMenu(window.trayMenu(), u"tray-menu-sending"_s);

  // The uploads end when their clients go: the engine puts the running picture back.
  first->close();
  second->close();
  ASSERT_TRUE(processEventsUntil([&] { return uploadsInProgress() == 0 && iconNumber() == 101; }));
  EXPECT_EQ(tip(), debugTitle() + u" - Serveur en marche"_s);

  trigger("mnuTrayIcon_StartStopServer");
  EXPECT_EQ(iconNumber(), 102);
}

TEST_F(Tray, TheMenuHasItsItemsInOrderWithTheDefaultAndTheEnabledStates) {
  frmMain& window = load();
  minimise();
  QMenu& menu = window.trayMenu();
  EXPECT_EQ(menu.objectName(), u"mnuTrayIcon"_s);
  struct Item {
    const char* name;
    QString text;  // empty for a separator
  };
  const std::vector<Item> expected = {
      {"mnuTrayIcon_StartStopServer", u"Démarrer le serveur"_s},
      {"mnuTrayIcon_separator1", {}},
      {"mnuTrayIcon_ViewMyShares", u"Voir mes partages"_s},
      {"mnuTrayIcon_AboutApp", u"À propos d'Orvendale"_s},
      {"mnuTrayIcon_Help", u"Aide"_s},
      {"mnuTrayIcon_VerifNewVersion", u"Nouvelle version ?"_s},
      {"mnuTrayIcon_WebSite", u"Site && forum"_s},
      {"mnuTrayIcon_Debug", u"Debug"_s},
      {"mnuTrayIcon_separator2", {}},
      {"mnuTrayIcon_ExitApp", u"Quitter"_s},
  };
  const QList<QAction*> actions = menu.actions();
  ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(actions[i]->objectName(), QLatin1String(expected[i].name));
    EXPECT_EQ(actions[i]->isSeparator(), expected[i].text.isEmpty());
    if (!expected[i].text.isEmpty()) {
      EXPECT_EQ(actions[i]->text(), expected[i].text);
      EXPECT_TRUE(actions[i]->isVisible());
    }
  }
  EXPECT_EQ(menu.defaultAction(), trayItem("mnuTrayIcon_StartStopServer")) << "the start/stop item is drawn bold";
  EXPECT_FALSE(trayItem("mnuTrayIcon_ViewMyShares")->isEnabled()) << "nothing to view while stopped";

  trigger("mnuTrayIcon_StartStopServer");
  EXPECT_EQ(trayItem("mnuTrayIcon_StartStopServer")->text(), u"Arrêter le serveur"_s);
  EXPECT_TRUE(trayItem("mnuTrayIcon_ViewMyShares")->isEnabled());
  EXPECT_EQ(menu.defaultAction(), trayItem("mnuTrayIcon_StartStopServer"));
  saveMenu(menu, u"tray-menu-running"_s);
  trigger("mnuTrayIcon_StartStopServer");
  EXPECT_EQ(trayItem("mnuTrayIcon_StartStopServer")->text(), u"Démarrer le serveur"_s);
  EXPECT_FALSE(trayItem("mnuTrayIcon_ViewMyShares")->isEnabled());
}

TEST_F(Tray, TheItemsOpenTheirAddressesTheBoxesAndTheDebugWindow) {
  frmMain& window = load();
  minimise();
  trigger("mnuTrayIcon_StartStopServer");
  const int port = window.server().listeningPort();
  ASSERT_GT(port, 0);

  trigger("mnuTrayIcon_ViewMyShares");
  trigger("mnuTrayIcon_WebSite");
  trigger("mnuTrayIcon_VerifNewVersion");
  const QString site = QString::fromUtf16(orv::desktop::kProjectWebSite);
  EXPECT_EQ(opened_, (std::vector<QString>{u"http://127.0.0.1:%1/"_s.arg(port), site + u"?lang=fr"_s,
                                           site + u"update.php?lang=fr&version=102"_s}));

  // No help file in this application folder.
  trigger("mnuTrayIcon_Help");
  ASSERT_EQ(boxes_.size(), 1U);
  EXPECT_TRUE(boxes_[0].startsWith(gLanguage.text(u"MSGBOX/ERRORS/HELP_FILE_NOT_FOUND") + u" ("_s));
  folder_.makeFolder(u"help"_s);
  folder_.write(u"help/english.html"_s, "<html></html>");
  trigger("mnuTrayIcon_Help");
  ASSERT_EQ(opened_.size(), 4U);
  EXPECT_TRUE(opened_[3].endsWith(u"/help/english.html"_s)) << opened_[3].toStdString();

  trigger("mnuTrayIcon_Debug");
  ASSERT_NE(window.debugForm(), nullptr);
  EXPECT_TRUE(window.debugForm()->isVisible());

  trigger("mnuTrayIcon_AboutApp");
  ASSERT_NE(orv::desktop::aboutForm(), nullptr);
  EXPECT_TRUE(gConfiguration.AppState.blnAboutFromTray);
  // The double click brings the window back and closes the about box first.
  Q_EMIT window.systray().trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  processPendingEvents();
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.getIsIconIsVisible());
  EXPECT_EQ(orv::desktop::aboutForm(), nullptr);
  EXPECT_FALSE(gConfiguration.AppState.blnAboutFromTray);
  saveUiArtifact(window, u"tray-restored"_s);
}

TEST_F(Tray, TheWindowMenuHasTheSixCommandsAndNoDuplicateAfterALanguageChange) {
  frmMain& window = load();
  QMenu* menu = orv::desktop::windowMenu(*window.menuBar());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), u"mnuSystemMenu"_s);
  EXPECT_EQ(window.menuBar()->actions().size(), 1) << "one menu in the bar";
  EXPECT_EQ(menu->title(), u"&Orvendale"_s);

  const auto texts = [menu] {
    QStringList list;
    for (const QAction* action : menu->actions()) {
      list << action->objectName() + u'=' + action->text();
    }
    return list.join(u'|');
  };
  EXPECT_EQ(texts(),
            u"mnuSystemMenu_ShowMyShares=Voir mes partages|mnuSystemMenu_AboutApp=À propos d'Orvendale|"
            "mnuSystemMenu_Help=Aide|mnuSystemMenu_VerifNewVersion=Nouvelle version ?|"
            "mnuSystemMenu_WebSite=Site && forum|mnuSystemMenu_ShowDebugForm=Debug"_s);
  QAction* viewMyShares = orv::desktop::systemMenuItem(window, SystemMenuCommand::ViewMyShares);
  ASSERT_NE(viewMyShares, nullptr);
  EXPECT_FALSE(viewMyShares->isEnabled());
  saveMenu(*menu, u"tray-window-menu-stopped"_s);

  // Started from the tool bar: the item follows at once, and again whenever the menu opens.
  window.StartStopServer(true);
  EXPECT_TRUE(viewMyShares->isEnabled());
  viewMyShares->setEnabled(false);
  Q_EMIT menu->aboutToShow();
  EXPECT_TRUE(viewMyShares->isEnabled());
  viewMyShares->trigger();
  ASSERT_EQ(opened_.size(), 1U);
  EXPECT_EQ(opened_[0], u"http://127.0.0.1:%1/"_s.arg(window.server().listeningPort()));
  orv::desktop::systemMenuItem(window, SystemMenuCommand::WebSite)->trigger();
  EXPECT_EQ(opened_.back(), QString::fromUtf16(orv::desktop::kProjectWebSite) + u"?lang=fr"_s);
  orv::desktop::systemMenuItem(window, SystemMenuCommand::Debug)->trigger();
  ASSERT_NE(window.debugForm(), nullptr);
  EXPECT_TRUE(window.debugForm()->isVisible());

  // The language change of the general settings: the menu anew, with the new texts.
  gLanguage = orv::core::fnctLoadLanguage(folder_.file(u"lang/english.xml"_s));
  ASSERT_TRUE(gLanguage.blnLoaded);
  for (int round = 0; round < 3; ++round) {
    orv::desktop::subResetSystemMenu(window);
    orv::desktop::subBuildSystemMenu(window, true);
  }
  orv::desktop::subBuildSystemMenu(window, true);
  EXPECT_EQ(window.menuBar()->actions().size(), 1);
  EXPECT_EQ(texts(),
            u"mnuSystemMenu_ShowMyShares=View my shares|mnuSystemMenu_AboutApp=About Orvendale|"
            "mnuSystemMenu_Help=Help|mnuSystemMenu_VerifNewVersion=Check for a new version|"
            "mnuSystemMenu_WebSite=Orvendale web site|mnuSystemMenu_ShowDebugForm=Debug"_s);
  EXPECT_TRUE(orv::desktop::systemMenuItem(window, SystemMenuCommand::ViewMyShares)->isEnabled());
  saveMenu(*menu, u"tray-window-menu-running"_s);
  window.StartStopServer(true);
  EXPECT_FALSE(orv::desktop::systemMenuItem(window, SystemMenuCommand::ViewMyShares)->isEnabled());
}

TEST_F(Tray, TheWindowKeepsItsStartUpSizeAsItsMinimumAndTheScreenAsItsMaximum) {
  frmMain& window = load();
  const QSize startUp(qRound(gConfiguration.AppDisplay.intMainFormWidth / 15.0),
                      qRound(gConfiguration.AppDisplay.intMainFormHeight / 15.0));
  EXPECT_EQ(startUp, QSize(780, 540));
  EXPECT_EQ(window.minimumSize(), startUp);
  const QSize screen = window.screen()->size();
  EXPECT_EQ(window.maximumSize(), QSize(std::max(screen.width(), 780), std::max(screen.height(), 540)));
  window.resize(100, 100);
  processPendingEvents();
  EXPECT_GE(window.width(), 780);
  EXPECT_GE(window.height(), 540);
  window.resize(20000, 20000);
  processPendingEvents();
  EXPECT_LE(window.width(), window.maximumWidth());

  // The tray lifts the limits; the way back puts them again.
  minimise();
  EXPECT_LT(window.minimumWidth(), 780);
  EXPECT_LT(window.minimumHeight(), 540);
  window.restoreFromTray();
  processPendingEvents();
  EXPECT_EQ(window.minimumSize(), startUp);
}

TEST_F(Tray, StartInTrayShowsOnlyTheIconWhenThereIsATray) {
  frmMain& window = load("test.xml", true);
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(window.getIsIconIsVisible());
  EXPECT_EQ(iconNumber(), 102);
  window.systray().usrSystray_MouseMessage(515);
  processPendingEvents();
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.getIsIconIsVisible());
}

TEST_F(Tray, WithoutATrayStartInTrayShowsTheWindowAndMinimisingNeverHidesIt) {
  trayAvailable_ = false;
  frmMain& window = load("test.xml", true);
  EXPECT_TRUE(window.isVisible()) << "no icon could stand in for the window";
  EXPECT_FALSE(window.getIsIconIsVisible());
  minimise();
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.getIsIconIsVisible());
}

TEST_F(Tray, StartAndStopAHundredTimesFromTheMenuWhileClientsDownload) {
  frmMain& window = load();
  gConfiguration.History.MAX_ENTRY = -1;
  orv::core::gHistoryLists = {};
  minimise();
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    trigger("mnuTrayIcon_StartStopServer");
    ASSERT_TRUE(window.server().isServerRunning());
    const auto first = download();
    const auto second = download();
    ASSERT_TRUE(processEventsUntil([&] { return uploadsInProgress() == 2; }));
    trigger("mnuTrayIcon_StartStopServer");
    EXPECT_FALSE(window.server().isServerRunning());
    EXPECT_FALSE(gConfiguration.AppState.blnServerStarted);
    EXPECT_EQ(uploadsInProgress(), 0);
    EXPECT_EQ(window.server().getConnectionsCount(QString()), 0);
    EXPECT_EQ(iconNumber(), 102);
    EXPECT_EQ(tip(), debugTitle() + u" - Serveur arrêté"_s);
    EXPECT_EQ(trayItem("mnuTrayIcon_StartStopServer")->text(), u"Démarrer le serveur"_s);
  }
  int aborted = 0;
  for (const orv::core::tHistoryEvent& event : orv::core::gHistoryLists.events) {
    aborted += event.type == orv::core::HistoryEventType::FILE_ABORT_UPLOAD ? 1 : 0;
  }
  EXPECT_EQ(aborted, 200) << "every cut upload is in the history";
  EXPECT_TRUE(window.getIsIconIsVisible());
}

TEST_F(Tray, ALanguageFileWithoutMenuTextsLeavesNoItemEmpty) {
  // The loader refuses a file that lacks a text: start-up falls back to English.
  folder_.write(u"lang/broken.xml"_s,
                testLanguageFile().replace("<EXIT_APP>Quitter</EXIT_APP>", "").replace("<HELP>Aide</HELP>", ""));
  frmMain& window = load("broken.xml");
  EXPECT_EQ(trayItem("mnuTrayIcon_ExitApp")->text(), u"Exit"_s);
  EXPECT_EQ(orv::desktop::systemMenuItem(window, SystemMenuCommand::Help)->text(), u"Help"_s);

  // A record without the texts at all shows each key rather than nothing.
  gLanguage = {};
  window.RefreshFormLang();
  orv::desktop::subBuildSystemMenu(window, true);
  minimise();
  for (QAction* action : window.trayMenu().actions()) {
    EXPECT_TRUE(action->isSeparator() || !action->text().isEmpty()) << action->objectName().toStdString();
  }
  EXPECT_EQ(trayItem("mnuTrayIcon_ExitApp")->text(), u"EXIT_APP"_s);
  EXPECT_EQ(trayItem("mnuTrayIcon_StartStopServer")->text(), u"START_SERVER"_s);
  EXPECT_EQ(orv::desktop::systemMenuItem(window, SystemMenuCommand::Help)->text(), u"HELP"_s);
  EXPECT_EQ(tip(), debugTitle() + u" - STOPPED_SERVER"_s);
}

}  // namespace
