#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace orv::platform {

namespace detail {
struct DeadlineLink {
  DeadlineLink* prev = nullptr;
  DeadlineLink* next = nullptr;
};
}  // namespace detail

// A time limit kept by the loop: runs its action once its interval has passed since it was
// (re)started, unless it is stopped or destroyed first, which it is with its owner. Every
// armed deadline of the program shares one timer of the loop, so starting, restarting and
// stopping one costs a clock read and a few pointer writes, however many are armed: an idle
// limit restarts on every request, and thousands of closing connections may wait at once.
// An action never runs early, and at most kDeadlineGranularityMs late while others fire.
class Deadline : private detail::DeadlineLink {
 public:
  using Action = std::function<void()>;

  Deadline() = default;
  explicit Deadline(Action action) : action_(std::move(action)) {}
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

  void setAction(Action action) { action_ = std::move(action); }
  // Milliseconds; takes effect at the next start.
  void setInterval(int milliseconds) { interval_ = milliseconds < 0 ? 0 : milliseconds; }
  int interval() const { return interval_; }
  // A repeating deadline starts again by itself, one interval after it was due, before its
  // action runs (which may stop it).
  void setRepeating(bool repeating) { repeating_ = repeating; }

  // (Re)arms the deadline for one interval from now.
  void start();
  void start(int milliseconds) {
    setInterval(milliseconds);
    start();
  }
  void stop();
  bool isActive() const { return prev != nullptr; }

  // How many deadlines of the program are armed now.
  static std::size_t armedCount();

 private:
  friend class DeadlineSchedule;

  std::int64_t due_ = 0;  // monotonic nanoseconds
  int interval_ = 0;
  bool repeating_ = false;
  Action action_;
};

// The least time between two checks of the armed deadlines: many deadlines due close
// together fire in one check.
inline constexpr int kDeadlineGranularityMs = 10;

}  // namespace orv::platform
