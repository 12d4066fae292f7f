#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

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
