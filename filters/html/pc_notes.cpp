// Notes, note references, separators, headers, footers and watermarks of the HTML export
// filter. A note is a reference item {0x2C, type, number} whose text is the note group
// (0xA00A0000) after it; a page part is a reference {0x2B, definition} whose definition
// {0x2F, definition, kind bits} is followed by the group that holds its text. The lists
// come from the element scan (pc_scan.cpp); text goes through the body converter. Called
// by the dispatcher (pc_elements.cpp).
#include <algorithm>

#include "pc_blocks.h"
#include "pc_content.h"

namespace pc {

namespace {

int list_of(uint32_t kind) {
  switch (kind) {
    case 0x83000001u: case 0x84000004u: return kFootnotes;
    case 0x83000002u: case 0x84000005u: return kEndnotes;
    case 0x83000003u: case 0x84000006u: return kAnnotations;
    case 0x83000004u: return kComments;
    case 0x83000005u: return kOthernotes;
    case 0x83000006u: return kHeaders;
    case 0x83000007u: return kFooters;
    case 0x83000008u: return kWatermarks;
    default: return -1;
  }
}

bool page_part(int list) { return list == kHeaders || list == kFooters || list == kWatermarks; }

// The text range of a page-part reference: the group after its definition item.
bool page_part_range(const ContentState& c, size_t pos, size_t* first, size_t* end) {
  uint32_t def = c.items[pos].a;
  for (size_t p = 0; p + 1 < c.items.size(); ++p) {
    if (c.items[p].kind != kItemPagePartDef || c.items[p].a != def) continue;
    if (c.items[p + 1].kind != kItemOpen) return false;
    *first = p + 2;
    *end = c.close_of[p + 1];
    return *end >= *first;
  }
  return false;
}

// The n-th element of the list inside [first, end) with a text range: its reference
// position and text range.
bool find_element(ContentState& c, int list, int32_t n, size_t first, size_t end, size_t* ref, size_t* t0,
                  size_t* t1) {
  if (n < 1) return false;
  scan_for(c, -1, 0);
  int32_t k = 0;
  for (uint32_t id : c.lists[list]) {
    size_t p = position_of(c, id);
    if (p < first || p >= end) continue;
    if (++k != n) continue;
    bool ok = page_part(list) ? page_part_range(c, p, t0, t1) : note_text_range(c, p, t0, t1);
    if (!ok) return false;
    *ref = p;
    return true;
  }
  return false;
}

}  // namespace

const char* note_prefix(int list) {
  switch (list) {
    case kFootnotes: return "FNote";
    case kEndnotes: return "ENote";
    case kAnnotations: return "ANote";
    case kComments: return "CNote";
    case kOthernotes: return "ONote";
    case kHeaders: return "Header";
    case kFooters: return "Footer";
    case kWatermarks: return "Water";
    default: return "";
  }
}

bool note_text_range(const ContentState& c, size_t pos, size_t* first, size_t* end) {
  const ChunkItem& ref = c.items[pos];
  for (size_t p = pos + 1; p < c.items.size(); ++p) {
    const ChunkItem& it = c.items[p];
    if (it.kind == kItemNoteRef) return false;  // the next note's reference: this one has no text
    if (it.kind != kItemOpen || it.a != kGroupNote || (ref.b != 0 && it.b != ref.b)) continue;
    *first = p + 1;
    *end = c.close_of[p];
    return *end >= *first;
  }
  return false;
}

KVXSTATUS note_element(Export& x, KVXIO* out, uint32_t kind, int32_t n, size_t first, size_t end, uint32_t request,
                       uint32_t flags, uint32_t* item) {
  ContentState& c = content(x);
  int list = list_of(kind);
  size_t ref = 0, t0 = 0, t1 = 0;
  if (list < 0 || !find_element(c, list, n, first, end, &ref, &t0, &t1)) return kNotFound;
  if (item != nullptr) *item = c.items[ref].id;
  c.name = make_element_name(note_prefix(list), ordinal_in(c.lists[list], c.items[ref].id));
  if (!(request & kReqWrite)) return KVX_OK;
  WriterState& w = content_writer(x, out);
  if (!(flags & kNoAnchorsFlag)) {
    BeginElement((flags & 0x40000000u) ? 4 : 0, w);
    AddPendingAnchor(c.name, w);
    if (KVXSTATUS st = EndElement(w)) return st;
  }
  return convert_body(x, out, t0, t1, flags, nullptr);
}

KVXSTATUS note_reference(Export& x, KVXIO* out, uint32_t kind, int32_t n, size_t first, size_t end,
                         uint32_t request) {
  ContentState& c = content(x);
  int list = list_of(kind);
  size_t ref = 0, t0 = 0, t1 = 0;
  if (list < 0 || !find_element(c, list, n, first, end, &ref, &t0, &t1)) return kNotFound;
  c.name = make_element_name(note_prefix(list), ordinal_in(c.lists[list], c.items[ref].id));
  if (!(request & kReqWrite)) return KVX_OK;
  uint32_t mark = list == kFootnotes ? kMarkFootnote : list == kEndnotes ? kMarkEndnote : kMarkAnnotation;
  size_t m0 = 0, m1 = 0;
  bool found = false;
  for (size_t p = t0; p < t1; ++p) {
    if (c.items[p].kind == kItemOpen && c.items[p].a == mark) {
      m0 = p + 1;
      m1 = c.close_of[p];
      found = p + 1 < t1;
      break;
    }
  }
  if (!found && c.items[ref].b == 0) return KVX_OK;
  WriterState& w = content_writer(x, out);
  uint32_t status = 0;
  BeginElement(0, w);
  AddPendingLink(file_link(x, out, c.items[ref].id) + u"#" + c.name, w);
  if (found) {
    status = convert_body(x, out, m0, m1, 0, nullptr);
  } else {
    // The framework's notes carry no mark text: the note's number stands for it.
    BeginParagraph(0, 1, 0, 0, w);
    WriteParagraphText(std::to_string(c.items[ref].b).c_str(), status, w);
  }
  MarkLinkEnd(w);
  KVXSTATUS st = EndElement(w);
  return status != 0 ? status : st;
}

KVXSTATUS note_separator(Export& x, KVXIO* out, uint32_t kind, size_t first, uint32_t request) {
  ContentState& c = content(x);
  int list = list_of(kind);
  uint32_t type = list == kFootnotes ? 1 : list == kEndnotes ? 2 : list == kAnnotations ? 3 : 0;
  if (type == 0) return kNotFound;
  scan_for(c, -1, 0);
  const ChunkItem* found = nullptr;
  for (uint32_t id : c.lists[kSeparators]) {
    size_t p = position_of(c, id);
    if (p >= first) break;
    if (c.items[p].a == type) found = &c.items[p];
  }
  if (found == nullptr) return kNotFound;
  if (!(request & kReqWrite)) return KVX_OK;
  WriterState& w = content_writer(x, out);
  uint32_t status = 0;
  int width = found->b >= 1 && found->b <= 100 ? int(found->b) : 100;
  WriteRule(width, int(found->c), status, w);
  return status;
}

}  // namespace pc
