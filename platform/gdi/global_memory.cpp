// Global memory blocks: each block describes itself (size, flags, lock count) and lives
// in a registry, so a stale or foreign handle is refused instead of read. A fixed block's
// handle is its data address; a movable block keeps one handle while its data moves on
// reallocation. Also MulDiv. Built on the C library's allocator; used by picview, the
// BMP reader and every caller that hands packed DIBs around.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/gdi/qmgdi.h"

namespace {

struct Block {
  size_t size = 0;
  UINT flags = 0;
  uint32_t locks = 0;
  void* data = nullptr;
};

struct Registry {
  std::mutex mu;
  std::unordered_map<HGLOBAL, Block*> by_handle;
};

Registry& registry() {
  static Registry* r = new Registry;  // outlives every static destructor that frees blocks
  return *r;
}

Block* lookup(HGLOBAL h) {
  auto& r = registry();
  auto it = r.by_handle.find(h);
  return it == r.by_handle.end() ? nullptr : it->second;
}

}  // namespace

extern "C" {

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
  void* data = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!data) return nullptr;
  auto* b = new (std::nothrow) Block;
  if (!b) {
    std::free(data);
    return nullptr;
  }
  b->size = bytes;
  b->flags = flags;
  b->data = data;
  HGLOBAL h = (flags & GMEM_MOVEABLE) ? static_cast<HGLOBAL>(b) : data;
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  r.by_handle[h] = b;
  return h;
}

HGLOBAL GlobalReAlloc(HGLOBAL mem, size_t bytes, UINT flags) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  Block* b = lookup(mem);
  if (!b) return nullptr;
  if (flags & GMEM_MODIFY) {
    b->flags = (b->flags & ~UINT(GMEM_ZEROINIT)) | (flags & GMEM_ZEROINIT);
    return mem;
  }
  bool moveable = b->flags & GMEM_MOVEABLE;
  // A locked fixed block may only move when the caller allows it.
  if (!moveable && !(flags & GMEM_MOVEABLE) && bytes > b->size) return nullptr;
  void* data = std::realloc(b->data, bytes ? bytes : 1);
  if (!data) return nullptr;
  if ((flags & GMEM_ZEROINIT) && bytes > b->size) std::memset(static_cast<char*>(data) + b->size, 0, bytes - b->size);
  b->data = data;
  b->size = bytes;
  if (moveable) return mem;
  r.by_handle.erase(mem);
  r.by_handle[data] = b;
  return data;
}

size_t GlobalSize(HGLOBAL mem) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  Block* b = lookup(mem);
  return b ? b->size : 0;
}

void* GlobalLock(HGLOBAL mem) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  Block* b = lookup(mem);
  if (!b) return nullptr;
  if (b->flags & GMEM_MOVEABLE) ++b->locks;
  return b->data;
}

BOOL GlobalUnlock(HGLOBAL mem) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  Block* b = lookup(mem);
  if (!b || b->locks == 0) return 0;
  --b->locks;
  return b->locks != 0;
}

UINT GlobalFlags(HGLOBAL mem) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  Block* b = lookup(mem);
  return b ? (b->locks & 0xFF) : 0x8000;  // 0x8000: not a block
}

HGLOBAL GlobalHandle(const void* locked) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  for (auto& [h, b] : r.by_handle)
    if (b->data == locked) return h;
  return nullptr;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  Block* b = lookup(mem);
  if (!b) return mem;
  r.by_handle.erase(mem);
  std::free(b->data);
  delete b;
  return nullptr;
}

int32_t QmLiveGlobalBlocks(void) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  return int32_t(r.by_handle.size());
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t p = int64_t(a) * b;
  bool negative = (p < 0) != (c < 0);
  uint64_t up = p < 0 ? uint64_t(-p) : uint64_t(p);
  uint64_t uc = c < 0 ? uint64_t(-int64_t(c)) : uint64_t(c);
  uint64_t q = (up + uc / 2) / uc;  // half away from zero
  if (negative) {
    if (q > uint64_t(INT32_MAX) + 1) return -1;
    return int32_t(-int64_t(q));
  }
  if (q > uint64_t(INT32_MAX)) return -1;
  return int32_t(q);
}

}  // extern "C"
