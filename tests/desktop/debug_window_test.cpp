#include "desktop/frm_debug.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "desktop/debug_values.h"
#include "desktop/frm_debug_values.h"
#include "server/ip_counters.h"
#include "server/server_engine.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/tcp_peer.h"
#include "ui_artifact.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using orv::core::DebugEventCategory;
using orv::core::debugEventLog;
using orv::core::gConfiguration;
using orv::core::subAddDebugEvent;
using orv::desktop::DebugValuesGrid;
using orv::desktop::frmDebug;

constexpr int kValueColumn = 1;

class DebugWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    gConfiguration = {};
    debugEventLog().clear();
    window = std::make_unique<frmDebug>();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  void TearDown() override {
    window.reset();
    debugEventLog().clear();
    gConfiguration = {};
  }

  template <typename T>
  T* control(const char* name) const {
    T* found = window->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  QAbstractItemModel& eventList() const { return *control<QListView>("flexDebugEvList")->model(); }
  DebugValuesGrid& grid() const { return *window->valuesGrid(); }
  QString cell(int row) const { return grid().item(row, kValueColumn)->text(); }
  // The open editor of a value cell (closed ones wait hidden for the loop to destroy them).
  QLineEdit* editor() const {
    for (int row = 0; row < grid().rowCount(); ++row) {
      if (auto* open = qobject_cast<QLineEdit*>(grid().indexWidget(grid().model()->index(row, kValueColumn)))) {
        EXPECT_EQ(open->objectName(), u"txtDebugMaskValue"_s);
        return open;
      }
    }
    return nullptr;
  }
  bool isEditorOpen() const { return editor() != nullptr; }

  // A press of the button on the value cell (or another column) of a row.
  void pressCell(int row, Qt::MouseButton button = Qt::LeftButton, int column = kValueColumn) const {
    const QModelIndex index = grid().model()->index(row, column);
    grid().scrollTo(index);
    QTest::mouseClick(grid().viewport(), button, Qt::NoModifier, grid().visualRect(index).center());
  }

  // Opens the editor of a row by a click and types the text over what it shows.
  QLineEdit* typeInto(int row, const QString& text) const {
    pressCell(row);
    QLineEdit* open = editor();
    if (open != nullptr) {
      open->selectAll();
      QTest::keyClick(open, Qt::Key_Delete);
      QTest::keyClicks(open, text);
    }
    return open;
  }

  std::unique_ptr<frmDebug> window;
};

TEST_F(DebugWindow, TheLogKeepsTheNewestFiveHundredLines) {
  for (int line = 1; line <= 501; ++line) {
    subAddDebugEvent(u"line %1"_s.arg(line), DebugEventCategory::Always);
  }
  ASSERT_EQ(eventList().rowCount(), 500);
  EXPECT_TRUE(eventList().index(0, 0).data().toString().endsWith(u"] line 501"_s));
  EXPECT_TRUE(eventList().index(499, 0).data().toString().endsWith(u"] line 2"_s));

  for (int line = 502; line <= 10000; ++line) {
    subAddDebugEvent(u"line %1"_s.arg(line), DebugEventCategory::Http);
  }
  processPendingEvents();
  ASSERT_EQ(eventList().rowCount(), 500);
  EXPECT_EQ(window->shownLines().size(), 500);
  EXPECT_TRUE(window->shownLines().front().endsWith(u"] line 10000"_s));
  EXPECT_TRUE(window->shownLines().back().endsWith(u"] line 9501"_s));
}

