#include "server/ip_filter.h"

#include "core/configuration.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

using orv::core::gConfiguration;
using orv::server::isIpAllowed;

class IpFilterTest : public testing::Test {
 protected:
  void TearDown() override { gConfiguration = {}; }
};

TEST_F(IpFilterTest, MethodAndListDecideWhoPasses) {
  struct Case {
    int method;
    QStringList listed;
    const char* ip;
    bool allowed;
  };
  const QStringList one{QStringLiteral("192.168.0.2")};
  const Case cases[] = {
      {1, one, "192.168.0.2", true},
      {1, one, "192.168.0.3", false},
      {1, one, "192.168.0.20", false},
      {1, one, "92.168.0.2", false},
      {2, one, "192.168.0.2", false},
      {2, one, "10.0.0.1", true},
      {0, one, "192.168.0.2", true},
      {3, one, "192.168.0.2", true},
      {2, {}, "192.168.0.2", true},
      {1, {}, "192.168.0.2", false},
      {1, {QStringLiteral("10.0.0.1"), QStringLiteral("192.168.0.2")}, "192.168.0.2", true},
      // The editor reads the four parts as decimal numbers, so leading zeros name the same
      // address; a deny entry typed that way must still refuse it.
      {2, {QStringLiteral("192.168.000.002")}, "192.168.0.2", false},
      {1, {QStringLiteral("010.0.0.1")}, "10.0.0.1", true},
      {1, {QStringLiteral("010.0.0.1")}, "8.0.0.1", false},
      // An empty entry names nobody.
      {1, {QString()}, "", false},
      {2, {QString()}, "", true},
  };
  for (const Case& c : cases) {
    gConfiguration.IpFilters = {};
    gConfiguration.IpFilters.bytMethod = c.method;
    for (const QString& address : c.listed) {
      gConfiguration.IpFilters.colAddresses.add(address);
    }
    EXPECT_EQ(isIpAllowed(QString::fromLatin1(c.ip)), c.allowed) << "method " << c.method << ", " << c.ip;
  }
}

}  // namespace
