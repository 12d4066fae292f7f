// The general category's form offscreen: loaded from the record, edited with the keyboard,
// saved and read back from config.xml; its refusals; a language change seen in every open
// window in order; a port change on a running server with a client before and after.

#include "editors/frm_config_cat_general.h"
#include "config_form_fixture.h"
#include "config_window_fixture.h"
#include "core/config_file.h"
#include "desktop/child_panel.h"
#include "desktop/frm_about.h"
#include "desktop/frm_main.h"
#include "desktop/frm_menu.h"
#include "desktop/main_menus.h"
#include "desktop/startup.h"
#include "editors/frm_config_main_list.h"
#include "editors/general_settings.h"
#include "server/server_engine.h"
#include "support/event_loop.h"
#include "support/free_port.h"
#include "support/tcp_peer.h"
#include "widget_input.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

using namespace orv::editors;
using namespace Qt::StringLiterals;
using orv::core::gConfiguration;

class GeneralForm : public EditorsTest {
 protected:
  void SetUp() override {
    EditorsTest::SetUp();
    english_ = englishFile();
    ASSERT_FALSE(english_.isEmpty());
    app_.write(u"lang/english.xml"_s, english_);
    writeLanguage(u"other.xml"_s, "1.0.2", "Otherish", "Ot");
    writeLanguage(u"old.xml"_s, "1.01", "Oldish", "Old");
    orv::core::gLanguagesList = orv::core::fnctGetLanguagesList(app_.file(u"lang/"_s));
    gConfiguration.Language.FILENAME = u"english.xml"_s;
  }

  void TearDown() override {
    frmConfig_CatGeneral::setLanguageRefreshTracer({});
    orv::core::gLanguagesList = {};
    EditorsTest::TearDown();
  }

  // A copy of the English file whose visible texts start with the prefix.
  void writeLanguage(const QString& name, const QByteArray& version, const QByteArray& language,
                     const QByteArray& prefix) {
    QByteArray text = languageFile(version, language);
    for (const QByteArray& element : {QByteArray("GENERAL"), QByteArray("CONFIG_LABEL"), QByteArray("VERSION"),
                                      QByteArray("CONFIG_CATS_GENERAL"), QByteArray("SAVE"), QByteArray("ABOUT_APP")}) {
      text.replace("<" + element + ">", "<" + element + ">" + prefix + " ");
    }
    app_.write(u"lang/"_s + name, text);
  }

  QByteArray english_;
};

TEST_F(GeneralForm, ShowsTheRecordAndSavesItBack) {
  gConfiguration.Protocol.LOCAL_PORT = u"8000"_s;
  gConfiguration.Protocol.DOMAINS_LIST = QStringList{u"example.org"_s, QString()};
  gConfiguration.AppState.blnZlibAvailable = true;
  frmConfig_CatGeneral form;
  form.resize(560, 520);
  showActive(form);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownConfigCategory, 1);
  auto* save = childNamed<QPushButton>(form, "cmdSaveConfig");
  auto* port = childNamed<QLineEdit>(form, "txtLocalPort");
  auto* cache = childNamed<QLineEdit>(form, "txtMiniaturesCacheSizeMax");
  auto* players = childNamed<QLineEdit>(form, "txtAudioPlayers");
  auto* domains = childNamed<QLineEdit>(form, "txtDomainsList");
  auto* languages = childNamed<QComboBox>(form, "cboLangFiles");
  EXPECT_FALSE(save->isEnabled());
  EXPECT_EQ(port->text(), u"8000"_s);
  EXPECT_EQ(cache->text(), u"10"_s);
  EXPECT_EQ(players->text(), u"winamp;nsplayer;foobar;itunes;"_s);
  EXPECT_EQ(domains->text(), u"example.org;"_s);
  EXPECT_FALSE(domains->isEnabled());
  EXPECT_EQ(languages->count(), 3);
  EXPECT_EQ(languages->currentText(), u"English"_s);
  EXPECT_TRUE(childNamed<QCheckBox>(form, "chkEnableCompression")->isEnabled());
  saveArtifact(form, u"config-general"_s);

  port->setFocus();
  port->setText(u"080"_s);
  EXPECT_TRUE(save->isEnabled());
  players->setFocus();  // the port box checks its text, which stays as typed
  EXPECT_EQ(port->text(), u"080"_s);
  players->setText(u" vlc ;; mpv"_s);
  childNamed<QLineEdit>(form, "txtBannedClients")->setFocus();  // the players box is normalised
  EXPECT_EQ(players->text(), u"vlc;mpv;"_s);
  childNamed<QCheckBox>(form, "chkEnableCompression")->setChecked(true);
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'\n').toStdString();
  EXPECT_FALSE(save->isEnabled());

  const orv::core::tConfiguration stored = reload();
  EXPECT_EQ(stored.Protocol.LOCAL_PORT, u"80"_s);  // the number, not the text typed
  EXPECT_EQ(port->text(), u"80"_s);
  EXPECT_EQ(stored.Other.MINATURE_CACHE_SIZE_MAX, 10000000);  // untouched: not rounded
  EXPECT_EQ(stored.AppsNameManagement.AUDIO_PLAYERS_KEYWORDS, (QStringList{u"vlc"_s, u"mpv"_s, QString()}));
  EXPECT_EQ(stored.Protocol.DOMAINS_LIST, (QStringList{u"example.org"_s, QString()}));
  EXPECT_TRUE(stored.Protocol.ENABLE_COMPRESSION);
  EXPECT_EQ(stored.Language.FILENAME, u"english.xml"_s);
}

