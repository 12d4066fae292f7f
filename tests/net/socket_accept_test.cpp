#include "net/socket_master.h"
#include "net/socket_registry.h"
#include "net_test_support.h"
#include "platform/async_socket.h"
#include "platform/deadline.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

namespace mod = orv::net::modSocketMaster;
using nettest::EventTrace;
using nettest::NetTest;
using nettest::settle;
using nettest::SlotServer;
using orv::net::clsSocketMaster;
using orv::net::SocketError;
using orv::net::SocketState;
using orv::net::usrSocket;

class Accepting : public NetTest {};

constexpr int kPeers = 300;

// Connects that many clients at once and lets the server accept them all.
std::vector<std::unique_ptr<TcpPeer>> connectMany(SlotServer& server, int count) {
  std::vector<std::unique_ptr<TcpPeer>> peers;
  for (int i = 0; i < count; ++i) {
    peers.push_back(std::make_unique<TcpPeer>(server.port()));
  }
  EXPECT_TRUE(processEventsUntil([&] { return server.accepted == count; }, 30000)) << server.accepted;
  return peers;
}

TEST_F(Accepting, DuringTheRequestTheListenerNamesThePeerAndAfterwardsItsOwnValuesAgain) {
  usrSocket listener;
  listener.setRemoteHost(QStringLiteral("before"));
  listener.setRemotePort(4321);
  listener.Bind(0, QStringLiteral("127.0.0.1"));
  listener.Listen();
  QString ipDuring;
  QString hostDuring;
  int portDuring = 0;
  int requests = 0;
  listener.events.ConnectionRequest = [&](int) {
    ++requests;
    ipDuring = listener.RemoteHostIP();
    hostDuring = listener.RemoteHost();
    portDuring = listener.RemotePort();
  };
  TcpPeer peer(listener.LocalPort());
  ASSERT_TRUE(processEventsUntil([&] { return requests == 1; }));
  EXPECT_EQ(ipDuring, QStringLiteral("127.0.0.1"));
  EXPECT_EQ(hostDuring, QString());
  EXPECT_EQ(portDuring, peer.localPort());
  EXPECT_EQ(listener.RemoteHost(), QStringLiteral("before"));
  EXPECT_EQ(listener.RemotePort(), 4321);
  EXPECT_EQ(listener.RemoteHostIP(), QString());
}

TEST_F(Accepting, AConnectionNobodyTakesIsClosedAtOnce) {
  SlotServer server;
  server.admit = false;
  TcpPeer peer(server.port());
  ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream || peer.readError != 0; }));
  EXPECT_TRUE(peer.received.isEmpty());
  EXPECT_TRUE(server.slots.empty());
  EXPECT_EQ(server.listener.State(), SocketState::sckListening);
  EXPECT_EQ(logMessages().filter(QStringLiteral("OK Closed accepted socket: ")).size(), 1);
  const std::vector<int> handles = mod::SocketTableHandles();
  EXPECT_EQ(std::count_if(handles.begin(), handles.end(), [](int handle) { return handle != -1; }), 1)
      << "only the listener is left";
}

