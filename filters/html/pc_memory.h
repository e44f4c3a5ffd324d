// Memory utilities of the HTML export filter: the per-export ledger, sized blocks with a
// guard word, growable arrays (stack and sorted-set operations) and the record cache
// exported as MUCacheInit and its companions. Everything sits on the process heap; the
// ledger counts bytes in blocks, live arrays and live caches, so an export can check that
// it gave everything back. A test hook makes the nth allocation from now fail.
#pragma once
#include <cstddef>
#include <cstdint>

#include "filters/common/kvx_abi.h"

namespace pc {

struct MemLedger {
  uint32_t block_bytes;
  uint32_t arrays;
  uint32_t caches;
};
void MemLedgerInit(MemLedger* ledger);

// One allocation of the filter's own containers; false when the test hook refuses it.
bool mem_permit();
// The nth allocation from now fails (once); 0 switches the hook off.
void mem_fail_after(uint32_t n);
// Heap allocation through the hook (null on refusal); free with std::free.
void* mem_alloc(size_t size);
void* mem_realloc(void* p, size_t size);

// Sized block: u32 size and 4 spare bytes, size bytes of user data, u16 guard 0xA1A1, 2
// spare bytes. The owner keeps the block pointer (handle) and the user pointer.
constexpr uint16_t kBlockGuard = 0xA1A1;
KVXSTATUS BlockAlloc(void** handle, void** pointer, uint32_t size, uint32_t* counter);
void BlockFree(void** handle, void** pointer, uint32_t* counter);
// True when the guard behind the user data is whole.
bool BlockGuardOk(const void* handle);

struct GrowArray {
  uint32_t header_size;
  uint16_t kind;
  uint32_t grow_step;
  uint32_t element_size;
  uint32_t capacity;
  uint32_t count;
  uint32_t free_slots;
  uint32_t base_index;
  uint32_t reserved;
  uint8_t* data;
  uint8_t* next_free;
};

GrowArray* ArrayCreate(uint16_t kind, uint32_t baseIndex, uint32_t elementSize, uint32_t capacity, uint32_t growStep,
                       MemLedger* ledger);
void ArrayDestroy(GrowArray** header, MemLedger* ledger);
int ArrayResize(GrowArray* header, uint32_t newCapacity);
int32_t ArrayAppend(GrowArray* header, const void* element);
KVXSTATUS ArrayInsertAt(GrowArray* header, const void* element, int32_t index);
KVXSTATUS ArrayInsertSorted(GrowArray* header, const void* element, uint32_t keyWidth, uint32_t flags);
void* ArrayPop(GrowArray* header);
KVXSTATUS ArrayFindFromTop(const GrowArray* header, const void* key, uint32_t length);
KVXSTATUS ArrayRemoveMatch(GrowArray* header, const void* key, uint32_t length);

// Numbering store of paragraph numbering: lists of levels of sorted {position, value,
// next level} entries.
struct NumberingStore;
KVXSTATUS NumberingCreate(NumberingStore** store, MemLedger* ledger);
KVXSTATUS NumberingSet(NumberingStore* store, uint32_t listId, uint32_t level, uint32_t value, uint32_t position,
                       MemLedger* ledger);
KVXSTATUS NumberingGet(NumberingStore* store, uint32_t listId, uint32_t level, int32_t* value, uint32_t position);
void NumberingDestroy(NumberingStore** store, MemLedger* ledger);

}  // namespace pc

extern "C" {

struct MUCacheSlot {
  void* handle;
  void* buffer;
  uint32_t key;
  uint32_t stamp;
};

struct MUCacheHeader {
  uint32_t flags;      // bit 0: evict the least recently used entry when full
  uint16_t count;
  uint16_t allocated;
  uint16_t grow_step;
  uint16_t max_entries;
  uint32_t clock;
  uint32_t data_size;
  uint32_t user_word;
  uint32_t reserved;
  void* table_handle;
  MUCacheSlot* table;  // null while unlocked
};

KVX_API void MUCacheInit(uint16_t maxEntries, uint16_t growStep, uint32_t dataSize, uint32_t flags, uint32_t userWord,
                         MUCacheHeader* header, pc::MemLedger* ledger);
KVX_API KVXSTATUS MUCacheAdd(const void* data, uint32_t key, MUCacheHeader* header, uint32_t* counter);
KVX_API void* MUCacheRetrieve(uint32_t key, MUCacheHeader* header);
KVX_API void MUCacheDeinit(MUCacheHeader* header, pc::MemLedger* ledger);
KVX_API void MUCacheLock(MUCacheHeader* header);
KVX_API void MUCacheUnlock(MUCacheHeader* header);
// Test hook: the nth allocation of pagecast's containers from now fails; 0 switches off.
KVX_API void PCTestFailAlloc(uint32_t n);

}
