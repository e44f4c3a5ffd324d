#include "platform/heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace qm {
namespace {
// Kept where the compiler sees it, so the skipping block is not optimised away.
void* volatile skipped_head = nullptr;
}  // namespace

bool use_huge_page_heap(size_t bytes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  (void)bytes;
  return false;  // the sanitizers' allocator does not use the brk heap
#else
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  static bool done = false;
  if (done || bytes < 2 * kHuge || bytes > (size_t(1) << 30)) return false;
  done = true;
  // Keep the heap's top this large when it grows and when it shrinks, and keep blocks up
  // to it on the heap rather than in mappings of their own.
  if (mallopt(M_TOP_PAD, int(bytes)) != 1 || mallopt(M_MMAP_THRESHOLD, int(bytes / 2)) != 1) return false;
  // A block larger than the top that is left makes the heap grow by it plus the pad.
  size_t top = mallinfo2().keepcost;
  void* grow = std::malloc(top + 4096);
  if (grow == nullptr) return false;
  std::free(grow);
  auto end = reinterpret_cast<uintptr_t>(sbrk(0));
  top = mallinfo2().keepcost;
  if (end == uintptr_t(-1) || top < bytes || top > end) return false;
  uintptr_t start = end - top;  // where the free top of the heap begins
  uintptr_t from = (start + kHuge - 1) & ~(kHuge - 1);
  uintptr_t to = end & ~(kHuge - 1);
  if (to <= from) return false;
  if (madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) != 0) return false;
  // The head below the aligned part is taken by a block that is never written, so it
  // costs no memory; what is allocated next starts at the advised part.
  constexpr uintptr_t kHeader = 2 * sizeof(size_t);
  if (from - start > 4 * kHeader) {
    skipped_head = std::malloc(from - start - 2 * kHeader);
  }
  return true;
#endif
}

}  // namespace qm
