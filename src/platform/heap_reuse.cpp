#include "platform/heap_reuse.h"

#include <malloc.h>

namespace orv::platform {

namespace {

// Free memory at the top of the heap up to this size is kept after a free. By default the
// allocator returns it as soon as 128 KiB lie free, and a page of 10,000 entries then spends
// as long faulting its memory back in as building itself. A page of 50,000 entries frees
// about 200 MiB; the release after the last page gives it all back.
constexpr int kKeptFreeHeap = 256 * 1024 * 1024;
// Setting the threshold above turns off the allocator's own growth of its mapping threshold,
// which would otherwise have put blocks of the file reader's size on the heap after the first
// one was freed: blocks up to this size keep coming from the heap rather than from a mapping
// made and unmade each time.
constexpr int kLargestHeapBlock = 4 * 1024 * 1024;
// No fast bins: a page frees its tens of thousands of small blocks into them, and every
// request of a kilobyte or more after that (a text buffer, a document's name table) first
// sweeps them all back into the heap. Freed straight into the heap, the same blocks cost less
// in all (a few per cent of a page, and of each mebibyte a file sends) and the request road
// is unchanged: the per-thread cache still takes the small blocks it frees and reuses.
constexpr int kLargestFastBlock = 0;

}  // namespace

HeapReuse::HeapReuse() : release_([] { releaseFreedHeap(); }) {
  release_.setInterval(kReleaseDelayMs);
  mallopt(M_TRIM_THRESHOLD, kKeptFreeHeap);
  mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
  mallopt(M_MXFAST, kLargestFastBlock);
}

void releaseFreedHeap() {
  malloc_trim(0);
}

}  // namespace orv::platform
