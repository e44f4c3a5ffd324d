// Memory utilities (see pc_memory.h): sized blocks, growable arrays, the numbering store
// and the exported record cache, all on the heap and counted in the export's ledger.
#include "pc_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace pc {

namespace {

uint32_t g_fail_after = 0;

uint32_t stored_size(const void* handle) {
  uint32_t s;
  std::memcpy(&s, handle, 4);
  return s;
}

// The user data starts 8 bytes in (the size and 4 spare bytes), so records of pointers
// stay aligned on the heap.
constexpr size_t kHead = 8, kExtra = kHead + 4;

void write_guard(uint8_t* block, uint32_t size) {
  std::memcpy(block, &size, 4);
  uint16_t g = kBlockGuard;
  std::memcpy(block + kHead + size, &g, 2);
  block[kHead + 2 + size] = block[kHead + 3 + size] = 0;
}

}  // namespace

void MemLedgerInit(MemLedger* l) {
  if (l) *l = MemLedger{0, 0, 0};
}

bool mem_permit() {
  if (g_fail_after == 0) return true;
  if (--g_fail_after == 0) return false;
  return true;
}

void mem_fail_after(uint32_t n) { g_fail_after = n; }

void* mem_alloc(size_t size) { return mem_permit() ? std::malloc(size == 0 ? 1 : size) : nullptr; }
void* mem_realloc(void* p, size_t size) { return mem_permit() ? std::realloc(p, size == 0 ? 1 : size) : nullptr; }

KVXSTATUS BlockAlloc(void** handle, void** pointer, uint32_t size, uint32_t* counter) {
  if (handle == nullptr || pointer == nullptr) return KVXERR_NOTFOUND;
  if (size > 0x7FFFFFF0u) return KVXERR_NOMEMORY;
  if (*handle == nullptr) {
    auto* b = static_cast<uint8_t*>(mem_alloc(size_t(size) + kExtra));
    if (b == nullptr) {
      *handle = nullptr;
      return KVXERR_NOMEMORY;
    }
    std::memset(b, 0, size_t(size) + kExtra);
    write_guard(b, size);
    *handle = b;
    *pointer = b + kHead;
    if (counter) *counter += size;
    return KVX_OK;
  }
  uint32_t old = stored_size(*handle);
  if (size <= old) return KVX_OK;
  auto* b = static_cast<uint8_t*>(mem_realloc(*handle, size_t(size) + kExtra));
  if (b == nullptr) return KVXERR_NOMEMORY;
  std::memset(b + kHead + old, 0, size_t(size - old) + 4);
  write_guard(b, size);
  *handle = b;
  *pointer = b + kHead;
  if (counter) *counter += size - old;
  return KVX_OK;
}

void BlockFree(void** handle, void** pointer, uint32_t* counter) {
  if (handle == nullptr || *handle == nullptr) return;
  auto* b = static_cast<uint8_t*>(*handle);
  uint32_t size = stored_size(b);
  if (counter) *counter -= size;
  std::memset(b, 0, size + kExtra < 16 ? size + kExtra : 16);
  std::free(b);
  *handle = nullptr;
  if (pointer) *pointer = nullptr;
}

bool BlockGuardOk(const void* handle) {
  auto* b = static_cast<const uint8_t*>(handle);
  uint16_t g;
  std::memcpy(&g, b + kHead + stored_size(b), 2);
  return g == kBlockGuard;
}

// ---- Growable arrays --------------------------------------------------------------------

GrowArray* ArrayCreate(uint16_t kind, uint32_t base, uint32_t element_size, uint32_t capacity, uint32_t step,
                       MemLedger* ledger) {
  if (ledger) ++ledger->arrays;
  auto* h = static_cast<GrowArray*>(mem_alloc(sizeof(GrowArray)));
  if (h == nullptr) return nullptr;
  std::memset(h, 0, sizeof *h);
  h->header_size = sizeof(GrowArray);
  h->kind = kind;
  h->grow_step = step;
  h->element_size = element_size;
  h->base_index = base;
  if (capacity > 0) {
    h->data = static_cast<uint8_t*>(mem_alloc(size_t(capacity) * element_size));
    if (h->data == nullptr) {
      std::free(h);
      return nullptr;
    }
    std::memset(h->data, 0, size_t(capacity) * element_size);
    h->capacity = h->free_slots = capacity;
  }
  h->next_free = h->data;
  return h;
}

void ArrayDestroy(GrowArray** header, MemLedger* ledger) {
  if (header == nullptr || *header == nullptr) return;
  if (ledger) --ledger->arrays;
  std::free((*header)->data);
  std::free(*header);
  *header = nullptr;
}

