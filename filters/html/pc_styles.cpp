// The style resolver and its cache (see pc_styles.h).
#include "pc_styles.h"

#include <algorithm>
#include <new>

namespace pc {

namespace {

// Serves a definition's items to DecodeAttrs, blocks and fonts from the export's source,
// and styles (applied inside a definition) from the cache.
class DefSource : public AttrSource {
 public:
  DefSource(const StyleDef& def, AttrSource& base, StyleCache& cache) : def_(def), base_(base), cache_(cache) {}
  KVXSTATUS item(uint32_t id, uint32_t w[4], uint32_t* next) override {
    if (id >= def_.items.size()) return 37;
    for (int i = 0; i < 4; ++i) w[i] = def_.items[id][i];
    *next = id + 1 < def_.items.size() ? id + 1 : 0xFFFFFFFF;
    return KVX_OK;
  }
  KVXSTATUS block(uint32_t id, uint32_t* words, uint32_t count) override { return base_.block(id, words, count); }
  KVXSTATUS style(uint32_t id, uint32_t context, const StyleAttrRecord** r) override {
    return cache_.GatherStyle(id, context, r, nullptr);
  }
  std::u16string fontName(uint32_t id) override { return base_.fontName(id); }

 private:
  const StyleDef& def_;
  AttrSource& base_;
  StyleCache& cache_;
};

}  // namespace

StyleCache::StyleCache(StyleDefs& defs, AttrSource& base, uint32_t slotCount)
    : defs_(defs), base_(base), slotCount_(slotCount == 0 ? 1 : slotCount) {
  valid_.assign(slotCount_, false);
}

int StyleCache::StyleKeyFind(uint32_t id) {
  for (size_t i = 0; i < keys_.size(); ++i)
    if (keys_[i].id == id) return int(i);
  try {
    keys_.push_back({id, kNoParent, 0, 0, 0, slotCount_ + 1, false});
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return int(keys_.size() - 1);
}

int64_t StyleCache::StyleKeyWord(int index) const {
  if (index < 0 || size_t(index) >= keys_.size()) return -1;
  return keys_[size_t(index)].word4;
}

uint32_t StyleCache::slotOf(uint32_t id) const {
  for (const StyleKeyEntry& k : keys_)
    if (k.id == id) return k.slot;
  return slotCount_ + 1;
}

StyleAttrRecord* StyleCache::take_slot(uint32_t& slot) {
  if (nextReuse_ >= slotCount_) nextReuse_ = 0;
  slot = nextReuse_++;
  for (StyleKeyEntry& k : keys_)
    if (k.slot == slot) k.slot = slotCount_ + 1;
  if (slot == slots_.size()) slots_.emplace_back();  // slots are first taken in order
  else slots_[slot] = StyleAttrRecord{};
  valid_[slot] = false;
  return &slots_[slot];
}

KVXSTATUS StyleCache::GatherStyle(uint32_t id, uint32_t context, const StyleAttrRecord** record, int* keyIndex) {
  std::vector<uint32_t> chain;
  StyleAttrRecord out;
  int key = -1;
  if (active_ >= kMaxStyleDepth) {  // a definition that applies itself
    *record = &default_;
    if (keyIndex) *keyIndex = -1;
    return KVX_OK;
  }
  ++active_;
  KVXSTATUS st = gather(id, context, chain, out, &key);
  --active_;
  if (keyIndex) *keyIndex = key;
  if (st != KVX_OK) return st;
  if (key < 0) {
    *record = &default_;
    return KVX_OK;
  }
  uint32_t slot = keys_[size_t(key)].slot;
  *record = slot < slotCount_ ? &slots_[slot] : &default_;
  return KVX_OK;
}

// Resolves id into out (a copy, so slots reused while parents are gathered cannot pull
// the record away) and stores it in a slot taken only once the parents are done.
KVXSTATUS StyleCache::gather(uint32_t id, uint32_t context, std::vector<uint32_t>& chain, StyleAttrRecord& out,
                             int* keyIndex) {
  int key = StyleKeyFind(id);
  if (key < 0) return 13;
  *keyIndex = key;
  {
    StyleKeyEntry& k = keys_[size_t(key)];
    if (k.slot < slotCount_ && valid_[k.slot] && k.kind != 4) {
      out = slots_[k.slot];
      return KVX_OK;
    }
  }
  StyleDef def;
  if (!defs_.definition(id, def)) {
    out = default_;
    *keyIndex = -1;
    return KVX_OK;
  }
  {
    StyleKeyEntry& k = keys_[size_t(key)];
    k.kind = def.kind;
    k.word3 = def.word3;
    k.word4 = def.word4;
    k.parent = def.parent;
    if (def.kind == 4) {
      k.bound = true;
      if (def.parent == kNoParent) k.parent = context;
    }
  }
  out = default_;
  out.kind = def.kind;
  out.keyIndex = uint32_t(key);
  uint32_t parent = def.parent;
  chain.push_back(id);
  bool loops = std::find(chain.begin(), chain.end(), parent) != chain.end();
  if (parent != kNoParent && !loops && chain.size() < kMaxStyleDepth) {
    StyleAttrRecord p;
    int pkey = -1;
    if (KVXSTATUS st = gather(parent, context, chain, p, &pkey)) {
      chain.pop_back();
      return st;
    }
    if (p.para.flags & 0x2000) {
      out.para.listStyleKey = p.para.listStyleKey;
      out.para.listLevel = p.para.listLevel;
      out.para.listValue = p.para.listValue;
      out.para.flags |= 0x2000 | 0x800;
    }
    if (p.para.blockFlags & 1) {
      std::copy(std::begin(p.para.tabs), std::end(p.para.tabs), std::begin(out.para.tabs));
      out.para.blockFlags |= 1;
    }
    out.chars = p.chars;  // inherited character formatting
    uint32_t keep = out.para.flags, tabs = out.para.blockFlags;
    out.para = p.para;
    out.para.flags |= keep;
    out.para.blockFlags |= tabs;
  }
  chain.pop_back();
  // Decode the definition's items up to its end.
  DefSource src(def, base_, *this);
  FrameAttrRecord frame;
  for (uint32_t i = 0; i < def.items.size() && def.items[i][0] != 68;) {
    uint32_t next = i + 1 < def.items.size() ? i + 1 : 0xFFFFFFFF;
    uint32_t words[4] = {def.items[i][0], def.items[i][1], def.items[i][2], def.items[i][3]};
    if (KVXSTATUS st = DecodeAttrs(src, out.para, out.chars, frame, words, &next, 0xFFFFFFFF)) return st;
    if (next == 0xFFFFFFFF) break;
    i = next > i ? next : i + 1;  // an item not decoded is stepped over
  }
  if (def.kind == 4) out.para.listStyleKey = uint32_t(key);
  uint32_t slot;
  StyleAttrRecord* rec = take_slot(slot);
  *rec = out;
  valid_[slot] = true;
  keys_[size_t(key)].slot = slot;
  return KVX_OK;
}

}  // namespace pc
