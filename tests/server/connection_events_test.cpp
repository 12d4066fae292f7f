#include "server/server_engine.h"

#include "engine_test_support.h"

#include "net/send_complete_pump.h"
#include "server/file_reader.h"
#include "server/ip_counters.h"
#include "support/temp_folder.h"

#include <QDateTime>

namespace {

using namespace Qt::StringLiterals;
using enginetest::ComponentArray;
using enginetest::EngineTest;
using enginetest::gConfiguration;
using enginetest::StartStopResult;
using orv::server::ServerEngine;

// ---- Idle connections ----

using IdleConnection = EngineTest;

// A client that connects and never says a word does not keep its slot: the idle timer
// runs from the accept. One that sends part of a request gets the same interval again.
TEST_F(IdleConnection, SilentAndHalfSentClientsAreClosedByTheIdleTimer) {
  gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT = 0.2;
  ASSERT_TRUE(admitted("127.0.0.2"));
  ASSERT_TRUE(admitted("127.0.0.3"));
  ASSERT_EQ(peers[1]->send("GET / HTTP/1.1\r\n"), 16);
  ASSERT_TRUE(waitForSlots(0));
  for (const auto& peer : peers) {
    EXPECT_TRUE(processEventsUntil([&] { return peer->endOfStream; }));
    EXPECT_TRUE(peer->received.isEmpty());
  }
  EXPECT_EQ(logCount(u"Unload usrSocket("_s), 2);
}

// ---- Errors and closes ----

using ConnectionErrors = EngineTest;

TEST_F(ConnectionErrors, EveryErrorOfAConnectionFreesItsSlot) {
  const int numbers[] = {10053, 10054, 10058, 10060, 10065, 40006};
  for (const int number : numbers) {
    SCOPED_TRACE(number);
    ASSERT_TRUE(admitted("127.0.0.2"));
    orv::net::SocketErrorEventArgs error;
    error.Number = number;
    server->usrSocket_Error(1, error);
    EXPECT_EQ(server->slots().count(), 0);
    EXPECT_TRUE(error.CancelDisplay);
    EXPECT_TRUE(processEventsUntil([&] { return refused(*peers.back()); }));
  }
  EXPECT_EQ(logCount(u"Unload usrSocket(1) by usrSocket_Error"_s), 6);
  EXPECT_EQ(logCount(u"Unload usrFileReader(1) by usrSocket_Error"_s), 6);
}

TEST_F(ConnectionErrors, AResetByThePeerFreesTheSlot) {
  ASSERT_TRUE(admitted("127.0.0.2"));
  ASSERT_TRUE(admitted("127.0.0.2"));
  peers[0]->reset();
  peers[1]->send("GET / HT");
  peers[1]->reset();
  ASSERT_TRUE(waitForSlots(0));
}

TEST_F(ConnectionErrors, AnErrorOfTheListenerKeepsItListening) {
  orv::net::SocketErrorEventArgs error;
  error.Number = 10024;
  error.Description = u"Too many open files."_s;
  server->usrSocket_Error(0, error);
  EXPECT_TRUE(server->isServerRunning());
  EXPECT_EQ(logCount(u"usrSocket(0) error 10024 : Too many open files."_s), 1);
  EXPECT_TRUE(admitted("127.0.0.2"));
}

// The clean-up runs on whatever is left of a slot, and only once.
TEST_F(ConnectionErrors, CleanUpOfAGoneOrFreeSlotDoesNothing) {
  ASSERT_TRUE(admitted("127.0.0.2"));
  server->usrSocket_CloseSck(1);
  server->usrSocket_CloseSck(1);
  server->usrSocket_CloseSck(7);
  server->usrSocket_CloseSck(0);
  EXPECT_TRUE(server->isServerRunning());
  EXPECT_EQ(logCount(u"Unload usrSocket(1)"_s), 1);
}

// A thumbnail maker left in the slot goes with it, and its client's count of thumbnails in
// creation goes down, even though the socket no longer knows the peer's address.
TEST_F(ConnectionErrors, CleanUpRemovesAThumbnailMakerAndItsCount) {
  ASSERT_TRUE(admitted("127.0.0.2"));
  ASSERT_TRUE(admitted("127.0.0.3"));
  auto& counter = gConfiguration.AppState.colIpMiniaturesInCreation;
  orv::server::subUpdateCounter(counter, u"127.0.0.2"_s, 1);
  orv::server::subUpdateCounter(counter, u"127.0.0.3"_s, 1);
  server->slots().loadMiniature(1, u"usrSocket_DataArrival"_s);
  EXPECT_TRUE(server->isControlArrayItemLoaded(ComponentArray::usrMinature, 1));

  peers[0]->close();
  ASSERT_TRUE(waitForSlots(1));
  EXPECT_EQ(orv::server::getCounterValue(counter, u"127.0.0.2"_s), -1);
  EXPECT_EQ(orv::server::getCounterValue(counter, u"127.0.0.3"_s), 1);
  const QStringList log = logMessages();
  const qsizetype maker = log.indexOf(u"Unload usrMinature(1) by usrSocket_CloseSck"_s);
  const qsizetype reader = log.indexOf(u"Unload usrFileReader(1) by usrSocket_CloseSck"_s);
  const qsizetype socket = log.indexOf(u"Unload usrSocket(1) by usrSocket_CloseSck"_s);
  EXPECT_LT(reader, maker);
  EXPECT_LT(maker, socket);
  EXPECT_GE(reader, 0);
}

// ---- File transfers through the slots ----

// A request handler that answers every request with the file given, as the request road
// will hand it to the slot's file reader.
class FileTransfers : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    orv::net::modSubClsCustWinMsg::HookCustWinMsg();
    server->setDataArrivalHandler([this](ServerEngine& engine, int Index, int) {
      orv::net::usrSocket& socket = *engine.slots().usrSocket(Index);
      QByteArray data;
      socket.GetData(data);
      socket.StopConnectionTimeoutTimer();
      orv::server::usrFileReader& reader = *engine.slots().usrFileReader(Index);
      reader.setClientInfos(socket.RemoteHostIP());
      reader.setNbConnectionRequest(1);
      reader.setIsKeepConnection(false);
      reader.setIsDeflateCompression(false);
      reader.setSocketIndex(Index);
      reader.setFilePath(filePath);
      reader.setFileExtension(u"bin"_s);
      reader.setBitRange(0);
      reader.setIsInvibleTransfer(false);
      reader.setTransferStartDate(QDateTime::currentDateTime());
      reader.setClientAppName(u"test"_s);
      reader.setClientHttpVersion("1.1");
      reader.setHttpMethod(orv::server::HttpMethodCode::GET);
      reader.SendData();
    });
  }
  void TearDown() override {
    EngineTest::TearDown();
    orv::net::modSubClsCustWinMsg::UnhookCustWinMsg();
  }

  TempFolder folder;
  QString filePath;
};

