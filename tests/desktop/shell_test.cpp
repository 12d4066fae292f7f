// The main window with its tool bar and child panels, driven offscreen as a user would.

#include "core/configuration.h"
#include "core/language.h"
#include "desktop/child_panel.h"
#include "desktop/frm_main.h"
#include "desktop/frm_menu.h"
#include "desktop/message_box.h"
#include "server/server_engine.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"
#include "support/ui_artifacts.h"

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::core::gLanguage;
using orv::desktop::ChildPanel;
using orv::desktop::frmMain;
using orv::desktop::frmMenu;
using orv::desktop::gCurrentChildForm;
using orv::desktop::gMenuForm;
using orv::desktop::MainPanel;
using orv::desktop::MessageBoxRequest;

QByteArray englishFile() {
  QFile source(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
  return source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
}

// A listening socket of another program holds a port.
class PortHolder {
 public:
  PortHolder() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(fd_, 1);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~PortHolder() { ::close(fd_); }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// The configuration panel's stand-in: a fixed width and one category form beside it.
class ConfigPanel : public ChildPanel {
 public:
  explicit ConfigPanel(QWidget* parent, std::vector<QString>* keys)
      : ChildPanel(parent), keys_(keys), category_(new QWidget(parent)) {
    resize(200, 100);
  }
  ~ConfigPanel() override { delete category_; }
  ConfigPanel(const ConfigPanel&) = delete;
  ConfigPanel& operator=(const ConfigPanel&) = delete;
  void LoadConfigCatForm(const QString& categoryKey) override { keys_->push_back(categoryKey); }
  QWidget* frmConfigCatForm() const override { return category_; }

 private:
  std::vector<QString>* keys_;
  QWidget* category_;
};

class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.makeFolder(u"lang"_s);
    folder_.write(u"lang/english.xml"_s, englishFile());
    orv::desktop::setMessageBoxAnswerer([this](const MessageBoxRequest& request) {
      boxes_.push_back(request);
      return orv::desktop::MessageAnswer::Ok;
    });
  }

  void TearDown() override {
    window_.reset();
    orv::desktop::setMessageBoxAnswerer({});
    for (const MainPanel panel : {MainPanel::Shares, MainPanel::Uploads, MainPanel::History, MainPanel::Config}) {
      orv::desktop::setChildPanelMaker(panel, {});
    }
  }

  void writeConfig(const QByteArray& languageFile = "english.xml") const {
    folder_.write(u"config.xml"_s,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\">"
                  "<PROTOCOL><LOCAL_PORT>0</LOCAL_PORT></PROTOCOL><LANGUAGE><FILENAME>" +
                      languageFile + "</FILENAME></LANGUAGE></CONFIGURATION>");
  }

  frmMain& load() {
    if (!QFile::exists(folder_.file(u"config.xml"_s))) {
      writeConfig();
    }
    window_ = std::make_unique<frmMain>(folder_.path(), QString());
    EXPECT_TRUE(window_->MDIForm_Load());
    // The loader puts 80 for a port out of 1 to 65535; the engine takes 0 as any free port,
    // so that no test binds a fixed one.
    gConfiguration.Protocol.LOCAL_PORT = u"0"_s;
    processPendingEvents();
    return *window_;
  }

  static QToolButton* button(int index) { return gMenuForm->button(index); }

  static void click(int index) {
    QTest::mouseClick(button(index), Qt::LeftButton);
    processPendingEvents();
  }

  // Which of the four panel buttons are pressed, as "3", "4", ... joined.
  static QString pressedPanelButtons() {
    QStringList pressed;
    for (const int index : {frmMenu::kShares, frmMenu::kUploads, frmMenu::kHistory, frmMenu::kConfig}) {
      if (button(index)->isChecked()) {
        pressed << QString::number(index);
      }
    }
    return pressed.join(u',');
  }

  static QString shownPanel() { return gCurrentChildForm.isNull() ? u"none"_s : gCurrentChildForm->objectName(); }

  TempFolder folder_;
  std::unique_ptr<frmMain> window_;
  std::vector<MessageBoxRequest> boxes_;
};

