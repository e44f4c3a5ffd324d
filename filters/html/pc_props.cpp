// Property elements of the HTML export filter: author, title, subject, keywords and
// comment by number, and the lists "all" and "others" with their value or name. A property
// is a group {0x43, 0xA0010004, number, 0xFE} in the item stream whose content is its
// value; names of numbers 1 to 59 are the framework's texts. Builds on the element scan's
// item table and the body converter; called by the dispatcher (pc_elements.cpp).
#include "pc_content.h"

namespace pc {

namespace {

constexpr uint32_t kPropertyNames = 0x14268;

uint32_t number_of(int32_t kind) {
  switch (uint32_t(kind)) {
    case 0x81000001u: return 4;  // author
    case 0x81000002u: return 6;  // title
    case 0x81000003u: return 2;  // keywords
    case 0x81000004u: return 1;  // comment
    case 0x81000006u: return 5;  // subject
    default: return 0;
  }
}

bool named(uint32_t number) { return number == 1 || number == 2 || number == 4 || number == 5 || number == 6; }

}  // namespace

KVXSTATUS property_element(Export& x, KVXIO* out, int32_t kind, int32_t n, uint32_t request) {
  ContentState& c = content(x);
  uint32_t want = number_of(kind);
  if (want == 0 && kind != -1 && kind != -4) return request & kReqWrite ? KVX_OK : kNotFound;
  int32_t seen = 0;
  size_t at = c.items.size();
  for (size_t p = 0; p < c.items.size(); ++p) {
    const ChunkItem& it = c.items[p];
    if (it.kind != kItemOpen || it.a != kGroupProperty || it.c != 0xFE) continue;
    bool match = want != 0 ? it.b == want : kind == -1 ? true : !named(it.b);
    if (!match || (want == 0 && ++seen != n)) continue;
    at = p;
    break;
  }
  // A missing property is not there for an exists request; a write writes nothing.
  if (at == c.items.size()) return request & kReqWrite ? KVX_OK : kNotFound;
  const ChunkItem& g = c.items[at];
  size_t first = at + 1, end = c.close_of[at];
  if (request & kReqName) {
    if (!(request & kReqWrite)) return KVX_OK;
    std::u16string text;
    if (g.b >= 1 && g.b <= 59) {
      char buf[128] = {};
      if (UTGetString(kPropertyNames + g.b - 1, buf, sizeof buf, 0) == KVX_OK) text = widen(buf);
    }
    return write_plain(x, out, text);
  }
  bool has_text = false;
  for (size_t p = first; p < end && !has_text; ++p) has_text = c.items[p].kind == kItemText && c.items[p].c > 0;
  if (!has_text) return request & kReqWrite ? KVX_OK : kNotThere;
  if (!(request & kReqWrite)) return KVX_OK;
  return convert_body(x, out, first, end, kNoAnchorsFlag, nullptr);
}

}  // namespace pc
