#include "platform/io_ring_socket.h"
#include "platform/async_socket.h"
#include "platform/file_system.h"
#include "platform/io_ring.h"
#include "platform/message_window.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

// The stand-in's sockets on the ring: what the ring changes (how many kernel entries, when
// the descriptors go) while the notifications stay those of the direct road, which the
// socket tests check on both roads.
namespace {

namespace platform = orv::platform;
using platform::IoRing;

constexpr unsigned kSocketMessage = 0x8002;
constexpr int kAllEvents =
    platform::kFdRead | platform::kFdWrite | platform::kFdAccept | platform::kFdConnect | platform::kFdClose;

class IoRingSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wasEnabled_ = IoRing::enabled();
    IoRing::setEnabled(true);
    ring_ = IoRing::instance();
    if (ring_ == nullptr) {
      GTEST_SKIP() << "the kernel gives no io_uring here";
    }
    descriptorsBefore_ = platform::openDescriptorCount();
    window_.setProcedure([this](unsigned message, quintptr wParam, qintptr lParam) {
      if (message == kSocketMessage) {
        events.push_back({static_cast<int>(wParam), static_cast<int>(lParam & 0xFFFF)});
        if (onEvent) {
          onEvent(static_cast<int>(wParam), static_cast<int>(lParam & 0xFFFF));
        }
      }
      return qintptr{0};
    });
  }

  void TearDown() override {
    if (ring_ != nullptr) {
      for (int socket : sockets_) {
        platform::closeSocket(socket);
      }
      EXPECT_TRUE(processEventsUntil([this] {
        return platform::openDescriptorCount() <= descriptorsBefore_ && platform::closingRingConnections() == 0;
      })) << "descriptors left: "
          << platform::openDescriptorCount() - descriptorsBefore_;
    }
    IoRing::setEnabled(wasEnabled_);
  }

  int listen(int* port) {
    const int socket = platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp);
    sockets_.push_back(socket);
    EXPECT_EQ(platform::asyncSelect(socket, window_.handle(), kSocketMessage, kAllEvents), 0);
    EXPECT_EQ(platform::bindSocket(socket, platform::inetAddress(QStringLiteral("127.0.0.1")), *port), 0);
    EXPECT_EQ(platform::listenSocket(socket, 5), 0);
    platform::socketLocalEndpoint(socket, nullptr, port);
    return socket;
  }

  bool has(int socket, int event) const {
    return std::any_of(events.begin(), events.end(),
                       [&](const auto& e) { return e.first == socket && e.second == event; });
  }

  int acceptOne(int listener) {
    EXPECT_TRUE(processEventsUntil([&] { return has(listener, platform::kFdAccept); }));
    const int accepted = platform::acceptSocket(listener, nullptr, nullptr);
    EXPECT_GE(accepted, 0);
    sockets_.push_back(accepted);
    return accepted;
  }

  void forget(int socket) { sockets_.erase(std::remove(sockets_.begin(), sockets_.end(), socket), sockets_.end()); }

  IoRing* ring_ = nullptr;
  std::vector<std::pair<int, int>> events;
  std::function<void(int, int)> onEvent;
  platform::MessageWindow window_{QStringLiteral("STATIC"), QStringLiteral("TEST_RING_SOCKET_WINDOW")};

 private:
  std::vector<int> sockets_;
  int descriptorsBefore_ = 0;
  bool wasEnabled_ = true;
};

TEST_F(IoRingSocketTest, WhatAHandlerSendsLeavesInOneKernelEntryWithTheNextReceive) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);
  ASSERT_NE(platform::ringConnection(accepted), nullptr);
  quint64 entries = 0;
  onEvent = [&](int socket, int event) {
    if (socket != accepted || event != platform::kFdRead) {
      return;
    }
    char buffer[256];
    ASSERT_EQ(platform::receiveSocket(accepted, buffer, sizeof buffer), 4);
    entries = ring_->submissions();
    // A head and its body, in three pieces.
    for (const char* piece : {"HTTP/1.1 200 OK\r\n", "Content-Length: 4\r\n\r\n", "body"}) {
      ASSERT_EQ(platform::sendSocket(accepted, piece, static_cast<qint64>(std::strlen(piece))),
                static_cast<qint64>(std::strlen(piece)));
    }
  };
  ASSERT_EQ(peer.send("GET "), 4);
  const QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody";
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == answer.size(); }));
  EXPECT_EQ(peer.received, answer);
  EXPECT_EQ(ring_->submissions(), entries + 1) << "the three sends and the next receive went in one entry";
}

