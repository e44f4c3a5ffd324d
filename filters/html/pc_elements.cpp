// The element dispatcher of the HTML export filter: walks an element path (kind codes and
// item numbers) over the document's items and answers the three questions of the template
// engine about it: does it exist, what is its anchor name, write it. Sections, their body,
// title, contents and headings of both heading modes, tables, graphics, index entries,
// bookmarks, notes and page parts, properties and the pragma leaves. Called by the
// statement handlers (existence, names, ids) and the replay (writing); the lists come
// from the element scan (pc_scan.cpp) and the writing from the converters.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "pc_charsets.h"
#include "pc_content.h"
#include "pc_pictures.h"
#include "pc_sheet.h"
#include "pc_writer.h"

namespace pc {

namespace {

constexpr uint32_t kSections = 0x80000002u, kProperty = 0x81000000u, kTablesCode = 0x82000002u,
                   kGraphicsCode = 0x82000003u, kSeparator = 0x83000009u, kIndexCode = 0x84000002u,
                   kBookmarksCode = 0x84000007u, kPragma = 0x85000000u, kCharset = 0x85000001u,
                   kSectionType = 0x85000002u, kSourceFile = 0x85000004u, kCssFile = 0x85000005u, kHeadings = 0x86000000u;
constexpr int32_t kAll = -1, kTitle = -2, kContents = -3, kName = -5, kPreface = -6, kImage = -7, kBody = -8;

struct Request {
  uint32_t bits;
  KVXIO* out;
  uint32_t flags;
  uint32_t first_id = kNoItem;
  uint32_t end_id = kNoItem;  // the item after the element's range; kNoItem: open
  uint32_t width = 0, height = 0;  // the statement's WIDTH and HEIGHT (0: the picture's own)
};

std::u16string source_file_name(Export& x) {
  KVXIO* doc = nullptr;
  uint32_t spec = 0;
  std::u16string s;
  if (DAGetHFile(x.ex, &doc) != KVX_OK || doc == nullptr) return s;
  if (doc->GetInfo(doc, KVXIOINFO_SPECTYPE, &spec) != KVX_OK) spec = KVXSPEC_PATH;
  if (spec == KVXSPEC_WIDEPATH) {
    std::vector<uint16_t> w(KVXIO_NAMEMAX + 1, 0);
    if (doc->GetInfo(doc, KVXIOINFO_RELATIVESPEC, w.data()) == KVX_OK)
      for (size_t i = 0; i < w.size() && w[i] != 0; ++i) s.push_back(char16_t(w[i]));
  } else {
    std::vector<char> c(KVXIO_NAMEMAX + 1, 0);
    if (doc->GetInfo(doc, KVXIOINFO_RELATIVESPEC, c.data()) == KVX_OK) {
      c.back() = 0;
      s = widen(c.data());
    }
  }
  return s;
}

std::u16string section_name(Export& x, int32_t index) {
  uint32_t id = 0, next = 0;
  KVXSECTIONRECORD rec{};
  if (index < 1 || CHGetItemId(x.chunker, KVXRANGE_SECTIONS, uint32_t(index - 1), &id) != KVX_OK ||
      CHGetItem(x.chunker, KVXRANGE_SECTIONS, id, &rec, &next) != KVX_OK)
    return u"";
  return name_text(x, rec.NameUnit, rec.NameLength, 1024);
}

// Position after the first paragraph end at or after pos (end when none).
size_t after_paragraph(const ContentState& c, size_t pos, size_t end) {
  for (size_t p = pos; p < end; ++p)
    if (c.items[p].kind == 0 && (c.items[p].a == kBreakPara || c.items[p].a == kBreakCell)) return p + 1;
  return end;
}

// The end of a heading's own part: its outline group (mode 1) or its paragraph (mode 2).
size_t heading_part_end(const ContentState& c, size_t pos, size_t end) {
  if (c.heading_mode == 1 && pos < end && c.items[pos].kind == kItemOpen)
    return std::min<size_t>(c.close_of[pos] + 1, end);
  return after_paragraph(c, pos, end);
}

// The n-th entry of list inside [first, end) of positions; its position or end.
size_t nth_in(const ContentState& c, const std::vector<uint32_t>& list, int32_t n, size_t first, size_t end,
              uint32_t* entry) {
  int32_t k = 0;
  for (uint32_t e : list) {
    size_t p = position_of(c, e & ~kFiller);
    if (p < first || p >= end) continue;
    if (++k == n) {
      if (entry) *entry = e;
      return p;
    }
  }
  return end;
}

// The element's range [first, end) as item ids: end is open at the stream's end.
void set_range(Request& r, const ContentState& c, size_t first, size_t end) {
  r.first_id = c.items[first].id;
  r.end_id = end < c.items.size() ? c.items[end].id : kNoItem;
}

// owner: the item whose heading name names the element (kNoItem: the range's first).
KVXSTATUS write_body(Export& x, Request& r, size_t first, size_t end, const char* name, uint32_t owner = kNoItem) {
  ContentState& c = content(x);
  if (first >= end) return kNotFound;
  set_range(r, c, first, end);
  c.name = make_heading_name(c, owner == kNoItem ? c.items[first].id : owner, name);
  if (!(r.bits & kReqWrite)) return KVX_OK;
  std::u16string anchor = c.name;
  return convert_body(x, r.out, first, end, r.flags, name, anchor);
}

KVXSTATUS section_title(Export& x, Request& r, int32_t number, uint32_t type, size_t first, size_t end) {
  ContentState& c = content(x);
  size_t t1 = first;
  if (type == 0) t1 = heading_part_end(c, first, end);
  if (type == 7) t1 = after_paragraph(c, first, end);  // a slide: its first paragraph
  if (type == 1 || type == 2) {
    std::u16string name = section_name(x, number);
    c.name = make_heading_name(c, first < c.items.size() ? c.items[first].id : 0, "body");
    if (!name.empty()) return r.bits & kReqWrite ? write_plain(x, r.out, name) : KVX_OK;
  }
  bool has_text = false;
  for (size_t p = first; p < t1 && !has_text; ++p) has_text = c.items[p].kind == kItemText && c.items[p].c > 0;
  if (has_text) {
    set_range(r, c, first, t1);
    c.name = make_heading_name(c, c.items[first].id, "body");
    return r.bits & kReqWrite ? convert_body(x, r.out, first, t1, r.flags, nullptr) : KVX_OK;
  }
  if (!(r.bits & kReqWrite)) return KVX_OK;  // the default name stands in
  char buf[512] = {};
  FUGetDefaultSectionString(uint32_t(number), type, buf, sizeof buf);
  return write_plain(x, r.out, widen(buf));
}

// Contents and headings of a wp section from word i on, inside [first, end); level is the
// heading level of the range (0 for the section).
KVXSTATUS contents(Export& x, Request& r, const std::vector<int32_t>& it, size_t i, size_t first, size_t end,
                   int level, uint32_t owner) {
  ContentState& c = content(x);
  settle_headings(c);
  const auto& lists = c.headings[c.heading_mode - 1];
  if (i >= it.size()) return write_body(x, r, first, end, "content", owner);
  uint32_t word = uint32_t(it[i]);
  if (it[i] == kPreface) {
    size_t stop = end;
    if (level < 9) {
      size_t p = nth_in(c, lists[size_t(level)], 1, first, end, nullptr);
      stop = std::min(stop, p);
    }
    return write_body(x, r, first, stop, "content", owner);
  }
  if ((word & 0xFF000000u) != kHeadings || i + 1 >= it.size()) return kNotFound;
  int l = int(word & 0xFF);
  if (l < 1 || l > 9) return kNotFound;
  uint32_t entry = 0;
  size_t h = nth_in(c, lists[size_t(l - 1)], it[i + 1], first, end, &entry);
  if (h >= end) return kNotFound;
  size_t h_end = end;
  for (uint32_t e : lists[size_t(l - 1)]) {
    size_t p = position_of(c, e & ~kFiller);
    if (p > h && p < h_end) h_end = p;
  }
  bool filler = (entry & kFiller) != 0;
  if (i + 2 >= it.size()) {  // the heading itself
    set_range(r, c, h, h_end);
    c.name = make_heading_name(c, c.items[h].id, "body");
    return KVX_OK;
  }
  int32_t next = it[i + 2];
  if (next == kBody) {
    if (i + 3 < it.size() && it[i + 3] == kTitle) {
      if (filler) return kNotFound;
      size_t t1 = heading_part_end(c, h, h_end);
      set_range(r, c, h, t1);
      c.name = make_heading_name(c, c.items[h].id, "body");
      return r.bits & kReqWrite ? convert_body(x, r.out, h, t1, r.flags, nullptr) : KVX_OK;
    }
    if (i + 3 < it.size() && it[i + 3] == kContents) {
      ++i;
      next = kContents;
    } else {
      if (i + 3 < it.size()) return kNotFound;
      return write_body(x, r, h, h_end, "body");
    }
  }
  if (next == kContents) {
    size_t start = h;
    bool deeper_here = false;
    if (l < 9)
      for (uint32_t e : lists[size_t(l)]) deeper_here = deeper_here || position_of(c, e & ~kFiller) == h;
    if (!filler && !deeper_here) start = heading_part_end(c, h, h_end);
    return contents(x, r, it, i + 3, start, h_end, l, c.items[h].id);
  }
  return kNotFound;
}

KVXSTATUS pragma(Export& x, Request& r, uint32_t leaf) {
  if (leaf == kCharset) return r.bits & kReqWrite ? write_text8(r.out, x.charset_name, x.out_kind) : KVX_OK;
  if (leaf == kSourceFile) {
    std::u16string name = source_file_name(x);
    if (name.empty()) return kNotFound;
    return r.bits & kReqWrite ? write_plain(x, r.out, name) : KVX_OK;
  }
  if (leaf == kCssFile) return kNotThere;  // no style sheet file is written by this side
  return kNotFound;
}

KVXSTATUS section_path(Export& x, Request& r, const std::vector<int32_t>& it) {
  ContentState& c = content(x);
  int32_t number = it[1];
  size_t first = 0, end = 0;
  if (!section_range(c, number, &first, &end)) return kNotFound;
  uint32_t type = c.sections[size_t(number - 1)].second;
  if (type == 3 || type == 5 || type > 8) return kNotFound;
  if (type == 0) settle_headings(c);
  if (it.size() == 2) {
    if (first < end) set_range(r, c, first, end);
    return KVX_OK;
  }
  size_t i = 2;
  int32_t w = it[i];
  if (uint32_t(w) == kSectionType) return KVX_OK;
  if (w == kImage) {
    if (type != 4 && type != 6 && type != 7 && type != 8) return kNotFound;
    char buf[32];
    std::snprintf(buf, sizeof buf, "s%dimage", number);
    c.name = widen(buf);
    if (!(r.bits & kReqWrite)) return KVX_OK;
    content_writer(x, r.out);
    return WriteSectionImage(x, uint32_t(number - 1), r.width, r.height);
  }
  if (w == kBody) {
    if (i + 1 == it.size()) {
      if (type == 1 || type == 2) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "s%dsheet", number);
        c.name = widen(buf);
        // Spreadsheet and database bodies are written by the sheet writer.
        return r.bits & kReqWrite ? WriteSheetElement(x, r.out, uint32_t(number), type) : KVXSTATUS(KVX_OK);
      }
      if (type == 0 && c.heading_mode == 1 && !c.outline_groups) {
        // Sections cut inside paragraphs: the body runs from paragraph end to paragraph end.
        auto para_end_before = [&c](size_t pos, size_t* at) {
          for (size_t p = pos; p-- > 0;)
            if (c.items[p].kind == 0 && c.items[p].a == kBreakPara) return *at = p + 1, true;
          return false;
        };
        size_t at = 0;
        uint32_t owner = first < c.items.size() ? c.items[first].id : kNoItem;  // the name stays the section's
        if (first > 0) first = para_end_before(first, &at) ? at : 0;
        if (end < c.items.size() && para_end_before(end, &at)) end = at;
        return write_body(x, r, first, end, "body", owner);
      }
      return write_body(x, r, first, end, "body");
    }
    int32_t next = it[i + 1];
    if (next == kTitle) return section_title(x, r, number, type, first, end);
    if (next == kContents) return type == 0 ? contents(x, r, it, i + 2, first, end, 0, kNoItem) : kNotFound;
    i += 1;
    w = it[i];
  }
  uint32_t word = uint32_t(w);
  if (i + 1 >= it.size()) return kNotFound;
  int32_t n = it[i + 1];
  int32_t leaf = i + 2 < it.size() ? it[i + 2] : 0;
  if (word == kTablesCode || word == kGraphicsCode || word == kIndexCode) {
    int list = word == kTablesCode ? int(kTables) : word == kGraphicsCode ? int(kGraphics) : int(kIndexEntries);
    scan_for(c, -1, 0);
    size_t p = nth_in(c, c.lists[list], n, first, end, nullptr);
    if (p >= end) return kNotFound;
    const char* prefix = list == kTables ? "table" : list == kGraphics ? "graphic" : "indexentry";
    r.first_id = c.items[p].id;
    c.name = make_element_name(prefix, ordinal_in(c.lists[list], c.items[p].id));
    size_t stop = c.close_of[p];
    if (list == kTables) {
      // The table runs to the table end that closes it.
      int depth = 0;
      for (stop = p + 1; stop < end; ++stop) {
        if (c.items[stop].kind == kItemTableStart) ++depth;
        if (c.items[stop].kind == kItemTableEnd && depth-- == 0) break;
      }
      set_range(r, c, p, std::min(stop + 1, end));
      if (!(r.bits & kReqWrite)) return KVX_OK;
      return convert_body(x, r.out, p, std::min(stop + 1, end), r.flags, nullptr);
    }
    if (!(r.bits & kReqWrite) || list == kGraphics) return KVX_OK;
    size_t cut = p + 1;
    while (cut < stop && !(c.items[cut].kind == kItemSpecial && c.items[cut].a == 0x138)) ++cut;
    return convert_body(x, r.out, p + 1, cut, r.flags, nullptr);
  }
  if (word == kBookmarksCode) {
    if (leaf != kBody && leaf != kName && (leaf != 0 || (r.bits & kReqWrite))) return kNotFound;
    scan_for(c, -1, 0);
    size_t p = nth_in(c, c.lists[kBookmarks], n, first, end, nullptr);
    if (p >= end) return kNotFound;
    r.first_id = c.items[p].id;
    c.name = name_text(x, c.items[p].b, c.items[p].c, 127);
    if (r.bits & kReqLink) c.name = file_link(x, r.out, c.items[p].id) + u"#" + c.name;
    return KVX_OK;
  }
  if ((word & 0xFF000000u) == 0x83000000u && word <= 0x83000008u) {
    if (leaf == 0)  // the element itself: it exists, nothing to write
      return note_element(x, r.out, word, n, first, end, r.bits & ~kReqWrite, r.flags, &r.first_id);
    if (leaf == kBody || leaf == kContents)
      return note_element(x, r.out, word, n, first, end, r.bits, r.flags | (leaf == kContents ? 0x700 : 0),
                          &r.first_id);
    if (uint32_t(leaf) == kSeparator) return note_separator(x, r.out, word, first, r.bits);
    if (uint32_t(leaf) >= 0x84000004u && uint32_t(leaf) <= 0x84000006u)
      return note_reference(x, r.out, word, n, first, end, r.bits);
    return kNotFound;
  }
  return kNotFound;
}

