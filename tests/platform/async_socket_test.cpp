#include "platform/async_socket.h"

#include "platform/deadline.h"
#include "platform/file_system.h"
#include "platform/io_ring.h"
#include "platform/message_window.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/tcp_peer.h"

#include <QAbstractEventDispatcher>

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

namespace platform = orv::platform;

constexpr unsigned kSocketMessage = 0x8001;
constexpr int kAllEvents =
    platform::kFdRead | platform::kFdWrite | platform::kFdAccept | platform::kFdConnect | platform::kFdClose;

struct Notification {
  int socket;
  int event;
  int error;
  bool operator==(const Notification&) const = default;
};

// Whether the stand-in's sockets run through the loop's ring (ORV_IO_RING=1, where the
// kernel gives one): the notifications are the same on both roads, the kernel calls not.
bool onTheRing() {
  return platform::IoRing::instance() != nullptr;
}

// Lets every notification that is already due reach its window: readiness becomes a
// posted message in one turn of the loop and is delivered in the next.
void settle() {
  processPendingEvents(3);
}

class AsyncSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    descriptorsBefore_ = platform::openDescriptorCount();
    window_.setProcedure([this](unsigned message, quintptr wParam, qintptr lParam) {
      if (message == kSocketMessage) {
        const Notification notice{static_cast<int>(wParam), static_cast<int>(lParam & 0xFFFF),
                                  static_cast<int>((lParam >> 16) & 0xFFFF)};
        notifications.push_back(notice);
        if (onNotification) {
          onNotification(notice);
        }
      }
      return qintptr{0};
    });
  }

  void TearDown() override {
    for (int socket : sockets_) {
      platform::closeSocket(socket);
    }
    EXPECT_TRUE(processEventsUntil([this] { return platform::openDescriptorCount() <= descriptorsBefore_; }))
        << "descriptors leaked: " << platform::openDescriptorCount() - descriptorsBefore_;
  }

  int track(int socket) {
    sockets_.push_back(socket);
    return socket;
  }
  void forget(int socket) { sockets_.erase(std::remove(sockets_.begin(), sockets_.end(), socket), sockets_.end()); }

  // A registered socket listening on 127.0.0.1 with a port the system chose.
  int listen(int* port) {
    const int socket = track(platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp));
    EXPECT_GE(socket, 0);
    EXPECT_EQ(platform::asyncSelect(socket, window_.handle(), kSocketMessage, kAllEvents), 0);
    EXPECT_EQ(platform::bindSocket(socket, platform::inetAddress(QStringLiteral("127.0.0.1")), 0), 0);
    EXPECT_EQ(platform::listenSocket(socket, 5), 0);
    platform::socketLocalEndpoint(socket, nullptr, port);
    return socket;
  }

  int count(int socket, int event) const {
    return static_cast<int>(std::count_if(notifications.begin(), notifications.end(), [&](const Notification& n) {
      return n.socket == socket && n.event == event;
    }));
  }
  // The error the first close notice carried, once the test has waited for one.
  int firstCloseError() const {
    const auto close = std::find_if(notifications.begin(), notifications.end(),
                                    [](const Notification& n) { return n.event == platform::kFdClose; });
    EXPECT_NE(close, notifications.end()) << "no close was noted";
    return close == notifications.end() ? -1 : close->error;
  }
  bool waitFor(int socket, int event, int times = 1) {
    return processEventsUntil([&] { return count(socket, event) >= times; });
  }

  // Accepts the connection of a peer, after the listener said one is waiting (once more
  // than for the connections accepted before).
  int acceptOne(int listener) {
    EXPECT_TRUE(waitFor(listener, platform::kFdAccept, ++acceptsAsked_[listener]));
    quint32 address = 0;
    int port = 0;
    const int accepted = platform::acceptSocket(listener, &address, &port);
    EXPECT_GE(accepted, 0) << platform::lastSocketError();
    EXPECT_EQ(platform::inetDottedText(address), QStringLiteral("127.0.0.1"));
    return track(accepted);
  }

  std::vector<Notification> notifications;
  std::function<void(const Notification&)> onNotification;  // what the window does after recording
  platform::MessageWindow window_{QStringLiteral("STATIC"), QStringLiteral("TEST_SOCKET_WINDOW")};

 private:
  std::vector<int> sockets_;
  std::map<int, int> acceptsAsked_;
  int descriptorsBefore_ = 0;
};

