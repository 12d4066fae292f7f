#include "platform/heap_reuse.h"

#include "support/event_loop.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <vector>

namespace {

using orv::platform::HeapReuse;

constexpr long kBurstBytes = 48L * 1024 * 1024;
constexpr long kBlockBytes = 1000;

long residentBytes() {
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// What a page build does to the heap: many small blocks, written, then all freed.
void allocateAndFreeABurst() {
  std::vector<std::unique_ptr<char[]>> blocks;
  blocks.reserve(kBurstBytes / kBlockBytes);
  for (long made = 0; made < kBurstBytes; made += kBlockBytes) {
    blocks.push_back(std::make_unique<char[]>(kBlockBytes));
    blocks.back()[0] = 1;
  }
}

TEST(HeapReuse, WhatABurstFreedStaysForTheNextUntilTheDelayAfterTheLastEndHasPassed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer brings an allocator of its own";
#endif
  HeapReuse reuse;
  orv::platform::releaseFreedHeap();
  const long before = residentBytes();
  allocateAndFreeABurst();
  reuse.workEnded();
  EXPECT_GT(residentBytes() - before, kBurstBytes / 2) << "the freed memory went back at once";

  // The next burst finds its memory already there.
  allocateAndFreeABurst();
  reuse.workEnded();
  EXPECT_LT(residentBytes() - before, kBurstBytes * 2);
  EXPECT_TRUE(reuse.releasePending());

  ASSERT_TRUE(processEventsUntil([&] { return !reuse.releasePending(); }));
  EXPECT_LT(residentBytes() - before, kBurstBytes / 4) << "the freed memory was not given back";
}

TEST(HeapReuse, SmallBlocksFreedGoStraightBackIntoTheHeap) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer brings an allocator of its own";
#endif
  HeapReuse reuse;
  allocateAndFreeABurst();
  std::vector<std::unique_ptr<char[]>> small;
  for (int i = 0; i < 10000; ++i) {
    small.push_back(std::make_unique<char[]>(static_cast<std::size_t>(16 + i % 48)));
  }
  small.clear();
  EXPECT_EQ(mallinfo2().fsmblks, 0U) << "freed small blocks wait in fast bins";
}

}  // namespace
