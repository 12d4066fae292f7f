#include "platform/message_window.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using orv::platform::callWindowProcedure;
using orv::platform::MessageWindow;
using orv::platform::postMessage;
using orv::platform::registerWindowMessage;
using orv::platform::sendMessage;
using orv::platform::WindowProcedure;

struct Received {
  unsigned message;
  quintptr wParam;
  qintptr lParam;
  bool operator==(const Received&) const = default;
};

TEST(MessageWindow, HandlesAreNumbersNeverReused) {
  int first = 0;
  {
    MessageWindow window(QStringLiteral("STATIC"), QStringLiteral("ONE"));
    first = window.handle();
    EXPECT_NE(first, 0);
    EXPECT_EQ(orv::platform::findMessageWindow(first), &window);
  }
  EXPECT_EQ(orv::platform::findMessageWindow(first), nullptr);
  MessageWindow next(QStringLiteral("STATIC"), QStringLiteral("TWO"));
  EXPECT_NE(next.handle(), first);
}

TEST(MessageWindow, SentMessagesCallTheProcedureAtOnce) {
  MessageWindow window(QStringLiteral("STATIC"), QStringLiteral("SENT"));
  EXPECT_EQ(sendMessage(window.handle(), 1234, 1, 2), 0) << "the default procedure answers 0";
  std::vector<Received> received;
  window.setProcedure([&](unsigned message, quintptr wParam, qintptr lParam) {
    received.push_back({message, wParam, lParam});
    return qintptr{77};
  });
  EXPECT_EQ(sendMessage(window.handle(), 1234, 5, -6), 77);
  EXPECT_EQ(received, (std::vector<Received>{{1234, 5, -6}}));
  EXPECT_EQ(sendMessage(window.handle() + 1000, 1234, 5, 6), 0) << "no such window";
}

TEST(MessageWindow, AReplacementPassesOtherMessagesToThePreviousProcedure) {
  MessageWindow window(QStringLiteral("STATIC"), QStringLiteral("CHAIN"));
  window.setProcedure([](unsigned message, quintptr, qintptr) { return static_cast<qintptr>(message * 10); });
  auto previous = std::make_shared<WindowProcedure>();
  *previous = window.setProcedure([previous](unsigned message, quintptr wParam, qintptr lParam) {
    return message == 7 ? qintptr{-1} : callWindowProcedure(*previous, message, wParam, lParam);
  });
  EXPECT_EQ(sendMessage(window.handle(), 7, 0, 0), -1);
  EXPECT_EQ(sendMessage(window.handle(), 8, 0, 0), 80);
  window.setProcedure(*previous);
  EXPECT_EQ(sendMessage(window.handle(), 7, 0, 0), 70);
}

TEST(MessageWindow, PostedMessagesArriveLaterInOrder) {
  MessageWindow window(QStringLiteral("STATIC"), QStringLiteral("POSTED"));
  std::vector<Received> received;
  window.setProcedure([&](unsigned message, quintptr wParam, qintptr lParam) {
    received.push_back({message, wParam, lParam});
    return qintptr{0};
  });
  ASSERT_TRUE(postMessage(window.handle(), 1, 10, 100));
  ASSERT_TRUE(postMessage(window.handle(), 2, 20, 200));
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(processEventsUntil([&] { return received.size() == 2; }));
  EXPECT_EQ(received, (std::vector<Received>{{1, 10, 100}, {2, 20, 200}}));
}

TEST(MessageWindow, MessagesPostedToAWindowDestroyedMeanwhileAreDropped) {
  int calls = 0;
  auto doomed = std::make_unique<MessageWindow>(QStringLiteral("STATIC"), QStringLiteral("DOOMED"));
  doomed->setProcedure([&](unsigned, quintptr, qintptr) { return qintptr{++calls}; });
  ASSERT_TRUE(postMessage(doomed->handle(), 1, 0, 0));
  doomed.reset();
  MessageWindow marker(QStringLiteral("STATIC"), QStringLiteral("MARKER"));
  bool markerSeen = false;
  marker.setProcedure([&](unsigned, quintptr, qintptr) {
    markerSeen = true;
    return qintptr{0};
  });
  ASSERT_TRUE(postMessage(marker.handle(), 1, 0, 0));
  ASSERT_TRUE(processEventsUntil([&] { return markerSeen; }));
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(postMessage(12345678, 1, 0, 0));
}

TEST(MessageWindow, AProcedureMayDestroyItsOwnWindow) {
  auto window = std::make_unique<MessageWindow>(QStringLiteral("STATIC"), QStringLiteral("SELF"));
  int captured = 41;
  window->setProcedure([&window, captured](unsigned, quintptr, qintptr) {
    window.reset();
    return static_cast<qintptr>(captured + 1);
  });
  const int handle = window->handle();
  EXPECT_EQ(sendMessage(handle, 1, 0, 0), 42);
  EXPECT_EQ(window, nullptr);
}

TEST(MessageWindow, RegisteredMessagesAreOnePerNameForTheRun) {
  const unsigned sendComplete = registerWindowMessage(QStringLiteral("WM_SOCKET_SEND_COMPLETE"));
  EXPECT_NE(sendComplete, 0u);
  EXPECT_EQ(registerWindowMessage(QStringLiteral("wm_socket_send_complete")), sendComplete);
  EXPECT_NE(registerWindowMessage(QStringLiteral("WM_OTHER_MESSAGE")), sendComplete);
}

}  // namespace
