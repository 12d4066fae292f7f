#include "server/server_engine.h"

#include "engine_test_support.h"

#include "platform/winsock_errors.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

using namespace Qt::StringLiterals;
using enginetest::EngineTest;
using enginetest::gConfiguration;
using enginetest::StartStopResult;

// A source address of its own for client n: 127.0.0.2, 127.0.0.3...
std::string client(int n) {
  return "127.0.0." + std::to_string(n + 1);
}

using Admission = EngineTest;

// The limits as the defaults set them: 50 connections per address, 100 in all. The one
// asking is not counted yet, so exactly that many are held open; beyond them the refusal
// says nothing, to the client or in the history.
TEST_F(Admission, DefaultLimitsHoldExactlyTheirNumberAndRefuseSilentlyBeyond) {
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(admitted(client(1).c_str())) << i;
  }
  EXPECT_FALSE(admitted(client(1).c_str())) << "51st from one address";
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(admitted(client(2).c_str())) << i;
  }
  EXPECT_EQ(server->getConnectionsCount({}), 100);
  EXPECT_EQ(server->getConnectionsCount(u"127.0.0.2"_s), 50);
  EXPECT_FALSE(admitted(client(3).c_str())) << "101st in all";

  // A connection that closes makes room for the next.
  peers.front()->close();
  ASSERT_TRUE(waitForSlots(99));
  EXPECT_TRUE(admitted(client(3).c_str()));

  for (const auto& peer : peers) {
    if (refused(*peer)) {
      EXPECT_TRUE(peer->received.isEmpty());
    }
  }
  EXPECT_TRUE(historyEvents().isEmpty());
  EXPECT_EQ(logCount(u"Load usrSocket("_s), 101);
}