TEST_F(GeneralForm, EscapePutsBackTheStoredCacheSizeAndSaveKeepsItsBytes) {
  frmConfig_CatGeneral form;
  showActive(form);
  auto* cache = childNamed<QLineEdit>(form, "txtMiniaturesCacheSizeMax");
  auto* save = childNamed<QPushButton>(form, "cmdSaveConfig");
  cache->setFocus();
  cache->setText(u"12"_s);
  widget_input::keyClick(cache, Qt::Key_Escape);
  EXPECT_EQ(cache->text(), u"9.5367431640625"_s);
  EXPECT_TRUE(childNamed<QCheckBox>(form, "chkShowTransfersToolTips")->hasFocus());
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(reload().Other.MINATURE_CACHE_SIZE_MAX, 10000000);

  // Sizes that cannot be held in bytes are refused at focus loss; -1 is stored exactly.
  for (const char* refused : {"2048", "99999999", "0", "-2"}) {
    cache->setFocus();
    cache->setText(QString::fromLatin1(refused));
    save->setFocus();
    EXPECT_EQ(cache->text(), u"10"_s) << refused;
  }
  cache->setFocus();
  cache->setText(u"-1"_s);
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(reload().Other.MINATURE_CACHE_SIZE_MAX, -1048576);
  cache->setText(u"2047"_s);
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(reload().Other.MINATURE_CACHE_SIZE_MAX, 2146435072);
}

TEST_F(GeneralForm, RefusedPortsGetTheStoredOneBackAndEnterGoesToSave) {
  gConfiguration.Protocol.LOCAL_PORT = u"8000"_s;
  frmConfig_CatGeneral form;
  showActive(form);
  auto* port = childNamed<QLineEdit>(form, "txtLocalPort");
  auto* save = childNamed<QPushButton>(form, "cmdSaveConfig");
  for (const char* refused : {"0", "65536", "abc", ""}) {
    port->setFocus();
    port->setText(QString::fromLatin1(refused));
    widget_input::keyClick(port, Qt::Key_Return);
    EXPECT_TRUE(save->hasFocus()) << refused;
    EXPECT_EQ(port->text(), u"8000"_s) << refused;
  }
  for (const char* accepted : {"80.4", "1e3", " 8080"}) {
    port->setFocus();
    port->setText(QString::fromLatin1(accepted));
    save->setFocus();
    EXPECT_EQ(port->text(), QString::fromLatin1(accepted));
  }
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(reload().Protocol.LOCAL_PORT, u"8080"_s);
  port->setFocus();
  port->setText(u"1"_s);
  widget_input::keyClick(port, Qt::Key_Escape);
  EXPECT_EQ(port->text(), u"8080"_s);
}

