#include "platform/deadline.h"

#include "platform/monotonic_clock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <limits>

namespace orv::platform {

using detail::DeadlineLink;

// The armed deadlines, in no order, and the one timer of the loop that checks them. The
// timer is set for the earliest due deadline (never sooner than the granularity after the
// last check); a deadline armed later than that changes nothing, so restarting an idle
// limit, the common case, leaves the loop's timers alone.
class DeadlineSchedule {
 public:
  static DeadlineSchedule& instance() {
    // Never destroyed: deadlines held by objects that outlive the statics stop safely.
    static DeadlineSchedule* const schedule = new DeadlineSchedule;
    return *schedule;
  }

  void arm(Deadline& deadline) {
    if (deadline.isActive()) {
      unlink(deadline);
    }
    deadline.due_ = monotonicNanoseconds() + std::int64_t{deadline.interval_} * kNanosecondsPerMs;
    link(armed_, deadline);
    noteDue(deadline.due_);
  }

  void disarm(Deadline& deadline) {
    if (deadline.isActive()) {
      unlink(deadline);
    }
  }

  std::size_t count() const { return count_; }

 private:
  static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
  static constexpr std::int64_t kNanosecondsPerMs = 1'000'000;
  static constexpr std::int64_t kGranularity = std::int64_t{kDeadlineGranularityMs} * kNanosecondsPerMs;

  DeadlineSchedule() { armed_.prev = armed_.next = &armed_; }

  void link(DeadlineLink& list, DeadlineLink& node) {
    node.prev = list.prev;
    node.next = &list;
    list.prev->next = &node;
    list.prev = &node;
    ++count_;
  }

  // Works whichever list the node is in: the armed one or that of a check under way.
  void unlink(DeadlineLink& node) {
    node.prev->next = node.next;
    node.next->prev = node.prev;
    node.prev = nullptr;
    node.next = nullptr;
    --count_;
  }

  void noteDue(std::int64_t due) {
    if (checking_) {
      nextDue_ = std::min(nextDue_, due);
    } else if (due < wakeAt_) {
      wake(due);
    }
  }

  void wake(std::int64_t due) {
    QTimer* timer = loopTimer();
    if (timer == nullptr) {
      return;
    }
    const std::int64_t now = monotonicNanoseconds();
    const std::int64_t at = std::max(due, lastCheck_ + kGranularity);
    const std::int64_t delay = std::max<std::int64_t>(at - now, 0);
    const std::int64_t milliseconds =
        std::min<std::int64_t>((delay + kNanosecondsPerMs - 1) / kNanosecondsPerMs, INT_MAX);
    timer->start(static_cast<int>(milliseconds));
    wakeAt_ = now + milliseconds * kNanosecondsPerMs;
  }

  QTimer* loopTimer() {
    if (timer_.isNull()) {
      QCoreApplication* application = QCoreApplication::instance();
      if (application == nullptr) {
        return nullptr;
      }
      timer_ = new QTimer(application);
      timer_->setSingleShot(true);
      timer_->setTimerType(Qt::PreciseTimer);  // a coarse one may fire early
      QObject::connect(timer_, &QTimer::timeout, timer_, [this] { check(); });
    }
    return timer_;
  }

  // Takes the due deadlines out first, then runs their actions one by one: an action may
  // start, stop or destroy any deadline, those still waiting to run included. The loop's
  // timer is not set again before all have run, so no check runs inside another.
  void check() {
    checking_ = true;
    wakeAt_ = kNever;
    nextDue_ = kNever;
    const std::int64_t now = monotonicNanoseconds();
    lastCheck_ = now;
    DeadlineLink due;
    due.prev = due.next = &due;
    for (DeadlineLink* node = armed_.next; node != &armed_;) {
      DeadlineLink* const next = node->next;
      const std::int64_t when = static_cast<Deadline*>(node)->due_;
      if (when <= now) {
        unlink(*node);
        link(due, *node);
      } else {
        nextDue_ = std::min(nextDue_, when);
      }
      node = next;
    }
    while (due.next != &due) {
      Deadline& deadline = *static_cast<Deadline*>(due.next);
      unlink(deadline);
      if (deadline.repeating_) {
        const std::int64_t interval = std::int64_t{deadline.interval_} * kNanosecondsPerMs;
        deadline.due_ = std::max(deadline.due_ + interval, now + std::min(interval, kGranularity));
        link(armed_, deadline);
        nextDue_ = std::min(nextDue_, deadline.due_);
      }
      // A copy: the action may destroy its deadline.
      const Deadline::Action action = deadline.action_;
      if (action) {
        action();
      }
    }
    checking_ = false;
    if (nextDue_ != kNever && count_ > 0) {
      wake(nextDue_);
    }
  }

  DeadlineLink armed_;
  std::size_t count_ = 0;
  QPointer<QTimer> timer_;
  std::int64_t wakeAt_ = kNever;
  std::int64_t nextDue_ = kNever;
  std::int64_t lastCheck_ = std::numeric_limits<std::int64_t>::min() / 2;
  bool checking_ = false;
};

Deadline::~Deadline() {
  DeadlineSchedule::instance().disarm(*this);
}

void Deadline::start() {
  DeadlineSchedule::instance().arm(*this);
}

void Deadline::stop() {
  DeadlineSchedule::instance().disarm(*this);
}

std::size_t Deadline::armedCount() {
  return DeadlineSchedule::instance().count();
}

}  // namespace orv::platform
