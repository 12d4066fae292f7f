#pragma once

#include <cstdint>
#include <ctime>

namespace orv::platform {

// Nanoseconds of the monotonic clock. The C library answers from the kernel's page mapped
// into the process, without a system call, so the hot paths may ask as often as they like.
inline std::int64_t monotonicNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace orv::platform