TEST_F(Shell, StartsWithTheSharesPanelBelowTheToolBarAndItsButtonPressed) {
  frmMain& window = load();
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.windowTitle().startsWith(u"Orvendale "_s)) << window.windowTitle().toStdString();
  ASSERT_FALSE(gMenuForm.isNull());
  EXPECT_EQ(gMenuForm->tlbMenu()->objectName(), u"tlbMenu"_s);
  EXPECT_EQ(shownPanel(), u"frmShares"_s);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, 1);
  EXPECT_EQ(pressedPanelButtons(), u"3"_s);
  EXPECT_EQ(gCurrentChildForm->geometry().top(), gMenuForm->height());

  struct Expected {
    int index;
    const char* objectName;
    QString text;
    QString tip;
  };
  const std::vector<Expected> buttons = {
      {frmMenu::kStartStop, "tlbMenu_StartStop", u"Server off"_s, u"The server is stopped: click to start it"_s},
      {frmMenu::kShares, "tlbMenu_Shares", u"Shares"_s, u"Choose the folders you share"_s},
      {frmMenu::kUploads, "tlbMenu_Uploads", u"Uploads"_s, u"Files being sent and files already sent"_s},
      {frmMenu::kHistory, "tlbMenu_History", u"History"_s, u"Server events"_s},
      {frmMenu::kConfig, "tlbMenu_Config", u"Settings"_s, u"Change the settings"_s},
  };
  for (const Expected& expected : buttons) {
    SCOPED_TRACE(expected.objectName);
    QToolButton* tool = button(expected.index);
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->objectName(), QLatin1String(expected.objectName));
    EXPECT_EQ(tool->text(), expected.text);
    EXPECT_EQ(tool->accessibleName(), expected.text);
    EXPECT_EQ(tool->toolTip(), expected.tip);
    EXPECT_FALSE(tool->icon().isNull());
    EXPECT_EQ(tool->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
  }
  EXPECT_FALSE(button(frmMenu::kStartStop)->isChecked());
  saveUiArtifact(window, u"shell-shares"_s);
}

TEST_F(Shell, EachPanelButtonShowsItsPanelAndIsTheOnePressed) {
  struct Case {
    int index;
    const char* panel;
    int code;
    const char* picture;
  };
  const std::vector<Case> cases = {
      {frmMenu::kUploads, "frmUploads", 2, "shell-uploads"},
      {frmMenu::kHistory, "frmHistory", 3, "shell-history"},
      {frmMenu::kConfig, "frmConfig_MainList", 4, "shell-config"},
      {frmMenu::kShares, "frmShares", 1, "shell-shares-again"},
  };
  frmMain& window = load();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.panel);
    click(c.index);
    EXPECT_EQ(shownPanel(), QLatin1String(c.panel));
    EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, c.code);
    EXPECT_EQ(pressedPanelButtons(), QString::number(c.index));
    EXPECT_TRUE(gCurrentChildForm->isVisible());
    EXPECT_FALSE(gCurrentChildForm->accessibleName().isEmpty());
    EXPECT_TRUE(gCurrentChildForm->blnRedimActivate);
    EXPECT_EQ(gCurrentChildForm->blnEnableFormRedimX, c.code != 4) << "the configuration keeps its own width";
    EXPECT_TRUE(gCurrentChildForm->blnEnableFormRedimY);
    saveUiArtifact(window, QLatin1String(c.picture));
  }
}

TEST_F(Shell, TheKeyboardAndAnAssistiveToolsToggleWorkAsAClick) {
  frmMain& window = load();
  // An assistive tool toggles a button that stays down rather than clicking it.
  button(frmMenu::kHistory)->toggle();
  processPendingEvents();
  EXPECT_EQ(shownPanel(), u"frmHistory"_s);
  EXPECT_EQ(pressedPanelButtons(), u"5"_s);
  button(frmMenu::kStartStop)->toggle();
  processPendingEvents();
  EXPECT_TRUE(window.server().isServerRunning());
  EXPECT_EQ(button(frmMenu::kStartStop)->text(), u"Server on"_s);

  window.activateWindow();
  button(frmMenu::kUploads)->setFocus();
  QTest::keyClick(button(frmMenu::kUploads), Qt::Key_Space);
  processPendingEvents();
  EXPECT_EQ(shownPanel(), u"frmUploads"_s);
  EXPECT_EQ(pressedPanelButtons(), u"4"_s);
}