TEST_F(AsyncSocketTest, TheListenerNotifiesAgainOnlyAfterEachAccept) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer first(port);
  TcpPeer second(port);
  ASSERT_TRUE(waitFor(listener, platform::kFdAccept));
  settle();
  EXPECT_EQ(count(listener, platform::kFdAccept), 1) << "two connections wait, but nothing was accepted yet";

  const int accepted = acceptOne(listener);
  ASSERT_TRUE(waitFor(listener, platform::kFdAccept, 2)) << "the second connection still waits";
  acceptOne(listener);
  settle();
  EXPECT_EQ(count(listener, platform::kFdAccept), 2);
  EXPECT_EQ(count(accepted, platform::kFdWrite), 1) << "an accepted connection can be written to at once";
}

TEST_F(AsyncSocketTest, ReadNotificationsFollowTheReceiveCallsAndCloseComesOnceAfterTheData) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);

  ASSERT_EQ(peer.send("hello"), 5);
  ASSERT_TRUE(waitFor(accepted, platform::kFdRead));
  ASSERT_EQ(peer.send(" world"), 6);
  settle();
  EXPECT_EQ(count(accepted, platform::kFdRead), 1) << "no second notice before the data is read";

  char buffer[64] = {};
  ASSERT_EQ(platform::receiveSocket(accepted, buffer, 3), 3);
  ASSERT_TRUE(waitFor(accepted, platform::kFdRead, 2)) << "data remains after the receive";
  peer.close();
  ASSERT_EQ(platform::receiveSocket(accepted, buffer, sizeof buffer), 8);
  EXPECT_EQ(QByteArray(buffer, 8), QByteArray("lo world"));
  ASSERT_TRUE(waitFor(accepted, platform::kFdClose));
  settle();
  EXPECT_EQ(count(accepted, platform::kFdClose), 1);
  EXPECT_EQ(count(accepted, platform::kFdRead), 2);
  EXPECT_EQ(firstCloseError(), 0) << "an orderly close";
}

TEST_F(AsyncSocketTest, ASendThatWouldBlockGetsOneWriteNoticeWhenTheSocketTakesDataAgain) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port, 4096);
  peer.pauseReading();
  const int accepted = acceptOne(listener);
  ASSERT_EQ(platform::setSocketOption(accepted, platform::kSolSocket, platform::kSoSndBuf, 4096), 0);
  ASSERT_TRUE(waitFor(accepted, platform::kFdWrite));

  const QByteArray block(65536, 'x');
  qint64 taken = 0;
  qint64 result = 0;
  // Sent until a refused send gets no notice while the peer does not read: the direct
  // calls fill the system's buffer at once, the ring's operations in a turn or two.
  int refused = 0;
  for (int writes = 1; count(accepted, platform::kFdWrite) == writes; ++writes) {
    while ((result = platform::sendSocket(accepted, block.constData(), block.size())) > 0) {
      taken += result;
    }
    ASSERT_EQ(platform::lastSocketError(), 10035);
    ++refused;
    settle();
    ASSERT_LE(count(accepted, platform::kFdWrite), writes + 1) << "one notice per send that would block";
    ASSERT_LT(refused, 100);
  }
  const int writesWhileFull = count(accepted, platform::kFdWrite);
  EXPECT_EQ(writesWhileFull, refused) << "nothing can be sent while the peer does not read";

  peer.resumeReading();
  ASSERT_TRUE(waitFor(accepted, platform::kFdWrite, writesWhileFull + 1));
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == taken; }));
  settle();
  EXPECT_EQ(count(accepted, platform::kFdWrite), refused + 1) << "one notice per send that would block";
}

TEST_F(AsyncSocketTest, APeerResetClosesWithTheResetErrorAndSendingFailsWithoutASignal) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);
  peer.reset();
  ASSERT_TRUE(waitFor(accepted, platform::kFdClose));
  EXPECT_EQ(firstCloseError(), 10054);

  const QByteArray data(1000, 'y');
  EXPECT_EQ(platform::sendSocket(accepted, data.constData(), data.size()), -1);
  EXPECT_TRUE(platform::lastSocketError() == 10054 || platform::lastSocketError() == 10058)
      << platform::lastSocketError();
  EXPECT_EQ(platform::sendSocket(accepted, data.constData(), data.size()), -1);
}

