#include "desktop/startup.h"

#include "content/mp3_reader.h"
#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/history_store.h"
#include "core/language.h"
#include "core/uploaded_store.h"
#include "desktop/frm_debug.h"
#include "desktop/frm_main.h"
#include "desktop/message_box.h"
#include "desktop/usr_systray.h"
#include "platform/xml.h"

#include "support/file_permissions.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::desktop::frmMain;
using orv::desktop::MessageAnswer;
using orv::desktop::MessageBoxRequest;

QStringList& consoleLines() {
  static QStringList lines;
  return lines;
}

void captureConsole(QtMsgType, const QMessageLogContext&, const QString& message) {
  consoleLines() << message;
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An application folder of its own for each test, with lang/english.xml and whatever the
// test adds; every message box is answered and recorded, every console line recorded.
class StartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    resetGlobals();
    consoleLines().clear();
    previousHandler_ = qInstallMessageHandler(captureConsole);
    orv::desktop::setMessageBoxAnswerer([this](const MessageBoxRequest& request) {
      boxes_.push_back(request);
      return MessageAnswer::Ok;
    });
    english_ = readFile(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_FALSE(english_.isEmpty());
  }

  void TearDown() override {
    window_.reset();
    orv::desktop::setMessageBoxAnswerer({});
    qInstallMessageHandler(previousHandler_);
    resetGlobals();
  }

  static void resetGlobals() {
    gConfiguration = {};
    orv::core::gAppFolder.clear();
    orv::core::gLanguage = {};
    orv::core::gLanguagesList = {};
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
  }

  void writeLanguage(const QString& name, const QByteArray& bytes) const { folder_.write(u"lang/"_s + name, bytes); }

  QByteArray englishWithVersion(const QByteArray& version) const {
    return QByteArray(english_).replace(
        "<MAX_APP_VERSION_COMPATIBLILITY>1.02</MAX_APP_VERSION_COMPATIBLILITY>",
        "<MAX_APP_VERSION_COMPATIBLILITY>" + version + "</MAX_APP_VERSION_COMPATIBLILITY>");
  }

  // Listed (its header is whole) but not loadable (a text is missing).
  QByteArray brokenLanguage() const { return QByteArray(english_).replace("<SUBMIT>Log in</SUBMIT>", ""); }

  QString writeConfig(const QByteArray& sections) const {
    return folder_.write(
        u"config.xml"_s,
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\">" + sections + "</CONFIGURATION>");
  }

  bool load(const QString& commandLine = {}) {
    window_ = std::make_unique<frmMain>(folder_.path(), commandLine);
    return window_->MDIForm_Load();
  }

  QStringList boxTexts() const {
    QStringList texts;
    for (const MessageBoxRequest& box : boxes_) {
      texts << box.text;
    }
    return texts;
  }

  QStringList folderEntries() const {
    return QDir(folder_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
  }

  TempFolder folder_;
  QByteArray english_;
  std::unique_ptr<frmMain> window_;
  std::vector<MessageBoxRequest> boxes_;
  QtMessageHandler previousHandler_ = nullptr;
};

TEST_F(StartUp, WithoutLanguageFilesItEndsBeforeReadingTheConfiguration) {
  struct Case {
    const char* name;
    std::vector<std::pair<QString, QByteArray>> files;
  };
  const std::vector<Case> cases = {
      {"no lang folder", {}},
      {"empty lang folder", {{u"lang/.keep"_s, {}}}},
      {"no usable language file", {{u"lang/notes.txt"_s, "text"}, {u"lang/bad.xml"_s, "<not closed"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    for (const auto& [name, bytes] : c.files) {
      folder.write(name, bytes);
    }
    folder.write(u"config.xml"_s,
                 "<CONFIGURATION version=\"102\"><PROTOCOL><LOCAL_PORT>4321</LOCAL_PORT></PROTOCOL></CONFIGURATION>");
    boxes_.clear();
    consoleLines().clear();
    gConfiguration = {};
    frmMain window(folder.path(), {});
    EXPECT_FALSE(window.MDIForm_Load());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, u"No file language found"_s);
    EXPECT_EQ(boxes_[0].title, u"Error"_s);
    EXPECT_EQ(boxes_[0].icon, orv::desktop::MessageIcon::Critical);
    EXPECT_TRUE(consoleLines().contains(u"No file language found"_s));
    EXPECT_EQ(gConfiguration.Protocol.LOCAL_PORT, u"80"_s);  // config.xml was not read
    EXPECT_FALSE(window.isVisible());
  }
}

TEST_F(StartUp, FailingConfiguredLanguageStartsInEnglishWithoutSaving) {
  writeLanguage(u"english.xml"_s, english_);
  writeLanguage(u"broken.xml"_s, brokenLanguage());
  const QString config = writeConfig("<LANGUAGE><FILENAME>broken.xml</FILENAME></LANGUAGE>");
  const QByteArray before = readFile(config);

  ASSERT_TRUE(load());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(orv::core::gLanguage.blnLoaded);
  EXPECT_EQ(gConfiguration.Language.FILENAME, u"english.xml"_s);
  EXPECT_EQ(gConfiguration.Language.strLanguageFilePath, folder_.file(u"lang/english.xml"_s));
  window_->close();
  EXPECT_EQ(readFile(config), before);
}

TEST_F(StartUp, WithoutALoadableLanguageItEnds) {
  struct Case {
    const char* name;
    const char* configured;
    bool englishBroken;
  };
  const std::vector<Case> cases = {
      {"configured file broken, no english.xml", "broken.xml", false},
      {"english.xml itself broken", "english.xml", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    folder.write(u"lang/broken.xml"_s, brokenLanguage());
    if (c.englishBroken) {
      folder.write(u"lang/english.xml"_s, brokenLanguage());
    }
    folder.write(u"config.xml"_s, QByteArray("<CONFIGURATION version=\"102\"><LANGUAGE><FILENAME>") + c.configured +
                                      "</FILENAME></LANGUAGE></CONFIGURATION>");
    boxes_.clear();
    frmMain window(folder.path(), {});
    EXPECT_FALSE(window.MDIForm_Load());
    EXPECT_EQ(boxTexts(), QStringList{u"No language file found"_s});
    ASSERT_FALSE(boxes_.empty());
    EXPECT_EQ(boxes_[0].title, u"Error"_s);
  }
}

TEST_F(StartUp, LanguageFileMustKnowThisVersion) {
  struct Case {
    QByteArray version;
    bool passes;
  };
  const std::vector<Case> cases = {
      {"1.01", false},  {"1.02", true},   {"1.2.0", true},   {"2.00", true},
      {"1.0", false},   {"abc", false},   {"9.99.99", true},  // compared number by number, not as 99999
      {"1.0.10", true}, {"0.9.9", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version.constData());
    resetGlobals();
    boxes_.clear();
    writeLanguage(u"english.xml"_s, englishWithVersion(c.version));
    EXPECT_EQ(load(), c.passes);
    if (c.passes) {
      EXPECT_TRUE(boxes_.empty());
      window_->close();
    } else {
      EXPECT_EQ(boxTexts(), QStringList{u"Language file version out of date"_s});
      ASSERT_FALSE(boxes_.empty());
      EXPECT_TRUE(boxes_[0].title.isEmpty());  // the box shows the application title
    }
  }
}

TEST_F(StartUp, VersionTextsReadWithoutTheirDots) {
  EXPECT_EQ(orv::desktop::fnctLanguageVersionNumber(u"1.02"_s), std::optional<qint16>(102));
  EXPECT_EQ(orv::desktop::fnctLanguageVersionNumber(u"3.2.7.6.7"_s), std::optional<qint16>(32767));
  EXPECT_EQ(orv::desktop::fnctLanguageVersionNumber(u"3.2.7.6.8"_s), std::nullopt);
  EXPECT_EQ(orv::desktop::fnctLanguageVersionNumber(u""_s), std::nullopt);
}

TEST_F(StartUp, OnlyTheDebugArgumentAloneOpensTheDebugWindow) {
  writeLanguage(u"english.xml"_s, english_);
  struct Case {
    QStringList arguments;
    bool opens;
  };
  const std::vector<Case> cases = {
      {{u"orvendale"_s, u"/debug"_s}, true},    {{u"orvendale"_s, u"/DEBUG"_s}, true},
      {{u"orvendale"_s, u"/Debug"_s}, true},    {{u"orvendale"_s, u"/debug"_s, u"x"_s}, false},
      {{u"orvendale"_s, u"/debug x"_s}, false}, {{u"orvendale"_s}, false},
      {{u"orvendale"_s, u"debug"_s}, false},
  };
  for (const Case& c : cases) {
    const QString commandLine = orv::desktop::commandLineText(c.arguments);
    SCOPED_TRACE(commandLine.toStdString());
    resetGlobals();
    ASSERT_TRUE(load(commandLine));
    EXPECT_EQ(window_->debugForm() != nullptr, c.opens);
    EXPECT_EQ(gConfiguration.AppState.blnDebugFormLoaded, c.opens);
    window_->close();
    window_.reset();
    EXPECT_FALSE(gConfiguration.AppState.blnDebugFormLoaded);
  }
}

TEST_F(StartUp, DebugWindowShowsTheLogWhileOpen) {
  writeLanguage(u"english.xml"_s, english_);
  ASSERT_TRUE(load(u"/debug"_s));
  orv::core::subAddDebugEvent(u"first"_s, orv::core::DebugEventCategory::Always);
  orv::core::subAddDebugEvent(u"second"_s, orv::core::DebugEventCategory::Always);
  const QStringList lines = window_->debugForm()->shownLines();
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].endsWith(u"] second"_s));
  EXPECT_TRUE(lines[1].endsWith(u"] first"_s));
  window_->debugForm()->close();  // its lines go with it
  EXPECT_EQ(orv::core::debugEventLog().count(), 0);
  window_->showDebugForm();
  EXPECT_TRUE(window_->debugForm()->shownLines().isEmpty());
}

TEST_F(StartUp, WindowShowsItsCaptionUnlessItStartsInTheTray) {
  writeLanguage(u"english.xml"_s, english_);
  struct Case {
    bool inTray;
    bool trayAvailable;
    bool windowShown;  // without a tray no icon could stand in for the window
  };
  for (const Case c : {Case{false, true, true}, Case{true, true, false}, Case{true, false, true}}) {
    SCOPED_TRACE(QStringLiteral("in tray %1, tray %2").arg(c.inTray).arg(c.trayAvailable).toStdString());
    resetGlobals();
    orv::desktop::setTrayAvailability([c] { return c.trayAvailable; });
    writeConfig(QByteArray("<OTHER><START_IN_TRAY>") + (c.inTray ? "true" : "false") + "</START_IN_TRAY></OTHER>");
    ASSERT_TRUE(load());
    EXPECT_EQ(window_->isVisible(), c.windowShown);
    EXPECT_EQ(window_->getIsIconIsVisible(), !c.windowShown);
    EXPECT_EQ(window_->windowTitle(),
              orv::desktop::isDebugMode() ? u"Orvendale 1.02 [Debug mode]"_s : u"Orvendale 1.02"_s);
    EXPECT_EQ(gConfiguration.AppDisplay.intMainFormWidth, window_->width() * orv::desktop::kTwipsPerPixel);
    EXPECT_EQ(gConfiguration.AppDisplay.intMainFormHeight, window_->height() * orv::desktop::kTwipsPerPixel);
    window_->close();
  }
  orv::desktop::setTrayAvailability({});
}

TEST_F(StartUp, BuildsTheStylesheetsAndLoadsThePageStylesheetOnlyWhenTheServerTransforms) {
  writeLanguage(u"english.xml"_s, english_);
  folder_.write(u"resources/classic-full.xsl"_s,
                readFile(QStringLiteral(ORV_SOURCE_DIR "/resources/classic-full.xsl")));
  for (const bool byServer : {true, false}) {
    SCOPED_TRACE(byServer);
    resetGlobals();
    writeConfig(QByteArray("<HTML_DISPLAY><XSL_FILE>classic-full.xsl</XSL_FILE><PAGE_BUILD_METHOD>") +
                (byServer ? "server" : "client") + "</PAGE_BUILD_METHOD></HTML_DISPLAY>");
    ASSERT_TRUE(load());
    const orv::core::tAppState& state = gConfiguration.AppState;
    for (const auto& document : {state.objXslSortDocument, state.objXslGroupDocument}) {
      ASSERT_NE(document, nullptr);
      EXPECT_EQ(document->documentElement().name(), u"stylesheet"_s);
    }
    ASSERT_NE(state.objXslTransformDocument, nullptr);
    EXPECT_EQ(state.objXslTransformDocument->documentElement().isNull(), !byServer);
    window_->close();
  }
}

TEST_F(StartUp, FillsTheBitrateTablesOfTheMp3Reader) {
  writeLanguage(u"english.xml"_s, english_);
  orv::content::gBitrateTables = {};
  writeConfig({});
  ASSERT_TRUE(load());
  EXPECT_EQ(orv::content::gBitrateTables[0][9], 128);  // MPEG-1 Layer III, index 9
  window_->close();
}

TEST_F(StartUp, StoresAreLoadedAfterTheConfiguration) {
  writeLanguage(u"english.xml"_s, english_);
  writeConfig("<HISTORY><MAX_ENTRY>2</MAX_ENTRY></HISTORY>");
  QByteArray events;
  for (const char* text : {"/one", "/two", "/three"}) {
    events +=
        QByteArray("<EVENT type=\"4\" ipAddress=\"10.0.0.1\" date=\"2006/03/07 04:05:09\" text=\"") + text + "\"/>";
  }
  folder_.write(u"history.xml"_s, "<HISTORY>" + events + "</HISTORY>");
  folder_.write(u"uploaded.xml"_s,
                "<UPLOADED><TRANSFERS/><FILES><FILE path=\"/a\" nbFinished=\"3\" sizeSent=\"9\"/></FILES></UPLOADED>");
  ASSERT_TRUE(load());
  ASSERT_EQ(orv::core::gHistoryLists.count(), 2);  // MAX_ENTRY of config.xml, the newest kept
  EXPECT_EQ(orv::core::gHistoryLists.events.front().text, u"/two"_s);
  EXPECT_EQ(orv::core::gUploadedLists.file(u"/a"_s).nbFinishedTotal, 3);
}

TEST_F(StartUp, StoreFilesThatAreNotRegularFilesAreNotWaitedFor) {
  writeLanguage(u"english.xml"_s, english_);
  folder_.makeFolder(u"cache"_s);
  // Pipes without a writer: opening one to read it would wait for ever.
  for (const QString& name : {u"config.xml"_s, u"history.xml"_s, u"uploaded.xml"_s, u"cache/cache.xml"_s}) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder_.file(name)).constData(), 0600), 0);
  }
  ASSERT_TRUE(load());
  EXPECT_EQ(gConfiguration.Protocol.LOCAL_PORT, u"80"_s);
  EXPECT_EQ(orv::core::gHistoryLists.count(), 0);
  EXPECT_TRUE(orv::core::gUploadedLists.transfers.empty());
  window_->close();
}

