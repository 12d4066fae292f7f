#pragma once

#include "platform/deadline.h"

namespace orv::platform {

// The memory a large piece of work frees (a folder page builds and frees tens of megabytes
// in small blocks) stays with the program for the next one, so a page after a page does not
// fault the same memory in again; once no such work has come for a while, it goes back to
// the system. One per program: it sets the allocator's thresholds when made.
class HeapReuse {
 public:
  // How long after the last large piece of work the freed memory is given back.
  static constexpr int kReleaseDelayMs = 2000;

  HeapReuse();
  HeapReuse(const HeapReuse&) = delete;
  HeapReuse& operator=(const HeapReuse&) = delete;

  // Called when a large piece of work has ended: (re)arms the release.
  void workEnded() { release_.start(); }
  bool releasePending() const { return release_.isActive(); }

 private:
  Deadline release_;
};

// Gives the heap's free memory back to the system now.
void releaseFreedHeap();

}  // namespace orv::platform