// The kernel gives a connection's failure to one call only. A send that met the reset
// first leaves the input to end plainly: a second error would be a second failure for the
// owner to report.
TEST_F(AsyncSocketTest, AResetMetByASendFirstLeavesTheInputToEndPlainly) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);
  ASSERT_EQ(peer.send("hello"), 5);
  ASSERT_TRUE(waitFor(accepted, platform::kFdRead));
  peer.reset();

  const char byte = 'y';
  ASSERT_TRUE(processEventsUntil([&] { return platform::sendSocket(accepted, &byte, 1) == -1; }));
  EXPECT_TRUE(platform::lastSocketError() == 10054 || platform::lastSocketError() == 10058)
      << platform::lastSocketError();

  char buffer[64] = {};
  ASSERT_EQ(platform::receiveSocket(accepted, buffer, sizeof buffer), 5) << "what came before the reset";
  ASSERT_TRUE(waitFor(accepted, platform::kFdClose));
  settle();
  EXPECT_EQ(platform::receiveSocket(accepted, buffer, sizeof buffer), 0);
  EXPECT_EQ(count(accepted, platform::kFdClose), 1);
  EXPECT_EQ(firstCloseError(), 0) << "the send told the reset already";
}

TEST_F(AsyncSocketTest, AnOutgoingConnectEndsWithConnectThenWrite) {
  int port = 0;
  const int listener = listen(&port);
  const int client = track(platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp));
  ASSERT_EQ(platform::asyncSelect(client, window_.handle(), kSocketMessage, kAllEvents), 0);
  const int result = platform::connectSocket(client, platform::inetAddress(QStringLiteral("127.0.0.1")), port);
  if (result != 0) {
    EXPECT_EQ(platform::lastSocketError(), 10035);
  }
  ASSERT_TRUE(waitFor(client, platform::kFdWrite));
  std::vector<int> events;
  for (const Notification& n : notifications) {
    if (n.socket == client) {
      events.push_back(n.event);
      EXPECT_EQ(n.error, 0);
    }
  }
  EXPECT_EQ(events, (std::vector<int>{platform::kFdConnect, platform::kFdWrite}));
  acceptOne(listener);
}

TEST_F(AsyncSocketTest, AConnectToAPortNobodyListensOnFailsWithRefused) {
  const int bound = track(platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp));
  ASSERT_EQ(platform::bindSocket(bound, platform::inetAddress(QStringLiteral("127.0.0.1")), 0), 0);
  int port = 0;
  platform::socketLocalEndpoint(bound, nullptr, &port);

  const int client = track(platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp));
  ASSERT_EQ(platform::asyncSelect(client, window_.handle(), kSocketMessage, kAllEvents), 0);
  platform::connectSocket(client, platform::inetAddress(QStringLiteral("127.0.0.1")), port);
  ASSERT_TRUE(waitFor(client, platform::kFdConnect));
  EXPECT_EQ(notifications.back(), (Notification{client, platform::kFdConnect, 10061}));
}

TEST_F(AsyncSocketTest, ClosingASocketDropsTheNotificationsQueuedForIt) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);
  ASSERT_TRUE(waitFor(accepted, platform::kFdWrite));
  notifications.clear();
  // Registering a connected socket again queues a write notice at once.
  ASSERT_EQ(platform::asyncSelect(accepted, window_.handle(), kSocketMessage, kAllEvents), 0);
  ASSERT_EQ(platform::closeSocket(accepted), 0);
  forget(accepted);
  settle();
  EXPECT_TRUE(notifications.empty());
}

