#include "net/socket_master.h"

#include "net/socket_registry.h"
#include "net_test_support.h"
#include "platform/async_socket.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using nettest::EventTrace;
using nettest::NetTest;
using orv::net::clsSocketMaster;
using orv::net::SocketError;
using orv::net::SocketState;

// The error a call throws, as number, description and source.
struct Thrown {
  int number = 0;
  QString description;
  QString source;
  bool operator==(const Thrown&) const = default;
};
void PrintTo(const Thrown& thrown, std::ostream* out) {
  *out << thrown.number << " \"" << thrown.description.toStdString() << "\" " << thrown.source.toStdString();
}

Thrown thrownBy(const std::function<void()>& call) {
  try {
    call();
  } catch (const SocketError& error) {
    return {error.Number(), error.Description(), error.Source()};
  }
  return {};
}

const QString kBadArgument =
    QStringLiteral("The argument passed to a function was not in the correct format or in the specified range.");
const QString kInvalidOperation = QStringLiteral("Invalid operation at current state");

class SocketMaster : public NetTest {};

TEST_F(SocketMaster, PropertiesRefuseValuesOutOfRangeAndChangesOutsideTheClosedState) {
  clsSocketMaster socket;
  EXPECT_EQ(thrownBy([&] { socket.setRemotePort(65536); }),
            (Thrown{40014, kBadArgument, QStringLiteral("clsSocketMaster.RemotePort")}));
  EXPECT_EQ(thrownBy([&] { socket.setLocalPort(-1); }),
            (Thrown{40014, kBadArgument, QStringLiteral("clsSocketMaster.LocalPort")}));
  EXPECT_EQ(thrownBy([&] { socket.Connect(QStringLiteral("127.0.0.1"), 0); }),
            (Thrown{40014, kBadArgument, QStringLiteral("clsSocketMaster.Connect")}));

  socket.Bind(0, QStringLiteral("127.0.0.1"));
  EXPECT_EQ(thrownBy([&] { socket.setRemotePort(80); }),
            (Thrown{40020, kInvalidOperation, QStringLiteral("clsSocketMaster.RemotePort")}));
  EXPECT_EQ(thrownBy([&] { socket.setRemoteHost(QStringLiteral("x")); }),
            (Thrown{40020, kInvalidOperation, QStringLiteral("clsSocketMaster.RemoteHost")}));
  EXPECT_EQ(thrownBy([&] { socket.Bind(); }),
            (Thrown{40020, kInvalidOperation, QStringLiteral("clsSocketMaster.Bind")}));
  EXPECT_EQ(thrownBy([&] { socket.Connect(); }),
            (Thrown{40020, kInvalidOperation, QStringLiteral("clsSocketMaster.Connect")}));
  EXPECT_EQ(thrownBy([&] { socket.Accept(12345); }),
            (Thrown{40020, kInvalidOperation, QStringLiteral("clsSocketMaster.Accept")}));
  EXPECT_EQ(
      thrownBy([&] { socket.SendData(QStringLiteral("x")); }),
      (Thrown{40006, QStringLiteral("Wrong protocol or connection state for the requested transaction or request"),
              QStringLiteral("clsSocketMaster.SendData")}));
}

TEST_F(SocketMaster, CloseWithoutASocketChangesNothing) {
  clsSocketMaster socket;
  socket.setTag(QStringLiteral("kept"));
  socket.CloseSck();
  EXPECT_EQ(socket.State(), SocketState::sckClosed);
  EXPECT_FALSE(logMessages().join(QLatin1Char('\n')).contains(QStringLiteral("STATE:")));
  EXPECT_EQ(socket.Tag(), QStringLiteral("kept"));
}

TEST_F(SocketMaster, ABindToPortZeroReadsThePortBackAndListenKeepsTheBinding) {
  clsSocketMaster socket;
  socket.setLocalPort(0);
  socket.Bind(0, QStringLiteral("127.0.0.1"));
  EXPECT_EQ(socket.State(), SocketState::sckOpen);
  const int port = socket.LocalPort();
  EXPECT_GT(port, 0);
  EXPECT_TRUE(logged(QStringLiteral("OK Bind HOST: 127.0.0.1 PORT: %1").arg(port)));
  EXPECT_TRUE(logged(QStringLiteral("STATE: sckOpen")));

  socket.Listen();
  EXPECT_EQ(socket.State(), SocketState::sckListening);
  EXPECT_EQ(socket.LocalPort(), port);
  EXPECT_EQ(logMessages().filter(QStringLiteral("OK Bind HOST:")).size(), 1) << "bound once";
  EXPECT_TRUE(logged(QStringLiteral("STATE: sckListening")));

  socket.CloseSck();
  EXPECT_EQ(socket.State(), SocketState::sckClosed);
  EXPECT_EQ(socket.LocalPort(), 0) << "the asked-for port again";
  EXPECT_EQ(socket.SocketHandle(), -1);
}

