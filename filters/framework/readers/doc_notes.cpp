// Notes of Word binaries (see doc_notes.h).
#include "filters/framework/readers/doc_notes.h"

#include <algorithm>
#include <string>

#include "filters/framework/readers/ole_file.h"
#include "filters/framework/readers/text_decode.h"

namespace kvx::readers {

namespace {

constexpr size_t kMaxNotes = 4096;
constexpr size_t kMaxNoteUnits = 1 << 16;

uint16_t u16(std::string_view s, size_t at) {
  return at + 2 <= s.size() ? uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8) : 0;
}
uint32_t u32(std::string_view s, size_t at) { return uint32_t(u16(s, at)) | uint32_t(u16(s, at + 2)) << 16; }

// The piece table: character positions [cp[i], cp[i + 1]) at file offset fc[i], one
// CP1252 byte a character when compressed, else UTF-16.
struct Pieces {
  std::vector<uint32_t> cp;
  std::vector<uint32_t> fc;
  std::vector<bool> compressed;

  bool read(std::string_view table, size_t at, size_t size) {
    if (at > table.size() || size > table.size() - at) return false;
    std::string_view clx = table.substr(at, size);
    size_t p = 0;
    while (p < clx.size() && clx[p] == 0x01) {  // property modifiers: stepped over
      p += 3 + size_t(u16(clx, p + 1));
    }
    if (p + 5 > clx.size() || clx[p] != 0x02) return false;
    uint32_t lcb = u32(clx, p + 1);
    p += 5;
    if (lcb < 4 || lcb > clx.size() - p || (lcb - 4) % 12 != 0) return false;
    size_t n = (lcb - 4) / 12;
    for (size_t i = 0; i <= n; ++i) cp.push_back(u32(clx, p + 4 * i));
    for (size_t i = 0; i < n; ++i) {
      uint32_t f = u32(clx, p + 4 * (n + 1) + 8 * i + 2);
      compressed.push_back(f & 0x40000000u);
      fc.push_back(f & 0x40000000u ? (f & ~0x40000000u) / 2 : f);
    }
    return n > 0;
  }