TEST_F(DebugWindow, LinesTakeTheColourOfTheirCategoryAndFollowTheSwitches) {
  struct Case {
    int category;
    bool shown;
    QColor colour;
  };
  // The switches start at application and HTTP on, socket off.
  const std::vector<Case> cases = {
      {0, true, QColor(0xFF, 0xFF, 0xFF)}, {1, false, {}}, {2, true, QColor(0xC0, 0xC0, 0xC0)},
      {3, true, QColor(0x00, 0xFF, 0x00)}, {4, false, {}}, {-1, false, {}},
  };
  EXPECT_TRUE(control<QCheckBox>("chkShowAppEv")->isChecked());
  EXPECT_TRUE(control<QCheckBox>("chkShowHttpEv")->isChecked());
  EXPECT_FALSE(control<QCheckBox>("chkShowSktEv")->isChecked());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.category);
    const int before = eventList().rowCount();
    subAddDebugEvent(u"category %1"_s.arg(c.category), static_cast<DebugEventCategory>(c.category));
    ASSERT_EQ(eventList().rowCount(), before + (c.shown ? 1 : 0));
    if (c.shown) {
      EXPECT_EQ(eventList().index(0, 0).data(Qt::ForegroundRole).value<QColor>(), c.colour);
    }
  }

  // Socket lines appear once their box is checked, in light red; unchecking the others
  // stops their lines at once and leaves those shown.
  QTest::mouseClick(control<QCheckBox>("chkShowSktEv"), Qt::LeftButton);
  QTest::mouseClick(control<QCheckBox>("chkShowAppEv"), Qt::LeftButton);
  QTest::mouseClick(control<QCheckBox>("chkShowHttpEv"), Qt::LeftButton);
  EXPECT_TRUE(gConfiguration.AdvancedParameters.SKT_DEBUG);
  EXPECT_FALSE(gConfiguration.AdvancedParameters.APP_DEBUG);
  EXPECT_FALSE(gConfiguration.AdvancedParameters.HTTP_DEBUG);
  const int before = eventList().rowCount();
  subAddDebugEvent(u"socket"_s, DebugEventCategory::Socket);
  subAddDebugEvent(u"application"_s, DebugEventCategory::Application);
  subAddDebugEvent(u"http"_s, DebugEventCategory::Http);
  ASSERT_EQ(eventList().rowCount(), before + 1);
  EXPECT_TRUE(eventList().index(0, 0).data().toString().endsWith(u"] socket"_s));
  EXPECT_EQ(eventList().index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(0xFF, 0x80, 0x80));
  EXPECT_EQ(eventList().index(1, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(0x00, 0xFF, 0x00));

  // The switches outlive the window; its lines do not, and nothing is written while closed.
  window->close();
  subAddDebugEvent(u"while closed"_s, DebugEventCategory::Always);
  EXPECT_EQ(debugEventLog().count(), 0);
  window = std::make_unique<frmDebug>();
  window->show();
  EXPECT_EQ(eventList().rowCount(), 0);
  EXPECT_TRUE(control<QCheckBox>("chkShowSktEv")->isChecked());
  EXPECT_FALSE(control<QCheckBox>("chkShowAppEv")->isChecked());
  EXPECT_FALSE(control<QCheckBox>("chkShowHttpEv")->isChecked());
}

TEST_F(DebugWindow, ClearEmptiesTheLogAndIsOfferedOnlyWhenThereAreLines) {
  auto* clear = control<QPushButton>("cmdClearDebug");
  QMenu* menu = window->eventListMenu();
  QAction* menuClear = menu->findChild<QAction*>(u"mnuDebugEvList_Clear"_s);
  ASSERT_NE(menuClear, nullptr);
  EXPECT_EQ(menu->defaultAction(), menuClear);
  EXPECT_FALSE(clear->isEnabled());
  auto* list = control<QListView>("flexDebugEvList");
  QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5), Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &request);
  EXPECT_TRUE(menu->isVisible());
  EXPECT_FALSE(menuClear->isEnabled());
  menu->hide();

  subAddDebugEvent(u"one"_s, DebugEventCategory::Always);
  EXPECT_TRUE(clear->isEnabled());
  QTest::mouseClick(clear, Qt::LeftButton);
  EXPECT_EQ(eventList().rowCount(), 0);
  EXPECT_FALSE(clear->isEnabled());

  subAddDebugEvent(u"two"_s, DebugEventCategory::Always);
  QCoreApplication::sendEvent(list->viewport(), &request);
  EXPECT_TRUE(menuClear->isEnabled());
  menuClear->trigger();
  menu->hide();
  EXPECT_EQ(eventList().rowCount(), 0);
  EXPECT_FALSE(clear->isEnabled());
}

TEST_F(DebugWindow, TheGridNamesEveryRowAndShowsTheCurrentValues) {
  ASSERT_EQ(grid().rowCount(), 26);
  for (int row = 0; row < 26; ++row) {
    EXPECT_EQ(grid().item(row, 0)->text(), orv::desktop::debugValuesRowCaption(row)) << row;
  }
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(cell(row), u"0"_s) << "no server, no client: row " << row;
  }
  EXPECT_EQ(cell(6), u"8192"_s);
  EXPECT_EQ(cell(8), u"1E+07"_s);
  EXPECT_EQ(cell(22), u"15"_s);
  EXPECT_EQ(cell(25), u"50"_s);
}

TEST_F(DebugWindow, OnlyALeftPressOnAValueCellOpensTheEditor) {
  pressCell(6, Qt::LeftButton, 0);  // a name
  pressCell(0);                     // a counter
  pressCell(6, Qt::MiddleButton);
  EXPECT_FALSE(isEditorOpen());
  pressCell(6);
  ASSERT_NE(editor(), nullptr);
  EXPECT_EQ(editor()->text(), u"8192"_s);
  EXPECT_TRUE(editor()->hasFocus());
}