TEST_F(GeneralForm, OnlyDomainsWithAnEmptyListIsRefused) {
  frmConfig_CatGeneral form;
  showActive(form);
  const QByteArray before = configBytes();
  auto* only = childNamed<QCheckBox>(form, "chkAllowOnlyDomains");
  auto* domains = childNamed<QLineEdit>(form, "txtDomainsList");
  only->setChecked(true);
  EXPECT_TRUE(domains->isEnabled());
  domains->setText(u" ; ;"_s);
  QTest::mouseClick(childNamed<QPushButton>(form, "cmdSaveConfig"), Qt::LeftButton);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_EQ(messages_[0], QLatin1String(kEmptyDomainsListText));
  EXPECT_EQ(icons_[0], orv::desktop::MessageIcon::Critical);
  EXPECT_EQ(configBytes(), before);
  EXPECT_FALSE(gConfiguration.Protocol.ALLOW_ONLY_DOMAINS);
  EXPECT_TRUE(domains->hasFocus());
  EXPECT_TRUE(childNamed<QPushButton>(form, "cmdSaveConfig")->isEnabled());

  domains->setText(u"example.org"_s);
  QTest::mouseClick(childNamed<QPushButton>(form, "cmdSaveConfig"), Qt::LeftButton);
  EXPECT_EQ(messages_.size(), 1);
  EXPECT_TRUE(reload().Protocol.ALLOW_ONLY_DOMAINS);
  EXPECT_EQ(reload().Protocol.DOMAINS_LIST, (QStringList{u"example.org"_s, QString()}));
  // Unchecked, the list is kept and saved.
  only->setChecked(false);
  EXPECT_FALSE(domains->isEnabled());
  QTest::mouseClick(childNamed<QPushButton>(form, "cmdSaveConfig"), Qt::LeftButton);
  EXPECT_FALSE(reload().Protocol.ALLOW_ONLY_DOMAINS);
  EXPECT_EQ(reload().Protocol.DOMAINS_LIST, (QStringList{u"example.org"_s, QString()}));
}

TEST_F(GeneralForm, AnOlderOrBrokenLanguageFileIsRefusedAndNothingIsSaved) {
  frmConfig_CatGeneral form;
  showActive(form);
  auto* languages = childNamed<QComboBox>(form, "cboLangFiles");
  auto* save = childNamed<QPushButton>(form, "cmdSaveConfig");
  const QByteArray before = configBytes();
  const QString saveText = save->text();
  childNamed<QLineEdit>(form, "txtLocalPort")->setText(u"9000"_s);

  languages->setCurrentIndex(fnctLanguageIndex(orv::core::gLanguagesList, u"old.xml"_s));
  QTest::mouseClick(save, Qt::LeftButton);
  // Broken after it was listed, and removed after it was listed.
  app_.write(u"lang/other.xml"_s, english_.left(english_.size() / 3));
  languages->setCurrentIndex(fnctLanguageIndex(orv::core::gLanguagesList, u"other.xml"_s));
  QTest::mouseClick(save, Qt::LeftButton);
  QFile::remove(app_.file(u"lang/other.xml"_s));
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(messages_,
            (QStringList{QLatin1String(orv::desktop::kLanguageFileOutOfDate), text(u"MSGBOX/ERRORS/INVALID_LANG_FILE"),
                         text(u"MSGBOX/ERRORS/INVALID_LANG_FILE")}));
  EXPECT_EQ(configBytes(), before);
  EXPECT_EQ(gConfiguration.Language.FILENAME, u"english.xml"_s);
  EXPECT_EQ(gConfiguration.Protocol.LOCAL_PORT, u"80"_s);
  EXPECT_EQ(save->text(), saveText);
  EXPECT_TRUE(save->isEnabled());
}

TEST_F(GeneralForm, AFileNameOfNoListedLanguageLeavesTheLanguageAlone) {
  gConfiguration.Language.FILENAME = u"vanished.xml"_s;
  frmConfig_CatGeneral form;
  showActive(form);
  EXPECT_EQ(childNamed<QComboBox>(form, "cboLangFiles")->currentIndex(), -1);
  childNamed<QLineEdit>(form, "txtLocalPort")->setText(u"81"_s);
  QTest::mouseClick(childNamed<QPushButton>(form, "cmdSaveConfig"), Qt::LeftButton);
  EXPECT_TRUE(messages_.isEmpty());
  // Stored as it was (the loader itself falls back to English for a file that is gone).
  EXPECT_EQ(gConfiguration.Language.FILENAME, u"vanished.xml"_s);
  EXPECT_TRUE(configBytes().contains("<FILENAME>vanished.xml</FILENAME>"));
  EXPECT_EQ(reload().Protocol.LOCAL_PORT, u"81"_s);
}

