#include "net/socket_master.h"
#include "net/usr_socket.h"
#include "net_test_support.h"
#include "platform/async_socket.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <QObject>

#include <memory>

namespace {

namespace platform = orv::platform;
using nettest::EventTrace;
using nettest::NetTest;
using nettest::settle;
using orv::net::clsSocketMaster;
using orv::net::SocketError;
using orv::net::SocketState;
using orv::net::usrSocket;

QByteArray pattern(int size) {
  QByteArray data(size, '\0');
  for (int i = 0; i < size; ++i) {
    data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  }
  return data;
}

// One accepted connection (server) and the peer that made it.
class Connected : public NetTest {
 protected:
  void open(int peerReceiveBuffer = 0) {
    listener = std::make_unique<clsSocketMaster>();
    listener->events.ConnectionRequest = [this](int requestID) {
      server = std::make_unique<usrSocket>();
      trace.attach(server->events);
      server->Accept(requestID);
    };
    listener->Bind(0, QStringLiteral("127.0.0.1"));
    listener->Listen();
    peer = std::make_unique<TcpPeer>(listener->LocalPort(), peerReceiveBuffer);
    ASSERT_TRUE(processEventsUntil([this] { return server != nullptr; }));
  }

  // The owner's answer to a close: the connection goes.
  void closeOnCloseSck() {
    trace.onCloseSck = [this] { server.reset(); };
  }

  void TearDown() override {
    server.reset();
    peer.reset();
    listener.reset();
    NetTest::TearDown();
  }

  int intOption(int level, int name) const {
    int value = -1;
    EXPECT_EQ(platform::getSocketOption(server->SocketHandle(), level, name, &value), 0);
    return value;
  }

  std::unique_ptr<clsSocketMaster> listener;
  std::unique_ptr<usrSocket> server;
  std::unique_ptr<TcpPeer> peer;
  EventTrace trace;
};

TEST_F(Connected, EachSendCallPassesAtMostOneByteMoreThanTheMaximumAndReportsItsProgress) {
  struct Case {
    int size;
    QStringList events;
  };
  const Case cases[] = {
      {20000,
       {QStringLiteral("SendProgress(8193,11807)"), QStringLiteral("SendProgress(8193,3614)"),
        QStringLiteral("SendProgress(3614,0)"), QStringLiteral("SendComplete")}},
      {8193, {QStringLiteral("SendProgress(8193,0)"), QStringLiteral("SendComplete")}},
      {8192, {QStringLiteral("SendProgress(8192,0)"), QStringLiteral("SendComplete")}},
  };
  open();
  QByteArray expected;
  for (const Case& c : cases) {
    trace.seen.clear();
    const QByteArray data = pattern(c.size);
    expected += data;
    server->SendDataB(data);
    EXPECT_EQ(trace.seen, c.events) << "before SendDataB returns, for " << c.size << " bytes";
  }
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() == expected.size(); }));
  EXPECT_TRUE(peer->received == expected);
  EXPECT_EQ(server->BytesSent(), 20000 + 8193 + 8192);
  EXPECT_TRUE(logged(QStringLiteral("OK Bytes sent: 8193")));
  EXPECT_TRUE(logged(QStringLiteral("OK Finished SENDING")));
}

TEST_F(Connected, SendingEmptyDataQueuesNothing) {
  open();
  server->SendData(QString());
  server->SendDataB(QByteArray());
  EXPECT_TRUE(trace.seen.isEmpty());
  EXPECT_EQ(server->BytesSent(), 0);
}