TEST_F(StartUp, ClosingWithNothingModifiedWritesNoFile) {
  writeLanguage(u"english.xml"_s, english_);
  const QString config = writeConfig("<HISTORY><KEEP_HISTORY>false</KEEP_HISTORY></HISTORY>");
  const QByteArray before = readFile(config);
  const QStringList entries = folderEntries();
  ASSERT_TRUE(load());
  window_->close();
  EXPECT_EQ(folderEntries(), entries);
  EXPECT_EQ(readFile(config), before);
}

TEST_F(StartUp, ModifiedHistoryIsSavedOrEmptiedByKeepHistory) {
  writeLanguage(u"english.xml"_s, english_);
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep);
    resetGlobals();
    writeConfig(QByteArray("<HISTORY><KEEP_HISTORY>") + (keep ? "true" : "false") + "</KEEP_HISTORY></HISTORY>");
    folder_.write(
        u"history.xml"_s,
        "<HISTORY><EVENT type=\"7\" ipAddress=\"10.0.0.1\" date=\"2006/03/07 04:05:09\" text=\"/old\"/></HISTORY>");
    ASSERT_TRUE(load());
    orv::core::subAddEntryInHistory(orv::core::HistoryEventType::NOT_FOUND, u"10.0.0.2"_s, u"/new"_s);
    window_->close();
    const QByteArray saved = readFile(folder_.file(u"history.xml"_s));
    EXPECT_EQ(saved.contains("/old") && saved.contains("/new"), keep) << saved.constData();
    EXPECT_EQ(saved.contains("EVENT"), keep) << saved.constData();
    EXPECT_EQ(orv::core::fnctLoadHistory(folder_.file(u"history.xml"_s)).count(), keep ? 2 : 0);
  }
}

