// The element scan of the HTML export filter: reads the document's items once from the
// chunker, then walks them forward on demand, filling the per-kind element lists (tables,
// graphics, notes, page parts, bookmarks, index entries, separators), the heading lists of
// both heading modes, the page-part definitions and the document character set. Also the
// anchor names made from the lists. Called by the dispatcher and the converters.
#include <algorithm>
#include <memory>

#include "pc_content.h"

namespace pc {

namespace {

void add_heading(ContentState& c, int mode, int level, uint32_t id) {
  if (level < 1) level = 1;
  if (level > 9) level = 9;
  auto& lists = c.headings[mode - 1];
  int& last = c.last_level[mode - 1];
  for (int l = last + 1; l < level; ++l) lists[l - 1].push_back(id | kFiller);
  lists[level - 1].push_back(id);
  last = level;
}

void close_candidate(ContentState& c) {
  if (c.candidate && c.candidate_text && c.heading_mode == 2) add_heading(c, 2, c.candidate_level, c.candidate_id);
  c.candidate = false;
  c.candidate_text = false;
}

// One item of the scan at pos; returns the position to go on from.
size_t scan_item(ContentState& c, size_t pos) {
  const ChunkItem& it = c.items[pos];
  switch (it.kind) {
    case 0:
      if (c.heading_mode == 2) close_candidate(c);
      c.candidate = false;
      break;
    case kItemText:
      if (c.candidate && it.c > 0) c.candidate_text = true;
      break;
    case kItemTableStart:
      c.lists[kTables].push_back(it.id);
      break;
    case kItemLayout:
      for (int k = 0; k < 2; ++k) {
        uint32_t v = k == 0 ? it.a : it.b;
        if (!c.layout_seen || v < c.layout[k] || c.layout[k] == 0) {
          if (c.layout_seen) c.layout_differ = true;
          c.layout[k] = c.layout_seen ? std::min(v, c.layout[k] == 0 ? v : c.layout[k]) : v;
        }
      }
      c.layout_seen = true;
      break;
    case kItemDocCharset:
    case kItemCharset2:
      if (!(it.a & 0x100) && !c.charset_found && it.a != 0) {
        c.charset = it.a;
        c.charset_found = true;
      }
      break;
    case kItemGraphic:
      c.lists[kGraphics].push_back(it.id);
      break;
    case kItemParaStyle:
      if (it.b >= 2 && it.b <= 10 && section_type_at(c, pos) == 0) {
        if (c.heading_mode != 2) c.last_level[1] = 0;
        c.heading_mode = 2;
        c.candidate = true;
        c.candidate_text = false;
        c.candidate_level = int(it.b) - 1;
        c.candidate_id = it.id;
      }
      break;
    case kItemPagePartRef:
      for (const auto& [id, bits] : c.defs) {
        if (id != it.a) continue;
        if (bits == 8) c.lists[kHeaders].push_back(it.id);
        else if (bits == 0x10) c.lists[kFooters].push_back(it.id);
        else if (bits == 0x20) c.lists[kWatermarks].push_back(it.id);
        break;
      }
      break;
    case kItemNoteRef: {
      static const int by_type[] = {-1, kFootnotes, kEndnotes, kAnnotations, kOthernotes, kComments};
      if (it.a >= 1 && it.a <= 5) c.lists[by_type[it.a]].push_back(it.id);
      break;
    }
    case kItemPagePartDef: {
      uint32_t bits = it.b & 0x38;
      if (bits == 0) break;
      bool known = false;
      for (const auto& d : c.defs) known = known || d.first == it.a;
      if (!known) c.defs.push_back({it.a, bits});
      break;
    }
    case kItemNoteSettings:
      c.lists[kSeparators].push_back(it.id);
      break;
    case kItemOpen:
      if (it.a == kGroupIndexEntry) {
        c.lists[kIndexEntries].push_back(it.id);
        return c.close_of[pos] + 1;
      }
      if (it.a == kGroupOutline || it.a == kGroupOutline2) {
        if (it.a == kGroupOutline) c.outline_groups = true;
        if (c.heading_mode <= 1 && section_type_at(c, pos) == 0) {
          c.heading_mode = 1;
          c.outline_open.push_back({it.id, int(std::clamp<uint32_t>(it.b, 1, 9))});
        }
        break;
      }
      if (it.a == kGroupBookmark || it.a == kGroupBookmarkKvx) {
        if (it.a == kGroupBookmarkKvx || !(it.c & 1)) c.lists[kBookmarks].push_back(it.id);
        break;
      }
      if (it.a == kGroupLinkKvx) break;
      if (it.a & kGroupSkip) return c.close_of[pos] + 1;
      break;
    case kItemClose:
      if ((it.a == kGroupOutline || it.a == kGroupOutline2) && c.heading_mode == 1 && !c.outline_open.empty()) {
        add_heading(c, 1, c.outline_open.back().second, c.outline_open.back().first);
        c.outline_open.pop_back();
      }
      break;
    default:
      break;
  }
  return pos + 1;
}

}  // namespace

ContentState& content(Export& x) {
  if (!x.content) x.content = std::make_shared<ContentState>();
  return *x.content;
}

KVXSTATUS load_items(Export& x, ContentState& c) {
  if (c.loaded) return c.load_status;
  c.loaded = true;
  uint32_t count = 0;
  if (CHGetItemCount(x.chunker, KVXRANGE_SECTIONS, &count) == KVX_OK) {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t id = 0, next = 0;
      KVXSECTIONRECORD rec{};
      if (CHGetItemId(x.chunker, KVXRANGE_SECTIONS, i, &id) != KVX_OK ||
          CHGetItem(x.chunker, KVXRANGE_SECTIONS, id, &rec, &next) != KVX_OK)
        break;
      c.sections.push_back({rec.FirstItem, rec.Type & 0xFFFF});
    }
  }
  uint32_t id = x.first_item;
  std::vector<size_t> open;
  while (id != kNoItem) {
    uint32_t w[4] = {}, next = kNoItem;
    if (CHGetItem(x.chunker, KVXRANGE_ITEMS, id, w, &next) != KVX_OK) break;
    if (!c.items.empty() && id <= c.items.back().id) break;  // ids only grow
    c.items.push_back({id, w[0], w[1], w[2], w[3]});
    c.close_of.push_back(0);
    if (w[0] == kItemOpen) open.push_back(c.items.size() - 1);
    if (w[0] == kItemClose && !open.empty()) {
      c.close_of[open.back()] = uint32_t(c.items.size() - 1);
      open.pop_back();
    }
    id = next;
  }
  for (size_t p : open) c.close_of[p] = uint32_t(c.items.size() - 1);  // open to the end
  for (size_t p = 0; p < c.items.size(); ++p)
    if (c.items[p].kind != kItemOpen) c.close_of[p] = uint32_t(p);
  return KVX_OK;
}

