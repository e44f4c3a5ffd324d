// The filters' global memory: blocks named by 32-bit handles, fixed or movable, locked
// while in use. Compiled into libkvx.so, so the framework and every filter it loads share
// one table; tests read the live-block count and make the nth allocation fail.
// Handles are slot index + 1 in the low 20 bits and a reuse generation in the high 12
// bits, so a freed handle is refused even after its slot is taken again.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filters/common/kvx_abi.h"

namespace {

struct Block {
  void* data = nullptr;
  size_t size = 0;
  uint32_t flags = 0;
  uint32_t locks = 0;
  uint32_t generation = 0;
  bool live = false;
};

constexpr uint32_t kIndexBits = 20;
constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;

struct BlockTable {
  std::vector<Block> blocks;
  std::vector<uint32_t> free_slots;
  uint32_t live = 0;
  uint32_t fail_countdown = 0;  // 0: off

  // True when this allocation is the one the hook asked to fail.
  bool fail_now() {
    if (fail_countdown == 0) return false;
    return --fail_countdown == 0;
  }

  Block* find(KVXBLOCK h) {
    uint32_t index = (h & kIndexMask);
    if (index == 0 || index > blocks.size()) return nullptr;
    Block& b = blocks[index - 1];
    if (!b.live || b.generation != (h >> kIndexBits)) return nullptr;
    return &b;
  }
};

BlockTable& table() {
  static BlockTable t;
  return t;
}

// At least one byte, so every live block has its own address.
void* raw_alloc(size_t size, bool zero) {
  size_t n = size == 0 ? 1 : size;
  return zero ? std::calloc(1, n) : std::malloc(n);
}

}  // namespace

extern "C" {

KVXBLOCK KVXBlockAlloc(uint32_t flags, size_t size) {
  BlockTable& t = table();
  if (t.fail_now()) return 0;
  void* data = raw_alloc(size, (flags & KVXBLOCK_ZEROINIT) != 0);
  if (data == nullptr) return 0;
  uint32_t index;
  if (!t.free_slots.empty()) {
    index = t.free_slots.back();
    t.free_slots.pop_back();
  } else if (t.blocks.size() < kIndexMask) {
    t.blocks.emplace_back();
    index = uint32_t(t.blocks.size() - 1);
  } else {
    std::free(data);
    return 0;
  }
  Block& b = t.blocks[index];
  b.data = data;
  b.size = size;
  b.flags = flags;
  b.locks = 0;
  b.live = true;
  ++t.live;
  return (b.generation << kIndexBits) | (index + 1);
}

KVXBLOCK KVXBlockReAlloc(KVXBLOCK h, size_t size, uint32_t flags) {
  BlockTable& t = table();
  Block* b = t.find(h);
  if (b == nullptr) return 0;
  // A locked movable block keeps its address: it can only shrink in place.
  if (b->locks > 0 && size > b->size) return 0;
  if (t.fail_now()) return 0;
  void* data = std::realloc(b->data, size == 0 ? 1 : size);
  if (data == nullptr) return 0;
  if ((flags & KVXBLOCK_ZEROINIT) && size > b->size) std::memset(static_cast<char*>(data) + b->size, 0, size - b->size);
  b->data = data;
  b->size = size;
  return h;
}

void* KVXBlockLock(KVXBLOCK h) {
  Block* b = table().find(h);
  if (b == nullptr) return nullptr;
  ++b->locks;
  return b->data;
}

int32_t KVXBlockUnlock(KVXBLOCK h) {
  Block* b = table().find(h);
  if (b == nullptr || b->locks == 0) return -1;
  return int32_t(--b->locks);
}

KVXBLOCK KVXBlockFree(KVXBLOCK h) {
  BlockTable& t = table();
  Block* b = t.find(h);
  if (b == nullptr) return h;
  std::free(b->data);
  b->data = nullptr;
  b->live = false;
  b->generation = (b->generation + 1) & ((1u << (32 - kIndexBits)) - 1);
  t.free_slots.push_back((h & kIndexMask) - 1);
  --t.live;
  return 0;
}

size_t KVXBlockSize(KVXBLOCK h) {
  Block* b = table().find(h);
  return b == nullptr ? 0 : b->size;
}

uint32_t KVXBlockLiveCount(void) { return table().live; }

void KVXBlockFailAfter(uint32_t n) { table().fail_countdown = n; }

}  // extern "C"
