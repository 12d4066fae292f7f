#include "file_transfer_host.h"

#include <QFile>

#include <unistd.h>

namespace transfertest {
namespace {

using orv::core::gHistoryLists;
using orv::core::gUploadedLists;

TEST_F(FileTransferTest, LargeFileArrivesIntactBlockByBlockThroughThePump) {
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 65536;
  const QByteArray content = patterned(150000);
  const QString path = folder.write(QStringLiteral("big.bin"), content);
  TransferHost host;
  TcpPeer& peer = host.connect();
  host.handOff(path);
  host.reader->SendData();
  ASSERT_TRUE(host.waitForClose());

  const Response response = Response::of(peer.received);
  EXPECT_EQ(response.statusLine(), "HTTP/1.1 200 OK");
  EXPECT_EQ(response.header("Content-Length"), "150000");
  EXPECT_TRUE(response.body == content) << "body of " << response.body.size() << " bytes differs";
  // Blocks of 65536, 65536 and 18928 bytes; the reader's completion comes before the last.
  EXPECT_EQ(host.dataArrivals, 3);
  EXPECT_EQ(host.dataArrivalsAtCompletion, 2);
  EXPECT_EQ(host.readerCompletions, 1);
  EXPECT_EQ(host.pumpSteps, 2);
  EXPECT_EQ(host.uploadEnds, 1);
  EXPECT_EQ(historyEvents(),
            QStringList({QStringLiteral("1 127.0.0.1 ") + path, QStringLiteral("3 127.0.0.1 ") + path}));
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  EXPECT_TRUE(gUploadedLists.transfers[0].finished);
  EXPECT_TRUE(gUploadedLists.transfers[0].completeFile);
  EXPECT_EQ(gUploadedLists.transfers[0].transferred, 150000.0);
}

// Many blocks through a slow reader: each block waits for the socket, and the stack of pump
// steps never grows with the number of blocks.
TEST_F(FileTransferTest, ManySmallBlocksToASlowReaderStayInOrder) {
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 1000;
  const QByteArray content = patterned(3 * 1024 * 1024 + 17);
  const QString path = folder.write(QStringLiteral("many.bin"), content);
  TransferHost host;
  TcpPeer& peer = host.connect(8192);
  peer.setReadChunk(4096);
  host.handOff(path);
  host.reader->SendData();
  ASSERT_TRUE(host.waitForClose(60000));
  const Response response = Response::of(peer.received);
  EXPECT_TRUE(response.body == content) << "body of " << response.body.size() << " bytes differs";
  EXPECT_EQ(host.dataArrivals, 3146);
  EXPECT_EQ(host.uploadEnds, 1);
}

TEST_F(FileTransferTest, HeadOfALargeFileSendsTheHeadAloneAndCloses) {
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 1000;
  const QString path = folder.write(QStringLiteral("big.bin"), patterned(5000));
  TransferHost host;
  TcpPeer& peer = host.connect();
  host.handOff(path, HttpMethodCode::HEAD);
  host.reader->SendData();
  ASSERT_TRUE(host.waitForClose());
  const Response response = Response::of(peer.received);
  EXPECT_EQ(response.header("Content-Length"), "5000");
  EXPECT_TRUE(response.body.isEmpty());
  EXPECT_EQ(host.dataArrivals, 0);
  EXPECT_EQ(host.readerCompletions, 0);
  EXPECT_TRUE(gHistoryLists.events.empty());
  EXPECT_TRUE(gUploadedLists.transfers.empty());
}

// A kept connection answered with a head alone waits for the next request on its idle timer,
// and closing it then records no upload.
TEST_F(FileTransferTest, HeadOnAKeptConnectionStartsTheIdleTimer) {
  const QString path = folder.write(QStringLiteral("style.css"), QByteArray(700, 'c'));
  TransferHost host;
  TcpPeer& peer = host.connect();
  host.handOff(path, HttpMethodCode::HEAD);
  host.reader->setIsInvibleTransfer(true);
  host.reader->setIsKeepConnection(true);
  host.reader->SendData();
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.endsWith("\r\n\r\n"); }));
  ASSERT_TRUE(host.socket);
  EXPECT_FALSE(host.reader->getIsActiveUpload());
  EXPECT_TRUE(host.socket->isConnectionTimeoutTimerActive());
  EXPECT_EQ(Response::of(peer.received).header("Content-Length"), "700");
  host.cleanUp();
  EXPECT_TRUE(gHistoryLists.events.empty());
  EXPECT_TRUE(gUploadedLists.transfers.empty());
}