TEST_F(AsyncSocketTest, ClosingWithUnreadInputStillDeliversEverythingSent) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port, 8192);
  peer.pauseReading();
  const int accepted = acceptOne(listener);
  ASSERT_EQ(peer.send(QByteArray(1000, 'q')), 1000);
  ASSERT_TRUE(waitFor(accepted, platform::kFdRead)) << "input waits unread";

  QByteArray sent;
  QByteArray block(16384, '\0');
  for (int round = 0;; ++round) {
    std::memset(block.data(), 'a' + round % 26, static_cast<size_t>(block.size()));
    const qint64 taken = platform::sendSocket(accepted, block.constData(), block.size());
    if (taken <= 0) {
      break;
    }
    sent.append(block.constData(), taken);
  }
  ASSERT_EQ(platform::closeSocket(accepted), 0);
  forget(accepted);

  peer.resumeReading();
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream || peer.readError != 0; }));
  EXPECT_EQ(peer.readError, 0) << "the peer got a reset";
  EXPECT_EQ(peer.received.size(), sent.size());
  EXPECT_TRUE(peer.received == sent);
}

// A closed connection waits a while for its peer to end it; once the peer has, nothing of
// it stays behind, no timer of the loop either (thousands of closes a second would each
// leave one).
TEST_F(AsyncSocketTest, AClosedConnectionLeavesNoTimerBehindOnceThePeerEndsIt) {
  const std::size_t armedBefore = platform::Deadline::armedCount();
  const qsizetype timersBefore = QAbstractEventDispatcher::instance()->children().size();
  int port = 0;
  const int listener = listen(&port);
  for (int round = 0; round < 20; ++round) {
    auto peer = std::make_unique<TcpPeer>(port);
    const int accepted = acceptOne(listener);
    ASSERT_EQ(platform::closeSocket(accepted), 0);
    forget(accepted);
    ASSERT_TRUE(processEventsUntil([&] { return peer->endOfStream; }));
    if (!onTheRing()) {  // the ring's read of the close waits with a time limit of the kernel
      EXPECT_GE(platform::Deadline::armedCount(), armedBefore + 1) << "the close waits for the peer";
    }
    peer.reset();
    ASSERT_TRUE(processEventsUntil([&] { return platform::Deadline::armedCount() == armedBefore; }));
  }
  processPendingEvents();
  EXPECT_LE(QAbstractEventDispatcher::instance()->children().size(), timersBefore);
}

TEST_F(AsyncSocketTest, ABindToAPortInUseFailsWithAddressInUse) {
  int port = 0;
  listen(&port);
  const int second = track(platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp));
  EXPECT_EQ(platform::bindSocket(second, platform::inetAddress(QStringLiteral("127.0.0.1")), port), -1);
  EXPECT_EQ(platform::lastSocketError(), 10048);
}

TEST_F(AsyncSocketTest, OptionsUseTheWinsockNames) {
  const int socket = track(platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp));
  ASSERT_EQ(platform::setSocketOption(socket, platform::kIpProtoTcp, platform::kTcpNoDelay, 1), 0);
  int value = 0;
  ASSERT_EQ(platform::getSocketOption(socket, platform::kIpProtoTcp, platform::kTcpNoDelay, &value), 0);
  EXPECT_NE(value, 0);
  ASSERT_EQ(platform::setSocketOption(socket, platform::kSolSocket, platform::kSoKeepAlive, 1), 0);
  ASSERT_EQ(platform::getSocketOption(socket, platform::kSolSocket, platform::kSoKeepAlive, &value), 0);
  EXPECT_NE(value, 0);
  EXPECT_EQ(platform::setSocketOption(socket, platform::kSolSocket, 0x7777, 1), -1);
  EXPECT_EQ(platform::lastSocketError(), 10042);
}

TEST_F(AsyncSocketTest, WhatAReadNoticeSendsLeavesInOneSystemCallWhenTheNoticeEnds) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);
  const QByteArray head("HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n");
  const QByteArray body(4000, 'b');
  quint64 sendsInside = 0;
  onNotification = [&](const Notification& notice) {
    if (notice.socket != accepted || notice.event != platform::kFdRead) {
      return;
    }
    char request[64];
    ASSERT_GT(platform::receiveSocket(accepted, request, sizeof request), 0);
    const quint64 before = platform::socketCallCounts().sends;
    EXPECT_EQ(platform::sendSocket(accepted, head.constData(), head.size()), head.size());
    EXPECT_EQ(platform::sendSocket(accepted, body.constData(), body.size()), body.size());
    sendsInside = platform::socketCallCounts().sends - before;
  };
  const quint64 sendsBefore = platform::socketCallCounts().sends;
  ASSERT_EQ(peer.send("GET / HTTP/1.1\r\n\r\n"), 18);
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == head.size() + body.size(); }));
  EXPECT_EQ(sendsInside, 0u) << "held while the notice runs";
  EXPECT_EQ(platform::socketCallCounts().sends - sendsBefore, 1u) << "head and body in one call";
  EXPECT_TRUE(peer.received == head + body);
}