int ArrayResize(GrowArray* h, uint32_t cap) {
  if (h == nullptr) return 0;
  if (cap == 0) {
    std::free(h->data);
    h->data = nullptr;
  } else {
    auto* d = static_cast<uint8_t*>(mem_realloc(h->data, size_t(cap) * h->element_size));
    if (d == nullptr) return 0;
    if (cap > h->capacity) std::memset(d + size_t(h->capacity) * h->element_size, 0, size_t(cap - h->capacity) * h->element_size);
    h->data = d;
  }
  int64_t free_slots = int64_t(h->free_slots) + int64_t(cap) - int64_t(h->capacity);
  h->free_slots = free_slots < 0 ? 0 : uint32_t(free_slots);
  h->capacity = cap;
  if (h->count > cap) h->count = cap;
  h->next_free = h->data == nullptr ? nullptr : h->data + size_t(h->count) * h->element_size;
  return 1;
}

int32_t ArrayAppend(GrowArray* h, const void* element) {
  if (h == nullptr) return -1;
  if (h->free_slots == 0) {
    uint32_t step = h->grow_step == 0 ? 1 : h->grow_step;
    if (!ArrayResize(h, h->capacity + step)) return -1;
  }
  if (element) std::memcpy(h->next_free, element, h->element_size);
  ++h->count;
  --h->free_slots;
  h->next_free += h->element_size;
  return int32_t(h->base_index + h->capacity - h->free_slots - 1);
}

KVXSTATUS ArrayInsertAt(GrowArray* h, const void* element, int32_t index) {
  if (h == nullptr) return KVXERR_BADFORMAT;
  if (index < 0 || uint32_t(index) >= h->count) {
    if (index != -1 && uint32_t(index) != h->count) return KVXERR_NOTFOUND;
    return ArrayAppend(h, element) < 0 ? KVXERR_NOMEMORY : KVX_OK;
  }
  if (ArrayAppend(h, nullptr) < 0) return KVXERR_NOMEMORY;
  size_t es = h->element_size;
  std::memmove(h->data + (size_t(index) + 1) * es, h->data + size_t(index) * es, (h->count - 1 - uint32_t(index)) * es);
  std::memcpy(h->data + size_t(index) * es, element, es);
  return KVX_OK;
}

namespace {
uint32_t key_of(const uint8_t* p, uint32_t width) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < width; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}
}  // namespace

KVXSTATUS ArrayInsertSorted(GrowArray* h, const void* element, uint32_t width, uint32_t flags) {
  if (h == nullptr) return KVXERR_BADFORMAT;
  if (width != 2 && width != 4) return KVXERR_NOTFOUND;
  uint32_t key = key_of(static_cast<const uint8_t*>(element), width);
  uint32_t at = h->count;  // behind the last element whose key is not greater
  while (at > 0) {
    uint32_t k = key_of(h->data + size_t(at - 1) * h->element_size, width);
    if (k <= key) {
      if (k == key && !(flags & 1)) return KVX_OK;
      break;
    }
    --at;
  }
  return ArrayInsertAt(h, element, int32_t(at));
}

void* ArrayPop(GrowArray* h) {
  if (h == nullptr || h->count == 0) return nullptr;
  --h->count;
  ++h->free_slots;
  h->next_free -= h->element_size;
  return h->next_free;
}

KVXSTATUS ArrayFindFromTop(const GrowArray* h, const void* key, uint32_t length) {
  if (h == nullptr || key == nullptr) return KVXERR_NOTFOUND;
  for (uint32_t i = h->count; i-- > 0;)
    if (std::memcmp(h->data + size_t(i) * h->element_size, key, length) == 0) return KVX_OK;
  return KVXERR_NOTFOUND;
}

KVXSTATUS ArrayRemoveMatch(GrowArray* h, const void* key, uint32_t length) {
  if (h == nullptr || key == nullptr) return KVXERR_NOTFOUND;
  size_t es = h->element_size;
  for (uint32_t i = h->count; i-- > 0;) {
    if (std::memcmp(h->data + i * es, key, length) == 0) {
      std::memmove(h->data + i * es, h->data + (i + 1) * es, (h->count - 1 - i) * es);
      --h->count;
      ++h->free_slots;
      h->next_free -= es;
      return KVX_OK;
    }
  }
  return KVXERR_NOTFOUND;
}

// ---- Numbering store ---------------------------------------------------------------------

struct NumEntry {
  uint32_t position;
  int32_t value;
  int32_t next_level;  // level + 1 when the entry opens the next level, -1 for a leaf
};
// One level's entries, by position. They arrive in document order, so they normally stay
// sorted and are searched by halves; an entry added out of order makes the level be
// scanned in full from then on.
struct NumLevel {
  std::vector<NumEntry> entries;
  bool sorted = true;