TEST_F(FileTransfers, StoppingTheServerInterruptsEveryTransferThroughTheCleanUp) {
  filePath = folder.write(u"big.bin"_s, QByteArray(4 * 1024 * 1024, 'x'));
  for (const char* source : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
    ASSERT_TRUE(admitted(source));
    TcpPeer& peer = *peers.back();
    peer.pauseReading();
    peer.send("GET /big.bin HTTP/1.1\r\n\r\n");
  }
  ASSERT_TRUE(processEventsUntil([&] { return historyEvents().size() == 3; }));
  processPendingEvents();

  ASSERT_EQ(server->StartStopServer(), StartStopResult::Stopped);
  EXPECT_EQ(server->slots().count(), 0);
  int aborted = 0;
  for (const QString& event : historyEvents()) {
    aborted += event.startsWith(u"2 127.0.0."_s) && event.endsWith(filePath) ? 1 : 0;
  }
  EXPECT_EQ(aborted, 3);
  ASSERT_EQ(orv::core::gUploadedLists.transfers.size(), 3U);
  for (const orv::core::tUploadedTransfer& transfer : orv::core::gUploadedLists.transfers) {
    EXPECT_FALSE(transfer.finished);
    EXPECT_LT(transfer.transferred, 4.0 * 1024 * 1024);
  }
  for (const auto& peer : peers) {
    peer->resumeReading();
    EXPECT_TRUE(processEventsUntil([&] { return refused(*peer); }));
    EXPECT_LT(peer->received.size(), 4 * 1024 * 1024);
  }
}