TEST_F(Accepting, DataAndACloseThatCameBeforeTheAcceptArriveInThatOrder) {
  usrSocket listener;
  listener.Bind(0, QStringLiteral("127.0.0.1"));
  listener.Listen();
  std::unique_ptr<usrSocket> connection;
  EventTrace trace;
  QByteArray received;
  listener.events.ConnectionRequest = [&](int requestID) {
    // Let the peer's data and close reach the holder before the connection is taken over.
    clsSocketMaster* holder = mod::GetAcceptedSocketObject(requestID).get();
    ASSERT_NE(holder, nullptr);
    ASSERT_TRUE(processEventsUntil([&] { return holder->State() == SocketState::sckClosing; }));
    EXPECT_EQ(holder->BytesReceived(), 5);
    EXPECT_THROW(
        {
          QByteArray peeked;
          holder->PeekData(peeked);
        },
        SocketError)
        << "a holder can be read from, not peeked at";
    connection = std::make_unique<usrSocket>();
    trace.attach(connection->events);
    connection->events.DataArrival = [&](int total) {
      trace.seen << QStringLiteral("DataArrival(%1)").arg(total);
      connection->GetData(received);
    };
    connection->Accept(requestID);
  };
  // The peer connects, sends and closes before the server has seen anything.
  const int peer = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<quint16>(listener.LocalPort()));
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(peer, reinterpret_cast<const sockaddr*>(&server), sizeof server), 0);
  ASSERT_EQ(::send(peer, "hello", 5, 0), 5);
  ::close(peer);
  ASSERT_TRUE(processEventsUntil([&] { return trace.count(QStringLiteral("CloseSck")) == 1; }));
  EXPECT_EQ(trace.seen, (QStringList{QStringLiteral("DataArrival(5)"), QStringLiteral("CloseSck")}));
  EXPECT_EQ(received, QByteArray("hello"));
  EXPECT_EQ(connection->State(), SocketState::sckClosing);
  EXPECT_TRUE(logged(QStringLiteral("OK Destroyed accept collection")));
  connection.reset();
}

// The owner of a connection applies the options as its holder did: the same lines, the
// options of the tuning in force when it takes the connection, and its local end.
TEST_F(Accepting, TheOwnerHasTheOptionsOfTheTuningInForceWhenItTakesTheConnection) {
  struct Case {
    int sendBufferAtAccept;
    int sendBufferAtTakeOver;
  };
  for (const Case& c : {Case{16384, 16384}, Case{16384, 8192}}) {
    orv::core::gConfiguration.AdvancedParameters.SKT_SNDBUF = c.sendBufferAtAccept;
    usrSocket listener;
    listener.Bind(0, QStringLiteral("127.0.0.1"));
    listener.Listen();
    orv::core::debugEventLog().clear();
    std::unique_ptr<usrSocket> connection;
    listener.events.ConnectionRequest = [&](int requestID) {
      orv::core::gConfiguration.AdvancedParameters.SKT_SNDBUF = c.sendBufferAtTakeOver;
      connection = std::make_unique<usrSocket>();
      connection->Accept(requestID);
    };
    TcpPeer peer(listener.LocalPort());
    ASSERT_TRUE(processEventsUntil([&] { return connection != nullptr; }));
    int size = 0;
    ASSERT_EQ(orv::platform::getSocketOption(connection->SocketHandle(), orv::platform::kSolSocket,
                                             orv::platform::kSoSndBuf, &size),
              0);
    const int holderSize = c.sendBufferAtAccept == c.sendBufferAtTakeOver ? size : 2 * c.sendBufferAtAccept;
    EXPECT_EQ(logMessages().filter(QStringLiteral("Winsock buffer size for sends: ")),
              (QStringList{QStringLiteral("Winsock buffer size for sends: %1").arg(holderSize),
                           QStringLiteral("Winsock buffer size for sends: %1").arg(size)}))
        << c.sendBufferAtTakeOver;
    EXPECT_EQ(logMessages().filter(QStringLiteral("Winsock buffer size for receives: ")).size(), 2);
    EXPECT_GE(size, c.sendBufferAtTakeOver);
    EXPECT_EQ(connection->LocalIP(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(connection->LocalPort(), listener.LocalPort());
    connection.reset();
  }
}

TEST_F(Accepting, AcceptingAHandleAnotherObjectOwnsFailsWithWrongState) {
  clsSocketMaster owner;
  owner.Bind(0, QStringLiteral("127.0.0.1"));
  clsSocketMaster thief;
  try {
    thief.Accept(owner.SocketHandle());
    FAIL() << "accepted a socket that has an owner";
  } catch (const SocketError& error) {
    EXPECT_EQ(error.Number(), 40006);
    EXPECT_EQ(error.Source(), QStringLiteral("clsSocketMaster.Accept"));
  }
  EXPECT_EQ(thief.SocketHandle(), -1);
  EXPECT_EQ(thief.State(), SocketState::sckClosed);
}

TEST_F(Accepting, SlotsAreTakenLowestFirstAndFreedOnClose) {
  SlotServer server;
  std::vector<std::unique_ptr<TcpPeer>> peers;
  for (int i = 0; i < 3; ++i) {
    peers.push_back(std::make_unique<TcpPeer>(server.port()));
    ASSERT_TRUE(processEventsUntil([&] { return server.accepted == i + 1; }));
  }
  EXPECT_EQ(server.slots.size(), 3u);
  peers[1]->close();
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.count(2) == 0; }));
  peers.push_back(std::make_unique<TcpPeer>(server.port()));
  ASSERT_TRUE(processEventsUntil([&] { return server.accepted == 4; }));
  EXPECT_EQ(server.slots.count(2), 1u) << "the freed slot is taken again";
  EXPECT_EQ(server.slots.at(2)->State(), SocketState::sckConnected);
  EXPECT_EQ(server.slots.at(2)->RemoteHostIP(), QStringLiteral("127.0.0.1"));
  peers.clear();
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.empty(); }));
}

