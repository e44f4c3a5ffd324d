// The shared entry skeleton of the export filters (see kvx_entry.h): routine table,
// instance blocks through libkvx.so's block layer, VwGetInfo's table of answers.
#include "filters/common/kvx_entry.h"

#include <dlfcn.h>

#include <cstring>

namespace kvx {

namespace {

void put16(void* buffer, uint16_t v) { std::memcpy(buffer, &v, 2); }
void put32(void* buffer, uint32_t v) { std::memcpy(buffer, &v, 4); }

// Copies n characters of text and a NUL (text padded with blanks when shorter).
void put_text(void* buffer, const char* text, size_t n) {
  char* out = static_cast<char*>(buffer);
  size_t len = text == nullptr ? 0 : std::strlen(text);
  for (size_t i = 0; i < n; ++i) out[i] = i < len ? text[i] : ' ';
  out[n] = '\0';
}

}  // namespace

int32_t entry_get_info(const FilterInfo& info, void* buffer, uint32_t id) {
  if (buffer == nullptr) return 0;
  switch (id) {
    case 1: case 10: case 11: put16(buffer, 0); return 1;
    case VWINFO_DATASIZE: put16(buffer, info.data_size); return 1;
    case 3: put16(buffer, info.info3); return 1;
    case 4: put16(buffer, info.info4); return 1;
    case 5: put16(buffer, info.info5); return 1;
    case VWINFO_EXPORTCOUNT: put16(buffer, info.export_count); return 1;
    case VWINFO_EXPORTIDS:
      for (uint16_t i = 0; i < info.export_count; ++i) put16(static_cast<char*>(buffer) + 2 * i, info.export_ids[i]);
      return 1;
    case VWINFO_BUILDDATE: put_text(buffer, info.build_date, 11); return 1;
    case VWINFO_BUILDTIME: put_text(buffer, info.build_time, 8); return 1;
    case VWINFO_MAGIC: put32(buffer, VWINFO_MAGICVALUE); return 1;
    case 13: put32(buffer, 1); return 1;
    default: return 0;
  }
}

VwRtns* entry_fill_routines(VwRtns* table, uint16_t version, const EntryRoutines& r) {
  if (table == nullptr) return nullptr;
  for (int i = 0; i <= 4; ++i) table->Slots[i] = nullptr;
  table->Slots[VWRTN_GETINFO] = reinterpret_cast<void*>(r.get_info);
  table->Slots[6] = table->Slots[7] = nullptr;
  table->Slots[VWRTN_LOCALUP] = reinterpret_cast<void*>(r.local);
  table->Slots[VWRTN_LOCALDOWN] = reinterpret_cast<void*>(r.local);
  table->Slots[VWRTN_ALLOCPROC] = reinterpret_cast<void*>(r.alloc);
  table->Slots[VWRTN_FREEPROC] = reinterpret_cast<void*>(r.free);
  table->Slots[VWRTN_SETUSER] = reinterpret_cast<void*>(r.set_user);
  for (int i = 13; i <= 17; ++i) table->Slots[i] = nullptr;
  if (version >= 19) table->Slots[VWRTN_SLOT18] = nullptr;
  if (version >= 22) {
    table->Slots[VWRTN_EXPORTOPEN] = reinterpret_cast<void*>(r.open);
    table->Slots[VWRTN_EXPORTCLOSE] = reinterpret_cast<void*>(r.close);
    table->Slots[VWRTN_EXPORTWRITE] = reinterpret_cast<void*>(r.write);
  }
  return table;
}

void* entry_alloc(size_t data_size) {
  KVXBLOCK h = KVXBlockAlloc(KVXBLOCK_FIXED | KVXBLOCK_ZEROINIT, instance_size(data_size));
  if (h == 0) return nullptr;
  void* p = KVXBlockLock(h);
  if (p == nullptr) {
    KVXBlockFree(h);
    return nullptr;
  }
  put32(static_cast<char*>(p) + data_size + 8, h);
  return p;
}

void entry_free(void* instance, size_t data_size) {
  if (instance == nullptr) return;
  uint32_t h;
  std::memcpy(&h, static_cast<char*>(instance) + data_size + 8, 4);
  if (h == 0) return;
  KVXBlockUnlock(h);
  KVXBlockFree(h);
}

void entry_set_user(uint32_t word1, uint32_t word2, void* instance, size_t data_size) {
  if (instance == nullptr) return;
  put32(static_cast<char*>(instance) + data_size, word1);
  put32(static_cast<char*>(instance) + data_size + 4, word2);
}

uint32_t entry_user_word(const void* instance, size_t data_size, int which) {
  uint32_t v;
  std::memcpy(&v, static_cast<const char*>(instance) + data_size + (which == 2 ? 4 : 0), 4);
  return v;
}

std::string entry_module_path(const void* address_in_module) {
  Dl_info dl{};
  if (::dladdr(address_in_module, &dl) == 0 || dl.dli_fname == nullptr) return "";
  return dl.dli_fname;
}

}  // namespace kvx
