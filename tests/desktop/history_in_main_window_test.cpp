// The history panel inside the real main window: chosen from the tool bar, fed by the
// server's events while shown, dropped and rebuilt as the panels switch.

#include "core/configuration.h"
#include "core/history_store.h"
#include "core/language.h"
#include "desktop/frm_history.h"
#include "desktop/frm_main.h"
#include "desktop/frm_menu.h"
#include "desktop/message_box.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/temp_folder.h"
#include "ui_artifact.h"

#include <QFile>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::core::HistoryEventType;
using orv::desktop::frmHistory;
using orv::desktop::frmMain;
using orv::desktop::frmMenu;
using orv::desktop::gCurrentChildForm;
using orv::desktop::gMenuForm;
using orv::desktop::MainPanel;

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class HistoryInMainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.write(u"lang/english.xml"_s, readFile(QStringLiteral(ORV_SOURCE_DIR "/lang/english.xml")));
    folder_.write(u"config.xml"_s,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIGURATION version=\"102\">"
                  "<PROTOCOL><LOCAL_PORT>0</LOCAL_PORT></PROTOCOL>"
                  "<LANGUAGE><FILENAME>english.xml</FILENAME></LANGUAGE></CONFIGURATION>");
    folder_.write(u"history.xml"_s,
                  R"(<HISTORY><EVENT type="9" ipAddress="10.0.0.4" date="2006/03/06 22:40:51" text=""/></HISTORY>)");
    orv::desktop::setMessageBoxAnswerer(
        [](const orv::desktop::MessageBoxRequest&) { return orv::desktop::MessageAnswer::Ok; });
    // As the program registers it at start.
    orv::desktop::setChildPanelMaker(MainPanel::History, [](QWidget* parent) { return new frmHistory(parent); });
    window_ = std::make_unique<frmMain>(folder_.path(), QString());
    ASSERT_TRUE(window_->MDIForm_Load());
    processPendingEvents();
  }
  void TearDown() override {
    window_.reset();
    orv::desktop::setChildPanelMaker(MainPanel::History, {});
    orv::desktop::setMessageBoxAnswerer({});
  }

  static void click(int index) {
    QTest::mouseClick(gMenuForm->button(index), Qt::LeftButton);
    processPendingEvents();
  }
  static frmHistory* shownHistory() { return qobject_cast<frmHistory*>(gCurrentChildForm.data()); }
  static int shownRows() { return shownHistory()->findChild<QTableView*>(u"flexHistoryList"_s)->model()->rowCount(); }

  TempFolder folder_;
  std::unique_ptr<frmMain> window_;
};

TEST_F(HistoryInMainWindow, TheToolBarShowsTheHistoryFedLiveAndRebuiltWhenShownAgain) {
  click(frmMenu::kHistory);
  ASSERT_NE(shownHistory(), nullptr);
  EXPECT_TRUE(gMenuForm->button(frmMenu::kHistory)->isChecked());
  EXPECT_TRUE(gConfiguration.AppState.blnHistoryFormLoaded);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, 3);
  EXPECT_EQ(shownRows(), 1);
  EXPECT_EQ(shownHistory()->geometry().top(), gMenuForm->height());

  orv::core::subAddEntryInHistory(HistoryEventType::NOT_FOUND, u"127.0.0.1"_s, folder_.file(u"missing.txt"_s));
  EXPECT_EQ(shownRows(), 2);

  // The panel follows the window's width and height.
  window_->resize(window_->width() + 120, window_->height() + 80);
  processPendingEvents();
  const QWidget* client = shownHistory()->parentWidget();
  EXPECT_EQ(shownHistory()->width(), client->width());
  EXPECT_EQ(shownHistory()->geometry().bottom(), client->height() - 1);
  saveUiArtifact(*window_, u"history-in-main-window"_s);

  // Another panel drops it, and the events go on into the store alone.
  click(frmMenu::kShares);
  EXPECT_EQ(shownHistory(), nullptr);
  EXPECT_FALSE(gConfiguration.AppState.blnHistoryFormLoaded);
  orv::core::subAddEntryInHistory(HistoryEventType::LOGIN_FAILED, u"127.0.0.1"_s, QString());

  click(frmMenu::kHistory);
  ASSERT_NE(shownHistory(), nullptr);
  EXPECT_EQ(shownRows(), 3);

  window_->close();
  const QByteArray saved = readFile(folder_.file(u"history.xml"_s));
  EXPECT_EQ(saved.count("<EVENT "), 3) << saved.constData();
}

}  // namespace
