#include "platform/message_loop.h"

#include "support/event_loop.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

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

// Within the time slice a yield delivers the posted messages only; a ready socket waits
// for the first yield after the slice.
TEST(MessageLoop, AYieldWithinTheTimeSliceDeliversThePostedMessagesOnly) {
  using namespace std::chrono_literals;
  const std::chrono::nanoseconds slice = orv::platform::yieldTimeSlice();
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  bool socketWasReady = false;
  QSocketNotifier notifier(pipeEnds[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    char byte;
    ASSERT_EQ(::read(pipeEnds[0], &byte, 1), 1);
    socketWasReady = true;
  });
  struct Seen {
    bool posted = false;
    bool socket = false;
  };
  Seen withinTheSlice;
  Seen afterTheSlice;
  bool done = false;
  QObject context;
  QMetaObject::invokeMethod(
      &context,
      [&] {
        orv::platform::setYieldTimeSlice(0ns);
        orv::platform::yieldToMessageLoop();  // full: the slice starts here
        orv::platform::setYieldTimeSlice(1h);
        bool posted = false;
        QMetaObject::invokeMethod(
            &context, [&posted] { posted = true; }, Qt::QueuedConnection);
        ASSERT_EQ(::write(pipeEnds[1], "x", 1), 1);
        orv::platform::yieldToMessageLoop();
        withinTheSlice = {posted, socketWasReady};
        posted = false;
        QMetaObject::invokeMethod(
            &context, [&posted] { posted = true; }, Qt::QueuedConnection);
        orv::platform::setYieldTimeSlice(0ns);
        orv::platform::yieldToMessageLoop();
        afterTheSlice = {posted, socketWasReady};
        done = true;
      },
      Qt::QueuedConnection);
  EXPECT_TRUE(processEventsUntil([&] { return done; }));
  orv::platform::setYieldTimeSlice(slice);
  EXPECT_TRUE(withinTheSlice.posted);
  EXPECT_FALSE(withinTheSlice.socket);
  EXPECT_TRUE(afterTheSlice.posted);
  EXPECT_TRUE(afterTheSlice.socket);
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

}  // namespace