TEST_F(Accepting, HundredsOfConnectionsOpenedAndDroppedAtOnceAllEndInAClose) {
  orv::core::gConfiguration.AdvancedParameters.SKT_DEBUG = false;
  SlotServer server;
  std::vector<std::unique_ptr<TcpPeer>> peers = connectMany(server, kPeers);
  ASSERT_EQ(server.accepted, kPeers);
  for (int i = 0; i < kPeers; ++i) {
    if (i % 2 == 0) {
      peers[static_cast<std::size_t>(i)]->reset();
    } else {
      peers[static_cast<std::size_t>(i)]->close();
    }
  }
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.empty(); })) << server.slots.size() << " slots left";
  EXPECT_EQ(server.closes, kPeers) << "one close per connection";
  for (int error : server.errors) {
    EXPECT_EQ(error, 10054);
  }
  EXPECT_EQ(server.listener.State(), SocketState::sckListening);
  peers.clear();
}

// The server drops hundreds of connections at once while their clients' bytes wait unread
// (a server that stops, or an idle timer that cuts half-received requests): each client
// sees an orderly end, never a reset, and every descriptor is given back once the clients
// have gone too.
TEST_F(Accepting, HundredsOfConnectionsDroppedByTheServerWithUnreadInputEndWithoutAReset) {
  orv::core::gConfiguration.AdvancedParameters.SKT_DEBUG = false;
  SlotServer server;
  std::vector<std::unique_ptr<TcpPeer>> peers = connectMany(server, kPeers);
  ASSERT_EQ(server.accepted, kPeers);
  const int descriptorsWhileOpen = orv::platform::openDescriptorCount();
  for (auto& peer : peers) {
    ASSERT_GT(peer->send("GET /half HTTP/1.1\r\nHost: x\r\n"), 0);
  }
  server.slots.clear();  // before the server has read a byte of it
  ASSERT_TRUE(processEventsUntil([&] {
    return std::all_of(peers.begin(), peers.end(),
                       [](const auto& peer) { return peer->endOfStream || peer->readError; });
  })) << "every client learns that the server has gone";
  EXPECT_EQ(std::count_if(peers.begin(), peers.end(), [](const auto& peer) { return peer->readError != 0; }), 0)
      << "clients that got a reset";
  EXPECT_TRUE(std::all_of(peers.begin(), peers.end(), [](const auto& peer) { return peer->received.isEmpty(); }));
  EXPECT_EQ(server.closes, 0) << "the server's own close raises no event";
  peers.clear();
  ASSERT_TRUE(processEventsUntil([&] {
    return orv::platform::openDescriptorCount() <= descriptorsWhileOpen - 2 * kPeers;
  })) << "descriptors kept: "
      << orv::platform::openDescriptorCount() - (descriptorsWhileOpen - 2 * kPeers);
  EXPECT_EQ(server.listener.State(), SocketState::sckListening);
}