TEST_F(FileTransferTest, PeerClosingDuringALargeRangeUploadRecordsOneAbortWithTheBytesSent) {
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 4096;
  const QString path = folder.write(QStringLiteral("movie.avi"), patterned(8 * 1024 * 1024));
  TransferHost host;
  TcpPeer& peer = host.connect(4096);
  peer.pauseReading();
  host.handOff(path);
  host.reader->setBitRange(1000);
  host.reader->SendData();
  // The client stops reading: the socket fills and the transfer waits.
  processPendingEvents(10);
  ASSERT_TRUE(host.reader);
  const double sent = host.reader->getBodyBytesSent();
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, 8 * 1024 * 1024 - 1000);
  peer.reset();
  ASSERT_TRUE(processEventsUntil([&] { return !host.socket; }));
  EXPECT_EQ(historyEvents(),
            QStringList({QStringLiteral("1 127.0.0.1 ") + path, QStringLiteral("2 127.0.0.1 ") + path}));
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  EXPECT_FALSE(gUploadedLists.transfers[0].finished);
  EXPECT_FALSE(gUploadedLists.transfers[0].completeFile);
  EXPECT_GE(gUploadedLists.transfers[0].transferred, sent);
  EXPECT_LT(gUploadedLists.transfers[0].transferred, 8 * 1024 * 1024 - 1000);
}

TEST_F(FileTransferTest, ANewResponseCutsOffAnUploadStillGoingOut) {
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 4096;
  const QString first = folder.write(QStringLiteral("first.avi"), patterned(8 * 1024 * 1024));
  const QString second = folder.write(QStringLiteral("second.txt"), patterned(100));
  TransferHost host;
  TcpPeer& peer = host.connect(4096);
  peer.pauseReading();
  host.handOff(first);
  host.reader->SendData();
  processPendingEvents(5);
  ASSERT_TRUE(host.reader && host.reader->getIsActiveUpload());
  host.handOff(second);
  host.reader->SendData();
  ASSERT_FALSE(gUploadedLists.transfers.empty());
  EXPECT_EQ(gUploadedLists.transfers[0].path, first);
  EXPECT_FALSE(gUploadedLists.transfers[0].finished);
  EXPECT_EQ(historyEvents().mid(0, 3),
            QStringList({QStringLiteral("1 127.0.0.1 ") + first, QStringLiteral("2 127.0.0.1 ") + first,
                         QStringLiteral("1 127.0.0.1 ") + second}));
  host.cleanUp();
}

// The file changes under a transfer of 40 blocks, after the first block has left.
struct FileChange {
  const char* name;
  void (*change)(const QString& path);
  bool finished;         // the upload ends as finished, with every promised byte sent
  qint64 bytesAtClient;  // body bytes the client receives
};

void deleteFile(const QString& path) {
  QFile::remove(path);
}
void truncateFile(const QString& path) {
  ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 5000), 0);
}
void growFile(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::Append));
  file.write(QByteArray(50000, 'x'));
}

class FileChangeTest : public FileTransferTest, public ::testing::WithParamInterface<FileChange> {};

TEST_P(FileChangeTest, EndsCleanlyAndRecordsTheBytesReallySent) {
  const FileChange& row = GetParam();
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 4096;
  const QByteArray content = patterned(40 * 4096);
  const QString path = folder.write(QStringLiteral("changing.bin"), content);
  TransferHost host;
  TcpPeer& peer = host.connect();
  host.handOff(path);
  // The change comes as the first block is handed over, before the second is read.
  bool changed = false;
  host.reader->events.DataArrival = [&](QByteArray& bytData) {
    ++host.dataArrivals;
    if (!changed) {
      changed = true;
      row.change(path);
    }
    if (host.socket->State() == SocketState::sckConnected) {
      host.socket->SendDataB(bytData);
    }
  };
  host.reader->SendData();
  ASSERT_TRUE(host.waitForClose());
  const Response response = Response::of(peer.received);
  EXPECT_EQ(response.header("Content-Length"), QByteArray::number(content.size()));
  EXPECT_EQ(response.body.size(), row.bytesAtClient);
  EXPECT_TRUE(response.body == content.first(response.body.size())) << "the bytes sent are not the file's";
  ASSERT_EQ(gUploadedLists.transfers.size(), 1u);
  EXPECT_EQ(gUploadedLists.transfers[0].finished, row.finished);
  EXPECT_EQ(gUploadedLists.transfers[0].transferred, static_cast<double>(row.bytesAtClient));
  EXPECT_EQ(historyEvents().size(), 2);
  EXPECT_TRUE(historyEvents().last().startsWith(row.finished ? QLatin1String("3 ") : QLatin1String("2 ")));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, FileChangeTest,
    ::testing::Values(FileChange{"deleted", deleteFile, true, 40 * 4096},  // the open file still reads
                      FileChange{"truncated", truncateFile, false, 4096},  // the short read ends it
                      FileChange{"grown", growFile, true, 40 * 4096}),     // the promised length only
    [](const ::testing::TestParamInfo<FileChange>& param) { return std::string(param.param.name); });

TEST_F(FileTransferTest, FileGoneBeforeItOpensClosesTheConnectionWithoutAnswer) {
  TransferHost host;
  TcpPeer& peer = host.connect();
  host.handOff(folder.file(QStringLiteral("gone.txt")));
  host.reader->SendData();
  ASSERT_TRUE(host.waitForClose());
  EXPECT_TRUE(peer.received.isEmpty());
  EXPECT_TRUE(gHistoryLists.events.empty());
  EXPECT_TRUE(gUploadedLists.transfers.empty());
}

}  // namespace
}  // namespace transfertest
