#include "uploads_window_fixture.h"

#include "core/debug_log.h"
#include "desktop/frm_tooltip_uploads.h"
#include "net/send_complete_pump.h"
#include "server/file_reader.h"
#include "server/request_intake.h"

#include "support/tcp_peer.h"
#include "ui_artifact.h"

#include <QCursor>
#include <QMenu>
#include <QTest>

namespace uploadstest {
namespace {

using namespace Qt::StringLiterals;
using orv::desktop::MessageAnswer;
using orv::desktop::MessageBoxRequest;
using orv::desktop::PercentRole;
using orv::desktop::uploadPicture;

constexpr qsizetype kLargeFile = 48 * 1024 * 1024;

QString logText() {
  QString text;
  for (qsizetype row = std::min<qsizetype>(orv::core::debugEventLog().count(), 40) - 1; row >= 0; --row) {
    text += orv::core::debugEventLog().line(row).text + u'\n';
  }
  return text;
}

// A running server whose root share holds a large file, downloaded by clients on
// 127.0.0.1 that read only when told to.
class LiveUploads : public UploadsWindowTest {
 protected:
  void SetUp() override {
    UploadsWindowTest::SetUp();
    savedAppFolder_ = orv::core::gAppFolder;
    orv::core::gAppFolder = folder.makeFolder(u"app"_s);
    gConfiguration.Shared.RootShare.localPath = folder.makeFolder(u"pub"_s);
    gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS = true;
    largePath = folder.write(u"pub/big.bin"_s, QByteArray(kLargeFile, 'x'));
    smallPath = folder.write(u"pub/small.txt"_s, QByteArray(1000, 's'));
    gConfiguration.AppState.blnDebugFormLoaded = true;
    gConfiguration.AdvancedParameters.APP_DEBUG = true;
    gConfiguration.AdvancedParameters.HTTP_DEBUG = true;
    // The window that moves large files on block by block, as the start-up makes it.
    orv::net::modSubClsCustWinMsg::HookCustWinMsg();
    server->setDataArrivalHandler(&orv::server::usrSocket_DataArrival);
    ASSERT_EQ(server->StartStopServer(), orv::server::StartStopResult::Started);
    port = server->listeningPort();
  }

  void TearDown() override {
    window.reset();
    peers.clear();
    server.reset();
    orv::net::modSubClsCustWinMsg::UnhookCustWinMsg();
    orv::core::gAppFolder = savedAppFolder_;
    UploadsWindowTest::TearDown();
  }

  // A client that asks for the path and reads nothing until told to.
  TcpPeer& download(const QString& path, const QByteArray& extraHeaders = {}) {
    peers.push_back(std::make_unique<TcpPeer>(port));
    TcpPeer& peer = *peers.back();
    peer.pauseReading();
    peer.setReadChunk(1024 * 1024);
    EXPECT_TRUE(processEventsUntil([&] { return peer.connected; }));
    const QByteArray request =
        "GET " + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: slow-test\r\n" + extraHeaders + "\r\n";
    EXPECT_EQ(peer.send(request), request.size());
    return peer;
  }

  // Reads until the client holds at least the count, the server sending meanwhile.
  static bool readAtLeast(TcpPeer& peer, qsizetype count) {
    return processEventsUntil(
        [&] {
          peer.readNow();
          return peer.received.size() >= count;
        },
        30000);
  }

  int rows() const { return window->inProgressList()->model()->rowCount(); }
  int sentRows() const { return window->uploadedList()->model()->rowCount(); }
  int percentOf(int row) const { return window->inProgressList()->model()->index(row, 1).data(PercentRole).toInt(); }

  int port = 0;
  QString largePath;
  QString smallPath;
  std::vector<std::unique_ptr<TcpPeer>> peers;