KVXSTATUS dispatch(Export& x, const PathRec& p, Request& r) {
  ContentState& c = content(x);
  c.name.clear();
  if (KVXSTATUS st = load_items(x, c)) return st;
  const auto& it = p.items;
  if (it.empty()) return kNotFound;
  uint32_t k0 = uint32_t(it[0]);
  if (k0 == kSections && it.size() >= 2) {
    // A separator leaf stands right after the note kind, without a number.
    if (it.size() == 4 && uint32_t(it[3]) == kSeparator) {
      size_t first = 0, end = 0;
      if (!section_range(c, it[1], &first, &end)) return kNotFound;
      return note_separator(x, r.out, uint32_t(it[2]), first, r.bits);
    }
    return section_path(x, r, it);
  }
  if (k0 == kProperty && it.size() >= 2) {
    int32_t k = it[1];
    if (k == kAll || k == -4) {
      if (it.size() < 3) return kNotFound;
      uint32_t bits = r.bits | (it.size() > 3 && it[3] == kName ? kReqName : 0);
      return property_element(x, r.out, k, it[2], bits);
    }
    return property_element(x, r.out, k, 0, r.bits);
  }
  if (k0 == kPragma && it.size() == 2) return pragma(x, r, uint32_t(it[1]));
  return kNotFound;
}

}  // namespace