TEST_F(Accepting, AFailedAcceptLeavesTheListenerListening) {
  SlotServer server;
  std::vector<int> listenerErrors;
  server.listener.events.Error = [&](orv::net::SocketErrorEventArgs& error) { listenerErrors.push_back(error.Number); };
  TcpPeer first(server.port());
  ASSERT_TRUE(processEventsUntil([&] { return server.accepted == 1; }));

  // The back-off arms the first deadline of the run. Under the sanitizers the first check
  // of a type reads memory through a pipe, which cannot be made without descriptors: that
  // first arming happens here, while there are some.
  orv::platform::Deadline warmUp;
  warmUp.start(60000);
  warmUp.stop();

  // No descriptor left for the next accept.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  TcpPeer second(server.port());
  rlimit tight = saved;
  const int lowestFree = ::dup(0);
  ::close(lowestFree);
  tight.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  const bool failed = processEventsUntil([&] { return !listenerErrors.empty(); });
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_TRUE(failed);
  EXPECT_EQ(listenerErrors.front(), 10024);
  EXPECT_EQ(server.listener.State(), SocketState::sckListening);

  ASSERT_TRUE(processEventsUntil([&] { return server.accepted == 2; })) << "the waiting connection is taken later";
  TcpPeer third(server.port());
  ASSERT_TRUE(processEventsUntil([&] { return server.accepted == 3; }));
  EXPECT_LE(listenerErrors.size(), 3u) << "no spinning while descriptors are short";
}

// The peer's address comes with the accept, the local one from the listener's own address,
// and the options with the listener's: after the first connection, none is asked again.
TEST_F(Accepting, AConnectionIsTakenWithoutAskingTheSystemForItsAddressesOrOptions) {
  usrSocket listener;
  listener.Bind(0, QStringLiteral("127.0.0.1"));
  listener.Listen();
  std::unique_ptr<usrSocket> connection;
  QString peerDuringRequest;
  listener.events.ConnectionRequest = [&](int requestID) {
    peerDuringRequest = listener.RemoteHostIP() + QLatin1Char(':') + QString::number(listener.RemotePort());
    connection = std::make_unique<usrSocket>();
    connection->Accept(requestID);
  };
  for (int round = 0; round < 2; ++round) {
    const orv::platform::SocketCallCounts before = orv::platform::socketCallCounts();
    TcpPeer peer(listener.LocalPort());
    ASSERT_TRUE(processEventsUntil([&] { return connection != nullptr; }));
    const orv::platform::SocketCallCounts after = orv::platform::socketCallCounts();
    EXPECT_EQ(after.endpointReads, before.endpointReads);
    if (round > 0) {
      EXPECT_EQ(after.optionCalls, before.optionCalls);
    }
    const QString peerEnd = QStringLiteral("127.0.0.1:") + QString::number(peer.localPort());
    EXPECT_EQ(peerDuringRequest, peerEnd);
    EXPECT_EQ(connection->RemoteHostIP() + QLatin1Char(':') + QString::number(connection->RemotePort()), peerEnd);
    EXPECT_EQ(connection->LocalIP(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(connection->LocalPort(), listener.LocalPort());
    connection.reset();
  }
}

// On every interface the local address of a connection is known only to the system: it is
// asked for when first wanted, not for every connection.
TEST_F(Accepting, OnEveryInterfaceTheLocalEndIsAskedForOnlyWhenWanted) {
  usrSocket listener;
  listener.Listen();
  std::unique_ptr<usrSocket> connection;
  listener.events.ConnectionRequest = [&](int requestID) {
    connection = std::make_unique<usrSocket>();
    connection->Accept(requestID);
  };
  const orv::platform::SocketCallCounts before = orv::platform::socketCallCounts();
  TcpPeer peer(listener.LocalPort());
  ASSERT_TRUE(processEventsUntil([&] { return connection != nullptr; }));
  EXPECT_EQ(orv::platform::socketCallCounts().endpointReads, before.endpointReads);
  EXPECT_EQ(connection->LocalIP(), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(connection->LocalPort(), listener.LocalPort());
  EXPECT_EQ(connection->LocalIP(), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(orv::platform::socketCallCounts().endpointReads, before.endpointReads + 1);
  connection.reset();
}

}  // namespace
