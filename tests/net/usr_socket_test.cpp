#include "net/usr_socket.h"

#include "net_test_support.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <QTimer>

namespace {

using nettest::EventTrace;
using nettest::NetTest;
using nettest::settle;
using nettest::SlotServer;
using orv::net::SocketErrorEventArgs;
using orv::net::SocketState;
using orv::net::usrSocket;

void setKeepAliveTimeout(double seconds) {
  orv::core::gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT = seconds;
}

QByteArray pattern(int size) {
  QByteArray data(size, '\0');
  for (int i = 0; i < size; ++i) {
    data[i] = static_cast<char>((i * 13 + i / 509) & 0xFF);
  }
  return data;
}

class IdleTimer : public NetTest {};

TEST_F(IdleTimer, TheIntervalIsTheKeepAliveTimeoutInWholeMilliseconds) {
  struct Case {
    double seconds;
    int milliseconds;
  };
  const Case cases[] = {{15, 15000}, {2.5, 2500}, {60, 60000}, {0.25, 250}};
  usrSocket socket;
  EXPECT_FALSE(socket.isConnectionTimeoutTimerActive()) << "disabled when created";
  for (const Case& c : cases) {
    setKeepAliveTimeout(c.seconds);
    socket.StartConnectionTimeoutTimer();
    EXPECT_TRUE(socket.isConnectionTimeoutTimerActive());
    EXPECT_EQ(socket.connectionTimeoutInterval(), c.milliseconds) << c.seconds;
  }
  socket.StopConnectionTimeoutTimer();
  EXPECT_FALSE(socket.isConnectionTimeoutTimerActive());
}

TEST_F(IdleTimer, ExpiryRaisesOneCloseAndLeavesTheTimerDisabled) {
  setKeepAliveTimeout(0.02);
  usrSocket socket;
  EventTrace trace;
  trace.attach(socket.events);
  socket.StartConnectionTimeoutTimer();
  socket.StartConnectionTimeoutTimer();
  ASSERT_TRUE(processEventsUntil([&] { return !trace.seen.isEmpty(); }));
  EXPECT_FALSE(socket.isConnectionTimeoutTimerActive());
  settle();
  EXPECT_EQ(trace.seen, QStringList{QStringLiteral("CloseSck")});
}

TEST_F(IdleTimer, AnIdleKeptConnectionIsClosedAsIfTheClientHadClosedIt) {
  setKeepAliveTimeout(0.05);
  SlotServer server;
  server.onData = [](int, usrSocket& socket) {
    if (socket.HttpReceiverBuffer().endsWith("\r\n\r\n")) {
      socket.setHttpReceiverBuffer({});
      socket.SendData(QStringLiteral("HTTP/1.1 204 No Content\r\n\r\n"));
      socket.StartConnectionTimeoutTimer();
    }
  };
  TcpPeer peer(server.port());
  peer.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream || peer.readError != 0; }));
  EXPECT_EQ(peer.readError, 0);
  EXPECT_EQ(peer.received, QByteArray("HTTP/1.1 204 No Content\r\n\r\n"));
  EXPECT_TRUE(server.slots.empty());
  EXPECT_EQ(server.closes, 1);
}

TEST_F(IdleTimer, AHalfReceivedRequestIsClosedWhenTheRestNeverComes) {
  setKeepAliveTimeout(0.05);
  SlotServer server;
  QByteArray collected;
  server.onData = [&](int, usrSocket& socket) {
    collected = socket.HttpReceiverBuffer();
    if (!collected.contains("\r\n\r\n")) {
      socket.StartConnectionTimeoutTimer();
    }
  };
  TcpPeer peer(server.port());
  peer.send("GET /half HTTP/1.1\r\nHost: x\r\n");
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream || peer.readError != 0; }));
  EXPECT_EQ(collected, QByteArray("GET /half HTTP/1.1\r\nHost: x\r\n"));
  EXPECT_TRUE(peer.received.isEmpty());
  EXPECT_TRUE(server.slots.empty()) << "the slot went in the timer's own close";
  EXPECT_EQ(server.closes, 1);
}

TEST_F(IdleTimer, DoesNotCutATransferThatKeepsMoving) {
  setKeepAliveTimeout(0.25);
  orv::core::gConfiguration.AdvancedParameters.SKT_SNDBUF = 8192;
  SlotServer server;
  TcpPeer peer(server.port(), 8192);
  peer.pauseReading();
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.size() == 1; }));
  usrSocket& socket = *server.slots.at(1);
  EventTrace trace;
  trace.attach(socket.events);
  trace.onCloseSck = [&] { server.slots.clear(); };

  // A reader that takes a little every 10 ms: well within each interval, but far longer
  // than one in all.
  QTimer reader;
  QObject::connect(&reader, &QTimer::timeout, [&] { peer.readNow(); });
  reader.start(10);
  const QByteArray data = pattern(768 * 1024);
  socket.StartConnectionTimeoutTimer();
  socket.SendDataB(data);
  ASSERT_TRUE(processEventsUntil(
      [&] { return !trace.seen.isEmpty() && !trace.seen.last().startsWith(QStringLiteral("SendProgress")); }, 60000));
  EXPECT_EQ(trace.seen.last(), QStringLiteral("SendComplete"));
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == data.size(); }));
  EXPECT_TRUE(peer.received == data);
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.empty(); })) << "idle once the response is out";
  EXPECT_EQ(trace.seen.last(), QStringLiteral("CloseSck"));
}