TEST_F(GeneralForm, WithoutZlibCompressionIsOffAndStoredOff) {
  gConfiguration.Protocol.ENABLE_COMPRESSION = true;
  gConfiguration.AppState.blnZlibAvailable = false;
  frmConfig_CatGeneral form;
  auto* compression = childNamed<QCheckBox>(form, "chkEnableCompression");
  EXPECT_FALSE(compression->isEnabled());
  EXPECT_FALSE(compression->isChecked());
  childNamed<QLineEdit>(form, "txtLocalPort")->setText(u"82"_s);
  QTest::mouseClick(childNamed<QPushButton>(form, "cmdSaveConfig"), Qt::LeftButton);
  EXPECT_FALSE(reload().Protocol.ENABLE_COMPRESSION);
}

// ---- Inside the real main window ----

class GeneralInWindow : public GeneralForm {
 protected:
  void SetUp() override {
    GeneralForm::SetUp();
    ASSERT_NO_FATAL_FAILURE(startMainWindow(app_, window_));
    // The loader turns a configured 0 into 80: a free port is asked for after the load.
    gConfiguration.Protocol.LOCAL_PORT = u"0"_s;
    processPendingEvents();
    orv::desktop::subShowChildForm(u"Config"_s, false, true, u"general"_s);
    processPendingEvents();
  }

  void TearDown() override {
    orv::desktop::closeAboutForm();
    stopMainWindow(window_);
    GeneralForm::TearDown();
  }

  frmConfig_MainList* panel() const {
    return qobject_cast<frmConfig_MainList*>(orv::desktop::gCurrentChildForm.data());
  }
  QWidget* form() const { return panel()->frmConfigCatForm(); }
  void save() { QTest::mouseClick(childNamed<QPushButton>(*form(), "cmdSaveConfig"), Qt::LeftButton); }

  // One request and its whole answer's status line, or empty when nothing answers.
  static QByteArray statusLine(int port) {
    TcpPeer client(port);
    processEventsUntil([&] { return client.connected || client.connectError != 0; });
    if (!client.connected) {
      return {};
    }
    client.send("GET / HTTP/1.0\r\n\r\n");
    processEventsUntil([&] { return client.endOfStream; });
    return client.received.left(client.received.indexOf('\r'));
  }

  static int freePort() { return freeTcpPort(); }

  // Something accepts connections on the loopback port (a blocking connect is answered at
  // once there, by the accept or by a refusal).
  static bool isListening(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
  }

  std::unique_ptr<orv::desktop::frmMain> window_;
};