  bool empty() const { return entries.empty(); }
  const NumEntry& back() const { return entries.back(); }
  const NumEntry& operator[](size_t i) const { return entries[i]; }
  void append(const NumEntry& e) {
    if (!entries.empty() && entries.back().position >= e.position) sorted = false;
    entries.push_back(e);
  }
  void insert(size_t at, const NumEntry& e) { entries.insert(entries.begin() + long(at), e); }

  // Index of the first entry whose position is greater than position; exact tells whether
  // an entry before it has that position.
  size_t scan_point(uint32_t position, bool* exact) const {
    if (sorted) {
      auto it = std::upper_bound(entries.begin(), entries.end(), position,
                                 [](uint32_t p, const NumEntry& e) { return p < e.position; });
      size_t i = size_t(it - entries.begin());
      *exact = i > 0 && entries[i - 1].position == position;
      return i;
    }
    size_t i = 0;
    *exact = false;
    while (i < entries.size() && entries[i].position <= position) {
      if (entries[i].position == position) *exact = true;
      ++i;
    }
    return i;
  }
};
struct NumList {
  uint32_t id;
  std::vector<NumLevel> levels;
};
struct NumberingStore {
  std::vector<NumList> lists;
};

namespace {
constexpr KVXSTATUS kNoValue = 1577;
}  // namespace

KVXSTATUS NumberingCreate(NumberingStore** store, MemLedger* ledger) {
  if (store == nullptr) return KVXERR_NOTFOUND;
  if (!mem_permit()) return KVXERR_NOMEMORY;
  *store = new NumberingStore;
  if (ledger) ++ledger->arrays;
  return KVX_OK;
}

KVXSTATUS NumberingSet(NumberingStore* s, uint32_t list_id, uint32_t level, uint32_t value, uint32_t position,
                       MemLedger* ledger) {
  if (s == nullptr) return KVXERR_BADFORMAT;
  NumList* list = nullptr;
  for (NumList& l : s->lists)
    if (l.id == list_id) list = &l;
  if (list == nullptr) {
    s->lists.push_back({list_id, {}});
    list = &s->lists.back();
    if (ledger) ++ledger->arrays;
  }
  auto& lv = list->levels;
  bool leaf_seen = false;
  if (lv.size() <= level) {
    for (uint32_t L = 0; L < level; ++L) {
      if (L >= lv.size()) {
        lv.emplace_back();
        if (ledger) ++ledger->arrays;
        lv[L].append({position, -1, int32_t(L + 1)});
        leaf_seen = true;
        continue;
      }
      bool exact = false;
      size_t at = lv[L].scan_point(position, &exact);
      if (exact) return KVX_OK;
      int32_t parent = !leaf_seen && at > 0 ? lv[L][at - 1].value : -1;
      if (at == 0 || lv[L][at - 1].next_level < 0) leaf_seen = true;
      lv[L].insert(at, NumEntry{position, parent, int32_t(L + 1)});
    }
  } else {
    for (uint32_t L = 0; L < level; ++L) {
      if (lv[L].empty()) {
        leaf_seen = true;
        continue;
      }
      const NumEntry e = lv[L].back();
      int32_t parent = leaf_seen ? -1 : e.value;
      if (e.next_level < 0) leaf_seen = true;
      if ((e.position < position && e.next_level != int32_t(L + 1)) || leaf_seen)
        lv[L].append({position, parent, int32_t(L + 1)});
    }
  }
  if (lv.size() <= level) {
    lv.emplace_back();
    if (ledger) ++ledger->arrays;
  }
  bool exact = false;
  size_t at = lv[level].scan_point(position, &exact);
  if (exact) return KVX_OK;
  lv[level].insert(at, NumEntry{position, int32_t(value), -1});
  return KVX_OK;
}

KVXSTATUS NumberingGet(NumberingStore* s, uint32_t list_id, uint32_t level, int32_t* value, uint32_t position) {
  if (value) *value = -1;
  if (s == nullptr || value == nullptr) return KVXERR_BADFORMAT;
  const NumList* list = nullptr;
  for (const NumList& l : s->lists)
    if (l.id == list_id) list = &l;
  if (list == nullptr) return KVXERR_BADFORMAT;
  if (list->levels.size() <= level) return kNoValue;
  for (uint32_t L = 0; L <= level; ++L) {
    bool exact = false;
    size_t at = list->levels[L].scan_point(position, &exact);
    if (at == 0) return kNoValue;
    const NumEntry& g = list->levels[L][at - 1];
    if (L < level && g.next_level < 0) return kNoValue;
    if (L == level) *value = g.value;
  }
  return KVX_OK;
}