// A file leaves block by block: between two blocks nothing is queued for a moment while the
// next one is read. An interval in which data left is no idle interval, whether the total
// rose or a new response set it back to 0 first; once nothing moves, the connection closes.
TEST_F(IdleTimer, DoesNotCutATransferWaitingForItsNextBlock) {
  struct Case {
    const char* name;
    bool newResponse;  // the total is set back to 0 before the first block
  };
  const Case cases[] = {{"same response", false}, {"new response", true}};
  setKeepAliveTimeout(0.1);
  for (const Case& c : cases) {
    SlotServer server;
    TcpPeer peer(server.port());
    ASSERT_TRUE(processEventsUntil([&] { return server.slots.size() == 1; })) << c.name;
    usrSocket& socket = *server.slots.at(1);
    EventTrace trace;
    trace.attach(socket.events);
    trace.onCloseSck = [&] { server.slots.clear(); };

    QByteArray expected;
    if (c.newResponse) {
      expected = pattern(64 * 1024);  // the last response, out before the timer starts
      socket.SendDataB(expected);
      ASSERT_TRUE(processEventsUntil([&] { return trace.count(QStringLiteral("SendComplete")) == 1; }));
    }
    socket.StartConnectionTimeoutTimer();
    if (c.newResponse) {
      socket.ResetBytesSent();
    }
    const QByteArray first = pattern(1000);
    socket.SendDataB(first);
    expected += first;
    ASSERT_EQ(trace.seen.last(), QStringLiteral("SendComplete")) << c.name << ": the loopback takes it at once";

    // The next block comes one and a half intervals later: the timer has expired once by
    // then with nothing queued (timers run in the order of their deadlines).
    const QByteArray second = pattern(3000);
    QTimer::singleShot(150, [&] {
      if (!server.slots.empty()) {
        expected += second;
        server.slots.at(1)->SendDataB(second);
      }
    });
    ASSERT_TRUE(processEventsUntil([&] { return server.slots.empty(); })) << c.name;
    EXPECT_EQ(trace.count(QStringLiteral("SendComplete")), c.newResponse ? 3 : 2) << c.name << ": cut between blocks";
    EXPECT_EQ(trace.seen.last(), QStringLiteral("CloseSck")) << c.name;
    EXPECT_EQ(trace.count(QStringLiteral("CloseSck")), 1) << c.name;
    ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; })) << c.name;
    EXPECT_TRUE(peer.received == expected) << c.name;
  }
}

TEST_F(IdleTimer, ClosesAPeerThatTakesNothingForAWholeInterval) {
  setKeepAliveTimeout(0.05);
  SlotServer server;
  TcpPeer peer(server.port(), 4096);
  peer.pauseReading();
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.size() == 1; }));
  usrSocket& socket = *server.slots.at(1);
  socket.SendDataB(pattern(4 * 1024 * 1024));
  socket.StartConnectionTimeoutTimer();
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.empty(); }));
  EXPECT_EQ(server.closes, 1);
}

class SocketComponent : public NetTest {};

TEST_F(SocketComponent, TheHostDecidesTheDescriptionAndWhetherTheErrorIsShown) {
  QString shownText;
  QString shownTitle;
  orv::net::setSocketErrorDisplay([&](const QString& text, const QString& title) {
    shownText = text;
    shownTitle = title;
  });
  SlotServer server;
  TcpPeer peer(server.port(), 4096);
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.size() == 1; }));
  usrSocket& socket = *server.slots.at(1);
  QString descriptionSeen;
  socket.events.Error = [&](SocketErrorEventArgs& error) {
    descriptionSeen = error.Description;
    EXPECT_EQ(error.sCode, 0);
    EXPECT_EQ(error.HelpFile, QString());
    EXPECT_EQ(error.HelpContext, 0);
    EXPECT_TRUE(error.CancelDisplay) << "preset";
    error.Description = QStringLiteral("The client went away");
    error.CancelDisplay = false;
  };
  socket.SendDataB(pattern(2 * 1024 * 1024));
  peer.reset();
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.empty(); }));
  orv::net::setSocketErrorDisplay(nullptr);
  EXPECT_TRUE(descriptionSeen == QStringLiteral("Connection reset by peer.") ||
              descriptionSeen == QStringLiteral("Cannot send after socket shutdown."))
      << descriptionSeen.toStdString();
  EXPECT_EQ(shownText, QStringLiteral("The client went away"));
  EXPECT_TRUE(shownTitle.startsWith(QStringLiteral("clsSocketMaster."))) << shownTitle.toStdString();
}

TEST_F(SocketComponent, TheRequestBufferBelongsToTheHost) {
  usrSocket socket;
  EXPECT_TRUE(socket.HttpReceiverBuffer().isEmpty());
  socket.setHttpReceiverBuffer("GET /");
  socket.setTag(QStringLiteral("terminate"));
  socket.CloseSck();
  EXPECT_EQ(socket.HttpReceiverBuffer(), QByteArray("GET /"));
  EXPECT_EQ(socket.Tag(), QStringLiteral("terminate"));
  EXPECT_EQ(socket.State(), SocketState::sckClosed);
}

}  // namespace
