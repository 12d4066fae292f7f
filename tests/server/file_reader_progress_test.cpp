#include "file_transfer_host.h"

namespace transfertest {
namespace {

using orv::core::gUploadedLists;
using orv::server::tUploadInProgressInfos;

QString text(bool value) {
  return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The calls the uploads window and the tray icon receive, as short texts.
class RecordingViews : public orv::server::UploadsWindowView, public orv::server::TrayIconView {
 public:
  RecordingViews() {
    orv::server::setUploadsWindowView(this);
    orv::server::setTrayIconView(this);
  }
  ~RecordingViews() override {
    orv::server::setUploadsWindowView(nullptr);
    orv::server::setTrayIconView(nullptr);
  }

  bool IsUploadExistInList(int index) const override { return rows.contains(index); }
  void addUploadInProgressInList(int index, const QString& filePath, int percent, double bytesSent, double totalSize,
                                 double rate, const QString& clientInfos, bool isPartialTransfer) override {
    rows << index;
    calls << QStringLiteral("add %1 %2 %3 %4 %5 %6 %7 %8")
                 .arg(index)
                 .arg(filePath)
                 .arg(percent)
                 .arg(bytesSent)
                 .arg(totalSize)
                 .arg(rate)
                 .arg(clientInfos)
                 .arg(text(isPartialTransfer));
  }
  void RefreshUploadInProgressList(int index, int percent, double bytesSent, double totalSize, double rate) override {
    calls << QStringLiteral("refresh %1 %2 %3 %4 %5").arg(index).arg(percent).arg(bytesSent).arg(totalSize).arg(rate);
  }
  void RemoveUploadInProgressInList(int index) override {
    rows.removeAll(index);
    calls << QStringLiteral("remove %1").arg(index);
  }
  void addUploadedFileInList(const QString& filePath, const QDateTime&, bool isFinished, bool isCompleteFile,
                             bool isUpdateSameFile, bool isResort, bool isSessionTransfer) override {
    calls << QStringLiteral("sent %1 %2 %3 %4 %5 %6")
                 .arg(filePath)
                 .arg(text(isFinished), text(isCompleteFile), text(isUpdateSameFile), text(isResort),
                      text(isSessionTransfer));
  }
  void RefreshUploadsInProgressFrameText() override { calls << QStringLiteral("caption in progress"); }
  void RefreshUploadedFilesFrameText() override { calls << QStringLiteral("caption sent"); }
  void subShowUploadInProgressTooltip(int index, const tUploadInProgressInfos& infos, int x, int y,
                                      bool refreshOnly) override {
    tooltip = infos;
    calls << QStringLiteral("tooltip %1 %2 %3 %4").arg(index).arg(x).arg(y).arg(text(refreshOnly));
  }

  bool getIsIconIsVisible() const override { return trayShown; }
  void AddOrRefreshSystrayIcon() override { ++trayRefreshes; }

  QList<int> rows;
  QStringList calls;
  tUploadInProgressInfos tooltip;
  bool trayShown = true;
  int trayRefreshes = 0;
};

TEST_F(FileTransferTest, SmallUploadShowsItsRowOnceAndEndsOnce) {
  gConfiguration.AppState.blnUploadsFormLoaded = true;
  RecordingViews views;
  const QString path = folder.write(QStringLiteral("song.mp3"), patterned(1000));
  TransferHost host;
  host.connect();
  host.handOff(path);
  host.reader->SendData();
  ASSERT_TRUE(host.waitForClose());
  EXPECT_EQ(views.calls,
            QStringList({QStringLiteral("add 1 %1 0 0 1000 0 127.0.0.1 false").arg(path), QStringLiteral("remove 1"),
                         QStringLiteral("sent %1 true true true true true").arg(path)}));
  EXPECT_EQ(historyEvents(),
            QStringList({QStringLiteral("1 127.0.0.1 ") + path, QStringLiteral("3 127.0.0.1 ") + path}));
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  EXPECT_EQ(gUploadedLists.transfers[0].transferred, 1000.0);
  // The first tick, the start, the end and the reader's unload.
  EXPECT_EQ(views.trayRefreshes, 4);
}

TEST_F(FileTransferTest, NothingReachesAClosedUploadsWindowOrAHiddenTray) {
  gConfiguration.AppState.blnUploadsFormLoaded = false;
  RecordingViews views;
  views.trayShown = false;
  const QString path = folder.write(QStringLiteral("song.mp3"), patterned(1000));
  TransferHost host;
  host.connect();
  host.handOff(path);
  host.reader->SendData();
  ASSERT_TRUE(host.waitForClose());
  EXPECT_TRUE(views.calls.isEmpty());
  EXPECT_EQ(views.trayRefreshes, 0);
  EXPECT_EQ(gUploadedLists.transfers.size(), 1u);
}

TEST_F(FileTransferTest, ResourcesAndThumbnailsAreNeverUploads) {
  gConfiguration.AppState.blnUploadsFormLoaded = true;
  RecordingViews views;
  const QString path = folder.write(QStringLiteral("icon.png"), patterned(100000));
  TransferHost host;
  host.connect();
  host.handOff(path);
  host.reader->setIsInvibleTransfer(true);
  host.reader->SendData();
  ASSERT_TRUE(host.waitForClose());
  EXPECT_EQ(host.dataArrivals, 1) << "sent in one piece whatever its size";
  EXPECT_TRUE(views.calls.isEmpty());
  EXPECT_EQ(views.trayRefreshes, 1) << "the reader's unload only";
  EXPECT_TRUE(orv::core::gHistoryLists.events.empty());
  EXPECT_TRUE(gUploadedLists.transfers.empty());
}

// A large upload to a client that stops reading: the ticks sample the body bytes sent.
TEST_F(FileTransferTest, TicksRefreshTheRowRateAndTooltipOfALargeUpload) {
  gConfiguration.AppState.blnUploadsFormLoaded = true;
  gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS = true;
  gConfiguration.AppDisplay.blnUploadInProgressTooltipShown = true;
  gConfiguration.AppDisplay.intUploadInProgressTooltipIndex = kSlot;
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 4096;
  RecordingViews views;
  const qint64 size = 8 * 1024 * 1024;
  const QString path = folder.write(QStringLiteral("film.avi"), patterned(size));
  TransferHost host;
  TcpPeer& peer = host.connect(4096);
  peer.pauseReading();
  host.handOff(path);
  host.reader->setBitRange(24);
  host.reader->SendData();
  processPendingEvents(10);
  ASSERT_TRUE(host.reader);
  EXPECT_TRUE(host.reader->uploadInfosRefreshTimer().isActive());
  EXPECT_EQ(host.reader->uploadInfosRefreshTimer().interval(), 1000);
  const double required = static_cast<double>(size - 24);
  ASSERT_FALSE(views.calls.isEmpty());
  EXPECT_EQ(views.calls.first(), QStringLiteral("add 1 %1 0 0 %2 0 127.0.0.1 true").arg(path).arg(required));

  views.calls.clear();
  host.reader->trmUploadInfosRefresh_Timer();  // the first tick takes a sample, no rate yet
  const double first = host.reader->getBodyBytesSent();
  ASSERT_GT(first, 0);
  const int firstPercent = static_cast<int>(std::nearbyint(first / required * 100));
  // The client reads a little while it stays paused for the loop.
  for (int round = 0; round < 50 && host.reader->getBodyBytesSent() < first + 100000; ++round) {
    peer.readNow();
    processPendingEvents(2);
  }
  ASSERT_TRUE(host.reader);
  host.reader->trmUploadInfosRefresh_Timer();
  const double second = host.reader->getBodyBytesSent();
  const int percent = static_cast<int>(std::nearbyint(second / required * 100));
  EXPECT_GT(percent, firstPercent);
  EXPECT_EQ(host.reader->getUploadRate(), second - first);
  EXPECT_EQ(host.reader->getUploadPercent(), percent);
  EXPECT_EQ(
      views.calls,
      QStringList({QStringLiteral("refresh 1 %1 %2 %3 0").arg(firstPercent).arg(first).arg(required),
                   QStringLiteral("caption in progress"), QStringLiteral("tooltip 1 0 0 true"),
                   QStringLiteral("refresh 1 %1 %2 %3 %4").arg(percent).arg(second).arg(required).arg(second - first),
                   QStringLiteral("caption in progress"), QStringLiteral("tooltip 1 0 0 true")}));
  EXPECT_EQ(views.tooltip.filePath, path);
  EXPECT_EQ(views.tooltip.rangeStart, 24.0);
  EXPECT_EQ(views.tooltip.fileSize, static_cast<double>(size));
  EXPECT_EQ(views.tooltip.remainingBytes, required - second);
  EXPECT_EQ(views.tooltip.currentRate, second - first);
  EXPECT_EQ(views.tooltip.averageRate, -1) << "no whole second since the start";
  EXPECT_EQ(views.tooltip.clientAppName, QStringLiteral("curl/8"));

  // Cancelled: one interrupted row, then the timer stops at its next tick.
  views.calls.clear();
  host.cleanUp();
  EXPECT_EQ(views.calls,
            QStringList({QStringLiteral("remove 1"), QStringLiteral("sent %1 false false true true true").arg(path),
                         QStringLiteral("caption in progress"), QStringLiteral("caption sent")}));
  EXPECT_EQ(historyEvents().last(), QStringLiteral("2 127.0.0.1 ") + path);
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  EXPECT_EQ(gUploadedLists.transfers[0].transferred, second);
}

}  // namespace
}  // namespace transfertest
