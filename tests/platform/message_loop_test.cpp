#include "platform/message_loop.h"

#include "support/event_loop.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A long step that yields from inside a posted message must let through what was waiting
// before it began: other posted messages (socket notifications are such) and ready sockets.
TEST(MessageLoop, AYieldInsideAHandlerDeliversWhatWaitedBeforeIt) {
  bool earlierMessageRan = false;
  bool socketWasReady = false;
  bool yielded = false;
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  QSocketNotifier notifier(pipeEnds[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    char byte;
    ASSERT_EQ(::read(pipeEnds[0], &byte, 1), 1);
    socketWasReady = true;
  });
  QObject context;
  QMetaObject::invokeMethod(
      &context,
      [&] {
        ASSERT_EQ(::write(pipeEnds[1], "x", 1), 1);
        orv::platform::yieldToMessageLoop();
        yielded = earlierMessageRan && socketWasReady;
      },
      Qt::QueuedConnection);
  QMetaObject::invokeMethod(
      &context, [&] { earlierMessageRan = true; }, Qt::QueuedConnection);
  EXPECT_TRUE(processEventsUntil([&] { return earlierMessageRan && socketWasReady; }));
  EXPECT_TRUE(yielded);
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

}  // namespace