TEST_F(GeneralInWindow, ALanguageChangeIsSeenInEveryOpenWindowInOrder) {
  ASSERT_NE(panel(), nullptr);
  window_->showAboutForm();
  processPendingEvents();
  QStringList steps;
  frmConfig_CatGeneral::setLanguageRefreshTracer([&steps](const QString& step) { steps.append(step); });
  auto* languages = childNamed<QComboBox>(*form(), "cboLangFiles");
  languages->setCurrentIndex(fnctLanguageIndex(orv::core::gLanguagesList, u"other.xml"_s));
  Q_EMIT languages->activated(languages->currentIndex());
  save();
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'\n').toStdString();
  EXPECT_EQ(steps, (QStringList{u"general"_s, u"about"_s, u"menu"_s, u"main"_s, u"categories"_s, u"window menu"_s,
                                u"group stylesheet"_s}));
  EXPECT_EQ(gConfiguration.Language.FILENAME, u"other.xml"_s);
  EXPECT_EQ(reload().Language.FILENAME, u"other.xml"_s);
  EXPECT_TRUE(orv::core::gLanguage.text(u"CONFIG_FORM/FRAMES/GENERAL").startsWith(u"Ot "_s));
  // The form, the tool bar, the category list and the about box all show the new texts.
  EXPECT_TRUE(childNamed<QGroupBox>(*form(), "fraGeneral")->title().startsWith(u"Ot "_s));
  EXPECT_TRUE(childNamed<QPushButton>(*form(), "cmdSaveConfig")->text().startsWith(u"Ot "_s));
  EXPECT_TRUE(orv::desktop::gMenuForm->button(orv::desktop::frmMenu::kConfig)->text().startsWith(u"Ot "_s));
  EXPECT_TRUE(panel()->categoryList()->item(0)->text().startsWith(u"Ot "_s));
  // The tray menu and the window menu.
  bool trayChanged = false;
  for (const QAction* action : window_->trayMenu().actions()) {
    trayChanged = trayChanged || action->text().startsWith(u"Ot "_s);
  }
  EXPECT_TRUE(trayChanged);
  const QAction* about = orv::desktop::systemMenuItem(*window_, orv::desktop::SystemMenuCommand::AboutApp);
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->text().startsWith(u"Ot "_s)) << about->text().toStdString();
  EXPECT_EQ(panel()->categoryList()->count(), 7);
  ASSERT_NE(orv::desktop::aboutForm(), nullptr);
  bool aboutChanged = false;
  for (const QLabel* label : orv::desktop::aboutForm()->findChildren<QLabel*>()) {
    aboutChanged = aboutChanged || label->text().startsWith(u"Ot "_s);
  }
  EXPECT_TRUE(aboutChanged);
  // Saving again with the language unchanged refreshes nothing.
  steps.clear();
  childNamed<QLineEdit>(*form(), "txtBannedClients")->setText(u"bot;"_s);
  save();
  EXPECT_TRUE(steps.isEmpty());
}

TEST_F(GeneralInWindow, ANewPortRestartsTheRunningServer) {
  window_->StartStopServer(true);
  ASSERT_TRUE(gConfiguration.AppState.blnServerStarted);
  const int before = window_->server().listeningPort();
  ASSERT_GT(before, 0);
  EXPECT_TRUE(statusLine(before).startsWith("HTTP/1.1 "));

  const int after = freePort();
  childNamed<QLineEdit>(*form(), "txtLocalPort")->setText(QString::number(after));
  save();
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u'\n').toStdString();
  EXPECT_TRUE(gConfiguration.AppState.blnServerStarted);
  EXPECT_EQ(window_->server().listeningPort(), after);
  EXPECT_TRUE(statusLine(after).startsWith("HTTP/1.1 "));
  EXPECT_FALSE(isListening(before));
  EXPECT_EQ(reload().Protocol.LOCAL_PORT, QString::number(after));

  // "0" + the port is the same port: no restart.
  childNamed<QLineEdit>(*form(), "txtLocalPort")->setText(u"0"_s + QString::number(after));
  save();
  EXPECT_EQ(window_->server().listeningPort(), after);
}

TEST_F(GeneralInWindow, APortThatCannotBeTakenSaysWhy) {
  window_->StartStopServer(true);
  ASSERT_TRUE(gConfiguration.AppState.blnServerStarted);
  // Another program's listening socket.
  const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(holder, 1), 0);
  socklen_t length = sizeof address;
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
  const int held = ntohs(address.sin_port);
  childNamed<QLineEdit>(*form(), "txtLocalPort")->setText(QString::number(held));
  save();
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_EQ(messages_[0], text(u"MSGBOX/ERRORS/PORT_ALREADY_OPEN"));
  EXPECT_FALSE(gConfiguration.AppState.blnServerStarted);
  EXPECT_EQ(reload().Protocol.LOCAL_PORT, QString::number(held));
  ::close(holder);
}

TEST_F(GeneralInWindow, AStoppedServerIsNotStartedByANewPort) {
  ASSERT_FALSE(gConfiguration.AppState.blnServerStarted);
  childNamed<QLineEdit>(*form(), "txtLocalPort")->setText(QString::number(freePort()));
  save();
  EXPECT_FALSE(gConfiguration.AppState.blnServerStarted);
  saveArtifact(*window_, u"config-window-general"_s);
}

}  // namespace