TEST_F(IoRingSocketTest, AClosedConnectionStillSendsEverythingThenEnds) {
  int port = 0;
  const int listener = listen(&port);
  TcpPeer peer(port, 4096);
  const int accepted = acceptOne(listener);
  QByteArray block(3 << 20, '\0');
  for (qsizetype i = 0; i < block.size(); ++i) {
    block[i] = static_cast<char>(i % 251);
  }
  qint64 taken = 0;
  while (taken < block.size()) {
    const qint64 sent = platform::sendSocket(accepted, block.constData() + taken, block.size() - taken);
    if (sent < 0) {
      ASSERT_EQ(platform::lastSocketError(), platform::kWsaEwouldblock);
      ASSERT_TRUE(processEventsUntil([&] { return has(accepted, platform::kFdWrite); }));
      events.clear();
      continue;
    }
    taken += sent;
  }
  EXPECT_EQ(platform::closeSocket(accepted), 0);
  forget(accepted);
  ASSERT_TRUE(processEventsUntil([&] { return peer.received.size() == block.size() && peer.endOfStream; }));
  peer.close();
  EXPECT_TRUE(peer.received == block);
}

// A connection whose peer ended it closes at once; the next connection may get the same
// descriptor in the same pass, and nothing of the closed one reaches it.
TEST_F(IoRingSocketTest, TheCloseOfAnEndedConnectionLeavesTheNextOneWithItsDescriptorAlone) {
  int port = 0;
  const int listener = listen(&port);
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    events.clear();
    auto first = std::make_unique<TcpPeer>(port);
    const int ended = acceptOne(listener);
    events.clear();
    first->shutdownWrite();
    auto second = std::make_unique<TcpPeer>(port);
    ASSERT_TRUE(
        processEventsUntil([&] { return has(ended, platform::kFdClose) && has(listener, platform::kFdAccept); }));
    // Closed and a new connection taken in the same turn of the loop.
    EXPECT_EQ(platform::closeSocket(ended), 0);
    forget(ended);
    const int next = platform::acceptSocket(listener, nullptr, nullptr);
    ASSERT_GE(next, 0);
    for (const char* piece : {"one ", "two"}) {
      processPendingEvents();
      ASSERT_EQ(platform::sendSocket(next, piece, static_cast<qint64>(std::strlen(piece))),
                static_cast<qint64>(std::strlen(piece)));
    }
    ASSERT_TRUE(processEventsUntil([&] { return second->received.size() == 7 || second->endOfStream; }));
    EXPECT_EQ(second->received, QByteArrayLiteral("one two"));
    EXPECT_FALSE(second->endOfStream) << "the connection was shut down by another's close";
    EXPECT_TRUE(processEventsUntil([&] { return first->endOfStream; }));
    EXPECT_EQ(platform::closeSocket(next), 0);
  }
}

TEST_F(IoRingSocketTest, AClosedListenerFreesItsPortAtOnce) {
  int port = 0;
  const int listener = listen(&port);
  processPendingEvents();
  ASSERT_NE(platform::ringListener(listener), nullptr);
  EXPECT_EQ(platform::closeSocket(listener), 0);
  forget(listener);
  int samePort = port;
  const int again = listen(&samePort);
  EXPECT_EQ(samePort, port);
  TcpPeer peer(port);
  const int accepted = acceptOne(again);
  EXPECT_GE(accepted, 0);
}

TEST_F(IoRingSocketTest, SwitchedOffNewListenersUseTheDirectCalls) {
  IoRing::setEnabled(false);
  int port = 0;
  const int listener = listen(&port);
  EXPECT_EQ(platform::ringListener(listener), nullptr);
  TcpPeer peer(port);
  const int accepted = acceptOne(listener);
  EXPECT_EQ(platform::ringConnection(accepted), nullptr);
  ASSERT_EQ(peer.send("ping"), 4);
  ASSERT_TRUE(processEventsUntil([&] { return has(accepted, platform::kFdRead); }));
  char buffer[8];
  EXPECT_EQ(platform::receiveSocket(accepted, buffer, sizeof buffer), 4);
  ring_ = nullptr;  // gone with the switch
  const int descriptors = platform::openDescriptorCount();
  peer.close();
  platform::closeSocket(accepted);
  platform::closeSocket(listener);
  EXPECT_TRUE(processEventsUntil([&] { return platform::openDescriptorCount() <= descriptors - 3; }));
}

}  // namespace