TEST_F(Shell, ASecondClickOnTheShownPanelsButtonRebuildsIt) {
  int made = 0;
  orv::desktop::setChildPanelMaker(MainPanel::Uploads, [&made](QWidget* parent) {
    ++made;
    auto* panel = new ChildPanel(parent);
    panel->setObjectName(u"uploadsMadeByTheMaker"_s);
    return panel;
  });
  load();
  click(frmMenu::kUploads);
  ASSERT_EQ(made, 1);
  const QPointer<ChildPanel> first = gCurrentChildForm;
  EXPECT_EQ(shownPanel(), u"uploadsMadeByTheMaker"_s) << "a panel keeps the name its maker gave it";
  click(frmMenu::kUploads);
  EXPECT_EQ(made, 2);
  EXPECT_TRUE(first.isNull()) << "the shown panel was destroyed before the next was made";
  EXPECT_EQ(pressedPanelButtons(), u"4"_s);
}

TEST_F(Shell, TheToolBarOpensTheConfigurationOnItsGeneralCategoryWhateverWasShown) {
  std::vector<QString> keys;
  orv::desktop::setChildPanelMaker(MainPanel::Config,
                                   [&keys](QWidget* parent) { return new ConfigPanel(parent, &keys); });
  load();
  orv::desktop::subShowChildForm(u"Config"_s, false, true, u"users"_s);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 6);
  click(frmMenu::kConfig);
  orv::desktop::subShowChildForm(u"config"_s, false, true, QString());
  EXPECT_EQ(keys, (std::vector<QString>{u"users"_s, u"general"_s, u"general"_s}));
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 1);
}

TEST_F(Shell, PanelsAreSizedFromTheClientAreaAndNeverBelowZero) {
  std::vector<QString> keys;
  orv::desktop::setChildPanelMaker(MainPanel::Config,
                                   [&keys](QWidget* parent) { return new ConfigPanel(parent, &keys); });
  frmMain& window = load();
  const int menuHeight = gMenuForm->height();
  ASSERT_GT(menuHeight, 0);
  for (const int kind : {frmMenu::kShares, frmMenu::kConfig}) {
    click(kind);
    for (const QSize size : {QSize(900, 640), QSize(420, 300), QSize(1, 1), QSize(780, 540)}) {
      SCOPED_TRACE(QStringLiteral("%1 at %2x%3").arg(kind).arg(size.width()).arg(size.height()).toStdString());
      window.resize(size);
      processPendingEvents();
      const QSize client = window.centralWidget()->size();
      EXPECT_EQ(gMenuForm->geometry(), QRect(0, 0, client.width(), menuHeight));
      EXPECT_EQ(gMenuForm->height(), menuHeight) << "the tool bar keeps its height";
      const QRect panel = gCurrentChildForm->geometry();
      EXPECT_EQ(panel.topLeft(), QPoint(0, menuHeight));
      EXPECT_EQ(panel.height(), std::max(0, client.height() - menuHeight));
      if (kind == frmMenu::kShares) {
        EXPECT_EQ(panel.width(), client.width());
      } else {
        EXPECT_EQ(panel.width(), 200) << "the configuration panel keeps its width";
        const QWidget* category = gCurrentChildForm->frmConfigCatForm();
        EXPECT_EQ(category->width(), std::max(0, client.width() - 200));
        EXPECT_EQ(category->height(), panel.height());
      }
    }
  }
  saveUiArtifact(window, u"shell-after-resizes"_s);
}