size_t position_of(const ContentState& c, uint32_t id) {
  auto it = std::lower_bound(c.items.begin(), c.items.end(), id,
                             [](const ChunkItem& a, uint32_t v) { return a.id < v; });
  return size_t(it - c.items.begin());
}

uint32_t section_type_at(const ContentState& c, size_t pos) {
  if (pos >= c.items.size()) return 0;
  uint32_t id = c.items[pos].id, type = 0;
  for (const auto& [first, t] : c.sections) {
    if (first != kNoItem && first > id) break;
    type = t;
  }
  return type;
}

bool section_range(const ContentState& c, int32_t n, size_t* first, size_t* end) {
  if (n < 1 || size_t(n) > c.sections.size()) return false;
  uint32_t start = c.sections[size_t(n - 1)].first;
  *first = start == kNoItem ? c.items.size() : position_of(c, start);
  *end = c.items.size();
  for (size_t k = size_t(n); k < c.sections.size(); ++k) {
    if (c.sections[k].first == kNoItem) continue;
    *end = position_of(c, c.sections[k].first);
    break;
  }
  if (*end < *first) *end = *first;
  return true;
}

KVXSTATUS scan_for(ContentState& c, int list, size_t n) {
  if (list >= 0 && n > 0 && c.lists[list].size() >= n) return KVX_OK;
  while (c.scan_pos < c.items.size()) {
    c.scan_pos = scan_item(c, c.scan_pos);
    if (list >= 0 && n > 0 && c.lists[list].size() >= n) return KVX_OK;
  }
  if (c.heading_mode == 2) close_candidate(c);
  return list >= 0 && n > 0 ? kNotFound : KVX_OK;
}