TEST_F(AsyncSocketTest, AReadNoticeHasReadAlreadySoTheReceiveAsksTheSystemNothing) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);
  QByteArray got;
  quint64 receivesInside = 1;
  onNotification = [&](const Notification& notice) {
    if (notice.socket == accepted && notice.event == platform::kFdRead) {
      char buffer[4096];
      const quint64 before = platform::socketCallCounts().receives;
      const qint64 received = platform::receiveSocket(accepted, buffer, sizeof buffer);
      receivesInside = platform::socketCallCounts().receives - before;
      got.append(buffer, static_cast<qsizetype>(std::max<qint64>(received, 0)));
    }
  };
  const quint64 receivesBefore = platform::socketCallCounts().receives;
  ASSERT_EQ(peer.send("GET /a"), 6);
  ASSERT_TRUE(processEventsUntil([&] { return got.size() == 6; }));
  EXPECT_EQ(receivesInside, 0u);
  EXPECT_EQ(platform::socketCallCounts().receives - receivesBefore, 1u) << "one read, no look ahead";
  EXPECT_EQ(got, QByteArray("GET /a"));
}

TEST_F(AsyncSocketTest, AFullSocketTakesPartAndTheNextSendWouldBlockWithoutAskingTheSystem) {
  if (onTheRing()) {
    GTEST_SKIP() << "the direct calls' way with a full socket; the ring's output limit is tested with the ring";
  }
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port, 4096);
  peer.pauseReading();
  const int accepted = acceptOne(listener);
  // Set behind the layer's back: a buffer size it knows would limit what each call offers,
  // and the buffer would fill only after several calls.
  const int small = 4096;
  ASSERT_EQ(::setsockopt(accepted, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
  ASSERT_TRUE(waitFor(accepted, platform::kFdWrite));
  const QByteArray block(1 << 20, 'p');
  const quint64 before = platform::socketCallCounts().sends;
  const qint64 taken = platform::sendSocket(accepted, block.constData(), block.size());
  ASSERT_GT(taken, 0);
  ASSERT_LT(taken, block.size()) << "the buffer takes only a part";
  EXPECT_EQ(platform::sendSocket(accepted, block.constData() + taken, block.size() - taken), -1);
  EXPECT_EQ(platform::lastSocketError(), 10035);
  EXPECT_EQ(platform::socketCallCounts().sends - before, 1u);

  peer.resumeReading();
  ASSERT_TRUE(waitFor(accepted, platform::kFdWrite, 2)) << "write readiness follows the refused send";
  const qint64 more = platform::sendSocket(accepted, block.constData() + taken, block.size() - taken);
  EXPECT_GT(more, 0);
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == taken + more; }));
}

TEST_F(AsyncSocketTest, ASendBufferOfAFixedSizeIsOfferedThreeQuartersOfItsReservationPerCall) {
  if (onTheRing()) {
    GTEST_SKIP() << "the direct calls' sizes; the ring's operations are sized alike, tested with the ring";
  }
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port, 4096);
  const int accepted = acceptOne(listener);
  ASSERT_EQ(platform::setSocketOption(accepted, platform::kSolSocket, platform::kSoSndBuf, 32768), 0);
  ASSERT_TRUE(waitFor(accepted, platform::kFdWrite));
  const QByteArray block(1 << 20, 'q');
  const quint64 before = platform::socketCallCounts().sends;
  const qint64 first = platform::sendSocket(accepted, block.constData(), block.size());
  EXPECT_EQ(first, 49152) << "one segment as large as the buffer would wait for the peer's delayed acknowledgement";
  const qint64 second = platform::sendSocket(accepted, block.constData() + first, block.size() - first);
  EXPECT_EQ(platform::socketCallCounts().sends - before, 2u) << "a call the layer limited is no sign of a full socket";

  const qint64 total = first + std::max<qint64>(second, 0);
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == total; }));
  EXPECT_EQ(peer.received, block.left(total));
}

