#include "platform/host_lookup.h"

#include "platform/async_socket.h"
#include "platform/message_window.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

namespace platform = orv::platform;

constexpr unsigned kLookupMessage = 0x8000;

TEST(HostNames, ConvertsDottedAddresses) {
  EXPECT_EQ(platform::inetDottedText(platform::inetAddress(QStringLiteral("192.168.1.20"))),
            QStringLiteral("192.168.1.20"));
  EXPECT_EQ(platform::inetAddress(QStringLiteral("300.1.1.1")), platform::kInaddrNone);
  EXPECT_EQ(platform::inetAddress(QStringLiteral("localhost")), platform::kInaddrNone);
  EXPECT_FALSE(platform::localHostName().isEmpty());
  EXPECT_NE(platform::localHostAddress(), platform::kInaddrNone);
}

TEST(HostNames, WritesEveryOctetAsTheCLibraryDoes) {
  for (quint32 octet = 0; octet < 256; ++octet) {
    for (const quint32 host : {octet << 24 | 0x00FF0A01u, octet << 16 | 0x0100FFu, octet << 8 | 0x64000009u, octet}) {
      in_addr value{};
      value.s_addr = htonl(host);
      char expected[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &value, expected, sizeof expected);
      ASSERT_EQ(platform::inetDottedText(value.s_addr), QString::fromLatin1(expected));
    }
  }
}

TEST(HostLookup, ALookupAnswersThroughItsMessageAndACancelledOneNever) {
  platform::MessageWindow window(QStringLiteral("STATIC"), QStringLiteral("TEST_LOOKUP_WINDOW"));
  std::vector<std::pair<int, int>> answers;  // handle, error
  window.setProcedure([&](unsigned message, quintptr wParam, qintptr lParam) {
    if (message == kLookupMessage) {
      answers.emplace_back(static_cast<int>(wParam), static_cast<int>((lParam >> 16) & 0xFFFF));
    }
    return qintptr{0};
  });
  std::vector<char> cancelledBuffer(1024, '\x55');
  const int cancelled = platform::asyncGetHostByName(window.handle(), kLookupMessage, QStringLiteral("localhost"),
                                                     cancelledBuffer.data(), 1024);
  ASSERT_NE(cancelled, 0);
  EXPECT_EQ(platform::cancelAsyncRequest(cancelled), 0);

  std::vector<char> buffer(1024, '\x55');
  const int handle =
      platform::asyncGetHostByName(window.handle(), kLookupMessage, QStringLiteral("localhost"), buffer.data(), 1024);
  ASSERT_NE(handle, 0);
  ASSERT_TRUE(processEventsUntil([&] { return !answers.empty(); }));
  processPendingEvents(3);
  ASSERT_EQ(answers, (std::vector<std::pair<int, int>>{{handle, 0}}));
  quint32 address = 0;
  std::memcpy(&address, buffer.data(), 4);
  EXPECT_EQ(platform::inetDottedText(address), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(cancelledBuffer[0], '\x55') << "a cancelled lookup writes nothing";
  EXPECT_EQ(platform::cancelAsyncRequest(handle), -1) << "already answered";
}

}  // namespace