void NumberingDestroy(NumberingStore** store, MemLedger* ledger) {
  if (store == nullptr || *store == nullptr) return;
  if (ledger) {
    for (const NumList& l : (*store)->lists) ledger->arrays -= uint32_t(1 + l.levels.size());
    --ledger->arrays;
  }
  delete *store;
  *store = nullptr;
}

}  // namespace pc

// ---- The record cache ------------------------------------------------------------------------

using pc::BlockAlloc;
using pc::BlockFree;

extern "C" {

void MUCacheInit(uint16_t max_entries, uint16_t grow_step, uint32_t data_size, uint32_t flags, uint32_t user_word,
                 MUCacheHeader* h, pc::MemLedger* ledger) {
  if (h == nullptr) return;
  std::memset(h, 0, sizeof *h);
  h->flags = flags;
  h->grow_step = grow_step == 0 ? 2 : grow_step;
  h->max_entries = max_entries < 2 ? 2 : max_entries;
  h->data_size = data_size;
  h->user_word = user_word;
  if (ledger) ++ledger->caches;
}

void MUCacheLock(MUCacheHeader* h) {
  if (h && h->table == nullptr && h->table_handle != nullptr)
    h->table = reinterpret_cast<MUCacheSlot*>(static_cast<uint8_t*>(h->table_handle) + 8);
}

void MUCacheUnlock(MUCacheHeader* h) {
  if (h && h->table != nullptr && h->table_handle != nullptr) h->table = nullptr;
}

KVXSTATUS MUCacheAdd(const void* data, uint32_t key, MUCacheHeader* h, uint32_t* counter) {
  if (h == nullptr || data == nullptr) return KVXERR_NOTFOUND;
  MUCacheLock(h);
  for (uint16_t i = 0; i < h->count; ++i) {
    if (h->table[i].key == key) {
      std::memcpy(h->table[i].buffer, data, h->data_size);
      h->table[i].stamp = ++h->clock;
      return KVX_OK;
    }
  }
  uint16_t slot;
  if (h->count < h->max_entries) {
    if (h->count >= h->allocated) {
      uint32_t want = uint32_t(h->allocated) + h->grow_step;
      if (want > h->max_entries) want = h->max_entries;
      void* table = h->table;
      if (BlockAlloc(&h->table_handle, &table, uint32_t(want * sizeof(MUCacheSlot)), counter)) return KVXERR_NOMEMORY;
      h->table = static_cast<MUCacheSlot*>(table);
      // Only slots that got their buffer count as allocated.
      while (h->allocated < want) {
        MUCacheSlot& s = h->table[h->allocated];
        if (BlockAlloc(&s.handle, &s.buffer, h->data_size + 1, counter)) return KVXERR_NOMEMORY;
        ++h->allocated;
      }
    }
    slot = h->count++;
  } else {
    if (!(h->flags & 1)) return KVXERR_NOTFOUND;
    slot = 0;
    for (uint16_t i = 1; i < h->count; ++i)
      if (h->table[i].stamp < h->table[slot].stamp) slot = i;
  }
  MUCacheSlot& s = h->table[slot];
  std::memcpy(s.buffer, data, h->data_size);
  s.key = key;
  s.stamp = ++h->clock;
  return KVX_OK;
}

void* MUCacheRetrieve(uint32_t key, MUCacheHeader* h) {
  if (h == nullptr) return nullptr;
  MUCacheLock(h);
  for (uint16_t i = 0; i < h->count; ++i) {
    if (h->table[i].key == key) {
      h->table[i].stamp = ++h->clock;
      return h->table[i].buffer;
    }
  }
  return nullptr;
}

void MUCacheDeinit(MUCacheHeader* h, pc::MemLedger* ledger) {
  if (h == nullptr) return;
  if (ledger) --ledger->caches;
  if (h->table_handle == nullptr) return;
  MUCacheLock(h);
  uint32_t* counter = ledger ? &ledger->block_bytes : nullptr;
  // Slots past "allocated" may hold a buffer from a failed growth.
  uint32_t slots = (pc::BlockGuardOk(h->table_handle) ? *static_cast<uint32_t*>(h->table_handle) : 0) / sizeof(MUCacheSlot);
  for (uint32_t i = 0; i < slots; ++i) BlockFree(&h->table[i].handle, &h->table[i].buffer, counter);
  void* table = h->table;
  BlockFree(&h->table_handle, &table, counter);
  h->count = h->allocated = 0;
  h->clock = 0;
  h->table = nullptr;
}

void PCTestFailAlloc(uint32_t n) { pc::mem_fail_after(n); }

}  // extern "C"
