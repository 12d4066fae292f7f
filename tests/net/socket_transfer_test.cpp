#include "net/socket_master.h"
#include "net/usr_socket.h"
#include "net_test_support.h"
#include "platform/async_socket.h"
#include "platform/io_ring.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <functional>
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

  // A length below 0 is refused by the operation that was called, under its own name.
  struct Refusal {
    const char* source;
    std::function<void()> call;
  };
  const Refusal refusals[] = {
      {"clsSocketMaster.GetData", [&] { server->GetData(bytes, -1); }},
      {"clsSocketMaster.GetData", [&] { server->GetData(text, -5); }},
      {"clsSocketMaster.PeekData", [&] { server->PeekData(bytes, -1); }},
      {"clsSocketMaster.PeekData", [&] { server->PeekData(text, -5); }},
  };
  for (const Refusal& refusal : refusals) {
    try {
      refusal.call();
      ADD_FAILURE() << refusal.source << " took a length below 0";
    } catch (const SocketError& error) {
      EXPECT_EQ(error.Number(), 40014) << refusal.source;
      EXPECT_EQ(error.Description(),
                QStringLiteral("The argument passed to a function was not in the correct format or "
                               "in the specified range."));
      EXPECT_EQ(error.Source(), QLatin1String(refusal.source));
    }
  }
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

// The owner queues each next block from inside SendComplete, as the file reader does when
// the peer takes every block at once: the loop that is already sending sends it, so the
// stack holds one completion at a time however many blocks there are.
TEST_F(Connected, BlocksQueuedFromSendCompleteLeaveFromTheRunningLoopWithoutNesting) {
  open();
  constexpr int kBlocks = 400;
  constexpr int kBlockSize = 16 * 1024;
  QByteArray expected;
  int queued = 1;
  int depth = 0;
  int deepest = 0;
  int completions = 0;
  server->events.SendComplete = [&] {
    ++completions;
    ++depth;
    deepest = std::max(deepest, depth);
    if (queued < kBlocks) {
      const QByteArray block = pattern(kBlockSize).right(kBlockSize - queued % 7);
      expected += block;
      ++queued;
      server->SendDataB(block);
    }
    --depth;
  };
  const QByteArray first = pattern(kBlockSize);
  expected += first;
  server->SendDataB(first);
  ASSERT_TRUE(processEventsUntil([&] { return completions == kBlocks; }, 60000)) << completions;
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() == expected.size(); }));
  EXPECT_TRUE(peer->received == expected);
  EXPECT_EQ(deepest, 1);
  EXPECT_EQ(server->BytesSent(), expected.size());
}

// While a send waits on a peer that reads nothing, the program sleeps until something
// happens: the loop wakes for the one timer that ends the wait, not thousands of times.
TEST_F(Connected, WhileASendWaitsOnAPeerThatReadsNothingTheLoopSleeps) {
  orv::core::gConfiguration.AdvancedParameters.SKT_DEBUG = false;
  open(4096);
  peer->pauseReading();
  server->SendDataB(pattern(4 * 1024 * 1024));
  settle();
  const int progress = trace.count(QStringLiteral("SendProgress"));
  ASSERT_EQ(trace.count(QStringLiteral("SendComplete")), 0);

  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  ASSERT_NE(dispatcher, nullptr);
  int wakeUps = 0;
  const QMetaObject::Connection counting =
      QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] { ++wakeUps; });
  QEventLoop wait;
  QTimer::singleShot(300, &wait, &QEventLoop::quit);
  wait.exec();
  QObject::disconnect(counting);

  EXPECT_LE(wakeUps, 20) << "the loop spins while the send waits";
  EXPECT_EQ(trace.count(QStringLiteral("SendProgress")), progress);

  // The wait ends as soon as the peer reads: the rest goes out, intact in length.
  peer->resumeReading();
  ASSERT_TRUE(processEventsUntil([&] { return trace.count(QStringLiteral("SendComplete")) == 1; }, 60000));
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() == 4 * 1024 * 1024; }));
}

// Every event finds the state it reports already set, so that an owner may look at the
// socket (or close it) from inside the handler: data arrives while connected, a close by
// the peer comes in sckClosing after its data, a failure comes in sckError before the one
// close that frees the connection.
TEST_F(Connected, EachEventFindsTheStateItReportsAlreadySet) {
  struct Case {
    const char* name;
    bool resetMidTransfer;
    QStringList expected;
  };
  const Case cases[] = {
      {"peer ends its side",
       false,
       {QStringLiteral("DataArrival sckConnected"), QStringLiteral("CloseSck sckClosing")}},
      {"peer resets mid-transfer",
       true,
       {QStringLiteral("DataArrival sckConnected"), QStringLiteral("Error sckError"),
        QStringLiteral("CloseSck sckError")}},
  };
  for (const Case& c : cases) {
    server.reset();
    peer.reset();
    listener.reset();
    open(8192);
    QStringList seen;
    const auto record = [&](const char* event) {
      if (server) {
        seen << QLatin1String(event) + QLatin1Char(' ') + orv::net::socketStateName(server->State());
      }
    };
    server->events.DataArrival = [&](int) { record("DataArrival"); };
    server->events.Error = [&](orv::net::SocketErrorEventArgs&) { record("Error"); };
    server->events.CloseSck = [&] {
      record("CloseSck");
      server.reset();
    };
    peer->send("GET /big HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(processEventsUntil([&] { return !seen.isEmpty(); })) << c.name;
    if (c.resetMidTransfer) {
      server->SendDataB(pattern(8 * 1024 * 1024));
      ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() > 100000; })) << c.name;
      peer->reset();
    } else {
      peer->shutdownWrite();
    }
    ASSERT_TRUE(processEventsUntil([&] { return server == nullptr; })) << c.name;
    EXPECT_EQ(seen, c.expected) << c.name;
  }
}