TEST_F(Connected, ReceivedDataIsTakenByLengthAsTextOrAsANumber) {
  open();
  peer->send("abc");
  ASSERT_TRUE(processEventsUntil([&] { return trace.seen.contains(QStringLiteral("DataArrival(3)")); }));
  qint32 number = 0;
  QByteArray bytes("x");
  EXPECT_EQ(server->GetData(bytes, 0), 0);
  EXPECT_TRUE(bytes.isEmpty()) << "maxLen 0 gives an empty value";
  EXPECT_EQ(server->BytesReceived(), 3);
  EXPECT_EQ(server->GetData(number), 0) << "a Long needs four bytes";
  EXPECT_EQ(server->BytesReceived(), 3);

  peer->send("d");
  ASSERT_TRUE(processEventsUntil([&] { return trace.seen.contains(QStringLiteral("DataArrival(4)")); }));
  EXPECT_EQ(server->GetData(number), 4);
  EXPECT_EQ(number, 0x64636261);
  EXPECT_EQ(server->BytesReceived(), 0);

  peer->send("\xE9t\xE9 long");
  ASSERT_TRUE(processEventsUntil([&] { return server->BytesReceived() == 8; }));
  QString text;
  EXPECT_EQ(server->PeekData(text, 3), 3);
  EXPECT_EQ(text, QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
  QByteArray peeked;
  EXPECT_EQ(server->PeekData(peeked), 8);
  EXPECT_EQ(server->PeekData(peeked), 8);
  EXPECT_EQ(peeked, QByteArray("\xE9t\xE9 long"));
  EXPECT_EQ(server->GetData(bytes, 100), 8);
  EXPECT_EQ(bytes, peeked);
  EXPECT_EQ(server->BytesReceived(), 0);
  EXPECT_THROW(server->GetData(bytes, -1), SocketError);
}

TEST_F(Connected, TheTuningParametersSetTheOptionsOfEachNewSocket) {
  struct Case {
    int keepAlive;
    int noDelay;
    bool keepAliveOn;
    bool noDelayOn;
  };
  const Case cases[] = {
      {-1, -1, false, true},  // Nagle is off unless asked for
      {2, 0, false, false},
      {1, 1, true, true},
  };
  for (const Case& c : cases) {
    orv::core::gConfiguration.AdvancedParameters.SKT_KEEPALIVE = c.keepAlive;
    orv::core::gConfiguration.AdvancedParameters.SKT_TCP_NODELAY = c.noDelay;
    server.reset();
    peer.reset();
    listener.reset();
    open();
    EXPECT_EQ(intOption(platform::kSolSocket, platform::kSoKeepAlive) != 0, c.keepAliveOn) << c.keepAlive;
    EXPECT_EQ(intOption(platform::kIpProtoTcp, platform::kTcpNoDelay) != 0, c.noDelayOn) << c.noDelay;
  }
  const int sendSize = intOption(platform::kSolSocket, platform::kSoSndBuf);
  EXPECT_GE(sendSize, 32768);
  EXPECT_TRUE(logged(QStringLiteral("Winsock buffer size for sends: %1").arg(sendSize)));
  EXPECT_FALSE(logMessages().filter(QStringLiteral("Winsock buffer size for receives: ")).isEmpty());
}

TEST_F(Connected, AMultiMegabyteSendToASlowReaderArrivesIntactWithoutSpinning) {
  orv::core::gConfiguration.AdvancedParameters.SKT_SNDBUF = 8192;
  open(8192);
  peer->setReadChunk(4096);
  int waits = 0;
  const QObject context;
  QObject::connect(&orv::core::debugEventLog(), &orv::core::DebugEventLog::changed, &context, [&] {
    const auto& log = orv::core::debugEventLog();
    waits +=
        log.count() > 0 && log.line(0).text.endsWith(QStringLiteral("WARNING: Send buffer full, waiting...")) ? 1 : 0;
  });
  const QByteArray data = pattern(6 * 1024 * 1024);
  server->SendDataB(data);
  EXPECT_EQ(trace.count(QStringLiteral("SendComplete")), 0) << "the send returns long before the data is out";

  ASSERT_TRUE(processEventsUntil([&] { return trace.count(QStringLiteral("SendComplete")) == 1; }, 60000));
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() == data.size(); }));
  EXPECT_TRUE(peer->received == data);
  EXPECT_EQ(server->BytesSent(), data.size());
  qint64 progressed = 0;
  for (const QString& event : trace.seen) {
    if (event.startsWith(QStringLiteral("SendProgress("))) {
      progressed += event.mid(13, event.indexOf(QLatin1Char(',')) - 13).toLongLong();
    }
  }
  EXPECT_EQ(progressed, data.size());
  EXPECT_EQ(trace.seen.last(), QStringLiteral("SendComplete"));
  EXPECT_GT(waits, 0);
  // The socket is only asked for more after the peer made room: a few times per read at
  // most, where a loop that spins would ask thousands of times.
  EXPECT_LE(waits, 2 * peer->reads + 10);
}