// A stop that comes while blocks are on their way, from inside the pump: before the pump asks
// for the next block, or during the reader's own yield before it hands a block over. Every
// transfer ends as interrupted, nothing of the slots is touched after it is gone, and the
// server starts again on the same port and sends a whole file.
TEST_F(FileTransfers, StoppingFromInsideThePumpEndsEveryTransferAndTheServerStartsAgain) {
  struct Case {
    const char* name;
    bool duringTheReadersYield;
  };
  const Case cases[] = {{"before the next block is asked for", false}, {"during the reader's yield", true}};
  const QByteArray content = QByteArray(2 * 1024 * 1024, 'p') + "end";
  filePath = folder.write(u"big.bin"_s, content);
  gConfiguration.AdvancedParameters.APP_FILE_READER_BLOCK_SIZE = 4096;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
    gConfiguration.Protocol.LOCAL_PORT = QString::number(port);
    if (!server->isServerRunning()) {
      ASSERT_EQ(server->StartStopServer(), StartStopResult::Started);
    }
    int stepsWithAllStarted = 0;
    bool stopped = false;
    bool insideStep = false;
    bool stoppedInsideStep = false;
    orv::net::modSubClsCustWinMsg::setNextBlockHandler([&](int index, qintptr lParam) {
      if (!stopped && historyEvents().size() == 3 && ++stepsWithAllStarted == 20) {
        stopped = true;
        if (c.duringTheReadersYield) {
          QMetaObject::invokeMethod(
              QCoreApplication::instance(),
              [&] {
                stoppedInsideStep = insideStep;
                server->StartStopServer();
              },
              Qt::QueuedConnection);
        } else {
          stoppedInsideStep = true;
          ASSERT_EQ(server->StartStopServer(), StartStopResult::Stopped);
        }
      }
      if (orv::server::usrFileReader* reader = server->slots().usrFileReader(index)) {
        insideStep = true;
        reader->SendDataToSocket(static_cast<quint64>(lParam));
        insideStep = false;
      }
    });
    // All connected first: a transfer runs inside the yields of the event that started it,
    // so a client admitted meanwhile may find the slot count back where it was.
    for (const char* source : {"127.0.0.2", "127.1.2.3", "127.200.0.9"}) {
      ASSERT_TRUE(admitted(source));
      peers.back()->setReadChunk(2048);
    }
    for (const auto& peer : peers) {
      peer->send("GET /big.bin HTTP/1.1\r\n\r\n");
    }
    ASSERT_TRUE(processEventsUntil([&] { return stopped && !server->isServerRunning(); }, 30000));
    EXPECT_TRUE(stoppedInsideStep);
    EXPECT_EQ(server->slots().count(), 0);
    int started = 0;
    int aborted = 0;
    for (const QString& event : historyEvents()) {
      started += event.startsWith(u"1 "_s) ? 1 : 0;
      aborted += event.startsWith(u"2 "_s) ? 1 : 0;
    }
    EXPECT_EQ(started, 3);
    EXPECT_EQ(aborted, 3);
    EXPECT_EQ(orv::core::gUploadedLists.transfers.size(), 3U);
    for (const auto& peer : peers) {
      EXPECT_TRUE(processEventsUntil([&] { return refused(*peer); }));
      EXPECT_LT(peer->received.size(), content.size());
    }
    peers.clear();

    ASSERT_EQ(server->StartStopServer(), StartStopResult::Started);
    EXPECT_EQ(server->listeningPort(), port);
    ASSERT_TRUE(admitted("127.0.0.5"));
    TcpPeer& peer = *peers.back();
    peer.send("GET /big.bin HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }, 30000));
    EXPECT_TRUE(peer.received.endsWith("\r\n\r\n" + content)) << peer.received.size() << " bytes";
    ASSERT_TRUE(waitForSlots(0));
    peers.clear();
  }
}

// The peer goes away in the middle of a large upload, leaving data it never read: its
// reset reaches the server as an error or a close, and either way the slot goes with one
// interrupted upload recorded.
TEST_F(FileTransfers, APeerGoneDuringALargeUploadEndsItAsInterrupted) {
  filePath = folder.write(u"big.bin"_s, QByteArray(4 * 1024 * 1024, 'z'));
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  peer.pauseReading();
  peer.send("GET /big.bin HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return historyEvents().size() == 1; }));
  processPendingEvents();
  peer.close();
  ASSERT_TRUE(waitForSlots(0));
  EXPECT_EQ(historyEvents(), (QStringList{u"1 127.0.0.2 "_s + filePath, u"2 127.0.0.2 "_s + filePath}));
  ASSERT_EQ(orv::core::gUploadedLists.transfers.size(), 1U);
  EXPECT_FALSE(orv::core::gUploadedLists.transfers[0].finished);
  EXPECT_TRUE(orv::core::gUploadedLists.transfers[0].completeFile);
}

TEST_F(FileTransfers, ALargeFileIsPumpedToItsEndAndTheConnectionCloses) {
  const QByteArray content = QByteArray(1024 * 1024, 'y') + "end";
  filePath = folder.write(u"large.bin"_s, content);
  ASSERT_TRUE(admitted("127.0.0.2"));
  TcpPeer& peer = *peers.back();
  peer.setReadChunk(7000);
  peer.send("GET /large.bin HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }, 20000));
  EXPECT_TRUE(peer.received.startsWith("HTTP/1.1 200 "));
  EXPECT_TRUE(peer.received.endsWith(content.right(100)));
  EXPECT_EQ(peer.received.size() - peer.received.indexOf("\r\n\r\n") - 4, content.size());
  ASSERT_TRUE(waitForSlots(0));
  EXPECT_EQ(historyEvents(), (QStringList{u"1 127.0.0.2 "_s + filePath, u"3 127.0.0.2 "_s + filePath}));
  ASSERT_EQ(orv::core::gUploadedLists.transfers.size(), 1U);
  EXPECT_TRUE(orv::core::gUploadedLists.transfers[0].finished);
  EXPECT_EQ(orv::core::gUploadedLists.transfers[0].transferred, content.size());
  EXPECT_EQ(logCount(u"Unload usrSocket(1) by usrSocket_SendComplete"_s), 1);
}

}  // namespace
