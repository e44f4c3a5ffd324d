// Paragraph numbering of the body converter: the numbering fields of a paragraph record and
// the update that gives a numbered paragraph its number from the one before it, through the
// numbering store (pc_memory.h). Builds on the paragraph record of pc_attrs.h; the body
// converter (pc_body.cpp, pc_lists.cpp) runs it as each numbered paragraph starts.
//
// A paragraph record's numbering fields, as the attribute decoder fills them:
// - list id: the list style key index (a list style applied, kind 28; or a paragraph
//   style's list fields), change bit 0x2000; a paragraph style applied sets 0x4000;
// - numbering record: the nine words that kind 29 (a = 10) reads from range 3 into the
//   record's block (flags, start value, step, ...), present when block flag bit 0 is set;
//   numbering flag 0x10: an own number counts in steps from the start; 0x20: a list that
//   follows another list starts again;
// - level and numbered mark: kind 93 (a = 10) with change bit 0x800; the record holds the
//   level + 1 (0: no level, -1 here) and the mark is kind 93's last word;
// - own number: kind 30's last word, change bit 0x1000;
// - position: the id of the paragraph's first item (or of its style application item).
#pragma once
#include <cstdint>

#include "pc_attrs.h"
#include "pc_memory.h"

namespace pc {

constexpr uint32_t kNumberingOwnStep = 0x10, kNumberingRestart = 0x20;
constexpr int32_t kNoListLevel = -1;
// Levels 0-12 are numbered; a level beyond them counts as none.
constexpr int32_t kMaxListLevel = 12;

// The record's list level: -1 when it has none (or one beyond the last level).
int32_t NumberingLevel(const ParaAttrRecord& para);
// True when the record carries a numbered mark.
inline bool NumberingMarked(const ParaAttrRecord& para) { return para.listValue != 0; }

// The numbering state of one export: the record of the last numbered paragraph (with what
// it took over from the one before it) and the store, made on first use.
struct NumberingState {
  ParaAttrRecord previous{};
  NumberingStore* store = nullptr;
  NumberingState() = default;
  NumberingState(const NumberingState&) = delete;
  NumberingState& operator=(const NumberingState&) = delete;
  ~NumberingState() { NumberingDestroy(&store, nullptr); }
};

// Numbers the paragraph whose record para now holds (a record marked numbered). A
// paragraph without text has its mark cleared and nothing else changes. Otherwise the
// paragraph takes over from the previous numbered paragraph what it does not set itself
// (list id unless change bits 0x6000; without its own numbering record that record, and
// unless change bit 0x800 the level and the mark), its value for (list, level) is
// recorded in the store (an own number; the start value when the list begins; the last
// value plus the step when it goes on), and its number is read back: *number, with *has
// false when the store holds none for it (level -1, or nothing recorded). The record then
// becomes the previous one. 0, or 13 when the store cannot be made.
KVXSTATUS UpdateNumbering(NumberingState& state, ParaAttrRecord& para, bool hasText, MemLedger* ledger,
                          int32_t* number, bool* has);

}  // namespace pc