TEST_F(SocketMaster, ListeningOnAPortInUseFailsWithItsWinsockNumberAndText) {
  clsSocketMaster first;
  first.Bind(0, QStringLiteral("127.0.0.1"));
  first.Listen();

  clsSocketMaster second;
  second.setLocalPort(first.LocalPort());
  EXPECT_EQ(thrownBy([&] { second.Listen(); }),
            (Thrown{10048, QStringLiteral("Address already in use."), QStringLiteral("clsSocketMaster.BindInternal")}));
  EXPECT_NE(second.State(), SocketState::sckListening);
  second.CloseSck();
  EXPECT_EQ(second.State(), SocketState::sckClosed);
  EXPECT_EQ(second.SocketHandle(), -1);
}

TEST_F(SocketMaster, AStoppedServerListensAgainOnItsPortWhileItsOldConnectionsWindDown) {
  int port = 0;
  {
    nettest::SlotServer server;
    port = server.port();
    TcpPeer peer(port);
    ASSERT_TRUE(processEventsUntil([&] { return server.slots.size() == 1; }));
    server.slots.clear();  // the server closes first: its side of the connection waits in TIME_WAIT
    ASSERT_TRUE(processEventsUntil([&] { return peer.endOfStream; }));
    peer.close();
    server.listener.CloseSck();
  }
  clsSocketMaster again;
  again.Bind(port, QStringLiteral("127.0.0.1"));
  again.Listen();
  EXPECT_EQ(again.State(), SocketState::sckListening);
  EXPECT_EQ(again.LocalPort(), port);
}

TEST_F(SocketMaster, ConnectsToADottedAddressAndToAName) {
  nettest::SlotServer server;
  for (const QString& host : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}) {
    clsSocketMaster client;
    EventTrace trace;
    trace.attach(client.events);
    client.Connect(host, server.port());
    EXPECT_EQ(client.State(),
              host == QStringLiteral("localhost") ? SocketState::sckResolvingHost : SocketState::sckConnecting);
    ASSERT_TRUE(processEventsUntil([&] { return client.State() == SocketState::sckConnected; })) << host.toStdString();
    EXPECT_EQ(trace.seen, QStringList{QStringLiteral("Connect")});
    EXPECT_EQ(client.RemoteHostIP(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(client.RemotePort(), server.port());
    EXPECT_EQ(client.LocalIP(), QStringLiteral("127.0.0.1"));
    EXPECT_GT(client.LocalPort(), 0);
    ASSERT_TRUE(processEventsUntil([&] { return !server.slots.empty(); }));
    client.CloseSck();
    ASSERT_TRUE(processEventsUntil([&] { return server.slots.empty(); })) << "the server saw the close";
  }
  EXPECT_TRUE(logged(QStringLiteral("OK Freed resolution memory")));
}

TEST_F(SocketMaster, AConnectNobodyAnswersReportsRefusedWithoutAClose) {
  int port = 0;
  {
    clsSocketMaster probe;
    probe.Bind(0, QStringLiteral("127.0.0.1"));
    port = probe.LocalPort();
  }
  clsSocketMaster client;
  EventTrace trace;
  QString source;
  trace.attach(client.events);
  client.events.Error = [&](orv::net::SocketErrorEventArgs& error) {
    trace.seen << QStringLiteral("Error(%1)").arg(error.Number);
    source = error.Source;
    EXPECT_EQ(error.Description, QStringLiteral("Connection refused."));
    EXPECT_TRUE(error.CancelDisplay);
  };
  client.Connect(QStringLiteral("127.0.0.1"), port);
  ASSERT_TRUE(processEventsUntil([&] { return client.State() == SocketState::sckError; }));
  nettest::settle();
  EXPECT_EQ(trace.seen, QStringList{QStringLiteral("Error(10061)")});
  EXPECT_EQ(source, QStringLiteral("clsSocketMaster.PostSocket"));
  client.CloseSck();
  EXPECT_EQ(client.State(), SocketState::sckClosed);
}

TEST_F(SocketMaster, BytesSentSurvivesTheCloseUntilReset) {
  nettest::SlotServer server;
  clsSocketMaster client;
  client.Connect(QStringLiteral("127.0.0.1"), server.port());
  ASSERT_TRUE(processEventsUntil([&] { return client.State() == SocketState::sckConnected; }));
  client.SendData(QStringLiteral("hello"));
  EXPECT_EQ(client.BytesSent(), 5);
  client.CloseSck();
  EXPECT_EQ(client.BytesSent(), 5);
  EXPECT_EQ(client.RemoteHostIP(), QString());
  EXPECT_EQ(client.RemoteHost(), QStringLiteral("127.0.0.1"));
  client.ResetBytesSent();
  EXPECT_EQ(client.BytesSent(), 0);
  ASSERT_TRUE(processEventsUntil([&] { return server.slots.empty(); }));
}

TEST_F(SocketMaster, TheLocalNameAndAddressNeedNoConnection) {
  clsSocketMaster socket;
  EXPECT_FALSE(socket.LocalHostName().isEmpty());
  EXPECT_NE(orv::platform::inetAddress(socket.LocalIP()), orv::platform::kInaddrNone);
}

}  // namespace
