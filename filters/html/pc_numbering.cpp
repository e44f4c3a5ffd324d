// The numbering update of the body converter (see pc_numbering.h).
#include "pc_numbering.h"

#include <algorithm>
#include <cstring>

namespace pc {

namespace {

int32_t clamp_value(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

int32_t NumberingLevel(const ParaAttrRecord& para) {
  if (para.listLevel == 0 || para.listLevel > uint32_t(kMaxListLevel) + 1) return kNoListLevel;
  return int32_t(para.listLevel) - 1;
}

KVXSTATUS UpdateNumbering(NumberingState& state, ParaAttrRecord& para, bool hasText, MemLedger* ledger,
                          int32_t* number, bool* has) {
  *number = -1;
  *has = false;
  if (!hasText) {
    para.listValue = 0;
    return KVX_OK;
  }
  if (state.store == nullptr && NumberingCreate(&state.store, ledger) != KVX_OK) {
    state.store = nullptr;
    return KVXERR_NOMEMORY;
  }
  const ParaAttrRecord& prev = state.previous;
  // What the paragraph does not set itself it takes from the numbered paragraph before.
  if (!(para.flags & 0x6000)) {
    para.listStyleKey = prev.listStyleKey;
    if (!(para.blockFlags & 1)) {
      std::memcpy(para.tabs, prev.tabs, sizeof para.tabs);
      if (!(para.flags & 0x800)) {
        para.listLevel = prev.listLevel;
        para.listValue = prev.listValue;
      }
    }
  }
  const uint32_t flags = para.tabs[0];
  int64_t start = int32_t(para.tabs[1]), step = int32_t(para.tabs[2]);
  // No numbering record in force at all (none in the paragraph, none taken over): the
  // paragraphs count from 1 by 1 rather than all standing at 0.
  if (flags == 0 && start == 0 && step == 0) start = step = 1;
  const uint32_t list = para.listStyleKey, position = para.firstItem;
  const int32_t level = NumberingLevel(para);
  if (level != kNoListLevel) {
    int64_t value = start;
    if (para.flags & 0x1000) {
      int64_t own = int32_t(para.kind30);
      value = (flags & kNumberingOwnStep) ? own * step + start : own;
    } else {
      const bool had = (prev.blockFlags & 1) != 0, own = (para.blockFlags & 1) != 0;
      const bool begins =
          (!had && own) || (had && own && level != NumberingLevel(prev) && position <= prev.firstItem);
      if (!begins && (!(flags & kNumberingRestart) || list == prev.listStyleKey)) {
        int32_t last = -1;
        if (NumberingGet(state.store, list, uint32_t(level), &last, position) == KVX_OK)
          value = last == -1 ? start + step : int64_t(last) + step;
      }
    }
    NumberingSet(state.store, list, uint32_t(level), uint32_t(clamp_value(value)), position, ledger);
  }
  *has = NumberingGet(state.store, list, uint32_t(level), number, position) == KVX_OK;
  state.previous = para;
  return KVX_OK;
}

}  // namespace pc