TEST_F(AsyncSocketTest, AHeldSendToAConnectionThatBrokeEndsInACloseWithTheError) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);
  onNotification = [&](const Notification& notice) {
    if (notice.socket == accepted && notice.event == platform::kFdRead) {
      char buffer[64];
      platform::receiveSocket(accepted, buffer, sizeof buffer);
      peer.reset();
      EXPECT_EQ(platform::sendSocket(accepted, "late", 4), 4) << "held, so taken";
    }
  };
  ASSERT_EQ(peer.send("x"), 1);
  ASSERT_TRUE(waitFor(accepted, platform::kFdClose));
  settle();
  EXPECT_EQ(count(accepted, platform::kFdClose), 1);
  const int error = firstCloseError();
  EXPECT_TRUE(error == 10054 || error == 10058) << error;
}

TEST_F(AsyncSocketTest, AnAcceptedConnectionKnowsItsEndsAndItsListenersOptionsWithoutAskingTheSystem) {
  const int listener = track(platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp));
  ASSERT_EQ(platform::asyncSelect(listener, window_.handle(), kSocketMessage, kAllEvents), 0);
  ASSERT_EQ(platform::setSocketOption(listener, platform::kSolSocket, platform::kSoSndBuf, 32768), 0);
  ASSERT_EQ(platform::setSocketOption(listener, platform::kIpProtoTcp, platform::kTcpNoDelay, 1), 0);
  ASSERT_EQ(platform::bindSocket(listener, platform::inetAddress(QStringLiteral("127.0.0.1")), 0), 0);
  ASSERT_EQ(platform::listenSocket(listener, 5), 0);
  int port = 0;
  ASSERT_EQ(platform::socketLocalEndpoint(listener, nullptr, &port), 0);

  int sendBuffers[2] = {};
  for (int round = 0; round < 2; ++round) {
    TcpPeer peer(port);
    ASSERT_TRUE(waitFor(listener, platform::kFdAccept, round + 1));
    const int accepted = acceptOne(listener);
    const platform::SocketCallCounts before = platform::socketCallCounts();
    quint32 address = 0;
    int endpointPort = 0;
    ASSERT_EQ(platform::socketPeerEndpoint(accepted, &address, &endpointPort), 0);
    EXPECT_EQ(platform::inetDottedText(address), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(endpointPort, peer.localPort());
    ASSERT_EQ(platform::socketLocalEndpoint(accepted, &address, &endpointPort), 0);
    EXPECT_EQ(platform::inetDottedText(address), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(endpointPort, port);
    EXPECT_EQ(platform::socketCallCounts().endpointReads, before.endpointReads) << "known from the accept";

    EXPECT_EQ(platform::setSocketOption(accepted, platform::kSolSocket, platform::kSoSndBuf, 32768), 0);
    EXPECT_EQ(platform::setSocketOption(accepted, platform::kIpProtoTcp, platform::kTcpNoDelay, 1), 0);
    ASSERT_EQ(platform::getSocketOption(accepted, platform::kSolSocket, platform::kSoSndBuf, &sendBuffers[round]), 0);
    EXPECT_EQ(platform::socketCallCounts().optionCalls - before.optionCalls, round == 0 ? 1u : 0u)
        << "the options came with the accept; the sizes are read once per listener";
    int noDelay = 0;
    ASSERT_EQ(platform::getSocketOption(accepted, platform::kIpProtoTcp, platform::kTcpNoDelay, &noDelay), 0);
    EXPECT_NE(noDelay, 0) << "inherited from the listener";

    const quint64 probesBefore = platform::socketCallCounts().optionCalls;
    ASSERT_EQ(platform::closeSocket(accepted), 0);
    forget(accepted);
    EXPECT_EQ(platform::socketCallCounts().optionCalls, probesBefore) << "no probe at close";
  }
  EXPECT_EQ(sendBuffers[0], sendBuffers[1]);
  EXPECT_GE(sendBuffers[0], 32768);
}

}  // namespace
