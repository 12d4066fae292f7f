#include "desktop/frm_history.h"

#include "core/config_file.h"
#include "core/configuration.h"
#include "core/history_store.h"
#include "core/language.h"
#include "desktop/desktop_utils.h"
#include "desktop/message_box.h"
#include "platform/clock.h"

#include "support/event_loop.h"
#include "support/file_permissions.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"
#include "ui_artifact.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::core::gHistoryLists;
using orv::core::HistoryEventType;
using orv::core::tHistoryEvent;
using orv::desktop::frmHistory;
using orv::desktop::MessageAnswer;
using orv::desktop::MessageBoxRequest;

const QDateTime kNow(QDate(2006, 3, 7), QTime(4, 5, 9));

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An application folder of its own, the English texts, a fixed clock; every message box
// and every shell-open is recorded instead of shown.
class HistoryWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    resetGlobals();
    orv::core::gAppFolder = folder_.path();
    orv::core::gLanguage = orv::core::fnctLoadLanguage(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml"));
    ASSERT_TRUE(orv::core::gLanguage.blnLoaded);
    orv::platform::setFixedDateTime(kNow);
    orv::desktop::setMessageBoxAnswerer([this](const MessageBoxRequest& request) {
      boxes_.push_back(request);
      return MessageAnswer::Ok;
    });
    orv::desktop::setShellOpener([this](const QUrl& url) { opened_.push_back(url); });
  }
  void TearDown() override {
    window_.reset();
    orv::desktop::setShellOpener({});
    orv::desktop::setMessageBoxAnswerer({});
    orv::platform::clearFixedDateTime();
    resetGlobals();
  }
  static void resetGlobals() {
    gConfiguration = {};
    gHistoryLists = {};
    orv::core::gLanguage = {};
    orv::core::gAppFolder.clear();
  }

  static void store(int type, const QString& ip, const QString& text, bool isNew,
                    const QString& date = u"2006/03/07 04:05:09"_s) {
    gHistoryLists.events.push_back({date, static_cast<HistoryEventType>(type), ip, text, isNew});
  }

  frmHistory& open() {
    window_ = std::make_unique<frmHistory>();
    window_->resize(780, 420);
    window_->show();
    return *window_;
  }

  template <typename T>
  T* child(const char* name) const {
    T* found = window_->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QTableView* list() const { return child<QTableView>("flexHistoryList"); }
  QMenu* menu() const { return child<QMenu>("mnuHistoryList"); }
  QAction* action(const char* name) const { return child<QAction>(name); }
  QLineEdit* limitField() const { return child<QLineEdit>("txtMaxHistoryEntry"); }
  QPushButton* saveButton() const { return child<QPushButton>("cmdSaveHistoryParam"); }
  QCheckBox* keepBox() const { return child<QCheckBox>("chkKeepHistory"); }

  QString lineAt(int row) const { return list()->model()->index(row, 1).data().toString(); }
  QStringList lines() const {
    QStringList result;
    for (int row = 0; row < list()->model()->rowCount(); ++row) {
      result << lineAt(row);
    }
    return result;
  }

  // A right click on the row (the mouse's context menu request).
  void rightClick(int row) const {
    const QPoint at = row < 0 ? QPoint(40, 5) : list()->visualRect(list()->model()->index(row, 1)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list()->viewport(), &event);
  }
  void doubleClick(int row) const {
    // As the pointer delivers it: a click, then the second press as a double click.
    const QPoint at = list()->visualRect(list()->model()->index(row, 1)).center();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list()->viewport(), Qt::LeftButton, {}, at);
  }
  void leaveField() const {
    QFocusEvent event(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(limitField(), &event);
  }
  void typeLimit(const QString& text) const { limitField()->setText(text); }

  QStringList openedPaths() const {
    QStringList paths;
    for (const QUrl& url : opened_) {
      paths << url.toLocalFile();
    }
    return paths;
  }

  TempFolder folder_;
  std::unique_ptr<frmHistory> window_;
  std::vector<MessageBoxRequest> boxes_;
  std::vector<QUrl> opened_;
};

