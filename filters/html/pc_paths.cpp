// Element paths of the HTML export filter: the element tree that template paths walk,
// the parse of a path value (Sections.Current.Footnotes.1.Body) into kind codes and
// indexes with the statement-stack contexts of "current", host element names, and the
// section-type words. Called by the statement handlers (pc_parse.cpp).
#include <cstring>

#include "pc_state.h"

namespace pc {

namespace {

constexpr int kH = 1, kR = 2;

struct Row {
  const char* name;
  int flags;
  int32_t kind;
  int parent, first_child, next;
};

// Rows by number (0-95); 70-72 are rows no path reaches.
const Row kRows[] = {
    {"null", 0, 0, 0, 0, 0},
    {"documents", kH | kR, int32_t(0x80000001), 0, 2, 0},
    {"sections", kH | kR, int32_t(0x80000002), 1, 23, 3},
    {"sheets", kH | kR, int32_t(0x80000002), 1, 23, 4},
    {"slides", kH | kR, int32_t(0x80000002), 1, 23, 5},
    {"pictures", kR, int32_t(0x80000004), 1, 23, 6},
    {"property", kH, int32_t(0x81000000), 1, 9, 7},
    {"pragma", kH, int32_t(0x85000000), 1, 8, 0},
    {"charset", 0, int32_t(0x85000001), 7, 0, 73},
    {"all", kH | kR, -1, 6, 10, 13},
    {"body", 0, -8, 9, 0, 11},
    {"name", 0, -5, 9, 12, 0},
    {"body", 0, -8, 9, 0, 0},
    {"author", 0, int32_t(0x81000001), 6, 0, 14},
    {"title", 0, int32_t(0x81000002), 6, 0, 15},
    {"subject", 0, int32_t(0x81000006), 6, 0, 16},
    {"keywords", 0, int32_t(0x81000003), 6, 0, 17},
    {"comment", 0, int32_t(0x81000004), 6, 0, 18},
    {"annotators", kH | kR, int32_t(0x81000005), 6, 19, 20},
    {"body", 0, -8, 20, 0, 0},
    {"others", kH | kR, -4, 6, 21, 0},
    {"body", 0, -8, 20, 0, 22},
    {"name", 0, -5, 20, 0, 0},
    {"body", 0, -8, 2, 26, 24},
    {"bodyorimage", 0, -8, 2, 0, 25},
    {"type", 0, int32_t(0x85000002), 2, 0, 29},
    {"contents", 0, -3, 23, 27, 54},
    {"headings", kR, int32_t(0x86000000), 26, 0, 28},
    {"preface", 0, -6, 26, 0, 0},
    {"footnotes", kH | kR, int32_t(0x83000001), 2, 30, 34},
    {"body", 0, -8, 29, 0, 31},
    {"reference", 0, int32_t(0x84000004), 29, 0, 32},
    {"separator", 0, int32_t(0x83000009), 29, 0, 33},
    {"content", 0, -3, 29, 0, 0},
    {"endnotes", kH | kR, int32_t(0x83000002), 2, 35, 39},
    {"body", 0, -8, 34, 0, 36},
    {"reference", 0, int32_t(0x84000005), 34, 0, 37},
    {"separator", 0, int32_t(0x83000009), 34, 0, 38},
    {"content", 0, -3, 34, 0, 0},
    {"annotations", kH | kR, int32_t(0x83000003), 2, 40, 42},
    {"body", 0, -8, 39, 0, 41},
    {"reference", 0, int32_t(0x84000006), 39, 0, 0},
    {"othernotes", kR, int32_t(0x83000005), 2, 0, 43},
    {"comments", kH | kR, int32_t(0x83000004), 2, 44, 45},
    {"body", 0, -8, 43, 0, 0},
    {"headers", kH | kR, int32_t(0x83000006), 2, 46, 47},
    {"body", 0, -8, 45, 0, 0},
    {"footers", kH | kR, int32_t(0x83000007), 2, 48, 49},
    {"body", 0, -8, 47, 0, 0},
    {"watermarks", kH | kR, int32_t(0x83000008), 2, 50, 51},
    {"body", 0, -8, 49, 0, 0},
    {"bookmarks", kH | kR, int32_t(0x84000007), 2, 52, 55},
    {"name", 0, -5, 51, 0, 53},
    {"body", 0, -8, 51, 0, 0},
    {"title", 0, -2, 23, 0, 0},
    {"graphics", kH | kR, int32_t(0x82000003), 23, 56, 57},
    {"body", 0, -8, 55, 0, 0},
    {"tables", kR, int32_t(0x82000002), 23, 58, 69},
    {"body", 0, -8, 57, 0, 59},
    {"caption", 0, int32_t(0x84000003), 57, 0, 0},
    {"frames", kR, int32_t(0x82000001), 23, 0, 62},
    {"caption", 0, int32_t(0x82000001), 60, 0, 0},
    {"toc", kR, int32_t(0x82000004), 23, 0, 63},
    {"tof", kR, int32_t(0x82000007), 23, 0, 64},
    {"toa", kR, int32_t(0x82000006), 23, 0, 65},
    {"index", kR, int32_t(0x82000005), 23, 66, 66},
    {"tocentries", kR, int32_t(0x80000001), 23, 0, 67},
    {"indexentries", kR, int32_t(0x84000002), 23, 68, 75},
    {"body", 0, -8, 67, 0, 0},
    {"image", 0, -7, 2, 0, 60},
    {"null", 0, 0, 0, 0, 0},
    {"null", 0, 0, 0, 0, 0},
    {"null", 0, 0, 0, 0, 0},
    {"sourcefilename", 0, int32_t(0x85000004), 7, 0, 74},
    {"cssfile", 0, int32_t(0x85000005), 7, 0, 0},
    {"filecount", 0, int32_t(0x8300000A), 2, 0, 76},
    {"archive", kH | kR, int32_t(0x87000000), 2, 77, 0},
    {"fullname", 0, int32_t(0x87000001), 76, 0, 78},
    {"basename", 0, int32_t(0x87000002), 76, 0, 79},
    {"path", 0, int32_t(0x87000003), 76, 0, 80},
    {"dirlevel", 0, int32_t(0x87000004), 76, 0, 81},
    {"isfile", 0, int32_t(0x87000005), 76, 0, 82},
    {"filenum", 0, int32_t(0x87000006), 76, 0, 83},
    {"extract", 0, int32_t(0x87000007), 76, 0, 84},
    {"isstartdir", 0, int32_t(0x87000008), 76, 0, 85},
    {"isenddir", 0, int32_t(0x87000009), 76, 0, 86},
    {"property", kH, int32_t(0x8700000A), 76, 87, 0},
    {"size", 0, int32_t(0x8700000B), 86, 0, 88},
    {"others", kH | kR, int32_t(0x8700000C), 86, 89, 0},
    {"comment", 0, int32_t(0x8700000D), 88, 0, 90},
    {"user", 0, int32_t(0x8700000E), 88, 0, 91},
    {"userid", 0, int32_t(0x8700000F), 88, 0, 92},
    {"group", 0, int32_t(0x87000010), 88, 0, 93},
    {"groupid", 0, int32_t(0x87000011), 88, 0, 94},
    {"type", 0, int32_t(0x87000012), 88, 0, 95},
    {"modified", 0, int32_t(0x87000013), 88, 0, 0},
};
constexpr int kRowCount = int(sizeof kRows / sizeof *kRows);
constexpr int kRowHeadings = 27, kRowBody = 23, kRowType = 25;
constexpr size_t kMaxItems = 64;

// First row from start on whose name is word (rows 70-72 are never found).
int find_row(int start, const std::string& word) {
  if (start == 2 && word == "body") return kRowBody;
  for (int i = start; i < kRowCount; ++i)
    if ((i < 70 || i > 72) && word == kRows[i].name) return i;
  return 0;
}

bool on_chain(int start, int row) {
  for (int i = start, guard = 0; i != 0 && guard < kRowCount; i = kRows[i].next, ++guard)
    if (i == row) return true;
  return false;
}

bool all_digits(const std::string& w) {
  if (w.empty()) return false;
  for (char c : w)
    if (c < '0' || c > '9') return false;
  return true;
}

// True when the next word is "=" (the word before it is an attribute); the reader stays.
bool followed_by_equals(Reader& r) {
  uint32_t at = r.tell();
  std::string w;
  bool eq = next_word(r, ScanMode::Command, w) && w == "=";
  reader_seek(r, at);
  return eq;
}

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

Context* find_context(Export& x, const std::vector<int32_t>& key) {
  for (size_t i = x.stack.size(); i-- > 0;)
    if (x.stack[i].key == key) return &x.stack[i];
  return nullptr;
}

namespace {

KVXSTATUS push_context(Export& x, const std::vector<int32_t>& key, Context** out) {
  if (x.stack.size() == x.stack.capacity() && !mem_permit()) return kOutOfMemory;
  if (!x.work.charge(sizeof(Context) + 4 * key.size())) return kTooManyRepetitions;
  x.stack.push_back(Context{x.open_stmt, key, 1});
  *out = &x.stack.back();
  return KVX_OK;
}

// Appends an item; 1585 past the record's room.
KVXSTATUS add_item(PathRec& p, int32_t v) {
  if (p.items.size() >= kMaxItems - 1) return kPathTooLong;
  p.items.push_back(v);
  return KVX_OK;
}

KVXSTATUS misplaced_ending(PathUse use) {
  switch (use) {
    case PathUse::Rep: return kIndexInRep;
    case PathUse::If: return kIndexInIf;
    case PathUse::IncDec: return kBadIncDec;
    case PathUse::Link: return kBadLink;
    default: return kBadAttribute;
  }
}

}  // namespace

KVXSTATUS parse_path(Export& x, Reader& r, const std::string& first, PathUse use, int* index, NumberMode* mode,
                     Context** ctx_out) {
  if (mode) *mode = NumberMode::None;
  if (ctx_out) *ctx_out = nullptr;
  if (x.paths.size() == x.paths.capacity() && !mem_permit()) return kOutOfMemory;
  PathRec p;
  std::string word = lower(first);
  if (word == "}" || word == "{" || word == "=") return word == "{" ? kCloserNoBrace : kNoElement;
  int start = 2;
  int row = find_row(start, word);
  if (row == 0) {
    std::u16string word16_lower = lower16(word16(word, r.width));
    for (const std::u16string& h : x.host_elements) {
      if (h == word16_lower) {
        std::string rest;
        uint32_t at = r.tell();
        if (next_word(r, ScanMode::ToBrace, rest) && rest != "}") {
          p.host_text = first + rest;
        } else {
          reader_seek(r, at);
          p.host_text = first;
        }
        p.host = true;
        if (!x.work.charge(sizeof(PathRec) + p.host_text.size())) return kTooManyRepetitions;
        x.paths.push_back(std::move(p));
        *index = int(x.paths.size()) - 1;
        return KVX_OK;
      }
    }
    return kUnknownWord;
  }
  int headings = 0;
  bool open_index = false;  // the last repeatable element had no index word or "current"
  bool explicit_index = false;
  Context* last_ctx = nullptr;
  for (;;) {
    // Reach row from start through "next", adding implied steps.
    int s = start;
    while (!on_chain(s, row)) {
      if (kRows[s].kind == 0) return kBadIndex;
      int32_t kind = kRows[s].kind;
      if (s == kRowHeadings) kind = int32_t(0x86000000u + uint32_t(++headings));
      if (KVXSTATUS st = add_item(p, kind)) return st;
      if (kRows[s].flags & kR)
        if (KVXSTATUS st = add_item(p, 1)) return st;
      s = kRows[s].first_child;
      if (s == 0) return kBadIndex;
    }
    int32_t kind = kRows[row].kind;
    if (row == kRowHeadings) kind = int32_t(0x86000000u + uint32_t(++headings));
    if (KVXSTATUS st = add_item(p, kind)) return st;
    p.ends_in_type = row == kRowType;
    open_index = explicit_index = false;
    last_ctx = nullptr;
    uint32_t at = r.tell();
    std::string w;
    bool too_long = false;
    bool got = next_word(r, ScanMode::Command, w, &too_long);
    if (too_long) return kUnknownWord;
    std::string lw = lower(w);
    if (kRows[row].flags & kR) {
      std::vector<int32_t> key = p.items;
      int32_t idx = 1;
      bool consumed = true;
      if (got && all_digits(lw)) {
        idx = lw.size() > 9 ? 0x7FFFFFFF : int32_t(std::stol(lw));
        explicit_index = true;
      } else if (got && (lw == "current" || lw == "next" || lw == "previous")) {
        Context* c = find_context(x, key);
        if (c == nullptr)
          if (KVXSTATUS st = push_context(x, key, &c)) return st;
        if (lw == "current") {
          idx = c->index;
          open_index = true;
          last_ctx = c;
        } else {
          int32_t step = lw == "next" ? 1 : -1;
          if (x.in_deferred_link) c->index += step;
          idx = x.in_deferred_link ? c->index : c->index + step;
          explicit_index = true;
        }
      } else if (got && (lw == "count" || lw == "countb0" || lw == "value" || lw == "valueb0") &&
                 !followed_by_equals(r)) {
        if (use != PathUse::Number) return misplaced_ending(use);
        Context* c = find_context(x, key);
        if (lw == "value" || lw == "valueb0") {
          if (c == nullptr)
            if (KVXSTATUS st = push_context(x, key, &c)) return st;
          idx = c->index;
        }
        if (KVXSTATUS st = add_item(p, idx)) return st;
        *mode = lw == "count" ? NumberMode::Count : lw == "countb0" ? NumberMode::CountB0
                : lw == "value" ? NumberMode::Value : NumberMode::ValueB0;
        break;
      } else if (got && !lw.empty() && !is_letter(lw[0]) && lw != "}" && lw != "{" && lw != "=") {
        return kBadIndex;
      } else {
        consumed = false;
        if (use == PathUse::Rep || use == PathUse::IncDec) {
          // A repeatable element without an index word stands for its current item.
          Context* c = find_context(x, key);
          if (c == nullptr)
            if (KVXSTATUS st = push_context(x, key, &c)) return st;
          idx = c->index;
          open_index = true;
          last_ctx = c;
        }
      }
      if (KVXSTATUS st = add_item(p, idx)) return st;
      if (consumed) {
        at = r.tell();
        got = next_word(r, ScanMode::Command, w, &too_long);
        if (too_long) return kUnknownWord;
        lw = lower(w);
      }
    }
    if (row == kRowHeadings) {
      start = kRowBody;
    } else {
      start = kRows[row].first_child;
    }
    if (!got || lw == "}") {
      reader_seek(r, at);
      break;
    }
    if (lw == "{") {
      reader_seek(r, at);
      return kCloserNoBrace;
    }
    int next = start == 0 ? 0 : find_row(start, lw);
    if (next == 0) {  // not part of the path: an attribute word or the like
      if (!x.host_elements.empty())
        for (const std::u16string& h : x.host_elements)
          if (h == lower16(word16(lw, r.width))) return kUnknownWord;
      reader_seek(r, at);
      break;
    }
    row = next;
  }
  if (p.items.empty()) return kNoElement;
  if (use == PathUse::Number && *mode == NumberMode::None) return kBadAttribute;
  if (use == PathUse::Rep) {
    if (explicit_index) return kIndexInRep;
    if (!open_index) return kRepNotRepeatable;
  }
  if (use == PathUse::IncDec && !open_index) return kBadIncDec;
  if (ctx_out) *ctx_out = last_ctx;
  if (!x.work.charge(sizeof(PathRec) + 4 * p.items.size())) return kTooManyRepetitions;
  x.paths.push_back(std::move(p));
  *index = int(x.paths.size()) - 1;
  return KVX_OK;
}

KVXSTATUS section_type_from_word(const std::string& word, uint32_t* type) {
  static const char* const kTypes[] = {"wp", "ss", "db", "", "bm", "ar", "dr", "pr", "ch"};
  for (uint32_t i = 0; i < 9; ++i) {
    if (i != 3 && word == kTypes[i]) {
      *type = i;
      return KVX_OK;
    }
  }
  return kUnknownSectionType;
}

KVXSTATUS section_type_of_path(Export& x, const PathRec& p, uint32_t* type) {
  for (size_t i = 0; i + 1 < p.items.size(); ++i) {
    if (uint32_t(p.items[i]) == 0x80000002u) {
      int32_t idx = p.items[i + 1];
      uint32_t id = 0, next = 0;
      KVXSECTIONRECORD rec{};
      if (idx < 1 || CHGetItemId(x.chunker, KVXRANGE_SECTIONS, uint32_t(idx - 1), &id) != KVX_OK ||
          CHGetItem(x.chunker, KVXRANGE_SECTIONS, id, &rec, &next) != KVX_OK)
        return kIoFailed;
      *type = rec.Type & 0xFFFF;
      return KVX_OK;
    }
  }
  return kNoSection;
}

bool is_css_file_path(const PathRec& p) {
  return !p.host && p.items.size() == 2 && uint32_t(p.items[0]) == 0x85000000u && uint32_t(p.items[1]) == 0x85000005u;
}

bool template_element_exists(Export& x, const PathRec& p) {
  x.work.charge(kExistsWork);  // a spent budget ends the parse at its next character
  if (is_css_file_path(p)) return x.css_mode == 1;
  return element_exists(x, p);
}

}  // namespace pc