TEST_F(Shell, StartAndStopFollowTheTextsOfTheLanguageFile) {
  const QByteArray test = englishFile()
                              .replace("<STARTED_SERVER_LABEL>Server on<", "<STARTED_SERVER_LABEL>Serveur en marche<")
                              .replace("<STOPPED_SERVER_LABEL>Server off<", "<STOPPED_SERVER_LABEL>Serveur arrêté<")
                              .replace("The server is running: click to stop it", "En marche : cliquer pour arrêter");
  folder_.write(u"lang/test.xml"_s, test);
  writeConfig("test.xml");
  orv::desktop::setChildPanelMaker(MainPanel::Shares, [](QWidget* parent) {
    auto* panel = new ChildPanel(parent);
    (new QPushButton(u"View"_s, panel))->setObjectName(u"cmdShowWebShares"_s);
    return panel;
  });
  frmMain& window = load();
  EXPECT_EQ(button(frmMenu::kStartStop)->text(), u"Serveur arrêté"_s);
  auto* showWebShares = gCurrentChildForm->findChild<QPushButton*>(u"cmdShowWebShares"_s);
  ASSERT_NE(showWebShares, nullptr);

  click(frmMenu::kStartStop);
  EXPECT_TRUE(window.server().isServerRunning());
  EXPECT_GT(window.server().listeningPort(), 0);
  EXPECT_TRUE(gConfiguration.AppState.blnServerStarted);
  EXPECT_TRUE(button(frmMenu::kStartStop)->isChecked());
  EXPECT_EQ(button(frmMenu::kStartStop)->text(), u"Serveur en marche"_s);
  EXPECT_EQ(button(frmMenu::kStartStop)->accessibleName(), u"Serveur en marche"_s);
  EXPECT_EQ(button(frmMenu::kStartStop)->toolTip(), u"En marche : cliquer pour arrêter"_s);
  EXPECT_TRUE(showWebShares->isEnabled()) << "the server's pages can be shown while it runs";
  saveUiArtifact(window, u"shell-server-running"_s);

  click(frmMenu::kStartStop);
  EXPECT_FALSE(window.server().isServerRunning());
  EXPECT_FALSE(button(frmMenu::kStartStop)->isChecked());
  EXPECT_EQ(button(frmMenu::kStartStop)->text(), u"Serveur arrêté"_s);
  EXPECT_FALSE(showWebShares->isEnabled());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(pressedPanelButtons(), u"3"_s) << "the panel buttons are not touched";
}

TEST_F(Shell, APortInUseIsReportedAndTheButtonStaysUp) {
  frmMain& window = load();
  const PortHolder holder;
  gConfiguration.Protocol.LOCAL_PORT = QString::number(holder.port());
  click(frmMenu::kStartStop);
  ASSERT_EQ(boxes_.size(), 1U);
  EXPECT_EQ(boxes_[0].text, gLanguage.text(u"MSGBOX/ERRORS/PORT_ALREADY_OPEN"));
  EXPECT_FALSE(boxes_[0].text.isEmpty());
  EXPECT_EQ(boxes_[0].icon, orv::desktop::MessageIcon::Critical);
  EXPECT_FALSE(window.server().isServerRunning());
  EXPECT_FALSE(button(frmMenu::kStartStop)->isChecked());
  EXPECT_EQ(button(frmMenu::kStartStop)->text(), u"Server off"_s);
}

TEST_F(Shell, APortWithoutTheRightToBindItIsReportedInTheSystemsWords) {
  frmMain& window = load();
  // Port 1 needs the right to bind a privileged port; root has it, so the test gives it up
  // for the one click.
  QFile unprivileged(u"/proc/sys/net/ipv4/ip_unprivileged_port_start"_s);
  if (unprivileged.open(QIODevice::ReadOnly) && unprivileged.readAll().trimmed().toInt() <= 1) {
    GTEST_SKIP() << "every port may be bound on this machine";
  }
  const uid_t saved = ::geteuid();
  if (saved == 0 && ::seteuid(65534) != 0) {
    GTEST_SKIP() << "the test cannot give up the right to bind privileged ports";
  }
  gConfiguration.Protocol.LOCAL_PORT = u"1"_s;
  click(frmMenu::kStartStop);
  if (saved == 0) {
    ASSERT_EQ(::seteuid(0), 0);
  }
  ASSERT_EQ(boxes_.size(), 1U);
  EXPECT_EQ(boxes_[0].text, u"Permission denied."_s);
  EXPECT_EQ(boxes_[0].icon, orv::desktop::MessageIcon::Critical);
  EXPECT_FALSE(window.server().isServerRunning());
  EXPECT_FALSE(button(frmMenu::kStartStop)->isChecked());
  EXPECT_EQ(button(frmMenu::kStartStop)->text(), u"Server off"_s);
}