void settle_headings(ContentState& c) {
  scan_for(c, -1, 0);
  if (c.heading_mode == 0) c.heading_mode = 2;
}

uint32_t ordinal_in(const std::vector<uint32_t>& list, uint32_t id) {
  // Entries are in stream order, so their ids (filler bit aside) never decrease.
  auto below = std::partition_point(list.begin(), list.end(), [id](uint32_t e) { return (e & ~kFiller) < id; });
  return uint32_t(below - list.begin()) + 1;
}

std::u16string make_element_name(const char* prefix, uint32_t ordinal) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%x", prefix, ordinal);
  return widen(buf);
}

std::u16string make_heading_name(ContentState& c, uint32_t id, const char* suffix) {
  settle_headings(c);
  const auto& lists = c.headings[c.heading_mode - 1];
  for (int l = 0; l < 9; ++l) {
    for (size_t p = 0; p < lists[l].size(); ++p) {
      if ((lists[l][p] & ~kFiller) != id) continue;
      char buf[64];
      std::snprintf(buf, sizeof buf, "h%x.%zx%s", l + 1, p + 1, suffix);
      return widen(buf);
    }
  }
  // Not a heading: the section's own name, by its number, so sections do not share it.
  size_t section = 1;
  for (size_t k = 0; k < c.sections.size(); ++k)
    if (c.sections[k].first != kNoItem && c.sections[k].first <= id) section = k + 1;
  return widen("s" + std::to_string(section) + suffix);
}

uint32_t NextHeadingLevel(ContentState& c, uint32_t position, uint32_t stop) {
  settle_headings(c);
  if (c.heading_mode != 2) return 0;
  uint32_t start = kNoItem;
  for (const auto& list : c.headings[1]) {
    auto at = std::partition_point(list.begin(), list.end(), [position](uint32_t e) { return (e & ~kFiller) < position; });
    for (; at != list.end(); ++at)
      if (!(*at & kFiller)) {
        start = std::min(start, *at);
        break;
      }
  }
  // A heading that starts after the paragraph is not this paragraph's.
  if (start == kNoItem || start > stop) return 0;
  auto pos = std::partition_point(c.items.begin(), c.items.end(), [start](const ChunkItem& it) { return it.id < start; });
  uint32_t level = 0;
  for (size_t p = size_t(pos - c.items.begin()); p < c.items.size(); ++p) {
    const ChunkItem& it = c.items[p];
    if (it.kind == 0 && (it.a == kBreakPara || it.a == kBreakCell || it.a == kBreakLine)) break;
    if (it.kind == kItemOpen && (it.a & kGroupSkip)) {
      if (p < c.close_of.size() && c.close_of[p] > p) p = c.close_of[p];
      continue;
    }
    if (it.kind == kItemParaStyle) level = it.b >= 2 && it.b <= 10 ? it.b - 1 : 0;
  }
  return level;
}

uint32_t content_charset(Export& x, ContentState& c) {
  if (c.charset_settled) return c.charset;
  c.charset_settled = true;
  load_items(x, c);
  scan_for(c, -1, 0);
  if (!c.charset_found) {
    KVXSECTIONINFO info{};
    if (CHGetSectionInfo(x.chunker, 0, &info) == KVX_OK && info.CharacterSet != 0) c.charset = info.CharacterSet;
  }
  if (c.charset == 0) c.charset = 0x30100;
  return c.charset;
}

}  // namespace pc