TEST_F(HistoryWindow, LoadShowsTheStoreNewestFirstAndOpensTheLiveFeed) {
  store(7, u"10.0.0.1"_s, u"/srv/old"_s, false);
  store(10, u"10.0.0.3"_s, u"240"_s, true);
  open();
  EXPECT_EQ(lines(), QStringList({u"2006/03/07 04:05:09 | 10.0.0.3 | Address banned for 240s"_s,
                                  u"2006/03/07 04:05:09 | 10.0.0.1 | Not found '/srv/old'"_s}));
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryFormLoaded);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, 3);
  EXPECT_FALSE(saveButton()->isEnabled());
  EXPECT_EQ(list()->currentIndex().row(), 0);
  EXPECT_EQ(list()->columnWidth(0), 19);
  EXPECT_EQ(list()->rowHeight(0), 18);

  // The server records an event while the panel is shown: it comes at the top.
  orv::core::subAddEntryInHistory(HistoryEventType::LOGIN_FAILED, u"10.0.0.9"_s, QString());
  ASSERT_EQ(list()->model()->rowCount(), 3);
  EXPECT_EQ(lineAt(0), u"2006/03/07 04:05:09 | 10.0.0.9 | Identification failed"_s);
  EXPECT_EQ(list()->currentIndex().row(), 0);

  window_.reset();
  EXPECT_FALSE(gConfiguration.AppState.blnHistoryFormLoaded);
  EXPECT_EQ(orv::core::getHistoryWindow(), nullptr);
  orv::core::subAddEntryInHistory(HistoryEventType::LOGIN_FAILED, u"10.0.0.9"_s, QString());
  EXPECT_EQ(gHistoryLists.count(), 4);
}

TEST_F(HistoryWindow, EventsOfEarlierRunsAreGreyAndThisRunsAreNot) {
  store(4, u"10.0.0.1"_s, u"/srv/a/"_s, false);
  store(4, u"10.0.0.1"_s, u"/srv/b/"_s, true);
  open();
  orv::core::subAddEntryInHistory(HistoryEventType::NOT_FOUND, u"10.0.0.2"_s, u"/srv/c"_s);
  const QAbstractItemModel* model = list()->model();
  const std::vector<bool> grey = {false, false, true};
  ASSERT_EQ(model->rowCount(), 3);
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    for (const int column : {0, 1}) {
      const QVariant colour = model->index(row, column).data(Qt::ForegroundRole);
      if (grey[static_cast<std::size_t>(row)]) {
        EXPECT_EQ(colour.value<QColor>(), QColor(128, 128, 128));
      } else {
        EXPECT_FALSE(colour.isValid());
      }
    }
  }
}

TEST_F(HistoryWindow, TheLimitCutsTheRowsAsEventsArrive) {
  gConfiguration.History.MAX_ENTRY = 3;
  for (int i = 1; i <= 3; ++i) {
    store(7, u"10.0.0.1"_s, u"/e%1"_s.arg(i), false);
  }
  open();
  orv::core::subAddEntryInHistory(HistoryEventType::NOT_FOUND, u"10.0.0.1"_s, u"/e4"_s);
  ASSERT_EQ(list()->model()->rowCount(), 3);
  EXPECT_TRUE(lineAt(0).endsWith(u"'/e4'"_s));
  EXPECT_TRUE(lineAt(2).endsWith(u"'/e2'"_s));
  EXPECT_EQ(gHistoryLists.count(), 3);
}

TEST_F(HistoryWindow, TheMenuFollowsTheEventType) {
  struct Case {
    int type;
    bool openFile;
    bool openFolder;
    const char* defaultItem;
  };
  const std::vector<Case> cases = {
      {1, true, true, "mnuHistoryList_OpenFile"}, {2, true, true, "mnuHistoryList_OpenFile"},
      {3, true, true, "mnuHistoryList_OpenFile"}, {4, false, true, "mnuHistoryList_OpenFolder"},
      {5, false, false, "mnuHistoryList_Clear"},  {6, false, true, "mnuHistoryList_OpenFolder"},
      {7, false, false, "mnuHistoryList_Clear"},  {8, true, true, "mnuHistoryList_OpenFile"},
      {9, false, false, "mnuHistoryList_Clear"},  {10, false, false, "mnuHistoryList_Clear"},
      {11, false, false, "mnuHistoryList_Clear"},
  };
  for (const Case& c : cases) {
    store(c.type, u"10.0.0.1"_s, u"/srv/x"_s, false);
  }
  open();
  const int rows = list()->model()->rowCount();
  ASSERT_EQ(rows, 11);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const int row = rows - c.type;  // the first stored is at the bottom
    rightClick(row);
    ASSERT_TRUE(menu()->isVisible());
    EXPECT_EQ(list()->currentIndex().row(), row);
    EXPECT_TRUE(list()->selectionModel()->isRowSelected(row, {}));
    EXPECT_EQ(action("mnuHistoryList_OpenFile")->isVisible(), c.openFile);
    EXPECT_EQ(action("mnuHistoryList_OpenFolder")->isVisible(), c.openFolder);
    EXPECT_EQ(action("separator1")->isVisible(), c.openFolder);
    EXPECT_TRUE(action("mnuHistoryList_Clear")->isVisible());
    EXPECT_EQ(menu()->defaultAction(), action(c.defaultItem));
    menu()->hide();
  }
}