TEST_F(Shell, ALastPanelOrCategoryOutOfRangeShowsTheShares) {
  struct Case {
    int panel;
    int category;
    const char* shown;
    const char* pressed;
  };
  const std::vector<Case> cases = {
      {0, 0, "frmShares", "3"},     {1, 0, "frmShares", "3"},          {2, 0, "frmUploads", "4"},
      {3, 0, "frmHistory", "5"},    {4, 6, "frmConfig_MainList", "6"}, {4, 0, "frmShares", "3"},
      {4, 8, "frmShares", "3"},     {5, 0, "frmShares", "3"},          {-1, 0, "frmShares", "3"},
      {32767, 7, "frmShares", "3"},
  };
  frmMain& window = load();
  for (const Case& c : cases) {
    SCOPED_TRACE(QStringLiteral("panel %1, category %2").arg(c.panel).arg(c.category).toStdString());
    window.UnloadMenuAndChildForm();
    EXPECT_TRUE(gMenuForm.isNull());
    EXPECT_TRUE(gCurrentChildForm.isNull());
    gConfiguration.AppDisplay.gShownMainPanel = c.panel;
    gConfiguration.AppDisplay.gShownConfigCategory = c.category;
    window.ShowMenuAndLastChildForm();
    EXPECT_EQ(shownPanel(), QLatin1String(c.shown));
    EXPECT_EQ(pressedPanelButtons(), QLatin1String(c.pressed));
  }
}

TEST_F(Shell, ALanguageFileWithoutAToolBarTextLeavesNoButtonEmpty) {
  // The loader refuses a file that lacks a text, and start-up falls back to English.
  folder_.write(u"lang/broken.xml"_s, englishFile().replace("<SHARES_LABEL>Shares</SHARES_LABEL>", ""));
  writeConfig("broken.xml");
  load();
  EXPECT_EQ(button(frmMenu::kShares)->text(), u"Shares"_s);

  // A record without the texts at all shows each key rather than nothing.
  gLanguage = {};
  gMenuForm->RefreshFormLang();
  gMenuForm->SetStartStopButtonState();
  EXPECT_EQ(button(frmMenu::kShares)->text(), u"SHARES_LABEL"_s);
  EXPECT_EQ(button(frmMenu::kStartStop)->text(), u"STOPPED_SERVER_LABEL"_s);
  for (const int index :
       {frmMenu::kStartStop, frmMenu::kShares, frmMenu::kUploads, frmMenu::kHistory, frmMenu::kConfig}) {
    EXPECT_FALSE(button(index)->text().isEmpty()) << index;
    EXPECT_FALSE(button(index)->accessibleName().isEmpty()) << index;
  }
}

TEST_F(Shell, MinimisingWithoutATrayKeepsTheWindowAndItsPanel) {
  frmMain& window = load();
  click(frmMenu::kHistory);
  ASSERT_FALSE(window.canHideInTray());
  window.showMinimized();
  processPendingEvents();
  EXPECT_TRUE(window.isMinimized());
  EXPECT_TRUE(window.isVisible()) << "a window without a tray icon never hides";
  EXPECT_FALSE(gMenuForm.isNull());
  EXPECT_EQ(shownPanel(), u"frmHistory"_s);
  window.showNormal();
  processPendingEvents();
  EXPECT_EQ(gConfiguration.AppDisplay.bytMainFormState, 0);
  window.showMaximized();
  processPendingEvents();
  EXPECT_EQ(gConfiguration.AppDisplay.bytMainFormState, 2);
}

TEST_F(Shell, RestoringFromTheTrayBringsBackTheToolBarAndTheLastPanel) {
  frmMain& window = load();
  click(frmMenu::kHistory);
  // What minimising into the tray does.
  window.hide();
  window.UnloadMenuAndChildForm();
  EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, 3) << "the last panel survives its window";
  window.restoreFromTray();
  processPendingEvents();
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(shownPanel(), u"frmHistory"_s);
  EXPECT_EQ(pressedPanelButtons(), u"5"_s);
  EXPECT_EQ(gCurrentChildForm->geometry().top(), gMenuForm->height());
}

TEST_F(Shell, AnUnknownPanelNameShowsNoPanel) {
  load();
  orv::desktop::subShowChildForm(u"Debug"_s, true, true, QString());
  EXPECT_TRUE(gCurrentChildForm.isNull());
  orv::desktop::subShowChildForm(u"HISTORY"_s, true, true, QString());
  EXPECT_EQ(shownPanel(), u"frmHistory"_s) << "names compare ignoring case";
}

}  // namespace