TEST_F(Connected, EverythingQueuedLeavesInAsFewSystemCallsAsTheBufferAllowsAndIsToldPieceByPiece) {
  open();
  const QByteArray data = pattern(20000);
  const quint64 before = platform::socketCallCounts().sends;
  server->SendDataB(data);
  EXPECT_EQ(trace.seen,
            (QStringList{QStringLiteral("SendProgress(8193,11807)"), QStringLiteral("SendProgress(8193,3614)"),
                         QStringLiteral("SendProgress(3614,0)"), QStringLiteral("SendComplete")}));
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() == data.size(); }));
  EXPECT_EQ(platform::socketCallCounts().sends - before, 1u) << "not one call per piece of 8,193 bytes";
  EXPECT_TRUE(peer->received == data);
}

// A response made while the request's notice is handled: its head and its body leave in one
// system call, and each still reports its own progress and completion.
TEST_F(Connected, AHeadAndItsBodySentForARequestLeaveTogether) {
  open();
  const QByteArray head("HTTP/1.1 200 OK\r\nContent-Length: 12000\r\n\r\n");
  const QByteArray body = pattern(12000);
  quint64 before = 0;
  server->events.DataArrival = [&](int) {
    QByteArray request;
    server->GetData(request);
    before = platform::socketCallCounts().sends;
    server->SendDataB(head);
    server->SendDataB(body);
  };
  peer->send("GET / HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() == head.size() + body.size(); }));
  EXPECT_EQ(platform::socketCallCounts().sends - before, 1u);
  EXPECT_TRUE(peer->received == head + body);
  EXPECT_EQ(trace.seen, (QStringList{QStringLiteral("SendProgress(%1,0)").arg(head.size()),
                                     QStringLiteral("SendComplete"), QStringLiteral("SendProgress(8193,3807)"),
                                     QStringLiteral("SendProgress(3807,0)"), QStringLiteral("SendComplete")}));
}

TEST_F(Connected, ASocketThatTakesPartOfTheQueueTellsThatPartInPiecesAndWaitsWithoutAskingAgain) {
  orv::core::gConfiguration.AdvancedParameters.SKT_SNDBUF = 4096;
  open(4096);
  peer->pauseReading();
  settle();
  const QByteArray data = pattern(400000);
  const quint64 before = platform::socketCallCounts().sends;
  server->SendDataB(data);
  const quint64 sendsWhileFull = platform::socketCallCounts().sends;
  settle();
  // Through the loop's ring the operation in flight waits for room in the kernel itself.
  if (platform::IoRing::instance() == nullptr) {
    EXPECT_GT(sendsWhileFull, before);
    EXPECT_EQ(platform::socketCallCounts().sends, sendsWhileFull)
        << "a full socket is not asked again until it can take more";
  }
  ASSERT_FALSE(trace.seen.isEmpty());
  EXPECT_EQ(trace.count(QStringLiteral("SendComplete")), 0);
  EXPECT_TRUE(logged(QStringLiteral("WARNING: Send buffer full, waiting...")));

  peer->resumeReading();
  ASSERT_TRUE(processEventsUntil([&] { return peer->received.size() == data.size(); }, 30000));
  EXPECT_TRUE(peer->received == data);
  ASSERT_TRUE(processEventsUntil([&] { return trace.count(QStringLiteral("SendComplete")) == 1; }));
  // Every piece at most the maximum plus one, the remainders counting down to 0.
  qint64 remaining = data.size();
  for (const QString& event : trace.seen) {
    if (!event.startsWith(QStringLiteral("SendProgress("))) {
      continue;
    }
    const QStringList values = event.mid(13, event.size() - 14).split(QLatin1Char(','));
    const int piece = values.at(0).toInt();
    EXPECT_GT(piece, 0);
    EXPECT_LE(piece, 8193);
    remaining -= piece;
    EXPECT_EQ(values.at(1).toLongLong(), remaining) << event.toStdString();
  }
  EXPECT_EQ(remaining, 0);
  EXPECT_EQ(trace.seen.last(), QStringLiteral("SendComplete"));
  EXPECT_EQ(server->BytesSent(), data.size());
}

}  // namespace