TEST_F(Admission, LimitsCountOpenConnectionsPerAddressAndInAll) {
  struct Step {
    int client;
    bool admitted;
  };
  struct Case {
    const char* name;
    double total;
    double perClient;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"per address", 10, 2, {{1, true}, {1, true}, {1, false}, {2, true}, {2, true}, {2, false}, {3, true}}},
      {"in all", 3, 10, {{1, true}, {2, true}, {1, true}, {3, false}, {1, false}}},
      {"a limit of one", 1, 1, {{1, true}, {1, false}, {2, false}}},
      {"a fraction counts as it is", 2.5, 10, {{1, true}, {2, true}, {3, true}, {4, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gConfiguration.AdvancedParameters.TCP_MAX_OPEN_CONNECTION_TOTAL = c.total;
    gConfiguration.AdvancedParameters.TCP_MAX_OPEN_CONNECTION_CLIENT = c.perClient;
    for (std::size_t n = 0; n < c.steps.size(); ++n) {
      EXPECT_EQ(admitted(client(c.steps[n].client).c_str()), c.steps[n].admitted) << "step " << n + 1;
    }
    peers.clear();
    ASSERT_TRUE(waitForSlots(0));
  }
  EXPECT_TRUE(historyEvents().isEmpty());
}

// Only connected slots count: one whose socket is not connected (here never accepted) leaves
// room under the limits.
TEST_F(Admission, SlotsNotConnectedDoNotCountTowardsTheLimits) {
  gConfiguration.AdvancedParameters.TCP_MAX_OPEN_CONNECTION_TOTAL = 1;
  gConfiguration.AdvancedParameters.TCP_MAX_OPEN_CONNECTION_CLIENT = 1;
  server->slots().loadSocket(1, u"test"_s);
  EXPECT_EQ(server->getConnectionsCount({}), 0);
  EXPECT_TRUE(admitted(client(1).c_str()));
  EXPECT_EQ(server->slots().indexes(), (std::vector<int>{1, 2}));
  EXPECT_FALSE(admitted(client(2).c_str()));
  server->usrSocket_CloseSck(1);
}

TEST_F(Admission, IpFilterInBothModesRecordsEachRejection) {
  struct Case {
    const char* name;
    int method;
    std::vector<const char*> listed;
    std::vector<std::pair<int, bool>> clients;  // client, admitted
  };
  const std::vector<Case> cases = {
      {"only the listed", 1, {"127.0.0.2"}, {{1, true}, {2, false}, {3, false}}},
      {"all but the listed", 2, {"127.0.0.2"}, {{1, false}, {2, true}, {3, true}}},
      {"only the listed, none listed", 1, {}, {{1, false}}},
      {"all but the listed, none listed", 2, {}, {{1, true}, {2, true}}},
      {"no filter", 0, {"127.0.0.2"}, {{1, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    orv::core::gHistoryLists = {};
    gConfiguration.IpFilters = {};
    gConfiguration.IpFilters.bytMethod = c.method;
    for (const char* address : c.listed) {
      gConfiguration.IpFilters.colAddresses.add(QString::fromLatin1(address));
    }
    QStringList rejected;
    for (const auto& [n, expected] : c.clients) {
      EXPECT_EQ(admitted(client(n).c_str()), expected) << client(n);
      if (!expected) {
        rejected << u"11 "_s + QString::fromStdString(client(n)) + u" "_s;
      }
    }
    EXPECT_EQ(historyEvents(), rejected);
    peers.clear();
    ASSERT_TRUE(waitForSlots(0));
  }
}

TEST_F(Admission, ConnectionTakesTheLowestFreeSlotWithANewGeneration) {
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(admitted(client(1).c_str()));
  }
  EXPECT_EQ(server->slots().indexes(), (std::vector<int>{1, 2, 3}));
  const orv::server::ConnectionRef second = server->slots().ref(2);
  ASSERT_NE(server->slots().find(second), nullptr);

  peers[1]->close();
  ASSERT_TRUE(waitForSlots(2));
  EXPECT_EQ(server->slots().indexes(), (std::vector<int>{1, 3}));
  EXPECT_EQ(server->slots().lowestFreeIndex(), 2);

  ASSERT_TRUE(admitted(client(2).c_str()));
  EXPECT_EQ(server->slots().indexes(), (std::vector<int>{1, 2, 3}));
  // The index is the same, the connection is not: what was kept of the old one finds nothing.
  EXPECT_EQ(server->slots().find(second), nullptr);
  EXPECT_NE(server->slots().ref(2).generation, second.generation);
  EXPECT_EQ(server->slots().find(2)->clientIP, u"127.0.0.3"_s);
  ASSERT_TRUE(admitted(client(2).c_str()));
  EXPECT_EQ(server->slots().indexes(), (std::vector<int>{1, 2, 3, 4}));

  const QStringList log = logMessages();
  const QStringList expected = {
      u"Load usrSocket(2) by usrSocket_ConnectionRequest"_s, u"Load usrFileReader(2) by usrSocket_ConnectionRequest"_s,
      u"Unload usrFileReader(2) by usrSocket_CloseSck"_s,    u"Unload usrSocket(2) by usrSocket_CloseSck"_s,
      u"Load usrSocket(2) by usrSocket_ConnectionRequest"_s, u"Load usrFileReader(2) by usrSocket_ConnectionRequest"_s,
  };
  QStringList slotTwo;
  for (const QString& line : log) {
    if (line.contains(u"(2) by "_s)) {
      slotTwo << line;
    }
  }
  EXPECT_EQ(slotTwo, expected);
}

TEST_F(Admission, DebugCountersFollowTheSlots) {
  ASSERT_TRUE(admitted(client(1).c_str()));
  ASSERT_TRUE(admitted(client(2).c_str()));
  orv::core::LoadedObjectsCount loaded = orv::core::getLoadedObjectsCount();
  EXPECT_EQ(loaded.usrSocket, 2);
  EXPECT_EQ(loaded.usrFileReader, 2);
  EXPECT_EQ(loaded.usrBuildXmlPage, 0);
  EXPECT_EQ(loaded.usrMinature, 0);

  server->slots().loadMiniature(2, u"test"_s);
  EXPECT_EQ(orv::core::getLoadedObjectsCount().usrMinature, 1);

  peers.clear();
  ASSERT_TRUE(waitForSlots(0));
  loaded = orv::core::getLoadedObjectsCount();
  EXPECT_EQ(loaded.usrSocket + loaded.usrFileReader + loaded.usrMinature, 0);
}

// ---- Start and stop ----

using StartStop = EngineTest;

TEST_F(StartStop, StopStartListensOnTheSamePortAgain) {
  ASSERT_TRUE(admitted(client(1).c_str()));
  EXPECT_TRUE(gConfiguration.AppState.blnServerStarted);

  EXPECT_EQ(server->StartStopServer(), StartStopResult::Stopped);
  EXPECT_FALSE(server->isServerRunning());
  EXPECT_FALSE(gConfiguration.AppState.blnServerStarted);
  EXPECT_EQ(server->slots().count(), 0);
  EXPECT_TRUE(processEventsUntil([&] { return refused(*peers.front()); }));
  EXPECT_FALSE(admitted(client(1).c_str())) << "nobody listens";

  gConfiguration.Protocol.LOCAL_PORT = QString::number(port);
  ASSERT_EQ(server->StartStopServer(), StartStopResult::Started);
  EXPECT_EQ(server->listeningPort(), port);
  EXPECT_TRUE(gConfiguration.AppState.blnServerStarted);
  EXPECT_TRUE(admitted(client(1).c_str()));
  EXPECT_EQ(server->slots().indexes(), (std::vector<int>{1}));

  EXPECT_EQ(logCount(u"Starting server (usrSocket(0))"_s), 2);
  EXPECT_EQ(logCount(u"Closing server (usrSocket(0))"_s), 1);
}

TEST_F(StartStop, StopClosesEveryConnectionThroughTheCleanUp) {
  ASSERT_TRUE(admitted(client(1).c_str()));
  ASSERT_TRUE(admitted(client(2).c_str()));
  ASSERT_TRUE(admitted(client(1).c_str()));
  ASSERT_EQ(server->StartStopServer(), StartStopResult::Stopped);
  EXPECT_EQ(server->slots().count(), 0);
  EXPECT_EQ(logCount(u"Unload usrSocket("_s), 3);
  EXPECT_EQ(logCount(u"Unload usrFileReader("_s), 3);
  const QStringList log = logMessages();
  EXPECT_EQ(log.last(), u"Closing server (usrSocket(0))"_s);
  for (const auto& peer : peers) {
    EXPECT_TRUE(processEventsUntil([&] { return refused(*peer); }));
  }
}

// A listening socket of another program holds the port.
class PortHolder {
 public:
  PortHolder() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(fd_, 1);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~PortHolder() { ::close(fd_); }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST_F(StartStop, APortInUseLeavesTheServerStoppedAndCanBeRetried) {
  ASSERT_EQ(server->StartStopServer(), StartStopResult::Stopped);
  orv::core::debugEventLog().clear();
  {
    const PortHolder holder;
    gConfiguration.Protocol.LOCAL_PORT = QString::number(holder.port());
    EXPECT_EQ(server->StartStopServer(), StartStopResult::PortInUse);
    EXPECT_EQ(server->lastStartError(), u"Address already in use."_s);
    EXPECT_FALSE(server->isServerRunning());
    EXPECT_FALSE(gConfiguration.AppState.blnServerStarted);
    EXPECT_EQ(logCount(u"Starting server"_s), 0);
    EXPECT_EQ(server->StartStopServer(), StartStopResult::PortInUse) << "a second try is a start again";
  }
  EXPECT_EQ(server->StartStopServer(), StartStopResult::Started) << "the port is free now";
  EXPECT_TRUE(gConfiguration.AppState.blnServerStarted);
  EXPECT_TRUE(server->lastStartError().isEmpty());
}

TEST_F(StartStop, AnUnusablePortChangesNothing) {
  ASSERT_EQ(server->StartStopServer(), StartStopResult::Stopped);
  orv::core::debugEventLog().clear();
  for (const char* text : {"http", "", "70000", "-1", "99999999999"}) {
    SCOPED_TRACE(text);
    gConfiguration.Protocol.LOCAL_PORT = QString::fromLatin1(text);
    EXPECT_EQ(server->StartStopServer(), StartStopResult::Failed);
    EXPECT_FALSE(server->lastStartError().isEmpty()) << "a failed start tells why";
    EXPECT_FALSE(server->isServerRunning());
    EXPECT_FALSE(gConfiguration.AppState.blnServerStarted);
  }
  EXPECT_TRUE(logMessages().isEmpty());
  gConfiguration.Protocol.LOCAL_PORT = u" 0.4 "_s;  // a number as config.xml holds them: 0, any port
  EXPECT_EQ(server->StartStopServer(), StartStopResult::Started);
}

// One accept that fails (the process is out of descriptors) is reported on the listener,
// which goes on listening: the same connection is taken once descriptors are free again.
TEST_F(StartStop, AFailedAcceptLeavesTheListenerListening) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers check memory through descriptors of their own, which the test takes away";
#endif
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  // The loopback completes the connection at once; the server only sees it in the loop.
  connectFrom(client(1).c_str());
  // The limit is on descriptor numbers: the next one would be the lowest free one.
  const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ::close(lowestFree);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  const bool reported = processEventsUntil(
      [&] { return logCount(u"usrSocket(0) error "_s + QString::number(orv::platform::kWsaEmfile)) > 0; }, 3000);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_TRUE(reported) << logMessages().join(u'\n').toStdString();
  EXPECT_TRUE(server->isServerRunning());
  EXPECT_TRUE(waitForSlots(1));
  EXPECT_TRUE(admitted(client(2).c_str()));
}

}  // namespace
