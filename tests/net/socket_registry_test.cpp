#include "net/socket_registry.h"

#include "net/socket_errors.h"
#include "net/socket_master.h"
#include "net_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

namespace mod = orv::net::modSocketMaster;
using nettest::NetTest;

TEST(WinsockErrorText, GivesTheTableTextAndUnknownForOtherNumbers) {
  struct Case {
    int number;
    const char* text;
  };
  const Case cases[] = {
      {10048, "Address already in use."},
      {10054, "Connection reset by peer."},
      {10053, "Software caused connection abort."},
      {10035, "Resource temporarily unavailable."},
      {10058, "Cannot send after socket shutdown."},
      {10061, "Connection refused."},
      {10024, "Too many open files."},
      {11001, "Host not found."},
      {11004, "Valid name, no data record of requested type."},
      {10059, "Unknown error."},
      {0, "Unknown error."},
      {40006, "Unknown error."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mod::GetWinsockErrorText(c.number), QString::fromLatin1(c.text)) << c.number;
  }
}

TEST(SocketWords, SplitsAndConvertsPorts) {
  EXPECT_EQ(mod::LoWord(0x00280001), 1);
  EXPECT_EQ(mod::HiWord(0x00280001), 0x28);
  EXPECT_EQ(mod::HiWord(static_cast<qint64>(10054) << 16 | 32), 10054);
  EXPECT_EQ(mod::PortToInteger(80), 80);
  EXPECT_EQ(mod::PortToInteger(65535), -1);
  EXPECT_EQ(mod::PortToInteger(32768), -32768);
  EXPECT_EQ(mod::IntegerToPort(-1), 65535);
  EXPECT_EQ(mod::IntegerToPort(mod::PortToInteger(40000)), 40000);
  EXPECT_THROW(mod::PortToInteger(65536), orv::net::SocketError);
}

class SocketTable : public NetTest {};

TEST_F(SocketTable, FreedSlotsAreReusedAndTheWindowLivesWithTheRegisteredSockets) {
  orv::net::clsSocketMaster first;
  orv::net::clsSocketMaster second;
  EXPECT_EQ(mod::SocketWindowHandle(), 0);
  mod::RegisterSocket(5, &first, false);
  mod::RegisterSocket(7, &second, false);
  EXPECT_NE(mod::SocketWindowHandle(), 0);
  EXPECT_EQ(mod::SocketTableHandles(), (std::vector<int>{5, 7}));

  mod::UnregisterSocket(5);
  EXPECT_EQ(mod::SocketTableHandles(), (std::vector<int>{-1, 7}));
  EXPECT_FALSE(mod::IsSocketInCollection(5));
  mod::RegisterSocket(9, &first, false);
  EXPECT_EQ(mod::SocketTableHandles(), (std::vector<int>{9, 7}));

  mod::UnregisterSocket(9);
  mod::UnregisterSocket(7);
  EXPECT_EQ(mod::SocketWindowHandle(), 0) << "the last socket takes the window with it";
  EXPECT_TRUE(logged(QStringLiteral("OK Destroyed socket collection")));
}

TEST_F(SocketTable, RegisteringAHandleTwiceKeepsTheFirstOwner) {
  orv::net::clsSocketMaster first;
  orv::net::clsSocketMaster second;
  mod::RegisterSocket(5, &first, false);
  mod::RegisterSocket(5, &second, false);
  EXPECT_EQ(mod::SocketTableHandles(), (std::vector<int>{5}));
  EXPECT_TRUE(logged(QStringLiteral("WARNING: Socket already registered!")));
  mod::UnregisterSocket(5);
  EXPECT_EQ(mod::SocketTableHandles(), std::vector<int>{}) << "emptied with the window";
}

TEST_F(SocketTable, TheLibraryStartsWithTheFirstObjectAndStopsWithTheLast) {
  {
    orv::net::clsSocketMaster first;
    EXPECT_EQ(mod::InstanceCount(), 1);
    orv::net::clsSocketMaster second;
    EXPECT_EQ(mod::InstanceCount(), 2);
  }
  EXPECT_EQ(mod::InstanceCount(), 0);
  const QStringList log = logMessages();
  EXPECT_EQ(log.count(QStringLiteral("OK Winsock service initiated")), 1);
  EXPECT_EQ(log.count(QStringLiteral("OK Winsock service finalized")), 1);
}

}  // namespace
