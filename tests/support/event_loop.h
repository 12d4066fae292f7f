#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>

#include <algorithm>
#include <functional>

// Runs the event loop until the condition holds or the deadline passes; returns whether
// it holds. Waits on events, not on time: each round blocks until something arrives.
inline bool processEventsUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents,
                                    static_cast<int>(std::min<qint64>(deadline.remainingTime(), 100)));
  }
  return true;
}

// Lets everything already due run, without waiting for anything new: each round posts a
// marker and runs the loop until it arrives, so what the previous round queued runs too.
inline void processPendingEvents(int rounds = 3) {
  for (int round = 0; round < rounds; ++round) {
    bool arrived = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&arrived] { arrived = true; }, Qt::QueuedConnection);
    processEventsUntil([&] { return arrived; });
  }
}