TEST_F(DebugWindow, AnAcceptedValueShowsAsTypedAndARefusedOneLeavesTheCell) {
  struct Case {
    int row;
    QString typed;
    QString shown;
    QString line;
  };
  const std::vector<Case> cases = {
      {6, u"4096"_s, u"4096"_s, u"Set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '4096' by 'local'"_s},
      {6, u"0.4"_s, u"4096"_s, u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '0.4' by 'local'"_s},
      {6, u"-0"_s, u"4096"_s, u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '-0' by 'local'"_s},
      {6, u"abc"_s, u"4096"_s, u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to 'abc' by 'local'"_s},
      {6, QString(), u"4096"_s, u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '' by 'local'"_s},
      {6, u"1099511627776"_s, u"4096"_s,
       u"Unabled to set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '1099511627776' by 'local'"_s},
      {6, u"1e3"_s, u"1e3"_s, u"Set 'APP_MAX_SEND_TO_SOCKET_SIZE' to '1e3' by 'local'"_s},
      {10, u"2.6"_s, u"2.6"_s, u"Set 'APP_MAX_CLIENT_FOLDER_IN_CREATION' to '2.6' by 'local'"_s},
      {17, u"2"_s, u"-1"_s, u"Unabled to set 'SKT_KEEPALIVE' to '2' by 'local'"_s},
      {22, u"61"_s, u"15"_s, u"Unabled to set 'HTTP_KEEP_ALIVE_TIMEOUT' to '61' by 'local'"_s},
      {22, u"60"_s, u"60"_s, u"Set 'HTTP_KEEP_ALIVE_TIMEOUT' to '60' by 'local'"_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    QLineEdit* open = typeInto(c.row, c.typed);
    ASSERT_NE(open, nullptr);
    QTest::keyClick(open, Qt::Key_Return);
    processPendingEvents();
    EXPECT_FALSE(isEditorOpen());
    EXPECT_EQ(cell(c.row), c.shown);
    ASSERT_GT(eventList().rowCount(), 0);
    EXPECT_TRUE(eventList().index(0, 0).data().toString().endsWith(u"] "_s + c.line));
  }
  const orv::core::tAdvancedParameters& stored = gConfiguration.AdvancedParameters;
  EXPECT_EQ(stored.APP_MAX_SEND_TO_SOCKET_SIZE, 1000);
  EXPECT_EQ(stored.APP_MAX_CLIENT_FOLDER_IN_CREATION, 3);
  EXPECT_EQ(stored.SKT_KEEPALIVE, -1);
  EXPECT_EQ(stored.HTTP_KEEP_ALIVE_TIMEOUT, 60);
}

TEST_F(DebugWindow, EscapePutsTheValueBackAndApplyingNothing) {
  QLineEdit* open = typeInto(6, u"4096"_s);
  ASSERT_NE(open, nullptr);
  QTest::keyClick(open, Qt::Key_Escape);
  processPendingEvents();
  EXPECT_FALSE(isEditorOpen());
  EXPECT_EQ(cell(6), u"8192"_s);
  EXPECT_EQ(gConfiguration.AdvancedParameters.APP_MAX_SEND_TO_SOCKET_SIZE, 8192);
  EXPECT_EQ(eventList().rowCount(), 0);
  EXPECT_TRUE(window->isVisible()) << "Escape in a cell closes nothing else";
}

TEST_F(DebugWindow, TypedTextSurvivesAScrollAndIsAppliedWhenTheCellIsLeft) {
  QLineEdit* open = typeInto(22, u"30"_s);
  ASSERT_NE(open, nullptr);
  QScrollBar* scroll = grid().verticalScrollBar();
  ASSERT_GT(scroll->maximum(), 0) << "the grid must be taller than its frame for this test";
  scroll->setValue(scroll->value() == 0 ? scroll->maximum() : 0);
  processPendingEvents();
  ASSERT_EQ(editor(), open);
  EXPECT_EQ(open->text(), u"30"_s);
  pressCell(6, Qt::LeftButton, 0);  // another cell
  processPendingEvents();
  EXPECT_EQ(gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT, 30);
  EXPECT_EQ(cell(22), u"30"_s);

  // The focus leaving the editor applies it too.
  open = typeInto(23, u"100"_s);
  ASSERT_NE(open, nullptr);
  control<QCheckBox>("chkShowSktEv")->setFocus();
  processPendingEvents();
  EXPECT_EQ(gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_MAX, 100);
}

// A value the cell shows rounded to seven digits keeps all of its digits when its editor is
// opened and left unchanged.
TEST_F(DebugWindow, AnUnchangedEditKeepsTheExactValue) {
  gConfiguration.AdvancedParameters.HTTP_MAX_REQUEST_SIZE = 16777217;
  window->valuesGrid()->RefreshDebugValuesGrid();
  EXPECT_EQ(cell(20), u"1.677722E+07"_s);
  pressCell(20);
  ASSERT_NE(editor(), nullptr);
  QTest::keyClick(editor(), Qt::Key_Return);
  processPendingEvents();
  EXPECT_EQ(gConfiguration.AdvancedParameters.HTTP_MAX_REQUEST_SIZE, 16777217);
  EXPECT_EQ(eventList().rowCount(), 0);
}

TEST_F(DebugWindow, RestoreSetsEveryDefaultWithoutALogLine) {
  orv::core::tAdvancedParameters& parameters = gConfiguration.AdvancedParameters;
  parameters.APP_MAX_SEND_TO_SOCKET_SIZE = 100;
  parameters.HTTP_KEEP_ALIVE_TIMEOUT = 5;
  parameters.SKT_RCVBUF = 65536;
  parameters.SKT_DEBUG = true;
  window->valuesGrid()->RefreshDebugValuesGrid();
  EXPECT_EQ(cell(6), u"100"_s);

  QMenu* menu = grid().restoreMenu();
  QAction* restore = menu->findChild<QAction*>(u"mnuAdvParamValues_RestoreValues"_s);
  ASSERT_NE(restore, nullptr);
  EXPECT_EQ(restore->text(), u"Restore default values"_s);
  EXPECT_EQ(menu->defaultAction(), restore);
  QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5), Qt::NoModifier);
  QCoreApplication::sendEvent(grid().viewport(), &request);
  EXPECT_TRUE(menu->isVisible());
  restore->trigger();
  menu->hide();

  const orv::core::tAdvancedParameters defaults;
  for (int row = 6; row < 26; ++row) {
    EXPECT_EQ(cell(row), orv::desktop::tuningValueText(defaults, row)) << row;
  }
  EXPECT_EQ(parameters.APP_MAX_SEND_TO_SOCKET_SIZE, 8192);
  EXPECT_EQ(parameters.HTTP_KEEP_ALIVE_TIMEOUT, 15);
  EXPECT_EQ(parameters.SKT_RCVBUF, -1);
  EXPECT_TRUE(parameters.SKT_DEBUG);
  EXPECT_EQ(eventList().rowCount(), 0);
}

TEST_F(DebugWindow, CountersFollowARunningServerEvery200Ms) {
  gConfiguration.Protocol.LOCAL_PORT = u"0"_s;
  orv::server::ServerEngine server;
  ASSERT_EQ(server.StartStopServer(), orv::server::StartStopResult::Started);
  std::vector<std::unique_ptr<TcpPeer>> peers;
  for (const char* source : {"127.0.0.2", "127.0.0.3", "127.0.0.3"}) {
    peers.push_back(std::make_unique<TcpPeer>(server.listeningPort(), 0, source));
  }
  orv::core::tAppState& state = gConfiguration.AppState;
  orv::server::subUpdateCounter(state.colIpFoldersInCreation, u"127.0.0.2"_s, 1);
  orv::server::subUpdateCounter(state.colIpFoldersInCreation, u"127.0.0.3"_s, 2);
  orv::server::subUpdateCounter(state.colIpMiniaturesInCreation, u"127.0.0.3"_s, 4);
  EXPECT_TRUE(processEventsUntil([&] {
    return cell(0) == u"3"_s && cell(1) == u"3"_s && cell(4) == u"3"_s && cell(5) == u"4"_s;
  })) << cell(0).toStdString()
      << " " << cell(1).toStdString();
  EXPECT_EQ(cell(2), u"0"_s);
  EXPECT_EQ(cell(3), u"0"_s);

  peers.clear();
  orv::server::subUpdateCounter(state.colIpFoldersInCreation, u"127.0.0.2"_s, -1);
  EXPECT_TRUE(processEventsUntil([&] { return cell(0) == u"0"_s && cell(1) == u"0"_s && cell(4) == u"2"_s; }));
  server.StartStopServer();
}

TEST_F(DebugWindow, Screenshot) {
  subAddDebugEvent(u"Server started on port 8080"_s, DebugEventCategory::Always);
  control<QCheckBox>("chkShowSktEv")->setChecked(true);
  subAddDebugEvent(u"Socket 3: connection accepted from 127.0.0.2"_s, DebugEventCategory::Socket);
  subAddDebugEvent(u"GET /music/ HTTP/1.1 from 127.0.0.2"_s, DebugEventCategory::Http);
  subAddDebugEvent(u"Set 'HTTP_KEEP_ALIVE_TIMEOUT' to '30' by 'local'"_s, DebugEventCategory::Application);
  processPendingEvents();
  EXPECT_TRUE(saveUiArtifact(*window, u"debug"_s));
}

}  // namespace
