// The chunker calls of the framework (CH*): reading a document's chunk model by range and
// id, with range locks that must balance by the document's close. Every call checks the
// range and the id against the model and answers KVXERR_NOITEM past either end.
#include <cstring>

#include "filters/framework/kvx_state.h"

using namespace kvx;

namespace {

ChunkerObj* chunker_of(KVXHANDLE h) { return framework().find<ChunkerObj>(h); }

KVXSTATUS check(KVXHANDLE h, uint32_t range, ChunkerObj*& c) {
  c = chunker_of(h);
  if (c == nullptr) return KVXERR_BADHANDLE;
  if (range >= KVXRANGE_COUNT) return KVXERR_BADPARAM;
  return KVX_OK;
}

const uint8_t* unit_at(const ChunkModel& m, uint32_t range, uint32_t index) {
  return m.bytes(range).data() + size_t(index) * range_unit_size(range);
}

}  // namespace

extern "C" {

KVXSTATUS CHGetItem(KVXHANDLE chunker, uint32_t range, uint32_t id, void* item, uint32_t* next_id) {
  ChunkerObj* c;
  if (KVXSTATUS st = check(chunker, range, c)) return st;
  if (item == nullptr) return KVXERR_BADPARAM;
  const ChunkModel& m = *c->model;
  uint32_t index;
  if (!m.index_of(range, id, index)) return KVXERR_NOITEM;
  std::memcpy(item, unit_at(m, range, index), range_unit_size(range));
  if (next_id != nullptr) *next_id = index + 1 < m.unit_count(range) ? m.id_at(range, index + 1) : 0xFFFFFFFFu;
  return KVX_OK;
}

KVXSTATUS CHGetItems(KVXHANDLE chunker, uint32_t range, uint32_t id, void* buffer, uint32_t size) {
  ChunkerObj* c;
  if (KVXSTATUS st = check(chunker, range, c)) return st;
  if (buffer == nullptr && size > 0) return KVXERR_BADPARAM;
  const ChunkModel& m = *c->model;
  uint32_t index;
  if (!m.index_of(range, id, index)) return KVXERR_NOITEM;
  size_t from = size_t(index) * range_unit_size(range);
  if (size > m.bytes(range).size() - from) return KVXERR_NOITEM;
  if (size > 0) std::memcpy(buffer, m.bytes(range).data() + from, size);
  return KVX_OK;
}

KVXSTATUS CHGetItemId(KVXHANDLE chunker, uint32_t range, uint32_t index, uint32_t* id) {
  ChunkerObj* c;
  if (KVXSTATUS st = check(chunker, range, c)) return st;
  if (id == nullptr) return KVXERR_BADPARAM;
  if (index >= c->model->unit_count(range)) return KVXERR_NOITEM;
  *id = c->model->id_at(range, index);
  return KVX_OK;
}

KVXSTATUS CHGetItemCount(KVXHANDLE chunker, uint32_t range, uint32_t* count) {
  ChunkerObj* c;
  if (KVXSTATUS st = check(chunker, range, c)) return st;
  if (count == nullptr) return KVXERR_BADPARAM;
  *count = c->model->unit_count(range);
  return KVX_OK;
}

KVXSTATUS CHNextItemId(KVXHANDLE chunker, uint32_t range, uint32_t id, uint32_t* next) {
  ChunkerObj* c;
  if (KVXSTATUS st = check(chunker, range, c)) return st;
  if (next == nullptr) return KVXERR_BADPARAM;
  uint32_t index;
  if (!c->model->index_of(range, id, index) || index + 1 >= c->model->unit_count(range)) return KVXERR_NOITEM;
  *next = c->model->id_at(range, index + 1);
  return KVX_OK;
}

KVXSTATUS CHPrevItemId(KVXHANDLE chunker, uint32_t range, uint32_t id, uint32_t* prev) {
  ChunkerObj* c;
  if (KVXSTATUS st = check(chunker, range, c)) return st;
  if (prev == nullptr) return KVXERR_BADPARAM;
  uint32_t index;
  if (!c->model->index_of(range, id, index) || index == 0) return KVXERR_NOITEM;
  *prev = c->model->id_at(range, index - 1);
  return KVX_OK;
}

KVXSTATUS CHLockItemRange(KVXHANDLE chunker, uint32_t range, uint32_t first, uint32_t count, void** data) {
  ChunkerObj* c;
  if (KVXSTATUS st = check(chunker, range, c)) return st;
  if (data == nullptr) return KVXERR_BADPARAM;
  *data = nullptr;
  const ChunkModel& m = *c->model;
  uint32_t index;
  if (!m.index_of(range, first, index)) return KVXERR_NOITEM;
  if (count > m.unit_count(range) - index) return KVXERR_NOITEM;
  *data = const_cast<uint8_t*>(unit_at(m, range, index));
  ++c->locks[{range, first}];
  return KVX_OK;
}

KVXSTATUS CHUnlockItemRange(KVXHANDLE chunker, uint32_t range, uint32_t first) {
  ChunkerObj* c;
  if (KVXSTATUS st = check(chunker, range, c)) return st;
  auto it = c->locks.find({range, first});
  if (it == c->locks.end()) return KVXERR_BADPARAM;
  if (--it->second == 0) c->locks.erase(it);
  return KVX_OK;
}

KVXSTATUS CHGetSectionInfo(KVXHANDLE chunker, uint32_t section, KVXSECTIONINFO* info) {
  ChunkerObj* c = chunker_of(chunker);
  if (c == nullptr) return KVXERR_BADHANDLE;
  if (info == nullptr) return KVXERR_BADPARAM;
  const ChunkModel& m = *c->model;
  if (section >= m.sections().size()) return KVXERR_NOITEM;
  const SectionSpan& s = m.sections()[section];
  info->Type = s.type;
  info->Section = section;
  info->ItemCount = s.end_index - s.first_index;
  info->CharacterSet = s.charset;
  if (s.end_index > s.first_index) {
    info->FirstItem = m.id_at(0, s.first_index);
    info->LastItem = m.id_at(0, s.end_index - 1);
  } else {
    info->FirstItem = info->LastItem = 0xFFFFFFFFu;
  }
  return KVX_OK;
}

KVXSTATUS CHGetFilter(KVXHANDLE chunker, uint32_t* filter) {
  ChunkerObj* c = chunker_of(chunker);
  if (c == nullptr) return KVXERR_BADHANDLE;
  if (filter == nullptr) return KVXERR_BADPARAM;
  *filter = c->file_id;
  return KVX_OK;
}

}  // extern "C"