TEST_F(Connected, AReaderThatNeverReadsBlocksNothing) {
  open(4096);
  peer->pauseReading();
  server->SendDataB(pattern(8 * 1024 * 1024));
  settle();
  const int progress = trace.count(QStringLiteral("SendProgress"));
  settle(20);
  EXPECT_EQ(trace.count(QStringLiteral("SendProgress")), progress) << "nothing happens while the peer takes nothing";

  // The loop still serves others meanwhile.
  nettest::SlotServer other;
  TcpPeer otherPeer(other.port());
  otherPeer.send("ping");
  ASSERT_TRUE(processEventsUntil(
      [&] { return other.slots.size() == 1 && other.slots.begin()->second->HttpReceiverBuffer() == "ping"; }));
  other.slots.clear();
  server->CloseSck();
  EXPECT_EQ(server->State(), SocketState::sckClosed);
}

TEST_F(Connected, APeerThatResetsMidTransferEndsInAnErrorAndOneClose) {
  open(8192);
  closeOnCloseSck();
  peer->setReadChunk(16384);
  server->SendDataB(pattern(8 * 1024 * 1024));
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() > 200000; }));
  peer->reset();
  ASSERT_TRUE(processEventsUntil([&] { return server == nullptr; }));
  ASSERT_GE(trace.seen.size(), 2);
  EXPECT_EQ(trace.seen.last(), QStringLiteral("CloseSck"));
  EXPECT_EQ(trace.count(QStringLiteral("CloseSck")), 1);
  const QString error = trace.seen.at(trace.seen.size() - 2);
  EXPECT_TRUE(error == QStringLiteral("Error(10054)") || error == QStringLiteral("Error(10058)"))
      << error.toStdString();
  EXPECT_EQ(trace.count(QStringLiteral("Error")), 1);
  EXPECT_TRUE(logged(QStringLiteral("STATE: sckError")));
}

TEST_F(Connected, AnErrorTheOwnerIgnoresStillReportsTheConnectionClosedOnce) {
  open(8192);
  server->SendDataB(pattern(4 * 1024 * 1024));
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() > 100000; }));
  peer->reset();
  ASSERT_TRUE(processEventsUntil([&] { return trace.count(QStringLiteral("CloseSck")) == 1; }));
  settle(10);
  EXPECT_EQ(trace.count(QStringLiteral("CloseSck")), 1);
  EXPECT_EQ(trace.count(QStringLiteral("Error")), 1);
  EXPECT_EQ(server->State(), SocketState::sckError);
  server->CloseSck();
  EXPECT_EQ(server->State(), SocketState::sckClosed);
}

TEST_F(Connected, APeerThatClosesHalfWayThroughATransferEndsInOneClose) {
  open(8192);
  closeOnCloseSck();
  server->SendDataB(pattern(8 * 1024 * 1024));
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() > 100000; }));
  peer->close();
  ASSERT_TRUE(processEventsUntil([&] { return server == nullptr; }));
  EXPECT_EQ(trace.seen.last(), QStringLiteral("CloseSck"));
  EXPECT_EQ(trace.count(QStringLiteral("CloseSck")), 1);
  EXPECT_LE(trace.count(QStringLiteral("Error")), 1);
}

TEST_F(Connected, APeerThatEndsItsSideAfterTheRequestIsReportedClosingAfterItsData) {
  open();
  peer->send("GET / HTTP/1.0\r\n\r\n");
  peer->shutdownWrite();
  ASSERT_TRUE(processEventsUntil([&] { return trace.count(QStringLiteral("CloseSck")) == 1; }));
  EXPECT_EQ(trace.seen, (QStringList{QStringLiteral("DataArrival(18)"), QStringLiteral("CloseSck")}));
  EXPECT_EQ(server->State(), SocketState::sckClosing);
  QByteArray request;
  EXPECT_THROW(server->GetData(request), SocketError) << "the data was to be taken when it arrived";
  EXPECT_THROW(server->SendData(QStringLiteral("HTTP/1.1 200 OK\r\n\r\n")), SocketError);
}

}  // namespace
