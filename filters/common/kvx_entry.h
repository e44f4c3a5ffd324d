// The entry skeleton that every export filter of the conversion framework shares
// (pagecast, gfxcast, the test filters): the routine table by version, the instance block
// with its two user words and its own block handle, VwGetInfo's answers and the library
// entry's module path. A filter defines its constants in a FilterInfo and its three
// export routines, then KVX_DEFINE_FILTER_ENTRY gives it the exported VwGetRtns and the
// routines behind the table. Builds on the block layer of libkvx.so.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "filters/common/kvx_abi.h"

namespace kvx {

struct FilterInfo {
  uint16_t data_size;       // VWINFO_DATASIZE: bytes of filter data in the instance
  uint16_t info3, info4, info5;
  const uint16_t* export_ids;
  uint16_t export_count;
  const char* build_date;   // 11 characters ("Oct 27 1999"); written with its NUL
  const char* build_time;   // 8 characters ("hh:mm:ss"); written with its NUL
};

// The instance block: data_size bytes of filter data, user word 1, user word 2 and the
// block's own handle (32 bits each).
constexpr size_t instance_size(size_t data_size) { return data_size + 12; }

// VwGetInfo: writes the value for id and returns 1; 0 (nothing written) for 0 and ids
// above 13.
int32_t entry_get_info(const FilterInfo& info, void* buffer, uint32_t id);

struct EntryRoutines {
  VwGetInfoFn get_info;
  VwLocalFn local;
  VwAllocProcFn alloc;
  VwFreeProcFn free;
  VwSetUserFn set_user;
  VwExportOpenFn open;
  VwExportCloseFn close;
  VwExportWriteFn write;
};

// VwGetRtns: slots 5, 8-12 always; slot 18 nulled from version 19; 19-21 from version 22.
VwRtns* entry_fill_routines(VwRtns* table, uint16_t version, const EntryRoutines& routines);

// VwAllocProc: one zero-filled fixed block, locked, its handle in its last word; null
// when the block layer refuses.
void* entry_alloc(size_t data_size);
// VwFreeProc: unlocks and frees through the handle in the last word (nothing when 0).
void entry_free(void* instance, size_t data_size);
void entry_set_user(uint32_t word1, uint32_t word2, void* instance, size_t data_size);
// User word 1 or 2.
uint32_t entry_user_word(const void* instance, size_t data_size, int which);

// The path of the library that holds the calling code (the library entry's module
// handle); "" when unknown.
std::string entry_module_path(const void* address_in_module);

}  // namespace kvx

// Defines the filter's routines and its exported VwGetRtns from a FilterInfo named info
// and the three export routines (all in the including file).
#define KVX_DEFINE_FILTER_ENTRY(info, open_fn, close_fn, write_fn)                                \
  namespace {                                                                                      \
  int32_t kvx_get_info(void* buffer, uint32_t id) { return kvx::entry_get_info(info, buffer, id); } \
  void kvx_local() {}                                                                              \
  void* kvx_alloc() { return kvx::entry_alloc(info.data_size); }                                   \
  void kvx_free(void* instance) { kvx::entry_free(instance, info.data_size); }                     \
  void kvx_set_user(uint32_t w1, uint32_t w2, void* instance) {                                    \
    kvx::entry_set_user(w1, w2, instance, info.data_size);                                         \
  }                                                                                                \
  }                                                                                                \
  extern "C" KVX_API VwRtns* VwGetRtns(VwRtns* table, uint16_t version) {                          \
    static const kvx::EntryRoutines routines = {kvx_get_info, kvx_local,    kvx_alloc, kvx_free,   \
                                                kvx_set_user, open_fn,      close_fn,  write_fn};  \
    return kvx::entry_fill_routines(table, version, routines);                                     \
  }
