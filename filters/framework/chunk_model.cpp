// The chunk model and its only builder (see chunk_model.h).
#include "filters/framework/chunk_model.h"

#include <algorithm>
#include <cstddef>

namespace kvx {

static_assert(sizeof(KVXSECTIONRECORD) == 24 && offsetof(KVXSECTIONRECORD, FirstItem) == 12);
static_assert(sizeof(KVXOBJECTITEM) == 0x88 && offsetof(KVXOBJECTITEM, DataLength) == 0x30 &&
              offsetof(KVXOBJECTITEM, BorderB) == 0x4C && offsetof(KVXOBJECTITEM, Flags) == 0x80);

namespace {
constexpr uint32_t kUnitSizes[KVXRANGE_COUNT] = {16, sizeof(KVXSECTIONRECORD), 2, 1, 16, 16, 16, 40, 16, 2,
                                                 16, 16, 20, sizeof(KVXOBJECTITEM), 16, 16, 12, 16};
constexpr uint32_t kMaxChunks = 0xFFFF;
}  // namespace

uint32_t range_unit_size(uint32_t range) { return range < KVXRANGE_COUNT ? kUnitSizes[range] : 0; }

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void put_u16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

uint32_t ChunkModel::unit_count(uint32_t range) const {
  if (range >= KVXRANGE_COUNT) return 0;
  return uint32_t(ranges_[range].size() / kUnitSizes[range]);
}

bool ChunkModel::index_of(uint32_t range, uint32_t id, uint32_t& index) const {
  if (range >= KVXRANGE_COUNT) return false;
  if (range != KVXRANGE_ITEMS) {
    if (id >= unit_count(range)) return false;
    index = id;
    return true;
  }
  uint32_t chunk = id >> 16;
  if (chunk >= chunk_first_.size()) return false;
  uint32_t end = chunk + 1 < chunk_first_.size() ? chunk_first_[chunk + 1] : uint32_t(item_ids_.size());
  uint32_t at = chunk_first_[chunk] + (id & 0xFFFF);
  if (at >= end) return false;
  index = at;
  return true;
}

uint32_t ChunkModel::id_at(uint32_t range, uint32_t index) const {
  return range == KVXRANGE_ITEMS ? item_ids_[index] : index;
}

uint32_t ChunkModel::word(uint32_t range, uint32_t index, uint32_t w) const {
  const std::vector<uint8_t>& b = ranges_[range];
  size_t at = size_t(index) * kUnitSizes[range] + 4 * size_t(w);
  if (at + 4 > b.size()) return 0;
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

ChunkBuilder::ChunkBuilder() : model_(std::make_unique<ChunkModel>()) {}

bool ChunkBuilder::fail(const std::string& why) {
  error_ = why;
  return false;
}

bool ChunkBuilder::section(uint32_t type, const std::vector<uint16_t>& name, uint32_t date_base,
                           uint32_t date_flags) {
  if (!model_) return fail("the model is finished");
  if (!group_stack_.empty()) return fail("a section cannot start inside a group");
  uint32_t next_chunk = started_ ? chunk_ + 1 : 0;
  if (next_chunk > kMaxChunks) return fail("too many chunks");
  if (name.size() > 0xFFFF) return fail("section name too long");
  std::vector<uint8_t>& names = model_->ranges_[KVXRANGE_NAMES];
  uint32_t name_unit = name.empty() ? 0xFFFFFFFFu : uint32_t(names.size() / 2);
  for (uint16_t u : name) put_u16(names, u);
  if (!model_->sections_.empty()) model_->sections_.back().end_index = item_count();
  chunk_ = next_chunk;
  in_chunk_ = 0;
  started_ = true;
  SectionSpan span;
  span.type = type;
  span.first_index = span.end_index = item_count();
  model_->sections_.push_back(span);
  std::vector<uint8_t>& rec = model_->ranges_[KVXRANGE_SECTIONS];
  put_u32(rec, type);
  put_u32(rec, name_unit);
  put_u32(rec, uint32_t(name.size()));
  put_u32(rec, (chunk_ << 16));  // the first item's id, fixed when the first item comes
  put_u32(rec, date_base);
  put_u32(rec, date_flags);
  return true;
}

bool ChunkBuilder::item(uint32_t kind, uint32_t a, uint32_t b, uint32_t c, uint32_t* id) {
  if (!model_) return fail("the model is finished");
  if (!started_) return fail("an item before the first section");
  if (in_chunk_ == 0x10000) {
    if (chunk_ + 1 > kMaxChunks) return fail("too many chunks");
    ++chunk_;
    in_chunk_ = 0;
  }
  uint32_t new_id = chunk_ << 16 | in_chunk_;
  std::vector<uint8_t>& items = model_->ranges_[KVXRANGE_ITEMS];
  put_u32(items, kind);
  put_u32(items, a);
  put_u32(items, b);
  put_u32(items, c);
  while (model_->chunk_first_.size() <= chunk_) model_->chunk_first_.push_back(item_count());
  model_->item_ids_.push_back(new_id);
  ++in_chunk_;
  SectionSpan& s = model_->sections_.back();
  s.end_index = item_count();
  if (s.end_index == s.first_index + 1) {
    std::vector<uint8_t>& rec = model_->ranges_[KVXRANGE_SECTIONS];
    size_t at = rec.size() - sizeof(KVXSECTIONRECORD) + offsetof(KVXSECTIONRECORD, FirstItem);
    for (int i = 0; i < 4; ++i) rec[at + i] = uint8_t(new_id >> (8 * i));
  }
  if (id) *id = new_id;
  return true;
}

bool ChunkBuilder::text(uint32_t charset, const std::vector<uint16_t>& units) {
  if (!started_) return fail("text before the first section");
  std::vector<uint8_t>& t = model_->ranges_[KVXRANGE_TEXT];
  uint32_t first = uint32_t(t.size() / 2);
  if (!item(KVXITEM_TEXT, charset, first, uint32_t(units.size()))) return false;
  for (uint16_t u : units) put_u16(t, u);
  SectionSpan& s = model_->sections_.back();
  if (s.charset == 0) s.charset = charset;
  return true;
}

bool ChunkBuilder::append(uint32_t range, const std::vector<uint8_t>& bytes, uint32_t* first) {
  if (!model_) return fail("the model is finished");
  if (range >= KVXRANGE_COUNT || range == KVXRANGE_ITEMS || range == KVXRANGE_SECTIONS || range == KVXRANGE_GROUPS)
    return fail("range " + std::to_string(range) + " is not filled by records");
  uint32_t unit = kUnitSizes[range];
  if (bytes.size() % unit != 0)
    return fail("range " + std::to_string(range) + " takes units of " + std::to_string(unit) + " bytes");
  std::vector<uint8_t>& r = model_->ranges_[range];
  if ((r.size() + bytes.size()) / unit > 0xFFFFFFF0u) return fail("range too large");
  if (first) *first = uint32_t(r.size() / unit);
  r.insert(r.end(), bytes.begin(), bytes.end());
  return true;
}

bool ChunkBuilder::group_open(uint32_t code, uint32_t id_word, uint32_t c) {
  uint32_t id = 0;
  if (!item(KVXITEM_GROUPOPEN, code, id_word, c, &id)) return false;
  group_stack_.push_back(code);
  if (code == KVXGROUP_STYLE || code == KVXGROUP_PICTURE) {
    std::vector<uint8_t>& g = model_->ranges_[KVXRANGE_GROUPS];
    put_u32(g, id);
    put_u32(g, code);
    put_u32(g, id_word);
  }
  return true;
}

bool ChunkBuilder::group_close() {
  if (group_stack_.empty()) return fail("a group close without an open group");
  if (!item(KVXITEM_GROUPCLOSE, group_stack_.back(), 0, 0)) return false;
  group_stack_.pop_back();
  return true;
}

const std::string& ChunkBuilder::cut() const {
  static const std::string kWhole;
  return model_ ? model_->cut_ : kWhole;
}

std::unique_ptr<ChunkModel> ChunkBuilder::finish() {
  if (!model_) {
    fail("the model is finished");
    return nullptr;
  }
  if (!group_stack_.empty()) {
    fail(std::to_string(group_stack_.size()) + " group(s) left open");
    return nullptr;
  }
  return std::move(model_);
}

}  // namespace kvx