  // Characters [from, to) of the document.
  std::vector<uint16_t> text(std::string_view doc, uint32_t from, uint32_t to) const {
    std::vector<uint16_t> out;
    for (size_t i = 0; i + 1 < cp.size() && from < to; ++i) {
      if (cp[i + 1] <= from || cp[i] >= to || cp[i + 1] < cp[i]) continue;
      uint32_t a = std::max(from, cp[i]), b = std::min(to, cp[i + 1]);
      for (uint32_t c = a; c < b && out.size() < kMaxNoteUnits; ++c) {
        uint64_t k = c - cp[i];
        if (compressed[i]) {
          uint64_t at = fc[i] + k;
          if (at >= doc.size()) return out;
          std::vector<uint16_t> one = decode(std::string_view(doc.substr(size_t(at), 1)), SourceEncoding::Cp1252);
          out.push_back(one.empty() ? 0xFFFD : one[0]);
        } else {
          uint64_t at = fc[i] + 2 * k;
          if (at + 2 > doc.size()) return out;
          out.push_back(u16(doc, size_t(at)));
        }
      }
    }
    return out;
  }
};

// A note's characters as text: paragraph, line and page ends as '\n'; field codes (from
// a field's start to its separator), note marks and other control characters left out;
// no blanks at the start.
std::vector<uint16_t> clean(const std::vector<uint16_t>& in) {
  std::vector<uint16_t> out;
  int field_code = 0;
  for (uint16_t u : in) {
    if (u == 0x13) {
      ++field_code;
      continue;
    }
    if (u == 0x14 || u == 0x15) {
      if (field_code > 0) --field_code;
      continue;
    }
    if (field_code > 0) continue;
    if (u == 0x0D || u == 0x0B || u == 0x0C || u == 0x07) u = '\n';
    else if (u == 0x1E) u = '-';
    else if (u == 0xA0 || u == 0x09) u = u == 0x09 ? '\t' : 0xA0;
    else if (u < 0x20) continue;
    if ((u == ' ' || u == '\n' || u == '\t') && out.empty()) continue;
    out.push_back(u);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  if (!out.empty()) out.push_back('\n');
  return out;
}

// A reference table (CPs and 2-byte data per entry) and its text table (CPs only),
// from the FcLcb pairs numbered ref and txt; the texts start at CP base.
void notes_of(std::string_view fib, std::string_view table, std::string_view doc, const Pieces& pieces,
              size_t fclcb, size_t pairs, size_t ref, size_t txt, uint32_t base, uint32_t type,
              std::vector<WordNote>& out) {
  if (ref >= pairs || txt >= pairs) return;
  uint32_t ref_fc = u32(fib, fclcb + 8 * ref), ref_lcb = u32(fib, fclcb + 8 * ref + 4);
  uint32_t txt_fc = u32(fib, fclcb + 8 * txt), txt_lcb = u32(fib, fclcb + 8 * txt + 4);
  if (ref_lcb < 4 || (ref_lcb - 4) % 6 != 0 || ref_fc > table.size() || ref_lcb > table.size() - ref_fc) return;
  if (txt_lcb < 8 || txt_lcb % 4 != 0 || txt_fc > table.size() || txt_lcb > table.size() - txt_fc) return;
  size_t n = std::min<size_t>((ref_lcb - 4) / 6, txt_lcb / 4 - 1);
  for (size_t i = 0; i < n && out.size() < kMaxNotes; ++i) {
    WordNote note;
    note.type = type;
    note.position = u32(table, ref_fc + 4 * i);
    uint32_t a = u32(table, txt_fc + 4 * i), b = u32(table, txt_fc + 4 * (i + 1));
    if (b < a || uint64_t(base) + b > 0xFFFFFFFFu) continue;
    note.text = clean(pieces.text(doc, base + a, base + b));
    std::vector<uint16_t> mark = pieces.text(doc, note.position, note.position + 1);
    note.numbered = mark.size() == 1 && mark[0] == 0x02;
    out.push_back(std::move(note));
  }
}

}  // namespace

std::vector<WordNote> word_notes(std::string_view bytes) {
  std::vector<WordNote> notes;
  OleFile ole;
  std::string doc, table;
  if (!ole.open(bytes) || !ole.read("WordDocument", doc)) return notes;
  std::string_view fib(doc);
  if (u16(fib, 0) != 0xA5EC || u16(fib, 2) < 0xC1) return notes;  // Word 97 and later only
  uint16_t flags = u16(fib, 0x0A);
  if (flags & 0x0100) return notes;  // encrypted
  if (!ole.read(flags & 0x0200 ? "1Table" : "0Table", table)) return notes;
  // FibBase (32 bytes), then the counted 16-bit words, 32-bit words and FcLcb pairs.
  size_t at = 32;
  size_t csw = u16(fib, at);
  at += 2 + 2 * csw;
  size_t cslw = u16(fib, at);
  size_t lw = at + 2;
  at = lw + 4 * cslw;
  size_t pairs = u16(fib, at);
  size_t fclcb = at + 2;
  if (cslw < 10 || fclcb + 8 * pairs > fib.size()) return notes;
  uint32_t ccp_text = u32(fib, lw + 12), ccp_ftn = u32(fib, lw + 16), ccp_hdd = u32(fib, lw + 20);
  uint32_t ccp_mcr = u32(fib, lw + 24), ccp_atn = u32(fib, lw + 28);
  constexpr size_t kClx = 33, kFootnoteRef = 2, kFootnoteText = 3, kEndnoteRef = 46, kEndnoteText = 47;
  if (kClx >= pairs) return notes;
  Pieces pieces;
  if (!pieces.read(table, u32(fib, fclcb + 8 * kClx), u32(fib, fclcb + 8 * kClx + 4))) return notes;
  uint64_t endnotes = uint64_t(ccp_text) + ccp_ftn + ccp_hdd + ccp_mcr + ccp_atn;
  notes_of(fib, table, doc, pieces, fclcb, pairs, kFootnoteRef, kFootnoteText, ccp_text, 1, notes);
  if (endnotes <= 0xFFFFFFFFu)
    notes_of(fib, table, doc, pieces, fclcb, pairs, kEndnoteRef, kEndnoteText, uint32_t(endnotes), 2, notes);
  std::stable_sort(notes.begin(), notes.end(),
                   [](const WordNote& a, const WordNote& b) { return a.position < b.position; });
  return notes;
}

}  // namespace kvx::readers