 private:
  QString savedAppFolder_;
};

TEST_F(LiveUploads, ASlowDownloadIsWatchedLiveThenStoppedAfterItsQuestion) {
  frmUploads& uploads = open(QSize(760, 460));
  TcpPeer& peer = download(u"/big.bin"_s);
  ASSERT_TRUE(processEventsUntil([&] { return rows() == 1; }));
  QTreeView& list = *uploads.inProgressList();
  EXPECT_EQ(list.model()->index(0, 0).data().toString(), u"big.bin"_s);
  EXPECT_EQ(list.model()->index(0, 4).data().toString(), u"127.0.0.1"_s);
  EXPECT_EQ(iconKey(list, 0), uploadPicture(1).cacheKey());
  EXPECT_EQ(list.model()->index(0, 2).data(orv::desktop::SortKeyRole).toString(), u"000"_s)
      << "the row starts at 0 % until the next tick";
  ASSERT_TRUE(readAtLeast(peer, 8 * 1024 * 1024))
      << peer.received.size() << " bytes, " << peer.reads << " reads, end " << peer.endOfStream << " error "
      << peer.readError << " log " << logText().toStdString();
  ASSERT_TRUE(processEventsUntil([&] { return percentOf(0) > 0; }));
  EXPECT_LT(percentOf(0), 100);
  EXPECT_TRUE(uploads.inProgressFrame()->title().startsWith(u"Uploads in progress (Transfers: 1, Remaining: "_s));

  // The details window of the row under the pointer, refreshed by the reader's tick.
  QCursor::setPos(list.viewport()->mapToGlobal(list.visualRect(list.model()->index(0, 0)).center()));
  uploads.lvwUploadsInProgress_OnMouseMove(list.visualRect(list.model()->index(0, 0)).center());
  ASSERT_TRUE(processEventsUntil([&] { return uploads.inProgressTooltip()->isVisible(); }));
  QStringList lines = uploads.inProgressTooltip()->lines();
  ASSERT_EQ(lines.size(), 9);
  EXPECT_EQ(lines[2], u"Client : 127.0.0.1"_s);
  EXPECT_EQ(lines[3], u"Client program : slow-test"_s);
  EXPECT_EQ(lines[5], u"Whole file : Yes"_s);
  const QPoint placed = uploads.inProgressTooltip()->pos();
  ASSERT_TRUE(readAtLeast(peer, 16 * 1024 * 1024));
  ASSERT_TRUE(processEventsUntil([&] { return uploads.inProgressTooltip()->lines()[4] != lines[4]; }));
  EXPECT_EQ(uploads.inProgressTooltip()->pos(), placed) << "refreshed in place";
  EXPECT_TRUE(saveUiArtifact(uploads, u"uploads-live-download"_s));
  EXPECT_TRUE(saveUiArtifact(*uploads.inProgressTooltip(), u"uploads-live-tooltip"_s));

  // Stop, asked first; the upload ends while its details window is shown.
  list.selectionModel()->setCurrentIndex(list.model()->index(0, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  answer = [](const MessageBoxRequest&) { return MessageAnswer::Yes; };
  uploads.showInProgressMenu(list.visualRect(list.model()->index(0, 0)).center());
  ASSERT_TRUE(uploads.inProgressMenu()->isVisible());
  EXPECT_FALSE(uploads.inProgressTooltip()->isVisible()) << "the menu hides it";
  uploads.inProgressMenu()->hide();
  uploads.subShowUploadInProgressTooltip(1, {}, 10, 10, false);
  uploads.inProgressMenu()->actions()[3]->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Do you want to stop the following transfers :\r\n\r\n- "_s + largePath);
  EXPECT_EQ(boxes[0].icon, orv::desktop::MessageIcon::Question);
  EXPECT_EQ(rows(), 0);
  ASSERT_EQ(sentRows(), 1);
  EXPECT_EQ(iconKey(*uploads.uploadedList(), 0), uploadPicture(3).cacheKey()) << "aborted, whole file";
  EXPECT_FALSE(uploads.inProgressTooltip()->isVisible());
  EXPECT_FALSE(gConfiguration.AppDisplay.blnUploadInProgressTooltipShown);
  EXPECT_EQ(gConfiguration.AppDisplay.intUploadInProgressTooltipIndex, -1);
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  EXPECT_FALSE(gUploadedLists.transfers[0].finished);
  EXPECT_EQ(uploads.inProgressFrame()->title(), u"Uploads in progress (Transfers: 0, Remaining: 0 byte)"_s);
  EXPECT_TRUE(uploads.uploadedFrame()->title().startsWith(u"Files sent (Transfers: 1, Sent: "_s));
}

TEST_F(LiveUploads, AnUploadThatEndsWithinItsFirstSecondIsListed) {
  frmUploads& uploads = open();
  TcpPeer& peer = download(u"/small.txt"_s);
  peer.resumeReading();
  ASSERT_TRUE(processEventsUntil([&] { return sentRows() == 1; }));
  EXPECT_EQ(rows(), 0);
  const QTreeView& list = *uploads.uploadedList();
  EXPECT_EQ(list.model()->index(0, 0).data().toString(), u"small.txt"_s);
  EXPECT_EQ(list.model()->index(0, 2).data().toString(), u"1"_s);
  EXPECT_EQ(iconKey(list, 0), uploadPicture(1).cacheKey());
  EXPECT_EQ(list.model()->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 0));
}

TEST_F(LiveUploads, ARangeThatTheClientLeavesIsAnAbortedRange) {
  frmUploads& uploads = open();
  TcpPeer& peer = download(u"/big.bin"_s, "Range: bytes=1000-\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return rows() == 1; }));
  EXPECT_EQ(iconKey(*uploads.inProgressList(), 0), uploadPicture(2).cacheKey());
  peer.reset();
  ASSERT_TRUE(processEventsUntil([&] { return sentRows() == 1; }));
  EXPECT_EQ(rows(), 0);
  EXPECT_EQ(iconKey(*uploads.uploadedList(), 0), uploadPicture(4).cacheKey());
}

TEST_F(LiveUploads, TheStopActsOnlyOnTheUploadsTheQuestionNamed) {
  frmUploads& uploads = open();
  download(u"/big.bin"_s);
  ASSERT_TRUE(processEventsUntil([&] { return rows() == 1; }));
  download(u"/big.bin"_s, "X-Second: yes\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return rows() == 2; }));
  QTreeView& list = *uploads.inProgressList();
  list.selectAll();
  const int first = list.model()->index(0, 0).data(orv::desktop::ConnectionIndexRole).toInt();
  const int second = list.model()->index(1, 0).data(orv::desktop::ConnectionIndexRole).toInt();
  quint64 replacement = 0;
  answer = [&](const MessageBoxRequest&) {
    // While the question is open the first connection ends, and a new client takes its
    // slot with an upload of its own.
    server->usrSocket_CloseSck(first);
    download(u"/big.bin"_s);
    EXPECT_TRUE(processEventsUntil([&] {
      const orv::server::usrFileReader* reader = server->slots().usrFileReader(first);
      return reader != nullptr && reader->getIsActiveUpload() && uploads.IsUploadExistInList(first);
    }));
    replacement = server->slots().usrFileReader(first)->getTransferId();
    return MessageAnswer::Yes;
  };
  QTest::keyClick(&list, Qt::Key_Delete);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.count(u"\r\n- "_s), 2) << "both uploads were named";
  EXPECT_EQ(server->slots().usrFileReader(second), nullptr) << "the second upload was stopped";
  const orv::server::usrFileReader* newcomer = server->slots().usrFileReader(first);
  ASSERT_NE(newcomer, nullptr) << "the newcomer in the first slot was not";
  EXPECT_TRUE(newcomer->getIsActiveUpload());
  EXPECT_EQ(newcomer->getTransferId(), replacement);
  EXPECT_EQ(rows(), 1);
  EXPECT_EQ(sentRows(), 2);
}

TEST_F(LiveUploads, OpeningTheWindowShowsTheUploadsAlreadyRunning) {
  download(u"/big.bin"_s, "Range: bytes=10-\r\n");
  ASSERT_TRUE(processEventsUntil([&] {
    const orv::server::usrFileReader* reader = server->slots().usrFileReader(1);
    return reader != nullptr && reader->getIsActiveUpload();
  }));
  frmUploads& uploads = open();
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(uploads.inProgressList()->model()->index(0, 0).data().toString(), u"big.bin"_s);
  EXPECT_EQ(iconKey(*uploads.inProgressList(), 0), uploadPicture(2).cacheKey());
  window.reset();
  EXPECT_EQ(orv::server::getUploadsWindow(), nullptr) << "a closed window gets no calls";
}

}  // namespace
}  // namespace uploadstest
