#include "platform/deadline.h"

#include "platform/monotonic_clock.h"
#include "support/event_loop.h"

#include <QAbstractEventDispatcher>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

using orv::platform::Deadline;
using orv::platform::monotonicNanoseconds;

constexpr std::int64_t kNanosecondsPerMs = 1'000'000;

// The objects of the loop's timers: a timer made for one call and left registered would
// show here.
qsizetype loopTimerObjects() {
  return QAbstractEventDispatcher::instance()->children().size();
}

TEST(Deadline, FiresOnceNeverBeforeItsIntervalAndIsThenInactive) {
  const std::size_t armedBefore = Deadline::armedCount();
  int fired = 0;
  std::int64_t firedAt = 0;
  Deadline deadline([&] {
    ++fired;
    firedAt = monotonicNanoseconds();
  });
  const std::int64_t started = monotonicNanoseconds();
  deadline.start(30);
  EXPECT_TRUE(deadline.isActive());
  EXPECT_EQ(deadline.interval(), 30);
  EXPECT_EQ(Deadline::armedCount(), armedBefore + 1);
  ASSERT_TRUE(processEventsUntil([&] { return fired > 0; }));
  EXPECT_GE(firedAt - started, 30 * kNanosecondsPerMs);
  EXPECT_FALSE(deadline.isActive());
  EXPECT_EQ(Deadline::armedCount(), armedBefore);
  processPendingEvents();
  EXPECT_EQ(fired, 1);
}

TEST(Deadline, ARestartCountsTheIntervalFromTheRestart) {
  int fired = 0;
  std::int64_t firedAt = 0;
  Deadline deadline([&] {
    ++fired;
    firedAt = monotonicNanoseconds();
  });
  deadline.start(40);
  std::int64_t restartedAt = 0;
  Deadline witness([&] {
    restartedAt = monotonicNanoseconds();
    deadline.start();
  });
  witness.start(20);
  ASSERT_TRUE(processEventsUntil([&] { return fired > 0; }));
  ASSERT_NE(restartedAt, 0);
  EXPECT_GE(firedAt - restartedAt, 40 * kNanosecondsPerMs);
  EXPECT_EQ(fired, 1);
}

TEST(Deadline, OneStoppedOrDestroyedBeforeItIsDueNeverFires) {
  bool stoppedFired = false;
  bool destroyedFired = false;
  bool witnessFired = false;
  Deadline stopped([&] { stoppedFired = true; });
  auto destroyed = std::make_unique<Deadline>([&] { destroyedFired = true; });
  Deadline witness([&] { witnessFired = true; });
  stopped.start(5);
  destroyed->start(5);
  witness.start(20);
  stopped.stop();
  destroyed.reset();
  EXPECT_FALSE(stopped.isActive());
  ASSERT_TRUE(processEventsUntil([&] { return witnessFired; }));
  EXPECT_FALSE(stoppedFired);
  EXPECT_FALSE(destroyedFired);
}

// Deadlines due in the same check run one after the other; an action may destroy or stop
// those still waiting their turn, and its own deadline.
TEST(Deadline, AnActionMayDestroyItsOwnDeadlineAndOthersDueWithIt) {
  const std::size_t armedBefore = Deadline::armedCount();
  std::vector<int> ran;
  auto first = std::make_unique<Deadline>();
  auto second = std::make_unique<Deadline>([&] { ran.push_back(2); });
  Deadline third([&] { ran.push_back(3); });
  Deadline fourth([&] { ran.push_back(4); });
  first->setAction([&] {
    ran.push_back(1);
    second.reset();
    third.stop();
    first.reset();
  });
  for (Deadline* deadline : {first.get(), second.get(), &third, &fourth}) {
    deadline->start(0);
  }
  ASSERT_TRUE(processEventsUntil([&] { return ran.size() >= 2; }));
  processPendingEvents();
  EXPECT_EQ(ran, (std::vector<int>{1, 4}));
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(Deadline::armedCount(), armedBefore);
}

TEST(Deadline, ARepeatingOneFiresAgainUntilStopped) {
  int fired = 0;
  Deadline deadline;
  deadline.setRepeating(true);
  deadline.setAction([&] {
    if (++fired == 3) {
      deadline.stop();
    }
  });
  deadline.start(5);
  ASSERT_TRUE(processEventsUntil([&] { return fired >= 3; }));
  EXPECT_FALSE(deadline.isActive());
  processPendingEvents();
  EXPECT_EQ(fired, 3);
}

// Thousands armed at once cost no timer of the loop each, and leave nothing behind when
// their owners go.
TEST(Deadline, ThousandsArmedLeaveNothingBehindWhenTheirOwnersGo) {
  const std::size_t armedBefore = Deadline::armedCount();
  const qsizetype timersBefore = loopTimerObjects();
  std::vector<std::unique_ptr<Deadline>> deadlines;
  int fired = 0;
  for (int i = 0; i < 5000; ++i) {
    deadlines.push_back(std::make_unique<Deadline>([&fired] { ++fired; }));
    deadlines.back()->start(2000 + i % 7);
  }
  EXPECT_EQ(Deadline::armedCount(), armedBefore + 5000);
  EXPECT_LE(loopTimerObjects(), timersBefore + 1);
  deadlines.clear();
  EXPECT_EQ(Deadline::armedCount(), armedBefore);
  processPendingEvents();
  EXPECT_EQ(fired, 0);
}

}  // namespace