TEST_F(HistoryWindow, ARightClickOnAnEmptyListShowsNoMenu) {
  open();
  rightClick(-1);
  EXPECT_FALSE(menu()->isVisible());
}

TEST_F(HistoryWindow, OpeningGoesThroughTheShell) {
  const QString file = folder_.write(u"pub/a.txt"_s, "a");
  const QString sub = folder_.makeFolder(u"pub/sub"_s);
  store(3, u"10.0.0.1"_s, file, false);                    // row 3
  store(4, u"10.0.0.1"_s, sub, false);                     // row 2
  store(5, u"10.0.0.1"_s, u"/virtual/"_s, false);          // row 1
  store(1, u"10.0.0.1"_s, folder_.file(u"gone"_s), true);  // row 0
  open();

  doubleClick(3);
  EXPECT_EQ(openedPaths(), QStringList({file}));
  rightClick(3);
  action("mnuHistoryList_OpenFolder")->trigger();
  EXPECT_EQ(openedPaths().last(), folder_.file(u"pub"_s));
  action("mnuHistoryList_OpenFile")->trigger();
  EXPECT_EQ(openedPaths().last(), file);
  menu()->hide();

  // A folder event's "Open folder" opens that folder, not the one above it.
  rightClick(2);
  action("mnuHistoryList_OpenFolder")->trigger();
  EXPECT_EQ(openedPaths().last(), sub);
  menu()->hide();
  doubleClick(2);
  EXPECT_EQ(openedPaths().last(), sub);

  // A virtual folder and a file that is gone open nothing.
  opened_.clear();
  doubleClick(1);
  doubleClick(0);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(HistoryWindow, ARowOpensItsOwnEventWhateverWasLeftOut) {
  const QString first = folder_.write(u"first.txt"_s, "1");
  const QString second = folder_.write(u"second.txt"_s, "2");
  store(3, u"10.0.0.1"_s, first, false);
  store(42, u"10.0.0.1"_s, u"not shown"_s, false);  // a type the list cannot show
  store(3, u"10.0.0.1"_s, second, false);
  open();
  ASSERT_EQ(list()->model()->rowCount(), 2);
  doubleClick(1);
  EXPECT_EQ(openedPaths(), QStringList({first}));

  // An event arriving while the menu is open moves the rows, not the event of the menu.
  rightClick(1);
  orv::core::subAddEntryInHistory(HistoryEventType::LOGIN_FAILED, u"10.0.0.2"_s, QString());
  action("mnuHistoryList_OpenFile")->trigger();
  EXPECT_EQ(openedPaths().last(), first);
  menu()->hide();
}

TEST_F(HistoryWindow, ClearEmptiesTheListTheStoreAndTheFileAtOnce) {
  gConfiguration.History.KEEP_HISTORY = true;
  const QString path = folder_.write(
      u"history.xml"_s,
      R"(<HISTORY><EVENT type="7" ipAddress="10.0.0.1" date="2006/03/07 04:05:09" text="/old"/></HISTORY>)");
  gHistoryLists = orv::core::fnctLoadHistory(path);
  open();
  orv::core::subAddEntryInHistory(HistoryEventType::NOT_FOUND, u"10.0.0.2"_s, u"/new"_s);
  rightClick(0);
  action("mnuHistoryList_Clear")->trigger();
  EXPECT_EQ(list()->model()->rowCount(), 0);
  EXPECT_EQ(gHistoryLists.count(), 0);
  EXPECT_FALSE(gConfiguration.AppState.blnHistoryModified);
  EXPECT_EQ(orv::core::fnctLoadHistory(path).count(), 0);
  EXPECT_TRUE(readFile(path).contains("<HISTORY/>"));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(HistoryWindow, AClearThatCannotWriteSaysSoAndRemovesNothing) {
  const QString path = folder_.write(
      u"history.xml"_s,
      R"(<HISTORY><EVENT type="7" ipAddress="10.0.0.1" date="2006/03/07 04:05:09" text="/old"/></HISTORY>)");
  gHistoryLists = orv::core::fnctLoadHistory(path);
  open();
  orv::core::subAddEntryInHistory(HistoryEventType::NOT_FOUND, u"10.0.0.2"_s, u"/new"_s);
  const QByteArray before = readFile(path);
  rightClick(0);
  const QByteArray folder = QFile::encodeName(folder_.path());
  ASSERT_EQ(::chmod(folder.constData(), 0500), 0);
  {
    const ObeyFilePermissions obey;
    ASSERT_TRUE(obey.binding());
    action("mnuHistoryList_Clear")->trigger();
  }
  ::chmod(folder.constData(), 0700);
  menu()->hide();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_TRUE(boxes_[0].text.startsWith(u"The history could not be cleared: "_s)) << boxes_[0].text.toStdString();
  EXPECT_EQ(boxes_[0].icon, orv::desktop::MessageIcon::Critical);
  EXPECT_EQ(list()->model()->rowCount(), 2);
  EXPECT_EQ(gHistoryLists.count(), 2);
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryModified);
  EXPECT_EQ(readFile(path), before);
}

TEST_F(HistoryWindow, LeavingTheLimitFieldPutsBackWhatIsRefused) {
  gConfiguration.History.MAX_ENTRY = 150;
  open();
  struct Case {
    QString typed;
    QString after;
  };
  const std::vector<Case> cases = {
      {u"0"_s, u"150"_s},   {u"-1"_s, u"-1"_s}, {u"-2"_s, u"150"_s},      {u"65537"_s, u"150"_s},
      {u"abc"_s, u"150"_s}, {u" 5"_s, u"5"_s},  {u"65536"_s, u"65536"_s}, {u""_s, u"150"_s},
  };
  for (const Case& c : cases) {
    typeLimit(c.typed);
    leaveField();
    EXPECT_EQ(limitField()->text(), c.after) << c.typed.toStdString();
  }
  EXPECT_EQ(gConfiguration.History.MAX_ENTRY, 150);
}

TEST_F(HistoryWindow, EnterChecksAndMovesToSaveEscapePutsBack) {
  gConfiguration.History.MAX_ENTRY = 150;
  open();
  window_->activateWindow();
  limitField()->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  typeLimit(u"0"_s);
  QTest::keyClick(limitField(), Qt::Key_Return);
  EXPECT_EQ(limitField()->text(), u"150"_s);
  EXPECT_TRUE(saveButton()->hasFocus());

  limitField()->setFocus();
  typeLimit(u"42"_s);
  QTest::keyClick(limitField(), Qt::Key_Escape);
  EXPECT_EQ(limitField()->text(), u"150"_s);
  EXPECT_TRUE(keepBox()->hasFocus());
}

TEST_F(HistoryWindow, LoweringTheLimitKeepsTheNewestAndWritesTheConfiguration) {
  gConfiguration.History.MAX_ENTRY = 150;
  for (int i = 1; i <= 50; ++i) {
    store(7, u"10.0.0.1"_s, u"/e%1"_s.arg(i), false);
  }
  open();
  EXPECT_FALSE(saveButton()->isEnabled());
  typeLimit(u"10"_s);
  EXPECT_TRUE(saveButton()->isEnabled());
  leaveField();
  QTest::mouseClick(saveButton(), Qt::LeftButton);
  EXPECT_EQ(gConfiguration.History.MAX_ENTRY, 10);
  ASSERT_EQ(gHistoryLists.count(), 10);
  EXPECT_EQ(gHistoryLists.events.front().text, u"/e41"_s);
  ASSERT_EQ(list()->model()->rowCount(), 10);
  EXPECT_TRUE(lineAt(0).endsWith(u"'/e50'"_s));
  EXPECT_TRUE(lineAt(9).endsWith(u"'/e41'"_s));
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryModified);
  EXPECT_FALSE(saveButton()->isEnabled());
  EXPECT_EQ(orv::core::fnctLoadConfiguration(folder_.file(u"config.xml"_s)).History.MAX_ENTRY, 10);

  // Raising it again changes nothing in the lists.
  typeLimit(u"500"_s);
  QTest::mouseClick(saveButton(), Qt::LeftButton);
  EXPECT_EQ(gHistoryLists.count(), 10);
  EXPECT_EQ(list()->model()->rowCount(), 10);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(HistoryWindow, KeepHistoryIsSavedWithTheCheckBox) {
  gConfiguration.History.KEEP_HISTORY = true;
  open();
  EXPECT_TRUE(keepBox()->isChecked());
  QTest::mouseClick(keepBox(), Qt::LeftButton);
  EXPECT_TRUE(saveButton()->isEnabled());
  QTest::mouseClick(saveButton(), Qt::LeftButton);
  EXPECT_FALSE(gConfiguration.History.KEEP_HISTORY);
  EXPECT_FALSE(orv::core::fnctLoadConfiguration(folder_.file(u"config.xml"_s)).History.KEEP_HISTORY);
}

TEST_F(HistoryWindow, SaveChecksTheFieldEvenWithoutLeavingIt) {
  gConfiguration.History.MAX_ENTRY = 150;
  store(7, u"10.0.0.1"_s, u"/e"_s, false);
  open();
  typeLimit(u"0"_s);
  saveButton()->click();  // no focus change: the field was never left
  EXPECT_EQ(gConfiguration.History.MAX_ENTRY, 150);
  EXPECT_EQ(limitField()->text(), u"150"_s);
  EXPECT_EQ(gHistoryLists.count(), 1);
}

TEST_F(HistoryWindow, ASaveThatCannotWriteSaysSoAndStaysModified) {
  folder_.makeFolder(u"config.xml"_s);  // nothing can be renamed over a folder
  open();
  typeLimit(u"20"_s);
  saveButton()->click();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_TRUE(boxes_[0].text.startsWith(u"The settings could not be saved: "_s)) << boxes_[0].text.toStdString();
  EXPECT_TRUE(gConfiguration.AppState.blnConfigModified);
  EXPECT_EQ(gConfiguration.History.MAX_ENTRY, 20);
  EXPECT_TRUE(saveButton()->isEnabled());
}

TEST_F(HistoryWindow, ControlsCarryTheirNamesAndTexts) {
  open();
  EXPECT_EQ(window_->objectName(), u"frmHistory"_s);
  for (const char* name : {"fraContent", "fraParam", "txtHistoryList_OutLine", "lblMaxHistoryEntry"}) {
    EXPECT_NE(window_->findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
  }
  EXPECT_EQ(keepBox()->text(), u"Keep the history when Orvendale closes"_s);
  EXPECT_EQ(keepBox()->accessibleName(), keepBox()->text());
  EXPECT_EQ(saveButton()->accessibleName(), u"Save"_s);
  EXPECT_EQ(limitField()->accessibleName(), u"Events kept (-1: no limit)"_s);
  EXPECT_EQ(list()->accessibleName(), u"Events"_s);
  EXPECT_EQ(action("mnuHistoryList_Clear")->text(), u"Clear the history"_s);
  EXPECT_EQ(limitField()->text(), u"150"_s);
}

TEST_F(HistoryWindow, PictureOfThePanelWithEveryEventType) {
  const QString file = u"/home/amy/Public/holidays/beach.jpg"_s;
  store(4, u"192.168.1.20"_s, u"/home/amy/Public/holidays/"_s, false, u"2006/03/06 21:14:02"_s);
  store(3, u"192.168.1.20"_s, file, false, u"2006/03/06 21:14:09"_s);
  store(7, u"192.168.1.31"_s, u"/home/amy/Public/missing.txt"_s, false, u"2006/03/06 22:40:51"_s);
  open();
  const QDateTime start(QDate(2006, 3, 7), QTime(9, 0, 0));
  const std::vector<std::pair<HistoryEventType, std::pair<QString, QString>>> events = {
      {HistoryEventType::FILTERS_REJECT, {u"10.9.8.7"_s, QString()}},
      {HistoryEventType::VIRTUAL_FOLDER_NAVIGATION, {u"192.168.1.20 (amy)"_s, u"/music/"_s}},
      {HistoryEventType::AUDIO_FOLDER_NAVIGATION, {u"192.168.1.20 (amy)"_s, u"/home/amy/Music/Jazz/"_s}},
      {HistoryEventType::FILE_START_UPLOAD, {u"192.168.1.20 (amy)"_s, u"/home/amy/Music/Jazz/take five.mp3"_s}},
      {HistoryEventType::FILE_ABORT_UPLOAD, {u"192.168.1.20 (amy)"_s, u"/home/amy/Music/Jazz/take five.mp3"_s}},
      {HistoryEventType::FORBIDDEN, {u"192.168.1.31"_s, u"/home/amy/Public/private/notes.txt"_s}},
      {HistoryEventType::LOGIN_FAILED, {u"192.168.1.44"_s, QString()}},
      {HistoryEventType::BANNED, {u"192.168.1.44"_s, u"600"_s}},
  };
  int second = 0;
  for (const auto& [type, values] : events) {
    orv::platform::setFixedDateTime(start.addSecs(second += 7));
    orv::core::subAddEntryInHistory(type, values.first, values.second);
  }
  ASSERT_EQ(list()->model()->rowCount(), 11);
  processPendingEvents();
  EXPECT_TRUE(saveUiArtifact(*window_, u"history"_s));
}

}  // namespace
