// Heap set-up for short-lived, one-document processes (kvxrun, docpress).
//
// Such a process touches a few hundred kilobytes to a few megabytes of heap once. Where a
// first touch of a 4 KB page is a costly fault (virtual machines), faulting the heap in
// page by page costs more than the work itself; 2 MB transparent huge pages fault it in a
// few steps instead. glibc grows its main heap with brk, so the heap is grown once by
// `bytes`, the kernel is advised to back its 2 MB-aligned part with huge pages, and the
// unaligned head below it is skipped with a block that is never touched, so the
// allocations that follow come from the advised part. Nothing changes where huge pages
// are off, under another allocator (the sanitizers' builds) or when the heap does not
// look as expected. Call it first thing in main, once.
#pragma once
#include <cstddef>

namespace qm {

// Answers whether the advice was given.
bool use_huge_page_heap(size_t bytes = size_t(8) << 20);

}  // namespace qm