KVXSTATUS element_request(Export& x, const PathRec& p, uint32_t request, KVXIO* out, uint32_t flags) {
  Request r{request, out, flags};
  return dispatch(x, p, r);
}

bool element_exists(Export& x, const PathRec& p) {
  if (p.host) return true;
  Request r{kReqExists, nullptr, 0};
  return dispatch(x, p, r) == KVX_OK;
}

KVXSTATUS pass_element(Export& x, KVXIO* out, const PathRec& p) {
  if (p.ends_in_type) {
    uint32_t type = 0;
    if (KVXSTATUS st = section_type_of_path(x, p, &type)) return st;
    return write_text8(out, std::to_string(type), x.out_kind);
  }
  Request r{kReqWrite, out, p.suppress};
  r.width = p.width;
  r.height = p.height;
  KVXSTATUS st = dispatch(x, p, r);
  // An element that is not there writes nothing.
  return st == kNotFound || st == kNotThere ? KVX_OK : st;
}

uint32_t element_id(Export& x, const PathRec& p, uint32_t* end) {
  Request r{kReqExists, nullptr, 0};
  if (end) *end = kNoItem;
  if (dispatch(x, p, r) != KVX_OK) return kNoItem;
  if (end) *end = r.end_id;
  return r.first_id;
}

std::u16string element_name(Export& x, const PathRec& p) {
  Request r{kReqName, nullptr, 0};
  dispatch(x, p, r);
  return content(x).name;
}

uint32_t document_charset(Export& x) { return content_charset(x, content(x)); }

}  // namespace pc
