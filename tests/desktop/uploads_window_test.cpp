#include "uploads_window_fixture.h"

#include "desktop/frm_tooltip_uploads.h"
#include "desktop/uploads_texts.h"
#include "server/upload_views.h"

#include "ui_artifact.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace uploadstest {
namespace {

using namespace Qt::StringLiterals;
using orv::desktop::TransferRole;
using orv::desktop::uploadPicture;

TEST_F(UploadsWindowTest, OpensWithTheStoreNewestFirstInGreyAndBlack) {
  storeRow(u"/srv/a/old.bin"_s, true, true, false, 100, u"2025/01/02 03:04:05"_s);
  storeRow(u"/srv/a/range.bin"_s, true, false, false);
  storeRow(u"/srv/b/cut.bin"_s, false, true, true);
  storeRow(u"/srv/b/cutrange.bin"_s, false, false, true);
  storeRow(u"/srv/a/old.bin"_s, true, true, true);
  frmUploads& uploads = open();
  EXPECT_TRUE(gConfiguration.AppState.blnUploadsFormLoaded);
  EXPECT_EQ(orv::server::getUploadsWindow(), &uploads);
  EXPECT_EQ(gConfiguration.AppDisplay.gShownMainPanel, 2);
  const QTreeView& list = *uploads.uploadedList();
  EXPECT_EQ(column(list, 0),
            QStringList({u"old.bin"_s, u"cutrange.bin"_s, u"cut.bin"_s, u"range.bin"_s, u"old.bin"_s}));
  EXPECT_EQ(column(list, 1).last(), u"2025/01/02 03:04:05"_s);
  // Every row of a file shows the file's finished total.
  EXPECT_EQ(column(list, 2), QStringList({u"2"_s, u"0"_s, u"0"_s, u"1"_s, u"2"_s}));
  EXPECT_EQ(column(list, 0, TransferRole), QStringList({u"5"_s, u"4"_s, u"3"_s, u"2"_s, u"1"_s}));
  const int icons[] = {1, 4, 3, 2, 1};
  for (int row = 0; row < 5; ++row) {
    EXPECT_EQ(iconKey(list, row), uploadPicture(icons[row]).cacheKey()) << row;
  }
  const QColor black(0, 0, 0), grey(128, 128, 128);
  for (int col = 0; col < 3; ++col) {
    EXPECT_EQ(list.model()->index(0, col).data(Qt::ForegroundRole).value<QColor>(), black);
    EXPECT_EQ(list.model()->index(4, col).data(Qt::ForegroundRole).value<QColor>(), grey);
  }
  EXPECT_EQ(list.model()->headerData(1, Qt::Horizontal).toString(), u"Date"_s);
  EXPECT_EQ(uploads.inProgressList()->model()->headerData(1, Qt::Horizontal).toString(), u"%"_s);
  EXPECT_EQ(uploads.inProgressFrame()->title(), u"Uploads in progress"_s);
  EXPECT_EQ(uploads.uploadedFrame()->title(), u"Files sent"_s);
  EXPECT_TRUE(saveUiArtifact(uploads, u"uploads-prepared-store"_s));
  window.reset();
  EXPECT_FALSE(gConfiguration.AppState.blnUploadsFormLoaded);
  EXPECT_EQ(orv::server::getUploadsWindow(), nullptr);
}

TEST_F(UploadsWindowTest, CaptionsCountWithTheOptionOn) {
  gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS = true;
  storeRow(u"/srv/a.bin"_s, true, true, false, 100);
  storeRow(u"/srv/b.bin"_s, false, true, false, 50);
  frmUploads& uploads = open();
  EXPECT_EQ(uploads.inProgressFrame()->title(), u"Uploads in progress (Transfers: 0, Remaining: 0 byte)"_s);
  EXPECT_EQ(uploads.uploadedFrame()->title(), u"Files sent (Transfers: 2, Sent: 150 bytes)"_s);
}

TEST_F(UploadsWindowTest, SortsTheSentListByEachColumnAndAlternatesTheOrder) {
  storeRow(u"/srv/b.bin"_s, false, true, false);
  storeRow(u"/srv/A.bin"_s, true, true, false);
  storeRow(u"/srv/c.bin"_s, true, true, false);
  storeRow(u"/srv/c.bin"_s, true, true, false);
  storeRow(u"/srv/A.bin"_s, false, true, false);
  frmUploads& uploads = open();
  const QTreeView& list = *uploads.uploadedList();
  // Opened newest first (descending); the next click on any column turns to ascending.
  uploads.SortUploadedFiles(1, false);
  EXPECT_EQ(column(list, 0, TransferRole), QStringList({u"5"_s, u"2"_s, u"1"_s, u"4"_s, u"3"_s}))
      << "names ignoring case, equal names in the order they had";
  uploads.SortUploadedFiles(1, false);
  EXPECT_EQ(column(list, 0), QStringList({u"c.bin"_s, u"c.bin"_s, u"b.bin"_s, u"A.bin"_s, u"A.bin"_s}));
  uploads.SortUploadedFiles(3, false);
  EXPECT_EQ(column(list, 2), QStringList({u"0"_s, u"1"_s, u"1"_s, u"2"_s, u"2"_s}));
  uploads.SortUploadedFiles(2, false);
  EXPECT_EQ(column(list, 0, TransferRole), QStringList({u"5"_s, u"4"_s, u"3"_s, u"2"_s, u"1"_s}));
  // A click on a header does the same.
  QHeaderView* header = list.header();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
  EXPECT_EQ(column(list, 0, TransferRole), QStringList({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
  EXPECT_EQ(header->sortIndicatorSection(), 1);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(UploadsWindowTest, SortsTheInProgressListByEachColumnAndKeepsItInOrder) {
  frmUploads& uploads = open();
  uploads.addUploadInProgressInList(3, u"/srv/b.bin"_s, 0, 10, 1000, 300, u"10.0.0.3"_s, false);
  uploads.addUploadInProgressInList(1, u"/srv/a.bin"_s, 0, 10, 1000, 100'000'000, u"10.0.0.9"_s, true);
  uploads.addUploadInProgressInList(2, u"/srv/c.bin"_s, 0, 10, 1000, 20, u"10.0.0.1"_s, false);
  uploads.RefreshUploadInProgressList(3, 70, 700, 1000, 300);
  uploads.RefreshUploadInProgressList(1, 7, 70, 1000, 100'000'000);
  uploads.RefreshUploadInProgressList(2, 45, 450, 1000, 20);
  const QTreeView& list = *uploads.inProgressList();
  EXPECT_EQ(column(list, 0), QStringList({u"b.bin"_s, u"a.bin"_s, u"c.bin"_s})) << "unsorted: order of adding";
  EXPECT_EQ(iconKey(list, 1), uploadPicture(2).cacheKey());
  EXPECT_EQ(iconKey(list, 0), uploadPicture(1).cacheKey());
  EXPECT_EQ(column(list, 2, orv::desktop::SortKeyRole), QStringList({u"070"_s, u"007"_s, u"045"_s}));
  struct Case {
    int column;
    QStringList names;
  };
  const Case cases[] = {
      {1, {u"c.bin"_s, u"b.bin"_s, u"a.bin"_s}},  // descending: the order was ascending
      {2, {u"a.bin"_s, u"c.bin"_s, u"b.bin"_s}},  // the bar column sorts by percentage
      {3, {u"b.bin"_s, u"c.bin"_s, u"a.bin"_s}},
      {4, {u"c.bin"_s, u"b.bin"_s, u"a.bin"_s}},  // 100 MB/s is not cut to a slow rate
      {5, {u"a.bin"_s, u"b.bin"_s, u"c.bin"_s}},
  };
  for (const Case& c : cases) {
    uploads.SortUploadsInProgress(c.column, false);
    EXPECT_EQ(column(list, 0), c.names) << c.column;
  }
  EXPECT_EQ(list.model()->index(0, 2).data().toString(), u"70 bytes/1000 bytes"_s);
  EXPECT_EQ(list.model()->index(2, 3).data().toString(), u"20 bytes/s"_s);
  // Sorted by rate, descending: a refresh that makes the slowest the fastest moves it up.
  uploads.SortUploadsInProgress(4, true);
  EXPECT_EQ(column(list, 0), QStringList({u"a.bin"_s, u"b.bin"_s, u"c.bin"_s}));
  uploads.RefreshUploadInProgressList(2, 46, 460, 1000, 200'000'000);
  EXPECT_EQ(column(list, 0), QStringList({u"c.bin"_s, u"a.bin"_s, u"b.bin"_s}));
  // A new row of a sorted list takes its place.
  uploads.addUploadInProgressInList(4, u"/srv/d.bin"_s, 0, 0, 1000, 150'000'000, u"10.0.0.4"_s, false);
  EXPECT_EQ(column(list, 0), QStringList({u"c.bin"_s, u"d.bin"_s, u"a.bin"_s, u"b.bin"_s}));
}

TEST_F(UploadsWindowTest, PercentagesBelongToTheUploadNotToARowNumber) {
  frmUploads& uploads = open();
  uploads.addUploadInProgressInList(1, u"/srv/one.bin"_s, 0, 0, 100, 1, u"a"_s, false);
  uploads.addUploadInProgressInList(2, u"/srv/two.bin"_s, 0, 0, 100, 1, u"b"_s, false);
  uploads.addUploadInProgressInList(3, u"/srv/three.bin"_s, 0, 0, 100, 1, u"c"_s, false);
  uploads.RefreshUploadInProgressList(1, 10, 10, 100, 1);
  uploads.RefreshUploadInProgressList(2, 20, 20, 100, 1);
  uploads.RefreshUploadInProgressList(3, 30, 30, 100, 1);
  uploads.RemoveUploadInProgressInList(1);
  uploads.SortUploadsInProgress(1, false);
  const QTreeView& list = *uploads.inProgressList();
  EXPECT_EQ(column(list, 0), QStringList({u"two.bin"_s, u"three.bin"_s}));
  EXPECT_EQ(column(list, 1, orv::desktop::PercentRole), QStringList({u"20"_s, u"30"_s}));
  EXPECT_FALSE(uploads.IsUploadExistInList(1));
  EXPECT_TRUE(uploads.IsUploadExistInList(3));
}

// The engine ends an upload: the store records it, then the window adds its row.
void endUpload(frmUploads& uploads, const QString& path, bool finished) {
  orv::core::subAddUploadInUploadedLists(path, u"127.0.0.1"_s, 10, finished, true);
  uploads.addUploadedFileInList(path, QDateTime::currentDateTime(), finished, true, true, true, true);
}

TEST_F(UploadsWindowTest, SentRowsAreKeyedByTheirTransferRowInTheStore) {
  storeRow(u"/srv/b.bin"_s, true, true, false);
  storeRow(u"/srv/a.bin"_s, true, true, false);
  frmUploads& uploads = open();
  uploads.SortUploadedFiles(1, false);  // by name, ascending
  endUpload(uploads, u"/srv/c.bin"_s, true);
  endUpload(uploads, u"/srv/a.bin"_s, true);
  endUpload(uploads, u"/srv/0.bin"_s, false);
  const QTreeView& list = *uploads.uploadedList();
  EXPECT_EQ(column(list, 0), QStringList({u"0.bin"_s, u"a.bin"_s, u"a.bin"_s, u"b.bin"_s, u"c.bin"_s}))
      << "each new row is sorted in by the current column";
  for (int row = 0; row < list.model()->rowCount(); ++row) {
    const qsizetype transfer = list.model()->index(row, 0).data(TransferRole).toLongLong();
    ASSERT_NE(gUploadedLists.transfer(transfer), nullptr);
    EXPECT_EQ(orv::desktop::fnctUploadFileName(gUploadedLists.transfer(transfer)->path),
              list.model()->index(row, 0).data().toString());
  }
  // The finished total of a.bin went up on both of its rows, the grey one included.
  EXPECT_EQ(column(list, 2), QStringList({u"0"_s, u"2"_s, u"2"_s, u"1"_s, u"1"_s}));
  // Opening a row opens the path of its own transfer.
  list.selectionModel()->setCurrentIndex(list.model()->index(4, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  uploads.openSelectedUploadedFile();
  EXPECT_EQ(opened, std::vector<QString>({u"/srv/c.bin"_s}));
}

TEST_F(UploadsWindowTest, RowsFollowTheirTransfersWhenTheStoreLetsItsOldestRowGo) {
  for (qsizetype i = 1; i <= orv::core::kMaxUploadedTransfers; ++i) {
    storeRow(QStringLiteral("/srv/f%1.bin").arg(i), true, true, false);
  }
  frmUploads& uploads = open();
  endUpload(uploads, u"/srv/newest.bin"_s, true);
  ASSERT_EQ(gUploadedLists.transfers.size(), static_cast<std::size_t>(orv::core::kMaxUploadedTransfers));
  const QTreeView& list = *uploads.uploadedList();
  ASSERT_EQ(list.model()->rowCount(), orv::core::kMaxUploadedTransfers);
  EXPECT_EQ(list.model()->index(0, 0).data().toString(), u"newest.bin"_s);
  EXPECT_EQ(list.model()->index(0, 0).data(TransferRole).toLongLong(), orv::core::kMaxUploadedTransfers);
  EXPECT_EQ(list.model()->index(1, 0).data().toString(),
            QStringLiteral("f%1.bin").arg(orv::core::kMaxUploadedTransfers));
  EXPECT_EQ(list.model()->index(list.model()->rowCount() - 1, 0).data().toString(), u"f2.bin"_s)
      << "the oldest row went with its transfer";
}

TEST_F(UploadsWindowTest, AStoreThatLetsManyRowsGoAtOnceLeavesTheirLinesOut) {
  for (int i = 1; i <= 5; ++i) {
    storeRow(QStringLiteral("/srv/f%1.bin").arg(i), true, true, false);
  }
  frmUploads& uploads = open();
  gUploadedLists.transfers.erase(gUploadedLists.transfers.begin(), gUploadedLists.transfers.begin() + 3);
  storeRow(u"/srv/new.bin"_s, true, true, true);
  uploads.addUploadedFileInList(u"/srv/new.bin"_s, {}, true, true, true, true, true);
  const QTreeView& list = *uploads.uploadedList();
  EXPECT_EQ(column(list, 0), QStringList({u"new.bin"_s, u"f5.bin"_s, u"f4.bin"_s}));
  EXPECT_EQ(column(list, 0, TransferRole), QStringList({u"3"_s, u"2"_s, u"1"_s}));
}

TEST_F(UploadsWindowTest, AListOfAHundredThousandRowsOpensAndSorts) {
  for (int i = 0; i < 100'000; ++i) {
    gUploadedLists.transfers.push_back({QStringLiteral("/srv/%1/file%2.bin").arg(i % 100).arg(i), false,
                                        u"2026/03/07 04:05:09"_s, u"10.0.0.2"_s, 1, true, true});
  }
  QElapsedTimer timer;
  timer.start();
  frmUploads& uploads = open();
  const qint64 openMs = timer.elapsed();
  const QTreeView& list = *uploads.uploadedList();
  ASSERT_EQ(list.model()->rowCount(), 100'000);
  EXPECT_EQ(list.model()->index(0, 0).data().toString(), u"file99999.bin"_s);
  uploads.SortUploadedFiles(1, false);
  EXPECT_EQ(list.model()->index(0, 0).data().toString(), u"file0.bin"_s);
  std::cout << "[ measured ] opening with 100,000 sent rows: " << openMs << " ms\n";
  EXPECT_TRUE(saveUiArtifact(uploads, u"uploads-100000-rows"_s));
}

TEST_F(UploadsWindowTest, ClearingTheSentList) {
  frmUploads& uploads = open();
  uploads.mnuUploadedFiles_ClearList_Click();
  EXPECT_FALSE(gConfiguration.AppState.blnUploadedModified) << "an empty list changes nothing";
  window.reset();
  storeRow(u"/srv/a.bin"_s, true, true, false);
  storeRow(u"/srv/a.bin"_s, true, true, false);
  gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS = true;
  frmUploads& again = open();
  again.mnuUploadedFiles_ClearList_Click();
  EXPECT_TRUE(gConfiguration.AppState.blnUploadedModified);
  EXPECT_TRUE(gUploadedLists.transfers.empty());
  EXPECT_EQ(gUploadedLists.file(u"/srv/a.bin"_s).nbFinishedTotal, 2) << "the file keeps its totals";
  EXPECT_EQ(again.uploadedList()->model()->rowCount(), 0);
  EXPECT_EQ(again.uploadedFrame()->title(), u"Files sent (Transfers: 0, Sent: 0 byte)"_s);
  // An upload that ends after the clear is row 1 of the store and of the list.
  endUpload(again, u"/srv/a.bin"_s, true);
  ASSERT_EQ(again.uploadedList()->model()->rowCount(), 1);
  EXPECT_EQ(again.uploadedList()->model()->index(0, 0).data(TransferRole).toLongLong(), 1);
  EXPECT_EQ(again.uploadedList()->model()->index(0, 2).data().toString(), u"3"_s);
}

TEST_F(UploadsWindowTest, WidthsAndSortStatesAreKeptForTheRun) {
  storeRow(u"/srv/a.bin"_s, true, true, false);
  frmUploads& uploads = open();
  // The design widths, or wider where the font needs it.
  EXPECT_EQ(uploads.inProgressList()->columnWidth(1), 131);
  EXPECT_GE(uploads.inProgressList()->columnWidth(2), 104);
  EXPECT_GE(uploads.inProgressList()->columnWidth(4), 100);
  EXPECT_GE(uploads.uploadedList()->columnWidth(1), 115);
  EXPECT_GE(uploads.uploadedList()->columnWidth(2), 51);
  const QFontMetrics metrics = uploads.inProgressList()->fontMetrics();
  EXPECT_GT(uploads.inProgressList()->columnWidth(2), metrics.horizontalAdvance(u"999.99 MB/999.99 MB"_s));
  EXPECT_GT(uploads.uploadedList()->columnWidth(1), metrics.horizontalAdvance(u"2026/03/07 04:05:09"_s));
  uploads.inProgressList()->setColumnWidth(2, 140);
  uploads.uploadedList()->setColumnWidth(2, 70);
  uploads.SortUploadsInProgress(4, false);
  uploads.SortUploadedFiles(1, false);
  window.reset();
  EXPECT_EQ(gConfiguration.AppDisplay.intInProgressColumnWidths[1], 140);
  EXPECT_EQ(gConfiguration.AppDisplay.bytInProgressSortKey, 3);
  EXPECT_EQ(gConfiguration.AppDisplay.bytInProgressSortOrder, 1);
  EXPECT_TRUE(gConfiguration.AppDisplay.blnInProgressSorted);
  EXPECT_EQ(gConfiguration.AppDisplay.bytUploadedSortKey, 0);
  EXPECT_EQ(gConfiguration.AppDisplay.bytUploadedSortOrder, 0);
  frmUploads& reopened = open();
  EXPECT_EQ(reopened.inProgressList()->columnWidth(2), 140);
  EXPECT_EQ(reopened.uploadedList()->columnWidth(2), 70);
  EXPECT_EQ(reopened.inProgressList()->header()->sortIndicatorSection(), 3);
  EXPECT_EQ(reopened.uploadedList()->header()->sortIndicatorSection(), 0);
  EXPECT_EQ(reopened.uploadedList()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(UploadsWindowTest, ANarrowWindowKeepsFiftyPixelsForTheFileName) {
  frmUploads& uploads = open(QSize(300, 300));
  EXPECT_EQ(uploads.inProgressList()->columnWidth(0), 50);
  uploads.resize(900, 400);
  processPendingEvents();
  const QTreeView& list = *uploads.inProgressList();
  int others = 0;
  for (int col = 1; col < 5; ++col) {
    others += list.columnWidth(col);
  }
  EXPECT_EQ(list.columnWidth(0) + others, list.viewport()->width());
}

TEST_F(UploadsWindowTest, MenusOpenOnlyOnASelectedRow) {
  frmUploads& uploads = open();
  uploads.showUploadedMenu(QPoint(5, 5));
  EXPECT_FALSE(uploads.uploadedMenu()->isVisible()) << "no rows, no menu";
  window.reset();
  const QString file = folder.write(u"music/song.mp3"_s, "x");
  storeRow(file, true, true, true);
  storeRow(u"/no/such/folder/gone.mp3"_s, true, true, true);
  frmUploads& again = open();
  QTreeView& list = *again.uploadedList();
  list.setCurrentIndex(list.model()->index(1, 0));
  list.selectionModel()->clearSelection();
  again.showUploadedMenu(list.visualRect(list.model()->index(1, 0)).center());
  EXPECT_FALSE(again.uploadedMenu()->isVisible()) << "the current row is not selected";
  list.selectionModel()->setCurrentIndex(list.model()->index(1, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  const QPoint where = list.visualRect(list.model()->index(1, 0)).center();
  QContextMenuEvent rightClick(QContextMenuEvent::Mouse, where, list.viewport()->mapToGlobal(where));
  QCoreApplication::sendEvent(list.viewport(), &rightClick);
  ASSERT_TRUE(again.uploadedMenu()->isVisible());
  EXPECT_EQ(again.uploadedMenu()->defaultAction()->objectName(), u"mnuUploadedFiles_OpenFile"_s);
  const QList<QAction*> items = again.uploadedMenu()->actions();
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0]->text(), u"Open the file"_s);
  EXPECT_TRUE(items[2]->isSeparator());
  EXPECT_EQ(items[3]->text(), u"Clear the list"_s);
  again.uploadedMenu()->hide();
  items[0]->trigger();
  items[1]->trigger();
  EXPECT_EQ(opened, std::vector<QString>({file, folder.path() + u"/music/"_s}));
  list.selectionModel()->setCurrentIndex(list.model()->index(0, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  items[1]->trigger();
  EXPECT_EQ(opened.size(), 2u) << "a missing folder is not opened";
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.model()->index(0, 0)).center());
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.model()->index(0, 0)).center());
  EXPECT_EQ(opened.back(), u"/no/such/folder/gone.mp3"_s) << "the file is handed over untested";
}

TEST_F(UploadsWindowTest, DeleteWithoutSelectionAsksNothing) {
  frmUploads& uploads = open();
  uploads.addUploadInProgressInList(1, u"/srv/a.bin"_s, 0, 0, 100, 0, u"a"_s, false);
  uploads.inProgressList()->setFocus();
  QTest::keyClick(uploads.inProgressList(), Qt::Key_Delete);
  EXPECT_TRUE(boxes.empty());
  QTest::keyClick(uploads.uploadedList(), Qt::Key_Delete);
  EXPECT_TRUE(boxes.empty());
  uploads.showInProgressMenu(QPoint(2, 2));
  EXPECT_FALSE(uploads.inProgressMenu()->isVisible());
}

// ---- Details windows ----

QPoint rowCentre(const QTreeView& list, int row) {
  return list.visualRect(list.model()->index(row, 0)).center();
}

TEST_F(UploadsWindowTest, SentFileDetailsOpenAfterTheDelayBesideThePointer) {
  storeRow(u"/srv/a.bin"_s, false, false, false, 50);
  frmUploads& uploads = open();
  QTreeView& list = *uploads.uploadedList();
  const QPoint cursor = list.viewport()->mapToGlobal(rowCentre(list, 0));
  QCursor::setPos(cursor);
  uploads.lvwUploadedFiles_OnMouseMove(rowCentre(list, 0));
  EXPECT_TRUE(uploads.uploadedTipsDelay()->isActive());
  EXPECT_EQ(uploads.uploadedTipsDelay()->interval(), 500);
  EXPECT_EQ(uploads.intNextUploadedFilesTips, 1);
  ASSERT_TRUE(processEventsUntil([&] { return uploads.uploadedTooltip()->isVisible(); }));
  EXPECT_TRUE(gConfiguration.AppDisplay.blnUploadedFileTooltipShown);
  EXPECT_EQ(gConfiguration.AppDisplay.intUploadedFileTooltipIndex, 1);
  const QStringList lines = uploads.uploadedTooltip()->lines();
  ASSERT_EQ(lines.size(), 13);
  EXPECT_EQ(lines[2], u"Sent : 50 bytes"_s);
  EXPECT_EQ(lines[4], u"Finished : No"_s);
  EXPECT_EQ(
      uploads.uploadedTooltip()->pos(),
      orv::desktop::tooltipPosition(QCursor::pos(), uploads.uploadedTooltip()->size(), uploads.screen()->geometry()));
  EXPECT_TRUE(saveUiArtifact(*uploads.uploadedTooltip(), u"uploads-sent-tooltip"_s));
  // Any move over the list hides it and starts the delay again; leaving the list hides it.
  uploads.lvwUploadedFiles_OnMouseMove(rowCentre(list, 0));
  EXPECT_FALSE(uploads.uploadedTooltip()->isVisible());
  EXPECT_EQ(gConfiguration.AppDisplay.intUploadedFileTooltipIndex, -1);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(list.viewport(), &leave);
  EXPECT_FALSE(uploads.uploadedTipsDelay()->isActive());
}

TEST_F(UploadsWindowTest, NearTheScreensCornerTheDetailsOpenLeftOfAndAboveThePointer) {
  storeRow(u"/srv/a.bin"_s, true, true, false);
  frmUploads& uploads = open();
  const QRect screen = uploads.screen()->geometry();
  const QPoint corner = screen.bottomRight() - QPoint(5, 5);
  QCursor::setPos(corner);
  if (QCursor::pos() != corner) {
    GTEST_SKIP() << "this platform does not move the pointer";
  }
  uploads.lvwUploadedFiles_OnMouseMove(rowCentre(*uploads.uploadedList(), 0));
  ASSERT_TRUE(processEventsUntil([&] { return uploads.uploadedTooltip()->isVisible(); }));
  const QRect placed = uploads.uploadedTooltip()->frameGeometry();
  EXPECT_EQ(placed.right(), corner.x() - 11) << "ends 10 pixels left of the pointer";
  EXPECT_EQ(placed.bottom(), corner.y() - 11) << "ends 10 pixels above it";
  EXPECT_TRUE(screen.contains(placed));
}

TEST_F(UploadsWindowTest, APendingDelayShowsNothingOnceItsListIsClearedOrItsRowIsGone) {
  storeRow(u"/srv/a.bin"_s, true, true, false);
  frmUploads& uploads = open();
  uploads.addUploadInProgressInList(4, u"/srv/b.bin"_s, 0, 0, 100, 0, u"a"_s, false);
  uploads.lvwUploadedFiles_OnMouseMove(rowCentre(*uploads.uploadedList(), 0));
  uploads.lvwUploadsInProgress_OnMouseMove(rowCentre(*uploads.inProgressList(), 0));
  ASSERT_TRUE(uploads.uploadedTipsDelay()->isActive());
  ASSERT_TRUE(uploads.inProgressTipsDelay()->isActive());
  uploads.mnuUploadedFiles_ClearList_Click();
  uploads.RemoveUploadInProgressInList(4);
  EXPECT_FALSE(uploads.uploadedTipsDelay()->isActive());
  EXPECT_FALSE(uploads.inProgressTipsDelay()->isActive());
  // Even a delay that ends all the same finds no row to show.
  uploads.tmrUploadedFilesTipsDelay_Timer();
  uploads.tmrUploadsInProgressTipsDelay_Timer();
  EXPECT_FALSE(uploads.uploadedTooltip()->isVisible());
  EXPECT_FALSE(uploads.inProgressTooltip()->isVisible());
  EXPECT_FALSE(gConfiguration.AppDisplay.blnUploadInProgressTooltipShown);
  EXPECT_FALSE(gConfiguration.AppDisplay.blnUploadedFileTooltipShown);
}

TEST_F(UploadsWindowTest, WithTheTooltipsOffMovesChangeNothing) {
  gConfiguration.AppDisplay.SHOW_TRANSFERS_TOOL_TIPS = false;
  storeRow(u"/srv/a.bin"_s, true, true, false);
  frmUploads& uploads = open();
  QTest::mouseMove(uploads.uploadedList()->viewport(), rowCentre(*uploads.uploadedList(), 0));
  uploads.lvwUploadedFiles_OnMouseMove(rowCentre(*uploads.uploadedList(), 0));
  EXPECT_FALSE(uploads.uploadedTipsDelay()->isActive());
  EXPECT_EQ(uploads.intNextUploadedFilesTips, -1);
}

TEST_F(UploadsWindowTest, HidingAHiddenDetailsWindowKeepsItsIndex) {
  frmUploads& uploads = open();
  gConfiguration.AppDisplay.intUploadInProgressTooltipIndex = 7;
  uploads.subHideUploadInProgressTooltip();
  EXPECT_EQ(gConfiguration.AppDisplay.intUploadInProgressTooltipIndex, 7);
  // The engine's refresh fills a window that is not shown without showing it.
  orv::server::tUploadInProgressInfos infos;
  infos.filePath = u"/srv/a.bin"_s;
  uploads.subShowUploadInProgressTooltip(3, infos, 0, 0, true);
  EXPECT_FALSE(uploads.inProgressTooltip()->isVisible());
  uploads.subShowUploadInProgressTooltip(3, infos, 40, 50, false);
  EXPECT_TRUE(uploads.inProgressTooltip()->isVisible());
  EXPECT_EQ(uploads.inProgressTooltip()->pos(), QPoint(40, 50));
  EXPECT_EQ(gConfiguration.AppDisplay.intUploadInProgressTooltipIndex, 3);
}

// ---- Drawn progress bars ----

TEST_F(UploadsWindowTest, TheBarsPixelsInAGrabbedPicture) {
  frmUploads& uploads = open(QSize(700, 420));
  const int percents[] = {0, 48, 49, 100};
  for (int i = 0; i < 4; ++i) {
    uploads.addUploadInProgressInList(i + 1, QStringLiteral("/srv/%1.bin").arg(percents[i]), 0, 0, 100, 0, u"a"_s,
                                      false);
    uploads.RefreshUploadInProgressList(i + 1, percents[i], percents[i], 100, 0);
  }
  QTreeView& list = *uploads.inProgressList();
  list.clearSelection();
  list.setCurrentIndex({});
  processPendingEvents();
  const QImage picture = list.viewport()->grab().toImage();
  EXPECT_TRUE(saveUiArtifact(uploads, u"uploads-bars"_s));
  for (int i = 0; i < 4; ++i) {
    const QRect cell = list.visualRect(list.model()->index(i, 1));
    const orv::desktop::ProgressBarGeometry geometry = orv::desktop::progressBarGeometry(cell.size(), percents[i]);
    const QPoint origin = cell.topLeft() + geometry.picture.topLeft();
    const auto pixel = [&](int x, int y) { return picture.pixelColor(origin + QPoint(x, y)); };
    const int right = geometry.background.right();
    const int middle = geometry.background.center().y();
    EXPECT_EQ(pixel(1, middle), QColor(255, 255, 255)) << percents[i] << " frame";
    EXPECT_EQ(pixel(geometry.frame.right(), middle), QColor(255, 255, 255)) << percents[i] << " frame";
    EXPECT_EQ(pixel(3, 2), percents[i] >= 2 ? QColor(108, 147, 198) : QColor(218, 218, 218)) << percents[i];
    EXPECT_EQ(pixel(right, 2), percents[i] == 100 ? QColor(108, 147, 198) : QColor(218, 218, 218)) << percents[i];
    if (!geometry.bar.isEmpty()) {
      EXPECT_EQ(pixel(geometry.bar.right(), geometry.bar.bottom()), QColor(108, 147, 198)) << percents[i];
      EXPECT_EQ(pixel(geometry.bar.right() + 1, geometry.bar.bottom()),
                percents[i] == 100 ? QColor(255, 255, 255) : QColor(218, 218, 218))
          << percents[i];
    }
    // The text: black below 49 %, white from 49 % on.
    int whiteInside = 0;
    int darkInside = 0;
    for (int y = 3; y < geometry.background.bottom(); ++y) {
      for (int x = 3; x < right; ++x) {
        const QColor colour = pixel(x, y);
        whiteInside += colour.red() > 240 && colour.green() > 240 && colour.blue() > 240;
        darkInside += colour.red() < 60 && colour.green() < 60 && colour.blue() < 60;
      }
    }
    if (percents[i] >= 49) {
      EXPECT_GT(whiteInside, 5) << percents[i];
      EXPECT_EQ(darkInside, 0) << percents[i];
    } else {
      EXPECT_GT(darkInside, 5) << percents[i];
      EXPECT_EQ(whiteInside, 0) << percents[i];
    }
  }
}

}  // namespace
}  // namespace uploadstest