TEST_F(StartUp, FailedSaveAtShutDownIsReportedAndTheOthersAreWritten) {
  writeLanguage(u"english.xml"_s, english_);
  folder_.makeFolder(u"history.xml"_s);  // nothing can be renamed over a folder
  ASSERT_TRUE(load());
  orv::core::subAddEntryInHistory(orv::core::HistoryEventType::NOT_FOUND, u"10.0.0.2"_s, u"/x"_s);
  orv::core::subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.2"_s, 10, true, true);
  gConfiguration.AppState.blnConfigModified = true;
  consoleLines().clear();
  window_->close();
  EXPECT_TRUE(consoleLines().filter(u"Unable to save the history"_s).size() == 1)
      << consoleLines().join(u'\n').toStdString();
  EXPECT_EQ(orv::core::fnctLoadUploadedLists(folder_.file(u"uploaded.xml"_s)).transfers.size(), 1u);
  EXPECT_TRUE(QFile::exists(folder_.file(u"config.xml"_s)));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(StartUp, ReadOnlyApplicationFolderKeepsEveryOldFileAndSaysWhy) {
  writeLanguage(u"english.xml"_s, english_);
  const QString config = writeConfig("<PROTOCOL><LOCAL_PORT>4321</LOCAL_PORT></PROTOCOL>");
  const QString history = folder_.write(
      u"history.xml"_s,
      "<HISTORY><EVENT type=\"7\" ipAddress=\"10.0.0.1\" date=\"2006/03/07 04:05:09\" text=\"/old\"/></HISTORY>");
  const QString uploaded = folder_.write(u"uploaded.xml"_s, "<UPLOADED><TRANSFERS/><FILES/></UPLOADED>");
  const QByteArray configBefore = readFile(config);
  const QByteArray historyBefore = readFile(history);
  const QByteArray uploadedBefore = readFile(uploaded);
  ASSERT_TRUE(load(u"/debug"_s));
  orv::core::subAddEntryInHistory(orv::core::HistoryEventType::NOT_FOUND, u"10.0.0.2"_s, u"/new"_s);
  orv::core::subAddUploadInUploadedLists(u"/srv/a"_s, u"10.0.0.2"_s, 10, true, true);
  gConfiguration.AppState.blnConfigModified = true;
  const QStringList entries = folderEntries();
  orv::core::debugEventLog().clear();
  consoleLines().clear();

  const QByteArray folder = QFile::encodeName(folder_.path());
  ASSERT_EQ(::chmod(folder.constData(), 0500), 0);
  {
    const ObeyFilePermissions obey;
    ASSERT_TRUE(obey.binding());
    window_->close();
  }
  ::chmod(folder.constData(), 0700);

  QStringList logged;
  for (qsizetype row = 0; row < orv::core::debugEventLog().count(); ++row) {
    logged << orv::core::debugEventLog().line(row).text;
  }
  for (const QString& what : {u"configuration"_s, u"history"_s, u"sent files"_s}) {
    const QString reason = u"Unable to save the "_s + what + u": "_s;
    EXPECT_EQ(consoleLines().filter(reason).size(), 1) << consoleLines().join(u'\n').toStdString();
    EXPECT_EQ(logged.filter(reason).size(), 1) << logged.join(u'\n').toStdString();
  }
  EXPECT_EQ(readFile(config), configBefore);
  EXPECT_EQ(readFile(history), historyBefore);
  EXPECT_EQ(readFile(uploaded), uploadedBefore);
  EXPECT_EQ(folderEntries(), entries);
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  EXPECT_TRUE(boxes_.empty());
}

}  // namespace
